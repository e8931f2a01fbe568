// Reading property lists through PlistUtil.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

// The dictionary an Info.plist-like file holds.
PlistPtr SampleDict() {
  PlistPtr root(plist_new_dict());
  plist_dict_set_item(root.get(), "Device Name", plist_new_string("Anna\xE2\x80\x99s iPhone"));
  plist_dict_set_item(root.get(), "Last Backup Date", plist_new_date(730000000, 250000));
  plist_dict_set_item(root.get(), "Before2001", plist_new_date(-86400, 0));
  plist_dict_set_item(root.get(), "Big", plist_new_uint(uint64_t{1} << 40));
  plist_dict_set_item(root.get(), "Negative", plist_new_uint(static_cast<uint64_t>(int64_t{-5})));
  plist_dict_set_item(root.get(), "Key", plist_new_data("\x00\x01\xFF", 3));
  plist_dict_set_item(root.get(), "Ratio", plist_new_real(0.5));
  plist_t lockdown = plist_new_dict();
  plist_dict_set_item(lockdown, "ProductVersion", plist_new_string("17.4.1"));
  plist_dict_set_item(root.get(), "Lockdown", lockdown);
  plist_t apps = plist_new_array();
  plist_array_append_item(apps, plist_new_string("com.apple.MobileSMS"));
  plist_dict_set_item(root.get(), "Applications", apps);
  return root;
}

std::string Serialise(plist_t root, bool binary) {
  char* bytes = nullptr;
  uint32_t length = 0;
  (binary ? plist_to_bin : plist_to_xml)(root, &bytes, &length);
  std::string out(bytes ? bytes : "", bytes ? length : 0);
  std::free(bytes);
  return out;
}

void ExpectSampleValues(plist_t root) {
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(PlistUtil::GetString(root, "Device Name"), "Anna\xE2\x80\x99s iPhone");
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Last Backup Date"), 730000000);
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Before2001"), -86400);
  EXPECT_EQ(PlistUtil::GetInt(root, "Big"), int64_t{1} << 40);
  EXPECT_EQ(PlistUtil::GetInt(root, "Negative"), -5);
  EXPECT_EQ(PlistUtil::GetData(root, "Key"), std::string("\x00\x01\xFF", 3));
  plist_t lockdown = PlistUtil::GetDict(root, "Lockdown");
  ASSERT_NE(lockdown, nullptr);
  EXPECT_EQ(PlistUtil::GetString(lockdown, "ProductVersion"), "17.4.1");

  // Missing keys and other types give nothing.
  EXPECT_EQ(PlistUtil::GetString(root, "Missing"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetString(root, "Big"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetBool(root, "Device Name"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetInt(root, "Ratio"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Big"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetData(root, "Device Name"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetDict(root, "Applications"), nullptr);
  EXPECT_EQ(PlistUtil::GetString(root, nullptr), std::nullopt);
  EXPECT_EQ(PlistUtil::GetString(nullptr, "Device Name"), std::nullopt);
  // Lookups in something that is not a dictionary give nothing.
  plist_t apps = plist_dict_get_item(root, "Applications");
  EXPECT_EQ(PlistUtil::GetString(apps, "0"), std::nullopt);
}

TEST(MivoPlist, ReadsBinaryAndXmlFiles) {
  testing_support::TempFolder folder;
  PlistPtr sample = SampleDict();
  testing_support::WriteFile(folder / "Info.bin.plist", Serialise(sample.get(), true));
  testing_support::WriteFile(folder / "Info.xml.plist", Serialise(sample.get(), false));
  for (const char* name : {"Info.bin.plist", "Info.xml.plist"}) {
    SCOPED_TRACE(name);
    PlistPtr owned = PlistUtil::ReadPlistOwned(folder / name);
    ExpectSampleValues(owned.get());
  }
}

TEST(MivoPlist, RefusesWhatIsNotAReadablePlist) {
  testing_support::TempFolder folder;
  const std::string binary = Serialise(SampleDict().get(), true);
  testing_support::WriteFile(folder / "text", "this is not a property list\n");
  testing_support::WriteFile(folder / "empty", "");
  testing_support::WriteFile(folder / "fake-binary", "bplist00 but nothing else");
  testing_support::WriteFile(folder / "truncated", binary.substr(0, binary.size() - 10));
  testing_support::MakeFolders(folder / "folder.plist");
  // A file over the size limit is refused before it is read (sparse, so cheap).
  testing_support::WriteFile(folder / "big", binary);
  ASSERT_EQ(truncate((folder / "big").c_str(), PlistUtil::kMaxFileSize + 1), 0);
  for (const char* name :
       {"text", "empty", "fake-binary", "truncated", "folder.plist", "missing", "big"})
    EXPECT_FALSE(PlistUtil::ReadPlistOwned(folder / name)) << name;
  EXPECT_EQ(PlistUtil::ReadPlist(nullptr), nullptr);
  EXPECT_FALSE(PlistUtil::ParseBytes(nullptr, 10));
  EXPECT_FALSE(PlistUtil::ParseBytes("x", 0));
}

// A binary list whose objects are all arrays: object i holds references to
// the objects members[i] names; object 0 is the top.
std::string BinaryArrays(const std::vector<std::vector<uint32_t>>& members) {
  std::string out = "bplist00";
  auto append = [&out](uint64_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
      out += static_cast<char>((value >> shift) & 0xFF);
  };
  std::vector<uint64_t> offsets;
  for (const std::vector<uint32_t>& references : members) {
    offsets.push_back(out.size());
    out += static_cast<char>(0xAF);
    out += static_cast<char>(0x12);
    append(references.size(), 4);
    for (uint32_t reference : references) append(reference, 4);
  }
  const uint64_t table = out.size();
  for (uint64_t offset : offsets) append(offset, 4);
  out.append(6, '\0');
  out += '\4';
  out += '\4';
  append(members.size(), 8);
  append(0, 8);
  append(table, 8);
  return out;
}

std::vector<std::vector<uint32_t>> NestedArrays(uint32_t depth) {
  std::vector<std::vector<uint32_t>> members(depth);
  for (uint32_t i = 0; i + 1 < depth; ++i) members[i] = {i + 1};
  return members;
}

std::string XmlDocument(const std::string& top) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
         "1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">" +
         top + "</plist>\n";
}

std::string Repeated(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string XmlNestedArrays(size_t depth) {
  return XmlDocument(Repeated("<array>", depth) + Repeated("</array>", depth));
}

// libplist recurses per level, so lists nested past the bound must be refused
// before it runs; lists up to the bound, and markup that only looks deep,
// still parse. (Lists 100,000 levels deep are read by every command in the
// hostile-backup suite.)
TEST(MivoPlist, RefusesListsNestedPastTheBound) {
  std::vector<std::vector<uint32_t>> shared(41);
  for (uint32_t i = 0; i < 40; ++i) shared[i] = {i + 1, i + 1};
  const struct {
    const char* name;
    std::string bytes;
    bool parses;
  } cases[] = {{"binary at the bound", BinaryArrays(NestedArrays(512)), true},
               {"binary one past it", BinaryArrays(NestedArrays(513)), false},
               {"binary circle of two arrays", BinaryArrays({{1}, {0}}), false},
               {"binary array shared by reference 2^40 times", BinaryArrays(shared), false},
               {"binary reference past the objects", BinaryArrays({{1}}), false},
               {"XML at the bound", XmlNestedArrays(512), true},
               {"XML one past it", XmlNestedArrays(513), false},
               {"XML deep only inside a comment and CDATA",
                XmlDocument("<array><!--" + Repeated("<array>", 600) + "--><string><![CDATA[" +
                            Repeated("<dict>", 600) + "]]></string></array>"),
                true},
               {"XML of many empty siblings",
                XmlDocument("<array>" + Repeated("<array/>", 600) + "</array>"), true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlistPtr root = PlistUtil::ParseBytes(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(root != nullptr, c.parses);
  }
}

}  // namespace
