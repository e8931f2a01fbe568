#include "cli/Common.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <rapidjson/filewritestream.h>
#include <rapidjson/prettywriter.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>

#include "cli/Interruption.h"
#include "cli/KindNames.h"
#include "common/UniqueDir.h"
#include "common/UniqueFd.h"
#include "common/UniqueFile.h"
#include "keldra/Names.h"
#include "keldra/Status.h"
#include "vorn/PimJsonUtil.h"

namespace cli {
namespace {

std::string JsonString(const std::string& text) {
  rapidjson::Value value(rapidjson::StringRef(text.c_str(), text.size()));
  return PimJsonUtil::ToString(value);
}

// The result payloads of one command.
std::vector<rapidjson::Document> Results(const host::SendOptions& options,
                                         const std::string& command, const std::string& payload) {
  host::Recorder recorder;
  std::string error;
  std::vector<rapidjson::Document> results;
  if (host::RunSend(options, command, payload, recorder, &error) != 0) return results;
  for (const rapidjson::Value* result : recorder.Payloads("result")) {
    rapidjson::Document copy;
    copy.CopyFrom(*result, copy.GetAllocator());
    results.push_back(std::move(copy));
  }
  return results;
}

std::string ReadLineNoEcho(const std::string& prompt) {
  keldra::UniqueFd ttyFd(open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!ttyFd) return "";
  int tty = ttyFd.get();
  termios saved{};
  bool restore = tcgetattr(tty, &saved) == 0;
  // Ctrl-C at the prompt ends the command from the signal watcher: the echo
  // must come back on that path too.
  AbortCleanup echoBack([tty, saved, restore] {
    if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  });
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  if (write(tty, prompt.data(), prompt.size()) < 0) {
  }
  std::string line;
  char c;
  while (read(tty, &c, 1) == 1 && c != '\n') line += c;
  if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  if (write(tty, "\n", 1) < 0) {
  }
  return line;
}

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};

// The resolved form of an existing path, ending in "/"; "" when it does not
// resolve.
std::string RealFolder(const std::string& path) {
  std::unique_ptr<char, FreeDeleter> resolved(realpath(path.c_str(), nullptr));
  if (!resolved) return "";
  std::string folder = resolved.get();
  return folder.back() == '/' ? folder : folder + "/";
}

// Where `path` will be once created: its nearest existing ancestor resolved,
// followed by the components still to be made. "" when one of those is "."
// or "..", which only the file system could resolve once they exist.
std::string ResolvedOutput(std::string path) {
  if (path.empty() || path.front() != '/') {
    std::unique_ptr<char, FreeDeleter> cwd(getcwd(nullptr, 0));
    if (!cwd) return "";
    path = std::string(cwd.get()) + "/" + path;
  }
  std::string missing;
  for (;;) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::string real = RealFolder(path);
    if (!real.empty()) return real + missing;
    size_t slash = path.rfind('/');
    std::string name = path.substr(slash + 1);
    if (name == "." || name == "..") return "";
    missing = name + "/" + missing;
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
}

// The length of the UTF-8 sequence at `at`, 0 when it is not one (overlong
// forms, surrogates and values past U+10FFFF included).
size_t Utf8Length(const std::string& text, size_t at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  unsigned char second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

// Names the files of a scan: device.json, summary.json, one per kind, and
// the temporary names they are written under.
bool IsScanFile(const std::string& name) {
  auto matches = [&name](const std::string& stem) {
    std::string file = stem + ".json";
    return name == file || name.compare(0, file.size() + 1, file + ".") == 0;
  };
  if (matches("device") || matches("summary")) return true;
  for (const KindName& kind : kKindNames)
    if (matches(kind.name)) return true;
  return false;
}

}  // namespace

int RefuseOutputsInBackup(const std::string& backupFolder,
                          std::initializer_list<OutputOption> outputs) {
  std::string backup = RealFolder(backupFolder);
  for (const auto& [option, value] : outputs) {
    if (value.empty()) continue;
    std::string output = ResolvedOutput(value);
    if (output.empty())
      return Fail(std::string(option) + " " + value +
                  ": \"..\" below a folder that does not exist");
    if (!backup.empty() && output.compare(0, backup.size(), backup) == 0)
      return Fail(std::string(option) + " " + value +
                  " lies inside the backup folder; nothing is ever written there");
  }
  return kExitOk;
}

int Fail(const std::string& text) {
  std::cerr << "keldra: " << Printable(text) << "\n";
  return kExitFailed;
}

std::string Printable(const std::string& text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : Utf8Length(text, i);
    // U+0080..U+009F, the C1 controls, are C2 80..C2 9F.
    bool control = c < 0x20 || c == 0x7F || length == 0 ||
                   (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
    if (control) {
      for (size_t k = 0; k < std::max<size_t>(length, 1); ++k) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[i + k]));
        shown += escaped;
      }
    } else {
      shown.append(text, i, length);
    }
    i += std::max<size_t>(length, 1);
  }
  return shown;
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string BackupFolder(const std::string& argument) {
  char* resolved = realpath(argument.c_str(), nullptr);
  if (!resolved) return WithSeparator(argument);
  std::string folder = WithSeparator(resolved);
  std::free(resolved);
  return folder;
}

std::optional<rapidjson::Document> DescribeBackup(const host::SendOptions& options,
                                                  const std::string& folder) {
  auto results =
      Results(options, keldra::names::kAddOneBackup, "{\"backupDir\":" + JsonString(folder) + "}");
  for (auto& result : results) {
    auto list = result.FindMember("result");
    if (list == result.MemberEnd() || !list->value.IsArray() || list->value.Empty()) continue;
    rapidjson::Document backup;
    backup.CopyFrom(list->value[0], backup.GetAllocator());
    return backup;
  }
  return std::nullopt;
}

std::optional<std::string> ObtainPassword(const std::string& passwordFile,
                                          const std::string& folder, std::string* error) {
  if (!passwordFile.empty()) {
    std::ifstream in(passwordFile);
    std::string line;
    if (!in || !std::getline(in, line)) {
      if (error) *error = "cannot read the password file " + passwordFile;
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  if (const char* fromEnvironment = std::getenv("KELDRA_PASSWORD"))
    return std::string(fromEnvironment);
  if (isatty(STDIN_FILENO)) return ReadLineNoEcho("Password for " + folder + ": ");
  if (error)
    *error = folder + " is encrypted: give its password with --password-file or KELDRA_PASSWORD";
  return std::nullopt;
}

UnlockResult Unlock(const host::SendOptions& options, const std::string& folder,
                    const std::string& password) {
  rapidjson::Document payload(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(payload, payload.GetAllocator(), "backupDir", folder);
  PimJsonUtil::AddJsonDictStringValue(payload, payload.GetAllocator(), "password", password);
  std::string text = PimJsonUtil::ToString(payload);
  auto results = Results(options, keldra::names::kUnlockWithPassword, text);
  std::fill(text.begin(), text.end(), '\0');
  for (auto& result : results) {
    if (IntOf(result, "status") == keldra::ToInt(keldra::CommandStatus::kFinished))
      return UnlockResult::kUnlocked;
    if (IntOf(result, "error_code") == 1) return UnlockResult::kWrongPassword;
  }
  return UnlockResult::kFailed;
}

int UnlockIfEncrypted(const host::SendOptions& options, const std::string& folder,
                      const rapidjson::Value& description, const std::string& passwordFile) {
  if (IntOf(description, "IsEncrypted") == 0) return kExitOk;
  KeepOutputPrivate();
  std::string error;
  std::optional<std::string> password = ObtainPassword(passwordFile, folder, &error);
  if (!password) return Fail(error);
  UnlockResult result = Unlock(options, folder, *password);
  std::fill(password->begin(), password->end(), '\0');
  if (result == UnlockResult::kWrongPassword) return Fail("wrong password for " + folder);
  if (result == UnlockResult::kFailed) return Fail("cannot unlock " + folder);
  return kExitOk;
}

bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if ((path[i] == '/' || i + 1 == path.size()) && partial != "/") {
      if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool WriteJsonFile(const std::string& path, const rapidjson::Value& value) {
  // Unique to this process and call, so two runs writing into one folder
  // never write into each other's file; never an existing file or link.
  static std::atomic<unsigned> serial{0};
  std::string temporary =
      path + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".partial";
  keldra::UniqueFd fd(
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (!fd) return false;
  keldra::UniqueFile file(fdopen(fd.get(), "wb"));
  if (!file) {
    fd.Reset();
    std::remove(temporary.c_str());
    return false;
  }
  fd.Release();  // the stream owns it now
  char buffer[64 * 1024];
  rapidjson::FileWriteStream stream(file.get(), buffer, sizeof buffer);
  rapidjson::PrettyWriter<rapidjson::FileWriteStream> writer(stream);
  writer.SetIndent(' ', 2);
  bool written = value.Accept(writer);
  stream.Flush();
  std::fputc('\n', file.get());
  bool closed = keldra::Close(file);
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

void KeepOutputPrivate() {
  umask(077);
}

bool PrepareOutputFolder(const std::string& folder, bool force, const char* own,
                         bool (*isOwn)(const std::string& name),
                         bool (*remove)(const std::string& path), std::string* error) {
  if (!MakeFolders(folder)) {
    *error = "cannot create " + folder;
    return false;
  }
  std::vector<std::string> names;
  {
    keldra::UniqueDir dir(opendir(folder.c_str()));
    if (!dir) {
      *error = "cannot read " + folder + ": " + std::strerror(errno);
      return false;
    }
    while (dirent* entry = readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
  }
  if (names.empty()) return true;
  if (!force) {
    *error = folder + " is not empty: give an empty or new folder, or --force to replace " + own +
             " in it";
    return false;
  }
  for (const std::string& name : names) {
    if (!isOwn(name)) continue;
    std::string path = folder + name;
    if (!remove(path) && errno != ENOENT) {
      *error = "cannot remove " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool PrepareScanFolder(const std::string& folder, bool force, std::string* error) {
  return PrepareOutputFolder(
      folder, force, "the scan files", IsScanFile,
      [](const std::string& path) { return unlink(path.c_str()) == 0; }, error);
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string StringOf(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject()) return "";
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || !member->value.IsString()) return "";
  return std::string(member->value.GetString(), member->value.GetStringLength());
}

int64_t IntOf(const rapidjson::Value& object, const char* name, int64_t fallback) {
  if (!object.IsObject()) return fallback;
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || !member->value.IsInt64()) return fallback;
  return member->value.GetInt64();
}

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) != 0;
}

}  // namespace cli
