// How a run fails: the message that says so and the file it is about. Every
// part of the run hands its failures back as these; only the run driver
// reports them, and picks the exit status from what they do to the run.

#ifndef TESSARN_MESSAGES_FAILURE_H_
#define TESSARN_MESSAGES_FAILURE_H_

#include <string>

#include "messages/messages.h"

namespace tessarn {

struct Failure {
  MessageId message = MessageId::kOutOfMemory;
  std::string name;          // the file the message names, if it names one
  MessageNumbers numbers{};  // the numbers it holds, if any
};

enum class FailureEffect {
  kSkipsJob,  // a bitmap was rejected: its job writes nothing, the run goes on
  kFailsRun,  // an output was not written whole: the run goes on, but fails
  kEndsRun,   // the run ends at once, without a pattern table
};

inline FailureEffect effectOf(MessageId message) {
  switch (message) {
    case MessageId::kNotBmp:
    case MessageId::kNotIndexed:
    case MessageId::kUnsupportedCompression:
    case MessageId::kUnreadablePng:
    case MessageId::kTwoPalettes:
    case MessageId::kPaletteTooHigh:
    case MessageId::kAreaTwoPalettes:
    case MessageId::kTooManyColours:
    case MessageId::kAreaTooManyColours:
    case MessageId::kTooManyPalettes:
      return FailureEffect::kSkipsJob;
    case MessageId::kWriteFailed:
      return FailureEffect::kFailsRun;
    case MessageId::kJobListMissing:
    case MessageId::kBitmapMissing:
    case MessageId::kCannotCreate:
    case MessageId::kTooManyPatterns:
    case MessageId::kOutOfMemory:
      return FailureEffect::kEndsRun;
  }
  // Not reached: every message is listed, so that a new one must say what
  // it does to the run.
  return FailureEffect::kEndsRun;
}

}  // namespace tessarn

#endif  // TESSARN_MESSAGES_FAILURE_H_
