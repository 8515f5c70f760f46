// The exit statuses tessarn ends with, in one place.

#ifndef TESSARN_RUN_EXIT_STATUS_H_
#define TESSARN_RUN_EXIT_STATUS_H_

namespace tessarn {

constexpr int kExitSuccess = 0;
// A complete run that skipped a job or had a warning, under --strict.
constexpr int kExitSkipped = 1;
// A command line tessarn cannot follow; nothing was read or written.
constexpr int kExitUsage = 2;
// The length of the missing-job-list message, line end counted as one byte.
constexpr int kExitJobListMissing = 28;
// A run that ended early, or wrote an output only in part (255 where the
// status is cut to 8 bits).
constexpr int kExitFailure = -1;

}  // namespace tessarn

#endif  // TESSARN_RUN_EXIT_STATUS_H_
