// Whole conversions through the real binary: bitmaps of every kind, the
// checks that skip a job, and the map words and patterns they give.

#include <random>

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
  BmpSpec spec;
  spec.width = static_cast<int>(blocks.size()) * 8;
  spec.height = 8;
  spec.pixels.resize(spec.width * 8);
  for (size_t b = 0; b < blocks.size(); ++b) {
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) spec.pixels[y * spec.width + b * 8 + x] = blocks[b][y * 8 + x];
    }
  }
  return spec;
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
  BmpSpec spec;
  spec.width = 16;
  spec.height = 16;
  spec.pixels.assign(256, 7);
  ScratchDir dir;
  dir.write("s.bmp", writeBmp(spec));
  dir.write("tessarn.txt", "s.bmp 0 0 9 12 odd 5 7 9 7");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("odd", {{1, 1}, {1, 1}}, 2, 2) +
                                        patternTable({kBlank, TestPattern(8, 0x00FF)}));
}

TEST(ConversionE2E, PixelsOutsideTheImageAreColourZero) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  // Index 0 is colour 1 here; outside the image the colour is 0 regardless.
  dir.write("tessarn.txt", "stage.bmp -4 -4 8 8 edge 9 0 1 2 stage.bmp 12 4 8 8 corner 9 0 1 2");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  const TestPattern edge = {0, 0, 0, 0, 0x000F, 0x000F, 0x000F, 0x000F};
  EXPECT_EQ(dir.read("output.txt"), mapBlock("edge", {{1}}, 1, 1) + mapBlock("corner", {{0xC001}}, 1, 1) +
                                        patternTable({kBlank, edge}));
}

TEST(ConversionE2E, RejectedBitmapsAreSkippedAndTheRunGoesOn) {
  std::string truncated = stageBmp();
  truncated.resize(truncated.size() - 1);
  std::string core_too_short = writeBmp({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64), .coreHeader = true}).substr(0, 25);
  std::string wide = writeRawBmp(0, 8, 8, 0, std::string(64, '\0'));
  std::string flat = writeRawBmp(8, 0, 8, 0, "");
  std::string deep = writeRawBmp(8, 8, 24, 0, std::string(192, '\0'));
  std::string rle4 = writeRawBmp(8, 8, 8, 2, "");
  std::string rle_1bit = writeRawBmp(8, 8, 1, 1, "");
  std::string bitfields = writeRawBmp(8, 8, 8, 3, std::string(64, '\0'));
  std::string huge_rle = writeRawBmp(1 << 15, (1 << 13) + 1, 8, 1, std::string("\0\1", 2));

  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  const std::pair<std::string, std::string> files[] = {
      {"text.bmp", "just some text, not an image"}, {"tiny.bmp", "BM"},
      {"truncated.bmp", truncated},                 {"core.bmp", core_too_short},
      {"wide.bmp", wide},                           {"flat.bmp", flat},
      {"deep.bmp", deep},                           {"rle4.bmp", rle4},
      {"rle1.bmp", rle_1bit},                       {"fields.bmp", bitfields},
      {"huge.bmp", huge_rle}};
  std::string list;
  for (const auto& [name, bytes] : files) {
    dir.write(name, bytes);
    list += name + " 0 0 8 8 x 0 1 2 3\n";
  }
  list += "stage.bmp 0 0 16 8 ok 0 1 2 3\n";
  dir.write("tessarn.txt", list);
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console,
            notBmpMessage("text.bmp") + notBmpMessage("tiny.bmp") + notBmpMessage("truncated.bmp") +
                notBmpMessage("core.bmp") + notBmpMessage("wide.bmp") + notBmpMessage("flat.bmp") +
                kNotEightBit + compressionMessage("rle4.bmp") + compressionMessage("rle1.bmp") +
                compressionMessage("fields.bmp") + compressionMessage("huge.bmp"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock("ok", {{0, 1}}, 2, 1) + patternTable({kBlank, kStageTile}));
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

// Every way of storing the same pixels converts to the same bytes.
TEST(ConversionE2E, StorageVariantsConvertAlike) {
  std::mt19937 random(7);
  BmpSpec plain;
  plain.width = 27;
  plain.height = 19;
  for (int i = 0; i < plain.width * plain.height; ++i) {
    plain.pixels.push_back(static_cast<uint8_t>(random() % 2));
  }
  BmpSpec top_down = plain, one_bit = plain, core = plain, rle = plain, rle_top_down = plain;
  top_down.topDown = true;
  one_bit.bitCount = 1;
  core.coreHeader = true;
  rle.runLength = true;
  rle_top_down.runLength = true;
  rle_top_down.topDown = true;
  const std::string list = "v.bmp 0 0 27 19 v.bin 0 1 2 3  v.bmp 3 5 40 9 w 1 0 2 3";

  ScratchDir reference;
  reference.write("v.bmp", writeBmp(plain));
  reference.write("tessarn.txt", list);
  ASSERT_EQ(reference.run().status, 0);
  for (const BmpSpec& variant : {top_down, one_bit, core, rle, rle_top_down}) {
    ScratchDir dir;
    dir.write("v.bmp", writeBmp(variant));
    dir.write("tessarn.txt", list);
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, "");
    EXPECT_EQ(dir.read("output.txt"), reference.read("output.txt"));
    EXPECT_EQ(dir.read("v.bin"), reference.read("v.bin"));
  }
}

}  // namespace
}  // namespace tessarn::testing
