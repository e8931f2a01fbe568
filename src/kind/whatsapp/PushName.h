// What a message row's ZPUSHNAME holds. Older stores keep the sender's push
// name there as text; newer ones keep a small record instead, written as
// base64 text, that names the sender by JID but carries no name.
#ifndef KELDRA_KIND_WHATSAPP_PUSHNAME_H_
#define KELDRA_KIND_WHATSAPP_PUSHNAME_H_

#include <optional>
#include <string>
#include <string_view>

namespace keldra::whatsapp {

struct MessagePushName {
  std::string name;  // "" when the column held a record
  std::string jid;   // the JID a record names; "" when none
};

MessagePushName ReadMessagePushName(std::string_view column);

// Strict base64 (padded, standard alphabet); none for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace keldra::whatsapp

#endif  // KELDRA_KIND_WHATSAPP_PUSHNAME_H_
