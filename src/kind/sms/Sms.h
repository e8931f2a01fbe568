// Kind 1, text messages: finds Library/SMS/sms.db, has the host platform read
// it, and forwards the platform's conversations as stage messages: stage 1 a
// summary, per conversation stage 2 (the conversation without its messages)
// and stage 3 (its messages, when it has any), stage 4 closing.
#ifndef KELDRA_KIND_SMS_SMS_H_
#define KELDRA_KIND_SMS_SMS_H_

#include <memory>
#include <string>

#include "common/Observer.h"
#include "kind/kind.h"

namespace keldra {

class Sms : public Kind {
 public:
  Sms();
  ~Sms() override;
  void Run(const ScanContext& scan) override;
  // A ManifestFile notification: keeps the readable path of the first
  // record named Library/SMS/sms.db, whatever its domain.

 private:
  void SendConversations(rapidjson::Document& reply, rapidjson::Value& chats,
                         const StageSender& stages);

  std::unique_ptr<rapidjson::Document> work_;  // allocator of the request
  std::string databasePath_;
  // Where complete reading finds the database.
  const size_t databaseWatch_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_SMS_SMS_H_
