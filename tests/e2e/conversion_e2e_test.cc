// Whole conversions through the real binary: bitmaps of every kind, the
// checks that skip a job, and the map words and patterns they give.

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "e2e/scenes.h"

namespace tessarn::testing {
namespace {

// Builds an 8x8 block's palette indices from eight rows of eight characters,
// '.' being index 0 and '1' to '3' themselves.
std::vector<uint8_t> block(const char* rows) {
  std::vector<uint8_t> out;
  for (const char* c = rows; *c != '\0'; ++c) {
    if (*c != ' ') out.push_back(*c == '.' ? 0 : static_cast<uint8_t>(*c - '0'));
  }
  return out;
}

// Lays 8x8 blocks side by side into one image eight pixels high.
BmpSpec blocksInARow(const std::vector<std::vector<uint8_t>>& blocks) {
  BmpSpec bmp;
  bmp.width = static_cast<int>(blocks.size()) * 8;
  bmp.height = 8;
  bmp.pixels.resize(bmp.width * 8);
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) bmp.pixels[y * bmp.width + b * 8 + x] = blocks[b][y * 8 + x];
    }
  }
  return bmp;
}

TEST(ConversionE2E, StageExampleAsTextAndBinary) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 stage 0 1 2 3\r\nstage.bmp 0 0 16 8 stage.bin 0 1 2 3\r\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"),
            "unsigned short stage[]={\r\n"
            "\t0x0000, 0x0001, \r\n"
            "};\r\n"
            "#define W_stage 2\r\n"
            "#define H_stage 1\r\n" +
                mapBlock("stage.bin", {{0x0000, 0x0001}}, 2, 1) +
                "\r\n"
                "#define MAX_PCG 2\r\n"
                "unsigned short PCG_DAT[]={\r\n"
                "\t0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, \r\n"
                "\t0x0080, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, 0x0000, \r\n"
                "};\r\n");
  const std::string bin = dir.read("stage.bin");
  ASSERT_EQ(bin.size(), 36u);
  EXPECT_EQ(bin, std::string("\0\0\1\0", 4) + std::string(16, '\0') + std::string("\x80\0", 2) +
                     std::string(14, '\0'));
}

TEST(ConversionE2E, MirroredBlocksAcrossTwoJobsShareOnePattern) {
  const std::vector<uint8_t> a = block(
      "3....... 33...... ..1..... ...2.... ........ ........ ........ .......1");
  std::vector<uint8_t> lr(64), tb(64), both(64);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      lr[y * 8 + x] = a[y * 8 + 7 - x];
      tb[y * 8 + x] = a[(7 - y) * 8 + x];
      both[y * 8 + x] = a[(7 - y) * 8 + 7 - x];
    }
  }
  ScratchDir dir;
  dir.write("m.bmp", writeBmp(blocksInARow({a, lr, tb, both})));
  dir.write("tessarn.txt", "m.bmp 0 0 16 8 left 0 1 2 3  m.bmp 16 0 16 8 right 0 1 2 3");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  // Row words of a: plane 0 in the low byte, plane 1 in the high byte.
  const TestPattern pa = {0x8080, 0xC0C0, 0x0020, 0x1000, 0, 0, 0, 0x0001};
  EXPECT_EQ(dir.read("output.txt"), mapBlock("left", {{0x0001, 0x4001}}, 2, 1) +
                                        mapBlock("right", {{0x8001, 0xC001}}, 2, 1) +
                                        patternTable({kBlank, pa}));
}

TEST(ConversionE2E, OddSizesAndDuplicateColours) {
  // 16 x 16, index 7 everywhere; colours list 7 twice, so it is colour 1.
  BmpSpec bmp;
  bmp.width = 16;
  bmp.height = 16;
  bmp.pixels.assign(256, 7);
  ScratchDir dir;
  dir.write("s.bmp", writeBmp(bmp));
  dir.write("tessarn.txt", "s.bmp 0 0 9 12 odd 5 7 9 7");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("odd", {{1, 1}, {1, 1}}, 2, 2) +
                                        patternTable({kBlank, TestPattern(8, 0x00FF)}));
}

// Sets a little-endian 32-bit field of a built file.
std::string with32(std::string bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// Every check in order, each failing one skipping its job with its message.
TEST(ConversionE2E, RejectedBitmapsAreSkippedAndTheRunGoesOn) {
  const std::string good = stageBmp();
  const std::string core = writeBmp({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64), .coreHeader = true});
  const std::string rle = writeRawBmp(8, 8, 8, 1, "");  // pixel data ends the file
  const uint32_t rle_offset = static_cast<uint32_t>(rle.size());
  struct Case {
    std::string file;
    std::string (*message)(const std::string&);  // null: accepted
  };
  const Case cases[] = {
      {"just some text", notBmpMessage},
      {good.substr(0, 17), notBmpMessage},
      {with32(good, 14, 13), notBmpMessage},  // info header size
      {with32(good, 14, 124), nullptr},
      {good.substr(0, 33), notBmpMessage},
      {core.substr(0, 25), notBmpMessage},
      {writeRawBmp(0, 8, 24, 0, ""), [](const std::string&) { return kNotEightBit; }},
      {writeRawBmp(-5, 8, 8, 2, ""), compressionMessage},  // compression comes before size
      {writeRawBmp(8, 8, 8, 3, std::string(64, '\0')), compressionMessage},
      {writeRawBmp(8, 8, 1, 1, ""), compressionMessage},
      {writeRawBmp((1 << 28) + 1, -1, 8, 1, ""), compressionMessage},
      {writeRawBmp(0, 8, 8, 0, ""), notBmpMessage},
      {writeRawBmp(-8, 8, 8, 0, std::string(64, '\0')), notBmpMessage},
      {writeRawBmp(8, 0, 8, 0, ""), notBmpMessage},
      {good.substr(0, good.size() - 1), notBmpMessage},
      {writeRawBmp(100000, 100000, 8, 0, std::string(16, '\0')), notBmpMessage},
      {with32(rle, 10, rle_offset), nullptr},
      {with32(rle, 10, rle_offset + 1), notBmpMessage},
  };
  ScratchDir dir;
  std::string list;
  std::string expected_console;
  std::string expected_output;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string name = "case" + std::to_string(i) + ".bmp";
    dir.write(name, cases[i].file);
    list += name + " 0 0 8 8 ok" + std::to_string(i) + " 0 1 2 3\n";
    if (cases[i].message != nullptr) {
      expected_console += cases[i].message(name);
    } else {
      expected_output += mapBlock("ok" + std::to_string(i), {{0}}, 1, 1);
    }
  }
  dir.write("tessarn.txt", list);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, expected_console);
  EXPECT_EQ(dir.read("output.txt"), expected_output + patternTable({kBlank}));
}

TEST(ConversionE2E, MissingBitmapEndsTheRunWithoutPatternTable) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt",
            "stage.bmp 0 0 16 8 one 0 1 2 3\n"
            "stage.bmp 0 0 16 8 two 0 1 2 3\n"
            "gone.bmp 0 0 16 8 three.bin 0 1 2 3\n"
            "stage.bmp 0 0 16 8 four 0 1 2 3\n");
  std::filesystem::create_directory(dir.path() / "dir.bmp");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage("gone.bmp"));
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("one", {{0, 1}}, 2, 1) + mapBlock("two", {{0, 1}}, 2, 1));
  EXPECT_TRUE(dir.exists("three.bin"));
  EXPECT_EQ(dir.read("three.bin"), "");

  dir.write("tessarn.txt", "stage.bmp 8 0 8 8 c 0 1 2 3\ndir.bmp 0 0 8 8 d 0 1 2 3\n");
  result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage("dir.bmp"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock("c", {{1}}, 1, 1));
}

}  // namespace
}  // namespace tessarn::testing
