// tessarn's options, seen from outside the binary.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "support/png_writer.h"

namespace tessarn::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Command lines that do not run: help and the version instead of a run,
// and usage errors, each with its whole line. None of them reads or writes
// a file.
TEST(OptionsE2E, CommandLinesThatDoNotRun) {
  const char* const help_lists[] = {"--preview DIR",     "--first-pattern N",   "--pattern-limit L",
                                    "--attributes [NAME=]BITS", "--mirror KIND", "--keep-duplicates",
                                    "--patterns-from FILE", "--pattern-file FILE", "--c-source BASE",
                                    "--symbol-prefix P           Start"};
  const std::string taken = ": the bits 0x0200 are taken: pattern numbers below 1024 use 0x03FF, the mirror bits 0xC000";
  const std::string not_prefix = ": not a C identifier that starts with a letter, of at most 32 characters";
  const std::pair<std::string, std::string> usage_errors[] = {
      {"--outdir x", "unknown option --outdir; did you mean --output-dir?"},
      {"stray", "unexpected argument stray: tessarn takes only options (its jobs are in tessarn.txt)"},
      {"-- stray", "unexpected argument stray: tessarn takes only options (its jobs are in tessarn.txt)"},
      {"-o a -o b", "--output-dir given 2 times (a, b): give it once"},
      {"-C", "--directory needs a value: DIR"},
      {"--c-source=", "--c-source needs a value: BASE"},
      {"--report=1", "--report takes no value (given 1)"},
      {"--messages fr", "--messages fr: not one of sjis, utf-8, en"},
      {"--mirror sideways", "--mirror sideways: not one of both, lr, tb, none"},
      {"-C nowhere", "-C nowhere: cannot enter the directory"},
      {"-o blocker/out", "-o blocker/out: cannot create the directory"},
      {"--preview blocker/out", "--preview blocker/out: cannot create the directory"},
      {"--c-source blocker/lib", "--c-source blocker/: cannot create the directory"},
      {"--first-pattern 0x1g", "--first-pattern: 0x1g is not a number from 0 to 16383 (decimal or 0x hex)"},
      {"--pattern-limit 0x4001", "--pattern-limit: 0x4001 is not a number from 1 to 16384 (decimal or 0x hex)"},
      {"--first-pattern 1024 --pattern-limit 0x400", "--first-pattern 1024 is not below the pattern limit 1024"},
      {"--pattern-limit 1024 --attributes 0x0200", "--attributes 0x0200" + taken},
      {"--pattern-limit 1024 --attributes a=b=0x0200", "--attributes a=b=0x0200" + taken},
      {"--mirror lr --attributes 0x4000",
       "--attributes 0x4000: the bits 0x4000 are taken: pattern numbers below 16384 use 0x3FFF, the mirror bits 0x4000"},
      {"--attributes =0x8000", "--attributes =0x8000: no job name before '='"},
      {"-o out --patterns-from missing.pat", "--patterns-from missing.pat: cannot be read"},
      {"--patterns-from two.pat --patterns-from odd.pat",
       "--patterns-from odd.pat: holds 17 bytes, not a whole number of 16-byte patterns"},
      {"--first-pattern 16382 --patterns-from two.pat --patterns-from two.pat -o out",
       "--patterns-from: 4 patterns; numbered from 16382 below the limit 16384, 2 fit"},
      {"--symbol-prefix gfx_", "--symbol-prefix gfx_: needs --c-source, whose symbols it starts"},
      {"--c-source lib --symbol-prefix 9lives", "--symbol-prefix 9lives" + not_prefix},
      {"--c-source lib --symbol-prefix a-b", "--symbol-prefix a-b" + not_prefix},
      {"--c-source lib --symbol-prefix abcdefghijklmnopqrstuvwxyzabcdefg",
       "--symbol-prefix abcdefghijklmnopqrstuvwxyzabcdefg" + not_prefix},
      {"--c-source out/", "--c-source out/: not a file name a C file can #include"},
      {"--target n64", "--target n64: not one of classic, gb, gbc, nes, snes-2bpp, snes-4bpp, snes-8bpp, snes-mode7, "
                       "gba-affine, pce, md, sms, gg, gba-4bpp, gba-8bpp"},
      {"--target pce --mirror lr", "--mirror lr: the target pce cannot mirror (only none)"},
      {"--target gb --attributes 1", "--attributes 1: the target gb leaves no bit of its map entries for them"},
      {"--target gbc --attributes a=0x100", "--attributes a=0x100: the target gbc's attributes are bits of its "
                                            "attribute byte, 0 to 0xFF"},
      {"--target snes-4bpp --attributes 0x0400", "--attributes 0x0400: the bits 0x0400 are taken: pattern numbers below "
                                                 "1024 use 0x03FF, the mirror bits 0xC000, the palette field 0x1C00"},
      {"--palette 1", "--palette 1: the target classic has no palette field"},
      {"--target sms --palette a=2", "--palette: 2 is not a number from 0 to 1 (decimal or 0x hex)"},
      {"--target gb --pattern-limit 257", "--pattern-limit: 257 is not a number from 1 to 256 (decimal or 0x hex)"},
#ifndef _WIN32
      {"--c-source 'a\"b'", "--c-source a\"b: not a file name a C file can #include"},
#endif
  };
  const auto run = [](const std::string& arguments) {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a.bin 0 1 2 3\n");
    dir.write("output.txt", "kept");
    dir.write("blocker", "a file, not a directory");
    dir.write("odd.pat", std::string(17, '\0'));
    dir.write("two.pat", std::string(32, '\0'));
    const std::vector<std::string> before = filesIn(dir.path());
    const RunResult result = dir.run(arguments);
    EXPECT_EQ(filesIn(dir.path()), before) << arguments;
    EXPECT_EQ(dir.read("output.txt"), "kept") << arguments;
    return result;
  };
  for (const auto& [arguments, error] : usage_errors) {
    const RunResult result = run(arguments);
    EXPECT_EQ(result.status, 2) << arguments;
    EXPECT_EQ(result.console, "") << arguments;
    EXPECT_EQ(result.errors, "tessarn: " + error + "\nRun 'tessarn --help' for the options.\n");
  }
  const RunResult help = run("-h");
  EXPECT_EQ(help.status, 0);
  for (const char* option : help_lists) EXPECT_NE(help.console.find(option), std::string::npos) << option;
  const RunResult version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.console, "tessarn " TESSARN_VERSION "\n");
}

// The messages in each language, a broken PNG's among them (a bit of
// its header's checksum flipped).
TEST(OptionsE2E, MessagesInEachLanguage) {
  ScratchDir dir;
  dir.write("bad.bmp", "");
  dir.write("24.bmp", writeRawBmp(8, 8, 24, 0, std::string(192, '\0')));
  std::string png = writePng({8, 8, std::vector<uint8_t>(64, 1), 3, 2});
  png[29] = static_cast<char>(png[29] ^ 1);
  dir.write("broken.png", png);
  dir.write("tessarn.txt", "bad.bmp 0 0 8 8 a 0 1 2 3  24.bmp 0 0 8 8 b 0 1 2 3  broken.png 0 0 8 8 c 0 1 2 3  "
                           "gone.bmp 0 0 8 8 d 0 1 2 3");
  // --messages, else TESSARN_MESSAGES, else UTF-8 on a UTF-8 terminal,
  // else Shift_JIS: to a pipe too, on a terminal that is not UTF-8.
  struct Case {
    bool terminal;
    const char* environment;
    const char* arguments;
    MessageLanguage language;
  };
  const Case cases[] = {
      {false, "", "--messages sjis", MessageLanguage::kShiftJis},
      {false, "", "--messages utf-8", MessageLanguage::kUtf8},
      {false, "TESSARN_MESSAGES=en", "", MessageLanguage::kEnglish},
      {false, "TESSARN_MESSAGES=en LC_ALL=C.UTF-8", "--messages sjis", MessageLanguage::kShiftJis},
#ifndef _WIN32
      {true, "LC_ALL=C.UTF-8", "", MessageLanguage::kUtf8},
      {true, "LC_ALL=C", "", MessageLanguage::kShiftJis},
      {true, "LC_ALL=C.UTF-8 TESSARN_MESSAGES=en", "", MessageLanguage::kEnglish},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.environment) + " " + c.arguments + (c.terminal ? " on a terminal" : ""));
    if (c.terminal && windowsToolUnderWine()) continue;
    const RunResult result = c.terminal ? dir.runOnTerminal(c.arguments, c.environment)
                                        : dir.run(c.arguments, *c.environment ? withEnvironment(c.environment) : "");
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, expectedMessage(MessageId::kNotBmp, "bad.bmp", c.language) +
                                  expectedMessage(MessageId::kNotIndexed, "24.bmp", c.language) +
                                  expectedMessage(MessageId::kUnreadablePng, "broken.png", c.language) +
                                  expectedMessage(MessageId::kBitmapMissing, "gone.bmp", c.language));
  }
  EXPECT_EQ(dir.read("output.txt"), "");
  const RunResult unknown = dir.run("", withEnvironment("TESSARN_MESSAGES=fr"));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.errors, "tessarn: TESSARN_MESSAGES fr: not one of sjis, utf-8, en\nRun 'tessarn --help' for the options.\n");
}

// A PNG's palette: the PLTE chunk's bytes.
std::string paletteOf(const std::string& png) {
  const size_t at = png.find("PLTE");
  return at == std::string::npos ? "" : png.substr(at + 4, static_cast<uint8_t>(png[at - 1]));
}

TEST(OptionsE2E, PreviewShowsTheMapAndConvertsBack) {
  // 20 x 16, 4 bits, indices 0 to 5 in a pattern with mirror images in it,
  // left-right and top-bottom.
  BmpSpec bmp{.width = 20, .height = 16, .pixels = {}, .bitCount = 4,
              .palette = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0xFF0000}};
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 20; ++x) {
      bmp.pixels.push_back(static_cast<uint8_t>((x % 8 < 4 ? x % 8 : 7 - x % 8) + (y < 8 ? y : 15 - y) % 3));
    }
  }
  // Its pixels start 16 entries' room after its palette, and biClrUsed is
  // 0: a 4-bit image's palette ends at entry 16 whatever follows it.
  std::string pic = writeBmp(bmp);
  pic.insert(14 + 40 + 16 * 4, std::string(16 * 4, '\x11'));
  pic[10] = static_cast<char>(pic[10] + 16 * 4);
  pic[46] = 0;
  ScratchDir dir;
  dir.write("pic.bmp", pic);
  dir.write("bad.bmp", "BM");
  dir.write("grey.png", writePng({8, 8, std::vector<uint8_t>(64, 5), 0, 4}));
  // 24 x 48, tiles that differ in more than their mirror images.
  std::vector<uint8_t> busy;
  for (int i = 0; i < 24 * 48; ++i) busy.push_back(static_cast<uint8_t>(i * 2654435761u >> 30));
  dir.write("busy.png", writePng({24, 48, busy, 3, 2}));
  dir.write("core.bmp", writeBmp({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64, 1), .bitCount = 4,
                                  .coreHeader = true, .palette = {0x010203, 0x040506, 0x070809}}));
  // Info headers whose biClrUsed says 2 of their 16 entries are used, and
  // whose pixels start after 3 entries.
  std::string used = writeBmp({.width = 8, .height = 8, .pixels = std::vector<uint8_t>(64, 1), .bitCount = 4,
                               .palette = {0x010203, 0x040506, 0x070809}}), cut = used;
  used[46] = 2;
  dir.write("used.bmp", used);
  cut[46] = 0;
  cut[10] = 14 + 40 + 3 * 4;
  dir.write("cut.bmp", cut.erase(14 + 40 + 3 * 4, 13 * 4));
  // Colour 3 of the first job is index 20, which the 16-entry palette does
  // not have: it is drawn in the grey of colour 3. A 4-bit grey PNG's index
  // v is grey 17 v, an indexed PNG's entries come from its PLTE (entry i is
  // 7 i, 255 - i, 40 in busy.png; it has no entry 4). Jobs keep their
  // numbers after a skipped one; one with no tiles has no image; a name is
  // cut to 64 bytes.
  const std::string long_name(60, 'n');
  dir.write("tessarn.txt", "pic.bmp -2 0 20 16 first 5 1 2 20\nbad.bmp 0 0 8 8 skipped 0 1 2 3\n"
                           "grey.png 3 4 9 9 odd*nameZz9 15 5 0 1\nbusy.png 0 0 24 48 " + long_name + "*.:xTAIL 3 2 1 4\n"
                           "core.bmp 0 0 8 8 core 2 1 0 3\nused.bmp 0 0 8 8 used 1 0 2 3\ncut.bmp 0 0 8 8 cut 2 1 0 3\n"
                           "pic.bmp 0 0 0 8 none 0 1 2 3\n");
  const RunResult result = dir.run("--preview \"pre view\"");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.errors, "");
  const std::map<std::string, std::string> palettes = {
      {"001-first.png", "\xFF\0\0\x40\x50\x60\x70\x80\x90\xFF\xFF\xFF"s},
      {"003-odd_nameZz9.png", "\xFF\xFF\xFF\x55\x55\x55\0\0\0\x11\x11\x11"s},
      {"004-" + long_name + "___x.png", "\x15\xFC\x28\x0E\xFD\x28\x07\xFE\x28\xFF\xFF\xFF"s},
      {"005-core.png", "\x07\x08\x09\x04\x05\x06\x01\x02\x03\x33\x33\x33"s},
      {"006-used.png", "\x04\x05\x06\x01\x02\x03\xAA\xAA\xAA\xFF\xFF\xFF"s},
      {"007-cut.png", "\x07\x08\x09\x04\x05\x06\x01\x02\x03\xFF\xFF\xFF"s},
      {"patterns.png", "\0\0\0\x55\x55\x55\xAA\xAA\xAA\xFF\xFF\xFF"s}};
  std::vector<std::string> expected_files;
  for (const auto& [name, palette] : palettes) {
    expected_files.push_back((dir.path() / "pre view" / name).string());
    EXPECT_EQ(paletteOf(dir.read("pre view/" + name)), palette) << name;
  }
  EXPECT_EQ(filesIn(dir.path() / "pre view"), expected_files);
  // patterns.png has a row of 16 for every 16 patterns or part of 16.
  const std::string run_table = dir.read("output.txt");
  const int patterns = std::stoi(run_table.substr(run_table.find("#define MAX_PCG ") + 16));
  EXPECT_GT(patterns, 16);
  const std::string height = dir.read("pre view/patterns.png").substr(20, 4);  // the header's, big-endian
  EXPECT_EQ(height, "\0\0"s + char((patterns + 15) / 16 * 8 >> 8) + char((patterns + 15) / 16 * 8));

  // The images convert back, entry k being colour k: patterns.png to the
  // same table; a job's image (the first job's, in a run of its own) to the
  // same map words and patterns, which shows every pixel is drawn right.
  ScratchDir again;
  again.write("patterns.png", dir.read("pre view/patterns.png"));
  again.write("tessarn.txt", "patterns.png 0 0 128 " + std::to_string((patterns + 15) / 16 * 8) + " p 0 1 2 3\n");
  ASSERT_EQ(again.run().status, 0);
  const std::string table = again.read("output.txt");
  EXPECT_EQ(table.substr(table.find("\r\n#define MAX_PCG")), run_table.substr(run_table.find("\r\n#define MAX_PCG")));
  dir.write("tessarn.txt", "pic.bmp -2 0 20 16 first 5 1 2 20\n");
  ASSERT_EQ(dir.run("--preview \"pre view\"").status, 0);
  again.write("first.png", dir.read("pre view/001-first.png"));
  again.write("tessarn.txt", "first.png 0 0 20 16 first 0 1 2 3\n");
  ASSERT_EQ(again.run().status, 0);
  EXPECT_EQ(again.read("output.txt"), dir.read("output.txt"));
}

TEST(OptionsE2E, DirectoriesAndDepfile) {
  ScratchDir dir;
  dir.write("in put/st#age$.bmp", stageBmp());
  dir.write("in put/tessarn.txt", "st#age$.bmp 0 0 16 8 sub/s.bin 0 1 2 3\nst#age$.bmp 0 0 8 8 t 0 1 2 3\n");
  dir.write("deps/.keep", "");
  dir.write("out/deep/sub/.keep", "");
  const std::string options = "-C \"in put\" -o out/deep/ --depfile deps/x.d";
  const RunResult result = dir.run(options);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("out/deep/output.txt"), mapBlock("sub/s.bin", {{0, 1}}, 2, 1) + mapBlock("t", {{0}}, 1, 1) + kStageTable);
  EXPECT_EQ(dir.read("out/deep/sub/s.bin"), words16({0, 1, 0}) + words16(kBlank) + words16(kStageTile));
  EXPECT_FALSE(dir.exists("in put/output.txt"));
  EXPECT_EQ(dir.read("deps/x.d"),
            "out/deep/output.txt out/deep/sub/s.bin: in\\ put/tessarn.txt in\\ put/st\\#age$$.bmp\n");
#ifndef _WIN32
  // GNU make reads each rule back: an output older than a bitmap is stale.
  const auto make_reads_back = [&](const std::string& depfile, const std::string& target, const std::string& bitmap) {
    dir.write("Makefile", "-include " + depfile + "\n" + target + ":\n\t@echo rebuilt\n");
    const std::string make = "cd \"" + dir.path().string() + "\" && make -q " + target;
    EXPECT_EQ(std::system(make.c_str()), 0) << depfile;
    fs::last_write_time(dir.path() / target, fs::last_write_time(dir.path() / bitmap) - std::chrono::seconds(5));
    EXPECT_NE(std::system(make.c_str()), 0) << depfile;
  };
  make_reads_back("deps/x.d", "out/deep/output.txt", "in put/st#age$.bmp");
  // Backslashes before a space or '#' are escaped too. (A Windows build
  // takes a backslash for a separator.)
  if (!windowsToolUnderWine()) {
    dir.write("b\\ s/x\\#.bmp", stageBmp());
    dir.write("b\\ s/tessarn.txt", "x\\#.bmp 0 0 8 8 t 0 1 2 3\n");
    ASSERT_EQ(dir.run("-C 'b\\ s' -o out --depfile x.d").status, 0);
    EXPECT_EQ(dir.read("x.d"), "out/output.txt: b\\\\\\ s/tessarn.txt b\\\\\\ s/x\\\\\\#.bmp\n");
    make_reads_back("x.d", "out/output.txt", "b\\ s/x\\#.bmp");
  }
#endif
#ifndef _WIN32
  // Folders with Japanese names in Shift_JIS, each in each place once (-o two
  // of them nested), and binary outputs so named. The second byte of 表, ソ
  // and 能 is 0x5C, a backslash, which separates nothing there. Under Wine the names are UTF-8 on disk and
  // on the command line, and the tool gets them in code page 932; what it
  // writes is Shift_JIS either way.
  const std::pair<std::string, std::string> names[] = {{"\x8F\x6F\x97\xCD", "\xE5\x87\xBA\xE5\x8A\x9B"},  // 出力
                                                       {"\x95\x5C", "\xE8\xA1\xA8"},                      // 表
                                                       {"\x83\x5C", "\xE3\x82\xBD"},                      // ソ
                                                       {"\x94\x5C", "\xE8\x83\xBD"}};                     // 能
  const auto sjis = [&](size_t i) { return names[i % 4].first; };
  const auto typed = [&](size_t i) { return nameOnDisk(names[i % 4].first, names[i % 4].second); };
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ScratchDir japanese;
    japanese.write(typed(i) + "/" + typed(1) + "/stage.bmp", stageBmp());
    japanese.write(typed(i) + "/tessarn.txt", sjis(1) + "/stage.bmp 0 0 16 8 " + sjis(2) + ".bin 0 1 2 3\n");
    japanese.write(typed(i + 3) + "/.keep", "");
    const std::string out = typed(i + 1) + "/" + typed(i + 2), library = typed(i + 3) + "/" + typed(i);
    const RunResult converted = japanese.run("-C '" + typed(i) + "' -o '" + out + "' --preview '" + typed(i + 2) +
                                             "' --depfile '" + typed(i + 3) + "/x.d' --pattern-file '" + typed(i + 3) +
                                             "/p.pat' --c-source '" + library + "'");
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.errors, "");
    EXPECT_EQ(japanese.read(out + "/output.txt"), mapBlock(sjis(2) + ".bin", {{0, 1}}, 2, 1) + kStageTable);
    EXPECT_EQ(japanese.read(out + "/" + typed(2) + ".bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
    EXPECT_TRUE(japanese.exists(typed(i + 2) + "/patterns.png"));
    const std::string in = sjis(i) + "/", made = sjis(i + 1) + "/" + sjis(i + 2) + "/", kept = sjis(i + 3) + "/";
    EXPECT_EQ(japanese.read(typed(i + 3) + "/x.d"), made + "output.txt " + kept + sjis(i) + ".c " + made + sjis(2) +
                                                        ".bin " + kept + sjis(i) + ".h " + kept + "p.pat: " + in +
                                                        "tessarn.txt " + in + sjis(1) + "/stage.bmp\n");
    EXPECT_NE(japanese.read(library + ".c").find("#include \"" + sjis(i) + ".h\""), std::string::npos);
    EXPECT_EQ(japanese.run("-C '" + typed(i) + "' --patterns-from '" + typed(i + 3) + "/p.pat'").status, 0);
    const RunResult missing = japanese.run("-C '" + typed(i + 3) + "/" + typed(i) + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.errors.substr(0, missing.errors.find('\n')),
              "tessarn: -C " + sjis(i + 3) + "/" + sjis(i) + ": cannot enter the directory");
  }
#endif
}

// A 24-bit BMP of `width` x `height` colours 0xRRGGBB, rows from the top.
std::string bmp24(int width, int height, const std::vector<uint32_t>& colours) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  std::string pixels(stride * static_cast<size_t>(height), '\0');
  for (size_t i = 0; i < colours.size(); ++i) {
    const size_t y = i / static_cast<size_t>(width), x = i % static_cast<size_t>(width);
    for (int c = 0; c < 3; ++c) pixels[(static_cast<size_t>(height) - 1 - y) * stride + 3 * x + c] = static_cast<char>(colours[i] >> (8 * c));
  }
  return writeRawBmp(width, height, 24, 0, pixels);
}

// Full-colour art whose palettes the run chooses, and whose colours' order
// lets tiles of one shape share a pattern.
TEST(OptionsE2E, PalettesAndFullColour) {
  ScratchDir dir;
  // Two tiles of one shape, red on blue and green on yellow, and a third of
  // the first's colours, mirrored: under snes-2bpp (three colours and colour
  // 0 a palette) two palettes, and all three tiles one pattern.
  std::vector<uint32_t> art(24 * 8);
  for (size_t i = 0; i < art.size(); ++i) {
    const size_t x = i % 24 % 8, y = i / 24, tile = i % 24 / 8;
    const bool ball = y >= 2 && y < 6 && (tile == 2 ? 7 - x : x) >= 1 && (tile == 2 ? 7 - x : x) <= 4;
    art[i] = tile == 1 ? (ball ? 0x00FF00 : 0xFFFF00) : (ball ? 0xFF0000 : 0x0000FF);
  }
  dir.write("art.bmp", bmp24(24, 8, art));
  dir.write("tessarn.txt", "art.bmp 0 0 24 8 art\n");
  const RunResult full = dir.run("--target snes-2bpp --colours auto --report");
  EXPECT_EQ(full.status, 0);
  EXPECT_NE(full.errors.find("palettes: 2 (the fewest possible)"), std::string::npos) << full.errors;
  const std::string output = dir.read("output.txt");
  EXPECT_NE(output.find("#define MAX_PCG 2\r\n"), std::string::npos) << output;
  EXPECT_NE(output.find("#define MAX_PAL 2\r\nunsigned short PAL_DAT[]={\r\n"), std::string::npos) << output;
}

#ifndef _WIN32
// The labels of an assembly listing and the section each is in: ".area X"
// (SDCC) or ".segment "X"" (cc65) starts section X.
std::map<std::string, std::string> sectionsOfLabels(const std::string& listing) {
  std::map<std::string, std::string> sections;
  std::istringstream lines(listing);
  std::string line, section;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (first == ".area") section = second;
    if (first == ".segment") section = second.substr(1, second.find('"', 1) - 1);
    if (first.size() < 2 || first[0] != '_' || first.back() != ':') continue;
    sections[first.substr(1, first.find(':') - 1)] = section;  // "_name:", or "_name::" for SDCC's globals
  }
  return sections;
}

// The C library as each compiler takes it: C89 and C++ without a warning,
// and for the small machines' compilers every array in read-only memory.
// A compiler that is missing skips the test, unless TESSARN_REQUIRE_COMPILERS
// is set (as CI sets it).
TEST(OptionsE2E, CLibraryCompilesWithEachCompiler) {
  struct Compiler {
    const char* name;
    const char* command;  // run in lib/
    const char* listing;  // the assembly it writes, if arrays are looked up there
    const char* readOnly;
  };
  const Compiler compilers[] = {
      {"gcc", "gcc -std=c89 -pedantic -Wall -Wextra -Werror gfx.c nes.c main.c -o c89 && ./c89", nullptr, nullptr},
      {"g++", "g++ -Wall -Wextra -Werror -x c++ gfx.c nes.c main.c -o cpp && ./cpp", nullptr, nullptr},
      {"sdcc", "sdcc -mz80 -c gfx.c && sdcc -mz80 -c nes.c && cat nes.asm >> gfx.asm", "gfx.asm", "_CODE"},
      {"cc65", "cc65 -O gfx.c -o gfx.s && cc65 -O nes.c -o nes.s && cat nes.s >> gfx.s", "gfx.s", "RODATA"},
  };
  for (const Compiler& compiler : compilers) {
    if (std::system(("command -v " + std::string(compiler.name) + " > /dev/null").c_str()) == 0) continue;
    if (std::getenv("TESSARN_REQUIRE_COMPILERS") != nullptr) FAIL() << compiler.name << " is missing";
    GTEST_SKIP() << compiler.name << " is missing: the C library is not compiled with every compiler";
  }
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a.bin 0 1 2 3\nstage.bmp 0 0 16 8 a_bin 1 0 2 3\n"
                           "stage.bmp 0 0 16 8 int 0 1 2 3\nstage.bmp 0 0 0 8 empty 0 1 2 3\n");
  // A library of byte maps with attribute tables and palettes (nes) beside
  // the classic one.
  dir.write("lib/main.c", "#include \"gfx.h\"\n#include \"nes.h\"\nint main(void) {\n  return a_bin[1] == 1 && "
                          "a_bin_2[0] == 2 && int_3_WIDTH == 2 && empty_WIDTH == 0 && PATTERN_COUNT == 4 && "
                          "patterns[8] == 0x80 && n_a_bin_attr[0] == 0 && n_PATTERN_SIZE == 16 && n_patterns[16] == 0x80 && "
                          "n_a_bin_COLORS == 4 && n_a_bin_pal[1] == 1 "
                          "? 0 : 1;\n}\n");
  ASSERT_EQ(dir.run("--c-source lib/gfx").status, 0);
  ASSERT_EQ(dir.run("--target nes --palettes --c-source lib/nes --symbol-prefix n_").status, 0);
  const std::vector<std::string> arrays = {"a_bin", "a_bin_2",      "int_3",       "patterns",
                                           "n_a_bin", "n_a_bin_attr", "n_a_bin_pal", "n_patterns"};
  for (const Compiler& compiler : compilers) {
    SCOPED_TRACE(compiler.name);
    const std::string command = "cd '" + (dir.path() / "lib").string() + "' && " + compiler.command + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    if (compiler.listing == nullptr) continue;
    const std::map<std::string, std::string> sections = sectionsOfLabels(dir.read(std::string("lib/") + compiler.listing));
    for (const std::string& array : arrays) {
      EXPECT_EQ(sections.count(array) ? sections.at(array) : "(none)", compiler.readOnly) << array;
    }
  }
}
#endif

// A view or a file of the end of the run that cannot be written makes the
// status -1, and then none of the files that stand only after a complete
// run is left (output.txt keeps what it got).
TEST(OptionsE2E, ViewsThatCannotBeWrittenAreErrors) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\n");
  fs::create_directories(dir.path() / "p/patterns.png");
  // A map past 2^28 pixels is not drawn; a run that ends at a missing bitmap
  // draws what it converted all the same.
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\nstage.bmp 0 0 16384 16392 huge.bin 0 1 2 3\n"
                           "gone.bmp 0 0 8 8 x 0 1 2 3\n");
  const RunResult ended = dir.run("--preview p");
  EXPECT_EQ(ended.status, 255);
  EXPECT_EQ(ended.errors, "tessarn: preview 002-huge_bin.png: a map of 16384 x 16392 pixels is too large to draw "
                          "(at most 2^28 pixels)\ntessarn: preview patterns.png cannot be created\n");
  EXPECT_TRUE(dir.exists("p/001-a.png"));
  EXPECT_FALSE(dir.exists("p/002-huge_bin.png"));
}

}  // namespace
}  // namespace tessarn::testing
