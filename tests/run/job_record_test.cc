#include "run/job_record.h"

#include <gtest/gtest.h>

namespace tessarn {
namespace {

// What one read gives: the fields filled, then the record as it stands.
struct Read {
  int filled;
  std::string bitmap;
  int32_t x, y, width, height;
  std::string name;
  int32_t c0, c1, c2, c3;
};

struct Case {
  const char* what;
  std::string list;
  std::vector<Read> reads;  // then end of input
};

const Case kCases[] = {
    {"empty", "", {}},
    {"whitespace only", " \t\r\n\v\f\r", {}},
    {"one job over lines", "a.bmp 1\r\n2 3\t4 out\r5 6 7 8",
     {{10, "a.bmp", 1, 2, 3, 4, "out", 5, 6, 7, 8}}},
    {"ctrl-z ends the input", "a.bmp 1 2 3 4 out 5 6 7 8 \x1A b.bmp 9",
     {{10, "a.bmp", 1, 2, 3, 4, "out", 5, 6, 7, 8}}},
    {"ctrl-z inside a token", "a.bmp 1 2 3 4 out 5 6 7 8\x1A" "9",
     {{10, "a.bmp", 1, 2, 3, 4, "out", 5, 6, 7, 8}}},
    {"partial last job keeps earlier fields", "a.bmp 1 2 3 4 out 5 6 7 8 b.bmp 9",
     {{10, "a.bmp", 1, 2, 3, 4, "out", 5, 6, 7, 8}, {2, "b.bmp", 9, 2, 3, 4, "out", 5, 6, 7, 8}}},
    {"signs", "a +1 -2 +0 -0 n -2147483648 2147483647 -7 +7",
     {{10, "a", 1, -2, 0, 0, "n", INT32_MIN, INT32_MAX, -7, 7}}},
    {"out of range saturates", "a 2147483648 -2147483649 99999999999999999999 -00000000000000000001 n 0 0 0 0",
     {{10, "a", INT32_MAX, INT32_MIN, INT32_MAX, -1, "n", 0, 0, 0, 0}}},
    {"number ends at a non-digit", "a 12b 3",
     {{2, "a", 12, 0, 0, 0, "", 0, 0, 0, 0}, {2, "b", 3, 0, 0, 0, "", 0, 0, 0, 0}}},
    {"sign before a non-number stays consumed", "a 1 -x 5",
     {{2, "a", 1, 0, 0, 0, "", 0, 0, 0, 0}, {2, "x", 5, 0, 0, 0, "", 0, 0, 0, 0}}},
    {"double sign", "a --5",
     {{1, "a", 0, 0, 0, 0, "", 0, 0, 0, 0}, {1, "-5", 0, 0, 0, 0, "", 0, 0, 0, 0}}},
    {"sign at the end", "a 1 2 3 4 n 5 -",
     {{7, "a", 1, 2, 3, 4, "n", 5, 0, 0, 0}}},
    {"no hex or octal", "a 0x10 010",
     {{2, "a", 0, 0, 0, 0, "", 0, 0, 0, 0}, {2, "x10", 10, 0, 0, 0, "", 0, 0, 0, 0}}},
    {"shift_jis and long names", "\x83\x5E\x83\x43\x83\x8B.bmp 0 0 8 8 " + std::string(300, 'n') + " 0 1 2 3",
     {{10, "\x83\x5E\x83\x43\x83\x8B.bmp", 0, 0, 8, 8, std::string(300, 'n'), 0, 1, 2, 3}}},
};

TEST(JobListReaderTest, TokenRules) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    MemoryFileSystem files;
    files.files["list"] = c.list;
    std::unique_ptr<ReadStream> stream = files.openForReading("list");
    JobListReader reader(stream.get());
    JobRecord job;
    for (const Read& expected : c.reads) {
      ASSERT_EQ(reader.readJob(&job), expected.filled);
      EXPECT_EQ(job.bitmapName, expected.bitmap);
      EXPECT_EQ(job.x, expected.x);
      EXPECT_EQ(job.y, expected.y);
      EXPECT_EQ(job.width, expected.width);
      EXPECT_EQ(job.height, expected.height);
      EXPECT_EQ(job.name, expected.name);
      EXPECT_EQ(job.colour[0], expected.c0);
      EXPECT_EQ(job.colour[1], expected.c1);
      EXPECT_EQ(job.colour[2], expected.c2);
      EXPECT_EQ(job.colour[3], expected.c3);
    }
    EXPECT_EQ(reader.readJob(&job), JobListReader::kEndOfInput);
    EXPECT_EQ(reader.readJob(&job), JobListReader::kEndOfInput);
  }
}

}  // namespace
}  // namespace tessarn
