#include "builder/ManifestWriters.h"

#include <sqlite3.h>

#include <cstdio>

#include "builder/FileArchive.h"

namespace builder {
namespace {

struct DatabaseClose {
  void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct StatementFinalize {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The indexes are made after the rows: sorting once is much faster than
// keeping them ordered through millions of inserts.
constexpr char kCreateTables[] =
    "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, "
    "file BLOB);"
    "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);";
constexpr char kCreateIndexes[] =
    "CREATE INDEX FilesDomainIdx ON Files(domain);"
    "CREATE INDEX FilesRelativePathIdx ON Files(relativePath);"
    "CREATE INDEX FilesFlagsIdx ON Files(flags);";
constexpr char kInsert[] =
    "INSERT INTO Files (fileID, domain, relativePath, flags, file) VALUES (?1, ?2, ?3, ?4, ?5)";

class DbManifestWriter : public ManifestWriter {
 public:
  explicit DbManifestWriter(const std::string& path) : path_(path) {
    sqlite3* raw = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    database_.reset(raw);
    if (rc != SQLITE_OK) Fail("cannot create");
    // A lost build is rebuilt, never recovered: no syncing. The cache is
    // sized for the primary-key index of a few million rows.
    Exec("PRAGMA journal_mode=DELETE; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536;");
    Exec(kCreateTables);
    Exec("BEGIN");
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(raw, kInsert, -1, &statement, nullptr) != SQLITE_OK) Fail("prepare");
    insert_.reset(statement);
  }

  void Add(const ManifestEntry& entry) override {
    const std::string& fileID = entry.fileID;
    if (!insert_) throw BuildError("Manifest.db is closed");
    archive_.Encode(entry, blob_);
    sqlite3_stmt* s = insert_.get();
    sqlite3_bind_text(s, 1, fileID.data(), static_cast<int>(fileID.size()), SQLITE_STATIC);
    sqlite3_bind_text(s, 2, entry.domain.data(), static_cast<int>(entry.domain.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(s, 3, entry.relativePath.data(), static_cast<int>(entry.relativePath.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int(s, 4, entry.flags);
    sqlite3_bind_blob(s, 5, blob_.data(), static_cast<int>(blob_.size()), SQLITE_STATIC);
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    if (rc == SQLITE_CONSTRAINT)
      throw BuildError("two rows for " + entry.domain + "-" + entry.relativePath + " (" + fileID +
                       ")");
    if (rc != SQLITE_DONE) Fail("insert of " + fileID);
  }

  void Close() override {
    if (!database_) return;
    insert_.reset();
    Exec(kCreateIndexes);
    Exec("COMMIT");
    if (sqlite3_close(database_.release()) != SQLITE_OK) throw BuildError("cannot close " + path_);
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(database_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  [[noreturn]] void Fail(const std::string& what) {
    std::string message = path_ + ": " + what;
    if (database_) message += ": " + std::string(sqlite3_errmsg(database_.get()));
    throw BuildError(message);
  }

  std::string path_;
  std::unique_ptr<sqlite3, DatabaseClose> database_;
  std::unique_ptr<sqlite3_stmt, StatementFinalize> insert_;
  FileArchiveEncoder archive_;
  std::string blob_;
};

class MbdbManifestWriter : public ManifestWriter {
 public:
  explicit MbdbManifestWriter(const std::string& path) : path_(path) {
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) throw BuildError("cannot create " + path);
    std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
    Write(std::string_view("mbdb\x05\x00", 6));
  }

  void Add(const ManifestEntry& entry) override {
    if (!file_) throw BuildError("Manifest.mbdb is closed");
    if (entry.properties.size() > 0xFF) throw BuildError("more than 255 properties");
    record_.clear();
    PutString(entry.domain);
    PutString(entry.relativePath);
    PutString(entry.target);
    PutString(entry.digest);
    PutString(entry.encryptionKey);
    uint32_t time = static_cast<uint32_t>(entry.modified);
    Put(entry.mode, 2);
    Put(entry.inode, 8);
    Put(501, 4);   // user
    Put(501, 4);   // group
    Put(time, 4);  // modified
    Put(time, 4);  // accessed
    Put(time, 4);  // created
    Put(entry.size, 8);
    Put(static_cast<uint8_t>(entry.protectionClass), 1);
    Put(entry.properties.size(), 1);
    for (const auto& [name, value] : entry.properties) {
      PutString(name);
      PutString(value);
    }
    Write(record_);
  }

  void Close() override {
    if (!file_) return;
    int rc = std::fclose(file_.release());
    if (rc != 0) throw BuildError("cannot write " + path_);
  }

 private:
  void Put(uint64_t value, unsigned size) {
    for (unsigned shift = size * 8; shift > 0; shift -= 8)
      record_.push_back(static_cast<char>((value >> (shift - 8)) & 0xFF));
  }
  // An empty string is written as the 0xFFFF length alone.
  void PutString(std::string_view text) {
    if (text.size() >= 0xFFFF) throw BuildError("an mbdb string is longer than 65534 bytes");
    if (text.empty()) {
      Put(0xFFFF, 2);
      return;
    }
    Put(text.size(), 2);
    record_.append(text);
  }
  void Write(std::string_view bytes) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
      throw BuildError("cannot write " + path_);
  }

  std::string path_;
  std::unique_ptr<std::FILE, FileClose> file_;
  std::string record_;
};

}  // namespace

std::unique_ptr<ManifestWriter> OpenDbManifest(const std::string& path) {
  return std::make_unique<DbManifestWriter>(path);
}

std::unique_ptr<ManifestWriter> OpenMbdbManifest(const std::string& path) {
  return std::make_unique<MbdbManifestWriter>(path);
}

}  // namespace builder
