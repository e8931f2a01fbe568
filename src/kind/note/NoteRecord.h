// Complete reading of an inflated note body: decoded as the record it is
// (varint lengths, nested messages), so that long bodies, bodies with a
// leading length byte and tables give their whole text and nothing else.
#ifndef KELDRA_KIND_NOTE_NOTERECORD_H_
#define KELDRA_KIND_NOTE_NOTERECORD_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorn/Json.h"

namespace keldra {

struct NoteAttachmentRef {
  std::string identifier;
  std::string uti;
};

struct DecodedNoteBody {
  std::string text;  // U+FFFC where an object is embedded; a table as rows of text
  std::vector<NoteAttachmentRef> attachments;  // in the order of the text
};

// None when `body` is not a note record or a table record.
std::optional<DecodedNoteBody> DecodeNoteRecord(std::string_view body);

// The text of a record as "content" shows it: each U+FFFC as "[Attachment]".
std::optional<std::string> DecodeShownText(std::string_view body);

// Adds "content" (each U+FFFC shown as "[Attachment]") and, when the note
// embeds objects, "attachments" ({"key","note_id","info":[],"uti"}), as the
// byte rules do; false, with nothing added, when the body does not decode.
bool AddDecodedNoteBody(std::string_view body, rapidjson::Value& note,
                        rapidjson::Document::AllocatorType& allocator, const std::string& noteId);

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_NOTERECORD_H_
