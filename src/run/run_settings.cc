#include "run/run_settings.h"

#include "io/platform.h"

namespace tessarn {

uint16_t attributesFor(const std::vector<JobRule>& rules, const std::string& job_name) {
  uint16_t bits = 0;
  for (const JobRule& rule : rules) {
    if (rule.everyJob || rule.jobName == job_name) bits = static_cast<uint16_t>(bits | rule.value);
  }
  return bits;
}

int paletteFor(const std::vector<JobRule>& rules, const std::string& job_name) {
  int every = 0;
  int named = -1;
  for (const JobRule& rule : rules) {
    if (rule.everyJob) every = rule.value;
    else if (rule.jobName == job_name) named = rule.value;
  }
  return named >= 0 ? named : every;
}

int threadsToUse(const char* setting) {
  if (setting != nullptr && std::string(setting) == "1") return 1;
  return usableProcessors() >= 2 ? 2 : 1;
}

}  // namespace tessarn
