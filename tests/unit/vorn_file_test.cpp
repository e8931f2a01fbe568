// SHA-1 digests and file queries of VRNUtilityFile.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "vorn/VRNUtilityFile.h"
#include "vorn/VRNUtilityString.h"

namespace {

std::string Take(char* text) {
  std::string copy = text ? text : "(null)";
  VRNUtilityString::Free(text);
  return copy;
}

TEST(VornSha1, KnownVectorsInEveryForm) {
  const struct {
    std::string input;
    const char* digest;
  } vectors[] = {{"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
                 {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
                 {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                  "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
                 {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
                 {std::string("a\0b", 3), "4a3dec2d1f8245280855c42db0ee4239f917fdb8"}};
  for (const auto& v : vectors) {
    EXPECT_EQ(VRNUtilityFile::Sha1Hex(v.input.data(), v.input.size()), v.digest);
    char out[41];
    std::memset(out, 'Z', sizeof out);
    VRNUtilityFile::Sha1HexInto(v.input.data(), v.input.size(), out);
    EXPECT_STREQ(out, v.digest);
    EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(v.input.data(), v.input.size())), v.digest);
  }
  EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash("abc")), vectors[0].digest);
  EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(nullptr)), vectors[1].digest);
}

TEST(VornSha1, ThreadsShareNothing) {
  // Each thread reuses its own digest context; interleaved use must not mix.
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      char out[41];
      for (int i = 0; i < 2000; ++i) {
        const char* text = (i + t) % 2 ? "abc" : "HomeDomain-Library/SMS/sms.db";
        VRNUtilityFile::Sha1HexInto(text, std::strlen(text), out);
        const char* want = (i + t) % 2 ? "a9993e364706816aba3e25717850c26c9cd0d89d"
                                       : "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
        if (std::strcmp(out, want) != 0) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// A missing or unreadable file, a folder and no path at all measure 0; a
// link measures what it points to.
TEST(VornFile, SizeAndExistence) {
  testing_support::TempFolder folder;
  const std::string file = folder / "Fotos \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.jpg";
  testing_support::WriteFile(file, std::string("12345\0x", 7));
  testing_support::MakeFolders(folder / "sub");
  ASSERT_EQ(symlink(file.c_str(), (folder / "link").c_str()), 0);
  ASSERT_EQ(symlink((folder / "missing").c_str(), (folder / "dangling").c_str()), 0);
  testing_support::WriteFile(folder / "secret", "12345");
  ASSERT_EQ(chmod((folder / "secret").c_str(), 0), 0);

  const struct {
    std::string path;
    int64_t size;
    bool exists;
  } cases[] = {{file, 7, true},
               {folder / "link", 7, true},
               {folder / "sub", 0, true},
               {folder / "missing", 0, false},
               {folder / "dangling", 0, false},
               {folder / "secret", geteuid() == 0 ? 5 : 0, true},
               {"", 0, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(VRNUtilityFile::GetFileSize(c.path.c_str()), c.size) << c.path;
    EXPECT_EQ(VRNUtilityFile::GetFileSize(VRNUtilityString::Utf8ToUtf16(c.path).c_str()), c.size);
    EXPECT_EQ(VRNUtilityFile::IsFileExist(c.path.c_str()), c.exists) << c.path;
  }
  EXPECT_EQ(VRNUtilityFile::GetFileSize(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(static_cast<const char16_t*>(nullptr)), 0);
  EXPECT_FALSE(VRNUtilityFile::IsFileExist(nullptr));
}

}  // namespace
