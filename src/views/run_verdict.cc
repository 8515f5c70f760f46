#include "views/run_verdict.h"

#include <algorithm>

#include "run/exit_status.h"
#include "run/job_warnings.h"

namespace tessarn {

RunVerdict::RunVerdict(std::vector<std::string> job_names, bool warnings) : wantsWarnings_(warnings) {
  for (std::string& name : job_names) {
    if (std::find(unusedNames_.begin(), unusedNames_.end(), name) == unusedNames_.end()) {
      unusedNames_.push_back(std::move(name));
    }
  }
}

void RunVerdict::jobFinished(const JobSummary& summary, const PatternDictionary&) {
  if (summary.failure && effectOf(summary.failure->message) == FailureEffect::kSkipsJob) ++skipped_;
  if (wantsWarnings_) {
    for (std::string& warning : jobWarnings(summary)) warnings_.push_back(std::move(warning));
  }
  unusedNames_.erase(std::remove(unusedNames_.begin(), unusedNames_.end(), summary.job->name), unusedNames_.end());
}

int RunVerdict::exitStatus(int run_status, bool strict) const {
  const bool clean = skipped_ == 0 && warnings_.empty() && unusedNames_.empty();
  return strict && run_status == kExitSuccess && !clean ? kExitSkipped : run_status;
}

}  // namespace tessarn
