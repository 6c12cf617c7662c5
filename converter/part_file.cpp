// Writing through ".NAME.PID.part", owned by this run, and renaming on success only.
#include "part_file.h"

#include "convert_error.h"
#include "converter_contract.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkast {

namespace {

// Fixed storage so a signal handler can reach the path without allocating.
char g_armedPath[PATH_MAX + 1];
std::atomic<int> g_armedFd{-1};
std::atomic<bool> g_armed{false};

void arm(const std::string& path) {
    if (path.size() > PATH_MAX)
        throw ConvertError("the output path is too long");
    g_armed = false;
    std::memcpy(g_armedPath, path.c_str(), path.size() + 1);
    g_armed = true;
}

// Whether path still names the file open as fd. Async-signal-safe.
bool stillOurs(const char* path, int fd) {
    struct stat opened {};
    struct stat named {};
    return fd >= 0 && ::fstat(fd, &opened) == 0 && ::lstat(path, &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

void onTerminate(int sig) {
    removePartFileNow();
    static const char text[] = "vorkast: stopped by a signal before the clip was complete\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(128 + sig);
}

// Removes the part file at path when no run holds it: its lock can be taken (a run holds its
// own for as long as it lives, also one in another process namespace sharing the folder). A
// symbolic link under a part file's name is no run's either. True when it is gone.
bool removeUnheld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ELOOP ? ::unlink(path.c_str()) == 0 : errno == ENOENT;
    struct stat info {};
    bool removed = false;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = ::unlink(path.c_str()) == 0 || errno == ENOENT;
    ::close(fd);
    return removed;
}

// Whether the process that named a part file has ended.
bool ownerGone(long owner) {
    return ::kill(static_cast<pid_t>(owner), 0) != 0 && errno == ESRCH;
}

// Part files of the same clip that runs killed outright (SIGKILL, a crash of the machine) left:
// never taken for a clip, and never a file of a run that is still working.
void removeStalePartFiles(const std::filesystem::path& output) {
    const std::string folder = output.parent_path().empty() ? "." : output.parent_path().string();
    const std::string name = output.filename().string();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const long self = static_cast<long>(::getpid());
    while (const dirent* entry = ::readdir(dir)) {
        const long owner = contract::partFileOwner(entry->d_name, name);
        if (owner != 0 && owner != self && ownerGone(owner))
            removeUnheld(folder + "/" + entry->d_name);
    }
    ::closedir(dir);
}

} // namespace

std::string partPathFor(const std::string& output) {
    const std::filesystem::path out(output);
    return (out.parent_path() /
            contract::partFileName(out.filename().string(), static_cast<long>(::getpid())))
        .string();
}

void refuseOutputIsSource(const std::string& source, const std::string& output) {
    struct stat in {};
    struct stat out {};
    if (::stat(source.c_str(), &in) != 0 || ::stat(output.c_str(), &out) != 0)
        return;
    if (in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw ConvertError("the output is the source file itself; write the clip to another file");
}

std::string writtenPath(const std::string& output) {
    std::filesystem::path path(output);
    std::error_code ec;
    // A chain of links is followed to its end; a loop gives up where it is.
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(path, ec); ++hops) {
        const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
        if (ec)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path.string();
}

PartFile::PartFile(const std::string& output, bool overwrite)
    : m_output(writtenPath(output)), m_overwrite(overwrite) {
    const std::filesystem::path out(m_output);
    if (out.filename().empty())
        throw ConvertError("the output names a folder, not a file");
    const std::string name = out.filename().string();
    if (name.size() > contract::kFileNameMax)
        throw ConvertError("the output file name is too long: " + std::to_string(name.size()) +
                           " bytes, where file systems hold " +
                           std::to_string(contract::kFileNameMax) + " at most: " + name);
    struct stat info {};
    if (::stat(m_output.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            throw ConvertError("the output is an existing folder, not a file");
        if (!overwrite)
            throw ConvertError("the output file exists already (give -y to replace it)");
    }
    const std::string folder = out.parent_path().empty() ? "." : out.parent_path().string();
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw ConvertError(
            "cannot write to the output folder: it does not exist or is not a folder");
    m_part = partPathFor(m_output);
    removeStalePartFiles(out);
    arm(m_part);
}

PartFile::~PartFile() {
    if (!m_committed) {
        g_armed = false;
        if (stillOurs(m_part.c_str(), m_fd))
            ::unlink(m_part.c_str());
    }
    if (m_fd >= 0)
        ::close(m_fd);
    g_armedFd = -1;
}

int PartFile::create() {
    if (m_fd >= 0)
        return m_fd;
    for (int attempt = 0; m_fd < 0; ++attempt) {
        // Exclusive: a file that is already there is never written into or truncated.
        m_fd = ::open(m_part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            break;
        const int error = errno;
        if (error != EEXIST)
            throw ConvertError(
                error == EACCES || error == EROFS || error == EPERM
                    ? std::string("cannot write to the output folder: ") + std::strerror(error)
                    : std::string("cannot create the clip's part file: ") + std::strerror(error));
        // Under this run's own name: left by an earlier process that had the same id.
        if (attempt > 0 || !removeUnheld(m_part))
            throw ConvertError("another run is writing this clip's part file " + m_part);
    }
    // Held as long as the run lives: how other runs tell a working part file from a stale one.
    // A file system without locks still has the process id in the name to go by.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    g_armedFd = m_fd;
    return m_fd;
}

void PartFile::commit() {
    // Only the file this run wrote goes in place: another program may have removed or replaced
    // it meanwhile, and then the clip is not what was written.
    if (!stillOurs(m_part.c_str(), m_fd))
        throw ConvertError("the clip's part file was removed or replaced by another program "
                           "while converting; the clip was not put in place");
    // Without -y, a file that appeared under OUTPUT while we worked is not replaced either.
    const unsigned flags = m_overwrite ? 0 : RENAME_NOREPLACE;
    int result = ::renameat2(AT_FDCWD, m_part.c_str(), AT_FDCWD, m_output.c_str(), flags);
    if (result != 0 && errno == EINVAL && flags) // a file system without that flag
        result = ::link(m_part.c_str(), m_output.c_str()) == 0 ? ::unlink(m_part.c_str()) : -1;
    if (result != 0 && errno == EEXIST)
        throw ConvertError("the output file appeared while converting and was left as it is "
                           "(give -y to replace it)");
    if (result != 0)
        throw ConvertError(std::string("cannot put the clip in place of the output file: ") +
                           std::strerror(errno));
    m_committed = true;
    g_armed = false;
}

void removePartFileNow() {
    if (g_armed.exchange(false) && stillOurs(g_armedPath, g_armedFd.load()))
        ::unlink(g_armedPath);
}

void installTerminationHandlers() {
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr); // the terminal of a run by hand was closed
    // A job that stopped reading must not kill us in the middle of a write with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    // Past the file size limit (ulimit -f) the write fails with EFBIG, and the failure path
    // removes the part file; the default action would end the program and leave it.
    signal(SIGXFSZ, SIG_IGN);
}

} // namespace vorkast
