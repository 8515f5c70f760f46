#include "e2e/harness.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace tessarn::testing {
namespace {

std::string toolCommand() {
  const char* command = std::getenv("TESSARN_UNDER_TEST");
  if (command == nullptr || *command == '\0') {
    throw std::runtime_error("TESSARN_UNDER_TEST is not set");
  }
  return command;
}

#ifdef _WIN32

// For cmd.exe, which std::system runs on Windows. Scratch paths hold no
// double quotes.
std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// The command line that runs the tool in `dir`, after `wrapper`, with its
// standard output going to `out` and its standard error to `err`.
std::string commandLine(const std::string& dir, const std::string& wrapper,
                        const std::string& arguments, const std::string& out,
                        const std::string& err) {
  return "cd /d " + quoted(dir) + " && " + wrapper + " " + toolCommand() + " " + arguments +
         " > " + quoted(out) + " 2> " + quoted(err);
}

// std::system gives the exit code itself. Only its low eight bits are kept,
// as a POSIX system keeps them, so that -1 reads as 255 on every platform.
int exitStatus(int raw) { return raw & 0xFF; }

#else

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string commandLine(const std::string& dir, const std::string& wrapper,
                        const std::string& arguments, const std::string& out,
                        const std::string& err) {
  return "cd " + quoted(dir) + " && " + wrapper + " " + toolCommand() + " " + arguments + " > " +
         quoted(out) + " 2> " + quoted(err);
}

int exitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

#endif

// Reads a whole file; the stream is closed on return, since Windows won't
// remove an open file.
std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

}  // namespace

ScratchDir::ScratchDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  path_ = std::filesystem::temp_directory_path() /
          ("tessarn-e2e-" + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // A test may have taken the write bit away.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchDir::read(const std::string& name) const { return readAll(path_ / name); }

bool ScratchDir::exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(path_ / name));
}

namespace {

RunResult runTool(const std::filesystem::path& dir, const std::filesystem::path& scratch,
                  const std::string& wrapper, const std::string& arguments) {
  std::filesystem::path out = scratch.parent_path() / (scratch.filename().string() + ".stdout");
  std::filesystem::path err = scratch.parent_path() / (scratch.filename().string() + ".stderr");
  std::string command = commandLine(dir.string(), wrapper, arguments, out.string(), err.string());
  RunResult result;
  result.status = exitStatus(std::system(command.c_str()));
  result.console = readAll(out);
  result.errors = readAll(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return result;
}

}  // namespace

RunResult ScratchDir::run(const std::string& wrapper) const {
  RunResult result = runTool(path_, path_, wrapper, "");
  if (!result.errors.empty()) ADD_FAILURE() << "standard error:\n" << result.errors;
  return result;
}

RunResult ScratchDir::runWithOptions(const std::string& arguments,
                                     const std::string& subdirectory) const {
  RunResult result = runTool(path_ / subdirectory, path_, "", arguments);
  if (result.errors.find("Sanitizer") != std::string::npos ||
      result.errors.find("runtime error") != std::string::npos) {
    ADD_FAILURE() << "standard error:\n" << result.errors;
  }
  return result;
}

std::string line(const std::string& text) { return text + "\r\n"; }

std::string nameOnDisk(const std::string& shift_jis, const std::string& utf8) {
  const char* names = std::getenv("TESSARN_NAMES_ON_DISK");
  if (names == nullptr || *names == '\0' || std::string(names) == "bytes") return shift_jis;
  if (std::string(names) == "utf-8") return utf8;
  throw std::runtime_error("TESSARN_NAMES_ON_DISK must be bytes or utf-8");
}

}  // namespace tessarn::testing
