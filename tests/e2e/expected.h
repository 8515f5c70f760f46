// Expected bytes for the black-box suites, written independently of the
// tool's code: messages, output.txt blocks, binary words, a small bitmap.

#ifndef TESSARN_TESTS_E2E_EXPECTED_H_
#define TESSARN_TESTS_E2E_EXPECTED_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/messages.h"

namespace tessarn::testing {

// A tab, each value as 0xHHHH followed by ", ", then CR LF.
inline std::string valueLine(const std::vector<uint16_t>& words) {
  std::string out = "\t";
  char text[16];
  for (uint16_t w : words) out += (std::snprintf(text, sizeof text, "0x%04X, ", w), text);
  return out + "\r\n";
}

// A job's map block: its rows of map words, then its size in tiles.
inline std::string mapBlock(const std::string& name, const std::vector<std::vector<uint16_t>>& rows, long long w,
                            long long h) {
  std::string out = "unsigned short " + name + "[]={\r\n";
  for (const auto& row : rows) out += valueLine(row);
  return out + "};\r\n#define W_" + name + " " + std::to_string(w) + "\r\n#define H_" + name + " " +
         std::to_string(h) + "\r\n";
}

using TestPattern = std::vector<uint16_t>;  // eight row words
inline const TestPattern kBlank(8, 0);

inline std::string patternTable(const std::vector<TestPattern>& patterns) {
  std::string out = "\r\n#define MAX_PCG " + std::to_string(patterns.size()) + "\r\nunsigned short PCG_DAT[]={\r\n";
  for (const auto& p : patterns) out += valueLine(p);
  return out + "};\r\n";
}

// 16-bit little-endian words.
inline std::string words16(const std::vector<uint16_t>& words) {
  std::string out;
  for (uint16_t w : words) out += {static_cast<char>(w & 0xFF), static_cast<char>(w >> 8)};
  return out;
}

// 16 x 8, 8-bit: all index 0 but for index 1 at the top-left pixel of the
// right-hand tile. With colours 0 1 2 3 its tiles are blank and kStageTile.
inline std::string stageBmp() {
  BmpSpec bmp{.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128, 0)};
  bmp.pixels[8] = 1;
  return writeBmp(bmp);
}
inline const TestPattern kStageTile = {0x0080, 0, 0, 0, 0, 0, 0, 0};
inline const std::string kStageTable = patternTable({kBlank, kStageTile});

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_E2E_EXPECTED_H_
