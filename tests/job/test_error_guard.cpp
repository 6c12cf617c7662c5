// The error guard at the entry points of a window: a slot connected through guardedSlot gets the
// signal's arguments, and an error raised in it is shown in the error box, naming its owner,
// while the program carries on; called directly, the handler raises.
#include "ground/app_error.h"
#include "ground/error_guard.h"

#include "fake_seams.h"

#include <QWidget>
#include <QtTest>

using namespace segmora;

namespace {

class Panel : public QWidget {
    Q_OBJECT
public:
    QStringList seen;
    void take(int number, const QString& text) {
        if (text.isEmpty())
            throw AppError(QStringLiteral("Nothing to take: %1").arg(number));
        seen.append(QString::number(number) + QLatin1Char(' ') + text);
    }

signals:
    // One argument more than the handlers take.
    void sent(int number, const QString& text, bool extra);
};

} // namespace

class TestErrorGuard : public QObject {
    Q_OBJECT

private slots:
    void slotsAreEnteredThroughTheGuard_data() {
        QTest::addColumn<bool>("member"); // else a lambda
        QTest::newRow("member handler") << true;
        QTest::newRow("lambda") << false;
    }
    void slotsAreEnteredThroughTheGuard() {
        QFETCH(bool, member);
        test::FakeSeams fakes;
        Panel panel;
        if (member)
            connect(&panel, &Panel::sent, &panel, guardedSlot(&panel, &Panel::take));
        else
            connect(&panel, &Panel::sent, &panel,
                    guardedSlot(&panel, [&panel](int number, const QString& text) {
                        panel.take(number, text);
                    }));

        emit panel.sent(1, QStringLiteral("one"), true);
        emit panel.sent(2, QString(), true); // raises inside the slot
        emit panel.sent(3, QStringLiteral("three"), false);

        QCOMPARE(panel.seen, (QStringList{"1 one", "3 three"}));
        QCOMPARE(fakes.messages.size(), 1);
        QCOMPARE(fakes.messages[0].text, QStringLiteral("Nothing to take: 2"));
        QCOMPARE(fakes.messages[0].icon, MessageIcon::Error);
        QCOMPARE(fakes.messages[0].owner, static_cast<QWidget*>(&panel));
        QVERIFY_THROWS_EXCEPTION(AppError, panel.take(4, QString()));
    }

    // A call posted to the event loop is an entry point too.
    void postedCallsAreGuarded() {
        test::FakeSeams fakes;
        Panel panel;
        QMetaObject::invokeMethod(&panel,
                                  guardedSlot(&panel, [&panel] { panel.take(5, QString()); }),
                                  Qt::QueuedConnection);
        QTRY_COMPARE(fakes.messages.size(), 1);
        QCOMPARE(fakes.messages[0].text, QStringLiteral("Nothing to take: 5"));
    }
};

QTEST_MAIN(TestErrorGuard)
#include "test_error_guard.moc"
