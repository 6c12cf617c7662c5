// The rules of the dialogs shown over the main window: which windows are disabled and enabled,
// where the dialog goes, who gets the focus back.
#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QWindow>
#include <QtTest>
#include <memory>

using namespace segmora;

class TestDialogOverMainWindow : public QObject {
    Q_OBJECT
private slots:
    void centring_data() {
        QTest::addColumn<QRect>("mainFrame");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("topLeft");
        QTest::newRow("odd sizes")
            << QRect(100, 50, 301, 201) << QSize(101, 51) << QPoint(200, 125);
        QTest::newRow("even sizes")
            << QRect(100, 50, 300, 200) << QSize(100, 50) << QPoint(200, 125);
        QTest::newRow("dialog larger than the main window")
            << QRect(0, 0, 100, 100) << QSize(300, 200) << QPoint(-100, -50);
        QTest::newRow("main window partly off screen")
            << QRect(-200, -100, 400, 300) << QSize(200, 100) << QPoint(-99, 0);
    }
    void centring() {
        QFETCH(QRect, mainFrame);
        QFETCH(QSize, size);
        QFETCH(QPoint, topLeft);
        const QPoint placed = CentredOn(mainFrame, QRect(QPoint(7, 9), size));
        QCOMPARE(placed, topLeft);
        QCOMPARE(QRect(placed, size).center(), mainFrame.center());
    }

    void showingAndHiding_data() {
        QTest::addColumn<bool>("hasMain");
        QTest::addColumn<bool>("ownedByMain"); // the dialog is a child window of the main window
        QTest::addColumn<bool>("keep");        // a further child window of the main window is kept
        QTest::addColumn<bool>("transient");
        QTest::addColumn<bool>("returnFocus");
        QTest::newRow("own window") << true << false << false << false << false;
        QTest::newRow("child of the main window") << true << true << false << false << false;
        QTest::newRow("another window kept usable") << true << false << true << false << false;
        QTest::newRow("transient, focus returned") << true << false << false << true << true;
        QTest::newRow("no main window") << false << false << true << true << true;
    }
    void showingAndHiding() {
        QFETCH(bool, hasMain);
        QFETCH(bool, ownedByMain);
        QFETCH(bool, keep);
        QFETCH(bool, transient);
        QFETCH(bool, returnFocus);
        QWidget main;
        main.setGeometry(200, 150, 400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        // Windows the main window owns: disabling it disables them too.
        auto* other = new QDialog(&main);
        other->show();
        std::unique_ptr<QDialog> own;
        QDialog* dialog = nullptr;
        if (ownedByMain) {
            dialog = new QDialog(&main);
        } else {
            own = std::make_unique<QDialog>();
            dialog = own.get();
        }
        dialog->resize(120, 60);
        DialogOverMainWindow over(dialog,
                                  {.transientParent = transient, .returnFocus = returnFocus});
        QList<QWidget*> kept;
        if (keep)
            kept = {other, &main}; // the main window itself is never kept usable
        over.setMainWindow(hasMain ? &main : nullptr, kept);
        QCOMPARE(over.mainWindow(), hasMain ? &main : nullptr);

        dialog->show();
        over.showing();
        QCOMPARE(main.isEnabled(), !hasMain);
        QVERIFY(dialog->isEnabled());
        QCOMPARE(other->isEnabled(), !hasMain || keep);
        if (hasMain) {
            QCOMPARE(dialog->frameGeometry().center(), main.frameGeometry().center());
            QCOMPARE(dialog->windowHandle()->transientParent(), transient     ? main.windowHandle()
                                                                : ownedByMain ? main.windowHandle()
                                                                              : nullptr);
        }

        QApplication::setActiveWindow(dialog);
        dialog->hide();
        over.hidden();
        QVERIFY(main.isEnabled());
        QVERIFY(other->isEnabled());
        if (hasMain && returnFocus)
            QTRY_COMPARE(QApplication::activeWindow(), &main);
    }

    void bringToFront() {
        QDialog dialog;
        BringToFront(&dialog);
        QVERIFY(dialog.isVisible());
        BringToFront(&dialog); // shown already: stays shown
        QVERIFY(dialog.isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), &dialog);
        BringToFront(nullptr);
    }
};

QTEST_MAIN(TestDialogOverMainWindow)
#include "test_dialog_over_main_window.moc"
