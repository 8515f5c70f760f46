// Every message the tool writes to standard output, and the one place that
// writes them.
//
// Messages are Japanese text written as Shift_JIS bytes, or on request the
// same text in UTF-8, or plain English. Some hold a file name (the "%s" of
// the table), written as it is in every language (the pattern-limit message
// holds the limit there instead), and some numbers (the "%d"s, in order);
// every message ends in CR LF, written explicitly so that the bytes are the
// same on every platform. A message is handed to the console in one write,
// so it is never split by other output.

#ifndef TESSARN_MESSAGES_MESSAGES_H_
#define TESSARN_MESSAGES_MESSAGES_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/file_system.h"

namespace tessarn {

enum class MessageId {
  kJobListMissing,          // the job list cannot be opened
  kBitmapMissing,           // %s: a job's bitmap cannot be opened or read
  kNotBmp,                  // %s: the bitmap is not a BMP we can read
  kNotIndexed,              // %s (English only): not indexed colour of 1, 2, 4 or 8 bits
  kUnsupportedCompression,  // %s: compressed in a way we do not decode, or too big
  kUnreadablePng,           // %s: a PNG that cannot be decoded
  kCannotCreate,            // %s: an output file cannot be created
  kWriteFailed,             // %s: writing, flushing or closing an output failed
  kTooManyPatterns,         // %s: a tile needs a pattern numbered at or past the limit
  kOutOfMemory,             // memory could not be allocated
  kTwoPalettes,             // %s %d,%d: a tile's pixels name two palettes (direct colours)
  kPaletteTooHigh,          // %s %d,%d %d: a tile's palette is more than the target holds
  kAreaTwoPalettes,         // %s %d,%d: a 16x16 area's tiles name two palettes
  kTooManyColours,          // %s %d,%d %d %d: full colour: a tile has more colours than a palette holds
  kAreaTooManyColours,      // %s %d,%d %d %d: full colour: a 16x16 area has more than a palette holds
  kTooManyPalettes,         // %s %d,%d %d %d: full colour: the run needs more palettes than it may have
};

enum class MessageLanguage { kShiftJis, kUtf8, kEnglish };

// The numbers a message holds, in order.
using MessageNumbers = std::array<int64_t, 4>;

// The message's bytes, with `name` in place of its "%s" (if it has one),
// the numbers in place of its "%d"s, and CR LF at the end.
std::string formatMessage(MessageId id, std::string_view name = {},
                          MessageLanguage language = MessageLanguage::kShiftJis, const MessageNumbers& numbers = {});

// Writes messages to standard output (or whatever stream stands for it).
class Console {
 public:
  explicit Console(WriteStream* out, MessageLanguage language = MessageLanguage::kShiftJis)
      : out_(out), language_(language) {}

  void report(MessageId id, std::string_view name = {}, const MessageNumbers& numbers = {});

 private:
  WriteStream* out_;
  MessageLanguage language_;
};

}  // namespace tessarn

#endif  // TESSARN_MESSAGES_MESSAGES_H_
