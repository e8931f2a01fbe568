#include "kind/smsattachment/SmsAttachment.h"

#include "backup/DbBase.h"
#include "keldra/Kinds.h"
#include "keldra/Names.h"
#include "kind/PlaintextSizes.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

// Each table generation stores device paths with its own prefix: "~/" and
// "/var/mobile/". The prefix is cut by length, not compared.
constexpr char kAttachmentStatement[] = "select filename,mime_type,created_date from attachment;";
constexpr size_t kAttachmentCut = 2;
constexpr char kMadridStatement[] = "select filename,mime_type,created_date from madrid_attachment";
constexpr size_t kMadridCut = 12;

constexpr int kType = 2;
constexpr const char* kDatabaseName = kKinds[kType].database;

}  // namespace

SmsAttachment::SmsAttachment()
    : attachments_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)),
      databaseWatch_(WatchDatabase(kDatabaseName)) {}

SmsAttachment::~SmsAttachment() = default;

bool SmsAttachment::ReadAttachments(const sqlite::Database& database, const char* statement,
                                    size_t cut) {
  sqlite::Statement prepared = sqlite::Prepare(database, statement);
  if (!prepared) return false;
  Allocator& allocator = attachments_->GetAllocator();
  sqlite3_stmt* s = prepared.get();
  while (sqlite3_step(s) == SQLITE_ROW) {
    if (sqlite::IsNull(s, 0)) continue;
    std::string_view filename = sqlite::Text(s, 0);
    if (filename.size() <= cut) continue;
    std::string_view queryPath = filename.substr(cut);
    std::string_view mimeType = sqlite::Text(s, 1);
    int64_t created = sqlite::Int64(s, 2);

    rapidjson::Value attachment(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "QueryPath", queryPath.data(),
                                        queryPath.size());
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "MimeType", mimeType.data(),
                                        mimeType.size());
    PimJsonUtil::AddJsonDictInt64Value(attachment, allocator, "CreatedDateInt", created);
    PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "CreatedDate",
                                        VRNUtilitySys::DateText2001(created));
    PimJsonUtil::PushJsonArrayObjectValue(*attachments_, allocator, attachment);
    queryPaths_.emplace_back(queryPath);
  }
  return true;
}

void SmsAttachment::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  if (sqlite::Database database = sqlite::OpenReadOnly(databasePath_)) {
    // The older table only when the newer one is not there at all, not when
    // it is merely empty.
    if (!ReadAttachments(database, kAttachmentStatement, kAttachmentCut) &&
        !ReadAttachments(database, kMadridStatement, kMadridCut))
      AddQueryProblem(databaseWatch_, database.get());
  }

  Allocator& allocator = attachments_->GetAllocator();
  rapidjson::Value kept(rapidjson::kArrayType);
  if (DbBase* reader = scan.manifest) {
    const FileMap& files = reader->GetFileMap();
    PlaintextSizes sizes;
    rapidjson::SizeType index = 0;
    for (rapidjson::Value& attachment : attachments_->GetArray()) {
      const std::string& queryPath = queryPaths_[index++];
      const ManifestFile* record = files.Find(queryPath);
      if (!record) continue;
      std::string path =
          StoredFilePath(scan.info.BackupPath, scan.info.BackupType, std::string(record->fileID));
      PimJsonUtil::AddJsonDictStringValue(attachment, allocator, "Path", path);
      // The UTF-8 path is the file's own name here; no round trip through
      // UTF-16 that could change bytes that are not UTF-8.
      PimJsonUtil::AddJsonDictInt64Value(
          attachment, allocator, "Size",
          CompleteReading() ? sizes.Of(*record) : StoredSize(*record));
      kept.PushBack(attachment, allocator);
    }
  }
  static_cast<rapidjson::Value&>(*attachments_).Swap(kept);
  queryPaths_.clear();

  stages.SendSummary(allocator, static_cast<int32_t>(attachments_->Size()),
                     {{"sms_db_path", databasePath_}});
  stages.Send(2, allocator, *attachments_);
  stages.SendClosing(3, allocator);
  attachments_->SetArray();
}

}  // namespace keldra
