#include "cli/ScanReport.h"

#include <cstring>

#include "cli/Common.h"
#include "cli/KindNames.h"

namespace cli {
namespace {

int IntMember(const rapidjson::Value& object, const char* name, int fallback) {
  auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsInt() ? member->value.GetInt() : fallback;
}

size_t SizeOf(const rapidjson::Value& value) {
  if (value.IsArray()) return value.Size();
  if (value.IsObject()) return value.MemberCount();
  return 0;
}

std::string Counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool EndsWith(const char* text, const char* suffix) {
  size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
  return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

// A series' opening message names the databases it found in members ending
// in "_path", an empty text where the backup holds none. A kind whose
// opening names no path at all sends it only once its database is open.
bool FoundADatabase(const rapidjson::Value& opening) {
  if (!opening.IsObject()) return false;
  bool namesPaths = false;
  for (const auto& member : opening.GetObject()) {
    if (!member.value.IsString() || !EndsWith(member.name.GetString(), "_path")) continue;
    if (member.value.GetStringLength() > 0) return true;
    namesPaths = true;
  }
  return !namesPaths;
}

// Bookmarks arrive as trees: a node with an address is a bookmark, one
// without is a folder.
void CountBookmarks(const rapidjson::Value& node, uint64_t& bookmarks, uint64_t& folders,
                    int depth) {
  if (!node.IsObject() || depth > 64) return;
  if (StringOf(node, "url").empty())
    ++folders;
  else
    ++bookmarks;
  auto children = node.FindMember("children");
  if (children == node.MemberEnd() || !children->value.IsArray()) return;
  for (const auto& child : children->value.GetArray())
    CountBookmarks(child, bookmarks, folders, depth + 1);
}

std::string ProblemSentence(const ReadProblem& problem) {
  const std::string& name = problem.path.empty() ? std::string("a database") : problem.path;
  std::string because = problem.detail.empty() ? "" : " (" + problem.detail + ")";
  if (problem.what == "missing")
    return name + " is listed in the backup's manifest, but its stored file is missing";
  if (problem.what == "not a regular file")
    return name + " is not a regular file in the backup folder, so it was not read";
  if (problem.what == "unreadable") return name + " could not be read" + because;
  if (problem.what == "query failed")
    return name + " could not be queried; its rows were not read" + because;
  return name + ": " + problem.what + because;
}

}  // namespace

const char* StatusWord(KindStatus status) {
  switch (status) {
    case KindStatus::kComplete:
      return "complete";
    case KindStatus::kIncomplete:
      return "incomplete";
    case KindStatus::kNoData:
      return "no data";
    case KindStatus::kNotRun:
      return "not run";
  }
  return "incomplete";
}

void ScanReport::Take(const rapidjson::Value& payload) {
  if (!payload.IsObject()) return;
  int type = IntMember(payload, "type", -1);
  const keldra::KindDescriptor* descriptor = keldra::KindOfType(type);
  int kind = descriptor ? descriptor->number : type;
  if (kind < 0) return;
  auto result = payload.FindMember("result");
  if (result == payload.MemberEnd()) return;
  int stage = IntMember(payload, "stage", -1);
  Tally& tally = tallies_[kind];
  tally.received = true;
  if (stage == 1 && FoundADatabase(result->value)) tally.hasDatabase = true;
  if (result->value.IsObject()) {
    auto problems = result->value.FindMember("problems");
    if (problems != result->value.MemberEnd() && problems->value.IsArray()) {
      for (const auto& problem : problems->value.GetArray())
        tally.problems.push_back(
            {StringOf(problem, "path"), StringOf(problem, "what"), StringOf(problem, "detail")});
      return;
    }
  }
  CountData(tally, kind, type, stage, IntMember(payload, "sub_type", 0), result->value);
}

void ScanReport::CountData(Tally& tally, int kind, int type, int stage, int subType,
                           const rapidjson::Value& result) {
  const keldra::KindDescriptor* descriptor = keldra::KindOfType(kind);
  const keldra::Tally how = descriptor ? descriptor->tally : keldra::Tally::kStageTwoItems;
  // Messages of an extra series count on their own.
  if (type != kind) {
    if (stage == 2) tally.extra += SizeOf(result);
    return;
  }
  switch (how) {
    case keldra::Tally::kChatsThenMessages:  // a chat, then its messages
    case keldra::Tally::kChatsAndMedia:
      if (stage == 2 && result.IsObject()) ++tally.groups;
      if (stage == 3) tally.items += SizeOf(result);
      break;
    case keldra::Tally::kCalendarsAndEvents:  // calendars, each carrying its events
      if (stage != 2 || !result.IsArray()) break;
      tally.groups += result.Size();
      for (const auto& calendar : result.GetArray()) {
        if (!calendar.IsObject()) continue;
        auto events = calendar.FindMember("events");
        if (events != calendar.MemberEnd()) tally.items += SizeOf(events->value);
      }
      break;
    case keldra::Tally::kPhotosAndAlbums:  // the camera roll, then the albums
      if (stage == 2 && subType == 0) tally.items += SizeOf(result);
      if (stage == 2 && subType == 1) tally.groups += SizeOf(result);
      break;
    case keldra::Tally::kBookmarkTree:
      if (stage == 2) CountBookmarks(result, tally.items, tally.groups, 0);
      break;
    case keldra::Tally::kStageTwoItems:  // one array (contacts: one object) of items
      if (stage == 2) tally.items += SizeOf(result);
      break;
  }
}

KindStatus ScanReport::StatusOf(int kind, bool closed, bool interrupted) const {
  auto found = tallies_.find(kind);
  if (found == tallies_.end() || !found->second.received)
    return interrupted ? KindStatus::kNotRun : KindStatus::kNoData;
  const Tally& tally = found->second;
  if (!closed || !tally.problems.empty()) return KindStatus::kIncomplete;
  return tally.hasDatabase ? KindStatus::kComplete : KindStatus::kNoData;
}

std::string ScanReport::CountText(int kind) const {
  auto found = tallies_.find(kind);
  if (found == tallies_.end() || !found->second.received) return "";
  const Tally& t = found->second;
  const keldra::KindDescriptor* descriptor = keldra::KindOfType(kind);
  if (!descriptor || descriptor->number != kind) return Counted(t.items, "item", "items");
  std::string text = Counted(t.items, descriptor->items.one, descriptor->items.many);
  if (descriptor->groups.one)
    text +=
        descriptor->groupsJoin + Counted(t.groups, descriptor->groups.one, descriptor->groups.many);
  if (descriptor->extra.one)
    text += ", " + Counted(t.extra, descriptor->extra.one, descriptor->extra.many);
  return text;
}

std::vector<std::string> ScanReport::ProblemSentences(int kind, bool closed) const {
  std::vector<std::string> sentences;
  auto found = tallies_.find(kind);
  if (found == tallies_.end() || !found->second.received) return sentences;
  if (!closed) sentences.push_back("the reading stopped before its end; what came is kept");
  size_t locked = 0;
  for (const ReadProblem& problem : found->second.problems) {
    if (problem.what == "locked")
      ++locked;
    else
      sentences.push_back(ProblemSentence(problem));
  }
  if (locked > 0) {
    bool notes = kind == 5;
    sentences.push_back(
        Counted(locked, notes ? "note is" : "item is", notes ? "notes are" : "items are") +
        (notes ? " locked with a notes password; " : " locked with a password; ") +
        (locked == 1 ? "its text was not read" : "their text was not read"));
  }
  return sentences;
}

void ScanReport::PrintTable(std::FILE* out, const std::vector<int>& kinds, bool interrupted,
                            const std::map<int, bool>& closed) const {
  std::fprintf(out, "%-20s  %-44s  %s\n", "KIND", "FOUND", "STATUS");
  for (int kind : kinds) {
    auto isClosed = closed.find(kind);
    bool kindClosed = isClosed != closed.end() && isClosed->second;
    KindStatus status = StatusOf(kind, kindClosed, interrupted);
    std::fprintf(out, "%-20s  %-44s  %s\n", KindNameOf(kind), CountText(kind).c_str(),
                 StatusWord(status));
    if (status != KindStatus::kIncomplete) continue;
    for (const std::string& sentence : ProblemSentences(kind, kindClosed))
      std::fprintf(out, "    - %s\n", sentence.c_str());
  }
}

}  // namespace cli
