// One row of Safari's bookmarks table while the tree is built.
#ifndef KELDRA_KIND_BOOKMARK_BOOKMARKNODE_H_
#define KELDRA_KIND_BOOKMARK_BOOKMARKNODE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace keldra {

struct BookmarkNode {
  std::string id;                             // the row id as decimal text
  std::string name;                           // title; "" when NULL
  std::string entityName;                     // folder when the row has children, else bookmark
  std::string parent;                         // the parent column as text; "" when NULL
  int64_t position = 0;                       // order_index
  std::string url;                            // "" when NULL
  std::vector<const BookmarkNode*> children;  // not owned
};

}  // namespace keldra

#endif  // KELDRA_KIND_BOOKMARK_BOOKMARKNODE_H_
