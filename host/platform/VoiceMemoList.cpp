#include "platform/VoiceMemoList.h"

#include <set>

#include "common/StoredFile.h"
#include "mivo/PlistUtil.h"
#include "mivo/Utils.h"
#include "platform/StoredDatabase.h"
#include "vorn/PimJsonUtil.h"

namespace host {
namespace {

// The folder part of a path, "" when it has none.
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    int high = 0, low = 0;
    if (text[i] == '%' && i + 2 < text.size() && (high = HexValue(text[i + 1])) >= 0 &&
        (low = HexValue(text[i + 2])) >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

int64_t WholeSeconds(double seconds) {
  if (!(seconds > -9.2e18 && seconds < 9.2e18)) return 0;
  return static_cast<int64_t>(seconds);
}

// A date member of a property list written as a date, a real or an integer.
int64_t PlistSeconds(plist_t dict, const char* key) {
  if (std::optional<int64_t> date = PlistUtil::GetDateSeconds(dict, key)) return *date;
  if (std::optional<int64_t> whole = PlistUtil::GetInt(dict, key)) return *whole;
  plist_t item = plist_dict_get_item(dict, key);
  if (item && plist_get_node_type(item) == PLIST_REAL) {
    double value = 0;
    plist_get_real_val(item, &value);
    return WholeSeconds(value);
  }
  return 0;
}

bool IsDigits(const std::string& text, size_t from, size_t count) {
  for (size_t i = from; i < from + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

std::string AudioFileName(const std::string& path) {
  std::string name =
      Utils::GetFileName(path.compare(0, 5, "file:") == 0 ? PercentDecoded(path) : path);
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos)
    return "";
  return name;
}

std::string DateFromFileName(const std::string& fileName) {
  if (fileName.size() < 15 || fileName[8] != ' ' || !IsDigits(fileName, 0, 8) ||
      !IsDigits(fileName, 9, 6))
    return "";
  return fileName.substr(0, 4) + "-" + fileName.substr(4, 2) + "-" + fileName.substr(6, 2) + "T" +
         fileName.substr(9, 2) + ":" + fileName.substr(11, 2) + ":" + fileName.substr(13, 2);
}

void VoiceMemoList::Add(VoiceMemo memo, const std::string& folder) {
  if (memo.fileName.empty()) return;
  if (!folder.empty()) {
    // Sized like every stored file is read: a link or FIFO in its place has none.
    if (auto file = keldra::OpenRegularFile(folder + "/" + memo.fileName)) memo.size = file->size;
  }
  auto known = byFileName_.find(memo.fileName);
  if (known == byFileName_.end()) {
    byFileName_.emplace(memo.fileName, memos_.size());
    memos_.push_back(std::move(memo));
    return;
  }
  VoiceMemo& kept = memos_[known->second];
  if (kept.title.empty()) kept.title = std::move(memo.title);
  if (kept.date == 0) kept.date = memo.date;
  if (kept.duration == 0) kept.duration = memo.duration;
  if (kept.size == 0) kept.size = memo.size;
}

void VoiceMemoList::ReadDatabase(const std::string& path, int source,
                                 const PlatformOptions& options) {
  std::unique_ptr<StoredDatabase> database = StoredDatabase::Open(path, options);
  if (!database) return;
  const std::string folder = FolderOf(path);
  // Newer files keep a legacy ZRECORDING table beside ZCLOUDRECORDING; both
  // are read, and a recording both name appears once.
  for (const char* table : {"ZCLOUDRECORDING", "ZRECORDING"}) {
    std::set<std::string> columns = database->Columns(table);
    if (!columns.count("ZPATH")) continue;
    auto column = [&](const char* name) { return columns.count(name) ? name : "NULL"; };
    std::string sql = std::string("SELECT ZPATH, ") + column("ZENCRYPTEDTITLE") + ", " +
                      column("ZCUSTOMLABELFORSORTING") + ", " + column("ZCUSTOMLABEL") + ", " +
                      column("ZDATE") + ", " +
                      (columns.count("ZDURATION") ? "ZDURATION" : column("ZLOCALDURATION")) + ", " +
                      column("ZEVICTIONDATE") + " FROM " + table + " ORDER BY " +
                      (columns.count("Z_PK") ? "Z_PK" : "rowid");
    Query query(*database, sql);
    while (query.Step()) {
      VoiceMemo memo;
      memo.fileName = AudioFileName(std::string(query.Text(0)));
      memo.source = source;
      // The first title that is set: what the app shows, its sort copy, the
      // older label.
      for (int titleColumn = 1; titleColumn <= 3 && memo.title.empty(); ++titleColumn)
        memo.title = std::string(query.Text(titleColumn));
      memo.date = WholeSeconds(query.Real(4));
      memo.duration = query.Real(5);
      memo.deleted = !query.IsNull(6);
      Add(std::move(memo), folder);
    }
  }
}

void VoiceMemoList::ReadAssetManifest(const std::string& path) {
  PlistPtr root = PlistUtil::ReadPlistOwned(path);
  AddAssetManifest(root.get(), FolderOf(path));
}

void VoiceMemoList::AddAssetManifest(plist_t root, const std::string& folder) {
  if (!root || plist_get_node_type(root) != PLIST_DICT) return;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(root, &iterator);
  if (!iterator) return;
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(root, iterator, &key, &value);
    if (!key) break;
    VoiceMemo memo;
    memo.fileName = AudioFileName(key);
    std::free(key);
    memo.source = kAssetManifest;
    if (value && plist_get_node_type(value) == PLIST_DICT)
      memo.title = PlistUtil::GetString(value, "name").value_or("");
    Add(std::move(memo), folder);
  }
  std::free(iterator);
}

void VoiceMemoList::ReadComposition(const std::string& path) {
  PlistPtr root = PlistUtil::ReadPlistOwned(path);
  // The audio lies beside the composition folder, not in it.
  AddComposition(root.get(), FolderOf(FolderOf(path)));
}

void VoiceMemoList::AddComposition(plist_t root, const std::string& folder) {
  if (!root || plist_get_node_type(root) != PLIST_DICT) return;
  VoiceMemo memo;
  memo.fileName = AudioFileName(PlistUtil::GetString(root, "RCComposedAVURL").value_or(""));
  memo.source = kComposition;
  memo.title = PlistUtil::GetString(root, "RCSavedRecordingTitle").value_or("");
  memo.date = PlistSeconds(root, "RCSavedRecordingCreationTime");
  Add(std::move(memo), folder);
}

std::unique_ptr<rapidjson::Document> VoiceMemoList::ToReply() const {
  auto reply = std::make_unique<rapidjson::Document>();
  reply->SetObject();
  auto& allocator = reply->GetAllocator();
  for (const VoiceMemo& memo : memos_) {
    rapidjson::Value entry(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(entry, allocator, "path", "/Recordings/" + memo.fileName);
    PimJsonUtil::AddJsonDictIntValue(entry, allocator, "source", memo.source);
    PimJsonUtil::AddJsonDictInt64Value(entry, allocator, "size", memo.size);
    PimJsonUtil::AddJsonDictStringValue(
        entry, allocator, "title",
        memo.title.empty() ? Utils::GetFileNameWithoutExt(memo.fileName) : memo.title);
    PimJsonUtil::AddJsonDictStringValue(
        entry, allocator, "date",
        memo.date ? Utils::Convert2001GMTtoDate(memo.date) : DateFromFileName(memo.fileName));
    entry.AddMember("duration", rapidjson::Value(memo.duration), allocator);
    PimJsonUtil::AddJsonDictBooleanValue(entry, allocator, "deleted", memo.deleted);
    PimJsonUtil::AddJsonDictObjectValue(*reply, allocator, memo.fileName.c_str(), entry);
  }
  return reply;
}

}  // namespace host
