// Taking a source into the main window against generated media: the open dialog, dropped
// files, the command line with its list files, bad inputs, the duration labels, the playback
// buttons and the position display (SEGMORA_NEEDS_MEDIA).
#include "app/main_form.h"
#include "app/picture_button.h"
#include "fake_seams.h"
#include "ground/time_text.h"
#include "media/filter_graph.h"
#include "media/source_intake.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <clocale>
#include <memory>

using namespace segmora;
using segmora::test::fixture;

namespace {

// A source whose name has blanks, quotes and letters beyond ASCII.
const QString kOddName =
    QStringLiteral("a clip 'with' \"quotes\" \u00e4\u00f6\u00fc \u65e5\u672c.mp4");

// One main window in its own program folder, with the dialogs and message boxes faked, and a
// scratch folder for list files and copies of the fixtures.
struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    QTemporaryDir scratch;
    std::unique_ptr<TMainForm> form;

    World() {
        // Copies under other names: an unsupported extension, capitals, an odd name; a folder
        // named like a video.
        QFile::copy(fixture("counter.mp4"), in("clip.rmvb"));
        QFile::copy(fixture("counter.mp4"), in("CLIP.MP4"));
        QFile::copy(fixture("counter.mp4"), in(kOddName));
        QDir().mkpath(in("dir.mp4"));
        QFile::copy(fixture("counter.mp4"), in(longName()));
    }
    // A name that makes the whole path longer than 253 characters.
    static QString longName() { return QString(240, QLatin1Char('n')) + QStringLiteral(".mp4"); }
    QString in(const QString& name) const { return scratch.path() + QLatin1Char('/') + name; }
    // "%F/" stands for the fixtures, "%T/" for the scratch folder.
    QString expand(QString text) const {
        return text.replace(QLatin1String("%F"), QStringLiteral(SEGMORA_FIXTURE_DIR))
            .replace(QLatin1String("%T"), scratch.path());
    }
    TMainForm* start(const QString& argument = {}) {
        form = std::make_unique<TMainForm>(folder.context(), argument);
        return form.get();
    }
    void setAptotic(bool on) {
        folder.writeFile(QStringLiteral("Preferences.ini"),
                         QByteArray("[Main]\nAptotic=") + (on ? "1" : "0") + "\n");
    }
};

void typeTime(QLineEdit* field, const QString& text) {
    field->setText(text);
    QTest::keyClick(field, Qt::Key_Return);
}

// What the drag source learns at each step of a drag: taken or not, and as which action.
struct DropReplies {
    bool entered = false;
    Qt::DropAction enterAction = Qt::IgnoreAction;
    bool moved = false;
    Qt::DropAction moveAction = Qt::IgnoreAction;
    bool dropped = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

// The desktop offers the drag first, moves it over the window, then drops it there. Shift
// makes the drag propose a move, as a file manager does.
DropReplies drop(QWidget* target, const QStringList& paths,
                 Qt::DropActions offered = Qt::CopyAction,
                 Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    DropReplies replies;
    QDragEnterEvent enter(QPoint(20, 20), offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    replies.entered = enter.isAccepted();
    replies.enterAction = enter.dropAction();
    QDragMoveEvent move(QPoint(30, 30), offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &move);
    replies.moved = move.isAccepted();
    replies.moveAction = move.dropAction();
    QDropEvent event(QPointF(30, 30), offered, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &event);
    replies.dropped = event.isAccepted();
    replies.dropAction = event.dropAction();
    return replies;
}

} // namespace

class TestSourceIntake : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // libmpv reads numbers in the C locale; tests must never make a sound.
        std::setlocale(LC_NUMERIC, "C");
        qputenv("SEGMORA_AUDIO_OUTPUT", "null");
        QVERIFY2(QFile::exists(fixture("long61_5.mp4")), "run make_fixtures.sh first");
    }

    void init() {
        // Broken files make libmpv log errors on purpose, whichever way they are opened.
        const QByteArray test = QTest::currentTestFunction();
        const bool brokenRow = QByteArray(QTest::currentDataTag()).startsWith("text file named");
        if (test != "badInputThenGoodFile" && test != "typedSource" && !brokenRow)
            segmora::test::failOnPlayerErrors();
    }

    void supportedFile_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("supported");
        QTest::newRow("capitals") << "/films/clip.MPEG" << true;
        QTest::newRow("mixed case") << "/films/clip.Avi" << true;
        QTest::newRow("each of the list") << "/f/a.asf" << true;
        QTest::newRow("a recorder's stream, in capitals") << "/f/00001.MTS" << true;
        QTest::newRow("matroska") << "/f/film.mkv" << true;
        QTest::newRow("extension inside a longer one") << "/f/film.mkv.part" << false;
        QTest::newRow("longer extension") << "/films/clip.mpeg4" << false;
        QTest::newRow("no extension") << "/films/clip" << false;
        QTest::newRow("dot in the folder only") << "/films.mp4/clip" << false;
        QTest::newRow("extension with a tail") << "/films/clip.avi2" << false;
        QTest::newRow("list file") << "/films/list.tmp" << false;
        QTest::newRow("name that is only an extension") << "/films/.mov" << true;
        QTest::newRow("empty") << "" << false;
    }
    void supportedFile() {
        QFETCH(QString, path);
        QTEST(IsSupportedFile(path, TMainForm::DefaultSupportedExtensions()), "supported");
    }

    // A file manager offers Segmora for what its desktop entry names: every extension the
    // window opens has its type there, as the shared MIME database calls it.
    void desktopEntryNamesEveryOpenedType() {
        const QHash<QString, QString> typeOf{
            {".avi", "video/x-msvideo"},  {".mpg", "video/mpeg"},
            {".mpeg", "video/mpeg"},      {".mp4", "video/mp4"},
            {".wmv", "video/x-ms-wmv"},   {".mov", "video/quicktime"},
            {".vob", "video/mpeg"},       {".asf", "application/vnd.ms-asf"},
            {".mkv", "video/x-matroska"}, {".webm", "video/webm"},
            {".ts", "video/mp2t"},        {".m2ts", "video/mp2t"},
            {".mts", "video/mp2t"},       {".m4v", "video/mp4"},
            {".3gp", "video/3gpp"},       {".flv", "video/x-flv"}};
        QFile entry(QStringLiteral(SEGMORA_TEST_SOURCE_DIR) +
                    QStringLiteral("/../packaging/org.segmora.Segmora.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList named;
        for (const QString& line : QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("MimeType=")))
                named = line.mid(9).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& extension : TMainForm::DefaultSupportedExtensions()) {
            QVERIFY2(typeOf.contains(extension), qPrintable(extension + " has no type here"));
            QVERIFY2(named.contains(typeOf[extension]),
                     qPrintable(extension + ": the desktop entry lacks " + typeOf[extension]));
        }
    }

    // Start-up goes on whatever the argument is; only a readable, supported, existing file is
    // opened, and an argument that opens nothing is reported with the reason.
    void commandLine_data() {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("listName"); // written into the scratch folder; "/" at the
                                               // end: a folder
        QTest::addColumn<QByteArray>("listContent");
        QTest::addColumn<QString>("opened"); // empty: nothing opened
        QTest::addColumn<bool>("errorBox");
        QTest::addColumn<QString>("says"); // a part of the error box's text
        const QString none;
        QTest::newRow("no argument") << "" << none << QByteArray() << none << false << none;
        QTest::newRow("a video") << "%F/counter.mp4" << none << QByteArray() << "%F/counter.mp4"
                                 << false << none;
        QTest::newRow("a transport stream")
            << "%F/exact_h264.ts" << none << QByteArray() << "%F/exact_h264.ts" << false << none;
        QTest::newRow("list file: its first line")
            << "%T/list.TMP"
            << "list.TMP" << QByteArray("%F/long61_5.mp4\n%F/counter.mp4\n") << "%F/long61_5.mp4"
            << false << none;
        QTest::newRow("list file: CR LF, a relative name, no final line break")
            << "%T/sub/list.tmp"
            << "sub/list.tmp" << QByteArray("../CLIP.MP4\r\n") << "%T/CLIP.MP4" << false << none;
        QTest::newRow("list file: odd name in UTF-8")
            << "%T/list.tmp"
            << "list.tmp" << QByteArray("%T/") + kOddName.toUtf8() << "%T/" + kOddName << false
            << none;
        QTest::newRow("list file missing") << "%T/none.tmp" << none << QByteArray() << none << true
                                           << "The file %T/none.tmp does not exist.";
        QTest::newRow("list file empty") << "%T/list.tmp"
                                         << "list.tmp" << QByteArray() << none << true
                                         << "The list file %T/list.tmp names no video.";
        QTest::newRow("list file is a folder") << "%T/list.tmp"
                                               << "list.tmp/" << QByteArray() << none << true
                                               << "The list file %T/list.tmp names no video.";
        QTest::newRow("list names a missing file")
            << "%T/list.tmp"
            << "list.tmp" << QByteArray("%T/gone.mp4\n") << none << true
            << "The file %T/gone.mp4 does not exist.";
        QTest::newRow("unsupported extension")
            << "%T/clip.rmvb" << none << QByteArray() << none << true
            << "%T/clip.rmvb is not a video type Segmora opens. Open a file of one of these types: "
               "AVI, MPG, MPEG, MP4, WMV, MOV, VOB, ASF, MKV, WEBM, TS, M2TS, MTS, M4V, 3GP, FLV.";
        QTest::newRow("file not there") << "%T/gone.mp4" << none << QByteArray() << none << true
                                        << "The file %T/gone.mp4 does not exist.";
        QTest::newRow("folder named like a video")
            << "%T/dir.mp4" << none << QByteArray() << none << true
            << "%T/dir.mp4 is a folder, not a video file.";
        QTest::newRow("text file named .mp4: refused, Source empty again")
            << "%F/notvideo.mp4" << none << QByteArray() << none << true << "not recognised";
    }
    void commandLine() {
        QFETCH(QString, argument);
        QFETCH(QString, listName);
        QFETCH(QByteArray, listContent);
        QFETCH(QString, opened);
        QFETCH(bool, errorBox);
        QFETCH(QString, says);
        World world;
        if (listName.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(world.in(listName));
        } else if (!listName.isEmpty()) {
            QDir().mkpath(QFileInfo(world.in(listName)).absolutePath());
            QFile list(world.in(listName));
            QVERIFY(list.open(QIODevice::WriteOnly));
            list.write(world.expand(QString::fromUtf8(listContent)).toUtf8());
        }
        TMainForm* form = world.start(world.expand(argument));
        QCOMPARE(form->edtSource->text(), world.expand(opened));
        QCOMPARE(form->SourceLoaded, !opened.isEmpty());
        QCOMPARE(world.fakes.messages.size(), errorBox ? 1 : 0);
        if (errorBox) {
            QCOMPARE(world.fakes.messages.first().icon, MessageIcon::Error);
            QVERIFY2(world.fakes.messages.first().text.contains(world.expand(says)),
                     qPrintable(world.fakes.messages.first().text));
        }
        QCOMPARE(form->filterGraph->Duration() > 0, !opened.isEmpty() && !errorBox);
        QVERIFY(form->acceptDrops());
    }

    void openDialogFilterAndCancel() {
        World world;
        TMainForm* form = world.start();
        world.fakes.fileToOpen.reset();
        form->tbtnOpen->click();
        QCOMPARE(world.fakes.openFilters, QList<QString>{form->OpenDialogQtFilter()});
        QVERIFY(!form->SourceLoaded);
        QVERIFY(form->edtSource->text().isEmpty());
        QVERIFY(!form->filterGraph->Active());
    }

    // A file that cannot be played: a clear error box, the window as it was with the source open
    // before, and a good file (with an awkward name) opens normally afterwards.
    void badInputThenGoodFile_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text file named .mp4") << "%F/notvideo.mp4"
                                              << "not recognised";
        QTest::newRow("truncated") << "%F/truncated.mp4"
                                   << "not recognised";
        QTest::newRow("zero bytes") << "%F/empty.mp4"
                                    << "is empty";
        QTest::newRow("vanished after the choice") << "%T/gone.mp4"
                                                   << "was not found";
        QTest::newRow("folder") << "%T/dir.mp4"
                                << "is a folder";
    }
    void badInputThenGoodFile() {
        QFETCH(QString, path);
        QFETCH(QString, reason);
        World world;
        const QString bad = world.expand(path);
        TMainForm* form = world.start();
        world.fakes.fileToOpen = fixture("long61_5.mp4");
        form->tbtnOpen->click();
        QVERIFY(world.fakes.messages.isEmpty());
        typeTime(form->edtStart, QStringLiteral("00:00:10"));
        typeTime(form->edtEnd, QStringLiteral("00:00:20"));
        const QString lengthLine = form->labLength->text();

        world.fakes.fileToOpen = bad;
        form->tbtnOpen->click();
        QCOMPARE(world.fakes.messages.size(), 1);
        const MessageRequest& box = world.fakes.messages.first();
        QCOMPARE(box.icon, MessageIcon::Error);
        QVERIFY2(box.text.contains(reason), qPrintable(box.text));
        QVERIFY2(box.text.contains(bad), qPrintable(box.text));
        // The window is back on the video open before: the field, the preview and its length,
        // the labels, marks and fields as they were.
        QCOMPARE(form->edtSource->text(), fixture("long61_5.mp4"));
        QCOMPARE(form->OpenSourcePath(), fixture("long61_5.mp4"));
        QVERIFY(form->SourceLoaded);
        QCOMPARE(form->filterGraph->Duration(), 61500);
        QCOMPARE(form->labMiddle->text(), QStringLiteral("00:00:30"));
        QCOMPARE(form->labRight->text(), QStringLiteral("00:01:01"));
        QCOMPARE(form->tkbProgress->SelStart(), 10);
        QCOMPARE(form->tkbProgress->SelEnd(), 20);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:10"));
        QCOMPARE(form->edtEnd->text(), QStringLiteral("00:00:20"));
        QVERIFY(!form->labStart->isHidden());
        QVERIFY(!form->labEnd->isHidden());
        QCOMPARE(form->labLength->text(), lengthLine);
        QVERIFY(!form->labLength->isHidden());
        QVERIFY(!form->videoWindow->isHidden());
        // Marking goes by the open video's length again.
        typeTime(form->edtEnd, QStringLiteral("00:00:30"));
        QCOMPARE(form->tkbProgress->SelEnd(), 30);

        const QString odd = world.in(kOddName);
        world.fakes.fileToOpen = odd;
        form->tbtnOpen->click();
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(form->edtSource->text(), odd);
        QCOMPARE(form->filterGraph->Duration(), 10000);
        QVERIFY(form->filterGraph->IsPlaying());
        QCOMPARE(form->labRight->text(), QStringLiteral("00:00:10"));
        // The new video is marked whole.
        QCOMPARE(form->tkbProgress->SelStart(), 0);
        QCOMPARE(form->tkbProgress->SelEnd(), 10);
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:00"));
        QCOMPARE(form->edtEnd->text(), QStringLiteral("00:00:10"));
        QCOMPARE(form->labStart->text(), QStringLiteral("[ 00:00:00"));
        QCOMPARE(form->labEnd->text(), QStringLiteral("00:00:10 ]"));
        QVERIFY(!form->labLength->isHidden());
    }

    void durationLabelsAndPositionDisplay() {
        World world;
        TMainForm* form = world.start();
        form->labCurrent->setText(QStringLiteral("00:00:07"));
        form->OpenSource(fixture("long61_5.mp4"));
        QCOMPARE(form->labLeft->text(), QStringLiteral("00:00:00"));
        QCOMPARE(form->labMiddle->text(), QStringLiteral("00:00:30")); // 30.75 s
        QCOMPARE(form->labRight->text(), QStringLiteral("00:01:01"));  // 61.5 s
        QCOMPARE(form->tkbProgress->Max(), 61);
        // The new source's time at once, not the previous one's until the bar's first refresh.
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:00"));
        QCOMPARE(form->JobState, 0);
        QVERIFY(form->filterGraph->IsPlaying());
        QVERIFY(form->tkbProgress->Refreshing());

        form->imgPauseClick();
        form->filterGraph->SeekTo(5900);
        QTRY_VERIFY(qAbs(form->filterGraph->CurrentPosition() - 5900) < 150);
        form->tkbProgress->RefreshTick();
        QCOMPARE(form->labCurrent->text(), QStringLiteral("00:00:05.900"));

        // During a job: the whole length, the thumb at the end of the bar.
        form->tmrPreview->start();
        QTRY_COMPARE_WITH_TIMEOUT(form->labCurrent->text(), QStringLiteral("00:01:01"), 2500);
        form->tmrPreview->stop();
        QCOMPARE(form->tkbProgress->Position(), form->tkbProgress->Max());
    }

    void outputFolderFollowsTheSource_data() {
        QTest::addColumn<QByteArray>("preferences"); // empty: no file
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("outputDir");
        QTest::newRow("Aptotic off") << QByteArray("[Main]\nAptotic=0\n") << "%F/counter.mp4"
                                     << "%F/";
        // The output folder stays with the video that is open.
        QTest::newRow("Aptotic off, a file that cannot be opened")
            << QByteArray("[Main]\nAptotic=0\n") << "/segmora-no-such.avi"
            << "/kept/";
        QTest::newRow("Aptotic on") << QByteArray("[Main]\nAptotic=1\n") << "%F/counter.mp4"
                                    << "/kept/";
        QTest::newRow("no key") << QByteArray("[Main]\nPreview=1\n") << "%F/counter.mp4"
                                << "/kept/";
        QTest::newRow("no file") << QByteArray() << "%F/counter.mp4"
                                 << "/kept/";
    }
    void outputFolderFollowsTheSource() {
        QFETCH(QByteArray, preferences);
        QFETCH(QString, path);
        World world;
        TMainForm* form = world.start();
        QFile::remove(world.folder.context().preferencesPath());
        if (!preferences.isEmpty())
            world.folder.writeFile(QStringLiteral("Preferences.ini"), preferences);
        form->edtOutputDir->setText(QStringLiteral("/kept/"));
        world.fakes.fileToOpen = world.expand(path);
        form->tbtnOpen->click();
        QFETCH(QString, outputDir);
        QCOMPARE(form->edtOutputDir->text(), world.expand(outputDir));
    }

    void drops_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<bool>("jobRunning");
        QTest::addColumn<QString>("opened"); // empty: nothing opened
        QTest::addColumn<bool>("errorBox");
        const QString none;
        QTest::newRow("three files: the first")
            << QStringList{"%F/long61_5.mp4", "%F/counter.mp4", "%F/len59_9.mp4"} << false
            << "%F/long61_5.mp4" << false;
        QTest::newRow("capital extension")
            << QStringList{"%T/CLIP.MP4"} << false << "%T/CLIP.MP4" << false;
        QTest::newRow("matroska") << QStringList{"%F/exact_h264.mkv"} << false
                                  << "%F/exact_h264.mkv" << false;
        QTest::newRow("odd name") << QStringList{"%T/" + kOddName} << false << "%T/" + kOddName
                                  << false;
        QTest::newRow("path longer than 253 characters")
            << QStringList{"%T/" + World::longName()} << false << "%T/" + World::longName()
            << false;
        QTest::newRow("first unsupported, second good")
            << QStringList{"%T/clip.rmvb", "%F/counter.mp4"} << false << none << false;
        QTest::newRow("first not there")
            << QStringList{"%T/gone.mp4", "%F/counter.mp4"} << false << none << false;
        QTest::newRow("folder") << QStringList{"%T/dir.mp4"} << false << none << false;
        QTest::newRow("while a job runs") << QStringList{"%F/counter.mp4"} << true << none << false;
        QTest::newRow("text file named .mp4: refused, Source empty again")
            << QStringList{"%F/notvideo.mp4"} << false << none << true;
    }
    void drops() {
        QFETCH(QStringList, paths);
        QFETCH(bool, jobRunning);
        QFETCH(QString, opened);
        QFETCH(bool, errorBox);
        World world;
        TMainForm* form = world.start();
        if (jobRunning) {
            form->panProgress->show();
            form->JobState = JobRunning;
        }
        for (QString& path : paths)
            path = world.expand(path);
        const DropReplies replies = drop(form, paths);
        // A running job refuses the drag from its start.
        QCOMPARE(replies.entered, !jobRunning);
        QCOMPARE(replies.dropped, !jobRunning);
        QCOMPARE(form->edtSource->text(), world.expand(opened));
        QCOMPARE(form->SourceLoaded, !opened.isEmpty());
        QCOMPARE(world.fakes.messages.size(), errorBox ? 1 : 0);
        QCOMPARE(form->JobState, jobRunning ? int(JobRunning) : int(JobIdle));
    }

    // A drop is never taken as a move, which would let a file manager delete the dropped
    // video; a drag that offers neither a copy nor a link is refused.
    void dropIsACopyOrALink_data() {
        QTest::addColumn<int>("offered"); // Qt::DropActions
        QTest::addColumn<bool>("shift");  // proposes a move
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("action"); // Qt::DropAction told to the source when taken
        const int copy = Qt::CopyAction;
        const int move = Qt::MoveAction;
        const int link = Qt::LinkAction;
        QTest::newRow("copy") << copy << false << true << copy;
        QTest::newRow("move proposed, copy offered")
            << (copy | move | link) << true << true << copy;
        QTest::newRow("move proposed, link offered") << (move | link) << true << true << link;
        QTest::newRow("link") << link << false << true << link;
        QTest::newRow("move only") << move << true << false << int(Qt::IgnoreAction);
    }
    void dropIsACopyOrALink() {
        QFETCH(int, offered);
        QFETCH(bool, shift);
        QFETCH(bool, taken);
        QFETCH(int, action);
        World world;
        TMainForm* form = world.start();
        // A file the window takes without opening it: only the drag's replies matter here.
        const DropReplies replies =
            drop(form, {world.in(QStringLiteral("clip.rmvb"))}, Qt::DropActions(offered),
                 shift ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(replies.entered, taken);
        QCOMPARE(replies.moved, taken);
        QCOMPARE(replies.dropped, taken);
        // A refused drag never reaches the window again, so only a taken one tells an action.
        if (taken) {
            QCOMPARE(int(replies.enterAction), action);
            QCOMPARE(int(replies.moveAction), action);
            QCOMPARE(int(replies.dropAction), action);
        }
        QVERIFY(world.fakes.messages.isEmpty());
    }

    // Typed into Source: Enter or leaving the field opens a changed path as Open does; a path
    // that cannot be played is reported and the field shows the open video again; a path never
    // confirmed is never what Start cuts. counter.mp4 (10 s) is open and marked 2..4 at first,
    // paused at 3 s.
    void typedSource_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("confirm"); // "enter", "tab" (leaving), "menu", "window", ""
        QTest::addColumn<QString>("source");  // the open video afterwards, in Source
        QTest::addColumn<qint64>("duration");
        QTest::addColumn<QString>("outputDir");
        QTest::addColumn<QString>("end");  // the End Time field afterwards
        QTest::addColumn<QString>("says"); // part of the error box; empty: no box
        const QString counter = QStringLiteral("%F/counter.mp4");
        const QString longer = QStringLiteral("%F/long61_5.mp4");
        const QString kept = QStringLiteral("00:00:04");
        const QString none;
        QTest::newRow("Enter on another video")
            << longer << "enter" << longer << qint64(61500) << "%F/"
            << "00:01:01.500" << none;
        QTest::newRow("leaving the field on another video")
            << "%T/CLIP.MP4"
            << "tab"
            << "%T/CLIP.MP4" << qint64(10000) << "%T/"
            << "00:00:10" << none;
        QTest::newRow("blanks around the path, as a paste brings them")
            << "  " + longer + " "
            << "enter" << longer << qint64(61500) << "%F/"
            << "00:01:01.500" << none;
        QTest::newRow("a file URL")
            << "file://" + longer << "enter" << longer << qint64(61500) << "%F/"
            << "00:01:01.500" << none;
        QTest::newRow("a menu over the field confirms nothing")
            << longer << "menu" << counter << qint64(10000) << "/out/" << kept << none;
        QTest::newRow("another window confirms nothing")
            << longer << "window" << counter << qint64(10000) << "/out/" << kept << none;
        QTest::newRow("never confirmed")
            << longer << "" << counter << qint64(10000) << "/out/" << kept << none;
        QTest::newRow("text file named .mp4")
            << "%F/notvideo.mp4"
            << "enter" << counter << qint64(10000) << "/out/" << kept << "not recognised";
        QTest::newRow("a file that is not there")
            << "%T/gone.mp4"
            << "tab" << counter << qint64(10000) << "/out/" << kept << "was not found";
        QTest::newRow("a folder") << "%T/dir.mp4"
                                  << "enter" << counter << qint64(10000) << "/out/" << kept
                                  << "is a folder";
        QTest::newRow("emptied field")
            << ""
            << "enter" << counter << qint64(10000) << "/out/" << kept << none;
        QTest::newRow("the open video again")
            << counter << "enter" << counter << qint64(10000) << "/out/" << kept << none;
    }
    void typedSource() {
        QFETCH(QString, typed);
        QFETCH(QString, confirm);
        QFETCH(QString, source);
        QFETCH(qint64, duration);
        QFETCH(QString, outputDir);
        QFETCH(QString, end);
        QFETCH(QString, says);
        World world;
        world.setAptotic(false);
        TMainForm* form = world.start(fixture("counter.mp4"));
        form->edtOutputDir->setText(QStringLiteral("/out/"));
        form->imgPauseClick();
        typeTime(form->edtStart, QStringLiteral("00:00:02"));
        typeTime(form->edtEnd, QStringLiteral("00:00:04"));
        form->filterGraph->SeekTo(3000);
        QTRY_VERIFY(!form->filterGraph->Seeking() &&
                    qAbs(form->filterGraph->ExactPosition() - 3.0) < 0.001);

        // Typed as a user types: the field knows it was changed by hand.
        QLineEdit* field = form->edtSource;
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, world.expand(typed));
        if (confirm == QLatin1String("enter")) {
            QTest::keyClick(field, Qt::Key_Return);
        } else if (!confirm.isEmpty()) {
            const Qt::FocusReason reason = confirm == QLatin1String("tab") ? Qt::TabFocusReason
                                           : confirm == QLatin1String("menu")
                                               ? Qt::PopupFocusReason
                                               : Qt::ActiveWindowFocusReason;
            QFocusEvent out(QEvent::FocusOut, reason);
            QApplication::sendEvent(field, &out);
        }

        QCOMPARE(world.fakes.messages.size(), says.isEmpty() ? 0 : 1);
        if (!says.isEmpty()) {
            QVERIFY2(world.fakes.messages.first().text.contains(says),
                     qPrintable(world.fakes.messages.first().text));
            // The open video is back in the preview, paused where it was.
            QTRY_VERIFY(!form->filterGraph->Seeking() &&
                        qAbs(form->filterGraph->ExactPosition() - 3.0) < 0.001);
        }
        // What Start cuts is the video on screen, shown in Source, with the marks it holds.
        QCOMPARE(form->SourceToCut(), world.expand(source));
        QCOMPARE(field->text(), world.expand(source));
        QCOMPARE(form->OpenSourcePath(), world.expand(source));
        QCOMPARE(form->filterGraph->Duration(), duration);
        QCOMPARE(form->edtOutputDir->text(), world.expand(outputDir));
        QCOMPARE(form->edtEnd->text(), end);
    }

    void typedSourcePath_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("path");
        QTest::newRow("absolute") << "/films/clip.mp4"
                                  << "/films/clip.mp4";
        QTest::newRow("blanks around") << " \t/films/clip.mp4  "
                                       << "/films/clip.mp4";
        QTest::newRow("blanks inside kept") << "/films/my clip.mp4"
                                            << "/films/my clip.mp4";
        QTest::newRow("file URL") << "file:///films/my%20clip.mp4"
                                  << "/films/my clip.mp4";
        QTest::newRow("home") << "~/clip.mp4" << QDir::homePath() + "/clip.mp4";
        QTest::newRow("relative") << "sub/clip.mp4" << QDir::currentPath() + "/sub/clip.mp4";
        QTest::newRow("dots") << "/films/../clip.mp4"
                              << "/clip.mp4";
        QTest::newRow("a file named with a tilde") << "/films/~clip.mp4"
                                                   << "/films/~clip.mp4";
        QTest::newRow("blanks only") << "   "
                                     << "";
    }
    void typedSourcePath() {
        QFETCH(QString, text);
        QTEST(TypedSourcePath(text), "path");
    }

    void playbackButtons() {
        World world;
        TMainForm* form = world.start();
        FilterGraph* graph = form->filterGraph;
        // Before a source: nothing, not even a player.
        for (PictureButton* button : {form->imgPlay, form->imgPause, form->imgStop})
            button->click();
        QVERIFY(!graph->Active());
        QVERIFY(!form->tkbProgress->Refreshing());

        form->OpenSource(fixture("counter.mp4"));
        QVERIFY(graph->IsPlaying());
        form->imgPause->click();
        QVERIFY(!graph->IsPlaying());
        QVERIFY(!form->tkbProgress->Refreshing());
        form->imgPause->click(); // resumes
        QVERIFY(graph->IsPlaying());
        QVERIFY(form->tkbProgress->Refreshing());
        form->imgPause->click();
        QVERIFY(!graph->IsPlaying());
        form->imgPlay->click();
        QVERIFY(graph->IsPlaying());
        form->imgPlay->click(); // plays on
        QVERIFY(graph->IsPlaying());
        QVERIFY(form->tkbProgress->Refreshing());
        QTRY_VERIFY(graph->CurrentPosition() > 200);
        form->tkbProgress->SetPosition(3); // as a refresh three seconds in leaves it
        form->tkbProgressTimer();
        form->imgStop->click();
        QVERIFY(!graph->IsPlaying());
        QTRY_COMPARE(graph->CurrentPosition(), 0);
        // The thumb and the label are back at the start with the picture, and so is a mark.
        QCOMPARE(form->tkbProgress->Position(), 0);
        QTRY_COMPARE(form->labCurrent->text(), QStringLiteral("00:00:00"));
        form->imgSelStart->click();
        QCOMPARE(form->tkbProgress->SelStart(), 0);
    }

    void secondOpenKeepsTheSameVideoWidget() {
        World world;
        TMainForm* form = world.start();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        VideoWindow* window = form->videoWindow;
        QVERIFY(window->isHidden());
        form->OpenSource(fixture("counter.mp4"));
        QVERIFY(window->isVisible());
        QTRY_VERIFY(window->framesPainted() > 0);
        form->OpenSource(fixture("len59_9.mp4"));
        const quint64 before = window->framesPainted();
        QCOMPARE(form->findChildren<VideoWindow*>().size(), 1);
        QCOMPARE(form->videoWindow, window);
        QCOMPARE(form->filterGraph->videoWindow(), window);
        QTRY_VERIFY(window->framesPainted() > before);
        QCOMPARE(form->labRight->text(), QStringLiteral("00:00:59"));
    }

    void startWhileASourceLoadsStartsNothing() {
        // The player loads a file on its own thread while OpenSource runs events; a press on
        // Start in that time finds the fields still holding the first source's marks.
        World world;
        TMainForm* form = world.start();
        form->OpenSource(fixture("counter.mp4"));
        typeTime(form->edtStart, QStringLiteral("00:00:02"));
        typeTime(form->edtEnd, QStringLiteral("00:00:04"));
        bool loadingWhenPressed = false;
        QTimer::singleShot(0, form, [&] {
            loadingWhenPressed = form->OpeningSource();
            form->imgStart->click();
        });
        form->OpenSource(fixture("long61_5.mp4"));
        QVERIFY(loadingWhenPressed);
        QVERIFY(!form->OpeningSource());
        QVERIFY(!form->RunningJob());
        QCOMPARE(form->JobState, int(JobIdle));
        QVERIFY(form->panProgress->isHidden());
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(form->edtStart->text(), QStringLiteral("00:00:00"));
    }
};

QTEST_MAIN(TestSourceIntake)
#include "test_source_intake.moc"
