// Starting, reading, ending and reaping one converter process.
#include "job/converter_process.h"

#include "converter_contract.h"
#include "job/section_plan.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

extern char** environ;

namespace segmora {

namespace {

// While output flows the pipe's end of file says the converter is done; the poll only catches a
// converter that ended while something it started still holds the pipe open.
constexpr int kExitPollWhileReadingMs = 100;
// After end of file the exit follows almost at once.
constexpr int kExitPollAfterEndMs = 2;
// After SIGTERM a converter that cleans up takes a few milliseconds.
constexpr int kExitPollWhileEndingMs = 10;
constexpr int kLineLimit = 2048;

// A line is a progress report or a message as the converter's contract classifies it.
bool isReportLine(const QByteArray& line) {
    return vorkast::contract::isProgressReportLine(std::string_view(line.constData(), line.size()));
}

// The one platform-specific step of starting a converter: have the system send it SIGTERM when
// this program dies without ending it (a crash, SIGKILL), so it stops, removes its part file and
// leaves nothing behind. Linux sends the signal when the *thread* that forked the child ends, not
// the process; converters are started on the UI thread, which lives as long as the program.
// Runs in the child between fork and exec: async-signal-safe calls only. Returns false with
// errno set when the request failed.
bool endWithParent(pid_t parent) {
#if defined(__linux__)
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0)
        return false;
    // The parent may have died before the request took effect; nobody would send it then.
    if (::getppid() != parent)
        _exit(128 + SIGTERM);
    return true;
#else
#error "endWithParent: a converter must not outlive the program; port this for the platform"
#endif
}

// Closes every descriptor from first up except keep. Child side of a fork: async-signal-safe.
// highest bounds the fallback loop for kernels without close_range().
void closeDescriptorsFrom(int first, int keep, int highest) {
    bool closed = false;
#if defined(__linux__)
    closed = (keep <= first || ::close_range(first, keep - 1, 0) == 0) &&
             ::close_range(keep + 1, ~0U, 0) == 0;
#endif
    if (!closed) {
        for (int fd = first; fd <= highest; ++fd) {
            if (fd != keep)
                ::close(fd);
        }
    }
}

// Moves fd above standard input, output and error (when this program was started with one of
// them closed, new descriptors take their numbers), so that placing the converter's standard
// streams cannot overwrite it. Keeps close-on-exec; -1 on failure.
int aboveStandardStreams(int fd) {
    if (fd < 0 || fd > STDERR_FILENO)
        return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    return moved;
}

// Everything the child needs, made before fork: after it, only async-signal-safe calls.
struct ChildPlan {
    const char* program;
    char* const* argv;
    pid_t parent;
    int input;       // /dev/null
    int output;      // the pipe's write end, for standard output and error
    int errorReport; // close-on-exec: carries errno if the converter could not be started
    int highestDescriptor;
    int highestSignal;
};

// The child's side of start(): settles its surroundings and becomes the converter. Never returns.
[[noreturn]] void becomeConverter(const ChildPlan& plan) {
    // Handlers are reset by exec anyway; "ignore" would pass on, so everything goes to default.
    struct sigaction defaultAction;
    std::memset(&defaultAction, 0, sizeof defaultAction);
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    for (int sig = 1; sig <= plan.highestSignal; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            ::sigaction(sig, &defaultAction, nullptr); // the C library refuses its own: fine
    }
    sigset_t nothingBlocked;
    sigemptyset(&nothingBlocked);
    // A group of its own: ending the group ends all the converter started.
    if (::setpgid(0, 0) == 0 && endWithParent(plan.parent) &&
        ::dup2(plan.input, STDIN_FILENO) >= 0 && ::dup2(plan.output, STDOUT_FILENO) >= 0 &&
        ::dup2(plan.output, STDERR_FILENO) >= 0) {
        // Descriptors opened elsewhere without close-on-exec must not reach the converter.
        closeDescriptorsFrom(STDERR_FILENO + 1, plan.errorReport, plan.highestDescriptor);
        // Blocked since before fork; a SIGTERM from a parent that died meanwhile lands now.
        ::sigprocmask(SIG_SETMASK, &nothingBlocked, nullptr);
        ::execve(plan.program, plan.argv, environ);
    }
    const int error = errno;
    ssize_t written = -1;
    do {
        written = ::write(plan.errorReport, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// Descriptors owned until handed on; closed on every way out of start().
struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int value) : fd(value) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }
    void reset() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int release() { return std::exchange(fd, -1); }
};

} // namespace

ConverterProcess::ConverterProcess(QObject* parent) : QObject(parent) {}

ConverterProcess::~ConverterProcess() {
    // Receivers may be half destroyed along with us: nobody is told.
    blockSignals(true);
    endNow();
    closePipe();
}

bool ConverterProcess::start(const QString& program, const QStringList& arguments) {
    if (m_result.outcome != Outcome::NotStarted)
        return false;

    auto fail = [this](int error) {
        m_result.outcome = Outcome::StartFailed;
        m_result.startError = QString::fromLocal8Bit(std::strerror(error));
        return false;
    };

    // All close-on-exec: nothing else this program starts may inherit them.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail(errno);
    Descriptor readEnd(fds[0]);
    Descriptor writeEnd(aboveStandardStreams(fds[1]));
    if (writeEnd.fd < 0)
        return fail(errno);
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail(errno);
    Descriptor reportRead(fds[0]);
    Descriptor reportWrite(aboveStandardStreams(fds[1]));
    if (reportWrite.fd < 0)
        return fail(errno);
    Descriptor input(aboveStandardStreams(::open("/dev/null", O_RDONLY | O_CLOEXEC)));
    if (input.fd < 0)
        return fail(errno);

    const QByteArray programBytes = QFile::encodeName(program);
    std::vector<QByteArray> argumentBytes;
    argumentBytes.reserve(arguments.size() + 1);
    argumentBytes.push_back(programBytes);
    for (const QString& argument : arguments)
        argumentBytes.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    argv.reserve(argumentBytes.size() + 1);
    for (QByteArray& bytes : argumentBytes)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    rlimit descriptors{};
    int highestDescriptor = 65535;
    if (::getrlimit(RLIMIT_NOFILE, &descriptors) == 0 && descriptors.rlim_cur != RLIM_INFINITY &&
        descriptors.rlim_cur < static_cast<rlim_t>(highestDescriptor))
        highestDescriptor = static_cast<int>(descriptors.rlim_cur) - 1;
    const ChildPlan plan{.program = programBytes.constData(),
                         .argv = argv.data(),
                         .parent = ::getpid(),
                         .input = input.fd,
                         .output = writeEnd.fd,
                         .errorReport = reportWrite.fd,
                         .highestDescriptor = highestDescriptor,
                         .highestSignal = SIGRTMAX};

    // No handler of ours may run in the child before it has reset them all.
    sigset_t everything;
    sigset_t previous;
    sigfillset(&everything);
    pthread_sigmask(SIG_SETMASK, &everything, &previous);
    const pid_t pid = ::fork();
    if (pid == 0)
        becomeConverter(plan);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0)
        return fail(forkError);

    // Only the converter holds these now; the report pipe reaches end of file at its exec.
    writeEnd.reset();
    reportWrite.reset();
    input.reset();
    int childError = 0;
    ssize_t got = -1;
    do {
        got = ::read(reportRead.fd, &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    if (got != 0) {
        // It could not become the converter (missing, not executable, ...): reap what is left.
        if (got != static_cast<ssize_t>(sizeof childError))
            ::kill(pid, SIGKILL); // no word from it: it may be running, unwatched
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return fail(got == static_cast<ssize_t>(sizeof childError) ? childError : EIO);
    }

    const int readFd = readEnd.release();
    ::fcntl(readFd, F_SETFL, ::fcntl(readFd, F_GETFL) | O_NONBLOCK);
    m_pid = pid;
    m_readFd = readFd;
    m_result.outcome = Outcome::Running;

    m_notifier = new QSocketNotifier(readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConverterProcess::onReadable);
    m_exitPoll = new QTimer(this);
    m_exitPoll->setInterval(kExitPollWhileReadingMs);
    connect(m_exitPoll, &QTimer::timeout, this, &ConverterProcess::pollExit);
    m_exitPoll->start();
    return true;
}

void ConverterProcess::onReadable() {
    if (!isRunning() || m_readFd < 0)
        return;
    char buffer[kChunkSize];
    const ssize_t count = ::read(m_readFd, buffer, sizeof buffer);
    if (count > 0) {
        deliver(QByteArray(buffer, count));
        return;
    }
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    // End of file (or a broken pipe, which ends reading the same way).
    closePipe();
    m_endOfFile = true;
    m_exitPoll->setInterval(kExitPollAfterEndMs);
    pollExit();
}

bool ConverterProcess::drainPipe() {
    char buffer[kChunkSize];
    while (isRunning() && m_readFd >= 0) {
        const ssize_t count = ::read(m_readFd, buffer, sizeof buffer);
        if (count > 0) {
            deliver(QByteArray(buffer, count));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count == 0;
    }
    return true;
}

void ConverterProcess::pollExit() {
    if (!isRunning() || childState() == ChildState::Running)
        return;
    if (m_grace) {
        reap(Outcome::Terminated); // ended on SIGTERM within the grace period
        return;
    }
    if (!m_endOfFile) {
        // Whatever the converter wrote before it ended is still in the pipe.
        drainPipe();
        if (!isRunning())
            return;
    }
    reap(Outcome::Succeeded);
}

ConverterProcess::ChildState ConverterProcess::childState() {
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD ? ChildState::Gone : ChildState::Running;
    return info.si_pid == m_pid ? ChildState::Ended : ChildState::Running;
}

void ConverterProcess::reap(Outcome outcomeIfNormal) {
    Outcome outcome = outcomeIfNormal;
    if (childState() == ChildState::Gone) {
        // Reaped behind our back (SIGCHLD ignored somewhere): its id may belong to another
        // process by now, so it is not signalled, and its status is lost.
        finish(outcome == Outcome::Terminated ? outcome : Outcome::Crashed);
        return;
    }
    // The leader has ended (or is being killed here) but is not reaped, so its group id cannot
    // have been reused: whatever it left behind in its group goes with it.
    ::killpg(m_pid, SIGKILL);
    int status = 0;
    pid_t reaped = -1;
    do {
        reaped = ::waitpid(m_pid, &status, 0);
    } while (reaped < 0 && errno == EINTR);

    if (reaped == m_pid && WIFEXITED(status)) {
        m_result.exitCode = WEXITSTATUS(status);
        if (outcome != Outcome::Terminated)
            outcome = m_result.exitCode == 0 ? Outcome::Succeeded : Outcome::Failed;
    } else if (reaped == m_pid && WIFSIGNALED(status)) {
        m_result.signal = WTERMSIG(status);
        if (outcome != Outcome::Terminated)
            outcome = Outcome::Crashed;
    } else if (outcome != Outcome::Terminated) {
        outcome = Outcome::Crashed; // no status to trust
    }
    finish(outcome);
}

void ConverterProcess::terminate() {
    if (!isRunning() || m_grace)
        return;
    closePipe();
    if (childState() == ChildState::Gone) {
        reap(Outcome::Terminated);
        return;
    }
    ::killpg(m_pid, SIGTERM);
    // The end is seen by the exit poll; the grace timer ends a converter that ignores SIGTERM.
    m_exitPoll->setInterval(kExitPollWhileEndingMs);
    m_exitPoll->start();
    m_grace = new QTimer(this);
    m_grace->setSingleShot(true);
    connect(m_grace, &QTimer::timeout, this, &ConverterProcess::onGraceOver);
    m_grace->start(kTerminateGraceMs);
}

void ConverterProcess::onGraceOver() {
    if (isRunning())
        reap(Outcome::Terminated); // SIGKILL to the whole group, then reaped
}

void ConverterProcess::endNow() {
    if (!isRunning())
        return;
    closePipe();
    reap(Outcome::Terminated);
}

void ConverterProcess::closePipe() {
    if (m_notifier) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_readFd >= 0) {
        ::close(m_readFd);
        m_readFd = -1;
    }
}

void ConverterProcess::deliver(const QByteArray& chunk) {
    noteOutput(chunk);
    emit chunkRead(chunk); // a slot may call terminate()
}

void ConverterProcess::noteOutput(const QByteArray& chunk) {
    for (const char c : chunk) {
        if (c == '\n' || c == '\r') {
            completeLine(true);
        } else if (m_partialLine.size() < kLineLimit) {
            m_partialLine.append(c);
        }
    }
}

void ConverterProcess::completeLine(bool handOn) {
    const QByteArray line = m_partialLine.trimmed();
    m_partialLine.clear();
    if (line.isEmpty() || isReportLine(line))
        return;
    m_result.lastLine = QString::fromUtf8(line);
    if (handOn)
        emit messageLine(m_result.lastLine);
}

void ConverterProcess::finish(Outcome outcome) {
    completeLine(outcome != Outcome::Terminated);
    closePipe();
    if (m_exitPoll)
        m_exitPoll->stop();
    if (m_grace) {
        m_grace->stop();
        m_grace->deleteLater();
        m_grace = nullptr;
    }
    m_result.outcome = outcome;
    if (outcome != Outcome::Succeeded && !m_outputFile.isEmpty() && m_pid > 0) {
        const QString partFile = PartFilePath(m_outputFile, m_pid);
        const QFileInfo part(partFile);
        if (part.exists() && !part.isDir())
            QFile::remove(partFile);
    }
    emit finished();
}

} // namespace segmora
