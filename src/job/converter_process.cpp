// Starting, reading, ending and reaping one converter process.
#include "job/converter_process.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace segmora {

namespace {

// While output flows the pipe's end of file says the converter is done; the poll only catches a
// converter that ended while something it started still holds the pipe open.
constexpr int kExitPollWhileReadingMs = 100;
// After end of file the exit follows almost at once.
constexpr int kExitPollAfterEndMs = 2;
constexpr int kLineLimit = 2048;

void sleepMs(int ms) {
    timespec pause{0, static_cast<long>(ms) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// A line is a progress report when "time", one separator and a digit appear in it.
bool isReportLine(const QByteArray& line) {
    qsizetype at = line.indexOf("time");
    while (at >= 0) {
        const qsizetype digit = at + 5;
        if (digit < line.size() && line.at(digit) >= '0' && line.at(digit) <= '9')
            return true;
        at = line.indexOf("time", at + 1);
    }
    return false;
}

// RAII for the spawn attribute objects.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    bool actionsReady = false;
    bool attributesReady = false;
    ~SpawnSetup() {
        if (actionsReady)
            posix_spawn_file_actions_destroy(&actions);
        if (attributesReady)
            posix_spawnattr_destroy(&attributes);
    }
};

} // namespace

ConverterProcess::ConverterProcess(QObject* parent) : QObject(parent) {}

ConverterProcess::~ConverterProcess() {
    // Receivers may be half destroyed along with us; only a waiting runToEnd() is told.
    blockSignals(true);
    terminate();
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

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return fail(errno);
    const int readFd = fds[0];
    const int writeFd = fds[1];
    auto closeBoth = [&] {
        ::close(readFd);
        ::close(writeFd);
    };

    SpawnSetup setup;
    int error = posix_spawn_file_actions_init(&setup.actions);
    setup.actionsReady = error == 0;
    if (error == 0)
        error = posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null",
                                                 O_RDONLY, 0);
    if (error == 0)
        error = posix_spawn_file_actions_adddup2(&setup.actions, writeFd, STDOUT_FILENO);
    if (error == 0)
        error = posix_spawn_file_actions_adddup2(&setup.actions, writeFd, STDERR_FILENO);
    // Descriptors opened elsewhere without close-on-exec must not reach the converter either.
    if (error == 0)
        error = posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
    if (error == 0) {
        error = posix_spawnattr_init(&setup.attributes);
        setup.attributesReady = error == 0;
    }
    sigset_t defaults;
    sigset_t emptyMask;
    sigemptyset(&defaults);
    sigemptyset(&emptyMask);
    // Dispositions the program may have set to "ignore" would otherwise pass to the converter.
    for (const int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, sig);
    if (error == 0)
        error = posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    if (error == 0)
        error = posix_spawnattr_setsigmask(&setup.attributes, &emptyMask);
    // Group 0: the converter leads a new group, so ending the group ends all it started.
    if (error == 0)
        error = posix_spawnattr_setpgroup(&setup.attributes, 0);
    if (error == 0)
        error = posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETPGROUP |
                                                                POSIX_SPAWN_SETSIGDEF |
                                                                POSIX_SPAWN_SETSIGMASK);
    if (error != 0) {
        closeBoth();
        return fail(error);
    }

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

    pid_t pid = 0;
    // glibc's posix_spawn reports a failed exec (missing or not executable) as its result.
    error = posix_spawn(&pid, programBytes.constData(), &setup.actions, &setup.attributes,
                        argv.data(), environ);
    ::close(writeFd); // only the converter holds the write end now
    if (error != 0) {
        ::close(readFd);
        return fail(error);
    }

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
        const QByteArray chunk(buffer, count);
        noteOutput(chunk);
        emit chunkRead(chunk); // a slot may call terminate()
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
            const QByteArray chunk(buffer, count);
            noteOutput(chunk);
            emit chunkRead(chunk);
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
    if (!isRunning())
        return;
    closePipe();
    if (childState() != ChildState::Gone) {
        ::killpg(m_pid, SIGTERM);
        QElapsedTimer waited;
        waited.start();
        while (childState() == ChildState::Running && waited.elapsed() < kTerminateGraceMs)
            sleepMs(10);
    }
    reap(Outcome::Terminated);
}

ConverterProcess::Result ConverterProcess::runToEnd() {
    if (!isRunning())
        return m_result;
    // finish() copies the result out and quits the loop, so nothing here touches the object
    // after the loop, even if a slot run meanwhile destroyed it.
    Result result = m_result;
    QEventLoop loop;
    QEventLoop* const outerLoop = m_waitLoop;
    Result* const outerResult = m_waitResult;
    m_waitLoop = &loop;
    m_waitResult = &result;
    loop.exec();
    if (result.outcome == Outcome::Running) {
        // The loop ended without finish(): the application is quitting, which ends every event
        // loop at once. The object is still alive (its destruction would have finished it), so
        // the converter is ended here rather than left behind.
        m_waitLoop = outerLoop;
        m_waitResult = outerResult;
        terminate();
        result = m_result;
    }
    if (outerLoop) { // a runToEnd() further up the stack ends with this one
        *outerResult = result;
        outerLoop->quit();
    }
    return result;
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

void ConverterProcess::noteOutput(const QByteArray& chunk) {
    for (const char c : chunk) {
        if (c == '\n' || c == '\r') {
            completeLine();
        } else if (m_partialLine.size() < kLineLimit) {
            m_partialLine.append(c);
        }
    }
}

void ConverterProcess::completeLine() {
    const QByteArray line = m_partialLine.trimmed();
    m_partialLine.clear();
    if (!line.isEmpty() && !isReportLine(line))
        m_result.lastLine = QString::fromUtf8(line);
}

void ConverterProcess::finish(Outcome outcome) {
    completeLine();
    closePipe();
    if (m_exitPoll)
        m_exitPoll->stop();
    m_result.outcome = outcome;
    if (outcome != Outcome::Succeeded && !m_partFile.isEmpty()) {
        const QFileInfo part(m_partFile);
        if (part.exists() && !part.isDir())
            QFile::remove(m_partFile);
    }
    if (m_waitLoop) {
        *m_waitResult = m_result;
        m_waitLoop->quit();
        m_waitLoop = nullptr;
        m_waitResult = nullptr;
    }
    emit finished();
}

} // namespace segmora
