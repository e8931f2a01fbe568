#include "formats/TypedStream.h"

#include <cstring>
#include <string_view>
#include <utility>

#include "formats/ByteCursor.h"

namespace host::typedstream {
namespace {

// Heads in -128..-111 are tags; every other head is a value of its own.
constexpr int kFirstTag = -128;
constexpr int kLastTag = -111;
constexpr int kTagInteger2 = -127;     // 0x81: a 2-byte integer follows
constexpr int kTagInteger4 = -126;     // 0x82: a 4-byte integer follows
constexpr int kTagFloat = -125;        // 0x83: a float or double follows
constexpr int kTagNew = -124;          // 0x84: a new string, class or object follows
constexpr int kTagNil = -123;          // 0x85
constexpr int kTagEndOfObject = -122;  // 0x86
// A reference number is the head's value minus this (0x92 names entry 0).
constexpr int kReferenceBase = -110;

constexpr uint8_t kStreamerVersion = 4;
constexpr char kLittleEndianSignature[] = "streamtyped";
constexpr char kBigEndianSignature[] = "typedstream";

// Bounds that keep a hostile archive from exhausting stack, memory or time.
constexpr size_t kMaxInput = size_t{16} << 20;
constexpr int kMaxDepth = 48;
constexpr size_t kMaxValues = size_t{1} << 18;
constexpr size_t kMaxEncoding = 1024;
constexpr int kMaxClassChain = 64;
// A string whose declared length runs past the end is re-read with shorter
// lengths until the rest of the archive reads cleanly. Every attempt reads
// the archive again, so the attempts together may read this many bytes.
constexpr size_t kResyncBudget = size_t{256} << 10;

bool IsTag(int head) {
  return head >= kFirstTag && head <= kLastTag;
}

// Replaces the declared length of the byte string whose contents start at
// `offset`.
struct LengthOverride {
  size_t offset = 0;
  size_t length = 0;
};

// Where a byte string's declared length ran past the end of the input.
struct Overrun {
  size_t offset = 0;     // of its first content byte
  size_t available = 0;  // bytes from there to the end
};

}  // namespace

class Parser {
 public:
  Parser(const uint8_t* data, size_t size, Archive& archive,
         std::optional<LengthOverride> lengthOverride, bool untilText = false)
      : input_(data, size), archive_(archive), override_(lengthOverride), untilText_(untilText) {}

  bool ReadHeader() {
    uint8_t version = 0, signatureLength = 0;
    if (!ReadByte(version) || version != kStreamerVersion) return false;
    if (!ReadByte(signatureLength) || signatureLength != sizeof kLittleEndianSignature - 1)
      return false;
    const uint8_t* signature = nullptr;
    if (!input_.ReadBytes(signatureLength, signature)) return false;
    if (std::memcmp(signature, kLittleEndianSignature, signatureLength) == 0)
      archive_.bigEndian_ = false;
    else if (std::memcmp(signature, kBigEndianSignature, signatureLength) == 0)
      archive_.bigEndian_ = true;
    else
      return false;
    int head = 0;
    return ReadHead(head) && ReadInteger(head, true, archive_.systemVersion_);
  }

  // Top-level groups until the input ends.
  void ReadAll() {
    while (!input_.AtEnd()) {
      int head = 0;
      if (!ReadHead(head)) return;
      std::vector<Value> group;
      bool ok = ReadGroup(head, group, 0);
      if (!group.empty()) archive_.groups_.push_back(std::move(group));
      if (!ok) return;
    }
    archive_.complete_ = true;
  }

  const std::optional<Overrun>& overrun() const { return overrun_; }
  size_t position() const { return input_.Position(); }

 private:
  bool ReadByte(uint8_t& byte) { return input_.ReadByte(byte); }

  bool ReadHead(int& head) {
    uint8_t byte = 0;
    if (!input_.ReadByte(byte)) return false;
    head = static_cast<int8_t>(byte);
    return true;
  }

  // `count` bytes (2, 4 or 8) in the archive's byte order.
  bool ReadFixed(size_t count, uint64_t& out) {
    return input_.ReadUnsigned(count, archive_.bigEndian_, out);
  }

  bool ReadInteger(int head, bool isSigned, int64_t& out) {
    if (!IsTag(head)) {
      out = isSigned ? head : static_cast<uint8_t>(head);
      return true;
    }
    uint64_t raw = 0;
    if (head == kTagInteger2) {
      if (!ReadFixed(2, raw)) return false;
      out = isSigned ? static_cast<int16_t>(raw) : static_cast<int64_t>(raw);
      return true;
    }
    if (head == kTagInteger4) {
      if (!ReadFixed(4, raw)) return false;
      out = isSigned ? static_cast<int32_t>(raw) : static_cast<int64_t>(raw);
      return true;
    }
    return false;
  }

  bool ReadReal(int head, bool isDouble, double& out) {
    if (head != kTagFloat) {
      int64_t integer = 0;
      if (!ReadInteger(head, true, integer)) return false;
      out = static_cast<double>(integer);
      return true;
    }
    uint64_t raw = 0;
    if (isDouble) {
      if (!ReadFixed(8, raw)) return false;
      double value;
      std::memcpy(&value, &raw, sizeof value);
      out = value;
    } else {
      if (!ReadFixed(4, raw)) return false;
      uint32_t bits = static_cast<uint32_t>(raw);
      float value;
      std::memcpy(&value, &bits, sizeof value);
      out = value;
    }
    return true;
  }

  bool ReadReference(int head, int64_t& index) {
    int64_t value = 0;
    if (!ReadInteger(head, true, value)) return false;
    index = value - kReferenceBase;
    return true;
  }

  // A length-prefixed byte string; nil gives nothing. A length past the end
  // of the input keeps the bytes there are and fails.
  bool ReadUnsharedString(int head, std::optional<std::string>& out) {
    out.reset();
    if (head == kTagNil) return true;
    int64_t length = 0;
    if (!ReadInteger(head, false, length) || length < 0) return false;
    size_t declared = static_cast<size_t>(length);
    if (override_ && override_->offset == input_.Position()) declared = override_->length;
    std::string_view bytes;
    if (input_.ReadView(declared, bytes)) {
      out.emplace(bytes);
      return true;
    }
    if (!overrun_) overrun_ = Overrun{input_.Position(), input_.Remaining()};
    input_.ReadView(input_.Remaining(), bytes);
    out.emplace(bytes);
    return false;
  }

  bool ReadSharedString(int head, std::optional<std::string>& out) {
    out.reset();
    if (head == kTagNil) return true;
    if (head == kTagNew) {
      int next = 0;
      if (!ReadHead(next) || !ReadUnsharedString(next, out) || !out) return false;
      archive_.sharedStrings_.push_back(*out);
      return true;
    }
    int64_t index = 0;
    if (!ReadReference(head, index)) return false;
    if (index < 0 || static_cast<size_t>(index) >= archive_.sharedStrings_.size()) return false;
    out = archive_.sharedStrings_[static_cast<size_t>(index)];
    return true;
  }

  int32_t AddEntry(Entry::Kind kind) {
    Entry entry;
    entry.kind = kind;
    archive_.entries_.push_back(std::move(entry));
    return static_cast<int32_t>(archive_.entries_.size() - 1);
  }

  // An existing entry of the given kind named by a reference head.
  bool ReadEntryReference(int head, Entry::Kind kind, int32_t& entry) {
    int64_t index = 0;
    if (!ReadReference(head, index)) return false;
    if (index < 0 || static_cast<size_t>(index) >= archive_.entries_.size()) return false;
    if (archive_.entries_[static_cast<size_t>(index)].kind != kind) return false;
    entry = static_cast<int32_t>(index);
    return true;
  }

  // A class and its superclass chain; nil gives -1. The chain ends with nil
  // or with a reference to a class read before.
  bool ReadClass(int head, int32_t& result) {
    result = -1;
    int32_t previous = -1;
    for (int links = 0; links < kMaxClassChain; ++links) {
      int32_t current = -1;
      bool last = true;
      if (head == kTagNil) {
        current = -1;
      } else if (head == kTagNew) {
        current = AddEntry(Entry::Kind::kClass);
        std::optional<std::string> name;
        int nameHead = 0, versionHead = 0;
        int64_t version = 0;
        if (!ReadHead(nameHead) || !ReadSharedString(nameHead, name) || !name) return false;
        if (!ReadHead(versionHead) || !ReadInteger(versionHead, true, version)) return false;
        archive_.entries_[current].name = std::move(*name);
        archive_.entries_[current].version = version;
        last = false;
      } else if (!ReadEntryReference(head, Entry::Kind::kClass, current)) {
        return false;
      }
      if (previous < 0)
        result = current;
      else
        archive_.entries_[previous].superclass = current;
      if (last) return true;
      previous = current;
      if (!ReadHead(head)) return false;
    }
    return false;
  }

  bool ReadObject(int head, Value& out, int depth) {
    out.type = Value::Type::kNil;
    if (head == kTagNil) return true;
    if (head != kTagNew) {
      int64_t index = 0;
      if (!ReadReference(head, index)) return false;
      if (index < 0 || static_cast<size_t>(index) >= archive_.entries_.size()) return false;
      out.type = Value::Type::kObject;
      out.reference = static_cast<int32_t>(index);
      return true;
    }
    int32_t index = AddEntry(Entry::Kind::kObject);
    out.type = Value::Type::kObject;
    out.reference = index;
    int classHead = 0;
    int32_t classEntry = -1;
    if (!ReadHead(classHead) || !ReadClass(classHead, classEntry) || classEntry < 0) return false;
    archive_.entries_[index].classEntry = classEntry;
    std::vector<std::vector<Value>> groups;
    objects_.push_back(index);
    bool ok = ReadObjectGroups(groups, depth);
    objects_.pop_back();
    archive_.entries_[index].groups = std::move(groups);
    archive_.entries_[index].complete = ok;
    return ok;
  }

  bool ReadObjectGroups(std::vector<std::vector<Value>>& groups, int depth) {
    for (;;) {
      int head = 0;
      if (!ReadHead(head)) return false;
      if (head == kTagEndOfObject) return true;
      std::vector<Value> group;
      bool ok = ReadGroup(head, group, depth);
      if (!group.empty()) groups.push_back(std::move(group));
      if (!ok) return false;
    }
  }

  bool ReadCString(int head, Value& out) {
    out.type = Value::Type::kNil;
    if (head == kTagNil) return true;
    int32_t index = -1;
    if (head != kTagNew) {
      if (!ReadEntryReference(head, Entry::Kind::kCString, index)) return false;
    } else {
      index = AddEntry(Entry::Kind::kCString);
      int textHead = 0;
      std::optional<std::string> text;
      if (!ReadHead(textHead) || !ReadSharedString(textHead, text)) return false;
      if (text) archive_.entries_[index].name = std::move(*text);
    }
    out.type = Value::Type::kCString;
    out.reference = index;
    return true;
  }

  // A group: its type encoding (a shared string), then one value per type.
  bool ReadGroup(int head, std::vector<Value>& group, int depth) {
    std::optional<std::string> encoding;
    if (!ReadSharedString(head, encoding) || !encoding || encoding->empty() ||
        encoding->size() > kMaxEncoding)
      return false;
    std::string_view types(*encoding);
    size_t cursor = 0;
    while (cursor < types.size()) {
      std::string_view type;
      if (!NextType(types, cursor, type, 0)) return false;
      group.emplace_back();
      if (!ReadValue(type, group.back(), depth)) return false;
    }
    return true;
  }

  // The next complete type of an encoding: a letter, [count type] or
  // {name=types}.
  static bool NextType(std::string_view types, size_t& cursor, std::string_view& type, int depth) {
    if (depth > kMaxDepth || cursor >= types.size()) return false;
    size_t start = cursor;
    char c = types[cursor];
    if (c != '\0' && std::strchr("cCsSiIlLqQfdB*%:+#@!", c)) {
      ++cursor;
    } else if (c == '[') {
      ++cursor;
      size_t digits = cursor;
      while (cursor < types.size() && types[cursor] >= '0' && types[cursor] <= '9') ++cursor;
      if (cursor == digits) return false;
      std::string_view element;
      if (!NextType(types, cursor, element, depth + 1)) return false;
      if (cursor >= types.size() || types[cursor] != ']') return false;
      ++cursor;
    } else if (c == '{') {
      ++cursor;
      while (cursor < types.size() && types[cursor] != '=' && types[cursor] != '}') {
        if (types[cursor] == '{' || types[cursor] == '[') return false;
        ++cursor;
      }
      if (cursor < types.size() && types[cursor] == '=') ++cursor;
      while (cursor < types.size() && types[cursor] != '}') {
        std::string_view field;
        if (!NextType(types, cursor, field, depth + 1)) return false;
      }
      if (cursor >= types.size()) return false;
      ++cursor;
    } else {
      return false;
    }
    type = types.substr(start, cursor - start);
    return true;
  }

  bool ReadValue(std::string_view type, Value& out, int depth) {
    if (depth > kMaxDepth || ++values_ > kMaxValues) return false;
    int head = 0;
    switch (type[0]) {
      case 'c':
      case 'C':
      case 'B': {
        uint8_t byte = 0;
        if (!ReadByte(byte)) return false;
        out.type = type[0] == 'C' ? Value::Type::kUnsigned : Value::Type::kSigned;
        out.integer = type[0] == 'c' ? static_cast<int8_t>(byte) : byte;
        return true;
      }
      case 's':
      case 'i':
      case 'l':
      case 'q':
      case 'S':
      case 'I':
      case 'L':
      case 'Q': {
        bool isSigned = type[0] >= 'a';
        out.type = isSigned ? Value::Type::kSigned : Value::Type::kUnsigned;
        return ReadHead(head) && ReadInteger(head, isSigned, out.integer);
      }
      case 'f':
      case 'd':
        out.type = Value::Type::kReal;
        return ReadHead(head) && ReadReal(head, type[0] == 'd', out.real);
      case '+': {
        std::optional<std::string> bytes;
        bool ok = ReadHead(head) && ReadUnsharedString(head, bytes);
        if (bytes) {
          out.type = Value::Type::kBytes;
          out.bytes = std::move(*bytes);
        }
        // A reader after the text alone stops once a string's contents are in.
        if (ok && untilText_ && !objects_.empty() && archive_.IsKindOf(objects_.back(), "NSString"))
          return false;
        return ok;
      }
      case '%':
      case ':': {
        std::optional<std::string> symbol;
        if (!ReadHead(head) || !ReadSharedString(head, symbol)) return false;
        if (symbol) {
          out.type = Value::Type::kSymbol;
          out.bytes = std::move(*symbol);
        }
        return true;
      }
      case '*':
        return ReadHead(head) && ReadCString(head, out);
      case '#': {
        int32_t entry = -1;
        if (!ReadHead(head) || !ReadClass(head, entry)) return false;
        if (entry >= 0) {
          out.type = Value::Type::kClass;
          out.reference = entry;
        }
        return true;
      }
      case '@':
        return ReadHead(head) && ReadObject(head, out, depth + 1);
      case '!':
        out.type = Value::Type::kIgnored;
        return true;
      case '[':
        return ReadArray(type, out, depth);
      case '{':
        return ReadStruct(type, out, depth);
      default:
        return false;
    }
  }

  bool ReadArray(std::string_view type, Value& out, int depth) {
    size_t cursor = 1;
    uint64_t count = 0;
    while (type[cursor] >= '0' && type[cursor] <= '9') {
      count = count * 10 + static_cast<uint64_t>(type[cursor] - '0');
      if (count > input_.Size()) return false;  // more elements than bytes left
      ++cursor;
    }
    std::string_view element = type.substr(cursor, type.size() - cursor - 1);
    if (element == "c" || element == "C") {
      std::string_view bytes;
      if (!input_.ReadView(count, bytes)) return false;
      out.type = Value::Type::kBytes;
      out.bytes.assign(bytes);
      return true;
    }
    out.type = Value::Type::kCompound;
    for (uint64_t i = 0; i < count; ++i) {
      out.items.emplace_back();
      if (!ReadValue(element, out.items.back(), depth + 1)) return false;
    }
    return true;
  }

  bool ReadStruct(std::string_view type, Value& out, int depth) {
    size_t cursor = type.find('=');
    cursor = cursor == std::string_view::npos ? type.size() - 1 : cursor + 1;
    out.type = Value::Type::kCompound;
    while (cursor < type.size() - 1) {
      std::string_view field;
      if (!NextType(type, cursor, field, depth + 1)) return false;
      out.items.emplace_back();
      if (!ReadValue(field, out.items.back(), depth + 1)) return false;
    }
    return true;
  }

  keldra::ByteCursor input_;
  Archive& archive_;
  std::optional<LengthOverride> override_;
  std::optional<Overrun> overrun_;
  size_t values_ = 0;
  std::vector<int32_t> objects_;  // the objects being read, innermost last
  bool untilText_;
};

std::optional<Archive> Archive::Read(const uint8_t* data, size_t size) {
  return Read(data, size, false);
}

std::optional<Archive> Archive::Read(const uint8_t* data, size_t size, bool untilText) {
  if (!data || size > kMaxInput) return std::nullopt;
  Archive archive;
  // A message body holds a dozen or two of each.
  archive.entries_.reserve(32);
  archive.sharedStrings_.reserve(32);
  Parser parser(data, size, archive, std::nullopt, untilText);
  if (!parser.ReadHeader()) return std::nullopt;
  parser.ReadAll();
  const std::optional<Overrun>& overrun = parser.overrun();
  // Only a reading to the end can tell where a string cut short ends.
  if (untilText && overrun) return Read(data, size, false);
  if (archive.complete_ || !overrun) return archive;
  // A string longer than what follows it: the shortest cut after which the
  // rest of the archive reads to its end is taken as the string. (Longer
  // cuts succeed trivially by swallowing everything but the closing marks.)
  size_t spent = 0;
  for (size_t cut = 0; cut < overrun->available && spent < kResyncBudget; ++cut) {
    Archive retry;
    Parser again(data, size, retry, LengthOverride{overrun->offset, cut});
    again.ReadHeader();
    again.ReadAll();
    if (retry.complete_) return retry;
    spent += again.position();
  }
  return archive;
}

const Entry* Archive::At(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return nullptr;
  return &entries_[static_cast<size_t>(index)];
}

bool Archive::IsKindOf(int32_t index, const char* className) const {
  const Entry* entry = At(index);
  if (!entry || entry->kind != Entry::Kind::kObject) return false;
  int32_t cls = entry->classEntry;
  // Superclass links may loop in a hostile archive.
  for (int links = 0; links < kMaxClassChain; ++links) {
    const Entry* classEntry = At(cls);
    if (!classEntry || classEntry->kind != Entry::Kind::kClass) return false;
    if (classEntry->name == className) return true;
    cls = classEntry->superclass;
  }
  return false;
}

std::vector<const Value*> Archive::Values(int32_t index) const {
  std::vector<const Value*> values;
  const Entry* entry = At(index);
  if (!entry || entry->kind != Entry::Kind::kObject) return values;
  for (const auto& group : entry->groups)
    for (const Value& value : group) values.push_back(&value);
  return values;
}

// ---- Foundation ------------------------------------------------------------

namespace {

constexpr int kMaxNesting = 8;

bool IsInteger(const Value& value) {
  return value.type == Value::Type::kSigned || value.type == Value::Type::kUnsigned;
}

std::optional<std::string> StringOfEntry(const Archive& archive, int32_t index, int nesting) {
  if (nesting > kMaxNesting) return std::nullopt;
  if (archive.IsKindOf(index, "NSString")) {
    const Value* bytes = archive.FindValue(
        index, [](const Value& value) { return value.type == Value::Type::kBytes; });
    if (bytes) return bytes->bytes;
    return std::nullopt;
  }
  if (archive.IsKindOf(index, "NSAttributedString")) {
    const Value* string = archive.FindValue(
        index, [](const Value& value) { return value.type == Value::Type::kObject; });
    if (string && string->reference != index)
      return StringOfEntry(archive, string->reference, nesting + 1);
  }
  return std::nullopt;
}

Attribute AttributeOf(const Archive& archive, int32_t index) {
  Attribute attribute;
  if (std::optional<std::string> text = StringOfEntry(archive, index, 0)) {
    attribute.kind = Attribute::Kind::kText;
    attribute.text = std::move(*text);
  } else if (archive.IsKindOf(index, "NSValue")) {
    // The value's type as a C string, then the value itself.
    for (const Value* value : archive.Values(index)) {
      if (IsInteger(*value)) {
        attribute.kind = Attribute::Kind::kInteger;
        attribute.integer = value->integer;
        attribute.text = value->type == Value::Type::kUnsigned
                             ? std::to_string(static_cast<uint64_t>(value->integer))
                             : std::to_string(value->integer);
        break;
      }
      if (value->type == Value::Type::kReal) {
        attribute.kind = Attribute::Kind::kReal;
        attribute.real = value->real;
        attribute.text = std::to_string(value->real);
        break;
      }
    }
  } else if (archive.IsKindOf(index, "NSURL")) {
    for (const Value* value : archive.Values(index)) {
      if (value->type != Value::Type::kObject || value->reference == index) continue;
      if (std::optional<std::string> text = StringOfEntry(archive, value->reference, 1)) {
        attribute.kind = Attribute::Kind::kText;
        attribute.text = std::move(*text);
      }
    }
  } else if (archive.IsKindOf(index, "NSData")) {
    const Value* bytes = archive.FindValue(
        index, [](const Value& value) { return value.type == Value::Type::kBytes; });
    if (bytes) {
      attribute.kind = Attribute::Kind::kData;
      attribute.integer = static_cast<int64_t>(bytes->bytes.size());
    }
  }
  return attribute;
}

// The attributes of an NSDictionary: its count, then key and value objects.
std::vector<Attribute> DictionaryAttributes(const Archive& archive, int32_t index) {
  std::vector<Attribute> attributes;
  if (!archive.IsKindOf(index, "NSDictionary")) return attributes;
  std::vector<const Value*> values = archive.Values(index);
  if (values.empty() || !IsInteger(*values[0]) || values[0]->integer < 0) return attributes;
  uint64_t count = static_cast<uint64_t>(values[0]->integer);
  for (size_t i = 1; i + 1 < values.size() && attributes.size() < count; i += 2) {
    const Value& key = *values[i];
    const Value& value = *values[i + 1];
    if (key.type != Value::Type::kObject || value.type != Value::Type::kObject) continue;
    std::optional<std::string> name = StringOfEntry(archive, key.reference, 0);
    if (!name) continue;
    Attribute attribute =
        value.reference == index ? Attribute{} : AttributeOf(archive, value.reference);
    attribute.key = std::move(*name);
    attributes.push_back(std::move(attribute));
  }
  return attributes;
}

// NSAttributedString's groups after its string: per run, the pair (run's
// attribute set number, length); a set number not seen before is followed by
// that set's dictionary, a known one refers back to it (numbered from 1).
std::vector<AttributeRun> RunsOf(const Archive& archive, int32_t index) {
  std::vector<AttributeRun> runs;
  const Entry* entry = archive.At(index);
  if (!entry || entry->kind != Entry::Kind::kObject) return runs;
  std::vector<std::vector<Attribute>> sets;
  int64_t pendingSet = 0;
  bool awaitingSet = false;
  for (size_t g = 1; g < entry->groups.size(); ++g) {
    const std::vector<Value>& group = entry->groups[g];
    if (group.size() == 2 && IsInteger(group[0]) && IsInteger(group[1])) {
      AttributeRun run;
      run.length = static_cast<uint64_t>(group[1].integer);
      pendingSet = group[0].integer;
      awaitingSet = pendingSet == static_cast<int64_t>(sets.size()) + 1;
      if (!awaitingSet && pendingSet >= 1 && static_cast<size_t>(pendingSet) <= sets.size())
        run.attributes = sets[static_cast<size_t>(pendingSet - 1)];
      runs.push_back(std::move(run));
    } else if (awaitingSet && group.size() == 1 && group[0].type == Value::Type::kObject &&
               group[0].reference != index) {
      sets.push_back(DictionaryAttributes(archive, group[0].reference));
      runs.back().attributes = sets.back();
      awaitingSet = false;
    }
  }
  return runs;
}

}  // namespace

std::optional<std::string> StringOf(const Archive& archive, int32_t index) {
  return StringOfEntry(archive, index, 0);
}

namespace {

// The first top-level object that is, or holds, a string.
std::optional<int32_t> TextObject(const Archive& archive) {
  for (const auto& group : archive.Groups())
    for (const Value& value : group)
      if (value.type == Value::Type::kObject && StringOf(archive, value.reference))
        return value.reference;
  return std::nullopt;
}

}  // namespace

std::optional<AttributedString> DecodeAttributedString(const uint8_t* data, size_t size) {
  std::optional<Archive> archive = Archive::Read(data, size);
  if (!archive) return std::nullopt;
  std::optional<int32_t> object = TextObject(*archive);
  if (!object) return std::nullopt;
  AttributedString result;
  result.text = *StringOf(*archive, *object);
  if (archive->IsKindOf(*object, "NSAttributedString")) result.runs = RunsOf(*archive, *object);
  result.complete = archive->Complete();
  return result;
}

std::optional<std::string> DecodeText(const uint8_t* data, size_t size) {
  // The attribute runs after the text need not be read.
  std::optional<Archive> archive = Archive::Read(data, size, true);
  if (!archive) return std::nullopt;
  std::optional<int32_t> object = TextObject(*archive);
  if (!object) return std::nullopt;
  return StringOf(*archive, *object);
}

}  // namespace host::typedstream
