// The two note databases as devices leave them in a backup:
// NoteStore.sqlite (AppDomainGroup-group.com.apple.notes; Core Data tables
// ZICCLOUDSYNCINGOBJECT and ZICNOTEDATA with gzip-compressed note bodies, and
// the attachment files of the account's Media and Previews folders) and the
// older Library/Notes/notes.sqlite (HomeDomain; ZNOTE and ZNOTEBODY).
#ifndef KELDRA_BUILDER_KINDS_NOTESTORES_H_
#define KELDRA_BUILDER_KINDS_NOTESTORES_H_

#include <optional>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/NoteProtobuf.h"

namespace builder::notes {

inline constexpr char kNotesDomain[] = "AppDomainGroup-group.com.apple.notes";
inline constexpr char kNoteStorePath[] = "NoteStore.sqlite";
inline constexpr char kLegacyNotesPath[] = "Library/Notes/notes.sqlite";

// An attachment row, its media row and its files.
struct StoreAttachment {
  AttachmentRef ref;            // identifier (as the body names it) and type
  std::string mediaIdentifier;  // folder of the media file; empty: none stored
  std::string fileName = "IMG_0001.jpeg";
  std::string content = "\xFF\xD8\xFF\xE0 attachment bytes";
  int previews = 2;  // preview images, named after the attachment identifier
};

struct StoreNote {
  std::optional<std::string> title;  // ZTITLE1; nullopt: NULL
  std::string text;                  // the body text; one U+FFFC per attachment
  std::vector<StoreAttachment> attachments;
  double modified = 730000000.5;       // ZMODIFICATIONDATE1 (seconds since 2001)
  double created = 729000000.25;       // ZCREATIONDATE3, where devices keep it
  std::optional<double> plainCreated;  // ZCREATIONDATE; devices leave it NULL on notes
  std::optional<std::string> body;     // ZDATA exactly; otherwise the gzipped record
  bool nullBody = false;               // ZDATA NULL
  bool locked = false;                 // password protected: ZDATA is ciphertext
};

struct NoteStoreContent {
  std::string accountIdentifier = "5A0B6C1D-2E3F-4A5B-8C7D-9E0F1A2B3C4D";
  std::vector<StoreNote> notes;
};

// The ZDATA a device would store for the note: the gzipped record.
std::string StoredBody(const StoreNote& note);

// Writes the database file at `path` (replacing one there).
void WriteNoteStore(const NoteStoreContent& content, const std::string& path);
// The database, the attachment media files and previews, in their domain.
void AddNoteStore(BackupBuilder& backup, const NoteStoreContent& content);

struct LegacyNote {
  std::optional<std::string> title;    // ZTITLE
  std::optional<std::string> content;  // ZNOTEBODY.ZCONTENT (HTML)
  std::optional<double> created = 420000000.0;
  std::optional<double> modified = 420000500.0;
  bool withBody = true;  // false: ZBODY points at no row
};

void WriteLegacyNotes(const std::vector<LegacyNote>& notes, const std::string& path);
void AddLegacyNotes(BackupBuilder& backup, const std::vector<LegacyNote>& notes);

// A few notes of each generation with attachments: mkbackup's "notes".
void AddSampleNotes(BackupBuilder& backup);

}  // namespace builder::notes

#endif  // KELDRA_BUILDER_KINDS_NOTESTORES_H_
