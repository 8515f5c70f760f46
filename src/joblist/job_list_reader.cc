#include "joblist/job_list_reader.h"

namespace tessarn {
namespace {

constexpr int kCtrlZ = 0x1A;

bool isWhitespace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

int JobListReader::peek() {
  if (position_ == size_) {
    if (ended_) return -1;
    size_ = stream_->read(buffer_, sizeof buffer_);
    position_ = 0;
    if (size_ == 0) {
      ended_ = true;
      return -1;
    }
  }
  int c = static_cast<unsigned char>(buffer_[position_]);
  if (c == kCtrlZ) {
    // Everything after a Ctrl-Z is ignored.
    ended_ = true;
    size_ = position_;
    return -1;
  }
  return c;
}

bool JobListReader::skipWhitespace() {
  int c;
  while ((c = peek()) != -1 && isWhitespace(c)) advance();
  return c != -1;
}

bool JobListReader::readName(std::string* name) {
  if (!skipWhitespace()) return false;
  name->clear();
  int c;
  while ((c = peek()) != -1 && !isWhitespace(c)) {
    name->push_back(static_cast<char>(c));
    advance();
  }
  return true;
}

JobListReader::NumberRead JobListReader::readNumber(int32_t* value) {
  if (!skipWhitespace()) return NumberRead::kEndOfInput;
  bool negative = false;
  int c = peek();
  if (c == '+' || c == '-') {
    negative = c == '-';
    advance();
    c = peek();
  }
  if (!isDigit(c)) return NumberRead::kNotANumber;
  // Accumulate in 64 bits, and stop growing once past the 32-bit range so
  // that any number of digits is safe.
  constexpr int64_t kLimit = int64_t{1} << 31;
  int64_t magnitude = 0;
  while (isDigit(c)) {
    if (magnitude <= kLimit) magnitude = magnitude * 10 + (c - '0');
    advance();
    c = peek();
  }
  if (negative) {
    *value = magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
  } else {
    *value = magnitude >= kLimit ? INT32_MAX : static_cast<int32_t>(magnitude);
  }
  return NumberRead::kOk;
}

int JobListReader::readJob(JobRecord* job) {
  if (!readName(&job->bitmapName)) return kEndOfInput;
  int filled = 1;
  int32_t* const before_name[] = {&job->x, &job->y, &job->width, &job->height};
  for (int32_t* field : before_name) {
    if (readNumber(field) != NumberRead::kOk) return filled;
    ++filled;
  }
  if (!readName(&job->name)) return filled;
  ++filled;
  for (int32_t& field : job->colour) {
    if (readNumber(&field) != NumberRead::kOk) return filled;
    ++filled;
  }
  return filled;
}

}  // namespace tessarn
