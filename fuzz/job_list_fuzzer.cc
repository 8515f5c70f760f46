// Fuzzes the job-list reader on arbitrary bytes.
//
// Input: one byte choosing how many bytes the stream hands over per read
// (1 to 255, or 0 for as many as asked), then the job list itself. Small
// reads make tokens straddle the reader's buffer refills.
//
// Oracle: a second, deliberately plain reading of the same bytes, written
// from the token rules (whole input in memory, no buffering, saturation by
// counting digits rather than by accumulating). After every read both must
// agree on the count of fields filled and on every field; the reader must
// reach the end within one read per input byte, and stay at the end.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "run/job_record.h"

namespace {

using tessarn::JobListReader;
using tessarn::JobRecord;

class ChunkedStream : public tessarn::ReadStream {
 public:
  ChunkedStream(std::string_view bytes, size_t chunk) : bytes_(bytes), chunk_(chunk) {}
  size_t read(char* buffer, size_t size) override {
    size_t n = std::min({size, chunk_, bytes_.size() - at_});
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::string_view bytes_;
  size_t chunk_;
  size_t at_ = 0;
};

// The token rules, read straight off the whole input.
class PlainReader {
 public:
  explicit PlainReader(std::string_view bytes) : s_(bytes.substr(0, bytes.find('\x1A'))) {}

  int readJob(JobRecord* job) {
    if (!nextToken()) return JobListReader::kEndOfInput;
    job->bitmapName = takeName();
    int filled = 1;
    for (int32_t* field : {&job->x, &job->y, &job->width, &job->height}) {
      if (!takeNumber(field)) return filled;
      ++filled;
    }
    if (!nextToken()) return filled;
    job->name = takeName();
    ++filled;
    for (int32_t& field : job->colour) {
      if (!takeNumber(&field)) return filled;
      ++filled;
    }
    return filled;
  }

 private:
  static bool space(char c) { return std::strchr(" \t\r\n\v\f", c) != nullptr && c != '\0'; }
  static bool digit(char c) { return c >= '0' && c <= '9'; }

  // Skips whitespace; false at the end.
  bool nextToken() {
    while (at_ < s_.size() && space(s_[at_])) ++at_;
    return at_ < s_.size();
  }
  std::string takeName() {
    size_t start = at_;
    while (at_ < s_.size() && !space(s_[at_])) ++at_;
    return std::string(s_.substr(start, at_ - start));
  }
  bool takeNumber(int32_t* value) {
    if (!nextToken()) return false;
    bool negative = false;
    if (s_[at_] == '+' || s_[at_] == '-') negative = s_[at_++] == '-';
    size_t start = at_;
    while (at_ < s_.size() && digit(s_[at_])) ++at_;
    if (at_ == start) return false;
    std::string_view digits = s_.substr(start, at_ - start);
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    // Ten digits or fewer fit in 64 bits; more are out of range anyway.
    if (digits.size() > 10) {
      *value = negative ? INT32_MIN : INT32_MAX;
      return true;
    }
    int64_t magnitude = std::strtoll(std::string(digits).c_str(), nullptr, 10);
    int64_t v = negative ? -magnitude : magnitude;
    *value = static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
    return true;
  }

  std::string_view s_;
  size_t at_ = 0;
};

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "job list fuzzer: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t chunk = data[0] == 0 ? SIZE_MAX : data[0];
  const std::string_view list(reinterpret_cast<const char*>(data + 1), size - 1);

  ChunkedStream stream(list, chunk);
  JobListReader reader(&stream);
  PlainReader plain(list);
  JobRecord job;
  JobRecord expected;
  // Every read that is not the end takes at least one byte (a name).
  for (size_t reads = 0;; ++reads) {
    require(reads <= list.size(), "more jobs than bytes: the reader does not advance");
    const int filled = reader.readJob(&job);
    require(filled == plain.readJob(&expected), "fields filled differ from the token rules");
    require(filled == JobListReader::kEndOfInput ||
                (filled >= 1 && filled <= JobListReader::kFieldsPerJob),
            "fields filled out of range");
    require(job == expected, "a field differs from the token rules");
    if (filled == JobListReader::kEndOfInput) break;
  }
  require(reader.readJob(&job) == JobListReader::kEndOfInput, "input ended, then went on");
  require(job == expected, "a read at the end changed the job");
  return 0;
}
