// Kind 2, message attachments: reads the attachment table of
// Library/SMS/sms.db, turns each device path into a relative path of the
// backup, and reports where the stored file of every attachment found in the
// manifest lies and how big it is. Stage 1 a summary, stage 2 the list,
// stage 3 closing.
#ifndef KELDRA_KIND_SMSATTACHMENT_SMSATTACHMENT_H_
#define KELDRA_KIND_SMSATTACHMENT_SMSATTACHMENT_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/Observer.h"
#include "common/Sqlite.h"
#include "kind/kind.h"

namespace keldra {

class SmsAttachment : public Kind {
 public:
  SmsAttachment();
  ~SmsAttachment() override;
  void Run(const ScanContext& scan) override;
  // A ManifestFile notification: keeps the readable path of the first
  // record named Library/SMS/sms.db, whatever its domain.

  // Appends the rows of one attachment table, each file name without its
  // first `cut` bytes. False only when the statement does not prepare.
  bool ReadAttachments(const sqlite::Database& database, const char* statement, size_t cut);

 private:
  std::unique_ptr<rapidjson::Document> attachments_;  // root: the array
  // The "QueryPath" of every element as read, before any UTF-8 repair, so
  // that a name the JSON had to repair still finds its manifest record.
  std::vector<std::string> queryPaths_;
  std::string databasePath_;
  // Where complete reading finds the database.
  const size_t databaseWatch_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_SMSATTACHMENT_SMSATTACHMENT_H_
