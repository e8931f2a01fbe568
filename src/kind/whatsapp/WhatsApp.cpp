#include "kind/whatsapp/WhatsApp.h"

#include "backup/ManifestFile.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

using Allocator = rapidjson::Document::AllocatorType;

rapidjson::Value CountObject(size_t count, Allocator& allocator) {
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count", static_cast<int32_t>(count));
  return summary;
}

}  // namespace

WhatsApp::WhatsApp()
    : sessions_(std::make_shared<rapidjson::Value>(rapidjson::kArrayType)),
      mediaItems_(std::make_shared<rapidjson::Value>(rapidjson::kObjectType)),
      document_(rapidjson::kObjectType) {}

void WhatsApp::Run(const ScanContext& scan) {
  dbPath_ = Locate(databaseWatch_);
  ExtractChats(document_, scan.taskId, scan.info);
}

void WhatsApp::ExtractChats(rapidjson::Document& document, const std::string& taskId,
                            const BackupInfo& info) {
  const StageSender stages(*this, taskId, kType);
  if (!dbPath_.empty())
    database_ = OpenOn(databaseWatch_, dbPath_, "the chat store does not open as a database");
  if (database_) {
    ReadMediaItems(document, info.BackupPath, info.BackupType);
    ReadPushNames();
    ReadChatSessions(document);
    logResults = true;
    SendMediaSeries(document, taskId);
    SendChatSeries(document, taskId);
  }
  rapidjson::Value closing(rapidjson::kObjectType);
  AttachProblems(closing, document.GetAllocator());
  stages.SendUnstaged(CommandStatus::kFinished, document.GetAllocator(), closing);
}

void WhatsApp::SendMediaSeries(rapidjson::Document& document, const std::string& taskId) {
  const StageSender media(*this, taskId, kMediaType);
  Allocator& allocator = document.GetAllocator();
  rapidjson::Value summary = CountObject(mediaItems_->MemberCount(), allocator);
  media.Send(1, allocator, summary);
  media.Send(2, allocator, *mediaItems_);
  rapidjson::Value closing(rapidjson::kObjectType);
  media.Send(3, allocator, closing);
}

// Messages are read session by session, right before their session is sent,
// into memory that is given back once it has gone: what a large chat store
// holds never has to fit in memory at once.
void WhatsApp::SendChatSeries(rapidjson::Document& document, const std::string& taskId) {
  const StageSender stages(*this, taskId, kType);
  Allocator& allocator = document.GetAllocator();
  rapidjson::Value summary = CountObject(sessions_->Size(), allocator);
  stages.Send(1, allocator, summary);
  for (rapidjson::Value& session : sessions_->GetArray()) {
    Allocator messageAllocator;
    rapidjson::Value messages(rapidjson::kArrayType);
    bool read = ReadMessages(session, allocator, messages, messageAllocator);
    stages.Send(2, allocator, session);
    if (read && !messages.Empty()) stages.Send(3, messageAllocator, messages);
    rapidjson::Value closing(rapidjson::kObjectType);
    stages.Send(4, allocator, closing);
  }
}

}  // namespace keldra
