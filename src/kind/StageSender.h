// One series of stage messages: bound once to the task, the result type and
// that type's stage total (from the kind's descriptor line), so that each
// message names only its stage.
#ifndef KELDRA_KIND_STAGESENDER_H_
#define KELDRA_KIND_STAGESENDER_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "keldra/Names.h"
#include "keldra/Status.h"
#include "vorn/Json.h"

namespace keldra {

class Kind;

class StageSender {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  // The kind is borrowed and outlives the sender.
  StageSender(Kind& kind, std::string taskId, int type,
              const char* subCommandType = names::kDoScan);

  // A result while the command goes on. `result` is lent, as to Kind::SendResult.
  void Send(int stage, Allocator& allocator, rapidjson::Value& result, int subType = 0) const;
  // Stage 1 as most kinds send it: {"count": count} and the paths of the
  // databases read ("" for one not found), in the order given.
  void SendSummary(Allocator& allocator, int64_t count,
                   std::initializer_list<std::pair<const char*, std::string_view>> paths) const;
  // The closing stage: an empty object, with "problems" in complete reading.
  void SendClosing(int stage, Allocator& allocator) const;
  // A message with `status`, outside the numbered stages (stage and total 0).
  void SendUnstaged(CommandStatus status, Allocator& allocator, rapidjson::Value& result) const;
  // Complete reading, when the series' database was not read: a closing
  // {"problems": [...]} at `stage`, when there are any.
  void SendProblemsAlone(int stage, int subType = 0) const;

 private:
  Kind& kind_;
  std::string taskId_;
  int type_;
  int stageTotal_;
  const char* subCommandType_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_STAGESENDER_H_
