// What a scan tells a person about each kind once it is over: how many items
// in the words people count them by (events, not calendars), whether the kind
// read everything, and in plain sentences what it could not read.
//
// It listens to the raw result messages on their own, beside the kind's
// output assembler, so the counts do not depend on how that file is built.
#ifndef HOST_CLI_SCANREPORT_H_
#define HOST_CLI_SCANREPORT_H_

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "vorn/Json.h"

namespace cli {

// One thing a kind could not read, as its closing message named it.
struct ReadProblem {
  std::string path;
  std::string what;  // missing, not a regular file, unreadable, query failed, locked
  std::string detail;
};

enum class KindStatus { kComplete, kIncomplete, kNoData, kNotRun };

const char* StatusWord(KindStatus status);

class ScanReport {
 public:
  // One result message of the scan, as sent (the WhatsApp media series counts
  // with WhatsApp).
  void Take(const rapidjson::Value& payload);

  // `closed`: the kind's closing message arrived; `interrupted`: the scan
  // was stopped before its end.
  KindStatus StatusOf(int kind, bool closed, bool interrupted) const;
  // "43 events in 3 calendars"; "" for a kind that sent nothing.
  std::string CountText(int kind) const;
  // One sentence per problem, locked notes gathered into one.
  std::vector<std::string> ProblemSentences(int kind, bool closed) const;

  // The closing table: one line per kind, its problems below it.
  void PrintTable(std::FILE* out, const std::vector<int>& kinds, bool interrupted,
                  const std::map<int, bool>& closed) const;

 private:
  struct Tally {
    bool received = false;
    bool hasDatabase = false;  // a series named a database it found
    uint64_t items = 0;        // the kind's main unit
    uint64_t groups = 0;       // chats, calendars, albums, folders
    uint64_t extra = 0;        // WhatsApp media files
    std::vector<ReadProblem> problems;
  };

  void CountData(Tally& tally, int kind, int type, int stage, int subType,
                 const rapidjson::Value& result);

  std::map<int, Tally> tallies_;
};

}  // namespace cli

#endif  // HOST_CLI_SCANREPORT_H_
