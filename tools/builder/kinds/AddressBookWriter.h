// Library/AddressBook/AddressBook.sqlitedb as a device of the iOS 9 to 17
// generations leaves it: persons, multi-values with their labels and
// sub-entries, stores, groups, the bookkeeping tables, and the full-text
// index declared with the device's own tokenizer (which stock SQLite cannot
// load, so a reader must never touch it).
#ifndef KELDRA_BUILDER_KINDS_ADDRESSBOOKWRITER_H_
#define KELDRA_BUILDER_KINDS_ADDRESSBOOKWRITER_H_

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "builder/kinds/SqliteWriter.h"

namespace builder {

class AddressBookWriter : public DatabaseWriter {
 public:
  // ABMultiValue.property numbers.
  static constexpr int kPhone = 3;
  static constexpr int kEmail = 4;
  static constexpr int kAddress = 5;
  static constexpr int kDate = 12;
  static constexpr int kMessaging = 13;
  static constexpr int kUrl = 22;
  static constexpr int kRelatedName = 23;

  // Dates are seconds since 2001 (integers on devices; anything goes here).
  struct Person {
    int64_t id = 0;  // 0: the next row id
    Cell first{}, last{}, middle{}, prefix{}, suffix{};
    Cell firstPhonetic{}, middlePhonetic{}, lastPhonetic{};
    Cell displayName{}, organization{}, department{}, note{}, jobTitle{}, nickname{};
    Cell kind = 0;
    Cell birthday{}, creationDate{}, modificationDate{};
  };
  // A multi-value; a text label is stored once in ABMultiValueLabel, and each
  // sub-entry's key once in ABMultiValueEntryKey, numbered in first-use order.
  struct MultiValue {
    int64_t uid = 0;  // 0: the next UID
    int64_t recordId = 0;
    int property = 0;
    Cell label{};
    Cell value{};
    std::vector<std::pair<std::string, Cell>> entries;  // key, value
  };

  // Returns the person's row id.
  int64_t AddPerson(Person person);
  // Returns the multi-value's UID.
  int64_t AddMultiValue(MultiValue value);
  // Shorthands for the common properties.
  int64_t AddPhone(int64_t personId, const std::string& number, Cell label);
  int64_t AddEmail(int64_t personId, const std::string& address, Cell label);
  int64_t AddPostalAddress(int64_t personId, Cell label,
                           std::vector<std::pair<std::string, Cell>> parts);
  void AddGroup(const std::string& name, const std::vector<int64_t>& memberIds);

  // Leave the full-text index out (an older device, or a damaged file).
  bool withFullTextIndex = true;

  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override { return "Library/AddressBook/AddressBook.sqlitedb"; }

  size_t PersonCount() const { return persons_.size(); }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  static void CreateSchema(SqliteDatabase& database, bool withFullTextIndex);

  std::vector<Person> persons_;
  std::vector<MultiValue> values_;
  std::vector<std::pair<std::string, std::vector<int64_t>>> groups_;
  int64_t nextPersonId_ = 1;
  int64_t nextUid_ = 1;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_ADDRESSBOOKWRITER_H_
