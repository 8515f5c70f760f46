// The job list's token rules, the run's exit statuses and the output files,
// seen from outside the binary.

#include <filesystem>

#include <gtest/gtest.h>

#include "e2e/expected.h"
#include "e2e/harness.h"
#include "e2e/scenes.h"

namespace tessarn::testing {
namespace {

const std::string kTableBlankOnly = patternTable({kBlank});
const std::string kTableStage = patternTable({kBlank, kStageTile});

TEST(JobListE2E, MissingJobListLeavesOutputUntouched) {
  ScratchDir dir;
  dir.write("output.txt", "kept");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 28);
  EXPECT_EQ(result.console, kJobListMissing);
  EXPECT_EQ(dir.read("output.txt"), "kept");
}

TEST(JobListE2E, ListsWithoutJobsWriteOnlyTheBlankPattern) {
  const std::string lists[] = {"", " \r\n\t\v\f \r\r\n", "\x1A stage.bmp 0 0 16 8 s 0 1 2 3"};
  for (const std::string& list : lists) {
    ScratchDir dir;
    dir.write("tessarn.txt", list);
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.console, "");
    EXPECT_EQ(dir.read("output.txt"), kTableBlankOnly);
  }
}

TEST(JobListE2E, CtrlZEndsTheList) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\r\n\x1A" "stage.bmp 0 0 16 8 b 0 1 2 3\r\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("output.txt"), mapBlock("a", {{0x0000, 0x0001}}, 2, 1) + kTableStage);
}

TEST(JobListE2E, PartialLastJobKeepsThePreviousFields) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  // The second job gives only the name and x: width, height, name and
  // colours carry over, and the carried ".bin" name is created again.
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 s.bin 0 1 2 3\nstage.bmp 8");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"), mapBlock("s.bin", {{0x0000, 0x0001}}, 2, 1) +
                                        mapBlock("s.bin", {{0x0001, 0x0000}}, 2, 1) +
                                        kTableStage);
  EXPECT_EQ(dir.read("s.bin"), words16({0x0001, 0x0000}) + words16(kBlank) + words16(kStageTile));
}

TEST(JobListE2E, NonNumberTokenStartsTheNextJob) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("z8", stageBmp());
  // Job 2 stops at "+z8" (the sign stays read): it converts with the fields
  // of job 1 from there on. Job 3 starts at "z8" and stops at its x, so only
  // its bitmap name is new. Job 4 is whole again.
  dir.write("tessarn.txt",
            "stage.bmp 0 0 16 8 a 0 1 2 3\n"
            "stage.bmp 8 0 +z8 stage.bmp 0 0 8 8 c 3 1 2 0\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.console, "");
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock("a", {{0x0000, 0x0001}}, 2, 1) + mapBlock("a", {{0x0001, 0x0000}}, 2, 1) +
                mapBlock("a", {{0x0001, 0x0000}}, 2, 1) + mapBlock("c", {{0x0002}}, 1, 1) +
                patternTable({kBlank, kStageTile, std::vector<uint16_t>(8, 0xFFFF)}));
}

TEST(JobListE2E, EachBinaryOutputGetsTheWordsWhileItIsCurrent) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt",
            "stage.bmp 0 0 16 8 one.bin 0 1 2 3\n"
            "stage.bmp 8 0 8 8 plain 0 1 2 3\n"
            "stage.bmp 0 0 8 8 two.bin 0 1 2 3\n"
            "stage.bmp 8 0 16 8 after 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("one.bin"), words16({0x0000, 0x0001, 0x0001}));
  EXPECT_EQ(dir.read("two.bin"),
            words16({0x0000, 0x0001, 0x0000}) + words16(kBlank) + words16(kStageTile));
}

TEST(JobListE2E, BinaryOutputNamedTwiceIsWrittenWholeOnce) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt",
            "stage.bmp 0 0 16 8 same.bin 0 1 2 3\n"
            "stage.bmp 0 0 16 8 other 0 1 2 3\n"
            "stage.bmp 8 0 8 8 same.bin 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(dir.read("same.bin"), words16({0x0001}) + words16(kBlank) + words16(kStageTile));
}

TEST(JobListE2E, FullDiskIsReportedOncePerFile) {
#ifdef _WIN32
  // Windows has no always-full device to point an output at. A Windows build
  // is checked for this by running it under Wine from a Linux build of this
  // suite, where the outputs are links to /dev/full.
  GTEST_SKIP() << "needs /dev/full";
#endif
  struct Case {
    bool text_full;
    bool binary_full;
  };
  for (Case c : {Case{true, false}, Case{false, true}, Case{true, true}}) {
    ScratchDir dir;
    dir.write("stage.bmp", stageBmp());
    dir.write("tessarn.txt", "stage.bmp 0 0 16 8 full.bin 0 1 2 3\n");
    if (c.text_full) std::filesystem::create_symlink("/dev/full", dir.path() / "output.txt");
    if (c.binary_full) std::filesystem::create_symlink("/dev/full", dir.path() / "full.bin");
    RunResult result = dir.run();
    EXPECT_EQ(result.status, 255);
    std::string expected;
    if (c.binary_full) expected += writeFailedMessage("full.bin");
    if (c.text_full) expected += writeFailedMessage("output.txt");
    EXPECT_EQ(result.console, expected);
    if (!c.text_full) {
      EXPECT_EQ(dir.read("output.txt"), mapBlock("full.bin", {{0, 1}}, 2, 1) + kTableStage);
    }
    if (!c.binary_full) {
      EXPECT_EQ(dir.read("full.bin"), words16({0, 1}) + words16(kBlank) + words16(kStageTile));
    }
  }
}

// Japanese names, in Shift_JIS as the job list gives them and in UTF-8. The
// second byte of 表 and of ソ is 0x5C, an ASCII backslash, which must not be
// taken for a directory separator.
struct JapaneseName {
  std::string shift_jis;
  std::string utf8;
};
const JapaneseName kHyouGazou = {"\x95\x5C\x89\xE6\x91\x9C", "\xE8\xA1\xA8\xE7\x94\xBB\xE5\x83\x8F"};  // 表画像
const JapaneseName kSo = {"\x83\x5C", "\xE3\x82\xBD"};                                            // ソ
const JapaneseName kNai = {"\x96\xB3", "\xE7\x84\xA1"};                                           // 無

TEST(JobListE2E, ShiftJisFileNamesArePassedThrough) {
#ifdef _WIN32
  // The scratch files would be named through std::filesystem, whose idea of
  // a narrow name's code page need not be the tool's. The Windows build is
  // checked for this under Wine, from a Linux build of this suite.
  GTEST_SKIP() << "run from a Linux build of the suite";
#endif
  auto disk = [](const JapaneseName& name, const std::string& suffix) {
    return nameOnDisk(name.shift_jis + suffix, name.utf8 + suffix);
  };
  ScratchDir dir;
  dir.write(disk(kHyouGazou, ".bmp"), stageBmp());
  dir.write(disk(kSo, ".bmp"), stageBmp());
  const std::string hyou_gazou = kHyouGazou.shift_jis, so = kSo.shift_jis, nai = kNai.shift_jis;
  dir.write("tessarn.txt", hyou_gazou + ".bmp 0 0 16 8 " + hyou_gazou + ".bin 0 1 2 3\r\n" +  //
                               so + ".bmp 8 0 8 8 " + so + " 0 1 2 3\r\n" +                   //
                               nai + ".bmp 0 0 8 8 x 0 1 2 3\r\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, missingMessage(nai + ".bmp"));
  EXPECT_EQ(dir.read("output.txt"),
            mapBlock(hyou_gazou + ".bin", {{0, 1}}, 2, 1) + mapBlock(so, {{1}}, 1, 1));
  EXPECT_TRUE(dir.exists(disk(kHyouGazou, ".bin")));
  EXPECT_EQ(dir.read(disk(kHyouGazou, ".bin")), words16({0, 1, 1}));
}

TEST(JobListE2E, OutputThatCannotBeCreatedEndsTheRun) {
  ScratchDir dir;
  dir.write("stage.bmp", stageBmp());
  dir.write("tessarn.txt", "stage.bmp 0 0 16 8 a 0 1 2 3\nstage.bmp 0 0 16 8 no/x.bin 0 1 2 3\n");
  RunResult result = dir.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, cannotCreateMessage("no/x.bin"));
  EXPECT_EQ(dir.read("output.txt"), mapBlock("a", {{0, 1}}, 2, 1));

  ScratchDir blocked;
  std::filesystem::create_directory(blocked.path() / "output.txt");
  blocked.write("stage.bmp", stageBmp());
  blocked.write("tessarn.txt", "stage.bmp 0 0 16 8 a.bin 0 1 2 3\n");
  result = blocked.run();
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.console, cannotCreateMessage("output.txt"));
  EXPECT_FALSE(blocked.exists("a.bin"));
}

}  // namespace
}  // namespace tessarn::testing
