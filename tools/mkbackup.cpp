// mkbackup: writes a device backup folder for demos, manual testing and
// benchmarks.
//
//   mkbackup OUT_DIR [--format db|mbdb] [--xml] [--no-info-plist]
//            [--synthetic N] [--seed S] [--file DOMAIN RELPATH SOURCE]...
//            [--content NAME|all]... [--device-name NAME] [--product-version V]
//            [--encrypt PASSWORD [--iterations N,M]]
//
// --encrypt writes the backup encrypted with PASSWORD; --iterations gives the
// key-derivation counts (N for the SHA-256 stage, M for the SHA-1 stage;
// "production" for the devices' 10,000,000,10,000). --file stores a file as a
// device ships it: a database's SOURCE-wal, when present, becomes its own row.
//
// Exit status: 0 done, 1 the backup could not be written, 2 bad arguments.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/ContentSets.h"
#include "builder/Encryption.h"
#include "builder/Synthetic.h"
#include "builder/Wrap.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::string ContentNames() {
  std::string text;
  for (const builder::ContentSet& set : builder::ContentSets()) {
    text += "\n  ";
    text += set.name;
    text += ": ";
    text += set.description;
  }
  return text;
}

struct Arguments {
  std::string folder;
  std::string format = "db";
  bool xml = false;
  bool noInfoPlist = false;
  size_t synthetic = 0;
  uint64_t seed = 1;
  std::vector<std::string> files;  // DOMAIN RELPATH SOURCE, flattened
  std::vector<std::string> contents;
  std::string deviceName;
  std::string productVersion;
  std::optional<std::string> password;
  std::string iterations;  // "N,M" or "production"
};

// "N,M" (each 1 to 100,000,000) or "production".
std::optional<std::pair<uint32_t, uint32_t>> ParseIterations(const std::string& text) {
  if (text == "production")
    return std::make_pair(builder::kProductionPasscodeIterations, builder::kProductionIterations);
  unsigned long long first = 0, second = 0;
  char end = 0;
  if (std::sscanf(text.c_str(), "%llu,%llu%c", &first, &second, &end) != 2) return std::nullopt;
  constexpr unsigned long long kMax = 100000000;
  if (first < 1 || first > kMax || second < 1 || second > kMax) return std::nullopt;
  return std::make_pair(static_cast<uint32_t>(first), static_cast<uint32_t>(second));
}

void Encrypt(builder::BackupBuilder& backup, const Arguments& arguments) {
  builder::EncryptionOptions encryption;
  encryption.password = *arguments.password;
  if (auto counts = ParseIterations(arguments.iterations)) {
    encryption.passcodeIterations = counts->first;
    encryption.iterations = counts->second;
  }
  backup.SetProtector(std::make_unique<builder::Encryption>(encryption));
}

void Build(const Arguments& arguments) {
  builder::BackupOptions options;
  options.manifest =
      arguments.format == "mbdb" ? builder::ManifestFormat::kMbdb : builder::ManifestFormat::kDb;
  options.plist = arguments.xml ? builder::PlistFormat::kXml : builder::PlistFormat::kBinary;
  options.writeInfoPlist = !arguments.noInfoPlist;
  options.isEncrypted = arguments.password.has_value();

  builder::BackupBuilder backup(arguments.folder, options);
  if (arguments.password) Encrypt(backup, arguments);
  if (!arguments.deviceName.empty()) backup.Device().deviceName = arguments.deviceName;
  if (!arguments.productVersion.empty()) backup.Device().productVersion = arguments.productVersion;
  for (const std::string& name : arguments.contents) builder::AddContentSet(backup, name);
  for (size_t i = 0; i + 2 < arguments.files.size(); i += 3)
    builder::AddAsShipped(backup, arguments.files[i], arguments.files[i + 1],
                          arguments.files[i + 2]);
  if (arguments.synthetic > 0)
    builder::AddSyntheticFiles(backup, arguments.synthetic, arguments.seed);
  backup.Finish();
  std::printf("%s: %zu manifest rows\n", backup.ManifestPath().c_str(), backup.RowCount());
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  CLI::App app{"Writes a device backup folder."};
  app.add_option("OUT_DIR", arguments.folder, "backup folder to write")->required();
  app.add_option("--format", arguments.format, "manifest format")
      ->check(CLI::IsMember({"db", "mbdb"}));
  app.add_flag("--xml", arguments.xml, "write the property lists as XML");
  app.add_flag("--no-info-plist", arguments.noInfoPlist, "leave Info.plist out");
  app.add_option("--synthetic", arguments.synthetic, "add N synthetic manifest rows");
  app.add_option("--seed", arguments.seed, "seed of the synthetic rows");
  app.add_option("--file", arguments.files,
                 "add a stored file: DOMAIN RELPATH SOURCE (and SOURCE-wal beside it, if any)")
      ->expected(3)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->type_size(3);
  app.add_option("--content", arguments.contents,
                 "add a named set of files (\"all\": every one):" + ContentNames())
      ->check([](const std::string& name) {
        return name == builder::kAllContentSets || builder::FindContentSet(name)
                   ? std::string()
                   : "unknown content '" + name + "'";
      });
  app.add_option("--device-name", arguments.deviceName, "device name in the property lists");
  app.add_option("--product-version", arguments.productVersion, "iOS version, e.g. 17.5.1");
  CLI::Option* encrypt =
      app.add_option("--encrypt", arguments.password, "write the backup encrypted with PASSWORD");
  app.add_option("--iterations", arguments.iterations,
                 "key-derivation counts N,M (SHA-256 stage, SHA-1 stage), or \"production\"")
      ->needs(encrypt)
      ->check([](const std::string& text) {
        return ParseIterations(text) ? std::string() : "expected N,M or production";
      });
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return kExitUsage;
  }

  try {
    Build(arguments);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mkbackup: %s\n", error.what());
    return kExitFailure;
  }
  return 0;
}
