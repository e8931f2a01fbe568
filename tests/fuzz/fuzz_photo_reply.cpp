// Photo lists of any shape from the host, completed against a small file
// map: nothing the host sends may break the kind, and what it adds is text
// that keeps every message valid JSON.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "backup/FileMap.h"
#include "kind/photo/PhotoFiles.h"
#include "vorn/PimJsonUtil.h"

namespace {

const char* const kPaths[] = {
    "Media/DCIM/100APPLE/IMG_0001.JPG",
    "Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/IMG_0001.JPG/5003.JPG",
    "Media/PhotoData/Mutations/DCIM/100APPLE/IMG_0002.JPG/Adjustments/FullSizeRender.jpg",
    "Media/DCIM/100APPLE/IMG_0002.JPG",
    "Media/",
    "Media/DCIM",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rapidjson::Document reply;
  reply.Parse(reinterpret_cast<const char*>(data), size);
  if (reply.HasParseError()) return 0;
  keldra::ManifestRecords records;
  for (const char* path : kPaths) {
    keldra::ManifestFile& record = records.emplace_back();
    record.relativePath = path;
    record.flags = std::string(path) == "Media/DCIM" ? 2 : 1;
    record.backupDir = "/nonexistent-backup/";
    record.filePath = "ab/ab12";
  }
  keldra::FileMap map;
  map.Build(records);
  keldra::PhotoFiles files(map);
  try {
    files.ResolveAll(reply, reply.GetAllocator());
    if (reply.IsObject() && reply.HasMember("photos"))
      files.ResolveAll(reply["photos"], reply.GetAllocator());
  } catch (const vorn::JsonAssertion&) {
    __builtin_trap();  // a value was read without its type checked
  }
  // The host's own members pass through as they came; what the kind wrote
  // into a photo it completed (the first "PATH", the last "RELATIVE_PATH")
  // must be valid.
  const rapidjson::Value* lists[] = {&reply, nullptr};
  if (reply.IsObject() && reply.HasMember("photos")) lists[1] = &reply["photos"];
  for (const rapidjson::Value* list : lists) {
    if (!list || !list->IsArray()) continue;
    for (const auto& photo : list->GetArray()) {
      if (!photo.IsObject()) continue;
      auto path = photo.FindMember("PATH");
      if (path == photo.MemberEnd() || !path->value.IsString()) continue;
      const rapidjson::Value* relative = nullptr;
      for (const auto& member : photo.GetObject())
        if (member.name == "RELATIVE_PATH") relative = &member.value;
      for (const rapidjson::Value* value : {&path->value, relative}) {
        if (!value || !value->IsString() ||
            !PimJsonUtil::IsValidUtf8(value->GetString(), value->GetStringLength()))
          __builtin_trap();
      }
    }
  }
  return 0;
}
