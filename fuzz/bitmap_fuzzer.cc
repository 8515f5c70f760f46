// Fuzzes the image checks and the conversion of one job, in memory.
//
// Input: 15 bytes of job fields, then the image file's bytes.
//   byte 0      flags: bit 0 x is 32-bit (else byte 1 as a signed byte),
//               bit 1 the same for y; bits 2-5 push colour k out of 0..255
//   bytes 1-4   x, little-endian      bytes 5-8  y
//   byte 9      width  (signed byte)  byte 10    height (signed byte)
//   bytes 11-14 colour 0 to 3
// A rectangle is at most 16 x 16 tiles, to keep an iteration fast; x and y
// roam the whole 32-bit range, so it can still cross 2^31.
//
// Oracle: a plain model written from the rules, sharing no code with the
// converter: the check order and its verdict, every pixel's palette index
// (an uncompressed BMP either way up, run-length data decoded, a PNG
// decoded whole by libspng in one call), the colour numbers, and the mirror
// matching against every earlier pattern in order, which give the exact
// words of the binary output. (The text output's format is the black-box
// suites' to check.) Images of more than 2^20 pixels to decode are checked
// but not converted.

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "run/job_conversion.h"
#include "support/memory_file_system.h"

namespace {

using tessarn::MessageId;

constexpr int64_t kMaxPixels = int64_t{1} << 28;
constexpr int64_t kMaxConvertedPixels = int64_t{1} << 20;

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bitmap fuzzer: %s\n", what);
    std::abort();
  }
}

uint32_t le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

// What the rules say of an image: accepted, or the message; its pixels.
struct Model {
  MessageId reason = MessageId::kNotBmp;
  bool accepted = false, topDown = false, runLength = false, png = false;
  int64_t width = 0, height = 0;
  int bits = 0;
  uint64_t offset = 0;
  std::vector<uint8_t> decoded = {};  // run-length and PNG: one byte a pixel, stored rows
};

Model rejected(MessageId reason) { return Model{reason}; }

Model checkBmp(const std::vector<uint8_t>& f) {
  Model m;
  if (f.size() < 18 || f[0] != 'B' || f[1] != 'M') return rejected(MessageId::kNotBmp);
  const uint32_t header_size = le(&f[14], 4);
  const bool core = header_size == 12;
  if ((!core && header_size < 40) || f.size() < (core ? 26u : 34u)) return rejected(MessageId::kNotBmp);
  m.offset = le(&f[10], 4);
  // (A core header's sizes are unsigned 16-bit, an info header's signed.)
  m.width = core ? int64_t{le(&f[18], 2)} : int64_t{static_cast<int32_t>(le(&f[18], 4))};
  const int64_t h = core ? int64_t{le(&f[20], 2)} : int64_t{static_cast<int32_t>(le(&f[22], 4))};
  m.topDown = h < 0;
  m.height = h < 0 ? -h : h;
  m.bits = static_cast<int>(le(&f[core ? 24 : 28], 2));
  const uint32_t compression = core ? 0 : le(&f[30], 4);
  if (m.bits != 1 && m.bits != 4 && m.bits != 8) return rejected(MessageId::kNotIndexed);
  m.runLength = (compression == 1 && m.bits == 8) || (compression == 2 && m.bits == 4);
  if ((compression != 0 && !m.runLength) || (m.runLength && m.width * m.height > kMaxPixels)) {
    return rejected(MessageId::kUnsupportedCompression);
  }
  const uint64_t stride = (static_cast<uint64_t>(m.width) * m.bits + 31) / 32 * 4;
  if (m.width < 1 || m.height == 0 ||
      (m.runLength ? m.offset > f.size() : m.offset + stride * static_cast<uint64_t>(m.height) > f.size())) {
    return rejected(MessageId::kNotBmp);
  }
  m.accepted = true;
  return m;
}

// Run-length data into stored rows, from the escape table.
void decodeRunLength(const std::vector<uint8_t>& f, Model* m) {
  m->decoded.assign(static_cast<size_t>(m->width * m->height), 0);
  const std::vector<uint8_t> data(f.begin() + static_cast<ptrdiff_t>(m->offset), f.end());
  const bool nibbles = m->bits == 4;
  auto index = [&](uint8_t byte, size_t n) { return nibbles ? (n % 2 == 0 ? byte >> 4 : byte & 15) : byte; };
  int64_t x = 0, row = 0;
  auto put = [&](int v) {
    if (row < m->height && x < m->width) m->decoded[row * m->width + x] = static_cast<uint8_t>(v);
    ++x;
  };
  for (size_t i = 0; row < m->height && i + 1 < data.size();) {
    const uint8_t first = data[i], second = data[i + 1];
    i += 2;
    if (first != 0) {
      for (size_t n = 0; n < first; ++n) put(index(second, n));
    } else if (second == 0) {
      ++row;
      x = 0;
    } else if (second == 1) {
      break;
    } else if (second == 2) {
      if (i + 1 >= data.size()) break;
      x += data[i];
      row += data[i + 1];
      i += 2;
    } else {
      const size_t bytes = nibbles ? (second + 1u) / 2 : second;
      for (size_t n = 0; n < second && i + (nibbles ? n / 2 : n) < data.size(); ++n) {
        put(index(data[i + (nibbles ? n / 2 : n)], n));
      }
      i = std::min(data.size(), i + bytes + bytes % 2);
    }
  }
}

// libspng's verdict on the whole file, and its pixels.
Model checkPng(const std::vector<uint8_t>& f) {
#ifdef TESSARN_FUZZING
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_IGNORE_ADLER32);
  spng_set_crc_action(ctx, SPNG_CRC_USE, SPNG_CRC_USE);
#else
  spng_ctx* ctx = spng_ctx_new(0);
#endif
  Model m = rejected(MessageId::kUnreadablePng);
  spng_ihdr ihdr{};
  spng_set_png_buffer(ctx, f.data(), f.size());
  if (spng_get_ihdr(ctx, &ihdr) == 0) {
    m = {MessageId::kUnreadablePng, false, false, false, true, ihdr.width, ihdr.height, ihdr.bit_depth};
    const int64_t stride = (m.width * m.bits + 7) / 8;
    std::vector<uint8_t> packed;
    if ((ihdr.color_type != 0 && ihdr.color_type != 3) || ihdr.bit_depth > 8) {
      m.reason = MessageId::kNotIndexed;
    } else if (m.width * m.height > kMaxPixels) {
      m.reason = MessageId::kUnsupportedCompression;
    } else if (m.width * m.height > kMaxConvertedPixels) {
      // Checked, but not decoded here: passed over.
    } else if (packed.resize(static_cast<size_t>(stride * m.height)),
               spng_decode_image(ctx, packed.data(), packed.size(), SPNG_FMT_PNG, 0) == 0 &&
                   spng_decode_chunks(ctx) == 0) {
      m.accepted = true;
      for (int64_t y = 0; y < m.height; ++y) {
        for (int64_t bit = 0; bit < m.width * m.bits; bit += m.bits) {
          m.decoded.push_back(static_cast<uint8_t>(packed[y * stride + bit / 8] >> (8 - m.bits - bit % 8) &
                                                   ((1 << m.bits) - 1)));
        }
      }
    }
  }
  spng_ctx_free(ctx);
  return m;
}

// Palette index of pixel (x, y), y from the top; -1 outside the image.
int indexAt(const std::vector<uint8_t>& f, const Model& m, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= m.width || y >= m.height) return -1;
  const int64_t stored = m.topDown || m.png ? y : m.height - 1 - y;
  if (m.runLength || m.png) return m.decoded[stored * m.width + x];
  const int64_t bit = stored * ((m.width * m.bits + 31) / 32 * 32) + x * m.bits;
  return f[m.offset + bit / 8] >> (8 - m.bits - bit % 8) & ((1 << m.bits) - 1);
}

using Tile = std::array<uint16_t, 8>;

// The tile drawn mirrored left-right and/or top-bottom, bit by bit.
Tile mirrored(const Tile& t, bool left_right, bool top_bottom) {
  Tile out{};
  for (int r = 0; r < 8; ++r) {
    for (int b = 0; b < 16; ++b) {
      const int from = left_right ? (b & 8) | (7 - (b & 7)) : b;
      if (t[top_bottom ? 7 - r : r] >> from & 1) out[r] |= static_cast<uint16_t>(1 << b);
    }
  }
  return out;
}

// The binary output the rules give: the map words, then every pattern.
std::string expectedWords(const std::vector<uint8_t>& file, const Model& model, const tessarn::JobRecord& job) {
  std::vector<Tile> patterns = {Tile{}};
  std::string words;
  auto word16 = [&](uint16_t w) { words += {static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)}; };
  for (int64_t top = job.y; top < int64_t{job.y} + job.height; top += 8) {
    for (int64_t left = job.x; left < int64_t{job.x} + job.width; left += 8) {
      Tile tile{};
      for (int r = 0; r < 8; ++r) {
        for (int i = 0; i < 8; ++i) {
          const int index = indexAt(file, model, left + i, top + r);
          int colour = 0;
          for (int k = 3; k >= 0; --k) colour = index >= 0 && job.colour[k] == index ? k : colour;
          tile[r] |= static_cast<uint16_t>((colour & 1) << (7 - i) | (colour >> 1) << (15 - i));
        }
      }
      int word = -1;
      for (size_t p = 0; p < patterns.size() && word < 0; ++p) {
        for (int o = 0; o < 4 && word < 0; ++o) {
          if (tile == mirrored(patterns[p], o & 1, o & 2)) word = static_cast<int>(p) | o << 14;
        }
      }
      if (word < 0) {
        word = static_cast<int>(patterns.size());
        patterns.push_back(tile);
      }
      word16(static_cast<uint16_t>(word));
    }
  }
  for (const Tile& p : patterns) {
    for (uint16_t row : p) word16(row);
  }
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kControlBytes = 15;
  if (size < kControlBytes) return 0;
  tessarn::JobRecord job;
  const uint8_t flags = data[0];
  job.x = (flags & 1) ? static_cast<int32_t>(le(data + 1, 4)) : static_cast<int8_t>(data[1]);
  job.y = (flags & 2) ? static_cast<int32_t>(le(data + 5, 4)) : static_cast<int8_t>(data[5]);
  job.width = static_cast<int8_t>(data[9]);
  job.height = static_cast<int8_t>(data[10]);
  for (int k = 0; k < 4; ++k) {
    const int32_t c = data[11 + k];
    job.colour[k] = (flags & (4 << k)) ? (c % 2 == 0 ? c + 256 : INT32_MIN + c) : c;
  }
  job.bitmapName = "f.bmp";
  job.name = "f.bin";
  const std::vector<uint8_t> file(data + kControlBytes, data + size);

  const bool png = file.size() >= 8 && std::memcmp(file.data(), "\x89PNG\r\n\x1A\n", 8) == 0;
  Model model = png ? checkPng(file) : checkBmp(file);
  const bool too_big = model.width * model.height > kMaxConvertedPixels;
  if ((model.runLength || model.png) && (model.accepted || model.reason == MessageId::kUnreadablePng) && too_big) {
    return 0;
  }
  if (model.runLength && model.accepted) decodeRunLength(file, &model);

  // The converter, through its real entry, on files in memory.
  tessarn::MemoryFileSystem files;
  files.files["f.bmp"].assign(file.begin(), file.end());
  tessarn::RunState run(&files, nullptr);
  tessarn::Failure failure;
  require(run.outputs.createTextOutput(&failure) && run.outputs.createBinaryOutput("f.bin", &failure),
          "creating outputs in memory");
  run.job = job;
  const bool converted = tessarn::convertJob(&run, &failure);
  if (converted) run.outputs.writePatternTable(run.dictionary);
  require(run.outputs.closeBinaryOutput(&failure) && run.outputs.closeTextOutput(&failure), "closing outputs");

  if (!model.accepted) {
    require(!converted && failure.message == model.reason, "a rejected image's reason");
    require(failure.name == (model.reason == MessageId::kNotIndexed ? "" : "f.bmp"), "a rejected image's name");
    require(files.files["output.txt"].empty() && files.files["f.bin"].empty(), "a rejected image wrote");
  } else {
    require(converted, "an accepted image was not converted");
    require(files.files["f.bin"] == expectedWords(file, model, job), "binary output differs");
  }
  return 0;
}
