#include "cli/KindOutput.h"

#include <cstring>

namespace cli {
namespace {

int IntMember(const rapidjson::Value& object, const char* name, int fallback = -1) {
  if (!object.IsObject()) return fallback;
  auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsInt() ? member->value.GetInt() : fallback;
}

bool EndsWith(const char* text, const char* suffix) {
  size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
  return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

// Appends copies of an array's elements.
void AppendAll(rapidjson::Value& target, const rapidjson::Value& source,
               KindOutput::Allocator& allocator) {
  if (!source.IsArray()) return;
  for (const auto& element : source.GetArray())
    target.PushBack(rapidjson::Value(element, allocator), allocator);
}

// Kinds whose data messages each carry an array of items (2, 3, 4, 5, 7, 9).
class ArrayOutput : public KindOutput {
 public:
  ArrayOutput(int number, int dataStage) : KindOutput(number), dataStage_(dataStage) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    if (stage == dataStage_) AppendAll(output_, result, Alloc());
    if (stage == stageTotal) MarkComplete();
  }

 private:
  int dataStage_;
};

// Contacts arrive as objects keyed by the person's row id, 100 at a time.
class ContactOutput : public KindOutput {
 public:
  ContactOutput() : KindOutput(0) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    if (stage == 2 && result.IsObject()) {
      for (const auto& member : result.GetObject()) {
        rapidjson::Value contact(rapidjson::kObjectType);
        contact.AddMember("record_id", rapidjson::Value(member.name, Alloc()), Alloc());
        if (member.value.IsObject())
          for (const auto& field : member.value.GetObject())
            contact.AddMember(rapidjson::Value(field.name, Alloc()),
                              rapidjson::Value(field.value, Alloc()), Alloc());
        output_.PushBack(contact, Alloc());
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
    if (stage == 2) output_.PushBack(rapidjson::Value(result, Alloc()), Alloc());
    if (stage == stageTotal) MarkComplete();
  }
};

// A conversation (stage 2) followed by its messages (stage 3), as the
// messages and WhatsApp kinds send them.
void AddConversationStage(rapidjson::Value& conversations, const rapidjson::Value& result,
                          int stage, KindOutput::Allocator& allocator) {
  if (stage == 2 && result.IsObject()) {
    rapidjson::Value conversation(result, allocator);
    conversation.AddMember("messages", rapidjson::Value(rapidjson::kArrayType), allocator);
    conversations.PushBack(conversation, allocator);
  } else if (stage == 3 && !conversations.Empty()) {
    rapidjson::Value& last = conversations[conversations.Size() - 1];
    AppendAll(last["messages"], result, allocator);
  }
}

size_t MessageTotal(const rapidjson::Value& conversations) {
  size_t total = 0;
  for (const auto& conversation : conversations.GetArray()) {
    auto messages = conversation.FindMember("messages");
    if (messages != conversation.MemberEnd() && messages->value.IsArray())
      total += messages->value.Size();
  }
  return total;
}

class MessagesOutput : public KindOutput {
 public:
  MessagesOutput() : KindOutput(1) {}

 protected:
  void AddData(const rapidjson::Value& result, int stage, int stageTotal, int, int) override {
    AddConversationStage(output_, result, stage, Alloc());
    if (stage == stageTotal) MarkComplete();
  }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("messages", static_cast<uint64_t>(MessageTotal(output_)), allocator);
  }
};

class PhotoOutput : public KindOutput {
 public:
  PhotoOutput() : KindOutput(6) {
    output_.SetObject();
    output_.AddMember("camera_roll", rapidjson::Value(rapidjson::kArrayType), Alloc());
    output_.AddMember("albums", rapidjson::Value(rapidjson::kArrayType), Alloc());
  }

 protected:
  void AddData(const rapidjson::Value& result, int stage, int, int, int subType) override {
    if (subType == 0 && stage == 2) AppendAll(output_["camera_roll"], result, Alloc());
    if (subType == 1 && stage == 2 && result.IsArray()) {
      for (const auto& album : result.GetArray()) {
        rapidjson::Value copy(album, Alloc());
        if (copy.IsObject())
          copy.AddMember("photos", rapidjson::Value(rapidjson::kArrayType), Alloc());
        output_["albums"].PushBack(copy, Alloc());
      }
    }
    if (subType == 2 && stage == 2 && result.IsObject()) AddAlbumPhotos(result);
    if (subType == 2 && stage == 3) MarkComplete();
  }
  const rapidjson::Value& Items() const override { return output_["camera_roll"]; }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("albums", rapidjson::Value(output_["albums"].Size()), allocator);
  }

 private:
  void AddAlbumPhotos(const rapidjson::Value& slice) {
    auto id = slice.FindMember("albumId");
    auto type = slice.FindMember("albumType");
    auto photos = slice.FindMember("photos");
    if (id == slice.MemberEnd() || type == slice.MemberEnd() || photos == slice.MemberEnd()) return;
    for (auto& album : output_["albums"].GetArray()) {
      if (!album.IsObject()) continue;
      auto pk = album.FindMember("Z_PK");
      auto albumType = album.FindMember("TYPE");
      if (pk == album.MemberEnd() || albumType == album.MemberEnd()) continue;
      if (pk->value == id->value && albumType->value == type->value) {
        AppendAll(album["photos"], photos->value, Alloc());
        return;
      }
    }
  }
};

class WhatsAppOutput : public KindOutput {
 public:
  WhatsAppOutput() : KindOutput(10) {
    output_.SetObject();
    output_.AddMember("chats", rapidjson::Value(rapidjson::kArrayType), Alloc());
    output_.AddMember("media", rapidjson::Value(rapidjson::kArrayType), Alloc());
  }

 protected:
  void AddData(const rapidjson::Value& result, int stage, int, int type, int) override {
    if (type == 11 && stage == 2 && result.IsObject()) {
      for (const auto& item : result.GetObject()) {
        output_["media"].PushBack(rapidjson::Value(item.value, Alloc()), Alloc());
        auto& ids = mediaIds_.GetAllocator();
        mediaIds_.AddMember(rapidjson::Value(item.name, ids),
                            rapidjson::Value(output_["media"].Size() - 1), ids);
      }
    } else if (type == 10 && stage == 0) {
      MarkComplete();  // the closing message
    } else if (type == 10) {
      AddConversationStage(output_["chats"], result, stage, Alloc());
    }
  }
  const rapidjson::Value& Items() const override { return output_["chats"]; }
  void AddCounts(rapidjson::Value& entry, Allocator& allocator) const override {
    entry.AddMember("messages", static_cast<uint64_t>(MessageTotal(output_["chats"])), allocator);
    entry.AddMember("media", rapidjson::Value(output_["media"].Size()), allocator);
  }
  // Each message that names a media item gets a copy of it.
  void Finish() override {
    for (auto& chat : output_["chats"].GetArray()) {
      for (auto& message : chat["messages"].GetArray()) {
        if (!message.IsObject()) continue;
        auto item = message.FindMember("media_item");
        if (item == message.MemberEnd() || !item->value.IsString()) continue;
        auto index = mediaIds_.FindMember(item->value);
        if (index == mediaIds_.MemberEnd()) continue;
        message.AddMember("media",
                          rapidjson::Value(output_["media"][index->value.GetUint()], Alloc()),
                          Alloc());
      }
    }
  }

 private:
  rapidjson::Document mediaIds_{rapidjson::kObjectType};
};

}  // namespace

KindOutput::KindOutput(int number) : number_(number) { output_.SetArray(); }

void KindOutput::Add(const rapidjson::Value& payload) {
  if (!payload.IsObject()) return;
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

void KindOutput::MarkComplete() { complete_ = true; }

void KindOutput::Close() {
  if (closed_) return;
  closed_ = true;
  Finish();
}

size_t KindOutput::Count() const {
  const rapidjson::Value& items = Items();
  return items.IsArray() ? items.Size() : 0;
}

void KindOutput::Summarise(rapidjson::Value& entry, Allocator& allocator) const {
  entry.AddMember("count", static_cast<uint64_t>(Count()), allocator);
  AddCounts(entry, allocator);
  entry.AddMember("database_paths", rapidjson::Value(paths_, allocator), allocator);
}

void KindOutput::AddCounts(rapidjson::Value&, Allocator&) const {}

std::unique_ptr<KindOutput> MakeKindOutput(int number) {
  switch (number) {
    case 0: return std::make_unique<ContactOutput>();
    case 1: return std::make_unique<MessagesOutput>();
    case 2: case 3: case 5: case 7: case 9: return std::make_unique<ArrayOutput>(number, 2);
    case 4: return std::make_unique<ArrayOutput>(number, 2);  // stage 3 repeats the list
    case 6: return std::make_unique<PhotoOutput>();
    case 8: return std::make_unique<ItemOutput>(8);
    case 10: case 11: return std::make_unique<WhatsAppOutput>();
    default: return nullptr;
  }
}

}  // namespace cli
