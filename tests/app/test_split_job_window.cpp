// The split job as the main window runs it, with small stand-in converters: the Start button,
// the checks, the argument vectors the window hands over, the progress display, the timer,
// Cancel, the close query, failures and the completion step.
// Sources are generated media (SEGMORA_NEEDS_MEDIA): job45.mp4 (45 s) and six.mov (6 s).
#include "ground/app_error.h"
#include "job/count_down_form.h"
#include "split_window_world.h"

#include "accessible_tree.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QScopeGuard>

using namespace segmora;
using test::SplitWorld;

namespace {

const QString kJob45 = test::fixture(QStringLiteral("job45.mp4"));

// A converter that reports half of a 10 s section and succeeds.
const QByteArray kHalfAndDone = "echo 'time=5.00 '";
// A converter that reports half of a 10 s section, then waits for the test's "go" (at most
// about 20 s, so a failed check cannot hang the test).
const QByteArray kHalfThenWait = "echo 'time=5.00 '\ni=0\n"
                                 "while [ ! -e \"$dir/go\" ] && [ $i -lt 1000 ]; do\n"
                                 "  sleep 0.02; i=$((i+1))\ndone";

// Runs action once, when the current bar first reaches value and the window has finished
// showing that report.
void whenCurrentReaches(TMainForm* form, int value, std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    QObject::connect(form->pgbCurrent, &QProgressBar::valueChanged, form,
                     [form, value, action, done](int now) {
                         if (now != value || *done)
                             return;
                         *done = true;
                         QTimer::singleShot(0, form, action);
                     });
}

} // namespace

class TestSplitJobWindow : public QObject {
    Q_OBJECT

private slots:
    void startButtonTakesPressesInsideItsCircle_data() {
        QTest::addColumn<QPoint>("point"); // null: a press from the keyboard
        QTest::addColumn<bool>("starts");
        QTest::newRow("centre") << QPoint(55, 55) << true;
        QTest::newRow("inside, near the rim") << QPoint(55 + 48, 55) << true;
        QTest::newRow("corner") << QPoint(4, 4) << false;
        QTest::newRow("outside the rim") << QPoint(55 + 35, 55 + 35) << false;
        QTest::newRow("keyboard") << QPoint() << true;
    }
    void startButtonTakesPressesInsideItsCircle() {
        QFETCH(QPoint, point);
        QFETCH(bool, starts);
        SplitWorld world;
        // An empty source: a job that starts stops at its first check.
        if (point.isNull())
            world.form->imgStart->click();
        else
            QTest::mouseClick(world.form->imgStart, Qt::LeftButton, {}, point);
        QCOMPARE(world.fakes.messages.size(), starts ? 1 : 0);
        if (starts)
            QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Invalid File"));
    }

    void checks_data() {
        QTest::addColumn<QString>("source"); // "job45", "none", "folder", "notvideo" (refused)
        QTest::addColumn<bool>("loadMedia");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("quantity"); // null: start/end mode
        QTest::addColumn<QString>("profile");  // "missing": a listed profile whose file is gone
        QTest::addColumn<QString>("output");   // "out", "missing", "file"
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("focus"); // empty: the focus stays where it was

        const QString source = QStringLiteral("Please specify a valid input video file.");
        const QString start = QStringLiteral("Please varify the Start Time you selected.");
        const QString end = QStringLiteral("Please varify the End Time you selected.");
        const QString order = QStringLiteral("The End Time should be later than the Start Time.");
        const QString qty = QStringLiteral("Please specify a valid section quantity.");
        const QString profile = QStringLiteral("Please select a valid output profile.");
        const QString folder = QStringLiteral("Please specify a valid output path.");
        const QString none;
        const QString t10 = QStringLiteral("00:00:10");
        const QString t20 = QStringLiteral("00:00:20");
        const auto row = [&](const char* name, const char* src, bool media, const QString& s,
                             const QString& e, const QString& q, const QString& p, const char* o,
                             const QString& text, const char* title, const char* focus) {
            QTest::newRow(name) << QString::fromLatin1(src) << media << s << e << q << p
                                << QString::fromLatin1(o) << text << QString::fromLatin1(title)
                                << QString::fromLatin1(focus);
        };
        const QString mp4 = QStringLiteral("MP4");
        row("1 no source", "none", false, t10, t20, none, mp4, "out", source, "Invalid File",
            "edtSource");
        row("1 source is a folder", "folder", false, t10, t20, none, mp4, "out", source,
            "Invalid File", "edtSource");
        // The player refused the file: no length, but the fault is the file, not the time.
        row("1 source no demuxer opens", "notvideo", false, QStringLiteral("00:00:00"), t20, none,
            mp4, "out", source, "Invalid File", "edtSource");
        row("2 start unreadable", "job45", true, QStringLiteral("ten"), t20, none, mp4, "out",
            start, "Invalid Start Time", "");
        row("3 start past the source's end", "job45", true, QStringLiteral("00:00:46"),
            QStringLiteral("00:00:50"), none, mp4, "out", start, "Invalid Start Time", "");
        row("3 nothing open", "job45", false, QStringLiteral("00:00:00"), t20, none, mp4, "out",
            start, "Invalid Start Time", "");
        row("4 end unreadable", "job45", true, t10, QStringLiteral("x"), none, mp4, "out", end,
            "Invalid End Time", "");
        row("4 end zero", "job45", true, QStringLiteral("00:00:00"), QStringLiteral("00:00:00"),
            none, mp4, "out", end, "Invalid End Time", "");
        row("5 end equals start", "job45", true, t10, t10, none, mp4, "out", order, "Invalid Time",
            "");
        row("6 quantity not a number", "job45", true, t10, t20, QStringLiteral("3x"), mp4, "out",
            qty, "Invalid Section", "edtSectionQty");
        row("6 quantity beyond 32 bits", "job45", true, t10, t20, QStringLiteral("2147483648"), mp4,
            "out", qty, "Invalid Section", "edtSectionQty");
        // No section would run, and success would be reported for nothing written.
        row("6 quantity 0", "job45", true, t10, t20, QStringLiteral("0"), mp4, "out", qty,
            "Invalid Section", "edtSectionQty");
        row("6 negative quantity", "job45", true, t10, t20, QStringLiteral("-2"), mp4, "out", qty,
            "Invalid Section", "edtSectionQty");
        // The source has 10 frames a second: shorter sections would each come out a whole frame.
        row("9 sections under a frame", "job45", true, t10, t20, QStringLiteral("101"), mp4, "out",
            QStringLiteral("Each section would be shorter than one frame of the video. Please "
                           "specify a smaller section quantity."),
            "Invalid Section", "edtSectionQty");
        row("9 range under a frame", "job45", true, t10, QStringLiteral("00:00:10.05"), none, mp4,
            "out", QStringLiteral("The marked range is shorter than one frame of the video."),
            "Invalid Time", "");
        row("7 profile file gone", "job45", true, t10, t20, QStringLiteral("3"),
            QStringLiteral("missing"), "out", profile, "Invalid Output Path", "cmbProfile");
        // Random bytes under a profile's name made clips with the converter's defaults.
        row("7 profile file is no profile", "job45", true, t10, t20, QStringLiteral("3"),
            QStringLiteral("random"), "out",
            QStringLiteral("The file \"{profile}\" is not an output profile: it has no [Main] "
                           "section with a parameter count (Para)."),
            "Invalid Output Profile", "cmbProfile");
        row("8 output folder missing", "job45", true, t10, t20, none, mp4, "missing", folder,
            "Invalid Output Path", "edtOutputDir");
        row("8 output is a file", "job45", true, t10, t20, none, mp4, "file", folder,
            "Invalid Output Path", "edtOutputDir");
    }
    void checks() {
        QFETCH(QString, source);
        QFETCH(bool, loadMedia);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, quantity);
        QFETCH(QString, profile);
        QFETCH(QString, output);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, focus);

        SplitWorld world;
        world.fakeConverter(kHalfAndDone);
        QString sourcePath;
        if (source == QLatin1String("job45"))
            sourcePath = kJob45;
        else if (source == QLatin1String("folder"))
            sourcePath = world.out.path();
        else if (source == QLatin1String("notvideo"))
            sourcePath = test::fixture(QStringLiteral("notvideo.mp4"));
        if (source == QLatin1String("notvideo")) {
            QVERIFY_THROWS_EXCEPTION(AppError, world.form->OpenSource(sourcePath));
            world.fakes.messages.clear();
        }
        if (loadMedia) {
            world.form->filterGraph->SetActive(true);
            world.form->filterGraph->RenderFile(kJob45);
        }
        QString profileName = profile;
        if (profile == QLatin1String("missing")) {
            profileName = QStringLiteral("MP4");
            QVERIFY(QFile::remove(world.folder.context().profilePath(profileName)));
        }
        if (profile == QLatin1String("random")) {
            profileName = QStringLiteral("MP4");
            QByteArray bytes(2048, '\0');
            for (int i = 0; i < bytes.size(); ++i)
                bytes[i] = char((i * 7919 + 13) ^ (i >> 3));
            world.folder.writeFile(QStringLiteral("Profiles/MP4.apf"), bytes);
            text.replace(QStringLiteral("{profile}"),
                         world.folder.context().profilePath(profileName));
        }
        world.request(sourcePath, start, end, quantity, profileName, false);
        if (output == QLatin1String("missing"))
            world.form->edtOutputDir->setText(world.out.filePath(QStringLiteral("nowhere")));
        else if (output == QLatin1String("file"))
            world.form->edtOutputDir->setText(
                world.folder.writeFile(QStringLiteral("a-file"), "not a folder"));
        world.form->bbtnBrowse->setFocus();

        QVERIFY(world.runJob());

        QCOMPARE(world.fakes.messages.size(), 1);
        const MessageRequest& shown = world.fakes.messages[0];
        QCOMPARE(shown.text, text);
        QCOMPARE(shown.title, title);
        QCOMPARE(shown.icon, MessageIcon::Information);
        QCOMPARE(shown.buttons, MessageButtons::Ok);
        QCOMPARE(shown.owner, world.form);
        const QString expectedFocus = focus.isEmpty() ? QStringLiteral("bbtnBrowse") : focus;
        QVERIFY(world.form->focusWidget());
        QCOMPARE(world.form->focusWidget()->objectName(), expectedFocus);
        // Nothing changed and nothing ran.
        QCOMPARE(world.form->edtStart->text(), start);
        QCOMPARE(world.form->edtEnd->text(), end);
        QCOMPARE(world.form->edtSectionQty->text(), quantity);
        world.verifyIdle();
        QVERIFY(world.runs().isEmpty());
    }

    // What the window hands the converter, read from its fields, the preview's duration and
    // the live profile.
    void argumentVectors_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("quantity");
        QTest::addColumn<QString>("profile");
        // Per run: "-ss|START|-t|LENGTH|OUTPUT NAME"; "-profile NAME" and the profile's tokens
        // sit between.
        QTest::addColumn<QStringList>("sections");
        QTest::addColumn<QStringList>("profileTokensStart");
        QTest::addColumn<QString>("lastProcessing");

        QTest::newRow("start/end, lossless keeps the container")
            << "six.mov"
            << "a \"quoted\" clip.mov"
            << "00:00:01"
            << "00:00:04" << QString() << test::kLossless
            << QStringList{"-ss|1|-t|3|a \"quoted\" clip_Clip1.mov"}
            << QStringList{"-c", "copy", "-cut", "exact"} << "Splitting: a \"quoted\" clip.mov";
        QTest::newRow("equal thirds at full precision")
            << "job45.mp4"
            << "holiday.mp4"
            << "00:00:10"
            << "00:00:20"
            << "3"
            << "MP4"
            << QStringList{"-ss|10|-t|3.33333333333333|holiday_Clip1.mp4",
                           "-ss|13.3333333333333|-t|3.33333333333333|holiday_Clip2.mp4",
                           "-ss|16.6666666666667|-t|3.33333333333333|holiday_Clip3.mp4"}
            << QStringList{"-c:v", "libx264", "-preset", "veryfast"}
            << "Splitting: Section 3 of 3 (holiday_Clip3.mp4)";
        QTest::newRow("profile's own extension for another container")
            << "six.mov"
            << "b.mov"
            << "00:00:02"
            << "00:00:05" << QString() << "MP4" << QStringList{"-ss|2|-t|3|b_Clip1.mp4"}
            << QStringList{"-c:v", "libx264"} << "Splitting: b.mov";
        QTest::newRow("end beyond the source ends with it")
            << "job45.mp4"
            << "c.mp4"
            << "00:00:40"
            << "00:01:00"
            << "2" << test::kLossless
            << QStringList{"-ss|40|-t|2.5|c_Clip1.mp4", "-ss|42.5|-t|2.5|c_Clip2.mp4"}
            << QStringList{"-c", "copy", "-cut", "exact"}
            << "Splitting: Section 2 of 2 (c_Clip2.mp4)";
        QTest::newRow("a frame each")
            << "job45.mp4"
            << "d.mp4"
            << "00:00:10"
            << "00:00:10.5"
            << "5" << test::kLossless
            << QStringList{"-ss|10|-t|0.1|d_Clip1.mp4", "-ss|10.1|-t|0.1|d_Clip2.mp4",
                           "-ss|10.2|-t|0.1|d_Clip3.mp4", "-ss|10.3|-t|0.1|d_Clip4.mp4",
                           "-ss|10.4|-t|0.1|d_Clip5.mp4"}
            << QStringList{"-c", "copy", "-cut", "exact"}
            << "Splitting: Section 5 of 5 (d_Clip5.mp4)";
    }
    void argumentVectors() {
        QFETCH(QString, fixture);
        QFETCH(QString, sourceName);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, quantity);
        QFETCH(QString, profile);
        QFETCH(QStringList, sections);
        QFETCH(QStringList, profileTokensStart);
        QFETCH(QString, lastProcessing);

        SplitWorld world;
        world.fakeConverter("exit 0");
        const QString source = world.sourceCopy(fixture, sourceName);
        QVERIFY(!source.isEmpty());
        world.request(source, start, end, quantity, profile);
        world.form->labProcessing->clear();

        QVERIFY(world.runJob());

        const QList<QStringList> runs = world.runs();
        QCOMPARE(runs.size(), sections.size());
        for (int i = 0; i < runs.size(); ++i) {
            const QStringList& argv = runs[i];
            const QStringList expected = sections[i].split(QLatin1Char('|'));
            QVERIFY2(argv.size() >= 10, qPrintable(argv.join(QLatin1Char(' '))));
            QCOMPARE(argv.mid(0, 3), (QStringList{"-y", "-i", source}));
            QCOMPARE(argv.mid(3, 4), expected.mid(0, 4));
            // Equal sections but the last say that another starts where they end.
            const bool followed = !quantity.isEmpty() && i + 1 < runs.size();
            QCOMPARE(argv.value(7) == QLatin1String("-tile"), followed);
            const int at = followed ? 8 : 7;
            // The converter learns where the profile's arguments begin and whose they are.
            QCOMPARE(argv.mid(at, 2), (QStringList{"-profile", profile}));
            QCOMPARE(argv.mid(at + 2, profileTokensStart.size()), profileTokensStart);
            QCOMPARE(argv.last(), world.outPath(expected[4]));
        }
        QCOMPARE(world.form->labProcessing->toolTip(), lastProcessing);
        QCOMPARE(world.messageTexts(),
                 QStringList{QStringLiteral("Splitting is completed successfully.")});
        world.verifyIdle();
    }

    // A source name too long for the processing line is shortened in the middle to the
    // line's width, its extension still in view; the whole line is in the tool tip.
    void longSourceNameFitsTheProcessingLine() {
        SplitWorld world;
        world.fakeConverter("exit 0");
        const QString name = QStringLiteral(
            "a very long holiday video file name from the summer trip to the mountains.mp4");
        const QString source = world.sourceCopy(QStringLiteral("job45.mp4"), name);
        QVERIFY(!source.isEmpty());
        world.request(source, QStringLiteral("00:00:10"), QStringLiteral("00:00:20"), QString(),
                      test::kLossless);

        QVERIFY(world.runJob());

        const QLabel* line = world.form->labProcessing;
        const QString full = QStringLiteral("Splitting: ") + name;
        QCOMPARE(line->toolTip(), full);
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= line->width());
        QVERIFY2(line->text().startsWith(QStringLiteral("Splitting: a very")),
                 qPrintable(line->text()));
        QVERIFY2(line->text().endsWith(QStringLiteral("mountains.mp4")), qPrintable(line->text()));
        QCOMPARE(world.runs().size(), 1);
        world.verifyIdle();
    }

    // Each section's figures as its converter ends: the current bar is back at 0 while its
    // label and the total keep their values. 50 % of section i of 4 is round((50 + (i-1)*100)/4)
    // with halves to even.
    void progressPerSection() {
        SplitWorld world;
        world.fakeConverter(kHalfAndDone);
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:40"),
                      QStringLiteral("4"), test::kLossless);
        QStringList seen;
        QObject::connect(world.form->pgbCurrent, &QProgressBar::valueChanged, world.form,
                         [&](int value) {
                             if (value != 0)
                                 return;
                             seen.append(world.form->labProcessing->toolTip() + QLatin1Char('|') +
                                         world.form->labCurProgress->text() + QLatin1Char('|') +
                                         QString::number(world.form->pgbTotal->value()) +
                                         QLatin1Char('|') + world.form->labTotalProgress->text());
                         });

        QVERIFY(world.runJob());

        QCOMPARE(seen, (QStringList{"Splitting: Section 1 of 4 (job45_Clip1.mp4)|50%|12|12%",
                                    "Splitting: Section 2 of 4 (job45_Clip2.mp4)|50%|38|38%",
                                    "Splitting: Section 3 of 4 (job45_Clip3.mp4)|50%|62|62%",
                                    "Splitting: Section 4 of 4 (job45_Clip4.mp4)|50%|88|88%"}));
        world.verifyIdle();
    }

    // Clips that exist already: the question names each file it asks about and offers an
    // answer for the rest of the job; the completion message counts the clips made and kept.
    // While a section runs, the progress line tells a screen reader which section of how many
    // and the clip it makes.
    void overwriteQuestionsAndTheirEnd_data() {
        QTest::addColumn<QList<int>>("answers"); // MessageAnswer values, in order
        QTest::addColumn<QStringList>("asked");  // the clips named by the questions
        QTest::addColumn<QStringList>("made");   // the clips the converter ran for
        QTest::addColumn<QString>("completed");
        const auto a = [](MessageAnswer answer) { return int(answer); };
        QTest::newRow("No to all keeps both")
            << QList<int>{a(MessageAnswer::NoToAll)} << QStringList{"job45_Clip1.mp4"}
            << QStringList{"job45_Clip3.mp4"}
            << "Splitting is completed: 1 clip made, 2 existing clips kept.";
        QTest::newRow("No to each keeps both")
            << QList<int>{a(MessageAnswer::No), a(MessageAnswer::No)}
            << QStringList{"job45_Clip1.mp4", "job45_Clip2.mp4"} << QStringList{"job45_Clip3.mp4"}
            << "Splitting is completed: 1 clip made, 2 existing clips kept.";
        QTest::newRow("Yes to all replaces both")
            << QList<int>{a(MessageAnswer::YesToAll)} << QStringList{"job45_Clip1.mp4"}
            << QStringList{"job45_Clip1.mp4", "job45_Clip2.mp4", "job45_Clip3.mp4"}
            << "Splitting is completed successfully.";
    }
    void overwriteQuestionsAndTheirEnd() {
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, asked);
        QFETCH(QStringList, made);
        QFETCH(QString, completed);
        SplitWorld world;
        world.fakeConverter(kHalfAndDone);
        QVERIFY(test::writeAll(world.outPath(QStringLiteral("job45_Clip1.mp4")), "kept 1"));
        QVERIFY(test::writeAll(world.outPath(QStringLiteral("job45_Clip2.mp4")), "kept 2"));
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:30"),
                      QStringLiteral("3"), test::kLossless);
        for (const int answer : answers)
            world.fakes.answers.enqueue(MessageAnswer(answer));
        QStringList heard;
        QObject::connect(world.form->pgbCurrent, &QProgressBar::valueChanged, world.form,
                         [&](int value) {
                             if (value == 0)
                                 return;
                             const QString line = world.form->labProcessing->toolTip();
                             if (test::findAccessible(world.form, QAccessible::StaticText, line))
                                 heard.append(line);
                         });

        QVERIFY(world.runJob());

        QStringList texts;
        for (const QString& clip : asked)
            texts.append(QStringLiteral("The output file is existent. Overwrite it?\n\n") +
                         QDir::toNativeSeparators(world.outPath(clip)));
        texts.append(completed);
        QCOMPARE(world.messageTexts(), texts);
        for (int i = 0; i < asked.size(); ++i) {
            QCOMPARE(world.fakes.messages[i].title, QStringLiteral("Overwrite"));
            QCOMPARE(world.fakes.messages[i].buttons, MessageButtons::YesNoToAll);
        }
        QStringList ranFor;
        QStringList expectedHeard;
        for (const QStringList& run : world.runs())
            ranFor.append(QFileInfo(run.last()).fileName());
        QCOMPARE(ranFor, made);
        for (const QString& clip : made)
            expectedHeard.append(
                QStringLiteral("Splitting: Section %1 of 3 (%2)")
                    .arg(clip.mid(clip.indexOf(QLatin1String("Clip")) + 4, 1), clip));
        QCOMPARE(heard, expectedHeard);
        if (!made.contains(QStringLiteral("job45_Clip1.mp4")))
            QCOMPARE(test::readAll(world.outPath(QStringLiteral("job45_Clip1.mp4"))),
                     QByteArray("kept 1"));
        world.verifyIdle();
    }

    // A converter that writes nothing for a long time: the window keeps handling events and a
    // cancel ends it at once.
    void silentConverterKeepsTheWindowResponsive() {
        SplitWorld world;
        world.fakeConverter("sleep 60");
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:20"), QString(),
                      test::kLossless);
        int ticks = 0;
        QList<pid_t> converters;
        bool runningLook = false;
        QTimer ticker;
        ticker.setInterval(20);
        QObject::connect(&ticker, &QTimer::timeout, world.form, [&] {
            if (++ticks != 5)
                return;
            converters = world.converterProcesses();
            world.verifyRunningLook();
            runningLook = !QTest::currentTestFailed() && world.form->tmrProcess->isActive() &&
                          world.form->tmrPreview->isActive();
            world.fakes.answers.enqueue(MessageAnswer::Yes);
            world.form->imgCancelClick();
        });
        ticker.start();
        QElapsedTimer clock;
        clock.start();

        QVERIFY(world.runJob());

        QVERIFY(runningLook);
        QCOMPARE(converters.size(), 1);
        QVERIFY2(clock.elapsed() < 10000, "the cancel waited for the silent converter");
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages[0].text,
                 QStringLiteral("Do you want to cancel the splitting?"));
        QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Query"));
        QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Question);
        QCOMPARE(world.fakes.messages[0].buttons, MessageButtons::YesNo);
        QTRY_VERIFY_WITH_TIMEOUT(test::processGroupGone(converters[0]), 5000);
        QVERIFY(world.converterProcesses().isEmpty());
        world.verifyIdle();
    }

    void cancelAnsweredNoGoesOn() {
        SplitWorld world;
        world.fakeConverter(kHalfThenWait);
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:10"), QString(),
                      test::kLossless);
        bool asked = false;
        whenCurrentReaches(world.form, 50, [&] {
            asked = true;
            world.fakes.answers.enqueue(MessageAnswer::No);
            world.form->imgCancelClick();
            const auto go = qScopeGuard([&] { world.touch(QStringLiteral("go")); });
            QCOMPARE(world.form->JobState, int(JobRunning));
            QCOMPARE(world.form->pgbCurrent->value(), 50);
            QCOMPARE(world.form->labCurProgress->text(), QStringLiteral("50%"));
            QCOMPARE(world.converterProcesses().size(), 1);
        });

        QVERIFY(world.runJob());

        QVERIFY(asked);
        QCOMPARE(world.messageTexts(), (QStringList{"Do you want to cancel the splitting?",
                                                    "Splitting is completed successfully."}));
        world.verifyIdle();
    }

    // Yes to Cancel, given after the last converter had finished while the question was open:
    // every clip is complete, so the job ends with its success message, not quietly.
    void cancelAnsweredAfterTheLastClip() {
        SplitWorld world;
        world.fakeConverter(kHalfThenWait + "\n: > \"$out\"");
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:10"), QString(),
                      test::kLossless);
        bool asked = false;
        whenCurrentReaches(world.form, 50, [&] {
            world.fakes.onMessage = [&](const MessageRequest&) {
                if (asked)
                    return;
                asked = true;
                world.touch(QStringLiteral("go"));
                QTRY_VERIFY_WITH_TIMEOUT(world.converterProcesses().isEmpty(), 20000);
            };
            world.fakes.answers.enqueue(MessageAnswer::Yes);
            world.form->imgCancelClick();
        });

        QVERIFY(world.runJob());

        QVERIFY(asked);
        QCOMPARE(world.messageTexts(), (QStringList{"Do you want to cancel the splitting?",
                                                    "Splitting is completed successfully."}));
        QVERIFY(QFile::exists(world.outPath(QStringLiteral("job45_Clip1.mp4"))));
        world.verifyIdle();
    }

    void closingTheWindow_data() {
        QTest::addColumn<bool>("duringJob");
        QTest::addColumn<int>("answer"); // MessageAnswer
        QTest::addColumn<bool>("closes");
        QTest::newRow("idle") << false << int(MessageAnswer::No) << true;
        QTest::newRow("during a job, No") << true << int(MessageAnswer::No) << false;
        QTest::newRow("during a job, Yes") << true << int(MessageAnswer::Yes) << true;
    }
    void closingTheWindow() {
        QFETCH(bool, duringJob);
        QFETCH(int, answer);
        QFETCH(bool, closes);

        SplitWorld world;
        if (!duringJob) {
            QCOMPARE(world.form->close(), true);
            QVERIFY(world.fakes.messages.isEmpty());
            QCOMPARE(world.fakes.endProgramCalls, 1);
            return;
        }
        world.fakeConverter(kHalfThenWait);
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:10"), QString(),
                      test::kLossless);
        bool acted = false;
        QList<pid_t> before;
        QList<pid_t> afterQuestion;
        QList<pid_t> atClose;
        world.fakes.onEndProgram = [&] { atClose = world.converterProcesses(); };
        whenCurrentReaches(world.form, 50, [&] {
            acted = true;
            before = world.converterProcesses();
            world.fakes.answers.enqueue(MessageAnswer(answer));
            // The window never closes at once during a job: it waits for the job to stop.
            QVERIFY(!world.form->close());
            QVERIFY(world.form->isVisible());
            afterQuestion = world.converterProcesses();
            world.touch(QStringLiteral("go"));
        });

        QVERIFY(world.runJob());

        QVERIFY(acted);
        const bool closed = !world.form->isVisible();
        QCOMPARE(closed, closes);
        QCOMPARE(world.fakes.messages.value(0).text,
                 QStringLiteral("Do you want to cancel the splitting and exit?"));
        QCOMPARE(world.fakes.messages.value(0).title, QStringLiteral("Exit Query"));
        QCOMPARE(world.fakes.messages.value(0).icon, MessageIcon::Question);
        QCOMPARE(before.size(), 1);
        if (closes) {
            // Whatever follows, the converter has gone before the window closes.
            QCOMPARE(world.fakes.endProgramCalls, 1);
            QVERIFY(atClose.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(test::processGroupGone(before[0]), 5000);
            QCOMPARE(world.fakes.messages.size(), 1); // no completion message
        } else {
            QCOMPARE(afterQuestion, before);
            QVERIFY(world.form->isVisible());
            QCOMPARE(world.fakes.endProgramCalls, 0);
            QCOMPARE(world.messageTexts().last(),
                     QStringLiteral("Splitting is completed successfully."));
        }
        world.verifyIdle();
    }

    // A close that comes after the job has ended but before the window has shown its end: the
    // end is shown first (no question, the job is over), then the window closes.
    void closeJustAfterTheJobEnded() {
        SplitWorld world;
        world.fakeConverter(kHalfAndDone);
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:10"), QString(),
                      test::kLossless);
        bool closedAtOnce = true;
        auto* watcher = new QTimer(world.form);
        watcher->setInterval(0);
        QObject::connect(watcher, &QTimer::timeout, world.form, [&, watcher] {
            JobController* job = world.form->RunningJob();
            if (!job)
                return;
            watcher->stop();
            QObject::connect(job, &JobController::finished, world.form,
                             [&] { closedAtOnce = world.form->close(); });
        });
        watcher->start();

        QVERIFY(world.runJob());

        QVERIFY(!closedAtOnce);
        QCOMPARE(world.messageTexts(),
                 QStringList{QStringLiteral("Splitting is completed successfully.")});
        QVERIFY(!world.form->isVisible());
        QCOMPARE(world.fakes.endProgramCalls, 1);
        world.verifyIdle();
    }

    // A converter that fails ends the job: no success, no partial clip, the remaining sections
    // do not run.
    void failedConverter_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("detail");
        QTest::newRow("exit status 1")
            << QByteArray(
                   "echo 'time=1.00 '\n: > \"$(dirname \"$out\")/.$(basename \"$out\").$$.part\"\n"
                   "echo 'Could not write the clip' >&2\nexit 1")
            << "Splitting failed.\nCould not write the clip";
        QTest::newRow("killed by a signal")
            << QByteArray(": > \"$(dirname \"$out\")/.$(basename \"$out\").$$.part\"\nkill -9 $$")
            << "Splitting failed.\nThe converter was stopped by signal 9";
        // The converter's name means nothing to the user; the folder it could not write does.
        QTest::newRow("read-only output folder")
            << QByteArray("echo 'vorkast: cannot write to the output folder: Read-only file "
                          "system' >&2\nexit 1")
            << "Splitting failed.\ncannot write to the output folder %1: Read-only file system";
    }
    void failedConverter() {
        QFETCH(QByteArray, body);
        QFETCH(QString, detail);
        SplitWorld world;
        world.fakeConverter(body);
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:20"),
                      QStringLiteral("2"), test::kLossless);

        QVERIFY(world.runJob());

        QCOMPARE(world.runs().size(), 1);
        QCOMPARE(world.fakes.messages.size(), 1);
        if (detail.contains(QLatin1String("%1")))
            detail = detail.arg(QDir::toNativeSeparators(world.out.path()));
        QVERIFY2(world.fakes.messages[0].text.startsWith(detail),
                 qPrintable(world.fakes.messages[0].text));
        QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Segmora"));
        QVERIFY(world.partFiles().isEmpty());
        QVERIFY(!QFile::exists(world.outPath(QStringLiteral("job45_Clip1.mp4"))));
        world.verifyIdle();
    }

    void processTimer_data() {
        QTest::addColumn<int>("elapsedBefore");
        QTest::addColumn<int>("totalPercent");
        QTest::addColumn<QString>("elapsed");
        QTest::addColumn<QString>("remaining");
        QTest::newRow("first tick at 0 %") << 0 << 0 << "00:00:01"
                                           << "00:00:00";
        QTest::newRow("30 s at 20 %") << 29 << 20 << "00:00:30"
                                      << "00:02:00";
        QTest::newRow("halves to even") << 2 << 40 << "00:00:03"
                                        << "00:00:04"; // 4.5
        QTest::newRow("at 100 %") << 9 << 100 << "00:00:10"
                                  << "00:00:00";
    }
    void processTimer() {
        QFETCH(int, elapsedBefore);
        QFETCH(int, totalPercent);
        QFETCH(QString, elapsed);
        QFETCH(QString, remaining);
        SplitWorld world;
        TMainForm* form = world.form;
        form->labElapsed->setText(QStringLiteral("old"));
        form->labRemaining->setText(QStringLiteral("old"));
        form->pgbTotal->setValue(70);

        form->EnterJobState();
        world.verifyRunningLook();
        QVERIFY(form->tmrProcess->isActive());
        QVERIFY(form->tmrPreview->isActive());
        QCOMPARE(form->ElapsedSeconds, 0);
        QCOMPARE(form->pgbTotal->value(), 0);
        QCOMPARE(form->labCurProgress->text(), QStringLiteral("0%"));
        QCOMPARE(form->labTotalProgress->text(), QStringLiteral("0%"));
        // Until the first tick both times are empty.
        QVERIFY(form->labElapsed->text().isEmpty());
        QVERIFY(form->labRemaining->text().isEmpty());

        form->ElapsedSeconds = elapsedBefore;
        form->pgbTotal->setValue(totalPercent);
        form->tmrProcessTimer();
        QCOMPARE(form->ElapsedSeconds, elapsedBefore + 1);
        QCOMPARE(form->labElapsed->text(), elapsed);
        QCOMPARE(form->labRemaining->text(), remaining);

        form->JobState = JobRunning;
        form->LeaveJobState();
        world.verifyIdle();
    }

    // A section whose converter fell back to a keyframe cut is named, with how much earlier it
    // starts, in a box after the success message; the success message itself is unchanged.
    void keyframeCutsFollowTheCompletionMessage() {
        SplitWorld world;
        world.fakeConverter("case \"$5\" in\n"
                            "15) echo 'vorkast: warning: keyframe cut starts 0.900 s before START' "
                            ">&2 ;;\n"
                            "30) echo 'vorkast: warning: keyframe cut starts 2.000 s before START' "
                            ">&2 ;;\n"
                            "esac\n"
                            "echo 'time=15.00 '\n"
                            "echo clip > \"$out\"");
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:45"),
                      QStringLiteral("3"), test::kLossless);

        world.form->imgStartClick();

        QTRY_COMPARE_WITH_TIMEOUT(world.messageTexts().size(), 2, 20000);
        QCOMPARE(world.runs().size(), 3);
        QCOMPARE(world.messageTexts(),
                 (QStringList{QStringLiteral("Splitting is completed successfully."),
                              QStringLiteral("These clips could not be cut exactly; each starts at "
                                             "the key frame before its start time:\n"
                                             "Section 2 (job45_Clip2.mp4): 0.90 s earlier\n"
                                             "Section 3 (job45_Clip3.mp4): 2.00 s earlier")}));
        for (const MessageRequest& message : world.fakes.messages)
            QCOMPARE(message.title, QStringLiteral("Completed"));
        QTRY_VERIFY_WITH_TIMEOUT(world.form->RunningJob() == nullptr, 5000);
        world.verifyIdle();
    }

    // The completion step reads the Settings dialog's choices when the last section is done.
    void completion_data() {
        QTest::addColumn<bool>("turnOff");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<bool>("openDir");
        QTest::addColumn<QString>("countdown"); // btnDoNow's caption; empty: no countdown
        QTest::addColumn<bool>("pressNow");     // else Cancel
        QTest::newRow("nothing ticked") << false << false << false << "" << false;
        QTest::newRow("open the folder") << false << false << true << "" << false;
        QTest::newRow("exit, cancelled") << false << true << true << "Exit Now" << false;
        QTest::newRow("exit now") << false << true << false << "Exit Now" << true;
        QTest::newRow("turn off wins, cancelled")
            << true << true << false << "Turn off Now" << false;
        QTest::newRow("turn off now") << true << false << false << "Turn off Now" << true;
    }
    void completion() {
        QFETCH(bool, turnOff);
        QFETCH(bool, exit);
        QFETCH(bool, openDir);
        QFETCH(QString, countdown);
        QFETCH(bool, pressNow);

        SplitWorld world;
        world.fakeConverter("exit 0");
        TSettingForm* settings = world.app->settingForm();
        settings->chkTurnoff->setChecked(turnOff);
        settings->chkExit->setChecked(exit);
        settings->chkOpenDir->setChecked(openDir);
        world.request(kJob45, QStringLiteral("00:00:10"), QStringLiteral("00:00:20"),
                      QStringLiteral("1"), QStringLiteral("MP4"));
        world.fakes.onMessage = [&](const MessageRequest&) {
            // The folder opens only once the message is closed.
            QVERIFY(world.fakes.openedUrls.isEmpty());
        };

        QVERIFY(world.runJob());
        QCOMPARE(world.runs().size(), 1);

        TCountDownForm* countDown = world.app->countDownForm();
        if (countdown.isEmpty()) {
            QVERIFY(!countDown->isVisible());
            QCOMPARE(world.messageTexts(),
                     QStringList{QStringLiteral("Splitting is completed successfully.")});
            QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Completed"));
            QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Information);
            QCOMPARE(world.fakes.openedUrls,
                     openDir ? QList<QUrl>{QUrl::fromLocalFile(world.out.path())} : QList<QUrl>{});
            world.verifyIdle();
            return;
        }

        // The countdown runs with the job already idle, the window still in its running look.
        QVERIFY(countDown->isVisible());
        QCOMPARE(countDown->btnDoNow->text(), countdown);
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(world.form->JobState, int(JobIdle));
        QVERIFY(!world.form->panProgress->isHidden());
        QVERIFY(!world.form->isEnabled());
        QVERIFY(!world.form->tmrProcess->isActive());
        if (!pressNow) {
            countDown->btnCancelClick();
            QVERIFY(world.form->isEnabled());
            world.verifyIdle();
            QCOMPARE(world.fakes.powerOffCalls + world.fakes.endProgramCalls, 0);
        } else if (turnOff) {
            countDown->btnDoNowClick();
            QCOMPARE(world.fakes.powerOffCalls, 1);
            QCOMPARE(world.fakes.endProgramCalls, 0);
        } else {
            // The window closes without asking: the job is idle.
            countDown->btnDoNowClick();
            QCOMPARE(world.fakes.endProgramCalls, 1);
            QVERIFY(world.fakes.messages.isEmpty());
        }
        QVERIFY(world.fakes.openedUrls.isEmpty());
        countDown->close();
    }
};

QTEST_MAIN(TestSplitJobWindow)
#include "test_split_job_window.moc"
