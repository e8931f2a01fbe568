// Writes typedstream archives ("streamtyped", little-endian) the way the
// messages database stores a message's attributedBody: shared strings and
// classes are written once and referred back to afterwards.
#ifndef KELDRA_BUILDER_KINDS_TYPEDSTREAMWRITER_H_
#define KELDRA_BUILDER_KINDS_TYPEDSTREAMWRITER_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace builder {

class TypedStreamWriter {
 public:
  using ClassChain =
      std::vector<std::pair<std::string, int64_t>>;  // name, version; most derived first

  TypedStreamWriter();

  // A value group's type encoding ("@", "+", "iI", ...).
  void Types(const std::string& encoding);
  void Integer(int64_t value);
  // A length-prefixed byte string (type "+").
  void Bytes(const std::string& bytes);
  // A C string (type "*"): new the first time, a reference afterwards.
  void CString(const std::string& text);
  // Opens an object of the class chain (its classes written once, then
  // referred to); its groups follow until EndObject. Returns its number.
  int BeginObject(const ClassChain& classes);
  void EndObject();
  // A reference to an object begun before.
  void ObjectReference(int object);
  void Nil();

  const std::string& Data() const { return data_; }

 private:
  void Head(int value);
  void Reference(int index);
  void SharedString(const std::string& text);
  void UnsharedString(const std::string& text);

  std::string data_;
  std::map<std::string, int> sharedStrings_;
  std::map<std::string, int> classes_;   // class name -> object-table number
  std::map<std::string, int> cStrings_;  // text -> object-table number
  int objects_ = 0;                      // the object table's size
};

// One run of an attributed text: `length` UTF-16 units of the text, the
// message part it belongs to and, for an attachment's placeholder, the
// attachment's transfer GUID.
struct TextRun {
  uint64_t length = 0;
  int64_t part = 0;
  std::string fileTransferGuid;
};

// The runs Messages gives a text: every U+FFFC (an attachment's place) a run
// of its own carrying the next of `attachmentGuids`, the text between them
// runs of their own; parts counted from 0.
std::vector<TextRun> MessageRuns(const std::string& text,
                                 const std::vector<std::string>& attachmentGuids = {});

// An NSMutableAttributedString of `text` with the runs' attributes; runs
// with equal attributes share one archived dictionary. No runs: one run over
// the whole text, part 0.
std::string EncodeAttributedBody(const std::string& text, std::vector<TextRun> runs = {});

// The number of UTF-16 units of UTF-8 text.
uint64_t Utf16Length(const std::string& text);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_TYPEDSTREAMWRITER_H_
