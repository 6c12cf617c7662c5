// Bringing a remembered window rect back onto the screens there are now.
#include "ground/window_placement.h"

#include <QtTest>

using namespace segmora;

class TestWindowPlacement : public QObject {
    Q_OBJECT

private slots:
    void pullOntoScreen_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("expected");
        const QRect left(0, 0, 1920, 1040);     // primary, a task bar below
        const QRect right(1920, 0, 1280, 1024); // a second monitor to the right
        const QList<QRect> both{left, right};
        const QList<QRect> primaryOnly{left};
        QTest::newRow("inside the primary")
            << QRect(100, 100, 772, 410) << both << QRect(100, 100, 772, 410);
        QTest::newRow("inside the second")
            << QRect(2000, 50, 772, 410) << both << QRect(2000, 50, 772, 410);
        QTest::newRow("across both: onto the one it overlaps most")
            << QRect(1700, 100, 772, 410) << both << QRect(1920, 100, 772, 410);
        QTest::newRow("second monitor gone")
            << QRect(2000, 50, 772, 410) << primaryOnly << QRect(1148, 50, 772, 410);
        QTest::newRow("left of every screen")
            << QRect(-3000, 200, 772, 410) << both << QRect(0, 200, 772, 410);
        QTest::newRow("below the task bar")
            << QRect(100, 900, 772, 410) << primaryOnly << QRect(100, 630, 772, 410);
        QTest::newRow("above the top")
            << QRect(100, -50, 772, 410) << primaryOnly << QRect(100, 0, 772, 410);
        QTest::newRow("larger than the screen left")
            << QRect(2000, 0, 1800, 1100) << primaryOnly << QRect(120, 0, 1800, 1040);
        QTest::newRow("screen not at the origin")
            << QRect(0, 0, 772, 410) << QList<QRect>{QRect(-1280, 200, 1280, 1024)}
            << QRect(-772, 200, 772, 410);
        QTest::newRow("no screens at all")
            << QRect(5000, 5000, 772, 410) << QList<QRect>{} << QRect(5000, 5000, 772, 410);
    }
    void pullOntoScreen() {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QTEST(PullOntoScreen(saved, screens), "expected");
    }
};

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "test_window_placement.moc"
