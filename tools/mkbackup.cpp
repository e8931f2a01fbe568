// mkbackup: writes a device backup folder for demos, manual testing and
// benchmarks.
//
//   mkbackup OUT_DIR [--format db|mbdb] [--xml] [--no-info-plist]
//            [--synthetic N] [--seed S] [--file DOMAIN RELPATH SOURCE]...
//            [--content NAME]... [--device-name NAME] [--product-version V]
//
// Exit status: 0 done, 1 the backup could not be written, 2 bad arguments.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Named sets of files a backup can be given with --content. Each data kind's
// sample databases are added here as a new line.
struct ContentGenerator {
  const char* name;
  const char* description;
  void (*add)(builder::BackupBuilder& backup);
};

// The folders every device backup has, and a small preferences file.
void AddSkeleton(builder::BackupBuilder& backup) {
  for (const char* domain : {"HomeDomain", "MediaDomain", "CameraRollDomain", "RootDomain"})
    backup.AddDirectory(domain, "");
  for (const char* folder : {"Library", "Library/Preferences", "Library/SMS", "Library/Safari",
                             "Library/Notes", "Library/Calendar", "Library/AddressBook"})
    backup.AddDirectory("HomeDomain", folder);
  for (const char* folder : {"Media", "Media/Recordings"})
    backup.AddDirectory("MediaDomain", folder);
  for (const char* folder : {"Media", "Media/DCIM", "Media/PhotoData"})
    backup.AddDirectory("CameraRollDomain", folder);
  backup.AddFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<plist version=\"1.0\"><dict><key>SBAutoLockTime</key><integer>60</integer>"
                 "</dict></plist>\n");
}

const ContentGenerator kContents[] = {
    {"skeleton", "the standard folders of a device and one preferences file", AddSkeleton},
    {"notes", "notes.sqlite and NoteStore.sqlite with attachments", builder::notes::AddSampleNotes},
    {"whatsapp", "ChatStorage.sqlite with group chats and media",
     builder::whatsapp::AddSampleChats},
};

const ContentGenerator* FindContent(const std::string& name) {
  for (const ContentGenerator& content : kContents)
    if (name == content.name) return &content;
  return nullptr;
}

std::string ContentNames() {
  std::string text;
  for (const ContentGenerator& content : kContents) {
    text += "\n  ";
    text += content.name;
    text += ": ";
    text += content.description;
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
};

void Build(const Arguments& arguments) {
  builder::BackupOptions options;
  options.manifest =
      arguments.format == "mbdb" ? builder::ManifestFormat::kMbdb : builder::ManifestFormat::kDb;
  options.plist = arguments.xml ? builder::PlistFormat::kXml : builder::PlistFormat::kBinary;
  options.writeInfoPlist = !arguments.noInfoPlist;

  builder::BackupBuilder backup(arguments.folder, options);
  if (!arguments.deviceName.empty()) backup.Device().deviceName = arguments.deviceName;
  if (!arguments.productVersion.empty()) backup.Device().productVersion = arguments.productVersion;
  for (const std::string& name : arguments.contents) FindContent(name)->add(backup);
  for (size_t i = 0; i + 2 < arguments.files.size(); i += 3)
    backup.AddFileFromDisk(arguments.files[i], arguments.files[i + 1], arguments.files[i + 2]);
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
  app.add_option("--file", arguments.files, "add a stored file: DOMAIN RELPATH SOURCE")
      ->expected(3)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->type_size(3);
  app.add_option("--content", arguments.contents, "add a named set of files:" + ContentNames())
      ->check([](const std::string& name) {
        return FindContent(name) ? std::string() : "unknown content '" + name + "'";
      });
  app.add_option("--device-name", arguments.deviceName, "device name in the property lists");
  app.add_option("--product-version", arguments.productVersion, "iOS version, e.g. 17.5.1");
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
