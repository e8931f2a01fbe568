// Cutting the text and the attachment identifiers out of one inflated note
// body of NoteStore.sqlite, by fixed byte rules rather than by decoding the
// record: bodies that no longer decode still give what these rules find.
#ifndef KELDRA_KIND_NOTE_NOTEBODY_H_
#define KELDRA_KIND_NOTE_NOTEBODY_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "vorn/Json.h"

namespace keldra {

// The bytes that usually follow a note's text (the first edit record).
inline constexpr uint8_t kNoteTextEnd[] = {0x1A, 0x10, 0x0A, 0x04};

// Adds "content" (each U+FFFC shown as "[Attachment]") and, when the text
// held such a mark, "attachments" ({"key","note_id","info":[]} objects) to
// `note`. False, with nothing added, when no text can be cut out.
bool ExtractNoteBody(const uint8_t* body, size_t length, rapidjson::Value& note,
                     rapidjson::Document::AllocatorType& allocator, const std::string& noteId);

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_NOTEBODY_H_
