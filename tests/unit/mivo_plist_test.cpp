// Reading property lists through PlistUtil.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

// The dictionary an Info.plist-like file holds.
PlistPtr SampleDict() {
  PlistPtr root(plist_new_dict());
  plist_dict_set_item(root.get(), "Device Name", plist_new_string("Anna\xE2\x80\x99s iPhone"));
  plist_dict_set_item(root.get(), "IsEncrypted", plist_new_bool(1));
  plist_dict_set_item(root.get(), "Last Backup Date", plist_new_date(730000000, 250000));
  plist_dict_set_item(root.get(), "Before2001", plist_new_date(-86400, 0));
  plist_dict_set_item(root.get(), "Version", plist_new_uint(10));
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
  if (binary) {
    plist_to_bin(root, &bytes, &length);
  } else {
    plist_to_xml(root, &bytes, &length);
  }
  std::string out(bytes ? bytes : "", bytes ? length : 0);
  if (binary) {
    plist_to_bin_free(bytes);
  } else {
    plist_to_xml_free(bytes);
  }
  return out;
}

void ExpectSampleValues(plist_t root) {
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(PlistUtil::GetString(root, "Device Name"), "Anna\xE2\x80\x99s iPhone");
  EXPECT_EQ(PlistUtil::GetBool(root, "IsEncrypted"), true);
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Last Backup Date"), 730000000);
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Before2001"), -86400);
  EXPECT_EQ(PlistUtil::GetInt(root, "Version"), 10);
  EXPECT_EQ(PlistUtil::GetInt(root, "Big"), int64_t{1} << 40);
  EXPECT_EQ(PlistUtil::GetInt(root, "Negative"), -5);
  EXPECT_EQ(PlistUtil::GetData(root, "Key"), std::string("\x00\x01\xFF", 3));
  plist_t lockdown = PlistUtil::GetDict(root, "Lockdown");
  ASSERT_NE(lockdown, nullptr);
  EXPECT_EQ(PlistUtil::GetString(lockdown, "ProductVersion"), "17.4.1");

  // Missing keys and other types give nothing.
  EXPECT_EQ(PlistUtil::GetString(root, "Missing"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetString(root, "Version"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetBool(root, "Device Name"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetInt(root, "Ratio"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetDateSeconds(root, "Version"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetData(root, "Device Name"), std::nullopt);
  EXPECT_EQ(PlistUtil::GetDict(root, "Applications"), nullptr);
  EXPECT_EQ(PlistUtil::GetDict(root, "Missing"), nullptr);
  EXPECT_EQ(PlistUtil::GetString(root, nullptr), std::nullopt);
  EXPECT_EQ(PlistUtil::GetString(nullptr, "Device Name"), std::nullopt);
  // Lookups in something that is not a dictionary give nothing.
  plist_t apps = plist_dict_get_item(root, "Applications");
  EXPECT_EQ(PlistUtil::GetString(apps, "0"), std::nullopt);
}

TEST(MivoPlist, ReadsBinaryAndXmlFiles) {
  testing_support::TempFolder folder;
  PlistPtr sample = SampleDict();
  const std::string binary = Serialise(sample.get(), true);
  const std::string xml = Serialise(sample.get(), false);
  ASSERT_EQ(binary.compare(0, 6, "bplist"), 0);
  ASSERT_NE(xml.find("<plist"), std::string::npos);
  testing_support::WriteFile(folder / "Info.bin.plist", binary);
  testing_support::WriteFile(folder / "Info.xml.plist", xml);

  for (const char* name : {"Info.bin.plist", "Info.xml.plist"}) {
    SCOPED_TRACE(name);
    plist_t raw = PlistUtil::ReadPlist((folder / name).c_str());
    ExpectSampleValues(raw);
    plist_free(raw);
    PlistPtr owned = PlistUtil::ReadPlistOwned(folder / name);
    ExpectSampleValues(owned.get());
  }
  PlistPtr parsed = PlistUtil::ParseBytes(binary.data(), binary.size());
  ExpectSampleValues(parsed.get());
}

TEST(MivoPlist, RefusesWhatIsNotAReadablePlist) {
  testing_support::TempFolder folder;
  testing_support::WriteFile(folder / "text", "this is not a property list\n");
  testing_support::WriteFile(folder / "empty", "");
  testing_support::WriteFile(folder / "fake-binary", "bplist00 but nothing else");
  testing_support::MakeFolders(folder / "folder.plist");

  EXPECT_EQ(PlistUtil::ReadPlist((folder / "text").c_str()), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist((folder / "empty").c_str()), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist((folder / "fake-binary").c_str()), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist((folder / "folder.plist").c_str()), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist((folder / "missing.plist").c_str()), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist(nullptr), nullptr);
  EXPECT_EQ(PlistUtil::ReadPlist(""), nullptr);
  EXPECT_FALSE(PlistUtil::ReadPlistOwned(folder / "missing.plist"));
  EXPECT_FALSE(PlistUtil::ParseBytes(nullptr, 10));
  EXPECT_FALSE(PlistUtil::ParseBytes("x", 0));

  // A truncated binary plist.
  PlistPtr sample = SampleDict();
  const std::string binary = Serialise(sample.get(), true);
  EXPECT_FALSE(PlistUtil::ParseBytes(binary.data(), binary.size() - 10));

  // A file over the size limit is refused before it is read (sparse, so cheap).
  const std::string big = folder / "big.plist";
  testing_support::WriteFile(big, binary);
  ASSERT_EQ(truncate(big.c_str(), PlistUtil::kMaxFileSize + 1), 0);
  EXPECT_EQ(PlistUtil::ReadPlist(big.c_str()), nullptr);
}

}  // namespace
