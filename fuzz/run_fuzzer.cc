// Fuzzes whole runs of tessarn in memory, as main() makes them, against a
// plain model of the rules written from the README and the manual alone:
// it reads the options, the job list and the images, lays out every
// machine's patterns and entries, names the C library's symbols and draws
// the previews in its own way. A run is checked whole: its status, standard
// output and standard error byte for byte, every file afterwards (and which
// are gone), the previews decoded to their palettes and pixels.
//
// Input: two fault bytes, a read-size byte (0: no limit), then the options
// (split at white space), tessarn.txt, a.bmp, b.bmp, c.bmp (in -C's folder)
// and given.pat, separated by "\n%%\n" (a file is missing if its section
// is). Faults: the bits of the first two bytes that worldOf() lists, and
// in the first, bit 5 warnings go to standard error, as on a terminal, and
// bit 7 (replayed) each allocation fails in turn. Every run is made on one
// thread, and on two with rows in a ring of a few rows and the job list
// read a byte at a time. A run the model cannot judge is passed over: the
// target returns -1, which the replay counts a failure.

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "cli/command_line.h"
#include "cli/configured_run.h"
#include "support/memory_file_system.h"
#include "support/messages.h"

namespace {

using tessarn::MessageId;
using tessarn::MessageLanguage;
using tessarn::testing::expectedMessage;

constexpr int64_t kMaxTiles = 4096;
constexpr int64_t kMaxPixels = int64_t{1} << 28;
constexpr int64_t kMaxDecodedPixels = int64_t{1} << 20;
constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";
constexpr std::string_view kHint = "\nRun 'tessarn --help' for the options.\n";

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "run fuzzer: %s\n", what);
  std::abort();
}

// Little-endian, 0 for bytes past the end.
uint32_t le(std::string_view s, uint64_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | (at + i < s.size() ? static_cast<uint8_t>(s[at + i]) : 0u);
  return v;
}

std::string printed(const char* format, long long v) {
  char text[32];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

bool letter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool digit(char c) { return c >= '0' && c <= '9'; }
int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

// `name` seen from `directory`, as the run joins them.
std::string joined(const std::string& directory, const std::string& name) {
  if (directory.empty() || name.starts_with('/')) return name;
  return directory + (directory.ends_with('/') ? "" : "/") + name;
}

// ---- Machines, as the README's table gives them.

enum AttributeMap { kNoMap, kCellBytes, kAreas };

// An entry is built as a 16-bit value: the pattern number's low byte in
// bits 0-7 and its higher bits from `highAt`, the mirror bits at `lr` and
// `tb` (-1: none), the palette field at `paletteAt`. A byte entry is the
// value's low byte; gbc's attribute byte is its high one.
struct Machine {
  const char* name;
  int bits, group;  // a pixel; bit planes a pattern row holds in turn (0: pixels packed in bytes)
  bool leftLow;     // packed: the left pixel in the low bits
  int entryBytes;
  bool bigEndian;
  int highAt, lr, tb, paletteAt, paletteBits;
  AttributeMap map;
  int limit;
  int format;  // its colours' format in kFormats (classic's for full colour)
};

constexpr Machine kMachines[] = {
    {"classic", 2, 2, false, 2, false, 8, 14, 15, 0, 0, kNoMap, 16384, 7},
    {"gb", 2, 2, false, 1, false, 8, -1, -1, 0, 0, kNoMap, 256, 5},
    {"gbc", 2, 2, false, 1, false, 11, 13, 14, 8, 3, kCellBytes, 512, 0},
    {"nes", 2, 1, false, 1, false, 8, -1, -1, 0, 2, kAreas, 256, 6},
    {"snes-2bpp", 2, 2, false, 2, false, 8, 14, 15, 10, 3, kNoMap, 1024, 0},
    {"snes-4bpp", 4, 2, false, 2, false, 8, 14, 15, 10, 3, kNoMap, 1024, 0},
    {"snes-8bpp", 8, 2, false, 2, false, 8, 14, 15, 0, 0, kNoMap, 1024, 0},
    {"snes-mode7", 8, 0, false, 1, false, 8, -1, -1, 0, 0, kNoMap, 256, 0},
    {"gba-affine", 8, 0, false, 1, false, 8, -1, -1, 0, 0, kNoMap, 256, 0},
    {"pce", 4, 2, false, 2, false, 8, -1, -1, 12, 4, kNoMap, 4096, 2},
    {"md", 4, 0, false, 2, true, 8, 11, 12, 13, 2, kNoMap, 2048, 1},
    {"sms", 4, 4, false, 2, false, 8, 9, 10, 11, 1, kNoMap, 512, 4},
    {"gg", 4, 4, false, 2, false, 8, 9, 10, 11, 1, kNoMap, 512, 3},
    {"gba-4bpp", 4, 0, true, 2, false, 8, 10, 11, 12, 4, kNoMap, 1024, 0},
    {"gba-8bpp", 8, 0, false, 2, false, 8, 10, 11, 0, 0, kNoMap, 1024, 0},
};

// Colour formats: each channel's top `bits` at bit r, g or b of a value of `bytes` bytes (bits 0: gb's 2-bit
// shades, four to a byte; -1: nes's palette indices); the last is rgb888.
struct Format { int bits, r, g, b, bytes; bool bigEndian; };
constexpr Format kFormats[] = {{5, 0, 5, 10, 2, false}, {3, 1, 5, 9, 2, true}, {3, 3, 6, 0, 2, false},
                               {4, 0, 4, 8, 2, false},  {2, 0, 2, 4, 1, false}, {0, 0, 0, 0, 1, false},
                               {-1, 0, 0, 0, 1, false}, {8, 16, 8, 0, 3, true}};

uint32_t valueOf(const Format& f, uint32_t rgb) {
  const uint32_t r = rgb >> 16 & 255, g = rgb >> 8 & 255, b = rgb & 255, d = 8u - f.bits;
  return f.bits ? r >> d << f.r | g >> d << f.g | b >> d << f.b : 3 - (299 * r + 587 * g + 114 * b) / 1000 * 4 / 256;
}

// Palettes of `per` colours: their lines in a C array (words, or bytes), their bytes added to `bytes`.
std::string paletteLines(const Format& f, const std::vector<int64_t>& values, size_t per, std::string* bytes) {
  std::string lines;
  for (size_t k = 0; k < values.size(); k += f.bits == 0 ? 4 : 1) {
    int64_t v = values[k];
    for (size_t j = 1; f.bits == 0 && j < 4; ++j) v |= values[k + j] << 2 * j;
    lines += (k % per == 0 ? "\t" : "") + (f.bytes == 2 ? printed("0x%04X, ", v) : "");
    for (int i = 0; i < (f.bits == 0 ? 1 : f.bytes); ++i) {
      *bytes += static_cast<char>(v >> 8 * (f.bigEndian ? f.bytes - 1 - i : i));
      if (f.bytes != 2) lines += printed("0x%02X, ", static_cast<uint8_t>(bytes->back()));
    }
    if ((k + (f.bits == 0 ? 4 : 1)) % per == 0) lines += "\r\n";
  }
  return lines;
}

// Mirrorings as bits: 1 left-right, 2 top-bottom.
uint32_t entryOf(const Machine& m, int number, int mirrors, int palette, uint32_t attributes) {
  uint32_t v = static_cast<uint32_t>(number & 0xFF) | static_cast<uint32_t>(number >> 8) << m.highAt;
  if (mirrors & 1) v |= 1u << m.lr;
  if (mirrors & 2) v |= 1u << m.tb;
  if (m.map != kAreas && m.paletteBits > 0) v |= static_cast<uint32_t>(palette) << m.paletteAt;
  return v | attributes << (m.map == kCellBytes ? 8 : 0);
}

using Tile = std::array<uint8_t, 64>;  // colour numbers, rows from the top

Tile mirrored(const Tile& t, int mirrors) {
  Tile out;
  for (int i = 0; i < 64; ++i) out[i] = t[(mirrors & 2 ? 7 - i / 8 : i / 8) * 8 + (mirrors & 1 ? 7 - i % 8 : i % 8)];
  return out;
}

// A pattern's bytes from its colours, or (`read`) its colours from its
// bytes: where bit b of a pixel's colour lies decides both.
void layOut(const Machine& m, Tile* tile, std::string* bytes, bool read) {
  if (read) tile->fill(0);
  if (!read) bytes->assign(static_cast<size_t>(8 * m.bits), '\0');
  for (int i = 0; i < 64; ++i) {
    const int x = i % 8, y = i / 8, per = 8 / m.bits;
    for (int b = 0; b < m.bits; ++b) {
      const int at = m.group > 0 ? b / m.group * 8 * m.group + y * m.group + b % m.group : i / per;
      const int bit = m.group > 0 ? 7 - x : (m.leftLow ? x % per : per - 1 - x % per) * m.bits + b;
      if (read) (*tile)[i] = static_cast<uint8_t>((*tile)[i] | ((*bytes)[at] >> bit & 1) << b);
      if (!read) (*bytes)[at] = static_cast<char>((*bytes)[at] | ((*tile)[i] >> b & 1) << bit);
    }
  }
}

// ---- The options, as the model reads them.

struct Rule {  // --attributes or --palette: [NAME=]VALUE
  bool named = false;
  std::string name;
  int64_t value = 0;
};

struct Settings {
  std::string directory = {}, outputDirectory = {}, depfile = {}, preview = {}, patternFile = {}, cSource = {};
  std::string prefix = {};
  std::vector<std::string> patternsFrom = {};
  bool report = false, strict = false, direct = false, keepDuplicates = false;
  MessageLanguage language = MessageLanguage::kShiftJis;
  const Machine* machine = kMachines;
  int64_t first = 0, limit = 0;
  int mirrors = 0;  // the mirrorings that count as the same pattern
  std::vector<Rule> attributes = {}, palettes = {};
  bool full = false, palettesOut = false, unsure = false;  // --colours auto; --palettes; a run the model passes over
  std::string paletteFile = {};
  int64_t format = 0, transparent = -1, paletteCount = 8;  // the palettes' colour format in kFormats
};

enum class Verdict { kRun, kHelp, kVersion, kUsage };

// Decimal, or 0x hex; -1 if neither, or past 2^31.
int64_t optionNumber(const std::string& text) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] | 0x20) == 'x';
  const std::string digits = text.substr(hex ? 2 : 0);
  int64_t v = digits.empty() ? -1 : 0;
  for (char c : digits) {
    const int d = digit(c) ? c - '0' : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
    if (d < 0) return -1;
    v = std::min<int64_t>(v * (hex ? 16 : 10) + d, int64_t{1} << 40);
  }
  return v > INT32_MAX ? -1 : v;
}

// [NAME=]VALUE, split at the last '='; false if it is no such thing.
bool readRule(const std::string& text, Rule* rule) {
  const size_t eq = text.rfind('=');
  rule->named = eq != std::string::npos;
  rule->name = rule->named ? text.substr(0, eq) : "";
  rule->value = optionNumber(text.substr(rule->named ? eq + 1 : 0));
  return eq != 0 && rule->value >= 0;
}

// The bits of an entry that --attributes may set.
uint32_t freeBits(const Machine& m, int64_t limit, int mirrors) {
  if (m.entryBytes == 1 && m.map != kCellBytes) return 0;
  int numbers = 0;
  while ((int64_t{1} << numbers) < limit) ++numbers;
  const uint32_t used = entryOf(m, (1 << numbers) - 1, mirrors, (1 << m.paletteBits) - 1, 0);
  return (m.map == kCellBytes ? 0xFF00u : 0xFFFFu) & ~used;
}

// What the command line asks for. A missing value, or a value given to a
// flag, is an error even beside --help; an unknown option or a stray
// argument is one only without it.
Verdict readOptions(const std::vector<std::string>& words, Settings* s) {
  static const std::map<std::string, bool> kTakesValue = {
      {"help", false}, {"version", false}, {"report", false}, {"strict", false}, {"keep-duplicates", false},
      {"directory", true}, {"output-dir", true}, {"depfile", true}, {"preview", true}, {"messages", true},
      {"target", true}, {"colours", true}, {"palette", true}, {"first-pattern", true}, {"pattern-limit", true},
      {"attributes", true}, {"mirror", true}, {"patterns-from", true}, {"pattern-file", true}, {"c-source", true},
      {"symbol-prefix", true}, {"palettes", false}, {"colour-format", true}, {"palette-file", true},
      {"transparent", true}, {"palette-count", true}};
  std::map<std::string, std::vector<std::string>> given;
  bool broken = false, stray = false;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word == "--") i = words.size();  // (the words after "--" are arguments, not options)
    std::string name = "?";
    std::optional<std::string> value;
    if (word.size() > 2 && word.starts_with("--")) {
      name = word.substr(2, word.find('=') - 2);
      if (word.find('=') != std::string::npos) value = word.substr(word.find('=') + 1);
    } else if (word.size() > 1 && word[0] == '-' && word[1] != '-') {
      // Short options run together: -h, then -C or -o with the rest of the
      // word or the next one as its value.
      const size_t k = word.find_first_not_of('h', 1);
      if (k != 1) given["help"];
      if (k == std::string::npos) continue;
      if (word[k] == 'C' || word[k] == 'o') name = word[k] == 'C' ? "directory" : "output-dir";
      if (k + 1 < word.size()) value = word.substr(k + 1);
    }
    const auto option = kTakesValue.find(name);
    stray |= option == kTakesValue.end();
    if (option == kTakesValue.end()) continue;
    const bool attached = value.has_value();  // --name=value, -Cvalue: an empty one is none
    if (option->second && !value && i + 1 < words.size()) value = words[++i];
    broken |= option->second ? !value || (attached && value->empty()) : attached;
    given[name].push_back(value.value_or(""));
  }
  if (broken) return Verdict::kUsage;
  if (given.count("version") != 0) return Verdict::kVersion;
  if (given.count("help") != 0) return Verdict::kHelp;
  for (const auto& [name, values] : given) {
    stray |= values.size() > 1 && kTakesValue.at(name) && name != "palette" && name != "attributes" &&
             name != "patterns-from";
  }
  const auto one = [&](const char* name) { return given.count(name) != 0 ? given[name][0] : ""; };
  const auto kind = [&](const char* name, const std::vector<std::string>& kinds, int absent) {
    const auto at = std::find(kinds.begin(), kinds.end(), one(name));
    return one(name).empty() ? absent : at == kinds.end() ? -1 : static_cast<int>(at - kinds.begin());
  };
  std::vector<std::string> targets;
  for (const Machine& m : kMachines) targets.push_back(m.name);
  const int language = kind("messages", {"sjis", "utf-8", "en"}, 0);
  const int mirror = kind("mirror", {"none", "lr", "tb", "both"}, 4), target = kind("target", targets, 0);
  targets.push_back("rgb888");
  const int named = kind("colour-format", targets, -2), colours = kind("colours", {"mapped", "direct", "auto"}, 0);
  if (stray || language < 0 || colours < 0 || mirror < 0 || target < 0) return Verdict::kUsage;
  *s = {.directory = one("directory"), .outputDirectory = one(one("output-dir").empty() ? "directory" : "output-dir"),
        .depfile = one("depfile"), .preview = one("preview"), .patternFile = one("pattern-file"),
        .cSource = one("c-source"), .prefix = one("symbol-prefix"), .patternsFrom = given["patterns-from"],
        .report = given.count("report") != 0, .strict = given.count("strict") != 0, .direct = colours == 1,
        .keepDuplicates = given.count("keep-duplicates") != 0, .language = static_cast<MessageLanguage>(language),
        .machine = &kMachines[target], .full = colours == 2,
        .palettesOut = given.count("palettes") || given.count("palette-file"), .paletteFile = one("palette-file"),
        .format = colours == 2 || named < 0 ? kMachines[target].format : named == 15 ? 7 : kMachines[named].format,
        .transparent = one("transparent").empty() ? -1 : std::strtol(one("transparent").c_str(), nullptr, 16),
        .paletteCount = one("palette-count").empty() ? 8 : optionNumber(one("palette-count"))};
  const Machine& m = *s->machine;
  s->mirrors = mirror == 4 ? (m.lr >= 0 ? 3 : 0) : mirror;  // the index is the mirror bits
  s->limit = one("pattern-limit").empty() ? m.limit : optionNumber(one("pattern-limit"));
  s->first = one("first-pattern").empty() ? 0 : optionNumber(one("first-pattern"));
  if ((m.lr < 0 && s->mirrors != 0) || s->limit < 1 || s->limit > m.limit || s->first < 0 || s->first >= s->limit) {
    return Verdict::kUsage;
  }
  // Palettes: a target's format or rgb888 (classic has none); --transparent RRGGBB and --palette-count (1 to 64,
  // classic's) for full colour alone. Where the tool and the README part (docs/hardening.md), passed over.
  const std::string t = one("transparent");
  s->unsure = s->full && (named >= 0 || given.count("palette-file") || (target == 3 && (t != "" || s->preview != "")));
  const bool bad = !t.empty() && (!s->full || t.size() != 6 || t.find_first_not_of("0123456789ABCDEFabcdef") < 6);
  if (named == -1 || named == 0 || (s->palettesOut && target == 0 && named < 0) || bad || s->paletteCount < 1 ||
      s->paletteCount > 64 || (given.count("palette-count") && (!s->full || target))) {
    return Verdict::kUsage;
  }
  // Attribute bits clear of every other field; 0 anywhere.
  const uint32_t free = freeBits(m, s->limit, s->mirrors);
  for (const auto& [option, rules] : {std::pair{"attributes", &s->attributes}, {"palette", &s->palettes}}) {
    for (const std::string& text : given[option]) {
      Rule& rule = rules->emplace_back();
      if (!readRule(text, &rule)) return Verdict::kUsage;
      const bool fits = rules == &s->attributes
                            ? (rule.value << (m.map == kCellBytes ? 8 : 0) & ~free) == 0
                            : m.paletteBits > 0 && rule.value < 1 << m.paletteBits;
      if (!fits) return Verdict::kUsage;
    }
  }
  // BASE.c includes "STEM.h": the stem can be quoted there.
  const std::string stem = s->cSource.substr(s->cSource.rfind('/') + 1);
  const auto unquotable = [](unsigned char c) { return c < 0x20 || c == 0x7F || c == '"'; };
  const bool quotable = !stem.empty() && std::none_of(stem.begin(), stem.end(), unquotable);
  if (!s->cSource.empty() && !quotable) return Verdict::kUsage;
  const std::string& p = s->prefix;
  const bool identifier = p.size() <= 32 && letter(p[0]) &&
                          std::all_of(p.begin(), p.end(), [](char c) { return letter(c) || digit(c) || c == '_'; });
  return p.empty() || (identifier && !s->cSource.empty()) ? Verdict::kRun : Verdict::kUsage;
}

// ---- The job list, by the token rules.

struct Job {
  std::string bitmapName;
  int32_t x = 0, y = 0, width = 0, height = 0;
  std::string name;
  int32_t colour[4] = {0, 0, 0, 0};
};

// The next job of `list` from `*at` on: the fields filled, or -1 at the end.
int readJob(std::string_view list, size_t* at, Job* job) {
  const auto space = [](char c) { return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr; };
  int32_t* const numbers[] = {&job->x,         &job->y,         &job->width,     &job->height,
                              &job->colour[0], &job->colour[1], &job->colour[2], &job->colour[3]};
  for (int field = 0; field < 10; ++field) {
    while (*at < list.size() && space(list[*at])) ++*at;
    if (*at == list.size()) return field == 0 ? -1 : field;
    const size_t start = *at;
    if (field == 0 || field == 5) {
      while (*at < list.size() && !space(list[*at])) ++*at;
      (field == 0 ? job->bitmapName : job->name) = list.substr(start, *at - start);
      continue;
    }
    // A sign, then digits; a sign before no digits stays taken.
    const bool negative = list[*at] == '-';
    if (list[*at] == '+' || negative) ++*at;
    int64_t magnitude = 0;  // held below 2^40: out of range is out of range
    for (; *at < list.size() && digit(list[*at]); ++*at) {
      magnitude = std::min(magnitude * 10 + (list[*at] - '0'), int64_t{1} << 40);
    }
    if (*at == start + (negative || list[start] == '+')) return field;
    *numbers[field < 5 ? field - 1 : field - 2] =
        static_cast<int32_t>(std::clamp<int64_t>(negative ? -magnitude : magnitude, INT32_MIN, INT32_MAX));
  }
  return 10;
}

// The job list up to a Ctrl-Z.
std::string_view listOf(const std::string& file) { return std::string_view(file).substr(0, file.find('\x1A')); }

// ---- Images: what the rules say of a file, accepted or the message; its
// pixels and its palette.

struct Image {
  bool accepted = false, png = false, topDown = false, runLength = false;
  bool tooLarge = false;  // to be decoded, but past the fuzzer's budget (or what the model does not read)
  bool cutShort = false;  // run-length data that ends before the last row
  MessageId reason = MessageId::kNotBmp;
  int64_t width = 0, height = 0, offset = 0;
  int bits = 0, colourType = 0;
  std::vector<uint8_t> pixels = {};     // one byte a pixel, rows from the top
  std::vector<uint32_t> palette = {};   // 0xRRGGBB
  std::vector<uint8_t> alphas = {};     // an indexed PNG's, from tRNS (255 past them)
  std::vector<uint32_t> colours = {};   // full colour: 0xAARRGGBB a pixel, rows from the top
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

// `mode`: 0 indexed images; 1 their colours too; 2 and 24- and 32-bit ones.
Image checkBmp(std::string_view f, int mode) {
  Image m;
  if (f.size() < 18 || f[0] != 'B' || f[1] != 'M') return m;
  const uint32_t header_size = le(f, 14, 4);
  const bool core = header_size == 12;
  if ((!core && header_size < 40) || f.size() < (core ? 26u : 34u)) return m;
  m.offset = le(f, 10, 4);
  // A core header's sizes are unsigned 16-bit, an info header's signed.
  m.width = core ? int64_t{le(f, 18, 2)} : int64_t{static_cast<int32_t>(le(f, 18, 4))};
  const int64_t h = core ? int64_t{le(f, 20, 2)} : int64_t{static_cast<int32_t>(le(f, 22, 4))};
  m.topDown = h < 0;
  m.height = h < 0 ? -h : h;
  m.bits = static_cast<int>(le(f, core ? 24 : 28, 2));
  const uint32_t compression = core ? 0 : le(f, 30, 4);
  m.reason = MessageId::kNotIndexed;
  const bool rgb = mode == 2 && (m.bits == 24 || m.bits == 32);
  m.tooLarge = rgb && compression == 3;  // bit fields
  if (m.bits != 1 && m.bits != 4 && m.bits != 8 && !rgb) return m;
  m.runLength = !rgb && ((compression == 1 && m.bits == 8) || (compression == 2 && m.bits == 4));
  m.reason = MessageId::kUnsupportedCompression;
  if ((compression != 0 && !m.runLength) || (m.runLength && m.width * m.height > kMaxPixels)) return m;
  m.reason = MessageId::kNotBmp;
  const int64_t stride = (m.width * m.bits + 31) / 32 * 4, size = static_cast<int64_t>(f.size());
  m.accepted = m.width >= 1 && m.height != 0 && m.offset + (m.runLength ? 0 : stride * m.height) <= size;
  // The palette: the entries the header lists (all by default) that lie
  // before the pixels.
  const int entry = core ? 3 : 4;
  const int64_t listed = core || le(f, 46, 4) == 0 ? int64_t{1} << m.bits : le(f, 46, 4);
  const int64_t count = std::min({listed, int64_t{1} << m.bits, (m.offset - 14 - header_size) / entry});
  for (int64_t i = 0; m.accepted && i < count; ++i) m.palette.push_back(le(f, 14 + header_size + i * entry, 3));
  return m;
}

// Run-length data into pixels, from the escape table.
void decodeRunLength(std::string_view f, Image* m) {
  m->pixels.assign(static_cast<size_t>(m->width * m->height), 0);
  const std::string_view data = f.substr(static_cast<size_t>(m->offset));
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
Image checkPng(std::string_view f, int mode) {
  spng_ctx* ctx = spng_ctx_new(0);
  Image m{.png = true, .reason = MessageId::kUnreadablePng};
  spng_ihdr ihdr{};
  spng_plte plte{};
  spng_trns trns{};
  spng_set_png_buffer(ctx, f.data(), f.size());
  if (spng_get_ihdr(ctx, &ihdr) == 0) {
    m.width = ihdr.width;
    m.height = ihdr.height;
    m.bits = ihdr.bit_depth;
    m.colourType = ihdr.color_type;
    const bool indexed = (ihdr.color_type == 0 || ihdr.color_type == 3) && ihdr.bit_depth <= 8;
    if (!indexed && mode < 2) {
      m.reason = MessageId::kNotIndexed;
    } else if (m.width * m.height > kMaxPixels) {
      m.reason = MessageId::kUnsupportedCompression;
    } else if (m.width * m.height > kMaxDecodedPixels) {
      m.tooLarge = true;
    } else {
      // Other kinds as their colours, 16-bit channels taken to their high bytes (not an indexed one's tRNS).
      const int64_t stride = indexed ? (m.width * m.bits + 7) / 8 : 4 * m.width;
      std::vector<uint8_t> packed(static_cast<size_t>(stride * m.height));
      m.accepted = spng_decode_image(ctx, packed.data(), packed.size(), indexed ? SPNG_FMT_PNG : SPNG_FMT_RGBA8,
                                     indexed ? 0 : SPNG_DECODE_TRNS) == 0 && spng_decode_chunks(ctx) == 0;
      if (m.accepted && indexed) unpack(packed.data(), stride, false, &m);
      for (size_t i = 0; m.accepted && !indexed && i < packed.size(); i += 4) {
        m.colours.push_back(uint32_t{packed[i + 3]} << 24 | packed[i] << 16 | packed[i + 1] << 8 | packed[i + 2]);
      }
      if (mode > 0 && indexed && spng_get_trns(ctx, &trns) == 0) {
        if (m.colourType == 0) m.tooLarge = true;  // a grey image's transparent grey: not read
        else m.alphas.assign(trns.type3_alpha, trns.type3_alpha + trns.n_type3_entries);
      }
      // A grey image's index v is the grey of v at its depth.
      for (int v = 0; m.accepted && m.colourType == 0 && v < 1 << m.bits; ++v) {
        m.palette.push_back(0x010101u * static_cast<uint32_t>(v * 255 / ((1 << m.bits) - 1)));
      }
      for (uint32_t i = 0; m.accepted && spng_get_plte(ctx, &plte) == 0 && i < plte.n_entries; ++i) {
        m.palette.push_back(uint32_t{plte.entries[i].red} << 16 | plte.entries[i].green << 8 | plte.entries[i].blue);
      }
    }
  }
  spng_ctx_free(ctx);
  return m;
}

Image check(std::string_view f, int mode = 0) {
  Image m = f.starts_with(kPngSignature) ? checkPng(f, mode) : checkBmp(f, mode);
  m.tooLarge |= m.accepted && m.runLength && m.width * m.height > kMaxDecodedPixels;
  if (m.accepted && m.runLength && !m.tooLarge) decodeRunLength(f, &m);
  m.tooLarge |= mode > 0 && m.cutShort;  // (full colour says nothing of it: see docs/hardening.md)
  const int64_t stride = (m.width * m.bits + 31) / 32 * 4;
  if (m.accepted && !m.png && !m.runLength && m.bits <= 8) {
    unpack(reinterpret_cast<const uint8_t*>(f.data()) + m.offset, stride, !m.topDown, &m);
  }
  // Colours: an index's palette entry (black where there is none) and alpha; 24, 32 bits: blue, green, red (and
  // a byte).
  for (const uint8_t index : mode > 0 ? m.pixels : std::vector<uint8_t>{}) {
    const uint32_t alpha = index < m.alphas.size() ? m.alphas[index] : 255;
    m.colours.push_back(alpha << 24 | (index < m.palette.size() ? m.palette[index] : 0));
  }
  for (int64_t i = 0; m.accepted && !m.png && m.bits > 8 && i < m.width * m.height; ++i) {
    const int64_t row = m.topDown ? i / m.width : m.height - 1 - i / m.width;
    m.colours.push_back(0xFF000000u | le(f, uint64_t(m.offset + row * stride + i % m.width * m.bits / 8), 3));
  }
  return m;
}

// Whether a job's reading of a file whose reads fail past its first 64
// bytes (it changed after its header was checked) meets that: 1 it does,
// 0 it does not, -1 the model cannot tell. A PNG or a run-length BMP is
// read whole; a plain BMP's rows are read as a job's tiles need them, and
// the model cannot tell in which order when some lie within those bytes.
int readFails(const Image& image, size_t size, const Job& job) {
  if (size <= 64 || image.png || image.runLength) return size > 64 ? 1 : 0;
  const int64_t high = tilesFor(job.width) > 0 ? tilesFor(job.height) : 0;
  const int64_t top = std::max<int64_t>(job.y, 0), bottom = std::min(job.y + 8 * high, image.height);
  for (int64_t y = top; y < bottom; ++y) {
    const int64_t stored = image.topDown ? y : image.height - 1 - y;
    if (image.offset + (stored + 1) * ((image.width * image.bits + 31) / 32 * 4) <= 64) return -1;
  }
  return top < bottom ? 1 : 0;
}

// Palette index of pixel (x, y), y from the top; -1 outside the image.
int indexAt(const Image& m, int64_t x, int64_t y) {
  return x < 0 || y < 0 || x >= m.width || y >= m.height ? -1 : m.pixels[y * m.width + x];
}

// ---- The run, as the rules tell it.

// A preview image as it should decode.
struct Picture {
  int depth = 0;
  int64_t width = 0, height = 0;
  std::vector<uint32_t> palette = {};
  std::vector<uint8_t> pixels = {};
  bool operator==(const Picture&) const = default;
};

// What a run leaves: its status, what it says, and every file afterwards.
struct Outcome {
  int status = 0;      // 2: a usage error, whose words the options suite pins
  bool judged = true;  // false: a run the model cannot judge
  std::string console = {}, errors = {};
  std::map<std::string, std::string> files = {};
  std::map<std::string, Picture> pictures = {};  // the previews among the files
};

std::string previewName(int64_t number, const std::string& name) {
  std::string file = printed("%03lld-", number);
  for (char c : name.substr(0, 64)) file += letter(c) || digit(c) || c == '-' || c == '_' ? c : '_';
  return file + ".png";
}

uint32_t grey(int64_t v, int bits) { return 0x010101u * static_cast<uint32_t>(v * 255 / ((1 << bits) - 1)); }

std::string escapedForMake(const std::string& name) {
  std::string out;
  size_t backslashes = 0;
  for (char c : name) {
    if (c == ' ' || c == '#') out += std::string(backslashes + 1, '\\');
    if (c == '$') out += '$';
    backslashes = c == '\\' ? backslashes + 1 : 0;
    out += c;
  }
  return out;
}

const std::set<std::string> kKeywords = {
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

// The hex numbers ("0x...") of a C array's text, from `at` to the array's end.
std::vector<uint32_t> hexes(const std::string& text, size_t at) {
  std::vector<uint32_t> values;
  for (const size_t end = text.find('}', at); (at = text.find("0x", at)) < end; at += 2) {
    values.push_back(std::strtoul(&text[at + 2], nullptr, 16));
  }
  return values;
}

using Colours = std::set<int64_t>;

// How few palettes of `holds` colours hold each set whole (one at least, if there are sets): {no fewer, no more},
// exact for no more than 8 distinct sets (the fewest for each choice of them, from the smaller ones).
std::pair<int64_t, int64_t> fewest(const std::vector<Colours>& sets, size_t holds) {
  const std::set<Colours> distinct(sets.begin(), sets.end());
  const std::vector<Colours> top(distinct.upper_bound(Colours{}), distinct.end());  // (the empty set is the least)
  std::vector<Colours> unions(size_t{1} << std::min<size_t>(top.size(), 8));
  std::vector<int64_t> least(unions.size(), 0);
  for (size_t m = 1; m < unions.size(); ++m) {
    unions[m] = unions[m & (m - 1)], least[m] = INT32_MAX;
    unions[m].insert(top[std::countr_zero(m)].begin(), top[std::countr_zero(m)].end());
    for (size_t part = m; part != 0; part = (part - 1) & m) {
      if ((part & m & (0 - m)) != 0 && unions[part].size() <= holds) least[m] = std::min(least[m], least[m ^ part] + 1);
    }
  }
  const int64_t some = !sets.empty(), exact = std::max(least.back(), some);
  return top.size() <= 8 ? std::pair{exact, exact} : std::pair{some, std::max(std::ssize(top), some)};
}

class Model {
 public:
  Model(const Settings& s, const tessarn::MemoryFileSystem& world, bool warn, const Outcome& tool)
      : s_(s), m_(*s.machine), world_(world), warn_(warn), tool_(tool), judged_(!s.unsure) {}
  Outcome run();

 private:
  // A job of the run: its line in the report, and if it was converted its
  // map for the C library.
  struct Row {
    std::string cells[6];  // number, name, tiles, new, reused, mirrored
    std::string text;      // why it was skipped or ended the run, if it was
    int64_t wide = 0, high = 0;
    std::string block = {}, attributeBlock = {};  // the lines of its map and attribute map
    std::string paletteBlock = {};                // and of its palettes, of `colours` colours
    size_t colours = 0;
  };

  bool classic() const { return &m_ == kMachines; }
  std::string mapType() const { return m_.entryBytes == 2 ? "unsigned short " : "unsigned char "; }
  const Format& format() const { return kFormats[s_.format]; }
  std::string paletteType() const { return format().bytes == 2 ? "unsigned short " : "unsigned char "; }
  int64_t paletteCount() const { return classic() ? s_.paletteCount : int64_t{1} << m_.paletteBits; }
  std::string stem() const { return s_.cSource.substr(s_.cSource.rfind('/') + 1); }
  // A message, and for a job the report's words for it: it was skipped (a
  // message that skips a job), or it ended the run.
  void say(MessageId id, const std::string& name = "", const std::vector<long long>& numbers = {}, Row* row = nullptr) {
    out_.console += tessarn::testing::expectedMessage(id, name, s_.language, numbers);
    const bool skip = (id >= MessageId::kNotBmp && id <= MessageId::kUnreadablePng) || id >= MessageId::kTwoPalettes;
    (skip ? skipped_ : failed_) = true;
    if (row == nullptr) return;
    const std::string english = tessarn::testing::expectedMessage(id, name, MessageLanguage::kEnglish, numbers);
    row->text = (skip ? "skipped: " : "run ended: ") + english.substr(0, english.size() - 2);
    ended_ = ended_ || !skip;
  }
  static void note(std::vector<std::string>* names, const std::string& name) {
    if (std::find(names->begin(), names->end(), name) == names->end()) names->push_back(name);
  }
  // A file made for a part of the run: one made for two parts, or read
  // after it was made, the model cannot judge.
  void make(const std::string& path, char part) {
    judged_ = judged_ && made_.emplace(path, part).first->second == part;
  }
  bool create(const std::string& path, char part) {
    make(path, part);
    if (world_.uncreatable.count(path) == 0) out_.files[path].clear();
    return world_.uncreatable.count(path) == 0;
  }
  void write(const std::string& path, const std::string& bytes) { out_.files[path] += bytes; }
  // Said when the file is closed: its close failed, or a write (if any)
  // did, and then nothing of it landed.
  void close(const std::string& path, const std::string& shown) {
    const auto file = out_.files.find(path);
    if (file == out_.files.end()) return;
    const bool unwritable = world_.unwritable.count(path) != 0;
    const bool unclosable = world_.unclosable.count(path) != 0;
    if (unclosable || (unwritable && !file->second.empty())) say(MessageId::kWriteFailed, shown);
    if (unwritable) file->second.clear();
  }
  void reindex(size_t count) {
    patterns_.resize(count);
    index_.clear();
    for (size_t p = 0; p < count; ++p) index_.emplace(patterns_[p], p);
  }
  void convert(const Job& job, int64_t number, const Image& image, Row* row);
  std::string tableLines(std::string* bytes) const;
  void writeLibrary(const std::string& table_lines);
  Outcome finish(int status);

  const Settings& s_;
  const Machine& m_;
  const tessarn::MemoryFileSystem& world_;
  const bool warn_;      // warnings go to standard error
  const Outcome& tool_;  // the tool's run, whose full-colour palettes and colourings are its to choose
  Outcome out_;
  std::vector<Tile> patterns_;
  std::map<Tile, size_t> index_;  // the lowest pattern number of each tile
  size_t given_ = 0;
  bool started_ = false, ended_ = false, failed_ = false, skipped_ = false, judged_ = true;
  std::map<std::string, char> made_;  // the files the run made, and for what
  int64_t tiles_ = 0;                 // (a row counting one more, a job one)
  std::string output_, binary_, binaryName_;  // output.txt's path, the current binary output's and its name
  std::vector<std::string> targets_, prerequisites_, warnings_;
  std::set<std::string> jobNames_;
  std::vector<Row> rows_;
  std::vector<std::pair<std::string, Picture>> previews_;
  std::string paletteBytes_, runPalettes_, paletteLine_;  // the jobs' palettes; the run's lines; the report's line
  std::vector<Tile> drawn_;                                // full colour: the tool's patterns, given ones first,
  std::vector<int64_t> chosen_;                            // and palettes, one after another
  std::vector<Colours> units_;                             // the colour sets of the jobs kept (nes: areas')
};

// A picture of `count` tiles, `across` a row, pixel j of tile i being pixel(i, j).
template <typename Pixel>
Picture drawn(int depth, std::vector<uint32_t> palette, int64_t count, int64_t across, const Pixel& pixel) {
  Picture picture{depth, 8 * across, (count + across - 1) / across * 8, std::move(palette)};
  picture.pixels.resize(static_cast<size_t>(picture.width * picture.height));
  for (int64_t i = 0; i < count; ++i) {
    const int64_t x = i % across * 8, y = i / across * 8;
    for (int j = 0; j < 64; ++j) picture.pixels[(y + j / 8) * picture.width + x + j % 8] = pixel(i, j);
  }
  return picture;
}

void Model::convert(const Job& job, int64_t number, const Image& image, Row* row) {
  const int64_t wide = tilesFor(job.width), high = tilesFor(job.height), across = (wide + 1) / 2;
  const int bits = m_.bits;
  int64_t palette = 0, unnamed = 0, first_x = 0, first_y = INT64_MAX, added = 0, mirrored_tiles = 0;
  uint32_t attributes = 0;
  for (const Rule& rule : s_.palettes) palette = rule.named ? palette : rule.value;
  for (const Rule& rule : s_.palettes) palette = rule.named && rule.name == job.name ? rule.value : palette;
  for (const Rule& rule : s_.attributes) attributes |= !rule.named || rule.name == job.name ? rule.value : 0;
  const size_t before = patterns_.size();
  std::vector<int64_t> areas(static_cast<size_t>(across * ((high + 1) / 2)), -1);  // 16x16 areas' palettes
  std::vector<std::array<int64_t, 4>> cells;  // pattern, mirrors, palette, entry
  std::string block, bytes;                   // the map's lines, and its entries' bytes
  // Full colour: each pixel's colour value (-1: colour 0). The first tile, then nes area, of too many colours, or
  // palettes past the count with the jobs kept before (at a tile and a count the tool says) skip the job.
  const int64_t holds = (int64_t{1} << bits) - 1, count = paletteCount(), units = s_.full ? wide * high : 0;
  std::vector<std::array<int64_t, 64>> values(static_cast<size_t>(units));
  std::vector<Colours> sets(values.size()), area_sets(s_.full ? areas.size() : 0);
  for (int64_t k = 0; k < 64 * units; ++k) {
    const int64_t t = k / 64, i = k % 64, x = job.x + t % wide * 8 + i % 8, y = job.y + t / wide * 8 + i / 8;
    uint32_t rgb = x < 0 || y < 0 || x >= image.width || y >= image.height ? 0 : image.colours[y * image.width + x];
    const int64_t v = format().bits < 0 ? indexAt(image, x, y) : valueOf(format(), rgb);
    const bool clear = rgb >> 24 == 0 || (s_.transparent >= 0 && v == valueOf(format(), s_.transparent & 0xFFFFFF));
    values[t][i] = clear ? -1 : v;
    if (!clear) sets[t].insert(v), area_sets[t / wide / 2 * across + t % wide / 2].insert(v);
    const int64_t n = std::ssize(sets[t]);
    if (i == 63 && n > holds) return say(MessageId::kTooManyColours, job.bitmapName, {x - 7, y - 7, n, holds}, row);
  }
  for (int64_t a = 0; m_.map == kAreas && a < std::ssize(area_sets); ++a) {
    const int64_t n = std::ssize(area_sets[a]), ax = job.x + a % across * 16, ay = job.y + a / across * 16;
    if (n > holds) return say(MessageId::kAreaTooManyColours, job.bitmapName, {ax, ay, n, holds}, row);
  }
  std::vector<Colours> with = units_;
  with.insert(with.end(), (m_.map == kAreas ? area_sets : sets).begin(), (m_.map == kAreas ? area_sets : sets).end());
  const auto [low, most] = fewest(with, static_cast<size_t>(holds));
  const std::string said = tool_.console.substr(std::min(out_.console.size(), tool_.console.size()));
  std::vector<long long> numbers = {job.x, job.y, count + 1, count};
  for (int64_t k = 0; k < units * (most - count); ++k) {  // each tile, each count
    const std::vector<long long> n = {job.x + k % wide * 8, job.y + k / wide % high * 8, count + 1 + k / units, count};
    if (said.starts_with(expectedMessage(MessageId::kTooManyPalettes, job.bitmapName, s_.language, n))) numbers = n;
  }
  judged_ = judged_ && (most <= count || low > count);
  if (s_.full && most > count) return say(MessageId::kTooManyPalettes, job.bitmapName, numbers, row);
  if (s_.full) units_ = with;
  const std::string& tool = s_.full ? tool_.files.at(output_) : block;
  const size_t at = out_.files[output_].size() + (mapType() + job.name + "[]={\r\n").size();
  std::vector<uint32_t> entries = hexes(tool, at), attrs = hexes(tool, tool.find("_attr[]={\r\n", at));
  entries.resize(static_cast<size_t>(units)), attrs.resize(entries.size());  // (as many as the model reads, at least)
  for (int64_t r = 0; r < high; ++r) {
    block += "\t";
    for (int64_t c = 0; c < wide; ++c) {
      const int64_t x0 = job.x + 8 * c, y0 = job.y + 8 * r;
      Tile tile{};
      int64_t tile_palette = -1;
      bool two = false;
      for (int i = 0; i < 64 && !s_.full; ++i) {
        const int64_t x = x0 + i % 8, y = y0 + i / 8;
        const int index = indexAt(image, x, y);
        const int64_t k = std::find(job.colour, job.colour + 4, index) - job.colour;
        if (index < 0) continue;
        tile[i] = static_cast<uint8_t>(s_.direct ? index % (1 << bits) : k % 4);
        if (!s_.direct && k == 4) {
          ++unnamed;
          if (y < first_y || (y == first_y && x < first_x)) first_x = x, first_y = y;
        }
        if (!s_.direct || tile[i] == 0) continue;
        two |= tile_palette >= 0 && tile_palette != index >> bits;
        tile_palette = index >> bits;
      }
      // Full colour: the tool's map and patterns must give the tile's colours back (with no palette field, in one).
      const int64_t t = r * wide + c;
      const uint32_t e = s_.full ? entries[t] | (m_.map == kCellBytes ? attrs[t] << 8 : 0) : 0;
      const int64_t n = ((e & 0xFF) | (e >> m_.highAt & (std::bit_ceil(uint32_t(s_.limit)) - 1) >> 8) << 8) - s_.first;
      const int64_t chosen = std::ssize(chosen_) >> bits;  // palettes
      const auto gives = [&](int64_t p) {
        std::array<int64_t, 64> back;
        for (int i = 0; i < 64; ++i) back[i] = tile[i] == 0 ? -1 : p < chosen ? chosen_[(p << bits) + tile[i]] : -2;
        return back == values[t];
      };
      if (s_.full) {
        const int turned = (m_.lr >= 0 ? int((e >> m_.lr & 1) | (e >> m_.tb & 1) << 1) : 0) & s_.mirrors;
        tile = n >= 0 && n < std::ssize(drawn_) ? mirrored(drawn_[n], turned) : Tile{};
        tile_palette = m_.map == kAreas ? attrs[r / 4 * ((wide + 3) / 4) + c / 4] >> (r / 2 % 2 * 4 + c / 2 % 2 * 2) & 3
                                        : e >> m_.paletteAt & ((1u << m_.paletteBits) - 1);
        while (!m_.paletteBits && tile_palette < chosen && !gives(tile_palette)) ++tile_palette;
        require(!judged_ || gives(tile_palette), "full colour: every tile gives back its pixels' colours");
      }
      // The first failure in the walk skips the job, its patterns taken back.
      int64_t& area = areas[static_cast<size_t>(r / 2 * across + c / 2)];
      const bool high_palette = s_.direct && tile_palette >= 1 << m_.paletteBits;
      const bool two_areas = m_.map == kAreas && tile_palette >= 0 && area >= 0 && area != tile_palette;
      if (two || high_palette || two_areas) reindex(before);
      if (two) return say(MessageId::kTwoPalettes, job.bitmapName, {x0, y0}, row);
      if (high_palette) return say(MessageId::kPaletteTooHigh, job.bitmapName, {x0, y0, tile_palette}, row);
      if (two_areas) return say(MessageId::kAreaTwoPalettes, job.bitmapName, {x0 - 8 * (c % 2), y0 - 8 * (r % 2)}, row);
      if (tile_palette >= 0) area = tile_palette;
      // The lowest-numbered pattern the tile is, as it is or mirrored as
      // allowed, the first mirroring in order for that pattern.
      size_t p = patterns_.size();
      int mirrors = 0;
      for (int k = 0; k < 4 && !s_.keepDuplicates; ++k) {
        const auto found = (k & ~s_.mirrors) == 0 ? index_.find(mirrored(tile, k)) : index_.end();
        if (found != index_.end() && found->second < p) p = found->second, mirrors = k;
      }
      if (p == patterns_.size() && s_.first + static_cast<int64_t>(p) >= s_.limit) {
        // The run ends here, with what the job wrote so far.
        say(MessageId::kTooManyPatterns, std::to_string(s_.limit), {}, row);
        write(output_, mapType() + job.name + "[]={\r\n" + block);
        if (!binary_.empty()) write(binary_, bytes);
        return;
      }
      if (p == patterns_.size()) patterns_.push_back(tile), index_.emplace(tile, p), ++added;
      mirrored_tiles += mirrors != 0;
      const int64_t cell_palette = tile_palette >= 0 ? tile_palette : palette;
      const uint32_t entry = entryOf(m_, static_cast<int>(s_.first + static_cast<int64_t>(p)), mirrors,
                                     static_cast<int>(cell_palette), attributes);
      cells.push_back({static_cast<int64_t>(p), mirrors, cell_palette, entry});
      block += printed(m_.entryBytes == 2 ? "0x%04X, " : "0x%02X, ", entry & (m_.entryBytes == 2 ? 0xFFFF : 0xFF));
      for (int b = 0; b < m_.entryBytes; ++b) bytes += static_cast<char>(entry >> 8 * (m_.bigEndian ? 1 - b : b));
    }
    block += "\r\n";
  }
  // The attribute map: gbc's attribute byte a cell; nes's byte a 32x32
  // block of four 16x16 areas, 0 for areas outside the map.
  std::string attribute_block, attribute_bytes;
  const int64_t rows = m_.map == kAreas ? (high + 3) / 4 : high, columns = m_.map == kAreas ? (wide + 3) / 4 : wide;
  for (int64_t r = 0; m_.map != kNoMap && r < rows; ++r) {
    attribute_block += "\t";
    for (int64_t c = 0; c < columns; ++c) {
      uint32_t byte = m_.map == kCellBytes ? static_cast<uint32_t>(cells[r * wide + c][3] >> 8) : 0;
      for (int q = 0; m_.map == kAreas && q < 4; ++q) {
        const int64_t ax = 2 * c + q % 2, ay = 2 * r + q / 2;
        const int64_t area = ax < across && ay < (high + 1) / 2 ? areas[ay * across + ax] : 0;
        byte |= static_cast<uint32_t>(area >= 0 ? area : palette) << 2 * q;
      }
      attribute_block += printed("0x%02X, ", byte & 0xFF);
      attribute_bytes += static_cast<char>(byte);
    }
    attribute_block += "\r\n";
  }
  std::string text = mapType() + job.name + "[]={\r\n" + block + "};\r\n#define W_" + job.name + " " +
                     std::to_string((int64_t{job.width} + 7) / 8) + "\r\n#define H_" + job.name + " " +
                     std::to_string((int64_t{job.height} + 7) / 8) + "\r\n";
  if (m_.map != kNoMap) text += "unsigned char " + job.name + "_attr[]={\r\n" + attribute_block + "};\r\n";
  // Its palettes (mapped: its four colours; direct: 0 to the highest a cell has), black (nes: 0) for no entry.
  const int64_t per = s_.direct ? int64_t{1} << bits : 4;
  int64_t top = cells.empty() ? palette : 0;  // (a job with no tiles: its --palette)
  for (const auto& cell : cells) top = std::max(top, cell[2]);
  std::vector<int64_t> palettes;
  for (int64_t k = 0; s_.palettesOut && !s_.full && k < (s_.direct ? (top + 1) * per : 4); ++k) {
    const int64_t index = s_.direct ? k : job.colour[k];
    const bool listed = index >= 0 && index < std::ssize(image.palette);
    palettes.push_back(format().bits < 0 && listed ? index : valueOf(format(), listed ? image.palette[index] : 0));
  }
  row->colours = palettes.size(), row->paletteBlock = paletteLines(format(), palettes, size_t(per), &paletteBytes_);
  if (!palettes.empty()) text += paletteType() + job.name + "_pal[]={\r\n" + row->paletteBlock + "};\r\n";
  write(output_, text);
  if (!binary_.empty()) write(binary_, bytes + attribute_bytes);
  const int64_t tiles = wide * high;
  row->cells[2] = std::to_string(wide) + "x" + std::to_string(high);
  for (const auto& [k, count] : {std::pair{3, added}, {4, tiles - added}, {5, mirrored_tiles}}) {
    row->cells[k] = std::to_string(count);
  }
  const std::string about = "job " + std::to_string(number) + " (" + job.name + "): ";
  if (job.width <= 0 || job.height <= 0) {
    warnings_.push_back(about + "the rectangle is " + std::to_string(job.width) + " x " + std::to_string(job.height) +
                        " pixels: it has no tiles");
  }
  if (unnamed > 0) {
    warnings_.push_back(about + std::to_string(unnamed) + " pixels of " + job.bitmapName +
                        " have palette indices that none of the job's colours names (the first at " +
                        std::to_string(first_x) + "," + std::to_string(first_y) + "): they are colour 0");
  }
  if (image.cutShort) {
    warnings_.push_back(about + job.bitmapName + "'s run-length data ends before its last row: the rest is colour 0");
  }
  row->wide = wide, row->high = high, row->block = block, row->attributeBlock = attribute_block;
  if (tiles == 0 || s_.preview.empty()) return;
  // The map as the hardware draws it, in the colours of the job's bitmap (the machine's, with palettes: not compared).
  std::vector<uint32_t> colours;
  for (int k = 0; k < (s_.direct ? 256 : 4) && !s_.palettesOut && !s_.full; ++k) {
    const int64_t index = s_.direct ? k : job.colour[k];
    const bool listed = index >= 0 && index < static_cast<int64_t>(image.palette.size());
    colours.push_back(listed ? image.palette[index] : s_.direct ? grey(k % (1 << bits), bits) : grey(k, 2));
  }
  const auto px = [&](int64_t i, int j) {  // pixel j of tile i
    const auto& [p, mirrors, cell_palette, entry] = cells[i];
    const Tile tile = mirrored(patterns_[p], static_cast<int>(mirrors));
    return static_cast<uint8_t>(tile[j] + (s_.direct || s_.full ? cell_palette << bits : 0));
  };
  previews_.push_back({previewName(number, job.name), drawn(s_.direct || s_.full ? 8 : 2, colours, tiles, wide, px)});
}

// The lines of the table of the patterns the run added (classic: row
// words; other machines: bytes), and its bytes.
std::string Model::tableLines(std::string* bytes) const {
  std::string lines;
  for (size_t p = given_; p < patterns_.size(); ++p) {
    Tile tile = patterns_[p];
    std::string pattern;
    layOut(m_, &tile, &pattern, false);
    *bytes += pattern;
    lines += "\t";
    for (size_t i = 0; i < pattern.size(); i += classic() ? 2 : 1) {
      lines += printed(classic() ? "0x%04X, " : "0x%02X, ", le(pattern, i, classic() ? 2 : 1));
    }
    lines += "\r\n";
  }
  return lines;
}

// The rest of BASE.c, and BASE.h, after a complete run. Each map's symbol
// is its name made a C identifier; a symbol already taken (with any of its
// macros' and arrays' suffixes), or a keyword, gets "_N" (N its job's
// number) in place of its end as many times as it takes, then "mapN_k" for
// k = 1, 2, ...
void Model::writeLibrary(const std::string& table_lines) {
  const std::string& p = s_.prefix;
  const size_t count = patterns_.size() - given_;
  std::string guard = "TESSARN_";
  for (char c : stem()) guard += letter(c) || digit(c) ? static_cast<char>(c & ~(letter(c) ? 0x20 : 0)) : '_';
  guard = guard.substr(0, 54) + "_H";
  std::set<std::string> taken = {guard, p + "patterns", p + "PATTERN_COUNT", p + "FIRST_PATTERN"};
  if (!classic()) taken.insert(p + "PATTERN_SIZE");
  std::vector<std::string> suffixes = {"", "_WIDTH", "_HEIGHT"};
  if (m_.map != kNoMap) suffixes.push_back("_attr");
  if (s_.palettesOut || s_.full) taken.insert({p + "palettes", p + "PALETTE_COUNT"});
  if (s_.palettesOut || s_.full) suffixes.insert(suffixes.end(), {"_pal", "_COLORS"});
  const auto free = [&](const std::string& symbol) {
    const auto used = [&](const std::string& suffix) { return taken.count(symbol + suffix) != 0; };
    return kKeywords.count(symbol) == 0 && std::none_of(suffixes.begin(), suffixes.end(), used);
  };
  const std::string table_type = classic() ? "unsigned short " : "unsigned char ";
  std::string source, listed, declared;
  bool any_array = count > 0;
  for (const Row& job : rows_) {
    if (!job.text.empty() || job.cells[2].empty()) continue;  // not converted
    const std::string& name = job.cells[1];
    std::string wanted = p;
    for (char c : name) wanted += letter(c) || digit(c) || c == '_' ? c : '_';
    if (!letter(wanted[0])) wanted = "map_" + wanted;
    wanted = wanted.substr(0, 49);
    const std::string tag = "_" + job.cells[0];
    std::string symbol = wanted, tags;
    for (size_t k = 1; !free(symbol); ++k) {
      tags += tag;
      symbol = tags.size() < 49 ? wanted.substr(0, 49 - tags.size()) + tags
                                : "map" + tag + "_" + std::to_string(k - 48 / tag.size());
    }
    for (const std::string& s : suffixes) taken.insert(symbol + s);
    const bool array = job.wide * job.high > 0;
    any_array |= array;
    listed += " *   " + symbol + ": job " + job.cells[0] + ", ";
    for (char c : name) {
      const bool plain = c >= 0x20 && c < 0x7F && std::strchr("*/?\\", c) == nullptr;
      listed += plain ? std::string(1, c) : printed("\\x%02X", static_cast<uint8_t>(c));
    }
    listed += array ? "\r\n" : " (no tiles: no array)\r\n";
    declared += "\r\n";
    if (array) {
      source += "\r\nconst " + mapType() + symbol + "[] = {\r\n" + job.block + "};\r\n";
      declared += "extern const " + mapType() + symbol + "[];\r\n";
    }
    if (array && m_.map != kNoMap) {
      source += "\r\nconst unsigned char " + symbol + "_attr[] = {\r\n" + job.attributeBlock + "};\r\n";
      declared += "extern const unsigned char " + symbol + "_attr[];\r\n";
    }
    if (job.colours > 0) {  // (a job with no tiles has its palettes too)
      source += "\r\nconst " + paletteType() + symbol + "_pal[] = {\r\n" + job.paletteBlock + "};\r\n";
      declared += "extern const " + paletteType() + symbol + "_pal[];\r\n";
    }
    declared += "#define " + symbol + "_WIDTH " + std::to_string(array ? job.wide : 0) + "\r\n#define " + symbol +
                "_HEIGHT " + std::to_string(array ? job.high : 0) + "\r\n";
    if (job.colours > 0) declared += "#define " + symbol + "_COLORS " + std::to_string(job.colours) + "\r\n";
    any_array |= job.colours > 0 || !chosen_.empty();
  }
  if (count > 0) source += "\r\nconst " + table_type + p + "patterns[] = {\r\n" + table_lines + "};\r\n";
  if (!chosen_.empty()) source += "\r\nconst " + paletteType() + p + "palettes[] = {\r\n" + runPalettes_ + "};\r\n";
  std::string spare = p + "no_arrays";
  for (int k = 2; !free(spare); ++k) spare = p + "no_arrays_" + std::to_string(k);
  if (!any_array) source += "\r\ntypedef int " + spare + ";  /* ISO C wants a declaration */\r\n";
  write(s_.cSource + ".c", source);
  if (!create(s_.cSource + ".h", 'h')) return say(MessageId::kCannotCreate, s_.cSource + ".h");
  note(&targets_, s_.cSource + ".h");
  std::string header = "/* The maps and patterns that tessarn made, defined in " + stem() + ".c:\r\n" + listed +
                       " *   " + p + "patterns: the patterns the run added" + (count > 0 ? "" : " (none: no array)") +
                       "\r\n */\r\n#ifndef " + guard + "\r\n#define " + guard +
                       "\r\n\r\n#ifdef __cplusplus\r\nextern \"C\" {\r\n#endif\r\n" + declared + "\r\n";
  if (count > 0) header += "extern const " + table_type + p + "patterns[];\r\n";
  header += "#define " + p + "PATTERN_COUNT " + std::to_string(count) + "\r\n";
  if (!classic()) header += "#define " + p + "PATTERN_SIZE " + std::to_string(8 * m_.bits) + "\r\n";
  header += "#define " + p + "FIRST_PATTERN " + std::to_string(s_.first + static_cast<int64_t>(given_)) + "\r\n";
  if (s_.full) {
    if (!chosen_.empty()) header += "\r\nextern const " + paletteType() + p + "palettes[];";
    header += "\r\n#define " + p + "PALETTE_COUNT " + std::to_string(chosen_.size() >> m_.bits) + "\r\n";
  }
  write(s_.cSource + ".h", header + "\r\n#ifdef __cplusplus\r\n}\r\n#endif\r\n\r\n#endif\r\n");
}

Outcome Model::run() {
  out_.files = world_.files;
  // Before the run: the given patterns, and the folders. A usage error
  // there leaves every file as it was.
  const size_t size = static_cast<size_t>(8 * m_.bits);
  const auto usage = [&] { return Outcome{.status = 2, .files = world_.files}; };
  for (const std::string& name : s_.patternsFrom) {
    const auto file = world_.files.find(name);
    if (file == world_.files.end() || file->second.empty() || file->second.size() % size != 0) return usage();
    for (size_t at = 0; at < file->second.size(); at += size) {
      std::string bytes = file->second.substr(at, size);
      layOut(m_, &patterns_.emplace_back(), &bytes, true);
    }
    note(&prerequisites_, name);
  }
  given_ = patterns_.size();
  if (static_cast<int64_t>(given_) > s_.limit - s_.first) return usage();
  for (const std::string& folder :
       {s_.directory, s_.outputDirectory, s_.preview, s_.cSource.substr(0, s_.cSource.rfind('/') + 1)}) {
    if (world_.files.count(folder) != 0) return usage();
  }
  reindex(given_ > 0 ? given_ : 1);  // the given patterns, or the blank one
  output_ = joined(s_.outputDirectory, "output.txt");
  // Full colour: the tool's patterns (given ones first) and palettes, from its output.txt (if it has them).
  const auto tool = tool_.files.find(output_);
  const std::string text = s_.full && tool != tool_.files.end() ? tool->second : "";
  const size_t table_at = text.rfind("\r\n#define MAX_PCG "), palettes_at = text.rfind("\r\n#define MAX_PAL ");
  judged_ = judged_ && (!s_.full || palettes_at != std::string::npos);
  const size_t n = static_cast<size_t>(8 * m_.bits / (classic() ? 2 : 1));  // numbers a pattern (classic's row words)
  const std::vector<uint32_t> pcg = hexes(text, text.find("PCG_DAT[]={", table_at));
  drawn_.assign(patterns_.begin(), patterns_.begin() + static_cast<int64_t>(given_));
  for (size_t i = 0; i + n <= pcg.size(); i += n) {
    std::string bytes;
    for (size_t j = i; j < i + n; ++j) bytes += std::string{char(pcg[j]), char(pcg[j] >> 8)}.substr(0, classic() + 1);
    layOut(m_, &drawn_.emplace_back(), &bytes, true);
  }
  const Format& f = format();
  const size_t colours = size_t{1} << m_.bits, units = f.bits == 0 ? 0 : f.bytes == 2 ? 1 : f.bytes;  // a colour's
  const size_t per = f.bits == 0 ? colours / 4 : colours * units;
  const std::vector<uint32_t> read = hexes(text, palettes_at);
  chosen_.assign(read.size() / per * colours, 0);
  for (size_t k = 0; k < chosen_.size(); ++k) {
    if (f.bits == 0) chosen_[k] = read[k / 4] >> 2 * (k % 4) & 3;
    for (size_t i = 0; i < units; ++i) chosen_[k] = chosen_[k] << 8 | read[units * k + i];
    require(!judged_ || k % colours || chosen_[k] == valueOf(f, s_.transparent < 0 ? 0 : s_.transparent), "colour 0");
  }
  const std::string list_path = joined(s_.directory, "tessarn.txt"), library = s_.cSource + ".c";
  const auto list = world_.files.find(list_path);
  if (list == world_.files.end()) return say(MessageId::kJobListMissing), finish(28);
  note(&prerequisites_, list_path);
  if (!create(output_, 'o')) return say(MessageId::kCannotCreate, "output.txt"), finish(-1);
  note(&targets_, output_);
  if (!s_.cSource.empty() && !create(library, 'c')) {
    say(MessageId::kCannotCreate, library);
    close(output_, "output.txt");
    return finish(-1);
  }
  if (!s_.cSource.empty()) {
    note(&targets_, library);
    write(library, "/* The maps and patterns that tessarn made; declared in " + stem() + ".h. */\r\n#include \"" +
                       stem() + ".h\"\r\n");
  }
  started_ = true;
  size_t at = 0;
  Job job;
  for (int64_t number = 1; !ended_ && readJob(listOf(list->second), &at, &job) != -1; ++number) {
    jobNames_.insert(job.name);
    Row& row = rows_.emplace_back(Row{{std::to_string(number), job.name}, ""});
    const std::string binary = joined(s_.outputDirectory, job.name), path = joined(s_.directory, job.bitmapName);
    if (job.name.find(".bin") != std::string::npos) {
      close(binary_, binaryName_);
      binary_.clear();
      if (!create(binary, 'b')) {
        say(MessageId::kCannotCreate, job.name, {}, &row);
        break;
      }
      binary_ = binary;
      binaryName_ = job.name;
      note(&targets_, binary_);
    }
    const auto file = world_.files.find(path);
    const size_t bytes = file != world_.files.end() ? file->second.size() : 0;
    const Image image = check(file != world_.files.end() ? file->second : "", s_.full ? 2 - (m_.map == kAreas) : 0);
    // The model cannot judge a run past its budget, nor one that reads a
    // file it made, nor tell which of a plain BMP's rows are read first
    // when reads past its first 64 bytes fail, nor which colours its
    // preview then has.
    tiles_ += 1 + tilesFor(job.height) * (1 + tilesFor(job.width));
    const bool cut = world_.cutShort.count(path) != 0 && (image.accepted || image.png);  // (a PNG is read first)
    const bool palette = !s_.preview.empty() && !image.png && !image.runLength && bytes > 64;
    const bool unsure = cut && (readFails(image, bytes, job) < 0 || palette);
    judged_ = judged_ && tiles_ <= kMaxTiles && made_.count(path) == 0 && !image.tooLarge && !unsure;
    if (!judged_) break;
    if (file == world_.files.end()) {
      say(MessageId::kBitmapMissing, job.bitmapName, {}, &row);
      break;
    }
    note(&prerequisites_, path);
    if (cut && readFails(image, bytes, job) != 0) {
      // A plain BMP's map block was begun before its rows were read.
      if (!image.png && !image.runLength) write(output_, mapType() + job.name + "[]={\r\n");
      say(MessageId::kBitmapMissing, job.bitmapName, {}, &row);
    } else if (!image.accepted) {
      say(image.reason, job.bitmapName, {}, &row);
    } else {
      convert(job, number, image, &row);
    }
  }
  const int64_t first = s_.first + static_cast<int64_t>(given_);
  if (!ended_) {
    std::string table_bytes;
    const std::string lines = tableLines(&table_bytes);
    std::string table = "\r\n#define MAX_PCG " + std::to_string(patterns_.size() - given_) + "\r\n";
    if (first != 0) table += "#define FIRST_PCG " + std::to_string(first) + "\r\n";
    if (!classic()) table += "#define PCG_SIZE " + std::to_string(size) + "\r\n";
    if (!lines.empty()) table += std::string(classic() ? "unsigned short" : "unsigned char") + " PCG_DAT[]={\r\n";
    if (!lines.empty()) table += lines + "};\r\n";
    write(output_, table);
    if (!binary_.empty()) write(binary_, table_bytes);
    // Full colour: the run's palettes, no more than the fewest (where known) nor the machine's count.
    runPalettes_ = paletteLines(format(), chosen_, size_t{1} << m_.bits, &paletteBytes_);  // (after the jobs')
    const auto [low, most] = fewest(units_, (size_t{1} << m_.bits) - 1);
    const int64_t n = std::ssize(chosen_) >> m_.bits;
    require(!judged_ || !s_.full || (low <= n && n <= most && n <= paletteCount()), "full colour: the fewest palettes");
    const std::string line = "palettes: " + std::to_string(n) + (low == most ? " (the fewest possible); " : " (");
    const size_t from = ("\n" + tool_.errors).find("\n" + line), to = tool_.errors.find('\n', from) + 1;
    paletteLine_ = !s_.full ? "" : from == std::string::npos ? line + "\n" : tool_.errors.substr(from, to - from);
    // No palette chosen: the count alone (C has no empty arrays).
    const std::string head = "\r\n#define MAX_PAL " + std::to_string(n) + "\r\n";
    if (s_.full) write(output_, n == 0 ? head : head + paletteType() + "PAL_DAT[]={\r\n" + runPalettes_ + "};\r\n");
    if (!s_.cSource.empty()) writeLibrary(lines);
  }
  close(binary_, binaryName_);
  close(output_, "output.txt");
  if (!s_.cSource.empty()) close(library, library), close(s_.cSource + ".h", s_.cSource + ".h");
  return finish(failed_ ? -1 : 0);
}

// The end of every run that got past its options: what goes to standard
// error, the previews, and the files that stand only after a complete run.
Outcome Model::finish(int status) {
  std::string& errors = out_.errors;
  if (s_.report) {
    if (!classic()) errors += std::string("target: ") + m_.name + "\n";
    // A line a job under a heading, if there are jobs: names and tiles to
    // the left of their columns, numbers to the right.
    std::vector<Row> table = rows_;
    if (!table.empty()) table.insert(table.begin(), Row{{"job", "name", "tiles", "new", "reused", "mirrored"}, ""});
    size_t widths[6] = {};
    for (const Row& row : table) {
      for (int k = 0; k < 6; ++k) widths[k] = std::max(widths[k], row.cells[k].size());
    }
    for (const Row& row : table) {
      for (int k = 0; k < (row.text.empty() ? 6 : 2); ++k) {
        const std::string pad(widths[k] - row.cells[k].size(), ' ');
        errors += (k > 0 ? "  " : "") + (k == 1 || k == 2 ? row.cells[k] + pad : pad + row.cells[k]);
      }
      errors += (row.text.empty() ? "" : "  " + row.text) + "\n";
    }
  }
  for (const std::string& warning : warnings_) {
    if (s_.report || s_.strict || warn_) errors += (s_.report ? "warning: " : "tessarn: warning: ") + warning + "\n";
  }
  if (s_.report) {
    errors += paletteLine_ + "patterns: " + std::to_string(started_ ? s_.first + int64_t(patterns_.size()) : 0) +
              " of " + std::to_string(s_.limit) + "\n";
  }
  bool unused = false;
  for (const auto* rules : {&s_.attributes, &s_.palettes}) {
    std::set<std::string> said;
    for (const Rule& rule : *rules) {
      if (!rule.named || jobNames_.count(rule.name) != 0 || !said.insert(rule.name).second) continue;
      errors += std::string("tessarn: --") + (rules == &s_.attributes ? "attributes" : "palette") + " names " +
                rule.name + ", which no job of the run has\n";
      unused = true;
    }
  }
  if (started_ && !s_.preview.empty()) {
    // patterns.png: 16 patterns a row from the first number, in greys.
    std::vector<uint32_t> greys;
    for (int v = 0; v < 1 << m_.bits; ++v) greys.push_back(grey(v, m_.bits));
    const auto pixel = [&](int64_t i, int j) { return patterns_[static_cast<size_t>(i)][j]; };
    previews_.push_back({"patterns.png", drawn(m_.bits, greys, static_cast<int64_t>(patterns_.size()), 16, pixel)});
    for (const auto& [file, picture] : previews_) {
      const std::string path = joined(s_.preview, file);
      make(path, 'v');
      if (world_.uncreatable.count(path) != 0) {
        errors += "tessarn: preview " + file + " cannot be created\n";
      } else if (world_.unwritable.count(path) != 0) {
        errors += "tessarn: preview writing to " + file + " failed\n";
        out_.files[path].clear();
      } else {
        out_.pictures[path] = picture;
      }
      failed_ |= out_.pictures.count(path) == 0;
    }
  }
  if (status == 0 && failed_) status = -1;
  if (status == 0 && s_.strict && (skipped_ || unused || !warnings_.empty())) status = 1;
  // After a complete run, the patterns it added, then the rule for make.
  const auto file = [&](const std::string& path, const std::string& bytes, const char* what) {
    if (status != 0 && status != 1) return;
    make(path, what[0]);
    if (world_.uncreatable.count(path) == 0) out_.files[path] = world_.unwritable.count(path) == 0 ? bytes : "";
    if (world_.uncreatable.count(path) != 0 || world_.unwritable.count(path) != 0) {
      errors += std::string("tessarn: cannot write the ") + what + " " + path + "\n";
      status = -1;
    }
  };
  std::string added;
  tableLines(&added);
  if (!s_.patternFile.empty()) note(&targets_, s_.patternFile), file(s_.patternFile, added, "pattern file");
  if (!s_.paletteFile.empty()) note(&targets_, s_.paletteFile), file(s_.paletteFile, paletteBytes_, "palette file");
  std::string rule;
  for (const std::string& target : targets_) rule += (rule.empty() ? "" : " ") + escapedForMake(target);
  rule += ":";
  for (const std::string& prerequisite : prerequisites_) rule += " " + escapedForMake(prerequisite);
  if (!s_.depfile.empty()) file(s_.depfile, rule + "\n", "depfile");
  if (status != 0 && status != 1) {
    out_.files.erase(s_.depfile);
    out_.files.erase(s_.patternFile);
    out_.files.erase(s_.paletteFile);
    if (!s_.cSource.empty()) out_.files.erase(s_.cSource + ".c"), out_.files.erase(s_.cSource + ".h");
  }
  out_.status = status;
  out_.judged = judged_;
  return out_;
}

// ---- The input.

uint32_t be32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(s[at + i]);
  return v;
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
      const uLong adler = adler32(1, reinterpret_cast<Bytef*>(image.data()), static_cast<uInt>(z.total_out));
      for (size_t i = 0; i < 4; ++i) f[stream_at[2 + z.total_in + i]] = static_cast<char>(adler >> (24 - 8 * i));
    }
    inflateEnd(&z);
  }
  for (const auto& [at, length] : chunks) {
    const uLong crc = crc32(0, reinterpret_cast<Bytef*>(f.data() + at + 4), static_cast<uInt>(length + 4));
    for (size_t i = 0; i < 4; ++i) f[at + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
  }
  return f;
}

// The input's sections: the options, then the files as far as given.
std::vector<std::string> sectionsOf(const uint8_t* data, size_t size) {
  std::vector<std::string> sections;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  for (size_t end = 0; end != std::string_view::npos && sections.size() < 6;) {
    end = rest.find("\n%%\n");
    const std::string section(rest.substr(0, end));
    sections.push_back(sections.empty() ? section : withChecksumsRight(section));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 4);
  }
  return sections;
}

// The input's files where the run finds them, and its faults.
tessarn::MemoryFileSystem worldOf(const uint8_t* data, const std::vector<std::string>& sections, const Settings& s) {
  const char* const names[] = {"", "tessarn.txt", "a.bmp", "b.bmp", "c.bmp", "given.pat"};
  tessarn::MemoryFileSystem world;
  world.readChunk = data[2] == 0 ? SIZE_MAX : data[2];
  for (size_t i = 1; i < sections.size(); ++i) {
    world.files[i < 5 ? joined(s.directory, names[i]) : names[i]] = sections[i];
  }
  if (data[0] & 1) world.files.erase(joined(s.directory, "tessarn.txt"));
  const std::string output = joined(s.outputDirectory, "output.txt"), binary = joined(s.outputDirectory, "a.bin");
  const std::string source = s.cSource.empty() ? "" : s.cSource + ".c";
  const std::string header = s.cSource.empty() ? "" : s.cSource + ".h";
  const std::string table = s.preview.empty() ? "" : joined(s.preview, "patterns.png");
  const std::tuple<int, std::set<std::string>*, std::string> faults[] = {
      {data[0] & 2, &world.uncreatable, output},   {data[0] & 4, &world.unwritable, output},
      {data[0] & 8, &world.uncreatable, binary},   {data[0] & 16, &world.unwritable, binary},
      {data[0] & 64, &world.unclosable, output},   {data[0] & 64, &world.unclosable, binary},
      {data[1] & 1, &world.cutShort, joined(s.directory, "a.bmp")},
      {data[1] & 2, &world.unwritable, s.patternFile}, {data[1] & 4, &world.uncreatable, source},
      {data[1] & 8, &world.unwritable, header},      {data[1] & 16, &world.unwritable, table},
      {data[1] & 32, &world.uncreatable, table},     {data[1] & 64, &world.uncreatable, s.depfile},
      {data[1] & 128, &world.unwritable, source}};
  for (const auto& [on, names_of, name] : faults) {
    if (on != 0 && !name.empty()) names_of->insert(name);
  }
  return world;
}

// Whether the tool's run left what the model says; with `tell`, where not.
bool matches(const Outcome& want, int status, const std::string& console, const std::string& errors,
             const tessarn::MemoryFileSystem& files, bool tell) {
  std::string differences;
  if (status != want.status) differences += "status " + std::to_string(status) + "\n";
  if (console != want.console) differences += "standard output:\n" + console + "\n";
  const bool usage = errors.starts_with("tessarn: ") && errors.ends_with(kHint) && console.empty();
  if (want.status == 2 ? !usage : errors != want.errors) differences += "standard error:\n" + errors + "\n";
  // The previews as the tool wrote them where they draw the model's pictures.
  std::map<std::string, std::string> wanted = want.files;
  for (const auto& [name, picture] : want.pictures) {
    const auto have = files.files.find(name);
    const Image image = check(have != files.files.end() ? have->second : "");
    const std::vector<uint32_t>& palette = picture.palette.empty() ? picture.palette : image.palette;  // (none: any)
    const bool same = image.accepted && image.colourType == 3 &&
                      Picture{image.bits, image.width, image.height, palette, image.pixels} == picture;
    wanted[name] = same ? have->second : "(the model's picture)";
  }
  for (const auto& [name, bytes] : files.files) {
    if (wanted.count(name) == 0 || wanted[name] != bytes) differences += name + ":\n" + bytes + "\n";
  }
  for (const auto& [name, bytes] : wanted) {
    if (files.files.count(name) == 0) differences += name + " is missing\n";
  }
  if (tell && !differences.empty()) std::fprintf(stderr, "where the tool's run differs:\n%.8000s", differences.c_str());
  return differences.empty();
}

// Replayed, the target can make allocations fail: the k-th of a run, once or
// from then on. (The libFuzzer build keeps its allocator as it is, and so
// does a ThreadSanitizer build, whose runtime replaces it.) Atomic, since a
// run's own threads might allocate too.
#if !defined(TESSARN_FUZZING) && !defined(TESSARN_KEEP_ALLOCATOR)
#define TESSARN_FAIL_ALLOCATIONS 1
#endif

std::atomic<long> g_countdown{-1};  // allocations left before failing, or -1
std::atomic<bool> g_keep_failing{false};
std::atomic<long> g_allocations{0};

[[maybe_unused]] bool failThisAllocation() {
  if (g_countdown < 0 || tessarn::MemoryFileSystem::writing) return false;
  ++g_allocations;
  if (g_countdown-- > 0) return false;
  g_countdown = g_keep_failing ? 0 : -1;
  return true;
}

// Counts the allocations from now on, and fails the `at`-th (none if
// negative), and with `keep` every one after it.
void failAllocations(long at, bool keep) {
  g_allocations = 0;
  g_keep_failing = keep;
  g_countdown = at < 0 ? LONG_MAX : at;
}

// Stops failing allocations; returns how many were counted.
long stopFailing() {
  g_countdown = -1;
  return g_allocations;
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

// Returns -1 for an input it passed over, whose run it cannot judge.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return -1;
  const std::vector<std::string> sections = sectionsOf(data, size);
  std::vector<std::string> words = {"tessarn"};
  std::istringstream split(sections[0]);
  for (std::string word; split >> word;) words.push_back(word.substr(0, word.find('\0')));  // as argv holds it
  Settings settings;
  const Verdict verdict = readOptions(words, &settings);
  const tessarn::MemoryFileSystem world = worldOf(data, sections, settings);

  // The command line as main() reads it: help or the version, a usage
  // error (its words are the options suite's to pin), or a run.
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  tessarn::Options options;
  std::string out, error;
  using tessarn::CommandLine;
  const CommandLine line = parseCommandLine(static_cast<int>(argv.size()), argv.data(), {}, &options, &out, &error);
  const bool done = verdict == Verdict::kHelp || verdict == Verdict::kVersion;
  const CommandLine asked = verdict == Verdict::kRun ? CommandLine::kRun : CommandLine::kUsageError;
  require(line == (done ? CommandLine::kDone : asked), "what the command line asks for");
  require(verdict != Verdict::kHelp || out.find("Usage: tessarn [OPTIONS]") != std::string::npos, "the help");
  require(verdict != Verdict::kVersion || out == "tessarn " TESSARN_VERSION "\n", "the version");
  require(verdict != Verdict::kUsage || (!error.empty() && error.find('\n') == std::string::npos &&
                                         tessarn::usageErrorText(error) == "tessarn: " + error + std::string(kHint)),
          "a usage error, said on one line");
  if (verdict != Verdict::kRun) return 0;
  Outcome expected;  // (full colour's palettes and colourings the model takes from the tool's first run, and checks)

  // The run on one thread, and on two, images' rows made and encoded on
  // threads of their own however small the job; then (replayed, with bit 7)
  // each again with each of its allocations failing, once or from then on:
  // it must end saying so last, having said and written no more than the
  // whole run does.
  const std::string out_of_memory = tessarn::testing::expectedMessage(MessageId::kOutOfMemory, "", settings.language);
  for (const bool threaded : {false, true}) {
    Outcome whole;  // the run with no allocation failing
    long allocations = 0;
    for (long attempt = -1; attempt < 2 * allocations; ++attempt) {
      tessarn::MemoryFileSystem files = world, streams;
      const auto console = streams.create("console"), errors = streams.create("errors");
      // Room made beforehand: writing what the run says allocates nothing.
      streams.files["console"].reserve(expected.console.size() + 4096);
      streams.files["errors"].reserve(expected.errors.size() + 4096);
      tessarn::RunConditions conditions;
      conditions.warnOnStandardError = (data[0] & 32) != 0;
      if (threaded) conditions.threads = 2, conditions.rowBudget = 128, conditions.threadBytes = 0;
      if (threaded) files.readChunk = 1;  // every token straddles the reader's refills
      failAllocations(attempt < 0 ? -1 : attempt / 2, attempt % 2 == 1);  // odd attempts: from then on
      int status = -1;
      try {
        status = tessarn::runConfigured(options, conditions, &files, console.get(), errors.get());
      } catch (const std::bad_alloc&) {
        // As main() does when memory runs out before the run or after it
        // (with the run's memory given back).
        stopFailing();
        tessarn::Console(console.get(), options.messages).report(MessageId::kOutOfMemory);
      }
      const long counted = stopFailing();  // (0 where allocations are not counted)
      if (attempt < 0 && (data[0] & 128)) allocations = counted;
      const std::string& said = streams.files["console"];
      const Outcome run = {status, true, said, streams.files["errors"], files.files};
      if (attempt < 0 && !threaded) expected = Model(settings, world, (data[0] & 32) != 0, run).run();
      if (!expected.judged) return -1;
      if (attempt < 0) require(matches(expected, status, said, run.errors, files, true), "the run is not the model's");
      // An allocation the run can do without (a thread's, std::stable_sort's
      // buffer) is no failure: the work is done all the same, to the same bytes.
      if (attempt < 0) whole = run;
      const auto same = [&] {
        return run.console == whole.console && run.errors == whole.errors && run.files == whole.files;
      };
      if (attempt < 0 || (run.status == whole.status && same())) continue;
      std::string before = said;  // (said again by main() if memory still runs out after the run)
      while (before.ends_with(out_of_memory)) before.resize(before.size() - out_of_memory.size());
      const auto output = expected.files.find(joined(settings.outputDirectory, "output.txt"));
      const auto written = files.files.find(output != expected.files.end() ? output->first : "");
      require(status == -1 && said.ends_with(out_of_memory) && expected.console.starts_with(before) &&
                  (written == files.files.end() || output->second.starts_with(written->second)),
              "out of memory: said last, after no more than the whole run says and writes");
    }
  }
  return 0;
}
