#include "support/png_writer.h"

#include <zlib.h>

namespace tessarn::testing {
namespace {

int channelsOf(int colour_type) { return colour_type == 2 ? 3 : colour_type == 6 ? 4 : 1; }

std::string big32(uint32_t v) {
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
  return out;
}

// The scanlines of one (sub)image: every `x_step`th pixel from `x0` of every
// `y_step`th row from `y0`, each scanline with filter type 0 in front.
std::string scanlines(const PngSpec& png, int x0, int y0, int x_step, int y_step) {
  const int channels = channelsOf(png.colourType);
  std::string out;
  for (int y = y0; y < png.height; y += y_step) {
    std::string line(1, '\0');
    size_t bit = 0;
    for (int x = x0; x < png.width; x += x_step) {
      const uint8_t v = png.pixels[static_cast<size_t>(y) * png.width + x];
      for (int c = 0; c < channels; ++c, bit += png.bitDepth) {
        if (bit % 8 == 0) line.append(png.bitDepth == 16 ? 2 : 1, '\0');
        if (png.bitDepth == 16) {
          line[line.size() - 2] = line[line.size() - 1] = static_cast<char>(v);
        } else {
          line.back() = static_cast<char>(line.back() | v << (8 - png.bitDepth - bit % 8));
        }
      }
    }
    if (line.size() > 1) out += line;
  }
  return out;
}

}  // namespace

std::string writePng(const PngSpec& png) {
  std::string raw;
  if (png.interlaced) {
    // Adam7: seven passes over the image.
    const int x0[] = {0, 4, 0, 2, 0, 1, 0}, y0[] = {0, 0, 4, 0, 2, 0, 1};
    const int dx[] = {8, 8, 4, 4, 2, 2, 1}, dy[] = {8, 8, 8, 4, 4, 2, 2};
    for (int pass = 0; pass < 7; ++pass) raw += scanlines(png, x0[pass], y0[pass], dx[pass], dy[pass]);
  } else {
    raw = scanlines(png, 0, 0, 1, 1);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string compressed(size, '\0');
  compress(reinterpret_cast<Bytef*>(compressed.data()), &size,
           reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()));
  compressed.resize(size);

  std::string header = big32(static_cast<uint32_t>(png.width)) + big32(static_cast<uint32_t>(png.height));
  header += {static_cast<char>(png.bitDepth), static_cast<char>(png.colourType), 0, 0,
             static_cast<char>(png.interlaced ? 1 : 0)};
  std::string out = "\x89PNG\r\n\x1A\n" + pngChunk("IHDR", header);
  if (png.colourType == 3) {
    std::string palette;
    for (int i = 0; i < (1 << png.bitDepth); ++i) {
      palette += {static_cast<char>(i * 7), static_cast<char>(255 - i), 40};
    }
    out += pngChunk("PLTE", palette);
  }
  return out + pngChunk("IDAT", compressed) + pngChunk("IEND", "");
}

std::string pngChunk(const std::string& type, const std::string& data) {
  std::string out = big32(static_cast<uint32_t>(data.size())) + type + data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + 4),
                          static_cast<uInt>(out.size() - 4));
  return out + big32(static_cast<uint32_t>(crc));
}

}  // namespace tessarn::testing
