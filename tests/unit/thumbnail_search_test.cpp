// The whole-map thumbnail search: the multi-pattern matcher under it, and
// the search against the plain rule it replaces, on hand-picked and on
// random maps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "backup/FileMap.h"
#include "kind/photo/PathMatcher.h"
#include "kind/photo/ThumbnailSearch.h"

namespace {

using keldra::FileMap;
using keldra::ManifestFile;

// Records over texts this object keeps.
class Map {
 public:
  void Add(const std::string& path, int flags = 1) {
    paths_.push_back(path);
    ManifestFile& record = records_.emplace_back();
    record.relativePath = paths_.back();
    record.flags = flags;
  }
  const FileMap& Built() {
    map_.Build(records_);
    return map_;
  }

 private:
  std::deque<std::string> paths_;
  keldra::ManifestRecords records_;
  FileMap map_;
};

// (end offset, pattern) of every hit: the hits of each prefix that the
// prefix one byte shorter does not have end at its last byte.
std::vector<std::pair<size_t, size_t>> Hits(const keldra::PathMatcher& matcher,
                                            std::string_view text) {
  std::vector<std::pair<size_t, size_t>> hits;
  size_t seen = 0;
  for (size_t end = 1; end <= text.size(); ++end) {
    std::vector<uint32_t> all;
    matcher.Scan(text.substr(0, end), [&](uint32_t index) { return all.push_back(index), true; });
    for (size_t i = seen; i < all.size(); ++i) hits.emplace_back(end, all[i]);
    seen = all.size();
  }
  return hits;
}

TEST(PathMatcher, ReportsEveryOccurrenceLongestFirstAndDuplicatesOnce) {
  keldra::PathMatcher matcher({"he", "she", "his", "hers", "", "she"});
  // "ushers": she and he end at 4, hers at 6.
  EXPECT_THAT(Hits(matcher, "ushers"),
              testing::ElementsAre(std::pair<size_t, size_t>{4, 1}, std::pair<size_t, size_t>{4, 0},
                                   std::pair<size_t, size_t>{6, 3}));
  // Overlapping and repeated occurrences all count; bytes of any value work.
  keldra::PathMatcher bytes({std::string_view("a\0a", 3), "aa"});
  size_t found = 0;
  bytes.Scan(std::string_view("a\0a\0aaa", 7), [&](uint32_t) { return ++found, true; });
  EXPECT_EQ(found, 4u);
  // Returning false stops the scan.
  found = 0;
  bytes.Scan("aaaa", [&](uint32_t) { return ++found < 2; });
  EXPECT_EQ(found, 2u);
  keldra::PathMatcher none({});
  none.Scan("anything", [](uint32_t) -> bool {
    ADD_FAILURE();
    return true;
  });
}

TEST(ThumbnailSearch, FollowsThePlainRuleOnTheCasesThatMatter) {
  Map map;
  map.Add("Media/0DIR/DCIM/100APPLE/IMG_0002.JPG", 2);  // a directory: never
  map.Add("Media/AAA/DCIM/100APPLE/IMG_0002.JPG.bak");
  map.Add("Media/DCIM/100APPLE/IMG_0001.JPG");  // its own file: never
  map.Add("Media/DCIM/100APPLE/IMG_0002.JPG");
  map.Add("Media/PhotoData/Mutations/DCIM/100APPLE/IMG_0001.JPG/Adjustments/FullSizeRender.jpg");
  map.Add("Media/DCIM/100APPLE/IMG_0003.JPG");
  map.Add("Media/DCIM/100APPLE/IMG_0003.JPG", 4);  // read later: replaces the file
  map.Add("Media/", 1);
  const FileMap& files = map.Built();
  keldra::ThumbnailSearch search(files);
  search.Prepare({"DCIM/100APPLE/IMG_0001.JPG", "DCIM/100APPLE/IMG_0002.JPG",
                  "DCIM/100APPLE/IMG_0003.JPG", "IMG_0001", "", "nowhere", "IMG_0001"});
  EXPECT_EQ(search.Passes(), 1u);
  for (const char* photo : {"DCIM/100APPLE/IMG_0001.JPG", "DCIM/100APPLE/IMG_0002.JPG",
                            "DCIM/100APPLE/IMG_0003.JPG", "IMG_0001", "", "nowhere"})
    EXPECT_EQ(search.Find(photo), keldra::FirstContainingPlain(files, photo)) << photo;
  EXPECT_EQ(search.Find("DCIM/100APPLE/IMG_0003.JPG"), nullptr);
  EXPECT_EQ(search.Find("")->relativePath, "Media/AAA/DCIM/100APPLE/IMG_0002.JPG.bak");
  EXPECT_EQ(search.Passes(), 1u);  // every answer, found or not, is remembered
  // A path never prepared gets a pass of its own.
  EXPECT_EQ(search.Find("JPG"), keldra::FirstContainingPlain(files, "JPG"));
  EXPECT_EQ(search.Passes(), 2u);
}

// Paths over a small alphabet, so that photo paths occur inside one another,
// at every offset, more than once per path, and as their own files.
std::string RandomPath(std::mt19937& random, size_t maxLength) {
  static const char kAlphabet[] = "ab/.M";
  std::uniform_int_distribution<size_t> length(0, maxLength);
  std::uniform_int_distribution<size_t> letter(0, sizeof kAlphabet - 2);
  std::string path;
  for (size_t i = length(random); i > 0; --i) path += kAlphabet[letter(random)];
  return path;
}

TEST(ThumbnailSearch, GivesThePlainRulesAnswerOnRandomMaps) {
  std::mt19937 random(20240615);
  size_t found = 0;
  for (int round = 0; round < 300; ++round) {
    Map map;
    std::vector<std::string> photos;
    size_t records = std::uniform_int_distribution<size_t>(0, 40)(random);
    for (size_t i = 0; i < records; ++i) {
      std::string path = RandomPath(random, 10);
      if (i % 5 == 0) path = "Media/" + path;  // some are a photo's own file
      map.Add(path, i % 7 == 3 ? 2 : 1);
      if (i % 3 == 0 && path.size() > 6) photos.push_back(path.substr(6));
    }
    for (int i = 0; i < 15; ++i) photos.push_back(RandomPath(random, 4));
    const FileMap& files = map.Built();
    keldra::ThumbnailSearch search(files);
    // Two batches, overlapping, then single lookups.
    std::vector<std::string_view> first(photos.begin(), photos.begin() + photos.size() / 2);
    std::vector<std::string_view> second(photos.begin() + photos.size() / 3, photos.end());
    search.Prepare(first);
    search.Prepare(second);
    for (const std::string& photo : photos) {
      ASSERT_EQ(search.Find(photo), keldra::FirstContainingPlain(files, photo))
          << "round " << round << " photo '" << photo << "'";
      found += search.Find(photo) != nullptr;
    }
    EXPECT_LE(search.Passes(), 2u);
  }
  // Both answers occur often: the rounds test finding as much as not finding.
  EXPECT_GT(found, 1000u);
}

}  // namespace
