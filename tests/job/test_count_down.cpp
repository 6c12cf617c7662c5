// The countdown dialog: counting down without waiting real seconds, the action at zero, the
// "Now" button, and every way of closing it.
#include "fake_seams.h"
#include "ground/app_error.h"
#include "job/completion.h"
#include "job/count_down_form.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace segmora;

namespace {

// Stands in for the main window: its close saves the preferences and ends the program.
class StandInMainWindow : public QWidget {
public:
    int preferenceSaves = 0;

protected:
    void closeEvent(QCloseEvent* event) override {
        ++preferenceSaves;
        seams().endProgram();
        event->accept();
    }
};

const QString kTurnOffPrefix = QStringLiteral("The computer will be turned off within");
const QString kExitPrefix = QStringLiteral("The program will exit within");

// The label's sentence as the user reads it at each second left.
QString countdownText(const QString& prefix, int seconds) {
    static const QStringList endings = {
        QStringLiteral(" 0 seconds."), QStringLiteral(" 1 second."),  QStringLiteral(" 2 seconds."),
        QStringLiteral(" 3 seconds."), QStringLiteral(" 4 seconds."), QStringLiteral(" 5 seconds."),
        QStringLiteral(" 6 seconds."), QStringLiteral(" 7 seconds."), QStringLiteral(" 8 seconds."),
        QStringLiteral(" 9 seconds."), QStringLiteral(" 10 seconds.")};
    return prefix + endings.at(seconds);
}

// A shown main window with its countdown dialog, and fakes for everything the action reaches.
struct Fixture {
    test::FakeSeams fakes;
    StandInMainWindow mainWindow;
    TCountDownForm* countDown = nullptr; // owned by mainWindow
    int leaveJobStateCalls = 0;

    Fixture() {
        mainWindow.setGeometry(100, 100, 800, 600);
        mainWindow.show();
        countDown = new TCountDownForm(&mainWindow, {[this] { ++leaveJobStateCalls; }, {}});
    }
    void start(int action, const QString& caption, const QString& prefix) {
        StartCountdown(*countDown, action, caption, prefix);
    }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i)
            countDown->tmrCountdownTimer();
    }
};

enum class CloseWay { CancelButton, CloseBox, EscapeKey };

} // namespace

Q_DECLARE_METATYPE(CloseWay)

class TestCountDown : public QObject {
    Q_OBJECT

private slots:
    void showingDisablesMainWindowButNotTheDialog() {
        Fixture f;
        f.start(TurnOffComputer, QStringLiteral("Turn off Now"), kTurnOffPrefix);

        QVERIFY(!f.countDown->isModal());
        QVERIFY(!f.mainWindow.isEnabled());
        QVERIFY(f.countDown->isEnabled());
        QVERIFY(f.countDown->btnDoNow->isEnabled());
        QVERIFY(f.countDown->btnCancel->isEnabled());
        QCOMPARE(f.countDown->SecondsLeft, 10);
        QCOMPARE(f.countDown->labMessage->text(), countdownText(kTurnOffPrefix, 10));
        QVERIFY(f.countDown->tmrCountdown->isActive());
        QCOMPARE(f.countDown->tmrCountdown->interval(), 1000);

        // Centred on the main window, and the message readable by assistive technology.
        const QPoint offset =
            f.countDown->frameGeometry().center() - f.mainWindow.frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, "countdown not centred on the main window");
        QAccessibleInterface* label =
            QAccessible::queryAccessibleInterface(f.countDown->labMessage);
        QVERIFY(label);
        QCOMPARE(label->text(QAccessible::Name), countdownText(kTurnOffPrefix, 10));

        // The longest sentence fits, so the seconds are never cut off.
        const QLabel* message = f.countDown->labMessage;
        const bool fitsOnOneLine = message->sizeHint().width() <= message->width();
        QVERIFY(fitsOnOneLine || (message->wordWrap() &&
                                  message->heightForWidth(message->width()) <= message->height()));
    }

    void leftAloneCountsDownToTheAction_data() {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("powerOffs");
        QTest::addColumn<int>("programEnds");

        QTest::newRow("turn off") << int(TurnOffComputer) << "Turn off Now" << kTurnOffPrefix << 1
                                  << 0;
        QTest::newRow("exit") << int(ExitProgram) << "Exit Now" << kExitPrefix << 0 << 1;
        QTest::newRow("unknown action does nothing") << 7 << "Now" << kExitPrefix << 0 << 0;
    }
    void leftAloneCountsDownToTheAction() {
        QFETCH(int, action);
        QFETCH(QString, caption);
        QFETCH(QString, prefix);
        QFETCH(int, powerOffs);
        QFETCH(int, programEnds);
        Fixture f;
        f.start(action, caption, prefix);
        QCOMPARE(f.countDown->btnDoNow->text(), caption);

        for (int seconds = 9; seconds >= 1; --seconds) {
            f.tick();
            QCOMPARE(f.countDown->labMessage->text(), countdownText(prefix, seconds));
            QVERIFY(f.countDown->tmrCountdown->isActive());
            QCOMPARE(f.fakes.powerOffCalls + f.fakes.endProgramCalls, 0);
        }
        f.tick(); // the tenth
        QCOMPARE(f.countDown->labMessage->text(), countdownText(prefix, 0));
        QVERIFY(!f.countDown->tmrCountdown->isActive());
        QCOMPARE(f.fakes.powerOffCalls, powerOffs);
        QCOMPARE(f.fakes.endProgramCalls, programEnds);
        QCOMPARE(f.mainWindow.preferenceSaves, programEnds);
        QVERIFY(f.fakes.messages.isEmpty());
        QCOMPARE(f.leaveJobStateCalls, 0);
        if (action == TurnOffComputer) {
            // A power-off the system refuses leaves the dialog at zero over a disabled window,
            // ready for another try or Cancel.
            QVERIFY(f.countDown->isVisible());
            QVERIFY(!f.mainWindow.isEnabled());
        }
    }

    void exitNowSavesAndEndsWithoutAsking() {
        Fixture f;
        f.start(ExitProgram, QStringLiteral("Exit Now"), kExitPrefix);
        f.tick(3);

        f.countDown->btnDoNow->click();

        QCOMPARE(f.mainWindow.preferenceSaves, 1);
        QCOMPARE(f.fakes.endProgramCalls, 1);
        QVERIFY(f.fakes.messages.isEmpty());
        QCOMPARE(f.fakes.powerOffCalls, 0);
    }

    void turnOffNowPressedEarlyIsPressedAgainAtZero() {
        Fixture f;
        f.start(TurnOffComputer, QStringLiteral("Turn off Now"), kTurnOffPrefix);
        f.tick(4);

        f.countDown->btnDoNow->click();
        QCOMPARE(f.fakes.powerOffCalls, 1);
        QVERIFY(f.countDown->isVisible());
        QVERIFY(f.countDown->tmrCountdown->isActive());

        f.tick(6);
        QCOMPARE(f.countDown->SecondsLeft, 0);
        QCOMPARE(f.fakes.powerOffCalls, 2);
    }

    void everyCloseActsLikeCancel_data() {
        QTest::addColumn<CloseWay>("way");
        QTest::newRow("Cancel button") << CloseWay::CancelButton;
        QTest::newRow("title-bar close box") << CloseWay::CloseBox;
        QTest::newRow("Escape key") << CloseWay::EscapeKey;
    }
    void everyCloseActsLikeCancel() {
        QFETCH(CloseWay, way);
        Fixture f;
        f.start(TurnOffComputer, QStringLiteral("Turn off Now"), kTurnOffPrefix);
        f.tick(3);

        switch (way) {
        case CloseWay::CancelButton:
            f.countDown->btnCancel->click();
            break;
        case CloseWay::CloseBox: {
            // What the window system sends when the close box is clicked.
            QVERIFY(f.countDown->windowHandle());
            QCloseEvent close;
            QCoreApplication::sendEvent(f.countDown->windowHandle(), &close);
            break;
        }
        case CloseWay::EscapeKey:
            QTest::keyClick(f.countDown, Qt::Key_Escape);
            break;
        }

        QVERIFY(!f.countDown->isVisible());
        QCOMPARE(f.leaveJobStateCalls, 1);
        QVERIFY(f.mainWindow.isEnabled());
        QVERIFY(!f.countDown->tmrCountdown->isActive());
        QCOMPARE(f.fakes.powerOffCalls, 0);
        QCOMPARE(f.fakes.endProgramCalls, 0);
    }

    void hiddenByTheProgramStopsWithoutLeavingTheJob() {
        Fixture f;
        f.start(ExitProgram, QStringLiteral("Exit Now"), kExitPrefix);

        f.countDown->hide();

        QVERIFY(!f.countDown->tmrCountdown->isActive());
        QVERIFY(f.mainWindow.isEnabled());
        QCOMPARE(f.leaveJobStateCalls, 0);
    }

    void showingAgainStartsAfreshAtTen() {
        Fixture f;
        f.start(TurnOffComputer, QStringLiteral("Turn off Now"), kTurnOffPrefix);
        f.tick(10);
        f.countDown->btnCancel->click();

        f.start(ExitProgram, QStringLiteral("Exit Now"), kExitPrefix);

        QCOMPARE(f.countDown->SecondsLeft, 10);
        QCOMPARE(f.countDown->labMessage->text(), countdownText(kExitPrefix, 10));
        QCOMPARE(f.countDown->btnDoNow->text(), QStringLiteral("Exit Now"));
        QVERIFY(f.countDown->tmrCountdown->isActive());
        QVERIFY(!f.mainWindow.isEnabled());
        f.tick(10);
        QCOMPARE(f.fakes.powerOffCalls, 1); // only from the first countdown
        QCOMPARE(f.fakes.endProgramCalls, 1);
    }

    void failingCancelStillClosesAndEnablesTheWindow() {
        Fixture f;
        f.countDown->setHooks(
            {[] { throw AppError(QStringLiteral("Unable to write to /x/Preferences.ini")); }, {}});
        f.start(TurnOffComputer, QStringLiteral("Turn off Now"), kTurnOffPrefix);

        f.countDown->btnCancel->click();

        QCOMPARE(f.fakes.messages.size(), 1);
        QCOMPARE(f.fakes.messages.first().icon, MessageIcon::Error);
        QCOMPARE(f.fakes.messages.first().text,
                 QStringLiteral("Unable to write to /x/Preferences.ini"));
        QVERIFY(!f.countDown->isVisible());
        QVERIFY(f.mainWindow.isEnabled());
        QVERIFY(!f.countDown->tmrCountdown->isActive());
    }
};

QTEST_MAIN(TestCountDown)
#include "test_count_down.moc"
