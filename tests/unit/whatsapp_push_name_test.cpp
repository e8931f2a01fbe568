// What a message row's ZPUSHNAME holds: a name, or a base64 record naming
// the sender by JID. Names that happen to be valid base64 must stay names.
#include <gtest/gtest.h>

#include <string>

#include "kind/whatsapp/PushName.h"

namespace {

TEST(WhatsAppPushName, RecordsGiveTheirJidAndNamesStayNames) {
  struct Case {
    const char* column;
    const char* name;
    const char* jid;
  };
  const Case kCases[] = {
      {"Anna", "Anna", ""},  // valid base64, but not a record
      {"Mark", "Mark", ""},
      {"Zoë", "Zoë", ""},
      {"", "", ""},
      {"CL/lxKIGGhMxNTU1MDEwMDAwMEBzLngubmV0IAE=", "", "15550100000@s.x.net"},
      {"CAUgAA==", "", ""},                                  // a record without a JID
      {"CAUgAA=", "CAUgAA=", ""},                            // not padded to a group of four
      {"CA=UgAA=", "CA=UgAA=", ""},                          // padding inside
      {"CL/lxKIGGhMxNTU1MDEw", "CL/lxKIGGhMxNTU1MDEw", ""},  // a record cut short
  };
  for (const Case& c : kCases) {
    keldra::whatsapp::MessagePushName read = keldra::whatsapp::ReadMessagePushName(c.column);
    EXPECT_EQ(read.name, c.name) << c.column;
    EXPECT_EQ(read.jid, c.jid) << c.column;
  }
}

}  // namespace
