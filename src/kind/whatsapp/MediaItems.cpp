// The media item table: every item with a local path, located in the backup
// by the file id of "Message/" + that path in the app's group domain. The
// manifest is not consulted, and a file of an encrypted backup is named but
// not decrypted.
#include <set>
#include <string>
#include <string_view>

#include "kind/whatsapp/Columns.h"
#include "kind/whatsapp/WhatsApp.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityFile.h"

namespace keldra {
namespace {

constexpr char kMediaSql[] =
    "SELECT Z_PK, ZMEDIALOCALPATH,ZFILESIZE,ZAUTHORNAME,ZTITLE,ZMEDIAURLDATE FROM ZWAMEDIAITEM";

// The media statement from the columns this store has.
std::string CompleteMediaSql(const sqlite::Database& database) {
  std::set<std::string> columns = whatsapp::ColumnsOf(database, "ZWAMEDIAITEM");
  std::string sql = "SELECT i.Z_PK";
  for (const char* name :
       {"ZMEDIALOCALPATH", "ZFILESIZE", "ZAUTHORNAME", "ZTITLE", "ZMEDIAURLDATE"})
    sql += ", " + whatsapp::ColumnOrNull(columns, "i", name);
  return sql + " FROM ZWAMEDIAITEM AS i";
}

// Media/a.jpg and /Media/a.jpg both lie at Message/Media/a.jpg.
std::string RelativePathOf(std::string_view localPath) {
  std::string relativePath = localPath.front() == '/' ? "Message" : "Message/";
  relativePath.append(localPath);
  return relativePath;
}

}  // namespace

bool WhatsApp::ReadMediaItems(rapidjson::Document& document, const std::string& backupPath,
                              int backupType) {
  std::string sql = CompleteReading() ? CompleteMediaSql(database_) : kMediaSql;
  sqlite::Statement statement = sqlite::Prepare(database_, sql.c_str());
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  auto& allocator = document.GetAllocator();
  while (sqlite3_step(row) == SQLITE_ROW) {
    std::string localPath(sqlite::Text(row, 1));
    if (localPath.empty()) continue;
    std::string relativePath = RelativePathOf(localPath);
    std::string fileID = Utils::CalcFileID(kDomain, relativePath);
    std::string path = StoredFilePath(backupPath, backupType, fileID);
    if (!VRNUtilityFile::IsFileExist(path.c_str())) path.clear();

    const int64_t id = sqlite::Int64(row, 0);
    rapidjson::Value item(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "date",
                                        sqlite::IsNull(row, 5) ? "" : whatsapp::DateOf(row, 5));
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "relativePath", relativePath);
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "path", path);
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "format",
                                        Utils::GetFilePostfix(localPath));
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "hash", fileID);
    PimJsonUtil::AddJsonDictInt64Value(item, allocator, "size", sqlite::Int64(row, 2));
    std::string name =
        sqlite::IsNull(row, 3) ? Utils::GetFileName(localPath) : std::string(sqlite::Text(row, 3));
    PimJsonUtil::AddJsonDictStringValue(item, allocator, "name",
                                        Utils::GetFileNameWithoutExt(name));
    PimJsonUtil::AddJsonDictInt64Value(item, allocator, "id", id);
    whatsapp::AddText(item, allocator, "title", row, 4);

    rapidjson::Value key = PimJsonUtil::MakeString(std::to_string(id), allocator);
    mediaItems_->AddMember(key, item, allocator);
  }
  return true;
}

}  // namespace keldra
