#include "io/platform.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

namespace tessarn {

bool isAbsolutePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return true;
  if (!kBackslashSeparates) return false;
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  return drive || (!name.empty() && name[0] == '\\');
}

#ifdef _WIN32

void setStandardStreamsBinary() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

void ignoreBrokenPipes() {}

std::FILE* openWithoutWaiting(const char* name) { return std::fopen(name, "rb"); }

bool isDirectory(std::FILE* file) {
  struct _stat64 info;
  return _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFDIR;
}

bool regularFileSize(std::FILE* file, uint64_t* size) {
  struct _stat64 info;
  if (_fstat64(_fileno(file), &info) != 0) return false;
  if ((info.st_mode & _S_IFMT) != _S_IFREG) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void* mapFile(std::FILE* file, size_t size) {
  if (size == 0) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
  CloseHandle(mapping);  // the view keeps the mapping alive
  return view;
}

void unmapFile(void* mapping, size_t) { UnmapViewOfFile(mapping); }

#else

void setStandardStreamsBinary() {}

void ignoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

std::FILE* openWithoutWaiting(const char* name) {
  // O_NONBLOCK makes opening a FIFO return at once; it changes nothing for a
  // regular file.
  int fd = open(name, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

bool isDirectory(std::FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

bool regularFileSize(std::FILE* file, uint64_t* size) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

void* mapFile(std::FILE* file, size_t size) {
  if (size == 0) return nullptr;
  void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(file), 0);
  return mapping == MAP_FAILED ? nullptr : mapping;
}

void unmapFile(void* mapping, size_t size) { munmap(mapping, size); }

#endif

}  // namespace tessarn
