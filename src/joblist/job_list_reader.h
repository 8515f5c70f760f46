// The reader that fills the current job from the job list.
//
// The job list is a stream of tokens separated by any whitespace (space, tab,
// CR, LF, VT, FF); line structure means nothing. A Ctrl-Z byte (0x1A) ends
// the input. Ten tokens make a job, read in this order:
//
//   bitmap-name x y width height name colour0 colour1 colour2 colour3
//
// A name is any run of non-whitespace bytes, of any length. A number is an
// optional "+" or "-" followed by decimal digits, read up to the first byte
// that is not a digit; a value beyond the signed 32-bit range saturates to
// INT32_MIN or INT32_MAX.
//
// A read fills fields in order until one cannot be filled; the others keep
// the previous job's values. A token that is not a number where one is due
// ends the read: a sign before it stays consumed, and the rest of the token
// is where the next read starts (as the next job's bitmap name).

#ifndef TESSARN_JOBLIST_JOB_LIST_READER_H_
#define TESSARN_JOBLIST_JOB_LIST_READER_H_

#include <cstddef>

#include "io/file_system.h"
#include "joblist/job_record.h"

namespace tessarn {

class JobListReader {
 public:
  static constexpr int kEndOfInput = -1;

  explicit JobListReader(ReadStream* stream) : stream_(stream) {}

  // Reads the next job into `job`. Returns the number of fields filled, or
  // kEndOfInput when the input ended before the first field.
  int readJob(JobRecord* job);

 private:
  enum class NumberRead { kOk, kNotANumber, kEndOfInput };

  // The next byte without consuming it, or -1 at end of input.
  int peek();
  void advance() { ++position_; }
  // Skips whitespace; false if the input ends first.
  bool skipWhitespace();
  bool readName(std::string* name);
  NumberRead readNumber(int32_t* value);

  ReadStream* stream_;
  char buffer_[4096];
  size_t position_ = 0;
  size_t size_ = 0;
  bool ended_ = false;
};

}  // namespace tessarn

#endif  // TESSARN_JOBLIST_JOB_LIST_READER_H_
