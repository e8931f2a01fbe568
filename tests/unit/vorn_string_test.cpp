// UTF-8 / UTF-16 conversion and version comparison of VRNUtilityString.
#include <gtest/gtest.h>

#include <string>

#include "vorn/VRNUtilityString.h"

namespace {

std::u16string TakeWide(char16_t* wide) {
  std::u16string copy = wide ? std::u16string(wide) : u"(null)";
  VRNUtilityString::Free(wide);
  return copy;
}

std::string TakeNarrow(char* text) {
  std::string copy = text ? text : "(null)";
  VRNUtilityString::Free(text);
  return copy;
}

// Both ways for valid text; invalid UTF-8 becomes one U+FFFD per maximal
// subpart (the Unicode standard's table 3-8), an unpaired surrogate one each.
TEST(VornUtf, ConvertsBothWaysAndReplacesWhatIsInvalid) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } valid[] = {{"", u""},
               {"Ab\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD\xF0\x9D\x84\x9E\xF0\x9F\x98\x80",
                u"Ab\u00E9\u20AC\u4E2D\U0001D11E\U0001F600"},
               {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
                u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"}};
  for (const auto& c : valid) {
    EXPECT_EQ(VRNUtilityString::Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(VRNUtilityString::Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    EXPECT_EQ(TakeWide(VRNUtilityString::ConvertUtf8ToUnicode(c.utf8.c_str())), c.utf16);
    EXPECT_EQ(TakeNarrow(VRNUtilityString::ConvertUnicodeToUtf8(c.utf16.c_str())), c.utf8);
  }
  const struct {
    std::string utf8;
    std::u16string utf16;
  } invalid[] = {
      {"a\xF1\x80\x80\xE1\x80\xC2"
       "b\x80"
       "c\x80\xBF"
       "d",
       u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xF5\xFF", u"\uFFFD\uFFFD"},
      {"x\xE2\x82", u"x\uFFFD"},  // truncated at the end
      {"\xC3(\xC3", u"\uFFFD(\uFFFD"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)}  // kept after a NUL
  };
  for (const auto& c : invalid) EXPECT_EQ(VRNUtilityString::Utf8ToUtf16(c.utf8), c.utf16);

  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::u16string utf16;
    std::string utf8;
  } unpaired[] = {{{0xD800, u'a'}, fffd + "a"},
                  {{u'a', 0xDC00}, "a" + fffd},
                  {{0xDBFF}, fffd},
                  {{0xDC00, 0xD800}, fffd + fffd},  // reversed pair
                  {{0xD800, 0xD800, 0xDC00}, fffd + "\xF0\x90\x80\x80"}};
  for (const auto& c : unpaired) {
    EXPECT_EQ(VRNUtilityString::Utf16ToUtf8(c.utf16), c.utf8);
    EXPECT_EQ(TakeNarrow(VRNUtilityString::ConvertUnicodeToUtf8(c.utf16.c_str())), c.utf8);
  }
  EXPECT_EQ(VRNUtilityString::ConvertUtf8ToUnicode(nullptr), nullptr);
  EXPECT_EQ(VRNUtilityString::ConvertUnicodeToUtf8(nullptr), nullptr);
}

TEST(VornCompareVersion, NumericComponentByComponent) {
  const struct {
    const char *a, *b;
    int result;
  } cases[] = {{"15", "15.0", 0},
               {"9", "10", -1},
               {"1.10", "1.9", 1},
               {"15.0.1", "15.1", -1},
               {"01.002", "1.2", 0},
               {"1000", "1", 1},  // exactly 1, not a difference
               {nullptr, nullptr, 0},
               {"", "0.0", 0},
               {nullptr, "1", -1},
               // A component counts by its leading digits; the rest of it is ignored.
               {"1.2b3", "1.2.3", -1},
               {"17.0 (21A329)", "17", 0},
               {"1..2", "1.0.2", 0},
               // Components too long for any integer type.
               {"1.18446744073709551616", "1.18446744073709551615", 1},
               {"1.000000000000000000000000000001", "1.1", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(VRNUtilityString::CompareVersion(c.a, c.b), c.result)
        << (c.a ? c.a : "null") << " vs " << (c.b ? c.b : "null");
}

}  // namespace
