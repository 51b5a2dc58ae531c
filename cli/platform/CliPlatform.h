// The command's contacts with the operating system, one file per system
// (PosixCliPlatform.cpp, WinCliPlatform.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

namespace cli {

namespace CliPlatform {

// The plug-in's file name on this system, looked for beside the program.
extern const char* const kPluginFileName;

// Called once at start: standard input and output carry bytes unchanged, and
// the allocator keeps frame-sized blocks instead of returning them each time.
void prepareProcess();

bool standardErrorIsTerminal();

// The running program's own file; empty when the system does not tell.
std::string programPath();

// Creates and opens for binary writing a new file named `prefix` followed by
// a few unique characters, with the permissions a plain creation would give.
// Null on failure, with the reason in `why`.
std::FILE* createUniqueFile(const std::string& prefix, std::string& createdPath, std::string& why);

// Moves `from` onto `to` in one step, replacing a file already there.
bool replaceFile(const std::string& from, const std::string& to, std::string& why);

// The size of the file when it is a regular file (not a pipe or terminal).
std::optional<int64_t> regularFileSize(std::FILE* file);

// Whether a write that failed with `error` (errno, read at once) met a pipe
// whose reading end was closed.
bool writeFailedOnClosedPipe(int error);

// The stream's position in bytes (64-bit on every system), or -1.
int64_t streamPosition(std::FILE* file);

// Reads up to `size` bytes at `offset` without moving the stream's position;
// the count read, or -1.
int64_t readAt(std::FILE* file, void* buffer, size_t size, int64_t offset);

// Breaks `thread` out of a blocking read or write, which then fails (the
// stage ends on that error). Repeated by the caller until the thread is done,
// since a request just before the call is lost. POSIX: a handler-less signal
// without SA_RESTART (EINTR); Windows: CancelSynchronousIo.
void prepareThreadInterruption();
void interruptThread(std::thread& thread);

} // namespace CliPlatform

} // namespace cli
