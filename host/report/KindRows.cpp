#include "report/KindRows.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "report/DataParts.h"
#include "report/ScanValues.h"

namespace report {
namespace {

// Trees deeper than this are cut: a hostile or broken store must not
// exhaust the stack.
constexpr int kMaxDepth = 64;

bool Close(DataParts& parts, size_t* count, RowsTarget& target) {
  bool ok = parts.Finish();
  *count = parts.Parts();
  if (!ok && target.error.empty()) target.error = parts.Error();
  return ok;
}

// Contacts, calls, notes, visits: the scan's items as they are.
bool WriteItems(const rapidjson::Value& scanFile, RowsTarget& target) {
  DataParts parts(target.dataFolder, target.kind, kItemsPerPage);
  if (scanFile.IsArray())
    for (const auto& item : scanFile.GetArray())
      if (!parts.Add(item)) break;
  return Close(parts, &target.written.parts, target);
}

// When an event begins, as text that sorts in time: the UTC form where the
// scan gave one (all-day events give a plain date, which sorts with it).
std::string StartKey(const rapidjson::Value& event) {
  std::string source = Text(event, "start_date_source");
  return source.empty() ? Text(event, "start_date") : source;
}

// Events of every calendar in order of start, each naming its calendar by
// number; the calendars as groups.
bool WriteCalendar(const rapidjson::Value& scanFile, RowsTarget& target) {
  rapidjson::Document rows(rapidjson::kArrayType);
  auto& a = rows.GetAllocator();
  DataParts groups(target.dataFolder, target.kind + "-groups", kItemsPerPage);
  const rapidjson::Value& calendars = scanFile.IsArray() ? scanFile : EmptyArray();
  int number = 0;
  for (const auto& calendar : calendars.GetArray()) {
    if (!calendar.IsObject()) continue;
    const rapidjson::Value& events = ArrayMember(calendar, "events");
    rapidjson::Value group(rapidjson::kObjectType);
    group.AddMember("title", rapidjson::Value(Text(calendar, "title"), a), a);
    rapidjson::Value color(rapidjson::kArrayType);
    for (const auto& component : ArrayMember(calendar, "colorComponents").GetArray())
      if (component.IsNumber() && color.Size() < 3) color.PushBack(component.GetDouble(), a);
    group.AddMember("color", color, a);
    group.AddMember("events", events.Size(), a);
    groups.Add(group);
    for (const auto& event : events.GetArray()) {
      if (!event.IsObject()) continue;
      rapidjson::Value row(event, a);
      row.RemoveMember("calendar");
      row.AddMember("calendar", number, a);
      rows.PushBack(row, a);
    }
    ++number;
  }
  std::vector<const rapidjson::Value*> ordered;
  for (const auto& row : rows.GetArray()) ordered.push_back(&row);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const rapidjson::Value* x, const rapidjson::Value* y) {
                     return StartKey(*x) < StartKey(*y);
                   });
  DataParts parts(target.dataFolder, target.kind, kItemsPerPage);
  for (const rapidjson::Value* row : ordered)
    if (!parts.Add(*row)) break;
  bool ok = Close(groups, &target.written.groupParts, target);
  return Close(parts, &target.written.parts, target) && ok;
}

// A bookmark tree walked depth first, one row per folder or bookmark, so that
// a tree of any size pages like a list.
bool AddBookmark(const rapidjson::Value& node, int depth, DataParts& parts,
                 rapidjson::Document::AllocatorType& a) {
  if (!node.IsObject() || depth > kMaxDepth) return true;
  std::string url = Text(node, "url");
  rapidjson::Value row(rapidjson::kObjectType);
  row.AddMember("depth", depth, a);
  row.AddMember("name", rapidjson::Value(Text(node, "name"), a), a);
  row.AddMember("url", rapidjson::Value(url, a), a);
  row.AddMember("folder", url.empty(), a);
  if (!parts.Add(row)) return false;
  for (const auto& child : ArrayMember(node, "children").GetArray())
    if (!AddBookmark(child, depth + 1, parts, a)) return false;
  return true;
}

bool WriteBookmarks(const rapidjson::Value& scanFile, RowsTarget& target) {
  rapidjson::Document scratch;
  DataParts parts(target.dataFolder, target.kind, kItemsPerPage);
  if (scanFile.IsArray())
    for (const auto& node : scanFile.GetArray()) {
      scratch.GetAllocator().Clear();
      if (!AddBookmark(node, 0, parts, scratch.GetAllocator())) break;
    }
  return Close(parts, &target.written.parts, target);
}

struct KindPage {
  const char* kind;
  const char* page;
  bool (*write)(const rapidjson::Value& scanFile, RowsTarget& target);
};

constexpr KindPage kKindPages[] = {
    {"contacts", "contacts.html", WriteItems},
    {"messages", "messages.html", WriteMessageRows},
    {"calendar", "calendar.html", WriteCalendar},
    {"calls", "calls.html", WriteItems},
    {"notes", "notes.html", WriteItems},
    {"bookmarks", "bookmarks.html", WriteBookmarks},
    {"history", "history.html", WriteItems},
    {"whatsapp", "whatsapp.html", WriteWhatsAppRows},
    {"photos", "photos.html", WritePhotoRows},
    {"voice-memos", "voice-memos.html", WriteRecordingRows},
};

const KindPage* FindPage(const std::string& kind) {
  for (const KindPage& page : kKindPages)
    if (kind == page.kind) return &page;
  return nullptr;
}

}  // namespace

const char* PageOf(const std::string& kind) {
  const KindPage* page = FindPage(kind);
  return page ? page->page : "";
}

bool WriteKindRows(const rapidjson::Value& scanFile, RowsTarget& target) {
  const KindPage* page = FindPage(target.kind);
  return page ? page->write(scanFile, target) : true;
}

}  // namespace report
