#include "cli/EncryptedExport.h"

#include "Events.h"
#include "cli/Common.h"
#include "common/StoredFile.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace cli {

std::set<std::string> ExportBatch(const host::SendOptions& options, const std::string& folder,
                                  const std::vector<std::pair<std::string, std::string>>& batch,
                                  bool legacy) {
  rapidjson::Document payload(rapidjson::kObjectType);
  auto& a = payload.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(payload, a, "backupDir", folder);
  rapidjson::Value files(rapidjson::kObjectType);
  for (const auto& [fileID, destination] : batch) {
    rapidjson::Value pair(rapidjson::kArrayType);
    std::string stored = folder + keldra::StoredRelativePath(fileID, !legacy);
    PimJsonUtil::PushJsonArrayStringValue(pair, a, stored.c_str());
    PimJsonUtil::PushJsonArrayStringValue(pair, a, destination.c_str());
    files.AddMember(PimJsonUtil::MakeString(fileID, a), pair, a);
  }
  payload.AddMember("files", files, a);
  host::Recorder recorder;
  std::string error;
  std::set<std::string> answered;
  if (host::RunSend(options, keldra::names::kExportEncryptFile, PimJsonUtil::ToString(payload),
                    recorder, &error) != 0)
    return answered;
  for (const rapidjson::Value* result : recorder.Payloads("result")) {
    auto inner = result->FindMember("result");
    if (inner != result->MemberEnd()) answered.insert(StringOf(inner->value, "id"));
  }
  return answered;
}

}  // namespace cli
