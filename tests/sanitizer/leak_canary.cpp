// Proof that the leak check sees a leak made by a test: run in the sanitizer build only, once
// per slot. leaksFromATestSlot must fail (registered as expected to fail); its twin
// freesWhatItTakes, the same program without the leak, must pass, so the failure comes from
// the leak and nothing else.
#include <QApplication>
#include <QLabel>
#include <QtTest>

class LeakCanary : public QObject {
    Q_OBJECT
private slots:
    void leaksFromATestSlot() {
        // Reached through Qt Test's own frames, as every leak of a test slot is.
        int* lost = new int[1000];
        lost[0] = showSomething();
        QVERIFY(lost[0] > 0);
        lost = nullptr;
    }

    void freesWhatItTakes() {
        int* kept = new int[1000];
        kept[0] = showSomething();
        QVERIFY(kept[0] > 0);
        delete[] kept;
    }

private:
    // Fonts and the platform plugin load as in the window tests, with whatever they keep.
    static int showSomething() {
        QLabel label(QStringLiteral("canary"));
        label.show();
        return label.sizeHint().width();
    }
};

QTEST_MAIN(LeakCanary)
#include "leak_canary.moc"
