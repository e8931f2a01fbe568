// What one kind delivered during a scan, written to its file as its stage
// messages arrive, in the shape a reader of the output expects:
//
//   contacts             [ {"record_id": …, <contact>}, … ]
//   messages             [ {<conversation>, "messages": [ … ]}, … ]
//   message-attachments  [ <attachment>, … ]
//   calendar             [ {<calendar>, "events": [ … ]}, … ]
//   calls                [ <call>, … ]
//   notes                [ <note>, … ]
//   photos               {"camera_roll": [ … ], "albums": [ {<album>, "photos": [ … ]}, … ]}
//   voice-memos          [ <recording>, … ]
//   bookmarks            [ <top-level item with its "children">, … ]
//   history              [ <visit>, … ]   newest first
//   whatsapp             {"chats": [ {<session>, "messages": [ {<message>, "media": {…}}, … ]}, …
//   ],
//                         "media": [ <media item>, … ]}
//
// Only what a later series refers back to is held (the photo albums, the
// WhatsApp media items); everything else goes to the file at once, so a
// scan's memory does not grow with what the backup holds.
#ifndef HOST_CLI_KINDOUTPUT_H_
#define HOST_CLI_KINDOUTPUT_H_

#include <memory>
#include <string>

#include "cli/JsonFileWriter.h"
#include "vorn/Json.h"

namespace cli {

class KindOutput {
 public:
  using Allocator = rapidjson::Document::AllocatorType;
  using Writer = JsonFileWriter::Writer;

  explicit KindOutput(int number);
  virtual ~KindOutput() = default;

  int Number() const { return number_; }
  // Starts the kind's file at `path`; later calls keep the file begun.
  // False when it cannot be created.
  bool Begin(const std::string& path);
  // Takes one result payload of this kind; its data goes to the file begun.
  void Add(const rapidjson::Value& payload);
  // The kind has sent its closing message.
  bool Complete() const { return complete_; }
  // Ends the output and puts its file in place; false when it could not be
  // written.
  bool End();
  // Adds "count" (the top-level items of the output), further counts where
  // the kind has them, and "database_paths" to a summary entry.
  void Summarise(rapidjson::Value& entry, Allocator& allocator) const;
  size_t Count() const { return count_; }

 protected:
  // One data message: stage, stage_total, type, sub_type as sent.
  virtual void AddData(const rapidjson::Value& result, int stage, int stageTotal, int type,
                       int subType) = 0;
  virtual void AddCounts(rapidjson::Value& entry, Allocator& allocator) const;
  // The opening of the output, and all that closes it once data has ended.
  virtual void WriteStart(Writer& out) { out.StartArray(); }
  virtual void WriteEnd(Writer& out) { out.EndArray(); }

  void MarkComplete();
  // Where data goes: the file begun, or nowhere when none could be.
  Writer& Out();
  size_t count_ = 0;  // top-level items

 private:
  int number_;
  bool complete_ = false;
  bool ended_ = false;
  std::unique_ptr<JsonFileWriter> file_;
  rapidjson::Document paths_{rapidjson::kObjectType};
};

// The output for a kind number; an extra series' type names its kind's output.
std::unique_ptr<KindOutput> MakeKindOutput(int number);

}  // namespace cli

#endif  // HOST_CLI_KINDOUTPUT_H_
