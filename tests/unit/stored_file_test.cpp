// Opening what a backup stores: only a regular file reached without a link is
// ever read, and nothing that stands in its place can make an open block.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "common/Sqlite.h"
#include "common/StoredFile.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr char kId[] = "ab0123456789abcdef0123456789abcdef012345";

void BindSocket(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  path.copy(address.sun_path, path.size());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);  // the socket file stays
}

// Runs `check` in a child that an alarm ends, so an open that blocks fails
// the case (142) instead of hanging the suite; the child's exit status is
// what `check` returns.
int RunBounded(const std::function<int()>& check) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(5);
    _exit(check());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What an open came to: readers keep the path of a missing file (its open
// fails later) but not of a refused one.
enum Outcome { kOpens = 0, kRefused = 1, kMissing = 2 };
int OutcomeOf(const std::optional<keldra::RegularFile>& file) {
  return file ? kOpens : errno == ENOENT ? kMissing : kRefused;
}

TEST(StoredFile, OnlyRegularFilesInsideTheBackupOpen) {
  TempFolder root;
  const std::string backup = root / "backup/";
  const std::string outside = root / "outside/";
  testing_support::MakeFolders(outside);
  WriteFile(outside + "secret", "secret");
  WriteFile(outside + kId, "secret");
  const std::string stored = backup + "ab/" + kId;

  struct Case {
    const char* name;
    std::function<void()> plant;  // puts something at `stored`, or elsewhere
    std::string fileId;
    Outcome outcome;
    bool lastComponent;  // the full path alone tells (what SQLite is given)
  };
  const Case cases[] = {
      {"regular file", [&] { WriteFile(stored, ""); }, kId, kOpens, true},
      {"nothing there", [] {}, kId, kMissing, true},
      {"link to an outside file", [&] { symlink((outside + "secret").c_str(), stored.c_str()); },
       kId, kRefused, true},
      {"link to /dev/null", [&] { symlink("/dev/null", stored.c_str()); }, kId, kRefused, true},
      {"FIFO", [&] { mkfifo(stored.c_str(), 0600); }, kId, kRefused, true},
      {"folder", [&] { mkdir(stored.c_str(), 0700); }, kId, kRefused, true},
      {"socket", [&] { BindSocket(stored); }, kId, kRefused, true},
      {"linked sub-folder",
       [&] {
         rmdir((backup + "ab").c_str());
         symlink(outside.c_str(), (backup + "ab").c_str());
       },
       kId, kRefused, false},
      {"parent file id", [] {}, "../outside/secret", kRefused, false},
      {"two dots", [] {}, "..", kRefused, false},
      {"id whose sub-folder is the parent", [] {}, ".." + std::string(kId + 2), kRefused, false},
      {"dot", [] {}, ".", kRefused, false},
      {"NUL inside", [] {}, std::string("ab\0cd", 5), kRefused, false},
      {"empty", [] {}, "", kRefused, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(backup + "ab");
    testing_support::MakeFolders(backup + "ab");
    c.plant();

    std::string relative = keldra::StoredRelativePath(c.fileId, true);
    EXPECT_EQ(RunBounded([&] { return OutcomeOf(keldra::OpenStoredFile(backup, relative)); }),
              c.outcome);
    if (!c.lastComponent) continue;
    EXPECT_EQ(RunBounded([&] { return OutcomeOf(keldra::OpenRegularFile(stored)); }), c.outcome);
    EXPECT_EQ(RunBounded([&] { return keldra::sqlite::OpenReadOnly(stored) ? kOpens : kRefused; }),
              c.outcome == kOpens ? kOpens : kRefused);
  }
}

}  // namespace
