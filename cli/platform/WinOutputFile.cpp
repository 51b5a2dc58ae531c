// Output files on Windows. A regular file (or a new one) is written under a
// temporary name beside it, flushed to the disk (FlushFileBuffers) and moved
// over the target with a write-through rename; there is no folder to sync.
// Ctrl+C, Ctrl+Break and closing the console remove the temporary files
// before the process ends; a forced termination (TerminateProcess) cannot be
// caught and may leave one behind. A symbolic link is followed and its target
// replaced (its attributes and security are not carried over). Anything that
// is not a regular file (NUL, CON, a named pipe) is written directly.
#include "cli/OutputFile.h"

#include "cli/CliError.h"
#include "cli/TemporarySlots.h"
#include "cli/platform/CliPlatform.h"

#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <io.h>
#include <mutex>

namespace cli {

namespace {

std::string errorText() { return std::strerror(errno); }

// Temporary files the console control handler removes. That handler runs on
// a thread of its own while the others go on, so a slot is Ready only while
// its file exists under the name stored.
using Slots = TemporarySlots<MAX_PATH * 3>;
Slots temporarySlots;

BOOL WINAPI removeTemporaries(DWORD) {
    for (Slots::Slot& slot : temporarySlots.slots)
        if (slot.state.load() == Slots::Ready)
            DeleteFileA(slot.path);
    return FALSE;  // the default handling then ends the process
}

void installConsoleCleanup() {
    static std::once_flag once;
    std::call_once(once, [] { SetConsoleCtrlHandler(removeTemporaries, TRUE); });
}

// Device names Windows opens in every folder, and paths into the device
// namespace: written directly.
bool isDevicePath(const std::string& path) {
    if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0)
        return true;
    std::string stem = std::filesystem::path(path).stem().string();
    for (char& c : stem)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (const char* name : {"NUL", "CON", "PRN", "AUX", "CONOUT$"})
        if (stem == name)
            return true;
    return false;
}

std::string followLinks(const std::string& path) {
    std::filesystem::path at(path);
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(at, ec))
            return at.string();
        const std::filesystem::path next = std::filesystem::read_symlink(at, ec);
        if (ec)
            return at.string();
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    throw CliError(path + ": too many levels of symbolic links");
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.back() == '/' || path_.back() == '\\')
        throw CliError(path_ + ": not a file name");
    if (isDevicePath(path_)) {
        openDirectly(path_);
        return;
    }
    target_ = followLinks(path_);
    const DWORD attributes = GetFileAttributesA(target_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            throw CliError(path_ + ": cannot open output file (Windows error " + std::to_string(code) + ")");
        openTemporary(target_);
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw CliError(path_ + ": is a folder");
    if (attributes & FILE_ATTRIBUTE_READONLY)
        throw CliError(path_ + ": the file is read-only");
    if (attributes & FILE_ATTRIBUTE_DEVICE) {
        openDirectly(path_);
        return;
    }
    openTemporary(target_);
}

void OutputFile::openDirectly(const std::string& path) {
    // "r+b" does not truncate: a device or pipe has nothing to truncate.
    file_ = std::fopen(path.c_str(), "r+b");
    if (!file_)
        file_ = std::fopen(path.c_str(), "wb");
    if (!file_)
        throw CliError(path_ + ": cannot open output: " + errorText());
}

void OutputFile::openTemporary(const std::string& target) {
    installConsoleCleanup();
    slot_ = temporarySlots.claim();
    if (slot_ < 0)
        throw CliError(path_ + ": too many output files open at once");
    const std::filesystem::path at(target);
    std::string why;
    file_ = CliPlatform::createUniqueFile((at.parent_path() / ("." + at.filename().string() + ".tmp-")).string(),
                                          temporaryPath_, why);
    Slots::Slot& slot = temporarySlots.slots[slot_];
    if (!file_ || temporaryPath_.size() >= sizeof slot.path) {
        temporarySlots.release(slot_);
        if (file_)
            throw CliError(path_ + ": the temporary name is too long");
        throw CliError(path_ + ": cannot create output file: " + why);
    }
    std::memcpy(slot.path, temporaryPath_.c_str(), temporaryPath_.size() + 1);
    slot.state.store(Slots::Ready);
}

bool OutputFile::syncToDisk(std::string& why) {
    if (FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file_)))))
        return true;
    why = " (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
}

bool OutputFile::replaceTarget(std::string& why) {
    return CliPlatform::replaceFile(temporaryPath_, target_, why);
}

// The replacement is a write-through rename: there is no folder to sync.
void OutputFile::syncFolder() {}

void OutputFile::releaseSlot() {
    temporarySlots.release(slot_);
}

} // namespace cli
