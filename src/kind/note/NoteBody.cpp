#include "kind/note/NoteBody.h"

#include <cstring>

#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr size_t kShortHeader = 13;  // text offset when the length fields are short
constexpr size_t kLongHeader = 14;   // when one of them took another byte
constexpr uint8_t kTextTag = 0x12;
constexpr uint8_t kAttachmentTag = 0x62;             // 'b': the attachment record of a run
constexpr uint8_t kIdentifierHead[] = {0x0A, 0x24};  // its 36-byte identifier field
constexpr char kObjectMark[] = "\xEF\xBF\xBC";       // U+FFFC
constexpr char kObjectText[] = "[Attachment]";

// Where the text begins, judged from bytes 12 and 13; the caller has made
// sure both exist.
size_t TextStart(const uint8_t* body) {
  if (body[12] == kTextTag || static_cast<int8_t>(body[13]) < 0x20) return kLongHeader;
  return kShortHeader;
}

// Offset of the first `needle` at or after `from`, or `length` when none.
size_t Find(const uint8_t* body, size_t length, size_t from, const uint8_t* needle,
            size_t needleLength) {
  if (from >= length) return length;
  const void* hit = Utils::MemMem(body + from, length - from, needle, needleLength);
  return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - body) : length;
}

size_t FindByte(const uint8_t* body, size_t length, size_t from, uint8_t byte) {
  if (from >= length) return length;
  const void* hit = std::memchr(body + from, byte, length - from);
  return hit ? static_cast<size_t>(static_cast<const uint8_t*>(hit) - body) : length;
}

// Every attachment record from `from` on: an identifier field two bytes after
// an attachment tag, its key running up to the next text tag.
rapidjson::Value CollectAttachments(const uint8_t* body, size_t length, size_t from,
                                    rapidjson::Document::AllocatorType& allocator,
                                    const std::string& noteId) {
  rapidjson::Value attachments(rapidjson::kArrayType);
  size_t p = Find(body, length, from, kIdentifierHead, sizeof kIdentifierHead);
  while (p < length) {
    size_t next = p + 4;
    // p >= from > 13 here (the text ends after its start), so p - 2 is inside.
    if (body[p - 2] == kAttachmentTag) {
      size_t keyStart = p + sizeof kIdentifierHead;
      size_t q = FindByte(body, length, keyStart, kTextTag);
      if (q < length) {
        rapidjson::Value attachment(rapidjson::kObjectType);
        PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "key",
                                            reinterpret_cast<const char*>(body + keyStart),
                                            q - keyStart);
        PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "note_id", noteId);
        rapidjson::Value info(rapidjson::kArrayType);
        PimJsonUtil::AddJsonDictObjectValue(attachment, allocator, "info", info);
        PimJsonUtil::PushJsonArrayObjectValue(attachments, allocator, attachment);
        next = q;
      }
    }
    p = Find(body, length, next, kIdentifierHead, sizeof kIdentifierHead);
  }
  return attachments;
}

}  // namespace

bool ExtractNoteBody(const uint8_t* body, size_t length, rapidjson::Value& note,
                     rapidjson::Document::AllocatorType& allocator, const std::string& noteId) {
  // The start is 13 or 14, so a body of 14 bytes or fewer holds no text.
  if (!body || length <= kLongHeader - 1) return false;
  size_t start = TextStart(body);
  if (length <= start) return false;
  size_t end = Find(body, length, start, kNoteTextEnd, sizeof kNoteTextEnd);
  if (end == length || end == start) return false;

  std::string text(reinterpret_cast<const char*>(body + start), end - start);
  bool marked = Utils::ReplaceStr(text, kObjectMark, kObjectText) != 0;
  PimJsonUtil::AddJsonDictStringValue(note, allocator, "content", text);
  if (!marked) return true;
  rapidjson::Value attachments = CollectAttachments(body, length, end, allocator, noteId);
  PimJsonUtil::AddJsonDictObjectValue(note, allocator, "attachments", attachments);
  return true;
}

}  // namespace keldra
