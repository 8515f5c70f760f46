#include "cli/tool.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "io/platform.h"
#include "outputs/output_files.h"
#include "run/run_driver.h"
#include "views/depfile.h"
#include "views/preview_images.h"
#include "views/run_report.h"

namespace tessarn {
namespace {

// Counts the jobs that were skipped, for --strict.
class SkippedJobs : public RunObserver {
 public:
  int64_t count() const { return count_; }
  void jobFinished(const JobSummary& summary, const PatternDictionary&) override {
    if (summary.failure && effectOf(summary.failure->message) == FailureEffect::kSkipsJob) ++count_;
  }
  void runFinished(const PatternDictionary&) override {}

 private:
  int64_t count_ = 0;
};

// Notes which job names the --attributes rules name that no job has.
class UnusedJobNames : public RunObserver {
 public:
  explicit UnusedJobNames(const std::vector<AttributeRule>& rules) {
    for (const AttributeRule& rule : rules) {
      if (!rule.everyJob && std::find(names_.begin(), names_.end(), rule.jobName) == names_.end()) {
        names_.push_back(rule.jobName);
      }
    }
  }
  bool empty() const { return names_.empty(); }
  // The names, in the order first given, of no job so far.
  const std::vector<std::string>& names() const { return names_; }
  void jobFinished(const JobSummary& summary, const PatternDictionary&) override {
    names_.erase(std::remove(names_.begin(), names_.end(), summary.job->name), names_.end());
  }
  void runFinished(const PatternDictionary&) override {}

 private:
  std::vector<std::string> names_;
};

// Keeps the pattern table the run wrote, in binary, for --pattern-file.
class PatternTableCopy : public RunObserver {
 public:
  const std::string& bytes() const { return bytes_; }
  void jobFinished(const JobSummary&, const PatternDictionary&) override {}
  void runFinished(const PatternDictionary& dictionary) override { bytes_ = binaryPatternTable(dictionary); }

 private:
  std::string bytes_;
};

void writeText(WriteStream* stream, const std::string& text) {
  (void)stream->write(text.data(), text.size());
}

// Writes the whole file; false if it cannot be.
bool writeFile(FileSystem* files, const std::string& name, const std::string& contents) {
  std::unique_ptr<WriteStream> stream = files->create(name);
  if (!stream) return false;
  const bool written = stream->write(contents.data(), contents.size());
  return stream->close() && written;
}

}  // namespace

bool readGivenPatterns(FileSystem* files, Options* options, std::string* error) {
  const std::string& name = options->patternsFrom;
  if (name.empty()) return true;
  FileBytes bytes;
  std::unique_ptr<RandomAccessFile> file = files->openRandomAccess(name);
  if (!file || file->readWhole(&bytes) != ReadStatus::kOk) {
    *error = "--patterns-from: cannot read " + name;
    return false;
  }
  const std::string_view table(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<Pattern>& patterns = options->patterns.startPatterns;
  if (table.empty() || !readBinaryPatternTable(table, &patterns)) {
    *error = "--patterns-from: " + name + " holds " + std::to_string(table.size()) +
             " bytes, not a whole number of 16-byte patterns";
    return false;
  }
  const MapWordLayout& layout = options->patterns.layout;
  const size_t room = static_cast<size_t>(layout.patternLimit - layout.firstPattern);
  if (patterns.size() > room) {
    *error = "--patterns-from: " + name + " holds " + std::to_string(patterns.size()) +
             " patterns; numbered from " + std::to_string(layout.firstPattern) + " below the limit " +
             std::to_string(layout.patternLimit) + ", " + std::to_string(room) + " fit";
    return false;
  }
  return true;
}

bool prepareDirectories(const Options& options, std::string* error) {
  if (!options.directory.empty() && !isDirectoryNamed(options.directory)) {
    *error = "cannot enter directory " + options.directory;
    return false;
  }
  for (const std::string& directory : {options.outputDirectory, options.previewDirectory}) {
    if (!directory.empty() && !makeDirectories(directory)) {
      *error = "cannot create directory " + directory;
      return false;
    }
  }
  return true;
}

int threadsToUse(const char* setting) {
  if (setting != nullptr && std::string(setting) == "1") return 1;
  return usableProcessors() >= 2 ? 2 : 1;
}

int runTool(const Options& options, WriteStream* console, WriteStream* errors) {
  const std::string& output_directory =
      options.outputDirectory.empty() ? options.directory : options.outputDirectory;
  DiskFileSystem disk(options.directory, output_directory);
  DependencyRecorder recorder(&disk, options.directory, output_directory);
  FileSystem* files = options.depfile.empty() ? static_cast<FileSystem*>(&disk) : &recorder;

  if (!options.patternsFrom.empty()) recorder.addPrerequisite(options.patternsFrom);

  ObserverList views;
  RunReport report(options.patterns.layout.patternLimit);
  DiskFileSystem preview_files("", options.previewDirectory);
  // For the files other options name, taken from where tessarn started.
  DiskFileSystem started_in;
  PreviewImages preview(&preview_files);
  SkippedJobs skipped;
  UnusedJobNames unused_names(options.attributes);
  PatternTableCopy pattern_table;
  if (options.report) views.add(&report);
  if (!options.previewDirectory.empty()) views.add(&preview);
  if (options.strict) views.add(&skipped);
  if (!unused_names.empty()) views.add(&unused_names);
  if (!options.patternFile.empty()) views.add(&pattern_table);
  RunSettings settings;
  settings.language = options.messages;
  settings.patterns = options.patterns;
  settings.attributes = options.attributes;
  settings.library = {options.cSource, options.symbolPrefix, &started_in};
  settings.threads = options.threads;
  // Watched only when something needs to know.
  if (!views.empty()) settings.observer = &views;

  int status = runMain(files, console, settings);
  const bool complete = status == kExitSuccess;
  if (options.strict && complete && (skipped.count() > 0 || !unused_names.names().empty())) {
    status = kExitSkipped;
  }

  if (options.report) writeText(errors, report.text());
  for (const std::string& name : unused_names.names()) {
    writeText(errors, "tessarn: --attributes names " + name + ", which no job of the run has\n");
  }
  for (const std::string& failure : preview.failures()) {
    writeText(errors, "tessarn: preview " + failure + "\n");
    status = kExitFailure;
  }
  const std::string library[] = {options.cSource + ".c", options.cSource + ".h"};
  if (!complete) {
    // A run that did not complete leaves none of these (there may be none),
    // so that a build system runs tessarn again.
    for (const std::string& name : {options.patternFile, options.depfile}) {
      if (!name.empty()) (void)started_in.remove(name);
    }
    for (const std::string& name : library) {
      if (!options.cSource.empty()) (void)started_in.remove(name);
    }
    return status;
  }
  if (!options.patternFile.empty()) {
    if (writeFile(&started_in, options.patternFile, pattern_table.bytes())) {
      recorder.addTarget(options.patternFile);
    } else {
      writeText(errors, "tessarn: cannot write the pattern file " + options.patternFile + "\n");
      status = kExitFailure;
    }
  }
  for (const std::string& name : library) {
    if (!options.cSource.empty()) recorder.addTarget(name);
  }
  if (!options.depfile.empty() && !writeFile(&started_in, options.depfile, recorder.rule())) {
    writeText(errors, "tessarn: cannot write the depfile " + options.depfile + "\n");
    status = kExitFailure;
  }
  return status;
}

}  // namespace tessarn
