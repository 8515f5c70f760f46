// The current job: what one entry of the job list asks for. Every job read
// overwrites it in place, and a field that a job does not fill keeps the
// previous job's value (job_list_reader.h).

#ifndef TESSARN_JOBLIST_JOB_RECORD_H_
#define TESSARN_JOBLIST_JOB_RECORD_H_

#include <cstdint>
#include <string>

namespace tessarn {

struct JobRecord {
  std::string bitmapName;
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::string name;
  int32_t colour[4] = {0, 0, 0, 0};
};

}  // namespace tessarn

#endif  // TESSARN_JOBLIST_JOB_RECORD_H_
