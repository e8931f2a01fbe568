#include "builder/kinds/SafariWriters.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

#include "builder/BackupBuilder.h"

namespace builder {
namespace {

constexpr char kBookmarksSchema[] = R"sql(
CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, special_id INTEGER DEFAULT 0, parent INTEGER,
  type INTEGER, title TEXT, url TEXT COLLATE NOCASE, num_children INTEGER DEFAULT 0,
  editable INTEGER DEFAULT 1, deletable INTEGER DEFAULT 1, hidden INTEGER DEFAULT 0,
  hidden_ancestor_count INTEGER DEFAULT 0, order_index INTEGER NOT NULL, external_uuid TEXT,
  read INTEGER DEFAULT NULL, last_modified REAL DEFAULT NULL, server_id TEXT, sync_key TEXT,
  sync_data BLOB, added INTEGER DEFAULT 1, deleted INTEGER DEFAULT 0,
  extra_attributes BLOB DEFAULT NULL, local_attributes BLOB DEFAULT NULL,
  fetched_icon BOOL DEFAULT 0, icon BLOB DEFAULT NULL, dav_generation INTEGER DEFAULT 0,
  locally_added BOOL DEFAULT 0, archive_status INTEGER DEFAULT 0, syncable BOOL DEFAULT 1,
  web_filter_status INTEGER DEFAULT 0, modified_attributes UNSIGNED BIG INT DEFAULT 0);
CREATE INDEX special_id_index ON bookmarks (special_id);
CREATE INDEX folder_list_index ON bookmarks (parent, type, order_index);
CREATE INDEX group_index ON bookmarks (parent, order_index);
CREATE INDEX sync_index ON bookmarks (external_uuid);
CREATE TABLE bookmark_title_words (id INTEGER PRIMARY KEY, bookmark_id INTEGER NOT NULL,
  word TEXT, word_index INTEGER);
CREATE TABLE folder_ancestors (id INTEGER PRIMARY KEY, folder_id INTEGER NOT NULL,
  ancestor_id INTEGER NOT NULL);
CREATE TABLE generations (generation INTEGER);
CREATE TABLE sync_properties (key TEXT PRIMARY KEY, value TEXT);
INSERT INTO generations VALUES (1);
PRAGMA user_version = 38;
)sql";

constexpr char kHistorySchema[] = R"sql(
CREATE TABLE history_items (id INTEGER PRIMARY KEY AUTOINCREMENT, url TEXT NOT NULL UNIQUE,
  domain_expansion TEXT NULL, visit_count INTEGER NOT NULL, daily_visit_counts BLOB NOT NULL,
  weekly_visit_counts BLOB NULL, autocomplete_triggers BLOB NULL,
  should_recompute_derived_visit_counts INTEGER NOT NULL, visit_count_score INTEGER NOT NULL,
  status_code INTEGER NOT NULL DEFAULT 0);
CREATE TABLE history_visits (id INTEGER PRIMARY KEY AUTOINCREMENT,
  history_item INTEGER NOT NULL REFERENCES history_items(id) ON DELETE CASCADE,
  visit_time REAL NOT NULL, title TEXT NULL, load_successful BOOLEAN NOT NULL DEFAULT 1,
  http_non_get BOOLEAN NOT NULL DEFAULT 0, synthesized BOOLEAN NOT NULL DEFAULT 0,
  redirect_source INTEGER NULL UNIQUE REFERENCES history_visits(id) ON DELETE CASCADE,
  redirect_destination INTEGER NULL UNIQUE REFERENCES history_visits(id) ON DELETE CASCADE,
  origin INTEGER NOT NULL DEFAULT 0, generation INTEGER NOT NULL DEFAULT 0,
  attributes INTEGER NOT NULL DEFAULT 0, score INTEGER NOT NULL DEFAULT 0);
CREATE TABLE history_tombstones (id INTEGER PRIMARY KEY AUTOINCREMENT, start_time REAL NOT NULL,
  end_time REAL NOT NULL, url TEXT, generation INTEGER NOT NULL DEFAULT 0);
CREATE TABLE metadata (key TEXT NOT NULL UNIQUE, value);
CREATE TABLE history_client_versions (client_version INTEGER PRIMARY KEY,
  last_seen REAL NOT NULL);
CREATE TABLE history_event_listeners (listener_name TEXT PRIMARY KEY NOT NULL UNIQUE,
  last_seen REAL NOT NULL);
CREATE TABLE history_events (id INTEGER PRIMARY KEY AUTOINCREMENT, event_type TEXT NOT NULL,
  event_time REAL NOT NULL, pending_listeners TEXT NOT NULL, value BLOB);
CREATE INDEX history_items__domain_expansion ON history_items (domain_expansion);
CREATE INDEX history_visits__last_visit ON history_visits (history_item, visit_time DESC,
  synthesized ASC);
CREATE INDEX history_visits__origin ON history_visits (origin, generation);
CREATE INDEX history_tombstones__generation ON history_tombstones (generation);
CREATE INDEX history_tombstones__end_time ON history_tombstones (end_time);
INSERT INTO metadata VALUES ('last_maintenance_date', 740000000.0);
INSERT INTO history_client_versions VALUES (1, 740000000.0);
PRAGMA user_version = 20;
)sql";

// "www.example.com" of "https://www.example.com/a", for domain_expansion.
std::string HostOf(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = url.find('/', start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

BookmarksWriter::BookmarksWriter() {
  Row root;
  root.id = 0;
  root.parent = Cell();
  root.type = 1;
  root.title = "Root";
  AddRow(root);
  Row bar;
  bar.id = 1;
  bar.type = 1;
  bar.title = "BookmarksBar";
  bar.specialId = 1;
  AddRow(bar);
  Row readingList;
  readingList.id = 2;
  readingList.type = 1;
  readingList.title = "com.apple.ReadingList";
  readingList.orderIndex = 1;
  readingList.specialId = 3;
  AddRow(readingList);
}

void BookmarksWriter::ClearStockRows() {
  rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                             [](const Row& row) { return row.id >= 0 && row.id <= 2; }),
              rows_.end());
}

int64_t BookmarksWriter::NextId(int64_t id) {
  if (id == 0) id = nextId_;
  nextId_ = std::max(nextId_, id + 1);
  return id;
}

int64_t BookmarksWriter::AddFolder(int64_t parent, const std::string& title, int64_t orderIndex,
                                   int64_t id) {
  Row row;
  row.id = NextId(id);
  row.parent = parent;
  row.type = 1;
  row.title = title;
  row.orderIndex = orderIndex;
  AddRow(row);
  return row.id;
}

int64_t BookmarksWriter::AddBookmark(int64_t parent, const std::string& title,
                                     const std::string& url, int64_t orderIndex, int64_t id) {
  Row row;
  row.id = NextId(id);
  row.parent = parent;
  row.title = title;
  row.url = url;
  row.orderIndex = orderIndex;
  row.numChildren = 0;
  AddRow(row);
  return row.id;
}

void BookmarksWriter::Populate(SqliteDatabase& database) const {
  database.Exec(kBookmarksSchema);
  std::map<int64_t, int64_t> children;
  for (const Row& row : rows_) {
    if (row.parent.type == Cell::Type::kInteger) ++children[row.parent.integer];
  }
  for (const Row& row : rows_) {
    Cell numChildren = row.numChildren;
    if (numChildren.IsNull()) numChildren = children.count(row.id) ? children[row.id] : 0;
    database.Run(
        "INSERT INTO bookmarks (id, special_id, parent, type, title, url, num_children, "
        "order_index, external_uuid, added) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 1)",
        {row.id, row.specialId, row.parent, row.type, row.title, row.url, numChildren,
         row.orderIndex,
         row.id == 0 ? Cell()
                     : Cell("7B1A0000-0000-4000-8000-" + std::to_string(100000000000 + row.id))});
  }
}

int64_t HistoryWriter::AddItem(const std::string& url, int64_t id) {
  if (id == 0) id = nextItemId_;
  nextItemId_ = std::max(nextItemId_, id + 1);
  items_.push_back({id, url});
  return id;
}

int64_t HistoryWriter::AddVisit(int64_t itemId, Cell visitTime, Cell title) {
  Visit visit;
  visit.id = nextVisitId_++;
  visit.itemId = itemId;
  visit.visitTime = std::move(visitTime);
  visit.title = std::move(title);
  visits_.push_back(std::move(visit));
  return visits_.back().id;
}

void HistoryWriter::AddTombstone(double start, double end, const std::string& url) {
  tombstones_.push_back({start, end, url});
}

void HistoryWriter::Populate(SqliteDatabase& database) const {
  database.Exec(kHistorySchema);
  std::map<int64_t, int64_t> visitCounts;
  for (const Visit& visit : visits_) ++visitCounts[visit.itemId];
  for (const Item& item : items_) {
    const int64_t count = visitCounts.count(item.id) ? visitCounts[item.id] : 0;
    database.Run(
        "INSERT INTO history_items (id, url, domain_expansion, visit_count, daily_visit_counts, "
        "should_recompute_derived_visit_counts, visit_count_score) VALUES (?, ?, ?, ?, ?, 0, ?)",
        {item.id, item.url, item.url.IsText() ? Cell(HostOf(item.url.bytes)) : Cell(), count,
         Cell::Blob(std::string(4, '\0')), count * 100});
  }
  for (const Visit& visit : visits_) {
    database.Run(
        "INSERT INTO history_visits (id, history_item, visit_time, title, load_successful, "
        "origin, generation) VALUES (?, ?, ?, ?, 1, 0, 1)",
        {visit.id, visit.itemId, visit.visitTime, visit.title});
  }
  for (const Tombstone& tombstone : tombstones_) {
    database.Run("INSERT INTO history_tombstones (start_time, end_time, url) VALUES (?, ?, ?)",
                 {tombstone.start, tombstone.end, tombstone.url});
  }
}

std::string LegacyHistoryWriter::Bytes() const {
  struct Free {
    void operator()(void* node) const { plist_free(node); }
  };
  std::unique_ptr<void, Free> root(plist_new_dict());
  plist_t dates = plist_new_array();
  for (const Entry& entry : entries_) {
    plist_t page = plist_new_dict();
    char visited[64];
    std::snprintf(visited, sizeof visited, "%.1f", entry.lastVisited);
    plist_dict_set_item(page, "", plist_new_string(entry.url.c_str()));
    plist_dict_set_item(page, "title", plist_new_string(entry.title.c_str()));
    plist_dict_set_item(page, "lastVisitedDate", plist_new_string(visited));
    plist_dict_set_item(page, "visitCount",
                        plist_new_uint(static_cast<uint64_t>(entry.visitCount)));
    plist_array_append_item(dates, page);
  }
  plist_dict_set_item(root.get(), "WebHistoryDates", dates);
  plist_dict_set_item(root.get(), "WebHistoryFileVersion", plist_new_uint(1));
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(root.get(), &bytes, &length);
  std::string out(bytes ? bytes : "", bytes ? length : 0);
  plist_to_bin_free(bytes);
  return out;
}

std::string LegacyHistoryWriter::AddTo(BackupBuilder& backup, const std::string& domain) const {
  return backup.AddFile(domain, "Library/Safari/History.plist", Bytes());
}

}  // namespace builder
