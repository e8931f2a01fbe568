// The batched thumbnail search against the plain whole-map rule: every
// input is a map and a list of photo paths, and the two must agree on
// every photo. Lines starting with '#' are photo paths; other lines are
// records, directories when they start with 'd'.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "backup/FileMap.h"
#include "kind/photo/ThumbnailSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::deque<std::string> texts;
  keldra::ManifestRecords records;
  std::vector<std::string_view> photos;
  while (!input.empty()) {
    size_t end = input.find('\n');
    std::string_view line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    if (!line.empty() && line[0] == '#') {
      photos.push_back(line.substr(1));
      continue;
    }
    texts.emplace_back(line);
    keldra::ManifestFile& record = records.emplace_back();
    record.relativePath = texts.back();
    record.flags = !line.empty() && line[0] == 'd' ? 2 : 1;
  }
  keldra::FileMap map;
  map.Build(records);
  keldra::ThumbnailSearch search(map);
  search.Prepare(std::vector<std::string_view>(photos.begin(), photos.begin() + photos.size() / 2));
  search.Prepare(photos);
  for (std::string_view photo : photos) {
    if (search.Find(photo) != keldra::FirstContainingPlain(map, photo)) __builtin_trap();
  }
  return 0;
}
