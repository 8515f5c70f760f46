// tessarn's options, read with CLI11, which also writes --help from their
// descriptions. With none, tessarn runs exactly as it always has.
// Paths on the command line are taken from where tessarn was started.
//
// Every value is checked here, alone and against the others (a first
// pattern number below the limit, attribute bits clear of the number and
// mirror bits), so that a bad one is a usage error before anything is read.
// A usage error is one line of our own that names the option and the value
// and says what is allowed; an unknown option gets the nearest known one.
// Numbers are decimal or 0x hex.
//
// The messages' language is --messages, or else the environment's
// TESSARN_MESSAGES, or else UTF-8 where standard output is a terminal that
// takes it, or else Shift_JIS.

#ifndef TESSARN_CLI_COMMAND_LINE_H_
#define TESSARN_CLI_COMMAND_LINE_H_

#include <optional>
#include <string>
#include <vector>

#include "messages/messages.h"
#include "run/run_settings.h"
#include "target/colour_format.h"

namespace tessarn {

struct Options {
  std::string directory;        // -C; empty: the working directory
  std::string outputDirectory;  // -o; empty: the same as `directory`
  std::string depfile;
  std::string previewDirectory;
  bool report = false;
  bool strict = false;
  MessageLanguage messages = MessageLanguage::kShiftJis;
  const Target* target = &classicTarget();
  ColourMode colours = ColourMode::kMapped;
  // The format palettes are written in (--palettes, --palette-file), or
  // kNone for none.
  ColourFormat paletteFormat = ColourFormat::kNone;
  std::string paletteFile;  // --palette-file; empty: none
  // Full-colour art (--colours auto): the colour that is colour 0, and the
  // palettes the run may have.
  std::optional<Rgb> transparent;
  int autoPalettes = 1;
  // The numbering, limit and mirroring of patterns, and whether duplicates
  // are kept.
  DictionarySettings patterns;
  std::vector<JobRule> attributes;
  std::vector<JobRule> palettes;
  std::vector<std::string> patternsFrom;  // --patterns-from, in order
  std::string patternFile;                // --pattern-file; empty: none
  std::string cSource;                    // --c-source BASE; empty: none
  std::string symbolPrefix;               // --symbol-prefix
};

// What the command line is read against, besides its arguments.
struct Surroundings {
  const char* messagesVariable = nullptr;  // TESSARN_MESSAGES, if set
  bool utf8Terminal = false;               // standard output is a terminal that takes UTF-8
};

enum class CommandLine {
  kRun,          // run with the options
  kDone,         // help or version written; exit 0
  kUsageError,   // `*error` says what is wrong; exit 2
};

// Parses the arguments; help and the version go to `*out`.
CommandLine parseCommandLine(int argc, const char* const* argv, const Surroundings& surroundings,
                             Options* options, std::string* out, std::string* error);

}  // namespace tessarn

#endif  // TESSARN_CLI_COMMAND_LINE_H_
