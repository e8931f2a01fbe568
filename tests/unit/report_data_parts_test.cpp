// The report's data files: however the items come, no file passes its byte
// bound, every item arrives once and in order, and one too large for any
// file is replaced by a note of its size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/DataParts.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadFile;

// The items of data/<stem>-0.js, -1.js, …, checking each file's size and form.
std::vector<std::string> ReadParts(const std::string& folder, const std::string& stem, size_t parts,
                                   size_t maxBytes) {
  std::vector<std::string> items;
  for (size_t n = 0; n < parts; ++n) {
    std::string name = stem + "-" + std::to_string(n);
    std::string text = ReadFile(folder + name + ".js");
    EXPECT_LE(text.size(), maxBytes) << name;
    std::string head = "Keldra.receive(\"" + name + "\",";
    EXPECT_EQ(text.compare(0, head.size(), head), 0) << text;
    EXPECT_EQ(text.substr(text.size() - 3), ");\n");
    rapidjson::Document part;
    part.Parse(text.c_str() + head.size(), text.size() - head.size() - 3);
    EXPECT_TRUE(part.IsArray()) << text;
    if (!part.IsArray()) continue;
    EXPECT_FALSE(part.Empty() && parts > 1) << name;
    for (const auto& item : part.GetArray()) items.push_back(testing_support::Json(item));
  }
  return items;
}

TEST(ReportDataParts, FilesStayWithinTheirBoundsAndKeepEveryItem) {
  struct Case {
    const char* name;
    std::vector<size_t> textSizes;  // one string item of each size
    size_t maxItems;
    size_t maxBytes;
    size_t parts;
  };
  const Case cases[] = {
      {"no item still gives a page to load", {}, 10, 200, 1},
      {"cut by count", {1, 2, 3, 4, 5}, 2, 1000, 3},
      {"cut by bytes", {60, 60, 60, 60}, 100, 200, 2},
      // Keldra.receive("kind-0",[ and ]);\n take 29 bytes, the quotes 2.
      {"one item exactly fills a file", {200 - 29 - 2}, 10, 200, 1},
      {"too large for any file", {10, 5000, 10}, 100, 200, 1},
  };
  for (const Case& c : cases) {
    testing_support::TempFolder folder;
    report::DataParts parts(folder.Path(), "kind", c.maxItems, c.maxBytes);
    std::vector<std::string> expected;
    rapidjson::Document scratch;
    for (size_t size : c.textSizes) {
      rapidjson::Value text(std::string(size, 'x'), scratch.GetAllocator());
      std::string json = testing_support::Json(text);
      expected.push_back(
          json.size() > c.maxBytes ? "{\"omitted\":" + std::to_string(json.size()) + "}" : json);
      ASSERT_TRUE(parts.Add(text)) << c.name;
    }
    ASSERT_TRUE(parts.Finish()) << c.name;
    EXPECT_EQ(parts.Parts(), c.parts) << c.name;
    EXPECT_EQ(parts.Items(), c.textSizes.size()) << c.name;
    EXPECT_EQ(ReadParts(folder.Path(), "kind", parts.Parts(), c.maxBytes), expected) << c.name;
  }
}

}  // namespace
