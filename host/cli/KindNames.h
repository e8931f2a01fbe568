// The names people use for the kinds of data, and their numbers.
#ifndef HOST_CLI_KINDNAMES_H_
#define HOST_CLI_KINDNAMES_H_

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct KindName {
  int number;
  const char* name;  // also the output file's stem
};

inline constexpr KindName kKindNames[] = {
    {0, "contacts"}, {1, "messages"}, {2, "message-attachments"}, {3, "calendar"},
    {4, "calls"},    {5, "notes"},    {6, "photos"},              {7, "voice-memos"},
    {8, "bookmarks"}, {9, "history"}, {10, "whatsapp"},
};

// "all", or a comma-separated list of names or numbers, in the order given
// (duplicates dropped). nullopt with `error` set when a name is unknown.
std::optional<std::vector<int>> ParseKindList(const std::string& text, std::string* error);

const char* KindNameOf(int number);

}  // namespace cli

#endif  // HOST_CLI_KINDNAMES_H_
