// Fuzzes whole runs, in memory, against a plain model of the rules that
// shares no code with the converter, byte for byte: token rules, image
// checks, pixel decoding (a PNG by libspng in one call), colours, mirror
// matching against every earlier pattern, formats and the run's course.
//
// Input: a fault byte, a read-size byte (the most a read of the job list
// hands over, 0 for no limit; the reader is checked with 1 and 7 too), then tessarn.txt, a.bmp, b.bmp, c.bmp, the
// command line's options and given.pat, separated by "\n%%\n" (a file is
// missing if its section is). The options (split at white space) are read by the
// tool's own parser; the model takes their values and re-derives what they
// do: numbering from a first number, the limit, attributes, mirroring,
// kept duplicates and the patterns a run starts from (--patterns-from
// given.pat, read by the model itself). Faults: bit
// 0 no tessarn.txt; bits 1, 2 output.txt cannot be created, its writes fail;
// bits 3, 4 the same for a.bin; bit 5 a report and previews watch; bit 6
// closing output.txt and a.bin fails; bit 7 (replayed) each allocation of
// the run fails in turn. Every run is made twice: on one thread, and on two
// with rows kept in a ring of a few rows, made and encoded on threads of
// their own. Runs over kMaxTiles tiles, over 2^20 pixels to
// decode, or reading their own outputs are passed over.

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <climits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "joblist/job_list_reader.h"
#include "outputs/pattern_file.h"
#include "run/run_driver.h"
#include "support/memory_file_system.h"
#include "support/messages.h"
#include "views/preview_images.h"
#include "views/run_report.h"

namespace {

using tessarn::MessageId;

constexpr int64_t kMaxTiles = 4096;
constexpr int64_t kMaxPixels = int64_t{1} << 28;
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 20;
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "run fuzzer: %s\n", what);
  std::abort();
}

uint32_t le(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

// A job of the list, as the model reads it.
struct JobRecord {
  std::string bitmapName;
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::string name;
  int32_t colour[4] = {0, 0, 0, 0};
};

bool sameJob(const tessarn::JobRecord& a, const JobRecord& b) {
  return a.bitmapName == b.bitmapName && a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
         a.name == b.name && std::equal(a.colour, a.colour + 4, b.colour);
}

// The token rules, read off the whole job list.
class PlainReader {
 public:
  explicit PlainReader(std::string_view bytes) : s_(bytes.substr(0, bytes.find('\x1A'))) {}

  // The fields filled, or -1 at the end.
  int readJob(JobRecord* job) {
    int32_t* const numbers[] = {&job->x,         &job->y,         &job->width,     &job->height,
                                &job->colour[0], &job->colour[1], &job->colour[2], &job->colour[3]};
    for (int field = 0; field < 10; ++field) {
      if (field == 0 || field == 5) {
        if (!nextToken()) return field == 0 ? -1 : field;
        (field == 0 ? job->bitmapName : job->name) = takeName();
      } else if (!takeNumber(numbers[field < 5 ? field - 1 : field - 2])) {
        return field;
      }
    }
    return 10;
  }

 private:
  static bool space(char c) { return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr; }
  bool nextToken() {
    while (at_ < s_.size() && space(s_[at_])) ++at_;
    return at_ < s_.size();
  }
  std::string takeName() {
    const size_t start = at_;
    while (at_ < s_.size() && !space(s_[at_])) ++at_;
    return std::string(s_.substr(start, at_ - start));
  }
  bool takeNumber(int32_t* value) {
    if (!nextToken()) return false;
    const bool negative = s_[at_] == '-';
    if (s_[at_] == '+' || s_[at_] == '-') ++at_;
    const size_t start = at_;
    int64_t magnitude = 0;  // held below 2^40: out of range is out of range
    for (; at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9'; ++at_) {
      magnitude = std::min(magnitude * 10 + (s_[at_] - '0'), int64_t{1} << 40);
    }
    if (at_ == start) return false;
    *value = static_cast<int32_t>(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT32_MIN, INT32_MAX));
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
};

// What the rules say of an image file: accepted, or the message; its pixels.
struct Image {
  bool accepted = false, topDown = false, runLength = false;
  bool tooLarge = false;  // to be decoded, but past the fuzzer's budget
  bool cutShort = false;  // run-length data that ends before the last row
  MessageId reason = MessageId::kNotBmp;
  int64_t width = 0, height = 0, offset = 0;
  int bits = 0;
  std::vector<uint8_t> pixels = {};  // one byte a pixel, rows from the top
};

// Packed rows of `stride` bytes into pixels, the first row stored first or last.
void unpack(const uint8_t* rows, int64_t stride, bool bottom_up, Image* m) {
  for (int64_t y = 0; y < m->height; ++y) {
    const uint8_t* row = rows + (bottom_up ? m->height - 1 - y : y) * stride;
    for (int64_t bit = 0; bit < m->width * m->bits; bit += m->bits) {
      m->pixels.push_back(static_cast<uint8_t>(row[bit / 8] >> (8 - m->bits - bit % 8) & ((1 << m->bits) - 1)));
    }
  }
}

Image checkBmp(const std::string& f) {
  const auto* d = reinterpret_cast<const uint8_t*>(f.data());
  Image m;
  if (f.size() < 18 || f[0] != 'B' || f[1] != 'M') return m;
  const uint32_t header_size = le(d + 14, 4);
  const bool core = header_size == 12;
  if ((!core && header_size < 40) || f.size() < (core ? 26u : 34u)) return m;
  m.offset = le(d + 10, 4);
  // A core header's sizes are unsigned 16-bit, an info header's signed.
  m.width = core ? int64_t{le(d + 18, 2)} : int64_t{static_cast<int32_t>(le(d + 18, 4))};
  const int64_t h = core ? int64_t{le(d + 20, 2)} : int64_t{static_cast<int32_t>(le(d + 22, 4))};
  m.topDown = h < 0;
  m.height = h < 0 ? -h : h;
  m.bits = static_cast<int>(le(d + (core ? 24 : 28), 2));
  const uint32_t compression = core ? 0 : le(d + 30, 4);
  m.reason = MessageId::kNotIndexed;
  if (m.bits != 1 && m.bits != 4 && m.bits != 8) return m;
  m.runLength = (compression == 1 && m.bits == 8) || (compression == 2 && m.bits == 4);
  m.reason = MessageId::kUnsupportedCompression;
  if ((compression != 0 && !m.runLength) || (m.runLength && m.width * m.height > kMaxPixels)) return m;
  m.reason = MessageId::kNotBmp;
  const int64_t stride = (m.width * m.bits + 31) / 32 * 4;
  m.accepted = m.width >= 1 && m.height != 0 &&
               (m.runLength ? m.offset <= static_cast<int64_t>(f.size())
                            : m.offset + stride * m.height <= static_cast<int64_t>(f.size()));
  return m;
}

// Run-length data into pixels, from the escape table.
void decodeRunLength(const std::string& f, Image* m) {
  m->pixels.assign(static_cast<size_t>(m->width * m->height), 0);
  const std::string data = f.substr(static_cast<size_t>(m->offset));
  const bool nibbles = m->bits == 4;
  auto index = [&](uint8_t byte, size_t n) { return nibbles ? (n % 2 == 0 ? byte >> 4 : byte & 15) : byte; };
  int64_t x = 0, row = 0;
  auto put = [&](int v) {
    const int64_t y = m->topDown ? row : m->height - 1 - row;
    if (row < m->height && x < m->width) m->pixels[y * m->width + x] = static_cast<uint8_t>(v);
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
      return;
    } else if (second == 2) {
      if (i + 1 >= data.size()) break;
      x += static_cast<uint8_t>(data[i]);
      row += static_cast<uint8_t>(data[i + 1]);
      i += 2;
    } else {
      const size_t bytes = nibbles ? (second + 1u) / 2 : second;
      for (size_t n = 0; n < second && i + (nibbles ? n / 2 : n) < data.size(); ++n) {
        put(index(data[i + (nibbles ? n / 2 : n)], n));
      }
      i = std::min(data.size(), i + bytes + bytes % 2);
    }
  }
  m->cutShort = row < m->height - 1 || (row == m->height - 1 && x < m->width);
}

// libspng's verdict on the whole file, and its pixels.
Image checkPng(const std::string& f) {
  spng_ctx* ctx = spng_ctx_new(0);
  Image m{.reason = MessageId::kUnreadablePng};
  spng_ihdr ihdr{};
  spng_set_png_buffer(ctx, f.data(), f.size());
  if (spng_get_ihdr(ctx, &ihdr) == 0) {
    m.width = ihdr.width;
    m.height = ihdr.height;
    m.bits = ihdr.bit_depth;
    if ((ihdr.color_type != 0 && ihdr.color_type != 3) || ihdr.bit_depth > 8) {
      m.reason = MessageId::kNotIndexed;
    } else if (m.width * m.height > kMaxPixels) {
      m.reason = MessageId::kUnsupportedCompression;
    } else if (m.width * m.height > kMaxDecodedPixels) {
      m.tooLarge = true;
    } else {
      const int64_t stride = (m.width * m.bits + 7) / 8;
      std::vector<uint8_t> packed(static_cast<size_t>(stride * m.height));
      m.accepted = spng_decode_image(ctx, packed.data(), packed.size(), SPNG_FMT_PNG, 0) == 0 &&
                   spng_decode_chunks(ctx) == 0;
      if (m.accepted) unpack(packed.data(), stride, false, &m);
    }
  }
  spng_ctx_free(ctx);
  return m;
}

Image check(const std::string& f) {
  if (f.starts_with(kPngSignature)) return checkPng(f);
  Image m = checkBmp(f);
  m.tooLarge = m.accepted && m.runLength && m.width * m.height > kMaxDecodedPixels;
  if (m.accepted && m.runLength && !m.tooLarge) decodeRunLength(f, &m);
  if (m.accepted && !m.runLength) {
    unpack(reinterpret_cast<const uint8_t*>(f.data()) + m.offset, (m.width * m.bits + 31) / 32 * 4, !m.topDown, &m);
  }
  return m;
}

// Palette index of pixel (x, y), y from the top; -1 outside the image.
int indexAt(const Image& m, int64_t x, int64_t y) {
  return x < 0 || y < 0 || x >= m.width || y >= m.height ? -1 : m.pixels[y * m.width + x];
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

std::string hex4(uint16_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X, ", v);
  return text;
}

// --c-source's files as the naming rules tell them: BASE.c written as the
// run goes, BASE.h at the end of a complete run.
struct Library {
  std::string base, stem, prefix, guard, source, header;
  std::set<std::string> names;  // every name the files define so far
  bool inArray = false, anyArray = false;

  static bool letter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
  bool free(const std::string& s) const {
    static const std::set<std::string> keywords = {
        "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
        "cdecl", "char", "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return", "co_yield", "compl",
        "concept", "const", "const_cast", "consteval", "constexpr", "constinit", "continue", "decltype", "default",
        "delete", "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "far",
        "fastcall", "float", "for", "friend", "goto", "if", "inline", "int", "long", "mutable", "namespace", "near",
        "new", "noexcept", "not", "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public",
        "register", "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
        "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true",
        "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using", "virtual",
        "void", "volatile", "wchar_t", "while", "xor", "xor_eq"};
    return !keywords.count(s) && !names.count(s) && !names.count(s + "_WIDTH") && !names.count(s + "_HEIGHT");
  }

  Library(const std::string& b, const std::string& p) : base(b), prefix(p) {
    stem = base.substr(base.rfind('/') + 1);
    guard = "TESSARN_";
    for (char c : stem) guard += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    guard = guard.substr(0, 54) + "_H";
    names = {guard, prefix + "patterns", prefix + "PATTERN_COUNT", prefix + "FIRST_PATTERN"};
    source = "/* The maps and patterns that tessarn made; declared in " + stem + ".h. */\r\n#include \"" + stem + ".h\"\r\n";
  }

  struct Entry { std::string symbol, name; int64_t number, wide, high; };
  std::vector<Entry> entries;

  void begin(const std::string& job_name, int64_t number, int64_t wide, int64_t high) {
    std::string s = prefix;
    for (char c : job_name) s += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '_';
    if (s.empty() || !letter(s[0])) s = "map_" + s;
    s = s.substr(0, 49);
    const std::string n = "_" + std::to_string(number);
    std::string symbol = s;
    for (size_t k = 1; !free(symbol); ++k) {
      if (k * n.size() >= 49) {
        for (int m = 1; !free(symbol = "map" + n + "_" + std::to_string(m)); ++m) {}
        break;
      }
      symbol = s.substr(0, 49 - k * n.size());
      for (size_t i = 0; i < k; ++i) symbol += n;
    }
    names.insert({symbol, symbol + "_WIDTH", symbol + "_HEIGHT"});
    inArray = wide * high > 0;
    entries.push_back({symbol, job_name, number, inArray ? wide : 0, inArray ? high : 0});
    anyArray |= inArray;
    if (inArray) source += "\r\nconst unsigned short " + symbol + "[] = {\r\n";
  }

  // BASE.h, and the pattern table in BASE.c.
  void finish(const std::vector<Tile>& patterns, size_t given, int first) {
    const size_t count = patterns.size() - given;
    if (count > 0) {
      source += "\r\nconst unsigned short " + prefix + "patterns[] = {\r\n";
      for (size_t p = given; p < patterns.size(); ++p) {
        source += "\t";
        for (uint16_t row : patterns[p]) source += hex4(row);
        source += "\r\n";
      }
      source += "};\r\n";
    } else if (!anyArray) {
      std::string spare = prefix + "no_arrays";
      for (int m = 2; !free(spare); ++m) spare = prefix + "no_arrays_" + std::to_string(m);
      source += "\r\ntypedef int " + spare + ";  /* ISO C wants a declaration */\r\n";
    }
    header = "/* The maps and patterns that tessarn made, defined in " + stem + ".c:\r\n";
    for (const Entry& e : entries) {
      std::string name;
      for (char c : e.name) {
        const auto b = static_cast<unsigned char>(c);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        name += b >= 0x20 && b < 0x7F && !std::strchr("*/?\\", c) ? std::string(1, c) : std::string(hex);
      }
      header += " *   " + e.symbol + ": job " + std::to_string(e.number) + ", " + name +
                (e.wide * e.high > 0 ? "" : " (no tiles: no array)") + "\r\n";
    }
    header += " *   " + prefix + "patterns: the patterns the run added" + (count > 0 ? "" : " (none: no array)") +
              "\r\n */\r\n";
    header += "#ifndef " + guard + "\r\n#define " + guard + "\r\n\r\n#ifdef __cplusplus\r\nextern \"C\" {\r\n#endif\r\n";
    for (const Entry& e : entries) {
      header += "\r\n";
      if (e.wide * e.high > 0) header += "extern const unsigned short " + e.symbol + "[];\r\n";
      header += "#define " + e.symbol + "_WIDTH " + std::to_string(e.wide) + "\r\n#define " + e.symbol + "_HEIGHT " +
                std::to_string(e.high) + "\r\n";
    }
    header += "\r\n";
    if (count > 0) header += "extern const unsigned short " + prefix + "patterns[];\r\n";
    header += "#define " + prefix + "PATTERN_COUNT " + std::to_string(count) + "\r\n#define " + prefix +
              "FIRST_PATTERN " + std::to_string(first + given) + "\r\n\r\n#ifdef __cplusplus\r\n}\r\n#endif\r\n\r\n#endif\r\n";
  }
};

// A run as the rules tell it: the outputs it writes and what it says.
struct Model {
  tessarn::MemoryFileSystem* files = nullptr;
  const tessarn::Options* options = nullptr;
  std::string console;
  bool failed = false;
  int first = 0, limit = 16384;
  uint16_t mirrors = 0xC000;  // the mirror bits allowed
  size_t given = 0;           // patterns the run starts with from a file
  std::vector<Tile> patterns = {Tile{}};
  std::unique_ptr<Library> library;  // with --c-source
  std::map<std::string, std::string> outputs;  // what each output holds
  std::string binary;                            // the current binary output, if any
  std::vector<std::string> warnings;             // as the report gives them

  void say(MessageId id, const std::string& name = "") {
    console += tessarn::testing::expectedMessage(id, name, options->messages);
    failed = failed || (id != MessageId::kNotBmp && id != MessageId::kNotIndexed &&
                        id != MessageId::kUnsupportedCompression && id != MessageId::kUnreadablePng);
  }
  void value(uint16_t v) {
    outputs["output.txt"] += hex4(v);
    if (!binary.empty()) outputs[binary] += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  }
  bool create(const std::string& name) {
    const bool creatable = files->uncreatable.count(name) == 0;
    creatable ? outputs[name].clear() : say(MessageId::kCannotCreate, name);
    return creatable;
  }
  // Said when the file is closed: its close failed, or a write (if any) did.
  void close(const std::string& name) {
    if (files->unclosable.count(name) != 0 || (files->unwritable.count(name) != 0 && !outputs[name].empty())) {
      say(MessageId::kWriteFailed, name);
    }
  }

  // The options' values; false if they make a usage error.
  bool configure(const tessarn::Options& o) {
    options = &o;
    const tessarn::MapWordLayout& layout = o.patterns.layout;
    first = layout.firstPattern;
    limit = layout.patternLimit;
    const uint16_t mirror_modes[] = {0xC000, 0x4000, 0x8000, 0};
    mirrors = mirror_modes[static_cast<int>(layout.mirror)];
    if (o.patternsFrom.empty()) return true;
    patterns.clear();
    for (const std::string& name : o.patternsFrom) {
      const auto file = files->files.find(name);
      if (file == files->files.end() || file->second.empty() || file->second.size() % 16 != 0) return false;
      for (size_t at = 0; at < file->second.size(); at += 16) {
        Tile t;
        for (int r = 0; r < 8; ++r) t[r] = static_cast<uint16_t>(le(reinterpret_cast<const uint8_t*>(file->second.data()) + at + 2 * r, 2));
        patterns.push_back(t);
      }
    }
    given = patterns.size();
    return static_cast<int64_t>(given) <= limit - first;
  }

  // False if the job ended the run, a tile needing a number past the limit.
  bool convert(const JobRecord& job, int64_t number, const Image& image) {
    if (library) library->begin(job.name, number, tilesFor(job.width), tilesFor(job.height));
    uint16_t attributes = 0;
    for (const tessarn::JobRule& rule : options->attributes) {
      if (rule.everyJob || rule.jobName == job.name) attributes |= rule.value;
    }
    std::string& text = outputs["output.txt"];
    text += "unsigned short " + job.name + "[]={\r\n";
    int64_t unnamed = 0, first_x = 0, first_y = INT64_MAX;
    for (int64_t row = 0; row < tilesFor(job.height); ++row) {
      text += "\t";
      if (library && library->inArray) library->source += "\t";
      for (int64_t column = 0; column < tilesFor(job.width); ++column) {
        Tile tile{};
        for (int r = 0; r < 8; ++r) {
          for (int i = 0; i < 8; ++i) {
            const int index = indexAt(image, job.x + 8 * column + i, job.y + 8 * row + r);
            int colour = 0;
            for (int k = 3; k >= 0; --k) colour = index >= 0 && job.colour[k] == index ? k : colour;
            tile[r] |= static_cast<uint16_t>((colour & 1) << (7 - i) | (colour >> 1) << (15 - i));
            const int64_t px = job.x + 8 * column + i, py = job.y + 8 * row + r;
            if (index >= 0 && std::count(job.colour, job.colour + 4, index) == 0) {
              ++unnamed;
              if (py < first_y || (py == first_y && px < first_x)) first_x = px, first_y = py;
            }
          }
        }
        int word = -1;
        for (size_t p = 0; p < patterns.size() && word < 0 && !options->patterns.keepDuplicates; ++p) {
          for (int o = 0; o < 4 && word < 0; ++o) {
            if ((o << 14 & ~mirrors) == 0 && tile == mirrored(patterns[p], o & 1, o & 2)) {
              word = (first + static_cast<int>(p)) | o << 14;
            }
          }
        }
        if (word < 0 && first + static_cast<int64_t>(patterns.size()) >= limit) {
          say(MessageId::kTooManyPatterns, std::to_string(limit));
          return false;
        }
        if (word < 0) {
          word = first + static_cast<int>(patterns.size());
          patterns.push_back(tile);
        }
        value(static_cast<uint16_t>(word | attributes));
        if (library && library->inArray) library->source += hex4(static_cast<uint16_t>(word | attributes));
      }
      if (library && library->inArray) library->source += "\r\n";
      outputs["output.txt"] += "\r\n";
    }
    if (library && library->inArray) library->source += "};\r\n";
    const std::string about = "warning: job " + std::to_string(number) + " (" + job.name + "): ";
    if (job.width <= 0 || job.height <= 0) {
      warnings.push_back(about + "the rectangle is " + std::to_string(job.width) + " x " + std::to_string(job.height) +
                         " pixels: it has no tiles");
    }
    if (unnamed > 0) {
      warnings.push_back(about + std::to_string(unnamed) + " pixels of " + job.bitmapName +
                         " have palette indices that none of the job's colours names (the first at " +
                         std::to_string(first_x) + "," + std::to_string(first_y) + "): they are colour 0");
    }
    if (image.cutShort) {
      warnings.push_back(about + job.bitmapName + "'s run-length data ends before its last row: the rest is colour 0");
    }
    outputs["output.txt"] += "};\r\n#define W_" + job.name + " " + std::to_string((int64_t{job.width} + 7) / 8) +
                             "\r\n#define H_" + job.name + " " + std::to_string((int64_t{job.height} + 7) / 8) + "\r\n";
    return true;
  }

  // The run; returns the exit status.
  int run(const std::string& list) {
    if (files->files.count("tessarn.txt") == 0) {
      say(MessageId::kJobListMissing);
      return tessarn::kExitJobListMissing;
    }
    if (!create("output.txt")) return -1;
    if (!options->cSource.empty()) library = std::make_unique<Library>(options->cSource, options->symbolPrefix);
    PlainReader reader(list);
    JobRecord job;
    bool ended = false;
    for (int64_t number = 1; !ended && reader.readJob(&job) != -1; ++number) {
      if (job.name.find(".bin") != std::string::npos) {
        if (!binary.empty()) close(binary);
        binary.clear();
        ended = !create(job.name);
        if (ended) break;
        binary = job.name;
      }
      const auto file = files->files.find(job.bitmapName);
      if (file == files->files.end()) {
        say(MessageId::kBitmapMissing, job.bitmapName);
        ended = true;
      } else if (const Image image = check(file->second); !image.accepted) {
        say(image.reason, job.bitmapName);
      } else {
        ended = !convert(job, number, image);
      }
    }
    if (!ended) {
      outputs["output.txt"] += "\r\n#define MAX_PCG " + std::to_string(patterns.size() - given) + "\r\n";
      if (first + given != 0) outputs["output.txt"] += "#define FIRST_PCG " + std::to_string(first + given) + "\r\n";
      if (patterns.size() > given) outputs["output.txt"] += "unsigned short PCG_DAT[]={\r\n";
      for (size_t p = given; p < patterns.size(); ++p) {
        outputs["output.txt"] += "\t";
        for (uint16_t row : patterns[p]) value(row);
        outputs["output.txt"] += "\r\n";
      }
      if (patterns.size() > given) outputs["output.txt"] += "};\r\n";
      if (library) library->finish(patterns, given, first);
    }
    if (library) {
      outputs[library->base + ".c"] = library->source;
      if (!ended) outputs[library->base + ".h"] = library->header;
    }
    if (!binary.empty()) close(binary);
    close("output.txt");
    return failed ? -1 : 0;
  }
};

// Whether the run stays within the budget, and reads no output of its own
// (nor writes a C library file as a binary output).
bool withinBudget(const tessarn::MemoryFileSystem& files, const std::string& list, const std::string& library) {
  PlainReader reader(list);
  JobRecord job;
  int64_t total = 0;
  while (reader.readJob(&job) != -1) {
    total += tilesFor(job.height) + tilesFor(job.width) * tilesFor(job.height);
    if (total > kMaxTiles || job.bitmapName == "output.txt" || job.bitmapName.find(".bin") != std::string::npos) {
      return false;
    }
    for (const char* extension : {".c", ".h"}) {
      if (!library.empty() && (job.bitmapName == library + extension || job.name == library + extension)) return false;
    }
  }
  for (const auto& [name, bytes] : files.files) {
    if (check(bytes).tooLarge) return false;
  }
  return true;
}

// Replayed, the target can make allocations fail: the k-th of a run, once or
// from then on. (The libFuzzer build keeps its allocator as it is, and so
// does a ThreadSanitizer build, whose runtime replaces it.) Atomic, since a
// run's own threads might allocate too.
#if !defined(TESSARN_FUZZING) && !defined(TESSARN_KEEP_ALLOCATOR)
#define TESSARN_FAIL_ALLOCATIONS 1
#endif

#ifdef TESSARN_FAIL_ALLOCATIONS
std::atomic<long> g_countdown{-1};  // allocations left before failing, or -1
std::atomic<bool> g_keep_failing{false};
std::atomic<long> g_allocations{0};

bool failThisAllocation() {
  if (g_countdown < 0) return false;
  ++g_allocations;
  if (g_countdown-- > 0) return false;
  g_countdown = g_keep_failing ? 0 : -1;
  return true;
}
#endif

// The files of a run: the input's sections and its faults.
uint32_t be32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
}
void putBe32(std::string* s, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// A PNG with its checksums made right: the zlib stream's Adler-32, where the
// stream can be decoded, and every chunk's CRC. A mutated file could hardly
// ever get them right, so the fuzzer would never reach the decoding behind
// them; made right here, an input runs alike in every build.
std::string withChecksumsRight(std::string f) {
  if (!f.starts_with(kPngSignature)) return f;
  std::string stream;              // the IDAT chunks' data, one after another
  std::vector<size_t> stream_at;   // where each byte of it is in the file
  std::vector<std::pair<size_t, size_t>> chunks;  // offset, data length
  for (size_t at = 8; at + 12 <= f.size() && be32(f, at) <= f.size() - at - 12; at += 12 + be32(f, at)) {
    chunks.push_back({at, be32(f, at)});
    if (f.compare(at + 4, 4, "IDAT") != 0) continue;
    for (size_t i = 0; i < be32(f, at); ++i) stream_at.push_back(at + 8 + i);
    stream += f.substr(at + 8, be32(f, at));
  }
  z_stream z{};
  std::string image(size_t{1} << 21, '\0');
  if (stream.size() > 2 && inflateInit2(&z, -15) == Z_OK) {
    z.next_in = reinterpret_cast<Bytef*>(stream.data() + 2);
    z.avail_in = static_cast<uInt>(stream.size() - 2);
    z.next_out = reinterpret_cast<Bytef*>(image.data());
    z.avail_out = static_cast<uInt>(image.size());
    if (inflate(&z, Z_FINISH) == Z_STREAM_END && 2 + z.total_in + 4 <= stream.size()) {
      const uint32_t adler = static_cast<uint32_t>(adler32(1, reinterpret_cast<Bytef*>(image.data()), z.total_out));
      for (size_t i = 0; i < 4; ++i) f[stream_at[2 + z.total_in + i]] = static_cast<char>(adler >> (24 - 8 * i));
    }
    inflateEnd(&z);
  }
  for (const auto& [at, length] : chunks) {
    putBe32(&f, at + 8 + length, static_cast<uint32_t>(crc32(0, reinterpret_cast<Bytef*>(f.data() + at + 4), static_cast<uInt>(length + 4))));
  }
  return f;
}

tessarn::MemoryFileSystem filesOf(const uint8_t* data, size_t size) {
  const uint8_t faults = data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  tessarn::MemoryFileSystem files;
  files.readChunk = data[1] == 0 ? SIZE_MAX : data[1];
  for (const char* name : {"tessarn.txt", "a.bmp", "b.bmp", "c.bmp", "options", "given.pat"}) {
    const size_t end = rest.find("\n%%\n");
    files.files[name] = withChecksumsRight(std::string(rest.substr(0, end)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 4);
  }
  if (faults & 1) files.files.erase("tessarn.txt");
  if (faults & 2) files.uncreatable.insert("output.txt");
  if (faults & 4) files.unwritable.insert("output.txt");
  if (faults & 8) files.uncreatable.insert("a.bin");
  if (faults & 16) files.unwritable.insert("a.bin");
  if (faults & 64) files.unclosable = {"output.txt", "a.bin"};
  return files;
}

}  // namespace

#ifdef TESSARN_FAIL_ALLOCATIONS
// The replacements pair malloc with free; gcc takes them for the mismatch
// they replace.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(size_t size) {
  void* p = failThisAllocation() ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return failThisAllocation() ? nullptr : std::malloc(size == 0 ? 1 : size);
}
void* operator new[](size_t size, const std::nothrow_t& n) noexcept { return operator new(size, n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t faults = data[0];
  tessarn::MemoryFileSystem files = filesOf(data, size);
  const std::string list = files.files.count("tessarn.txt") != 0 ? files.files["tessarn.txt"] : "";

  // The reader, against the plain reading, with reads that hand over a
  // byte at a time, 7, and as many as the input says, so that tokens
  // straddle the reader's refills.
  for (const size_t chunk : {size_t{1}, size_t{7}, files.readChunk}) {
    if (files.files.count("tessarn.txt") == 0) break;
    tessarn::MemoryFileSystem pieces;
    pieces.files["tessarn.txt"] = list;
    pieces.readChunk = chunk;
    auto stream = pieces.openForReading("tessarn.txt");
    tessarn::JobListReader reader(stream.get());
    PlainReader plain(list);
    tessarn::JobRecord job;
    JobRecord expected;
    for (size_t reads = 0;; ++reads) {
      require(reads <= list.size(), "more jobs than bytes: the reader does not advance");
      const int filled = reader.readJob(&job);
      require(filled == plain.readJob(&expected) && sameJob(job, expected), "a job differs from the token rules");
      if (filled == tessarn::JobListReader::kEndOfInput) break;
    }
    require(reader.readJob(&job) == tessarn::JobListReader::kEndOfInput && sameJob(job, expected), "the end moved");
  }
  // The options, as the command line gives them.
  tessarn::Options options;
  if (const auto text = files.files.find("options"); text != files.files.end()) {
    std::vector<std::string> words = {"tessarn"};
    std::istringstream split(text->second);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    std::string out, error;
    if (tessarn::parseCommandLine(static_cast<int>(argv.size()), argv.data(), {}, &options, &out, &error) !=
        tessarn::CommandLine::kRun) {
      return 0;
    }
  }
  if (!withinBudget(files, list, options.cSource)) return 0;
  Model model;
  model.files = &files;
  const bool usable = model.configure(options);
  std::string error;
  std::vector<tessarn::Pattern> given;
  require(tessarn::readPatternFiles(&files, options.patternsFrom, *options.target, options.patterns.layout, &given, &error) == usable,
          "the given patterns' verdict");
  if (!usable) return 0;
  const int expected_status = model.run(list);
  // Writes to an unwritable file never land.
  for (auto& [name, bytes] : model.outputs) {
    if (files.unwritable.count(name) != 0) bytes.clear();
  }

  // The run on one thread, and on two, with images' rows kept in a ring of
  // a few rows (where their rows are narrow enough; wider ones are read
  // whole) and made or encoded on a thread of their own however small the
  // job; then (replayed, with bit 7) each again with each of its
  // allocations failing, once or from then on: it must end saying so last,
  // having said and written only what the whole run does first.
  for (const bool threaded : {false, true}) {
    long allocations = 0;
    for (long attempt = -1; attempt < 2 * allocations; ++attempt) {
      const long fail_at = attempt < 0 ? -1 : attempt / 2;
      tessarn::MemoryFileSystem run_files = filesOf(data, size);
      tessarn::MemoryFileSystem console_files, preview_files;
      std::unique_ptr<tessarn::WriteStream> console = console_files.create("console");
      tessarn::PreviewImages preview(&preview_files, tessarn::ColourMode::kMapped);
      tessarn::RunReport report(tessarn::classicTarget(), model.limit);
      tessarn::ObserverList views;
      views.add(&preview);
      views.add(&report);
      tessarn::RunSettings settings;
      settings.language = options.messages;
      settings.patterns = options.patterns;
      settings.patterns.startPatterns = given;
      settings.attributes = options.attributes;
      settings.library = {options.cSource, options.symbolPrefix, &run_files};
      if (threaded) {
        settings.threads = 2;
        settings.threadBytes = 0;
        settings.rowBudget = 128;
      }
      if (faults & 32) settings.observer = &views;
      // Room made beforehand: writing outputs and messages allocates nothing.
      console_files.files["console"].reserve(model.console.size() + 4096);
      for (const auto& [name, bytes] : model.outputs) run_files.files[name].reserve(bytes.size() + 4096);
#ifdef TESSARN_FAIL_ALLOCATIONS
      g_allocations = 0;
      g_keep_failing = attempt % 2 == 1;  // odd attempts: from then on
      g_countdown = fail_at < 0 ? LONG_MAX : fail_at;
#endif
      const int status = tessarn::runMain(&run_files, console.get(), settings);
#ifdef TESSARN_FAIL_ALLOCATIONS
      g_countdown = -1;
      if (fail_at < 0 && (faults & 128)) allocations = g_allocations;
#endif
      const std::string& messages = console_files.files["console"];
      const auto whole_run = [&] {
        return status == expected_status && messages == model.console &&
               std::all_of(model.outputs.begin(), model.outputs.end(),
                           [&](const auto& output) { return run_files.files[output.first] == output.second; });
      };
      // An allocation that fails for a thread is no failure: the work is
      // done on the run's own thread instead, to the same bytes.
      if (fail_at >= 0 && threaded && whole_run()) continue;
      if (fail_at >= 0) {
        const std::string out_of_memory =
            tessarn::testing::expectedMessage(MessageId::kOutOfMemory, "", options.messages);
        require(status == -1 && messages.ends_with(out_of_memory) &&
                    model.console.starts_with(messages.substr(0, messages.size() - out_of_memory.size())),
                "out of memory, said last");
        // (A binary output made again is no prefix of its last making.)
        require(model.outputs["output.txt"].starts_with(run_files.files["output.txt"]),
                "out of memory: output.txt is no prefix of the whole run's");
        continue;
      }
      require(status == expected_status, "exit status");
      require(messages == model.console, "messages");
      for (const auto& [name, bytes] : model.outputs) {
        if (run_files.files[name] != bytes) {
          std::fprintf(stderr, "%s differs\n", name.c_str());
          FILE* f = std::fopen("/tmp/expected.bin", "wb"); std::fwrite(bytes.data(), 1, bytes.size(), f); std::fclose(f);
          f = std::fopen("/tmp/actual.bin", "wb"); std::fwrite(run_files.files[name].data(), 1, run_files.files[name].size(), f); std::fclose(f);
        }
        require(run_files.files[name] == bytes, "an output's bytes");
      }
      if (faults & 32) {
        // A run that never got to its jobs has no patterns to count.
        const bool started = (faults & 3) == 0;
        const std::string count = "patterns: " + std::to_string(started ? model.first + model.patterns.size() : 0) +
                                  " of " + std::to_string(model.limit) + "\n";
        require(report.text().ends_with(count), "the report's pattern count");
        std::vector<std::string> warnings;
        std::istringstream lines(report.text());
        for (std::string line; std::getline(lines, line);) {
          if (line.starts_with("warning: ")) warnings.push_back(line);
        }
        require(warnings == model.warnings, "the report's warnings");
        for (const auto& [name, bytes] : preview_files.files) require(bytes.starts_with(kPngSignature), "no PNG");
      }
    }
  }
  return 0;
}
