#include "builder/ContentSets.h"

#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"
#include "builder/kinds/PhotoLibrary.h"
#include "builder/kinds/SampleContent.h"
#include "builder/kinds/SmsDatabase.h"
#include "builder/kinds/VoiceMemos.h"

namespace builder {
namespace {

// The folders every device backup has, and a small preferences file.
void AddSkeleton(BackupBuilder& backup) {
  for (const char* domain : {"HomeDomain", "MediaDomain", "CameraRollDomain", "RootDomain"})
    backup.AddDirectory(domain, "");
  for (const char* folder : {"Library", "Library/Preferences", "Library/SMS", "Library/Safari",
                             "Library/Notes", "Library/Calendar", "Library/AddressBook"})
    backup.AddDirectory("HomeDomain", folder);
  for (const char* folder : {"Media", "Media/Recordings"})
    backup.AddDirectory("MediaDomain", folder);
  for (const char* folder : {"Media", "Media/DCIM", "Media/PhotoData"})
    backup.AddDirectory("CameraRollDomain", folder);
  backup.AddFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<plist version=\"1.0\"><dict><key>SBAutoLockTime</key><integer>60</integer>"
                 "</dict></plist>\n");
}

}  // namespace

const std::vector<ContentSet>& ContentSets() {
  // Each data kind's sample databases are one line here.
  static const std::vector<ContentSet> sets = {
      {"skeleton", "the standard folders of a device and one preferences file", AddSkeleton},
      {"contacts", "an address book of three cards", AddSampleContacts},
      {"calendar", "two calendars with alarms and recurring events", AddSampleCalendar},
      {"calls", "calls in call_history.db and CallHistory.storedata", AddSampleCalls},
      {"bookmarks", "Safari bookmarks: a folder, bookmarks, a reading list", AddSampleBookmarks},
      {"history", "Safari history: three pages visited on two days", AddSampleHistory},
      {"photos-generic", "iOS 12 Photos.sqlite and media", AddSamplePhotosGenericAsset},
      {"photos-asset", "iOS 16 Photos.sqlite and media", AddSamplePhotosAsset},
      {"memos-legacy", "Media/Recordings voice memos", AddSampleVoiceMemosLegacy},
      {"memos-cloud", "Library/Recordings voice memos", AddSampleVoiceMemosCloud},
      {"notes", "notes.sqlite and NoteStore.sqlite with attachments", notes::AddSampleNotes},
      {"whatsapp", "ChatStorage.sqlite: chats, groups, media", whatsapp::AddSampleChats},
      {"sms", "sms.db with a few conversations and their attachment files", AddSmsContent},
  };
  return sets;
}

const ContentSet* FindContentSet(const std::string& name) {
  for (const ContentSet& set : ContentSets())
    if (name == set.name) return &set;
  return nullptr;
}

bool AddContentSet(BackupBuilder& backup, const std::string& name) {
  if (name == kAllContentSets) {
    for (const ContentSet& set : ContentSets()) set.add(backup);
    return true;
  }
  const ContentSet* set = FindContentSet(name);
  if (set == nullptr) return false;
  set->add(backup);
  return true;
}

}  // namespace builder
