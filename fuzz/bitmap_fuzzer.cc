// Fuzzes the bitmap checks and the conversion of one job, in memory.
//
// Input: 15 bytes of job fields, then the bitmap file's bytes.
//   byte 0      flags: bit 0 x is 32-bit (else byte 1 as a signed byte),
//               bit 1 the same for y; bits 2-5 push colour k out of 0..255
//   bytes 1-4   x, little-endian      bytes 5-8  y
//   byte 9      width  (signed byte)  byte 10    height (signed byte)
//   bytes 11-14 colour 0 to 3
// Width and height are kept to a signed byte so that a rectangle is at most
// 16 x 16 tiles and an iteration stays fast; x and y can roam the whole
// 32-bit range, so a rectangle can still cross 2^31.
//
// Oracle: a plain model written from the rules, sharing no code with the
// converter: the check order and its verdict, every pixel's palette index
// (uncompressed BMP either way up, run-length decoded, or a PNG decoded whole
// by libspng in one call), the colour numbers, the mirror matching against
// every earlier pattern in order, and the exact bytes of output.txt and of
// the binary output.
//
// A run-length image or a PNG may declare up to 2^28 pixels and the
// converter then decodes that many. Such an image is checked here, but only
// converted when it has at most 2^20 pixels, to keep iterations fast; the
// large ones are covered by the end-to-end tests.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <spng.h>

#include "run/job_conversion.h"
#include "support/memory_file_system.h"

namespace {

using tessarn::MessageId;

constexpr size_t kControlBytes = 15;
constexpr int64_t kMaxConvertedPixels = int64_t{1} << 20;
constexpr int64_t kMaxPixels = int64_t{1} << 28;

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

// What the rules say about an image file: accepted or the message, and
// every pixel's palette index.
struct Model {
  bool accepted = false;
  MessageId reason = MessageId::kNotBmp;
  int64_t width = 0, height = 0;
  bool topDown = false, runLength = false, png = false;
  int bits = 0;
  uint64_t offset = 0;
  std::vector<uint8_t> decoded;  // run-length and PNG images: one byte a pixel, stored rows
  bool tooBig = false;           // too many pixels to decode on every iteration
};

Model rejected(MessageId id) {
  Model m;
  m.reason = id;
  return m;
}

Model checkBmp(const std::vector<uint8_t>& f) {
  Model m;
  if (f.size() < 18 || f[0] != 'B' || f[1] != 'M') return rejected(MessageId::kNotBmp);
  const uint32_t header_size = le(&f[14], 4);
  m.offset = le(&f[10], 4);
  uint32_t compression = 0;
  if (header_size == 12) {
    if (f.size() < 26) return rejected(MessageId::kNotBmp);
    m.width = le(&f[18], 2);
    m.height = le(&f[20], 2);
    m.bits = static_cast<int>(le(&f[24], 2));
  } else if (header_size >= 40) {
    if (f.size() < 34) return rejected(MessageId::kNotBmp);
    m.width = static_cast<int32_t>(le(&f[18], 4));
    const int64_t h = static_cast<int32_t>(le(&f[22], 4));
    m.topDown = h < 0;
    m.height = h < 0 ? -h : h;
    m.bits = static_cast<int>(le(&f[28], 2));
    compression = le(&f[30], 4);
  } else {
    return rejected(MessageId::kNotBmp);
  }
  if (m.bits != 1 && m.bits != 4 && m.bits != 8) return rejected(MessageId::kNotIndexed);
  m.runLength = (compression == 1 && m.bits == 8) || (compression == 2 && m.bits == 4);
  if (compression != 0 && !m.runLength) return rejected(MessageId::kUnsupportedCompression);
  if (m.runLength && m.width * m.height > kMaxPixels) {
    return rejected(MessageId::kUnsupportedCompression);
  }
  if (m.width < 1 || m.height == 0) return rejected(MessageId::kNotBmp);
  const uint64_t stride = (static_cast<uint64_t>(m.width) * m.bits + 31) / 32 * 4;
  if (m.runLength ? m.offset > f.size()
                  : m.offset + stride * static_cast<uint64_t>(m.height) > f.size()) {
    return rejected(MessageId::kNotBmp);
  }
  m.accepted = true;
  return m;
}

// Run-length data into stored rows, from the escape table.
void decodeRunLength(const std::vector<uint8_t>& f, Model* m) {
  m->decoded.assign(static_cast<size_t>(m->width * m->height), 0);
  std::vector<uint8_t> data(f.begin() + static_cast<ptrdiff_t>(m->offset), f.end());
  const bool nibbles = m->bits == 4;
  int64_t x = 0, row = 0;
  size_t i = 0;
  auto put = [&](uint8_t v) {
    if (row < m->height && x < m->width) m->decoded[row * m->width + x] = v;
    ++x;
  };
  while (row < m->height && i + 1 < data.size()) {
    const uint8_t first = data[i], second = data[i + 1];
    i += 2;
    if (first != 0) {
      for (int n = 0; n < first; ++n) put(nibbles ? (n % 2 == 0 ? second >> 4 : second & 15) : second);
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
      const size_t bytes = nibbles ? (second + 1) / 2 : second;
      for (size_t n = 0; n < second && i + n / (nibbles ? 2 : 1) < data.size(); ++n) {
        const uint8_t b = data[i + n / (nibbles ? 2 : 1)];
        put(nibbles ? (n % 2 == 0 ? b >> 4 : b & 15) : b);
      }
      i = std::min(data.size(), i + bytes + bytes % 2);
    }
  }
}

// libspng's answer for the whole file, decoded in one call.
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
    m.png = true;
    m.width = ihdr.width;
    m.height = ihdr.height;
    m.bits = ihdr.bit_depth;
    if ((ihdr.color_type != 0 && ihdr.color_type != 3) || ihdr.bit_depth > 8) {
      m = rejected(MessageId::kNotIndexed);
    } else if (m.width * m.height > kMaxPixels) {
      m = rejected(MessageId::kUnsupportedCompression);
    } else if (m.width * m.height > kMaxConvertedPixels) {
      m.tooBig = true;
    } else {
      std::vector<uint8_t> packed(static_cast<size_t>((m.width * m.bits + 7) / 8 * m.height));
      m.accepted = spng_decode_image(ctx, packed.data(), packed.size(), SPNG_FMT_PNG, 0) == 0 &&
                   spng_decode_chunks(ctx) == 0;
      const int64_t stride = (m.width * m.bits + 7) / 8;
      for (int64_t y = 0; y < m.height && m.accepted; ++y) {
        for (int64_t x = 0; x < m.width; ++x) {
          const int64_t bit = x * m.bits;
          m.decoded.push_back(static_cast<uint8_t>(
              packed[y * stride + bit / 8] >> (8 - m.bits - bit % 8) & ((1 << m.bits) - 1)));
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
  const int64_t stride = (m.width * m.bits + 31) / 32 * 4;
  const int64_t bit = x * m.bits;
  const uint8_t byte = f[m.offset + stored * stride + bit / 8];
  return byte >> (8 - m.bits - bit % 8) & ((1 << m.bits) - 1);
}

using Tile = std::array<uint16_t, 8>;

Tile mirrorLeftRight(Tile t) {
  for (uint16_t& row : t) {
    uint16_t out = 0;
    for (int b = 0; b < 8; ++b) {
      if (row & (1 << b)) out |= static_cast<uint16_t>(1 << (7 - b));
      if (row & (0x100 << b)) out |= static_cast<uint16_t>(0x100 << (7 - b));
    }
    row = out;
  }
  return t;
}

Tile mirrorTopBottom(Tile t) {
  for (int r = 0; r < 4; ++r) std::swap(t[r], t[7 - r]);
  return t;
}

void appendHex(std::string* out, uint16_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X, ", v);
  *out += text;
}

void appendWord(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
  if (model.runLength && model.accepted) {
    model.tooBig = model.width * model.height > kMaxConvertedPixels;
    if (!model.tooBig) decodeRunLength(file, &model);
  }
  if (model.tooBig) return 0;

  // The converter, through its real entry, on an in-memory file system.
  tessarn::MemoryFileSystem files;
  files.files["f.bmp"].assign(file.begin(), file.end());
  tessarn::RunState run(&files, nullptr);
  tessarn::Failure failure;
  require(run.outputs.createTextOutput(&failure) && run.outputs.createBinaryOutput("f.bin", &failure),
          "creating outputs in memory");
  run.job = job;
  const bool converted = tessarn::convertJob(&run, &failure);
  if (converted) run.outputs.writePatternTable(run.dictionary);
  require(run.outputs.closeBinaryOutput(&failure) && run.outputs.closeTextOutput(&failure),
          "closing outputs in memory");

  // What the rules say it should have written.
  std::string text, binary;
  if (!model.accepted) {
    require(!converted && failure.message == model.reason, "a rejected bitmap's reason");
    require(failure.name == (model.reason == MessageId::kNotIndexed ? "" : "f.bmp"),
            "a rejected bitmap's name");
  } else {
    require(converted, "an accepted bitmap was not converted");
    std::vector<Tile> patterns = {Tile{}};
    text = "unsigned short f.bin[]={\r\n";
    for (int64_t top = job.y; top < int64_t{job.y} + job.height; top += 8) {
      text += "\t";
      for (int64_t left = job.x; left < int64_t{job.x} + job.width; left += 8) {
        Tile tile{};
        for (int r = 0; r < 8; ++r) {
          for (int i = 0; i < 8; ++i) {
            const int index = indexAt(file, model, left + i, top + r);
            int colour = 0;
            for (int k = 3; k >= 0; --k) {
              if (index >= 0 && job.colour[k] == index) colour = k;
            }
            tile[r] |= static_cast<uint16_t>(((colour & 1) << (7 - i)) |
                                             ((colour >> 1) << (15 - i)));
          }
        }
        int word = -1;
        for (size_t p = 0; p < patterns.size() && word < 0; ++p) {
          const Tile& q = patterns[p];
          if (tile == q) {
            word = static_cast<int>(p);
          } else if (tile == mirrorLeftRight(q)) {
            word = static_cast<int>(p) | 0x4000;
          } else if (tile == mirrorTopBottom(q)) {
            word = static_cast<int>(p) | 0x8000;
          } else if (tile == mirrorTopBottom(mirrorLeftRight(q))) {
            word = static_cast<int>(p) | 0xC000;
          }
        }
        if (word < 0) {
          word = static_cast<int>(patterns.size());
          patterns.push_back(tile);
        }
        appendHex(&text, static_cast<uint16_t>(word));
        appendWord(&binary, static_cast<uint16_t>(word));
      }
      text += "\r\n";
    }
    text += "};\r\n#define W_f.bin " + std::to_string((int64_t{job.width} + 7) / 8) + "\r\n";
    text += "#define H_f.bin " + std::to_string((int64_t{job.height} + 7) / 8) + "\r\n";
    text += "\r\n#define MAX_PCG " + std::to_string(patterns.size()) + "\r\n";
    text += "unsigned short PCG_DAT[]={\r\n";
    for (const Tile& p : patterns) {
      text += "\t";
      for (uint16_t row : p) {
        appendHex(&text, row);
        appendWord(&binary, row);
      }
      text += "\r\n";
    }
    text += "};\r\n";
  }
  require(files.files["output.txt"] == text, "output.txt differs");
  require(files.files["f.bin"] == binary, "binary output differs");
  return 0;
}
