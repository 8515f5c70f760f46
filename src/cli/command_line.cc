#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "outputs/c_library.h"

namespace tessarn {
namespace {

// So that the pattern table's names (the prefix and 13 more characters)
// stay well within the symbols' length.
constexpr size_t kMaxSymbolPrefix = 32;

constexpr char kExamples[] =
    "Examples:\n"
    "  tessarn -C art -o build/gfx --depfile build/gfx/tessarn.d\n"
    "  tessarn --first-pattern 256 --pattern-limit 1024   patterns 256 to 1023\n"
    "  tessarn --pattern-limit 1024 --attributes 0x0400 --attributes sky=0x0800\n"
    "                                   palette 1 in every map word, 3 in sky's\n"
    "  tessarn --mirror none --pattern-limit 4096 --attributes 0x3000\n"
    "  tessarn --pattern-file font.pat && tessarn -C title --patterns-from font.pat\n"
    "  tessarn -C art --c-source build/gfx --symbol-prefix gfx_\n"
    "                                   build/gfx.c and build/gfx.h: gfx_sky[], gfx_sky_WIDTH, ...\n";

// Reads a value given as decimal or 0x hex digits, at most `max`.
bool parseNumber(const std::string& text, uint32_t max, uint32_t* value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const size_t start = hex ? 2 : 0;
  if (text.size() == start) return false;
  uint64_t v = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (v > max) return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

bool parseOption(const char* option, const std::string& text, uint32_t min, uint32_t max,
                 uint32_t* value, std::string* error) {
  if (parseNumber(text, max, value) && *value >= min) return true;
  *error = std::string(option) + ": " + text + " is not a number from " + std::to_string(min) +
           " to " + std::to_string(max) + " (decimal or 0x hex)";
  return false;
}

std::string hex4(uint32_t bits) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(bits & 0xFFFF));
  return text;
}

// --attributes [NAME=]BITS: a name is whatever comes before the last '='.
bool parseAttributes(const std::string& text, const MapWordLayout& layout, AttributeRule* rule,
                     std::string* error) {
  const size_t equals = text.rfind('=');
  if (equals != std::string::npos) {
    rule->everyJob = false;
    rule->jobName = text.substr(0, equals);
    if (rule->jobName.empty()) {
      *error = "--attributes " + text + ": no job name before '='";
      return false;
    }
  }
  uint32_t bits = 0;
  const std::string value = equals == std::string::npos ? text : text.substr(equals + 1);
  if (!parseOption("--attributes", value, 0, 0xFFFF, &bits, error)) return false;
  rule->bits = static_cast<uint16_t>(bits);
  if (!layout.leavesRoomFor(rule->bits)) {
    *error = "--attributes " + text + ": the bits " + hex4(bits & (layout.numberBits() | layout.mirrorBits())) +
             " are taken: pattern numbers below " + std::to_string(layout.patternLimit) + " use " +
             hex4(layout.numberBits()) + ", the mirror bits " + hex4(layout.mirrorBits());
    return false;
  }
  return true;
}

// The options that fit map words to the hardware, checked alone and
// against each other.
bool readLayout(const std::string& first, const std::string& limit, const std::string& mirror,
                const std::vector<std::string>& attributes, Options* options, std::string* error) {
  MapWordLayout& layout = options->patterns.layout;
  uint32_t value = 0;
  if (!limit.empty()) {
    if (!parseOption("--pattern-limit", limit, 1, kPatternNumbers, &value, error)) return false;
    layout.patternLimit = static_cast<int>(value);
  }
  if (!first.empty()) {
    if (!parseOption("--first-pattern", first, 0, kPatternNumbers - 1, &value, error)) return false;
    layout.firstPattern = static_cast<int>(value);
  }
  if (layout.firstPattern >= layout.patternLimit) {
    *error = "--first-pattern " + std::to_string(layout.firstPattern) + " is not below the pattern limit " +
             std::to_string(layout.patternLimit);
    return false;
  }
  layout.mirror = mirror == "lr"     ? MirrorMode::kLeftRight
                  : mirror == "tb"   ? MirrorMode::kTopBottom
                  : mirror == "none" ? MirrorMode::kNone
                                     : MirrorMode::kBoth;
  for (const std::string& text : attributes) {
    AttributeRule rule;
    if (!parseAttributes(text, layout, &rule, error)) return false;
    options->attributes.push_back(rule);
  }
  return true;
}

// --c-source BASE and --symbol-prefix P: BASE.c must be able to include
// BASE.h by its name, and P must start every symbol as a C identifier does.
bool checkLibraryNames(const Options& options, std::string* error) {
  const std::string stem = fileStemOf(options.cSource);
  const bool includable = std::all_of(stem.begin(), stem.end(), [](char c) {
    return c != '"' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
  });
  if (!options.cSource.empty() && (stem.empty() || !includable)) {
    *error = "--c-source " + options.cSource + ": not a file name a C file can #include";
    return false;
  }
  const std::string& prefix = options.symbolPrefix;
  const bool identifier =
      !prefix.empty() && std::isalpha(static_cast<unsigned char>(prefix[0])) &&
      std::all_of(prefix.begin(), prefix.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
  if (!options.symbolPrefix.empty() && (!identifier || prefix.size() > kMaxSymbolPrefix)) {
    *error = "--symbol-prefix " + prefix + ": not a C identifier that starts with a letter, of at most " +
             std::to_string(kMaxSymbolPrefix) + " characters";
    return false;
  }
  return true;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* out, std::string* error) {
  CLI::App app("Turns rectangles of indexed-colour images into 8x8 character patterns and tile "
               "maps, as the job list tessarn.txt says.",
               "tessarn");
  app.footer(kExamples);
  app.add_option("-C,--directory", options->directory,
                 "Run in DIR: the job list, the bitmaps and (unless -o) the outputs are there")
      ->type_name("DIR");
  app.add_option("-o,--output-dir", options->outputDirectory,
                 "Write output.txt and the binary outputs in DIR (names relative to it)")
      ->type_name("DIR");
  app.add_option("--depfile", options->depfile,
                 "After a complete run, write a Make-style dependency rule to FILE")
      ->type_name("FILE");
  app.add_option("--preview", options->previewDirectory, "Also draw the run as PNG images in DIR")
      ->type_name("DIR");
  app.add_flag("--report", options->report,
               "After the run, print a summary of every job on standard error");
  app.add_flag("--strict", options->strict,
               "A run that skipped any job (a rejected bitmap), or whose --attributes name no job, "
               "exits with status 1");
  std::string messages = "sjis";
  app.add_option("--messages", messages,
                 "sjis (the default), utf-8 (the same Japanese text), or en (English)")
      ->type_name("KIND")
      ->check(CLI::IsMember({"sjis", "utf-8", "en"}));
  std::string first, limit, mirror = "both";
  std::vector<std::string> attributes;
  app.add_option("--first-pattern", first, "Number the run's patterns from N (default 0)")
      ->type_name("N");
  app.add_option("--pattern-limit", limit,
                 "No pattern may be numbered L or higher, 1 to 16384 (default 16384)")
      ->type_name("L");
  app.add_option("--attributes", attributes,
                 "OR BITS into every map word, or into those of the jobs named NAME; repeatable")
      ->type_name("[NAME=]BITS")
      ->allow_extra_args(false);
  app.add_option("--mirror", mirror,
                 "Which mirror images count as the same pattern: both (the default), lr, tb or none")
      ->type_name("KIND")
      ->check(CLI::IsMember({"both", "lr", "tb", "none"}));
  app.add_flag("--keep-duplicates", options->patterns.keepDuplicates,
               "Make every tile a new pattern: no sharing at all");
  app.add_option("--patterns-from", options->patternsFrom,
                 "Start with the patterns of FILE (a binary pattern table) instead of the blank one")
      ->type_name("FILE");
  app.add_option("--pattern-file", options->patternFile,
                 "After a complete run, write the patterns it added to FILE, as a binary table")
      ->type_name("FILE");
  CLI::Option* c_source =
      app.add_option("--c-source", options->cSource,
                     "After a complete run, also write BASE.c and BASE.h: the maps and patterns as a C library")
          ->type_name("BASE");
  app.add_option("--symbol-prefix", options->symbolPrefix, "Start every symbol of --c-source's files with P")
      ->type_name("P")
      ->needs(c_source);
  app.set_version_flag("--version", "tessarn " TESSARN_VERSION, "Print the version and exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *out = app.help();
    return CommandLine::kDone;
  } catch (const CLI::CallForVersion&) {
    *out = "tessarn " TESSARN_VERSION "\n";
    return CommandLine::kDone;
  } catch (const CLI::ParseError& e) {
    *error = e.what();
    return CommandLine::kUsageError;
  }
  options->messages = messages == "en"      ? MessageLanguage::kEnglish
                      : messages == "utf-8" ? MessageLanguage::kUtf8
                                            : MessageLanguage::kShiftJis;
  if (!readLayout(first, limit, mirror, attributes, options, error) || !checkLibraryNames(*options, error)) {
    return CommandLine::kUsageError;
  }
  return CommandLine::kRun;
}

}  // namespace tessarn
