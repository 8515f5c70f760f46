#include "e2e/harness.h"

#include <sys/wait.h>

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

RunResult ScratchDir::run(const std::string& wrapper) const {
  std::filesystem::path out = path_.parent_path() / (path_.filename().string() + ".stdout");
  std::filesystem::path err = path_.parent_path() / (path_.filename().string() + ".stderr");
  std::string command = "cd " + quoted(path_.string()) + " && " + wrapper + " " + toolCommand() +
                        " > " + quoted(out.string()) + " 2> " + quoted(err.string());
  int raw = std::system(command.c_str());
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.console = readAll(out);
  result.errors = readAll(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  if (!result.errors.empty()) ADD_FAILURE() << "standard error:\n" << result.errors;
  return result;
}

std::string line(const std::string& text) { return text + "\r\n"; }

}  // namespace tessarn::testing
