// The label rule of the address book is matched by hand; it must accept
// exactly the texts that the ECMAScript pattern _[$]{1}!<([^>]+)>![$]{1}_
// matches as a whole, and give the same group, lowered.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "kind/contact/Contact.h"

namespace {

// What the pattern says, through std::regex (only for short texts: its
// executor recurses per character).
bool RegexLabel(std::string& label) {
  static const std::regex pattern("_[$]{1}!<([^>]+)>![$]{1}_", std::regex::ECMAScript);
  std::smatch match;
  if (!std::regex_match(label, match, pattern)) return false;
  std::string group = match[1].str();
  for (char& c : group) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  label = group;
  return true;
}

void ExpectSameAsRegex(const std::string& text) {
  std::string byHand = text;
  std::string byRegex = text;
  const bool handMatched = keldra::Contact::ParseLabel(byHand);
  ASSERT_EQ(handMatched, RegexLabel(byRegex)) << testing::PrintToString(text);
  ASSERT_EQ(byHand, byRegex) << testing::PrintToString(text);
}

TEST(ContactLabel, AgreesWithTheRegexOnEveryShortText) {
  // Every text of up to six characters over the characters that matter.
  const std::string alphabet = std::string("_$!<>Mx\n") + '\0';
  std::vector<std::string> texts = {""};
  for (int length = 1; length <= 6; ++length) {
    std::vector<std::string> longer;
    for (const std::string& text : texts) {
      if (text.size() != static_cast<size_t>(length - 1)) continue;
      for (char c : alphabet) longer.push_back(text + c);
    }
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  // The sanitizer build checks every thirteenth text (a stride coprime with
  // the alphabet's size, so no character position is skipped); the normal
  // build checks them all.
#ifdef KELDRA_SANITIZED
  const size_t stride = 13;
#else
  const size_t stride = 1;
#endif
  for (size_t i = 0; i < texts.size(); i += stride) ExpectSameAsRegex(texts[i]);
}

TEST(ContactLabel, AgreesWithTheRegexAroundTheTemplate) {
  const std::vector<std::string> heads = {"_$!<",  "$!<",   "_$<", "__$!<", "x_$!<",
                                          "_$$!<", "_$!<<", "_!<", ""};
  std::vector<std::string> groups = {"",    "Mobile", "HOME", "a>b", ">",   "\n",
                                     "x y", "<",      "$",    "!$_", "Ä é", "_$!<M>!$_"};
  groups.push_back(std::string("Mo\0bile", 7));
  const std::vector<std::string> tails = {">!$_",  ">!$",   "!$_", ">!$__", ">!$_x",
                                          ">>!$_", ">!$$_", ">!_", ""};
  for (const auto& head : heads)
    for (const auto& group : groups)
      for (const auto& tail : tails) ExpectSameAsRegex(head + group + tail);

  // Random texts built mostly from the template's own pieces.
  std::mt19937 random(20240601);
  const std::vector<std::string> pieces = {"_", "$", "!", "<", ">", "_$!<", ">!$_", "a", "Z", "\n"};
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    const int count = static_cast<int>(random() % 8);
    for (int j = 0; j < count; ++j) text += pieces[random() % pieces.size()];
    ExpectSameAsRegex(text);
  }
}

TEST(ContactLabel, AMegabyteLabelIsMatchedInOnePass) {
  const std::string word(1 << 20, 'Q');
  const auto start = std::chrono::steady_clock::now();
  std::string builtIn = "_$!<" + word + ">!$_";
  EXPECT_TRUE(keldra::Contact::ParseLabel(builtIn));
  EXPECT_EQ(builtIn, std::string(1 << 20, 'q'));
  std::string custom = "_$!<" + word + ">" + word + ">!$_";
  EXPECT_FALSE(keldra::Contact::ParseLabel(custom));
  EXPECT_EQ(custom.size(), 2 * word.size() + 9);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
