// Reading the wire format of the records note bodies are stored in, one
// field at a time. The bytes come from a backup and are not trusted: every
// varint is bounded to ten bytes, every length is checked against what is
// left, and anything malformed ends the reading with Failed() set.
#ifndef KELDRA_KIND_NOTE_PROTOWIRE_H_
#define KELDRA_KIND_NOTE_PROTOWIRE_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace keldra::proto {

enum class Wire : uint8_t { kVarint = 0, kFixed64 = 1, kBytes = 2, kFixed32 = 5 };

struct Field {
  uint32_t number = 0;
  Wire wire = Wire::kVarint;
  uint64_t value = 0;      // kVarint
  std::string_view bytes;  // kBytes, and the raw bytes of the fixed widths
};

class Reader {
 public:
  explicit Reader(std::string_view message) : rest_(message) {}

  // The next field; false at the end of the message or on malformed bytes.
  bool Next(Field& field);
  bool Failed() const { return failed_; }

 private:
  bool ReadVarint(uint64_t& value);
  bool Take(size_t count, std::string_view& bytes);
  bool Fail();

  std::string_view rest_;
  bool failed_ = false;
};

// The first length-delimited field `number` of `message`; none when it is
// absent or the message is malformed before it.
std::optional<std::string_view> FirstBytes(std::string_view message, uint32_t number);
// The first varint field `number`, on the same terms.
std::optional<uint64_t> FirstVarint(std::string_view message, uint32_t number);

}  // namespace keldra::proto

#endif  // KELDRA_KIND_NOTE_PROTOWIRE_H_
