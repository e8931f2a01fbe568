// The host side of the channel: loads the modules, registers them, carries
// every message and routes it:
//   target LIBMODEL_PLUGIN_COMMAND_RECEIVE + LIBMODEL_PLUGIN_SEND_RESULT -> the command's issuer
//   target LIBMODEL_PLUGIN_COMMAND_RECEIVE + LIBPLATFORM_*              -> the platform, in place
//   target LIBMODEL_VEXA_*                                              -> the decrypt module
//   target LIBMODEL_KELDRA_*                                            -> the keldra module
// Every message a module sends is checked against the envelope rules; a
// breach becomes a violation event.
#ifndef HOST_HOST_H_
#define HOST_HOST_H_

#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "Events.h"
#include "keldra/Plugin.h"
#include "platform/Platform.h"

namespace host {

// Per-command settings and observers; lives on the issuing thread while the
// command runs.
struct Session {
  EventSink* sink = nullptr;
  const char* taskId = nullptr;    // the command's task id (may be null)
  std::set<std::string> refused;   // request names left unanswered
  PlatformOptions platform;        // temp folder and the like
  std::function<void()> onResult;  // called after each result event
  // Form-2 results: receives the JSON value and the bytes (export data).
  std::function<void(const rapidjson::Value*, const uint8_t*, uint64_t)> onData;
};

class Host {
 public:
  static Host& Get();

  // Loads and registers the keldra module (once per path and process).
  bool LoadKeldra(const std::string& path, std::string* error);
  // Loads and registers the decrypt module; an empty path means none.
  bool LoadVexa(const std::string& path, std::string* error);
  bool HasVexa() const { return vexaReceive_ != nullptr; }

  // Delivers one command to the keldra module on this thread. Events of the
  // command go to the session's sink.
  void Deliver(PluginMessage& message, Session& session);

  // Asks the decrypt module for a deciphered copy of an unlocked backup's
  // Manifest.db written into `tempDir`; nullopt when it does not answer.
  std::optional<std::string> DecryptManifest(const std::string& backupDir,
                                             const std::string& tempDir);

  // The host's send function given to every module. A message the host
  // fails to route (it throws) is left unanswered and returns -1.
  static intptr_t HostSend(PluginMessage* message) noexcept;

  void* KeldraInstance() const { return const_cast<char*>(&keldraToken_); }
  void* VexaInstance() const { return const_cast<char*>(&vexaToken_); }

 private:
  Host() = default;
  intptr_t Route(PluginMessage& message);
  static intptr_t RouteFailed(const char* what) noexcept;
  void CheckEnvelope(const PluginMessage& message, Session* session);
  void RouteResult(PluginMessage& message, Session* session);
  void RoutePlatformRequest(PluginMessage& message, Session* session);
  void RouteDecryptRequest(PluginMessage& message, Session* session);

  std::mutex loadMutex_;
  std::string keldraPath_;
  std::string vexaPath_;
  ModuleRegistration keldraRegistration_{};
  ModuleRegistration vexaRegistration_{};
  ModuleReceiveFunction keldraReceive_ = nullptr;
  ModuleReceiveFunction vexaReceive_ = nullptr;
  const char keldraToken_ = 'k';
  const char vexaToken_ = 'v';
  Platform platform_;
};

// The session of the command running on this thread, or null.
Session* CurrentSession();

}  // namespace host

#endif  // HOST_HOST_H_
