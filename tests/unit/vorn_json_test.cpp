// JSON building with PimJsonUtil: call order, copies, UTF-8 repair.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "vorn/Json.h"
#include "vorn/PimJsonUtil.h"

namespace {

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
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "zeta", "again");  // kept twice

  rapidjson::Value list(rapidjson::kArrayType);
  PimJsonUtil::PushJsonArrayIntValue(list, allocator, 3);
  PimJsonUtil::PushJsonArrayStringValue(list, allocator, nullptr);
  rapidjson::Value element(rapidjson::kObjectType);
  PimJsonUtil::PushJsonArrayObjectValue(list, allocator, element);
  EXPECT_TRUE(element.IsNull());  // moved
  PimJsonUtil::AddJsonDictObjectValue(document, allocator, "list", list);

  EXPECT_EQ(PimJsonUtil::ToString(document),
            R"({"zeta":"first","alpha":-7,"big":1099511627776,"flag":true,"null":"",)"
            R"("zeta":"again","list":[3,"",{}]})");
}

// Keys, values and counted texts (NUL bytes included) are repaired, so the
// document always serialises to valid JSON; valid text passes unchanged.
TEST(VornJson, InvalidUtf8IsRepairedIntoValidJson) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "name",
                                      std::string("caf\xC3"
                                                  "e \xFF\xFE end\xE2\x82"));
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "body", "ok \xF0\x9F\x98\x80");
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "k\xC0", "v");
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "blob", "a\0b\xFF", 4);
  rapidjson::Value list(rapidjson::kArrayType);
  PimJsonUtil::PushJsonArrayStringValue(list, allocator, "12345678\xED\xA0\x80", 11);
  PimJsonUtil::AddJsonDictObjectValue(document, allocator, "list", list);

  const std::string text = PimJsonUtil::ToString(document);
  const std::string fffd = "\xEF\xBF\xBD";
  EXPECT_EQ(text, "{\"name\":\"caf" + fffd + "e " + fffd + fffd + " end" + fffd +
                      "\",\"body\":\"ok \xF0\x9F\x98\x80\",\"k" + fffd +
                      "\":\"v\",\"blob\":\"a\\u0000b" + fffd + "\",\"list\":[\"12345678" + fffd +
                      fffd + fffd + "\"]}");
  rapidjson::Document parsed;
  parsed.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
  EXPECT_FALSE(parsed.HasParseError());

  // Past the eight-byte ASCII fast path, and at the end of the text.
  EXPECT_FALSE(PimJsonUtil::IsValidUtf8("12345678\x80", 9));
  EXPECT_FALSE(PimJsonUtil::IsValidUtf8("\xE2\x82", 2));
  EXPECT_TRUE(PimJsonUtil::IsValidUtf8(nullptr, 0));
}

TEST(VornJson, MisuseThrowsInsteadOfAborting) {
  rapidjson::Document document(rapidjson::kArrayType);
  EXPECT_THROW(PimJsonUtil::AddJsonDictIntValue(document, document.GetAllocator(), "k", 1),
               vorn::JsonAssertion);
  rapidjson::Value notFinite(std::nan(""));
  EXPECT_THROW(PimJsonUtil::ToString(notFinite), vorn::JsonAssertion);
}

}  // namespace
