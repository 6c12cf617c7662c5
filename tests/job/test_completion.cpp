// The completion step: which of countdown, success message and output folder happens, and in
// which order, for every combination of the three completion choices.
#include "fake_seams.h"
#include "job/completion.h"
#include "job/count_down_form.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace segmora;

namespace {

const QString kOutputFolder = QStringLiteral("/home/ann/My Clips/");

// A main window stand-in with its countdown dialog; every callback of the step writes to a
// log so the order of what happened can be compared as a whole.
struct Fixture {
    test::FakeSeams fakes;
    QWidget mainWindow;
    TCountDownForm* countDown = nullptr; // owned by mainWindow
    QStringList log;
    CompletionContext context;

    Fixture() {
        mainWindow.show();
        countDown = new TCountDownForm(&mainWindow, {[this] { log << "idle look"; }, {}});
        fakes.onMessage = [this](const MessageRequest&) {
            log << QStringLiteral("message, %1 opened").arg(fakes.openedUrls.size());
        };
        context.mainWindow = &mainWindow;
        context.countDown = countDown;
        context.outputFolderText = kOutputFolder;
        context.stopJobTimers = [this] { log << "timers stopped"; };
        context.setJobState = [this](int state) {
            log << QStringLiteral("JobState %1").arg(state);
        };
        context.leaveJobState = [this] { log << "idle look"; };
    }
};

} // namespace

class TestCompletion : public QObject {
    Q_OBJECT

private slots:
    void choicesDecideTheEnding_data() {
        QTest::addColumn<bool>("turnOff");
        QTest::addColumn<bool>("exit");
        QTest::addColumn<bool>("openDir");
        QTest::addColumn<QStringList>("expectedLog");
        QTest::addColumn<QString>("doNowCaption"); // empty: no countdown
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<bool>("folderOpened");

        const QStringList countdown{"timers stopped", "JobState 0"};
        const QString turnOffPrefix = QStringLiteral("The computer will be turned off within");
        const QString exitPrefix = QStringLiteral("The program will exit within");
        // Folder only after the message has been closed, and the idle look last.
        const QStringList message{"timers stopped", "message, 0 opened", "idle look"};

        QTest::newRow("turn off and exit: turn off wins")
            << true << true << false << countdown << "Turn off Now" << int(TurnOffComputer)
            << turnOffPrefix << false;
        QTest::newRow("all three: turn off, no message, no folder")
            << true << true << true << countdown << "Turn off Now" << int(TurnOffComputer)
            << turnOffPrefix << false;
        QTest::newRow("turn off alone") << true << false << false << countdown << "Turn off Now"
                                        << int(TurnOffComputer) << turnOffPrefix << false;
        QTest::newRow("exit and open folder: exit, no message, no folder")
            << false << true << true << countdown << "Exit Now" << int(ExitProgram) << exitPrefix
            << false;
        QTest::newRow("exit alone") << false << true << false << countdown << "Exit Now"
                                    << int(ExitProgram) << exitPrefix << false;
        QTest::newRow("open folder alone: message, then folder, then idle")
            << false << false << true << message << "" << 0 << "" << true;
        QTest::newRow("nothing ticked: message, then idle")
            << false << false << false << message << "" << 0 << "" << false;
    }
    void choicesDecideTheEnding() {
        QFETCH(bool, turnOff);
        QFETCH(bool, exit);
        QFETCH(bool, openDir);
        QFETCH(QStringList, expectedLog);
        QFETCH(QString, doNowCaption);
        QFETCH(int, action);
        QFETCH(QString, prefix);
        QFETCH(bool, folderOpened);
        Fixture f;
        f.context.turnOffTicked = turnOff;
        f.context.exitTicked = exit;
        f.context.openDirTicked = openDir;

        RunCompletionStep(f.context);

        QCOMPARE(f.log, expectedLog);
        QCOMPARE(f.fakes.openedUrls,
                 folderOpened ? QList<QUrl>{QUrl::fromLocalFile(kOutputFolder)} : QList<QUrl>{});
        // Nothing is powered off or ended by the step itself; the countdown does that.
        QCOMPARE(f.fakes.powerOffCalls, 0);
        QCOMPARE(f.fakes.endProgramCalls, 0);

        const bool countingDown = !doNowCaption.isEmpty();
        QCOMPARE(f.countDown->isVisible(), countingDown);
        QCOMPARE(f.mainWindow.isEnabled(), !countingDown);
        if (countingDown) {
            QVERIFY(f.fakes.messages.isEmpty());
            QCOMPARE(f.countDown->btnDoNow->text(), doNowCaption);
            QCOMPARE(f.countDown->CountdownAction, action);
            QCOMPARE(f.countDown->labMessage->text(), prefix + QStringLiteral(" 10 seconds."));
            QVERIFY(f.countDown->tmrCountdown->isActive());
        } else {
            QCOMPARE(f.fakes.messages.size(), 1);
            const MessageRequest& shown = f.fakes.messages.first();
            QCOMPARE(shown.owner, &f.mainWindow);
            QCOMPARE(shown.icon, MessageIcon::Information);
            QCOMPARE(shown.buttons, MessageButtons::Ok);
            QCOMPARE(shown.title, QStringLiteral("Completed"));
            QCOMPARE(shown.text, QStringLiteral("Splitting is completed successfully."));
        }
    }

    // Clips that came out short are named in a box right after the success message, before the
    // folder opens; with nothing short no second box appears.
    void shortClipsFollowTheMessage() {
        Fixture f;
        f.context.openDirTicked = true;
        f.context.shortClipsText = QStringLiteral("These clips are shorter than asked");

        RunCompletionStep(f.context);

        QCOMPARE(f.log, (QStringList{"timers stopped", "message, 0 opened", "message, 0 opened",
                                     "idle look"}));
        QCOMPARE(f.fakes.messages.size(), 2);
        QCOMPARE(f.fakes.messages[0].text, QStringLiteral("Splitting is completed successfully."));
        QCOMPARE(f.fakes.messages[1].text, f.context.shortClipsText);
        QCOMPARE(f.fakes.messages[1].title, QStringLiteral("Completed"));
        QCOMPARE(f.fakes.openedUrls.size(), 1);
    }

    // Clips that could not be cut exactly are named in their own box after the success message
    // (and after the short clips and those that failed their check), and clips that leave out
    // streams in one after that, before the folder opens; a countdown shows none of these boxes.
    void keyframeCutsFollowTheMessage_data() {
        QTest::addColumn<QString>("shortClips");
        QTest::addColumn<QString>("failedChecks");
        QTest::addColumn<QString>("leftOut");
        QTest::addColumn<bool>("turnOff");
        QTest::addColumn<QStringList>("texts");
        const QString done = QStringLiteral("Splitting is completed successfully.");
        const QString cuts = QStringLiteral("These clips could not be cut exactly");
        const QString shorter = QStringLiteral("These clips are shorter than asked");
        const QString left = QStringLiteral("These clips leave out streams");
        const QString failing = QStringLiteral("These clips failed their check");
        QTest::newRow("alone") << QString() << QString() << QString() << false
                               << QStringList{done, cuts};
        QTest::newRow("after the short clips")
            << shorter << QString() << QString() << false << QStringList{done, shorter, cuts};
        QTest::newRow("failed checks after the short clips")
            << shorter << failing << QString() << false
            << QStringList{done, shorter, failing, cuts};
        QTest::newRow("streams left out, last")
            << shorter << QString() << left << false << QStringList{done, shorter, cuts, left};
        QTest::newRow("not during a countdown")
            << shorter << failing << left << true << QStringList{};
    }
    void keyframeCutsFollowTheMessage() {
        QFETCH(QString, shortClips);
        QFETCH(QString, failedChecks);
        QFETCH(QString, leftOut);
        QFETCH(bool, turnOff);
        QFETCH(QStringList, texts);
        Fixture f;
        f.context.openDirTicked = true;
        f.context.turnOffTicked = turnOff;
        f.context.shortClipsText = shortClips;
        f.context.failedChecksText = failedChecks;
        f.context.leftOutText = leftOut;
        f.context.keyframeCutsText = QStringLiteral("These clips could not be cut exactly");

        RunCompletionStep(f.context);

        QStringList shown;
        for (const MessageRequest& message : f.fakes.messages) {
            shown.append(message.text);
            QCOMPARE(message.title, QStringLiteral("Completed"));
            QCOMPARE(message.icon, MessageIcon::Information);
        }
        QCOMPARE(shown, texts);
        // The folder opens once every box has been closed.
        if (!turnOff)
            QCOMPARE(f.log.mid(f.log.size() - 2),
                     (QStringList{QStringLiteral("message, 0 opened"), "idle look"}));
        QCOMPARE(f.fakes.openedUrls.size(), turnOff ? 0 : 1);
    }

    // The folder goes to the desktop exactly as typed, whatever characters it holds.
    void outputFolderOpenedAsTyped_data() {
        QTest::addColumn<QString>("typed");
        QTest::newRow("spaces") << "/home/ann/My Clips/";
        QTest::newRow("no trailing separator") << "/home/ann/clips";
        QTest::newRow("url-like characters") << "/home/ann/50% #1?/";
        QTest::newRow("non-ASCII") << QStringLiteral("/home/ann/Vidéos/Клипы/");
    }
    void outputFolderOpenedAsTyped() {
        QFETCH(QString, typed);
        Fixture f;
        f.context.openDirTicked = true;
        f.context.outputFolderText = typed;

        RunCompletionStep(f.context);

        QCOMPARE(f.fakes.openedUrls.size(), 1);
        QCOMPARE(f.fakes.openedUrls.first().toLocalFile(), typed);
    }

    // The whole road of an ending with a countdown: cancelling it brings the idle look back
    // with nothing done; letting the exit countdown run ends the program without a question.
    void countdownAfterTheJob_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("expectedLog");
        QTest::addColumn<int>("programEnds");
        QTest::newRow("cancelled")
            << true << QStringList{"timers stopped", "JobState 0", "idle look"} << 0;
        QTest::newRow("left alone") << false << QStringList{"timers stopped", "JobState 0"} << 1;
    }
    void countdownAfterTheJob() {
        QFETCH(bool, cancel);
        QFETCH(QStringList, expectedLog);
        QFETCH(int, programEnds);
        Fixture f;
        f.countDown->setHooks(
            {[&f] { f.log << "idle look"; }, [&f] { f.fakes.endProgramCalls += 1; }});
        f.context.exitTicked = true;

        RunCompletionStep(f.context);
        if (cancel)
            f.countDown->btnCancel->click();
        else
            for (int i = 0; i < 10; ++i)
                f.countDown->tmrCountdownTimer();

        QCOMPARE(f.log, expectedLog);
        QCOMPARE(f.fakes.endProgramCalls, programEnds);
        QVERIFY(f.fakes.messages.isEmpty());
        QCOMPARE(f.mainWindow.isEnabled(), cancel);
    }
};

QTEST_MAIN(TestCompletion)
#include "test_completion.moc"
