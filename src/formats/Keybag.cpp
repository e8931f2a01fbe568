#include "formats/Keybag.h"

#include "formats/ByteCursor.h"

namespace vexa {
namespace {

constexpr size_t kRecordHeader = 8;
constexpr size_t kSaltLength = 20;
constexpr uint32_t kTypeMask = 0x3FFFFFFF;

// A tag as printable text for messages: hostile keybags carry any bytes.
std::string TagText(std::string_view tag) {
  std::string text;
  for (char c : tag) text += (c >= 0x20 && c < 0x7F) ? c : '?';
  return text;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// A 4-byte big-endian number.
bool ReadNumber(std::string_view tag, std::string_view value, uint32_t& out, std::string* error) {
  if (value.size() != 4)
    return Fail(error, TagText(tag) + " is " + std::to_string(value.size()) + " bytes, not 4");
  uint64_t number = 0;
  keldra::ByteCursor(value).ReadBigEndian(4, number);
  out = static_cast<uint32_t>(number);
  return true;
}

class KeybagParser {
 public:
  explicit KeybagParser(std::string* error) : error_(error) {}

  bool Record(std::string_view tag, std::string_view value) {
    if (tag == "UUID") {
      if (seenHeaderUuid_) {
        FinishEntry();
        inEntry_ = true;
        entry_ = KeybagClass{};
        entryHasClass_ = false;
      } else {
        seenHeaderUuid_ = true;
      }
      keybag_.otherRecords.emplace_back(tag, value);
      return true;
    }
    if (inEntry_) return EntryRecord(tag, value);
    return HeaderRecord(tag, value);
  }

  std::optional<Keybag> Finish() {
    FinishEntry();
    if (keybag_.salt.size() != kSaltLength) return Fail("SALT missing or not 20 bytes");
    if (!sawIterations_ || keybag_.iterations == 0) return Fail("ITER missing or zero");
    if (keybag_.iterations > kMaxIterations) return Fail("ITER beyond the supported limit");
    if (sawPasscodeSalt_ != sawPasscodeIterations_) return Fail("only one of DPSL and DPIC");
    if (sawPasscodeSalt_) {
      if (keybag_.passcodeSalt.size() != kSaltLength) return Fail("DPSL is not 20 bytes");
      if (keybag_.passcodeIterations == 0) return Fail("DPIC is zero");
      if (keybag_.passcodeIterations > kMaxPasscodeIterations)
        return Fail("DPIC beyond the supported limit");
    }
    if (failed_) return std::nullopt;
    return std::move(keybag_);
  }

  bool failed() const { return failed_; }

 private:
  std::nullopt_t Fail(std::string text) {
    vexa::Fail(error_, std::move(text));
    return std::nullopt;
  }

  bool HeaderRecord(std::string_view tag, std::string_view value) {
    uint32_t number = 0;
    if (tag == "VERS") return ReadNumber(tag, value, keybag_.version, error_);
    if (tag == "TYPE") {
      if (!ReadNumber(tag, value, number, error_)) return false;
      keybag_.type = number & kTypeMask;
      return true;
    }
    if (tag == "SALT") {
      keybag_.salt.assign(value);
      return true;
    }
    if (tag == "ITER") {
      sawIterations_ = true;
      return ReadNumber(tag, value, keybag_.iterations, error_);
    }
    if (tag == "DPSL") {
      sawPasscodeSalt_ = true;
      keybag_.passcodeSalt.assign(value);
      return true;
    }
    if (tag == "DPIC") {
      sawPasscodeIterations_ = true;
      return ReadNumber(tag, value, keybag_.passcodeIterations, error_);
    }
    // WRAP of the header, HMCK, DPWT and anything a later format adds.
    keybag_.otherRecords.emplace_back(tag, value);
    return true;
  }

  bool EntryRecord(std::string_view tag, std::string_view value) {
    if (tag == "CLAS") {
      entryHasClass_ = true;
      return ReadNumber(tag, value, entry_.protectionClass, error_);
    }
    if (tag == "WRAP") return ReadNumber(tag, value, entry_.wrap, error_);
    if (tag == "KTYP") return ReadNumber(tag, value, entry_.keyType, error_);
    if (tag == "WPKY") {
      entry_.wrappedKey.assign(value);
      return true;
    }
    keybag_.otherRecords.emplace_back(tag, value);  // PBKY and unknown tags
    return true;
  }

  void FinishEntry() {
    if (!inEntry_ || !entryHasClass_) return;
    for (const KeybagClass& known : keybag_.classes)
      if (known.protectionClass == entry_.protectionClass) return;
    if (keybag_.classes.size() >= kMaxClasses) {
      failed_ = true;
      vexa::Fail(error_, "more than " + std::to_string(kMaxClasses) + " classes");
      return;
    }
    keybag_.classes.push_back(std::move(entry_));
  }

  std::string* error_;
  Keybag keybag_;
  KeybagClass entry_;
  bool seenHeaderUuid_ = false;
  bool inEntry_ = false;
  bool entryHasClass_ = false;
  bool sawIterations_ = false;
  bool sawPasscodeSalt_ = false;
  bool sawPasscodeIterations_ = false;
  bool failed_ = false;
};

}  // namespace

std::optional<Keybag> ParseKeybag(std::string_view bytes, std::string* error) {
  KeybagParser parser(error);
  keldra::ByteCursor cursor(bytes);
  while (cursor.Remaining() >= kRecordHeader) {
    std::string_view tag, value;
    uint64_t length = 0;
    cursor.ReadView(4, tag);
    cursor.ReadBigEndian(4, length);
    if (!cursor.ReadView(length, value)) {
      Fail(error, "record " + TagText(tag) + " runs past the end of the keybag");
      return std::nullopt;
    }
    if (!parser.Record(tag, value) || parser.failed()) return std::nullopt;
  }
  if (!cursor.AtEnd()) {
    Fail(error, "keybag ends in the middle of a record header");
    return std::nullopt;
  }
  return parser.Finish();
}

}  // namespace vexa
