#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "outputs/c_names.h"
#include "target/map_entry.h"

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

// Every option tessarn has, for the checks CLI11 does not make in our words.
struct OptionName {
  const char* shortName;  // "" if none
  const char* longName;
  const char* value;      // what its value is, or null for a flag
};

constexpr OptionName kOptionNames[] = {
    {"-h", "--help", nullptr},
    {"-C", "--directory", "DIR"},
    {"-o", "--output-dir", "DIR"},
    {"", "--depfile", "FILE"},
    {"", "--preview", "DIR"},
    {"", "--report", nullptr},
    {"", "--strict", nullptr},
    {"", "--messages", "KIND"},
    {"", "--target", "NAME"},
    {"", "--colours", "KIND"},
    {"", "--palette", "[NAME=]N"},
    {"", "--palettes", nullptr},
    {"", "--colour-format", "NAME"},
    {"", "--palette-file", "FILE"},
    {"", "--transparent", "RRGGBB"},
    {"", "--palette-count", "N"},
    {"", "--first-pattern", "N"},
    {"", "--pattern-limit", "L"},
    {"", "--attributes", "[NAME=]BITS"},
    {"", "--mirror", "KIND"},
    {"", "--keep-duplicates", nullptr},
    {"", "--patterns-from", "FILE"},
    {"", "--pattern-file", "FILE"},
    {"", "--c-source", "BASE"},
    {"", "--symbol-prefix", "P"},
    {"", "--version", nullptr},
};

const OptionName* findOption(std::string_view argument) {
  for (const OptionName& option : kOptionNames) {
    if (argument == option.longName || (*option.shortName != '\0' && argument == option.shortName)) return &option;
  }
  return nullptr;
}

// Levenshtein distance, for the nearest known option to an unknown one.
size_t editDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string nearestOption(std::string_view unknown) {
  const OptionName* nearest = &kOptionNames[0];
  for (const OptionName& option : kOptionNames) {
    if (editDistance(unknown, option.longName) < editDistance(unknown, nearest->longName)) nearest = &option;
  }
  return nearest->longName;
}

// What CLI11 would take in its own words, found first in ours: a value
// missing at the end or after '=', a value given to a flag.
bool checkArgumentForms(int argc, const char* const* argv, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const size_t equals = argument.find('=');
    const bool long_form = argument.starts_with("--") && equals != std::string_view::npos;
    const OptionName* option = findOption(long_form ? argument.substr(0, equals) : argument);
    if (option == nullptr) continue;
    if (long_form && option->value == nullptr) {
      *error = std::string(option->longName) + " takes no value (given " + std::string(argument.substr(equals + 1)) + ")";
      return false;
    }
    const bool last = i + 1 == argc;
    if (option->value != nullptr && ((long_form && equals + 1 == argument.size()) || (!long_form && last))) {
      *error = std::string(option->longName) + " needs a value: " + option->value;
      return false;
    }
    if (!long_form && option->value != nullptr) ++i;  // its value, whatever it looks like
  }
  return true;
}

// What is left once the options are taken: an unknown option or a stray
// argument, the first of them.
bool checkNothingLeft(const std::vector<std::string>& left, std::string* error) {
  if (left.empty()) return true;
  const std::string& first = left.front();
  if (first.starts_with("-") && first != "-" && first != "--") {
    const std::string name = first.substr(0, first.find('='));
    *error = "unknown option " + name + "; did you mean " + nearestOption(name) + "?";
  } else {
    const std::string& stray = first == "--" && left.size() > 1 ? left[1] : first;
    *error = "unexpected argument " + stray + ": tessarn takes only options (its jobs are in tessarn.txt)";
  }
  return false;
}

// An option that may be given once: its value, if given.
bool single(const char* option, const std::vector<std::string>& values, std::string* value, std::string* error) {
  if (values.size() > 1) {
    *error = std::string(option) + " given " + std::to_string(values.size()) + " times (" + values[0] + ", " +
             values[1] + (values.size() > 2 ? ", ..." : "") + "): give it once";
    return false;
  }
  if (!values.empty()) *value = values[0];
  return true;
}

// The value the `choices` pair with `text`, each choice's name beside its
// value.
template <typename T>
bool choose(const char* option, const std::string& text,
            std::initializer_list<std::pair<const char*, T>> choices, T* value, std::string* error) {
  std::string allowed;
  for (const auto& [name, choice] : choices) {
    if (text == name) {
      *value = choice;
      return true;
    }
    allowed += (allowed.empty() ? "" : ", ") + std::string(name);
  }
  *error = std::string(option) + " " + text + ": not one of " + allowed;
  return false;
}

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

// [NAME=]VALUE, for --attributes and --palette: a name is whatever comes
// before the last '='.
bool parseJobRule(const char* option, const std::string& text, uint32_t max, JobRule* rule, std::string* error) {
  const size_t equals = text.rfind('=');
  if (equals != std::string::npos) {
    rule->everyJob = false;
    rule->jobName = text.substr(0, equals);
    if (rule->jobName.empty()) {
      *error = std::string(option) + " " + text + ": no job name before '='";
      return false;
    }
  }
  uint32_t value = 0;
  const std::string number = equals == std::string::npos ? text : text.substr(equals + 1);
  if (!parseOption(option, number, 0, max, &value, error)) return false;
  rule->value = static_cast<uint16_t>(value);
  return true;
}

// The attribute bits must be bits no entry's other fields use (classic:
// lowering the pattern limit frees bits, so the taken ones are named). 0
// sets no bit, so it fits every target's entries.
bool checkAttributes(const std::string& text, const JobRule& rule, const Target& target, const EntryFormat& entries,
                     int limit, std::string* error) {
  if (rule.value == 0) return true;
  if (!target.isClassic() && entries.freeBits() == 0) {
    *error = "--attributes " + text + ": the target " + target.name + " leaves no bit of its map entries for them";
    return false;
  }
  if ((rule.value & ~entries.freeBits() & (target.byteEntries() ? 0xFF00 : 0)) != 0) {
    *error = "--attributes " + text + ": the target " + target.name + "'s attributes are bits of its attribute byte, " +
             "0 to 0xFF";
    return false;
  }
  if ((rule.value & entries.takenBits()) == 0) return true;
  *error = "--attributes " + text + ": the bits " + hex4(rule.value & entries.takenBits()) +
           " are taken: pattern numbers below " + std::to_string(limit) + " use " + hex4(entries.numberBits()) +
           ", the mirror bits " + hex4(entries.mirrorBits()) +
           (target.hasPaletteField() && entries.paletteBits() != 0 ? ", the palette field " + hex4(entries.paletteBits())
                                                                     : "");
  return false;
}

// The values as the command line gave them, before they are checked.
struct Given {
  bool writePalettes = false;
  std::vector<std::string> directory, outputDirectory, depfile, preview, messages, target, colours, palettes;
  std::vector<std::string> colourFormat, paletteFile, transparent, paletteCount;
  std::vector<std::string> first, limit, attributes, mirror, patternsFrom, patternFile, cSource, symbolPrefix;
};

// Whether palettes are written, and in which format: the target's own, or
// --colour-format's. Full-colour art always writes the run's palettes, and
// its pixels' colours are values in this format.
bool readPaletteFormat(const Given& given, Options* options, std::string* error) {
  std::string format;
  if (!single("--colour-format", given.colourFormat, &format, error) ||
      !single("--palette-file", given.paletteFile, &options->paletteFile, error)) {
    return false;
  }
  ColourFormat chosen = options->target->colourFormat;
  if (!format.empty() && !findColourFormat(format, &chosen)) {
    *error = "--colour-format " + format + ": not rgb888 or one of the targets but classic";
    return false;
  }
  const bool writes = given.writePalettes || !options->paletteFile.empty();
  if (!writes && options->colours != ColourMode::kAuto) return true;
  if (chosen == ColourFormat::kNone && !writes) chosen = ColourFormat::kRgb888;  // classic's art, unasked
  if (chosen == ColourFormat::kNone) {
    *error = std::string(given.writePalettes ? "--palettes" : "--palette-file " + options->paletteFile) +
             ": the target classic has no colour format of its own: name one with --colour-format";
    return false;
  }
  options->paletteFormat = chosen;
  return true;
}

// Full-colour art: the transparent colour and the palettes' count.
bool readFullColour(const Given& given, Options* options, std::string* error) {
  const Target& target = *options->target;
  std::string transparent, count;
  if (!single("--transparent", given.transparent, &transparent, error) ||
      !single("--palette-count", given.paletteCount, &count, error)) {
    return false;
  }
  const bool full_colour = options->colours == ColourMode::kAuto;
  for (const auto& [option, value] : {std::pair{"--transparent", &transparent}, {"--palette-count", &count}}) {
    if (!value->empty() && !full_colour) {
      *error = std::string(option) + " " + *value + ": only for full-colour art (--colours auto)";
      return false;
    }
  }
  uint32_t rgb = 0;
  if (!transparent.empty()) {
    if (transparent.size() != 6 || !parseNumber("0x" + transparent, 0xFFFFFF, &rgb)) {
      *error = "--transparent " + transparent + ": not a colour RRGGBB of six hex digits";
      return false;
    }
    options->transparent = Rgb{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8), static_cast<uint8_t>(rgb)};
  }
  options->autoPalettes = target.hasPaletteField() ? target.paletteCount() : 1;
  if (target.isClassic()) options->autoPalettes = 8;
  if (!count.empty()) {
    if (!target.isClassic()) {
      *error = "--palette-count " + count + ": the target " + target.name + " has " +
               std::to_string(options->autoPalettes) + " palettes of its own";
      return false;
    }
    uint32_t value = 0;
    if (!parseOption("--palette-count", count, 1, 64, &value, error)) return false;
    options->autoPalettes = static_cast<int>(value);
  }
  return true;
}

// The target and its colours.
bool readTarget(const Given& given, Options* options, std::string* error) {
  std::string target, colours;
  if (!single("--target", given.target, &target, error) || !single("--colours", given.colours, &colours, error)) {
    return false;
  }
  if (!target.empty()) {
    options->target = findTarget(target);
    if (options->target == nullptr) {
      *error = "--target " + target + ": not one of " + targetNames();
      return false;
    }
  }
  options->colours = ColourMode::kMapped;
  if (!colours.empty() &&
      !choose<ColourMode>("--colours", colours,
                          {{"mapped", ColourMode::kMapped}, {"direct", ColourMode::kDirect}, {"auto", ColourMode::kAuto}},
                          &options->colours, error)) {
    return false;
  }
  return readPaletteFormat(given, options, error) && readFullColour(given, options, error);
}

// The options that fit map entries to the hardware, checked alone and
// against each other and the target.
bool readLayout(const Given& given, Options* options, std::string* error) {
  const Target& target = *options->target;
  MapWordLayout& layout = options->patterns.layout;
  layout.patternLimit = target.patternLimit;
  std::string first, limit, mirror;
  uint32_t value = 0;
  if (!single("--pattern-limit", given.limit, &limit, error) || !single("--first-pattern", given.first, &first, error) ||
      !single("--mirror", given.mirror, &mirror, error)) {
    return false;
  }
  if (!limit.empty()) {
    if (!parseOption("--pattern-limit", limit, 1, static_cast<uint32_t>(target.patternLimit), &value, error)) {
      return false;
    }
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
  layout.mirror = target.canMirror() ? MirrorMode::kBoth : MirrorMode::kNone;
  if (!mirror.empty() && !choose<MirrorMode>("--mirror", mirror,
                                             {{"both", MirrorMode::kBoth},
                                              {"lr", MirrorMode::kLeftRight},
                                              {"tb", MirrorMode::kTopBottom},
                                              {"none", MirrorMode::kNone}},
                                             &layout.mirror, error)) {
    return false;
  }
  if (!target.canMirror() && layout.mirror != MirrorMode::kNone) {
    *error = "--mirror " + mirror + ": the target " + target.name + " cannot mirror (only none)";
    return false;
  }
  const EntryFormat entries(target, layout);
  for (const std::string& text : given.attributes) {
    JobRule rule;
    if (!parseJobRule("--attributes", text, 0xFFFF, &rule, error) ||
        !checkAttributes(text, rule, target, entries, layout.patternLimit, error)) {
      return false;
    }
    options->attributes.push_back(rule);
  }
  for (const std::string& text : given.palettes) {
    if (!target.hasPaletteField()) {
      *error = "--palette " + text + ": the target " + target.name + " has no palette field";
      return false;
    }
    JobRule rule;
    if (!parseJobRule("--palette", text, static_cast<uint32_t>(target.paletteCount() - 1), &rule, error)) return false;
    options->palettes.push_back(rule);
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
  if (prefix.empty()) return true;
  if (options.cSource.empty()) {
    *error = "--symbol-prefix " + prefix + ": needs --c-source, whose symbols it starts";
    return false;
  }
  if (!isCIdentifier(prefix) || !isAsciiLetter(prefix[0]) || prefix.size() > kMaxSymbolPrefix) {
    *error = "--symbol-prefix " + prefix + ": not a C identifier that starts with a letter, of at most " +
             std::to_string(kMaxSymbolPrefix) + " characters";
    return false;
  }
  return true;
}

// The messages' language: --messages, or TESSARN_MESSAGES, or what the
// terminal takes.
bool readLanguage(const Given& given, const Surroundings& surroundings, Options* options, std::string* error) {
  const std::initializer_list<std::pair<const char*, MessageLanguage>> languages = {
      {"sjis", MessageLanguage::kShiftJis}, {"utf-8", MessageLanguage::kUtf8}, {"en", MessageLanguage::kEnglish}};
  std::string messages;
  if (!single("--messages", given.messages, &messages, error)) return false;
  options->messages = surroundings.utf8Terminal ? MessageLanguage::kUtf8 : MessageLanguage::kShiftJis;
  if (!messages.empty()) return choose("--messages", messages, languages, &options->messages, error);
  return surroundings.messagesVariable == nullptr ||
         choose("TESSARN_MESSAGES", surroundings.messagesVariable, languages, &options->messages, error);
}

bool readValues(const Given& given, const Surroundings& surroundings, Options* options, std::string* error) {
  options->patternsFrom = given.patternsFrom;
  return single("--directory", given.directory, &options->directory, error) &&
         single("--output-dir", given.outputDirectory, &options->outputDirectory, error) &&
         single("--depfile", given.depfile, &options->depfile, error) &&
         single("--preview", given.preview, &options->previewDirectory, error) &&
         single("--pattern-file", given.patternFile, &options->patternFile, error) &&
         single("--c-source", given.cSource, &options->cSource, error) &&
         single("--symbol-prefix", given.symbolPrefix, &options->symbolPrefix, error) &&
         readLanguage(given, surroundings, options, error) && readTarget(given, options, error) &&
         readLayout(given, options, error) &&
         checkLibraryNames(*options, error);
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv, const Surroundings& surroundings,
                             Options* options, std::string* out, std::string* error) {
  CLI::App app("Turns rectangles of indexed-colour images into 8x8 character patterns and tile "
               "maps, as the job list tessarn.txt says.",
               "tessarn");
  app.footer(kExamples);
  app.allow_extras();
  Given given;
  // Every value is taken as text, as often as given; the checks that
  // follow are ours.
  const auto add = [&](const char* names, std::vector<std::string>* values, const char* value_name,
                       const char* description) {
    app.add_option(names, *values, description)
        ->type_name(value_name)
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  };
  add("-C,--directory", &given.directory, "DIR",
      "Run in DIR: the job list, the bitmaps and (unless -o) the outputs are there");
  add("-o,--output-dir", &given.outputDirectory, "DIR",
      "Write output.txt and the binary outputs in DIR (names relative to it)");
  add("--depfile", &given.depfile, "FILE", "After a complete run, write a Make-style dependency rule to FILE");
  add("--preview", &given.preview, "DIR", "Also draw the run as PNG images in DIR");
  app.add_flag("--report", options->report,
               "After the run, print a summary of every job, and any warnings, on standard error");
  app.add_flag("--strict", options->strict,
               "A run that skipped a job (a rejected bitmap), had a warning, or whose --attributes name no "
               "job, exits with status 1; warnings go to standard error");
  add("--messages", &given.messages, "KIND",
      "sjis, utf-8 (the same Japanese text) or en (English); by default TESSARN_MESSAGES, or utf-8 on a "
      "UTF-8 terminal, or sjis");
  add("--target", &given.target, "NAME",
      ("The machine whose patterns, map entries and limits to write: " + targetNames() +
       " (default classic: two bit planes, 16-bit words)").c_str());
  add("--colours", &given.colours, "KIND",
      "mapped (default: the job's four colour indices become colours 0-3), direct (an index's colour is it "
      "modulo 2^bits, its palette the rest) or auto (full-colour art: the run chooses the palettes)");
  add("--palette", &given.palettes, "[NAME=]N",
      "Palette N in the map entries of every job, or of the jobs named NAME (direct colours: of tiles of "
      "colour 0 only); repeatable");
  app.add_flag("--palettes", given.writePalettes,
               "Write each job's palettes after its map, in the target's colour format");
  add("--colour-format", &given.colourFormat, "NAME",
      "The colour format of the palettes: a target's (snes-4bpp, md, pce, gg, sms, gb, nes, ...) or rgb888; "
      "classic has none of its own");
  add("--palette-file", &given.paletteFile, "FILE",
      "After a complete run, write every job's palettes to FILE, in binary (implies --palettes)");
  add("--transparent", &given.transparent, "RRGGBB",
      "Full-colour art: pixels of this colour are colour 0 of every palette, as pixels of alpha 0 are");
  add("--palette-count", &given.paletteCount, "N",
      "Full-colour art under classic: at most N palettes of 3 colours and colour 0 (default 8)");
  add("--first-pattern", &given.first, "N", "Number the run's patterns from N (default 0)");
  add("--pattern-limit", &given.limit, "L",
      ("No pattern may be numbered L or higher: 1 to the target's limit (the default; classic's is " +
       std::to_string(kPatternNumbers) + ")").c_str());
  add("--attributes", &given.attributes, "[NAME=]BITS",
      "OR BITS into every map entry, or into those of the jobs named NAME; repeatable");
  add("--mirror", &given.mirror, "KIND",
      "Which mirror images count as the same pattern: both, lr, tb or none (default: both where the target "
      "mirrors, else none)");
  app.add_flag("--keep-duplicates", options->patterns.keepDuplicates,
               "Make every tile a new pattern: no sharing at all");
  add("--patterns-from", &given.patternsFrom, "FILE",
      "Start with the patterns of FILE (a binary pattern table) instead of the blank one; repeatable, "
      "the files' patterns in order");
  add("--pattern-file", &given.patternFile, "FILE",
      "After a complete run, write the patterns it added to FILE, as a binary table");
  add("--c-source", &given.cSource, "BASE",
      "Also write BASE.c and BASE.h (complete after a complete run): the maps and patterns as a C library");
  add("--symbol-prefix", &given.symbolPrefix, "P", "Start every symbol of --c-source's files with P");
  app.set_version_flag("--version", "tessarn " TESSARN_VERSION, "Print the version and exit");
  if (!checkArgumentForms(argc, argv, error)) return CommandLine::kUsageError;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    *out = app.help();
    return CommandLine::kDone;
  } catch (const CLI::CallForVersion&) {
    *out = "tessarn " TESSARN_VERSION "\n";
    return CommandLine::kDone;
  } catch (const CLI::ParseError& e) {
    // Not reached by any command line we know of: the forms CLI11 refuses
    // are checked above.
    *error = std::string("cannot read the options: ") + e.what();
    return CommandLine::kUsageError;
  }
  if (!checkNothingLeft(app.remaining(), error) || !readValues(given, surroundings, options, error)) {
    return CommandLine::kUsageError;
  }
  return CommandLine::kRun;
}

}  // namespace tessarn
