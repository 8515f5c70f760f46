#include "run/run_driver.h"

#include <algorithm>
#include <memory>
#include <vector>
#include <new>

#include "bitmap/bitmap_image.h"
#include "bitmap/png_image.h"
#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

constexpr char kJobListName[] = "tessarn.txt";

bool namesBinaryOutput(const std::string& name) {
  return name.find(".bin") != std::string::npos;
}

// Ends the run early: what was written stays, with no pattern table.
int endEarly(RunState* run) {
  run->outputs.closeOutputs();
  return kExitFailure;
}

int runJobs(RunState* run, JobListReader* reader) {
  if (!run->outputs.createTextOutput()) return kExitFailure;
  while (reader->readJob(&run->job) != JobListReader::kEndOfInput) {
    if (namesBinaryOutput(run->job.name) && !run->outputs.createBinaryOutput(run->job.name)) {
      return endEarly(run);
    }
    if (convertJob(run) == JobOutcome::kRunEnds) return endEarly(run);
  }
  run->outputs.writePatternTable(run->dictionary);
  return run->outputs.closeOutputs() ? kExitSuccess : kExitFailure;
}

}  // namespace

namespace {

// Writes map words straight to the outputs.
class OutputSink : public MapWordSink {
 public:
  explicit OutputSink(OutputFiles* outputs) : outputs_(outputs) {}
  void beginRow() override { outputs_->beginMapRow(); }
  void writeWords(const uint16_t* words, int count) override {
    outputs_->writeMapWords(words, count);
  }
  void endRow() override { outputs_->endMapRow(); }

 private:
  OutputFiles* outputs_;
};

// Keeps a job's map words until it is known whether they may be written.
class RecordingSink : public MapWordSink {
 public:
  void beginRow() override { ++rowsBegun_; }
  void writeWords(const uint16_t* words, int count) override {
    words_.insert(words_.end(), words, words + count);
  }
  void endRow() override { ++rowsEnded_; }

  // Writes what was recorded, rows of `tiles_wide` words.
  void replay(int64_t tiles_wide, MapWordSink* sink) const {
    size_t at = 0;
    for (int64_t row = 0; row < rowsBegun_; ++row) {
      sink->beginRow();
      const size_t end = at + std::min<size_t>(static_cast<size_t>(tiles_wide), words_.size() - at);
      while (at < end) {
        const int count = static_cast<int>(std::min<size_t>(BufferedOutput::kMaxWords, end - at));
        sink->writeWords(words_.data() + at, count);
        at += static_cast<size_t>(count);
      }
      if (row < rowsEnded_) sink->endRow();
    }
  }

 private:
  std::vector<uint16_t> words_;
  int64_t rowsBegun_ = 0;
  int64_t rowsEnded_ = 0;
};

Rectangle rectangleOf(const JobRecord& job) { return {job.x, job.y, job.width, job.height}; }

// Skips the job with the message for `problem`, or ends the run when memory
// ran out.
JobOutcome reject(RunState* run, ImageProblem problem) {
  const std::string& name = run->job.bitmapName;
  switch (problem) {
    case ImageProblem::kNone:
      break;
    case ImageProblem::kNotBmp:
      run->console.report(MessageId::kNotBmp, name);
      break;
    case ImageProblem::kNotIndexed:
      run->console.report(MessageId::kNotIndexed);
      break;
    case ImageProblem::kUnsupportedCompression:
      run->console.report(MessageId::kUnsupportedCompression, name);
      break;
    case ImageProblem::kUnreadablePng:
      run->console.report(MessageId::kUnreadablePng, name);
      break;
    case ImageProblem::kOutOfMemory:
      run->console.report(MessageId::kOutOfMemory);
      return JobOutcome::kRunEnds;
  }
  return JobOutcome::kSkipped;
}

// Closes the map block the tiling wrote, or ends the run if the dictionary
// is full.
JobOutcome endBlock(RunState* run, TilingResult result) {
  if (result == TilingResult::kDictionaryFull) {
    run->console.report(MessageId::kTooManyPatterns);
    return JobOutcome::kRunEnds;
  }
  run->outputs.endMapArray(run->job.name, run->job.width, run->job.height);
  return JobOutcome::kConverted;
}

JobOutcome convertBmp(RunState* run, const BitmapImage& image) {
  const JobRecord& job = run->job;
  BitmapHeader header;
  ImageProblem problem = checkBitmap(image, &header);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  FileBytes decoded;
  PixelGrid grid;
  problem = makePixelGrid(image, header, &decoded, &grid);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  run->outputs.beginMapArray(job.name);
  OutputSink sink(&run->outputs);
  return endBlock(run, tileRegion(rectangleOf(job), job.colour, grid, &run->dictionary, &sink));
}

// The image is tiled while it is decoded, but whether the file is sound is
// known only once it is decoded whole: until then the map words are kept
// back, and the patterns they added are forgotten if it is not.
JobOutcome convertPng(RunState* run, const BitmapImage& image) {
  const JobRecord& job = run->job;
  PngImage png;
  ImageProblem problem = png.open(image.file.data(), image.file.size());
  if (problem != ImageProblem::kNone) return reject(run, problem);
  const Rectangle rectangle = rectangleOf(job);
  const RowSpan rows = rowsCovered(rectangle);
  PixelGrid grid;
  problem = png.decode(rows.first, rows.last, &grid);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  const int patterns_before = run->dictionary.count();
  RecordingSink recording;
  const TilingResult result = tileRegion(rectangle, job.colour, grid, &run->dictionary, &recording);
  problem = png.finish();
  if (problem != ImageProblem::kNone) {
    run->dictionary.truncate(patterns_before);
    return reject(run, problem);
  }
  run->outputs.beginMapArray(job.name);
  OutputSink sink(&run->outputs);
  recording.replay(job.width <= 0 ? 0 : (int64_t{job.width} + 7) / 8, &sink);
  return endBlock(run, result);
}

}  // namespace

JobOutcome convertJob(RunState* run) {
  BitmapImage image;
  switch (loadBitmap(run->files, run->job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      run->console.report(MessageId::kBitmapMissing, run->job.bitmapName);
      return JobOutcome::kRunEnds;
    case ReadStatus::kOutOfMemory:
      run->console.report(MessageId::kOutOfMemory);
      return JobOutcome::kRunEnds;
  }
  if (isPng(image.file.data(), image.file.size())) return convertPng(run, image);
  return convertBmp(run, image);
}

int runMain(FileSystem* files, WriteStream* console) {
  Console messages(console);
  // Everything that allocates is inside the try, opening the job list and
  // setting up the run's state included: memory can run out anywhere.
  std::unique_ptr<RunState> run;
  try {
    std::unique_ptr<ReadStream> job_list = files->openForReading(kJobListName);
    if (!job_list) {
      messages.report(MessageId::kJobListMissing);
      return kExitJobListMissing;
    }
    JobListReader reader(job_list.get());
    run = std::make_unique<RunState>(files, console);
    return runJobs(run.get(), &reader);
  } catch (const std::bad_alloc&) {
    messages.report(MessageId::kOutOfMemory);
    return run ? endEarly(run.get()) : kExitFailure;
  }
}

}  // namespace tessarn
