// The note body a device stores in NoteStore.sqlite (ZICNOTEDATA.ZDATA): a
// protobuf record, gzip-compressed. The record holds the plain text (one
// U+FFFC per embedded object), the edit records of the text, the replica
// version vector and the attribute runs that style the text and tie each
// U+FFFC to its attachment's identifier and type.
//
// Wire layout, outermost first:
//   NoteStoreProto { 1: 0, 2: Document }
//   Document       { 1: 0, 2: version 0, 3: Note }
//   Note           { 2: text, 3: edit records..., 4: version vector, 5: runs... }
//   AttributeRun   { 1: length in UTF-16 units, 2: paragraph style, 5: weight,
//                    9: link, 12: AttachmentInfo { 1: identifier, 2: type } }
#ifndef KELDRA_BUILDER_KINDS_NOTEPROTOBUF_H_
#define KELDRA_BUILDER_KINDS_NOTEPROTOBUF_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace builder::notes {

// Appends protobuf fields to a byte string.
class ProtoWriter {
 public:
  ProtoWriter& Varint(int field, uint64_t value);
  ProtoWriter& Bytes(int field, std::string_view bytes);
  ProtoWriter& Message(int field, const ProtoWriter& inner) { return Bytes(field, inner.Data()); }
  ProtoWriter& Float(int field, float value);
  const std::string& Data() const { return data_; }

 private:
  void Key(int field, int wireType);
  void RawVarint(uint64_t value);

  std::string data_;
};

// An embedded object as the text refers to it.
struct AttachmentRef {
  std::string identifier;  // ZIDENTIFIER of the attachment row: a 36-character UUID
  std::string typeUti = "public.jpeg";
};

struct NoteContent {
  // The whole text, title line first; each U+FFFC stands for the next
  // attachment of `attachments`.
  std::string text;
  std::vector<AttachmentRef> attachments;
  std::string replica = "0123456789abcdef";  // 16 bytes naming the editing device
};

inline constexpr char kObjectReplacement[] = "\xEF\xBF\xBC";  // U+FFFC

// UTF-16 code units of a UTF-8 text (four-byte sequences count two).
size_t Utf16Length(std::string_view utf8);

// The NoteStoreProto record of a note, uncompressed.
std::string EncodeNoteBody(const NoteContent& content);

// A gzip member of `bytes` (what devices store), at the given zlib level.
std::string Gzip(std::string_view bytes, int level = 6);
// A gzip member of `head` followed by `fillCount` copies of `fill`, made
// without holding the inflated bytes: large bodies and hostile streams.
std::string GzipFilled(std::string_view head, uint64_t fillCount, char fill, int level = 9);

}  // namespace builder::notes

#endif  // KELDRA_BUILDER_KINDS_NOTEPROTOBUF_H_
