// Small bitmaps shared by the black-box suites.

#ifndef TESSARN_TESTS_E2E_SCENES_H_
#define TESSARN_TESTS_E2E_SCENES_H_

#include <string>

#include "support/bmp_writer.h"

namespace tessarn::testing {

// 16 x 8, 8-bit: all index 0 but for index 1 at the top-left pixel of the
// right-hand tile. With colours 0 1 2 3 its tiles are blank and 0x0080 in
// row 0.
inline std::string stageBmp() {
  BmpSpec bmp;
  bmp.width = 16;
  bmp.height = 8;
  bmp.pixels.assign(16 * 8, 0);
  bmp.pixels[8] = 1;
  return writeBmp(bmp);
}

// The pattern of stageBmp()'s right-hand tile.
inline const std::vector<uint16_t> kStageTile = {0x0080, 0, 0, 0, 0, 0, 0, 0};

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_E2E_SCENES_H_
