// Files in memory, for running the converter without a disk: tests and
// fuzzers set up the files, run, and read back what was written. Chosen
// names can be made to fail to be created, written or closed.

#ifndef TESSARN_TESTS_SUPPORT_MEMORY_FILE_SYSTEM_H_
#define TESSARN_TESTS_SUPPORT_MEMORY_FILE_SYSTEM_H_

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "io/file_system.h"

namespace tessarn {

class MemoryFileSystem : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> uncreatable;  // create() fails for these names
  std::set<std::string> unwritable;   // writes to these fail (closing does not)
  std::set<std::string> unclosable;   // closing these fails
  // Reads of these fail past their first 64 bytes: the file changed after
  // its header was checked.
  std::set<std::string> cutShort;
  size_t readChunk = SIZE_MAX;        // the most a read of a stream hands over
  // True on a thread while it writes to a file here: the bytes go where a
  // disk would take them, and a test that makes allocations fail spares
  // these.
  static thread_local bool writing;

  std::unique_ptr<ReadStream> openForReading(const std::string& name) override;
  std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) override;
  std::unique_ptr<WriteStream> create(const std::string& name) override;
  bool remove(const std::string& name) override;
  // Every name that no file has is a directory (made as asked).
  bool isDirectory(const std::string& name) override { return files.count(name) == 0; }
  bool makeDirectories(const std::string& name) override { return files.count(name) == 0; }
};

}  // namespace tessarn

#endif  // TESSARN_TESTS_SUPPORT_MEMORY_FILE_SYSTEM_H_
