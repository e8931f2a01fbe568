#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Platform.h"
#include "platform/PlatformReply.h"
#include "platform/sms/SmsReader.h"

namespace host {
namespace {

// Reads in progress between their pages, by the token of their next page.
// A reader that is abandoned (its scan stopped) is dropped once a few newer
// ones are open, so open statements and copies cannot pile up.
class OpenPages {
 public:
  static OpenPages& Get() {
    static OpenPages pages;
    return pages;
  }

  static std::string TokenOf(uint64_t number) { return kPrefix + std::to_string(number); }

  uint64_t Reserve() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counter_;
  }

  void Keep(uint64_t number, std::unique_ptr<sms::ConversationPages> pages) {
    std::lock_guard<std::mutex> lock(mutex_);
    open_.emplace(number, std::move(pages));
    while (open_.size() > kMaxOpen) open_.erase(open_.begin());
  }

  // The reader the token was handed out for, taken out; null when unknown
  // or when it reads another database.
  std::unique_ptr<sms::ConversationPages> Take(const std::string& token, const std::string& path) {
    if (token.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return nullptr;
    uint64_t number = 0;
    try {
      number = std::stoull(token.substr(sizeof kPrefix - 1));
    } catch (const std::exception&) {
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = open_.find(number);
    if (found == open_.end() || found->second->Path() != path) return nullptr;
    std::unique_ptr<sms::ConversationPages> pages = std::move(found->second);
    open_.erase(found);
    return pages;
  }

 private:
  static constexpr char kPrefix[] = "sms-page-";
  static constexpr size_t kMaxOpen = 4;
  std::mutex mutex_;
  uint64_t counter_ = 0;
  std::map<uint64_t, std::unique_ptr<sms::ConversationPages>> open_;
};

// The next page of `pages`; the reader is kept for the page after it.
std::unique_ptr<rapidjson::Document> NextPage(std::unique_ptr<sms::ConversationPages> pages,
                                              size_t budget) {
  uint64_t number = OpenPages::Get().Reserve();
  std::unique_ptr<rapidjson::Document> reply = pages->NextPage(budget, OpenPages::TokenOf(number));
  if (!pages->Done()) OpenPages::Get().Keep(number, std::move(pages));
  return reply;
}

}  // namespace

// {"path": database, "productVersion": ...}: the layout is read from the
// file itself, so the version is not needed. With "page_messages" the reply
// is the first page of a read in pages (sms::ConversationPages); "next" from
// a page asks for the one after it.
bool AnswerSmsQueryConversationList(PluginMessage& message, const PlatformOptions& options) {
  try {
    rapidjson::Document request;
    if (!ParseRequest(message, request)) return false;
    std::optional<std::string> path = StringMember(request, "path");
    if (!path) return false;
    auto budget = request.FindMember("page_messages");
    if (budget == request.MemberEnd() || !budget->value.IsUint64() ||
        budget->value.GetUint64() == 0) {
      std::unique_ptr<rapidjson::Document> reply = sms::ReadConversationList(*path, options);
      if (!reply) return false;
      return Answer(message, std::move(reply));
    }
    std::unique_ptr<sms::ConversationPages> pages;
    if (std::optional<std::string> next = StringMember(request, "next"))
      pages = OpenPages::Get().Take(*next, *path);
    else
      pages = sms::ConversationPages::Open(*path, options);
    if (!pages) return false;
    std::unique_ptr<rapidjson::Document> reply =
        NextPage(std::move(pages), static_cast<size_t>(budget->value.GetUint64()));
    if (!reply) return false;
    return Answer(message, std::move(reply));
  } catch (const std::exception&) {
    // Nothing escapes into the module's call; an unreadable file is unanswered.
    return false;
  }
}

}  // namespace host
