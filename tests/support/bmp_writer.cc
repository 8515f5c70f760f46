#include "support/bmp_writer.h"

namespace tessarn::testing {
namespace {

constexpr uint32_t kFileHeaderSize = 14;

std::vector<std::vector<uint8_t>> storedRows(const BmpSpec& bmp) {
  std::vector<std::vector<uint8_t>> rows;
  for (int i = 0; i < bmp.height; ++i) {
    int y = bmp.topDown ? i : bmp.height - 1 - i;
    rows.emplace_back(bmp.pixels.begin() + y * bmp.width,
                      bmp.pixels.begin() + (y + 1) * bmp.width);
  }
  return rows;
}

std::string packRow(const std::vector<uint8_t>& row, int bit_count) {
  std::string out;
  out.assign((row.size() * bit_count + 7) / 8, '\0');
  for (size_t x = 0; x < row.size(); ++x) {
    const size_t bit = x * bit_count;
    out[bit / 8] = static_cast<char>(out[bit / 8] | row[x] << (8 - bit_count - bit % 8));
  }
  out.resize((out.size() + 3) / 4 * 4, '\0');
  return out;
}

std::string palette(int bit_count, bool core, const std::vector<uint32_t>& colours = {}) {
  std::string out;
  if (bit_count > 8) return out;
  const int count = 1 << bit_count;
  for (int i = 0; i < count; ++i) {
    const uint32_t grey = static_cast<uint32_t>(bit_count == 8 ? i : i * 255 / (count - 1)) * 0x010101;
    const uint32_t rgb = static_cast<size_t>(i) < colours.size() ? colours[i] : grey;
    out += {static_cast<char>(rgb & 0xFF), static_cast<char>(rgb >> 8 & 0xFF), static_cast<char>(rgb >> 16)};
    if (!core) out.push_back('\0');
  }
  return out;
}

std::string assemble(const std::string& info, const std::string& colours,
                     const std::string& pixel_data) {
  std::string out = "BM";
  uint32_t offset = kFileHeaderSize + static_cast<uint32_t>(info.size() + colours.size());
  put32(&out, offset + static_cast<uint32_t>(pixel_data.size()));
  put32(&out, 0);
  put32(&out, offset);
  return out + info + colours + pixel_data;
}

std::string infoHeader(int width, int height, int bit_count, uint32_t compression,
                       uint32_t image_size) {
  std::string out;
  put32(&out, 40);
  put32(&out, static_cast<uint32_t>(width));
  put32(&out, static_cast<uint32_t>(height));
  put16(&out, 1);
  put16(&out, static_cast<uint16_t>(bit_count));
  put32(&out, compression);
  put32(&out, image_size);
  put32(&out, 2835);
  put32(&out, 2835);
  put32(&out, bit_count > 8 ? 0 : 1u << bit_count);
  put32(&out, 0);
  return out;
}

}  // namespace

void put16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}

void put32(std::string* out, uint32_t v) {
  put16(out, static_cast<uint16_t>(v & 0xFFFF));
  put16(out, static_cast<uint16_t>(v >> 16));
}

std::string encodeRunLength(int bit_count, int width,
                            const std::vector<std::vector<uint8_t>>& stored_rows) {
  std::string out;
  for (const auto& row : stored_rows) {
    for (int x = 0; x < width;) {
      int run = 1;
      while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
      out.push_back(static_cast<char>(run));
      out.push_back(static_cast<char>(bit_count == 4 ? row[x] * 0x11 : row[x]));
      x += run;
    }
    out.append(std::string("\0\0", 2));
  }
  out.append(std::string("\0\1", 2));
  return out;
}

std::string writeRawBmp(int width, int height, int bit_count, uint32_t compression,
                        const std::string& pixel_data, const std::vector<uint32_t>& colours) {
  return assemble(infoHeader(width, height, bit_count, compression,
                             static_cast<uint32_t>(pixel_data.size())),
                  palette(bit_count, false, colours), pixel_data);
}

std::string writeBmp(const BmpSpec& bmp) {
  std::vector<std::vector<uint8_t>> rows = storedRows(bmp);
  std::string pixel_data;
  if (bmp.runLength) {
    pixel_data = encodeRunLength(bmp.bitCount, bmp.width, rows);
  } else {
    for (const auto& row : rows) pixel_data += packRow(row, bmp.bitCount);
  }
  if (bmp.coreHeader) {
    std::string info;
    put32(&info, 12);
    put16(&info, static_cast<uint16_t>(bmp.width));
    put16(&info, static_cast<uint16_t>(bmp.height));
    put16(&info, 1);
    put16(&info, static_cast<uint16_t>(bmp.bitCount));
    return assemble(info, palette(bmp.bitCount, true, bmp.palette), pixel_data);
  }
  int height = bmp.topDown ? -bmp.height : bmp.height;
  const uint32_t compression = !bmp.runLength ? 0 : bmp.bitCount == 4 ? 2 : 1;
  return writeRawBmp(bmp.width, height, bmp.bitCount, compression, pixel_data, bmp.palette);
}

}  // namespace tessarn::testing
