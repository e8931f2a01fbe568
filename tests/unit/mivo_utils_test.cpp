// Text, path, number and pattern helpers of mivo's Utils.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "mivo/Utils.h"

namespace {

TEST(MivoUtilsPath, FileNameAndExtension) {
  struct Case {
    const char* path;
    const char* name;
    const char* stem;
    const char* ext;
  };
  const Case cases[] = {{"/var/mobile/Media/DCIM/100APPLE/IMG_1.JPG", "IMG_1.JPG", "IMG_1", "JPG"},
                        {"C:\\Backup\\a.tar.gz", "a.tar.gz", "a.tar", "gz"},
                        {"mixed/sep\\name.txt", "name.txt", "name", "txt"},
                        {"a.b/c", "c", "c", ""},  // the dot belongs to a folder
                        {"plain", "plain", "plain", ""},
                        {".hidden", ".hidden", ".hidden", ""},  // a leading dot starts no extension
                        {"dir/.hidden.txt", ".hidden.txt", ".hidden", "txt"},
                        {"..", "..", "..", ""},
                        {"archive.", "archive.", "archive", ""},
                        {"folder/", "", "", ""},
                        {"", "", "", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utils::GetFileName(c.path), c.name) << c.path;
    EXPECT_EQ(Utils::GetFileNameWithoutExt(c.path), c.stem) << c.path;
    EXPECT_EQ(Utils::GetFilePostfix(c.path), c.ext) << c.path;
  }
  EXPECT_STREQ(Utils::GetPathSeperatorLine(), "/");
}

TEST(MivoUtilsNumbers, LeadingDigitsSaturate) {
  EXPECT_EQ(Utils::ParseLeadingInt64("123abc"), 123);
  EXPECT_EQ(Utils::ParseLeadingInt64("12.7"), 12);
  EXPECT_EQ(Utils::ParseLeadingInt64("  \t5"), 5);  // leading white space skipped, as atoll
  EXPECT_EQ(Utils::ParseLeadingInt64("-42x"), -42);
  EXPECT_EQ(Utils::ParseLeadingInt64("+7"), 7);
  EXPECT_EQ(Utils::ParseLeadingInt64("- 5"), 0);
  EXPECT_EQ(Utils::ParseLeadingInt64(""), 0);
  EXPECT_EQ(Utils::ParseLeadingInt64(nullptr), 0);
  EXPECT_EQ(Utils::ParseLeadingInt64("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(Utils::ParseLeadingInt64("9223372036854775808"), INT64_MAX);
  EXPECT_EQ(Utils::ParseLeadingInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(Utils::ParseLeadingInt64("-9223372036854775809"), INT64_MIN);
  EXPECT_EQ(Utils::ParseLeadingInt64("000000000000000000000000042"), 42);

  EXPECT_EQ(Utils::GetZeroIntIsNull(nullptr), 0);
  EXPECT_EQ(Utils::GetZeroIntIsNull("2147483648"), INT_MAX);
  EXPECT_EQ(Utils::GetZeroIntIsNull("-2147483649"), INT_MIN);
  EXPECT_EQ(Utils::GetZeroIntIsNull("-99999999999999999999999"), INT_MIN);

  EXPECT_EQ(Utils::GetEmptyStringIsNull(nullptr), "");
}

TEST(MivoUtilsText, ReplaceEndWithMemMem) {
  std::string text = "a-b-c";
  EXPECT_EQ(Utils::ReplaceStr(text, "-", "--"), 2);  // replacements are not rescanned
  EXPECT_EQ(text, "a--b--c");
  EXPECT_EQ(Utils::ReplaceStr(text, "", "x"), 0);
  EXPECT_EQ(text, "a--b--c");
  EXPECT_TRUE(Utils::EndWith("sms.db", ".db"));
  EXPECT_FALSE(Utils::EndWith("db", "sms.db"));

  const char hay[] = {'x', '\0', 'b', 'p', 'l', 'i', 's', 't', '0', '0'};
  EXPECT_EQ(Utils::MemMem(hay, sizeof hay, "bplist", 6), hay + 2);
  EXPECT_EQ(Utils::MemMem(hay, sizeof hay, "\0b", 2), hay + 1);
  EXPECT_EQ(Utils::MemMem(hay, sizeof hay, "bplist01", 8), nullptr);
  EXPECT_EQ(Utils::MemMem(hay, sizeof hay, "", 0), hay);
  EXPECT_EQ(Utils::MemMem(hay, 3, "bpl", 3), nullptr);  // beyond the given length
  EXPECT_EQ(Utils::MemMem(nullptr, 0, "a", 1), nullptr);
}

TEST(MivoUtilsMatch, AnchorsDecide) {
  EXPECT_TRUE(Utils::MatchString("IMG_0012.JPG", R"(^IMG_\d+\.JPG$)"));
  EXPECT_FALSE(Utils::MatchString("xIMG_0012.JPG", R"(^IMG_\d+\.JPG$)"));
  EXPECT_TRUE(Utils::MatchString("Library/SMS/sms.db", "sms"));  // unanchored: anywhere
  EXPECT_FALSE(Utils::MatchString("Library/SMS/sms.db-wal", R"(\.db$)"));
  EXPECT_TRUE(Utils::MatchString("anything", ""));
  // Patterns that do not compile match nothing, every time they are asked for.
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(Utils::MatchString("((", "(("));
    EXPECT_FALSE(Utils::MatchString("a", "[a"));
  }
  // Back-references are refused by the breadth-first executor.
  EXPECT_FALSE(Utils::MatchString("aa", R"((a)\1)"));
}

TEST(MivoUtilsMatch, MegabyteInputDoesNotExhaustTheStack) {
  std::string text = "a" + std::string(1 << 20, 'x') + "b";
  EXPECT_TRUE(Utils::MatchString(text, "^a[^>]+b$"));
  text[text.size() / 2] = '>';
  EXPECT_FALSE(Utils::MatchString(text, "^a[^>]+b$"));
  EXPECT_TRUE(Utils::MatchString(text, "^a(x|>)*b$"));
}

TEST(MivoUtilsMatch, ConcurrentCallers) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 300; ++i) {
        const std::string pattern = "^item" + std::to_string(i % 40) + "$";
        const std::string text = "item" + std::to_string((i + t) % 40);
        if (Utils::MatchString(text, pattern) != (t == 0)) ++wrong[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

TEST(MivoUtilsColor, HexForms) {
  int r = 1, g = 1, b = 1;
  Utils::ColorHexToRGB("#FF8000", r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 128, 0}));
  Utils::ColorHexToRGB("0a7Fc3", r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{10, 127, 195}));
  Utils::ColorHexToRGB("#12345680", r, g, b);  // alpha ignored
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0x12, 0x34, 0x56}));

  const char* rejected[] = {"#FFF",     "12345680", "#1234567", "#GG0000",  "#FF8000 ",
                            " #FF8000", "#",        "",         "##FF8000", "0xFF8000"};
  for (const char* text : rejected) {
    r = g = b = 9;
    Utils::ColorHexToRGB(text, r, g, b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 0, 0})) << text;
  }
  r = g = b = 9;
  Utils::ColorHexToRGB(nullptr, r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 0, 0}));
}

}  // namespace
