// The host's reader of the four voice-memo sources: both layouts the builder
// writes, the real files, and files of the wrong shape.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <memory>
#include <string>

#include "builder/kinds/VoiceMemos.h"
#include "integration/KindScanSupport.h"
#include "mivo/PlistUtil.h"
#include "platform/Platform.h"
#include "platform/VoiceMemoList.h"
#include "support/TestSupport.h"

namespace {

using host::VoiceMemoList;
using testing_support::ExecSql;
using testing_support::Json;
using testing_support::TempFolder;
using testing_support::WriteFile;

std::string ReplyJson(const VoiceMemoList& list) {
  return Json(*list.ToReply());
}

class VoiceMemoReader : public testing::Test {
 protected:
  testing_support::ScopedTimeZone zone_;
  TempFolder folder_;
  TempFolder temp_;
  host::PlatformOptions options_{temp_.Path()};
};

TEST_F(VoiceMemoReader, ReadsTheOlderLayoutAndNamesEachRecordingOnce) {
  builder::VoiceMemoLibrary library = builder::SampleVoiceMemos(builder::VoiceMemoLayout::kLegacy);
  builder::WriteRecordingsDatabase(folder_ / "Recordings.db", library.memos);
  WriteFile(folder_ / "AssetManifest.plist", builder::AssetManifestPlist(library.memos));
  // An unpacked device folder: the audio lies beside the database.
  WriteFile(folder_ / "20150101 120000.m4a", std::string(1234, 'a'));

  VoiceMemoList list;
  list.ReadDatabase(folder_ / "Recordings.db", VoiceMemoList::kRecordingDb, options_);
  list.ReadAssetManifest(folder_ / "AssetManifest.plist");
  // One memo is known only to the asset manifest: its title, the date its name carries.
  kind_scan::ExpectGolden("cases/voice-memo-reader-older.jsonl", {ReplyJson(list)});
}

TEST_F(VoiceMemoReader, ReadsTheNewerLayoutWithItsCompositions) {
  builder::VoiceMemoLibrary library = builder::SampleVoiceMemos(builder::VoiceMemoLayout::kCloud);
  builder::VoiceMemoSpec onlyEdited = builder::Memo("20160101 080000.m4a", "Edited", 473414400, 5);
  onlyEdited.inDatabase = false;
  onlyEdited.composition = true;
  library.memos.push_back(onlyEdited);
  builder::WriteCloudRecordingsDatabase(folder_ / "CloudRecordings.db", library.memos);
  testing_support::MakeFolders(folder_ / "20160101 080000.composition");
  WriteFile(folder_ / "20160101 080000.composition/manifest.plist",
            builder::CompositionManifestPlist(onlyEdited, "Library"));
  WriteFile(folder_ / "edited.plist",
            builder::CompositionManifestPlist(library.memos[1], "Library"));
  WriteFile(folder_ / "20160101 080000.m4a", "abc");

  VoiceMemoList list;
  list.ReadDatabase(folder_ / "CloudRecordings.db", VoiceMemoList::kCloudDb, options_);
  list.ReadComposition(folder_ / "edited.plist");
  list.ReadComposition(folder_ / "20160101 080000.composition/manifest.plist");
  // The title the app shows wins over the label that only holds a time.
  kind_scan::ExpectGolden("cases/voice-memo-reader-newer.jsonl", {ReplyJson(list)});
}

TEST_F(VoiceMemoReader, ReadsTheRealFiles) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  // Both devices had no memos: their files are read, and name nothing.
  for (const char* folder : {"OTAPKI__iphone/MediaDomain/Media/Recordings/",
                             "multifreded__hv20/day23/Decrypted_Backup/MediaDomain/Media/"
                             "Recordings/"}) {
    VoiceMemoList list;
    list.ReadDatabase(fixtures + folder + "Recordings.db", VoiceMemoList::kRecordingDb, options_);
    list.ReadAssetManifest(fixtures + folder + "AssetManifest.plist");
    EXPECT_EQ(ReplyJson(list), "{}") << folder;
  }
}

PlistPtr Parse(const std::string& xml) {
  return PlistUtil::ParseBytes(xml.data(), xml.size());
}

std::string Plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

TEST_F(VoiceMemoReader, FilesOfTheWrongShapeGiveWhatTheyHold) {
  VoiceMemoList list;
  // Not a database, not a property list, not there.
  WriteFile(folder_ / "garbage", std::string(3000, '\x01'));
  list.ReadDatabase(folder_ / "garbage", VoiceMemoList::kCloudDb, options_);
  list.ReadAssetManifest(folder_ / "garbage");
  list.ReadComposition(folder_ / "garbage");
  list.ReadDatabase(folder_ / "missing.db", VoiceMemoList::kRecordingDb, options_);
  list.AddAssetManifest(Parse(Plist("<array><string>x.m4a</string></array>")).get(), "");
  list.AddComposition(Parse(Plist("<array/>")).get(), "");
  EXPECT_EQ(ReplyJson(list), "{}");

  // Keys of any shape; values that are no dictionaries still name a file.
  list.AddAssetManifest(
      Parse(Plist("<dict><key></key><dict/><key>..</key><dict/><key>a/b.m4a</key><string>x"
                  "</string><key>c.m4a</key><dict><key>name</key><integer>5</integer></dict>"
                  "<key>d.m4a</key><dict><key>name</key><string>Dee</string></dict></dict>"))
          .get(),
      "");
  // Compositions without a URL, with a bare one, with odd types, and with NUL
  // bytes inside strings, which a damaged file's XML can carry.
  const std::string nul(1, '\0');
  for (const std::string& composition :
       {std::string("<key>RCSavedRecordingTitle</key><string>t</string>"),
        std::string("<key>RCComposedAVURL</key><string>file:///</string>"),
        std::string("<key>RCComposedAVURL</key><string>file:///x/e%20f%zz%4.m4a</string>"
                    "<key>RCSavedRecordingTitle</key><integer>1</integer>"
                    "<key>RCSavedRecordingCreationTime</key><real>1e300</real>"),
        std::string("<key>RCComposedAVURL</key><string>/x/d.m4a</string>"
                    "<key>RCSavedRecordingCreationTime</key><integer>86400</integer>"),
        "<key>RCComposedAVURL</key><string>file:///x/n" + nul + "l.m4a</string>",
        "<key>RCComposedAVURL</key><string>file:///x/k.m4a</string>"
        "<key>RCSavedRecordingTitle</key><string>t" +
            nul + "t</string>"})
    list.AddComposition(Parse(Plist("<dict>" + composition + "</dict>")).get(), "");
  // NULL everywhere, wrong types, absurd numbers, text that is not UTF-8.
  std::string odd = folder_ / "odd.db";
  ExecSql(odd,
          "CREATE TABLE ZRECORDING (ZPATH, ZCUSTOMLABEL, ZDATE, ZDURATION);"
          "INSERT INTO ZRECORDING VALUES (NULL, NULL, NULL, NULL), ('', 1, 2, 3), ('/', 1, 2, 3),"
          "('/var/x/g.m4a', X'C328', 1e300, 'long'), ('h.m4a', NULL, -1e999, 1e999);"
          "CREATE TABLE ZCLOUDRECORDING (ZPATH);"
          "INSERT INTO ZCLOUDRECORDING VALUES ('C:\\\\x\\\\i.m4a'), (X'00');");
  list.ReadDatabase(odd, VoiceMemoList::kRecordingDb, options_);
  // Names without a usable title take the file's; the first source to name
  // a file keeps it; titles keep their NUL bytes (as far as the parser kept them).
  kind_scan::ExpectGolden("cases/voice-memo-reader-odd.jsonl", {ReplyJson(list)});
}

TEST_F(VoiceMemoReader, RequestsAreAnsweredForAnyObject) {
  auto ask = [&](const char* text) {
    PluginMessage message;
    std::memset(&message, 0, sizeof message);
    message.payload = const_cast<char*>(text);
    bool answered = host::AnswerRecordingQueryList(message, options_);
    std::unique_ptr<rapidjson::Document> reply(
        answered ? static_cast<rapidjson::Document*>(message.payload) : nullptr);
    return reply ? Json(*reply) : std::string("unanswered");
  };
  EXPECT_EQ(ask("not json"), "unanswered");
  EXPECT_EQ(ask("[1]"), "unanswered");
  EXPECT_EQ(ask("{}"), "{}");
  EXPECT_EQ(ask("{\"1\":5,\"2\":null,\"3\":\"x\",\"4\":[]}"), "{}");
  EXPECT_EQ(ask("{\"1\":\"/nowhere\",\"3\":[1,\"/nowhere\"]}"), "{}");
}

}  // namespace
