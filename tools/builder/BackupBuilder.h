// Writes device backup folders the way the desktop backup tool leaves them:
// Info.plist, Manifest.plist, Status.plist, the manifest (Manifest.db or the
// legacy Manifest.mbdb) and the stored files named by file id. Tests, the demo
// and the benchmarks build every backup they read through this class.
//
// Rows are written as they are added (one transaction, one prepared
// statement, or one buffered stream for Manifest.mbdb), so manifests of
// millions of rows build without holding them in memory.
#ifndef KELDRA_BUILDER_BACKUPBUILDER_H_
#define KELDRA_BUILDER_BACKUPBUILDER_H_

#include <plist/plist.h>

#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace builder {

enum class ManifestFormat { kDb, kMbdb };
enum class PlistFormat { kBinary, kXml };
enum class PlistFile { kInfo, kManifest, kStatus };

// The values of the `flags` column.
inline constexpr int kFlagFile = 1;
inline constexpr int kFlagDirectory = 2;
inline constexpr int kFlagSymlink = 4;

// Every failure to write the backup.
class BuildError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct DeviceInfo {
  std::string deviceName = "Test iPhone";
  std::string productName = "iPhone 14 Pro";
  std::string productType = "iPhone15,2";
  std::string productVersion = "17.5.1";
  std::string buildVersion = "21F90";
  std::string serialNumber = "K7QX2M9PLR";
  std::string uniqueIdentifier = "00008120-001A2B3C4D5E602E";
  int64_t lastBackupDate = 740140200;  // 2024-06-15 10:30:00 UTC, seconds since 2001
};

struct BackupOptions {
  ManifestFormat manifest = ManifestFormat::kDb;
  PlistFormat plist = PlistFormat::kBinary;
  bool writeInfoPlist = true;
  bool writeManifestPlist = true;
  bool writeStatusPlist = true;
  bool writeLockdown = true;  // the Lockdown dictionary of Manifest.plist
  bool isEncrypted = false;   // the flag alone unless a Protector is set
};

// One manifest row with the metadata its `file` archive (or mbdb record)
// carries. Zero or empty fields take realistic defaults when the row is added.
struct ManifestEntry {
  std::string domain;
  std::string relativePath;
  int flags = kFlagFile;
  std::string fileID;  // empty: FileID(domain, relativePath)
  std::string target;  // symlinks
  uint64_t size = 0;
  uint16_t mode = 0;          // 0: from flags (0100644, 040755, 0120755)
  int protectionClass = -1;   // -1: 3 for files, 0 otherwise
  uint64_t inode = 0;         // 0: the next number of a counter
  int64_t modified = 0;       // Unix seconds; 0: shortly before the backup date
  std::string digest;         // raw SHA-1 of the content; written when present
  std::string encryptionKey;  // raw wrapped key; written when present
  // Extended attributes; the legacy manifest alone stores them.
  std::vector<std::pair<std::string, std::string>> properties;
};

// What an encrypted backup adds. The builder stays plain; a Protector set on
// it sees every regular file's content, the closed Manifest.db and
// Manifest.plist, and changes them in place.
class Protector {
 public:
  virtual ~Protector() = default;
  // Before a regular file's content is stored: may set entry.protectionClass
  // and entry.encryptionKey, which the row then carries.
  virtual void BeginFile(ManifestEntry& entry) = 0;
  // Turns the next piece of content into the bytes to store, appended to
  // `out`; `last` is set on the final piece (which may be empty).
  virtual void SealContent(std::string_view piece, bool last, std::string& out) = 0;
  // Once the plain Manifest.db is committed and closed.
  virtual void SealManifestDb(const std::string& path) = 0;
  // Before Manifest.plist is written (keybag, manifest key, ...).
  virtual void AddManifestKeys(plist_t manifest) = 0;
};

// Appends one row to a manifest file; the two formats implement it.
class ManifestWriter {
 public:
  virtual ~ManifestWriter() = default;
  // `entry` is complete: its file id and defaults are filled in.
  virtual void Add(const ManifestEntry& entry) = 0;
  // Commits and closes; nothing may be added afterwards.
  virtual void Close() = 0;
};

class BackupBuilder {
 public:
  using PlistEdit = std::function<void(plist_t dict)>;

  // Creates `folder` when needed and replaces a manifest of the same format
  // already in it.
  explicit BackupBuilder(std::string folder, BackupOptions options = {});
  ~BackupBuilder();
  BackupBuilder(const BackupBuilder&) = delete;
  BackupBuilder& operator=(const BackupBuilder&) = delete;

  DeviceInfo& Device() { return device_; }
  const BackupOptions& Options() const { return options_; }
  // The folder, ending in "/".
  const std::string& Folder() const { return folder_; }

  // A regular file: its row and its stored content. Returns the file id.
  std::string AddFile(const std::string& domain, const std::string& relativePath,
                      std::string_view bytes);
  std::string AddFileFromDisk(const std::string& domain, const std::string& relativePath,
                              const std::string& sourcePath);
  // A row alone, nothing stored: synthetic manifests and files that are
  // listed but missing.
  std::string AddManifestEntry(const std::string& domain, const std::string& relativePath,
                               int flags);
  void AddDirectory(const std::string& domain, const std::string& relativePath);
  void AddSymlink(const std::string& domain, const std::string& relativePath,
                  const std::string& target);
  // Full control over the row (odd file ids, unusual flags, extended
  // attributes); `content` is stored when given.
  std::string AddEntry(ManifestEntry entry);
  std::string AddEntryWithContent(ManifestEntry entry, std::string_view content);
  // A row that gives way: skipped (false) when a row with its file id came
  // through any other Add call, so that synthetic rows and real content mix.
  bool AddEntryUnlessListed(ManifestEntry entry);
  // Whether a row for the file came through any Add call but AddEntryUnlessListed.
  bool Lists(const std::string& domain, const std::string& relativePath) const {
    return listed_.count(FileID(domain, relativePath)) != 0;
  }

  // Runs after the standard keys are in place, so an edit can replace,
  // retype or remove them. Edits run in the order given.
  void EditPlist(PlistFile which, PlistEdit edit);
  void SetProtector(std::unique_ptr<Protector> protector);

  // Closes the manifest and writes the property lists. Later calls do
  // nothing; the destructor calls it (and swallows its errors).
  void Finish();

  size_t RowCount() const { return rows_; }
  std::string ManifestPath() const;
  // Where the content of `fileID` is stored for this builder's format.
  std::string StoredPath(const std::string& fileID) const;

  // Lowercase hex SHA-1 of domain + "-" + relativePath.
  static std::string FileID(std::string_view domain, std::string_view relativePath);

 private:
  void CompleteEntry(ManifestEntry& entry);
  std::string AddCompleted(const ManifestEntry& entry);
  void StoreContent(ManifestEntry& entry, std::string_view content);
  void StoreFromDisk(ManifestEntry& entry, const std::string& sourcePath);
  // Where `fileID` is stored, its sub-folder made when needed.
  std::string PrepareStoredPath(const std::string& fileID);
  void WritePlists();
  void WritePlist(PlistFile which, plist_t dict, const std::string& name);
  void CheckOpen() const;

  std::string folder_;
  BackupOptions options_;
  DeviceInfo device_;
  std::unique_ptr<ManifestWriter> writer_;
  std::unique_ptr<Protector> protector_;
  std::vector<std::pair<PlistFile, PlistEdit>> edits_;
  std::bitset<256> subfolders_;  // Manifest.db layout: sub-folders made so far
  uint64_t nextInode_ = 1200000;
  size_t rows_ = 0;
  // File ids of the rows added through every call but AddEntryUnlessListed:
  // the few real entries, never the bulk of a synthetic manifest.
  std::unordered_set<std::string> listed_;
  bool finished_ = false;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_BACKUPBUILDER_H_
