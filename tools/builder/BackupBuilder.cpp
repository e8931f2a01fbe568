#include "builder/BackupBuilder.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "builder/ManifestWriters.h"
#include "builder/Sha1.h"

namespace builder {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kUnixOf2001 = 978307200;
constexpr uint16_t kModeFile = 0100644;
constexpr uint16_t kModeDirectory = 040755;
constexpr uint16_t kModeSymlink = 0120755;
constexpr int kDefaultFileClass = 3;  // until first unlock: what most files use
constexpr size_t kCopyChunk = 1 << 20;

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileClose>;

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

std::string ErrnoText() {
  return std::strerror(errno);
}

FilePtr OpenForWriting(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) throw BuildError("cannot create " + path + ": " + ErrnoText());
  return file;
}

void WriteAll(std::FILE* file, std::string_view bytes, const std::string& path) {
  if (bytes.empty()) return;  // its data may be null, which fwrite must not see
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    throw BuildError("cannot write " + path + ": " + ErrnoText());
}

void CloseChecked(FilePtr file, const std::string& path) {
  if (std::fclose(file.release()) != 0)
    throw BuildError("cannot write " + path + ": " + ErrnoText());
}

// File ids name files below the backup folder; one that could leave it is
// only ever a manifest row.
bool IsSafeFileName(const std::string& fileID) {
  return !fileID.empty() && fileID.find('/') == std::string::npos && fileID != "." &&
         fileID != ".." && fileID.find('\0') == std::string::npos;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void SetString(plist_t dict, const char* key, const std::string& value) {
  plist_dict_set_item(dict, key, plist_new_string(value.c_str()));
}

void SetDate(plist_t dict, const char* key, int64_t seconds2001) {
  plist_dict_set_item(dict, key, plist_new_date(static_cast<int32_t>(seconds2001), 0));
}

// A stable identifier in the 8-4-4-4-12 form, derived from `seed`.
std::string UuidFrom(const std::string& seed) {
  Sha1 sha1;
  std::string hex = sha1.HexOf(seed).substr(0, 32);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

}  // namespace

BackupBuilder::BackupBuilder(std::string folder, BackupOptions options)
    : folder_(std::move(folder)), options_(options) {
  if (folder_.empty()) throw BuildError("no backup folder given");
  if (folder_.back() != '/') folder_ += '/';
  std::error_code error;
  fs::create_directories(folder_, error);
  if (error) throw BuildError("cannot create " + folder_ + ": " + error.message());
  std::string manifest = ManifestPath();
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) fs::remove(manifest + suffix, error);
  writer_ = options_.manifest == ManifestFormat::kDb ? OpenDbManifest(manifest)
                                                     : OpenMbdbManifest(manifest);
}

BackupBuilder::~BackupBuilder() {
  try {
    Finish();
  } catch (...) {
    // Destructors must not throw; a caller that cares calls Finish itself.
  }
}

std::string BackupBuilder::ManifestPath() const {
  return folder_ + (options_.manifest == ManifestFormat::kDb ? "Manifest.db" : "Manifest.mbdb");
}

std::string BackupBuilder::StoredPath(const std::string& fileID) const {
  if (options_.manifest == ManifestFormat::kMbdb) return folder_ + fileID;
  return folder_ + fileID.substr(0, 2) + "/" + fileID;
}

std::string BackupBuilder::FileID(std::string_view domain, std::string_view relativePath) {
  thread_local Sha1 sha1;
  sha1.Update(domain);
  sha1.Update("-");
  sha1.Update(relativePath);
  return Sha1::Hex(sha1.Final());
}

void BackupBuilder::CheckOpen() const {
  if (finished_) throw BuildError("the backup in " + folder_ + " is already finished");
}

void BackupBuilder::EditPlist(PlistFile which, PlistEdit edit) {
  CheckOpen();
  edits_.emplace_back(which, std::move(edit));
}

void BackupBuilder::SetProtector(std::unique_ptr<Protector> protector) {
  CheckOpen();
  protector_ = std::move(protector);
}

std::string BackupBuilder::AddFile(const std::string& domain, const std::string& relativePath,
                                   std::string_view bytes) {
  ManifestEntry entry;
  entry.domain = domain;
  entry.relativePath = relativePath;
  return AddEntryWithContent(std::move(entry), bytes);
}

std::string BackupBuilder::AddFileFromDisk(const std::string& domain,
                                           const std::string& relativePath,
                                           const std::string& sourcePath) {
  CheckOpen();
  ManifestEntry entry;
  entry.domain = domain;
  entry.relativePath = relativePath;
  CompleteEntry(entry);
  StoreFromDisk(entry, sourcePath);
  return AddCompleted(entry);
}

std::string BackupBuilder::AddManifestEntry(const std::string& domain,
                                            const std::string& relativePath, int flags) {
  ManifestEntry entry;
  entry.domain = domain;
  entry.relativePath = relativePath;
  entry.flags = flags;
  return AddEntry(std::move(entry));
}

void BackupBuilder::AddDirectory(const std::string& domain, const std::string& relativePath) {
  AddManifestEntry(domain, relativePath, kFlagDirectory);
}

void BackupBuilder::AddSymlink(const std::string& domain, const std::string& relativePath,
                               const std::string& target) {
  ManifestEntry entry;
  entry.domain = domain;
  entry.relativePath = relativePath;
  entry.flags = kFlagSymlink;
  entry.target = target;
  AddEntry(std::move(entry));
}

std::string BackupBuilder::AddEntry(ManifestEntry entry) {
  CheckOpen();
  CompleteEntry(entry);
  return AddCompleted(entry);
}

std::string BackupBuilder::AddEntryWithContent(ManifestEntry entry, std::string_view content) {
  CheckOpen();
  CompleteEntry(entry);
  StoreContent(entry, content);
  return AddCompleted(entry);
}

void BackupBuilder::CompleteEntry(ManifestEntry& entry) {
  if (entry.fileID.empty()) entry.fileID = FileID(entry.domain, entry.relativePath);
  if (entry.mode == 0) {
    entry.mode = entry.flags == kFlagDirectory ? kModeDirectory
                 : entry.flags == kFlagSymlink ? kModeSymlink
                                               : kModeFile;
  }
  if (entry.protectionClass < 0)
    entry.protectionClass = entry.flags == kFlagFile ? kDefaultFileClass : 0;
  if (entry.inode == 0) entry.inode = nextInode_++;
  if (entry.modified == 0) entry.modified = device_.lastBackupDate + kUnixOf2001 - 3600;
}

std::string BackupBuilder::AddCompleted(const ManifestEntry& entry) {
  writer_->Add(entry);
  ++rows_;
  listed_.insert(entry.fileID);
  return entry.fileID;
}

bool BackupBuilder::AddEntryUnlessListed(ManifestEntry entry) {
  CheckOpen();
  CompleteEntry(entry);
  if (listed_.count(entry.fileID)) return false;
  writer_->Add(entry);
  ++rows_;
  return true;
}

std::string BackupBuilder::PrepareStoredPath(const std::string& fileID) {
  if (!IsSafeFileName(fileID)) throw BuildError("no content can be stored as '" + fileID + "'");
  if (options_.manifest == ManifestFormat::kDb) {
    int high = fileID.size() >= 2 ? HexValue(fileID[0]) : -1;
    int low = fileID.size() >= 2 ? HexValue(fileID[1]) : -1;
    bool known = high >= 0 && low >= 0 && subfolders_.test(high * 16 + low);
    if (!known) {
      std::error_code error;
      fs::create_directories(folder_ + fileID.substr(0, 2), error);
      if (error) throw BuildError("cannot create a folder for " + fileID + ": " + error.message());
      if (high >= 0 && low >= 0) subfolders_.set(high * 16 + low);
    }
  }
  return StoredPath(fileID);
}

void BackupBuilder::StoreContent(ManifestEntry& entry, std::string_view content) {
  std::string path = PrepareStoredPath(entry.fileID);
  entry.size = content.size();
  std::string sealed;
  if (protector_) {
    protector_->BeginFile(entry);
    protector_->SealContent(content, true, sealed);
    content = sealed;
  }
  if (entry.digest.empty()) entry.digest = Sha1().Of(content);
  FilePtr file = OpenForWriting(path);
  WriteAll(file.get(), content, path);
  CloseChecked(std::move(file), path);
}

void BackupBuilder::StoreFromDisk(ManifestEntry& entry, const std::string& sourcePath) {
  FilePtr source(std::fopen(sourcePath.c_str(), "rb"));
  if (!source) throw BuildError("cannot read " + sourcePath + ": " + ErrnoText());
  std::string path = PrepareStoredPath(entry.fileID);
  FilePtr target = OpenForWriting(path);
  if (protector_) protector_->BeginFile(entry);

  Sha1 digest;
  std::string chunk(kCopyChunk, '\0');
  std::string sealed;
  uint64_t size = 0;
  auto store = [&](std::string_view piece, bool last) {
    std::string_view bytes = piece;
    if (protector_) {
      sealed.clear();
      protector_->SealContent(piece, last, sealed);
      bytes = sealed;
    }
    digest.Update(bytes);
    WriteAll(target.get(), bytes, path);
  };
  size_t got;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), source.get())) > 0) {
    size += got;
    store(std::string_view(chunk.data(), got), false);
  }
  if (std::ferror(source.get())) throw BuildError("cannot read " + sourcePath + ": " + ErrnoText());
  store({}, true);
  CloseChecked(std::move(target), path);
  entry.size = size;
  if (entry.digest.empty()) entry.digest = digest.Final();
}

void BackupBuilder::Finish() {
  if (finished_) return;
  finished_ = true;
  writer_->Close();
  if (protector_ && options_.manifest == ManifestFormat::kDb)
    protector_->SealManifestDb(ManifestPath());
  WritePlists();
}

void BackupBuilder::WritePlists() {
  const DeviceInfo& d = device_;
  bool db = options_.manifest == ManifestFormat::kDb;
  if (options_.writeInfoPlist) {
    PlistPtr info(plist_new_dict());
    plist_t i = info.get();
    plist_dict_set_item(i, "Applications", plist_new_dict());
    SetString(i, "Build Version", d.buildVersion);
    SetString(i, "Device Name", d.deviceName);
    SetString(i, "Display Name", d.deviceName);
    SetString(i, "GUID", Sha1().HexOf("guid-" + d.uniqueIdentifier).substr(0, 32));
    SetDate(i, "Last Backup Date", d.lastBackupDate);
    SetString(i, "Product Name", d.productName);
    SetString(i, "Product Type", d.productType);
    SetString(i, "Product Version", d.productVersion);
    SetString(i, "Serial Number", d.serialNumber);
    SetString(i, "Target Identifier", d.uniqueIdentifier);
    SetString(i, "Target Type", "Device");
    SetString(i, "Unique Identifier", d.uniqueIdentifier);
    SetString(i, "iTunes Version", "12.13.2.3");
    WritePlist(PlistFile::kInfo, i, "Info.plist");
  }
  if (options_.writeManifestPlist) {
    PlistPtr manifest(plist_new_dict());
    plist_t m = manifest.get();
    plist_dict_set_item(m, "Applications", plist_new_dict());
    SetDate(m, "Date", d.lastBackupDate);
    plist_dict_set_item(m, "IsEncrypted", plist_new_bool(options_.isEncrypted));
    if (options_.writeLockdown) {
      plist_t lockdown = plist_new_dict();
      SetString(lockdown, "BuildVersion", d.buildVersion);
      SetString(lockdown, "DeviceName", d.deviceName);
      SetString(lockdown, "ProductType", d.productType);
      SetString(lockdown, "ProductVersion", d.productVersion);
      SetString(lockdown, "SerialNumber", d.serialNumber);
      SetString(lockdown, "UniqueDeviceID", d.uniqueIdentifier);
      plist_dict_set_item(m, "Lockdown", lockdown);
    }
    SetString(m, "SystemDomainsVersion", db ? "24.0" : "20.0");
    SetString(m, "Version", db ? "10.0" : "9.1");
    plist_dict_set_item(m, "WasPasscodeSet", plist_new_bool(0));
    if (protector_) protector_->AddManifestKeys(m);
    WritePlist(PlistFile::kManifest, m, "Manifest.plist");
  }
  if (options_.writeStatusPlist) {
    PlistPtr status(plist_new_dict());
    plist_t s = status.get();
    SetString(s, "BackupState", "new");
    SetDate(s, "Date", d.lastBackupDate);
    plist_dict_set_item(s, "IsFullBackup", plist_new_bool(0));
    SetString(s, "SnapshotState", "finished");
    SetString(s, "UUID", UuidFrom("status-" + d.uniqueIdentifier));
    SetString(s, "Version", db ? "3.3" : "2.4");
    WritePlist(PlistFile::kStatus, s, "Status.plist");
  }
}

void BackupBuilder::WritePlist(PlistFile which, plist_t dict, const std::string& name) {
  for (const auto& [file, edit] : edits_)
    if (file == which) edit(dict);
  char* bytes = nullptr;
  uint32_t length = 0;
  bool xml = options_.plist == PlistFormat::kXml;
  if (xml)
    plist_to_xml(dict, &bytes, &length);
  else
    plist_to_bin(dict, &bytes, &length);
  auto release = [xml](char* p) { xml ? plist_to_xml_free(p) : plist_to_bin_free(p); };
  std::unique_ptr<char, decltype(release)> owned(bytes, release);
  if (!bytes) throw BuildError("cannot encode " + name);
  std::string path = folder_ + name;
  FilePtr file = OpenForWriting(path);
  WriteAll(file.get(), std::string_view(bytes, length), path);
  CloseChecked(std::move(file), path);
}

}  // namespace builder
