#include "kind/sms/Sms.h"

#include "common/PeerRequest.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr char kDatabaseName[] = "Library/SMS/sms.db";
constexpr int kType = 1;
constexpr int kStageTotal = 4;
constexpr int kStatusPartial = 2;

}  // namespace

Sms::Sms()
    : work_(std::make_unique<rapidjson::Document>(rapidjson::kObjectType)),
      databaseWatch_(WatchDatabase(kDatabaseName)) {}

Sms::~Sms() = default;

void Sms::Update(void* argument, const char* commandType) {
  (void)commandType;
  if (!argument || TakeRecordInCompleteReading(argument) || !databasePath_.empty()) return;
  const auto* record = static_cast<const ManifestFile*>(argument);
  if (record->relativePath == kDatabaseName) databasePath_ = ReadablePath(*record);
}

void Sms::Run(const std::string& taskId, const BackupInfo& info) {
  if (CompleteReading()) databasePath_ = Locate(databaseWatch_);
  if (databasePath_.empty()) return SendProblemsAlone(taskId, 4, kStageTotal, kType, 0);
  Allocator& workAllocator = work_->GetAllocator();
  rapidjson::Value request(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(request, workAllocator, "path", databasePath_);
  PimJsonUtil::AddJsonDictStringValue(request, workAllocator, "productVersion",
                                      info.ProductVersion);
  ReplyDocument reply =
      QueryPlatform(names::kSmsQueryConversationList, PimJsonUtil::ToString(request));
  if (!reply) {
    AddProblem(WatchLabel(databaseWatch_), "unreadable", "the platform did not read it");
    return SendProblemsAlone(taskId, 4, kStageTotal, kType, 0);
  }

  // Every value built from here on lives in the reply's allocator.
  Allocator& allocator = reply->GetAllocator();
  const char* task = taskId.c_str();
  auto send = [&](rapidjson::Value& result, int stage) {
    SendResult(allocator, result, task, stage, kStageTotal, kStatusPartial, kType, 0,
               names::kDoScan);
  };

  rapidjson::Value noChats(rapidjson::kArrayType);
  rapidjson::Value* chats = &noChats;
  if (reply->IsObject()) {
    auto member = reply->FindMember("chats");
    if (member != reply->MemberEnd() && member->value.IsArray()) chats = &member->value;
  }

  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count",
                                   static_cast<int32_t>(chats->Size()));
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "sms_db_path", databasePath_);
  send(summary, 1);

  for (rapidjson::Value& conversation : chats->GetArray()) {
    rapidjson::Value taken(rapidjson::kObjectType);
    if (conversation.IsObject()) {
      auto messages = conversation.FindMember("messages");
      if (messages != conversation.MemberEnd()) {
        PimJsonUtil::AddJsonDictObjectValue(taken, allocator, "messages", messages->value);
        // RemoveMember moves the last member into the freed place.
        conversation.RemoveMember(messages);
      }
    }
    send(conversation, 2);

    if (taken.MemberCount() == 0) continue;
    rapidjson::Value& messages = taken.MemberBegin()->value;
    if (!messages.IsArray() || messages.Empty()) continue;
    rapidjson::Value list(rapidjson::kArrayType);
    list.Reserve(messages.Size(), allocator);
    for (rapidjson::Value& message : messages.GetArray()) list.PushBack(message, allocator);
    send(list, 3);
  }

  rapidjson::Value closing(rapidjson::kObjectType);
  AttachProblems(closing, allocator);
  send(closing, 4);
}

}  // namespace keldra
