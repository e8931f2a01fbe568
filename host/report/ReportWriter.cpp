#include "report/ReportWriter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include "keldra/Kinds.h"
#include "report/DataParts.h"
#include "report/KindRows.h"
#include "report/Pages.h"
#include "report/ReportAssets.h"
#include "report/ScanValues.h"

namespace report {
namespace {

// What a kind's file counts, and the other counts the summary gives it.
struct CountWords {
  const char* kind;
  const char* one;
  const char* many;
};
constexpr CountWords kFileUnits[] = {
    {"contacts", "contact", "contacts"},
    {"messages", "chat", "chats"},
    {"message-attachments", "attachment", "attachments"},
    {"calendar", "calendar", "calendars"},
    {"calls", "call", "calls"},
    {"notes", "note", "notes"},
    {"photos", "photo or video", "photos and videos"},
    {"voice-memos", "recording", "recordings"},
    {"bookmarks", "top-level bookmark or folder", "top-level bookmarks and folders"},
    {"history", "visit", "visits"},
    {"whatsapp", "chat", "chats"},
};
constexpr CountWords kExtraCounts[] = {
    {"messages", "message", "messages"},
    {"albums", "album", "albums"},
    {"media", "media file", "media files"},
};

std::string Counted(int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool HasCount(const rapidjson::Value& object, const char* name) {
  auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsInt64();
}

// "4 chats, 9 messages"; "" for a kind that wrote no file.
std::string FoundText(const std::string& kind, const rapidjson::Value& entry) {
  if (!HasCount(entry, "count")) return "";
  std::string text;
  for (const CountWords& unit : kFileUnits)
    if (kind == unit.kind) text = Counted(entry["count"].GetInt64(), unit.one, unit.many);
  for (const CountWords& extra : kExtraCounts)
    if (HasCount(entry, extra.kind))
      text += ", " + Counted(entry[extra.kind].GetInt64(), extra.one, extra.many);
  return text;
}

bool KnownKind(const std::string& name) {
  for (const keldra::KindDescriptor& kind : keldra::kKinds)
    if (name == kind.name) return true;
  return false;
}

rapidjson::Value Copy(const rapidjson::Value& value, Allocator& a) {
  return value.IsNull() ? rapidjson::Value(rapidjson::kObjectType) : rapidjson::Value(value, a);
}

// One kind's line of the summary, its data files written first.
bool DescribeKind(const ReportInput& input, const rapidjson::Value& entry,
                  const std::string& reportFolder, MediaFiles& media, rapidjson::Value& kinds,
                  Allocator& a, std::string* error) {
  std::string name = Text(entry, "name");
  if (!KnownKind(name)) return true;  // no file is ever named after an unknown text
  rapidjson::Value line(rapidjson::kObjectType);
  line.AddMember("name", rapidjson::Value(name, a), a);
  line.AddMember("status", rapidjson::Value(Text(entry, "status"), a), a);
  line.AddMember("found", rapidjson::Value(FoundText(name, entry), a), a);
  rapidjson::Value problems(rapidjson::kArrayType);
  for (const auto& problem : ArrayMember(entry, "problems").GetArray())
    if (problem.IsString()) problems.PushBack(rapidjson::Value(problem, a), a);
  line.AddMember("problems", problems, a);

  std::string page = PageOf(name);
  RowsTarget target{reportFolder + "data/", name, &media, {}, ""};
  if (!page.empty() && !Text(entry, "file").empty()) {
    ScanFile scanFile;
    std::string readError;
    if (!ReadJsonFile(input.scanFolder + name + ".json", scanFile, &readError)) {
      // A kind file that is gone or broken leaves its page out; the others go on.
      page.clear();
      line["problems"].PushBack(rapidjson::Value(readError, a), a);
    } else if (!WriteKindRows(scanFile.document, target)) {
      *error = target.error;
      return false;
    } else {
      if (!WriteReportFile(reportFolder + page, PageHtml(name))) {
        *error = "cannot write " + reportFolder + page + ": " + std::strerror(errno);
        return false;
      }
    }
  } else {
    page.clear();
  }
  line.AddMember("page", rapidjson::Value(page, a), a);
  line.AddMember("parts", static_cast<uint64_t>(target.written.parts), a);
  line.AddMember("groupParts", static_cast<uint64_t>(target.written.groupParts), a);
  kinds.PushBack(line, a);
  return true;
}

// Messages name their attachments by the device's paths; the attachment
// list says where each is stored.
void KnowAttachments(const ReportInput& input, const rapidjson::Value& summary, MediaFiles& media) {
  bool scanned = false;
  for (const auto& entry : ArrayMember(summary, "kinds").GetArray())
    scanned =
        scanned || (Text(entry, "name") == "message-attachments" && !Text(entry, "file").empty());
  ScanFile attachments;
  std::string error;
  if (!scanned ||
      !ReadJsonFile(input.scanFolder + "message-attachments.json", attachments, &error) ||
      !attachments.document.IsArray())
    return;
  for (const auto& attachment : attachments.document.GetArray())
    media.KnowDevicePath(Text(attachment, "QueryPath"), Text(attachment, "Path"));
}

// Deeper than any file a scan writes (a bookmark tree is cut at 64 levels).
constexpr int kMaxNesting = 80;

bool NestedWithin(const rapidjson::Value& root, int limit) {
  std::vector<std::pair<const rapidjson::Value*, int>> open{{&root, 0}};
  while (!open.empty()) {
    auto [value, depth] = open.back();
    open.pop_back();
    if (depth > limit) return false;
    if (value->IsArray())
      for (const auto& element : value->GetArray()) open.push_back({&element, depth + 1});
    else if (value->IsObject())
      for (const auto& member : value->GetObject()) open.push_back({&member.value, depth + 1});
  }
  return true;
}

bool MakeFolder(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  *error = "cannot create " + path + ": " + std::strerror(errno);
  return false;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
  if (WriteReportFile(path, bytes)) return true;
  *error = "cannot write " + path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ReadJsonFile(const std::string& path, ScanFile& file, std::string* error) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0 || !in.seekg(0)) {
    *error = "cannot read " + path;
    return false;
  }
  file.text.assign(static_cast<size_t>(size), '\0');
  if (!in.read(&file.text[0], size)) {
    *error = "cannot read " + path;
    return false;
  }
  rapidjson::Document& document = file.document;
  // Parsed without recursion, and refused when nested deeper than any scan
  // writes: copying and writing values recurse.
  document.ParseInsitu<rapidjson::kParseIterativeFlag>(&file.text[0]);
  if (document.HasParseError()) {
    *error = path + " is not JSON: " + rapidjson::GetParseError_En(document.GetParseError()) +
             " at byte " + std::to_string(document.GetErrorOffset());
    return false;
  }
  if (!NestedWithin(document, kMaxNesting)) {
    *error = path + " is nested deeper than a scan's files are";
    document.SetNull();
    return false;
  }
  return true;
}

bool IsReportEntry(const std::string& name) {
  if (name == "index.html" || name == "assets" || name == "data" || name == "media") return true;
  for (const keldra::KindDescriptor& kind : keldra::kKinds)
    if (name == std::string(kind.name) + ".html") return true;
  return false;
}

bool WriteReport(const ReportInput& input, const std::string& reportFolder, std::string* error) {
  const rapidjson::Value& summary = *input.summary;
  if (!MakeFolder(reportFolder + "assets", error) || !MakeFolder(reportFolder + "data", error))
    return false;
  if (!WriteFile(reportFolder + "assets/report.js", kReportScript, error) ||
      !WriteFile(reportFolder + "assets/report.css", kReportStyle, error))
    return false;

  rapidjson::Document shown(rapidjson::kObjectType);
  auto& a = shown.GetAllocator();
  shown.AddMember("device", Copy(*input.device, a), a);
  const rapidjson::Value& encrypted = Member(summary, "encrypted");
  shown.AddMember("encrypted", encrypted.IsBool() && encrypted.GetBool(), a);
  rapidjson::Value scan(rapidjson::kObjectType);
  scan.AddMember("status", rapidjson::Value(Text(summary, "status"), a), a);
  scan.AddMember("started", rapidjson::Value(Text(summary, "started"), a), a);
  rapidjson::Value failures(rapidjson::kArrayType);
  for (const auto& failure : ArrayMember(summary, "failures").GetArray())
    if (failure.IsString()) failures.PushBack(rapidjson::Value(failure, a), a);
  scan.AddMember("failures", failures, a);
  shown.AddMember("scan", scan, a);
  shown.AddMember("made", rapidjson::Value(input.made, a), a);

  // Without media no stored file is ever named, so none is copied.
  MediaFiles media(input.mediaBackup, reportFolder, input.decipher);
  KnowAttachments(input, summary, media);
  rapidjson::Value kinds(rapidjson::kArrayType);
  for (const auto& entry : ArrayMember(summary, "kinds").GetArray())
    if (entry.IsObject() && !DescribeKind(input, entry, reportFolder, media, kinds, a, error))
      return false;
  shown.AddMember("kinds", kinds, a);
  shown.AddMember("media", static_cast<uint64_t>(media.Wanted()), a);
  rapidjson::Value mediaProblems(rapidjson::kArrayType);
  std::vector<std::string> problems = input.mediaProblems;
  for (std::string& problem : media.CopyAll()) problems.push_back(std::move(problem));
  for (const std::string& problem : problems)
    mediaProblems.PushBack(rapidjson::Value(problem, a), a);
  shown.AddMember("mediaProblems", mediaProblems, a);

  std::string data = DataScript("summary", JsonText(shown));
  if (data.size() > kMaxFileBytes) {
    *error = "the scan's summary is too large for a report";
    return false;
  }
  return WriteFile(reportFolder + "data/summary.js", data, error) &&
         WriteFile(reportFolder + "index.html", PageHtml("index"), error);
}

}  // namespace report
