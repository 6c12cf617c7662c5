// `segmora split`, `segmora profiles` and `segmora check` as a user runs them, as a process without
// a display: exit statuses and first lines, sources that are no video, a source that ends early,
// the saved profile, a parallel batch against a one-at-a-time one, Ctrl+C, the JSON events, the GNU
// parallel recipe of the README, and the program installed under a prefix for a new user.
// Sources are generated media (SEGMORA_NEEDS_MEDIA).
#include "app/command_line_split.h"
#include "fake_converter.h"
#include "split_window_world.h"
#include "test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

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
    std::unique_ptr<QTemporaryDir> m_installed; // the build installed under a prefix, once

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

    // The JSON objects of standard output, in order; a line that is none fails the test.
    static QList<QJsonObject> events(const QString& out) {
        QList<QJsonObject> objects;
        for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
            if (error.error != QJsonParseError::NoError || !document.isObject())
                qWarning("not a JSON object: %s", qPrintable(line));
            objects.append(document.object());
        }
        return objects;
    }
    static QList<QJsonObject> named(const QList<QJsonObject>& all, const char* event) {
        QList<QJsonObject> found;
        for (const QJsonObject& object : all)
            if (object.value(QStringLiteral("event")).toString() == QLatin1String(event))
                found.append(object);
        return found;
    }

    // Preferences.ini of the program copy with a saved profile position and name.
    void saveProfileChoice(int position, const QString& name) const {
        QByteArray text = "[Main]\nProfile=" + QByteArray::number(position) + "\n";
        if (!name.isNull())
            text += "Profile Name=" + name.toUtf8() + "\n";
        m_program->writeFile(QStringLiteral("Preferences.ini"), text);
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
        // The next option is not a value: the count is missing.
        row("option in place of a value", "split|{src}|--sections|--output-dir|{out}", 2,
            usage + "--sections needs a value");
        row("option in place of the last value", "split|{src}|--profile|--json", 2,
            usage + "--profile needs a value");
        // A minus would be dropped ("-0:0:5" as 5 s) or reach the converter ("0:0:-5").
        row("negative start seconds", "split|{src}|--start|0:0:-5|--output-dir|{out}", 2,
            usage + "--start needs a time of 0 or later, not 0:0:-5");
        row("start with a minus", "split|{src}|--start|-0:0:5|--output-dir|{out}", 2,
            usage + "--start needs a time of 0 or later, not -0:0:5");
        row("negative end", "split|{src}|--end|0:-1:0|--output-dir|{out}", 2,
            usage + "--end needs a time of 0 or later, not 0:-1:0");
        // 2 s at 25 frames a second are 50 frames: 100 sections would repeat each one.
        row("9 sections under a frame",
            "split|{src}|--end|0:0:2|--sections|100|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: Each section would be shorter than one frame of the video. Please "
                    "specify a smaller section quantity.");
        row("9 range under a frame",
            "split|{src}|--start|0:0:1|--end|0:0:1.02|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: The marked range is shorter than one frame of the video.");
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
        // A cut list is checked whole before anything is written, its faulty range named.
        row("range without its end", "split|{src}|--range|0:01|--output-dir|{out}", 2,
            usage + "--range needs START-END (times such as 1:30 or 90.5), not 0:01");
        row("range with text", "split|{src}|--range|a-b|--output-dir|{out}", 2,
            usage + "--range needs START-END (times such as 1:30 or 90.5), not a-b");
        row("remove without a list", "split|{src}|--remove|--output-dir|{out}", 2,
            usage + "--remove needs --range or --cuts");
        row("join without a list", "split|{src}|--join|--output-dir|{out}", 2,
            usage + "--join needs --range or --cuts");
        row("ranges and sections", "split|{src}|--range|1-2|--sections|2|--output-dir|{out}", 2,
            usage + "--range and --cuts do not go with --start, --end or --sections");
        row("ranges and a cut file", "split|{src}|--range|1-2|--cuts|{csv}|--output-dir|{out}", 2,
            usage + "--range and --cuts do not go together");
        row("11 overlapping ranges",
            "split|{src}|--range|1-3|--range|2-4|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: Range 2 (00:00:02 to 00:00:04) overlaps range 1 (00:00:01 to "
                    "00:00:03).");
        row("11 empty range",
            "split|{src}|--range|1-2|--range|3-3|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: Range 2 (00:00:03 to 00:00:03) is empty: its end is not after its "
                    "start.");
        row("11 range past the end", "split|{src}|--range|5-0:09|--profile|MP4|--output-dir|{out}",
            1, usage + "{src}: Range 1 (00:00:05 to 00:00:09) ends past the end of the video");
        row("11 text in a time column of a CSV file",
            "split|{src}|--cuts|{csv}|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: {csv}: Line 3 of the cut list: the start \"x\" is no time in "
                    "seconds.");
        row("11 list of another video",
            "split|{src}|--cuts|{json}|--profile|MP4|--output-dir|{out}", 1,
            usage + "{src}: {json}: The cut list belongs to another video: other.mp4 (99 bytes).");
        row("an existing clip is kept", "split|{src}|--profile|MP4|--output-dir|{out}|--jobs|1", 1,
            usage + "{out}/six_Clip1.mp4: The output file is existent. (kept; --overwrite "
                    "replaces it)");
    }
    void commandLines() {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, firstLine);
        const QString src = m_work->filePath(QStringLiteral("six.mp4"));
        const QString csv = m_work->filePath(QStringLiteral("cuts.csv"));
        const QString json = m_work->filePath(QStringLiteral("cuts.json"));
        QVERIFY(test::writeAll(csv, "start,end,label\n1,2,a\nx,4,b\n"));
        QVERIFY(test::writeAll(json, R"({"video": {"name": "other.mp4", "size": 99},
                                         "ranges": [{"start": 1, "end": 2}]})"));
        const auto fill = [&](QString text) {
            return text.replace(QLatin1String("{src}"), src)
                .replace(QLatin1String("{out}"), out())
                .replace(QLatin1String("{csv}"), csv)
                .replace(QLatin1String("{json}"), json);
        };
        if (QString::fromUtf8(QTest::currentDataTag()).startsWith(QLatin1String("an existing")))
            QVERIFY(test::writeAll(out() + QStringLiteral("/six_Clip1.mp4"), "old"));

        const Ran ran = run(fill(arguments).split(QLatin1Char('|')));
        QVERIFY2(ran.status == status, qPrintable(ran.out + ran.err));
        // The end of the video is told to the millisecond the probe found.
        if (firstLine.endsWith(QLatin1String("end of the video")))
            QVERIFY2(ran.firstLine().startsWith(fill(firstLine)), qPrintable(ran.firstLine()));
        else
            QCOMPARE(ran.firstLine(), fill(firstLine));
        if (status == 0 && arguments.startsWith(QLatin1String("split|{src}")))
            QVERIFY(QFileInfo::exists(out() + QStringLiteral("/six_Clip1.mp4")));
        if (status == 1 && !firstLine.contains(QLatin1String("existent")))
            QCOMPARE(clips(out()), QStringList());
    }

    // A clip per range in the list's order, or per stretch between the ranges; the JSON events
    // tell each clip's range. {src} is six.mp4 (6 s).
    void cutListClips_data() {
        QTest::addColumn<QString>("arguments"); // after the source, split at "|"
        QTest::addColumn<QString>("cuts");      // the --cuts file's content, when one is used
        QTest::addColumn<QList<double>>("lengths");
        QTest::newRow("two ranges, the later one first") << "--range|3-4.5|--range|0:01-0:02"
                                                         << "" << QList<double>{1.5, 1.0};
        QTest::newRow("remove a range in the middle") << "--range|2-4|--remove"
                                                      << "" << QList<double>{2.0, 2.0};
        // One file named as a single clip; its event tells each range and where it begins.
        QTest::newRow("two ranges joined, the later one first")
            << "--range|3-4.5|--range|0:01-0:02|--join"
            << "" << QList<double>{2.5};
        QTest::newRow("remove a range in the middle, joined") << "--range|2-4|--remove|--join"
                                                              << "" << QList<double>{4.0};
        QTest::newRow("CSV file with labels")
            << "--cuts|{cuts}"
            << "start,end,label\n0.5,1.5,\"one, first\"\n2,3,two\n"
            << QList<double>{1.0, 1.0};
        QTest::newRow("JSON file removing")
            << "--cuts|{cuts}"
            << R"({"mode": "remove", "ranges": [{"start": 0, "end": 1}, {"start": 5, "end": 6}]})"
            << QList<double>{4.0};
    }
    void cutListClips() {
        QFETCH(QString, arguments);
        QFETCH(QString, cuts);
        QFETCH(QList<double>, lengths);
        const QString cutsFile = m_work->filePath(QStringLiteral("cuts.txt"));
        QVERIFY(test::writeAll(cutsFile, cuts.toUtf8()));
        const Ran ran =
            run(QStringList{QStringLiteral("split"), m_work->filePath(QStringLiteral("six.mp4")),
                            QStringLiteral("--profile"), QStringLiteral("MP4"),
                            QStringLiteral("--output-dir"), out(), QStringLiteral("--json")} +
                arguments.replace(QLatin1String("{cuts}"), cutsFile).split(QLatin1Char('|')));
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        QStringList expected;
        for (qsizetype i = 0; i < lengths.size(); ++i)
            expected.append(QStringLiteral("six_Clip%1.mp4").arg(i + 1));
        QCOMPARE(clips(out()), expected);
        const QList<QJsonObject> done = named(events(ran.out), "section done");
        QCOMPARE(done.size(), lengths.size());
        for (const QJsonObject& event : done) {
            const int index = event.value(QStringLiteral("section")).toInt();
            const QJsonObject range = event.value(QStringLiteral("range")).toObject();
            double asked = range.value(QStringLiteral("end")).toDouble() -
                           range.value(QStringLiteral("start")).toDouble();
            const QJsonArray joined = event.value(QStringLiteral("ranges")).toArray();
            QCOMPARE(joined.isEmpty(), !arguments.contains(QLatin1String("--join")));
            if (!joined.isEmpty()) {
                asked = 0;
                for (const QJsonValue& value : joined) {
                    const QJsonObject part = value.toObject();
                    QCOMPARE(part.value(QStringLiteral("clip start")).toDouble(), asked);
                    asked += part.value(QStringLiteral("end")).toDouble() -
                             part.value(QStringLiteral("start")).toDouble();
                }
            }
            QCOMPARE(asked, lengths.value(index - 1));
            const double made =
                probe(out() + QStringLiteral("/six_Clip%1.mp4").arg(index)).duration;
            QVERIFY2(qAbs(made - asked) < 0.1, qPrintable(QString::number(made)));
            if (QString::fromUtf8(QTest::currentDataTag()).startsWith(QLatin1String("CSV")))
                QCOMPARE(range.value(QStringLiteral("label")).toString(),
                         index == 1 ? QStringLiteral("one, first") : QStringLiteral("two"));
        }
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

    // What is no video is refused as such before anything is opened for good: a FIFO (which
    // an open would wait on for a writer for ever), an empty file, a text file, a folder.
    void sourcesThatAreNoVideo_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("text file") << "text";
        QTest::newRow("folder") << "folder";
    }
    void sourcesThatAreNoVideo() {
        QFETCH(QString, kind);
        const QString path = m_work->filePath(QStringLiteral("odd.mp4"));
        const QByteArray bytes = QFile::encodeName(path);
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(bytes.constData(), 0600), 0);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(test::writeAll(path, kind == QLatin1String("text")
                                             ? QByteArray("this is a text file, not a video\n")
                                             : QByteArray()));
        // A hang shows as status -1 after 20 s, not as a test that never ends.
        const Ran ran =
            run({QStringLiteral("split"), path, QStringLiteral("--profile"), QStringLiteral("MP4"),
                 QStringLiteral("--output-dir"), out(), QStringLiteral("--json")},
                20000);
        QVERIFY2(ran.status == 1, qPrintable(ran.out + ran.err));
        QCOMPARE(
            ran.err,
            QStringLiteral("segmora: %1: Please specify a valid input video file.\n").arg(path));
        const QList<QJsonObject> failed = named(events(ran.out), "failed");
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].value(QStringLiteral("message")).toString(),
                 QStringLiteral("Please specify a valid input video file."));
        QCOMPARE(clips(out()), QStringList());
    }

    // A source whose header promises 12 s but whose data ends about half-way, as one cut off
    // while the job runs: the clip is kept, but the run fails and says which clip is short and
    // by how much, on standard error and as an event of its own.
    void sourceEndingEarlyFails_data() {
        QTest::addColumn<QString>("profile");
        QTest::newRow("copy") << "Settings of the source file.";
        QTest::newRow("re-encode") << "MP4";
    }
    void sourceEndingEarlyFails() {
        QFETCH(QString, profile);
        QFile whole(fixture(QStringLiteral("bars25.mp4")));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QString src = m_work->filePath(QStringLiteral("cut.mp4"));
        QVERIFY(test::writeAll(src, whole.read(whole.size() / 2)));
        const Ran ran = run({QStringLiteral("split"), src, QStringLiteral("--profile"), profile,
                             QStringLiteral("--output-dir"), out(), QStringLiteral("--json")});
        QVERIFY2(ran.status == 1, qPrintable(ran.out + ran.err));
        const QString clip = out() + QStringLiteral("/cut_Clip1.mp4");
        QCOMPARE(clips(out()), QStringList{QStringLiteral("cut_Clip1.mp4")});

        const QList<QJsonObject> all = events(ran.out);
        const QList<QJsonObject> shortClips = named(all, "short clip");
        QCOMPARE(shortClips.size(), 1);
        const QJsonObject& event = shortClips[0];
        QCOMPARE(event.value(QStringLiteral("source")).toString(), src);
        QCOMPARE(event.value(QStringLiteral("section")).toInt(), 1);
        QCOMPARE(event.value(QStringLiteral("output")).toString(), clip);
        const double made = event.value(QStringLiteral("seconds")).toDouble();
        QCOMPARE(event.value(QStringLiteral("seconds asked")).toDouble(), 12.0);
        QVERIFY2(made > 3 && made < 9, qPrintable(QString::number(made)));
        QCOMPARE(all.last().value(QStringLiteral("event")).toString(), QStringLiteral("finished"));
        QCOMPARE(all.last().value(QStringLiteral("outcome")).toString(),
                 QStringLiteral("incomplete"));
        QCOMPARE(ran.err, QStringLiteral("segmora: %1: %2 is shorter than asked: %3 s of 12.00 s\n")
                              .arg(src, clip, QString::number(made, 'f', 2)));
    }

    // Without --profile the saved choice is taken by its name, as the window takes it: a profile
    // added before it in the list does not shift the choice. The position counts only when the
    // name is missing or no longer listed.
    void savedProfile_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("name");    // null: not saved
        QTest::addColumn<bool>("addProfile"); // Alpha.apf, listed first
        QTest::addColumn<QString>("clip");
        QTest::newRow("name after a profile was added") << 3 << "MP4" << true << "six_Clip1.mp4";
        QTest::newRow("name against an old position") << 0 << "MP4" << false << "six_Clip1.mp4";
        QTest::newRow("position without a name") << 4 << QString() << false << "six_Clip1.mp4";
        QTest::newRow("name no longer listed") << 3 << "Gone" << false << "six_Clip1.mp3";
    }
    void savedProfile() {
        QFETCH(int, position);
        QFETCH(QString, name);
        QFETCH(bool, addProfile);
        QFETCH(QString, clip);
        saveProfileChoice(position, name);
        if (addProfile) {
            QFile mp3(m_program->path() + QStringLiteral("Profiles/MP3.apf"));
            QVERIFY(mp3.open(QIODevice::ReadOnly));
            m_program->writeFile(QStringLiteral("Profiles/Alpha.apf"), mp3.readAll());
        }
        const Ran ran = run({QStringLiteral("split"), m_work->filePath(QStringLiteral("six.mp4")),
                             QStringLiteral("--end"), QStringLiteral("0:0:1"),
                             QStringLiteral("--output-dir"), out()});
        QVERIFY2(ran.status == 0, qPrintable(ran.out + ran.err));
        QCOMPARE(clips(out()), QStringList{clip});
    }

    // A usage error is an event too when --json was asked for, wherever it stands.
    void usageErrorEvent_data() {
        QTest::addColumn<QString>("arguments"); // split at "|"
        QTest::addColumn<QString>("message");
        QTest::newRow("json before the fault") << "--json|six.mp4|--fast"
                                               << "unknown option --fast";
        QTest::newRow("json after the fault") << "six.mp4|--sections|--json"
                                              << "--sections needs a value";
        QTest::newRow("json alone") << "--json"
                                    << "no SOURCE given";
    }
    void usageErrorEvent() {
        QFETCH(QString, arguments);
        QFETCH(QString, message);
        const Ran ran =
            run(QStringList{QStringLiteral("split")} + arguments.split(QLatin1Char('|')));
        QCOMPARE(ran.status, 2);
        const QList<QJsonObject> all = events(ran.out);
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].value(QStringLiteral("event")).toString(), QStringLiteral("usage error"));
        QCOMPARE(all[0].value(QStringLiteral("message")).toString(), message);
        QCOMPARE(ran.firstLine(), QStringLiteral("segmora: ") + message);
    }

    // A run that makes nothing because the clips exist names each clip kept in an event, in
    // both modes (start/end stops at its one clip, sections skip each).
    void existingClipsAreNamed_data() {
        QTest::addColumn<QString>("sections"); // empty: start/end
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("start/end") << QString() << QStringList{"six_Clip1.mp4"} << "failed";
        QTest::newRow("sections") << "2" << QStringList{"six_Clip1.mp4", "six_Clip2.mp4"}
                                  << "incomplete";
    }
    void existingClipsAreNamed() {
        QFETCH(QString, sections);
        QFETCH(QStringList, kept);
        QFETCH(QString, outcome);
        for (const QString& name : kept)
            QVERIFY(test::writeAll(out() + QLatin1Char('/') + name, "old"));
        QStringList arguments{
            QStringLiteral("split"),        m_work->filePath(QStringLiteral("six.mp4")),
            QStringLiteral("--profile"),    QStringLiteral("MP4"),
            QStringLiteral("--output-dir"), out(),
            QStringLiteral("--json")};
        if (!sections.isEmpty())
            arguments << QStringLiteral("--sections") << sections;
        const Ran ran = run(arguments);
        QVERIFY2(ran.status == 1, qPrintable(ran.out + ran.err));
        const QList<QJsonObject> all = events(ran.out);
        QStringList named;
        for (const QJsonObject& event : this->named(all, "failed")) {
            QCOMPARE(event.value(QStringLiteral("message")).toString(),
                     QStringLiteral("The output file is existent."));
            named.append(QFileInfo(event.value(QStringLiteral("output")).toString()).fileName());
        }
        QCOMPARE(named, kept);
        QCOMPARE(all.last().value(QStringLiteral("outcome")).toString(), outcome);
    }

    // A file name that is no UTF-8 opens; it is shown with the replacement character, and the
    // clips are named after what is shown.
    void nonUtf8FileName() {
        const QByteArray name = "caf\xe9.mp4";
        QCOMPARE(::link(QFile::encodeName(m_work->filePath(QStringLiteral("six.mp4"))).constData(),
                        (QFile::encodeName(m_work->path()) + '/' + name).constData()),
                 0);
        // QProcess passes text; the shell passes the bytes.
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_work->path());
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"),
                       QStringLiteral("exec \"$0\" split \"$(printf 'caf\\351.mp4')\" --end 0:0:1 "
                                      "--profile MP4 --output-dir out --json"),
                       kProgram});
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const QString shown = QStringLiteral("caf\uFFFD.mp4");
        QCOMPARE(
            named(events(output), "started").value(0).value(QStringLiteral("source")).toString(),
            shown);
        QCOMPARE(clips(out()), QStringList{QStringLiteral("caf\uFFFD_Clip1.mp4")});
    }

    // Installed under a prefix (cmake --install) and run by a user with an empty home, the
    // command line offers the shipped profiles beside the user's own and starts from the
    // shipped settings, as the window does.
    void installedForANewUser_data() {
        QTest::addColumn<QString>("arguments"); // split at "|"; {src}, {out}
        QTest::addColumn<bool>("ownProfile");   // Mine.apf (MP3) in the user's profile folder
        QTest::addColumn<QString>("printed");   // standard output, for profiles
        QTest::addColumn<QStringList>("made");
        const QString shipped = QStringLiteral("AVI\nKeyframe copy (fast)\nMOV\nMP3\nMP4\nMPEG\n"
                                               "Settings of the source file.\nWebM\nWMV\n");
        QTest::newRow("profiles") << "profiles" << false << shipped << QStringList();
        QTest::newRow("profiles with one of the user's own")
            << "profiles" << true
            << QString(shipped).replace("Keyframe copy (fast)\n", "Keyframe copy (fast)\nMine\n")
            << QStringList();
        QTest::newRow("split, the shipped default")
            << "split|{src}|--end|0:0:1|--output-dir|{out}" << false << QString()
            << QStringList{"six_Clip1.mp4"};
        QTest::newRow("split, a shipped profile")
            << "split|{src}|--end|0:0:1|--profile|WebM|--output-dir|{out}" << false << QString()
            << QStringList{"six_Clip1.webm"};
        QTest::newRow("split, the user's own profile")
            << "split|{src}|--end|0:0:1|--profile|Mine|--output-dir|{out}" << true << QString()
            << QStringList{"six_Clip1.mp3"};
    }
    void installedForANewUser() {
        QFETCH(QString, arguments);
        QFETCH(bool, ownProfile);
        QFETCH(QString, printed);
        QFETCH(QStringList, made);
        if (!m_installed) {
            auto prefix = std::make_unique<QTemporaryDir>();
            QProcess install;
            install.start(QStringLiteral(SEGMORA_CMAKE_COMMAND),
                          {QStringLiteral("--install"), QStringLiteral(SEGMORA_BUILD_DIR),
                           QStringLiteral("--prefix"), prefix->path()});
            QVERIFY(install.waitForFinished(120000));
            QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0,
                     install.readAllStandardError().constData());
            m_installed = std::move(prefix);
        }
        const QString home = m_work->filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        if (ownProfile) {
            QFile mp3(m_program->path() + QStringLiteral("Profiles/MP3.apf"));
            QVERIFY(mp3.open(QIODevice::ReadOnly));
            QVERIFY(QDir().mkpath(home + QStringLiteral("/.local/share/segmora/Profiles")));
            QVERIFY(test::writeAll(home + QStringLiteral("/.local/share/segmora/Profiles/Mine.apf"),
                                   mp3.readAll()));
        }
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("SEGMORA_PROGRAM_FOLDER"));
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_work->path());
        process.start(m_installed->filePath(QStringLiteral("bin/segmora")),
                      arguments.replace(QLatin1String("{src}"), m_work->filePath("six.mp4"))
                          .replace(QLatin1String("{out}"), out())
                          .split(QLatin1Char('|')));
        QVERIFY(process.waitForFinished(120000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        if (!printed.isNull())
            QCOMPARE(output, printed);
        QCOMPARE(clips(out()), made);
    }

    // The README's recipe: one process per source, fanned out by GNU parallel. parallel hands
    // its command to a shell, which splits a profile name with blanks into words unless -q
    // quotes each argument.
    void gnuParallelRecipe_data() {
        QTest::addColumn<QString>("profile");
        QTest::newRow("one-word profile") << "MP4";
        QTest::newRow("profile with blanks") << "Settings of the source file.";
    }
    void gnuParallelRecipe() {
        QFETCH(QString, profile);
        const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
        if (parallel.isEmpty())
            QSKIP("GNU parallel is not installed");
        QVERIFY(!source(QStringLiteral("six.mov"), QStringLiteral("b.mp4")).isEmpty());
        QProcess process;
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(m_work->path());
        process.start(parallel,
                      {QStringLiteral("--will-cite"), QStringLiteral("-q"), kProgram,
                       QStringLiteral("split"), QStringLiteral("{}"), QStringLiteral("--sections"),
                       QStringLiteral("4"), QStringLiteral("--profile"), profile,
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

    // `segmora check`: a clip cut from 1 s to 2 s holds against that section, starts a picture
    // late against one a picture earlier, and a clip that is no video or a missing option is a
    // usage error; --json gives the check's event with its figures.
    void checkSubcommand_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<bool>("json");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const QStringList section{"--start", "00:00:01", "--end", "00:00:02"};
        QTest::newRow("holds") << "clip.mp4" << section << false << 0 << "clip.mp4: holds";
        QTest::newRow("a picture late")
            << "clip.mp4" << QStringList{"--start", "00:00:00.96", "--end", "00:00:02"} << false
            << 1 << "starts 1 frame late";
        QTest::newRow("json") << "clip.mp4" << section << true << 0 << "\"passed\":true";
        QTest::newRow("not a video")
            << "notvideo.mp4" << section << false << 2 << "cannot open the clip";
        QTest::newRow("no start") << "clip.mp4" << QStringList{} << false << 2 << "no start given";
    }
    void checkSubcommand() {
        QFETCH(QString, clip);
        QFETCH(QStringList, range);
        QFETCH(bool, json);
        QFETCH(int, status);
        QFETCH(QString, says);
        const QString six = m_work->filePath(QStringLiteral("six.mp4"));
        QProcess cut;
        cut.start(QStringLiteral(SEGMORA_PROGRAM_DIR "/vorkast"),
                  {"-y", "-i", six, "-ss", "1", "-t", "1", "-c", "copy", "-cut", "exact",
                   m_work->filePath(QStringLiteral("clip.mp4"))});
        QVERIFY(cut.waitForFinished(60000) && cut.exitCode() == 0);
        const QString checked =
            clip == QLatin1String("notvideo.mp4") ? fixture(clip) : m_work->filePath(clip);
        QStringList arguments{"check", checked, "--source", six};
        arguments += range;
        if (json)
            arguments << "--json";
        const Ran ran = run(arguments);
        QCOMPARE(ran.status, status);
        QVERIFY2((ran.out + ran.err).contains(says), qPrintable(ran.out + ran.err));
        if (json) {
            const QList<QJsonObject> all = events(ran.out);
            QCOMPARE(all.size(), 1);
            QCOMPARE(all[0].value("event").toString(), QStringLiteral("clip check"));
            QCOMPARE(all[0].value("first picture offset").toInt(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLineSplit)
#include "test_command_line_split.moc"
