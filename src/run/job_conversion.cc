#include "run/job_conversion.h"

#include <algorithm>
#include <string>

#include "image/bitmap_image.h"
#include "image/bmp_rows.h"
#include "image/png_image.h"
#include "run/map_sinks.h"
#include "tiles/region_tiling.h"

namespace tessarn {

uint16_t attributesFor(const std::vector<AttributeRule>& rules, const std::string& job_name) {
  uint16_t bits = 0;
  for (const AttributeRule& rule : rules) {
    if (rule.everyJob || rule.jobName == job_name) bits = static_cast<uint16_t>(bits | rule.bits);
  }
  return bits;
}

void RecordingSink::replay(int64_t tiles_wide, MapWordSink* sink) const {
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

namespace {

Rectangle rectangleOf(const JobRecord& job) { return {job.x, job.y, job.width, job.height}; }

// Whether the image has no problem; if it has, `*failure` says which.
// Memory that libspng ran out of (handed back as a value) becomes the
// std::bad_alloc it is everywhere else.
bool accepted(const RunState& run, ImageProblem problem, Failure* failure) {
  const std::string& name = run.job.bitmapName;
  switch (problem) {
    case ImageProblem::kNone:
      return true;
    case ImageProblem::kNotBmp:
      *failure = {MessageId::kNotBmp, name};
      break;
    case ImageProblem::kNotIndexed:
      *failure = {MessageId::kNotIndexed, {}};
      break;
    case ImageProblem::kUnsupportedCompression:
      *failure = {MessageId::kUnsupportedCompression, name};
      break;
    case ImageProblem::kUnreadablePng:
      *failure = {MessageId::kUnreadablePng, name};
      break;
    case ImageProblem::kOutOfMemory:
      throw std::bad_alloc();
    case ImageProblem::kReadFailed:
      *failure = {MessageId::kBitmapMissing, name};
      break;
  }
  return false;
}

// A job's map block in the outputs: opened, filled by the tiling (straight,
// or counted on the way when the run's observer wants counts or words),
// and closed.
class JobBlock {
 public:
  JobBlock(RunState* run, JobSummary* summary)
      : run_(run),
        summary_(summary),
        patternsBefore_(run->dictionary.count()),
        output_(&run->outputs, attributesFor(run->attributes, run->job.name)),
        counting_(&output_, summary, keptWords(run, summary)) {}

  int patternsBefore() const { return patternsBefore_; }

  // Opens the block; the map words follow through the sink returned.
  MapWordSink* begin() {
    run_->outputs.beginMapArray(run_->job.name, summary_->number, run_->job.width, run_->job.height);
    const bool counted = run_->observer != nullptr && (run_->observer->wantsCounts() || summary_->mapWords.has_value());
    return counted ? static_cast<MapWordSink*>(&counting_) : &output_;
  }

  // Closes the block the tiling wrote; false if the dictionary filled up.
  bool end(TilingResult result, Failure* failure) {
    summary_->newPatterns = run_->dictionary.count() - patternsBefore_;
    if (result == TilingResult::kDictionaryFull) {
      *failure = {MessageId::kTooManyPatterns, std::to_string(run_->dictionary.layout().patternLimit)};
      return false;
    }
    run_->outputs.endMapArray(run_->job.name, run_->job.width, run_->job.height);
    return true;
  }

 private:
  static std::vector<uint16_t>* keptWords(const RunState* run, JobSummary* summary) {
    summary->tilesWide = tilesFor(run->job.width);
    summary->tilesHigh = tilesFor(run->job.height);
    if (run->observer == nullptr || !run->observer->wantsMapWords(summary->tilesWide * summary->tilesHigh)) {
      return nullptr;
    }
    return &summary->mapWords.emplace();
  }

  RunState* run_;
  JobSummary* summary_;
  int patternsBefore_;
  OutputSink output_;
  CountingSink counting_;
};

// Whether the job's summary is to hold its bitmap's colours.
bool wantsPalette(const RunState& run) { return run.observer != nullptr && run.observer->wantsPalette(); }

// Whether work on this many bytes of pixels is worth a thread of its own.
bool rowsOnThread(const RunState& run, uint64_t bytes) { return run.threads >= 2 && bytes >= run.threadBytes; }

bool convertBmp(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job;
  const Rectangle rectangle = rectangleOf(job);
  BitmapHeader header;
  if (!accepted(*run, checkBitmap(image, &header), failure)) return false;
  PixelGrid grid;
  FileBytes whole;
  FileBytes decoded;
  BmpRows rows;
  // A big rectangle's tiles are encoded on a thread of their own, which
  // also reads the rows as it needs them: looking tiles up is what is left
  // on this one.
  const bool encode_on_thread =
      rowsOnThread(*run, static_cast<uint64_t>(tilesFor(job.width) * tilesFor(job.height)) * 64);
  if (BmpRows::fits(header, run->rowBudget)) {
    const RowSpan span = rowsCovered(rectangle);
    rows.read(image.file.get(), header, span.first, span.last, false, run->rowBudget, &run->rowStorage, &grid);
  } else if (!accepted(*run, makePixelGrid(image, header, &whole, &decoded, &grid), failure)) {
    return false;
  }
  if (wantsPalette(*run)) summary->palette = bitmapPalette(image, header);
  JobBlock block(run, summary);
  const TilingResult result =
      tileRegion(rectangle, job.colour, grid, &run->dictionary, block.begin(), encode_on_thread);
  // A file that changed while it was read ends the run where it is.
  if (grid.feed != nullptr && !accepted(*run, rows.finish(), failure)) return false;
  return block.end(result, failure);
}

bool convertPng(RunState* run, const BitmapImage& image, JobSummary* summary, Failure* failure) {
  const JobRecord& job = run->job;
  FileBytes bytes;
  switch (image.file->readWhole(&bytes)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      return accepted(*run, ImageProblem::kReadFailed, failure);
  }
  PngImage png;
  if (!accepted(*run, png.open(bytes.data(), bytes.size()), failure)) return false;
  if (wantsPalette(*run)) summary->palette = png.palette();
  const Rectangle rectangle = rectangleOf(job);
  const RowSpan rows = rowsCovered(rectangle);
  // The whole image is decoded, to check it.
  const uint64_t row_bytes = static_cast<uint64_t>((png.width() * png.bitDepth() + 7) / 8);
  PixelGrid grid;
  const bool on_thread = rowsOnThread(*run, row_bytes * static_cast<uint64_t>(png.height()));
  if (!accepted(*run, png.decode(rows.first, rows.last, on_thread, run->rowBudget, &run->rowStorage, &grid), failure)) {
    return false;
  }
  JobBlock block(run, summary);
  RecordingSink recording;
  const TilingResult result = tileRegion(rectangle, job.colour, grid, &run->dictionary, &recording);
  if (!accepted(*run, png.finish(), failure)) {
    run->dictionary.truncate(block.patternsBefore());
    return false;
  }
  recording.replay(tilesFor(job.width), block.begin());
  return block.end(result, failure);
}

}  // namespace

bool convertJob(RunState* run, JobSummary* summary, Failure* failure) {
  BitmapImage image;
  switch (loadBitmap(run->files, run->job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      *failure = {MessageId::kBitmapMissing, run->job.bitmapName};
      return false;
  }
  if (isPng(image.head.data(), image.headSize)) return convertPng(run, image, summary, failure);
  return convertBmp(run, image, summary, failure);
}

}  // namespace tessarn
