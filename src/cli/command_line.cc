#include "cli/command_line.h"

#include <CLI/CLI.hpp>


namespace tessarn {

CommandLine parseCommandLine(int argc, const char* const* argv, Options* options,
                             std::string* out, std::string* error) {
  CLI::App app("Turns rectangles of indexed-colour images into 8x8 character patterns and tile "
               "maps, as the job list tessarn.txt says.",
               "tessarn");
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
               "A run that skipped any job (a rejected bitmap) exits with status 1");
  std::string messages = "sjis";
  app.add_option("--messages", messages,
                 "sjis (the default), utf-8 (the same Japanese text), or en (English)")
      ->type_name("KIND")
      ->check(CLI::IsMember({"sjis", "utf-8", "en"}));
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
  return CommandLine::kRun;
}

}  // namespace tessarn
