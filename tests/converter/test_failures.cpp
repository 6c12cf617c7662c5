// Every failure ends with a non-zero status and a last line that says what failed, leaves no
// part file behind and never touches an existing clip: refused options, unreadable sources,
// unwritable outputs, a kill in the middle of a section, and a source that stalls.
#include "converter_harness.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vorkast::test;

namespace {

const QByteArray precious = "an earlier clip that must survive";

// Feeds the first bytes of a file into a named pipe and then holds it open without writing:
// a source that stops delivering in the middle. Writes never block, so the feeder ends
// whatever the reader does.
class StallingSource {
public:
    StallingSource(const QString& fifoPath, const QString& from, qint64 bytes) {
        QFile file(from);
        if (!file.open(QIODevice::ReadOnly))
            return;
        m_data = file.read(bytes);
        if (::mkfifo(fifoPath.toUtf8().constData(), 0600) != 0)
            return;
        // Opening for reading and writing never waits for a reader on Linux.
        m_fd = ::open(fifoPath.toUtf8().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd >= 0)
            m_feeder = std::thread([this] { feed(); });
    }
    ~StallingSource() { finish(0); }
    // Lets the feeder deliver the rest for up to waitMs, then closes the pipe: the reader sees
    // the end of the file.
    void finish(int waitMs) {
        for (int waited = 0; !m_done && waited < waitMs; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_stop = true;
        if (m_feeder.joinable())
            m_feeder.join();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool ready() const { return m_fd >= 0; }

private:
    void feed() {
        qint64 at = 0;
        while (!m_stop && at < m_data.size()) {
            const ssize_t n = ::write(m_fd, m_data.constData() + at, size_t(m_data.size() - at));
            if (n > 0)
                at += n;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        m_done = true;
    }
    QByteArray m_data;
    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::thread m_feeder;
};

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QStringList partFiles(const QString& folder) {
    return QDir(folder).entryList({"*.part"}, QDir::Files | QDir::Hidden | QDir::System);
}

// The id of a process that has ended: no run of that id is at work.
qint64 endedProcessId() {
    QProcess shell;
    shell.start("/bin/sh", {"-c", "echo $$"});
    shell.waitForFinished(10000);
    return shell.readAllStandardOutput().trimmed().toLongLong();
}

// Holds an exclusive lock on a file, as a run in another process namespace holds its part file.
class HeldLock {
public:
    explicit HeldLock(const QString& path)
        : m_fd(::open(path.toUtf8().constData(), O_RDONLY | O_CLOEXEC)) {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HeldLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

class TestFailures : public QObject {
    Q_OBJECT
private slots:
    void fails_data() {
        QTest::addColumn<QStringList>("args"); // {OUT} stands for the output, {DIR} for the folder
        QTest::addColumn<QString>("output");   // relative to the folder
        QTest::addColumn<QString>("message");
        const QString counter = fixture("counter.mp4");
        auto cut = [](const QString& source, const QStringList& profile) {
            return QStringList{"-y", "-i", source, "-ss", "1", "-t", "2"} + profile +
                   QStringList{"{OUT}"};
        };
        QTest::newRow("missing source") << cut("{DIR}/nothing-here.mp4", {}) << "clip.mp4"
                                        << "cannot open the source";
        QTest::newRow("text file as source") << cut(fixture("notvideo.mp4"), {}) << "clip.mp4"
                                             << "cannot open the source";
        QTest::newRow("empty source") << cut(fixture("empty.mp4"), {}) << "clip.mp4"
                                      << "cannot open the source";
        QTest::newRow("truncated source") << cut(fixture("truncated.mp4"), {}) << "clip.mp4"
                                          << "source";
        QTest::newRow("start past the end")
            << QStringList{"-y", "-i", counter, "-ss", "10.5", "-t", "2", "{OUT}"} << "clip.mp4"
            << "past the end of the source";
        QTest::newRow("sound-only source, video profile")
            << cut(fixture("soundonly.mp4"), {"-vcodec", "libx264"}) << "clip.mp4"
            << "no video stream";
        QTest::newRow("sound-only source, exact copy without its sound")
            << cut(fixture("soundonly.mp4"), {"-c", "copy", "-cut", "exact", "-an"}) << "clip.mkv"
            << "no stream that the output should keep";
        QTest::newRow("unknown encoder") << cut(counter, {"-vcodec", "nosuchcodec"}) << "clip.mp4"
                                         << "unknown encoder";
        QTest::newRow("setting the encoder lacks")
            << cut(counter, {"-vcodec", "mpeg4", "-crf", "20"}) << "clip.avi"
            << "-crf";
        QTest::newRow("size asked with copy")
            << cut(counter, {"-c", "copy", "-s", "320x240"}) << "clip.mp4"
            << "-s needs the video";
        QTest::newRow("malformed start")
            << QStringList{"-y", "-i", counter, "-ss", "1,5", "-t", "2", "{OUT}"} << "clip.mp4"
            << "-ss";
        QTest::newRow("unknown option") << cut(counter, {"-frobnicate"}) << "clip.mp4"
                                        << "unknown option";
        QTest::newRow("unknown container") << cut(counter, {}) << "clip.xyz"
                                           << "cannot tell the container";
        QTest::newRow("output folder missing") << cut(counter, {}) << "missing/clip.mp4"
                                               << "output folder";
        QTest::newRow("output folder is a file") << cut(counter, {}) << "afile/clip.mp4"
                                                 << "output folder";
        QTest::newRow("output is a folder") << cut(counter, {}) << "adir.mp4"
                                            << "folder";
        QTest::newRow("output exists, no -y")
            << QStringList{"-i", counter, "-ss", "1", "-t", "2", "{OUT}"} << "clip.mp4"
            << "exists";
        QTest::newRow("container refuses a copied stream")
            << cut(counter, {"-c", "copy"}) << "clip.mpg"
            << "(mpeg) cannot hold the source's audio (aac)";
        QTest::newRow("sound container refuses copied video")
            << cut(counter, {"-c", "copy"}) << "clip.mp3"
            << "(mp3) cannot hold the source's video (h264)";
        for (const char* camera : {"pcm.mov", "pcm.avi"})
            QTest::addRow("camera sound %s copied into mp4", camera)
                << cut(fixture(camera), {"-c", "copy"}) << "clip.mp4"
                << "cannot hold the source's audio stream 1 (pcm_s16le)";
        QTest::newRow("preset the encoder lacks")
            << cut(counter, {"-preset", "nosuch"}) << "clip.mp4"
            << "-preset nosuch";
        QTest::newRow("picture format the encoder lacks")
            << cut(counter, {"-pix_fmt", "rgb48be"}) << "clip.mp4"
            << "cannot take the picture format rgb48be";
        QTest::newRow("size the encoder refuses") << cut(counter, {"-s", "1x1"}) << "clip.mp4"
                                                  << "1x1 pictures";
        QTest::newRow("filter typo") << cut(counter, {"-vf", "scale=10:x="}) << "clip.mp4"
                                     << "filters given (\"scale=10:x=\") do not build";
        for (const char* picture : {"png", "jpg", "bmp", "tiff"})
            QTest::addRow("picture output .%s", picture)
                << cut(counter, {}) << QStringLiteral("frame.") + picture << "still picture";
        QTest::newRow("picture container named") << cut(counter, {"-f", "image2"}) << "frame.mp4"
                                                 << "still picture";
        QTest::newRow("container that writes no file") << cut(counter, {"-f", "null"}) << "clip.mp4"
                                                       << "writes no single output file";
    }
    void fails() {
        QFETCH(QStringList, args);
        QFETCH(QString, output);
        QFETCH(QString, message);
        QTemporaryDir dir;
        writeFile(dir.filePath("afile"), "a plain file");
        QDir(dir.path()).mkdir("adir.mp4");
        const QString out = dir.filePath(output);
        const bool plainOutput = QFileInfo(out).dir().exists() && !QFileInfo(out).isDir();
        if (plainOutput)
            writeFile(out, precious);
        for (QString& a : args)
            a.replace("{OUT}", out).replace("{DIR}", dir.path());

        const Run run = runVorkast(args, 30000);
        QVERIFY(run.finished);
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.lastLine().startsWith("vorkast: ") && run.lastLine().contains(message),
                 qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        QVERIFY2(partFiles(dir.path()).isEmpty() && partFiles(QFileInfo(out).path()).isEmpty(),
                 "a part file was left behind");
        if (plainOutput) {
            QFile kept(out);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), precious);
        }
    }

    // The source is never replaced by its own clip, however OUTPUT names it.
    void outputThatIsTheSourceIsRefused_data() {
        QTest::addColumn<QString>("output"); // in the folder that holds source.mp4
        QTest::addColumn<QString>("link");   // made beforehand: "symbolic", "hard" or empty
        QTest::newRow("same path") << "source.mp4"
                                   << "";
        QTest::newRow("another path") << "sub/../source.mp4"
                                      << "";
        QTest::newRow("symbolic link") << "link.mp4"
                                       << "symbolic";
        QTest::newRow("hard link") << "link.mp4"
                                   << "hard";
    }
    void outputThatIsTheSourceIsRefused() {
        QFETCH(QString, output);
        QFETCH(QString, link);
        QTemporaryDir dir;
        const QString source = dir.filePath("source.mp4");
        QVERIFY(QFile::copy(fixture("counter.mp4"), source));
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        if (link == "symbolic")
            QVERIFY(QFile::link("source.mp4", dir.filePath("link.mp4")));
        if (link == "hard")
            QCOMPARE(::link(qPrintable(source), qPrintable(dir.filePath("link.mp4"))), 0);
        QFile original(fixture("counter.mp4"));
        QVERIFY(original.open(QIODevice::ReadOnly));
        for (const QStringList& mode : {QStringList{}, QStringList{"-c", "copy"}}) {
            const Run run = runVorkast(QStringList{"-y", "-i", source, "-ss", "1", "-t", "1"} +
                                       mode + QStringList{dir.filePath(output)});
            QVERIFY(run.exitCode != 0);
            QVERIFY2(run.lastLine().contains("source file itself"), qPrintable(run.errorText));
            QFile kept(source);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QVERIFY(kept.readAll() == original.readAll());
            original.seek(0);
            QVERIFY(partFiles(dir.path()).isEmpty());
        }
    }

    // Names up to the file system's 255 bytes work: only the part file's name is shortened.
    // A longer one is refused, named, before any work.
    void longOutputNames_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("letter");
        QTest::newRow("246 bytes") << 246 << "a";
        QTest::newRow("251 bytes") << 251 << "a";
        QTest::newRow("255 bytes") << 255 << "a";
        // Two bytes a letter: the part file's name is cut between letters, not inside one.
        QTest::newRow("255 bytes of two-byte letters") << 255 << "\u00e9";
        QTest::newRow("256 bytes") << 256 << "a";
    }
    void longOutputNames() {
        QFETCH(int, length);
        QFETCH(QString, letter);
        const int letterBytes = int(letter.toUtf8().size());
        QTemporaryDir dir;
        QString name = letter.repeated((length - 4) / letterBytes);
        name += QString(length - 4 - int(name.toUtf8().size()), QLatin1Char('x')) + ".mp4";
        QCOMPARE(int(name.toUtf8().size()), length);
        const QString out = dir.filePath(name);
        const Run run =
            runVorkast({"-i", fixture("counter.mp4"), "-ss", "1", "-t", "1", "-c", "copy", out});
        if (length > 255) {
            QVERIFY(run.exitCode != 0);
            QVERIFY2(run.lastLine().contains("too long") && run.lastLine().contains(name),
                     qPrintable(run.errorText));
            QVERIFY(
                QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
            return;
        }
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY(QFileInfo(out).size() > 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    // A symbolic link as OUTPUT stays a link; the clip replaces what it points to.
    void linkedOutputIsWrittenThrough() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("real"));
        const QString target = dir.filePath("real/target.mp4");
        writeFile(target, precious);
        const QString out = dir.filePath("clip.mp4");
        QVERIFY(QFile::link("real/target.mp4", out));
        const Run run = runVorkast(
            {"-y", "-i", fixture("counter.mp4"), "-ss", "1", "-t", "1", "-c", "copy", out});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY(QFileInfo(out).isSymLink());
        QVERIFY(probe(target).opened);
        QVERIFY(partFiles(dir.path()).isEmpty() && partFiles(dir.filePath("real")).isEmpty());
    }

    // Past the file size limit the run fails like a full disk: a message, and no part file.
    void fileSizeLimitLeavesNoPartFile() {
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.setChildProcessModifier([] {
            const rlimit limit{20000, 20000};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        process.start(programPath(),
                      {"-i", fixture("counter.mp4"), "-ss", "0", "-t", "8", "-c", "copy", out});
        QVERIFY(process.waitForFinished(30000));
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY(process.exitCode() != 0);
        QVERIFY2(errors.contains("largest file"), qPrintable(errors));
        QVERIFY(partFiles(dir.path()).isEmpty());
        QVERIFY(!QFile::exists(out));
    }

    // A source that breaks off early: the clip is kept, the run ends with its own status, and
    // the last report is the clip's real length.
    void sourceEndingEarlyGivesAShortClip_data() {
        QTest::addColumn<QStringList>("profile");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("encoded") << QStringList{} << "1" << 3;
        QTest::newRow("copied") << QStringList{"-c", "copy"} << "1" << 3;
        // No frame of the source reaches the start: nothing from before it stands in.
        QTest::newRow("start past what remains") << QStringList{} << "9" << 1;
    }
    void sourceEndingEarlyGivesAShortClip() {
        QFETCH(QStringList, profile);
        QFETCH(QString, start);
        QFETCH(int, exitCode);
        QTemporaryDir dir;
        QFile original(fixture("bars25.mp4")); // its index comes first: the header tells 12 s
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QString damaged = dir.filePath("cut-off.mp4");
        writeFile(damaged, original.read(original.size() * 2 / 5));
        const QString out = dir.filePath("clip.mp4");
        const Run run = runVorkast(QStringList{"-i", damaged, "-ss", start, "-t", "8"} + profile +
                                   QStringList{out});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        QVERIFY(partFiles(dir.path()).isEmpty());
        if (exitCode != 3) {
            QVERIFY(!QFile::exists(out));
            return;
        }
        QVERIFY2(run.lastLine().contains("ended early"), qPrintable(run.errorText));
        const ProbeInfo info = probe(out);
        QVERIFY(info.opened);
        QVERIFY2(run.reports.last() < 7 && std::fabs(run.reports.last() - info.duration) < 0.05,
                 qPrintable(QStringLiteral("reported %1, clip of %2")
                                .arg(run.reports.last())
                                .arg(info.duration)));
        const std::vector<int> frames = barcodes(out);
        QVERIFY(!frames.empty());
        QCOMPARE(frames.front(), 25);
    }

    // A damaged source is no failure as long as something decodes: the clip holds what could be
    // read, and nothing crashes or hangs on the way.
    void damagedSourceGivesWhatDecodes_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QStringList>("profile");
        QTest::newRow("mpg cut short, encoded") << "six.mpg"
                                                << "truncate" << QStringList{};
        QTest::newRow("mpg cut short, copied") << "six.mpg"
                                               << "truncate" << QStringList{"-c", "copy"};
        QTest::newRow("avi with garbage inside") << "six.avi"
                                                 << "garbage" << QStringList{};
        QTest::newRow("mpg with garbage inside, copied") << "six.mpg"
                                                         << "garbage" << QStringList{"-c", "copy"};
    }
    void damagedSourceGivesWhatDecodes() {
        QFETCH(QString, source);
        QFETCH(QString, damage);
        QFETCH(QStringList, profile);
        QTemporaryDir dir;
        QFile original(fixture(source));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QByteArray bytes = original.readAll();
        if (damage == "truncate") {
            bytes.truncate(bytes.size() / 2);
        } else {
            // Deterministic junk over a tenth of the file, a third of the way in.
            quint32 x = 12345;
            for (qsizetype i = bytes.size() / 3; i < bytes.size() / 3 + bytes.size() / 10; ++i) {
                x = x * 1664525u + 1013904223u;
                bytes[i] = char(x >> 24);
            }
        }
        const QString damaged = dir.filePath("damaged." + QFileInfo(source).suffix());
        writeFile(damaged, bytes);
        const QString out = dir.filePath("clip.mp4");
        const Run run = runVorkast(
            QStringList{"-i", damaged, "-ss", "1", "-t", "4"} + profile + QStringList{out}, 30000);
        QVERIFY2(run.finished, "the converter hung");
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));
        QVERIFY(!decodePictures(out).empty());
        QVERIFY(partFiles(dir.path()).isEmpty());
    }

    void terminatedInTheMiddle_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void terminatedInTheMiddle() {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        writeFile(out, precious);
        // Enough of the source to get going, then nothing: the section never ends on its own.
        StallingSource source(dir.filePath("source.mpg"), fixture("six.mpg"), 330000);
        QVERIFY(source.ready());
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(programPath(),
                      {"-y", "-i", dir.filePath("source.mpg"), "-ss", "0", "-t", "6", out});
        QTRY_VERIFY_WITH_TIMEOUT(!partFiles(dir.path()).isEmpty(), 20000);
        ::kill(pid_t(process.processId()), signalNumber);
        QVERIFY(process.waitForFinished(10000));
        QVERIFY(process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0);
        QVERIFY(partFiles(dir.path()).isEmpty());
        QFile kept(out);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), precious);
    }

    // A source that cannot seek (a pipe) is read from its start; the clip still begins with the
    // picture on screen at the start.
    void pipeSourceIsCutAtTheStart() {
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        StallingSource source(dir.filePath("source.mpg"), fixture("six.mpg"), 1 << 30);
        QVERIFY(source.ready());
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(programPath(),
                      {"-i", dir.filePath("source.mpg"), "-ss", "2.2", "-t", "2", out});
        source.finish(20000);
        QVERIFY(process.waitForFinished(20000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const std::vector<Picture> original = decodePictures(fixture("six.mpg"));
        const std::vector<Picture> clip = decodePictures(out);
        QCOMPARE(int(clip.size()), 50);
        int at = 0; // the picture on screen at 2.2 s
        while (at + 1 < int(original.size()) && original[at + 1].time <= 2.2)
            ++at;
        QVERIFY(psnr(original[at], clip.front()) > psnr(original[at - 1], clip.front()));
        QVERIFY(psnr(original[at], clip.front()) > psnr(original[at + 1], clip.front()));
    }

    // Without -y, a file that turns up under the output's name while the section is converted
    // is not replaced either.
    void outputThatAppearsMeanwhileIsKept() {
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        StallingSource source(dir.filePath("source.mpg"), fixture("six.mpg"), 1 << 30);
        QVERIFY(source.ready());
        QProcess process;
        process.setStandardInputFile(QProcess::nullDevice());
        process.start(programPath(), {"-i", dir.filePath("source.mpg"), "-t", "6", out});
        QTRY_VERIFY_WITH_TIMEOUT(!partFiles(dir.path()).isEmpty(), 20000);
        writeFile(out, precious);
        source.finish(20000);
        QVERIFY(process.waitForFinished(20000));
        QVERIFY(process.exitCode() != 0);
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(errors.trimmed().split('\n').last().contains("appeared"), qPrintable(errors));
        QVERIFY(partFiles(dir.path()).isEmpty());
        QFile kept(out);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), precious);
    }

    // A part file belongs to the run that made it. Part files of the same clip whose runs are
    // gone are removed before the run starts; those of runs still at work (the process lives,
    // or holds the file's lock from another namespace) and those of other clips stay.
    void partFilesOfOtherRuns_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("removed");
        QTest::newRow("run gone") << "gone" << true;
        QTest::newRow("link left by a run gone") << "link" << true;
        QTest::newRow("run at work") << "alive" << false;
        QTest::newRow("run gone here, lock held elsewhere") << "locked" << false;
        QTest::newRow("another clip's") << "other clip" << false;
        QTest::newRow("not a part file") << "lookalike" << false;
    }
    void partFilesOfOtherRuns() {
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const qint64 gone = endedProcessId();
        QVERIFY(gone > 0);
        const QHash<QString, QString> names = {
            {"gone", QStringLiteral(".clip.mp4.%1.part").arg(gone)},
            {"link", QStringLiteral(".clip.mp4.%1.part").arg(gone)},
            {"alive", QStringLiteral(".clip.mp4.%1.part").arg(QCoreApplication::applicationPid())},
            {"locked", QStringLiteral(".clip.mp4.%1.part").arg(gone)},
            {"other clip", QStringLiteral(".clip2.mp4.%1.part").arg(gone)},
            {"lookalike", QStringLiteral(".clip.mp4.%1.partial").arg(gone)},
        };
        const QString path = dir.filePath(names.value(kind));
        const QString target = dir.filePath("target");
        writeFile(target, precious);
        if (kind == "link")
            QVERIFY(QFile::link(target, path));
        else
            writeFile(path, "half a clip");
        std::unique_ptr<HeldLock> lock;
        if (kind == "locked") {
            lock = std::make_unique<HeldLock>(path);
            QVERIFY(lock->held());
        }

        const Run run = runVorkast(
            {"-y", "-i", fixture("counter.mp4"), "-ss", "1", "-t", "1", dir.filePath("clip.mp4")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
        QCOMPARE(QFileInfo(target).size(), qint64(precious.size()));
        QVERIFY(!decodePictures(dir.filePath("clip.mp4")).empty());
    }

    // Runs making the same clip at once (two windows, a batch started twice) each write a part
    // file of their own, and the clip appears only whole; a part file that is not the one the
    // run wrote is never put in place. The sources stall until both runs are at work.
    void runsMakingTheSameClip_data() {
        QTest::addColumn<int>("runs");
        QTest::addColumn<bool>("partRemoved"); // by another program, while the first run works
        QTest::newRow("two runs") << 2 << false;
        QTest::newRow("part file removed meanwhile") << 1 << true;
    }
    void runsMakingTheSameClip() {
        QFETCH(int, runs);
        QFETCH(bool, partRemoved);
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        std::vector<std::unique_ptr<StallingSource>> sources;
        std::vector<std::unique_ptr<QProcess>> processes;
        for (int i = 0; i < runs; ++i) {
            const QString source = dir.filePath(QStringLiteral("source%1.mpg").arg(i));
            sources.push_back(std::make_unique<StallingSource>(source, fixture("six.mpg"), 330000));
            QVERIFY(sources.back()->ready());
            processes.push_back(std::make_unique<QProcess>());
            processes.back()->setStandardInputFile(QProcess::nullDevice());
            processes.back()->start(programPath(), {"-y", "-i", source, "-t", "6", out});
        }
        QTRY_COMPARE_WITH_TIMEOUT(partFiles(dir.path()).size(), runs, 20000);
        if (partRemoved)
            QVERIFY(QFile::remove(dir.filePath(partFiles(dir.path()).first())));
        for (int i = 0; i < runs; ++i) {
            sources[i]->finish(20000);
            QVERIFY(processes[i]->waitForFinished(30000));
            const QString errors = QString::fromUtf8(processes[i]->readAllStandardError());
            if (partRemoved) {
                QVERIFY(processes[i]->exitCode() != 0);
                QVERIFY2(errors.contains("removed or replaced"), qPrintable(errors));
            } else {
                QVERIFY2(processes[i]->exitCode() == 0, qPrintable(errors));
            }
        }
        QVERIFY(partFiles(dir.path()).isEmpty());
        QCOMPARE(QFile::exists(out), !partRemoved);
        if (!partRemoved) {
            // Whole: as many pictures as a run of its own makes, and all of them decode.
            const QString alone = dir.filePath("alone.mp4");
            QCOMPARE(runVorkast({"-i", fixture("six.mpg"), "-t", "6", alone}).exitCode, 0);
            QCOMPARE(decodePictures(out).size(), decodePictures(alone).size());
            QCOMPARE(decoderErrors(out), QString());
        }
    }

    void stalledSourceEnds() {
        QTemporaryDir dir;
        const QString out = dir.filePath("clip.mp4");
        writeFile(out, precious);
        StallingSource source(dir.filePath("source.mpg"), fixture("six.mpg"), 330000);
        QVERIFY(source.ready());
        // The 30 s limit, shortened for the test.
        const Run run = runVorkast({"-y", "-i", dir.filePath("source.mpg"), "-t", "6", out}, 20000,
                                   {"VORKAST_STALL_LIMIT_MS=1000"});
        QVERIFY2(run.finished, "the converter hung");
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.lastLine().contains("no progress for 1 s"), qPrintable(run.errorText));
        QVERIFY(partFiles(dir.path()).isEmpty());
        QFile kept(out);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), precious);
    }
};

QTEST_GUILESS_MAIN(TestFailures)
#include "test_failures.moc"
