// A Make-style dependency rule of a run, so that a build system knows when to
// run tessarn again:
//
//   output.txt stage.bin: tessarn.txt stage.bmp
//
// Targets are the files the run created (output.txt, the binary outputs, the
// C library, the pattern file); prerequisites the files it read (the pattern
// tables it started from, the job list, the bitmaps), each once, in the
// order they were first used. Each path is the name the file was opened by,
// from where tessarn started: the directory the run read or wrote in,
// joined with the name the run used. Spaces, '#' and '$' are
// escaped, and so are the backslashes before a space or '#', the way GNU
// make and ninja read them back; other backslashes (Windows' separators)
// stay as they are.

#ifndef TESSARN_VIEWS_DEPFILE_H_
#define TESSARN_VIEWS_DEPFILE_H_

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "io/file_system.h"

namespace tessarn {

// The files a run used, in the order first used.
class Dependencies {
 public:
  void addPrerequisite(const std::string& path) { note(path, &prerequisites_, &prerequisitesSeen_); }
  void addTarget(const std::string& path) { note(path, &targets_, &targetsSeen_); }

  // The rule, ending in a line end.
  std::string rule() const;

 private:
  static void note(const std::string& path, std::vector<std::string>* paths, std::set<std::string>* seen);

  std::vector<std::string> prerequisites_;
  std::vector<std::string> targets_;
  std::set<std::string> prerequisitesSeen_;
  std::set<std::string> targetsSeen_;
};

// Passes every call on to `files`, noting in `record` the files that were
// read or created, by the names they were opened by (a removed file is not
// noted).
class DependencyRecorder : public FileSystem {
 public:
  DependencyRecorder(FileSystem* files, Dependencies* record) : files_(files), record_(record) {}

  std::unique_ptr<ReadStream> openForReading(const std::string& name) override;
  std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) override;
  std::unique_ptr<WriteStream> create(const std::string& name) override;
  bool remove(const std::string& name) override { return files_->remove(name); }
  bool isDirectory(const std::string& name) override { return files_->isDirectory(name); }
  bool makeDirectories(const std::string& name) override { return files_->makeDirectories(name); }

 private:
  FileSystem* files_;
  Dependencies* record_;
};

// A path as a Make rule spells it.
std::string escapeForMake(std::string_view path);

}  // namespace tessarn

#endif  // TESSARN_VIEWS_DEPFILE_H_
