#include "support/bmp_writer.h"

namespace tessarn::testing {
namespace {

void put16(std::string* out, uint32_t v) { *out += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF)}; }

std::string palette(int bit_count, bool core, const std::vector<uint32_t>& colours) {
  std::string out;
  const int count = bit_count > 8 ? 0 : 1 << bit_count;
  for (int i = 0; i < count; ++i) {
    const uint32_t rgb = static_cast<size_t>(i) < colours.size() ? colours[i] : 0x010101u * (i * 255 / (count - 1));
    out += {static_cast<char>(rgb & 0xFF), static_cast<char>(rgb >> 8 & 0xFF), static_cast<char>(rgb >> 16)};
    if (!core) out.push_back('\0');
  }
  return out;
}

std::string assemble(const std::string& info, const std::string& colours, const std::string& pixel_data) {
  std::string out = "BM";
  const uint32_t offset = 14 + static_cast<uint32_t>(info.size() + colours.size());
  put32(&out, offset + static_cast<uint32_t>(pixel_data.size()));
  put32(&out, 0);
  put32(&out, offset);
  return out + info + colours + pixel_data;
}

// One stored row: packed and padded to 4 bytes, or run-length encoded.
std::string encodeRow(const BmpSpec& bmp, const uint8_t* row) {
  std::string out;
  if (bmp.runLength) {
    for (int x = 0; x < bmp.width;) {
      int run = 1;
      while (x + run < bmp.width && run < 255 && row[x + run] == row[x]) ++run;
      out += {static_cast<char>(run), static_cast<char>(bmp.bitCount == 4 ? row[x] * 0x11 : row[x])};
      x += run;
    }
    return out + std::string("\0\0", 2);  // end of line
  }
  out.assign((static_cast<size_t>(bmp.width) * bmp.bitCount + 31) / 32 * 4, '\0');
  for (int x = 0; x < bmp.width; ++x) {
    const int bit = x * bmp.bitCount;
    out[bit / 8] = static_cast<char>(out[bit / 8] | row[x] << (8 - bmp.bitCount - bit % 8));
  }
  return out;
}

}  // namespace

void put32(std::string* out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

std::string writeRawBmp(int width, int height, int bit_count, uint32_t compression,
                        const std::string& pixel_data, const std::vector<uint32_t>& colours) {
  std::string info;
  for (uint32_t v : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)}) put32(&info, v);
  put16(&info, 1);
  put16(&info, static_cast<uint32_t>(bit_count));
  for (uint32_t v : {compression, static_cast<uint32_t>(pixel_data.size()), 2835u, 2835u,
                     bit_count > 8 ? 0u : 1u << bit_count, 0u}) {
    put32(&info, v);
  }
  return assemble(info, palette(bit_count, false, colours), pixel_data);
}

std::string writeBmp(const BmpSpec& bmp) {
  std::string pixel_data;
  for (int i = 0; i < bmp.height; ++i) {
    pixel_data += encodeRow(bmp, &bmp.pixels[static_cast<size_t>(bmp.topDown ? i : bmp.height - 1 - i) * bmp.width]);
  }
  if (bmp.runLength) pixel_data += std::string("\0\1", 2);  // end of bitmap
  if (bmp.coreHeader) {
    std::string info;
    for (uint32_t v : {12u, static_cast<uint32_t>(bmp.width), static_cast<uint32_t>(bmp.height), 1u,
                       static_cast<uint32_t>(bmp.bitCount)}) {
      v == 12u ? put32(&info, v) : put16(&info, v);
    }
    return assemble(info, palette(bmp.bitCount, true, bmp.palette), pixel_data);
  }
  const uint32_t compression = !bmp.runLength ? 0 : bmp.bitCount == 4 ? 2 : 1;
  return writeRawBmp(bmp.width, bmp.topDown ? -bmp.height : bmp.height, bmp.bitCount, compression, pixel_data,
                     bmp.palette);
}

}  // namespace tessarn::testing
