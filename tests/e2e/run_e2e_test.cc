// Runs seen from outside the binary: the job list's rules as the outputs show
// them, the binary outputs, names, exit statuses, and hostile surroundings
// (full disks, unwritable directories, FIFOs, a standard output nobody
// reads, a job list long enough to show whether the run streams).

#include <filesystem>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#endif

namespace tessarn::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// A job list run over stage.bmp: what it must write.
struct ListCase {
  const char* what;
  std::string list;
  int status;
  std::string console;
  std::string output;
  std::vector<std::pair<std::string, std::string>> binaries;  // name, bytes
};

TEST(RunE2E, JobListsAndTheirOutputs) {
  const std::string stage_words = words16(kBlank) + words16(kStageTile);
  const std::string long_name(600, 'n');
  const ListCase cases[] = {
      {"no jobs", "", 0, "", patternTable({kBlank}), {}},
      {"whitespace", " \r\n\t\v\f \r\r\n", 0, "", patternTable({kBlank}), {}},
      {"Ctrl-Z ends the list", "stage.bmp 0 0 16 8 a 0 1 2 3\r\n\x1A" "stage.bmp 0 0 16 8 b 0 1 2 3", 0, "",
       mapBlock("a", {{0, 1}}, 2, 1) + kStageTable, {}},
      // The second job gives only its bitmap and x: the rest carries over,
      // and the carried ".bin" name is created again.
      {"a partial last job", "stage.bmp 0 0 16 8 s.bin 0 1 2 3\nstage.bmp 8", 0, "",
       mapBlock("s.bin", {{0, 1}}, 2, 1) + mapBlock("s.bin", {{1, 0}}, 2, 1) + kStageTable,
       {{"s.bin", words16({1, 0}) + stage_words}}},
      // Job 2 stops at "+z8" (the sign stays read) and converts with job 1's
      // fields from there on; job 3 starts at "z8" and stops at its x.
      {"a token that is no number", "stage.bmp 0 0 16 8 a 0 1 2 3\nstage.bmp 8 0 +z8 stage.bmp 0 0 8 8 c 3 1 2 0\n", 0,
       "",
       mapBlock("a", {{0, 1}}, 2, 1) + mapBlock("a", {{1, 0}}, 2, 1) + mapBlock("a", {{1, 0}}, 2, 1) +
           mapBlock("c", {{2}}, 1, 1) + patternTable({kBlank, kStageTile, TestPattern(8, 0xFFFF)}),
       {}},
      // Each binary output gets the words while it is current; a name that
      // comes back is written whole once; ".bin" may stand anywhere.
      {"binary outputs",
       "stage.bmp 0 0 16 8 one.bin 0 1 2 3\nstage.bmp 8 0 8 8 plain 0 1 2 3\n"
       "stage.bmp 0 0 8 8 two.bin.x 0 1 2 3\nstage.bmp 8 0 16 8 one.bin 0 1 2 3\n",
       0, "",
       mapBlock("one.bin", {{0, 1}}, 2, 1) + mapBlock("plain", {{1}}, 1, 1) + mapBlock("two.bin.x", {{0}}, 1, 1) +
           mapBlock("one.bin", {{1, 0}}, 2, 1) + kStageTable,
       {{"one.bin", words16({1, 0}) + stage_words}, {"two.bin.x", words16({0})}}},
      // A missing bitmap ends the run; the binary output its job made stays,
      // empty. A name's bytes reach the message as they are, however long.
      {"a missing bitmap",
       "stage.bmp 0 0 16 8 one 0 1 2 3\n" + long_name + ".bmp 0 0 16 8 three.bin 0 1 2 3\nstage.bmp 0 0 8 8 four 0 1 2 3\n",
       255, missingMessage(long_name + ".bmp"), mapBlock("one", {{0, 1}}, 2, 1), {{"three.bin", ""}}},
      // A NUL byte cannot be in a file's name.
      {"a NUL in a bitmap's name", "stage.bmp 0 0 8 8 a 0 1 2 3 st\0ge.bmp 0 0 8 8 b 0 1 2 3"s, 255,
       missingMessage("st\0ge.bmp"s), mapBlock("a", {{0}}, 1, 1), {}},
      {"a NUL in a binary output's name", "stage.bmp 0 0 8 8 a\0.bin 0 1 2 3"s, 255,
       cannotCreateMessage("a\0.bin"s), "", {}},
      {"an output that cannot be created", "stage.bmp 0 0 16 8 a 0 1 2 3\nstage.bmp 0 0 16 8 no/x.bin 0 1 2 3\n", 255,
       cannotCreateMessage("no/x.bin"), mapBlock("a", {{0, 1}}, 2, 1), {}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("z8", stageBmp());
    dir.write("tessarn.txt", c.list);
    const RunResult result = dir.run();
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(dir.read("output.txt"), c.output);
    for (const auto& [name, bytes] : c.binaries) {
      EXPECT_TRUE(dir.exists(name)) << name;
      EXPECT_EQ(dir.read(name), bytes) << name;
    }
  }
}

TEST(RunE2E, WhatCannotBeOpenedOrCreated) {
  // No job list, or a directory by that name: status 28, nothing touched.
  ScratchDir dir;
  dir.write("output.txt", "kept");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 28);
  EXPECT_EQ(result.console, kJobListMissing);
  EXPECT_EQ(dir.read("output.txt"), "kept");
  fs::create_directory(dir.path() / "tessarn.txt");
  EXPECT_EQ(dir.run().status, 28);
  // output.txt cannot be created: nothing is.
  ScratchDir blocked;
  fs::create_directory(blocked.path() / "output.txt");
  blocked.write("stage.bmp", stageBmp());
  blocked.write("tessarn.txt", "stage.bmp 0 0 16 8 a.bin 0 1 2 3\n");
  result = blocked.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, cannotCreateMessage("output.txt"));
  EXPECT_FALSE(blocked.exists("a.bin"));
  // A bitmap that is a directory is missing.
  fs::remove(blocked.path() / "output.txt");
  fs::create_directory(blocked.path() / "dir.bmp");
  blocked.write("tessarn.txt", "stage.bmp 8 0 8 8 c 0 1 2 3\ndir.bmp 0 0 8 8 d 0 1 2 3\n");
  result = blocked.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage("dir.bmp"));
  EXPECT_EQ(blocked.read("output.txt"), mapBlock("c", {{1}}, 1, 1));
}

// Japanese names, in Shift_JIS as the job list gives them. The second byte
// of 表 and of ソ is 0x5C, an ASCII backslash, which must not be taken for a
// directory separator.
TEST(RunE2E, ShiftJisFileNamesArePassedThrough) {
#ifdef _WIN32
  // The scratch files would be named through std::filesystem, whose idea of
  // a narrow name's code page need not be the tool's. The Windows build is
  // checked for this under Wine, from a Linux build of this suite.
  GTEST_SKIP() << "run from a Linux build of the suite";
#endif
  const std::string hyou_gazou = "\x95\x5C\x89\xE6\x91\x9C", so = "\x83\x5C", nai = "\x96\xB3";  // 表画像 ソ 無
  ScratchDir dir;
  dir.write(nameOnDisk(hyou_gazou + ".bmp", "\xE8\xA1\xA8\xE7\x94\xBB\xE5\x83\x8F.bmp"), stageBmp());
  dir.write(nameOnDisk(so + ".bmp", "\xE3\x82\xBD.bmp"), stageBmp());
  dir.write("tessarn.txt", hyou_gazou + ".bmp 0 0 16 8 " + hyou_gazou + ".bin 0 1 2 3\r\n" + so + ".bmp 8 0 8 8 " +
                               so + " 0 1 2 3\r\n" + nai + ".bmp 0 0 8 8 x 0 1 2 3\r\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage(nai + ".bmp"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock(hyou_gazou + ".bin", {{0, 1}}, 2, 1) + mapBlock(so, {{1}}, 1, 1));
  EXPECT_EQ(dir.read(nameOnDisk(hyou_gazou + ".bin", "\xE8\xA1\xA8\xE7\x94\xBB\xE5\x83\x8F.bin")), words16({0, 1, 1}));
}

TEST(RunE2E, FullDiskIsReportedOncePerFile) {
#ifdef _WIN32
  // Windows has no always-full device; the Windows build is checked for this
  // under Wine, from a Linux build of this suite.
  GTEST_SKIP() << "needs /dev/full";
#endif
  for (const auto& [text_full, binary_full] : {std::pair{true, false}, {false, true}, {true, true}}) {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", "stage.bmp 0 0 16 8 full.bin 0 1 2 3\n");
    if (text_full) fs::create_symlink("/dev/full", dir.path() / "output.txt");
    if (binary_full) fs::create_symlink("/dev/full", dir.path() / "full.bin");
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, (binary_full ? writeFailedMessage("full.bin") : "") +
                                  (text_full ? writeFailedMessage("output.txt") : ""));
    if (!text_full) {
      EXPECT_EQ(dir.read("output.txt"), mapBlock("full.bin", {{0, 1}}, 2, 1) + kStageTable);
    }
    if (!binary_full) {
      EXPECT_EQ(dir.read("full.bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
    }
  }
}

#ifndef _WIN32

TEST(RunE2E, UnwritableWorkingDirectory) {
  // Root ignores permission bits: the tool is then run without the
  // capabilities that let it, so the directory is as unwritable to it as to
  // any user.
  const std::string drop = "setpriv --bounding-set=-dac_override,-dac_read_search,-fowner";
  std::string wrapper;
  if (geteuid() == 0) {
    if (std::system((drop + " true >/dev/null 2>&1").c_str()) != 0) {
      GTEST_SKIP() << "running as root, and setpriv cannot drop CAP_DAC_OVERRIDE here";
    }
    wrapper = drop + " --";
  }
  // With no output.txt yet, nothing can be created; with a writable one
  // there, it is rewritten, but the binary output cannot be created.
  for (bool output_there : {false, true}) {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", "stage.bmp 0 0 16 8 first 0 1 2 3\nstage.bmp 8 0 8 8 then.bin 0 1 2 3\n");
    if (output_there) dir.write("output.txt", "old contents");
    if (output_there) fs::permissions(dir.path() / "output.txt", fs::perms::all, fs::perm_options::add);
    fs::permissions(dir.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    RunResult result = dir.run(wrapper);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.console, cannotCreateMessage(output_there ? "then.bin" : "output.txt"));
    EXPECT_EQ(dir.exists("output.txt"), output_there);
    if (output_there) {
      EXPECT_EQ(dir.read("output.txt"), mapBlock("first", {{0, 1}}, 2, 1));
    }
    EXPECT_FALSE(dir.exists("then.bin"));
  }
}

TEST(RunE2E, FifosNeitherBlockNorEndTheRun) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("bad.bmp", "BM");
  ASSERT_EQ(mkfifo((dir.path() / "pipe.bmp").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir.path() / "gone.fifo").c_str(), 0644), 0);
  // A bitmap that is a FIFO nobody writes to is missing, at once.
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\npipe.bmp 0 0 8 8 b 0 1 2 3\n");
  RunResult result = dir.run("timeout 10");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage("pipe.bmp"));
  // Standard output a pipe whose reader has gone (as in "tessarn | head -1"
  // once head is done): the messages are lost, the files written whole. The
  // FIFO is opened for reading and writing, then writing, and the first is
  // closed: no reader is left.
  dir.write("tessarn.txt", "bad.bmp 0 0 8 8 a 0 1 2 3\nstage.bmp 0 0 16 8 b.bin 0 1 2 3\n");
  result = dir.run("sh -c 'exec 3<>gone.fifo 4>gone.fifo 3<&-; exec \"$@\" >&4 4>&-' sh");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("b.bin", {{0, 1}}, 2, 1) + kStageTable);
  EXPECT_EQ(dir.read("b.bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
}

// Peak memory (KB) of a run of `jobs` jobs, each with a 200-byte name, whose
// outputs are checked: holding jobs or output back would show as megabytes.
long peakOfJobs(int jobs) {
  const std::string name(200, 'n');
  std::string list, expected;
  for (int i = 0; i < jobs; ++i) list += "stage.bmp 0 0 16 8 " + name + " 0 1 2 3\n";
  for (int i = 0; i < jobs; ++i) expected += mapBlock(name, {{0, 1}}, 2, 1);
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", list);
  const std::string peak_file = dir.path().string() + ".peak";
  // A helper measures the tool alone; AddressSanitizer keeps freed memory
  // aside for a while, which would count.
  RunResult result = dir.run("ASAN_OPTIONS=quarantine_size_mb=0 " TESSARN_PEAK_MEMORY " '" + peak_file + "'");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), expected + kStageTable);
  long peak_kb = 0;
  std::FILE* peak = std::fopen(peak_file.c_str(), "r");
  if (peak != nullptr) {
    EXPECT_EQ(std::fscanf(peak, "%ld", &peak_kb), 1);
    std::fclose(peak);
  }
  fs::remove(peak_file);
  return peak_kb;
}

TEST(RunE2E, JobsStreamThrough) {
  // 20,000 jobs write 5 MB of output.txt; the run's memory must not grow
  // with them.
  const long few = peakOfJobs(500);
  const long many = peakOfJobs(20000);
  EXPECT_GT(few, 0);
  EXPECT_LT(many - few, 1024) << "peak memory (KB): 500 jobs " << few << ", 20,000 jobs " << many;
}

#endif  // _WIN32

}  // namespace
}  // namespace tessarn::testing
