#include "kind/StageSender.h"

#include <utility>

#include "keldra/Kinds.h"
#include "kind/kind.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {

StageSender::StageSender(Kind& kind, std::string taskId, int type, const char* subCommandType)
    : kind_(kind),
      taskId_(std::move(taskId)),
      type_(type),
      stageTotal_(StageTotalOf(type)),
      subCommandType_(subCommandType) {}

void StageSender::Send(int stage, Allocator& allocator, rapidjson::Value& result,
                       int subType) const {
  kind_.SendResult(allocator, result, taskId_.c_str(), stage, stageTotal_,
                   ToInt(CommandStatus::kPartial), type_, subType, subCommandType_);
}

void StageSender::SendSummary(
    Allocator& allocator, int64_t count,
    std::initializer_list<std::pair<const char*, std::string_view>> paths) const {
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictInt64Value(summary, allocator, "count", count);
  for (const auto& [key, path] : paths)
    PimJsonUtil::AddJsonDictStringValue(summary, allocator, key, path.data(), path.size());
  Send(1, allocator, summary);
}

void StageSender::SendClosing(int stage, Allocator& allocator) const {
  rapidjson::Value closing(rapidjson::kObjectType);
  kind_.AttachProblems(closing, allocator);
  Send(stage, allocator, closing);
}

void StageSender::SendUnstaged(CommandStatus status, Allocator& allocator,
                               rapidjson::Value& result) const {
  kind_.SendResult(allocator, result, taskId_.c_str(), 0, 0, ToInt(status), type_, 0,
                   subCommandType_);
}

void StageSender::SendProblemsAlone(int stage, int subType) const {
  if (!kind_.CompleteReading() || !kind_.HasProblems()) return;
  rapidjson::Document owner(rapidjson::kObjectType);
  rapidjson::Value closing(rapidjson::kObjectType);
  kind_.AttachProblems(closing, owner.GetAllocator());
  Send(stage, owner.GetAllocator(), closing, subType);
}

}  // namespace keldra
