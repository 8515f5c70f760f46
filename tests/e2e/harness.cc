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
  if (command == nullptr || *command == '\0') throw std::runtime_error("TESSARN_UNDER_TEST is not set");
  return command;
}

#ifdef _WIN32
// For cmd.exe, which std::system runs on Windows; scratch paths hold no
// double quotes. std::system gives the exit code itself: only its low eight
// bits are kept, as a POSIX system keeps them, so that -1 reads as 255.
std::string quoted(const std::string& s) { return "\"" + s + "\""; }
const char kChangeDirectory[] = "cd /d ";
int exitStatus(int raw) { return raw & 0xFF; }
#else
std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}
const char kChangeDirectory[] = "cd ";
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
  path_ = std::filesystem::temp_directory_path() / ("tessarn-e2e-" + std::to_string(std::mt19937_64(seed())()));
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
  std::filesystem::create_directories((path_ / name).parent_path());
  std::ofstream out(path_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchDir::read(const std::string& name) const { return readAll(path_ / name); }

bool ScratchDir::exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(path_ / name));
}

RunResult ScratchDir::run(const std::string& arguments, const std::string& wrapper) const {
  return runCommand(wrapper + " " + toolCommand() + " " + arguments, arguments.empty() && wrapper.empty());
}

std::string withEnvironment(const std::string& assignments) {
#ifdef _WIN32
  std::istringstream in(assignments);
  std::string prefix;
  for (std::string assignment; in >> assignment;) prefix += "set " + assignment + "&& ";
  return prefix;
#else
  return "env " + assignments;
#endif
}

RunResult ScratchDir::runOnTerminal(const std::string& arguments, const std::string& environment) const {
  // The terminal's own line-end translation off, so that the bytes come
  // back as written.
  return runCommand("env " + environment + " script -qec \"stty -onlcr 2>/dev/null; exec " + toolCommand() + " " +
                        arguments + "\" /dev/null",
                    false);
}

RunResult ScratchDir::runCommand(const std::string& command_line, bool quiet) const {
  const std::filesystem::path out = path_.string() + ".stdout", err = path_.string() + ".stderr";
  const std::string command = kChangeDirectory + quoted(path_.string()) + " && " + command_line + " > " +
                              quoted(out.string()) + " 2> " + quoted(err.string());
  const int status = exitStatus(std::system(command.c_str()));
  RunResult result{status, readAll(out), readAll(err)};
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  const bool sanitizer = result.errors.find("Sanitizer") != std::string::npos ||
                         result.errors.find("runtime error") != std::string::npos;
  if (sanitizer || (quiet && !result.errors.empty())) {
    ADD_FAILURE() << "standard error:\n" << result.errors;
  }
  return result;
}

std::string nameOnDisk(const std::string& shift_jis, const std::string& utf8) {
  const char* names = std::getenv("TESSARN_NAMES_ON_DISK");
  if (names == nullptr || *names == '\0' || std::string(names) == "bytes") return shift_jis;
  if (std::string(names) == "utf-8") return utf8;
  throw std::runtime_error("TESSARN_NAMES_ON_DISK must be bytes or utf-8");
}

bool windowsToolUnderWine() { return nameOnDisk("", "utf-8") == "utf-8"; }

}  // namespace tessarn::testing
