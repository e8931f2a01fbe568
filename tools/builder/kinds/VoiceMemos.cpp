#include "builder/kinds/VoiceMemos.h"

#include <plist/plist.h>

#include <memory>

#include "builder/kinds/SqlFile.h"

namespace builder {
namespace {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

std::string XmlOf(plist_t root) {
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &bytes, &length);
  if (!bytes) throw BuildError("cannot encode a voice-memo property list");
  std::string xml(bytes, length);
  plist_to_xml_free(bytes);
  return xml;
}

std::string Stem(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

// A file URL of a device path: blanks and other bytes outside the unreserved
// set are percent-encoded.
std::string FileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '.' || c == '-' || c == '_';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

void CreateCoreDataTables(SqlFile& file, std::initializer_list<const char*> entities) {
  file.Exec(
      "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
      "Z_MAX INTEGER)");
  file.Exec(
      "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), "
      "Z_PLIST BLOB)");
  int64_t number = 0;
  for (const char* entity : entities)
    file.Run("INSERT INTO Z_PRIMARYKEY VALUES (?, ?, 0, 0)", {++number, std::string(entity)});
}

}  // namespace

VoiceMemoSpec Memo(const std::string& fileName, const std::string& title, double date,
                   double duration) {
  VoiceMemoSpec memo;
  memo.fileName = fileName;
  memo.title = title;
  memo.date = date;
  memo.duration = duration;
  return memo;
}

std::string MemoAudio(const VoiceMemoSpec& memo) {
  if (!memo.audio.empty()) return memo.audio;
  std::string bytes(
      "\0\0\0\x20"
      "ftypM4A \0\0\0\0M4A mp42isom",
      28);
  bytes += memo.fileName;
  bytes.append(200 + memo.fileName.size() * 3, '\x5a');
  return bytes;
}

std::string RecordingsFolder(const VoiceMemoLibrary& library) {
  std::string root = library.root;
  if (root.empty()) root = library.layout == VoiceMemoLayout::kLegacy ? "Media" : "Library";
  return root + "/Recordings/";
}

void WriteRecordingsDatabase(const std::string& path, const std::vector<VoiceMemoSpec>& memos) {
  SqlFile file(path);
  CreateCoreDataTables(file, {"Recording", "EntityRevision", "DatabaseProperty"});
  file.Exec(
      "CREATE TABLE ZRECORDING (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
      "ZITUNESPERSISTENTID INTEGER, ZLABELPRESET INTEGER, ZPENDINGRESTORE INTEGER, ZRECORDINGID "
      "INTEGER, ZSYNCED INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT, ZCUSTOMLABEL VARCHAR, ZPATH "
      "VARCHAR)");
  file.Exec(
      "CREATE TABLE ZDATABASEPROPERTY (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
      "ZKEY VARCHAR, ZVALUE VARCHAR)");
  int64_t pk = 0;
  for (const VoiceMemoSpec& memo : memos) {
    if (!memo.inDatabase) continue;
    ++pk;
    file.Run("INSERT INTO ZRECORDING VALUES (?, 1, 1, 0, 0, 0, ?, 1, ?, ?, ?, ?)",
             {pk, pk, memo.date, memo.duration, memo.title,
              "/var/mobile/Media/Recordings/" + memo.fileName});
  }
  file.Close();
}

void WriteCloudRecordingsDatabase(const std::string& path,
                                  const std::vector<VoiceMemoSpec>& memos) {
  SqlFile file(path);
  CreateCoreDataTables(file, {"CloudRecording", "Folder", "Recording"});
  file.Exec(
      "CREATE TABLE ZCLOUDRECORDING (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
      "ZFLAGS INTEGER, ZFOLDER INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT, ZLOCALDURATION FLOAT, "
      "ZEVICTIONDATE TIMESTAMP, ZCUSTOMLABEL VARCHAR, ZCUSTOMLABELFORSORTING VARCHAR, "
      "ZENCRYPTEDTITLE VARCHAR, ZPATH VARCHAR, ZUNIQUEID VARCHAR, ZAUDIODIGEST BLOB)");
  file.Exec(
      "CREATE TABLE ZFOLDER (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZRANK "
      "INTEGER, ZCOUNTOFRECORDINGS INTEGER, ZENCRYPTEDNAME VARCHAR, ZUUID VARCHAR)");
  // The legacy table the newer file still carries, empty.
  file.Exec(
      "CREATE TABLE ZRECORDING (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZDATE "
      "TIMESTAMP, ZDURATION FLOAT, ZCUSTOMLABEL VARCHAR, ZPATH VARCHAR)");
  file.Run("INSERT INTO ZFOLDER VALUES (1, 2, 1, 0, ?, 'Interviews', 'F0-1')",
           {static_cast<int64_t>(memos.size())});
  int64_t pk = 0;
  for (const VoiceMemoSpec& memo : memos) {
    if (!memo.inDatabase) continue;
    ++pk;
    // The label is the creation time when the memo was never renamed.
    file.Run("INSERT INTO ZCLOUDRECORDING VALUES (?, 1, 1, 0, 1, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL)",
             {pk, memo.date, memo.duration, memo.duration,
              memo.evicted ? SqlValue(memo.date + 3600) : SqlValue(nullptr),
              std::string("2020-01-01T12:00:00Z"), memo.title, memo.title, memo.fileName,
              "UID-" + std::to_string(pk)});
  }
  file.Close();
}

std::string AssetManifestPlist(const std::vector<VoiceMemoSpec>& memos) {
  Plist root(plist_new_dict());
  for (const VoiceMemoSpec& memo : memos) {
    if (!memo.inAssetManifest) continue;
    plist_t entry = plist_new_dict();
    plist_dict_set_item(entry, "name", plist_new_string(memo.title.c_str()));
    plist_dict_set_item(root.get(), memo.fileName.c_str(), entry);
  }
  return XmlOf(root.get());
}

std::string CompositionManifestPlist(const VoiceMemoSpec& memo, const std::string& root) {
  Plist dict(plist_new_dict());
  plist_dict_set_item(dict.get(), "RCSavedRecordingTitle", plist_new_string(memo.title.c_str()));
  plist_dict_set_item(dict.get(), "RCSavedRecordingCreationTime",
                      plist_new_date(static_cast<int32_t>(memo.date), 0));
  std::string url = FileUrl("/var/mobile/" + root + "/Recordings/" + memo.fileName);
  plist_dict_set_item(dict.get(), "RCComposedAVURL", plist_new_string(url.c_str()));
  return XmlOf(dict.get());
}

void AddVoiceMemos(BackupBuilder& backup, const VoiceMemoLibrary& library) {
  const std::string folder = RecordingsFolder(library);
  const std::string root = folder.substr(0, folder.find('/'));
  ScratchPath database("recordings.db");
  if (library.layout == VoiceMemoLayout::kLegacy) {
    WriteRecordingsDatabase(database.Path(), library.memos);
    backup.AddFileFromDisk(library.domain, folder + "Recordings.db", database.Path());
    backup.AddFile(library.domain, folder + "AssetManifest.plist",
                   AssetManifestPlist(library.memos));
  } else {
    WriteCloudRecordingsDatabase(database.Path(), library.memos);
    backup.AddFileFromDisk(library.domain, folder + "CloudRecordings.db", database.Path());
    for (const VoiceMemoSpec& memo : library.memos) {
      if (!memo.composition) continue;
      std::string composition = folder + Stem(memo.fileName) + ".composition";
      backup.AddDirectory(library.domain, composition);
      backup.AddFile(library.domain, composition + "/manifest.plist",
                     CompositionManifestPlist(memo, root));
    }
  }
  for (const VoiceMemoSpec& memo : library.memos) {
    if (memo.stored) backup.AddFile(library.domain, folder + memo.fileName, MemoAudio(memo));
  }
}

VoiceMemoLibrary SampleVoiceMemos(VoiceMemoLayout layout) {
  VoiceMemoLibrary library;
  library.layout = layout;
  library.memos = {
      Memo("20150101 120000.m4a", "Lecture", 441806400, 1800.5),
      Memo("20150214 093000.m4a", "Shopping list", 445599000, 12.25),
      Memo("20150301 180000.m4a", "Rehearsal", 446925600, 240),
  };
  if (layout == VoiceMemoLayout::kLegacy) {
    library.memos[2].inDatabase = false;  // listed only by the asset manifest
  } else {
    library.memos[1].composition = true;  // trimmed after recording
    library.memos[2].evicted = true;
  }
  return library;
}

void AddSampleVoiceMemosLegacy(BackupBuilder& backup) {
  AddVoiceMemos(backup, SampleVoiceMemos(VoiceMemoLayout::kLegacy));
}

void AddSampleVoiceMemosCloud(BackupBuilder& backup) {
  AddVoiceMemos(backup, SampleVoiceMemos(VoiceMemoLayout::kCloud));
}

}  // namespace builder
