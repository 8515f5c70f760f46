// The colours an image's palette gives its indices, as far as it has
// entries for them. tessarn converts by index and never needs colours; the
// preview images show them.

#ifndef TESSARN_IMAGE_PALETTE_H_
#define TESSARN_IMAGE_PALETTE_H_

#include <array>
#include <cstdint>

namespace tessarn {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb& other) const = default;
};

class Palette {
 public:
  // Appends the next entry; entries past the 256th are ignored.
  void add(Rgb colour) {
    if (count_ < static_cast<int>(entries_.size())) entries_[count_++] = colour;
  }
  // Whether there is an entry for `index`.
  bool has(int32_t index) const { return index >= 0 && index < count_; }
  // The colour of palette index `index`, or `fallback` if there is no such
  // entry.
  Rgb colourOf(int32_t index, Rgb fallback) const {
    return index >= 0 && index < count_ ? entries_[index] : fallback;
  }

 private:
  std::array<Rgb, 256> entries_{};
  int count_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_IMAGE_PALETTE_H_
