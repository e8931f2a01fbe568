// Decryption benchmark, through the host and both modules as a scan or an
// export runs them:
//
//  * unlock: LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD on a backup whose keybag has
//    the devices' iteration counts (10,000,000 SHA-256, 10,000 SHA-1),
//    against the same two PBKDF2 stages run by `openssl kdf`;
//  * decrypt: LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE of one large stored file to
//    a new file, against `openssl enc -d -aes-256-cbc -nopad` over the same
//    ciphertext, with the peak resident size of each.
//
// Every measured run is a fresh process (this program re-executed, or
// openssl), so peak RSS is that run's alone. Backups are built once below
// --cache and reused.
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Events.h"
#include "Harness.h"
#include "builder/BackupBuilder.h"
#include "builder/Encryption.h"
#include "mivo/PlistUtil.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::MillisecondsSince;

constexpr char kPassword[] = "bench password";
constexpr char kUnlock[] = "LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD";
constexpr char kExport[] = "LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE";
constexpr char kBigPath[] = "Media/DCIM/100APPLE/IMG_0001.MOV";

std::string Hex(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string JsonString(const std::string& text) {
  rapidjson::Value value(rapidjson::StringRef(text.c_str(), text.size()));
  return host::events::ValueJson(value);
}

// Counts the results that carry data or a path, and whether the final status
// was 1.
class ResultCounter : public host::EventSink {
 public:
  void OnEvent(const std::string& line) override {
    if (line.find("\"status\":2") != std::string::npos) ++partial;
    if (line.find("\"stage\":3,\"status\":1") != std::string::npos) finished = true;
  }
  int partial = 0;
  bool finished = false;
};

// ---- child side -----------------------------------------------------------

// Unlocks `folder` and, when `stored` is given, exports it to `out`; prints
// "<unlock ms> <export ms>".
int RunChild(const std::string& folder, const std::string& stored, const std::string& out) {
  host::SendOptions options;
  options.taskId = "bench";
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "decrypt_bench: %s\n", error.c_str());
    return 1;
  }
  ResultCounter unlocked;
  Clock::time_point start = Clock::now();
  host::RunSend(options, kUnlock,
                "{\"backupDir\":" + JsonString(folder) + ",\"password\":\"" + kPassword + "\"}",
                unlocked, &error);
  double unlockMs = MillisecondsSince(start);
  if (!unlocked.finished) return 1;
  double exportMs = 0;
  if (!stored.empty()) {
    ResultCounter exported;
    start = Clock::now();
    host::RunSend(options, kExport,
                  "{\"backupDir\":" + JsonString(folder) + ",\"files\":{\"big\":[" +
                      JsonString(stored) + "," + JsonString(out) + "]}}",
                  exported, &error);
    exportMs = MillisecondsSince(start);
    if (exported.partial != 1) return 1;
  }
  std::printf("%.3f %.3f\n", unlockMs, exportMs);
  std::fflush(stdout);
  std::_Exit(0);
}

// ---- parent side ----------------------------------------------------------

// The whole process as the parent saw it; unlock and export as the child
// timed them.
struct Sample : bench::Usage {
  explicit Sample(const bench::Usage& usage = {}) : bench::Usage(usage) {}
  double unlockMs = 0;
  double exportMs = 0;
};

Sample RunModules(const std::string& folder, const std::string& stored, const std::string& out) {
  std::string output;
  Sample sample(bench::RunProcess({"/proc/self/exe", "--child", folder, stored, out}, &output));
  std::istringstream fields(output);
  fields >> sample.unlockMs >> sample.exportMs;
  if (!fields) sample.ok = false;
  return sample;
}

// The SALT and DPSL records of a keybag.
bool KeybagSalts(const std::string& folder, std::string& salt, std::string& passcodeSalt) {
  PlistPtr manifest = PlistUtil::ReadPlistOwned(folder + "Manifest.plist");
  std::optional<std::string> bag =
      manifest ? PlistUtil::GetData(manifest.get(), "BackupKeyBag") : std::nullopt;
  if (!bag) return false;
  for (size_t offset = 0; offset + 8 <= bag->size();) {
    std::string tag = bag->substr(offset, 4);
    size_t length = 0;
    for (int i = 4; i < 8; ++i) length = length << 8 | static_cast<uint8_t>((*bag)[offset + i]);
    if (offset + 8 + length > bag->size()) return false;
    if (tag == "SALT") salt = bag->substr(offset + 8, length);
    if (tag == "DPSL") passcodeSalt = bag->substr(offset + 8, length);
    offset += 8 + length;
  }
  return !salt.empty() && !passcodeSalt.empty();
}

void BuildUnlockBackup(const std::string& folder) {
  builder::BackupOptions options;
  options.isEncrypted = true;
  builder::BackupBuilder backup(folder, options);
  builder::EncryptionOptions encryption{kPassword, builder::kProductionPasscodeIterations,
                                        builder::kProductionIterations};
  backup.SetProtector(std::make_unique<builder::Encryption>(encryption));
  backup.AddFile("HomeDomain", "Library/Preferences/a.plist", "bench");
  backup.Finish();
}

void BuildLargeBackup(const std::string& folder, uint64_t bytes) {
  std::string source = folder + ".source";
  {
    std::ofstream out(source, std::ios::binary);
    std::string chunk(1 << 20, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t written = 0; written < bytes; written += chunk.size()) {
      for (size_t i = 0; i < chunk.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(&chunk[i], &state, 8);
      }
      out.write(chunk.data(),
                static_cast<std::streamsize>(std::min<uint64_t>(chunk.size(), bytes - written)));
    }
    if (!out) throw std::runtime_error("cannot write " + source);
  }
  builder::BackupOptions options;
  options.isEncrypted = true;
  builder::BackupBuilder backup(folder, options);
  backup.SetProtector(std::make_unique<builder::Encryption>(builder::EncryptionOptions{kPassword}));
  backup.AddFileFromDisk("CameraRollDomain", kBigPath, source);
  backup.Finish();
  std::remove(source.c_str());
}

int BenchUnlock(const std::string& cache, int repeat) {
  std::string folder = cache + "/unlock-production/";
  if (!bench::EnsureBuilt(cache + "/unlock-production", [](const std::string& f) {
        BuildUnlockBackup(f);
        return "complete";
      }))
    return 1;
  std::string salt, passcodeSalt;
  if (!KeybagSalts(folder, salt, passcodeSalt)) return 1;

  std::vector<double> ours, floor, oursRss;
  for (int i = 0; i < repeat; ++i) {
    Sample run = RunModules(folder, "", "");
    std::string stretched;
    bench::Usage sha256 =
        bench::RunProcess({"openssl", "kdf", "-keylen", "32", "-kdfopt", "digest:SHA256", "-kdfopt",
                           std::string("pass:") + kPassword, "-kdfopt",
                           "hexsalt:" + Hex(passcodeSalt), "-kdfopt", "iter:10000000", "PBKDF2"},
                          &stretched);
    stretched.erase(std::remove_if(stretched.begin(), stretched.end(),
                                   [](char c) { return c == ':' || c == '\n'; }),
                    stretched.end());
    bench::Usage sha1 =
        bench::RunProcess({"openssl", "kdf", "-keylen", "32", "-kdfopt", "digest:SHA1", "-kdfopt",
                           "hexpass:" + stretched, "-kdfopt", "hexsalt:" + Hex(salt), "-kdfopt",
                           "iter:10000", "PBKDF2"},
                          nullptr);
    if (!run.ok || !sha256.ok || !sha1.ok) {
      std::fprintf(stderr, "decrypt_bench: an unlock run failed (is openssl installed?)\n");
      return 1;
    }
    ours.push_back(run.unlockMs);
    oursRss.push_back(run.peakRssKb);
    floor.push_back(sha256.wallMs + sha1.wallMs);
  }
  double oursMs = Median(ours), floorMs = Median(floor);
  std::printf("\nUnlock with 10,000,000 + 10,000 iterations, median of %d\n", repeat);
  std::printf("%-34s %10s %9s %14s\n", "", "time (ms)", "x floor", "peak RSS (MB)");
  std::printf("%-34s %10.1f %9.2f\n", "openssl kdf, both stages (floor)", floorMs, 1.0);
  std::printf("%-34s %10.1f %9.2f %14.1f\n", "unlock through the modules", oursMs, oursMs / floorMs,
              Median(oursRss) / 1024);
  return 0;
}

int BenchDecrypt(const std::string& cache, uint64_t megabytes, int repeat) {
  std::string name = "large-" + std::to_string(megabytes) + "mib";
  std::string folder = cache + "/" + name + "/";
  uint64_t bytes = megabytes << 20;
  if (!bench::EnsureBuilt(cache + "/" + name, [&](const std::string& f) {
        BuildLargeBackup(f, bytes);
        return "complete";
      }))
    return 1;
  std::string id = builder::BackupBuilder::FileID("CameraRollDomain", kBigPath);
  std::string stored = folder + id.substr(0, 2) + "/" + id;
  std::string out = cache + "/" + name + ".out";

  std::vector<double> ours, floor, oursRss, floorRss;
  for (int i = 0; i < repeat; ++i) {
    std::remove(out.c_str());
    Sample run = RunModules(folder, stored, out);
    struct stat info;
    bool complete = stat(out.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) == bytes;
    std::remove(out.c_str());
    // Any key does the same work: -nopad skips the padding check.
    bench::Usage openssl =
        bench::RunProcess({"openssl", "enc", "-d", "-aes-256-cbc", "-K", std::string(64, '7'),
                           "-iv", std::string(32, '0'), "-nopad", "-in", stored, "-out", out},
                          nullptr);
    std::remove(out.c_str());
    if (!run.ok || !complete || !openssl.ok) {
      std::fprintf(stderr, "decrypt_bench: a decrypt run failed\n");
      return 1;
    }
    ours.push_back(run.exportMs);
    oursRss.push_back(run.peakRssKb);
    floor.push_back(openssl.wallMs);
    floorRss.push_back(openssl.peakRssKb);
  }
  double oursMs = Median(ours), floorMs = Median(floor);
  std::printf("\nDecrypt one %llu MiB stored file to a new file, median of %d\n",
              static_cast<unsigned long long>(megabytes), repeat);
  std::printf("%-34s %10s %9s %10s %14s\n", "", "time (ms)", "x floor", "MB/s", "peak RSS (MB)");
  std::printf("%-34s %10.1f %9.2f %10.0f %14.1f\n", "openssl enc -d -nopad (floor)", floorMs, 1.0,
              bytes / 1048576.0 / (floorMs / 1000), Median(floorRss) / 1024);
  std::printf("%-34s %10.1f %9.2f %10.0f %14.1f\n", "export through the modules", oursMs,
              oursMs / floorMs, bytes / 1048576.0 / (oursMs / 1000), Median(oursRss) / 1024);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) return RunChild(argv[2], argv[3], argv[4]);

  std::string cache = "/tmp/keldra-decrypt-bench";
  int repeat = 3;
  uint64_t megabytes = 1024;
  bool skipUnlock = false, skipDecrypt = false;
  CLI::App app{"Times unlocking and decrypting through the modules against openssl."};
  app.add_option("--cache", cache, "folder keeping the built backups");
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 50));
  app.add_option("--size-mib", megabytes, "size of the decrypted file")->check(CLI::Range(1, 8192));
  app.add_flag("--skip-unlock", skipUnlock, "leave the unlock measurement out");
  app.add_flag("--skip-decrypt", skipDecrypt, "leave the decrypt measurement out");
  CLI11_PARSE(app, argc, argv);
  mkdir(cache.c_str(), 0700);

  std::printf("%ld CPUs, %s\n", sysconf(_SC_NPROCESSORS_ONLN), bench::CpuModel().c_str());
  if (!skipUnlock && BenchUnlock(cache, repeat) != 0) return 1;
  if (!skipDecrypt && BenchDecrypt(cache, megabytes, repeat) != 0) return 1;
  return 0;
}
