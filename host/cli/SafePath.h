// Writing exported files below a chosen folder and nowhere else, whatever a
// manifest holds.
#ifndef HOST_CLI_SAFEPATH_H_
#define HOST_CLI_SAFEPATH_H_

#include <string>

namespace cli {

// True when `relative` is a relative path without "." or ".." components,
// empty components or NUL bytes.
bool IsContainedPath(const std::string& relative);

// Creates every folder of `relative` (a contained path) below `root`,
// refusing components that exist as anything but real folders (links
// included). Returns root + relative, or "" when a folder cannot be made.
std::string PrepareFolders(const std::string& root, const std::string& relative);

}  // namespace cli

#endif  // HOST_CLI_SAFEPATH_H_
