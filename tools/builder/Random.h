// The builder's random numbers: splitmix64, because the standard library's
// distributions differ between implementations and generated backups must
// not.
#ifndef KELDRA_BUILDER_RANDOM_H_
#define KELDRA_BUILDER_RANDOM_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace builder {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }
  size_t Between(size_t low, size_t high) { return low + Below(high - low + 1); }
  template <typename T, size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[Below(N)];
  }
  std::string Hex(size_t digits, bool upper = false) {
    static const char kLower[] = "0123456789abcdef";
    static const char kUpper[] = "0123456789ABCDEF";
    const char* set = upper ? kUpper : kLower;
    std::string text;
    uint64_t bits = 0;
    for (size_t i = 0; i < digits; ++i) {
      if (i % 16 == 0) bits = Next();
      text.push_back(set[bits & 15]);
      bits >>= 4;
    }
    return text;
  }
  std::string Guid() {
    std::string h = Hex(32, true);
    return h.substr(0, 8) + "-" + h.substr(8, 4) + "-" + h.substr(12, 4) + "-" + h.substr(16, 4) +
           "-" + h.substr(20);
  }

 private:
  uint64_t state_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_RANDOM_H_
