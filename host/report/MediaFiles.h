// The stored files a report shows (attachments, photos, recordings, WhatsApp
// media), copied from the backup into the report's media/ folder so that the
// report needs nothing outside itself.
#ifndef HOST_REPORT_MEDIAFILES_H_
#define HOST_REPORT_MEDIAFILES_H_

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace report {

class MediaFiles {
 public:
  // Deciphers stored files of an encrypted backup: each pair is (file id,
  // destination path); returns the ids written.
  using Decipher =
      std::function<std::set<std::string>(const std::vector<std::pair<std::string, std::string>>&)>;

  // `backup`: the backup folder the scan read (ends in "/"); `reportFolder`
  // ends in "/". Without `decipher` stored files are copied as they are.
  MediaFiles(std::string backup, std::string reportFolder, Decipher decipher = nullptr);

  // The report's name for the stored file at `storedPath` ("media/<file
  // id>.<extension>", the extension taken from `name`), or "" when the path is
  // not a stored file of this backup. The file is copied by CopyAll.
  std::string Want(const std::string& storedPath, const std::string& name);

  // A file the device knew by its own path (an attachment's
  // "~/Library/SMS/…"), stored at `storedPath`.
  void KnowDevicePath(const std::string& devicePath, const std::string& storedPath);
  std::string WantDevicePath(const std::string& devicePath, const std::string& name);

  // The name of the thumbnail CopyAll makes of a wanted picture
  // ("media/thumbs/<file id>.jpg"); "" for a file that is no picture. A
  // picture that cannot be decoded gets none.
  std::string ThumbnailOf(const std::string& shown);

  // Copies (or deciphers) every wanted file into media/. The files that
  // could not be, in plain sentences.
  std::vector<std::string> CopyAll();

  size_t Wanted() const { return wanted_.size(); }

 private:
  // Thumbnails of the pictures copied; a picture that does not decode has none.
  void MakeThumbnails();

  std::string backup_;
  std::string reportFolder_;
  Decipher decipher_;
  std::map<std::string, std::string> storedByDevicePath_;
  std::map<std::string, std::string> wanted_;      // file id -> name below the report folder
  std::map<std::string, std::string> thumbnails_;  // name of the copy -> of its thumbnail
};

}  // namespace report

#endif  // HOST_REPORT_MEDIAFILES_H_
