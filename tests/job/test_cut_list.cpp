// The cut list without a window: its checks, inversion, typed times, history, the clips a job
// plans from it, and the list written out, read back and kept for a video.
#include "job/cut_list.h"
#include "job/cut_list_file.h"
#include "job/job_request.h"
#include "job/section_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace segmora;

using Ranges = QList<CutRange>;
Q_DECLARE_METATYPE(Ranges)
Q_DECLARE_METATYPE(segmora::CutListMode)

namespace {

// "1-2,3.5-4:label" as ranges, and back: the tables read like the list the user sees.
Ranges ranges(const QString& text) {
    Ranges list;
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString times = item.section(QLatin1Char(':'), 0, 0);
        list.append(CutRange{times.section(QLatin1Char('-'), 0, 0).toDouble(),
                             times.section(QLatin1Char('-'), 1, 1).toDouble(),
                             item.section(QLatin1Char(':'), 1)});
    }
    return list;
}

QString text(const Ranges& list) {
    QStringList items;
    for (const CutRange& range : list) {
        QString item = QString::number(range.start) + QLatin1Char('-') + QString::number(range.end);
        if (!range.label.isEmpty())
            item += QLatin1Char(':') + range.label;
        items.append(item);
    }
    return items.join(QLatin1Char(','));
}

// The list as the window would see it after the steps: its rows, the selected row and the
// marks, and whether undo and redo are offered.
QString describe(const CutList& list) {
    return QStringLiteral("[%1] sel %2 marks %3-%4 undo %5 redo %6")
        .arg(text(list.ranges()))
        .arg(list.selected())
        .arg(list.markStart())
        .arg(list.markEnd())
        .arg(list.canUndo() ? "yes" : "no", list.canRedo() ? "yes" : "no");
}

// Runs "mark 1 2; add; select 0; undo; ..." on the list; an add the list refuses is a failure
// of the script unless written "add!" (expected to be refused).
void runScript(CutList& list, const QString& script) {
    for (const QString& command : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList word = command.simplified().split(QLatin1Char(' '));
        const auto number = [&](int i) { return word.value(i).toDouble(); };
        if (word[0] == QLatin1String("mark"))
            list.setMarks(number(1), number(2));
        else if (word[0] == QLatin1String("add"))
            QVERIFY2(list.addMarkedRange(word.value(1), 100).isEmpty(), qPrintable(command));
        else if (word[0] == QLatin1String("add!"))
            QVERIFY2(!list.addMarkedRange(QString(), 100).isEmpty(), qPrintable(command));
        else if (word[0] == QLatin1String("select"))
            list.select(int(number(1)));
        else if (word[0] == QLatin1String("remove"))
            list.removeRow(int(number(1)));
        else if (word[0] == QLatin1String("move"))
            list.moveRow(int(number(1)), int(number(2)));
        else if (word[0] == QLatin1String("label"))
            list.setLabel(int(number(1)), word.value(2));
        else if (word[0] == QLatin1String("clear"))
            list.clearMarks();
        else if (word[0] == QLatin1String("undo"))
            list.undo();
        else if (word[0] == QLatin1String("redo"))
            list.redo();
        else
            QFAIL(qPrintable(QStringLiteral("no such step: ") + command));
    }
}

} // namespace

class TestCutList : public QObject {
    Q_OBJECT

private slots:
    // The fault named is the row the user must mend; the duration is 100 s.
    void problems_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("problem"); // the start of the sentence; empty: sound

        QTest::newRow("empty list") << ""
                                    << "";
        QTest::newRow("rows in any order") << "50-60,10-20,20-30"
                                           << "";
        QTest::newRow("touching ranges") << "10-20,20-30"
                                         << "";
        QTest::newRow("up to the very end") << "90-100"
                                            << "";
        QTest::newRow("end before start") << "10-20,40-30"
                                          << "Range 2 (00:00:40 to "
                                             "00:00:30) is empty";
        QTest::newRow("no length") << "10-10"
                                   << "Range 1 (00:00:10 to 00:00:10) is empty";
        QTest::newRow("past the end") << "10-20,95-101"
                                      << "Range 2 (00:01:35 to "
                                         "00:01:41) ends past the end";
        QTest::newRow("later row overlaps an earlier")
            << "10-20,30-40,15-25"
            << "Range 3 (00:00:15 to 00:00:25) overlaps range 1";
        QTest::newRow("earlier row inside a later")
            << "30-40,0-50"
            << "Range 2 (00:00:00 to 00:00:50) overlaps range 1";
        QTest::newRow("same range twice") << "5-6,5-6"
                                          << "Range 2 (00:00:05 to "
                                             "00:00:06) overlaps range 1";
    }
    void problems() {
        QFETCH(QString, list);
        QFETCH(QString, problem);
        const QString found = CutRangesProblem(ranges(list), 100);
        if (problem.isEmpty())
            QCOMPARE(found, QString());
        else
            QVERIFY2(found.startsWith(problem), qPrintable(found));
    }

    // "Remove these ranges" keeps what lies between them, in time order, within the video.
    void invert_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<double>("shortest");
        QTest::addColumn<QString>("kept");

        QTest::newRow("nothing removed keeps the whole video") << "" << 0.04 << "0-100";
        QTest::newRow("one range in the middle") << "40-60" << 0.04 << "0-40,60-100";
        QTest::newRow("rows out of time order") << "70-80,10-20" << 0.04 << "0-10,20-70,80-100";
        QTest::newRow("from the start and to the end") << "0-10,90-100" << 0.04 << "10-90";
        QTest::newRow("touching ranges leave no gap") << "10-20,20-30" << 0.04 << "0-10,30-100";
        QTest::newRow("a sliver under a frame is dropped")
            << "10-20,20.01-30" << 0.04 << "0-10,30-100";
        QTest::newRow("everything removed") << "0-100" << 0.04 << "";
    }
    void invert() {
        QFETCH(QString, list);
        QFETCH(double, shortest);
        QFETCH(QString, kept);
        QCOMPARE(text(InvertCutRanges(ranges(list), 100, shortest)), kept);
    }

    void cutTimes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("seconds"); // -1: refused
        QTest::newRow("seconds") << "90" << 90.0;
        QTest::newRow("seconds with a fraction") << "90.25" << 90.25;
        QTest::newRow("minutes and seconds") << "1:30" << 90.0;
        QTest::newRow("minutes and seconds with a fraction") << "5:10.5" << 310.5;
        QTest::newRow("hours") << "1:00:00.5" << 3600.5;
        QTest::newRow("blanks around") << " 12 " << 12.0;
        QTest::newRow("text") << "abc" << -1.0;
        QTest::newRow("sign") << "-5" << -1.0;
        QTest::newRow("comma fraction") << "1,5" << -1.0;
        QTest::newRow("four parts") << "1:2:3:4" << -1.0;
        QTest::newRow("leading fraction") << ".5" << -1.0;
        QTest::newRow("empty") << "" << -1.0;
    }
    void cutTimes() {
        QFETCH(QString, typed);
        QFETCH(double, seconds);
        QCOMPARE(CutTimeSeconds(typed).value_or(-1), seconds);
    }

    void rangeTexts_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("range"); // empty: refused
        QTest::newRow("minutes") << "1:00-1:30"
                                 << "60-90";
        QTest::newRow("fraction") << "5:10.5-6:00"
                                  << "310.5-360";
        QTest::newRow("no end") << "1:00-"
                                << "";
        QTest::newRow("no dash") << "1:00"
                                 << "";
        QTest::newRow("two dashes") << "1-2-3"
                                    << "";
        QTest::newRow("text") << "a-b"
                              << "";
    }
    void rangeTexts() {
        QFETCH(QString, typed);
        QFETCH(QString, range);
        const std::optional<CutRange> parsed = ParseRangeText(typed);
        QCOMPARE(parsed ? text({*parsed}) : QString(), range);
    }

    // Every change is one step back and forth; selecting a row only shows its marks.
    void history_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("state");

        QTest::newRow("marks then add") << "mark 1 2; add"
                                        << "[1-2] sel -1 marks 1-2 undo yes "
                                           "redo no";
        QTest::newRow("undo an add keeps the marks") << "mark 1 2; add; undo"
                                                     << "[] sel -1 marks 1-2 undo yes redo yes";
        QTest::newRow("undo marks too") << "mark 1 2; mark 3 4; undo"
                                        << "[] sel -1 marks 1-2 undo yes redo yes";
        QTest::newRow("undo to the start") << "mark 1 2; add; undo; undo"
                                           << "[] sel -1 marks 0-0 undo no redo yes";
        QTest::newRow("redo again") << "mark 1 2; add; undo; undo; redo; redo"
                                    << "[1-2] sel -1 marks 1-2 undo yes redo no";
        QTest::newRow("a new change drops what redo held")
            << "mark 1 2; add; undo; mark 5 6"
            << "[] sel -1 marks 5-6 undo yes redo no";
        QTest::newRow("a change to nothing is no step") << "mark 1 2; mark 1 2; undo"
                                                        << "[] sel -1 marks 0-0 undo no redo yes";
        QTest::newRow("overlapping add refused, list as it was")
            << "mark 1 5; add; mark 4 6; add!"
            << "[1-5] sel -1 marks 4-6 undo yes redo no";
        QTest::newRow("select shows the row's marks, no step")
            << "mark 1 2; add; mark 3 4; add; select 0"
            << "[1-2,3-4] sel 0 marks 1-2 undo yes redo no";
        QTest::newRow("marks of a selected row move it")
            << "mark 1 2; add; mark 3 4; add; select 0; mark 1.5 2.5"
            << "[1.5-2.5,3-4] sel 0 marks 1.5-2.5 undo yes redo no";
        QTest::newRow("undo the move of a row's marks")
            << "mark 1 2; add; select 0; mark 1.5 2.5; undo"
            << "[1-2] sel 0 marks 1-2 undo yes redo yes";
        QTest::newRow("after an add the marks start a new range")
            << "mark 1 2; add; mark 3 4"
            << "[1-2] sel -1 marks 3-4 undo yes redo no";
        QTest::newRow("remove a row and undo it") << "mark 1 2; add; mark 3 4; add; remove 0; undo"
                                                  << "[1-2,3-4] sel -1 marks 3-4 undo yes redo yes";
        QTest::newRow("remove the selected row")
            << "mark 1 2; add; mark 3 4; add; select 1; remove 1"
            << "[1-2] sel -1 marks 3-4 undo yes redo no";
        QTest::newRow("remove a row before the selected one")
            << "mark 1 2; add; mark 3 4; add; select 1; remove 0"
            << "[3-4] sel 0 marks 3-4 undo yes redo no";
        QTest::newRow("move down carries the selection")
            << "mark 1 2; add; mark 3 4; add; mark 5 6; add; select 0; move 0 2"
            << "[3-4,5-6,1-2] sel 2 marks 1-2 undo yes redo no";
        QTest::newRow("move past another shifts its selection")
            << "mark 1 2; add; mark 3 4; add; mark 5 6; add; select 2; move 0 2"
            << "[3-4,5-6,1-2] sel 1 marks 5-6 undo yes redo no";
        QTest::newRow("move beyond the last is clamped") << "mark 1 2; add; mark 3 4; add; move 0 9"
                                                         << "[3-4,1-2] sel -1 marks 3-4 undo yes "
                                                            "redo no";
        QTest::newRow("label and undo") << "mark 1 2; add; label 0 intro; label 0 opening; undo"
                                        << "[1-2:intro] sel -1 marks 1-2 undo yes redo yes";
        QTest::newRow("remove the selection is a step")
            << "mark 1 2; add; select 0; clear; undo"
            << "[1-2] sel 0 marks 1-2 undo yes redo yes";
        QTest::newRow("steps on rows that do not exist are nothing")
            << "remove 3; move 2 0; label 5 x"
            << "[] sel -1 marks 0-0 undo no redo no";
    }
    void history() {
        QFETCH(QString, script);
        QFETCH(QString, state);
        CutList list;
        runScript(list, script);
        QCOMPARE(describe(list), state);
    }

    // The window keeps the list on disk after each change of its rows, and only then.
    void rowsChangedOnlyForRows() {
        CutList list;
        QSignalSpy rows(&list, &CutList::rangesChanged);
        list.setMarks(1, 2);
        QCOMPARE(rows.size(), 0);
        QVERIFY(list.addMarkedRange(QString(), 0).isEmpty());
        QCOMPARE(rows.size(), 1);
        list.select(0);
        QCOMPARE(rows.size(), 1);
        list.setMarks(1, 3);
        list.undo();
        list.redo();
        QCOMPARE(rows.size(), 4);
    }

    // The clips a job plans: the rows in list order when keeping, the rest in time order when
    // removing; the numbers follow that order.
    void plannedClips_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<CutListMode>("mode");
        QTest::addColumn<QString>("clips");
        QTest::newRow("keep in list order")
            << "50-60:b,10-20:a" << CutListMode::Keep << "1@50+10:b 2@10+10:a";
        QTest::newRow("remove") << "50-60,10-20" << CutListMode::Remove
                                << "1@0+10: 2@20+30: 3@60+40:";
        // Joined: one clip, named as a single one, holding the ranges in the same order.
        QTest::newRow("keep, joined")
            << "50-60:b,10-20:a" << CutListMode::Keep << "1@50+20: joins 50-60:b 10-20:a";
        QTest::newRow("remove, joined")
            << "50-60,10-20" << CutListMode::Remove << "1@0+80: joins 0-10: 20-50: 60-100:";
    }
    void plannedClips() {
        QFETCH(QString, list);
        QFETCH(CutListMode, mode);
        QFETCH(QString, clips);
        QStringList made;
        const bool join = QString(QTest::currentDataTag()).endsWith(QLatin1String("joined"));
        for (const Section& section : PlanCutListSections(ranges(list), mode, 100000, 0.04, join)) {
            made.append(QStringLiteral("%1@%2+%3:%4")
                            .arg(section.index)
                            .arg(section.start)
                            .arg(section.length)
                            .arg(section.label));
            if (!section.joined.isEmpty())
                made.append(QStringLiteral("joins"));
            for (const CutRange& range : section.joined)
                made.append(
                    QStringLiteral("%1-%2:%3").arg(range.start).arg(range.end).arg(range.label));
        }
        QCOMPARE(made.join(QLatin1Char(' ')), clips);
    }

    // A job of a cut list: refused with the row named before anything is written.
    void jobChecks_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<CutListMode>("mode");
        QTest::addColumn<int>("failedCheck");
        QTest::addColumn<QString>("text"); // the start of the box's text
        QTest::addColumn<int>("clips");

        const auto keep = CutListMode::Keep;
        QTest::newRow("two ranges") << "60-90,310.5-360" << keep << 0 << "" << 2;
        QTest::newRow("remove three ranges leaves four clips")
            << "10-20,30-40,50-60" << CutListMode::Remove << 0 << "" << 4;
        QTest::newRow("no range") << "" << keep << 11 << "The cut list holds no range" << 0;
        QTest::newRow("overlap") << "60-90,80-100" << keep << 11 << "Range 2" << 0;
        QTest::newRow("empty range") << "60-90,100-100" << keep << 11 << "Range 2" << 0;
        QTest::newRow("past the end") << "60-90,590-601" << keep << 11 << "Range 2" << 0;
        QTest::newRow("shorter than a frame")
            << "60-90,100-100.02" << keep << 11 << "Range 2 is shorter than one frame" << 0;
        QTest::newRow("removing everything")
            << "0-600" << CutListMode::Remove << 11 << "Removing these ranges leaves nothing" << 0;
    }
    void jobChecks() {
        QFETCH(QString, list);
        QFETCH(CutListMode, mode);
        QFETCH(int, failedCheck);
        QFETCH(QString, text);
        QFETCH(int, clips);
        QTemporaryDir folder;
        QFile video(folder.filePath(QStringLiteral("holiday.avi")));
        QVERIFY(video.open(QIODevice::WriteOnly));
        video.close();
        JobRequest request;
        request.sourcePath = video.fileName();
        request.mode = JobMode::CutList;
        request.ranges = ranges(list);
        request.cutListMode = mode;
        request.profileName = QStringLiteral("MP4");
        request.profileFileExists = true;
        request.outputFolderText = folder.path();
        request.durationMs = 600000;
        request.frameSeconds = 0.04;
        const JobCheckResult result = CheckJobRequest(request);
        QCOMPARE(result.failedCheck, failedCheck);
        QVERIFY2(text.isEmpty() ? result.text.isEmpty() : result.text.startsWith(text),
                 qPrintable(result.text));
        if (result.passed())
            QCOMPARE(result.sectionCount, clips);
        else
            QCOMPARE(result.focus, JobField::CutList);
    }

    // What is written reads back as it was: fractions, labels with commas, quotes and line
    // breaks, and in JSON the mode.
    void filesRoundTrip() {
        const Ranges list{{60, 90.125, QStringLiteral("intro, part \"one\"")},
                          {310.5, 360, QStringLiteral("two\nlines")},
                          {400, 400.04, QString()}};
        const CutListReading csv = ReadCutListCsv(CutListCsv(list), 600);
        QVERIFY2(csv.ok(), qPrintable(csv.problem));
        QCOMPARE(csv.content.ranges, list);

        const VideoIdentity video{QStringLiteral("/videos/holiday.avi"), 1234, 5678};
        const CutListReading json =
            ReadCutListJson(CutListJson({list, CutListMode::Remove}, video), video, 600);
        QVERIFY2(json.ok(), qPrintable(json.problem));
        QCOMPARE(json.content.ranges, list);
        QCOMPARE(json.content.mode, CutListMode::Remove);
    }

    void csvReading_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("read");    // the ranges when read
        QTest::addColumn<QString>("problem"); // the start of the refusal
        QTest::newRow("header, CRLF, no label")
            << QByteArray("start,end,label\r\n1.5,2.5\r\n3,4,x\r\n") << "1.5-2.5,3-4:x"
            << "";
        QTest::newRow("no header, blank lines, times with minutes")
            << QByteArray("\n1:00,1:30,a\n\n5:10.5,6:00,b\n") << "60-90:a,310.5-360:b"
            << "";
        QTest::newRow("text in a time column names the line")
            << QByteArray("start,end,label\n1,2,a\n3,four,b\n") << ""
            << "Line 3 of the cut list: the end \"four\" is no time in seconds.";
        QTest::newRow("a quoted line break counts its lines")
            << QByteArray("1,2,\"a\nb\"\nx,4\n") << ""
            << "Line 3 of the cut list: the start";
        QTest::newRow("header only where it is first") << QByteArray("1,2\nstart,end\n") << ""
                                                       << "Line 2 of the cut list: the start";
        QTest::newRow("one column") << QByteArray("1\n") << ""
                                    << "Line 1 of the cut list has no";
        QTest::newRow("overlap names the row") << QByteArray("1,5\n4,6\n") << ""
                                               << "Range 2 (00:00:04 to 00:00:06) "
                                                  "overlaps range 1";
        QTest::newRow("past the end names the row") << QByteArray("1,5\n590,700\n") << ""
                                                    << "Range 2 (00:09:50 to 00:11:40) "
                                                       "ends past the end";
    }
    void csvReading() {
        QFETCH(QByteArray, csv);
        QFETCH(QString, read);
        QFETCH(QString, problem);
        const CutListReading reading = ReadCutListCsv(csv, 600);
        QVERIFY2(problem.isEmpty() ? reading.ok() : reading.problem.startsWith(problem),
                 qPrintable(reading.problem));
        QCOMPARE(reading.ok(), problem.isEmpty());
        QCOMPARE(text(reading.content.ranges), read);
    }

    void jsonRefusals_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("problem");
        const QByteArray video = R"("video": {"name": "holiday.avi", "size": 1234},)";
        QTest::newRow("no list") << QByteArray(R"({"a": 1})") << "The file is no cut list.";
        QTest::newRow("broken") << QByteArray(R"({"ranges": [)") << "The file is no cut list.";
        QTest::newRow("another video's name")
            << QByteArray(R"({"video": {"name": "other.avi", "size": 1234}, "ranges": []})")
            << "The cut list belongs to another video: other.avi (1234 bytes).";
        QTest::newRow("another video's size")
            << QByteArray(R"({"video": {"name": "holiday.avi", "size": 99}, "ranges": []})")
            << "The cut list belongs to another video: holiday.avi (99 bytes).";
        QTest::newRow("text for a time")
            << QByteArray("{" + video + R"("ranges": [{"start": 1, "end": 2}, )" +
                          R"({"start": "1:00", "end": 70}]})")
            << "Range 2 of the cut list has no start and end in seconds.";
        QTest::newRow("unknown mode")
            << QByteArray("{" + video + R"("mode": "shuffle", "ranges": []})")
            << "The cut list's mode \"shuffle\" is neither keep nor remove.";
        QTest::newRow("overlap")
            << QByteArray("{" + video +
                          R"("ranges": [{"start": 1, "end": 5}, {"start": 2, "end": 3}]})")
            << "Range 2 (00:00:02 to 00:00:03) overlaps range 1 (00:00:01 to "
               "00:00:05).";
    }
    void jsonRefusals() {
        QFETCH(QByteArray, json);
        QFETCH(QString, problem);
        const VideoIdentity video{QStringLiteral("/elsewhere/holiday.avi"), 1234, 0};
        QCOMPARE(ReadCutListJson(json, video, 600).problem, problem);
    }

    // The list kept for a video comes back for the same file only; an empty list leaves no file.
    void keptForItsVideo() {
        QTemporaryDir folder;
        const QString store = folder.filePath(QStringLiteral("CutLists"));
        const VideoIdentity video{QStringLiteral("/videos/holiday.avi"), 1234, 5678};
        const CutListContent content{{{1, 2, QStringLiteral("a")}}, CutListMode::Remove};
        QVERIFY(!KeptCutList(store, video));
        KeepCutList(store, video, content);
        const std::optional<CutListContent> kept = KeptCutList(store, video);
        QVERIFY(kept);
        QCOMPARE(kept->ranges, content.ranges);
        QCOMPARE(kept->mode, CutListMode::Remove);

        for (const VideoIdentity& other :
             {VideoIdentity{video.path, 1235, video.modifiedMs},
              VideoIdentity{video.path, video.size, 9999},
              VideoIdentity{QStringLiteral("/videos/other/holiday.avi"), 1234, 5678}})
            QVERIFY(!KeptCutList(store, other));

        KeepCutList(store, video, CutListContent{});
        QVERIFY(!KeptCutList(store, video));
        QCOMPARE(QDir(store).entryList(QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCutList)
#include "test_cut_list.moc"
