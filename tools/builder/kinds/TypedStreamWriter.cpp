#include "builder/kinds/TypedStreamWriter.h"

#include <algorithm>
#include <cstdint>

namespace builder {
namespace {

constexpr char kTagInteger2 = '\x81';
constexpr char kTagInteger4 = '\x82';
constexpr char kTagNew = '\x84';
constexpr char kTagNil = '\x85';
constexpr char kTagEndOfObject = '\x86';
constexpr int kReferenceBase = -110;
constexpr int kSystemVersion = 1000;

constexpr char kAttachmentPlaceholder[] = "\xEF\xBF\xBC";  // U+FFFC
constexpr char kPartKey[] = "__kIMMessagePartAttributeName";
constexpr char kTransferKey[] = "__kIMFileTransferGUIDAttributeName";

const TypedStreamWriter::ClassChain kAttributedStringClasses = {
    {"NSMutableAttributedString", 0}, {"NSAttributedString", 0}, {"NSObject", 0}};
const TypedStreamWriter::ClassChain kMutableStringClasses = {
    {"NSMutableString", 1}, {"NSString", 1}, {"NSObject", 0}};
const TypedStreamWriter::ClassChain kStringClasses = {{"NSString", 1}, {"NSObject", 0}};
const TypedStreamWriter::ClassChain kDictionaryClasses = {{"NSDictionary", 0}, {"NSObject", 0}};
const TypedStreamWriter::ClassChain kNumberClasses = {
    {"NSNumber", 0}, {"NSValue", 0}, {"NSObject", 0}};

}  // namespace

TypedStreamWriter::TypedStreamWriter() {
  data_ += '\x04';
  data_ += '\x0b';
  data_ += "streamtyped";
  Integer(kSystemVersion);
}

void TypedStreamWriter::Head(int value) {
  data_ += static_cast<char>(value);
}

// One byte for -110..127 (every other one-byte value is a tag), else a tag
// and 2 or 4 little-endian bytes.
void TypedStreamWriter::Integer(int64_t value) {
  if (value >= kReferenceBase && value <= 127) {
    Head(static_cast<int>(value));
    return;
  }
  int bytes = value >= INT16_MIN && value <= INT16_MAX ? 2 : 4;
  data_ += bytes == 2 ? kTagInteger2 : kTagInteger4;
  uint32_t bits = static_cast<uint32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
  for (int i = 0; i < bytes; ++i) data_ += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

void TypedStreamWriter::Reference(int index) {
  Integer(static_cast<int64_t>(index) + kReferenceBase);
}

void TypedStreamWriter::UnsharedString(const std::string& text) {
  Integer(static_cast<int64_t>(text.size()));
  data_ += text;
}

void TypedStreamWriter::SharedString(const std::string& text) {
  auto found = sharedStrings_.find(text);
  if (found != sharedStrings_.end()) {
    Reference(found->second);
    return;
  }
  data_ += kTagNew;
  UnsharedString(text);
  int index = static_cast<int>(sharedStrings_.size());
  sharedStrings_.emplace(text, index);
}

void TypedStreamWriter::Types(const std::string& encoding) {
  SharedString(encoding);
}

void TypedStreamWriter::Bytes(const std::string& bytes) {
  UnsharedString(bytes);
}

void TypedStreamWriter::CString(const std::string& text) {
  auto found = cStrings_.find(text);
  if (found != cStrings_.end()) {
    Reference(found->second);
    return;
  }
  data_ += kTagNew;
  cStrings_.emplace(text, objects_++);
  SharedString(text);
}

int TypedStreamWriter::BeginObject(const ClassChain& classes) {
  data_ += kTagNew;
  int object = objects_++;
  for (const auto& [name, version] : classes) {
    auto known = classes_.find(name);
    if (known != classes_.end()) {
      Reference(known->second);  // the rest of the chain is known with it
      return object;
    }
    data_ += kTagNew;
    classes_.emplace(name, objects_++);
    SharedString(name);
    Integer(version);
  }
  data_ += kTagNil;
  return object;
}

void TypedStreamWriter::EndObject() {
  data_ += kTagEndOfObject;
}

void TypedStreamWriter::ObjectReference(int object) {
  Reference(object);
}

void TypedStreamWriter::Nil() {
  data_ += kTagNil;
}

uint64_t Utf16Length(const std::string& text) {
  uint64_t units = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    units += length == 4 ? 2 : 1;
    i += std::min(length, text.size() - i);
  }
  return units;
}

std::vector<TextRun> MessageRuns(const std::string& text,
                                 const std::vector<std::string>& attachmentGuids) {
  std::vector<TextRun> runs;
  size_t guid = 0;
  int64_t part = 0;
  size_t start = 0;
  auto addText = [&](size_t end) {
    if (end <= start) return;
    runs.push_back({Utf16Length(text.substr(start, end - start)), part++, ""});
  };
  for (size_t at = text.find(kAttachmentPlaceholder); at != std::string::npos;
       at = text.find(kAttachmentPlaceholder, start)) {
    addText(at);
    TextRun placeholder{1, part++, ""};
    if (guid < attachmentGuids.size()) placeholder.fileTransferGuid = attachmentGuids[guid++];
    runs.push_back(placeholder);
    start = at + 3;
  }
  addText(text.size());
  return runs;
}

std::string EncodeAttributedBody(const std::string& text, std::vector<TextRun> runs) {
  uint64_t length = Utf16Length(text);
  if (runs.empty() && length > 0) runs.push_back({length, 0, ""});

  TypedStreamWriter writer;
  writer.Types("@");
  writer.BeginObject(kAttributedStringClasses);
  writer.Types("@");
  writer.BeginObject(kMutableStringClasses);
  writer.Types("+");
  writer.Bytes(text);
  writer.EndObject();

  std::map<std::string, int> keys;  // attribute name -> its string object
  auto key = [&](const std::string& name) {
    writer.Types("@");
    auto known = keys.find(name);
    if (known != keys.end()) {
      writer.ObjectReference(known->second);
      return;
    }
    keys.emplace(name, writer.BeginObject(kStringClasses));
    writer.Types("+");
    writer.Bytes(name);
    writer.EndObject();
  };

  std::vector<std::pair<int64_t, std::string>> sets;  // attribute sets, numbered from 1
  for (const TextRun& run : runs) {
    std::pair<int64_t, std::string> set(run.part, run.fileTransferGuid);
    auto found = std::find(sets.begin(), sets.end(), set);
    bool known = found != sets.end();
    if (!known) sets.push_back(set);
    writer.Types("iI");
    writer.Integer(known ? found - sets.begin() + 1 : static_cast<int64_t>(sets.size()));
    writer.Integer(static_cast<int64_t>(run.length));
    if (known) continue;
    writer.Types("@");
    writer.BeginObject(kDictionaryClasses);
    writer.Types("i");
    writer.Integer(run.fileTransferGuid.empty() ? 1 : 2);
    if (!run.fileTransferGuid.empty()) {
      key(kTransferKey);
      writer.Types("@");
      writer.BeginObject(kStringClasses);
      writer.Types("+");
      writer.Bytes(run.fileTransferGuid);
      writer.EndObject();
    }
    key(kPartKey);
    writer.Types("@");
    writer.BeginObject(kNumberClasses);
    writer.Types("*");
    writer.CString("i");
    writer.Types("i");
    writer.Integer(run.part);
    writer.EndObject();
    writer.EndObject();
  }
  writer.EndObject();
  return writer.Data();
}

}  // namespace builder
