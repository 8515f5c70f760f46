#include "run/platform.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <sys/stat.h>
#endif

namespace tessarn {

#ifdef _WIN32

void setStdoutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

bool regularFileSize(std::FILE* file, uint64_t* size) {
  struct _stat64 info;
  if (_fstat64(_fileno(file), &info) != 0) return false;
  if ((info.st_mode & _S_IFMT) != _S_IFREG) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

#else

void setStdoutBinary() {}

bool regularFileSize(std::FILE* file, uint64_t* size) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) return false;
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

#endif

}  // namespace tessarn
