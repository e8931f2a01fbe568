// UTF-8 / UTF-16 conversion and version comparison of VRNUtilityString.
#include <gtest/gtest.h>

#include <string>

#include "vorn/VRNUtilityString.h"

namespace {

std::u16string TakeWide(char16_t* wide) {
  EXPECT_NE(wide, nullptr);
  std::u16string copy = wide ? std::u16string(wide) : std::u16string();
  VRNUtilityString::Free(wide);
  return copy;
}

std::string TakeNarrow(char* text) {
  EXPECT_NE(text, nullptr);
  std::string copy = text ? text : "";
  VRNUtilityString::Free(text);
  return copy;
}

TEST(VornUtf, RoundTripsIncludingCharactersOutsideTheBmp) {
  // ASCII, Latin-1, BMP (euro sign, CJK) and two outside it (G clef, emoji).
  const std::string utf8 = "Ab\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9D\x84\x9E\xF0\x9F\x98\x80";
  const std::u16string utf16 = u"Ab\u00E9\u20AC\u4E2D\U0001D11E\U0001F600";
  ASSERT_EQ(utf16.size(), 9u);  // two surrogate pairs
  EXPECT_EQ(utf16[5], 0xD834);
  EXPECT_EQ(utf16[6], 0xDD1E);

  EXPECT_EQ(VRNUtilityString::Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(VRNUtilityString::Utf16ToUtf8(utf16), utf8);
  EXPECT_EQ(TakeWide(VRNUtilityString::ConvertUtf8ToUnicode(utf8.c_str())), utf16);
  EXPECT_EQ(TakeNarrow(VRNUtilityString::ConvertUnicodeToUtf8(utf16.c_str())), utf8);

  // Extremes of each sequence length.
  const std::string edges =
      "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  const std::u16string wideEdges = u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF";
  EXPECT_EQ(VRNUtilityString::Utf8ToUtf16(edges), wideEdges);
  EXPECT_EQ(VRNUtilityString::Utf16ToUtf8(wideEdges), edges);
}

TEST(VornUtf, InvalidUtf8BecomesReplacementPerMaximalSubpart) {
  auto wide = [](const std::string& bytes) { return VRNUtilityString::Utf8ToUtf16(bytes); };
  // The example of the Unicode standard (table 3-8).
  EXPECT_EQ(wide("a\xF1\x80\x80\xE1\x80\xC2"
                 "b\x80"
                 "c\x80\xBF"
                 "d"),
            u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
  EXPECT_EQ(wide("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong
  EXPECT_EQ(wide("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(wide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // encoded surrogate
  EXPECT_EQ(wide("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(wide("\xF5\xFF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(wide("x\xE2\x82"), u"x\uFFFD");  // truncated at the end
  EXPECT_EQ(wide("\xC3(\xC3"), u"\uFFFD(\uFFFD");
  // Bytes after a NUL are kept by the owned form.
  EXPECT_EQ(wide(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(VornUtf, UnpairedSurrogatesBecomeReplacement) {
  auto narrow = [](const std::u16string& units) { return VRNUtilityString::Utf16ToUtf8(units); };
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(narrow(std::u16string{0xD800, u'a'}), fffd + "a");
  EXPECT_EQ(narrow(std::u16string{u'a', 0xDC00}), "a" + fffd);
  EXPECT_EQ(narrow(std::u16string{0xDBFF}), fffd);
  EXPECT_EQ(narrow(std::u16string{0xDC00, 0xD800}), fffd + fffd);  // reversed pair
  EXPECT_EQ(narrow(std::u16string{0xD800, 0xD800, 0xDC00}), fffd + "\xF0\x90\x80\x80");
  const char16_t lone[] = {u'x', 0xD83D, 0};
  EXPECT_EQ(TakeNarrow(VRNUtilityString::ConvertUnicodeToUtf8(lone)), "x" + fffd);
}

TEST(VornUtf, NullAndEmpty) {
  EXPECT_EQ(VRNUtilityString::ConvertUtf8ToUnicode(nullptr), nullptr);
  EXPECT_EQ(VRNUtilityString::ConvertUnicodeToUtf8(nullptr), nullptr);
  EXPECT_EQ(TakeWide(VRNUtilityString::ConvertUtf8ToUnicode("")), u"");
  EXPECT_EQ(TakeNarrow(VRNUtilityString::ConvertUnicodeToUtf8(u"")), "");
  EXPECT_TRUE(VRNUtilityString::IsNullOrEmpty(nullptr));
  EXPECT_TRUE(VRNUtilityString::IsNullOrEmpty(""));
  EXPECT_FALSE(VRNUtilityString::IsNullOrEmpty(" "));
  char* copy = VRNUtilityString::Duplicate(std::string("a\0b", 3));
  EXPECT_EQ(std::string(copy, 4), std::string("a\0b\0", 4));
  VRNUtilityString::Free(copy);
}

TEST(VornCompareVersion, NumericComponentByComponent) {
  auto cmp = VRNUtilityString::CompareVersion;
  EXPECT_EQ(cmp("15", "15.0"), 0);
  EXPECT_EQ(cmp("15.0.0", "15"), 0);
  EXPECT_EQ(cmp("9", "10"), -1);
  EXPECT_EQ(cmp("10", "9"), 1);
  EXPECT_EQ(cmp("1.10", "1.9"), 1);
  EXPECT_EQ(cmp("15.1", "15.0.9"), 1);
  EXPECT_EQ(cmp("15.0.1", "15.1"), -1);
  EXPECT_EQ(cmp("01.002", "1.2"), 0);
  EXPECT_EQ(cmp("1", "1000"), -1);  // exactly -1, not a difference
  EXPECT_EQ(cmp("1000", "1"), 1);
}

TEST(VornCompareVersion, NullEmptyAndNonNumericComponents) {
  auto cmp = VRNUtilityString::CompareVersion;
  EXPECT_EQ(cmp(nullptr, nullptr), 0);
  EXPECT_EQ(cmp(nullptr, ""), 0);
  EXPECT_EQ(cmp("", "0.0"), 0);
  EXPECT_EQ(cmp(nullptr, "1"), -1);
  EXPECT_EQ(cmp("0.1", nullptr), 1);
  // A component counts by its leading digits; the rest of it is ignored.
  EXPECT_EQ(cmp("1.2a", "1.2"), 0);
  EXPECT_EQ(cmp("1.2b3", "1.2.3"), -1);
  EXPECT_EQ(cmp("1.beta", "1.0"), 0);
  EXPECT_EQ(cmp("17.0 (21A329)", "17"), 0);
  EXPECT_EQ(cmp("1..2", "1.0.2"), 0);
  EXPECT_EQ(cmp("15.", "15"), 0);
}

TEST(VornCompareVersion, HugeComponentsDoNotOverflow) {
  auto cmp = VRNUtilityString::CompareVersion;
  EXPECT_EQ(cmp("123456789012345678901234567890", "123456789012345678901234567889"), 1);
  EXPECT_EQ(cmp("99999999999999999999", "100000000000000000000"), -1);
  EXPECT_EQ(cmp("1.18446744073709551616", "1.18446744073709551615"), 1);  // 2^64 vs 2^64-1
  EXPECT_EQ(cmp("1.000000000000000000000000000001", "1.1"), 0);
}

}  // namespace
