#include "kind/note/NoteRecord.h"

#include "kind/note/NoteTable.h"
#include "kind/note/ProtoWire.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

using proto::Field;
using proto::Reader;
using proto::Wire;

// The record: field 2 the document; the document: field 3 the note (or, for
// a table, the object graph); the note: field 2 its text, field 5 its
// attribute runs, whose field 12 names an embedded object (1 identifier,
// 2 type).
constexpr uint32_t kRecordDocument = 2;
constexpr uint32_t kDocumentNote = 3;
constexpr uint32_t kNoteText = 2;
constexpr uint32_t kNoteRun = 5;
constexpr uint32_t kRunAttachment = 12;
constexpr uint32_t kAttachmentIdentifier = 1;
constexpr uint32_t kAttachmentUti = 2;

constexpr char kObjectMark[] = "\xEF\xBF\xBC";  // U+FFFC
constexpr char kObjectText[] = "[Attachment]";

// The one length-delimited field `number` of a message that must parse to
// its end.
std::optional<std::string_view> WholeMessageField(std::string_view message, uint32_t number) {
  Reader reader(message);
  Field field;
  std::optional<std::string_view> found;
  while (reader.Next(field))
    if (!found && field.number == number && field.wire == Wire::kBytes) found = field.bytes;
  if (reader.Failed()) return std::nullopt;
  return found;
}

std::optional<NoteAttachmentRef> AttachmentOf(std::string_view run) {
  std::optional<std::string_view> info = WholeMessageField(run, kRunAttachment);
  if (!info) return std::nullopt;
  NoteAttachmentRef attachment;
  Reader reader(*info);
  Field field;
  while (reader.Next(field)) {
    if (field.wire != Wire::kBytes) continue;
    if (field.number == kAttachmentIdentifier) attachment.identifier = std::string(field.bytes);
    if (field.number == kAttachmentUti) attachment.uti = std::string(field.bytes);
  }
  if (reader.Failed() || attachment.identifier.empty()) return std::nullopt;
  return attachment;
}

std::optional<DecodedNoteBody> DecodeNote(std::string_view note) {
  DecodedNoteBody decoded;
  Reader reader(note);
  Field field;
  bool hasText = false;
  while (reader.Next(field)) {
    if (field.wire != Wire::kBytes) continue;
    if (field.number == kNoteText && !hasText) {
      decoded.text = std::string(field.bytes);
      hasText = true;
    } else if (field.number == kNoteRun) {
      if (std::optional<NoteAttachmentRef> attachment = AttachmentOf(field.bytes))
        decoded.attachments.push_back(std::move(*attachment));
    }
  }
  if (reader.Failed()) return std::nullopt;
  return decoded;
}

}  // namespace

std::optional<DecodedNoteBody> DecodeNoteRecord(std::string_view body) {
  std::optional<std::string_view> document = WholeMessageField(body, kRecordDocument);
  std::optional<std::string_view> content =
      document ? WholeMessageField(*document, kDocumentNote) : std::nullopt;
  if (!content) return std::nullopt;
  if (std::optional<std::string> table = DecodeTableText(*content))
    return DecodedNoteBody{std::move(*table), {}};
  return DecodeNote(*content);
}

std::optional<std::string> DecodeShownText(std::string_view body) {
  std::optional<DecodedNoteBody> decoded = DecodeNoteRecord(body);
  if (!decoded) return std::nullopt;
  Utils::ReplaceStr(decoded->text, kObjectMark, kObjectText);
  return std::move(decoded->text);
}

bool AddDecodedNoteBody(std::string_view body, rapidjson::Value& note,
                        rapidjson::Document::AllocatorType& allocator, const std::string& noteId) {
  std::optional<DecodedNoteBody> decoded = DecodeNoteRecord(body);
  if (!decoded) return false;
  bool marked = Utils::ReplaceStr(decoded->text, kObjectMark, kObjectText) != 0;
  PimJsonUtil::AddJsonDictStringValue(note, allocator, "content", decoded->text);
  if (!marked && decoded->attachments.empty()) return true;
  rapidjson::Value attachments(rapidjson::kArrayType);
  for (const NoteAttachmentRef& reference : decoded->attachments) {
    rapidjson::Value attachment(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "key", reference.identifier);
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "note_id", noteId);
    rapidjson::Value info(rapidjson::kArrayType);
    PimJsonUtil::AddJsonDictObjectValue(attachment, allocator, "info", info);
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "uti", reference.uti);
    PimJsonUtil::PushJsonArrayObjectValue(attachments, allocator, attachment);
  }
  PimJsonUtil::AddJsonDictObjectValue(note, allocator, "attachments", attachments);
  return true;
}

}  // namespace keldra
