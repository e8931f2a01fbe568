// Voice-memo property lists of any shape, read as an asset manifest and as
// a composition manifest: the reply is always valid JSON.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mivo/PlistUtil.h"
#include "platform/VoiceMemoList.h"
#include "vorn/PimJsonUtil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PlistPtr root = PlistUtil::ParseBytes(data, size);
  if (!root) return 0;
  host::VoiceMemoList list;
  list.AddAssetManifest(root.get(), "");
  list.AddComposition(root.get(), "");
  std::string text = PimJsonUtil::ToString(*list.ToReply());
  rapidjson::Document reparsed;
  reparsed.Parse(text.c_str(), text.size());
  if (reparsed.HasParseError() || !PimJsonUtil::IsValidUtf8(text.data(), text.size()))
    __builtin_trap();
  return 0;
}
