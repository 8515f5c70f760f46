#include "cli/tool.h"

#include <memory>
#include <vector>

#include "io/platform.h"
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
  bool wantsMapWords(int64_t) const override { return false; }
  void jobFinished(const JobSummary& summary, const PatternDictionary&) override {
    if (summary.failure != nullptr && effectOf(summary.failure->message) == FailureEffect::kSkipsJob) ++count_;
  }
  void runFinished(const PatternDictionary&) override {}

 private:
  int64_t count_ = 0;
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

int runTool(const Options& options, WriteStream* console, WriteStream* errors) {
  const std::string& output_directory =
      options.outputDirectory.empty() ? options.directory : options.outputDirectory;
  DiskFileSystem disk(options.directory, output_directory);
  DependencyRecorder recorder(&disk, options.directory, output_directory);
  FileSystem* files = options.depfile.empty() ? static_cast<FileSystem*>(&disk) : &recorder;

  ObserverList views;
  RunReport report;
  DiskFileSystem preview_files("", options.previewDirectory);
  DiskFileSystem started_in;  // for the depfile, named from where tessarn started
  PreviewImages preview(&preview_files);
  SkippedJobs skipped;
  if (options.report) views.add(&report);
  if (!options.previewDirectory.empty()) views.add(&preview);
  if (options.strict) views.add(&skipped);
  RunSettings settings;
  settings.language = options.messages;
  // Watched only when something needs to know.
  if (!views.empty()) settings.observer = &views;

  int status = runMain(files, console, settings);
  if (options.strict && status == kExitSuccess && skipped.count() > 0) status = kExitSkipped;
  const bool complete = status == kExitSuccess || status == kExitSkipped;

  if (options.report) writeText(errors, report.text());
  for (const std::string& failure : preview.failures()) {
    writeText(errors, "tessarn: preview " + failure + "\n");
    status = kExitFailure;
  }
  if (!options.depfile.empty()) {
    if (!complete) {
      // So that a build system runs tessarn again. (There may be none.)
      (void)started_in.remove(options.depfile);
    } else if (!writeFile(&started_in, options.depfile, recorder.rule())) {
      writeText(errors, "tessarn: cannot write the depfile " + options.depfile + "\n");
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace tessarn
