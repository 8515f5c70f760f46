// Runs in memory: the failures a disk cannot easily be made to show.

#include "run/run_driver.h"

#include <gtest/gtest.h>

#include "support/bmp_writer.h"

namespace tessarn {
namespace {

struct MemoryRun {
  MemoryFileSystem files;
  MemoryFileSystem console_files;
  std::unique_ptr<WriteStream> console = console_files.create("console");
  const std::string& messages() { return console_files.files["console"]; }
};

std::string twoTileBmp() {
  testing::BmpSpec bmp{.width = 16, .height = 8, .pixels = std::vector<uint8_t>(128, 0)};
  bmp.pixels[8] = 1;
  return testing::writeBmp(bmp);
}

TEST(RunDriverTest, PatternLimitEndsTheRunAtTheTile) {
  MemoryRun m;
  m.files.files["t.bmp"] = twoTileBmp();
  RunState run(&m.files, m.console.get());
  ASSERT_TRUE(run.outputs.createTextOutput());
  uint16_t word;
  for (int n = 1; n < PatternDictionary::kMaxPatterns; ++n) {
    Pattern filler = {static_cast<uint16_t>(n), 0, 0, 0, 0, 0, 0, 0x0102};
    ASSERT_TRUE(run.dictionary.lookupOrAdd(filler, &word));
  }
  run.job = JobRecord{"t.bmp", 0, 0, 16, 8, "full", {0, 1, 2, 3}};
  EXPECT_EQ(convertJob(&run), JobOutcome::kRunEnds);
  EXPECT_EQ(m.messages(), formatMessage(MessageId::kTooManyPatterns));
  EXPECT_TRUE(run.outputs.closeOutputs());
  EXPECT_EQ(m.files.files["output.txt"], "unsigned short full[]={\r\n\t0x0000, ");
}

}  // namespace
}  // namespace tessarn
