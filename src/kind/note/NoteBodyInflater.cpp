#include "kind/note/NoteBodyInflater.h"

#include <algorithm>

#include "common/PeerRequest.h"
#include "vorn/VRNUtilityUnzip.h"

namespace keldra {

void NoteBodyInflater::GrowFor(size_t blobLength) {
  while (target_ < blobLength && target_ < kMaxSize) target_ *= 2;
  target_ = std::min(target_, kMaxSize);
  if (buffer_.size() < target_) buffer_.resize(target_, '\0');
}

std::optional<std::string_view> NoteBodyInflater::Inflate(const uint8_t* blob, size_t length) {
  GrowFor(length);
  // The buffer keeps at least target_ bytes, so the inflater may fill them.
  size_t inflated = target_;
  auto* storage = reinterpret_cast<uint8_t*>(buffer_.data());
  if (VRNUtilityUnzip::GZDecompress(blob, length, storage, &inflated) == VRNUtilityUnzip::kOk)
    return std::string_view(buffer_.data(), inflated);
  return AskHost(blob, length, inflated);
}

std::optional<std::string_view> NoteBodyInflater::InflateWhole(const uint8_t* blob, size_t length) {
  GrowFor(length);
  size_t inflated = target_;
  auto* storage = reinterpret_cast<uint8_t*>(buffer_.data());
  int result = VRNUtilityUnzip::GZDecompress(blob, length, storage, &inflated);
  if (result == VRNUtilityUnzip::kOk) return std::string_view(buffer_.data(), inflated);
  if (result == VRNUtilityUnzip::kOutputTooSmall && inflated <= kMaxSize) {
    // The buffer keeps this room; the size first offered stays as it was.
    if (buffer_.size() < inflated) buffer_.resize(inflated, '\0');
    size_t whole = inflated;
    storage = reinterpret_cast<uint8_t*>(buffer_.data());
    if (VRNUtilityUnzip::GZDecompress(blob, length, storage, &whole) == VRNUtilityUnzip::kOk)
      return std::string_view(buffer_.data(), whole);
  }
  return AskHost(blob, length, inflated);
}

std::optional<std::string_view> NoteBodyInflater::AskHost(const uint8_t* blob, size_t length,
                                                          size_t reported) {
  // The host appends what it inflates to the emptied buffer. `reported` is
  // what the failed call said (the full size when only room was missing),
  // which the host may not have delivered in full.
  buffer_.clear();
  if (!RequestDecompress(blob, length, buffer_)) return std::nullopt;
  return std::string_view(buffer_.data(), std::min(reported, buffer_.size()));
}

}  // namespace keldra
