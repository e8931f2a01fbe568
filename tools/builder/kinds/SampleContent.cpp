#include "builder/kinds/SampleContent.h"

#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"

namespace builder {
namespace {

constexpr int64_t kJune2024 = 739000000;  // seconds since 2001: 2024-06-01, roughly
constexpr int64_t kUnixOf2001 = 978307200;

}  // namespace

void AddSampleContacts(BackupBuilder& backup) {
  AddressBookWriter book;
  AddressBookWriter::Person anna;
  anna.first = "Anna";
  anna.last = "Example";
  anna.organization = "Example Bakery";
  anna.jobTitle = "Owner";
  anna.birthday = 86400 * 200;
  anna.creationDate = kJune2024 - 86400 * 400;
  anna.modificationDate = kJune2024;
  const int64_t annaId = book.AddPerson(anna);
  book.AddPhone(annaId, "+1 555 0100", "_$!<Mobile>!$_");
  book.AddPhone(annaId, "+1 555 0101", "_$!<Work>!$_");
  book.AddEmail(annaId, "anna@example.com", "_$!<Home>!$_");
  book.AddPostalAddress(annaId, "_$!<Work>!$_",
                        {{"Street", "1 Sample Street"},
                         {"City", "Springfield"},
                         {"State", "IL"},
                         {"ZIP", "62701"},
                         {"Country", "United States"},
                         {"CountryCode", "us"}});
  AddressBookWriter::MultiValue anniversary;
  anniversary.recordId = annaId;
  anniversary.property = AddressBookWriter::kDate;
  anniversary.label = "_$!<Anniversary>!$_";
  anniversary.value = std::to_string(86400 * 3000);
  book.AddMultiValue(anniversary);

  AddressBookWriter::Person ben;
  ben.first = "Ben";
  ben.middle = "T.";
  ben.last = "Sample";
  ben.nickname = "Benny";
  ben.creationDate = kJune2024 - 86400 * 30;
  ben.modificationDate = kJune2024 - 86400 * 2;
  const int64_t benId = book.AddPerson(ben);
  book.AddPhone(benId, "+1 555 0199", "Gym");
  AddressBookWriter::MultiValue chat;
  chat.recordId = benId;
  chat.property = AddressBookWriter::kMessaging;
  chat.label = "_$!<Other>!$_";
  chat.entries = {{"service", "Jabber"}, {"username", "ben.sample"}};
  book.AddMultiValue(chat);
  AddressBookWriter::MultiValue web;
  web.recordId = benId;
  web.property = AddressBookWriter::kUrl;
  web.label = "_$!<HomePage>!$_";
  web.value = "https://example.org/ben";
  book.AddMultiValue(web);

  AddressBookWriter::Person shop;
  shop.organization = "Corner Hardware";
  shop.kind = 1;  // a company card
  shop.creationDate = kJune2024 - 86400 * 90;
  shop.modificationDate = kJune2024 - 86400 * 90;
  const int64_t shopId = book.AddPerson(shop);
  book.AddPhone(shopId, "+1 555 0142", "_$!<Main>!$_");
  book.AddGroup("Family", {annaId, benId});
  book.AddTo(backup);
}

void AddSampleCalendar(BackupBuilder& backup) {
  CalendarWriter calendar;
  const int64_t home =
      calendar.AddCalendar({0, "6F1C2A3B-0001-4000-8000-000000000001", "Home", 0, "#1BADF8"});
  const int64_t work =
      calendar.AddCalendar({0, "6F1C2A3B-0002-4000-8000-000000000002", "Work", 0, "#FF2968FF"});
  CalendarWriter::Item dentist;
  dentist.calendarId = home;
  dentist.uuid = "A1000000-0001-4000-8000-000000000001";
  dentist.summary = "Dentist";
  dentist.startDate = kJune2024 + 3600 * 9;
  dentist.endDate = kJune2024 + 3600 * 10;
  dentist.startTz = "America/Chicago";
  dentist.id = 1;
  dentist.locationId = calendar.AddLocation({0, "Main Street Clinic", "5 Main Street", 1});
  const int64_t dentistId = calendar.AddItem(dentist);
  calendar.AddAlarm({0, dentistId, "A1A00000-0001-4000-8000-000000000001", -3600});
  calendar.AddAlarm({0, dentistId, "A1A00000-0002-4000-8000-000000000002", -900});

  CalendarWriter::Item standup;
  standup.calendarId = work;
  standup.uuid = "A1000000-0002-4000-8000-000000000002";
  standup.summary = "Stand-up";
  standup.url = "https://meet.example.com/standup";
  standup.startDate = kJune2024 + 3600 * 15;
  standup.endDate = kJune2024 + 3600 * 15 + 900;
  standup.startTz = "America/Chicago";
  const int64_t standupId = calendar.AddItem(standup);
  calendar.AddRecurrence(
      {0, standupId, "A1B00000-0001-4000-8000-000000000001", 2, 1, 0, kJune2024 + 86400 * 90});

  CalendarWriter::Item holiday;
  holiday.calendarId = home;
  holiday.uuid = "A1000000-0003-4000-8000-000000000003";
  holiday.summary = "Anna's birthday";
  holiday.startDate = kJune2024 + 86400 * 10;
  holiday.endDate = kJune2024 + 86400 * 11 - 1;
  holiday.startTz = "_float";
  holiday.allDay = 1;
  const int64_t holidayId = calendar.AddItem(holiday);
  calendar.AddRecurrence({0, holidayId, "A1B00000-0002-4000-8000-000000000002", 4, 1, 0, 0});

  CalendarWriter::Item lunch;
  lunch.calendarId = work;
  lunch.uuid = "A1000000-0004-4000-8000-000000000004";
  lunch.summary = "Lunch";
  lunch.startDate = kJune2024 + 3600 * 12;
  lunch.endDate = kJune2024 + 3600 * 13;
  calendar.AddItem(lunch);
  calendar.AddTo(backup);
}

void AddSampleCalls(BackupBuilder& backup) {
  CallHistoryDbWriter older;
  older.AddCall({"+15550100", kUnixOf2001 + kJune2024 - 86400 * 400, 125, 4, "", "us", "410"});
  older.AddCall({"+15550142", kUnixOf2001 + kJune2024 - 86400 * 399, 0, 5, "", "us", "410"});
  older.AddTo(backup);

  CallStoreWriter store;
  store.AddCall(
      {"", "+15550100", kJune2024 + 0.25, 1, 64.5, "us", "com.apple.Telephony", "Springfield, IL"});
  store.AddCall(
      {"", Cell::Blob("+15550199"), kJune2024 + 3600, 0, 0.0, "us", "com.apple.Telephony", ""});
  store.AddCall(
      {"", "anna@example.com", kJune2024 + 7200, 1, 300.0, "us", "com.apple.FaceTime", ""});
  store.AddTo(backup);
}

void AddSampleBookmarks(BackupBuilder& backup) {
  BookmarksWriter bookmarks;
  const int64_t news = bookmarks.AddFolder(1, "News", 0);
  bookmarks.AddBookmark(news, "Example News", "https://news.example.com/", 0);
  bookmarks.AddBookmark(news, "Weather", "https://weather.example.com/", 1);
  bookmarks.AddBookmark(1, "Example", "https://www.example.com/", 1);
  bookmarks.AddBookmark(0, "Apple", "https://www.apple.com/", 2);
  bookmarks.AddBookmark(2, "Long read", "https://blog.example.org/long-read", 0);
  bookmarks.AddTo(backup);
}

void AddSampleHistory(BackupBuilder& backup) {
  HistoryWriter history;
  const int64_t search = history.AddItem("https://search.example.com/?q=weather");
  const int64_t weather = history.AddItem("https://weather.example.com/");
  const int64_t news = history.AddItem("https://news.example.com/");
  history.AddVisit(search, kJune2024 + 100.5, "weather - Search");
  history.AddVisit(weather, kJune2024 + 130.25, "Weather");
  history.AddVisit(news, kJune2024 + 86400 + 10.0, "Example News");
  history.AddVisit(weather, kJune2024 + 86400 + 50.0, "Weather");
  history.AddTombstone(kJune2024 - 86400.0, kJune2024 - 3600.0, "https://old.example.com/");
  history.AddTo(backup);
}

}  // namespace builder
