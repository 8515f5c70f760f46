// The thin seam between the converter and the files it touches.
//
// The run reads the job list as a stream, reads each bitmap at the places
// it needs (or whole), and creates its outputs through a FileSystem, so that tests and fuzzers can run
// the whole converter in memory. File names are passed through as bytes,
// exactly as the job list spells them.
//
// DiskFileSystem is the real one: every file is opened in binary mode, so no
// platform translates line ends or stops at a Ctrl-Z on our behalf. (The
// tests have one in memory.) A DirectoryView sees it from the directories
// -C and -o name.

#ifndef TESSARN_IO_FILE_SYSTEM_H_
#define TESSARN_IO_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tessarn {

// The line end of every text file tessarn writes, and of its messages, on
// every platform.
constexpr std::string_view kLineEnd = "\r\n";

class ReadStream {
 public:
  virtual ~ReadStream() = default;
  // Reads up to `size` bytes; returns how many, 0 at end of input or on error.
  virtual size_t read(char* buffer, size_t size) = 0;
};

class WriteStream {
 public:
  virtual ~WriteStream() = default;
  // False if the bytes could not all be written.
  virtual bool write(const char* data, size_t size) = 0;
  // Flushes and closes; false if that failed. Called at most once.
  virtual bool close() = 0;
};

// A whole file's bytes, read-only: mapped from the file where the platform
// can (no copy, and nothing to allocate), or else held in a buffer of their
// own.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;
  ~FileBytes();

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

  // A buffer of `size` bytes for the caller to fill, left uninitialised
  // since it is about to be filled.
  uint8_t* allocate(size_t size);
  // Maps the first `size` bytes of an open file; false if it cannot.
  bool map(std::FILE* file, size_t size);

 private:
  std::unique_ptr<uint8_t[]> buffer_;
  void* mapping_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

enum class ReadStatus { kOk, kMissing };

// A regular file, read at the places asked for. Reading copies the bytes
// from the system's cache into memory that the reader keeps using, which
// costs far less than touching the pages of a mapped file for the first
// time; a file that is needed whole is mapped instead.
class RandomAccessFile {
 public:
  virtual ~RandomAccessFile() = default;
  virtual uint64_t size() const = 0;
  // Reads `size` bytes from `offset`; false if they could not all be read.
  // One thread at a time.
  virtual bool readAt(uint64_t offset, void* buffer, size_t size) = 0;
  // The whole file: kMissing if it cannot be read.
  virtual ReadStatus readWhole(FileBytes* bytes) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Null if the file cannot be opened.
  virtual std::unique_ptr<ReadStream> openForReading(const std::string& name) = 0;
  // Null if the file cannot be opened, or is not a regular file (a
  // directory, a FIFO).
  virtual std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) = 0;
  // Creates or truncates the file; null if it cannot be created.
  virtual std::unique_ptr<WriteStream> create(const std::string& name) = 0;
  // Removes a file, as names to create are taken; false if there is none or
  // it cannot be removed.
  virtual bool remove(const std::string& name) = 0;
  // Whether `name` names a directory.
  virtual bool isDirectory(const std::string& name) = 0;
  // Makes the directory `name` and its missing parents; true if it is a
  // directory afterwards, whether it was made or was there.
  virtual bool makeDirectories(const std::string& name) = 0;
};

// `name` as seen from where `directory` is seen: the two joined, with a '/'
// unless `directory` ends in a separator, or `name` alone if `directory` is
// empty or `name` is absolute.
std::string joinPath(const std::string& directory, const std::string& name);

// Files on disk, by the names the system takes from where tessarn started.
class DiskFileSystem : public FileSystem {
 public:
  std::unique_ptr<ReadStream> openForReading(const std::string& name) override;
  std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) override;
  std::unique_ptr<WriteStream> create(const std::string& name) override;
  bool remove(const std::string& name) override;
  bool isDirectory(const std::string& name) override;
  bool makeDirectories(const std::string& name) override;
};

// Another file system seen from two directories: names read are taken in
// `input_directory`, names created or removed in `output_directory` (as
// joinPath() joins them; an empty directory leaves names as they are).
class DirectoryView : public FileSystem {
 public:
  DirectoryView(FileSystem* files, std::string input_directory, std::string output_directory)
      : files_(files),
        inputDirectory_(std::move(input_directory)),
        outputDirectory_(std::move(output_directory)) {}

  std::unique_ptr<ReadStream> openForReading(const std::string& name) override {
    return files_->openForReading(joinPath(inputDirectory_, name));
  }
  std::unique_ptr<RandomAccessFile> openRandomAccess(const std::string& name) override {
    return files_->openRandomAccess(joinPath(inputDirectory_, name));
  }
  std::unique_ptr<WriteStream> create(const std::string& name) override {
    return files_->create(joinPath(outputDirectory_, name));
  }
  bool remove(const std::string& name) override { return files_->remove(joinPath(outputDirectory_, name)); }
  bool isDirectory(const std::string& name) override { return files_->isDirectory(joinPath(inputDirectory_, name)); }
  bool makeDirectories(const std::string& name) override {
    return files_->makeDirectories(joinPath(outputDirectory_, name));
  }

 private:
  FileSystem* files_;
  std::string inputDirectory_;
  std::string outputDirectory_;
};

}  // namespace tessarn

#endif  // TESSARN_IO_FILE_SYSTEM_H_
