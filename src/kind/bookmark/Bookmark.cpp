#include "kind/bookmark/Bookmark.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/JsonText.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr int kType = 8;

constexpr char kBookmarkSql[] =
    "select id,parent,title,url,num_children,order_index,special_id from bookmarks";

}  // namespace

Bookmark::Bookmark() : items_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)) {}

Bookmark::~Bookmark() = default;

bool Bookmark::BuildBookmarkJson(rapidjson::Value& object, Allocator& allocator,
                                 const BookmarkNode& node, int depth) {
  object.SetObject();
  AddText(object, allocator, "id", node.id);
  AddText(object, allocator, "name", node.name);
  AddText(object, allocator, "url", node.url);
  AddText(object, allocator, "com_apple_syncservices_RecordEntityName", node.entityName);
  PimJsonUtil::AddJsonDictInt64Value(object, allocator, "position", node.position);
  if (node.children.empty() || depth >= kMaxDepth) return true;
  std::vector<const BookmarkNode*> children = node.children;
  std::stable_sort(
      children.begin(), children.end(),
      [](const BookmarkNode* a, const BookmarkNode* b) { return a->position < b->position; });
  rapidjson::Value array(rapidjson::kArrayType);
  for (const BookmarkNode* child : children) {
    rapidjson::Value childObject;
    BuildBookmarkJson(childObject, allocator, *child, depth + 1);
    PimJsonUtil::PushJsonArrayObjectValue(array, allocator, childObject);
  }
  PimJsonUtil::AddJsonDictObjectValue(object, allocator, "children", array);
  return true;
}

bool Bookmark::ReadBookmarks(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return false;
  sqlite::Statement statement = PrepareOn(databaseWatch_, database, kBookmarkSql);
  if (!statement) return false;

  // Ordered by the bytes of the id text, so "10" comes before "9".
  std::map<std::string, BookmarkNode> nodes;
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW) {
    const int64_t id = sqlite::Int64(row, 0);
    if (id == 0) continue;  // the database's root row
    BookmarkNode node;
    node.id = std::to_string(id);
    node.parent = std::string(sqlite::Text(row, 1));
    node.name = std::string(sqlite::Text(row, 2));
    node.url = std::string(sqlite::Text(row, 3));
    const bool folder = sqlite::Int64(row, 4) != 0;
    node.entityName = folder ? "com.apple.bookmarks.Folder" : "com.apple.bookmarks.Bookmark";
    node.position = sqlite::Int64(row, 5);
    if (!folder) ++bookmarkCount_;
    // Ids are unique in a real table; a forged one keeps its first row.
    nodes.emplace(node.id, std::move(node));
  }
  statement.reset();

  std::vector<const BookmarkNode*> topLevel;
  for (auto& [id, node] : nodes) {
    auto parent = node.parent.empty() ? nodes.end() : nodes.find(node.parent);
    if (parent == nodes.end())
      topLevel.push_back(&node);
    else
      parent->second.children.push_back(&node);
  }
  Allocator& allocator = items_->GetAllocator();
  for (const BookmarkNode* node : topLevel) {
    rapidjson::Value item;
    BuildBookmarkJson(item, allocator, *node);
    PimJsonUtil::PushJsonArrayObjectValue(*items_, allocator, item);
  }
  return true;
}

void Bookmark::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  ReadBookmarks(databasePath_);
  Allocator& allocator = items_->GetAllocator();
  stages.SendSummary(allocator, bookmarkCount_, {{"safari_bookmark_db_path", databasePath_}});
  for (rapidjson::Value& item : items_->GetArray()) {
    stages.Send(2, allocator, item);
  }
  stages.SendClosing(3, allocator);
  items_ = std::make_unique<rapidjson::Document>(rapidjson::kArrayType);
  bookmarkCount_ = 0;
}

}  // namespace keldra
