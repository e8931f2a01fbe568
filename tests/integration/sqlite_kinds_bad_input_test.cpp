// Damaged and hostile databases for the five SQLite kinds: files that are
// not SQLite, missing tables and columns, rows of NULLs, bytes that are not
// UTF-8, dates far outside any calendar, a label of a megabyte and a
// bookmark chain thousands of folders deep. Every kind sends its usual
// series (reviewed in tests/golden/cases/bad-input-*), never crashes and
// leaves the backup as it was.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "builder/kinds/SqliteWriter.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::Cell;

class BadInput : public testing::Test {
 protected:
  std::string Folder() const { return folder_ / "backup/"; }
  // Scans with every kind, checking that the backup is left as it was.
  std::vector<std::string> Scan() {
    const std::string before = testing_support::TreeSnapshot(Folder());
    std::vector<std::string> results = kind_scan::ScanResults(Folder(), "[0, 3, 4, 8, 9]");
    EXPECT_EQ(testing_support::TreeSnapshot(Folder()), before);
    return results;
  }
  // Stores the databases of a data file below tests/golden: an "@ domain
  // path" line starts one, the SQL up to the next line of that kind makes it.
  void AddDatabases(const std::string& name) {
    builder::BackupBuilder backup(Folder());
    std::istringstream lines(testing_support::ReadFile(kind_scan::GoldenPath(name)));
    std::string domain, path, sql;
    auto store = [&] {
      if (path.empty()) return;
      builder::SqliteDatabase database("");
      database.Exec(sql);
      backup.AddFile(domain, path, database.Serialize());
      sql.clear();
    };
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("@ ", 0) != 0) {
        sql += line + "\n";
        continue;
      }
      store();
      std::istringstream(line.substr(2)) >> domain >> path;
    }
    store();
  }
  testing_support::TempFolder folder_;
};

TEST_F(BadInput, FilesThatAreNotSqliteGiveEmptySeries) {
  {
    builder::BackupBuilder backup(Folder());
    int n = 0;
    for (const char* path :
         {"Library/AddressBook/AddressBook.sqlitedb", "Library/Calendar/Calendar.sqlitedb",
          "Library/CallHistoryDB/CallHistory.storedata", "Library/Safari/Bookmarks.db",
          "Library/Safari/History.db"})
      backup.AddFile("HomeDomain", path,
                     n++ % 2 ? std::string(5000, '\x8f') : "not a database, just text\n");
    backup.AddFile("WirelessDomain", "Library/CallHistory/call_history.db",
                   std::string(5000, '\x8f'));
  }
  // The paths of the files found are reported all the same.
  kind_scan::ExpectGolden("cases/bad-input-not-sqlite.jsonl", Scan());
}

TEST_F(BadInput, MissingTablesAndColumnsDropOnlyWhatTheyHold) {
  AddDatabases("cases/bad-input-missing-tables.sql");
  kind_scan::ExpectGolden("cases/bad-input-missing-tables.jsonl", Scan());
}

TEST_F(BadInput, RowsOfNullsAreReadAsEmptyValues) {
  kind_scan::ScopedTimeZone zone("UTC0");
  AddDatabases("cases/bad-input-null-rows.sql");
  kind_scan::ExpectGolden("cases/bad-input-null-rows.jsonl", Scan());
}

// The bookmark chain is cut below a fixed depth instead of exhausting a stack.
TEST_F(BadInput, BrokenTextAndImpossibleDatesStayValidJson) {
  const std::string broken = "caf\xc3\xa9 \xff\xfe half \xe2\x82";
  const std::string megabyte(1 << 20, 'A');
  {
    builder::BackupBuilder backup(Folder());
    builder::AddressBookWriter book;
    builder::AddressBookWriter::Person person;
    person.first = broken;
    person.birthday = static_cast<int64_t>(1) << 62;
    person.creationDate = -1e300;
    person.modificationDate = "not a date";
    const int64_t id = book.AddPerson(person);
    book.AddPhone(id, broken, "_$!<" + megabyte + ">!$_");
    book.AddPhone(id, "2", "_$!<" + megabyte + ">" + ">!$_");
    builder::AddressBookWriter::MultiValue date;
    date.recordId = id;
    date.property = builder::AddressBookWriter::kDate;
    date.value = "99999999999999999999999";
    book.AddMultiValue(date);
    book.AddTo(backup);

    builder::CallStoreWriter store;
    store.AddCall({broken, Cell::Blob("\x80\x81"), 1e300, 7, 1e300});
    store.AddCall({"", "", -9.2e18, 1, -5.0});
    store.AddTo(backup);
    builder::CallHistoryDbWriter calls;
    calls.AddCall({"", INT64_MIN, INT64_MAX, 4});
    calls.AddTo(backup);

    builder::HistoryWriter history;
    history.AddVisit(history.AddItem(broken), 9.9e307, broken);
    history.AddTo(backup);

    builder::BookmarksWriter bookmarks;
    int64_t parent = 1;
    for (int i = 0; i < 5000; ++i) parent = bookmarks.AddFolder(parent, "Level", 0);
    bookmarks.AddBookmark(parent, broken, "https://deep.example.com/", 0);
    bookmarks.AddTo(backup);
  }
  std::vector<std::string> results = Scan();  // no violation: every text is valid JSON
  for (std::string& text : results) {
    kind_scan::ReplaceAll(text, megabyte, "<1 MiB of A>");
    kind_scan::ReplaceAll(text, std::string(1 << 20, 'a'), "<1 MiB of a>");
  }
  kind_scan::ExpectGolden("cases/bad-input-broken-text.jsonl", results);
}

}  // namespace
