// Kind 0: the address book. Every person of ABPerson becomes one contact
// object; its phone numbers, e-mail and web addresses, dates, related names,
// messaging accounts and postal addresses become arrays inside it. The
// contacts go to the host in batches of at most 100.
#ifndef KELDRA_KIND_CONTACT_CONTACT_H_
#define KELDRA_KIND_CONTACT_CONTACT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/Observer.h"
#include "common/Sqlite.h"
#include "kind/kind.h"

namespace keldra {

class Contact : public Kind {
 public:
  static constexpr const char* kDatabasePath = kKinds[0].database;

  Contact();
  ~Contact() override;

  void Run(const ScanContext& scan) override;

  // Fills the contact table. False when the database does not open or its
  // ABPerson statement does not prepare.
  bool ReadAddressBook(const std::string& path);
  // The simple entries of one property (phone, e-mail, URL, date, related
  // name), read from the database ReadAddressBook has open.
  void ReadMultiValues(int64_t property, const char* entityName);

  // A label in the device's built-in form _$!<Word>!$_ becomes the word in
  // lower case (true); any other label is left as it is (false).
  static bool ParseLabel(std::string& label);
  // The JSON key of a postal-address sub-entry key, or null for keys the
  // contact object does not carry.
  static const char* MapAddressKey(std::string_view key);

  const rapidjson::Document& Contacts() const { return *contacts_; }
  const std::string& DatabasePath() const { return databasePath_; }

 private:
  enum class EntryForm { kMessaging, kAddress };

  void ReadPersons(sqlite3_stmt* statement);
  // Messaging (13) and postal-address (5) entries, assembled from their
  // sub-entry rows.
  void ReadStructuredEntries(const char* sql, const char* entityName, EntryForm form);
  rapidjson::Value* FindContact(int64_t rowId);
  // The contact's array under `entityName`, added empty when missing.
  rapidjson::Value& EntryArray(rapidjson::Value& contact, const char* entityName);
  void AddLabelMember(rapidjson::Value& entry, Allocator& allocator, std::string_view labelText);
  void SendBatches(const std::string& taskId);

  std::unique_ptr<rapidjson::Document> contacts_;  // root object: row id text -> contact
  std::string databasePath_;
  // Where complete reading finds the database.
  const size_t databaseWatch_ = WatchDatabase(kDatabasePath);
  sqlite::Database database_;  // open while ReadAddressBook runs
  // Row id -> the contact's value inside contacts_; valid once every person
  // is in (the table gains no members afterwards).
  std::unordered_map<int64_t, rapidjson::Value*> byRowId_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_CONTACT_CONTACT_H_
