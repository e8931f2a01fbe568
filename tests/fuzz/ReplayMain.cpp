// Replays a fuzz target's corpus (every file below the given folders, or the
// given files) as an ordinary test: a crash or sanitizer report fails it.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Collect(const std::string& path, std::vector<std::string>& files) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return;
  if (!S_ISDIR(info.st_mode)) {
    files.push_back(path);
    return;
  }
  DIR* dir = opendir(path.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") Collect(path + "/" + name, files);
  }
  closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) Collect(argv[i], files);
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (const std::string& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
