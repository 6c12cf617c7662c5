// Writing through ".NAME.part" and renaming on success only.
#include "part_file.h"

#include "convert_error.h"
#include "converter_contract.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkast {

namespace {

// Fixed storage so a signal handler can reach the path without allocating.
char g_armedPath[PATH_MAX + 1];
std::atomic<bool> g_armed{false};

void arm(const std::string& path) {
    if (path.size() > PATH_MAX)
        throw ConvertError("the output path is too long");
    g_armed = false;
    std::memcpy(g_armedPath, path.c_str(), path.size() + 1);
    g_armed = true;
}

void onTerminate(int sig) {
    removePartFileNow();
    static const char text[] = "vorkast: stopped by a signal before the clip was complete\n";
    [[maybe_unused]] auto written = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(128 + sig);
}

} // namespace

std::string partPathFor(const std::string& output) {
    const std::filesystem::path out(output);
    return (out.parent_path() / contract::partFileName(out.filename().string())).string();
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
    : m_output(writtenPath(output)), m_part(partPathFor(m_output)), m_overwrite(overwrite) {
    const std::filesystem::path out(m_output);
    if (out.filename().empty())
        throw ConvertError("the output names a folder, not a file");
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
    arm(m_part);
}

PartFile::~PartFile() {
    if (!m_committed) {
        g_armed = false;
        ::unlink(m_part.c_str());
    }
}

void PartFile::commit() {
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
    if (g_armed.exchange(false))
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
