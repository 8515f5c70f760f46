#include "run/messages.h"

#include <gtest/gtest.h>

namespace tessarn {
namespace {

// Bytes written as hex pairs, so that they can be checked against the
// Shift_JIS encoding independently of the table in the source.
std::string fromHex(const char* hex) {
  std::string out;
  for (const char* p = hex; *p != '\0'; p += 3) {
    out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    if (p[2] == '\0') break;
  }
  return out;
}

TEST(MessagesTest, ShiftJisBytesWithCrLf) {
  struct Case {
    MessageId id;
    const char* name;
    const char* hex;  // without the line end
  };
  const Case cases[] = {
      {MessageId::kJobListMissing, "",
       "74 65 73 73 61 72 6E 2E 74 78 74 82 AA 8C A9 82 C2 82 A9 82 E8 82 DC 82 B9 82 F1"},
      {MessageId::kBitmapMissing, "a.bmp", "61 2E 62 6D 70 82 AA 8C A9 82 C2 82 A9 82 E8 82 DC 82 B9 82 F1"},
      {MessageId::kNotBmp, "a",
       "61 20 82 CD 20 42 4D 50 20 66 69 6C 65 82 C5 82 CD 82 A0 82 E8 82 DC 82 B9 82 F1"},
      {MessageId::kNotEightBit, "", "82 51 82 54 82 55 90 46 82 C5 82 CD 82 A0 82 E8 82 DC 82 B9 82 F1"},
      {MessageId::kUnsupportedCompression, "a",
       "61 20 82 CD 91 CE 89 9E 82 B5 82 C4 82 A2 82 C8 82 A2 88 B3 8F 6B 8C 60 8E AE 82 C5 82 B7"},
      {MessageId::kCannotCreate, "output.txt",
       "6F 75 74 70 75 74 2E 74 78 74 82 AA 8D EC 90 AC 82 C5 82 AB 82 DC 82 B9 82 F1"},
      {MessageId::kWriteFailed, "%s",
       "25 73 82 D6 82 CC 8F 91 82 AB 8D 9E 82 DD 82 C9 8E B8 94 73 82 B5 82 DC 82 B5 82 BD"},
      {MessageId::kTooManyPatterns, "",
       "83 70 83 5E 81 5B 83 93 82 AA 31 36 33 38 34 8C C2 82 F0 92 B4 82 A6 82 DC 82 B5 82 BD"},
      {MessageId::kOutOfMemory, "", "83 81 83 82 83 8A 82 AA 91 AB 82 E8 82 DC 82 B9 82 F1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatMessage(c.id, c.name), fromHex(c.hex) + "\r\n") << c.hex;
  }
}

}  // namespace
}  // namespace tessarn
