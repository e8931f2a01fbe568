#include "builder/Hostile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "builder/BinaryPlist.h"
#include "builder/ContentSets.h"
#include "builder/Encryption.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/SmsDatabase.h"
#include "builder/kinds/VoiceMemos.h"

namespace builder::hostile {
namespace {

namespace fs = std::filesystem;

// Long enough that no sample content or path holds it by chance.
constexpr char kPlantedText[] = "planted outside the backup 6c0f91d2e7";
constexpr char kDeviceId[] = "00008120-001A2B3C4D5E602E";
constexpr char kSmsPath[] = "Library/SMS/sms.db";
constexpr char kAddressBookPath[] = "Library/AddressBook/AddressBook.sqlitedb";
constexpr uint64_t kListedSize = 8192;  // what a listed-but-hostile row claims to hold
// A stored attachment of the sample messages, and the size of what stands in for it.
constexpr char kSmsAttachmentPath[] = "Library/SMS/Attachments/0a/10/7C1E9F2A/IMG_0001.JPG";
constexpr size_t kOutsideSize = 1618033;

std::string ErrnoText() {
  return std::strerror(errno);
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(fs::path(path).parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw BuildError("cannot write " + path);
}

void MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  if (error) throw BuildError("cannot create " + path + ": " + error.message());
}

// Replaces whatever is at `path` (a stored file, a manifest, a folder).
void RemoveEntry(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
  if (error) throw BuildError("cannot remove " + path + ": " + error.message());
}

void PutFifo(const std::string& path) {
  RemoveEntry(path);
  if (mkfifo(path.c_str(), 0644) != 0)
    throw BuildError("cannot make a FIFO at " + path + ": " + ErrnoText());
}

void PutSymlink(const std::string& path, const std::string& target) {
  RemoveEntry(path);
  if (symlink(target.c_str(), path.c_str()) != 0)
    throw BuildError("cannot link " + path + ": " + ErrnoText());
}

std::string Slashed(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// One conversation whose only message is `text`.
std::vector<SmsChatSpec> ChatSaying(const std::string& text) {
  SmsChatSpec chat;
  chat.identifier = "+15550100";
  chat.participants = {"+15550100"};
  SmsMessageSpec message;
  message.text = text;
  message.date = 700000000;
  message.sender = "+15550100";
  chat.messages.push_back(message);
  return {chat};
}

void WriteSmsDatabase(const std::string& path, const std::string& text) {
  MakeFolder(fs::path(path).parent_path().string());
  SmsDatabaseWriter writer(path, SmsGeneration::kIos14);
  for (const SmsChatSpec& chat : ChatSaying(text)) writer.AddChat(chat);
  writer.Close();
}

// An address book of one card, named `name`.
AddressBookWriter AddressBookNaming(const std::string& name) {
  AddressBookWriter book;
  AddressBookWriter::Person person;
  person.first = name;
  person.organization = name;
  book.AddPerson(person);
  return book;
}

void WriteAddressBook(const std::string& path, const std::string& name) {
  MakeFolder(fs::path(path).parent_path().string());
  AddressBookNaming(name).Write(path);
}

// The first line of /etc/passwd: what an id climbing to it would leak.
std::string PasswdLine() {
  std::ifstream in("/etc/passwd");
  std::string line;
  std::getline(in, line);
  return line.size() >= 8 ? line : std::string();
}

// The site's common parts: the folders, the neighbour, the planted text.
struct Site {
  explicit Site(const std::string& site) : root(Slashed(site)) {
    crafted.backup = root + "backups/" + kDeviceId + "/";
    crafted.neighbour = root + "backups/neighbour/";
    crafted.planted.push_back(kPlantedText);
    BackupBuilder neighbour(crafted.neighbour);
    AddContentSet(neighbour, "skeleton");
    neighbour.Finish();
    WriteBytes(root + "canary.txt", std::string(kPlantedText) + "\n");
  }

  // A backup of the site with ordinary files (the skeleton's by default), so
  // that every command has something legitimate to do beside the hostile part.
  std::unique_ptr<BackupBuilder> Start(ManifestFormat format = ManifestFormat::kDb,
                                       bool encrypted = false, const char* content = "skeleton") {
    BackupOptions options;
    options.manifest = format;
    options.isEncrypted = encrypted;
    auto backup = std::make_unique<BackupBuilder>(crafted.backup, options);
    if (encrypted) Encrypt(*backup);
    AddContentSet(*backup, content);
    return backup;
  }

  void Encrypt(BackupBuilder& backup) {
    EncryptionOptions encryption;
    encryption.password = kPassword;
    backup.SetProtector(std::make_unique<Encryption>(encryption));
    crafted.passwordFile = root + "password.txt";
    WriteBytes(crafted.passwordFile, std::string(kPassword) + "\n");
  }

  std::string root;
  Crafted crafted;
};

ManifestEntry ListedFile(const std::string& relativePath, std::string fileID) {
  ManifestEntry entry;
  entry.domain = "HomeDomain";
  entry.relativePath = relativePath;
  entry.fileID = std::move(fileID);
  entry.size = kListedSize;
  return entry;
}

// A stored file of the backup that is then replaced by something else.
std::string StoredPathOf(const BackupBuilder& backup, const std::string& relativePath) {
  return backup.StoredPath(BackupBuilder::FileID("HomeDomain", relativePath));
}

void WriteDeep(const std::string& path, PlistFormat format) {
  WriteBytes(path, format == PlistFormat::kXml ? DeepXmlPlist(kDeepXmlLevels)
                                               : DeepBinaryPlist(kDeepBinaryLevels));
}

}  // namespace

std::string DeepXmlPlist(size_t levels) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<plist version=\"1.0\"><dict><key>Device Name</key>";
  xml.reserve(xml.size() + levels * 15 + 32);
  for (size_t i = 0; i < levels; ++i) xml += "<array>";
  for (size_t i = 0; i < levels; ++i) xml += "</array>";
  return xml + "</dict></plist>\n";
}

std::string DeepBinaryPlist(size_t levels) {
  BinaryPlistWriter writer;
  BinaryPlistWriter::Ref key = writer.String("Device Name");
  BinaryPlistWriter::Ref inner = writer.Array({});
  for (size_t i = 1; i < levels; ++i) inner = writer.Array({inner});
  std::string bytes;
  writer.Write(writer.Dict({{key, inner}}), bytes);
  return bytes;
}

Crafted Ordinary(const std::string& site, ManifestFormat format, bool encrypted) {
  Site s(site);
  auto backup = s.Start(format, encrypted, kAllContentSets);
  backup->Finish();
  return s.crafted;
}

Crafted EscapingFileIds(const std::string& site) {
  Site s(site);
  // The Manifest.db layout puts a stored file one folder deeper than the
  // legacy one: plant the victim where either reading of the id lands.
  WriteSmsDatabase(s.root + "victim/secret.db", kPlantedText);
  WriteSmsDatabase(s.root + "backups/victim/secret.db", kPlantedText);
  std::string climb;
  for (int i = 0; i < 32; ++i) climb += "../";
  std::string canary = climb + (s.root + "canary.txt").substr(1);

  auto backup = s.Start();
  backup->AddEntry(ListedFile(kSmsPath, "../victim/secret.db"));
  backup->AddEntry(ListedFile(kAddressBookPath, "."));
  backup->AddEntry(ListedFile("Library/CallHistoryDB/CallHistory.storedata", ".."));
  backup->AddEntry(ListedFile("Library/Preferences/passwd.plist", "../../../../etc/passwd"));
  backup->AddEntry(ListedFile("Library/Preferences/canary.plist", canary));
  backup->AddEntry(
      ListedFile("Library/Notes/notes.sqlite", std::string("../victim/secret.db\0tail", 24)));
  backup->AddEntry(
      ListedFile("Library/Calendar/Calendar.sqlitedb", "ca/../../../victim/secret.db"));
  backup->Finish();
  if (std::string line = PasswdLine(); !line.empty()) s.crafted.planted.push_back(line);
  return s.crafted;
}

Crafted FifoInPlaceOf(const std::string& site, FifoPlace place) {
  Site s(site);
  bool legacy = place == FifoPlace::kManifestMbdb;
  bool encrypted = place == FifoPlace::kEncryptedDatabase;
  auto backup = s.Start(legacy ? ManifestFormat::kMbdb : ManifestFormat::kDb, encrypted);
  AddContentSet(*backup, "contacts");
  AddContentSet(*backup, "sms");
  backup->Finish();
  switch (place) {
    case FifoPlace::kAddressBook:
      PutFifo(StoredPathOf(*backup, kAddressBookPath));
      break;
    case FifoPlace::kStoredDatabase:
    case FifoPlace::kEncryptedDatabase:
      PutFifo(StoredPathOf(*backup, kSmsPath));
      break;
    case FifoPlace::kManifestDb:
    case FifoPlace::kManifestMbdb:
      PutFifo(backup->ManifestPath());
      break;
    case FifoPlace::kInfoPlist:
      PutFifo(s.crafted.backup + "Info.plist");
      break;
  }
  return s.crafted;
}

Crafted SymlinksToOutsideFiles(const std::string& site) {
  Site s(site);
  std::string book = s.root + "outside/AddressBook.sqlitedb";
  WriteAddressBook(book, kPlantedText);
  auto backup = s.Start();
  AddContentSet(*backup, "sms");
  backup->AddFile("HomeDomain", kAddressBookPath, "replaced by a link");
  backup->AddFile("HomeDomain", "Library/Preferences/canary.plist", "replaced by a link");
  backup->AddFile("HomeDomain", "Library/Preferences/passwd.plist", "replaced by a link");
  backup->Finish();
  // A message's attachment linked to an outside file of a size no output
  // holds by chance: a kind that measured through the link would show it.
  WriteBytes(s.root + "outside/large.jpg", std::string(kOutsideSize, 'x'));
  s.crafted.planted.push_back(std::to_string(kOutsideSize));
  PutSymlink(backup->StoredPath(BackupBuilder::FileID("MediaDomain", kSmsAttachmentPath)),
             s.root + "outside/large.jpg");
  PutSymlink(StoredPathOf(*backup, kAddressBookPath), book);
  PutSymlink(StoredPathOf(*backup, "Library/Preferences/canary.plist"), s.root + "canary.txt");
  PutSymlink(StoredPathOf(*backup, "Library/Preferences/passwd.plist"), "/etc/passwd");
  if (std::string line = PasswdLine(); !line.empty()) s.crafted.planted.push_back(line);
  return s.crafted;
}

Crafted SymlinksToDevices(const std::string& site) {
  Site s(site);
  auto backup = s.Start();
  backup->AddFile("HomeDomain", kAddressBookPath, "replaced by a link");
  backup->AddFile("HomeDomain", kSmsPath, "replaced by a link");
  backup->AddFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", "replaced by a link");
  backup->Finish();
  PutSymlink(StoredPathOf(*backup, kAddressBookPath), "/dev/zero");
  PutSymlink(StoredPathOf(*backup, kSmsPath), "/dev/urandom");
  PutSymlink(
      backup->StoredPath(BackupBuilder::FileID("MediaDomain", "Media/DCIM/100APPLE/IMG_0001.JPG")),
      "/dev/zero");
  return s.crafted;
}

Crafted SymlinkedSubfolder(const std::string& site) {
  Site s(site);
  std::string fileID = BackupBuilder::FileID("HomeDomain", kSmsPath);
  std::string outside = s.root + "outside/" + fileID.substr(0, 2);
  WriteSmsDatabase(outside + "/" + fileID, kPlantedText);
  auto backup = s.Start();
  backup->AddEntry(ListedFile(kSmsPath, ""));
  backup->Finish();
  PutSymlink(s.crafted.backup + fileID.substr(0, 2), outside);
  return s.crafted;
}

Crafted DeepPlist(const std::string& site, DeepPlace place, PlistFormat format) {
  Site s(site);
  auto backup = s.Start();
  // A device keeps one generation of voice memos, the older one before
  // iOS 15; each reads a plist of its own.
  bool older = place == DeepPlace::kVoiceMemoAssetManifest;
  if (older) backup->Device().productVersion = "12.5.7";
  VoiceMemoLibrary memos =
      SampleVoiceMemos(older ? VoiceMemoLayout::kLegacy : VoiceMemoLayout::kCloud);
  AddVoiceMemos(*backup, memos);
  backup->Finish();
  auto stored = [&](const std::string& name) {
    return backup->StoredPath(BackupBuilder::FileID(memos.domain, RecordingsFolder(memos) + name));
  };
  switch (place) {
    case DeepPlace::kInfo:
      WriteDeep(s.crafted.backup + "Info.plist", format);
      break;
    case DeepPlace::kManifest:
      WriteDeep(s.crafted.backup + "Manifest.plist", format);
      break;
    case DeepPlace::kStatus:
      WriteDeep(s.crafted.backup + "Status.plist", format);
      break;
    case DeepPlace::kVoiceMemoComposition:
      for (const VoiceMemoSpec& memo : memos.memos) {
        if (!memo.composition) continue;
        std::string stem = memo.fileName.substr(0, memo.fileName.rfind('.'));
        WriteDeep(stored(stem + ".composition/manifest.plist"), format);
      }
      break;
    case DeepPlace::kVoiceMemoAssetManifest:
      WriteDeep(stored("AssetManifest.plist"), format);
      break;
  }
  return s.crafted;
}

Crafted SameNamedEncrypted(const std::string& site) {
  Site s(site);
  s.crafted.ownText = "only the first copy says this a41c";
  s.crafted.twinText = "only the second copy says this 93be";
  s.crafted.twin = s.root + "two/" + kDeviceId + "/";
  for (const std::string* folder : {&s.crafted.backup, &s.crafted.twin}) {
    BackupOptions options;
    options.isEncrypted = true;
    BackupBuilder backup(*folder, options);
    s.Encrypt(backup);
    AddContentSet(backup, "skeleton");
    // Two databases deciphered one after the other: two chances to mix.
    const std::string& text = folder == &s.crafted.backup ? s.crafted.ownText : s.crafted.twinText;
    AddressBookNaming(text).AddTo(backup);
    AddSmsDatabase(backup, SmsGeneration::kIos14, ChatSaying(text));
    backup.Finish();
  }
  return s.crafted;
}

}  // namespace builder::hostile
