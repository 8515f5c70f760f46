#include "outputs/buffered_output.h"

namespace tessarn {
namespace {

constexpr std::array<std::array<char, 2>, 256> makeHexPairs() {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<std::array<char, 2>, 256> pairs{};
  for (int b = 0; b < 256; ++b) pairs[b] = {kDigits[b >> 4], kDigits[b & 0xF]};
  return pairs;
}

}  // namespace

// Worked out as the program is built (constinit): no code fills it at start-up.
constinit const std::array<std::array<char, 2>, 256> BufferedOutput::kHexPairs = makeHexPairs();

BufferedOutput::BufferedOutput(std::string name, std::unique_ptr<WriteStream> stream)
    : name_(std::move(name)), stream_(std::move(stream)), buffer_(new char[kBufferSize]) {}

BufferedOutput::~BufferedOutput() {
  if (stream_) close();
}

void BufferedOutput::flush() {
  if (used_ > 0 && !failed_ && !stream_->write(buffer_.get(), used_)) failed_ = true;
  used_ = 0;
}

void BufferedOutput::appendLong(std::string_view bytes) {
  flush();
  if (!failed_ && !stream_->write(bytes.data(), bytes.size())) failed_ = true;
}

bool BufferedOutput::close() {
  flush();
  bool closed = stream_->close();
  stream_.reset();
  return closed && !failed_;
}

bool closeOutput(std::unique_ptr<BufferedOutput>* output, Failure* failure) {
  if (!*output) return true;
  const bool whole = (*output)->close();
  // The name moves into the failure: no copy, no allocation.
  if (!whole) *failure = {MessageId::kWriteFailed, std::move((*output)->name())};
  output->reset();
  return whole;
}

}  // namespace tessarn
