// One converter run against small fake converters: output, end states, start failures, ending
// a converter that is still at work, and no converter outliving a program that died.
#include "job/converter_process.h"
#include "job/section_plan.h"

#include "fake_converter.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace segmora;
using segmora::test::processGone;
using segmora::test::processGroupGone;
using segmora::test::readAll;
using segmora::test::writeAll;
using segmora::test::writeFakeConverter;
using Outcome = ConverterProcess::Outcome;

Q_DECLARE_METATYPE(segmora::ConverterProcess::Outcome)

namespace {

// Run with this first argument, the test program plays a Segmora that starts one converter and
// is then killed: "<program> <converter> <pid file> [converter arguments...]".
constexpr char kDoomedParent[] = "--doomed-converter-parent";

// Starts the converter, and once its first progress report shows it at work, writes its process
// id to the pid file (whole or not at all) and waits for it, until killed from outside.
int runDoomedParent(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList words = QCoreApplication::arguments();
    if (words.size() < 4)
        return 2;
    ConverterProcess process;
    QObject::connect(&process, &ConverterProcess::chunkRead, &process,
                     [&](const QByteArray& chunk) {
                         if (!chunk.contains("time="))
                             return;
                         QSaveFile pidFile(words.at(3));
                         if (pidFile.open(QIODevice::WriteOnly)) {
                             pidFile.write(QByteArray::number(process.processId()));
                             pidFile.commit();
                         }
                     });
    // The converter ending on its own ends the program with 4: the test sees no pid and fails.
    QObject::connect(&process, &ConverterProcess::finished, &app,
                     [] { QCoreApplication::exit(4); });
    if (!process.start(words.at(2), words.mid(4)))
        return 3;
    return QCoreApplication::exec();
}

// Waits, with the event loop running, until process has ended (at most timeoutMs) and returns
// its result; at once when it is not running.
ConverterProcess::Result runToEnd(ConverterProcess& process, int timeoutMs = 30000) {
    if (process.isRunning()) {
        QSignalSpy finished(&process, &ConverterProcess::finished);
        finished.wait(timeoutMs);
    }
    return process.result();
}

} // namespace

// A converter that ignores SIGTERM: it writes its part file, says so, and runs until killed.
const QByteArray kIgnoresTerm = "trap '' TERM\necho partial > \"$1\"\necho ready\n"
                                "while :; do sleep 1; done";

class TestConverterProcess : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fake(const QByteArray& body) {
        static int counter = 0;
        return writeFakeConverter(m_dir, QStringLiteral("fake%1.sh").arg(++counter), body);
    }

    // A fake given the clip's path first that, like the real converter, writes the part file
    // named after the clip and its own process id; body finds that part file in "$1".
    QString fakeWritingPart(const QByteArray& body) {
        return fake("clip=\"$1\"; shift\n"
                    "set -- \"$(dirname \"$clip\")/.$(basename \"$clip\").$$.part\" \"$@\"\n" +
                    body);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void endStates_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("lastLine");
        QTest::addColumn<QStringList>("messages"); // every line handed on that is no report

        QTest::newRow("success") << QByteArray("echo 'time=1.00 '; exit 0") << Outcome::Succeeded
                                 << 0 << 0 << "" << QStringList{};
        QTest::newRow("exit 1 keeps the last error line")
            << QByteArray("echo opening; echo 'time=1.00 '\n"
                          "echo 'vorkast: cannot write output' >&2; exit 1")
            << Outcome::Failed << 1 << 0 << "vorkast: cannot write output"
            << QStringList{"opening", "vorkast: cannot write output"};
        QTest::newRow("a report is never the last line")
            << QByteArray("echo 'bad codec' >&2; echo 'frame=2 time=2.00 '; exit 3")
            << Outcome::Failed << 3 << 0 << "bad codec" << QStringList{"bad codec"};
        QTest::newRow("unterminated last line")
            << QByteArray("printf 'partial message'; exit 2") << Outcome::Failed << 2 << 0
            << "partial message" << QStringList{"partial message"};
        QTest::newRow("carriage returns end lines")
            << QByteArray("printf 'time=1.00 \\rdisk full\\r'; exit 1") << Outcome::Failed << 1 << 0
            << "disk full" << QStringList{"disk full"};
        QTest::newRow("a warning before the reports of a clip that is made")
            << QByteArray("echo 'vorkast: warning: keyframe cut starts 1.240 s before START' >&2\n"
                          "echo 'time=1.00 '; echo '  '; echo 'time=2.00 '; exit 0")
            << Outcome::Succeeded << 0 << 0
            << "vorkast: warning: keyframe cut starts 1.240 s before START"
            << QStringList{"vorkast: warning: keyframe cut starts 1.240 s before START"};
        QTest::newRow("killed by a signal")
            << QByteArray("echo started; kill -KILL $$") << Outcome::Crashed << -1 << SIGKILL
            << "started" << QStringList{"started"};
        QTest::newRow("ended by a signal it did not catch")
            << QByteArray("kill -USR1 $$") << Outcome::Crashed << -1 << SIGUSR1 << ""
            << QStringList{};
    }

    void endStates() {
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        QFETCH(int, exitCode);
        QFETCH(int, signal);
        QFETCH(QString, lastLine);
        QFETCH(QStringList, messages);

        ConverterProcess process;
        QSignalSpy finished(&process, &ConverterProcess::finished);
        QStringList handedOn;
        connect(&process, &ConverterProcess::messageLine, this,
                [&](const QString& line) { handedOn.append(line); });
        QVERIFY(process.start(fake(body), {}));
        const pid_t pid = process.processId();
        QVERIFY(pid > 0);
        const ConverterProcess::Result result = runToEnd(process);
        QCOMPARE(result.outcome, outcome);
        QCOMPARE(result.exitCode, exitCode);
        QCOMPARE(result.signal, signal);
        QCOMPARE(result.lastLine, lastLine);
        QCOMPARE(handedOn, messages);
        QCOMPARE(finished.count(), 1);
        QVERIFY(!process.isRunning());
        // Reaped: it is no child of ours any more.
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
    }

    void startFailures_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no-such-converter"));
        QTest::newRow("a folder") << m_dir.path();
        const QString plain = m_dir.filePath(QStringLiteral("not-executable"));
        writeAll(plain, "#!/bin/sh\nexit 0\n");
        QTest::newRow("not executable") << plain;
    }

    void startFailures() {
        QFETCH(QString, program);
        ConverterProcess process;
        QSignalSpy finished(&process, &ConverterProcess::finished);
        QVERIFY(!process.start(program, {QStringLiteral("-y")}));
        QCOMPARE(process.result().outcome, Outcome::StartFailed);
        QVERIFY(!process.result().startError.isEmpty());
        QVERIFY(!process.isRunning());
        QCOMPARE(runToEnd(process).outcome, Outcome::StartFailed);
        QCOMPARE(finished.count(), 0);
    }

    // What the converter finds when it starts: its arguments untouched, nothing to read,
    // a process group of its own, no signal ignored or blocked and no descriptor of ours.
    void converterSurroundings() {
        const int stray = ::open("/dev/null", O_RDONLY); // deliberately without close-on-exec
        QVERIFY(stray > 2);
        // Ours, while it starts: an ignored signal and a blocked one, neither to be passed on.
        struct sigaction ignore {};
        struct sigaction previousAction {};
        ignore.sa_handler = SIG_IGN;
        sigset_t blocked;
        sigset_t previousMask;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGUSR2);
        ::sigaction(SIGUSR1, &ignore, &previousAction);
        pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);
        const auto restoreSignals = qScopeGuard([&] {
            pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
            ::sigaction(SIGUSR1, &previousAction, nullptr);
        });
        const QString program =
            fake("for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n"
                 "cat\n"
                 "echo \"pgrp=$(cut -d' ' -f5 /proc/$$/stat) pid=$$\"\n"
                 "if [ -e /proc/$$/fd/" +
                 QByteArray::number(stray) +
                 " ]; then echo leaked; else echo sealed; fi\n"
                 // The shell blocks signals while it waits for a command: look without waiting.
                 "exec grep -E '^Sig(Blk|Ign)' /proc/self/status\n");
        const QStringList arguments{QStringLiteral("-i"),
                                    QStringLiteral("/v/my \"best\" Ürlaub.avi"),
                                    QStringLiteral("it's $HOME; `x`"), QStringLiteral("")};
        ConverterProcess process;
        QByteArray output;
        connect(&process, &ConverterProcess::chunkRead, this,
                [&](const QByteArray& chunk) { output += chunk; });
        QVERIFY(process.start(program, arguments));
        const QByteArray pid = QByteArray::number(process.processId());
        QCOMPARE(runToEnd(process).outcome, Outcome::Succeeded);
        ::close(stray);
        QCOMPARE(QString::fromUtf8(output),
                 QStringLiteral("[-i]\n[/v/my \"best\" Ürlaub.avi]\n[it's $HOME; `x`]\n[]\n"
                                "pgrp=%1 pid=%1\nsealed\nSigBlk:\t0000000000000000\n"
                                "SigIgn:\t0000000000000000\n")
                     .arg(QString::fromLatin1(pid)));
    }

    void chunksStayWithinTheReadSize() {
        const QString program = fake("head -c 100000 /dev/zero | tr '\\000' a");
        ConverterProcess process;
        qsizetype total = 0;
        qsizetype largest = 0;
        connect(&process, &ConverterProcess::chunkRead, this, [&](const QByteArray& chunk) {
            total += chunk.size();
            largest = qMax(largest, chunk.size());
        });
        QVERIFY(process.start(program, {}));
        QCOMPARE(runToEnd(process).outcome, Outcome::Succeeded);
        QCOMPARE(total, qsizetype(100000));
        QVERIFY(largest <= ConverterProcess::kChunkSize);
    }

    // The wait runs the event loop: timers keep ticking while the converter says nothing.
    void silentConverterKeepsTheLoopRunning() {
        const QString program = fake("sleep 0.5; echo 'time=0.10 '");
        ConverterProcess process;
        int ticks = 0;
        int ticksAtFirstChunk = -1;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        connect(&process, &ConverterProcess::chunkRead, this, [&] {
            if (ticksAtFirstChunk < 0)
                ticksAtFirstChunk = ticks;
        });
        timer.start();
        QVERIFY(process.start(program, {}));
        QCOMPARE(runToEnd(process).outcome, Outcome::Succeeded);
        QVERIFY2(ticksAtFirstChunk >= 5, qPrintable(QString::number(ticksAtFirstChunk)));
    }

    // A converter that ends while something it started still holds the pipe is done all the
    // same, and what it started goes with it.
    void endsWhileItsChildHoldsThePipe() {
        const QString pidFile = m_dir.filePath(QStringLiteral("straggler.pid"));
        const QString program =
            fake("sleep 30 &\necho $! > '" + pidFile.toUtf8() + "'\necho 'time=1.00 '\nexit 0");
        ConverterProcess process;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(process.start(program, {}));
        QCOMPARE(runToEnd(process).outcome, Outcome::Succeeded);
        QVERIFY(clock.elapsed() < 5000);
        const pid_t straggler = readAll(pidFile).trimmed().toInt();
        QVERIFY(straggler > 0);
        QTRY_VERIFY(processGone(straggler));
    }

    // Cancelling on the first progress report ends the whole group, removes the temporary
    // file, and leaves an earlier clip of the same name as it was.
    void terminateOnFirstReport_data() {
        QTest::addColumn<QByteArray>("prologue");
        QTest::addColumn<bool>("needsKill");
        QTest::newRow("ends on SIGTERM") << QByteArray() << false;
        QTest::newRow("ignores SIGTERM") << QByteArray("trap '' TERM") << true;
    }

    void terminateOnFirstReport() {
        QFETCH(QByteArray, prologue);
        QFETCH(bool, needsKill);

        const QString output = m_dir.filePath(QStringLiteral("holiday_Clip1.mp4"));
        const QString pidFile = m_dir.filePath(QStringLiteral("helper.pid"));
        QVERIFY(writeAll(output, "earlier clip"));
        const QString program = fakeWritingPart(prologue + "\n"
                                                           "echo partial > \"$1\"\n"
                                                           "sleep 30 &\n"
                                                           "echo $! > \"$2\"\n"
                                                           "echo 'frame=1 time=0.50 '\n"
                                                           "while :; do sleep 1; done");
        ConverterProcess process;
        process.setOutputFile(output);
        connect(&process, &ConverterProcess::chunkRead, &process, [&](const QByteArray& chunk) {
            if (chunk.contains("time="))
                process.terminate();
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(process.start(program, {output, pidFile}));
        const pid_t pid = process.processId();
        const QString part = PartFilePath(output, pid);
        const ConverterProcess::Result result = runToEnd(process);
        const qint64 took = clock.elapsed();

        QCOMPARE(result.outcome, Outcome::Terminated);
        QCOMPARE(result.signal, needsKill ? SIGKILL : SIGTERM);
        if (needsKill)
            QVERIFY(took >= ConverterProcess::kTerminateGraceMs - 100);
        else
            QVERIFY(took < ConverterProcess::kTerminateGraceMs);
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        const pid_t helper = readAll(pidFile).trimmed().toInt();
        QVERIFY(helper > 0);
        QTRY_VERIFY(processGone(helper));
        QTRY_VERIFY(processGroupGone(pid));
        QVERIFY(!QFile::exists(part));
        QCOMPARE(readAll(output), QByteArray("earlier clip"));

        process.terminate(); // again: nothing left to end, nothing changes
        QCOMPARE(process.result().outcome, Outcome::Terminated);
    }

    // The grace period before SIGKILL runs on a timer: terminate() returns at once and the event
    // loop keeps running until a converter that ignores SIGTERM is killed and reaped.
    void graceRunsWhileTheEventLoopRuns() {
        const QString output = m_dir.filePath(QStringLiteral("stubborn.mp4"));
        ConverterProcess process;
        process.setOutputFile(output);
        QSignalSpy chunks(&process, &ConverterProcess::chunkRead);
        QSignalSpy finished(&process, &ConverterProcess::finished);
        QVERIFY(process.start(fakeWritingPart(kIgnoresTerm), {output}));
        QVERIFY(chunks.wait(5000)); // the trap is set before it speaks
        const pid_t pid = process.processId();
        const QString part = PartFilePath(output, pid);
        QVERIFY(QFile::exists(part));

        process.terminate();
        QVERIFY(process.isRunning());
        QCOMPARE(process.processId(), pid);
        QVERIFY(!processGone(pid));
        QCOMPARE(finished.count(), 0);
        process.terminate(); // already ending: the grace period does not start over

        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(20);
        QVERIFY(finished.wait(ConverterProcess::kTerminateGraceMs + 5000));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(process.result().outcome, Outcome::Terminated);
        QCOMPARE(process.result().signal, SIGKILL);
        // Some 2 s of 20 ms ticks; a blocked loop would have seen none.
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(chunks.count(), 1); // nothing handed on after terminate()
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
        QTRY_VERIFY(processGroupGone(pid));
        QVERIFY(!QFile::exists(part));
    }

    // endNow() ends the converter before it returns, also one that terminate() still waits for.
    void endNowEndsAtOnce_data() {
        QTest::addColumn<bool>("terminatedFirst");
        QTest::newRow("running") << false;
        QTest::newRow("within the grace period") << true;
    }
    void endNowEndsAtOnce() {
        QFETCH(bool, terminatedFirst);
        const QString output = m_dir.filePath(QStringLiteral("abandoned.mp4"));
        ConverterProcess process;
        process.setOutputFile(output);
        QSignalSpy chunks(&process, &ConverterProcess::chunkRead);
        QSignalSpy finished(&process, &ConverterProcess::finished);
        QVERIFY(process.start(fakeWritingPart(kIgnoresTerm), {output}));
        QVERIFY(chunks.wait(5000));
        const pid_t pid = process.processId();
        const QString part = PartFilePath(output, pid);
        QVERIFY(QFile::exists(part));
        if (terminatedFirst)
            process.terminate();

        process.endNow();
        QVERIFY(!process.isRunning());
        QCOMPARE(finished.count(), 1);
        QCOMPARE(process.result().outcome, Outcome::Terminated);
        QCOMPARE(process.result().signal, SIGKILL);
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QVERIFY(!QFile::exists(part));
        QTRY_VERIFY(processGroupGone(pid));
        process.endNow(); // nothing left to end
        QCOMPARE(finished.count(), 1);
    }

    // Only the part file of this run's own converter is its business: after a success it is
    // left alone, after a failure it goes, and the part files of other runs making the same clip
    // are never touched.
    void partFileAfterTheEnd_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Outcome>("outcome");
        QTest::newRow("success") << QByteArray("echo done > \"$1\"") << Outcome::Succeeded;
        QTest::newRow("killed") << QByteArray("echo half > \"$1\"; kill -KILL $$")
                                << Outcome::Crashed;
        QTest::newRow("failed") << QByteArray("echo half > \"$1\"; exit 1") << Outcome::Failed;
    }
    void partFileAfterTheEnd() {
        QFETCH(QByteArray, body);
        QFETCH(Outcome, outcome);
        const QString output = m_dir.filePath(QStringLiteral("shared_Clip1.mp4"));
        // Another run's part file of the same clip, and a clip of that name already made.
        const QString other = PartFilePath(output, ::getpid());
        QVERIFY(writeAll(other, "another run's"));
        ConverterProcess process;
        process.setOutputFile(output);
        QVERIFY(process.start(fakeWritingPart(body), {output}));
        const QString part = PartFilePath(output, process.processId());
        QCOMPARE(runToEnd(process).outcome, outcome);
        // After a success the part file is the converter's own business.
        QCOMPARE(QFile::exists(part), outcome == Outcome::Succeeded);
        QCOMPARE(readAll(other), QByteArray("another run's"));
        QFile::remove(part);
        QFile::remove(other);
    }

    void terminateFromATimerDuringTheWait() {
        ConverterProcess process;
        QVERIFY(process.start(fake("exec sleep 30"), {}));
        const pid_t pid = process.processId();
        QTimer::singleShot(50, &process, [&] { process.terminate(); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runToEnd(process).outcome, Outcome::Terminated);
        QVERIFY(clock.elapsed() < 2000);
        QVERIFY(processGone(pid));
    }

    void destructorEndsARunningConverter() {
        auto process = std::make_unique<ConverterProcess>();
        QVERIFY(process->start(fake("exec sleep 30"), {}));
        const pid_t pid = process->processId();
        process.reset();
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QCOMPARE(errno, ECHILD);
        QVERIFY(processGone(pid));
    }

    // A converter never outlives a program that dies without ending it (crash, SIGKILL): it is
    // told to end, and a converter that cleans up on SIGTERM leaves no temporary file behind.
    void converterEndsWhenTheProgramDies_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("cleansUp");
        QTest::newRow("ends on SIGTERM")
            << QByteArray("echo partial > \"$1\"; echo 'time=0.50 '; exec sleep 30") << false;
        QTest::newRow("removes its part file on SIGTERM")
            << QByteArray("trap 'kill $worker; rm -f \"$1\"; exit 143' TERM\n"
                          "echo partial > \"$1\"\n"
                          "sleep 30 & worker=$!\n"
                          "echo 'time=0.50 '\n"
                          "wait $worker")
            << true;
    }

    void converterEndsWhenTheProgramDies() {
        QFETCH(QByteArray, body);
        QFETCH(bool, cleansUp);

        const QString output = m_dir.filePath(QStringLiteral("orphan_Clip1.mp4"));
        const QString pidFile = m_dir.filePath(QStringLiteral("orphan.pid"));
        QFile::remove(pidFile);
        QProcess doomed;
        doomed.setProcessChannelMode(QProcess::ForwardedChannels);
        doomed.start(QCoreApplication::applicationFilePath(),
                     {QString::fromLatin1(kDoomedParent), fakeWritingPart(body), pidFile, output});
        QVERIFY(doomed.waitForStarted());
        pid_t converter = 0;
        // Whatever happens below, nothing this test started keeps running.
        const auto cleanUp = qScopeGuard([&] {
            if (doomed.state() != QProcess::NotRunning) {
                doomed.kill();
                doomed.waitForFinished();
            }
            if (converter > 0 && !processGroupGone(converter))
                ::killpg(converter, SIGKILL);
        });
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile), 10000);
        converter = readAll(pidFile).toInt();
        QVERIFY(converter > 0);
        QVERIFY(!processGone(converter));
        const QString part = PartFilePath(output, converter);
        QVERIFY(QFile::exists(part));

        doomed.kill(); // SIGKILL: the program gets no chance to end its converter
        QVERIFY(doomed.waitForFinished());
        QCOMPARE(doomed.exitStatus(), QProcess::CrashExit);
        // Reparented, the converter is nobody's child of ours: only its state can be watched.
        QTRY_VERIFY_WITH_TIMEOUT(processGone(converter), 3000);
        if (cleansUp)
            QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(part), 3000);
    }

    // Quitting the application while a converter runs: the loop ends without the converter's
    // end, and its owner, destroyed after the loop as the program's windows are, ends and reaps
    // it; its temporary file goes.
    void applicationQuitEndsTheConverter() {
        const QString output = m_dir.filePath(QStringLiteral("quit.mp4"));
        auto owner = std::make_unique<QObject>();
        auto* process = new ConverterProcess(owner.get());
        process->setOutputFile(output);
        QVERIFY(process->start(fakeWritingPart("echo partial > \"$1\"; exec sleep 30"), {output}));
        const pid_t pid = process->processId();
        const QString part = PartFilePath(output, pid);
        QTRY_VERIFY(QFile::exists(part));
        QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        QVERIFY(process->isRunning());

        owner.reset();
        QCOMPARE(::waitpid(pid, nullptr, WNOHANG), -1);
        QVERIFY(processGone(pid));
        QVERIFY(!QFile::exists(part));
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], kDoomedParent) == 0)
        return runDoomedParent(argc, argv);
    QCoreApplication app(argc, argv);
    TestConverterProcess test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_converter_process.moc"
