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
