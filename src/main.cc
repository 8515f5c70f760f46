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

int main() {
  tessarn::setStdoutBinary();
  tessarn::DiskFileSystem files;
  StdoutStream console;
  return tessarn::runMain(&files, &console);
}
