// Everything a run keeps from its start to its end, in one object that the
// run driver makes and passes to the operations: the settings it runs by,
// the current job, the outputs, the pattern dictionary and the memory for
// images' rows.

#ifndef TESSARN_RUN_RUN_STATE_H_
#define TESSARN_RUN_RUN_STATE_H_

#include "image/row_ring.h"
#include "io/file_system.h"
#include "joblist/job_record.h"
#include "outputs/output_files.h"
#include "run/run_observer.h"
#include "run/run_settings.h"
#include "tiles/pattern_dictionary.h"

namespace tessarn {

class RunState {
 public:
  RunState(FileSystem* files, const RunSettings& settings)
      : settings_(settings),
        files_(files),
        outputs_(files, *settings.target, settings.patterns.layout, settings.library, settings.paletteFormat),
        dictionary_(settings.patterns) {}
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  const RunSettings& settings() const { return settings_; }
  // Whoever watches the run, or null; the driver alone tells it of jobs.
  RunObserver* observer() const { return settings_.observer; }
  FileSystem* files() { return files_; }
  JobRecord& job() { return job_; }
  const JobRecord& job() const { return job_; }
  OutputFiles& outputs() { return outputs_; }
  PatternDictionary& dictionary() { return dictionary_; }
  const PatternDictionary& dictionary() const { return dictionary_; }
  // Kept from job to job, so that a long list of jobs does not ask the
  // system for fresh pages every time.
  RowStorage& rowStorage() { return rowStorage_; }

 private:
  const RunSettings& settings_;
  FileSystem* files_;
  JobRecord job_;
  OutputFiles outputs_;
  PatternDictionary dictionary_;
  RowStorage rowStorage_;
};

}  // namespace tessarn

#endif  // TESSARN_RUN_RUN_STATE_H_
