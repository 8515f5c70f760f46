#include "run/run_driver.h"

#include <memory>
#include <new>

#include "joblist/job_list_reader.h"
#include "run/full_colour.h"
#include "run/job_conversion.h"

namespace tessarn {
namespace {

constexpr char kJobListName[] = "tessarn.txt";

bool namesBinaryOutput(const std::string& name) {
  return name.find(".bin") != std::string::npos;
}

// A run under way, with the console that hears of its failures.
class Run {
 public:
  Run(FileSystem* files, Console* console, const RunSettings& settings)
      : state_(files, settings), console_(console) {}

  RunState* state() { return &state_; }

  void report(const Failure& failure) {
    // Out of memory is said once, however many times memory runs out.
    if (failure.message == MessageId::kOutOfMemory && outOfMemory_) return;
    if (failure.message == MessageId::kOutOfMemory) outOfMemory_ = true;
    console_->report(failure.message, failure.name, failure.numbers);
    if (effectOf(failure.message) != FailureEffect::kSkipsJob) failed_ = true;
  }

  // Every job in turn, then the pattern table; returns the exit status.
  int convertAll(JobListReader* reader) {
    Failure failure;
    if (!state_.outputs().createTextOutput(&failure)) {
      report(failure);
      return kExitFailure;
    }
    const bool complete = convertJobs(reader);
    tellRunFinished();
    if (complete && !state_.outputs().writePatternTable(state_.dictionary(), &failure)) report(failure);
    closeOutputs();
    return failed_ ? kExitFailure : kExitSuccess;
  }

  // Memory ran out outside a job (reading the job list, telling the
  // observer): the observer hears of the run's end, if it has not and if
  // memory allows. The outputs keep what they have.
  int endOutOfMemory() {
    report({MessageId::kOutOfMemory, {}});
    try {
      tellRunFinished();
    } catch (const std::bad_alloc&) {
    }
    closeOutputs();
    return kExitFailure;
  }

 private:
  // The observer hears of the run's end once.
  void tellRunFinished() {
    if (state_.observer() == nullptr || toldRunFinished_) return;
    toldRunFinished_ = true;
    state_.observer()->runFinished(state_.dictionary());
  }

  // False if a job ended the run.
  bool convertJobs(JobListReader* reader) {
    if (state_.settings().colours == ColourMode::kAuto) return convertFullColour(reader);
    for (int64_t number = 1; reader->readJob(&state_.job()) != JobListReader::kEndOfInput; ++number) {
      if (!finishJob(number, [&](JobSummary* summary, Failure* failure) { return convertJob(&state_, summary, failure); })) {
        return false;
      }
    }
    return true;
  }

  // Full-colour art: every job read first, then the palettes chosen for
  // them all, then the jobs converted in order.
  bool convertFullColour(JobListReader* reader) {
    FullColourRun art(&state_);
    while (reader->readJob(&state_.job()) != JobListReader::kEndOfInput) {
      if (!art.analyse()) break;
    }
    art.choosePalettes();
    state_.outputs().setRunPalettes(art.chosen().palettes);
    if (state_.observer() != nullptr) state_.observer()->palettesChosen(art.chosen());
    for (size_t i = 0; i < art.jobs(); ++i) {
      state_.job() = art.record(i);
      if (!finishJob(static_cast<int64_t>(i) + 1,
                     [&](JobSummary* summary, Failure* failure) { return art.convert(i, summary, failure); })) {
        return false;
      }
    }
    return true;
  }

  // Converts the run's current job, number `number`, with `convert` (after
  // opening its binary output, if it names one), reports its failure and
  // tells the observer; false if it ended the run. Memory that runs out in
  // a job ends the run there, as any failure that ends it does.
  template <typename Convert>
  bool finishJob(int64_t number, Convert convert) {
    JobSummary summary;
    summary.number = number;
    summary.job = &state_.job();
    Failure failure;
    bool converted;
    try {
      converted = openBinaryOutput(&failure) && convert(&summary, &failure);
    } catch (const std::bad_alloc&) {
      failure = {MessageId::kOutOfMemory, {}};
      converted = false;
    }
    if (!converted) {
      report(failure);
      summary.failure = failure;
    }
    if (state_.observer() != nullptr) state_.observer()->jobFinished(summary, state_.dictionary());
    return converted || effectOf(failure.message) != FailureEffect::kEndsRun;
  }

  // A job whose name holds ".bin" replaces the current binary output with a
  // new one of that name, closing the old one first.
  bool openBinaryOutput(Failure* failure) {
    if (!namesBinaryOutput(state_.job().name)) return true;
    if (!state_.outputs().closeBinaryOutput(failure)) report(*failure);
    return state_.outputs().createBinaryOutput(state_.job().name, failure);
  }

  // The binary output first, then output.txt, then the C library's files.
  void closeOutputs() {
    Failure failure;
    if (!state_.outputs().closeBinaryOutput(&failure)) report(failure);
    if (!state_.outputs().closeTextOutput(&failure)) report(failure);
    if (!state_.outputs().closeLibrarySource(&failure)) report(failure);
    if (!state_.outputs().closeLibraryHeader(&failure)) report(failure);
  }

  RunState state_;
  Console* console_;
  bool failed_ = false;
  bool outOfMemory_ = false;
  bool toldRunFinished_ = false;
};

}  // namespace

int runMain(FileSystem* files, WriteStream* console_stream, const RunSettings& settings) {
  Console console(console_stream, settings.language);
  // Everything that allocates is inside the try, opening the job list and
  // setting up the run's state included: memory can run out anywhere.
  std::unique_ptr<Run> run;
  try {
    std::unique_ptr<ReadStream> job_list = files->openForReading(kJobListName);
    if (!job_list) {
      console.report(MessageId::kJobListMissing);
      return kExitJobListMissing;
    }
    JobListReader reader(job_list.get());
    run = std::make_unique<Run>(files, &console, settings);
    return run->convertAll(&reader);
  } catch (const std::bad_alloc&) {
    if (!run) {
      console.report(MessageId::kOutOfMemory);
      return kExitFailure;
    }
    return run->endOutOfMemory();
  }
}

}  // namespace tessarn
