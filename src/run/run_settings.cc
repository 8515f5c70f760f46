#include "run/run_settings.h"

#include "io/platform.h"

namespace tessarn {

uint16_t attributesFor(const std::vector<AttributeRule>& rules, const std::string& job_name) {
  uint16_t bits = 0;
  for (const AttributeRule& rule : rules) {
    if (rule.everyJob || rule.jobName == job_name) bits = static_cast<uint16_t>(bits | rule.bits);
  }
  return bits;
}

int threadsToUse(const char* setting) {
  if (setting != nullptr && std::string(setting) == "1") return 1;
  return usableProcessors() >= 2 ? 2 : 1;
}

}  // namespace tessarn
