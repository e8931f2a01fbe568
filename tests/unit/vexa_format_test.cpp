// The decrypt module's format readers and primitives: keybag, keyed archives
// and streaming CBC decryption, checked against the builder's encryption.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FileDecryptor.h"
#include "builder/BinaryPlist.h"
#include "builder/Encryption.h"
#include "formats/Keybag.h"
#include "formats/KeyedArchive.h"

namespace {

using vexa::SecureBytes;

std::string Be32(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string Record(const std::string& tag, const std::string& value) {
  return tag + Be32(static_cast<uint32_t>(value.size())) + value;
}

// A keybag shaped like a device's: header, then one entry per class.
std::string DeviceKeybag(bool passcodeStage, const std::string& extraHeader = "") {
  std::string bag = Record("VERS", Be32(5)) + Record("TYPE", Be32(0x40000001)) +
                    Record("UUID", std::string(16, 'u')) + Record("HMCK", std::string(40, 0)) +
                    Record("WRAP", Be32(0)) + Record("SALT", std::string(20, 's')) +
                    Record("ITER", Be32(10000)) + extraHeader;
  if (passcodeStage)
    bag += Record("DPWT", Be32(1)) + Record("DPIC", Be32(10000000)) +
           Record("DPSL", std::string(20, 'd'));
  for (uint32_t clas : {1u, 2u, 3u, 4u, 5u, 6u}) {
    uint32_t wrap = clas <= 4 ? 2 : clas == 5 ? 3 : 1;
    bag += Record("UUID", std::string(16, 'e')) + Record("CLAS", Be32(clas)) +
           Record("WRAP", Be32(wrap)) + Record("KTYP", Be32(0)) +
           Record("WPKY", std::string(40, static_cast<char>(clas)));
  }
  return bag;
}

// A device's keybag, with a record of a later generation, and an older one
// without the passcode stage.
TEST(Keybag, ReadsHeaderAndClassesAndSkipsWhatItDoesNotKnow) {
  std::string error;
  auto bag = vexa::ParseKeybag(DeviceKeybag(true, Record("ZZZZ", "later")), &error);
  ASSERT_TRUE(bag) << error;
  EXPECT_EQ(bag->type, 1u);  // flag bits masked off
  EXPECT_EQ(bag->passcodeIterations, 10000000u);
  ASSERT_EQ(bag->classes.size(), 6u);
  EXPECT_EQ(bag->classes[4].wrap, 3u);
  auto older = vexa::ParseKeybag(DeviceKeybag(false), &error);
  ASSERT_TRUE(older) << error;
  EXPECT_FALSE(older->HasPasscodeStage());
}

TEST(Keybag, RefusesDamagedKeybags) {
  std::string good = DeviceKeybag(true);
  std::string error;
  // Every cut that does not fall on a record boundary is refused; none crashes.
  std::vector<size_t> boundaries;
  for (size_t at = 0; at < good.size();
       at += 8 + (static_cast<uint8_t>(good[at + 6]) << 8 | static_cast<uint8_t>(good[at + 7])))
    boundaries.push_back(at);
  for (size_t length = 0; length < good.size(); ++length)
    if (std::find(boundaries.begin(), boundaries.end(), length) == boundaries.end()) {
      EXPECT_FALSE(vexa::ParseKeybag(good.substr(0, length), &error)) << "cut at " << length;
    }
  const std::string salt = Record("SALT", std::string(20, 's')), iter = Record("ITER", Be32(1));
  const std::string dpsl = Record("DPSL", std::string(20, 'd'));
  std::string lying = good;
  lying.replace(4, 4, Be32(0xFFFFFFF0));  // VERS claims 4 GB
  const std::string bad[] = {salt,        // no ITER
                             Record("SALT", std::string(19, 's')) + iter,
                             salt + Record("ITER", Be32(0)),
                             salt + iter + dpsl,  // DPSL without DPIC
                             // an unlock that would take hours
                             salt + iter + dpsl + Record("DPIC", Be32(0xFFFFFFFF)),
                             DeviceKeybag(true, Record("VERS", "abc")), lying};
  for (size_t i = 0; i < std::size(bad); ++i) EXPECT_FALSE(vexa::ParseKeybag(bad[i], &error)) << i;
}

// Key unwrapping and derivation need no vectors of their own: every unlock
// checks them against the builder's OpenSSL wrap and its own derivation, and
// the real encrypted sample against a device's keybag.

vexa::DecryptResult Decrypt(const std::string& key, const std::string& cipher, std::string& out,
                            uint64_t limit = UINT64_MAX) {
  vexa::MemorySource source(cipher);
  vexa::StringSink sink(out, limit);
  return vexa::DecryptCbc(source, cipher.size(), SecureBytes(key), sink);
}

TEST(FileDecryptor, TakesTheLengthFromThePaddingAcrossChunkBoundaries) {
  const std::string key(32, '\x42');
  for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{32},
                        vexa::kChunkSize - 16, vexa::kChunkSize, vexa::kChunkSize + 17}) {
    std::string plain(length, '\0');
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<char>(i * 7 + length);
    std::string cipher = builder::EncryptCbc(key, plain);
    std::string out;
    vexa::DecryptResult result = Decrypt(key, cipher, out);
    ASSERT_TRUE(result.ok()) << length << ": " << vexa::DescribeStatus(result.status);
    EXPECT_EQ(result.length, length);
    EXPECT_TRUE(out == plain) << length;
  }
  std::string out;
  EXPECT_TRUE(Decrypt(key, "", out).ok()) << "a zero-length stored file is an empty file";
}

TEST(FileDecryptor, RefusesDamagedCiphertext) {
  const std::string key(32, '\x42');
  std::string out;
  std::string cipher = builder::EncryptCbc(key, "twenty-one bytes here");
  EXPECT_EQ(Decrypt(key, cipher.substr(0, 31), out).status, vexa::DecryptStatus::kBadLength);
  for (const std::string& lastBlock :
       {std::string(16, '\0'), std::string(15, 'x') + '\x11',
        std::string(12, 'x') + "\x04\x04\x03\x04", std::string(16, '\x11')}) {
    out.clear();
    // A whole block of padding follows 32 bytes; without it, the last block
    // is the chosen one.
    std::string bad = builder::EncryptCbc(key, std::string(16, 'a') + lastBlock).substr(0, 32);
    EXPECT_EQ(Decrypt(key, bad, out).status, vexa::DecryptStatus::kBadPadding)
        << testing::PrintToString(lastBlock);
  }
  out.clear();
  EXPECT_EQ(Decrypt(key, builder::EncryptCbc(key, std::string(100, 'z')), out, 50).status,
            vexa::DecryptStatus::kWriteFailed);
  // A source that ends early.
  vexa::MemorySource shortSource(cipher);
  vexa::StringSink sink(out, UINT64_MAX);
  EXPECT_EQ(vexa::DecryptCbc(shortSource, cipher.size() + 16, SecureBytes(key), sink).status,
            vexa::DecryptStatus::kReadFailed);
}

// A keyed archive laid out by hand, for the shapes the builder never writes.
class ArchiveMaker {
 public:
  using Ref = builder::BinaryPlistWriter::Ref;
  builder::BinaryPlistWriter w;
  std::vector<Ref> objects;

  std::string Write(uint64_t rootUid) {
    Ref top = w.Dict({{w.String("$archiver"), w.String("NSKeyedArchiver")},
                      {w.String("$top"), w.Dict({{w.String("root"), w.Uid(rootUid)}})},
                      {w.String("$objects"), w.Array(objects)}});
    std::string out;
    w.Write(top, out);
    return out;
  }
};

// Shapes the builder never writes: objects in another order, the root
// reached through a second UID, the key inline; a directory row without key.
TEST(KeyedArchive, FollowsUidsWhereverTheyLead) {
  std::string error;
  ArchiveMaker inline_;
  auto& w = inline_.w;
  inline_.objects = {w.String("$null"), w.Uid(2),
                     w.Dict({{w.String("EncryptionKey"), w.Data(std::string(44, 'k'))},
                             {w.String("ProtectionClass"), w.Integer(4)},
                             {w.String("Size"), w.Uid(3)}}),
                     w.Integer(99)};
  auto file = vexa::ReadFileArchive(inline_.Write(1), &error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->encryptionKey, std::string(44, 'k'));
  EXPECT_EQ(file->size, 99);

  // A directory row: no key at all.
  ArchiveMaker directory;
  directory.objects = {
      directory.w.String("$null"),
      directory.w.Dict({{directory.w.String("Mode"), directory.w.Integer(040755)}})};
  file = vexa::ReadFileArchive(directory.Write(1), &error);
  ASSERT_TRUE(file) << error;
  EXPECT_FALSE(file->encryptionKey);
}

TEST(KeyedArchive, RefusesDanglingUidsCyclesAndNonArchives) {
  std::string error;
  ArchiveMaker dangling;
  auto& d = dangling.w;
  dangling.objects = {d.String("$null"), d.Dict({{d.String("EncryptionKey"), d.Uid(40)}})};
  EXPECT_FALSE(vexa::ReadFileArchive(dangling.Write(1), &error));
  EXPECT_FALSE(vexa::ReadFileArchive(dangling.Write(7), &error)) << "root outside $objects";

  ArchiveMaker cycle;
  auto& c = cycle.w;
  cycle.objects = {c.String("$null"), c.Dict({{c.String("EncryptionKey"), c.Uid(2)}}), c.Uid(3),
                   c.Uid(2)};
  EXPECT_FALSE(vexa::ReadFileArchive(cycle.Write(1), &error));
  EXPECT_NE(error.find("circle"), std::string::npos) << error;

  ArchiveMaker selfData;  // NS.data naming its own dictionary
  auto& s = selfData.w;
  selfData.objects = {s.String("$null"), s.Dict({{s.String("EncryptionKey"), s.Uid(2)}}),
                      s.Dict({{s.String("NS.data"), s.Uid(2)}})};
  EXPECT_FALSE(vexa::ReadFileArchive(selfData.Write(1), &error));

  EXPECT_FALSE(vexa::ReadFileArchive("not a plist at all, just some text", &error));
  EXPECT_FALSE(vexa::ReadFileArchive("", &error));
}

}  // namespace
