// The timeline in the main window against generated sources: the strips of a two-minute video
// arriving and showing, the zoom with its labels, the jumps, where a lossless cut really
// starts, and the snapshot (SEGMORA_NEEDS_MEDIA).
#include "accessible_tree.h"
#include "app/main_form.h"
#include "fake_seams.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/timeline_scan.h"
#include "media/timeline_strips.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "test_support.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <memory>

using namespace segmora;
using segmora::test::findAccessible;
using segmora::test::fixture;
using segmora::test::widgetOf;

namespace {

const QString kLossless = QStringLiteral("Settings of the source file.");

struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>(folder.context());

    void open(const QString& path) {
        form->OpenSource(path);
        form->filterGraph->Pause();
    }
    // Both strips have what the scans found, the black frames and scene changes included.
    bool scanned(int timeoutMs = 60000) {
        return QTest::qWaitFor(
            [this] {
                const auto pictures = form->timelineScans->Pictures();
                return form->stripWaveform->HasData() && form->stripThumbnails->HasData() &&
                       pictures && pictures->contentComplete && form->keyframeIndex->Ready();
            },
            timeoutMs);
    }
    void press(int key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(form->videoWindow, Qt::Key(key), modifiers);
    }
    QStringList viewLabels() const {
        return {form->labLeft->text(), form->labMiddle->text(), form->labRight->text()};
    }
};

// The share of a picture's pixels that are not the strip's empty background.
double paintedShare(const QImage& picture) {
    const QColor background = picture.pixelColor(0, 0);
    int painted = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            painted += picture.pixelColor(x, y) != background;
    }
    return double(painted) / (picture.width() * picture.height());
}

QRect inWindow(const QWidget* form, const QWidget* control) {
    return QRect(control->mapTo(form, QPoint(0, 0)), control->size());
}

} // namespace

class TestTimeline : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
    }

    // A user opens a two-minute video and finds both strips along the bar, with its sound and
    // its pictures, in the window's default size.
    void twoMinuteVideoShowsBothStrips() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(!form->panTimeline->isVisible()); // nothing to show before a video
        world.open(fixture(QStringLiteral("two_minutes.mp4")));
        QVERIFY(world.scanned());

        for (const QString& name : {QStringLiteral("Waveform"), QStringLiteral("Thumbnails")}) {
            QWidget* strip = widgetOf(findAccessible(form, QAccessible::Client, name));
            QVERIFY2(strip && strip->isVisible(), qPrintable(name));
            // Between the preview and the time labels, as wide as the bar's channel.
            QVERIFY(inWindow(form, strip).top() >= inWindow(form, form->imgScreen).bottom());
            QVERIFY(inWindow(form, strip).bottom() < inWindow(form, form->labLeft).top());
            QVERIFY(QRect(QPoint(0, 0), form->size()).contains(inWindow(form, strip)));
            QVERIFY(paintedShare(strip->grab().toImage()) > 0.3);
        }
        QCOMPARE(form->size(), QSize(TMainForm::kClientWidth, TMainForm::kClientHeight));
        // The tool tips tell the time under the pointer: the ends of the bar are the ends of
        // the video.
        const QRect channel = form->tkbProgress->ChannelRect();
        const int left = inWindow(form, form->tkbProgress).left() + channel.left() -
                         inWindow(form, form->stripWaveform).left();
        QCOMPARE(form->stripWaveform->TipAt(left), QStringLiteral("00:00:00"));
        QCOMPARE(form->stripThumbnails->TipAt(left + channel.width() - 1),
                 SecondsToMarkText(double(form->filterGraph->Duration()) / 1000.0));
    }

    void zoomKeepsTheBarWorking() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(fixture(QStringLiteral("two_minutes.mp4")));
        const QStringList whole = world.viewLabels();
        QCOMPARE(whole, (QStringList{"00:00:00", "00:01:00", "00:02:00"}));

        // Around the picture: at 60 s, three steps of Ctrl+Up show 15 s around it.
        form->filterGraph->SeekToSeconds(60);
        QTRY_VERIFY(!form->filterGraph->Seeking() &&
                    qAbs(form->filterGraph->ExactPosition() - 60) < 0.05);
        for (int i = 0; i < 3; ++i)
            world.press(Qt::Key_Up, Qt::ControlModifier);
        QVERIFY(form->tkbProgress->Zoomed());
        QVERIFY(qAbs(form->tkbProgress->ViewTo() - form->tkbProgress->ViewFrom() - 15) < 0.01);
        QVERIFY(form->tkbProgress->ViewFrom() < 60 && form->tkbProgress->ViewTo() > 60);
        QCOMPARE(world.viewLabels().at(0),
                 SecondsToMarkText(std::round(form->tkbProgress->ViewFrom() * 1000) / 1000));
        // The thumb stands at the picture's exact time, in the middle of the view.
        QVERIFY(qAbs(form->tkbProgress->ThumbX() - form->tkbProgress->XOfSeconds(60)) <= 1);

        // Down to single frames and no further: eight frames of a tenth of a second.
        for (int i = 0; i < 20; ++i)
            world.press(Qt::Key_Plus);
        QVERIFY(qAbs(form->tkbProgress->ViewTo() - form->tkbProgress->ViewFrom() - 0.8) < 0.01);

        // A click on the zoomed bar shows the frame under it, finer than a second.
        const int x = form->tkbProgress->XOfSeconds(60.3);
        QTest::mouseClick(form->tkbProgress, Qt::LeftButton, {},
                          QPoint(x, form->tkbProgress->height() / 2));
        QTRY_VERIFY(qAbs(form->filterGraph->ExactPosition() - 60.3) < 0.06);

        // The seek keys take the view along.
        world.press(Qt::Key_End);
        QTRY_VERIFY(form->tkbProgress->ViewTo() >= 119.9);
        // Ctrl+0: the whole video and its labels as before.
        world.press(Qt::Key_0, Qt::ControlModifier);
        QVERIFY(!form->tkbProgress->Zoomed());
        QCOMPARE(world.viewLabels(), whole);
    }

    void jumpsToWhatTheScansFound_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to"); // about; -1: the picture stays
        QTest::newRow("next silence") << int(Qt::Key_S) << 0 << 1.0 << 3.0;
        QTest::newRow("silence before") << int(Qt::Key_S) << int(Qt::ShiftModifier) << 11.0 << 9.0;
        QTest::newRow("next black frame") << int(Qt::Key_B) << 0 << 1.0 << 4.0;
        QTest::newRow("no black frame after") << int(Qt::Key_B) << 0 << 6.0 << -1.0;
        QTest::newRow("next scene change") << int(Qt::Key_C) << 0 << 1.0 << 8.0;
        QTest::newRow("scene change before")
            << int(Qt::Key_C) << int(Qt::ShiftModifier) << 11.0 << 8.0;
    }
    void jumpsToWhatTheScansFound() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(double, from);
        QFETCH(double, to);
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(fixture(QStringLiteral("marks.mp4")));
        QVERIFY(world.scanned());
        form->filterGraph->SeekToSeconds(from);
        QTRY_VERIFY(qAbs(form->filterGraph->ExactPosition() - from) < 0.05);
        world.press(key, Qt::KeyboardModifiers(modifiers));
        const double expected = to < 0 ? from : to;
        QTRY_VERIFY2(qAbs(form->filterGraph->ExactPosition() - expected) < 0.1,
                     qPrintable(QString::number(form->filterGraph->ExactPosition())));
    }

    // With the lossless profile, a video cut at keyframes shows where each clip really starts.
    void losslessStartsShownBeforeTheJob_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("start"); // a time text, or "keyframe": the second keyframe
        QTest::addColumn<int>("sections");  // 0: start/end mode
        QTest::addColumn<int>("landings");
        QTest::newRow("WMV between keyframes")
            << "marks.wmv" << kLossless << "00:00:01.3" << 0 << 1;
        QTest::newRow("WMV on a keyframe") << "marks.wmv" << kLossless << "keyframe" << 0 << 0;
        QTest::newRow("WMV in three sections, each apart from keyframes")
            << "marks.wmv" << kLossless << "00:00:01.3" << 3 << 3;
        QTest::newRow("H.264 is cut exactly") << "marks.mp4" << kLossless << "00:00:01.3" << 0 << 0;
        QTest::newRow("WMV converted to MP4") << "marks.wmv"
                                              << "MP4"
                                              << "00:00:01.3" << 0 << 0;
    }
    void losslessStartsShownBeforeTheJob() {
        QFETCH(QString, file);
        QFETCH(QString, profile);
        QFETCH(QString, start);
        QFETCH(int, sections);
        QFETCH(int, landings);
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(fixture(file));
        QVERIFY(world.scanned());
        form->cmbProfile->setCurrentText(profile);
        QCOMPARE(form->cmbProfile->currentText(), profile);
        const QVector<double>& keyframes = form->keyframeIndex->Keyframes();
        QVERIFY(keyframes.size() > 2);
        form->edtStart->setText(start == QLatin1String("keyframe") ? SecondsToMarkText(keyframes[1])
                                                                   : start);
        QTest::keyClick(form->edtStart, Qt::Key_Return);
        if (sections > 0) {
            // 1.3-12 in three: 1.3, 5.5(6), 9.7(3) s, none on the keyframes of a twelve-frame
            // group at 25 fps.
            form->rdbEqual->setChecked(true);
            form->edtSectionQty->setText(QString::number(sections));
        }
        const QVector<PaintedRange> shown =
            form->tkbProgress->PaintedRanges(QStringLiteral("lossless start"));
        QCOMPARE(shown.size(), landings);
        for (const PaintedRange& range : shown) {
            // From the keyframe before the asked start up to it.
            QVERIFY(IsKeyframeTime(keyframes, range.from));
            QVERIFY(range.from < range.to);
            QVERIFY(NextKeyframe(keyframes, range.from) > range.to);
        }
        QCOMPARE(form->edtStart->toolTip().contains(QLatin1String("starts at the keyframe")),
                 landings > 0);
        // Another profile takes the marks away again.
        if (landings > 0) {
            form->cmbProfile->setCurrentText(QStringLiteral("MP4"));
            QVERIFY(form->tkbProgress->PaintedRanges(QStringLiteral("lossless start")).isEmpty());
            QVERIFY(form->edtStart->toolTip().isEmpty());
        }
    }

    void snapshotBesideTheVideo() {
        QTemporaryDir dir;
        const QString video = dir.filePath(QStringLiteral("holiday.mp4"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("counter.mp4")), video));
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(video);
        form->filterGraph->SeekToSeconds(2.0);
        QTRY_VERIFY(!form->filterGraph->Seeking() && !form->filterGraph->GrabFrame().isNull() &&
                    qAbs(form->filterGraph->ExactPosition() - 2.0) < 0.01);

        // The button, then the key: the second keeps the first.
        form->btnSnapshot->click();
        world.press(Qt::Key_S, Qt::ControlModifier);
        const QString first = dir.filePath(QStringLiteral("holiday_00-00-02.000.png"));
        const QString second = dir.filePath(QStringLiteral("holiday_00-00-02.000_2.png"));
        for (const QString& path : {first, second}) {
            QImage saved(path, "PNG");
            QVERIFY2(!saved.isNull(), qPrintable(path));
            QCOMPARE(saved.size(), QSize(160, 120));
        }
        QVERIFY(world.fakes.messages.isEmpty());
        QVERIFY(form->btnSnapshot->accessibleDescription().contains(second));

        // A folder that is gone: the error box names the file.
        QVERIFY(QDir(dir.path()).removeRecursively());
        form->btnSnapshot->click();
        QCOMPARE(world.fakes.messages.size(), 1);
        QVERIFY(world.fakes.messages.first().text.startsWith(QLatin1String("Unable to write to ")));
        QVERIFY(world.fakes.messages.first().text.contains(QLatin1String("holiday_00-00-02.000")));
    }

    // The strips are dropped with their video: the next one starts empty.
    void anotherVideoDropsTheStrips() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(fixture(QStringLiteral("marks.mp4")));
        QVERIFY(world.scanned());
        world.open(fixture(QStringLiteral("len59_9.mp4")));
        QVERIFY(!form->stripWaveform->HasData());
        QVERIFY(world.scanned());
        // A video without sound: the waveform is there, and empty.
        QVERIFY(form->timelineScans->Sound()->peaks.isEmpty());
        QVERIFY(form->timelineScans->Pictures()->blackFrames.isEmpty());
        QVERIFY(QDir(world.folder.context().cacheFolder()).exists());
    }
};

QTEST_MAIN(TestTimeline)
#include "test_timeline.moc"
