#include "run/run_driver.h"

#include <memory>
#include <new>

#include "bitmap/bitmap_image.h"
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

JobOutcome convertJob(RunState* run) {
  const JobRecord& job = run->job;
  BitmapImage image;
  switch (loadBitmap(run->files, job.bitmapName, &image)) {
    case ReadStatus::kOk:
      break;
    case ReadStatus::kMissing:
      run->console.report(MessageId::kBitmapMissing, job.bitmapName);
      return JobOutcome::kRunEnds;
    case ReadStatus::kOutOfMemory:
      run->console.report(MessageId::kOutOfMemory);
      return JobOutcome::kRunEnds;
  }
  BitmapHeader header;
  MessageId reason;
  if (checkBitmap(image, &header, &reason) == BitmapCheck::kRejected) {
    run->console.report(reason, job.bitmapName);
    return JobOutcome::kSkipped;
  }
  FileBytes decoded;
  PixelGrid grid;
  if (!makePixelGrid(image, header, &decoded, &grid)) {
    run->console.report(MessageId::kOutOfMemory);
    return JobOutcome::kRunEnds;
  }
  run->outputs.beginMapArray(job.name);
  if (!tileRegion(job, grid, &run->dictionary, &run->outputs)) {
    run->console.report(MessageId::kTooManyPatterns);
    return JobOutcome::kRunEnds;
  }
  return JobOutcome::kConverted;
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
