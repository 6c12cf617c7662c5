// The picture buttons: pressed and hover looks, the round buttons' circle, and how keyboard
// and assistive technology reach them.
#include "app/desktop_seams.h"
#include "app/picture_button.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

using namespace segmora;

namespace {

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), QPointF(widget->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void clickAt(QWidget* widget, QPoint at) {
    sendMouse(widget, QEvent::MouseButtonPress, at, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

// A round 110 x 110 button, shown so that pointer events behave as on screen.
struct RoundButton {
    QWidget window;
    CircularPictureButton* button = new CircularPictureButton(&window);
    explicit RoundButton(CircularPictureButton::ClickArea area) {
        button->setGeometry(10, 10, 110, 110);
        button->setHint(QStringLiteral("Start"));
        button->setPictures(QStringLiteral(":/artwork/start.svg"),
                            QStringLiteral(":/artwork/start_down.svg"),
                            QStringLiteral(":/artwork/start_hover.svg"));
        button->setClickArea(area);
        window.resize(130, 130);
        window.show();
    }
};

} // namespace

class TestPictureButton : public QObject {
    Q_OBJECT

private slots:
    void pressedPictureWhileMouseIsDown() {
        QWidget window;
        auto* button = new PictureButton(&window);
        button->setGeometry(0, 0, 63, 35);
        button->setPictures(QStringLiteral(":/artwork/play.svg"),
                            QStringLiteral(":/artwork/play_down.svg"));
        window.show();
        QSignalSpy clicked(button, &QAbstractButton::clicked);

        sendMouse(button, QEvent::MouseButtonPress, {30, 17}, Qt::LeftButton);
        QCOMPARE(button->look(), PictureButton::Look::Pressed);
        QCOMPARE(clicked.count(), 0);
        sendMouse(button, QEvent::MouseButtonRelease, {30, 17}, Qt::NoButton);
        QVERIFY(button->look() != PictureButton::Look::Pressed);
        QCOMPARE(clicked.count(), 1);
    }

    void artworkLoads_data() {
        QTest::addColumn<QString>("picture");
        for (const char* name :
             {"play",         "play_down",    "pause",          "pause_down",  "stop",
              "stop_down",    "sel_start",    "sel_start_down", "sel_end",     "sel_end_down",
              "erase",        "erase_down",   "start",          "start_hover", "start_down",
              "cancel",       "cancel_hover", "cancel_down",    "screen",      "banner",
              "right_bottom", "tool_open",    "tool_settings",  "tool_about",  "tool_help"})
            QTest::newRow(name) << QStringLiteral(":/artwork/%1.svg").arg(QLatin1String(name));
    }
    void artworkLoads() {
        QFETCH(QString, picture);
        EnsureArtwork();
        QVERIFY2(QFile::exists(picture), qPrintable(picture));
        QIcon icon(picture);
        QVERIFY(!icon.pixmap(QSize(48, 48)).isNull());
    }

    void circleDecidesTheClick_data() {
        QTest::addColumn<bool>("wholeArea");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("clicks");
        // The centre is (55, 55); 48 * 48 = 2304 is inside, 49 * 49 = 2401 outside.
        QTest::newRow("centre") << false << QPoint(55, 55) << 1;
        QTest::newRow("edge inside") << false << QPoint(55, 7) << 1;
        QTest::newRow("just outside") << false << QPoint(55, 6) << 0;
        QTest::newRow("diagonal inside") << false << QPoint(55 + 34, 55 + 34) << 1;
        QTest::newRow("diagonal outside") << false << QPoint(55 + 35, 55 + 35) << 0;
        QTest::newRow("top-left corner") << false << QPoint(2, 2) << 0;
        QTest::newRow("bottom-right corner") << false << QPoint(108, 108) << 0;
        QTest::newRow("whole area: corner") << true << QPoint(2, 2) << 1;
        QTest::newRow("whole area: centre") << true << QPoint(55, 55) << 1;
    }
    void circleDecidesTheClick() {
        QFETCH(bool, wholeArea);
        QFETCH(QPoint, at);
        QFETCH(int, clicks);
        RoundButton round(wholeArea ? CircularPictureButton::ClickArea::Whole
                                    : CircularPictureButton::ClickArea::Circle);
        QSignalSpy clicked(round.button, &QAbstractButton::clicked);
        clickAt(round.button, at);
        QCOMPARE(clicked.count(), clicks);
    }

    void tagFollowsThePointer_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("tags");
        // Steps: i = move inside, o = move outside, p = press inside, P = press outside,
        // r = release, O = move outside with the button held, I = move inside held, l = leave,
        // b = pointer over the surroundings. tags: Tag after each step.
        QTest::newRow("hover in and out") << "ioi"
                                          << "101";
        QTest::newRow("inside twice stays hover") << "ii"
                                                  << "11";
        QTest::newRow("press and release") << "ipr"
                                           << "121";
        QTest::newRow("press, slide off the circle") << "ipO"
                                                     << "120";
        QTest::newRow("pressed stays pressed inside") << "ipI"
                                                      << "122";
        QTest::newRow("press in a corner") << "Pr"
                                           << "21";
        QTest::newRow("leaving resets") << "ipl"
                                        << "120";
        QTest::newRow("surroundings reset") << "irb"
                                            << "110";
        QTest::newRow("outside from normal") << "o"
                                             << "0";
    }
    void tagFollowsThePointer() {
        QFETCH(QString, steps);
        QFETCH(QString, tags);
        RoundButton round(CircularPictureButton::ClickArea::Circle);
        CircularPictureButton* button = round.button;
        const QPoint inside(60, 50);
        const QPoint outside(3, 3);
        QString seen;
        for (const QChar step : steps) {
            switch (step.toLatin1()) {
            case 'i':
                sendMouse(button, QEvent::MouseMove, inside, Qt::NoButton);
                break;
            case 'o':
                sendMouse(button, QEvent::MouseMove, outside, Qt::NoButton);
                break;
            case 'I':
                sendMouse(button, QEvent::MouseMove, inside, Qt::LeftButton);
                break;
            case 'O':
                sendMouse(button, QEvent::MouseMove, outside, Qt::LeftButton);
                break;
            case 'p':
                sendMouse(button, QEvent::MouseButtonPress, inside, Qt::LeftButton);
                break;
            case 'P':
                sendMouse(button, QEvent::MouseButtonPress, outside, Qt::LeftButton);
                break;
            case 'r':
                sendMouse(button, QEvent::MouseButtonRelease, inside, Qt::NoButton);
                break;
            case 'l': {
                QEvent leave(QEvent::Leave);
                QApplication::sendEvent(button, &leave);
                break;
            }
            case 'b':
                button->ResetLook();
                break;
            }
            seen += QString::number(button->Tag());
        }
        QCOMPARE(seen, tags);
        QCOMPARE(static_cast<int>(button->look()), tags.back().digitValue());
    }

    void keyboardPressCountsAsCentre() {
        // Space on a round button whose clicks count only inside the circle: the press has no
        // pointer position and must not be thrown away as a corner click.
        RoundButton round(CircularPictureButton::ClickArea::Circle);
        QSignalSpy clicked(round.button, &QAbstractButton::clicked);
        QTest::keyPress(round.button, Qt::Key_Space);
        QCOMPARE(round.button->look(), PictureButton::Look::Pressed);
        QTest::keyRelease(round.button, Qt::Key_Space);
        QCOMPARE(clicked.count(), 1);
    }

    // Without a desktop theme the message boxes draw the program's own icons, sharp at twice
    // the scale; a box without an icon gets none.
    void messageBoxIconsWithoutATheme_data() {
        QTest::addColumn<int>("icon");
        QTest::newRow("information") << int(MessageIcon::Information);
        QTest::newRow("question") << int(MessageIcon::Question);
        QTest::newRow("error") << int(MessageIcon::Error);
    }
    void messageBoxIconsWithoutATheme() {
        QFETCH(int, icon);
        const QString theme = QIcon::themeName();
        const QString fallback = QIcon::fallbackThemeName();
        QIcon::setThemeName(QStringLiteral("segmora-test-no-such-theme"));
        QIcon::setFallbackThemeName(QStringLiteral("segmora-test-no-such-theme"));
        const QIcon picture = MessageBoxIcon(MessageIcon(icon));
        QIcon::setThemeName(theme);
        QIcon::setFallbackThemeName(fallback);
        QVERIFY(!picture.isNull());
        const QPixmap sharp = picture.pixmap(QSize(32, 32), 2.0);
        QCOMPARE(sharp.size(), QSize(64, 64));
        const QImage image = sharp.toImage();
        QCOMPARE(qAlpha(image.pixel(32, 10)), 255);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(MessageBoxIcon(MessageIcon::None).isNull());
    }

    void accessibleAsNamedPushButton_data() {
        QTest::addColumn<bool>("round");
        QTest::addColumn<QString>("hint");
        QTest::newRow("picture") << false << QStringLiteral("Set the Start Time");
        QTest::newRow("round") << true << QStringLiteral("Cancel");
    }
    void accessibleAsNamedPushButton() {
        QFETCH(bool, round);
        QFETCH(QString, hint);
        QWidget window;
        PictureButton* button =
            round ? new CircularPictureButton(&window) : new PictureButton(&window);
        button->setGeometry(0, 0, round ? 110 : 63, round ? 110 : 35);
        button->setHint(hint);
        button->setKeyHint(QStringLiteral("I"));
        window.show();
        // The key follows the hint in the tool tip and is the description; the name stays the
        // hint exactly.
        QCOMPARE(button->toolTip(), hint + QStringLiteral(" (I)"));

        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
        QVERIFY(iface);
        QCOMPARE(iface->role(), QAccessible::Button);
        QCOMPARE(iface->text(QAccessible::Name), hint);
        QCOMPARE(iface->text(QAccessible::Description), QStringLiteral("Key: I"));
        QAccessibleActionInterface* actions = iface->actionInterface();
        QVERIFY(actions);
        QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));

        QSignalSpy clicked(button, &QAbstractButton::clicked);
        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(clicked.count(), 1);
    }
};

QTEST_MAIN(TestPictureButton)
#include "test_picture_button.moc"
