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
// (uncompressed either way up, or run-length decoded), the colour numbers,
// the mirror matching against every earlier pattern in order, and the exact
// bytes of output.txt and of the binary output.
//
// A run-length image may declare up to 2^28 pixels and the converter then
// allocates and clears that much. Such an image is checked here, but only
// converted when it has at most 2^20 pixels, to keep iterations fast; the
// large allocation is covered by the end-to-end tests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap/bitmap_image.h"
#include "run/run_driver.h"

namespace {

using tessarn::MessageId;

constexpr size_t kControlBytes = 15;
constexpr int64_t kMaxConvertedRunLengthPixels = int64_t{1} << 20;

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

// What the rules say about a bitmap file.
struct Model {
  bool accepted = false;
  MessageId reason = MessageId::kNotBmp;
  int64_t width = 0, height = 0;
  bool topDown = false, runLength = false;
  int bits = 0;
  uint64_t offset = 0;
  std::vector<uint8_t> decoded;  // run-length images: stored rows, width x height
};

Model check(const std::vector<uint8_t>& f) {
  Model m;
  auto reject = [&](MessageId id) {
    m.accepted = false;
    m.reason = id;
    return m;
  };
  if (f.size() < 18 || f[0] != 'B' || f[1] != 'M') return reject(MessageId::kNotBmp);
  const uint32_t header_size = le(&f[14], 4);
  m.offset = le(&f[10], 4);
  uint32_t compression = 0;
  if (header_size == 12) {
    if (f.size() < 26) return reject(MessageId::kNotBmp);
    m.width = le(&f[18], 2);
    m.height = le(&f[20], 2);
    m.bits = static_cast<int>(le(&f[24], 2));
  } else if (header_size >= 40) {
    if (f.size() < 34) return reject(MessageId::kNotBmp);
    m.width = static_cast<int32_t>(le(&f[18], 4));
    const int64_t h = static_cast<int32_t>(le(&f[22], 4));
    m.topDown = h < 0;
    m.height = h < 0 ? -h : h;
    m.bits = static_cast<int>(le(&f[28], 2));
    compression = le(&f[30], 4);
  } else {
    return reject(MessageId::kNotBmp);
  }
  if (m.bits != 1 && m.bits != 8) return reject(MessageId::kNotEightBit);
  m.runLength = compression == 1 && m.bits == 8;
  if (compression != 0 && !m.runLength) return reject(MessageId::kUnsupportedCompression);
  if (m.runLength && m.width * m.height > (int64_t{1} << 28)) {
    return reject(MessageId::kUnsupportedCompression);
  }
  if (m.width < 1 || m.height == 0) return reject(MessageId::kNotBmp);
  const uint64_t stride = (static_cast<uint64_t>(m.width) * m.bits + 31) / 32 * 4;
  if (m.runLength ? m.offset > f.size()
                  : m.offset + stride * static_cast<uint64_t>(m.height) > f.size()) {
    return reject(MessageId::kNotBmp);
  }
  m.accepted = true;
  return m;
}

// Run-length data into stored rows, from the escape table.
void decode(const std::vector<uint8_t>& f, Model* m) {
  m->decoded.assign(static_cast<size_t>(m->width * m->height), 0);
  std::vector<uint8_t> data(f.begin() + static_cast<ptrdiff_t>(m->offset), f.end());
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
      for (int n = 0; n < first; ++n) put(second);
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
      const size_t literal_end = i + second;
      for (; i < data.size() && i < literal_end; ++i) put(data[i]);
      if (second % 2 == 1 && i < data.size()) ++i;
    }
  }
}

// Palette index of pixel (x, y), y from the top; -1 outside the image.
int indexAt(const std::vector<uint8_t>& f, const Model& m, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= m.width || y >= m.height) return -1;
  const int64_t stored = m.topDown ? y : m.height - 1 - y;
  if (m.runLength) return m.decoded[stored * m.width + x];
  const int64_t stride = (m.width * m.bits + 31) / 32 * 4;
  const uint8_t byte = f[m.offset + stored * stride + (m.bits == 8 ? x : x / 8)];
  return m.bits == 8 ? byte : (byte >> (7 - x % 8)) & 1;
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

  Model model = check(file);
  {
    tessarn::BitmapImage image;
    uint8_t* buffer = image.file.allocate(file.size());
    require(buffer != nullptr, "allocation");
    if (!file.empty()) std::memcpy(buffer, file.data(), file.size());
    tessarn::BitmapHeader header;
    MessageId reason = MessageId::kOutOfMemory;
    const bool accepted =
        tessarn::checkBitmap(image, &header, &reason) == tessarn::BitmapCheck::kAccepted;
    require(accepted == model.accepted, "accepted differs from the rules");
    require(accepted || reason == model.reason, "rejection reason differs from the rules");
  }
  if (model.runLength && model.accepted) {
    if (model.width * model.height > kMaxConvertedRunLengthPixels) return 0;
    decode(file, &model);
  }

  // The converter, through its real entry, on an in-memory file system.
  tessarn::MemoryFileSystem files;
  files.files["f.bmp"].assign(file.begin(), file.end());
  tessarn::MemoryFileSystem console_files;
  std::unique_ptr<tessarn::WriteStream> console = console_files.create("console");
  tessarn::RunState run(&files, console.get());
  require(run.outputs.createTextOutput() && run.outputs.createBinaryOutput("f.bin"),
          "creating outputs in memory");
  run.job = job;
  const tessarn::JobOutcome outcome = tessarn::convertJob(&run);
  if (outcome == tessarn::JobOutcome::kConverted) run.outputs.writePatternTable(run.dictionary);
  require(run.outputs.closeOutputs(), "closing outputs in memory");

  // What the rules say it should have written.
  std::string text, binary, messages;
  if (!model.accepted) {
    require(outcome == tessarn::JobOutcome::kSkipped, "a rejected bitmap was not skipped");
    messages = tessarn::formatMessage(model.reason, "f.bmp");
  } else {
    require(outcome == tessarn::JobOutcome::kConverted, "an accepted bitmap was not converted");
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
  require(console_files.files["console"] == messages, "console differs");
  require(files.files["output.txt"] == text, "output.txt differs");
  require(files.files["f.bin"] == binary, "binary output differs");
  return 0;
}
