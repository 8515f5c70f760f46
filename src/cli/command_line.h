// tessarn's options. With none, tessarn runs exactly as it always has: the
// job list in the working directory, messages in Shift_JIS. Every option
// adds to that run (or, --help and --version, replaces it):
//
//   -C, --directory DIR   the job list, the bitmaps and (unless -o) the outputs are in DIR
//   -o, --output-dir DIR  output.txt and the binary outputs go to DIR
//       --depfile FILE    after a complete run, a Make rule of what it read and wrote
//       --preview DIR     the run drawn as PNG images in DIR
//       --report          a summary of every job on standard error
//       --strict          a run that skipped a job exits with status 1
//       --messages KIND   sjis (the default), utf-8 or en
//   -h, --help            the usage, and exit 0
//       --version         "tessarn VERSION", and exit 0
//
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
