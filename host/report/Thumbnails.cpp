#include "report/Thumbnails.h"

#include <vips/vips.h>

#include <cstdlib>
#include <memory>

#include "report/DataParts.h"

namespace report {
namespace {

struct ObjectUnref {
  void operator()(VipsImage* image) const { g_object_unref(image); }
};
using UniqueImage = std::unique_ptr<VipsImage, ObjectUnref>;

struct FreeBuffer {
  void operator()(void* bytes) const { g_free(bytes); }
};
using UniqueBuffer = std::unique_ptr<void, FreeBuffer>;

// libvips is started once per process, before any thumbnail thread, and
// shut down when it ends: it cannot be started again after that.
bool StartVips() {
  static const bool started = [] {
    if (VIPS_INIT("keldra") != 0) return false;
    // Each picture is read once: caching decoded images only holds memory.
    vips_cache_set_max(0);
    // Pictures are made one per core, each on one thread.
    vips_concurrency_set(1);
    // Loaders libvips itself does not vouch for never see a backup's bytes.
    vips_block_untrusted_set(TRUE);
    // A picture that does not decode only goes without a thumbnail: the
    // decoders' complaints about it are not the person's business.
    g_log_set_handler(
        "VIPS",
        static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO |
                                    G_LOG_LEVEL_DEBUG),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    // Its worker threads and buffers are released when the program ends.
    std::atexit(vips_shutdown);
    return true;
  }();
  return started;
}

// libvips picks a loader by the file's content, not its name: only the
// decoders of camera and messaging pictures are let at a backup's bytes.
bool IsPictureLoader(const char* loader) {
  if (!loader) return false;
  std::string name(loader);
  for (const char* allowed : {"VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadGif",
                              "VipsForeignLoadWebp", "VipsForeignLoadHeif", "VipsForeignLoadTiff"})
    if (name.compare(0, std::string(allowed).size(), allowed) == 0) return true;
  return false;
}

bool EndsWith(const std::string& text, const char* suffix) {
  std::string tail(suffix);
  return text.size() > tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool CanThumbnail(const std::string& name) {
  for (const char* extension :
       {".jpg", ".jpeg", ".png", ".gif", ".webp", ".bmp", ".heic", ".heif", ".tif", ".tiff"})
    if (EndsWith(name, extension)) return true;
  return false;
}

bool StartThumbnails() {
  return StartVips();
}

bool MakeThumbnail(const std::string& source, const std::string& destination) {
  if (!StartVips()) return false;
  if (!IsPictureLoader(vips_foreign_find_load(source.c_str()))) {
    vips_error_clear();
    return false;
  }
  VipsImage* made = nullptr;
  // Shrunk while decoding where the format allows, never enlarged; turned
  // upright as the camera recorded it.
  if (vips_thumbnail(source.c_str(), &made, kThumbnailSize, "height", kThumbnailSize, "size",
                     VIPS_SIZE_DOWN, nullptr) != 0) {
    vips_error_clear();
    return false;
  }
  UniqueImage image(made);
  void* bytes = nullptr;
  size_t size = 0;
  if (vips_jpegsave_buffer(image.get(), &bytes, &size, "Q", 75, "strip", TRUE, nullptr) != 0) {
    vips_error_clear();
    return false;
  }
  UniqueBuffer owned(bytes);
  return WriteReportFile(destination, std::string(static_cast<const char*>(bytes), size));
}

}  // namespace report
