// The kinds of data a scan reads, one line each. The module's kind table,
// the stage totals the kinds send, the command line's names, the shape of
// each kind's output file, the demo's table and the scan's closing report
// all come from here; a new kind is its folder and one line below.
#ifndef KELDRA_KINDS_H_
#define KELDRA_KINDS_H_

#include <cstddef>

namespace keldra {

// How the host assembles a kind's results into its output file.
enum class OutputShape {
  kContacts,       // stage 2 objects of contacts by record id
  kConversations,  // a conversation at stage 2, its messages at stage 3
  kArray,          // the elements of the stage 2 arrays
  kPhotos,         // camera roll and albums, by sub-type
  kBookmarks,      // top-level items of the stage 2 trees
  kChatsAndMedia,  // chats as kConversations, media from the extra series
};

// What the scan's closing report counts in a kind's results.
enum class Tally {
  kStageTwoItems,       // the elements of stage 2
  kChatsThenMessages,   // stage 2 objects are the groups, stage 3 the items
  kCalendarsAndEvents,  // stage 2 calendars, each with its "events"
  kPhotosAndAlbums,     // sub-type 0 photos, sub-type 1 albums
  kBookmarkTree,        // bookmarks and their folders, at any depth
  kChatsAndMedia,       // kChatsThenMessages, media files from the extra series
};

// A count as people say it: "1 call", "3 calls".
struct CountWord {
  const char* one;
  const char* many;
};

struct KindDescriptor {
  int number;        // the scan's "types" element and the results' "type"
  const char* name;  // what the command line calls it; also its output file's stem
  int stageTotal;
  int extraSeries;       // a second result type that belongs to this kind; -1 when none
  int extraStageTotal;   // that series' stage total
  const char* database;  // the main file read, by relative path
  const char* domain;    // its domain; "" when any domain's copy is read
  OutputShape output;
  Tally tally;
  CountWord items;
  CountWord groups;        // unused where the tally counts no groups
  const char* groupsJoin;  // between the items and the groups: " in " or ", "
  CountWord extra;         // the extra series' items
};

// clang-format off
inline constexpr KindDescriptor kKinds[] = {
    {0, "contacts", 3, -1, 0, "Library/AddressBook/AddressBook.sqlitedb", "",
     OutputShape::kContacts, Tally::kStageTwoItems, {"contact", "contacts"}, {}, "", {}},
    {1, "messages", 4, -1, 0, "Library/SMS/sms.db", "",
     OutputShape::kConversations, Tally::kChatsThenMessages,
     {"message", "messages"}, {"chat", "chats"}, " in ", {}},
    {2, "message-attachments", 3, -1, 0, "Library/SMS/sms.db", "",
     OutputShape::kArray, Tally::kStageTwoItems, {"attachment", "attachments"}, {}, "", {}},
    {3, "calendar", 3, -1, 0, "Library/Calendar/Calendar.sqlitedb", "",
     OutputShape::kArray, Tally::kCalendarsAndEvents,
     {"event", "events"}, {"calendar", "calendars"}, " in ", {}},
    // Calls repeat their whole list at stage 3; stage 2 is the one written.
    {4, "calls", 3, -1, 0, "Library/CallHistoryDB/CallHistory.storedata", "",
     OutputShape::kArray, Tally::kStageTwoItems, {"call", "calls"}, {}, "", {}},
    {5, "notes", 3, -1, 0, "NoteStore.sqlite", "AppDomainGroup-group.com.apple.notes",
     OutputShape::kArray, Tally::kStageTwoItems, {"note", "notes"}, {}, "", {}},
    {6, "photos", 3, -1, 0, "Media/PhotoData/Photos.sqlite", "",
     OutputShape::kPhotos, Tally::kPhotosAndAlbums,
     {"photo or video", "photos and videos"}, {"album", "albums"}, ", ", {}},
    // Below Media/ before iOS 15.
    {7, "voice-memos", 3, -1, 0, "Library/Recordings/Recordings.db", "",
     OutputShape::kArray, Tally::kStageTwoItems, {"recording", "recordings"}, {}, "", {}},
    {8, "bookmarks", 3, -1, 0, "Library/Safari/Bookmarks.db", "",
     OutputShape::kBookmarks, Tally::kBookmarkTree,
     {"bookmark", "bookmarks"}, {"folder", "folders"}, " in ", {}},
    {9, "history", 3, -1, 0, "Library/Safari/History.db", "",
     OutputShape::kArray, Tally::kStageTwoItems, {"visit", "visits"}, {}, "", {}},
    // The media items travel first, as type 11; the chats close with an
    // unstaged finished message.
    {10, "whatsapp", 4, 11, 3, "ChatStorage.sqlite",
     "AppDomainGroup-group.net.whatsapp.WhatsApp.shared",
     OutputShape::kChatsAndMedia, Tally::kChatsAndMedia,
     {"message", "messages"}, {"chat", "chats"}, " in ", {"media file", "media files"}},
};
// clang-format on

inline constexpr int kKindCount = static_cast<int>(std::size(kKinds));

constexpr bool NumbersFollowTheirLines() {
  for (int i = 0; i < kKindCount; ++i)
    if (kKinds[i].number != i) return false;
  return true;
}
static_assert(NumbersFollowTheirLines(), "a kind's line is at its number");

// Results name their kind by type alone: an extra series must not use a
// number that is also a kind's.
constexpr bool ExtraSeriesAreTheirOwn() {
  for (const KindDescriptor& kind : kKinds)
    if (kind.extraSeries >= 0 && kind.extraSeries < kKindCount) return false;
  return true;
}
static_assert(ExtraSeriesAreTheirOwn(), "an extra series' type is a kind's number: renumber it");

// The kind a result type belongs to (an extra series belongs to its kind);
// null for a type no kind sends.
constexpr const KindDescriptor* KindOfType(int type) {
  for (const KindDescriptor& kind : kKinds)
    if (kind.number == type || (kind.extraSeries >= 0 && kind.extraSeries == type)) return &kind;
  return nullptr;
}

// The stage total of a result type: its kind's, or its extra series'; 0 for
// a type no kind sends.
constexpr int StageTotalOf(int type) {
  const KindDescriptor* kind = KindOfType(type);
  if (!kind) return 0;
  return kind->number == type ? kind->stageTotal : kind->extraStageTotal;
}

}  // namespace keldra

#endif  // KELDRA_KINDS_H_
