// The command on a POSIX system.
#include "cli/platform/CliPlatform.h"

#include "cli/IgnoreSigpipe.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cli {

namespace CliPlatform {

const char* const kPluginFileName = "Velmora.so";

void prepareProcess() {
    // Every frame allocates and frees buffers of a few megabytes; kept in the
    // heap instead of mapped and unmapped each time, they cost no page faults.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
}

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

std::string programPath() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::FILE* createUniqueFile(const std::string& prefix, std::string& createdPath, std::string& why) {
    std::string pattern = prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        why = std::strerror(errno);
        return nullptr;
    }
    // mkstemp makes the file private; give it the mode a plain creation would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        why = std::strerror(errno);
        close(fd);
        unlink(name.data());
        return nullptr;
    }
    createdPath = name.data();
    return file;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& why) {
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    why = std::strerror(errno);
    return false;
}

std::optional<int64_t> regularFileSize(std::FILE* file) {
    struct stat st {};
    const int fd = fileno(file);
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return int64_t(st.st_size);
}

bool writeFailedOnClosedPipe(int error) { return error == EPIPE; }

int64_t streamPosition(std::FILE* file) { return int64_t(ftello(file)); }

int64_t readAt(std::FILE* file, void* buffer, size_t size, int64_t offset) {
    return int64_t(pread(fileno(file), buffer, size, off_t(offset)));
}

namespace {
int interruptSignal() {
    static const int signal = [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(SIGRTMIN, &action, nullptr);
        return SIGRTMIN;
    }();
    return signal;
}
} // namespace

void prepareThreadInterruption() { interruptSignal(); }

void interruptThread(std::thread& thread) { pthread_kill(thread.native_handle(), interruptSignal()); }

} // namespace CliPlatform

void ignoreSigpipe() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

} // namespace cli
