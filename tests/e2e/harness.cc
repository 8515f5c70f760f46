#include "e2e/harness.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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

// The command line that runs the tool in `dir` with its standard output going
// to `out` and its standard error discarded.
std::string commandLine(const std::string& dir, const std::string& out) {
  return "cd /d " + quoted(dir) + " && " + toolCommand() + " > " + quoted(out) + " 2>NUL";
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

std::string commandLine(const std::string& dir, const std::string& out) {
  return "cd " + quoted(dir) + " && " + toolCommand() + " > " + quoted(out) + " 2>/dev/null";
}

int exitStatus(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

#endif

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

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

bool ScratchDir::exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(path_ / name));
}

RunResult ScratchDir::run() const {
  std::filesystem::path out = path_.parent_path() / (path_.filename().string() + ".stdout");
  std::string command = commandLine(path_.string(), out.string());
  RunResult result;
  result.status = exitStatus(std::system(command.c_str()));
  {
    // Closed before the file is removed: Windows won't remove an open file.
    std::ifstream in(out, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    result.console = contents.str();
  }
  std::filesystem::remove(out);
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
