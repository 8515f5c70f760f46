#include "io/platform.h"

#include <cerrno>
#include <cstdint>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
#else
#include <fcntl.h>
#ifdef __linux__
#include <sched.h>
#endif
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <langinfo.h>

#include <clocale>
#include <csignal>
#endif

namespace tessarn {
namespace {

bool isSeparator(char c) { return c == '/' || (kBackslashSeparates && c == '\\'); }

// Tries to make one directory whose parent is there; whether it did is told
// by looking.
void makeDirectory(const std::string& name);

}  // namespace

// The first byte starts a character, and ':' is never the second byte of a
// double-byte character: the first two bytes can be taken as they are.
bool isAbsolutePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return true;
  if (!kBackslashSeparates) return false;
  const bool drive = name.size() >= 2 && name[1] == ':' &&
                     ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  return drive || (!name.empty() && name[0] == '\\');
}

bool endsInSeparator(const std::string& name) {
  bool separator = false;
  for (size_t at = 0; at < name.size(); at = nextCharacter(name, at)) separator = isSeparator(name[at]);
  return separator;
}

bool makeDirectories(const std::string& name) {
  if (name.empty()) return false;
  if (isDirectoryNamed(name)) return true;
  // Each parent from the outermost, then the directory itself. Making one
  // that is there already, or a root or drive ("/", "C:"), just fails; only
  // the end result counts.
  for (size_t at = 0; at < name.size(); at = nextCharacter(name, at)) {
    if (at > 0 && isSeparator(name[at])) makeDirectory(name.substr(0, at));
  }
  makeDirectory(name);
  return isDirectoryNamed(name);
}

#ifdef _WIN32

size_t nextCharacter(const std::string& name, size_t at) {
  const bool lead = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(name[at])) != 0;
  return lead && at + 1 < name.size() ? at + 2 : at + 1;
}

bool isDirectoryNamed(const std::string& name) {
  const DWORD attributes = GetFileAttributesA(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {
void makeDirectory(const std::string& name) { CreateDirectoryA(name.c_str(), nullptr); }
}  // namespace

bool removeFile(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

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

bool readFileAt(std::FILE* file, uint64_t offset, void* buffer, size_t size) {
  if (size == 0) return true;
  if (offset > static_cast<uint64_t>(INT64_MAX) || _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET) != 0) {
    return false;
  }
  return std::fread(buffer, 1, size, file) == size;
}

bool standardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool standardOutputTakesUtf8() { return standardOutputIsTerminal() && GetConsoleOutputCP() == CP_UTF8; }

int usableProcessors() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
  int count = 0;
  for (; process != 0; process &= process - 1) ++count;
  return count > 0 ? count : 1;
}

#else

size_t nextCharacter(const std::string&, size_t at) { return at + 1; }

bool isDirectoryNamed(const std::string& name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {
void makeDirectory(const std::string& name) { mkdir(name.c_str(), 0777); }
}  // namespace

bool removeFile(const std::string& name) { return unlink(name.c_str()) == 0; }

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

bool readFileAt(std::FILE* file, uint64_t offset, void* buffer, size_t size) {
  auto* at = static_cast<char*>(buffer);
  while (size > 0) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    const ssize_t got = pread(fileno(file), at, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    at += got;
    size -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

bool standardOutputTakesUtf8() {
  if (!standardOutputIsTerminal()) return false;
  // The environment's locale, asked for and then put back: the rest of the
  // tool works in the "C" locale.
  const char* current = std::setlocale(LC_CTYPE, nullptr);
  const std::string before = current != nullptr ? current : "C";
  if (std::setlocale(LC_CTYPE, "") == nullptr) return false;
  std::string codeset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, before.c_str());
  for (char& c : codeset) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return codeset == "UTF-8" || codeset == "UTF8";
}

int usableProcessors() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
#endif
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

#endif

}  // namespace tessarn
