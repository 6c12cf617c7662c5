// Copy mode keeps every stream the output container can hold, the metadata and the chapters
// that fall in the section.
#include "converter_harness.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace vorkast::test;

class TestCopy : public QObject {
    Q_OBJECT
private slots:
    void keepsStreamsAndChapters_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("length");
        QTest::addColumn<QStringList>("subtitles");
        QTest::addColumn<QStringList>("chapters"); // "title start end" in clip seconds
        QTest::newRow("mp4, across chapters")
            << "mp4"
            << "1.3"
            << "3" << QStringList{"mov_text"}
            << QStringList{"One 0 0.7", "Two 0.7 2.7", "Three 2.7 3"};
        QTest::newRow("mov, inside one chapter")
            << "mov"
            << "4.5"
            << "1" << QStringList{"mov_text"} << QStringList{"Three 0 1"};
        // AVI has no place for text subtitles or chapters; the rest is kept.
        QTest::newRow("avi") << "avi"
                             << "1.3"
                             << "3" << QStringList{} << QStringList{};
    }
    void keepsStreamsAndChapters() {
        QFETCH(QString, extension);
        QFETCH(QString, start);
        QFETCH(QString, length);
        QFETCH(QStringList, subtitles);
        QFETCH(QStringList, chapters);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip." + extension);
        const Run run = runVorkast(
            {"-y", "-i", fixture("rich.mp4"), "-ss", start, "-t", length, "-c", "copy", output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));

        const ProbeInfo info = probe(output);
        QCOMPARE(info.codecs("video"), QStringList{"h264"});
        QCOMPARE(info.codecs("audio"), (QStringList{"aac", "aac"}));
        QCOMPARE(info.codecs("subtitle"), subtitles);
        QStringList languages;
        for (const StreamInfo& s : info.streams)
            if (s.type == "audio")
                languages << s.language;
        if (extension != "avi") {
            QCOMPARE(languages, (QStringList{"eng", "ger"}));
            QCOMPARE(info.title, QStringLiteral("Rich fixture"));
        }

        QCOMPARE(info.chapters.size(), chapters.size());
        for (int i = 0; i < chapters.size(); ++i) {
            const QStringList want = chapters[i].split(' ');
            const ChapterInfo& got = info.chapters[i];
            QCOMPARE(got.title, want[0]);
            // The clip counts from the picture on screen at the start: up to a frame earlier.
            QVERIFY2(
                std::fabs(got.start - want[1].toDouble()) <= 0.05 &&
                    std::fabs(got.end - want[2].toDouble()) <= 0.05,
                qPrintable(QStringLiteral("%1 %2 %3").arg(got.title).arg(got.start).arg(got.end)));
        }
    }

    void videoOrAudioAlone_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<int>("videoCount");
        QTest::addColumn<int>("audioCount");
        QTest::newRow("no video") << "-vn" << 0 << 2;
        QTest::newRow("no audio") << "-an" << 1 << 0;
    }
    void videoOrAudioAlone() {
        QFETCH(QString, flag);
        QFETCH(int, videoCount);
        QFETCH(int, audioCount);
        QTemporaryDir dir;
        const QString output = dir.filePath("clip.mp4");
        const Run run = runVorkast(
            {"-i", fixture("rich.mp4"), "-ss", "2", "-t", "2", "-c", "copy", flag, output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errorText));
        const ProbeInfo info = probe(output);
        QCOMPARE(int(info.codecs("video").size()), videoCount);
        QCOMPARE(int(info.codecs("audio").size()), audioCount);
    }
};

QTEST_GUILESS_MAIN(TestCopy)
#include "test_copy.moc"
