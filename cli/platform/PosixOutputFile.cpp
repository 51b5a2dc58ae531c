#include "cli/OutputFile.h"

#include "cli/CliError.h"
#include "cli/TemporarySlots.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

std::string errorText() {
    return std::strerror(errno);
}

// Temporary files the handler of SIGINT, SIGTERM and SIGHUP removes before
// the process ends. A slot is Ready from just before its file is created
// until it has been renamed or removed; the handler only reads slots, with
// async-signal-safe calls.
using Slots = TemporarySlots<PATH_MAX>;
Slots temporarySlots;
constexpr int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(kCleanedSignals)];

void removeTemporaries(int signal) {
    for (Slots::Slot& slot : temporarySlots.slots)
        if (slot.state.load() == Slots::Ready)
            unlink(slot.path);
    for (size_t i = 0; i < std::size(kCleanedSignals); ++i)
        if (kCleanedSignals[i] == signal)
            sigaction(signal, &previousActions[i], nullptr);
    raise(signal);
}

void installSignalCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (size_t i = 0; i < std::size(kCleanedSignals); ++i) {
            struct sigaction action {};
            action.sa_handler = removeTemporaries;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            sigaction(kCleanedSignals[i], nullptr, &previousActions[i]);
            // A signal the user made the command ignore (nohup) stays ignored.
            if (previousActions[i].sa_handler != SIG_IGN)
                sigaction(kCleanedSignals[i], &action, nullptr);
        }
    });
}

// The name a path finally leads to when its symbolic links are followed (a
// dangling link: the file it would create). Relative targets are taken from
// the link's folder.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
        if (length < 0)
            return path;
        const std::string next(target, size_t(length));
        const size_t slash = path.rfind('/');
        path = next.front() == '/' || slash == std::string::npos ? next : path.substr(0, slash + 1) + next;
    }
    throw CliError(path + ": too many levels of symbolic links");
}

bool isDescriptorPath(const std::string& path) {
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/", "/dev/std"})
        if (path.rfind(prefix, 0) == 0)
            return true;
    return false;
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    if (path_.empty() || path_.back() == '/')
        throw CliError(path_ + ": not a file name");
    if (isDescriptorPath(path_)) {
        openDirectly(path_);
        return;
    }
    target_ = followLinks(path_);
    if (isDescriptorPath(target_)) {
        openDirectly(path_);
        return;
    }
    struct stat st {};
    if (stat(target_.c_str(), &st) != 0) {
        if (errno != ENOENT)
            throw CliError(path_ + ": cannot open output file: " + errorText());
        openTemporary(target_);
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fileno(file_), 0666 & ~mask);
        return;
    }
    if (S_ISDIR(st.st_mode))
        throw CliError(path_ + ": is a folder");
    if (!S_ISREG(st.st_mode)) {
        openDirectly(path_);
        return;
    }
    // Write permission is checked on the mode too: root may write anything,
    // but a file made read-only is not to be replaced by the rename.
    if ((st.st_mode & 0222) == 0 || access(target_.c_str(), W_OK) != 0)
        throw CliError(path_ + ": the file is read-only");
    openTemporary(target_);
    fchmod(fileno(file_), st.st_mode & 07777);
    // Only root may give the file away; anyone else keeps their own.
    if (fchown(fileno(file_), st.st_uid, st.st_gid) != 0 && geteuid() == 0)
        throw CliError(path_ + ": cannot keep the file's owner: " + errorText());
}

void OutputFile::openDirectly(const std::string& path) {
    // No O_TRUNC: a device or FIFO has nothing to truncate, and a descriptor
    // path is written from where its owner left it.
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw CliError(path_ + ": cannot open output: " + errorText());
    file_ = fdopen(fd, "wb");
    if (!file_) {
        const std::string why = errorText();
        close(fd);
        throw CliError(path_ + ": cannot open output: " + why);
    }
}

void OutputFile::openTemporary(const std::string& target) {
    installSignalCleanup();
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    slot_ = temporarySlots.claim();
    if (slot_ < 0)
        throw CliError(path_ + ": too many output files open at once");
    Slots::Slot& slot = temporarySlots.slots[slot_];
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "." + base + ".tmp-";
        for (int i = 0; i < 8; ++i)
            name += letters[random() % (sizeof letters - 1)];
        if (name.size() >= sizeof slot.path)
            break;
        std::memcpy(slot.path, name.c_str(), name.size() + 1);
        // Ready before the file exists, so that no signal finds it unlisted.
        slot.state.store(Slots::Ready);
        const int fd = open(slot.path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            slot.state.store(Slots::Claimed);  // not ours: the handler must not remove it
            if (error == EEXIST)
                continue;
            temporarySlots.release(slot_);
            errno = error;
            throw CliError(path_ + ": cannot create output file: " + errorText());
        }
        temporaryPath_ = name;
        file_ = fdopen(fd, "wb");
        if (!file_) {
            const std::string why = errorText();
            close(fd);
            unlink(temporaryPath_.c_str());
            temporarySlots.release(slot_);
            throw CliError(path_ + ": cannot open output file: " + why);
        }
        return;
    }
    temporarySlots.release(slot_);
    throw CliError(path_ + ": cannot create a temporary file beside it");
}

bool OutputFile::syncToDisk(std::string& why) {
    if (fsync(fileno(file_)) == 0)
        return true;
    why = ": " + errorText();
    return false;
}

bool OutputFile::replaceTarget(std::string& why) {
    if (std::rename(temporaryPath_.c_str(), target_.c_str()) == 0)
        return true;
    why = errorText();
    return false;
}

void OutputFile::syncFolder() {
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 || fsync(folderFd) != 0) {
        const std::string why = errorText();
        if (folderFd >= 0)
            close(folderFd);
        throw CliError(path_ + ": cannot sync its folder: " + why);
    }
    close(folderFd);
}

void OutputFile::releaseSlot() {
    temporarySlots.release(slot_);
}

} // namespace cli
