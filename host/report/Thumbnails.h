// Small JPEG pictures of the report's photos and attachments, made with
// libvips: pages stay light however large the originals are, and pictures a
// browser cannot show (HEIC, TIFF) get a form it can.
#ifndef HOST_REPORT_THUMBNAILS_H_
#define HOST_REPORT_THUMBNAILS_H_

#include <string>

namespace report {

// The longest side of a thumbnail, in pixels.
inline constexpr int kThumbnailSize = 320;

// Whether a copy named like this is a picture a thumbnail can be made of.
bool CanThumbnail(const std::string& name);

// Writes a JPEG thumbnail of the picture at `source` to `destination` (never
// over an existing file or through a link). False when the picture cannot be
// decoded or the thumbnail cannot be written. Threads may make thumbnails at
// once once StartThumbnails has returned.
bool MakeThumbnail(const std::string& source, const std::string& destination);

// Starts the picture library (once per process); false when it cannot start.
bool StartThumbnails();

}  // namespace report

#endif  // HOST_REPORT_THUMBNAILS_H_
