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

// A message in English, without its line end: the words a report uses.
std::string englishText(MessageId id, std::string_view name) {
  std::string text = formatMessage(id, name, MessageLanguage::kEnglish);
  text.resize(text.size() - 2);
  return text;
}

// Ends the run early: what was written stays, with no pattern table.
int endEarly(RunState* run) {
  run->outputs.closeOutputs();
  return kExitFailure;
}

// Reads and converts every job, telling the observer of each.
bool convertJobs(RunState* run, JobListReader* reader) {
  for (int64_t number = 1; reader->readJob(&run->job) != JobListReader::kEndOfInput; ++number) {
    run->summary = JobSummary();
    run->summary.number = number;
    run->summary.job = &run->job;
    JobOutcome outcome;
    if (namesBinaryOutput(run->job.name) && !run->outputs.createBinaryOutput(run->job.name)) {
      if (run->observer != nullptr) {
        run->summary.reason = englishText(MessageId::kCannotCreate, run->job.name);
      }
      outcome = JobOutcome::kRunEnds;
    } else {
      outcome = convertJob(run);
    }
    if (run->observer != nullptr) {
      run->summary.outcome = outcome;
      run->observer->jobFinished(run->summary, run->dictionary);
    }
    run->summary.number = 0;  // told
    if (outcome == JobOutcome::kRunEnds) return false;
  }
  return true;
}

int runJobs(RunState* run, JobListReader* reader) {
  if (!run->outputs.createTextOutput()) return kExitFailure;
  const bool complete = convertJobs(run, reader);
  if (run->observer != nullptr) run->observer->runFinished(run->dictionary);
  run->observer = nullptr;  // told all there is
  if (!complete) return endEarly(run);
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

// Counts the words on their way to the outputs (and keeps them, for an
// observer that asked), for the job's summary.
class CountingSink : public MapWordSink {
 public:
  CountingSink(MapWordSink* next, JobSummary* summary, std::vector<uint16_t>* kept)
      : next_(next), summary_(summary), kept_(kept) {}
  void beginRow() override { next_->beginRow(); }
  void writeWords(const uint16_t* words, int count) override {
    summary_->tilesWritten += count;
    for (int i = 0; i < count; ++i) summary_->mirrored += words[i] >> 14 != 0;
    if (kept_ != nullptr) kept_->insert(kept_->end(), words, words + count);
    next_->writeWords(words, count);
  }
  void endRow() override { next_->endRow(); }

 private:
  MapWordSink* next_;
  JobSummary* summary_;
  std::vector<uint16_t>* kept_;
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

// Tiles along a side of a job's rectangle: (pixels + 7) / 8, none for a
// side of 0 or less.
int64_t tilesFor(int32_t pixels) { return pixels <= 0 ? 0 : (int64_t{pixels} + 7) / 8; }

// Skips the job with the message for `problem`, or ends the run when memory
// ran out.
JobOutcome reject(RunState* run, ImageProblem problem) {
  const std::string& name = run->job.bitmapName;
  switch (problem) {
    case ImageProblem::kNone:
      break;
    case ImageProblem::kNotBmp:
      run->report(MessageId::kNotBmp, name);
      break;
    case ImageProblem::kNotIndexed:
      run->report(MessageId::kNotIndexed);
      break;
    case ImageProblem::kUnsupportedCompression:
      run->report(MessageId::kUnsupportedCompression, name);
      break;
    case ImageProblem::kUnreadablePng:
      run->report(MessageId::kUnreadablePng, name);
      break;
    case ImageProblem::kOutOfMemory:
      run->report(MessageId::kOutOfMemory);
      return JobOutcome::kRunEnds;
  }
  return JobOutcome::kSkipped;
}

// Writes a job's map words to the outputs: straight there, or, when the run
// is watched, counted on the way for the job's summary.
class JobBlock {
 public:
  explicit JobBlock(RunState* run)
      : run_(run),
        patternsBefore_(run->dictionary.count()),
        output_(&run->outputs),
        counting_(&output_, &run->summary, keptWords(run)) {}

  // Opens the map block; its words follow through sink().
  MapWordSink* begin() {
    run_->outputs.beginMapArray(run_->job.name);
    if (run_->observer == nullptr) return &output_;
    return &counting_;
  }

  int patternsBefore() const { return patternsBefore_; }

  // Closes the block the tiling wrote, or ends the run if the dictionary is
  // full.
  JobOutcome end(TilingResult result) {
    JobSummary& summary = run_->summary;
    summary.newPatterns = run_->dictionary.count() - patternsBefore_;
    if (result == TilingResult::kDictionaryFull) {
      run_->report(MessageId::kTooManyPatterns);
      return JobOutcome::kRunEnds;
    }
    run_->outputs.endMapArray(run_->job.name, run_->job.width, run_->job.height);
    return JobOutcome::kConverted;
  }

 private:
  static std::vector<uint16_t>* keptWords(RunState* run) {
    if (run->observer == nullptr) return nullptr;
    JobSummary& summary = run->summary;
    summary.tilesWide = tilesFor(run->job.width);
    summary.tilesHigh = tilesFor(run->job.height);
    if (!run->observer->wantsMapWords(summary.tilesWide * summary.tilesHigh)) return nullptr;
    run->jobWords.clear();
    summary.mapWords = &run->jobWords;
    return &run->jobWords;
  }

  RunState* run_;
  int patternsBefore_;
  OutputSink output_;
  CountingSink counting_;
};

JobOutcome convertBmp(RunState* run, const BitmapImage& image) {
  const JobRecord& job = run->job;
  BitmapHeader header;
  ImageProblem problem = checkBitmap(image, &header);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  FileBytes decoded;
  PixelGrid grid;
  problem = makePixelGrid(image, header, &decoded, &grid);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  if (run->observer != nullptr) run->setPalette(bitmapPalette(image, header));
  JobBlock block(run);
  return block.end(tileRegion(rectangleOf(job), job.colour, grid, &run->dictionary, block.begin()));
}

// The image is tiled while it is decoded, but whether the file is sound is
// known only once it is decoded whole: until then the map words are kept
// back, and the patterns they added are forgotten if it is not.
JobOutcome convertPng(RunState* run, const BitmapImage& image) {
  const JobRecord& job = run->job;
  PngImage png;
  ImageProblem problem = png.open(image.file.data(), image.file.size());
  if (problem != ImageProblem::kNone) return reject(run, problem);
  if (run->observer != nullptr) run->setPalette(png.palette());
  const Rectangle rectangle = rectangleOf(job);
  const RowSpan rows = rowsCovered(rectangle);
  PixelGrid grid;
  problem = png.decode(rows.first, rows.last, &grid);
  if (problem != ImageProblem::kNone) return reject(run, problem);
  JobBlock block(run);
  RecordingSink recording;
  const TilingResult result = tileRegion(rectangle, job.colour, grid, &run->dictionary, &recording);
  problem = png.finish();
  if (problem != ImageProblem::kNone) {
    run->dictionary.truncate(block.patternsBefore());
    return reject(run, problem);
  }
  recording.replay(tilesFor(job.width), block.begin());
  return block.end(result);
}

}  // namespace

namespace {

// Memory ran out: the observer hears of the job it happened in as of any job
// that ends the run, and then of the run's end. That may take memory too;
// if there is none, it hears no more.
void observeOutOfMemory(RunState* run) {
  if (run->observer == nullptr) return;
  try {
    if (run->summary.number != 0) {
      run->summary.outcome = JobOutcome::kRunEnds;
      run->summary.reason = englishText(MessageId::kOutOfMemory, {});
      run->observer->jobFinished(run->summary, run->dictionary);
    }
    run->observer->runFinished(run->dictionary);
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

void RunState::report(MessageId id, std::string_view name) {
  console.report(id, name);
  if (observer != nullptr) summary.reason = englishText(id, name);
}

void RunState::setPalette(const Palette& palette) {
  jobPalette = palette;
  summary.palette = &jobPalette;
}

JobOutcome convertJob(RunState* run) {
  BitmapImage image;
  switch (loadBitmap(run->files, run->job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      run->report(MessageId::kBitmapMissing, run->job.bitmapName);
      return JobOutcome::kRunEnds;
    case ReadStatus::kOutOfMemory:
      run->report(MessageId::kOutOfMemory);
      return JobOutcome::kRunEnds;
  }
  if (isPng(image.file.data(), image.file.size())) return convertPng(run, image);
  return convertBmp(run, image);
}

int runMain(FileSystem* files, WriteStream* console, const RunSettings& settings) {
  Console messages(console, settings.language);
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
    run = std::make_unique<RunState>(files, console, settings);
    return runJobs(run.get(), &reader);
  } catch (const std::bad_alloc&) {
    messages.report(MessageId::kOutOfMemory);
    if (!run) return kExitFailure;
    observeOutOfMemory(run.get());
    return endEarly(run.get());
  }
}

}  // namespace tessarn
