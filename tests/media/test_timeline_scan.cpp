// The timeline's scans without a window: sound, thumbnails, silences, black frames and scene
// changes of generated sources whose places are known, the cache and the scanning threads
// (SEGMORA_NEEDS_MEDIA).
#include "media/timeline_scan.h"
#include "test_support.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

using segmora::test::fixture;
using namespace segmora;

namespace {

// marks.* (make_fixtures.sh): black 4-5 s, a cut between two patterns at 8 s, silences at
// 3-5 s and 9-10.5 s. Encoders pad and delay the sound by a few hundredths.
constexpr double kSoundSlack = 0.1;
// Two frames at 25 fps.
constexpr double kPictureSlack = 0.08;

QString spansText(const QVector<TimeSpan>& spans) {
    QStringList parts;
    for (const TimeSpan& span : spans)
        parts.append(QStringLiteral("%1-%2").arg(span.from).arg(span.to));
    return parts.join(QLatin1Char(' '));
}

bool near(const QVector<TimeSpan>& found, const QVector<TimeSpan>& expected, double slack) {
    if (found.size() != expected.size())
        return false;
    for (qsizetype i = 0; i < found.size(); ++i) {
        if (qAbs(found[i].from - expected[i].from) > slack ||
            qAbs(found[i].to - expected[i].to) > slack)
            return false;
    }
    return true;
}

// Peaks of a tone (0.5) with the given quiet hundredths.
QVector<float> peaksWithQuiet(int total, const QVector<QPair<int, int>>& quiet) {
    QVector<float> peaks(total, 0.5f);
    for (const auto& [from, to] : quiet)
        std::fill(peaks.begin() + from, peaks.begin() + to, 0.001f);
    return peaks;
}

} // namespace

class TestTimelineScan : public QObject {
    Q_OBJECT
private slots:
    void marksOfGeneratedSources_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("codec");
        QTest::newRow("MP4, H.264 and AAC") << "marks.mp4"
                                            << "h264";
        QTest::newRow("AVI, MPEG-4 Visual and MP3") << "marks.avi"
                                                    << "mpeg4";
        QTest::newRow("WMV, Windows Media 8 and its audio") << "marks.wmv"
                                                            << "wmv2";
        QTest::newRow("MPEG program stream, MPEG-2 and MP2") << "marks.mpg"
                                                             << "mpeg2video";
        // Every picture a keyframe, and the sound in interleaved integers, not float planes.
        QTest::newRow("Matroska, FFV1 and PCM") << "marks.mkv"
                                                << "ffv1";
    }
    void marksOfGeneratedSources() {
        QFETCH(QString, file);
        QFETCH(QString, codec);
        const SoundScan sound = ScanSound(fixture(file));
        QVERIFY(sound.complete);
        // Twelve seconds of it, in hundredths.
        QVERIFY2(qAbs(sound.peaks.size() - 1200) <= 10,
                 qPrintable(QString::number(sound.peaks.size())));
        QVERIFY2(near(sound.silences, {{3, 5}, {9, 10.5}}, kSoundSlack),
                 qPrintable(spansText(sound.silences)));
        // The tone is loud where it plays.
        QVERIFY(sound.peaks[100] > 0.3f && sound.peaks[700] > 0.3f);

        PictureScan pictures;
        ScanThumbnails(fixture(file), 1.0, pictures);
        QVERIFY(pictures.thumbnailsComplete);
        QCOMPARE(pictures.codecName, codec);
        QVERIFY(!pictures.thumbnails.isEmpty());
        for (const Thumbnail& thumbnail : pictures.thumbnails) {
            QCOMPARE(thumbnail.picture.height(), kThumbnailHeight);
            // 160x120: four to three.
            QCOMPARE(thumbnail.picture.width(), 48);
        }
        // The first tile shows the keyframe at or before the middle of the first second.
        QVERIFY(pictures.thumbnails.first().seconds <= 0.5);

        const qsizetype barThumbnails = pictures.thumbnails.size();
        ScanPictureContent(fixture(file), 1.0, pictures);
        QVERIFY(pictures.contentComplete);
        // The keyframes' own thumbnails join those of the bar, in order, none twice.
        QVERIFY(pictures.thumbnails.size() >= barThumbnails);
        QVERIFY(pictures.thumbnails.first().seconds < 0.1); // the very first keyframe
        for (qsizetype i = 1; i < pictures.thumbnails.size(); ++i)
            QVERIFY(pictures.thumbnails[i].seconds > pictures.thumbnails[i - 1].seconds);
        QVERIFY2(near(pictures.blackFrames, {{4, 5}}, kPictureSlack),
                 qPrintable(spansText(pictures.blackFrames)));
        // Into and out of black is told by the black frames; the one cut between pictures is
        // the scene change. H.264 and MPEG-4 start a keyframe at each cut; WMV and MPEG-2 leave
        // the cut at 8 s between two keyframes, found by decoding the pictures between them.
        QCOMPARE(pictures.sceneChanges.size(), 1);
        QVERIFY(qAbs(pictures.sceneChanges.first() - 8.0) <= kPictureSlack);
    }

    void sourcesWithoutTheirStream_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("soundComplete");
        QTest::addColumn<bool>("picturesComplete");
        QTest::addColumn<bool>("hasPicture");
        // A file without sound is read to its end: there is nothing to wait for.
        QTest::newRow("picture only") << "len59_9.mp4" << true << true << true;
        QTest::newRow("no media at all") << "notvideo.mp4" << false << false << false;
        QTest::newRow("empty file") << "empty.mp4" << false << false << false;
    }
    void sourcesWithoutTheirStream() {
        QFETCH(QString, file);
        QFETCH(bool, soundComplete);
        QFETCH(bool, picturesComplete);
        QFETCH(bool, hasPicture);
        const SoundScan sound = ScanSound(fixture(file));
        QCOMPARE(sound.complete, soundComplete);
        QVERIFY(sound.peaks.isEmpty());
        QVERIFY(sound.silences.isEmpty());
        PictureScan pictures;
        ScanThumbnails(fixture(file), 1.0, pictures);
        QCOMPARE(pictures.thumbnailsComplete, picturesComplete);
        QCOMPARE(!pictures.thumbnails.isEmpty(), hasPicture);
        QCOMPARE(!pictures.codecName.isEmpty(), hasPicture);
    }

    void thumbnailsKeepTheirSpacing() {
        // job45.mp4 has a keyframe every second; five seconds apart leaves every fifth.
        PictureScan pictures;
        ScanThumbnails(fixture(QStringLiteral("job45.mp4")), 5.0, pictures);
        QCOMPARE(pictures.thumbnails.size(), 9);
        for (qsizetype i = 1; i < pictures.thumbnails.size(); ++i)
            QVERIFY(pictures.thumbnails[i].seconds - pictures.thumbnails[i - 1].seconds >= 4.99);
    }

    void aStoppedScanIsIncomplete() {
        std::atomic<bool> stop{true};
        QVERIFY(!ScanSound(fixture(QStringLiteral("marks.mp4")), &stop).complete);
        PictureScan pictures;
        ScanThumbnails(fixture(QStringLiteral("marks.mp4")), 1.0, pictures, &stop);
        QVERIFY(!pictures.thumbnailsComplete);
        ScanPictureContent(fixture(QStringLiteral("marks.mp4")), 1.0, pictures, &stop);
        QVERIFY(!pictures.contentComplete);
    }

    void silencesOfPeaks_data() {
        QTest::addColumn<QVector<float>>("peaks");
        QTest::addColumn<QVector<TimeSpan>>("silences");
        QTest::newRow("all sound") << peaksWithQuiet(300, {}) << QVector<TimeSpan>{};
        QTest::newRow("a breath is no silence")
            << peaksWithQuiet(300, {{100, 149}}) << QVector<TimeSpan>{};
        QTest::newRow("half a second is")
            << peaksWithQuiet(300, {{100, 150}}) << QVector<TimeSpan>{{1.0, 1.5}};
        QTest::newRow("at both ends") << peaksWithQuiet(300, {{0, 60}, {200, 300}})
                                      << QVector<TimeSpan>{{0, 0.6}, {2.0, 3.0}};
        QVector<float> hum(300, kSilenceLevel * 0.9f);
        QTest::newRow("a hum below the level") << hum << QVector<TimeSpan>{{0, 3.0}};
        QTest::newRow("nothing") << QVector<float>{} << QVector<TimeSpan>{};
    }
    void silencesOfPeaks() {
        QFETCH(QVector<float>, peaks);
        QTEST(FindSilences(peaks), "silences");
    }

    void blackAndDifferentPictures_data() {
        QTest::addColumn<int>("level");       // of the whole picture
        QTest::addColumn<int>("brightShare"); // per thousand pixels at 200
        QTest::addColumn<bool>("black");
        QTest::newRow("limited-range black") << 16 << 0 << true;
        QTest::newRow("full-range black") << 0 << 0 << true;
        QTest::newRow("black with a small logo") << 16 << 15 << true;
        QTest::newRow("black with a caption") << 16 << 40 << false;
        QTest::newRow("a dark night") << 45 << 0 << false;
    }
    void blackAndDifferentPictures() {
        QFETCH(int, level);
        QFETCH(int, brightShare);
        std::vector<uchar> grey(size_t(kContentWidth * kContentHeight), uchar(level));
        const size_t bright = grey.size() * size_t(brightShare) / 1000;
        std::fill(grey.begin(), grey.begin() + qsizetype(bright), uchar(200));
        QTEST(IsBlackPicture(grey.data()), "black");
    }

    void differenceOfPictures() {
        std::vector<uchar> a(size_t(kContentWidth * kContentHeight), 100);
        std::vector<uchar> b = a;
        QCOMPARE(PictureDifference(a.data(), b.data()), 0.0);
        // Half the picture changed by 80: a mean of 40, a scene change.
        std::fill(b.begin(), b.begin() + qsizetype(b.size() / 2), uchar(180));
        QCOMPARE(PictureDifference(b.data(), a.data()), 40.0);
        QVERIFY(PictureDifference(b.data(), a.data()) >= kSceneChangeDifference);
    }

    void jumpsBetweenTimes_data() {
        QTest::addColumn<double>("here");
        QTest::addColumn<double>("previous");
        QTest::addColumn<double>("next");
        QTest::newRow("before all") << 0.5 << -1.0 << 1.0;
        QTest::newRow("on one: never found again") << 4.0 << 1.0 << 8.0;
        QTest::newRow("a hair after one") << 4.0004 << 1.0 << 8.0;
        QTest::newRow("after all") << 9.0 << 8.0 << -1.0;
    }
    void jumpsBetweenTimes() {
        QFETCH(double, here);
        const QVector<double> times{1.0, 4.0, 8.0};
        QTEST(PreviousTime(times, here), "previous");
        QTEST(NextTime(times, here), "next");
        QCOMPARE(SpanStarts({{1.0, 2.0}, {4.0, 4.5}}), (QVector<double>{1.0, 4.0}));
    }

    void cacheKeepsWhatWasFound() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("scan"));
        SoundScan sound;
        sound.peaks = {0.1f, 0.0f, 0.9f};
        sound.silences = {{1.0, 2.5}};
        QVERIFY(WriteSoundCache(path + QStringLiteral(".sound"), sound));
        PictureScan pictures;
        pictures.codecName = QStringLiteral("wmv2");
        QImage picture(48, kThumbnailHeight, QImage::Format_RGB888);
        picture.fill(Qt::red);
        pictures.thumbnails = {{0.0, picture}, {2.0, picture}};
        pictures.blackFrames = {{4.0, 5.0}};
        pictures.sceneChanges = {8.0};
        pictures.contentComplete = true;
        QVERIFY(WritePictureCache(path + QStringLiteral(".pictures"), pictures));

        SoundScan soundBack;
        QVERIFY(ReadSoundCache(path + QStringLiteral(".sound"), soundBack));
        QCOMPARE(soundBack.peaks, sound.peaks);
        QCOMPARE(soundBack.silences, sound.silences);
        QVERIFY(soundBack.complete);
        PictureScan back;
        QVERIFY(ReadPictureCache(path + QStringLiteral(".pictures"), back));
        QCOMPARE(back.codecName, pictures.codecName);
        QCOMPARE(back.thumbnails.size(), 2);
        QCOMPARE(back.thumbnails[1].seconds, 2.0);
        QCOMPARE(back.thumbnails[1].picture.pixelColor(3, 3), QColor(Qt::red));
        QCOMPARE(back.blackFrames, pictures.blackFrames);
        QCOMPARE(back.sceneChanges, pictures.sceneChanges);
        QVERIFY(back.thumbnailsComplete && back.contentComplete);

        // A damaged file, or one of the other kind, is read as nothing.
        QFile file(path + QStringLiteral(".pictures"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.resize(file.size() - 3));
        file.close();
        QVERIFY(!ReadPictureCache(path + QStringLiteral(".pictures"), back));
        QVERIFY(!ReadPictureCache(path + QStringLiteral(".sound"), back));
        QVERIFY(!ReadSoundCache(dir.filePath(QStringLiteral("missing")), soundBack));
    }

    void cacheFileFollowsTheSource() {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("clip.mp4"));
        QVERIFY(QFile::copy(fixture(QStringLiteral("counter.mp4")), source));
        const QString first = TimelineCachePath(dir.filePath(QStringLiteral("cache")), source);
        QCOMPARE(TimelineCachePath(dir.filePath(QStringLiteral("cache")), source), first);
        QVERIFY(first.startsWith(dir.filePath(QStringLiteral("cache/"))));
        // An edited video is another video.
        QFile file(source);
        QVERIFY(file.open(QIODevice::Append));
        file.write("x");
        file.close();
        QVERIFY(TimelineCachePath(dir.filePath(QStringLiteral("cache")), source) != first);
        QVERIFY(TimelineCachePath(QString(), source).isEmpty());
    }

    void scansRunInTheBackgroundAndAreCached() {
        QTemporaryDir dir;
        const QString cache = dir.filePath(QStringLiteral("cache"));
        TimelineScans scans;
        QSignalSpy sound(&scans, &TimelineScans::soundReady);
        QSignalSpy content(&scans, &TimelineScans::contentReady);
        scans.Open(fixture(QStringLiteral("marks.mp4")), 12, cache);
        QVERIFY(scans.Sound() == nullptr); // nothing until it is posted
        QTRY_COMPARE_WITH_TIMEOUT(sound.size(), 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(content.size(), 1, 60000);
        QCOMPARE(scans.Sound()->silences.size(), 2);
        QCOMPARE(scans.Pictures()->sceneChanges.size(), 1);
        const QString stem = TimelineCachePath(cache, fixture(QStringLiteral("marks.mp4")));
        QVERIFY(QFile::exists(stem + QStringLiteral(".sound")));
        QVERIFY(QFile::exists(stem + QStringLiteral(".pictures")));

        // Opened again, the same results come from the cache.
        scans.Open(fixture(QStringLiteral("marks.mp4")), 12, cache);
        QTRY_COMPARE_WITH_TIMEOUT(content.size(), 2, 20000);
        QCOMPARE(scans.Pictures()->blackFrames.size(), 1);

        // Another source drops them at once, and a stopped scan posts nothing.
        scans.Open(fixture(QStringLiteral("two_minutes.mp4")), 120, QString());
        QVERIFY(scans.Sound() == nullptr && scans.Pictures() == nullptr);
        scans.Abandon();
        QCoreApplication::processEvents();
        QVERIFY(scans.Sound() == nullptr && scans.Pictures() == nullptr);
        QVERIFY(!scans.Scanning());
    }
};

QTEST_MAIN(TestTimelineScan)
#include "test_timeline_scan.moc"
