// What one kind delivered during a scan, assembled from its stage messages
// into the shape a reader of the output expects:
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
//   whatsapp             {"chats": [ {<session>, "messages": [ {<message>, "media": {…}}, … ]}, … ],
//                         "media": [ <media item>, … ]}
#ifndef HOST_CLI_KINDOUTPUT_H_
#define HOST_CLI_KINDOUTPUT_H_

#include <memory>
#include <string>

#include "vorn/Json.h"

namespace cli {

class KindOutput {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  explicit KindOutput(int number);
  virtual ~KindOutput() = default;

  int Number() const { return number_; }
  // Takes one result payload of this kind (a copy is kept where needed).
  void Add(const rapidjson::Value& payload);
  // The kind has sent its closing message.
  bool Complete() const { return complete_; }
  // Completes the output (cross-references between series) once all has arrived.
  void Close();
  const rapidjson::Document& Output() const { return output_; }
  // Adds "count" (the top-level items of the output), further counts where
  // the kind has them, and "database_paths" to a summary entry.
  void Summarise(rapidjson::Value& entry, Allocator& allocator) const;
  size_t Count() const;

 protected:
  // One data message: stage, stage_total, type, sub_type as sent.
  virtual void AddData(const rapidjson::Value& result, int stage, int stageTotal, int type,
                       int subType) = 0;
  virtual void AddCounts(rapidjson::Value& entry, Allocator& allocator) const;
  virtual void Finish() {}
  // The array the count is taken from.
  virtual const rapidjson::Value& Items() const { return output_; }

  void MarkComplete();
  Allocator& Alloc() { return output_.GetAllocator(); }

  rapidjson::Document output_;

 private:
  int number_;
  bool complete_ = false;
  bool closed_ = false;
  rapidjson::Document paths_{rapidjson::kObjectType};
};

// The assembler for a kind number (11, WhatsApp's media series, belongs to 10).
std::unique_ptr<KindOutput> MakeKindOutput(int number);

}  // namespace cli

#endif  // HOST_CLI_KINDOUTPUT_H_
