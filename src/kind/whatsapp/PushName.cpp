#include "kind/whatsapp/PushName.h"

#include <cstdint>

#include "kind/note/ProtoWire.h"

namespace keldra::whatsapp {
namespace {

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The first text field of a record that reads as a JID; none when the bytes
// are not a well-formed record.
std::optional<std::string> JidOfRecord(std::string_view record) {
  proto::Reader reader(record);
  proto::Field field;
  std::optional<std::string> jid;
  while (reader.Next(field))
    if (!jid && field.wire == proto::Wire::kBytes &&
        field.bytes.find('@') != std::string_view::npos)
      jid = std::string(field.bytes);
  if (reader.Failed()) return std::nullopt;
  return jid.value_or("");
}

}  // namespace

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int values[4];
    int padding = 0;
    for (int j = 0; j < 4; ++j) {
      char c = text[i + j];
      if (c == '=' && last && j >= 2) {
        ++padding;
        values[j] = 0;
        continue;
      }
      if (padding) return std::nullopt;  // nothing may follow padding
      values[j] = Sextet(c);
      if (values[j] < 0) return std::nullopt;
    }
    uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    bytes += static_cast<char>(group >> 16);
    if (padding < 2) bytes += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) bytes += static_cast<char>(group & 0xFF);
  }
  return bytes;
}

MessagePushName ReadMessagePushName(std::string_view column) {
  // A name that happens to be valid base64 ("Anna" is) does not decode to a
  // well-formed record, so it stays a name.
  if (std::optional<std::string> bytes = DecodeBase64(column)) {
    if (std::optional<std::string> jid = JidOfRecord(*bytes)) return {"", *jid};
  }
  return {std::string(column), ""};
}

}  // namespace keldra::whatsapp
