// Runs the tessarn binary in a scratch directory and reads back what it wrote.
// TESSARN_UNDER_TEST gives the command, which may run it under an emulator.

#ifndef TESSARN_TESTS_E2E_HARNESS_H_
#define TESSARN_TESTS_E2E_HARNESS_H_

#include <filesystem>
#include <string>

namespace tessarn::testing {

struct RunResult {
  int status = 0;       // exit status, 0 to 255
  std::string console;  // every byte written to standard output
  std::string errors;   // standard error
};

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();

  void write(const std::string& name, const std::string& bytes) const;  // parents made
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  const std::filesystem::path& path() const { return path_; }

  // Runs the tool here with these arguments (quoted for the shell).
  // `wrapper`, if given, is a shell command prefix put before the tool's
  // command (to set limits, say). A sanitizer's report on standard error
  // fails the calling test; so does anything there from a run with no
  // arguments and no wrapper, which has nothing to write there.
  RunResult run(const std::string& arguments = "", const std::string& wrapper = "") const;
  // Runs it here with standard output and standard error on a
  // pseudo-terminal (through script(1); not on Windows), `environment`
  // ("NAME=value ...") set: what it wrote comes back as `console`.
  RunResult runOnTerminal(const std::string& arguments, const std::string& environment) const;

 private:
  // Runs `command_line` here, its output redirected; with `quiet`, anything
  // on standard error fails the calling test.
  RunResult runCommand(const std::string& command_line, bool quiet) const;

  std::filesystem::path path_;
};

// A wrapper for ScratchDir::run that sets `assignments` ("NAME=value ...")
// in the tool's environment: env(1), or cmd.exe's set.
std::string withEnvironment(const std::string& assignments);

// How the scratch directory spells a file the job list names with the
// Shift_JIS bytes `shift_jis`: those bytes, or with TESSARN_NAMES_ON_DISK=utf-8
// (a Windows build under Wine, which keeps file names in UTF-8) `utf8`.
std::string nameOnDisk(const std::string& shift_jis, const std::string& utf8);

// Whether the tool under test is a Windows build met under Wine, from a
// Linux build of the suites (TESSARN_NAMES_ON_DISK=utf-8 says so).
bool windowsToolUnderWine();

}  // namespace tessarn::testing

#endif  // TESSARN_TESTS_E2E_HARNESS_H_
