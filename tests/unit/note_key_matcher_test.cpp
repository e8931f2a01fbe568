// The one-pass key matcher against the rule it stands for (every record, in
// map order, whose relative path contains the key), on small manifests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "backup/FileMap.h"
#include "kind/note/KeyMatcher.h"

namespace {

using keldra::FileMap;
using keldra::KeyMatches;
using keldra::ManifestFile;

struct Manifest {
  std::deque<std::string> texts;  // owners of the views
  keldra::ManifestRecords records;
  FileMap map;

  explicit Manifest(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      ManifestFile& record = records.emplace_back();
      record.relativePath = texts.emplace_back(path);
      record.fileID = texts.emplace_back("id-" + std::to_string(records.size()));
    }
    map.Build(records);
  }
};

std::vector<std::vector<std::string>> Paths(const KeyMatches& matches) {
  std::vector<std::vector<std::string>> lists;
  for (size_t key = 0; key < matches.KeyCount(); ++key) {
    std::vector<std::string> ids;
    for (const ManifestFile* record : matches.ForKey(key)) ids.emplace_back(record->fileID);
    lists.push_back(ids);
  }
  return lists;
}

void ExpectSameAsRule(const Manifest& manifest, const std::vector<std::string_view>& keys,
                      size_t budget = keldra::kKeyTableBudget) {
  EXPECT_EQ(Paths(keldra::MatchKeys(manifest.map, keys, budget)),
            Paths(keldra::MatchKeysOneByOne(manifest.map, keys)));
}

TEST(KeyMatcher, FindsEveryContainingPathInMapOrder) {
  Manifest manifest({"Accounts/A/Previews/KEY-1-192x144-0.png", "Accounts/A/Media/M/KEY-1.jpg",
                     "KEY-1", "unrelated/file", "KEY-1/KEY-1/twice", "KEY", "Accounts/A/KEY-12"});
  std::vector<std::string_view> keys = {"KEY-1", "KEY-12", "missing", "KEY-1", "", "KEY"};
  KeyMatches matches = keldra::MatchKeys(manifest.map, keys);
  // Map order is byte order of the path; a path holding a key twice counts once.
  EXPECT_THAT(Paths(matches)[0], testing::ElementsAre("id-7", "id-2", "id-1", "id-3", "id-5"));
  EXPECT_THAT(Paths(matches)[1], testing::ElementsAre("id-7"));
  EXPECT_TRUE(Paths(matches)[2].empty());
  EXPECT_EQ(Paths(matches)[3], Paths(matches)[0]);
  EXPECT_EQ(Paths(matches)[4].size(), 7u);  // the empty key is in every path
  ExpectSameAsRule(manifest, keys);
}

TEST(KeyMatcher, AgreesWithTheRuleOnRandomManifests) {
  std::mt19937 random(12345);
  const std::string alphabet = "ab/-\xC3\xA9";  // overlaps and multi-byte characters
  auto text = [&](size_t maxLength) {
    std::string out;
    size_t length = random() % (maxLength + 1);
    for (size_t i = 0; i < length; ++i) out += alphabet[random() % alphabet.size()];
    return out;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> paths;
    for (int i = random() % 30; i > 0; --i) paths.push_back(text(12));
    Manifest manifest(paths);
    std::vector<std::string> keyTexts;
    for (int i = random() % 12; i > 0; --i) keyTexts.push_back(text(5));
    keyTexts.push_back(text(20));  // mostly longer than any path
    std::vector<std::string_view> keys(keyTexts.begin(), keyTexts.end());
    ExpectSameAsRule(manifest, keys);
    ExpectSameAsRule(manifest, keys, 64);  // several automata, one pass each
    ExpectSameAsRule(manifest, keys, 4);   // no key fits a table: matched one by one
  }
}

TEST(KeyMatcher, EmptyMapsAndKeyListsGiveEmptyLists) {
  Manifest none({});
  std::vector<std::string_view> keys = {"", "x"};
  EXPECT_THAT(Paths(keldra::MatchKeys(none.map, keys)),
              testing::ElementsAre(testing::IsEmpty(), testing::IsEmpty()));
  Manifest some({"x"});
  EXPECT_EQ(keldra::MatchKeys(some.map, {}).KeyCount(), 0u);
}

}  // namespace
