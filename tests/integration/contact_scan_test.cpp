// The address book as a scan delivers it: person members, labels, entries
// assembled from sub-entry rows, and batches of 100.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::AddressBookWriter;
using kind_scan::Parse;
using kind_scan::ScanResults;

constexpr int64_t kJune2024 = 739000000;

// Everything one scan shows at once; reviewed in tests/golden/contacts.jsonl.
AddressBookWriter RichAddressBook() {
  AddressBookWriter book;
  AddressBookWriter::Person anna;
  anna.first = "Anna";
  anna.middle = "Maria";
  anna.last = "Example";
  anna.prefix = "Dr.";
  anna.suffix = "Jr.";
  anna.firstPhonetic = "AN-na";
  anna.middlePhonetic = "ma-RI-a";
  anna.lastPhonetic = "ex-AM-ple";
  anna.displayName = "Annie";
  anna.organization = "Example Bakery";
  anna.department = "Pastry";
  anna.note = "Prefers e-mail.\nSecond line.";
  anna.jobTitle = "Owner";
  anna.nickname = "Nan";
  anna.birthday = 86400.0 * 200 + 0.75;  // a fraction is dropped
  anna.creationDate = kJune2024 - 86400 * 400;
  anna.modificationDate = kJune2024;
  const int64_t annaId = book.AddPerson(anna);

  // The first address delivers its unmapped key first: only "id" and the label.
  book.AddPostalAddress(annaId, "Cottage", {{"SubLocality", "Old Town"}, {"City", "Lakeside"}});
  book.AddPhone(annaId, "+1 555 0100", "_$!<Mobile>!$_");
  book.AddPhone(annaId, "+1 555 0101", "Gym");
  book.AddEmail(annaId, "anna@example.com", "_$!<Home>!$_");
  book.AddPostalAddress(annaId, "_$!<Work>!$_",
                        {{"Street", "1 Sample Street"},
                         {"State", "IL"},
                         {"ZIP", "62701"},
                         {"Country", "United States"},
                         {"CountryCode", "us"}});
  book.AddMultiValue({0,
                      annaId,
                      AddressBookWriter::kMessaging,
                      "_$!<Other>!$_",
                      {},
                      {{"service", "Jabber"}, {"username", "anna.example"}, {"Nonsense", "x"}}});
  book.AddMultiValue(
      {0, annaId, AddressBookWriter::kUrl, "_$!<HomePage>!$_", "https://example.org/anna", {}});
  book.AddMultiValue(
      {0, annaId, AddressBookWriter::kDate, "_$!<Anniversary>!$_", "259200000.875", {}});
  book.AddMultiValue(
      {0, annaId, AddressBookWriter::kRelatedName, "_$!<Mother>!$_", "Helga Example", {}});

  // Empty and missing names, zero dates, odd labels.
  AddressBookWriter::Person bare;
  bare.first = "";
  bare.birthday = 0;
  const int64_t bareId = book.AddPerson(bare);
  book.AddPhone(bareId, "+1 555 0199", "x_$!<Mobile>!$_");
  book.AddPhone(bareId, "+1 555 0198", "_$!<>!$_");
  book.AddPhone(bareId, "+1 555 0197", nullptr);
  book.AddEmail(bareId, "anna@example.com", "_$!<WORK>!$_");  // same address as Anna's
  book.AddMultiValue({0,
                      bareId,
                      AddressBookWriter::kEmail,
                      "_$!<Home>!$_",
                      {},
                      {}});  // a NULL value is not an entry

  AddressBookWriter::Person company;
  company.organization = "Corner Hardware";
  company.kind = 1;
  company.creationDate = kJune2024;
  company.modificationDate = kJune2024;
  book.AddPerson(company);

  // Entries of a person who does not exist are dropped.
  book.AddPhone(999, "+1 555 0000", "_$!<Mobile>!$_");
  book.AddMultiValue({0, 999, AddressBookWriter::kMessaging, {}, {}, {{"username", "ghost"}}});
  book.AddGroup("Family", {annaId, bareId});
  return book;
}

TEST(ContactScan, DeliversPersonsWithTheirEntries) {
  kind_scan::ScopedTimeZone zone;
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    RichAddressBook().AddTo(backup);
  }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[0]");
  kind_scan::ExpectGolden("contacts.jsonl", results);
}

TEST(ContactScan, SendsContactsInBatchesOfAHundred) {
  testing_support::TempFolder folder;
  {
    AddressBookWriter book;
    for (int i = 0; i < 250; ++i) {
      AddressBookWriter::Person person;
      person.first = "Person " + std::to_string(i);
      book.AddPhone(book.AddPerson(person), "+1 555 " + std::to_string(1000 + i), "_$!<Mobile>!$_");
    }
    builder::BackupBuilder backup(folder / "backup");
    book.AddTo(backup);
  }
  // "stage/total members first-member" of each message of the kind.
  std::vector<std::string> outline;
  for (const auto& message : Parse(ScanResults(folder / "backup/", "[0]"))) {
    if (!message->HasMember("stage_total")) continue;
    const rapidjson::Value& result = (*message)["result"];
    std::string first = result.MemberCount() ? result.MemberBegin()->name.GetString() : "-";
    if (first == "count") first += "=" + std::to_string(result["count"].GetInt());
    outline.push_back(std::to_string((*message)["stage"].GetInt()) + "/" +
                      std::to_string((*message)["stage_total"].GetInt()) + " " +
                      std::to_string(result.MemberCount()) + " " + first);
  }
  EXPECT_THAT(outline, testing::ElementsAre("1/3 2 count=250", "2/3 100 1", "2/3 100 101",
                                            "2/3 50 201", "3/3 0 -"));
}

}  // namespace
