#include "run/job_conversion.h"

#include <algorithm>
#include <new>
#include <string>

#include "image/bitmap_image.h"
#include "image/bmp_rows.h"
#include "image/png_image.h"
#include "run/map_sinks.h"
#include "tiles/region_tiling.h"

namespace tessarn {
namespace {

Rectangle rectangleOf(const JobRecord& job) { return {job.x, job.y, job.width, job.height}; }

// Turns an image's problem into the job's failure: false, with `*failure`
// set, if it has one; true if it has none. Memory that libspng ran out of
// (handed back as a value) is thrown as the std::bad_alloc it is everywhere
// else.
bool checkImageProblem(ImageProblem problem, const std::string& name, Failure* failure) {
  switch (problem) {
    case ImageProblem::kNone:
      return true;
    case ImageProblem::kNotBmp:
      *failure = {MessageId::kNotBmp, name};
      return false;
    case ImageProblem::kNotIndexed:
      *failure = {MessageId::kNotIndexed, name};
      return false;
    case ImageProblem::kUnsupportedCompression:
      *failure = {MessageId::kUnsupportedCompression, name};
      return false;
    case ImageProblem::kUnreadablePng:
      *failure = {MessageId::kUnreadablePng, name};
      return false;
    case ImageProblem::kReadFailed:
      *failure = {MessageId::kBitmapMissing, name};
      return false;
    case ImageProblem::kOutOfMemory:
      throw std::bad_alloc();
  }
  throw std::bad_alloc();  // not reached: every problem is listed
}

// What the run's observer wants of a job's summary.
bool wants(const RunState& run, bool (RunObserver::*question)() const) {
  return run.observer() != nullptr && (run.observer()->*question)();
}

// A job's map block in the outputs: opened, filled by the tiling (straight,
// or counted on the way when the run's observer wants counts or words),
// and closed.
class JobBlock {
 public:
  JobBlock(RunState* run, JobSummary* summary)
      : run_(run),
        summary_(summary),
        patternsBefore_(run->dictionary().count()),
        output_(&run->outputs(), attributesFor(run->settings().attributes, run->job().name)),
        counting_(&output_, summary, keptWords(*run, summary)) {}

  int patternsBefore() const { return patternsBefore_; }

  // Opens the block; the map words follow through the sink returned.
  MapWordSink* begin() {
    const JobRecord& job = run_->job();
    run_->outputs().beginMapArray(job.name, summary_->number, job.width, job.height);
    const bool counted = wants(*run_, &RunObserver::wantsCounts) || summary_->mapWords.has_value();
    return counted ? static_cast<MapWordSink*>(&counting_) : &output_;
  }

  // Closes the block the tiling wrote; false if the dictionary filled up.
  bool end(TilingResult result, Failure* failure) {
    summary_->newPatterns = run_->dictionary().count() - patternsBefore_;
    if (result == TilingResult::kDictionaryFull) {
      *failure = {MessageId::kTooManyPatterns, std::to_string(run_->dictionary().layout().patternLimit)};
      return false;
    }
    const JobRecord& job = run_->job();
    run_->outputs().endMapArray(job.name, job.width, job.height);
    return true;
  }

 private:
  // Where the words go, if the observer wants them kept.
  static std::vector<uint16_t>* keptWords(const RunState& run, JobSummary* summary) {
    const RunObserver* observer = run.observer();
    if (observer == nullptr || !observer->wantsMapWords(summary->tilesWide * summary->tilesHigh)) return nullptr;
    return &summary->mapWords.emplace();
  }

  RunState* run_;
  JobSummary* summary_;
  int patternsBefore_;
  OutputSink output_;
  CountingSink counting_;
};

// Whether work on this many bytes of pixels is worth a thread of its own.
bool rowsOnThread(const RunState& run, uint64_t bytes) {
  return run.settings().threads >= 2 && bytes >= run.settings().threadBytes;
}

// Where the tiling counts unnamed pixels: the summary, if warnings are wanted.
UnnamedPixels* unnamedCount(const RunState& run, JobSummary* summary) {
  return wants(run, &RunObserver::wantsWarnings) ? &summary->unnamedPixels : nullptr;
}

bool convertBmp(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  const Rectangle rectangle = rectangleOf(job);
  BitmapHeader header;
  if (!checkImageProblem(checkBitmap(image, &header), job.bitmapName, failure)) return false;
  PixelGrid grid;
  FileBytes whole;
  FileBytes decoded;
  BmpRows rows;
  // A big rectangle's tiles are encoded on a thread of their own, which
  // also reads the rows as it needs them: looking tiles up is what is left
  // on this one.
  const bool encode_on_thread = rowsOnThread(*run, static_cast<uint64_t>(summary->tilesWide * summary->tilesHigh) * 64);
  const size_t budget = run->settings().rowBudget;
  if (BmpRows::fits(header, budget)) {
    const RowSpan span = rowsCovered(rectangle);
    rows.read(image.file.get(), header, span.first, span.last, false, budget, &run->rowStorage(), &grid);
  } else if (!checkImageProblem(makePixelGrid(image, header, &whole, &decoded, &grid, &summary->runLengthCutShort),
                                job.bitmapName, failure)) {
    return false;
  }
  if (wants(*run, &RunObserver::wantsPalette)) summary->palette = bitmapPalette(image, header);
  JobBlock block(run, summary);
  const TilingResult result = tileRegion(rectangle, job.colour, grid, &run->dictionary(), block.begin(),
                                         encode_on_thread, unnamedCount(*run, summary));
  // A file that changed while it was read ends the run where it is.
  if (grid.feed != nullptr && !checkImageProblem(rows.finish(), job.bitmapName, failure)) return false;
  return block.end(result, failure);
}

bool convertPng(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  FileBytes bytes;
  switch (image.file->readWhole(&bytes)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      return checkImageProblem(ImageProblem::kReadFailed, job.bitmapName, failure);
  }
  PngImage png;
  if (!checkImageProblem(png.open(bytes.data(), bytes.size()), job.bitmapName, failure)) return false;
  if (wants(*run, &RunObserver::wantsPalette)) summary->palette = png.palette();
  const Rectangle rectangle = rectangleOf(job);
  const RowSpan rows = rowsCovered(rectangle);
  // The whole image is decoded, to check it.
  const uint64_t row_bytes = static_cast<uint64_t>((png.width() * png.bitDepth() + 7) / 8);
  PixelGrid grid;
  const bool on_thread = rowsOnThread(*run, row_bytes * static_cast<uint64_t>(png.height()));
  const ImageProblem decoding =
      png.decode(rows.first, rows.last, on_thread, run->settings().rowBudget, &run->rowStorage(), &grid);
  if (!checkImageProblem(decoding, job.bitmapName, failure)) return false;
  JobBlock block(run, summary);
  RecordingSink recording;
  const TilingResult result = tileRegion(rectangle, job.colour, grid, &run->dictionary(), &recording, false,
                                         unnamedCount(*run, summary));
  if (!checkImageProblem(png.finish(), job.bitmapName, failure)) {
    run->dictionary().truncate(block.patternsBefore());
    return false;
  }
  recording.replay(summary->tilesWide, block.begin());
  return block.end(result, failure);
}

}  // namespace

bool convertJob(RunState* run, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job();
  summary->tilesWide = tilesFor(job.width);
  summary->tilesHigh = tilesFor(job.height);
  BitmapImage image;
  switch (loadBitmap(run->files(), job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      *failure = {MessageId::kBitmapMissing, job.bitmapName};
      return false;
  }
  if (isPng(image.head.data(), image.headSize)) return convertPng(run, image, summary, failure);
  return convertBmp(run, image, summary, failure);
}

}  // namespace tessarn
