// The few things the standard library cannot say portably. This is the only
// place with platform-specific calls.

#ifndef TESSARN_IO_PLATFORM_H_
#define TESSARN_IO_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tessarn {

// Whether a backslash separates directories, as on Windows.
#ifdef _WIN32
constexpr bool kBackslashSeparates = true;
#else
constexpr bool kBackslashSeparates = false;
#endif

// Whether a file name names a file wherever one stands: from the root
// ("/x", and on Windows "\\x" or "C:x" with a drive letter).
bool isAbsolutePath(const std::string& name);

// File names are bytes, as typed or as the job list spells them, and go to
// the system as they are: on Windows through the ANSI calls, in the active
// code page. There a byte of a double-byte character (the second byte of 表
// in code page 932 is 0x5C, a backslash) is part of that character, never a
// separator; the functions below walk names character by character, as the
// system's own lead-byte rules say. Elsewhere a character is a byte.

// The index just past the character that starts at `at` (< name.size()).
size_t nextCharacter(const std::string& name, size_t at);

// Whether the name's last character is a directory separator.
bool endsInSeparator(const std::string& name);

// Whether `name` names a directory (or a link to one).
bool isDirectoryNamed(const std::string& name);

// Makes the directory `name` and any of its parents that are missing. True
// if `name` is a directory afterwards, whether it was made or was there.
bool makeDirectories(const std::string& name);

// Removes the file `name` (not a directory). False if there is none or it
// cannot be removed.
bool removeFile(const std::string& name);

// Whether standard output is a terminal (a console on Windows), which a
// person reads.
bool standardOutputIsTerminal();

// Whether standard output is a terminal that shows UTF-8: on Windows a
// console whose output code page is 65001; elsewhere a terminal whose
// locale (LC_CTYPE, from the environment) has the UTF-8 character set.
bool standardOutputTakesUtf8();

// How many processors this process may run on (taskset, an affinity mask),
// at least 1.
int usableProcessors();

// Puts standard output and standard error in binary mode, so that every
// byte is written as it is, on every platform (on Windows text mode would
// turn "\r\n" into CR CR LF, and "\n" into CR LF).
void setStandardStreamsBinary();

// Makes a write to a pipe that nobody reads fail with an error, as any
// failed write does, instead of ending the process (POSIX's SIGPIPE): a
// closed standard output must not cost the output files what they have.
void ignoreBrokenPipes();

// The size of an open regular file. False for a directory or anything whose
// size cannot be told.
bool regularFileSize(std::FILE* file, uint64_t* size);

// Maps the first `size` bytes of an open file read-only; null if the file is
// empty or cannot be mapped. The mapping outlives the FILE.
void* mapFile(std::FILE* file, size_t size);
void unmapFile(void* mapping, size_t size);

// Reads `size` bytes at `offset` of an open file; false if they could not
// all be read. Not for two threads at once on one file.
bool readFileAt(std::FILE* file, uint64_t offset, void* buffer, size_t size);

// Whether an open file is a directory, which opens on some systems but
// cannot be read.
bool isDirectory(std::FILE* file);

// Opens a file for reading in binary mode, as fopen(name, "rb") does, but
// without waiting: opening a FIFO that nobody writes to would block for ever.
// For a file to be read whole, which must be a regular file anyway. Null if
// the file cannot be opened.
std::FILE* openWithoutWaiting(const char* name);

}  // namespace tessarn

#endif  // TESSARN_IO_PLATFORM_H_
