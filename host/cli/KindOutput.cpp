#include "cli/KindOutput.h"

#include <cstring>
#include <unordered_map>
#include <utility>

#include "keldra/Kinds.h"

namespace cli {
namespace {

using Writer = KindOutput::Writer;

int IntMember(const rapidjson::Value& object, const char* name, int fallback = -1) {
  if (!object.IsObject()) return fallback;
  auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsInt() ? member->value.GetInt() : fallback;
}

bool EndsWith(const char* text, const char* suffix) {
  size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
  return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

// The members of an object, without its braces, so that members of our own
// can follow them.
void WriteMembers(Writer& out, const rapidjson::Value& object) {
  for (const auto& member : object.GetObject()) {
    out.Key(member.name.GetString(), member.name.GetStringLength());
    member.value.Accept(out);
  }
}

// The elements of an array, without its brackets; how many there were.
size_t WriteElements(Writer& out, const rapidjson::Value& array) {
  if (!array.IsArray()) return 0;
  for (const auto& element : array.GetArray()) element.Accept(out);
  return array.Size();
}

// Kinds whose data messages each carry an array of items.
class ArrayOutput : public KindOutput {
 public:
  ArrayOutput(int number, int dataStage) : KindOutput(number), dataStage_(dataStage) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    if (stage == dataStage_) count_ += WriteElements(Out(), result);
    if (stage == stageTotal) MarkComplete();
  }

 private:
  int dataStage_;
};

// Contacts arrive as objects keyed by the person's row id, 100 at a time.
class ContactOutput : public KindOutput {
 public:
  explicit ContactOutput(int number) : KindOutput(number) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    if (stage == 2 && result.IsObject()) {
      for (const auto& member : result.GetObject()) {
        Writer& out = Out();
        out.StartObject();
        out.Key("record_id");
        out.String(member.name.GetString(), member.name.GetStringLength());
        if (member.value.IsObject()) WriteMembers(out, member.value);
        out.EndObject();
        ++count_;
      }
    }
    if (stage == stageTotal) MarkComplete();
  }
};

// A top-level item per data message (bookmarks).
class ItemOutput : public KindOutput {
 public:
  explicit ItemOutput(int number) : KindOutput(number) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    if (stage == 2) {
      result.Accept(Out());
      ++count_;
    }
    if (stage == stageTotal) MarkComplete();
  }
};

// Conversations (stage 2), each followed by its messages (stage 3), as the
// messages and WhatsApp kinds send them: a conversation stays open in the
// file, its "messages" array last, until the next one begins.
class ConversationStream {
 public:
  // Writes one message; the WhatsApp output adds its media item.
  using MessageWriter = void (*)(Writer& out, const rapidjson::Value& message, const void* context);

  void Add(Writer& out, const rapidjson::Value& result, int stage, MessageWriter writeMessage,
           const void* context) {
    if (stage == 2 && result.IsObject()) {
      End(out);
      out.StartObject();
      WriteMembers(out, result);
      out.Key("messages");
      out.StartArray();
      open_ = true;
      ++conversations_;
    } else if (stage == 3 && open_ && result.IsArray()) {
      for (const auto& message : result.GetArray()) writeMessage(out, message, context);
      messages_ += result.Size();
    }
  }
  void End(Writer& out) {
    if (!open_) return;
    out.EndArray();
    out.EndObject();
    open_ = false;
  }
  size_t Conversations() const { return conversations_; }
  size_t Messages() const { return messages_; }

 private:
  bool open_ = false;
  size_t conversations_ = 0;
  size_t messages_ = 0;
};

void WritePlainMessage(Writer& out, const rapidjson::Value& message, const void*) {
  message.Accept(out);
}

class MessagesOutput : public KindOutput {
 public:
  explicit MessagesOutput(int number) : KindOutput(number) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    conversations_.Add(Out(), result, stage, WritePlainMessage, nullptr);
    count_ = conversations_.Conversations();
    if (stage == stageTotal) MarkComplete();
  }
  void WriteEnd(Writer& out) override {
    conversations_.End(out);
    out.EndArray();
  }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("messages", static_cast<uint64_t>(conversations_.Messages()), allocator);
  }

 private:
  ConversationStream conversations_;
};

// The camera roll is written as it comes. Each album's photos arrive after
// the whole album list, album by album in the list's order, so the list is
// held (it is small) and an album is written once the next one's photos
// begin; photos for an album already written, which that order never
// produces, are dropped.
class PhotoOutput : public KindOutput {
 public:
  explicit PhotoOutput(int number) : KindOutput(number) {}

 protected:
  void WriteStart(Writer& out) override {
    out.StartObject();
    out.Key("camera_roll");
    out.StartArray();
  }
  void AddData(const rapidjson::Value& result, int stage, int, int, int subType) override {
    if (subType == 0 && stage == 2 && !inAlbums_) count_ += WriteElements(Out(), result);
    if (subType == 1 && stage == 2 && result.IsArray()) {
      for (const auto& album : result.GetArray())
        albums_.PushBack(rapidjson::Value(album, albums_.GetAllocator()), albums_.GetAllocator());
    }
    if (subType == 2 && stage == 2 && result.IsObject()) AddAlbumPhotos(result);
    if (subType == 2 && stage == 3) MarkComplete();
  }
  void WriteEnd(Writer& out) override {
    StartAlbums(out);
    WriteAlbumsBefore(out, albums_.Size());
    out.EndArray();
    out.EndObject();
  }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("albums", rapidjson::Value(albums_.Size()), allocator);
  }

 private:
  void AddAlbumPhotos(const rapidjson::Value& slice) {
    auto id = slice.FindMember("albumId");
    auto type = slice.FindMember("albumType");
    auto photos = slice.FindMember("photos");
    if (id == slice.MemberEnd() || type == slice.MemberEnd() || photos == slice.MemberEnd()) return;
    for (rapidjson::SizeType i = 0; i < albums_.Size(); ++i) {
      const rapidjson::Value& album = albums_[i];
      if (!album.IsObject()) continue;
      auto pk = album.FindMember("Z_PK");
      auto albumType = album.FindMember("TYPE");
      if (pk == album.MemberEnd() || albumType == album.MemberEnd()) continue;
      if (pk->value == id->value && albumType->value == type->value) {
        Writer& out = Out();
        StartAlbums(out);
        if (i + 1 > written_) {
          WriteAlbumsBefore(out, i);
          out.StartObject();
          WriteMembers(out, album);
          out.Key("photos");
          out.StartArray();
          photosOpen_ = true;
          written_ = i + 1;
        }
        if (photosOpen_ && i + 1 == written_) WriteElements(out, photos->value);
        return;
      }
    }
  }

  // Ends the camera roll and opens the album list.
  void StartAlbums(Writer& out) {
    if (inAlbums_) return;
    inAlbums_ = true;
    out.EndArray();
    out.Key("albums");
    out.StartArray();
  }

  // Closes the album being filled and writes the albums before `end` that
  // received no photos.
  void WriteAlbumsBefore(Writer& out, size_t end) {
    if (photosOpen_) {
      out.EndArray();
      out.EndObject();
      photosOpen_ = false;
    }
    for (; written_ < end; ++written_) {
      const rapidjson::Value& album = albums_[static_cast<rapidjson::SizeType>(written_)];
      if (!album.IsObject()) {
        album.Accept(out);
        continue;
      }
      out.StartObject();
      WriteMembers(out, album);
      out.Key("photos");
      out.StartArray();
      out.EndArray();
      out.EndObject();
    }
  }

  rapidjson::Document albums_{rapidjson::kArrayType};
  bool inAlbums_ = false;
  bool photosOpen_ = false;
  size_t written_ = 0;  // albums begun in the file
};

// The media series arrives before the chats: its items are held, both for
// the copies that messages naming them carry and for the "media" list that
// ends the file; the chats are written as they come.
class WhatsAppOutput : public KindOutput {
 public:
  explicit WhatsAppOutput(int number) : KindOutput(number) {}

 protected:
  void WriteStart(Writer& out) override {
    out.StartObject();
    out.Key("chats");
    out.StartArray();
  }
  void AddData(const rapidjson::Value& result, int stage, int, int type, int) override {
    if (type != Number() && stage == 2 && result.IsObject()) {  // the media series
      for (const auto& item : result.GetObject()) {
        media_.PushBack(rapidjson::Value(item.value, media_.GetAllocator()), media_.GetAllocator());
        mediaIds_.emplace(std::string(item.name.GetString(), item.name.GetStringLength()),
                          media_.Size() - 1);
      }
    } else if (type == Number() && stage == 0) {
      MarkComplete();  // the closing message
    } else if (type == Number()) {
      chats_.Add(Out(), result, stage, WriteMessage, this);
      count_ = chats_.Conversations();
    }
  }
  void WriteEnd(Writer& out) override {
    chats_.End(out);
    out.EndArray();
    out.Key("media");
    media_.Accept(out);
    out.EndObject();
  }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("messages", static_cast<uint64_t>(chats_.Messages()), allocator);
    entry.AddMember("media", rapidjson::Value(media_.Size()), allocator);
  }

 private:
  // A message that names a media item carries a copy of it.
  static void WriteMessage(Writer& out, const rapidjson::Value& message, const void* context) {
    const auto& self = *static_cast<const WhatsAppOutput*>(context);
    const rapidjson::Value* media = nullptr;
    if (message.IsObject()) {
      auto item = message.FindMember("media_item");
      if (item != message.MemberEnd() && item->value.IsString()) {
        auto index = self.mediaIds_.find(
            std::string(item->value.GetString(), item->value.GetStringLength()));
        if (index != self.mediaIds_.end())
          media = &self.media_[static_cast<rapidjson::SizeType>(index->second)];
      }
    }
    if (!media) {
      message.Accept(out);
      return;
    }
    out.StartObject();
    WriteMembers(out, message);
    out.Key("media");
    media->Accept(out);
    out.EndObject();
  }

  rapidjson::Document media_{rapidjson::kArrayType};
  std::unordered_map<std::string, size_t> mediaIds_;  // the first item of each id
  ConversationStream chats_;
};

}  // namespace

KindOutput::KindOutput(int number) : number_(number) {}

bool KindOutput::Begin(const std::string& path) {
  if (!file_) {
    file_ = JsonFileWriter::Create(path);
    WriteStart(file_->Out());
  }
  return file_->Created();
}

KindOutput::Writer& KindOutput::Out() {
  if (!file_) Begin("");
  return file_->Out();
}

void KindOutput::Add(const rapidjson::Value& payload) {
  if (!payload.IsObject() || ended_) return;
  int stage = IntMember(payload, "stage");
  int stageTotal = IntMember(payload, "stage_total");
  int type = IntMember(payload, "type");
  int subType = IntMember(payload, "sub_type", 0);
  auto result = payload.FindMember("result");
  if (result == payload.MemberEnd()) return;
  // The first message of a series describes it: keep the database paths.
  if (stage == 1 && result->value.IsObject()) {
    for (const auto& member : result->value.GetObject()) {
      if (member.value.IsString() && EndsWith(member.name.GetString(), "_path") &&
          !paths_.HasMember(member.name))
        paths_.AddMember(rapidjson::Value(member.name, paths_.GetAllocator()),
                         rapidjson::Value(member.value, paths_.GetAllocator()),
                         paths_.GetAllocator());
    }
  }
  AddData(result->value, stage, stageTotal, type, subType);
}

void KindOutput::MarkComplete() {
  complete_ = true;
}

bool KindOutput::End() {
  if (ended_ || !file_) return false;
  ended_ = true;
  WriteEnd(file_->Out());
  return file_->Commit();
}

void KindOutput::Summarise(rapidjson::Value& entry, Allocator& allocator) const {
  entry.AddMember("count", static_cast<uint64_t>(Count()), allocator);
  AddCounts(entry, allocator);
  entry.AddMember("database_paths", rapidjson::Value(paths_, allocator), allocator);
}

void KindOutput::AddCounts(rapidjson::Value&, Allocator&) const {}

std::unique_ptr<KindOutput> MakeKindOutput(int number) {
  const keldra::KindDescriptor* kind = keldra::KindOfType(number);
  if (!kind) return nullptr;
  switch (kind->output) {
    case keldra::OutputShape::kContacts:
      return std::make_unique<ContactOutput>(kind->number);
    case keldra::OutputShape::kConversations:
      return std::make_unique<MessagesOutput>(kind->number);
    case keldra::OutputShape::kArray:
      return std::make_unique<ArrayOutput>(kind->number, 2);
    case keldra::OutputShape::kPhotos:
      return std::make_unique<PhotoOutput>(kind->number);
    case keldra::OutputShape::kBookmarks:
      return std::make_unique<ItemOutput>(kind->number);
    case keldra::OutputShape::kChatsAndMedia:
      return std::make_unique<WhatsAppOutput>(kind->number);
  }
  return nullptr;
}

}  // namespace cli
