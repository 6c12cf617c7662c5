// `segmora split` and `segmora profiles` as a user runs them, as a process without a display:
// exit statuses and first lines, a parallel batch against a one-at-a-time one, Ctrl+C, the
// JSON events, and the GNU parallel recipe of the README.
// Sources are generated media (SEGMORA_NEEDS_MEDIA).
#include "app/command_line_split.h"
#include "fake_converter.h"
#include "split_window_world.h"
#include "test_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>

using namespace segmora;
using segmora::test::fixture;
using segmora::test::probe;

namespace {

const QString kProgram = QStringLiteral(SEGMORA_PROGRAM_DIR "/segmora");

struct Ran {
    int status = -1;
    QString out;
    QString err;
    QString firstLine() const {
        const QString& text = err.isEmpty() ? out : err;
        return text.section(QLatin1Char('\n'), 0, 0);
    }
};

} // namespace

class TestCommandLineSplit : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempProgramFolder> m_program;
    std::unique_ptr<QTemporaryDir> m_work;

    QString out() const { return m_work->filePath(QStringLiteral("out")); }

    // A copy of a fixture in the test's folder under name.
    QString source(const QString& fixtureName, const QString& name) const {
        const QString path = m_work->filePath(name);
        QFile::remove(path);
        return QFile::copy(fixture(fixtureName), path) ? path : QString();
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("SEGMORA_PROGRAM_FOLDER"), m_program->path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    Ran run(const QStringList& arguments, int timeoutMs = 120000) const {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_work->path());
        process.start(kProgram, arguments);
        Ran ran;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            return ran;
        }
        ran.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        ran.out = QString::fromUtf8(process.readAllStandardOutput());
        ran.err = QString::fromUtf8(process.readAllStandardError());
        return ran;
    }

    QStringList clips(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private slots:
    void init() {
        m_program = std::make_unique<test::TempProgramFolder>();
        m_work = std::make_unique<QTemporaryDir>();
        QVERIFY(m_work->isValid());
        QVERIFY(QDir().mkpath(out()));
        QVERIFY(!source(QStringLiteral("six.mp4"), QStringLiteral("six.mp4")).isEmpty());
    }
    void cleanup() {
        m_work.reset();
        m_program.reset();
    }

    // --jobs reads a whole number by the program's one rule for them.
    void jobsOption_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("jobs"); // 0: a usage error
        QTest::newRow("one") << "1" << 1;
        QTest::newRow("plus sign") << "+3" << 3;
        QTest::newRow("leading zeros") << "004" << 4;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("negative") << "-2" << 0;
        QTest::newRow("blank before") << " 2" << 0;
        QTest::newRow("blank after") << "2 " << 0;
        QTest::newRow("fraction") << "1.5" << 0;
        QTest::newRow("hexadecimal") << "0x2" << 0;
        QTest::newRow("beyond 32 bits") << "2147483648" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void jobsOption() {
        QFETCH(QString, text);
        QFETCH(int, jobs);
        const SplitOptions options =
            ParseSplitOptions({QStringLiteral("a.mp4"), QStringLiteral("--jobs"), text});
        if (jobs > 0) {
            QCOMPARE(options.error, QString());
            QCOMPARE(options.jobs, jobs);
        } else {
            QCOMPARE(options.error, QStringLiteral("--jobs needs a whole number of 1 or more"));
        }
    }

    // {src} is six.mp4 (6 s) in the test's folder, {out} the output folder.
    void commandLines_data() {
        QTest::addColumn<QString>("arguments"); // split at "|"
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstLine");

        const auto row = [](const char* name, const char* arguments, int status,
                            const QString& firstLine) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << status << firstLine;
        };
        const QString usage = QStringLiteral("segmora: ");
        row("split, one clip", "split|{src}|--profile|MP4|--output-dir|{out}", 0,
            "six.mp4: 1 section(s)");
        row("split, sections and times",
            "split|{src}|--start|0:0:1.5|--end|00:00:05|--sections|2|--profile|MP4|"
            "--output-dir|{out}|--jobs|2",
            0, "six.mp4: 2 section(s)");
        row("profiles", "profiles", 0, "AVI");
        row("help", "split|--help", 0, "Usage:");
        row("no source", "split|--sections|2", 2, usage + "no SOURCE given");
        row("unknown option", "split|{src}|--fast", 2, usage + "unknown option --fast");
        row("option without its value", "split|{src}|--sections", 2,
            usage + "--sections needs a value");
        row("jobs below one", "split|{src}|--jobs|0", 2,
            usage + "--jobs needs a whole number of 1 or more");
        row("profiles takes nothing", "profiles|MP4", 2, usage + "unknown argument MP4");
        row("1 missing source", "split|{src}.gone|--output-dir|{out}", 1,
            usage + "{src}.gone: Please specify a valid input video file.");
        row("2 start unreadable", "split|{src}|--start|ten|--output-dir|{out}", 1,
            usage + "{src}: Please varify the Start Time you selected.");
        row("3 start beyond the source", "split|{src}|--start|00:00:07|--output-dir|{out}", 1,
            usage + "{src}: Please varify the Start Time you selected.");
        row("4 end unreadable", "split|{src}|--end|soon|--output-dir|{out}", 1,
            usage + "{src}: Please varify the End Time you selected.");
        row("5 end before start", "split|{src}|--start|0:0:4|--end|0:0:2|--output-dir|{out}", 1,
            usage + "{src}: The End Time should be later than the Start Time.");
        row("6 section quantity", "split|{src}|--sections|two|--output-dir|{out}", 1,
            usage + "{src}: Please specify a valid section quantity.");
        row("7 profile", "split|{src}|--profile|Nope|--output-dir|{out}", 1,
            usage + "{src}: Please select a valid output profile.");
        row("8 output folder", "split|{src}|--output-dir|{out}/none", 1,
            usage + "{src}: Please specify a valid output path.");
        row("an existing clip is kept", "split|{src}|--profile|MP4|--output-dir|{out}|--jobs|1", 1,
            usage + "{out}/six_Clip1.mp4: The output file is existent. (kept; --overwrite "
                    "replaces it)");
    }
    void commandLines() {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, firstLine);
        const QString src = m_work->filePath(QStringLiteral("six.mp4"));
        const auto fill = [&](QString text) {
            return text.replace(QLatin1String("{src}"), src).replace(QLatin1String("{out}"), out());
        };
        if (QString::fromUtf8(QTest::currentDataTag()).startsWith(QLatin1String("an existing")))
            QVERIFY(test::writeAll(out() + QStringLiteral("/six_Clip1.mp4"), "old"));

        const Ran ran = run(fill(arguments).split(QLatin1Char('|')));
        QVERIFY2(ran.status == status, qPrintable(ran.out + ran.err));
        QCOMPARE(ran.firstLine(), fill(firstLine));
        if (status == 0 && arguments.startsWith(QLatin1String("split|{src}")))
            QVERIFY(QFileInfo::exists(out() + QStringLiteral("/six_Clip1.mp4")));
        if (status == 1 && !firstLine.contains(QLatin1String("existent")))
            QCOMPARE(clips(out()), QStringList());
    }

    // Three sources cut two at a time give the same clips as one at a time.
    void parallelBatchEqualsOneAtATime() {
        const QStringList sources{source(QStringLiteral("six.mp4"), QStringLiteral("a.mp4")),
                                  source(QStringLiteral("six.mov"), QStringLiteral("b.mov")),
                                  source(QStringLiteral("six.avi"), QStringLiteral("c.avi"))};
        QMap<QString, QStringList> made;
        for (const QString& jobs : {QStringLiteral("1"), QStringLiteral("2")}) {
            const QString folder = m_work->filePath(QStringLiteral("jobs") + jobs);
            QVERIFY(QDir().mkpath(folder));
            const Ran ran = run(QStringList{QStringLiteral("split")} + sources +
                                QStringList{QStringLiteral("--sections"), QStringLiteral("2"),
                                            QStringLiteral("--profile"), QStringLiteral("MP4"),
                                            QStringLiteral("--output-dir"), folder,
                                            QStringLiteral("--jobs"), jobs});
            QVERIFY2(ran.status == 0, qPrintable(ran.err));
            for (const QString& name : clips(folder)) {
                const test::Probe seen = probe(folder + QLatin1Char('/') + name);
                made[jobs].append(name + QLatin1Char(' ') + QString::number(seen.duration, 'f', 2) +
                                  QLatin1Char(' ') + seen.codecs.join(QLatin1Char(',')));
            }
        }
        QCOMPARE(made.value(QStringLiteral("1")).size(), 6);
        QCOMPARE(made.value(QStringLiteral("2")), made.value(QStringLiteral("1")));
    }

    // Two runs into one folder with the same source (a batch started twice, two windows): both
    // make every clip, each clip is whole (as a run alone makes it), and no part file is left.
    void twoRunsIntoOneFolder_data() {
        QTest::addColumn<QString>("profile");
        QTest::newRow("re-encoded") << QStringLiteral("MP4");
        QTest::newRow("lossless") << QStringLiteral("Settings of the source file.");
    }
    void twoRunsIntoOneFolder() {
        QFETCH(QString, profile);
        const QString src = source(QStringLiteral("six.mp4"), QStringLiteral("same.mp4"));
        const auto arguments = [&](const QString& folder) {
            return QStringList{QStringLiteral("split"),        src,
                               QStringLiteral("--sections"),   QStringLiteral("3"),
                               QStringLiteral("--profile"),    profile,
                               QStringLiteral("--output-dir"), folder,
                               QStringLiteral("--overwrite")};
        };
        const QString alone = m_work->filePath(QStringLiteral("alone"));
        QVERIFY(QDir().mkpath(alone));
        const Ran reference = run(arguments(alone));
        QVERIFY2(reference.status == 0, qPrintable(reference.err));

        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 2; ++i) {
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->setProcessEnvironment(environment());
            runs.back()->start(kProgram, arguments(out()));
        }
        for (const auto& process : runs) {
            QVERIFY(process->waitForFinished(120000));
            QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
                     process->readAllStandardError().constData());
        }
        QCOMPARE(clips(out()), clips(alone));
        for (const QString& name : clips(alone)) {
            const test::Probe made = probe(out() + QLatin1Char('/') + name);
            const test::Probe expected = probe(alone + QLatin1Char('/') + name);
            QVERIFY2(made.duration > 0, qPrintable(name));
            QCOMPARE(made.duration, expected.duration);
            QCOMPARE(made.codecs, expected.codecs);
        }
    }

    // Ctrl+C during a re-encode ends the converters and leaves no part file (and no clip).
    void interruptLeavesNoPartFile() {
        const QString src = source(QStringLiteral("job45.mp4"), QStringLiteral("long.mp4"));
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(kProgram, {QStringLiteral("split"), src, QStringLiteral("--profile"),
                                 QStringLiteral("MP4"), QStringLiteral("--output-dir"), out(),
                                 QStringLiteral("--json")});
        QVERIFY(process.waitForStarted());
        QByteArray seen;
        QElapsedTimer clock;
        clock.start();
        while (!seen.contains("\"progress\"") && clock.elapsed() < 30000 &&
               process.state() == QProcess::Running) {
            process.waitForReadyRead(1000);
            seen += process.readAllStandardOutput();
        }
        QVERIFY2(seen.contains("\"progress\""), seen.constData());
        const auto stop = qScopeGuard([&] {
            if (process.state() != QProcess::NotRunning) {
                process.kill();
                process.waitForFinished();
            }
        });
        // The part file is being written.
        QTRY_VERIFY_WITH_TIMEOUT(!clips(out()).isEmpty(), 15000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(clips(out()), QStringList());
    }

    // Every line is a JSON object; per source the percentage never goes back and ends at 100.
    void jsonEvents() {
        const QString b = source(QStringLiteral("six.mov"), QStringLiteral("b.mov"));
        const Ran ran =
            run({QStringLiteral("split"), m_work->filePath(QStringLiteral("six.mp4")), b,
                 QStringLiteral("--sections"), QStringLiteral("3"), QStringLiteral("--profile"),
                 QStringLiteral("MP4"), QStringLiteral("--output-dir"), out(),
                 QStringLiteral("--json"), QStringLiteral("--jobs"), QStringLiteral("2")});
        QCOMPARE(ran.status, 0);
        QMap<QString, int> percent;
        QMap<QString, QStringList> events;
        QMap<QString, int> sectionsDone; // two sections may end back to back with two jobs
        for (const QString& line : ran.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
            QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(),
                     qPrintable(line));
            const QJsonObject event = document.object();
            const QString src = event.value(QStringLiteral("source")).toString();
            const QString name = event.value(QStringLiteral("event")).toString();
            if (name == QLatin1String("section done"))
                ++sectionsDone[src];
            if (events[src].isEmpty() || events[src].last() != name)
                events[src].append(name);
            if (name == QLatin1String("progress")) {
                const int now = event.value(QStringLiteral("percent")).toInt();
                QVERIFY2(now >= percent.value(src), qPrintable(line));
                percent[src] = now;
            }
        }
        QCOMPARE(events.size(), 2);
        for (auto it = events.cbegin(); it != events.cend(); ++it) {
            QCOMPARE(it.value().first(), QStringLiteral("started"));
            QCOMPARE(it.value().last(), QStringLiteral("finished"));
            QCOMPARE(sectionsDone.value(it.key()), 3);
            QCOMPARE(percent.value(it.key()), 100);
        }
    }

    // The source-settings profile cuts frame-exact; a source whose video cannot be cut so (WMV)
    // gets the keyframe cut, and the run names the clip and how much earlier it starts, on
    // standard error and as a JSON event before the source's "finished". The clip counts as made.
    void keyframeCutIsReported_data() {
        QTest::addColumn<QString>("fixtureName");
        QTest::addColumn<bool>("fallsBack");
        QTest::newRow("wmv falls back") << "six.wmv" << true;
        QTest::newRow("h264 is cut exactly") << "six.mp4" << false;
    }
    void keyframeCutIsReported() {
        QFETCH(QString, fixtureName);
        QFETCH(bool, fallsBack);
        const QString src =
            source(fixtureName, QStringLiteral("cut.") + fixtureName.section('.', 1));
        QVERIFY(!src.isEmpty());
        const Ran ran =
            run({QStringLiteral("split"), src, QStringLiteral("--start"), QStringLiteral("0:0:1.3"),
                 QStringLiteral("--end"), QStringLiteral("0:0:3.3"), QStringLiteral("--profile"),
                 QStringLiteral("Settings of the source file."), QStringLiteral("--output-dir"),
                 out(), QStringLiteral("--json")});
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        const QString clip = out() + QStringLiteral("/cut_Clip1.") + fixtureName.section('.', 1);
        QCOMPARE(clips(out()), QStringList{QFileInfo(clip).fileName()});

        QStringList events;
        double early = -1;
        for (const QString& line : ran.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            const QString name = event.value(QStringLiteral("event")).toString();
            if (events.isEmpty() || events.last() != name)
                events.append(name);
            if (name == QLatin1String("keyframe cut")) {
                QCOMPARE(event.value(QStringLiteral("source")).toString(), src);
                QCOMPARE(event.value(QStringLiteral("section")).toInt(), 1);
                QCOMPARE(event.value(QStringLiteral("output")).toString(), clip);
                early = event.value(QStringLiteral("seconds early")).toDouble(-1);
            }
        }
        if (!fallsBack) {
            QVERIFY2(!events.contains(QStringLiteral("keyframe cut")), qPrintable(ran.out));
            QVERIFY2(ran.err.isEmpty(), qPrintable(ran.err));
            return;
        }
        QCOMPARE(events.mid(events.size() - 2),
                 (QStringList{QStringLiteral("keyframe cut"), QStringLiteral("finished")}));
        // The keyframe lies before the start, and not before the source's beginning.
        QVERIFY2(early > 0 && early <= 1.3, qPrintable(QString::number(early)));
        QCOMPARE(ran.err, QStringLiteral("segmora: %1: %2 could not be cut exactly; it starts %3 s "
                                         "earlier, at the key frame before its start\n")
                              .arg(src, clip, QString::number(early, 'f', 2)));
        // The clip really begins that much before the start: it is longer than asked by it.
        const double length = probe(clip).duration;
        QVERIFY2(qAbs(length - (2.0 + early)) < 0.1,
                 qPrintable(QStringLiteral("%1 s long, %2 s early").arg(length).arg(early)));
    }

    // The README's recipe: one process per source, fanned out by GNU parallel.
    void gnuParallelRecipe() {
        const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
        if (parallel.isEmpty())
            QSKIP("GNU parallel is not installed");
        QVERIFY(!source(QStringLiteral("six.mov"), QStringLiteral("b.mp4")).isEmpty());
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_work->path());
        process.start(parallel,
                      {QStringLiteral("--will-cite"), kProgram, QStringLiteral("split"),
                       QStringLiteral("{}"), QStringLiteral("--sections"), QStringLiteral("4"),
                       QStringLiteral("--profile"), QStringLiteral("MP4"),
                       QStringLiteral("--output-dir"), out(), QStringLiteral(":::"),
                       QStringLiteral("six.mp4"), QStringLiteral("b.mp4")});
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        QStringList expected;
        for (const QString& base : {QStringLiteral("b"), QStringLiteral("six")})
            for (int i = 1; i <= 4; ++i)
                expected.append(base + QStringLiteral("_Clip%1.mp4").arg(i));
        QCOMPARE(clips(out()), expected);
    }
};

QTEST_GUILESS_MAIN(TestCommandLineSplit)
#include "test_command_line_split.moc"
