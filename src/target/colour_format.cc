#include "target/colour_format.h"


namespace tessarn {
namespace {

// A field of `bits` bits widened to 8, as the machine's DAC does: its bits
// repeated down.
uint8_t widen(uint32_t value, int bits) {
  uint32_t out = 0;
  for (int shift = 8 - bits; shift > -bits; shift -= bits) {
    out |= shift >= 0 ? value << shift : value >> -shift;
  }
  return static_cast<uint8_t>(out & 0xFF);
}

uint32_t gbShade(Rgb c) {
  const uint32_t luma = (299u * c.red + 587u * c.green + 114u * c.blue) / 1000;
  return 3 - luma * 4 / 256;
}

}  // namespace

bool findColourFormat(std::string_view name, ColourFormat* format) {
  if (name == "rgb888") {
    *format = ColourFormat::kRgb888;
    return true;
  }
  const Target* target = findTarget(name);
  if (target == nullptr || target->isClassic()) return false;
  *format = target->colourFormat;
  return true;
}

uint32_t colourValue(ColourFormat format, Rgb c, int index) {
  const uint32_t r = c.red, g = c.green, b = c.blue;
  switch (format) {
    case ColourFormat::kBgr555:
      return r >> 3 | (g >> 3) << 5 | (b >> 3) << 10;
    case ColourFormat::kMd:
      return (r >> 5) << 1 | (g >> 5) << 5 | (b >> 5) << 9;
    case ColourFormat::kPce:
      return b >> 5 | (r >> 5) << 3 | (g >> 5) << 6;
    case ColourFormat::kGg:
      return r >> 4 | (g >> 4) << 4 | (b >> 4) << 8;
    case ColourFormat::kSms:
      return r >> 6 | (g >> 6) << 2 | (b >> 6) << 4;
    case ColourFormat::kGb:
      return gbShade(c);
    case ColourFormat::kNes:
      return static_cast<uint32_t>(index < 0 ? 0 : index);
    case ColourFormat::kNone:
    case ColourFormat::kRgb888:
      break;
  }
  return r << 16 | g << 8 | b;
}

Rgb shownColour(ColourFormat format, uint32_t v, Rgb original) {
  switch (format) {
    case ColourFormat::kBgr555:
      return {widen(v & 31, 5), widen(v >> 5 & 31, 5), widen(v >> 10 & 31, 5)};
    case ColourFormat::kMd:
      return {widen(v >> 1 & 7, 3), widen(v >> 5 & 7, 3), widen(v >> 9 & 7, 3)};
    case ColourFormat::kPce:
      return {widen(v >> 3 & 7, 3), widen(v >> 6 & 7, 3), widen(v & 7, 3)};
    case ColourFormat::kGg:
      return {widen(v & 15, 4), widen(v >> 4 & 15, 4), widen(v >> 8 & 15, 4)};
    case ColourFormat::kSms:
      return {widen(v & 3, 2), widen(v >> 2 & 3, 2), widen(v >> 4 & 3, 2)};
    case ColourFormat::kGb: {
      const auto grey = static_cast<uint8_t>((3 - v) * 85);
      return {grey, grey, grey};
    }
    case ColourFormat::kNes:
      return original;
    case ColourFormat::kNone:
    case ColourFormat::kRgb888:
      break;
  }
  return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

bool wordValues(ColourFormat format) {
  switch (format) {
    case ColourFormat::kBgr555:
    case ColourFormat::kMd:
    case ColourFormat::kPce:
    case ColourFormat::kGg:
      return true;
    case ColourFormat::kNone:
    case ColourFormat::kSms:
    case ColourFormat::kGb:
    case ColourFormat::kNes:
    case ColourFormat::kRgb888:
      break;
  }
  return false;
}

bool bigEndianValues(ColourFormat format) { return format == ColourFormat::kMd; }

std::vector<uint16_t> paletteValues(ColourFormat format, const std::vector<uint32_t>& colours) {
  std::vector<uint16_t> values;
  for (size_t i = 0; i < colours.size(); ++i) {
    switch (format) {
      case ColourFormat::kGb:
        // Four colours a byte, colour 0 in the low bits.
        if (i % 4 == 0) values.push_back(0);
        values.back() = static_cast<uint16_t>(values.back() | (colours[i] & 3) << (2 * (i % 4)));
        break;
      case ColourFormat::kRgb888:
      case ColourFormat::kNone:
        for (int shift : {16, 8, 0}) values.push_back(static_cast<uint16_t>(colours[i] >> shift & 0xFF));
        break;
      case ColourFormat::kBgr555:
      case ColourFormat::kMd:
      case ColourFormat::kPce:
      case ColourFormat::kGg:
      case ColourFormat::kSms:
      case ColourFormat::kNes:
        values.push_back(static_cast<uint16_t>(colours[i]));
        break;
    }
  }
  return values;
}

}  // namespace tessarn
