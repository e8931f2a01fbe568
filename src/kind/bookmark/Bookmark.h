// Kind 8: Safari's bookmarks as a tree of folders and bookmarks, one message
// per top-level item.
#ifndef KELDRA_KIND_BOOKMARK_BOOKMARK_H_
#define KELDRA_KIND_BOOKMARK_BOOKMARK_H_

#include <cstdint>
#include <memory>
#include <string>

#include "common/Observer.h"
#include "kind/bookmark/BookmarkNode.h"
#include "kind/kind.h"

namespace keldra {

class Bookmark : public Kind {
 public:
  static constexpr const char* kDatabasePath = kKinds[8].database;
  // Folders nested deeper than this are left out with everything below them:
  // real trees are a few levels deep, and a forged chain of parents must not
  // exhaust the stack of whoever builds, writes or parses the JSON.
  static constexpr int kMaxDepth = 256;

  Bookmark();
  ~Bookmark() override;

  void Run(const ScanContext& scan) override;

  // Fills the item list and the bookmark count; false when the database does
  // not open or its statement does not prepare.
  bool ReadBookmarks(const std::string& path);
  // Writes the node's bookmark object into `object` and, below it, those of
  // its children sorted by position.
  static bool BuildBookmarkJson(rapidjson::Value& object, Allocator& allocator,
                                const BookmarkNode& node, int depth = 1);

  const rapidjson::Document& Items() const { return *items_; }
  int64_t BookmarkCount() const { return bookmarkCount_; }

 private:
  std::unique_ptr<rapidjson::Document> items_;  // root array of top-level items
  int64_t bookmarkCount_ = 0;
  std::string databasePath_;
  // Where complete reading finds the database.
  const size_t databaseWatch_ = WatchDatabase(kDatabasePath);
};

}  // namespace keldra

#endif  // KELDRA_KIND_BOOKMARK_BOOKMARK_H_
