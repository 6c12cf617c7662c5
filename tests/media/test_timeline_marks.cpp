// Where a lossless cut of each clip really starts, and the names snapshots get, without a
// window or a player.
#include "ground/app_error.h"
#include "media/timeline_marks.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace segmora;

class TestTimelineMarks : public QObject {
    Q_OBJECT
private slots:
    void losslessLandings_data() {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<bool>("intraOnly");
        QTest::addColumn<QVector<double>>("asked");
        QTest::addColumn<QVector<CutLanding>>("landings");
        const QVector<double> between{1.3, 4.0, 5.9};
        QTest::newRow("WMV: each start between keyframes goes back to one")
            << "wmv3" << false << between << QVector<CutLanding>{{1.3, 0.96}, {5.9, 5.0}};
        QTest::newRow("VC-1 too") << "vc1" << false << QVector<double>{2.0}
                                  << QVector<CutLanding>{{2.0, 1.92}};
        QTest::newRow("before the first keyframe: the source's start")
            << "wmv2" << false << QVector<double>{0.2} << QVector<CutLanding>{{0.2, 0.0}};
        for (const char* exact : {"h264", "mpeg1video", "mpeg2video", "mpeg4"})
            QTest::newRow(exact) << exact << false << between << QVector<CutLanding>{};
        QTest::newRow("every frame a keyframe")
            << "mjpeg" << true << between << QVector<CutLanding>{};
    }
    void losslessLandings() {
        QFETCH(QString, codec);
        QFETCH(bool, intraOnly);
        QFETCH(QVector<double>, asked);
        const QVector<double> keyframes{0.48, 0.96, 1.92, 4.0, 5.0};
        QTEST(LosslessCutLandings(asked, keyframes, codec, intraOnly), "landings");
        // Keyframes not known yet: nothing is shown rather than a guess.
        QVERIFY(LosslessCutLandings(asked, {}, codec, intraOnly).isEmpty());
    }

    void landingSentence() {
        QCOMPARE(CutLandingText({65.25, 64.0}),
                 QStringLiteral("A lossless cut of this video starts at the keyframe before the "
                                "Start Time: the clip begins at 00:01:04, 1.250 s earlier."));
    }

    void snapshotNames_data() {
        QTest::addColumn<QString>("video");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("name");
        QTest::newRow("time to the millisecond")
            << "holiday.mp4" << 3725.4567 << QStringList{} << "holiday_01-02-05.457.png";
        QTest::newRow("dots in the name")
            << "a.b.mov" << 0.0 << QStringList{} << "a.b_00-00-00.000.png";
        QTest::newRow("one there already")
            << "holiday.mp4" << 2.0 << QStringList{"holiday_00-00-02.000.png"}
            << "holiday_00-00-02.000_2.png";
        QTest::newRow("two there already")
            << "holiday.mp4" << 2.0
            << QStringList{"holiday_00-00-02.000.png", "holiday_00-00-02.000_2.png"}
            << "holiday_00-00-02.000_3.png";
    }
    void snapshotNames() {
        QFETCH(QString, video);
        QFETCH(double, seconds);
        QFETCH(QStringList, existing);
        QTemporaryDir dir;
        for (const QString& name : existing) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QTEST(SnapshotPath(dir.filePath(video), seconds).section(QLatin1Char('/'), -1), "name");
    }

    void snapshotWrittenWholeOrRefused() {
        QTemporaryDir dir;
        QImage picture(32, 24, QImage::Format_RGB32);
        picture.fill(Qt::green);
        const QString path = dir.filePath(QStringLiteral("frame.png"));
        WriteSnapshot(picture, path);
        QCOMPARE(QImage(path).pixelColor(5, 5), QColor(Qt::green));
        const QString lost = dir.filePath(QStringLiteral("gone/frame.png"));
        try {
            WriteSnapshot(picture, lost);
            QFAIL("written into a missing folder");
        } catch (const AppError& error) {
            QCOMPARE(QString::fromStdString(error.what()),
                     QStringLiteral("Unable to write to ") + lost);
        }
        QVERIFY_THROWS_EXCEPTION(AppError, WriteSnapshot(QImage(), path));
    }
};

QTEST_MAIN(TestTimelineMarks)
#include "test_timeline_marks.moc"
