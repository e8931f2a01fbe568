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
  EXPECT_NE(text, nullptr);
  std::string copy = text ? text : "";
  VRNUtilityString::Free(text);
  return copy;
}

TEST(VornSha1, KnownVectors) {
  struct Vector {
    std::string input;
    const char* digest;
  };
  const Vector vectors[] = {
      {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      // The stored name of sms.db in a backup: SHA-1 of domain-relativePath.
      {"HomeDomain-Library/SMS/sms.db", "3d0d7e5fb2ce288813306e4d4636395e047a3d28"},
      {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
  };
  for (const auto& v : vectors) {
    EXPECT_EQ(VRNUtilityFile::Sha1Hex(v.input.data(), v.input.size()), v.digest);
    char out[41];
    std::memset(out, 'Z', sizeof out);
    VRNUtilityFile::Sha1HexInto(v.input.data(), v.input.size(), out);
    EXPECT_STREQ(out, v.digest);
    EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(v.input.data(), v.input.size())), v.digest);
    if (v.input.size() < 100) {
      EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(v.input.c_str())), v.digest);
    }
  }
  // A null text digests as the empty one.
  EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(nullptr)),
            "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  // The counted form digests bytes after a NUL too.
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(Take(VRNUtilityFile::CalcStringToSha1Hash(withNul.data(), withNul.size())),
            VRNUtilityFile::Sha1Hex(withNul.data(), withNul.size()));
  EXPECT_NE(VRNUtilityFile::Sha1Hex(withNul.data(), withNul.size()),
            VRNUtilityFile::Sha1Hex("a", 1));
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

TEST(VornFile, SizeAndExistence) {
  testing_support::TempFolder folder;
  const std::string file = folder / "data.bin";
  const std::string named = folder / "Fotos \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80.jpg";
  const std::string empty = folder / "empty";
  testing_support::WriteFile(file, std::string("12345\0x", 7));
  testing_support::WriteFile(named, "abc");
  testing_support::WriteFile(empty, "");
  testing_support::MakeFolders(folder / "sub");

  EXPECT_EQ(VRNUtilityFile::GetFileSize(file.c_str()), 7);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(empty.c_str()), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize((folder / "sub").c_str()), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize((folder / "missing").c_str()), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(""), 0);

  const std::u16string wide = VRNUtilityString::Utf8ToUtf16(named);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(wide.c_str()), 3);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(static_cast<const char16_t*>(nullptr)), 0);

  EXPECT_TRUE(VRNUtilityFile::IsFileExist(file.c_str()));
  EXPECT_TRUE(VRNUtilityFile::IsFileExist((folder / "sub").c_str()));
  EXPECT_FALSE(VRNUtilityFile::IsFileExist((folder / "missing").c_str()));
  EXPECT_FALSE(VRNUtilityFile::IsFileExist(nullptr));
  EXPECT_FALSE(VRNUtilityFile::IsFileExist(""));

  // A symbolic link counts as what it points to.
  ASSERT_EQ(symlink(file.c_str(), (folder / "link").c_str()), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize((folder / "link").c_str()), 7);
  ASSERT_EQ(symlink((folder / "missing").c_str(), (folder / "dangling").c_str()), 0);
  EXPECT_FALSE(VRNUtilityFile::IsFileExist((folder / "dangling").c_str()));
}

TEST(VornFile, UnreadableFileHasSizeZero) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  testing_support::TempFolder folder;
  const std::string file = folder / "secret";
  testing_support::WriteFile(file, "12345");
  ASSERT_EQ(chmod(file.c_str(), 0), 0);
  EXPECT_EQ(VRNUtilityFile::GetFileSize(file.c_str()), 0);
  EXPECT_TRUE(VRNUtilityFile::IsFileExist(file.c_str()));
}

}  // namespace
