// JSON building with PimJsonUtil: call order, copies, UTF-8 repair.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "vorn/Json.h"
#include "vorn/PimJsonUtil.h"

namespace {

// Parses with encoding validation: text that is not valid UTF-8 fails.
bool IsValidJson(const std::string& text, rapidjson::Document& document) {
  document.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
  return !document.HasParseError();
}

TEST(VornJson, MembersInCallOrderAndCopied) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  {
    std::string key = "zeta";
    std::string text = "first";
    PimJsonUtil::AddJsonDictStringValue(document, allocator, key.c_str(), text.c_str());
    key.assign("XXXX");  // the document holds its own copies
    text.assign("XXXXX");
  }
  PimJsonUtil::AddJsonDictIntValue(document, allocator, "alpha", -7);
  PimJsonUtil::AddJsonDictInt64Value(document, allocator, "big", int64_t{1} << 40);
  PimJsonUtil::AddJsonDictBooleanValue(document, allocator, "flag", true);
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "null",
                                      static_cast<const char*>(nullptr));
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "std", std::string("s"));
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "zeta", "again");  // kept twice

  rapidjson::Value inner(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(inner, allocator, "n", 1);
  PimJsonUtil::AddJsonDictObjectValue(document, allocator, "inner", inner);
  EXPECT_TRUE(inner.IsNull());  // moved

  rapidjson::Value list(rapidjson::kArrayType);
  PimJsonUtil::PushJsonArrayIntValue(list, allocator, 3);
  PimJsonUtil::PushJsonArrayStringValue(list, allocator, "x");
  PimJsonUtil::PushJsonArrayStringValue(list, allocator, nullptr);
  rapidjson::Value element(rapidjson::kObjectType);
  PimJsonUtil::PushJsonArrayObjectValue(list, allocator, element);
  EXPECT_TRUE(element.IsNull());
  PimJsonUtil::AddJsonDictObjectValue(document, allocator, "list", list);

  EXPECT_EQ(PimJsonUtil::ToString(document),
            R"({"zeta":"first","alpha":-7,"big":1099511627776,"flag":true,"null":"","std":"s",)"
            R"("zeta":"again","inner":{"n":1},"list":[3,"x","",{}]})");
}

TEST(VornJson, InvalidUtf8IsRepairedIntoValidJson) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  const std::string bad =
      "caf\xC3"
      "e \xFF\xFE end\xE2\x82";
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "name", bad);
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "body", "ok \xF0\x9F\x98\x80");
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "k\xC0", "v");  // keys are repaired too
  rapidjson::Value list(rapidjson::kArrayType);
  PimJsonUtil::PushJsonArrayStringValue(list, allocator, "\xED\xA0\x80", 3);
  PimJsonUtil::AddJsonDictObjectValue(document, allocator, "list", list);

  const std::string text = PimJsonUtil::ToString(document);
  rapidjson::Document parsed;
  ASSERT_TRUE(IsValidJson(text, parsed)) << text;
  const std::string fffd = "\xEF\xBF\xBD";
  auto it = parsed.MemberBegin();
  EXPECT_STREQ(it->name.GetString(), "name");
  EXPECT_EQ(std::string(it->value.GetString()), "caf" + fffd + "e " + fffd + fffd + " end" + fffd);
  ++it;
  EXPECT_STREQ(it->name.GetString(), "body");
  EXPECT_EQ(std::string(it->value.GetString()), "ok \xF0\x9F\x98\x80");  // valid text unchanged
  ++it;
  EXPECT_EQ(std::string(it->name.GetString()), "k" + fffd);
  ++it;
  EXPECT_EQ(std::string(it->value[0].GetString()), fffd + fffd + fffd);
}

TEST(VornJson, CountedTextKeepsNulBytes) {
  rapidjson::Document document(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(document, document.GetAllocator(), "blob", "a\0b\xFF", 4);
  const std::string text = PimJsonUtil::ToString(document);
  EXPECT_EQ(text, "{\"blob\":\"a\\u0000b\xEF\xBF\xBD\"}");
  rapidjson::Document parsed;
  ASSERT_TRUE(IsValidJson(text, parsed));
  EXPECT_EQ(parsed["blob"].GetStringLength(), 6u);  // a, NUL, b, U+FFFD
}

TEST(VornJson, Utf8ValidationAndRepair) {
  auto valid = [](const std::string& s) { return PimJsonUtil::IsValidUtf8(s.data(), s.size()); };
  EXPECT_TRUE(valid(""));
  EXPECT_TRUE(valid("plain ascii text that is longer than eight bytes"));
  EXPECT_TRUE(
      valid("\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(valid("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(valid("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(valid("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(valid("12345678\x80"));      // after the 8-byte fast path
  EXPECT_FALSE(valid("\xE2\x82"));          // truncated
  EXPECT_TRUE(PimJsonUtil::IsValidUtf8(nullptr, 0));

  const std::string fffd = "\xEF\xBF\xBD";
  auto repair = [](const std::string& s) { return PimJsonUtil::RepairUtf8(s.data(), s.size()); };
  EXPECT_EQ(repair("a\xF1\x80\x80\xE1\x80\xC2"
                   "b\x80"
                   "c\x80\xBF"
                   "d"),
            "a" + fffd + fffd + fffd + "b" + fffd + "c" + fffd + fffd + "d");
  EXPECT_EQ(repair("\xF4\x90\x80\x80"), fffd + fffd + fffd + fffd);
  EXPECT_EQ(repair("ok"), "ok");
  EXPECT_EQ(PimJsonUtil::RepairUtf8(nullptr, 0), "");

  rapidjson::Document document;
  rapidjson::Value value = PimJsonUtil::MakeString(std::string("x\xFFy"), document.GetAllocator());
  EXPECT_EQ(std::string(value.GetString(), value.GetStringLength()), "x" + fffd + "y");
}

TEST(VornJson, MisuseThrowsInsteadOfAborting) {
  rapidjson::Document document(rapidjson::kArrayType);
  EXPECT_THROW(PimJsonUtil::AddJsonDictIntValue(document, document.GetAllocator(), "k", 1),
               vorn::JsonAssertion);
  rapidjson::Value notFinite(std::nan(""));
  EXPECT_THROW(PimJsonUtil::ToString(notFinite), vorn::JsonAssertion);
}

}  // namespace
