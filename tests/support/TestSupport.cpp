#include "support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "Events.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityFile.h"

namespace testing_support {
namespace {

void RemoveTree(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  if (S_ISDIR(info.st_mode)) {
    chmod(path.c_str(), 0700);  // tests make folders read-only
    for (const std::string& name : FolderEntries(path)) RemoveTree(path + "/" + name);
    rmdir(path.c_str());
  } else {
    unlink(path.c_str());
  }
}

void Snapshot(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  std::string path = root + relative;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  std::ostringstream line;
  line << relative << " mode=" << std::oct << info.st_mode << std::dec << " size=" << info.st_size
       << " mtime=" << info.st_mtim.tv_sec << "." << info.st_mtim.tv_nsec;
  if (S_ISREG(info.st_mode)) {
    std::string bytes = ReadFile(path);
    line << " sha1=" << VRNUtilityFile::Sha1Hex(bytes.data(), bytes.size());
  }
  out.push_back(line.str());
  if (S_ISDIR(info.st_mode))
    for (const std::string& name : FolderEntries(path)) Snapshot(root, relative + "/" + name, out);
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/keldra-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buffer.data()) + "/";
}

TempFolder::~TempFolder() {
  RemoveTree(path_.substr(0, path_.size() - 1));
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  if (const char* old = std::getenv("TZ")) previous_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (previous_)
    setenv("TZ", previous_->c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

std::string FixturesDir() {
  const char* override = std::getenv("KELDRA_FIXTURES");
  std::string dir = override && *override ? override : KELDRA_FIXTURES_DIR;
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
  if (dir.back() != '/') dir += '/';
  return dir;
}

void ExecSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  char* error = nullptr;
  int rc = sqlite3_open(path.c_str(), &db);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << path << ": " << (error ? error : sqlite3_errmsg(db));
  sqlite3_free(error);
  sqlite3_close(db);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void MakeFolders(const std::string& path) {
  std::error_code ignored;
  std::filesystem::create_directories(path, ignored);
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Quoted(const std::string& text) {
  rapidjson::Value value(rapidjson::StringRef(text.c_str(), text.size()));
  return Json(value);
}

host::SendOptions BuildTreeOptions() {
  host::SendOptions options;
  options.modulePath = std::string(KELDRA_LIB_DIR) + "/libkeldra.so";
  options.decryptModulePath = std::string(KELDRA_LIB_DIR) + "/libvexa.so";
  return options;
}

host::Recorder Send(const std::string& command, const std::optional<std::string>& payload,
                    host::SendOptions options) {
  host::Recorder recorder;
  std::string error;
  if (host::RunSend(options, command, payload, recorder, &error) != 0)
    throw std::runtime_error("send failed: " + error);
  return recorder;
}

std::vector<std::string> ResultTexts(const host::Recorder& recorder) {
  std::vector<std::string> texts;
  for (const rapidjson::Value* payload : recorder.Payloads("result"))
    texts.push_back(Json(*payload));
  return texts;
}

std::string StatusText(const std::string& command, int status, int errorCode) {
  return "{\"stage\":3,\"status\":" + std::to_string(status) + ",\"sub_command_type\":\"" +
         command + "\",\"error_code\":" + std::to_string(errorCode) + "}";
}

std::string Json(const rapidjson::Value& value) {
  return PimJsonUtil::ToString(value);
}

std::string TreeSnapshot(const std::string& folder) {
  std::vector<std::string> lines;
  std::string root = folder;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  Snapshot(root, "", lines);
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

}  // namespace testing_support
