// Writes the run fuzzer's seed corpus: make_fuzz_seeds <fuzz/corpus dir>.
// The seeds are small and committed; rerun this after changing it. Every
// build replays them against the fuzzer's model (fuzz_corpus.run). Each is a
// fault byte, a read-size byte, then the job list and up to three images,
// separated by "\n%%\n" (see fuzz/run_fuzzer.cc):
//   list_*   a job list with one token oddity each, read in pieces of 0 (all
//            at once), 1 and 7 bytes
//   the rest one job over an image of one kind each (accepted or not), and
//            whole runs with faults

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/bmp_writer.h"
#include "support/png_writer.h"

namespace {

using tessarn::testing::BmpSpec;
using tessarn::testing::PngSpec;
using tessarn::testing::pngChunk;
using tessarn::testing::writePng;
using tessarn::testing::put32;
using tessarn::testing::writeBmp;
using tessarn::testing::writeRawBmp;

std::filesystem::path root;

void save(const std::string& dir, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(root / dir);
  std::ofstream out(root / dir / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

BmpSpec picture(int width, int height, int colours, unsigned seed) {
  std::mt19937 random(seed);
  BmpSpec bmp;
  bmp.width = width;
  bmp.height = height;
  for (int i = 0; i < width * height; ++i) {
    // Mostly index 0, so that some tiles repeat and some are blank.
    bmp.pixels.push_back(random() % 3 == 0 ? static_cast<uint8_t>(random() % colours) : 0);
  }
  return bmp;
}

// A seed's start for one job over a.bmp (whose bytes follow): no faults, and
// a job list of that job. Flag bit k + 2 pushes colour k out of 0..255.
std::string fields(uint8_t flags, int32_t x, int32_t y, int width, int height, const uint8_t (&colours)[4]) {
  std::string seed(2, '\0');
  seed += "a.bmp";
  for (int64_t field : {int64_t{x}, int64_t{y}, int64_t{width}, int64_t{height}}) seed += ' ' + std::to_string(field);
  seed += " a.bin";
  for (int k = 0; k < 4; ++k) {
    const int64_t c = colours[k];
    seed += ' ' + std::to_string((flags & (4 << k)) ? (c % 2 == 0 ? c + 256 : int64_t{INT32_MIN} + c) : c);
  }
  return seed + "\n%%\n";
}

std::string withField32(std::string bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
  return bytes;
}

constexpr char kNulAndHighBytes[] = "a\0b.bmp 1 2 3 4 \xff\xfe 5 6 7 8";

void jobListSeeds() {
  const std::pair<const char*, std::string> lists[] = {
      {"empty", ""},
      {"whitespace", " \t\r\n\v\f \r\r\n"},
      {"example", "scene.bmp 0 0 64 16 sky 1 0 2 3\r\nscene.bmp 0 16 64 16 ground.bin 1 0 2 3\r\n"},
      {"ctrl_z_in_token", "a.bmp 1 2 3 4 out 5 6 7 8\x1A" "9 b.bmp 1"},
      {"ctrl_z_first", "\x1A a.bmp 1 2 3 4 out 5 6 7 8"},
      {"signs", "a +1 -2 +0 -0 n -2147483648 2147483647 -7 +7"},
      {"saturation", "a 2147483648 -2147483649 99999999999999999999 -00000000000000000001 n 0 0 0 0"},
      {"number_then_name", "a 12b 3"},
      {"sign_before_name", "a 1 -x 5"},
      {"double_sign", "a --5 +-6"},
      {"sign_at_end", "a 1 2 3 4 n 5 -"},
      {"hex_and_octal", "a 0x10 010"},
      {"partial_last_job", "a.bmp 1 2 3 4 out.bin 5 6 7 8\nb.bmp 9"},
      {"name_where_number_due", "a.bmp 1 2 3 4 out 5 6 z 8 9"},
      {"shift_jis", "\x83\x5E\x83\x43\x83\x8B.bmp 0 0 8 8 \x83\x5E\x83\x43\x83\x8B 0 1 2 3"},
      {"nul_and_high_bytes", std::string(kNulAndHighBytes, sizeof kNulAndHighBytes - 1)},
      {"long_name", "a.bmp 0 0 8 8 " + std::string(600, 'n') + " 0 1 2 3"},
  };
  const uint8_t read_sizes[] = {0, 1, 7};
  for (const auto& [name, list] : lists) {
    for (uint8_t read_size : read_sizes) {
      save("run", "list_" + std::string(name) + "_" + std::to_string(read_size),
           std::string(1, '\0') + std::string(1, static_cast<char>(read_size)) + list);
    }
  }
  // Long enough to cross the reader's 4096-byte buffer in one read.
  std::string many;
  for (int i = 0; many.size() < 5000; ++i) {
    many += "bitmap" + std::to_string(i) + ".bmp -" + std::to_string(i) + " +2 3 4 n 5 6 7 8\n";
  }
  save("run", "list_across_the_buffer", std::string(2, '\0') + many);
}

void bitmapSeeds() {
  const uint8_t plain[4] = {0, 1, 2, 3};
  const uint8_t shuffled[4] = {3, 1, 1, 0};
  const std::string whole = fields(0, 0, 0, 16, 16, plain);
  const std::string odd = fields(0, -3, 2, 13, 9, shuffled);
  const std::string far_right = fields(1, INT32_MAX - 4, 0, 16, 8, plain);
  const std::string far_up = fields(2, 0, INT32_MIN, 8, -8, plain);
  const std::string out_of_range = fields(4 | 32, 0, 0, 16, 16, plain);

  BmpSpec base = picture(13, 11, 4, 1);
  BmpSpec top_down = base;
  top_down.topDown = true;
  BmpSpec one_bit = picture(13, 11, 2, 2);
  one_bit.bitCount = 1;
  BmpSpec one_bit_top_down = one_bit;
  one_bit_top_down.topDown = true;
  BmpSpec core = base;
  core.coreHeader = true;
  BmpSpec core_one_bit = one_bit;
  core_one_bit.coreHeader = true;
  BmpSpec rle = picture(20, 9, 4, 3);
  rle.runLength = true;
  BmpSpec rle_top_down = rle;
  rle_top_down.topDown = true;
  BmpSpec four_bit = picture(13, 11, 16, 8);
  four_bit.bitCount = 4;
  BmpSpec four_bit_top_down = four_bit;
  four_bit_top_down.topDown = true;
  BmpSpec rle4 = four_bit;
  rle4.runLength = true;
  // Mirror images of one block, so that every orientation is found.
  BmpSpec mirrored = picture(8, 8, 4, 4);
  mirrored.width = 16;
  mirrored.height = 16;
  std::vector<uint8_t> block = mirrored.pixels;
  mirrored.pixels.assign(256, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t v = block[y * 8 + x];
      mirrored.pixels[y * 16 + x] = v;
      mirrored.pixels[y * 16 + 15 - x] = v;
      mirrored.pixels[(15 - y) * 16 + x] = v;
      mirrored.pixels[(15 - y) * 16 + 15 - x] = v;
    }
  }

  const std::pair<const char*, std::string> images[] = {
      {"8bit", writeBmp(base)},
      {"8bit_top_down", writeBmp(top_down)},
      {"1bit", writeBmp(one_bit)},
      {"1bit_top_down", writeBmp(one_bit_top_down)},
      {"core_8bit", writeBmp(core)},
      {"core_1bit", writeBmp(core_one_bit)},
      {"rle", writeBmp(rle)},
      {"rle_top_down", writeBmp(rle_top_down)},
      {"mirrored", writeBmp(mirrored)},
      {"header_124", withField32(writeBmp(base), 14, 124)},
      {"4bit", writeBmp(four_bit)},
      {"4bit_top_down", writeBmp(four_bit_top_down)},
      {"rle4", writeBmp(rle4)},
      {"1_wide", writeBmp(picture(1, 11, 4, 9))},
  };
  for (const auto& [name, bytes] : images) {
    save("run", std::string(name) + "_whole", whole + bytes);
    save("run", std::string(name) + "_odd", odd + bytes);
  }
  save("run", "8bit_far_right", far_right + writeBmp(base));
  save("run", "8bit_far_up", far_up + writeBmp(base));
  save("run", "8bit_colours_out_of_range", out_of_range + writeBmp(base));

  // Run-length data with every escape: runs, a literal with and without its
  // pad byte, end of line, a delta, a run past the row's end, end of bitmap
  // and bytes after it.
  const std::string escapes(
      "\x02\x01" "\x00\x03\x01\x02\x03\x00" "\x00\x04\x03\x02\x01\x00" "\x00\x00"
      "\x00\x02\x02\x01" "\x09\x02" "\x00\x00" "\x01\x03" "\x00\x01" "\x03\x01",
      30);
  const std::pair<const char*, std::string> runs[] = {
      {"rle_every_escape", escapes},
      {"rle_odd_trailing_byte", std::string("\x04\x01\x00", 3)},
      {"rle_delta_cut_short", std::string("\x00\x02\x01", 3)},
      {"rle_literal_cut_short", std::string("\x00\x05\x01\x02", 4)},
      {"rle_delta_past_the_end", std::string("\x00\x02\x00\xC8\x03\x03", 6)},
      {"rle_no_end", std::string("\xFF\x02\xFF\x03", 4)},
      {"rle_lines_past_the_end", std::string("\0\0\0\0\0\0\0\0\x09\x33", 10)},
      {"rle_run_then_no_end", std::string("\x06\x02\0\0\x02\x03", 6)},
      {"rle_odd_literal_then_no_end", std::string("\0\0\0\x03\x01\x02\x03", 7)},
      // In nibbles: runs take turns, a literal of 5 takes 3 bytes and a pad.
      {"rle_every_escape_nibbles", std::string("\x03\x12\0\x03\x31\x20\0\0\0\x02\x02\x01\x09\x23\0\0"
                                               "\0\x05\x12\x31\x20\0\x01\x30\0\x01\x03\x33", 28)},
      {"rle_odd_nibbles_then_no_end", std::string("\0\x05\x12\x31\x20", 5)},
  };
  for (const auto& [name, data] : runs) {
    save("run", name, whole + writeRawBmp(6, 4, 8, 1, data));
    save("run", std::string(name) + "_top_down", odd + writeRawBmp(6, -4, 8, 1, data));
    save("run", std::string(name) + "_4bit", odd + writeRawBmp(6, 4, 4, 2, data));
  }

  // PNGs of every colour type and depth read, interlaced and not, and some
  // that must be refused.
  for (int colour_type : {0, 3}) {
    for (int depth : {1, 2, 4, 8}) {
      for (bool interlaced : {false, true}) {
        BmpSpec p = picture(13, 11, 1 << depth, static_cast<unsigned>(depth));
        const std::string name = "png_" + std::to_string(colour_type) + "_" + std::to_string(depth) +
                                 (interlaced ? "_interlaced" : "");
        save("run", name, odd + writePng({13, 11, p.pixels, colour_type, depth, interlaced}));
      }
    }
  }
  const std::string png = writePng({8, 8, std::vector<uint8_t>(64, 1), 3, 2});
  std::string bad_crc = png;
  bad_crc[29] = static_cast<char>(bad_crc[29] ^ 1);  // IHDR's CRC
  auto png_with = [&](const std::string& ihdr, const std::string& idat) {
    return png.substr(0, 8) + pngChunk("IHDR", ihdr) + pngChunk("PLTE", std::string(12, '\0')) + idat +
           pngChunk("IEND", "");
  };
  const std::string ihdr = png.substr(16, 13);
  std::string bad_depth = ihdr, huge = ihdr;
  bad_depth[8] = 3;
  huge.replace(0, 8, std::string("\0\0\x40\x01\0\0\x40\0", 8));  // 16385 x 16384
  // A zlib stream holding only the first of the eight rows.
  const std::string one_row = pngChunk("IDAT", std::string("\x78\x01\x01\x03\x00\xFC\xFF\0\0\0\0\x03\0\1", 14));
  // The image data of seven rows of eight: only the last row's decoding fails.
  const std::string seven_rows = writePng({8, 7, std::vector<uint8_t>(56, 1), 3, 2});
  const size_t idat = seven_rows.find("IDAT") - 4, iend = seven_rows.find("IEND") - 4;
  const std::pair<const char*, std::string> pngs[] = {
      {"png_last_row_missing", png_with(ihdr, seven_rows.substr(idat, iend - idat))},
      {"png_bad_crc", bad_crc},
      {"png_no_end_chunk", png.substr(0, png.size() - 12)},
      {"png_broken_zlib", png_with(ihdr, pngChunk("IDAT", "not zlib at all"))},
      {"png_bad_depth", png_with(bad_depth, one_row)},
      {"png_too_little_data", png_with(ihdr, one_row)},
      {"png_over_2p28_pixels", png_with(huge, "")},
      {"png_grey_alpha", writePng({4, 4, std::vector<uint8_t>(16, 9), 6, 8})},
      {"png_truecolour", writePng({4, 4, std::vector<uint8_t>(16, 9), 2, 8})},
      {"png_16bit", writePng({4, 4, std::vector<uint8_t>(16, 9), 0, 16})},
      {"png_cut_short", png.substr(0, png.size() / 2)},
      {"png_no_image_data", png.substr(0, 8) + pngChunk("IHDR", png.substr(16, 13)) +
                                pngChunk("PLTE", std::string(12, '\0')) + pngChunk("IEND", "")},
  };
  for (const auto& [name, bytes] : pngs) save("run", name, whole + bytes);

  std::string truncated = writeBmp(base);
  truncated.pop_back();
  const std::pair<const char*, std::string> rejected[] = {
      {"not_a_bmp", "just some text, not an image"},
      {"only_bm", "BM"},
      {"truncated_pixels", truncated},
      {"core_header_cut", writeBmp(core).substr(0, 25)},
      {"info_header_cut", writeBmp(base).substr(0, 33)},
      {"info_header_cut_at_30", writeRawBmp(8, 8, 24, 0, std::string(192, '\0')).substr(0, 30)},
      {"info_header_cut_at_34", writeRawBmp(8, 8, 24, 0, std::string(192, '\0')).substr(0, 34)},
      {"header_size_13", withField32(writeBmp(base), 14, 13)},
      {"24bit", writeRawBmp(2, 2, 24, 0, std::string(16, '\0'))},
      {"rle4_no_data", writeRawBmp(8, 8, 4, 2, "")},
      {"rle8_on_4bit", writeRawBmp(8, 8, 4, 1, "")},
      {"rle4_on_8bit", writeRawBmp(8, 8, 8, 2, "")},
      {"rle_on_1bit", writeRawBmp(8, 8, 1, 1, "")},
      {"bitfields", writeRawBmp(8, 8, 8, 3, std::string(64, '\0'))},
      {"width_0", writeRawBmp(0, 8, 8, 0, "")},
      {"width_negative", writeRawBmp(-8, 8, 8, 0, std::string(64, '\0'))},
      {"height_0", writeRawBmp(8, 0, 8, 0, "")},
      {"height_min", writeRawBmp(8, INT32_MIN, 8, 0, "")},
      {"huge_declared", writeRawBmp(100000, 100000, 8, 0, std::string(16, '\0'))},
      {"rle_2p28_plus_1", writeRawBmp((1 << 28) + 1, -1, 8, 1, std::string("\0\1", 2))},
      {"rle_offset_past_end", withField32(writeRawBmp(8, 8, 8, 1, ""), 10, 5000)},
      {"pixel_offset_past_end", withField32(writeBmp(base), 10, 0xFFFFFFFF)},
  };
  for (const auto& [name, bytes] : rejected) save("run", name, whole + bytes);
}

void runSeeds() {
  const std::string separator = "\n%%\n";
  BmpSpec a = picture(24, 16, 4, 5);
  BmpSpec b = picture(16, 16, 4, 6);
  b.runLength = true;
  BmpSpec c = picture(12, 12, 2, 7);
  c.bitCount = 1;
  const std::string files =
      separator + writeBmp(a) + separator + writeBmp(b) + separator + writeBmp(c);
  const std::string list =
      "a.bmp 0 0 24 16 one 0 1 2 3\r\n"
      "b.bmp -4 4 20 12 a.bin 3 2 1 0\r\n"
      "c.bmp 0 0 16 16 three 1 0 2 3\r\n"
      "a.bmp 8 8 8 8 a.bin 0 1 2 3\r\n";
  const std::pair<const char*, std::string> runs[] = {
      {"three_kinds", std::string{'\0', '\0'} + list + files},
      {"three_kinds_watched", std::string{'\x20', '\0'} + list + files},
      // Replayed, each allocation of these runs fails in turn.
      {"three_kinds_out_of_memory", std::string{'\xA0', '\0'} + list + files},
      {"missing_job_list", std::string{'\1', '\0'} + list + files},
      {"output_uncreatable", std::string{'\2', '\0'} + list + files},
      {"output_unwritable", std::string{'\4', '\0'} + list + files},
      {"binary_uncreatable", std::string{'\x08', '\0'} + list + files},
      {"binary_unwritable", std::string{'\x10', '\0'} + list + files},
      {"outputs_unclosable", std::string{'\x40', '\0'} + list + files},
      // A name longer than the output's 64 KiB buffer, written past it.
      {"name_over_64_kib", std::string{'\0', '\0'} + "a.bmp 0 0 8 8 " + std::string(70000, 'n') + " 0 1 2 3" + files},
      // No tiles, but 268 million rows of them: passed over by the budget.
      {"tall_and_empty", std::string{'\0', '\0'} + "a.bmp 0 0 -8 2147483647 x 0 1 2 3" + files},
      {"missing_bitmap", std::string{'\0', '\0'} + "a.bmp 0 0 8 8 x.bin 0 1 2 3 d.bmp 0 0 8 8 y 0 1 2 3" + files},
      {"rejected_then_good", std::string{'\0', '\0'} + "a.bmp 0 0 8 8 x 0 1 2 3 b.bmp" + separator + "BM" +
                                 separator + writeBmp(a)},
      {"partial_jobs", std::string{'\0', '\0'} + "a.bmp 0 0 24 16 a.bin 0 1 2 3 c.bmp 4 b.bmp -8 +z" + files},
      {"no_jobs", std::string{'\0', '\0'} + " \x1A a.bmp 0 0 8 8 x 0 1 2 3" + files},
      {"png_then_broken_png", std::string{'\xA0', '\0'} + "a.bmp 0 0 16 16 a.bin 0 1 2 3\r\nb.bmp 0 0 16 16 b 0 1 2 3" +
                                  separator + writePng({16, 16, a.pixels, 3, 2}) + separator +
                                  writePng({16, 16, b.pixels, 0, 4}).substr(0, 60)},
  };
  for (const auto& [name, bytes] : runs) save("run", name, bytes);

  // Runs over small scenes: a.bmp is 16 x 8, index 0 but for index 1 at the
  // top-left of its right-hand tile; b.bmp holds an 8x8 block and its three
  // mirror images; c.bmp is 16 x 8 with index 255 down its first column and
  // index 1 at (9, 0).
  BmpSpec stage{.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128)};
  stage.pixels[8] = 1;
  const char* rows[8] = {"3.......", "33......", "..1.....", "...2....", "........", "........", "........", ".......1"};
  BmpSpec mirrors{.width = 32, .height = 8, .pixels = std::vector<uint8_t>(256)};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      auto index = [&](int r, int q) { return static_cast<uint8_t>(rows[r][q] == '.' ? 0 : rows[r][q] - '0'); };
      mirrors.pixels[y * 32 + x] = index(y, x);
      mirrors.pixels[y * 32 + 8 + x] = index(y, 7 - x);
      mirrors.pixels[y * 32 + 16 + x] = index(7 - y, x);
      mirrors.pixels[y * 32 + 24 + x] = index(7 - y, 7 - x);
    }
  }
  BmpSpec edge{.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128)};
  for (int y = 0; y < 8; ++y) edge.pixels[y * 16] = 255;
  edge.pixels[9] = 1;
  const std::string scenes = separator + writeBmp(stage) + separator + writeBmp(mirrors) + separator + writeBmp(edge);
  const std::pair<const char*, std::string> scene_lists[] = {
      {"ctrl_z_ends_the_list", "a.bmp 0 0 16 8 a 0 1 2 3\r\n\x1A" "a.bmp 0 0 16 8 b 0 1 2 3"},
      // The second job gives its bitmap and x; the carried ".bin" name is
      // created again.
      {"partial_last_job", "a.bmp 0 0 16 8 s.bin 0 1 2 3\na.bmp 8"},
      // Job 2 stops at "+z8" (the sign stays read); job 3 starts at "z8".
      {"token_that_is_no_number", "a.bmp 0 0 16 8 a 0 1 2 3\na.bmp 8 0 +b.bmp a.bmp 0 0 8 8 c 3 1 2 0\n"},
      // Binary outputs replace one another; a name that comes back is written
      // whole once; ".bin" may stand anywhere in a name.
      {"binary_outputs", "a.bmp 0 0 16 8 one.bin 0 1 2 3\na.bmp 8 0 8 8 plain 0 1 2 3\n"
                         "a.bmp 0 0 8 8 two.bin.x 0 1 2 3\na.bmp 8 0 16 8 one.bin 0 1 2 3\n"},
      {"missing_bitmap_ends_the_run", "a.bmp 0 0 16 8 one 0 1 2 3\ngone.bmp 0 0 8 8 a.bin 0 1 2 3\na.bmp 0 0 8 8 x 0 1 2 3"},
      // A name of any length reaches its message whole.
      {"missing_bitmap_with_a_long_name", "a.bmp 0 0 16 8 one 0 1 2 3\n" + std::string(600, 'n') + ".bmp 0 0 8 8 two 0 1 2 3"},
      // Mirror images across jobs; 9 x 12 rounds up; index 3 listed twice is
      // colour 1; tiles at width - 8 and width - 7; palette index 255.
      {"mirrors_sizes_colours_edges",
       "b.bmp 0 0 16 8 left 0 1 2 3  b.bmp 16 0 16 8 right 0 1 2 3  b.bmp 0 0 9 12 odd 5 3 9 3\n"
       "c.bmp 0 0 16 8 a 0 1 255 3  c.bmp 8 0 8 8 b 0 1 255 3  c.bmp 9 0 8 8 c 0 1 255 3\n"},
      // The ends of the 32-bit range: x + width past 2^31, saturated tokens,
      // tile counts past 32 bits, colours no index has.
      {"rectangles_at_the_32_bit_ends",
       "a.bmp 2147483640 0 16 8 right.bin 0 1 2 3\na.bmp -2147483648 -2147483648 8 8 low 0 1 2 3\n"
       "a.bmp 2147483647 2147483647 1 1 edge 0 1 2 3\na.bmp 99999999999 -99999999999 9 9 sat 0 1 2 3\n"
       "a.bmp 0 0 2147483647 0 wide 0 1 2 3\na.bmp 0 0 -2147483648 -2147483648 negative 0 1 2 3\n"
       "a.bmp 0 0 16 8 none -2147483648 2147483647 256 -1\na.bmp 0 0 16 8 last 0 1 2 3\n"},
  };
  for (const auto& [name, jobs] : scene_lists) save("run", name, std::string(2, '\0') + jobs + scenes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds <corpus directory>\n");
    return 2;
  }
  root = argv[1];
  jobListSeeds();
  bitmapSeeds();
  runSeeds();
  return 0;
}
