#include "builder/Synthetic.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <string>
#include <vector>

#include "builder/Random.h"

namespace builder {
namespace {

std::string Padded(size_t value, size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

// The databases the data kinds look for, with a few of their side files.
const std::array<std::pair<const char*, const char*>, 17> kWellKnown = {{
    {"HomeDomain", "Library/SMS/sms.db"},
    {"HomeDomain", "Library/SMS/sms.db-wal"},
    {"HomeDomain", "Library/SMS/sms.db-shm"},
    {"CameraRollDomain", "Media/PhotoData/Photos.sqlite"},
    {"CameraRollDomain", "Media/PhotoData/Photos.sqlite-wal"},
    {"MediaDomain", "Media/Recordings/Recordings.db"},
    {"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"},
    {"HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb"},
    {"WirelessDomain", "Library/CallHistory/call_history.db"},
    {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"},
    {"HomeDomain", "Library/Calendar/Calendar.sqlitedb"},
    {"HomeDomain", "Library/Notes/notes.sqlite"},
    {"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"},
    {"HomeDomain", "Library/Safari/Bookmarks.db"},
    {"HomeDomain", "Library/Safari/History.db"},
    {"AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite"},
    {"KeychainDomain", "keychain-backup.plist"},
}};

const std::array<const char*, 24> kSystemApps = {
    "com.apple.mobilenotes", "com.apple.mobilesafari", "com.apple.MobileSMS",
    "com.apple.Maps",        "com.apple.weather",      "com.apple.stocks",
    "com.apple.podcasts",    "com.apple.VoiceMemos",   "com.apple.mobilecal",
    "com.apple.reminders",   "com.apple.Health",       "com.apple.news",
    "com.apple.iBooks",      "com.apple.Music",        "com.apple.tv",
    "com.apple.Fitness",     "com.apple.Translate",    "com.apple.shortcuts",
    "com.apple.freeform",    "com.apple.Magnifier",    "com.apple.calculator",
    "com.apple.compass",     "com.apple.measure",      "com.apple.Passbook"};
const std::array<const char*, 20> kVendors = {
    "acmesoft",  "northwind", "bluefin",    "orbitlabs", "pixelworks", "quietcode", "tallpine",
    "riverbyte", "copperfox", "nimbusapps", "lakeside",  "brightmoor", "elmstreet", "sevenhills",
    "redkite",   "ironleaf",  "sundial",    "moonbeam",  "hexagon",    "polaris"};
const std::array<const char*, 24> kProducts = {
    "Reader",  "Weather", "Tracker", "Scanner", "Chat",    "Notes", "Budget",  "Fitness",
    "Recipes", "Photos",  "Music",   "Maps",    "Planner", "Mail",  "Journal", "Travel",
    "Banking", "Podcast", "Radio",   "Sleep",   "Tasks",   "Drive", "Wallet",  "Games"};
const std::array<const char*, 4> kPluginKinds = {"ShareExtension", "NotificationService",
                                                 "TodayWidget", "IntentsExtension"};
const std::array<const char*, 8> kSystemGroups = {
    "systemgroup.com.apple.configurationprofiles", "systemgroup.com.apple.nsurlstoragedresources",
    "systemgroup.com.apple.mobilegestaltcache",    "systemgroup.com.apple.sharedpclogging",
    "systemgroup.com.apple.lsd.iconscache",        "systemgroup.com.apple.media.shared.books",
    "systemgroup.com.apple.pisco.suinfo",          "systemgroup.com.apple.icloud.findmydevice"};
const std::array<const char*, 7> kSystemDomains = {"RootDomain",
                                                   "WirelessDomain",
                                                   "SystemPreferencesDomain",
                                                   "ManagedPreferencesDomain",
                                                   "KeychainDomain",
                                                   "DatabaseDomain",
                                                   "HomeDomain"};
const std::array<const char*, 10> kWords = {"cache",  "data",  "store", "index", "session",
                                            "assets", "media", "state", "logs",  "sync"};
const std::array<const char*, 8> kExtensions = {"plist", "sqlite", "json", "dat",
                                                "png",   "jpg",    "db",   "bin"};

class Generator {
 public:
  Generator(BackupBuilder& builder, size_t rows, uint64_t seed)
      : builder_(builder), total_(rows), remaining_(rows), random_(seed) {
    MakeApps();
  }

  void Run() {
    while (remaining_ > 0) {
      EmitWellKnownDue();
      size_t dice = random_.Below(100);
      if (dice < 34)
        AppGroup();
      else if (dice < 54)
        Photo();
      else if (dice < 68)
        Attachment();
      else if (dice < 78)
        AppGroupContainer();
      else if (dice < 84)
        Plugin();
      else if (dice < 88)
        SharedContainer();
      else
        SystemGroup();
    }
  }

 private:
  struct App {
    std::string bundle;
    bool started = false;
    bool hasGroup = false;
    bool groupStarted = false;
    bool pluginStarted = false;
  };

  void MakeApps() {
    for (const char* bundle : kSystemApps) apps_.push_back({bundle});
    for (const char* vendor : kVendors) {
      size_t count = random_.Between(8, 16);
      size_t first = random_.Below(kProducts.size());
      for (size_t i = 0; i < count; ++i)
        apps_.push_back(
            {std::string("com.") + vendor + "." + kProducts[(first + i) % kProducts.size()]});
    }
    for (App& app : apps_) app.hasGroup = random_.Below(3) == 0;
    // A small manifest is a device with few apps, not a few folders of many.
    for (size_t i = apps_.size() - 1; i > 0; --i) std::swap(apps_[i], apps_[random_.Below(i + 1)]);
    apps_.resize(std::clamp<size_t>(remaining_ / 500, 24, apps_.size()));
  }

  // The databases the kinds look for sit at evenly spaced rows, so that a
  // reader's observers compare paths through the whole manifest, as they
  // would on a device, before they find theirs.
  void EmitWellKnownDue() {
    size_t done = total_ - remaining_;
    while (nextWellKnown_ < kWellKnown.size() &&
           done >= total_ * nextWellKnown_ / kWellKnown.size()) {
      const auto& [domain, path] = kWellKnown[nextWellKnown_++];
      Emit(domain, path, kFlagFile, 1 << 20);
      done = total_ - remaining_;
    }
  }

  // Adds one row unless the count is reached; false once it is. A row the
  // caller already added with real content is left out and not counted.
  bool Emit(const std::string& domain, const std::string& path, int flags, uint64_t size = 0,
            const std::string& target = {}) {
    if (remaining_ == 0) return false;
    ManifestEntry entry;
    entry.domain = domain;
    entry.relativePath = path;
    entry.flags = flags;
    entry.size = size;
    entry.target = target;
    Add(std::move(entry));
    // A symbolic link now and then, placed next to ordinary files.
    if (flags == kFlagFile && remaining_ > 0 && random_.Below(1000) == 0)
      Emit(domain, path + ".current", kFlagSymlink, 0, path.substr(path.rfind('/') + 1));
    return remaining_ > 0;
  }

  void Add(ManifestEntry entry) {
    if (builder_.AddEntryUnlessListed(std::move(entry))) --remaining_;
  }

  bool EmitFile(const std::string& domain, const std::string& path) {
    return Emit(domain, path, kFlagFile, 512 + random_.Below(4 << 20));
  }

  // A folder with a few files in it: the shape most rows come in. Four files
  // on average here, fewer in photo and attachment folders, make directories
  // about a quarter of the rows.
  void Leaf(const std::string& domain, const std::string& folder, const std::string& stem) {
    if (!Emit(domain, folder, kFlagDirectory)) return;
    size_t files = random_.Between(2, 6);
    for (size_t i = 0; i < files; ++i) {
      std::string name = stem + "_" + std::to_string(i) + "." + random_.Pick(kExtensions);
      if (!EmitFile(domain, folder + "/" + name)) return;
    }
  }

  void StartContainer(const std::string& domain, const std::string& bundle) {
    Emit(domain, "", kFlagDirectory);
    for (const char* folder : {"Library", "Library/Preferences", "Library/Caches", "Documents",
                               "Library/Application Support"})
      Emit(domain, folder, kFlagDirectory);
    EmitFile(domain, "Library/Preferences/" + bundle + ".plist");
  }

  std::string UniqueFolder(const char* base) {
    return std::string(base) + "/" + random_.Pick(kWords) + "_" + std::to_string(++leafCounter_);
  }

  void AppGroup() {
    App& app = apps_[random_.Below(apps_.size())];
    std::string domain = "AppDomain-" + app.bundle;
    if (!app.started) {
      app.started = true;
      StartContainer(domain, app.bundle);
      EmitFile("HomeDomain", "Library/Preferences/" + app.bundle + ".plist");
      return;
    }
    switch (random_.Below(3)) {
      case 0:
        Leaf(domain, UniqueFolder("Documents"), random_.Pick(kWords));
        break;
      case 1:
        Leaf(domain, UniqueFolder("Library/Application Support"), random_.Hex(8));
        break;
      default:
        Leaf(domain,
             "Library/Caches/" + app.bundle + "/fsCachedData_" + std::to_string(++leafCounter_),
             random_.Guid());
    }
  }

  void AppGroupContainer() {
    App& app = apps_[random_.Below(apps_.size())];
    if (!app.hasGroup) return AppGroup();
    std::string domain = "AppDomainGroup-group." + app.bundle;
    if (!app.groupStarted) {
      app.groupStarted = true;
      StartContainer(domain, "group." + app.bundle);
      return;
    }
    Leaf(domain, UniqueFolder("Library/Caches"), random_.Pick(kWords));
  }

  void Plugin() {
    App& app = apps_[random_.Below(apps_.size())];
    std::string bundle = app.bundle + "." + kPluginKinds[app.bundle.size() % kPluginKinds.size()];
    std::string domain = "AppDomainPlugin-" + bundle;
    if (!app.pluginStarted) {
      app.pluginStarted = true;
      StartContainer(domain, bundle);
      return;
    }
    Leaf(domain, UniqueFolder("Library/Caches"), random_.Hex(12));
  }

  void SharedContainer() {
    size_t index = random_.Below(kSystemGroups.size());
    std::string domain = std::string("SysSharedContainerDomain-") + kSystemGroups[index];
    if (!(sharedStarted_ & (1u << index))) {
      sharedStarted_ |= 1u << index;
      Emit(domain, "", kFlagDirectory);
      Emit(domain, "Library", kFlagDirectory);
      return;
    }
    Leaf(domain, UniqueFolder("Library"), random_.Pick(kWords));
  }

  void SystemGroup() {
    std::string domain = random_.Pick(kSystemDomains);
    if (random_.Below(2) == 0) {
      EmitFile(domain, "Library/Preferences/com.apple." + std::string(random_.Pick(kWords)) + "." +
                           std::to_string(++leafCounter_) + ".plist");
      return;
    }
    Leaf(domain, UniqueFolder("Library/Caches"), random_.Pick(kWords));
  }

  // One picture: the original, its thumbnail folder and the thumbnail.
  void Photo() {
    const std::string domain = "CameraRollDomain";
    size_t number = photos_++;
    std::string folder = Padded(100 + (number / 1000) % 900, 3) + "APPLE";
    std::string generation = number >= 900000 ? "_" + std::to_string(number / 900000) : "";
    std::string name = "IMG_" + Padded(number % 10000, 4) + generation +
                       (random_.Below(8) == 0 ? ".MOV" : ".HEIC");
    if (number % 1000 == 0) {
      if (number == 0) {
        for (const char* path :
             {"Media", "Media/DCIM", "Media/PhotoData", "Media/PhotoData/Thumbnails",
              "Media/PhotoData/Thumbnails/V2", "Media/PhotoData/Thumbnails/V2/DCIM"})
          Emit(domain, path, kFlagDirectory);
      }
      Emit(domain, "Media/DCIM/" + folder, kFlagDirectory);
      Emit(domain, "Media/PhotoData/Thumbnails/V2/DCIM/" + folder, kFlagDirectory);
    }
    if (remaining_ == 0) return;
    ManifestEntry original;
    original.domain = domain;
    original.relativePath = "Media/DCIM/" + folder + "/" + name;
    original.size = 1000000 + random_.Below(4000000);
    // The legacy manifest keeps the photo library's extended attributes.
    original.properties = {{"com.apple.assetsd.UUID", random_.Guid()},
                           {"com.apple.assetsd.assetType", std::string(1, '\0')}};
    Add(std::move(original));
    std::string thumbnail = "Media/PhotoData/Thumbnails/V2/DCIM/" + folder + "/" + name;
    if (Emit(domain, thumbnail, kFlagDirectory)) EmitFile(domain, thumbnail + "/5005.JPG");
  }

  // One message attachment below Library/SMS/Attachments/xx/yy/<guid>/.
  void Attachment() {
    const std::string domain = "MediaDomain";
    if (!attachmentsStarted_) {
      attachmentsStarted_ = true;
      for (const char* path : {"Library", "Library/SMS", "Library/SMS/Attachments"})
        Emit(domain, path, kFlagDirectory);
    }
    static const char kDigits[] = "0123456789abcdef";
    size_t high = random_.Below(256), low = random_.Below(16);
    std::string top =
        "Library/SMS/Attachments/" + std::string{kDigits[high >> 4], kDigits[high & 15]};
    if (!attachmentTops_.test(high)) {
      attachmentTops_.set(high);
      Emit(domain, top, kFlagDirectory);
    }
    std::string middle = top + "/" + Padded(low, 2);
    if (!attachmentMiddles_.test(high * 16 + low)) {
      attachmentMiddles_.set(high * 16 + low);
      Emit(domain, middle, kFlagDirectory);
    }
    std::string folder = middle + "/" + random_.Guid();
    if (!Emit(domain, folder, kFlagDirectory)) return;
    // A picture, sometimes with its live-photo movie and a preview.
    static const char* const kSuffixes[] = {".jpeg", ".MOV", "-preview.jpeg"};
    std::string stem = folder + "/IMG_" + Padded(random_.Below(10000), 4);
    size_t files = random_.Between(1, 3);
    for (size_t i = 0; i < files; ++i)
      if (!EmitFile(domain, stem + kSuffixes[i])) return;
  }

  BackupBuilder& builder_;
  const size_t total_;
  size_t remaining_;
  size_t nextWellKnown_ = 0;
  Random random_;
  std::vector<App> apps_;
  size_t leafCounter_ = 0;
  size_t photos_ = 0;
  uint32_t sharedStarted_ = 0;
  bool attachmentsStarted_ = false;
  std::bitset<256> attachmentTops_;
  std::bitset<256 * 16> attachmentMiddles_;
};

}  // namespace

void AddSyntheticFiles(BackupBuilder& builder, size_t rows, uint64_t seed) {
  Generator(builder, rows, seed).Run();
}

}  // namespace builder
