// Split jobs run from the main window with the real converter on generated media
// (SEGMORA_NEEDS_MEDIA): the clips it makes, overwriting, cancelling, closing mid-job and a
// missing converter.
#include "media/video_window.h"
#include "split_window_world.h"

using namespace segmora;
using test::SplitWorld;

namespace {

const QString kJob45 = test::fixture(QStringLiteral("job45.mp4"));
const QString kSixAvi = test::fixture(QStringLiteral("six.avi"));
const QString kCompleted = QStringLiteral("Splitting is completed successfully.");

// Seconds a re-encoded clip may differ from the marked length (one frame at 10 fps, and the
// container's rounding).
constexpr double kLengthTolerance = 0.15;

// The pictures a clip holds, as ffprobe decodes them; -1 when it cannot be read.
int frameCount(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                   QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_frames"),
                   QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return -1;
    bool number = false;
    // A transport stream lists the stream again under its program: the first line is enough.
    const int count = ffprobe.readAllStandardOutput().trimmed().split('\n').first().toInt(&number);
    return number ? count : -1;
}

} // namespace

class TestSplitJobClips : public QObject {
    Q_OBJECT

private slots:
    void startEndModeMakesOneClipOfTheMarkedLength() {
        SplitWorld world;
        world.request(kJob45, QStringLiteral("00:00:05"), QStringLiteral("00:00:12"), QString(),
                      QStringLiteral("MP4"));

        QVERIFY(world.runJob());

        QCOMPARE(world.messageTexts(), QStringList{kCompleted});
        QCOMPARE(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("job45_Clip1.mp4")});
        const test::Probe clip = test::probe(world.outPath(QStringLiteral("job45_Clip1.mp4")));
        QVERIFY2(qAbs(clip.duration - 7.0) <= kLengthTolerance,
                 qPrintable(QString::number(clip.duration)));
        QVERIFY(clip.codecs.contains(QStringLiteral("video:h264")));
        world.verifyIdle();
    }

    void equalModeMakesThreeClipsOfTenSeconds() {
        SplitWorld world;
        world.request(kJob45, QStringLiteral("00:00:10"), QStringLiteral("00:00:40"),
                      QStringLiteral("3"), QStringLiteral("MP4"));

        QVERIFY(world.runJob());

        QCOMPARE(world.messageTexts(), QStringList{kCompleted});
        const QStringList names{QStringLiteral("job45_Clip1.mp4"),
                                QStringLiteral("job45_Clip2.mp4"),
                                QStringLiteral("job45_Clip3.mp4")};
        QCOMPARE(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), names);
        for (const QString& name : names) {
            const double length = test::probe(world.outPath(name)).duration;
            QVERIFY2(qAbs(length - 10.0) <= kLengthTolerance,
                     qPrintable(name + QLatin1Char(' ') + QString::number(length)));
        }
        QCOMPARE(world.form->pgbTotal->value(), 100);
        world.verifyIdle();
    }

    // A range that reaches the end of the video holds its last frame: marked by End then O, or
    // as a new video is marked (whole). frames.mp4 has 100 frames.
    void rangeToTheEndKeepsEveryFrame_data() {
        QTest::addColumn<bool>("endThenO");
        QTest::addColumn<QString>("quantity"); // null: start/end mode
        QTest::addColumn<QList<int>>("frames");
        QTest::newRow("End then O, in two") << true << "2" << QList<int>{50, 50};
        QTest::newRow("End then O, one clip") << true << QString() << QList<int>{100};
        QTest::newRow("Start right after opening, in two") << false << "2" << QList<int>{50, 50};
    }
    void rangeToTheEndKeepsEveryFrame() {
        QFETCH(bool, endThenO);
        QFETCH(QString, quantity);
        QFETCH(QList<int>, frames);
        SplitWorld world;
        TMainForm* form = world.form;
        form->OpenSource(test::fixture(QStringLiteral("frames.mp4")));
        form->imgPauseClick();
        if (endThenO) {
            form->videoWindow->setFocus();
            QTest::keyClick(form->videoWindow, Qt::Key_End);
            QTRY_VERIFY(!form->filterGraph->Seeking() && form->filterGraph->ExactPosition() > 3.9);
            QTest::keyClick(form->videoWindow, Qt::Key_O);
        }
        (quantity.isNull() ? form->rdbStartEnd : form->rdbEqual)->setChecked(true);
        form->edtSectionQty->setText(quantity);
        form->cmbProfile->setCurrentIndex(form->cmbProfile->findText(test::kLossless));
        form->edtOutputDir->setText(world.out.path());

        QVERIFY(world.runJob());

        QCOMPARE(world.messageTexts(), QStringList{kCompleted});
        QList<int> made;
        for (int clip = 1; clip <= frames.size(); ++clip)
            made.append(frameCount(world.outPath(QStringLiteral("frames_Clip%1.mp4").arg(clip))));
        QCOMPARE(made, frames);
    }

    void losslessProfileKeepsContainerAndCodecs() {
        SplitWorld world;
        world.request(kSixAvi, QStringLiteral("00:00:01"), QStringLiteral("00:00:04"), QString(),
                      test::kLossless);

        QVERIFY(world.runJob());

        QCOMPARE(world.messageTexts(), QStringList{kCompleted});
        const QString clipPath = world.outPath(QStringLiteral("six_Clip1.avi"));
        QVERIFY(QFile::exists(clipPath));
        const test::Probe source = test::probe(kSixAvi);
        const test::Probe clip = test::probe(clipPath);
        QCOMPARE(clip.codecs, source.codecs);
        // Cut exactly, or (for a video codec that cannot be cut so) from the key frame at or
        // before the start.
        QVERIFY2(clip.duration >= 3.0 - kLengthTolerance && clip.duration <= 4.0 + kLengthTolerance,
                 qPrintable(QString::number(clip.duration)));
    }

    // Containers beyond the eight of old, chosen in the open dialog: the lossless profile keeps
    // the container and every stream and cuts on the frames shown at the marks.
    void openedFromTheDialogAndCutInItsOwnContainer_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QString>("format");
        QTest::newRow("matroska") << "exact_h264.mkv"
                                  << "exact_h264_Clip1.mkv"
                                  << "matroska,webm";
        QTest::newRow("transport stream") << "exact_h264.ts"
                                          << "exact_h264_Clip1.ts"
                                          << "mpegts";
    }
    void openedFromTheDialogAndCutInItsOwnContainer() {
        QFETCH(QString, source);
        QFETCH(QString, clip);
        QFETCH(QString, format);
        SplitWorld world;
        TMainForm* form = world.form;
        world.fakes.fileToOpen = test::fixture(source);
        form->tbtnOpen->click();
        QCOMPARE(form->OpenSourcePath(), test::fixture(source));
        QCOMPARE(world.fakes.openFilters.size(), 1);
        QVERIFY(world.fakes.openFilters[0].startsWith(QStringLiteral("All Support Files (")));
        form->edtStart->setText(QStringLiteral("00:00:01"));
        form->edtEnd->setText(QStringLiteral("00:00:04"));
        form->rdbStartEnd->setChecked(true);
        form->cmbProfile->setCurrentIndex(form->cmbProfile->findText(test::kLossless));
        form->cmbProfileChange();
        form->edtOutputDir->setText(world.out.path());

        QVERIFY(world.runJob());

        QCOMPARE(world.messageTexts(), QStringList{kCompleted});
        QCOMPARE(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{clip});
        const test::Probe made = test::probe(world.outPath(clip));
        QCOMPARE(made.format, format);
        QCOMPARE(made.codecs, test::probe(test::fixture(source)).codecs);
        // 25 frames a second from the frame shown at 1 s to the one before the frame at 4 s.
        QCOMPARE(frameCount(world.outPath(clip)), 75);
    }

    // An existing first clip, the question answered (or not asked when the preference is set).
    void overwrite_data() {
        QTest::addColumn<QString>("quantity"); // null: start/end mode
        QTest::addColumn<bool>("preference");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("firstReplaced");
        QTest::addColumn<bool>("secondMade");
        QTest::addColumn<bool>("completed");
        const int yes = int(MessageAnswer::Yes);
        const int no = int(MessageAnswer::No);
        QTest::newRow("start/end, No") << QString() << false << no << false << false << false;
        QTest::newRow("start/end, Yes") << QString() << false << yes << true << false << true;
        QTest::newRow("equal, No skips") << "2" << false << no << false << true << true;
        QTest::newRow("equal, Yes") << "2" << false << yes << true << true << true;
        QTest::newRow("preference set") << QString() << true << no << true << false << true;
    }
    void overwrite() {
        QFETCH(QString, quantity);
        QFETCH(bool, preference);
        QFETCH(int, answer);
        QFETCH(bool, firstReplaced);
        QFETCH(bool, secondMade);
        QFETCH(bool, completed);

        SplitWorld world;
        world.app->settingForm()->chkOverwrite->setChecked(preference);
        const QString first = world.outPath(QStringLiteral("six_Clip1.avi"));
        const QString second = world.outPath(QStringLiteral("six_Clip2.avi"));
        QVERIFY(test::writeAll(first, "an older clip"));
        world.request(kSixAvi, QStringLiteral("00:00:00"), QStringLiteral("00:00:04"), quantity,
                      test::kLossless);
        world.fakes.answers.enqueue(MessageAnswer(answer));

        QVERIFY(world.runJob());

        QStringList expected;
        if (!preference)
            expected.append(QStringLiteral("The output file is existent. Overwrite it?\n\n") +
                            QDir::toNativeSeparators(first));
        if (completed)
            expected.append(
                firstReplaced || quantity.isNull()
                    ? kCompleted
                    : QStringLiteral("Splitting is completed: 1 clip made, 1 existing clip kept."));
        // Whether the second clip could be cut exactly depends on the video codec, not on the
        // overwrite rule: the box that names such clips is not looked at here.
        QStringList texts = world.messageTexts();
        texts.removeIf([](const QString& text) {
            return text.startsWith(QLatin1String("These clips could not be cut exactly"));
        });
        QCOMPARE(texts, expected);
        if (!preference) {
            QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Overwrite"));
            QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Question);
            QCOMPARE(world.fakes.messages[0].buttons, MessageButtons::YesNoToAll);
        }
        QCOMPARE(test::readAll(first) != "an older clip", firstReplaced);
        if (firstReplaced)
            QVERIFY(!test::probe(first).codecs.isEmpty());
        QCOMPARE(QFile::exists(second), secondMade);
        QVERIFY(world.partFiles().isEmpty());
        world.verifyIdle();
    }

    void cancelOnTheFirstReport() {
        SplitWorld world;
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:45"),
                      QStringLiteral("2"), QStringLiteral("MP4"));
        QList<pid_t> converters;
        test::onFirstProgress(world.form, [&] {
            converters = world.converterProcesses();
            world.fakes.answers.enqueue(MessageAnswer::Yes);
            world.form->imgCancelClick();
        });

        QVERIFY(world.runJob());

        QCOMPARE(converters.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(test::processGroupGone(converters[0]), 5000);
        QVERIFY(world.converterProcesses().isEmpty());
        QCOMPARE(world.messageTexts(),
                 QStringList{QStringLiteral("Do you want to cancel the splitting?")});
        // No partial clip and no temporary file; the second section never ran.
        QVERIFY(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        world.verifyIdle();
    }

    void closingMidJobLeavesNoConverterAndNoTemporaryFile() {
        SplitWorld world;
        world.request(kJob45, QStringLiteral("00:00:00"), QStringLiteral("00:00:45"), QString(),
                      QStringLiteral("MP4"));
        QList<pid_t> before;
        QList<pid_t> after;
        QStringList leftInOutput;
        // What is left when the window has closed and the program is told to end.
        world.fakes.onEndProgram = [&] {
            after = world.converterProcesses();
            leftInOutput = QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden);
        };
        test::onFirstProgress(world.form, [&] {
            before = world.converterProcesses();
            world.fakes.answers.enqueue(MessageAnswer::Yes);
            world.form->close();
        });

        QVERIFY(world.runJob());

        QVERIFY(!world.form->isVisible());
        QCOMPARE(world.fakes.endProgramCalls, 1);
        QCOMPARE(before.size(), 1);
        QVERIFY(after.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(test::processGroupGone(before[0]), 5000);
        QVERIFY2(leftInOutput.isEmpty(), qPrintable(leftInOutput.join(QLatin1Char(' '))));
        QCOMPARE(world.messageTexts(),
                 QStringList{QStringLiteral("Do you want to cancel the splitting and exit?")});
    }

    void missingConverterAsksForReinstall() {
        SplitWorld world;
        QVERIFY(QFile::remove(world.converterPath()));
        world.request(kJob45, QStringLiteral("00:00:10"), QStringLiteral("00:00:20"), QString(),
                      QStringLiteral("MP4"));

        QVERIFY(world.runJob());

        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages[0].text, QStringLiteral("Error. Please re-install Segmora"));
        QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Segmora"));
        QCOMPARE(world.fakes.messages[0].icon, MessageIcon::None);
        QCOMPARE(world.fakes.messages[0].buttons, MessageButtons::Ok);
        QVERIFY(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        world.verifyIdle();
    }
};

QTEST_MAIN(TestSplitJobClips)
#include "test_split_job_clips.moc"
