// What a run comes to beyond its own status: the jobs it skipped, the
// warnings of the jobs it converted (job_warnings.h), and the names the
// per-job options give that no job of the run has. Under --strict any of
// them makes a complete run's status 1, as a skipped job does.

#ifndef TESSARN_VIEWS_RUN_VERDICT_H_
#define TESSARN_VIEWS_RUN_VERDICT_H_

#include <string>
#include <vector>

#include "run/run_observer.h"

namespace tessarn {

// A job name an option gives (--attributes NAME=..., --palette NAME=...).
struct NamedJob {
  std::string option;
  std::string name;
  bool operator==(const NamedJob& other) const = default;
};

class RunVerdict : public RunObserver {
 public:
  // With `warnings`, the jobs' warnings are collected too.
  RunVerdict(std::vector<NamedJob> job_names, bool warnings);

  bool wantsWarnings() const override { return wantsWarnings_; }
  void jobFinished(const JobSummary& summary, const PatternDictionary& dictionary) override;
  void runFinished(const PatternDictionary&) override {}

  // The jobs' warnings, in job order.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The names given that no job has, in the order first given.
  const std::vector<NamedJob>& unusedNames() const { return unusedNames_; }
  // The status a run that ended with `run_status` exits with.
  int exitStatus(int run_status, bool strict) const;

 private:
  std::vector<std::string> warnings_;
  std::vector<NamedJob> unusedNames_;
  bool wantsWarnings_;
  int64_t skipped_ = 0;
};

}  // namespace tessarn

#endif  // TESSARN_VIEWS_RUN_VERDICT_H_
