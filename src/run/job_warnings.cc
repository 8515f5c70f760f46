#include "run/job_warnings.h"

namespace tessarn {

std::vector<std::string> jobWarnings(const JobSummary& summary) {
  std::vector<std::string> warnings;
  if (summary.failure) return warnings;
  const JobRecord& job = *summary.job;
  const std::string about = "job " + std::to_string(summary.number) + " (" + job.name + "): ";
  if (job.width <= 0 || job.height <= 0) {
    warnings.push_back(about + "the rectangle is " + std::to_string(job.width) + " x " + std::to_string(job.height) +
                       " pixels: it has no tiles");
  }
  const UnnamedPixels& unnamed = summary.unnamedPixels;
  if (unnamed.count > 0) {
    warnings.push_back(about + std::to_string(unnamed.count) + " pixels of " + job.bitmapName +
                       " have palette indices that none of the job's colours names (the first at " +
                       std::to_string(unnamed.x) + "," + std::to_string(unnamed.y) + "): they are colour 0");
  }
  if (summary.runLengthCutShort) {
    warnings.push_back(about + job.bitmapName + "'s run-length data ends before its last row: the rest is colour 0");
  }
  return warnings;
}

}  // namespace tessarn
