// Chat stores with content: a small hand-written one and a generated one of
// any size. Phone numbers are in the 555-01xx range reserved for fiction.
#include <array>
#include <optional>
#include <string>
#include <utility>

#include "builder/Random.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/Identifiers.h"

namespace builder::whatsapp {
namespace {

constexpr double kSampleStart = 735000000.0;  // 2024-04 in seconds since 2001

std::string PersonJid(int number) {
  return "1555010" + std::to_string(1000 + number) + "@s.whatsapp.net";
}

const std::array<const char*, 32> kWords = {
    "see",   "you",    "at",      "the",   "station",  "tomorrow", "morning", "thanks",
    "for",   "dinner", "running", "late",  "photos",   "from",     "trip",    "call",
    "me",    "when",   "free",    "great", "idea",     "bring",    "snacks",  "meeting",
    "moved", "to",     "friday",  "happy", "birthday", "ok",       "sounds",  "good"};

std::string Sentence(Random& random) {
  std::string text;
  size_t words = 3 + random.Below(18);
  for (size_t i = 0; i < words; ++i) {
    if (i) text += ' ';
    text += kWords[random.Below(kWords.size())];
  }
  return text;
}

Message Said(std::optional<std::string> text, std::optional<double> date, bool fromMe = false) {
  Message message;
  message.text = std::move(text);
  message.date = date;
  message.fromMe = fromMe;
  return message;
}

Message FromMember(std::string text, int64_t member) {
  Message message;
  message.text = std::move(text);
  message.groupMember = member;
  return message;
}

GroupMember Member(int64_t id, std::string jid, std::optional<std::string> name = {}) {
  GroupMember member;
  member.id = id;
  member.jid = std::move(jid);
  member.name = std::move(name);
  return member;
}

PushName NameOf(std::string jid, std::string pushName) {
  PushName name;
  name.jid = std::move(jid);
  name.pushName = std::move(pushName);
  return name;
}

}  // namespace

ChatStore SampleChats() {
  ChatStore store;
  store.pushNames = {NameOf(PersonJid(1), "Alice"), NameOf(PersonJid(3), "Carol"),
                     NameOf("", "nobody")};

  MediaItem photo;
  photo.id = 1;
  photo.localPath = "Media/" + PersonJid(1) + "/a/3/" + UuidText("photo 1") + ".jpg";
  photo.urlDate = kSampleStart + 60.75;
  photo.title = "Harbour";
  MediaItem report;
  report.id = 2;
  report.localPath = "/Media/120363000000000001@g.us/0/c/" + UuidText("doc 2") + ".pdf";
  report.authorName = "report.pdf";
  report.content = "%PDF-1.4 sample";
  MediaItem unsaved;
  unsaved.id = 3;
  unsaved.localPath = "Media/" + PersonJid(3) + "/1/1/" + UuidText("voice 3") + ".opus";
  unsaved.stored = false;
  MediaItem pathless;
  pathless.id = 4;
  store.media = {photo, report, unsaved, pathless};

  Session alice;
  alice.id = 1;
  alice.contactJid = PersonJid(1);
  alice.partnerName = "Alice";
  alice.lastMessageDate = kSampleStart + 300.9;
  Message photoMessage = Said({}, kSampleStart + 60);
  photoMessage.mediaItem = 1;
  alice.messages = {Said(std::string("Are you coming?"), kSampleStart + 10),
                    Said(std::string("Yes, on my way"), kSampleStart + 20, true), photoMessage,
                    Said({}, kSampleStart + 70),  // neither text nor media: not listed
                    Said(std::string("See you"), {}, true)};

  Session group;
  group.id = 2;
  group.contactJid = "120363000000000001@g.us";
  group.partnerName = "Weekend plans";
  group.lastMessageDate = kSampleStart + 900;
  group.group = true;
  group.members = {Member(11, PersonJid(1), std::string("Alice")),
                   Member(12, PersonJid(2), std::string("Bob")), Member(13, PersonJid(3)),
                   Member(14, "")};
  group.members[0].admin = true;
  Message fromBob = FromMember("Who brings the tent?", 12);
  Message fromBobAgain = FromMember("I can", 12);
  Message fromCarol = FromMember("Report attached", 13);
  fromCarol.mediaItem = 2;
  Message fromAlice = FromMember("Great", 11);
  Message mine = Said(std::string("Saturday then"), kSampleStart + 800, true);
  mine.groupMember = 12;  // outgoing messages carry no sender label whatever this says
  group.messages = {fromBob, fromBobAgain, fromCarol, fromAlice, mine};
  for (size_t i = 0; i < group.messages.size(); ++i)
    if (!group.messages[i].date) group.messages[i].date = kSampleStart + 100 * (i + 1);

  Session status;
  status.id = 3;
  status.contactJid = "1555010@status";
  status.partnerName = "Status";
  status.lastMessageDate = kSampleStart + 1000;
  Session nameless;
  nameless.id = 4;
  nameless.contactJid = PersonJid(4);
  nameless.lastMessageDate = kSampleStart + 1100;
  Session silent;
  silent.id = 5;
  silent.contactJid = PersonJid(5);
  silent.partnerName = "Dave";
  Session quiet;
  quiet.id = 6;
  quiet.contactJid = PersonJid(6);
  quiet.partnerName = "Erin";
  quiet.lastMessageDate = kSampleStart + 5;
  store.sessions = {alice, group, status, nameless, silent, quiet};
  return store;
}

void AddSampleChats(BackupBuilder& backup) {
  AddChatStorage(backup, SampleChats());
}

void AddGeneratedChats(BackupBuilder& backup, size_t sessions, size_t messages, uint64_t seed) {
  Random random(seed);
  ChatStore store;
  // Message counts: uneven, as chats are, summing to `messages`.
  std::vector<size_t> weights(sessions);
  size_t total = 0;
  for (size_t& weight : weights) total += weight = 1 + random.Below(1000);
  std::vector<size_t> counts(sessions);
  size_t given = 0;
  for (size_t i = 0; i < sessions; ++i) given += counts[i] = messages * weights[i] / total;
  for (size_t i = 0; given < messages; i = (i + 1) % sessions, ++given) ++counts[i];

  int64_t nextMember = 1;
  int64_t nextMedia = 1;
  for (size_t i = 0; i < sessions; ++i) {
    Session session;
    session.id = static_cast<int64_t>(i + 1);
    session.group = i % 3 == 0;
    double clock = 600000000.0 + 86400.0 * static_cast<double>(i);
    if (session.group) {
      session.contactJid = "1203630000" + std::to_string(100000 + i) + "@g.us";
      session.partnerName = "Group " + std::to_string(i);
      size_t members = 3 + random.Below(10);
      for (size_t m = 0; m < members; ++m) {
        int number = static_cast<int>(random.Below(8000));
        session.members.push_back(Member(nextMember++, PersonJid(number)));
        if (random.Below(3) != 0)
          store.pushNames.push_back(NameOf(PersonJid(number), "Person " + std::to_string(number)));
      }
    } else {
      session.contactJid = PersonJid(static_cast<int>(i));
      session.partnerName = "Contact " + std::to_string(i);
    }
    for (size_t m = 0; m < counts[i]; ++m) {
      Message message;
      clock += 1.0 + static_cast<double>(random.Below(3600)) + 0.5;
      message.date = clock;
      message.fromMe = random.Below(5) < 2;
      size_t kind = random.Below(100);
      if (kind < 9) {
        MediaItem item;
        item.id = nextMedia++;
        item.localPath = "Media/" + *session.contactJid + "/" + std::to_string(random.Below(16)) +
                         "/" + std::to_string(random.Below(16)) + "/" +
                         UuidText("media " + std::to_string(item.id)) + ".jpg";
        item.urlDate = clock;
        item.content = "jpeg " + std::to_string(item.id);
        message.mediaItem = item.id;
        store.media.push_back(item);
        if (kind < 3) message.text = Sentence(random);  // a caption
      } else if (kind != 99) {
        message.text = Sentence(random);
      }  // else a system row with neither
      if (session.group && !message.fromMe)
        message.groupMember = session.members[random.Below(session.members.size())].id;
      session.messages.push_back(std::move(message));
    }
    session.lastMessageDate = clock;
    store.sessions.push_back(std::move(session));
  }
  AddChatStorage(backup, store);
}

}  // namespace builder::whatsapp
