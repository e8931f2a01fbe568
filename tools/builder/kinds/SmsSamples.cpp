// The sample conversations of a small messages database. Every address and
// text is made up (555 numbers, example.com).
#include "builder/kinds/SmsDatabase.h"

namespace builder {
namespace {

constexpr int64_t kFirstDate = 740140200;        // 2024-06-15 10:30:00 UTC, seconds since 2001
constexpr char kPlaceholder[] = "\xEF\xBF\xBC";  // U+FFFC, an attachment's place in the text

SmsMessageSpec Received(const std::string& sender, const std::string& text, int64_t minute) {
  SmsMessageSpec message;
  message.sender = sender;
  message.text = text;
  message.date = kFirstDate + minute * 60;
  message.dateRead = message.date + 30;
  return message;
}

SmsMessageSpec Sent(const std::string& text, int64_t minute) {
  SmsMessageSpec message;
  message.fromMe = true;
  message.text = text;
  message.date = kFirstDate + minute * 60;
  return message;
}

SmsAttachmentSpec Photo(SmsGeneration generation, const std::string& folder,
                        const std::string& name, bool stored) {
  SmsAttachmentSpec attachment;
  std::string home = generation == SmsGeneration::kIos5 ? "/var/mobile/" : "~/";
  attachment.filename = home + "Library/SMS/Attachments/" + folder + "/" + name;
  attachment.mimeType = name.find(".HEIC") != std::string::npos ? "image/heic" : "image/jpeg";
  attachment.content = "\xFF\xD8\xFF\xE0 sample photo " + name;
  attachment.stored = stored;
  attachment.createdDate = kFirstDate + 3600;
  return attachment;
}

}  // namespace

std::vector<SmsChatSpec> SampleConversations(SmsGeneration generation) {
  bool tapbacks = generation == SmsGeneration::kIos11 || generation == SmsGeneration::kIos14;
  std::vector<SmsChatSpec> chats;

  SmsChatSpec direct;
  direct.identifier = "+15555550101";
  direct.participants = {direct.identifier};
  direct.messages.push_back(Received(direct.identifier, "Are we still on for lunch?", 0));
  SmsMessageSpec reply = Sent("Yes, 12:30 at the usual place", 2);
  reply.guid = "5A3B1C2D-0000-4000-8000-000000000102";
  direct.messages.push_back(reply);
  if (tapbacks) {
    SmsMessageSpec love = Received(
        direct.identifier, "Loved \xE2\x80\x9CYes, 12:30 at the usual place\xE2\x80\x9D", 3);
    love.associatedType = 2000;
    love.associatedGuid = "p:0/" + reply.guid;
    direct.messages.push_back(love);
  }
  chats.push_back(direct);

  SmsChatSpec group;
  group.identifier = "chat640123456789012345";
  group.displayName = "Weekend trip";
  group.group = true;
  group.participants = {"+15555550102", "friend@example.com"};
  SmsMessageSpec view =
      Received("+15555550102", std::string(kPlaceholder) + "Look at this view", 60);
  view.attachments.push_back(Photo(generation, "0a/10/7C1E9F2A", "IMG_0001.JPG", true));
  group.messages.push_back(view);
  group.messages.push_back(Sent("Wow! \xF0\x9F\x98\x8D", 61));
  SmsMessageSpec edited = Received("friend@example.com", "See you both on Saturday", 62);
  edited.bodyOnly = true;
  group.messages.push_back(edited);
  SmsMessageSpec offloaded = Received("friend@example.com", kPlaceholder, 63);
  offloaded.attachments.push_back(Photo(generation, "3f/15/9D0B6E11", "IMG_0002.HEIC", false));
  group.messages.push_back(offloaded);
  chats.push_back(group);

  SmsChatSpec carrier;
  carrier.identifier = "+15555550103";
  carrier.service = "SMS";
  carrier.participants = {carrier.identifier};
  carrier.messages.push_back(Received(carrier.identifier, "Your code is 123456", 120));
  carrier.messages.push_back(Sent("Thanks", 121));
  chats.push_back(carrier);

  SmsChatSpec quiet;
  quiet.identifier = "someone@example.com";
  quiet.participants = {quiet.identifier};
  chats.push_back(quiet);
  return chats;
}

void AddSmsContent(BackupBuilder& backup) {
  AddSmsDatabase(backup, SmsGeneration::kIos14, SampleConversations(SmsGeneration::kIos14));
}

}  // namespace builder
