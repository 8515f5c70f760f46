// tessarn: converts rectangles of indexed-colour BMP images into 8x8
// two-plane character patterns and tile maps, as listed in tessarn.txt.

#include <cstdio>

#include "run/file_system.h"
#include "run/platform.h"
#include "run/run_driver.h"

namespace {

// Standard output, flushed after every message so that messages come out in
// order with anything else the process writes.
class StdoutStream : public tessarn::WriteStream {
 public:
  bool write(const char* data, size_t size) override {
    bool written = std::fwrite(data, 1, size, stdout) == size;
    return std::fflush(stdout) == 0 && written;
  }
  bool close() override { return std::fflush(stdout) == 0; }
};

}  // namespace

// Built with AddressSanitizer, the tool still treats memory running out as it
// always does (its message, exit status -1): by default the sanitizer would
// end the program at the first allocation it cannot satisfy, even a nothrow
// one. ASAN_OPTIONS can still say otherwise.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARN_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TESSARN_ADDRESS_SANITIZER)
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

int main() {
  tessarn::setStdoutBinary();
  tessarn::ignoreBrokenPipes();
  tessarn::DiskFileSystem files;
  StdoutStream console;
  return tessarn::runMain(&files, &console);
}
