#include "cli/after_run.h"

#include <memory>

#include "outputs/buffered_output.h"
#include "outputs/output_files.h"
#include "outputs/pattern_file.h"
#include "run/exit_status.h"
#include "target/colour_format.h"

namespace tessarn {
namespace {

bool complete(int status) { return status == kExitSuccess || status == kExitSkipped; }

void writeLine(WriteStream* stream, const std::string& line) {
  const std::string text = "tessarn: " + line + "\n";
  (void)stream->write(text.data(), text.size());
}

}  // namespace

AfterRunFiles::AfterRunFiles(const Options& options, FileSystem* files, const Dependencies* dependencies)
    : files_(files),
      dependencies_(dependencies),
      target_(*options.target),
      patternFile_(options.patternFile),
      paletteFile_(options.paletteFile),
      paletteFormat_(options.paletteFormat),
      depfile_(options.depfile) {
  if (!options.cSource.empty()) library_ = {options.cSource + ".c", options.cSource + ".h"};
}

void AfterRunFiles::jobFinished(const JobSummary& summary, const PatternDictionary&) {
  if (paletteFile_.empty()) return;
  for (const std::vector<uint32_t>& palette : summary.palettes) {
    appendValues(&paletteTable_, paletteValues(paletteFormat_, palette), paletteValueForm(paletteFormat_));
  }
}

void AfterRunFiles::palettesChosen(const ChosenPalettes& chosen) { runPalettes_ = chosen.palettes; }

void AfterRunFiles::runFinished(const PatternDictionary& dictionary) {
  if (!patternFile_.empty()) patternTable_ = binaryPatternTable(target_, dictionary);
  for (const std::vector<uint32_t>& palette : runPalettes_) {
    appendValues(&paletteTable_, paletteValues(paletteFormat_, palette), paletteValueForm(paletteFormat_));
  }
}

bool AfterRunFiles::writeFile(const std::string& name, const std::string& contents) {
  std::unique_ptr<WriteStream> stream = files_->create(name);
  if (!stream) return false;
  const bool written = stream->write(contents.data(), contents.size());
  return stream->close() && written;
}

int AfterRunFiles::finish(int status, WriteStream* errors) {
  if (complete(status) && !patternFile_.empty() && !writeFile(patternFile_, patternTable_)) {
    writeLine(errors, "cannot write the pattern file " + patternFile_);
    status = kExitFailure;
  }
  if (complete(status) && !paletteFile_.empty() && !writeFile(paletteFile_, paletteTable_)) {
    writeLine(errors, "cannot write the palette file " + paletteFile_);
    status = kExitFailure;
  }
  if (complete(status) && !depfile_.empty() && !writeFile(depfile_, dependencies_->rule())) {
    writeLine(errors, "cannot write the depfile " + depfile_);
    status = kExitFailure;
  }
  if (!complete(status)) {
    // There may be none of them: nothing to say if so.
    for (const std::string& name : library_) (void)files_->remove(name);
    for (const std::string* name : {&patternFile_, &paletteFile_, &depfile_}) {
      if (!name->empty()) (void)files_->remove(*name);
    }
  }
  return status;
}

}  // namespace tessarn
