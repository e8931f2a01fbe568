// Safari's two databases: Library/Safari/Bookmarks.db (a tree of folders and
// bookmarks below the root row 0) and Library/Safari/History.db (pages,
// visits of them, and tombstones of cleared history).
#ifndef KELDRA_BUILDER_KINDS_SAFARIWRITERS_H_
#define KELDRA_BUILDER_KINDS_SAFARIWRITERS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "builder/kinds/SqliteWriter.h"

namespace builder {

class BookmarksWriter : public DatabaseWriter {
 public:
  // One row of `bookmarks`; numChildren NULL is filled in with the number of
  // rows naming this one as parent.
  struct Row {
    int64_t id = 0;
    Cell parent = 0;
    int type = 0;  // 0 bookmark, 1 folder
    Cell title{}, url{}, numChildren{}, orderIndex = 0, specialId = 0;
  };
  // The root row (id 0) and the stock top-level folders come with the file:
  // 1 BookmarksBar, 2 com.apple.ReadingList; new ids start at 3.
  BookmarksWriter();

  void AddRow(Row row) { rows_.push_back(std::move(row)); }
  // Returns the new row's id (the next free one when `id` is 0).
  int64_t AddFolder(int64_t parent, const std::string& title, int64_t orderIndex, int64_t id = 0);
  int64_t AddBookmark(int64_t parent, const std::string& title, const std::string& url,
                      int64_t orderIndex, int64_t id = 0);
  // Drops the root and stock folders (for files that lack them).
  void ClearStockRows();

  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override { return "Library/Safari/Bookmarks.db"; }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  int64_t NextId(int64_t id);

  std::vector<Row> rows_;
  int64_t nextId_ = 3;
};

class HistoryWriter : public DatabaseWriter {
 public:
  struct Item {
    int64_t id = 0;
    Cell url{};
  };
  // visit_time: seconds since 2001 (REAL on devices).
  struct Visit {
    int64_t id = 0;
    int64_t itemId = 0;
    Cell visitTime{}, title{};
  };

  // Returns the row id.
  int64_t AddItem(const std::string& url, int64_t id = 0);
  int64_t AddVisit(int64_t itemId, Cell visitTime, Cell title);
  void AddRawItem(Item item) { items_.push_back(std::move(item)); }
  void AddTombstone(double start, double end, const std::string& url);

  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override { return "Library/Safari/History.db"; }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  struct Tombstone {
    double start, end;
    std::string url;
  };
  std::vector<Item> items_;
  std::vector<Visit> visits_;
  std::vector<Tombstone> tombstones_;
  int64_t nextItemId_ = 1;
  int64_t nextVisitId_ = 1;
};

// Library/Safari/History.plist of iOS 7 and earlier: a binary property list
// whose "WebHistoryDates" array holds one dictionary per page, newest first.
class LegacyHistoryWriter {
 public:
  struct Entry {
    std::string url, title;
    double lastVisited = 0;  // seconds since 2001, stored as decimal text
    int64_t visitCount = 1;
  };
  void AddEntry(Entry entry) { entries_.push_back(std::move(entry)); }

  std::string Bytes() const;
  // Stores the list under HomeDomain (or `domain`); returns the file id.
  std::string AddTo(BackupBuilder& backup, const std::string& domain = "HomeDomain") const;

 private:
  std::vector<Entry> entries_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SAFARIWRITERS_H_
