// tessarn: converts rectangles of indexed-colour images into 8x8 character
// patterns and tile maps, as listed in tessarn.txt.

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "cli/command_line.h"
#include "cli/configured_run.h"
#include "io/file_system.h"
#include "io/platform.h"
#include "run/exit_status.h"
#include "run/run_settings.h"

namespace {

// A standard stream, flushed after every write so that messages come out in
// order with anything else the process writes.
class StdStream : public tessarn::WriteStream {
 public:
  explicit StdStream(std::FILE* file) : file_(file) {}
  bool write(const char* data, size_t size) override {
    bool written = std::fwrite(data, 1, size, file_) == size;
    return std::fflush(file_) == 0 && written;
  }
  bool close() override { return std::fflush(file_) == 0; }

 private:
  std::FILE* file_;
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

int main(int argc, char** argv) {
  tessarn::setStandardStreamsBinary();
  tessarn::ignoreBrokenPipes();
  tessarn::Options options;
  StdStream console(stdout);
  StdStream errors(stderr);
  // Memory can run out before the run, as anywhere: its message, status -1.
  // (The run itself says so in the language asked for.)
  try {
    tessarn::Surroundings surroundings;
    surroundings.messagesVariable = std::getenv("TESSARN_MESSAGES");
    surroundings.utf8Terminal = tessarn::standardOutputTakesUtf8();
    std::string text;
    std::string error;
    switch (tessarn::parseCommandLine(argc, argv, surroundings, &options, &text, &error)) {
      case tessarn::CommandLine::kDone:
        (void)console.write(text.data(), text.size());
        return tessarn::kExitSuccess;
      case tessarn::CommandLine::kUsageError:
        text = tessarn::usageErrorText(error);
        (void)errors.write(text.data(), text.size());
        return tessarn::kExitUsage;
      case tessarn::CommandLine::kRun:
        break;
    }
    tessarn::RunConditions conditions;
    conditions.threads = tessarn::threadsToUse(std::getenv("TESSARN_THREADS"));
    conditions.warnOnStandardError = tessarn::standardOutputIsTerminal();
    tessarn::DiskFileSystem disk;
    return tessarn::runConfigured(options, conditions, &disk, &console, &errors);
  } catch (const std::bad_alloc&) {
    tessarn::Console(&console, options.messages).report(tessarn::MessageId::kOutOfMemory);
    return tessarn::kExitFailure;
  }
}
