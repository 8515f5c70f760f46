#include "views/run_verdict.h"

#include <algorithm>

#include "run/exit_status.h"
#include "run/job_warnings.h"

namespace tessarn {

RunVerdict::RunVerdict(std::vector<NamedJob> job_names, bool warnings) : wantsWarnings_(warnings) {
  for (NamedJob& named : job_names) {
    if (std::find(unusedNames_.begin(), unusedNames_.end(), named) == unusedNames_.end()) {
      unusedNames_.push_back(std::move(named));
    }
  }
}

void RunVerdict::jobFinished(const JobSummary& summary, const PatternDictionary&) {
  if (summary.failure && effectOf(summary.failure->message) == FailureEffect::kSkipsJob) ++skipped_;
  if (wantsWarnings_) {
    for (std::string& warning : jobWarnings(summary)) warnings_.push_back(std::move(warning));
  }
  std::erase_if(unusedNames_, [&](const NamedJob& named) { return named.name == summary.job->name; });
}

int RunVerdict::exitStatus(int run_status, bool strict) const {
  const bool clean = skipped_ == 0 && warnings_.empty() && unusedNames_.empty();
  return strict && run_status == kExitSuccess && !clean ? kExitSkipped : run_status;
}

}  // namespace tessarn
