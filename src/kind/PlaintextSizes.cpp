#include "kind/PlaintextSizes.h"

#include "kind/kind.h"
#include "mivo/PlistUtil.h"
#include "vorn/VRNUtilityFile.h"

namespace keldra {

std::optional<int64_t> ArchivedFileSize(const void* data, size_t length) {
  PlistPtr archive = PlistUtil::ParseBytes(data, length);
  if (!archive || plist_get_node_type(archive.get()) != PLIST_DICT) return std::nullopt;
  plist_t objects = plist_dict_get_item(archive.get(), "$objects");
  plist_t top = PlistUtil::GetDict(archive.get(), "$top");
  plist_t root = top ? plist_dict_get_item(top, "root") : nullptr;
  if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || !root ||
      plist_get_node_type(root) != PLIST_UID)
    return std::nullopt;
  uint64_t index = 0;
  plist_get_uid_val(root, &index);
  if (index >= plist_array_get_size(objects)) return std::nullopt;
  std::optional<int64_t> size =
      PlistUtil::GetInt(plist_array_get_item(objects, static_cast<uint32_t>(index)), "Size");
  if (!size || *size < 0) return std::nullopt;
  return size;
}

std::optional<int64_t> PlaintextSizes::FromManifest(const ManifestFile& record) {
  if (record.tempDir.empty()) return std::nullopt;
  if (manifestFolder_ != record.tempDir) {
    // The decrypt module leaves the deciphered manifest in the backup's
    // temporary folder under its own name.
    manifestFolder_ = std::string(record.tempDir);
    query_ = sqlite::Prepare(sqlite::OpenReadOnly(manifestFolder_ + "Manifest.db"),
                             "select file from Files where fileID = ?");
  }
  if (!query_) return std::nullopt;
  sqlite3_stmt* row = query_.get();
  sqlite3_reset(row);
  sqlite3_bind_text(row, 1, record.fileID.data(), static_cast<int>(record.fileID.size()),
                    SQLITE_TRANSIENT);
  if (sqlite3_step(row) != SQLITE_ROW) return std::nullopt;
  return ArchivedFileSize(sqlite3_column_blob(row, 0),
                          static_cast<size_t>(sqlite3_column_bytes(row, 0)));
}

int64_t PlaintextSizes::Of(const ManifestFile& record) {
  if (!record.encrypted) return StoredSize(record);
  if (std::optional<int64_t> size = FromManifest(record)) return *size;
  const std::string deciphered = DecryptOnDemand(record);
  return VRNUtilityFile::GetFileSize(deciphered.c_str());
}

}  // namespace keldra
