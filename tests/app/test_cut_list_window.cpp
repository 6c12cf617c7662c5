// The cut list in the main window on generated media (SEGMORA_NEEDS_MEDIA): a journey through
// the accessibility tree that adds two ranges with the keys and cuts a clip of each, undo and
// redo from the keyboard, refusals that name the range and write nothing, and the list kept
// with its video.
#include "accessible_tree.h"
#include "ground/app_error.h"
#include "ground/time_text.h"
#include "job/cut_list.h"
#include "job/cut_list_file.h"
#include "media/video_window.h"
#include "split_window_world.h"

#include <QDateTime>
#include <QTableWidget>

using namespace segmora;
using test::findAccessible;
using test::SplitWorld;

namespace {

const QString kJob45 = test::fixture(QStringLiteral("job45.mp4"));
constexpr double kLengthTolerance = 0.15;

// Presses what a screen reader finds by its role and name, by its press action.
void press(TMainForm* form, QAccessible::Role role, const QString& name) {
    QAccessibleInterface* node = findAccessible(form, role, name);
    QVERIFY2(node && node->actionInterface(), qPrintable(name));
    const QStringList actions = node->actionInterface()->actionNames();
    node->actionInterface()->doAction(actions.contains(QAccessibleActionInterface::pressAction())
                                          ? QAccessibleActionInterface::pressAction()
                                          : QAccessibleActionInterface::toggleAction());
}

// A key on the preview.
void key(TMainForm* form, int code, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(form->videoWindow, Qt::Key(code), modifiers);
}

// A seek key, then the picture settled at seconds.
void seek(TMainForm* form, double seconds, int code, Qt::KeyboardModifiers modifiers = {}) {
    key(form, code, modifiers);
    QTRY_VERIFY(!form->filterGraph->Seeking() &&
                qAbs(form->filterGraph->ExactPosition() - seconds) < 0.05);
}

// The rows of the list as the table shows them: "start-end".
QStringList shownRows(const TMainForm* form) {
    QStringList rows;
    for (int row = 0; row < form->grdCutList->rowCount(); ++row)
        rows.append(form->grdCutList->item(row, 0)->text() + QLatin1Char('-') +
                    form->grdCutList->item(row, 1)->text());
    return rows;
}

// The marks as typed into the time fields and confirmed.
void mark(TMainForm* form, double start, double end) {
    form->edtStart->setText(SecondsToMarkText(start));
    form->edtStartExit();
    form->edtEnd->setText(SecondsToMarkText(end));
    form->edtEndExit();
}

// Opens the video paused at its start with the keys reaching the preview.
void openPaused(SplitWorld& world, const QString& path) {
    TMainForm* form = world.form;
    form->OpenSource(path);
    form->imgPauseClick();
    form->videoWindow->setFocus();
    seek(form, 0, Qt::Key_Home);
}

// I, O and A at 10 s and 20 s, then at 30 s and (a second at a time) 35 s: two ranges added
// with the keys.
void addTwoRangesWithKeys(TMainForm* form) {
    seek(form, 10, Qt::Key_Right, Qt::ShiftModifier);
    key(form, Qt::Key_I);
    seek(form, 20, Qt::Key_Right, Qt::ShiftModifier);
    key(form, Qt::Key_O);
    key(form, Qt::Key_A);
    seek(form, 30, Qt::Key_Right, Qt::ShiftModifier);
    key(form, Qt::Key_I);
    for (int second = 31; second <= 35; ++second)
        seek(form, second, Qt::Key_Right);
    key(form, Qt::Key_O);
    key(form, Qt::Key_A);
}

// The third choice, the profile and Start through the accessibility tree, into the world's
// output folder; true once the job has ended with its success message.
bool splitTheCutList(SplitWorld& world, const QString& profile) {
    TMainForm* form = world.form;
    press(form, QAccessible::RadioButton, QStringLiteral("Split the ranges of the cut list:"));
    if (!form->rdbCutList->isChecked())
        return false;
    form->cmbProfile->setCurrentIndex(form->cmbProfile->findText(profile));
    form->edtOutputDir->setText(world.out.path());
    press(form, QAccessible::Button, QStringLiteral("Start"));
    // The press may reach the button from the event loop: the job's end is its message.
    return QTest::qWaitFor(
               [&] { return !world.fakes.messages.isEmpty() && form->RunningJob() == nullptr; },
               60000) &&
           world.messageTexts() ==
               QStringList{QStringLiteral("Splitting is completed successfully.")};
}

} // namespace

class TestCutListWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        QVERIFY2(QFile::exists(kJob45), "run make_fixtures.sh first");
    }

    // I, O and A twice, Ctrl+Z and Ctrl+Shift+Z, the third choice and Start, all as the keyboard
    // and a screen reader reach them: two clips, each of its range.
    void journeyThroughTheAccessibilityTree() {
        SplitWorld world;
        TMainForm* form = world.form;
        openPaused(world, kJob45);
        addTwoRangesWithKeys(form);

        const QStringList both{QStringLiteral("00:00:10-00:00:20"),
                               QStringLiteral("00:00:30-00:00:35")};
        QCOMPARE(world.messageTexts().join("/"), QString());
        QCOMPARE(shownRows(form), both);
        QVERIFY(!form->panCutList->isHidden());
        QVERIFY(findAccessible(form, QAccessible::Table, QStringLiteral("Cut list")));
        QCOMPARE(form->tkbProgress->PaintedRanges(QStringLiteral("cut list")).size(), 2);
        QVERIFY(form->tkbProgress->PaintedRanges(QStringLiteral("cut list"))[0].color !=
                form->tkbProgress->PaintedRanges(QStringLiteral("cut list"))[1].color);

        // Back over the second add and the marks before it, and forward again.
        QTest::keyClick(form->videoWindow, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(shownRows(form), both.mid(0, 1));
        QTest::keyClick(form->videoWindow, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->edtEnd->text(), QStringLiteral("00:00:20"));
        QTest::keyClick(form->videoWindow, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(form->videoWindow, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shownRows(form), both);
        QCOMPARE(form->tkbProgress->PaintedRanges(QStringLiteral("cut list")).size(), 2);

        QVERIFY2(splitTheCutList(world, QStringLiteral("MP4")),
                 qPrintable(world.messageTexts().join("/")));
        QCOMPARE(
            QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            (QStringList{QStringLiteral("job45_Clip1.mp4"), QStringLiteral("job45_Clip2.mp4")}));
        const QList<double> lengths{10, 5};
        for (int clip = 1; clip <= 2; ++clip) {
            const double made =
                test::probe(world.outPath(QStringLiteral("job45_Clip%1.mp4").arg(clip))).duration;
            QVERIFY2(qAbs(made - lengths[clip - 1]) <= kLengthTolerance,
                     qPrintable(QString::number(made)));
        }
    }

    // Two ranges added with the keys, written as one file joining them: the check box and Start
    // reached through the accessibility tree, the lossless profile, one clip named as a single
    // one, as long as both ranges, a chapter each.
    void joinedThroughTheAccessibilityTree() {
        SplitWorld world;
        TMainForm* form = world.form;
        openPaused(world, kJob45);
        addTwoRangesWithKeys(form);
        QCOMPARE(shownRows(form).size(), 2);

        QVERIFY(!form->chkJoinRanges->isChecked()); // clips of their own unless asked
        press(form, QAccessible::CheckBox, QStringLiteral("One file joining the ranges"));
        QVERIFY(form->chkJoinRanges->isChecked());
        QVERIFY2(splitTheCutList(world, QStringLiteral("Settings of the source file.")),
                 qPrintable(world.messageTexts().join("/")));
        QCOMPARE(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList{QStringLiteral("job45_Clip1.mp4")});
        const test::Probe joined = test::probe(world.outPath(QStringLiteral("job45_Clip1.mp4")));
        QVERIFY2(qAbs(joined.duration - 15) <= kLengthTolerance,
                 qPrintable(QString::number(joined.duration)));
        QCOMPARE(joined.chapters, 2);
    }

    // Selecting a row puts its times into the fields; the fields then move that row, and the
    // move is undone like any change.
    void selectedRowTakesTheMarks() {
        SplitWorld world;
        TMainForm* form = world.form;
        openPaused(world, kJob45);
        for (const auto& [start, end] : {std::pair{5.0, 8.0}, std::pair{12.0, 15.0}}) {
            mark(form, start, end);
            form->btnAddRangeClick();
        }
        form->grdCutList->selectRow(0);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:05"));
        QCOMPARE(form->edtEnd->text(), QStringLiteral("00:00:08"));
        form->edtEnd->setText(QStringLiteral("00:00:09.5"));
        form->edtEndExit();
        QCOMPARE(shownRows(form), (QStringList{QStringLiteral("00:00:05-00:00:09.500"),
                                               QStringLiteral("00:00:12-00:00:15")}));
        QCOMPARE(form->tkbProgress->PaintedRanges(QStringLiteral("cut list"))[0].to, 9.5);
        form->actUndo->trigger();
        QCOMPARE(shownRows(form).first(), QStringLiteral("00:00:05-00:00:08"));
        QCOMPARE(form->edtEnd->text(), QStringLiteral("00:00:08"));
        // Remove the selection lets go of the row; undo brings the row's marks back.
        form->imgEraseClick();
        QCOMPARE(form->cutList->selected(), -1);
        form->actUndo->trigger();
        QCOMPARE(form->cutList->selected(), 0);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:05"));
    }

    // A list the job cannot cut is refused before anything is written, naming the range.
    void refusalsNameTheRange_data() {
        QTest::addColumn<QList<double>>("marks"); // start, end pairs added in turn
        QTest::addColumn<double>("secondStart");  // moves the second row's start; -1: not
        QTest::addColumn<QString>("message");
        QTest::newRow("empty list") << QList<double>{} << -1.0
                                    << "The cut list holds no range. Mark a range and add it to "
                                       "the list first.";
        QTest::newRow("overlapping add")
            << QList<double>{5, 10, 8, 12} << -1.0
            << "The marked range cannot be added to the cut list.\nThe marked range (00:00:08 to "
               "00:00:12) overlaps range 1 (00:00:05 to 00:00:10).";
        QTest::newRow("row moved onto another")
            << QList<double>{5, 10, 12, 15} << 8.0
            << "Range 2 (00:00:08 to 00:00:15) overlaps range 1 (00:00:05 to 00:00:10).";
    }
    void refusalsNameTheRange() {
        QFETCH(QList<double>, marks);
        QFETCH(double, secondStart);
        QFETCH(QString, message);
        SplitWorld world;
        TMainForm* form = world.form;
        openPaused(world, kJob45);
        for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
            mark(form, marks[i], marks[i + 1]);
            key(form, Qt::Key_A);
        }
        if (secondStart >= 0) {
            form->grdCutList->selectRow(1);
            mark(form, secondStart, form->cutList->markEnd());
        }
        form->rdbCutList->setChecked(true);
        form->cmbProfile->setCurrentIndex(form->cmbProfile->findText(QStringLiteral("MP4")));
        form->edtOutputDir->setText(world.out.path());
        if (world.fakes.messages.isEmpty())
            QVERIFY(world.runJob());
        QCOMPARE(world.messageTexts().first(), message);
        QCOMPARE(QDir(world.out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // The list is kept on every change and offered back when the same video opens again; a
    // changed file is another video.
    void keptWithTheVideo() {
        SplitWorld world;
        TMainForm* form = world.form;
        const QString video = world.sources.filePath(QStringLiteral("holiday.mp4"));
        QVERIFY(QFile::copy(kJob45, video));
        openPaused(world, video);
        mark(form, 3, 6.5);
        form->btnAddRangeClick();
        form->cmbCutListMode->setCurrentIndex(1);
        QCOMPARE(QDir(world.folder.context().cutListsFolder()).entryList(QDir::Files).size(), 1);

        openPaused(world, kJob45);
        QCOMPARE(form->cutList->ranges(), QList<CutRange>{});
        world.fakes.answers.enqueue(MessageAnswer::Yes);
        openPaused(world, video);
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages.first().title, QStringLiteral("Cut List"));
        QCOMPARE(form->cutList->ranges(), (QList<CutRange>{{3, 6.5}}));
        QCOMPARE(form->cmbCutListMode->currentIndex(), 1);
        QVERIFY(!form->cutList->canUndo());

        // Touched since: the times may mean other pictures, so nothing is offered.
        QFile file(video);
        QVERIFY(file.open(QIODevice::Append));
        file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                         QFileDevice::FileModificationTime);
        file.close();
        openPaused(world, video);
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(form->cutList->ranges(), QList<CutRange>{});
    }

    // Export writes what import reads back; a list of another video is refused by name.
    void exportAndImport() {
        SplitWorld world;
        TMainForm* form = world.form;
        openPaused(world, kJob45);
        mark(form, 1.25, 2.5);
        form->btnAddRangeClick();
        form->grdCutList->item(0, 3)->setText(QStringLiteral("intro, short"));
        QCOMPARE(form->cutList->ranges().first().label, QStringLiteral("intro, short"));
        const QString csv = world.out.filePath(QStringLiteral("list.csv"));
        const QString json = world.out.filePath(QStringLiteral("list.json"));
        for (const QString& path : {csv, json}) {
            world.fakes.fileToSave = path;
            form->btnExportCutListClick();
        }
        const QList<CutRange> exported = form->cutList->ranges();
        for (const QString& path : {csv, json}) {
            form->cutList->reset({}, 0, 0);
            world.fakes.fileToOpen = path;
            form->btnImportCutListClick();
            QCOMPARE(form->cutList->ranges(), exported);
        }
        const QString other = world.out.filePath(QStringLiteral("other.json"));
        QVERIFY(test::writeAll(other, CutListJson({exported, CutListMode::Keep},
                                                  {QStringLiteral("/x/other.mp4"), 7, 0})));
        world.fakes.fileToOpen = other;
        QVERIFY_THROWS_EXCEPTION(AppError, form->btnImportCutListClick());
    }
};

QTEST_MAIN(TestCutListWindow)
#include "test_cut_list_window.moc"
