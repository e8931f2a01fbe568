// The report read the way a person reads it: headless Chromium opens the
// demo backups' reports from file://, runs their script, and the DOM it ends
// with must show as many items as the scan's JSON files hold, show hostile
// text as text, and load nothing from outside the report folder. Screenshots
// of the overview and of a conversation are left in build/report-artefacts/.
// Skips when no Chromium is installed (`make deps` installs it).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "common/UniqueFd.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;

std::string Chromium() {
  for (const char* name : {"chromium", "chromium-browser"}) {
    std::string path = std::string("/usr/bin/") + name;
    if (access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

rapidjson::Document Json(const std::string& path) {
  rapidjson::Document document;
  document.Parse(ReadFile(path).c_str());
  EXPECT_FALSE(document.HasParseError()) << path;
  return document;
}

// The DOM of a report page once its script is done with it (or a screenshot
// of it), in a browser with a throwaway profile and the given time zone.
std::string Browse(const std::string& url, const std::string& zone,
                   const std::string& screenshot = "") {
  TempFolder profile;
  std::vector<std::string> arguments = {Chromium(),
                                        "--headless",
                                        "--no-sandbox",
                                        "--disable-gpu",
                                        "--no-first-run",
                                        "--disable-background-networking",
                                        "--disable-extensions",
                                        "--hide-scrollbars",
                                        "--user-data-dir=" + profile.Path(),
                                        "--virtual-time-budget=10000",
                                        "--window-size=1280,860"};
  arguments.push_back(screenshot.empty() ? "--dump-dom" : "--screenshot=" + screenshot);
  arguments.push_back(url);
  testing_support::ProcessOptions options;
  options.environment = {"TZ=" + zone, "HOME=" + profile.Path()};
  options.timeLimitMs = 90000;
  testing_support::ProcessResult run = testing_support::RunProcess(arguments, options);
  EXPECT_EQ(run.status, 0) << url << "\n" << run.err;
  return run.out;
}

// Elements carrying `attribute`. Text from the data cannot forge one: the
// DOM's serialisation escapes every "<" of a text node.
size_t Count(const std::string& dom, const std::string& attribute) {
  std::regex element("<[a-z0-9]+ [^<>]*\\b" + attribute + "=\"");
  return std::distance(std::sregex_iterator(dom.begin(), dom.end(), element),
                       std::sregex_iterator());
}

size_t BookmarkNodes(const rapidjson::Value& nodes) {
  size_t count = 0;
  for (const auto& node : nodes.GetArray())
    count += 1 + (node.HasMember("children") ? BookmarkNodes(node["children"]) : 0);
  return count;
}

struct Expected {
  const char* page;
  const char* attribute;
  std::function<size_t(const std::string& scan)> count;
};

size_t Items(const std::string& scan, const char* file) {
  return Json(scan + file).Size();
}

const Expected kPages[] = {
    {"index.html", "data-item",
     [](const std::string& s) { return size_t{Json(s + "summary.json")["kinds"].Size()}; }},
    {"contacts.html", "data-item", [](const std::string& s) { return Items(s, "contacts.json"); }},
    {"calls.html", "data-item", [](const std::string& s) { return Items(s, "calls.json"); }},
    {"history.html", "data-item", [](const std::string& s) { return Items(s, "history.json"); }},
    {"notes.html", "data-item", [](const std::string& s) { return Items(s, "notes.json"); }},
    {"notes.html", "data-locked",
     [](const std::string& s) {
       size_t locked = 0;
       const rapidjson::Document notes = Json(s + "notes.json");
       for (const auto& note : notes.GetArray())
         locked += note.HasMember("locked") && note["locked"].IsTrue();
       return locked;
     }},
    {"calendar.html", "data-group", [](const std::string& s) { return Items(s, "calendar.json"); }},
    {"calendar.html", "data-item",
     [](const std::string& s) {
       size_t events = 0;
       const rapidjson::Document calendars = Json(s + "calendar.json");
       for (const auto& calendar : calendars.GetArray()) events += calendar["events"].Size();
       return events;
     }},
    {"bookmarks.html", "data-item",
     [](const std::string& s) { return BookmarkNodes(Json(s + "bookmarks.json")); }},
    {"messages.html", "data-group", [](const std::string& s) { return Items(s, "messages.json"); }},
    {"photos.html", "data-item",
     [](const std::string& s) { return size_t{Json(s + "photos.json")["camera_roll"].Size()}; }},
    {"photos.html", "data-group",
     [](const std::string& s) { return size_t{Json(s + "photos.json")["albums"].Size()}; }},
    {"voice-memos.html", "data-item",
     [](const std::string& s) { return Items(s, "voice-memos.json"); }},
    {"whatsapp.html", "data-group",
     [](const std::string& s) { return size_t{Json(s + "whatsapp.json")["chats"].Size()}; }},
};

// Every load a page makes is a relative address inside the report, and the
// media it shows were copied there. Returns how many media it shows.
size_t ExpectOnlyLocalLoads(const std::string& dom, const std::string& report,
                            const std::string& page) {
  std::regex remote(
      "<(script|link|img|audio|video|source|iframe|embed|object)\\b[^>]*\\b(src|href)=\""
      "([a-zA-Z][a-zA-Z0-9+.-]*:|//|/)");
  EXPECT_FALSE(std::regex_search(dom, remote)) << page;
  std::regex media("<(img|audio) [^>]*\\bsrc=\"(media/[^\"]+)\"");
  size_t shown = 0;
  for (std::sregex_iterator at(dom.begin(), dom.end(), media), end; at != end; ++at, ++shown)
    EXPECT_EQ(access((report + (*at)[2].str()).c_str(), R_OK), 0) << page << " " << (*at)[2];
  return shown;
}

class ReportInBrowser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Chromium().empty()) return;
    root_ = new TempFolder;
    testing_support::ProcessOptions options;
    options.environment = {"XDG_CACHE_HOME=" + *root_ / "cache"};
    auto run = testing_support::RunKeldra({"demo", "--folder", *root_ / "demo"}, options);
    ASSERT_EQ(run.status, 0) << run.err;
  }
  static void TearDownTestSuite() {
    delete root_;
    root_ = nullptr;
  }
  void SetUp() override {
    if (Chromium().empty()) GTEST_SKIP() << "chromium is not installed (make deps installs it)";
  }
  static std::string Demo(const std::string& name) { return *root_ / "demo/" + name + "/"; }

  static TempFolder* root_;
};
TempFolder* ReportInBrowser::root_ = nullptr;

TEST_F(ReportInBrowser, EveryPageShowsWhatTheScanFound) {
  for (const char* backup : {"plain", "encrypted"}) {
    std::string scan = Demo(backup);
    size_t media = 0;
    for (const Expected& expected : kPages) {
      std::string dom = Browse("file://" + scan + "report/" + expected.page, "UTC");
      EXPECT_EQ(Count(dom, "data-ready"), 1u) << backup << " " << expected.page;
      EXPECT_EQ(Count(dom, expected.attribute), expected.count(scan))
          << backup << " " << expected.page << " " << expected.attribute;
      media += ExpectOnlyLocalLoads(dom, scan + "report/", expected.page);
    }
    EXPECT_EQ(media, Items(scan, "voice-memos.json")) << backup << ": a player per recording";
    // Each conversation, opened from the chat list's address (the two
    // backups hold the same chats).
    if (std::string(backup) == "encrypted") continue;
    for (const char* kind : {"messages", "whatsapp"}) {
      rapidjson::Document file = Json(scan + kind + ".json");
      const rapidjson::Value& chats = file.IsArray() ? file : file["chats"];
      for (rapidjson::SizeType chat = 0; chat < chats.Size(); ++chat) {
        std::string page = std::string(kind) + ".html#c=" + std::to_string(chat);
        std::string dom = Browse("file://" + scan + "report/" + page, "UTC");
        EXPECT_EQ(Count(dom, "data-item"), chats[chat]["messages"].Size()) << backup << " " << page;
        ExpectOnlyLocalLoads(dom, scan + "report/", page);
      }
    }
  }
  std::string artefacts = std::string(KELDRA_BIN_DIR) + "/../report-artefacts/";
  testing_support::MakeFolders(artefacts);
  Browse("file://" + Demo("plain") + "report/index.html", "UTC", artefacts + "index.png");
  Browse("file://" + Demo("plain") + "report/messages.html#c=1", "UTC",
         artefacts + "conversation.png");

  // Never inside the backup; nothing but a scan's folder is taken.
  EXPECT_EQ(testing_support::RunKeldra(
                {"report", Demo("plain"), "--to", *root_ / "demo/backups/plain/report"})
                .status,
            1);
  EXPECT_EQ(testing_support::RunKeldra({"report", *root_ / "demo/backups"}).status, 1);

  // The encrypted backup's media are deciphered: the plain one's bytes.
  std::vector<std::string> copied = testing_support::FolderEntries(Demo("plain") + "report/media");
  EXPECT_GT(copied.size(), 12u);
  for (const std::string& name : copied)
    EXPECT_EQ(ReadFile(Demo("encrypted") + "report/media/" + name),
              ReadFile(Demo("plain") + "report/media/" + name))
        << name;

  // The encrypted backup's report is as private as its scan.
  std::string report = Demo("encrypted") + "report/";
  for (const std::string& path :
       {report, report + "data/", report + "media/", report + "index.html",
        report + "data/summary.js", report + "messages.html"}) {
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & 077, 0u) << path;
  }
}

// A listening socket that counts the connections made to it.
class Listener {
 public:
  Listener() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(bind(fd_.get(), reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(listen(fd_.get(), 16), 0);
    getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  int Accepted() const {
    int count = 0;
    while (keldra::UniqueFd(accept(fd_.get(), nullptr, nullptr))) ++count;
    return count;
  }

 private:
  keldra::UniqueFd fd_;
  int port_ = 0;
};

// A picture the thumbnailer can read: a PNG of one colour.
std::string Png(uint32_t width, uint32_t height) {
  auto chunk = [](const std::string& type, const std::string& data) {
    std::string body = type + data;
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size());
    auto be = [](uint32_t n) {
      return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    };
    return be(data.size()) + body + be(crc);
  };
  std::string header =
      chunk("IHDR", std::string{char(width >> 24), char(width >> 16), char(width >> 8), char(width),
                                char(height >> 24), char(height >> 16), char(height >> 8),
                                char(height), 8, 2, 0, 0, 0});
  std::string rows;
  for (uint32_t y = 0; y < height; ++y) rows += '\0' + std::string(width * 3, '\x60');
  std::string packed(compressBound(rows.size()), '\0');
  uLongf size = packed.size();
  compress(reinterpret_cast<Bytef*>(&packed[0]), &size, reinterpret_cast<const Bytef*>(rows.data()),
           rows.size());
  packed.resize(size);
  return "\x89PNG\r\n\x1a\n" + header + chunk("IDAT", packed) + chunk("IEND", "");
}

void SetText(rapidjson::Value& object, const char* name, const std::string& text,
             rapidjson::Document& document) {
  object[name].SetString(text.c_str(), text.size(), document.GetAllocator());
}

TEST_F(ReportInBrowser, EditedScanShowsHostileTextAsTextAndPagesLongLists) {
  Listener listener;
  const std::string hostile =
      "<img src=x onerror=\"document.body.setAttribute('data-pwned','')\">"
      "<script>document.body.setAttribute('data-pwned','')</script>"
      "<img src=" +
      listener.Url() + "img>";
  // The plain demo's scan files with hostile texts in them.
  TempFolder scan;
  for (const char* file :
       {"summary.json", "device.json", "messages.json", "notes.json", "bookmarks.json",
        "contacts.json", "calls.json", "history.json", "calendar.json", "whatsapp.json"})
    testing_support::WriteFile(scan / file, ReadFile(Demo("plain") + file));
  rapidjson::Document messages = Json(scan / "messages.json");
  SetText(messages[0]["messages"][0], "text", hostile, messages);
  // And a chat longer than a page: "message 0" to "message 1200".
  rapidjson::Value& longChat = messages[3]["messages"];
  for (int n = 0; n <= 1200; ++n) {
    rapidjson::Value message(messages[2]["messages"][1], messages.GetAllocator());
    SetText(message, "text", "message " + std::to_string(n) + ".", messages);
    longChat.PushBack(message, messages.GetAllocator());
  }
  testing_support::WriteFile(scan / "messages.json", testing_support::Json(messages));
  rapidjson::Document notes = Json(scan / "notes.json");
  SetText(notes[2], "subject", hostile, notes);
  SetText(notes[0], "content", "<div>" + hostile + "</div>", notes);
  testing_support::WriteFile(scan / "notes.json", testing_support::Json(notes));
  rapidjson::Document bookmarks = Json(scan / "bookmarks.json");
  SetText(bookmarks[2], "url", "javascript:document.body.setAttribute('data-pwned','')", bookmarks);
  SetText(bookmarks[2], "name", hostile, bookmarks);
  testing_support::WriteFile(scan / "bookmarks.json", testing_support::Json(bookmarks));
  // A backup with a stored picture, which a WhatsApp message shows as a
  // thumbnail; media that name files outside the backup are never copied.
  builder::BackupBuilder(scan / "backup").Finish();
  const std::string id = "7b" + std::string(38, 'e'), png = Png(640, 480);
  testing_support::MakeFolders(scan / "backup/7b");
  testing_support::WriteFile(scan / "backup/7b/" + id, png);
  rapidjson::Document summary = Json(scan / "summary.json");
  SetText(summary, "backup", scan / "backup/", summary);
  testing_support::WriteFile(scan / "summary.json", testing_support::Json(summary));
  rapidjson::Document whatsapp = Json(scan / "whatsapp.json");
  rapidjson::Value& picture = whatsapp["chats"][1]["messages"][2]["media"];
  SetText(picture, "path", scan / "backup/7b/" + id, whatsapp);
  SetText(picture, "relativePath", "Message/Media/a/harbour.PNG", whatsapp);
  SetText(whatsapp["chats"][0]["messages"][2]["media"], "path",
          scan / "backup/../../../../../../etc/passwd", whatsapp);
  testing_support::WriteFile(scan / "whatsapp.json", testing_support::Json(whatsapp));

  // A kind file nested without end leaves its page out, and nothing else.
  testing_support::WriteFile(scan / "contacts.json",
                             std::string(200000, '[') + std::string(200000, ']'));
  // More visits than a page holds: "visit 0." to "visit 2499.".
  std::string visits;
  for (int n = 0; n < 2500; ++n)
    visits += (n ? ",{\"name\":\"visit " : "[{\"name\":\"visit ") + std::to_string(n) + ".\"}";
  testing_support::WriteFile(scan / "history.json", visits + "]");

  auto run = testing_support::RunKeldra({"report", scan.Path()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, scan / "report/index.html\n");
  EXPECT_NE(access((scan / "report/contacts.html").c_str(), F_OK), 0);

  std::string escaped = hostile;
  for (auto [from, to] : {std::pair{"<", "&lt;"}, std::pair{">", "&gt;"}})
    escaped = std::regex_replace(escaped, std::regex(from), to);
  for (const char* page : {"messages.html#c=0", "notes.html", "bookmarks.html"}) {
    std::string dom = Browse("file://" + scan / "report/" + page, "America/New_York");
    EXPECT_NE(dom.find(escaped), std::string::npos) << page;
    EXPECT_EQ(dom.find("<img"), std::string::npos) << page;
    EXPECT_EQ(dom.find("href=\"javascript:"), std::string::npos) << page;
    EXPECT_EQ(Count(dom, "data-pwned"), 0u) << page;
    EXPECT_EQ(Count(dom, "data-ready"), 1u) << page;
    // Shown in the browser's zone with its offset: 12:32 at +02:00 is 06:32 in New York.
    if (std::string(page).rfind("messages", 0) == 0) {
      EXPECT_NE(dom.find("2024-06-15 06:32:00 -04:00"), std::string::npos);
    }
  }
  EXPECT_EQ(listener.Accepted(), 0);
  EXPECT_EQ(testing_support::FolderEntries(scan / "report/media"),
            (std::vector<std::string>{id + ".png", "thumbs"}));
  EXPECT_EQ(ReadFile(scan / "report/media/" + id + ".png"), png);
  EXPECT_EQ(ReadFile(scan / "report/media/thumbs/" + id + ".jpg").substr(0, 3), "\xff\xd8\xff");
  std::string chat = Browse("file://" + scan / "report/whatsapp.html#c=1", "UTC");
  EXPECT_NE(chat.find("<a class=\"media\" target=\"_blank\" href=\"media/" + id +
                      ".png\"><img class=\"thumb\" alt=\"Harbour\" src=\"media/thumbs/" + id +
                      ".jpg\"></a>"),
            std::string::npos)
      << chat;

  // A search goes through every page of a kind, not only the one shown.
  std::string found = Browse("file://" + scan / "report/history.html?q=visit%202499.", "UTC");
  EXPECT_EQ(Count(found, "data-item"), 1u);
  EXPECT_NE(found.find(">visit 2499.<"), std::string::npos);

  // A long chat opens at its newest page, and offers the older ones.
  std::string dom = Browse("file://" + scan / "report/messages.html#c=3", "UTC");
  EXPECT_EQ(Count(dom, "data-item"), 500u);
  EXPECT_NE(dom.find(">message 1200.<"), std::string::npos);
  EXPECT_NE(dom.find(">message 701.<"), std::string::npos);
  EXPECT_EQ(dom.find(">message 700.<"), std::string::npos);
  EXPECT_NE(dom.find("<button type=\"button\" class=\"older\">"), std::string::npos);
}

}  // namespace
