// What the voice-memo kind collects while the manifest is read: which paths
// it takes for which product version, the domains it remembers, and the
// cheap refusal in front of the composition pattern.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "kind/recording/recording.h"
#include "mivo/Utils.h"
#include "support/TestSupport.h"

namespace {

using keldra::ManifestFile;
using keldra::Recording;

TEST(CompositionManifest, RefusingEarlyNeverChangesTheAnswer) {
  std::vector<std::string> paths;
  for (const char* root : {"Library", "Media"}) {
    std::string valid =
        std::string(root) + "/Recordings/20240101 123456.composition/manifest.plist";
    paths.push_back(valid);
    paths.push_back(std::string(root) + "/Recordings/2024010 123456.composition/manifest.plist");
    paths.push_back(std::string(root) + "/Recordings/202401011 123456.composition/manifest.plist");
    paths.push_back(std::string(root) + "/Recordings/20240101 123456Xcomposition/manifest.plist");
    paths.push_back(std::string(root) + "/Recordings/20240101 123456\ncomposition/manifest.plist");
    paths.push_back(std::string(root) +
                    "/Recordings/20240101 123456-EEAF5AE7.composition/manifest.plist");
    paths.push_back(valid + "\n");
    paths.push_back("x" + valid);
    paths.push_back(valid.substr(1));
  }
  // Every single-byte change, insertion and deletion of a valid path.
  std::mt19937 random(7);
  const std::string base = "Library/Recordings/20240101 123456.composition/manifest.plist";
  for (size_t i = 0; i < base.size(); ++i) {
    std::string changed = base;
    changed[i] = static_cast<char>(random() & 0xFF);
    paths.push_back(changed);
    changed = base;
    changed[i] = "0 .9/a"[i % 6];
    paths.push_back(changed);
    paths.push_back(base.substr(0, i) + base.substr(i + 1));
    paths.push_back(base.substr(0, i) + "7" + base.substr(i));
  }
  size_t matches = 0;
  for (const char* version : {"14.8", "16.1"}) {
    const keldra::RecordingPaths& set = keldra::RecordingPathsFor(version);
    for (const std::string& path : paths) {
      bool expected = Utils::MatchString(path, set.composition);
      EXPECT_EQ(keldra::IsCompositionManifest(path, set), expected) << version << " " << path;
      matches += expected;
    }
  }
  EXPECT_GE(matches, 2u + 10u);
}

// Records over texts this object keeps, as a manifest reader would announce them.
class Records {
 public:
  ManifestFile& Add(const std::string& domain, const std::string& path) {
    texts_.push_back(domain);
    texts_.push_back(path);
    ManifestFile& record = records_.emplace_back();
    record.domain = texts_[texts_.size() - 2];
    record.relativePath = texts_.back();
    record.backupDir = "/b/";
    texts_.push_back("id" + std::to_string(records_.size()));
    record.filePath = texts_.back();
    record.flags = 1;
    return record;
  }
  void Announce(Recording& kind) {
    for (ManifestFile& record : records_) kind.Update(&record, keldra::kManifestDbCommandType);
  }

 private:
  std::deque<std::string> texts_;
  keldra::ManifestRecords records_;
};

TEST(RecordingUpdate, TakesThePathsOfTheProductVersionAndTheLastMatch) {
  for (const char* version : {"14.8", "15.0", "16.1", "15"}) {
    const bool newer = std::string(version) != "14.8";
    const std::string root = newer ? "Library" : "Media";
    const std::string other = newer ? "Media" : "Library";
    Records records;
    records.Add("MediaDomain", other + "/Recordings/Recordings.db");
    records.Add("MediaDomain", root + "/Recordings/Recordings.db");
    records.Add("HomeDomain", root + "/Recordings/Recordings.db");  // a later one replaces it
    records.Add("MediaDomain", root + "/Recordings/AssetManifest.plist");
    records.Add("MediaDomain", root + "/Recordings/CloudRecordings.db");
    records.Add("MediaDomain", root + "/Recordings/CloudRecordings.db2");
    records.Add("MediaDomain", root + "/Recordings/20200101 101010.composition/manifest.plist");
    records.Add("MediaDomain", other + "/Recordings/20200101 101010.composition/manifest.plist");
    records.Add("AppDomainGroup-x",
                root + "/Recordings/20200102 101010.composition/manifest.plist");
    records.Add("MediaDomain", root + "/Recordings/2020010 101010.composition/manifest.plist");

    Recording kind;
    keldra::BackupInfo info;
    info.ProductVersion = version;
    kind.Configure(info);
    records.Announce(kind);
    EXPECT_EQ(kind.RecordingDbPath(), "/b/id3") << version;
    EXPECT_EQ(kind.SourceDomain(1), "HomeDomain");
    EXPECT_EQ(kind.AssetManifestPath(), "/b/id4");
    EXPECT_EQ(kind.SourceDomain(2), "MediaDomain");
    EXPECT_EQ(kind.CloudDbPath(), "/b/id5");
    EXPECT_EQ(testing_support::Json(kind.CompositionPaths()), "[\"/b/id7\",\"/b/id9\"]");
    EXPECT_EQ(kind.SourceDomain(3), "AppDomainGroup-x");  // the last composition's
    EXPECT_EQ(kind.SourceDomain(0), "");
  }
}

}  // namespace
