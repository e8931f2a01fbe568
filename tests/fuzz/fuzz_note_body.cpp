// Note bodies: any bytes, taken as an inflated body, are cut by the byte
// rules and decoded as a record (notes and tables); taken as a stored body,
// they are inflated (by the utility inflater, then by the host) and the
// result is cut and decoded. Nothing may read past a buffer, and a body the
// host inflates is handed on no longer than delivered.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Channel.h"
#include "kind/note/NoteBody.h"
#include "kind/note/NoteBodyInflater.h"
#include "kind/note/NoteRecord.h"
#include "platform/Platform.h"
#include "vorn/Json.h"

namespace {

// The host side of the channel: platform requests go to the real handlers.
intptr_t HostSend(PluginMessage* message) {
  static host::Platform platform;
  platform.Handle(*message, host::PlatformOptions{});
  return 0;
}

void Cut(const uint8_t* body, size_t length) {
  rapidjson::Document note(rapidjson::kObjectType);
  if (keldra::ExtractNoteBody(body, length, note, note.GetAllocator(), "Note-1") &&
      !note.HasMember("content"))
    __builtin_trap();
  rapidjson::Document decoded(rapidjson::kObjectType);
  std::string_view bytes(reinterpret_cast<const char*>(body), length);
  if (keldra::AddDecodedNoteBody(bytes, decoded, decoded.GetAllocator(), "Note-1") &&
      !decoded.HasMember("content"))
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ModuleRegistration registration = [] {
    ModuleRegistration r{};
    r.hostSend = &HostSend;
    r.moduleInstance = &r;
    return r;
  }();
  keldra::SetRegistration(&registration);

  Cut(data, size);
  keldra::NoteBodyInflater inflater;
  if (auto body = inflater.Inflate(data, size)) {
    // A copy of exactly the handed-on length, so a sanitizer sees overreads.
    std::string exact(body->data(), body->size());
    Cut(reinterpret_cast<const uint8_t*>(exact.data()), exact.size());
  }
  return 0;
}
