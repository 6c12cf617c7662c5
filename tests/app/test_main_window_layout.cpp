// The main window as it grows and shrinks: every control in view at each size, the preview
// taking the room, the remembered size and place, and what screen readers hear of the times.
#include "app/application.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "fake_seams.h"
#include "ground/ini_file.h"
#include "ground/window_placement.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "test_support.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>
#include <memory>

using namespace segmora;

namespace {

struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    std::unique_ptr<Application> app;

    TMainForm* start() {
        app = std::make_unique<Application>(folder.context(), QString());
        return app->mainForm();
    }
};

// The controls a user sees and works with, each of which must stay in full view on its own.
// The screen picture and the corner decoration are backdrops: the banner and the round button
// stand on them by design.
const char* const kVisibleControls[] = {
    "imgBanner",     "labLeft",      "labMiddle", "labRight",    "tkbProgress", "labCurrent",
    "imgPlay",       "imgPause",     "imgStop",   "imgSelStart", "imgSelEnd",   "imgErase",
    "tbtnOpen",      "tbtnSettings", "tbtnAbout", "tbtnHelp",    "Label2",      "edtSource",
    "rdbStartEnd",   "Label4",       "edtStart",  "Label5",      "edtEnd",      "rdbEqual",
    "edtSectionQty", "Label7",       "Label10",   "cmbProfile",  "BitBtn1",     "Label3",
    "edtOutputDir",  "bbtnBrowse",   "imgStart"};

QString shownText(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return QString();
}

QRect inWindow(const QWidget* window, const QWidget* control) {
    return QRect(control->mapTo(window, QPoint(0, 0)), control->size());
}

} // namespace

class TestMainWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void everyControlInViewAtEachSize_data() {
        QTest::addColumn<QSize>("size"); // invalid: the window's minimum size
        QTest::newRow("default") << QSize(772, 410);
        QTest::newRow("maximised on a 1920x1080 screen") << QSize(1920, 1080);
        QTest::newRow("minimum") << QSize();
        QTest::newRow("tall and narrow") << QSize(772, 900);
        QTest::newRow("wide and low") << QSize(1400, 410);
    }
    void everyControlInViewAtEachSize() {
        QFETCH(QSize, size);
        World world;
        TMainForm* form = world.start();
        form->show();
        form->resize(size.isValid() ? size : QSize(1, 1));
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QTRY_COMPARE(form->size(), size.isValid() ? size : form->minimumSize());
        const QRect window = form->rect();

        QList<QPair<QString, QRect>> placed;
        for (const char* name : kVisibleControls) {
            const auto* control = form->findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(control, name);
            QVERIFY2(control->isVisible(), name);
            const QRect rect = inWindow(form, control);
            QVERIFY2(!rect.isEmpty() && window.contains(rect),
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5")
                                    .arg(name)
                                    .arg(rect.x())
                                    .arg(rect.y())
                                    .arg(rect.width())
                                    .arg(rect.height())));
            // Nothing cuts its text off.
            if (const QString text = shownText(control); !text.isEmpty())
                QVERIFY2(control->fontMetrics().horizontalAdvance(text) <= control->width(), name);
            for (const auto& [other, otherRect] : placed)
                QVERIFY2(!rect.intersects(otherRect), qPrintable(other + " and " + name));
            placed.append({QString::fromLatin1(name), rect});
        }

        // The preview takes the room; the command side keeps its width and stays on the right,
        // the round button in the bottom corner.
        QCOMPARE(form->panRight->width(), 373);
        QCOMPARE(inWindow(form, form->panRight).right(), window.right());
        QCOMPARE(form->panLeft->width(), window.width() - 373);
        QVERIFY(form->imgScreen->width() >= 390 && form->imgScreen->height() >= 290);
        QCOMPARE(form->imgScreen->width(), form->panLeft->width() - 9);
        QVERIFY(inWindow(form, form->imgStart).bottom() >= window.bottom() - 2);
        QCOMPARE(inWindow(form, form->imgRightBottom).bottomRight(), window.bottomRight());
        // The bar and the time row stretch with the preview.
        QCOMPARE(form->tkbProgress->width(),
                 form->panLeft->width() - 17 - form->labCurrent->width());
        QCOMPARE(inWindow(form, form->labRight).right(),
                 inWindow(form, form->imgScreen).right() - 5);
        // The video and the banner stand inside the screen picture's display.
        const QRect screen = inWindow(form, form->imgScreen);
        QVERIFY(screen.contains(inWindow(form, form->videoWindow)));
        QVERIFY(screen.contains(inWindow(form, form->imgBanner)));
        QCOMPARE(form->videoWindow->width(), screen.width() - 59);
        QCOMPARE(form->videoWindow->height(), screen.height() - 53);
    }

    void progressPanelCoversTheSourceAndOutputAtEachSize_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("default") << QSize(772, 410);
        QTest::newRow("maximised on a 1920x1080 screen") << QSize(1920, 1080);
    }
    void progressPanelCoversTheSourceAndOutputAtEachSize() {
        QFETCH(QSize, size);
        World world;
        TMainForm* form = world.start();
        form->show();
        form->resize(size);
        form->panProgress->show();
        QTRY_COMPARE(form->panProgress->size(), QSize(373, 217));
        const QRect panel = inWindow(form, form->panProgress);
        for (const QWidget* covered :
             {static_cast<QWidget*>(form->edtSource), static_cast<QWidget*>(form->gpbOutput)})
            QVERIFY(panel.contains(inWindow(form, covered)));
        // The round button stays above the panel.
        QVERIFY(form->imgStart->isVisible());
    }

    // The window comes back where it was, but never where no screen shows it.
    void rememberedPlacementComesBack_data() {
        QTest::addColumn<QByteArray>("window"); // the [Window] section's lines
        QTest::addColumn<QRect>("expected");    // null: the default size, centred
        QTest::addColumn<bool>("maximized");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QTest::newRow("none remembered") << QByteArray() << QRect() << false;
        QTest::newRow("on screen") << QByteArray("X=20\nY=30\nWidth=780\nHeight=420\nMaximized=0\n")
                                   << QRect(20, 30, 780, 420) << false;
        QTest::newRow("off to the right after a monitor went")
            << QByteArray("X=3000\nY=40\nWidth=780\nHeight=420\nMaximized=0\n")
            << QRect(screen.right() - 779, 40, 780, 420) << false;
        QTest::newRow("above the top") << QByteArray("X=5\nY=-900\nWidth=780\nHeight=420\n")
                                       << QRect(5, screen.top(), 780, 420) << false;
        QTest::newRow("smaller than the least size")
            << QByteArray("X=10\nY=10\nWidth=200\nHeight=100\n") << QRect(10, 10, 772, 410)
            << false;
        QTest::newRow("maximised") << QByteArray("X=10\nY=10\nWidth=780\nHeight=420\nMaximized=1\n")
                                   << QRect(10, 10, 780, 420) << true;
        QTest::newRow("unreadable width")
            << QByteArray("X=10\nY=10\nWidth=wide\nHeight=420\n") << QRect() << false;
    }
    void rememberedPlacementComesBack() {
        QFETCH(QByteArray, window);
        QFETCH(QRect, expected);
        QFETCH(bool, maximized);
        World world;
        world.folder.writeFile(QStringLiteral("Preferences.ini"),
                               "[Main]\nVersion=1.8\nProfile=1\n[Window]\n" + window);
        TMainForm* form = world.start();
        QCOMPARE(form->isMaximized(), maximized);
        if (expected.isNull()) {
            QCOMPARE(form->size(), QSize(772, 410));
            QCOMPARE(form->geometry().center(),
                     QGuiApplication::primaryScreen()->availableGeometry().center());
        } else {
            QCOMPARE(QRect(form->pos(), form->size()), expected);
        }
    }

    // Closing keeps the size and place in a section of their own and leaves the others alone.
    void placementKeptOnClose() {
        World world;
        world.folder.writeFile(QStringLiteral("Preferences.ini"),
                               "[Main]\nVersion=2.0 beta\nProfile=1\n");
        TMainForm* form = world.start();
        form->show();
        form->setGeometry(30, 40, 900, 500);
        QTRY_COMPARE(form->size(), QSize(900, 500));
        const QRect placed(form->pos(), form->size());
        QVERIFY(form->close());
        const std::optional<WindowPlacement> kept = ReadWindowPlacement(world.folder.context());
        QVERIFY(kept);
        QCOMPARE(kept->rect, placed);
        QVERIFY(!kept->maximized);
        const IniFile ini(world.folder.context().preferencesPath());
        QCOMPARE(ini.readString(QStringLiteral("Main"), QStringLiteral("Version"), {}),
                 QStringLiteral("2.0 beta"));
        QVERIFY(!ini.snapshot().keys(QStringLiteral("Main")).contains(QStringLiteral("X")));
        QVERIFY(world.fakes.messages.isEmpty());
    }

    // Screen readers hear what a time means along with the time.
    void timeLabelsReadWithTheirContext_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("context");
        QTest::newRow("current position") << "labCurrent"
                                          << "Current position";
        QTest::newRow("start") << "labLeft"
                               << "Start of the source";
        QTest::newRow("half") << "labMiddle"
                              << "Half of the duration";
        QTest::newRow("duration") << "labRight"
                                  << "Duration";
    }
    void timeLabelsReadWithTheirContext() {
        QFETCH(QString, name);
        QFETCH(QString, context);
        World world;
        TMainForm* form = world.start();
        form->show();
        auto* label = form->findChild<QLabel*>(name);
        QVERIFY(label);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), context + QStringLiteral(" 00:00:00"));
        label->setText(QStringLiteral("00:00:07"));
        QCOMPARE(accessible->text(QAccessible::Name), context + QStringLiteral(" 00:00:07"));
        QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("00:00:07"));
        QVERIFY(!accessible->text(QAccessible::Description).isEmpty());
        QCOMPARE(accessible->role(), QAccessible::StaticText);
    }

    // A mark with milliseconds fits its field whole: the hours are not scrolled out of view.
    void timeFieldsShowAMarkWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("start") << "edtStart";
        QTest::newRow("end") << "edtEnd";
    }
    void timeFieldsShowAMarkWhole() {
        QFETCH(QString, name);
        World world;
        TMainForm* form = world.start();
        form->show();
        auto* field = form->findChild<QLineEdit*>(name);
        QVERIFY(field);
        const QString mark = QStringLiteral("00:00:08.880");
        field->setText(mark);
        // The field finds how far it scrolls when it paints.
        QVERIFY(QTest::qWaitForWindowExposed(form));
        field->repaint();
        // The cursor stands after the text: scrolled, it would sit left of the text's width.
        QVERIFY2(field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() >
                     field->fontMetrics().horizontalAdvance(mark),
                 qPrintable(QStringLiteral("%1 px wide").arg(field->width())));
    }
};

QTEST_MAIN(TestMainWindowLayout)
#include "test_main_window_layout.moc"
