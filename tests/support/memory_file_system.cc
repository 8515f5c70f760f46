#include "support/memory_file_system.h"

#include <algorithm>
#include <cstring>

namespace tessarn {
namespace {

class MemoryReadStream : public ReadStream {
 public:
  MemoryReadStream(std::string contents, size_t chunk) : contents_(std::move(contents)), chunk_(chunk) {}
  size_t read(char* buffer, size_t size) override {
    const size_t n = std::min({size, chunk_, contents_.size() - position_});
    std::memcpy(buffer, contents_.data() + position_, n);
    position_ += n;
    return n;
  }

 private:
  std::string contents_;
  size_t chunk_;
  size_t position_ = 0;
};

class MemoryWriteStream : public WriteStream {
 public:
  MemoryWriteStream(std::string* file, bool writes_fail, bool close_fails)
      : file_(file), writesFail_(writes_fail), closeFails_(close_fails) {}
  bool write(const char* data, size_t size) override {
    MemoryFileSystem::writing = true;
    if (!writesFail_) file_->append(data, size);
    MemoryFileSystem::writing = false;
    return !writesFail_;
  }
  bool close() override { return !closeFails_; }

 private:
  std::string* file_;
  bool writesFail_;
  bool closeFails_;
};

// A copy of the file as it was opened.
class MemoryRandomAccessFile : public RandomAccessFile {
 public:
  MemoryRandomAccessFile(std::string contents, bool cut_short)
      : contents_(std::move(contents)), cutShort_(cut_short) {}
  uint64_t size() const override { return contents_.size(); }
  bool readAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset > contents_.size() || size > contents_.size() - offset) return false;
    if (cutShort_ && offset + size > kCheckedBytes) return false;
    std::memcpy(buffer, contents_.data() + offset, size);
    return true;
  }
  ReadStatus readWhole(FileBytes* bytes) override {
    if (cutShort_ && contents_.size() > kCheckedBytes) return ReadStatus::kMissing;
    std::memcpy(bytes->allocate(contents_.size()), contents_.data(), contents_.size());
    return ReadStatus::kOk;
  }

 private:
  static constexpr size_t kCheckedBytes = 64;
  std::string contents_;
  bool cutShort_;
};

}  // namespace

thread_local bool MemoryFileSystem::writing = false;

std::unique_ptr<ReadStream> MemoryFileSystem::openForReading(const std::string& name) {
  auto it = files.find(name);
  if (it == files.end()) return nullptr;
  return std::make_unique<MemoryReadStream>(it->second, readChunk);
}

std::unique_ptr<RandomAccessFile> MemoryFileSystem::openRandomAccess(const std::string& name) {
  auto it = files.find(name);
  if (it == files.end()) return nullptr;
  return std::make_unique<MemoryRandomAccessFile>(it->second, cutShort.count(name) != 0);
}

std::unique_ptr<WriteStream> MemoryFileSystem::create(const std::string& name) {
  if (uncreatable.count(name) != 0) return nullptr;
  std::string* file = &files[name];
  file->clear();
  return std::make_unique<MemoryWriteStream>(file, unwritable.count(name) != 0,
                                             unclosable.count(name) != 0);
}

bool MemoryFileSystem::remove(const std::string& name) { return files.erase(name) != 0; }

}  // namespace tessarn
