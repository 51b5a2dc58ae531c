// The command on Windows.
#include "cli/platform/CliPlatform.h"

#include "cli/IgnoreSigpipe.h"
#include "refhost/platform/WinWideText.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <pthread.h>

#include <random>

namespace cli {

namespace CliPlatform {
namespace {

using refhost::narrowText;
using refhost::wideText;

std::string errorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? narrowText(std::wstring(text, length)) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "Windows error " + std::to_string(code) : message;
}

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

} // namespace

const char* const kPluginFileName = "Velmora.aex";

void prepareProcess() {
    // Frames are binary: no newline translation, no end at a 0x1A byte.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::string programPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return narrowText(path);
        }
        path.resize(path.size() * 2);
    }
}

std::FILE* createUniqueFile(const std::string& prefix, std::string& createdPath, std::string& why) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device entropy;
    std::mt19937 pick(entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 6; ++i)
            name += letters[pick() % (sizeof letters - 1)];
        // CREATE_NEW fails when the name exists, so no other file is taken over.
        // Shared for deletion, so that the console handler can remove it while
        // it is still open (it goes when the ending process closes it).
        HANDLE handle = CreateFileW(wideText(name).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
                continue;
            why = errorText(code);
            return nullptr;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        std::FILE* file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
        if (file == nullptr) {
            why = "cannot open the new file";
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(handle);
            DeleteFileW(wideText(name).c_str());
            return nullptr;
        }
        createdPath = name;
        return file;
    }
    why = "no unused temporary name";
    return nullptr;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& why) {
    // One rename that replaces the target: readers see the old file or the
    // new one, never a missing or half-written one.
    if (MoveFileExW(wideText(from).c_str(), wideText(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    why = errorText(GetLastError());
    return false;
}

std::optional<int64_t> regularFileSize(std::FILE* file) {
    HANDLE handle = handleOf(file);
    LARGE_INTEGER size;
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle, &size))
        return std::nullopt;
    return int64_t(size.QuadPart);
}

bool writeFailedOnClosedPipe(int error) {
    // The C runtime reports a closed pipe as EINVAL; the system says which.
    const DWORD code = GetLastError();
    return error == EPIPE || code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE;
}

int64_t streamPosition(std::FILE* file) { return _ftelli64(file); }

int64_t readAt(std::FILE* file, void* buffer, size_t size, int64_t offset) {
    HANDLE handle = handleOf(file);
    // A positioned read moves a synchronous handle's file pointer: put it back
    // so that the stream reads on from where it was.
    LARGE_INTEGER zero{}, position{};
    if (!SetFilePointerEx(handle, zero, &position, FILE_CURRENT))
        return -1;
    OVERLAPPED at{};
    at.Offset = DWORD(uint64_t(offset));
    at.OffsetHigh = DWORD(uint64_t(offset) >> 32);
    DWORD got = 0;
    const BOOL ok = ReadFile(handle, buffer, DWORD(size), &got, &at);
    SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
    if (!ok)
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return int64_t(got);
}

void prepareThreadInterruption() {}

void interruptThread(std::thread& thread) {
    CancelSynchronousIo(pthread_gethandle(thread.native_handle()));
}

} // namespace CliPlatform

// Windows has no SIGPIPE: a write to a closed pipe already fails with an error.
void ignoreSigpipe() {}

} // namespace cli
