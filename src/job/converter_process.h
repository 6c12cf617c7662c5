// One run of the converter: started from an argument vector without a shell, its merged output
// read in chunks on the UI thread, its end detected and its process group always reaped; it
// never outlives the program, not even one that crashed.
//
// Threading: UI thread only, and nothing here waits on it: the output, the end and the grace
// period of terminate() all arrive through the event loop (readable pipe, timers). Every signal
// is emitted on the thread that owns the object, from the event loop or from endNow().
//
// Life cycle: start() -> chunkRead()* -> finished(), once per object. Nothing here waits for
// the end: the owner listens to finished(). Do not delete the object from inside one of its
// own signals; use deleteLater().
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <sys/types.h>

class QSocketNotifier;
class QTimer;

namespace segmora {

class ConverterProcess : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        NotStarted,
        Running,
        StartFailed, // the program could not be started (missing, not executable, no pipe)
        Succeeded,   // exit status 0
        Failed,      // non-zero exit status
        Crashed,     // ended by a signal nobody here sent
        Terminated,  // ended by terminate()
    };

    struct Result {
        Outcome outcome = Outcome::NotStarted;
        int exitCode = -1;  // Succeeded and Failed
        int signal = 0;     // Crashed and Terminated: the signal that ended it
        QString lastLine;   // the last line of output that was not a progress report
        QString startError; // StartFailed: what the system said
    };

    // At most this many bytes are read, and handed on, at a time.
    static constexpr int kChunkSize = 4095;
    // How long terminate() lets the converter end after SIGTERM before sending SIGKILL.
    static constexpr int kTerminateGraceMs = 2000;

    explicit ConverterProcess(QObject* parent = nullptr);
    // Ends a converter still running (as endNow()) and reaps it; no converter outlives this.
    ~ConverterProcess() override;

    ConverterProcess(const ConverterProcess&) = delete;
    ConverterProcess& operator=(const ConverterProcess&) = delete;

    // The clip the converter writes. Its part file (named after the clip and the converter's
    // process id) is removed when the run ends other than by success: the converter may have
    // been killed before it could clean up. Set before start().
    void setOutputFile(const QString& path) { m_outputFile = path; }

    // Starts program with arguments (program itself is argv[0]); standard input from /dev/null,
    // standard output and error into one pipe, a process group of its own, signal dispositions
    // at their defaults, nothing else inherited. Returns once the program runs, or false when it
    // could not start; result() then says StartFailed and finished() is not emitted. May be
    // called once.
    // Should this program die without ending the converter (a crash, SIGKILL), the converter
    // gets SIGTERM, so it stops and removes its part file. On Linux that signal follows the
    // *thread* that called start(): call it on the UI thread, which lives as long as the
    // program, never on a worker thread that may end before the converter does.
    bool start(const QString& program, const QStringList& arguments);

    // Running until reaped: also while terminate() waits for the converter to end.
    bool isRunning() const { return m_result.outcome == Outcome::Running; }
    // The converter's process id while it runs (also its process group); 0 otherwise.
    pid_t processId() const { return isRunning() ? m_pid : 0; }
    const Result& result() const { return m_result; }

    // Asks the converter's whole process group to end and returns at once: SIGTERM now, SIGKILL
    // when it has not ended kTerminateGraceMs later (a timer, the event loop keeps running). Once
    // it has ended it is reaped, the part file removed and finished() emitted with Terminated;
    // no output is handed on after this call. Does nothing when the converter is not running or
    // is already being ended; never signals a process that was already reaped.
    void terminate();

    // Ends the converter's whole process group at once (SIGKILL, no grace period), reaps it,
    // removes the part file and emits finished() with Terminated, all before it returns: for a
    // program about to end, whose event loop will not run again. Also ends a converter that
    // terminate() is still waiting for. Does nothing when the converter is not running.
    void endNow();

signals:
    // One piece of output, at most kChunkSize bytes, in the order written.
    void chunkRead(const QByteArray& chunk);
    // One complete line of output that is not a progress report (a message of the converter),
    // trimmed, in the order written; also a last line without its line break when the converter
    // ends, unless it was ended here. Emitted before the chunkRead() that completed it; a slot
    // only takes note (it does not end or delete the process).
    void messageLine(const QString& line);
    // The converter has ended and was reaped; result() holds how.
    void finished();

private:
    void onReadable();
    void pollExit();
    void onGraceOver();
    bool drainPipe(); // true on end of file
    void closePipe();
    void deliver(const QByteArray& chunk); // notes the chunk's lines, then emits chunkRead()
    void noteOutput(const QByteArray& chunk);
    void completeLine(bool handOn);
    enum class ChildState { Running, Ended, Gone }; // Ended: a zombie waiting for us
    ChildState childState();
    void reap(Outcome outcomeIfNormal);
    void finish(Outcome outcome);

    pid_t m_pid = 0;
    int m_readFd = -1;
    bool m_endOfFile = false;
    QSocketNotifier* m_notifier = nullptr;
    QTimer* m_exitPoll = nullptr;
    QTimer* m_grace = nullptr; // runs while terminate() waits; SIGKILL when it fires
    QByteArray m_partialLine;
    QString m_outputFile;
    Result m_result;
};

} // namespace segmora
