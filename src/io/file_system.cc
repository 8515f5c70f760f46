#include "io/file_system.h"

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "io/platform.h"

namespace tessarn {
namespace {

// A name with a NUL byte in it cannot name a file: the C library would see
// only the part before the NUL.
bool usableName(const std::string& name) {
  return name.find('\0') == std::string::npos;
}

class DiskReadStream : public ReadStream {
 public:
  explicit DiskReadStream(std::FILE* file) : file_(file) {}
  ~DiskReadStream() override { std::fclose(file_); }
  size_t read(char* buffer, size_t size) override {
    return std::fread(buffer, 1, size, file_);
  }

 private:
  std::FILE* file_;
};

class DiskWriteStream : public WriteStream {
 public:
  explicit DiskWriteStream(std::FILE* file) : file_(file) {}
  ~DiskWriteStream() override {
    if (file_ != nullptr) std::fclose(file_);
  }
  bool write(const char* data, size_t size) override {
    return std::fwrite(data, 1, size, file_) == size;
  }
  bool close() override {
    bool flushed = std::fflush(file_) == 0;
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return flushed && closed;
  }

 private:
  std::FILE* file_;
};

class DiskRandomAccessFile : public RandomAccessFile {
 public:
  DiskRandomAccessFile(std::FILE* file, uint64_t size) : file_(file), size_(size) {}
  ~DiskRandomAccessFile() override { std::fclose(file_); }
  uint64_t size() const override { return size_; }
  bool readAt(uint64_t offset, void* buffer, size_t size) override {
    return readFileAt(file_, offset, buffer, size);
  }
  ReadStatus readWhole(FileBytes* bytes) override {
    if (size_ >= std::numeric_limits<size_t>::max()) throw std::bad_alloc();
    const auto size = static_cast<size_t>(size_);
    // Mapped: no copy, and big files cost no memory of their own.
    if (bytes->map(file_, size)) return ReadStatus::kOk;
    return readAt(0, bytes->allocate(size), size) ? ReadStatus::kOk : ReadStatus::kMissing;
  }

 private:
  std::FILE* file_;
  uint64_t size_;
};

}  // namespace

FileBytes::~FileBytes() {
  if (mapping_ != nullptr) unmapFile(mapping_, size_);
}

uint8_t* FileBytes::allocate(size_t size) {
  // One spare byte, so that an empty file still gets a real buffer.
  buffer_.reset(new uint8_t[size + 1]);
  data_ = buffer_.get();
  size_ = size;
  return buffer_.get();
}

bool FileBytes::map(std::FILE* file, size_t size) {
  void* mapping = mapFile(file, size);
  if (mapping == nullptr) return false;
  mapping_ = mapping;
  data_ = static_cast<const uint8_t*>(mapping);
  size_ = size;
  return true;
}

std::string joinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || isAbsolutePath(name)) return name;
  return endsInSeparator(directory) ? directory + name : directory + "/" + name;
}

std::unique_ptr<ReadStream> DiskFileSystem::openForReading(const std::string& name) {
  if (!usableName(name)) return nullptr;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return nullptr;
  // A directory opens here but reads as nothing: it cannot be opened as a
  // stream of bytes. (Anything else readable, a FIFO say, can.)
  if (tessarn::isDirectory(file)) {
    std::fclose(file);
    return nullptr;
  }
  return std::make_unique<DiskReadStream>(file);
}

std::unique_ptr<RandomAccessFile> DiskFileSystem::openRandomAccess(const std::string& name) {
  if (!usableName(name)) return nullptr;
  // Only a regular file is read; anything else must not make us wait.
  std::FILE* file = openWithoutWaiting(name.c_str());
  if (file == nullptr) return nullptr;
  uint64_t size = 0;
  if (!regularFileSize(file, &size)) {
    std::fclose(file);
    return nullptr;
  }
  return std::make_unique<DiskRandomAccessFile>(file, size);
}

std::unique_ptr<WriteStream> DiskFileSystem::create(const std::string& name) {
  if (!usableName(name)) return nullptr;
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return nullptr;
  return std::make_unique<DiskWriteStream>(file);
}

bool DiskFileSystem::remove(const std::string& name) {
  return usableName(name) && removeFile(name);
}

bool DiskFileSystem::isDirectory(const std::string& name) { return usableName(name) && isDirectoryNamed(name); }

bool DiskFileSystem::makeDirectories(const std::string& name) {
  return usableName(name) && tessarn::makeDirectories(name);
}

}  // namespace tessarn
