#include "cli/configured_run.h"

#include "cli/after_run.h"
#include "outputs/c_names.h"
#include "outputs/pattern_file.h"
#include "run/run_driver.h"
#include "views/depfile.h"
#include "views/preview_images.h"
#include "views/run_report.h"
#include "views/run_verdict.h"

namespace tessarn {
namespace {

void writeText(WriteStream* stream, const std::string& text) { (void)stream->write(text.data(), text.size()); }

// The names the per-job options give, with the option that gives each.
std::vector<NamedJob> namesGiven(const Options& options) {
  std::vector<NamedJob> names;
  for (const auto& [option, rules] : {std::pair{"--attributes", &options.attributes}, {"--palette", &options.palettes}}) {
    for (const JobRule& rule : *rules) {
      if (!rule.everyJob) names.push_back({option, rule.jobName});
    }
  }
  return names;
}

// The folder part of --c-source's BASE, if it has one.
std::string libraryDirectory(const std::string& base) {
  const std::string stem = fileStemOf(base);
  return base.substr(0, base.size() - stem.size());
}

// Checks that -C names a directory, and makes the other directories the
// options name if they are missing. False, with `*error` set, if that
// cannot be done.
bool prepareDirectories(const Options& options, FileSystem* files, std::string* error) {
  if (!options.directory.empty() && !files->isDirectory(options.directory)) {
    *error = "-C " + options.directory + ": cannot enter the directory";
    return false;
  }
  const std::pair<const char*, std::string> made[] = {{"-o", options.outputDirectory},
                                                      {"--preview", options.previewDirectory},
                                                      {"--c-source", libraryDirectory(options.cSource)}};
  for (const auto& [option, directory] : made) {
    if (!directory.empty() && !files->makeDirectories(directory)) {
      *error = std::string(option) + " " + directory + ": cannot create the directory";
      return false;
    }
  }
  return true;
}

}  // namespace

std::string usageErrorText(const std::string& error) {
  return "tessarn: " + error + "\nRun 'tessarn --help' for the options.\n";
}

int runConfigured(const Options& options, const RunConditions& conditions, FileSystem* files, WriteStream* console,
                  WriteStream* errors) {
  // Every file the run reads or creates is recorded for the depfile (the
  // preview images are not): names from the command line as they are,
  // names from the job list taken in -C and written in -o.
  Dependencies dependencies;
  DependencyRecorder recorded(files, &dependencies);
  const std::string& output_directory = options.outputDirectory.empty() ? options.directory : options.outputDirectory;
  DirectoryView job_files(&recorded, options.directory, output_directory);
  DirectoryView preview_files(files, "", options.previewDirectory);

  RunSettings settings;
  std::string error;
  if (!readPatternFiles(&recorded, options.patternsFrom, *options.target, options.patterns.layout,
                        &settings.patterns.startPatterns, &error) ||
      !prepareDirectories(options, files, &error)) {
    writeText(errors, usageErrorText(error));
    return kExitUsage;
  }
  settings.language = options.messages;
  settings.target = options.target;
  settings.colours = options.colours;
  settings.paletteFormat = options.paletteFormat;
  settings.autoFormat = options.paletteFormat;
  settings.transparent = options.transparent;
  settings.autoPalettes = options.autoPalettes;
  settings.patterns.layout = options.patterns.layout;
  settings.patterns.keepDuplicates = options.patterns.keepDuplicates;
  settings.patterns.bitsPerPixel = options.target->bitsPerPixel;
  settings.attributes = options.attributes;
  settings.palettes = options.palettes;
  settings.library = {options.cSource, options.symbolPrefix, &recorded};
  settings.threads = conditions.threads;
  settings.rowBudget = conditions.rowBudget;
  settings.threadBytes = conditions.threadBytes;

  // Warnings are in the report, if there is one; else on their own lines.
  const bool warnings_apart = !options.report && (options.strict || conditions.warnOnStandardError);
  ObserverList views;
  RunReport report(*options.target, options.patterns.layout.patternLimit);
  PreviewImages preview(&preview_files, options.colours, options.paletteFormat);
  RunVerdict verdict(namesGiven(options), options.strict || warnings_apart);
  AfterRunFiles after_run(options, &recorded, &dependencies);
  if (options.report) views.add(&report);
  if (!options.previewDirectory.empty()) views.add(&preview);
  if (options.strict || warnings_apart || !verdict.unusedNames().empty()) views.add(&verdict);
  if (after_run.watches()) views.add(&after_run);
  // Watched only when something needs to know.
  if (!views.empty()) settings.observer = &views;

  int status = verdict.exitStatus(runMain(&job_files, console, settings), options.strict);
  if (options.report) writeText(errors, report.text());
  if (warnings_apart) {
    for (const std::string& warning : verdict.warnings()) writeText(errors, "tessarn: warning: " + warning + "\n");
  }
  for (const NamedJob& named : verdict.unusedNames()) {
    writeText(errors, "tessarn: " + named.option + " names " + named.name + ", which no job of the run has\n");
  }
  for (const std::string& failure : preview.failures()) {
    writeText(errors, "tessarn: preview " + failure + "\n");
    status = kExitFailure;
  }
  return after_run.finish(status, errors);
}

}  // namespace tessarn
