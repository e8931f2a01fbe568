#include "kind/sms/Sms.h"

#include <optional>
#include <string>

#include "common/PeerRequest.h"
#include "keldra/Kinds.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr int kType = 1;
constexpr const char* kDatabaseName = kKinds[kType].database;
// Messages per page of the platform's reply: a few megabytes of document.
constexpr int64_t kPageMessages = 20000;

// The reply's conversations; null when it has none.
rapidjson::Value* ChatsOf(rapidjson::Document& reply) {
  if (!reply.IsObject()) return nullptr;
  auto member = reply.FindMember("chats");
  return member != reply.MemberEnd() && member->value.IsArray() ? &member->value : nullptr;
}

// The request for the page after this reply, when there is one.
std::optional<std::string> NextToken(const rapidjson::Document& reply) {
  if (!reply.IsObject()) return std::nullopt;
  auto member = reply.FindMember("next");
  if (member == reply.MemberEnd() || !member->value.IsString()) return std::nullopt;
  return std::string(member->value.GetString(), member->value.GetStringLength());
}

}  // namespace

Sms::Sms()
    : work_(std::make_unique<rapidjson::Document>(rapidjson::kObjectType)),
      databaseWatch_(WatchDatabase(kDatabaseName)) {}

Sms::~Sms() = default;

void Sms::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  if (databasePath_.empty()) return stages.SendProblemsAlone(4);
  Allocator& workAllocator = work_->GetAllocator();
  rapidjson::Value request(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(request, workAllocator, "path", databasePath_);
  PimJsonUtil::AddJsonDictStringValue(request, workAllocator, "productVersion",
                                      scan.info.ProductVersion);
  // Complete reading asks in pages, so that neither side ever holds every
  // message at once; a platform that answers in one piece sends no "next".
  if (CompleteReading())
    PimJsonUtil::AddJsonDictInt64Value(request, workAllocator, "page_messages", kPageMessages);
  ReplyDocument reply =
      QueryPlatform(names::kSmsQueryConversationList, PimJsonUtil::ToString(request));
  if (!reply) {
    AddProblem(WatchLabel(databaseWatch_), "unreadable", "the platform did not read it");
    return stages.SendProblemsAlone(4);
  }

  rapidjson::Value* chats = ChatsOf(*reply);
  int64_t total = static_cast<int64_t>(chats ? chats->Size() : 0);
  if (reply->IsObject()) {
    auto member = reply->FindMember("total");
    if (member != reply->MemberEnd() && member->value.IsInt64()) total = member->value.GetInt64();
  }
  {
    Allocator& allocator = reply->GetAllocator();
    rapidjson::Value summary(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count", static_cast<int32_t>(total));
    PimJsonUtil::AddJsonDictStringValue(summary, allocator, "sms_db_path", databasePath_);
    stages.Send(1, allocator, summary);
  }

  for (;;) {
    if (chats) SendConversations(*reply, *chats, stages);
    std::optional<std::string> next = NextToken(*reply);
    if (!next) break;
    PimJsonUtil::AddJsonDictStringValue(request, workAllocator, "next", *next);
    reply = QueryPlatform(names::kSmsQueryConversationList, PimJsonUtil::ToString(request));
    request.RemoveMember("next");
    if (!reply) break;
    chats = ChatsOf(*reply);
  }

  rapidjson::Document closing(rapidjson::kObjectType);
  AttachProblems(closing, closing.GetAllocator());
  stages.Send(4, closing.GetAllocator(), closing);
}

// Stage 2 and 3 of each conversation of one reply; every value built here
// lives in the reply's allocator.
void Sms::SendConversations(rapidjson::Document& reply, rapidjson::Value& chats,
                            const StageSender& stages) {
  Allocator& allocator = reply.GetAllocator();
  for (rapidjson::Value& conversation : chats.GetArray()) {
    rapidjson::Value taken(rapidjson::kObjectType);
    if (conversation.IsObject()) {
      auto messages = conversation.FindMember("messages");
      if (messages != conversation.MemberEnd()) {
        PimJsonUtil::AddJsonDictObjectValue(taken, allocator, "messages", messages->value);
        // RemoveMember moves the last member into the freed place.
        conversation.RemoveMember(messages);
      }
    }
    stages.Send(2, allocator, conversation);

    if (taken.MemberCount() == 0) continue;
    rapidjson::Value& messages = taken.MemberBegin()->value;
    if (!messages.IsArray() || messages.Empty()) continue;
    rapidjson::Value list(rapidjson::kArrayType);
    list.Reserve(messages.Size(), allocator);
    for (rapidjson::Value& message : messages.GetArray()) list.PushBack(message, allocator);
    stages.Send(3, allocator, list);
  }
}

}  // namespace keldra
