#include "builder/kinds/NoteProtobuf.h"

#include <zlib.h>

#include <cstring>

#include "builder/BackupBuilder.h"

namespace builder::notes {
namespace {

constexpr int kWireVarint = 0;
constexpr int kWireBytes = 2;
constexpr int kWireFixed32 = 5;
constexpr uint64_t kLastClock = 0xFFFFFFFF;  // the clock of the closing edit record
constexpr int kTitleStyle = 0;

ProtoWriter CharId(uint64_t replica, uint64_t clock) {
  ProtoWriter id;
  id.Varint(1, replica).Varint(2, clock);
  return id;
}

// One edit record of the text: the span `length` characters long that
// replica `replica` inserted, linked to its successor.
ProtoWriter EditRecord(uint64_t replica, uint64_t clock, uint64_t length, uint64_t child,
                       bool withChild) {
  ProtoWriter record;
  record.Message(1, CharId(replica, clock)).Varint(2, length).Message(3, CharId(replica, clock));
  if (withChild) record.Varint(5, child);
  return record;
}

struct Run {
  uint64_t length;  // UTF-16 units
  bool title;
  const AttachmentRef* attachment;  // null for text
};

// The runs tiling the text: the title line in title style, every U+FFFC
// that has an attachment in a run of its own.
std::vector<Run> SplitRuns(const NoteContent& content) {
  const std::string& text = content.text;
  const size_t markLength = std::strlen(kObjectReplacement);
  size_t titleEnd = text.find('\n');
  titleEnd = titleEnd == std::string::npos ? text.size() : titleEnd + 1;
  std::vector<Run> runs;
  size_t nextAttachment = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    bool title = pos < titleEnd;
    if (text.compare(pos, markLength, kObjectReplacement) == 0 &&
        nextAttachment < content.attachments.size()) {
      runs.push_back({1, title, &content.attachments[nextAttachment++]});
      pos += markLength;
      continue;
    }
    size_t end = text.find(kObjectReplacement, pos + 1);
    if (end == std::string::npos) end = text.size();
    if (title && end > titleEnd) end = titleEnd;
    runs.push_back({Utf16Length(std::string_view(text).substr(pos, end - pos)), title, nullptr});
    pos = end;
  }
  return runs;
}

ProtoWriter EncodeRun(const Run& run) {
  ProtoWriter encoded;
  encoded.Varint(1, run.length);
  if (run.title) {
    ProtoWriter style;
    style.Varint(1, kTitleStyle);
    encoded.Message(2, style);
  }
  if (run.attachment) {
    ProtoWriter info;
    info.Bytes(1, run.attachment->identifier).Bytes(2, run.attachment->typeUti);
    encoded.Message(12, info);
  }
  return encoded;
}

}  // namespace

void ProtoWriter::RawVarint(uint64_t value) {
  while (value >= 0x80) {
    data_.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  data_.push_back(static_cast<char>(value));
}

void ProtoWriter::Key(int field, int wireType) {
  RawVarint(static_cast<uint64_t>(field) << 3 | static_cast<uint64_t>(wireType));
}

ProtoWriter& ProtoWriter::Varint(int field, uint64_t value) {
  Key(field, kWireVarint);
  RawVarint(value);
  return *this;
}

ProtoWriter& ProtoWriter::Bytes(int field, std::string_view bytes) {
  Key(field, kWireBytes);
  RawVarint(bytes.size());
  data_.append(bytes);
  return *this;
}

ProtoWriter& ProtoWriter::Float(int field, float value) {
  Key(field, kWireFixed32);
  char bytes[4];
  std::memcpy(bytes, &value, 4);  // little-endian hosts only, as the wire wants
  data_.append(bytes, 4);
  return *this;
}

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) == 0x80) continue;  // continuation byte
    units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string EncodeNoteBody(const NoteContent& content) {
  const uint64_t length = Utf16Length(content.text);
  ProtoWriter note;
  note.Bytes(2, content.text);
  note.Message(3, EditRecord(0, 0, 0, 1, true));
  note.Message(3, EditRecord(1, 0, length, 2, true));
  note.Message(3, EditRecord(0, kLastClock, 0, 0, false));
  ProtoWriter clock;
  clock.Varint(1, length).Varint(2, 1);
  ProtoWriter replica;
  replica.Bytes(1, content.replica).Message(2, clock);
  ProtoWriter versions;
  versions.Message(1, replica);
  note.Message(4, versions);
  for (const Run& run : SplitRuns(content)) note.Message(5, EncodeRun(run));

  ProtoWriter document;
  document.Varint(1, 0).Varint(2, 0).Message(3, note);
  ProtoWriter store;
  store.Varint(1, 0).Message(2, document);
  return store.Data();
}

std::string Gzip(std::string_view bytes, int level) {
  return GzipFilled(bytes, 0, '\0', level);
}

std::string GzipFilled(std::string_view head, uint64_t fillCount, char fill, int level) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw BuildError("deflateInit2 failed");
  const std::string block(1 << 20, fill);
  std::string out;
  char chunk[1 << 16];
  // Feeds one piece (the last one with Z_FINISH) and keeps what comes out.
  auto feed = [&](std::string_view piece, int flush) {
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
    stream.avail_in = static_cast<uInt>(piece.size());
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk);
      stream.avail_out = sizeof chunk;
      status = deflate(&stream, flush);
      out.append(chunk, sizeof chunk - stream.avail_out);
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  };
  feed(head, Z_NO_FLUSH);
  for (uint64_t left = fillCount; left > 0;) {
    size_t take = left < block.size() ? static_cast<size_t>(left) : block.size();
    feed(std::string_view(block).substr(0, take), Z_NO_FLUSH);
    left -= take;
  }
  feed({}, Z_FINISH);
  deflateEnd(&stream);
  return out;
}

}  // namespace builder::notes
