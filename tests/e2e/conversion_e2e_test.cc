// Whole conversions through the real binary: bitmaps of every kind, the
// checks that skip a job, and the map words and patterns they give.

#include <functional>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "e2e/scenes.h"
#include "support/png_writer.h"

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
  const std::string png = writePng({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64), .bitDepth = 2});
  auto png_with = [&](const std::string& ihdr, const std::string& idat) {
    return png.substr(0, 8) + pngChunk("IHDR", ihdr) + pngChunk("PLTE", std::string(12, '\0')) +
           idat + pngChunk("IEND", "");
  };
  auto ihdr = [](uint32_t width, uint32_t height, char depth) {
    std::string out;
    for (uint32_t v : {width, height}) {
      for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
    }
    return out + depth + std::string("\3\0\0\0", 4);
  };
  const std::string one_row = pngChunk("IDAT", std::string("\x78\x01\x01\x03\x00\xFC\xFF\0\0\0\0\x03\0\1", 14));
  const std::string bad_crc = [&] {
    std::string b = png;
    b[29] = static_cast<char>(b[29] ^ 1);  // IHDR's CRC
    return b;
  }();
  auto grey = [](int colour_type, int depth) {
    return writePng({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64, 1),
                     .colourType = colour_type, .bitDepth = depth});
  };
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
      {writeRawBmp(0, 8, 24, 0, ""), [](const std::string&) { return kNotIndexed; }},
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
      {writeRawBmp(8, 8, 4, 1, ""), compressionMessage},  // run-length 8 on 4 bits
      {writeRawBmp(8, 8, 8, 2, ""), compressionMessage},  // run-length 4 on 8 bits
      {png, nullptr},
      {bad_crc, unreadablePngMessage},
      {png.substr(0, png.size() / 2), unreadablePngMessage},
      {png.substr(0, png.size() - 12), unreadablePngMessage},  // no end chunk
      {png_with(ihdr(8, 8, 2), pngChunk("IDAT", "not zlib at all")), unreadablePngMessage},
      {png_with(ihdr(8, 8, 3), one_row), unreadablePngMessage},  // no such depth
      {png_with(ihdr(8, 8, 2), ""), unreadablePngMessage},       // no image data
      {png_with(ihdr(8, 8, 2), one_row), unreadablePngMessage},  // one row of eight
      {grey(0, 16), [](const std::string&) { return kNotIndexed; }},
      {grey(2, 8), [](const std::string&) { return kNotIndexed; }},
      {grey(6, 8), [](const std::string&) { return kNotIndexed; }},
      {png_with(ihdr(16385, 16384, 8), ""), compressionMessage},  // 2^28 + 2^14 pixels
      {png.substr(0, 7), notBmpMessage},  // not even the whole signature
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

// Random palette indices below 2^bits, row by row from the top, repeating
// every 64 columns and 40 rows (so that a big image needs few patterns).
std::vector<uint8_t> randomIndices(int width, int height, int bits, unsigned seed) {
  std::vector<uint8_t> block;
  for (int i = 0; i < 64 * 40; ++i) {
    seed = seed * 1103515245u + 12345u;
    block.push_back(static_cast<uint8_t>((seed >> 16) % (1u << bits)));
  }
  std::vector<uint8_t> out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out.push_back(block[y % 40 * 64 + x % 64]);
  }
  return out;
}

// Converts a `width` x `height` `image` with a fixed job list; the exit
// status, console, output.txt and binary output, concatenated.
std::string convertWithFixedJobs(const std::string& image, int width, int height) {
  ScratchDir dir;
  dir.write("img", image);
  dir.write("tessarn.txt",
            "img 0 0 " + std::to_string(width) + " " + std::to_string(height) + " a.bin 0 1 2 3\n" +
            "img -3 5 16 16 b 3 2 1 0\n"
            "img 8 0 13 13 c 13 1 200 3\n");
  const RunResult result = dir.run();
  return std::to_string(result.status) + result.console + dir.read("output.txt") + dir.read("a.bin");
}

// The same indices give the same bytes however the image stores them.
TEST(ConversionE2E, EveryStorageConvertsLikeAnEightBitBmp) {
  using Encode = std::function<std::string(int, int, const std::vector<uint8_t>&)>;
  auto png = [](int colour_type, int depth, bool interlaced = false) -> Encode {
    return [=](int w, int h, const std::vector<uint8_t>& p) {
      return writePng({w, h, p, colour_type, depth, interlaced});
    };
  };
  auto bmp4 = [](bool top_down, bool core, bool run_length) -> Encode {
    return [=](int w, int h, const std::vector<uint8_t>& p) {
      return writeBmp({w, h, p, 4, core, top_down, run_length});
    };
  };
  struct Storage {
    const char* what;
    int bits;
    Encode encode;
    int width = 21;
    int height = 13;
  };
  const Storage storages[] = {
      {"png palette 1", 1, png(3, 1)},
      {"png palette 2", 2, png(3, 2)},
      {"png palette 4", 4, png(3, 4)},
      {"png palette 8", 8, png(3, 8)},
      {"png grey 1", 1, png(0, 1)},
      {"png grey 2", 2, png(0, 2)},
      {"png grey 4", 4, png(0, 4)},
      {"png grey 8", 8, png(0, 8)},
      {"png palette 2 interlaced", 2, png(3, 2, true)},
      {"png grey 8 interlaced", 8, png(0, 8, true)},
      // Decoded through a ring of rows that wraps round twice.
      {"png palette 2, 4 MiB", 2, png(3, 2), 8192, 520},
      {"bmp 4", 4, bmp4(false, false, false)},
      {"bmp 4 top-down", 4, bmp4(true, false, false)},
      {"bmp 4 core header", 4, bmp4(false, true, false)},
      {"bmp 4 run-length", 4, bmp4(false, false, true)},
      {"bmp 4 run-length top-down", 4, bmp4(true, false, true)},
  };
  for (const Storage& storage : storages) {
    SCOPED_TRACE(storage.what);
    const int w = storage.width, h = storage.height;
    const std::vector<uint8_t> pixels = randomIndices(w, h, storage.bits, storage.bits);
    EXPECT_EQ(convertWithFixedJobs(storage.encode(w, h, pixels), w, h),
              convertWithFixedJobs(writeBmp({.width = w, .height = h, .pixels = pixels}), w, h));
  }
}

// Run-length data, 8 and 4 bits a pixel, for a 6 x 4 image converts like the
// 8-bit BMP of the indices it stands for, given as stored rows (the first is
// the bottom row) of digits.
TEST(ConversionE2E, RunLengthEscapes) {
  struct Case {
    const char* what;
    int bits;
    std::vector<uint8_t> data;
    const char* stored;
  };
  const Case cases[] = {
      {"run, literal with pad, end of line, delta, run past the row's end, end of bitmap", 8,
       {2, 3, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 9, 2, 0, 0, 1, 1, 0, 1, 3, 3},
       "331230 000000 002222 100000"},
      {"the same in nibbles: runs take turns, literals pad to even bytes", 4,
       {3, 0x12, 0, 3, 0x31, 0x20, 0, 0, 0, 2, 2, 1, 9, 0x23, 0, 0, 0, 5, 0x12, 0x31, 0x20, 0, 1, 0x30, 0, 1, 3, 0x33},
       "121312 000000 002323 123123"},
      {"odd byte at the end", 8, {4, 1, 0}, "111100 000000 000000 000000"},
      {"odd byte at the end", 4, {4, 0x12, 0}, "121200 000000 000000 000000"},
      {"delta cut short", 8, {0, 2, 1}, "000000 000000 000000 000000"},
      {"delta cut short", 4, {1, 0x30, 0, 2, 1}, "300000 000000 000000 000000"},
      {"literal cut short", 8, {0, 5, 1, 2}, "120000 000000 000000 000000"},
      {"literal cut short", 4, {0, 5, 0x12}, "120000 000000 000000 000000"},
      {"delta past the last row", 8, {0, 2, 0, 200, 3, 3}, "000000 000000 000000 000000"},
      {"lines past the last row", 4, {0, 0, 0, 0, 0, 0, 0, 0, 9, 0x33}, "000000 000000 000000 000000"},
      {"long runs stay in their row", 8, {255, 3, 255, 3}, "333333 000000 000000 000000"},
      {"long runs stay in their row", 4, {255, 0x32, 255, 0x32}, "323232 000000 000000 000000"},
      {"no end marker after a run", 8, {6, 2, 0, 0, 2, 3}, "222222 330000 000000 000000"},
      {"no end marker after an unpadded odd literal", 8, {0, 0, 0, 3, 1, 2, 3}, "000000 123000 000000 000000"},
      {"no end marker after an unpadded odd literal", 4, {0, 5, 0x12, 0x31, 0x20}, "123120 000000 000000 000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.what << ", " << c.bits << " bits");
    std::vector<uint8_t> pixels(24);
    for (int i = 0; i < 24; ++i) {
      const int row = 3 - i / 6;  // the top row is stored last
      pixels[i] = static_cast<uint8_t>(c.stored[row * 7 + i % 6] - '0');
    }
    const std::string data(c.data.begin(), c.data.end());
    EXPECT_EQ(convertWithFixedJobs(writeRawBmp(6, 4, c.bits, c.bits == 8 ? 1 : 2, data), 6, 4),
              convertWithFixedJobs(writeBmp({.width = 6, .height = 4, .pixels = pixels}), 6, 4));
  }
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
