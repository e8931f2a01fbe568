// The rows each page of the report shows, made from a kind's scan file and
// written as data files.
#ifndef HOST_REPORT_KINDROWS_H_
#define HOST_REPORT_KINDROWS_H_

#include <string>

#include "vorn/Json.h"

namespace report {

// How many data files a kind's page has.
struct KindData {
  size_t parts = 0;       // data/<kind>-<n>.js: the rows
  size_t groupParts = 0;  // data/<kind>-groups-<n>.js: calendars, chat lists
};

class MediaFiles;

// Where a kind's rows go and what came of them.
struct RowsTarget {
  std::string dataFolder;  // ends in "/"
  std::string kind;        // the kind's name, the stem of its files
  MediaFiles* media;       // the stored files the rows show
  KindData written;
  std::string error;  // why a file could not be written
};

// The page of a kind in this version of the report, "" when it has none.
const char* PageOf(const std::string& kind);

// Writes the rows of `kind` from its scan file's document. False with
// `target.error` set when a data file could not be written; a document of
// an unexpected shape gives an empty page.
bool WriteKindRows(const rapidjson::Value& scanFile, RowsTarget& target);

// The conversations of messages and WhatsApp (ConversationRows.cpp).
bool WriteMessageRows(const rapidjson::Value& scanFile, RowsTarget& target);
bool WriteWhatsAppRows(const rapidjson::Value& scanFile, RowsTarget& target);
// Photos and recordings (MediaRows.cpp).
bool WritePhotoRows(const rapidjson::Value& scanFile, RowsTarget& target);
bool WriteRecordingRows(const rapidjson::Value& scanFile, RowsTarget& target);

}  // namespace report

#endif  // HOST_REPORT_KINDROWS_H_
