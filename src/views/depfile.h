// A Make-style dependency rule of a run, so that a build system knows when to
// run tessarn again:
//
//   output.txt stage.bin: tessarn.txt stage.bmp
//
// Targets are output.txt and every binary output created (and the pattern
// file written after the run); prerequisites the job list and every bitmap
// read (and first, the pattern table the run started from), each once, in
// the order they were first used. Each path is the directory the run read or wrote in, joined with the
// name the run used. Spaces, '#' and '$' are escaped, and so are the
// backslashes before a space or '#', the way GNU make and ninja read them
// back; other backslashes (Windows' separators) stay as they are.

#ifndef TESSARN_VIEWS_DEPFILE_H_
#define TESSARN_VIEWS_DEPFILE_H_

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"

namespace tessarn {

// Passes every call on to `files`, noting the files that were read or
// created (a removed file is not noted).
class DependencyRecorder : public FileSystem {
 public:
  DependencyRecorder(FileSystem* files, std::string input_directory,
                     std::string output_directory);

  std::unique_ptr<ReadStream> openForReading(const std::string& name) override;
  std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) override;
  std::unique_ptr<WriteStream> create(const std::string& name) override;
  bool remove(const std::string& name) override;

  // Files the run did not read or write through `files`: the pattern table
  // it started from, the one it wrote. Paths as given.
  void addPrerequisite(const std::string& path) { note(path, &prerequisites_, &prerequisitesSeen_); }
  void addTarget(const std::string& path) { note(path, &targets_, &targetsSeen_); }

  // The rule, ending in a line end.
  std::string rule() const;

 private:
  static void note(const std::string& path, std::vector<std::string>* paths,
                   std::set<std::string>* seen);

  FileSystem* files_;
  std::string inputDirectory_;
  std::string outputDirectory_;
  std::vector<std::string> prerequisites_;
  std::vector<std::string> targets_;
  std::set<std::string> prerequisitesSeen_;
  std::set<std::string> targetsSeen_;
};

// A path as a Make rule spells it.
std::string escapeForMake(std::string_view path);

}  // namespace tessarn

#endif  // TESSARN_VIEWS_DEPFILE_H_
