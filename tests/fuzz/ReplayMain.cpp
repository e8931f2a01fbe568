// Replays a fuzz target's corpus (every file below the given folders, or the
// given files) as an ordinary test: a crash or sanitizer report fails it.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    if (!fs::is_directory(argv[i])) files.push_back(argv[i]);
    if (fs::is_directory(argv[i]))
      for (const auto& entry : fs::recursive_directory_iterator(argv[i]))
        if (!entry.is_directory()) files.push_back(entry.path());
  }
  LLVMFuzzerTestOneInput(nullptr, 0);
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
