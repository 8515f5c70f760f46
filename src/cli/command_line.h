// tessarn's options, read with CLI11, which also writes --help from their
// descriptions. With none, tessarn runs exactly as it always has.
// Paths on the command line are taken from where tessarn was started.

#ifndef TESSARN_CLI_COMMAND_LINE_H_
#define TESSARN_CLI_COMMAND_LINE_H_

#include <string>

#include "run/messages.h"

namespace tessarn {

struct Options {
  std::string directory;        // -C; empty: the working directory
  std::string outputDirectory;  // -o; empty: the same as `directory`
  std::string depfile;
  std::string previewDirectory;
  bool report = false;
  bool strict = false;
  MessageLanguage messages = MessageLanguage::kShiftJis;
};

enum class CommandLine {
  kRun,          // run with the options
  kDone,         // help or version written; exit 0
  kUsageError,   // `*error` says what is wrong; exit 2
};

// Parses the arguments; help and the version go to `*out`.
CommandLine parseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* out, std::string* error);

}  // namespace tessarn

#endif  // TESSARN_CLI_COMMAND_LINE_H_
