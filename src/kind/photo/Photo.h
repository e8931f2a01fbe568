// Kind 6: the camera roll, the albums and each album's photos. The host
// platform reads Photos.sqlite; this kind finds the database, asks the host,
// completes the answers with where each photo and its thumbnail lie in the
// backup, and sends three result series.
#ifndef KELDRA_KIND_PHOTO_PHOTO_H_
#define KELDRA_KIND_PHOTO_PHOTO_H_

#include <string>

#include "common/Observer.h"
#include "kind/kind.h"
#include "vorn/Json.h"

namespace keldra {

class Photo : public Kind {
 public:
  Photo();
  ~Photo() override = default;

  void Run(const ScanContext& scan) override;
  // Locates Media/PhotoData/Photos.sqlite (any domain); the first match wins.

  const std::string& DatabasePath() const { return databasePath_; }

 private:
  void ResetResults() { results_.SetArray(); }

  std::string databasePath_;
  rapidjson::Document results_;
  // Where complete reading finds the database.
  const size_t databaseWatch_;
};

}  // namespace keldra

#endif  // KELDRA_KIND_PHOTO_PHOTO_H_
