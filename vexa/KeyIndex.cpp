#include "KeyIndex.h"

#include <glog/logging.h>
#include <openssl/sha.h>
#include <sqlite3.h>

#include <unordered_map>

#include "common/Sqlite.h"
#include "common/StoredFile.h"
#include "formats/KeyedArchive.h"
#include "formats/MbdbParser.h"

namespace vexa {
namespace {

constexpr int kFlagFile = 1;
constexpr int kFlagDirectory = 2;
constexpr int kFlagSymlink = 4;
constexpr char kFindRow[] = "SELECT flags, file FROM Files WHERE fileID = ?1";

StoredFileKey::Kind KindOfFlags(int64_t flags) {
  switch (flags) {
    case kFlagFile:
      return StoredFileKey::Kind::kFile;
    case kFlagDirectory:
      return StoredFileKey::Kind::kDirectory;
    case kFlagSymlink:
      return StoredFileKey::Kind::kSymlink;
    default:
      return StoredFileKey::Kind::kOther;
  }
}

StoredFileKey::Kind KindOfMode(uint16_t mode) {
  switch (mode & 0xF000) {
    case 0x8000:
      return StoredFileKey::Kind::kFile;
    case 0x4000:
      return StoredFileKey::Kind::kDirectory;
    case 0xA000:
      return StoredFileKey::Kind::kSymlink;
    default:
      return StoredFileKey::Kind::kOther;
  }
}

class DbKeyIndex : public KeyIndex {
 public:
  DbKeyIndex(keldra::sqlite::Statement find, SecureBytes bytes)
      : bytes_(std::move(bytes)), find_(std::move(find)) {}
  ~DbKeyIndex() override {
    // SQLite reads the bytes until it is closed (the statement holds it open).
    find_.reset();
  }

  std::optional<StoredFileKey> Find(const std::string& fileId) override {
    sqlite3_stmt* find = find_.get();
    sqlite3_reset(find);
    sqlite3_bind_text(find, 1, fileId.data(), static_cast<int>(fileId.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(find) != SQLITE_ROW) {
      sqlite3_reset(find);
      return std::nullopt;
    }
    StoredFileKey key;
    key.kind = KindOfFlags(sqlite3_column_int64(find, 0));
    if (sqlite3_column_type(find, 1) != SQLITE_NULL) {
      const void* blob = sqlite3_column_blob(find, 1);
      int size = sqlite3_column_bytes(find, 1);
      std::string error;
      std::optional<ArchivedFile> archive = ReadFileArchive(
          std::string_view(static_cast<const char*>(blob), blob ? static_cast<size_t>(size) : 0),
          &error);
      if (archive) {
        if (archive->encryptionKey) key.wrappedKey = std::move(*archive->encryptionKey);
        key.protectionClass = archive->protectionClass.value_or(-1);
        if (archive->size && *archive->size >= 0)
          key.recordedSize = static_cast<uint64_t>(*archive->size);
      } else {
        key.metadataReadable = false;
        LOG(WARNING) << "file " << fileId << ": its manifest archive is unreadable: " << error;
      }
    }
    sqlite3_reset(find);
    return key;
  }

 private:
  SecureBytes bytes_;  // the in-memory database; empty for a file on disk
  keldra::sqlite::Statement find_;
};

std::unique_ptr<KeyIndex> MakeDbIndex(const keldra::sqlite::Database& database, SecureBytes bytes) {
  keldra::sqlite::Statement find = keldra::sqlite::Prepare(database, kFindRow);
  if (!find) return nullptr;
  return std::make_unique<DbKeyIndex>(std::move(find), std::move(bytes));
}

class LegacyKeyIndex : public KeyIndex {
 public:
  void Add(const keldra::MbdbEntry& entry) {
    std::string joined = entry.domain + "-" + entry.path;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(joined.data()), joined.size(), digest);
    static const char kHex[] = "0123456789abcdef";
    std::string id(2 * SHA_DIGEST_LENGTH, '0');
    for (size_t i = 0; i < SHA_DIGEST_LENGTH; ++i) {
      id[2 * i] = kHex[digest[i] >> 4];
      id[2 * i + 1] = kHex[digest[i] & 15];
    }
    StoredFileKey key;
    key.kind = KindOfMode(entry.mode);
    key.wrappedKey = entry.encryptionKey;
    key.protectionClass = entry.flags;  // the byte that holds the protection class
    key.recordedSize = entry.length;
    entries_.emplace(std::move(id), std::move(key));  // the first entry of an id wins
  }

  std::optional<StoredFileKey> Find(const std::string& fileId) override {
    auto found = entries_.find(fileId);
    if (found == entries_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::unordered_map<std::string, StoredFileKey> entries_;
};

}  // namespace

std::unique_ptr<KeyIndex> OpenDbIndexInMemory(SecureBytes bytes) {
  if (bytes.empty()) return nullptr;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  keldra::sqlite::Database database(raw, [](sqlite3* db) { sqlite3_close(db); });
  if (rc != SQLITE_OK) return nullptr;
  // Nothing in a backup's manifest may run code.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  // The index owns the bytes and outlives the connection; SQLite never
  // writes to or frees them.
  if (sqlite3_deserialize(raw, "main", bytes.data(), static_cast<sqlite3_int64>(bytes.size()),
                          static_cast<sqlite3_int64>(bytes.size()),
                          SQLITE_DESERIALIZE_READONLY) != SQLITE_OK)
    return nullptr;
  return MakeDbIndex(database, std::move(bytes));
}

std::unique_ptr<KeyIndex> OpenDbIndexFile(const std::string& path) {
  keldra::sqlite::Database database = keldra::sqlite::OpenReadOnly(path);
  if (!database) return nullptr;
  return MakeDbIndex(database, SecureBytes());
}

std::unique_ptr<KeyIndex> OpenLegacyIndex(const std::string& path) {
  keldra::UniqueFile file = keldra::OpenRegularStream(path);
  if (!file) return nullptr;
  keldra::ByteReader bytes(file.get());
  keldra::MbdbParser parser(bytes);
  if (!parser.ReadHeader()) return nullptr;
  auto index = std::make_unique<LegacyKeyIndex>();
  keldra::MbdbEntry entry;
  while (parser.Next(entry)) index->Add(entry);
  return index;
}

}  // namespace vexa
