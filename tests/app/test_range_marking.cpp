// Range marking on the main window against generated sources: typed marks and their clamping,
// the marking buttons, the mark labels and how they keep apart, the length sentence, and the
// preview keys (SEGMORA_NEEDS_MEDIA).
#include "accessible_tree.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "fake_seams.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"
#include "media/marking_keys.h"
#include "media/range_marks.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleEditableTextInterface>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <memory>

using namespace segmora;
using segmora::test::findAccessible;
using segmora::test::fixture;

namespace {

const QString kHidden = QStringLiteral("<hidden>");

// One main window in its own program folder, with the dialogs and message boxes faked.
struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    std::unique_ptr<TMainForm> form = std::make_unique<TMainForm>(folder.context());

    // Opens a fixture and pauses it, so the bar's position stays where a test puts it.
    void open(const QString& file) {
        form->OpenSource(fixture(file));
        // Not the Pause button: a short source may have played to its end, where it resumes.
        form->filterGraph->Pause();
    }
};

QString shown(const QLabel* label) {
    return label->isHidden() ? kHidden : label->text();
}

// Leaving a field the way the keyboard or a click elsewhere does.
void leave(QLineEdit* field) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(field, &out);
}

// One step of a marking session: "start=T" / "end=T" type T and press Enter, "startExit=T" /
// "endExit=T" type T and leave the field, "pos=N" shows the frame at N seconds (with no source,
// puts the bar's position at N), "selStart", "selEnd" and "erase" click the marking buttons.
void run(TMainForm* form, const QString& step) {
    const QString name = step.section(QLatin1Char('='), 0, 0);
    const QString value = step.section(QLatin1Char('='), 1);
    QLineEdit* field = name.startsWith(QLatin1String("start")) ? form->edtStart : form->edtEnd;
    if (name == QLatin1String("start") || name == QLatin1String("end")) {
        field->setText(value);
        QTest::keyClick(field, Qt::Key_Return);
    } else if (name.endsWith(QLatin1String("Exit"))) {
        field->setText(value);
        leave(field);
    } else if (name == QLatin1String("pos")) {
        FilterGraph* graph = form->filterGraph;
        if (!graph->HasMedia()) {
            form->tkbProgress->SetPosition(value.toInt());
            return;
        }
        graph->SeekTo(value.toInt() * 1000);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - value.toInt()) < 0.001);
    } else if (name == QLatin1String("selStart")) {
        form->imgSelStart->click();
    } else if (name == QLatin1String("selEnd")) {
        form->imgSelEnd->click();
    } else if (name == QLatin1String("erase")) {
        form->imgErase->click();
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

// The pixel on the bar's scale where a mark stands (before rounding).
double markX(const TDSTrackBar* bar, int mark) {
    return bar->x() + double(mark) / bar->Max() * bar->width();
}

// Presses a button the way a screen reader does, by its press action.
void pressByAction(QAccessibleInterface* button) {
    QVERIFY(button && button->actionInterface());
    button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
}

} // namespace

class TestRangeMarking : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // libmpv reads numbers in the C locale; tests must never make a sound.
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        QVERIFY2(QFile::exists(fixture("range90_4.mp4")), "run make_fixtures.sh first");
    }

    void init() {
        // The journey gives the player a text file on purpose.
        if (qstrcmp(QTest::currentTestFunction(), "journeyThroughTheAccessibilityTree") != 0)
            segmora::test::failOnPlayerErrors();
    }

    void marking_data() {
        QTest::addColumn<QString>("file"); // empty: no source opened
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selEnd");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("startLabel");
        QTest::addColumn<QString>("endLabel");
        QTest::addColumn<QString>("length");
        const QString zero = QStringLiteral("00:00:00");
        const QString lengthOf = kLengthPrefix;

        const QString whole = QStringLiteral("00:01:30.400"); // range90_4.mp4's length
        QTest::newRow("a new source is marked whole")
            << "range90_4.mp4" << QStringList{} << 0 << 90 << zero << whole << "[ " + zero
            << whole + " ]" << lengthOf + "00:01:30.400";
        QTest::newRow("a new source under a second is marked whole")
            << "short0_6.mp4" << QStringList{} << 0 << 1 << zero << "00:00:00.600"
            << "[ " + zero << "00:00:00.600 ]" << lengthOf + "00:00:00.600";
        QTest::newRow("erase after opening clears both marks")
            << "range90_4.mp4" << QStringList{"erase"} << 0 << 0 << zero << zero << kHidden
            << kHidden << lengthOf + "00:01:30.400";
        QTest::newRow("end beyond a 90.4 s source")
            << "range90_4.mp4" << QStringList{"end=00:02:00"} << 0 << 90 << zero << "00:02:00"
            << "[ " + zero << "00:02:00 ]" << lengthOf + "00:01:30.400";
        QTest::newRow("90.5 s clamps to 90")
            << "range90_5.mp4" << QStringList{"end=00:05:00"} << 0 << 90 << zero << "00:05:00"
            << "[ " + zero << "00:05:00 ]" << lengthOf + "00:01:30.500";
        QTest::newRow("91.5 s clamps to 92")
            << "range91_5.mp4" << QStringList{"end=00:05:00"} << 0 << 92 << zero << "00:05:00"
            << "[ " + zero << "00:05:00 ]" << lengthOf + "00:01:31.500";
        QTest::newRow("1:2:3 as start, field left")
            << "range90_4.mp4" << QStringList{"startExit=1:2:3"} << 90 << 90 << "01:02:03" << whole
            << "[ 01:02:03" << whole + " ]" << kEndBeforeStart;
        QTest::newRow("end field left")
            << "range90_4.mp4" << QStringList{"endExit=0:1:5"} << 0 << 65 << zero << "00:01:05"
            << "[ " + zero << "00:01:05 ]" << lengthOf + "00:01:05";
        QTest::newRow("start equal to end")
            << "range90_4.mp4" << QStringList{"start=0:0:30", "end=00:00:30"} << 30 << 30
            << "00:00:30"
            << "00:00:30"
            << "[ 00:00:30"
            << "00:00:30 ]" << kEndBeforeStart;
        QTest::newRow("end moved past the start")
            << "range90_4.mp4" << QStringList{"end=00:00:20", "start=00:00:40", "end=00:01:00"}
            << 40 << 60 << "00:00:40"
            << "00:01:00"
            << "[ 00:00:40"
            << "00:01:00 ]" << lengthOf + "00:00:20";
        QTest::newRow("halves round to even on the bar, fractions kept in the fields")
            << "range90_4.mp4" << QStringList{"start=0:0:10.5", "end=0:0:11.5"} << 10 << 12
            << "00:00:10.500"
            << "00:00:11.500"
            << "[ 00:00:10.500"
            << "00:00:11.500 ]" << lengthOf + "00:00:01";
        QTest::newRow("length from the exact marks, not the bar's seconds")
            << "range90_4.mp4" << QStringList{"start=0:0:3.4", "end=0:0:11.2"} << 3 << 11
            << "00:00:03.400"
            << "00:00:11.200"
            << "[ 00:00:03.400"
            << "00:00:11.200 ]" << lengthOf + "00:00:07.800";
        QTest::newRow("length to the millisecond, never truncated")
            << "range90_4.mp4" << QStringList{"start=0:0:0.3", "end=0:1:30"} << 0 << 90
            << "00:00:00.300"
            << "00:01:30"
            << "[ 00:00:00.300"
            << "00:01:30 ]" << lengthOf + "00:01:29.700";
        QTest::newRow("fraction kept when the field is left")
            << "range90_4.mp4" << QStringList{"startExit=00:00:03.5"} << 4 << 90 << "00:00:03.500"
            << whole << "[ 00:00:03.500" << whole + " ]" << lengthOf + "00:01:26.900";
        QTest::newRow("negative start stays at the start of the bar")
            << "range90_4.mp4" << QStringList{"start=0:0:-5", "end=00:00:03"} << 0 << 3
            << "-00:00:05"
            << "00:00:03"
            << "[ -00:00:05"
            << "00:00:03 ]" << lengthOf + "00:00:03";
        QTest::newRow("invalid texts change nothing")
            << "range90_4.mp4" << QStringList{"start=abc", "endExit=1:2"} << 0 << 90 << "abc"
            << "1:2"
            << "[ " + zero << whole + " ]" << lengthOf + "00:01:30.400";
        QTest::newRow("buttons mark the frame shown")
            << "range90_4.mp4" << QStringList{"pos=12", "selStart", "pos=47", "selEnd"} << 12 << 47
            << "00:00:12"
            << "00:00:47"
            << "[ 00:00:12"
            << "00:00:47 ]" << lengthOf + "00:00:35";
        QTest::newRow("erase keeps the length sentence")
            << "range90_4.mp4" << QStringList{"start=00:00:05", "end=00:00:20", "erase"} << 0 << 0
            << zero << zero << kHidden << kHidden << lengthOf + "00:00:15";
        QTest::newRow("nothing before a source is opened")
            << ""
            << QStringList{"start=0:0:5", "endExit=0:0:20", "pos=3", "selStart", "selEnd", "erase"}
            << 0 << 0 << "0:0:5"
            << "0:0:20" << kHidden << kHidden << kHidden;
    }
    void marking() {
        QFETCH(QString, file);
        QFETCH(QStringList, steps);
        World world;
        TMainForm* form = world.form.get();
        if (!file.isEmpty())
            world.open(file);
        for (const QString& step : steps)
            run(form, step);
        QTEST(form->tkbProgress->SelStart(), "selStart");
        QTEST(form->tkbProgress->SelEnd(), "selEnd");
        QTEST(form->edtStart->text(), "start");
        QTEST(form->edtEnd->text(), "end");
        QTEST(shown(form->labStart), "startLabel");
        QTEST(shown(form->labEnd), "endLabel");
        QTEST(shown(form->labLength), "length");
        QVERIFY(world.fakes.messages.isEmpty());
    }

    // The labels stay at their marks while a small gap parts them; closer than that they stand
    // side by side around the middle of the marks, start first, and only a room too narrow for
    // both sends the end label to the second line. The room is 0..400 with lines 15 high at
    // 100; the start label is 60 wide, the end label 50.
    void placeMarkLabels_data() {
        QTest::addColumn<int>("startLeft");
        QTest::addColumn<int>("endRight");
        QTest::addColumn<bool>("bothShown");
        QTest::addColumn<int>("roomRight");
        QTest::addColumn<int>("placedStart");
        QTest::addColumn<int>("placedEnd");
        QTest::addColumn<int>("endTop");
        QTest::newRow("far apart: at their marks") << 10 << 300 << true << 400 << 10 << 250 << 100;
        QTest::newRow("exactly the gap apart") << 10 << 124 << true << 400 << 10 << 74 << 100;
        QTest::newRow("one pixel short of the gap: side by side")
            << 10 << 123 << true << 400 << 10 << 74 << 100; // middle 66.5, pair 114 from 9.5
        QTest::newRow("short range in the middle")
            << 200 << 205 << true << 400 << 146 << 210 << 100; // middle 202.5, pair from 145.5
        QTest::newRow("short range at the start") << 0 << 3 << true << 400 << 0 << 64 << 100;
        QTest::newRow("short range at the end") << 395 << 400 << true << 400 << 286 << 350 << 100;
        QTest::newRow("same second") << 150 << 150 << true << 400 << 93 << 157 << 100;
        QTest::newRow("end before start, apart") << 300 << 100 << true << 400 << 300 << 50 << 100;
        QTest::newRow("end before start, meeting") << 100 << 120 << true << 400 << 53 << 117 << 100;
        QTest::newRow("start mark past the right edge")
            << 390 << 60 << true << 400 << 340 << 10 << 100;
        QTest::newRow("end label hidden: start stays")
            << 200 << 205 << false << 400 << 200 << 155 << 100;
        QTest::newRow("room too narrow: second line") << 10 << 20 << true << 100 << 10 << 2 << 115;
    }
    void placeMarkLabels() {
        QFETCH(int, startLeft);
        QFETCH(int, endRight);
        QFETCH(bool, bothShown);
        QFETCH(int, roomRight);
        QFETCH(int, placedStart);
        QFETCH(int, placedEnd);
        QFETCH(int, endTop);
        const int left = roomRight == 100 ? 2 : 0;
        const MarkLabelPlaces places =
            PlaceMarkLabels(startLeft, 60, endRight, 50, bothShown, {left, roomRight, 100, 15});
        QCOMPARE(places.startLeft, placedStart);
        QCOMPARE(places.endLeft, placedEnd);
        QCOMPARE(places.endTop, endTop);
        // Whatever the marks, the labels stay inside the room, and on one line never meet.
        QVERIFY(places.startLeft >= left && places.startLeft + 60 <= roomRight);
        QVERIFY(places.endLeft >= left && places.endLeft + 50 <= roomRight);
        if (bothShown && places.endTop == 100)
            QVERIFY(places.startLeft + 60 + kMarkLabelGap <= places.endLeft ||
                    places.endLeft + 50 + kMarkLabelGap <= places.startLeft);
    }

    // The end label's right edge stands at its mark, unless that would put its start outside
    // the window, where its time could not be read. The bar is 326 wide at 15, the label 57.
    void endLabelLeft_data() {
        QTest::addColumn<int>("selEnd");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("left");
        QTest::newRow("mark in the middle") << 30 << 90 << 67; // 123.67 - 57
        QTest::newRow("mark at the end") << 90 << 90 << 284;
        QTest::newRow("mark near the start stops at the edge") << 5 << 60 << 0; // -14.83
        QTest::newRow("mark at the start") << 0 << 90 << 0;
        QTest::newRow("source under one unit") << 1 << 0 << 15;
    }
    void endLabelLeft() {
        QFETCH(int, selEnd);
        QFETCH(int, max);
        QTEST(EndLabelLeft(selEnd, max, 15, 326, 57), "left");
    }

    // The end mark taken at a frame: the frame's time, so the clip ends before it, except at
    // the last frame, where the end of the source keeps that frame in the range.
    void endMarkSeconds_data() {
        QTest::addColumn<double>("frame");
        QTest::addColumn<double>("frameDuration");
        QTest::addColumn<qint64>("durationMs");
        QTest::addColumn<double>("mark");
        const double at25 = 0.04;
        QTest::newRow("a frame in the middle") << 2.0 << at25 << qint64(4000) << 2.0;
        QTest::newRow("the last frame of 100 at 25/s") << 3.96 << at25 << qint64(4000) << 4.0;
        QTest::newRow("the frame before the last") << 3.92 << at25 << qint64(4000) << 3.92;
        QTest::newRow("the last frame, time a hair under")
            << 3.9599999 << at25 << qint64(4000) << 4.0;
        QTest::newRow("the last of 300 at 29.97/s, length rounded down")
            << 299 / 29.97 << 1 / 29.97 << qint64(10010) << 10.01;
        QTest::newRow("frame before it") << 298 / 29.97 << 1 / 29.97 << qint64(10010) << 9.944;
        QTest::newRow("frame rate unknown, at the end") << 4.0 << 0.0 << qint64(4000) << 4.0;
        QTest::newRow("frame rate unknown, before the end") << 3.96 << 0.0 << qint64(4000) << 3.96;
        QTest::newRow("no source") << 0.0 << 0.0 << qint64(0) << 0.0;
    }
    void endMarkSeconds() {
        QFETCH(double, frame);
        QFETCH(double, frameDuration);
        QFETCH(qint64, durationMs);
        QFETCH(double, mark);
        QCOMPARE(EndMarkSeconds(frame, frameDuration, durationMs), mark);
    }

    // End then O marks the end of the source; a step back from there marks that frame's time.
    void endKeyThenOHoldsTheLastFrame_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("stepBack");
        QTest::addColumn<QString>("end"); // empty: the source's length
        QTest::newRow("100 frames at 25/s") << "frames.mp4" << false << "";
        QTest::newRow("one step back from the last") << "frames.mp4" << true << "00:00:03.920";
        QTest::newRow("the same in a QuickTime file") << "frames.mov" << false << "";
        QTest::newRow("29.97 frames a second") << "bars2997.mp4" << false << "";
    }
    void endKeyThenOHoldsTheLastFrame() {
        QFETCH(QString, file);
        QFETCH(bool, stepBack);
        World world;
        TMainForm* form = world.form.get();
        world.open(file);
        world.fakes.messages.clear();
        FilterGraph* graph = form->filterGraph;
        QTest::keyClick(form->videoWindow, Qt::Key_End);
        QTRY_VERIFY(!graph->Seeking() && graph->ExactPosition() > 3.5);
        if (stepBack) {
            const double last = graph->ExactPosition();
            QTest::keyClick(form->videoWindow, Qt::Key_Comma);
            QTRY_VERIFY(!graph->Seeking() && graph->ExactPosition() < last - 0.01);
        }
        const double lastFrame = graph->ExactPosition();
        QTest::keyClick(form->videoWindow, Qt::Key_O);
        QFETCH(QString, end);
        if (end.isEmpty()) {
            QCOMPARE(form->edtEnd->text(), SecondsToMarkText(graph->Duration() / 1000.0));
            QVERIFY(form->tkbProgress->SelEndSeconds() > lastFrame);
        } else {
            QCOMPARE(form->edtEnd->text(), end);
        }
        QCOMPARE(form->labEnd->text(), form->edtEnd->text() + " ]");
    }

    // The labels meet and part as the marks move: apart, each stands at its mark by its own
    // width; meeting, they stand side by side, start first, on the same line, never overlapping.
    void labelsMeetAndPart() {
        World world;
        TMainForm* form = world.form.get();
        world.open(QStringLiteral("range90_4.mp4"));
        const TDSTrackBar* bar = form->tkbProgress;
        QCOMPARE(bar->Max(), 90);
        const QLabel* start = form->labStart;
        const QLabel* end = form->labEnd;
        const int line = start->y();
        const auto check = [&](int startMark, int endMark, bool met) {
            // Each label is as wide as its caption needs.
            QCOMPARE(start->width(), start->sizeHint().width());
            QCOMPARE(end->width(), end->sizeHint().width());
            QCOMPARE(start->y(), line);
            QCOMPARE(end->y(), line);
            QVERIFY2(
                start->x() + start->width() + kMarkLabelGap <= end->x(),
                qPrintable(
                    QStringLiteral("%1+%2 %3").arg(start->x()).arg(start->width()).arg(end->x())));
            const bool atMarks = qAbs(start->x() - markX(bar, startMark)) <= 0.5 &&
                                 qAbs(end->x() + end->width() - markX(bar, endMark)) <= 0.5;
            QCOMPARE(atMarks, !met);
        };
        run(form, QStringLiteral("start=00:00:40"));
        run(form, QStringLiteral("end=00:00:42"));
        check(40, 42, true);
        run(form, QStringLiteral("end=00:01:20"));
        check(40, 80, false);
        run(form, QStringLiteral("start=00:01:19"));
        check(79, 80, true);
        run(form, QStringLiteral("start=00:00:00"));
        check(0, 80, false);
        // An erased end label no longer pushes the start label away from its mark.
        run(form, QStringLiteral("erase"));
        run(form, QStringLiteral("start=00:01:20"));
        QVERIFY(end->isHidden());
        QVERIFY(qAbs(start->x() - markX(bar, 80)) <= 0.5);
    }

    // Whatever the range and the window's width, both labels are in full view under the bar,
    // the start one first, never touching.
    void labelsNeverMeetAtAnyRangeOrSize_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        for (const int width : {772, 1920}) {
            const QByteArray size = QByteArray::number(width) + " wide, ";
            QTest::newRow(size + "short range") << width << "00:00:03"
                                                << "00:00:05";
            QTest::newRow(size + "at the start") << width << "00:00:00"
                                                 << "00:00:01";
            QTest::newRow(size + "at the end") << width << "00:01:29"
                                               << "00:01:30";
            QTest::newRow(size + "whole source") << width << "00:00:00"
                                                 << "00:01:30";
            QTest::newRow(size + "same second") << width << "00:00:45"
                                                << "00:00:45";
        }
    }
    void labelsNeverMeetAtAnyRangeOrSize() {
        QFETCH(int, width);
        QFETCH(QString, start);
        QFETCH(QString, end);
        World world;
        TMainForm* form = world.form.get();
        form->show();
        world.open(QStringLiteral("range90_4.mp4"));
        run(form, QStringLiteral("start=") + start);
        run(form, QStringLiteral("end=") + end);
        // The labels follow the bar when the window changes size after the marks were set.
        form->resize(width, form->height());
        QTRY_COMPARE(form->width(), width);
        const QRect panel = form->panLeft->rect();
        const QRect startRect = form->labStart->geometry();
        const QRect endRect = form->labEnd->geometry();
        QVERIFY(form->labStart->isVisible() && form->labEnd->isVisible());
        QVERIFY(panel.contains(startRect));
        QVERIFY(panel.contains(endRect));
        QCOMPARE(endRect.top(), startRect.top());
        QVERIFY2(startRect.right() + kMarkLabelGap < endRect.left(),
                 qPrintable(QStringLiteral("%1..%2 and %3..%4")
                                .arg(startRect.left())
                                .arg(startRect.right())
                                .arg(endRect.left())
                                .arg(endRect.right())));
        QVERIFY(startRect.top() > form->tkbProgress->geometry().bottom());
        QVERIFY(endRect.bottom() < form->imgPlay->geometry().top());
        // Apart, each stands at its mark on the stretched bar.
        const TDSTrackBar* bar = form->tkbProgress;
        if (bar->SelEnd() - bar->SelStart() > 20) {
            QVERIFY(qAbs(startRect.left() - markX(bar, bar->SelStart())) <= 0.5);
            QVERIFY(qAbs(endRect.right() + 1 - markX(bar, bar->SelEnd())) <= 0.5);
        }
    }

    // A source under one second has a bar of Max 0: both labels stand at its left edge, side by
    // side.
    void shortSourceLabelsAtTheLeftEdge() {
        World world;
        TMainForm* form = world.form.get();
        world.open(QStringLiteral("short0_6.mp4"));
        QCOMPARE(form->tkbProgress->Max(), 0);
        run(form, QStringLiteral("selStart"));
        run(form, QStringLiteral("end=00:00:01"));
        QCOMPARE(form->tkbProgress->SelEnd(), 1); // 0.6 s rounded
        QVERIFY(form->labStart->x() <= form->tkbProgress->x());
        QVERIFY(form->labStart->x() >= 0);
        QCOMPARE(form->labEnd->x(), form->labStart->x() + form->labStart->width() + kMarkLabelGap);
        QCOMPARE(form->labEnd->y(), form->labStart->y());
        QVERIFY(!form->labStart->isHidden());
        QCOMPARE(form->labLength->text(), kLengthPrefix + "00:00:00.600");
    }

    void sectionCountClickChoosesEqualSections() {
        World world;
        TMainForm* form = world.form.get();
        QVERIFY(form->rdbStartEnd->isChecked());
        // Entering by keyboard does not change the mode; a click does, even with no source.
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(form->edtSectionQty, &in);
        QVERIFY(form->rdbStartEnd->isChecked());
        QTest::mouseClick(form->edtSectionQty, Qt::LeftButton);
        QVERIFY(form->rdbEqual->isChecked());
        QVERIFY(!form->rdbStartEnd->isChecked());
    }

    // The keys set the marks from the playing position, like the buttons.
    void keysMarkFromThePlayingPosition() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        // Up and active, as a user finds it, before the picture takes the focus.
        QVERIFY(QTest::qWaitForWindowActive(form));
        form->videoWindow->setFocus();
        QWidget* target = form->videoWindow;
        const auto press = [&](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
            QTest::keyClick(target, key, modifiers);
        };

        // Nothing before a source is opened.
        press(Qt::Key_I);
        press(Qt::Key_Right);
        QVERIFY(!form->filterGraph->Active());
        QVERIFY(form->labStart->isHidden());

        form->OpenSource(fixture(QStringLiteral("counter.mp4")));
        FilterGraph* graph = form->filterGraph;
        QVERIFY(graph->IsPlaying());
        press(Qt::Key_Space);
        QVERIFY(!graph->IsPlaying());
        press(Qt::Key_Space);
        QVERIFY(graph->IsPlaying());
        press(Qt::Key_Space);
        QVERIFY(!graph->IsPlaying());

        graph->SeekTo(3200);
        QTRY_VERIFY(qAbs(graph->CurrentPosition() - 3200) < 100);
        press(Qt::Key_Right);
        QCOMPARE(form->tkbProgress->Position(), 4);
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:04.200"));
        // The mark is the frame shown, to the millisecond (counter.mp4 has 25 frames a second).
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 4.2) < 0.001);
        press(Qt::Key_I);
        QCOMPARE(form->tkbProgress->SelStart(), 4);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:04.200"));
        press(Qt::Key_Left);
        QCOMPARE(form->tkbProgress->Position(), 3);
        QTRY_VERIFY(qAbs(graph->CurrentPosition() - 3200) < 100);
        press(Qt::Key_Right, Qt::ShiftModifier); // beyond the end: the end
        QCOMPARE(form->tkbProgress->Position(), 10);
        QTRY_VERIFY(!graph->Seeking() && graph->CurrentPosition() > 9000);
        press(Qt::Key_O);
        QCOMPARE(form->tkbProgress->SelEnd(), 10);
        const double end = TimeTextToSeconds(form->edtEnd->text());
        QVERIFY2(end > 9.9 && end < 10.1, qPrintable(form->edtEnd->text()));
        QCOMPARE(form->labLength->text(), kLengthPrefix + "00:00:05.800");

        // Frame steps, both ways, and the marks' keys: the label and the thumb follow.
        press(Qt::Key_Home);
        QCOMPARE(form->tkbProgress->Position(), 0);
        QTRY_VERIFY(graph->CurrentPosition() < 100);
        press(Qt::Key_Left, Qt::ShiftModifier); // before the start: the start
        QCOMPARE(form->tkbProgress->Position(), 0);
        press(Qt::Key_I, Qt::ShiftModifier);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 4.2) < 0.001);
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:04.200"));
        QCOMPARE(form->tkbProgress->Position(), 4);
        press(Qt::Key_Period);
        QTRY_VERIFY(!graph->IsPlaying() && qAbs(graph->ExactPosition() - 4.24) < 0.001);
        press(Qt::Key_Comma);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 4.2) < 0.001);
        press(Qt::Key_Comma);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 4.16) < 0.001);
        QTRY_COMPARE(form->labCurrent->text(), QStringLiteral("00:00:04.160"));
        press(Qt::Key_O, Qt::ShiftModifier);
        QTRY_VERIFY(!graph->Seeking() && graph->ExactPosition() > 9.9);
        QTRY_COMPARE(form->labCurrent->text(), PositionText(graph->ExactPosition(), false));
        // A keyframe every second in counter.mp4.
        press(Qt::Key_Left, Qt::ControlModifier);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 9.0) < 0.001);
        press(Qt::Key_End);
        QCOMPARE(form->tkbProgress->Position(), 10);
        QVERIFY(!graph->IsPlaying());

        // The focused position bar seeks with the arrows and Home like the window.
        QTRY_VERIFY(graph->CurrentPosition() > 9000);
        target = form->tkbProgress;
        press(Qt::Key_Home);
        QCOMPARE(form->tkbProgress->Position(), 0);
        QTRY_VERIFY(graph->CurrentPosition() < 100);
        press(Qt::Key_Right);
        QTRY_VERIFY(qAbs(graph->CurrentPosition() - 1000) < 100);
        // The thumb has followed the picture there, so no report of it lands after the next key.
        QTRY_COMPARE(form->labCurrent->text(), QStringLiteral("00:00:01"));
        press(Qt::Key_PageUp);
        QCOMPARE(form->tkbProgress->Position(), 10);
        QTRY_VERIFY(graph->CurrentPosition() > 9000);

        // A field keeps its keys: the letter is typed, no mark moves.
        target = form->edtStart;
        press(Qt::Key_I);
        press(Qt::Key_Home);
        QCOMPARE(form->tkbProgress->SelStart(), 4);
        QCOMPARE(form->tkbProgress->Position(), 10);
        QVERIFY(form->edtStart->text().contains(QLatin1Char('i')));

        // No keys while a job runs.
        target = form->videoWindow;
        form->JobState = JobRunning;
        press(Qt::Key_Home);
        press(Qt::Key_I);
        press(Qt::Key_Space);
        QCOMPARE(form->tkbProgress->Position(), 10);
        QCOMPARE(form->tkbProgress->SelStart(), 4);
        QVERIFY(!graph->IsPlaying());
    }

    // Paused or stepping, the position label tells the frame to the millisecond, the same time
    // I would mark; playing, whole seconds.
    void positionLabelWhilePausedOrStepping_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("frameSeconds");
        QTest::addColumn<int>("steps"); // "." presses from the frame at 1 s
        QTest::addColumn<QString>("shown");
        QTest::newRow("five steps at 29.97/s")
            << "bars2997.mp4" << 1001 / 30000.0 << 5 << "00:00:01.168"; // frame 35
        QTest::newRow("four steps at 25/s") << "frames.mp4" << 0.04 << 4 << "00:00:01.160";
        QTest::newRow("no step") << "frames.mp4" << 0.04 << 0 << "00:00:01";
    }
    void positionLabelWhilePausedOrStepping() {
        QFETCH(QString, file);
        QFETCH(double, frameSeconds);
        QFETCH(int, steps);
        World world;
        TMainForm* form = world.form.get();
        world.open(file);
        FilterGraph* graph = form->filterGraph;
        const int first = int(std::ceil(1.0 / frameSeconds - 1e-6)); // the first frame at 1 s on
        graph->SeekToSeconds(first * frameSeconds);
        QTRY_VERIFY(!graph->Seeking() &&
                    qAbs(graph->ExactPosition() - first * frameSeconds) < 1e-3);
        for (int step = 1; step <= steps; ++step) {
            QTest::keyClick(form->videoWindow, Qt::Key_Period);
            QTRY_VERIFY(!graph->Seeking() &&
                        qAbs(graph->ExactPosition() - (first + step) * frameSeconds) < 1e-3);
        }
        QFETCH(QString, shown);
        QTRY_COMPARE(form->labCurrent->text(), shown);
        QTest::keyClick(form->videoWindow, Qt::Key_I);
        QCOMPARE(form->edtStart->text(), shown);
        // Playing: whole seconds; the Pause button's pause: the frame again, to the millisecond.
        form->imgPauseClick();
        QVERIFY(graph->IsPlaying());
        QTRY_VERIFY(graph->ExactPosition() > 1.3);
        form->tkbProgress->RefreshTick();
        QCOMPARE(form->labCurrent->text(), SecondsToTimeText(form->tkbProgress->Position()));
        form->imgPauseClick();
        QVERIFY(!graph->IsPlaying());
        QCOMPARE(form->labCurrent->text(),
                 SecondsToMarkText(FrameMarkSeconds(graph->ExactPosition())));
    }

    // Space plays and pauses whatever has the focus, except a field where it is typed; a focused
    // button is not pressed by it.
    void spaceFromAnywhereButATextField_data() {
        QTest::addColumn<QString>("focus"); // object name
        QTest::addColumn<bool>("toggles");
        QTest::newRow("the picture") << "VideoWindow" << true;
        QTest::newRow("Help on the tool bar") << "tbtnHelp" << true;
        QTest::newRow("Open on the tool bar") << "tbtnOpen" << true;
        QTest::newRow("Set the Start Time") << "imgSelStart" << true;
        QTest::newRow("a mode button") << "rdbEqual" << true;
        QTest::newRow("the profile list") << "cmbProfile" << true;
        QTest::newRow("the position bar") << "tkbProgress" << true;
        QTest::newRow("Source") << "edtSource" << false;
        QTest::newRow("End Time") << "edtEnd" << false;
        QTest::newRow("section count") << "edtSectionQty" << false;
    }
    void spaceFromAnywhereButATextField() {
        QFETCH(QString, focus);
        QFETCH(bool, toggles);
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        world.open(QStringLiteral("counter.mp4"));
        const bool modeBefore = form->rdbEqual->isChecked();
        auto* widget = form->findChild<QWidget*>(focus);
        QVERIFY(widget);
        widget->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), widget);
        QTest::keyClick(widget, Qt::Key_Space);
        QCOMPARE(form->filterGraph->IsPlaying(), toggles);
        // Nothing else happened: no page opened, no dialog, no mode changed, no mark set.
        QVERIFY(world.fakes.openedUrls.isEmpty());
        QVERIFY(world.fakes.openFilters.isEmpty());
        QCOMPARE(form->rdbEqual->isChecked(), modeBefore);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:00"));
        if (auto* field = qobject_cast<QLineEdit*>(widget))
            QVERIFY(field->text().contains(QLatin1Char(' ')));
    }

    // With Space playing and pausing, the keyboard presses a focused button with Enter: the
    // choices and the buttons stay in reach without a mouse, and the video keeps its state.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("focus"); // object name
        QTest::addColumn<int>("key");
        QTest::newRow("a mode button, Return") << "rdbEqual" << int(Qt::Key_Return);
        QTest::newRow("a mode button, keypad Enter") << "rdbEqual" << int(Qt::Key_Enter);
        QTest::newRow("Set the Start Time") << "imgSelStart" << int(Qt::Key_Return);
        QTest::newRow("Help on the tool bar") << "tbtnHelp" << int(Qt::Key_Return);
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        world.open(QStringLiteral("counter.mp4"));
        form->filterGraph->Pause();
        form->filterGraph->SeekTo(2000);
        // The mark takes the frame shown: wait for it, not only for the seek's end.
        QTRY_VERIFY(!form->filterGraph->Seeking() &&
                    qAbs(form->filterGraph->ExactPosition() - 2.0) < 0.001);
        auto* button = form->findChild<QAbstractButton*>(focus);
        QVERIFY(button);
        QSignalSpy clicked(button, &QAbstractButton::clicked);
        button->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button));
        QTest::keyClick(button, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!form->filterGraph->IsPlaying());
        if (focus == QLatin1String("rdbEqual"))
            QVERIFY(form->rdbEqual->isChecked());
        if (focus == QLatin1String("imgSelStart"))
            QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:02"));
        if (focus == QLatin1String("tbtnHelp"))
            QCOMPARE(world.fakes.openedUrls.size(), 1);
    }

    // The picture shows when it has the focus: a frame in the highlight colour around it.
    void previewShowsItsFocus() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        world.open(QStringLiteral("counter.mp4"));
        VideoWindow* picture = form->videoWindow;
        const QColor highlight = picture->palette().color(QPalette::Active, QPalette::Highlight);
        const auto edge = [&] { return picture->grab().toImage().pixelColor(1, 1); };
        form->edtSectionQty->setFocus();
        QTRY_VERIFY(!picture->hasFocus());
        QVERIFY(edge() != highlight);
        QTest::mouseClick(picture, Qt::LeftButton);
        QTRY_VERIFY(picture->hasFocus());
        QCOMPARE(edge(), highlight);
        form->edtSectionQty->setFocus();
        QTRY_VERIFY(!picture->hasFocus());
        QVERIFY(edge() != highlight);
    }

    // A click on the picture takes the focus from the field or list used last, so the keys
    // that follow work the preview instead of changing the field.
    void clickOnThePictureTakesTheKeys() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        world.open(QStringLiteral("counter.mp4"));
        for (QWidget* field : {static_cast<QWidget*>(form->cmbProfile),
                               static_cast<QWidget*>(form->edtSectionQty)}) {
            field->setFocus();
            QCOMPARE(QApplication::focusWidget(), field);
            QTest::mouseClick(form->videoWindow, Qt::LeftButton);
            QCOMPARE(QApplication::focusWidget(), form->videoWindow);
        }
        form->filterGraph->SeekTo(3000);
        QTRY_VERIFY(!form->filterGraph->Seeking() &&
                    qAbs(form->filterGraph->ExactPosition() - 3.0) < 0.001);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_I);
        QCOMPARE(form->tkbProgress->SelStart(), 3);
    }

    // The start label tells whether the start mark sits on a keyframe, once the keyframes are
    // known; a new source shows its own time at once.
    void startMarkTellsKeyframeAndNewSourceItsTime() {
        World world;
        TMainForm* form = world.form.get();
        world.open(QStringLiteral("counter.mp4"));
        form->filterGraph->SeekTo(7000);
        QTRY_COMPARE(form->labCurrent->text(), QStringLiteral("00:00:07"));

        world.open(QStringLiteral("frames.mp4")); // a keyframe every 0.48 s
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:00"));
        QCOMPARE(form->tkbProgress->Position(), 0);
        QTRY_VERIFY(form->keyframeIndex->Ready());
        QCOMPARE(form->tkbProgress->Keyframes().size(), 9);
        const auto typeStart = [&](const char* text) {
            form->edtStart->setText(QString::fromLatin1(text));
            QTest::keyClick(form->edtStart, Qt::Key_Return);
            return form->labStart->toolTip();
        };
        QVERIFY(typeStart("0:0:0.96").contains(QLatin1String("on a keyframe")));
        QVERIFY(typeStart("0:0:1").contains(QLatin1String("between keyframes")));
        QCOMPARE(form->labStart->accessibleDescription(), form->labStart->toolTip());
    }

    // A job stops the preview at the first frame: afterwards the thumb and the position label
    // show that frame again, and a mark set then is that frame.
    void afterAJobPictureThumbAndTimeAgree() {
        World world;
        TMainForm* form = world.form.get();
        world.open(QStringLiteral("counter.mp4"));
        form->filterGraph->SeekTo(6000);
        QTRY_COMPARE(form->labCurrent->text(), QStringLiteral("00:00:06"));
        form->JobState = JobRunning;
        form->EnterJobState();
        form->tmrPreviewTimer();
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:10"));
        QTRY_VERIFY(!form->filterGraph->Seeking() && form->filterGraph->ExactPosition() == 0);
        form->LeaveJobState();
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:00"));
        QCOMPARE(form->tkbProgress->Position(), 0);
        form->imgSelStartClick();
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:00"));
    }

    // A screen reader's user goes through the mended window by its accessibility tree: a path
    // given to Source and confirmed, the whole video marked, Pause | Resume, the exact position,
    // the bar moved, End then O, the length to the millisecond, a refused file.
    void journeyThroughTheAccessibilityTree() {
        World world;
        TMainForm* form = world.form.get();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form);
        const auto field = [&](const char* label) {
            QAccessibleInterface* found =
                findAccessible(window, QAccessible::EditableText, QString::fromLatin1(label));
            return found;
        };
        QAccessibleInterface* source = field("Source:");
        QAccessibleInterface* end = field("End Time:");
        QVERIFY(source && source->editableTextInterface() && end);

        // Source: the path written in, Enter pressed.
        source->editableTextInterface()->insertText(0, fixture("frames.mp4"));
        QTest::keyClick(form->edtSource, Qt::Key_Return);
        QCOMPARE(form->OpenSourcePath(), fixture("frames.mp4"));
        QCOMPARE(end->text(QAccessible::Value), QStringLiteral("00:00:04"));

        // Pause | Resume pauses and resumes.
        QAccessibleInterface* pause =
            findAccessible(window, QAccessible::Button, QStringLiteral("Pause | Resume"));
        // (The press action animates the click: it lands from the event loop.)
        pressByAction(pause);
        QTRY_VERIFY(!form->filterGraph->IsPlaying());
        pressByAction(pause);
        QTRY_VERIFY(form->filterGraph->IsPlaying());
        pressByAction(pause);
        QTRY_VERIFY(!form->filterGraph->IsPlaying());

        // The bar moved to 1 s takes the picture along; the position reads to the millisecond
        // once a frame step follows.
        QAccessibleInterface* bar =
            findAccessible(window, QAccessible::Slider, QStringLiteral("Position"));
        QVERIFY(bar && bar->valueInterface());
        bar->valueInterface()->setCurrentValue(1);
        FilterGraph* graph = form->filterGraph;
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 1.0) < 1e-3);
        form->videoWindow->setFocus();
        QTest::keyClick(form->videoWindow, Qt::Key_Period);
        QTRY_VERIFY(!graph->Seeking() && qAbs(graph->ExactPosition() - 1.04) < 1e-3);
        QAccessibleInterface* current = QAccessible::queryAccessibleInterface(form->labCurrent);
        QTRY_COMPARE(current->text(QAccessible::Value), QStringLiteral("00:00:01.040"));
        QVERIFY(form->videoWindow->hasFocus());

        // Start Time at the frame shown, End then O: the range ends with the video, its length
        // to the millisecond.
        pressByAction(
            findAccessible(window, QAccessible::Button, QStringLiteral("Set the Start Time")));
        QTRY_COMPARE(form->edtStart->text(), QStringLiteral("00:00:01.040"));
        QTest::keyClick(form->videoWindow, Qt::Key_End);
        QTRY_VERIFY(!graph->Seeking() && graph->ExactPosition() > 3.9);
        QTest::keyClick(form->videoWindow, Qt::Key_O);
        QCOMPARE(end->text(QAccessible::Value), QStringLiteral("00:00:04"));
        QCOMPARE(QAccessible::queryAccessibleInterface(form->labLength)->text(QAccessible::Name),
                 kLengthPrefix + "00:00:02.960");

        // Space with a tool-bar button focused pauses and resumes; it opens no help page.
        QWidget* help = form->tbtnHelp;
        help->setFocus(Qt::TabFocusReason);
        QTest::keyClick(help, Qt::Key_Space);
        QVERIFY(graph->IsPlaying());
        QTest::keyClick(help, Qt::Key_Space);
        QVERIFY(!graph->IsPlaying());
        QVERIFY(world.fakes.openedUrls.isEmpty());

        // A text file given to Source is refused, and Source names the open video again.
        source->editableTextInterface()->replaceText(0, form->edtSource->text().size(),
                                                     fixture("notvideo.mp4"));
        QTest::keyClick(form->edtSource, Qt::Key_Return);
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(source->text(QAccessible::Value), fixture("frames.mp4"));
        QCOMPARE(end->text(QAccessible::Value), QStringLiteral("00:00:04"));
    }

    void keyTable_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("action");
        const auto row = [](const char* name, int key, Qt::KeyboardModifiers modifiers,
                            MarkingKey action) {
            QTest::newRow(name) << key << int(modifiers) << int(action);
        };
        row("Space", Qt::Key_Space, {}, MarkingKey::PlayPause);
        row("I", Qt::Key_I, {}, MarkingKey::MarkStart);
        row("Shift+I", Qt::Key_I, Qt::ShiftModifier, MarkingKey::ToMarkStart);
        row("O", Qt::Key_O, {}, MarkingKey::MarkEnd);
        row("Shift+O", Qt::Key_O, Qt::ShiftModifier, MarkingKey::ToMarkEnd);
        row("A", Qt::Key_A, {}, MarkingKey::AddRange);
        row("Shift+A belongs to others", Qt::Key_A, Qt::ShiftModifier, MarkingKey::None);
        row("Ctrl+A belongs to others", Qt::Key_A, Qt::ControlModifier, MarkingKey::None);
        row("comma", Qt::Key_Comma, {}, MarkingKey::FrameBack);
        row("period", Qt::Key_Period, {}, MarkingKey::FrameForward);
        row("Ctrl+Left", Qt::Key_Left, Qt::ControlModifier, MarkingKey::KeyframeBack);
        row("Ctrl+Right", Qt::Key_Right, Qt::ControlModifier, MarkingKey::KeyframeForward);
        row("Ctrl+Shift+Left belongs to others", Qt::Key_Left,
            Qt::ControlModifier | Qt::ShiftModifier, MarkingKey::None);
        row("Left", Qt::Key_Left, {}, MarkingKey::Back);
        row("keypad Left", Qt::Key_Left, Qt::KeypadModifier, MarkingKey::Back);
        row("Shift+Left", Qt::Key_Left, Qt::ShiftModifier, MarkingKey::BackFar);
        row("Right", Qt::Key_Right, {}, MarkingKey::Forward);
        row("Shift+Right", Qt::Key_Right, Qt::ShiftModifier, MarkingKey::ForwardFar);
        row("Home", Qt::Key_Home, {}, MarkingKey::ToStart);
        row("End", Qt::Key_End, {}, MarkingKey::ToEnd);
        row("Ctrl+O belongs to others", Qt::Key_O, Qt::ControlModifier, MarkingKey::None);
        row("Alt+Left belongs to others", Qt::Key_Left, Qt::AltModifier, MarkingKey::None);
        row("Ctrl+Up", Qt::Key_Up, Qt::ControlModifier, MarkingKey::ZoomIn);
        row("Ctrl+Down", Qt::Key_Down, Qt::ControlModifier, MarkingKey::ZoomOut);
        row("plus, typed with Shift", Qt::Key_Plus, Qt::ShiftModifier, MarkingKey::ZoomIn);
        row("keypad minus", Qt::Key_Minus, Qt::KeypadModifier, MarkingKey::ZoomOut);
        row("Ctrl+0", Qt::Key_0, Qt::ControlModifier, MarkingKey::ZoomWhole);
        row("Up alone belongs to others", Qt::Key_Up, {}, MarkingKey::None);
        row("C", Qt::Key_C, {}, MarkingKey::SceneForward);
        row("Shift+C", Qt::Key_C, Qt::ShiftModifier, MarkingKey::SceneBack);
        row("B", Qt::Key_B, {}, MarkingKey::BlackForward);
        row("Shift+B", Qt::Key_B, Qt::ShiftModifier, MarkingKey::BlackBack);
        row("S", Qt::Key_S, {}, MarkingKey::SilenceForward);
        row("Shift+S", Qt::Key_S, Qt::ShiftModifier, MarkingKey::SilenceBack);
        row("Ctrl+S", Qt::Key_S, Qt::ControlModifier, MarkingKey::Snapshot);
        row("Ctrl+C belongs to others", Qt::Key_C, Qt::ControlModifier, MarkingKey::None);
        row("other letters", Qt::Key_P, {}, MarkingKey::None);
    }
    void keyTable() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QTEST(int(MarkingKeyFor(key, Qt::KeyboardModifiers(modifiers))), "action");
    }
};

QTEST_MAIN(TestRangeMarking)
#include "test_range_marking.moc"
