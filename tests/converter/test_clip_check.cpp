// The check of a clip against its source: clips made wrong on purpose with the ffmpeg tool are
// each caught with the finding that names their fault, the converter's own clips of every
// container (copies, exact cuts, re-encodes) pass both while they are made and when checked
// again by -check-clip, and inputs it cannot work with are refused with a clear line.
#include "converter_harness.h"

#include "clip_check_report.h"
#include "exit_status.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vorkast::test;

namespace {

// Runs the ffmpeg tool quietly; true when it made its output.
bool ffmpeg(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral("ffmpeg"),
               QStringList{"-hide_banner", "-nostdin", "-loglevel", "error", "-y"} + args);
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

// Overwrites bytes in the middle of the first IDR picture of a raw H.264 stream.
bool damageFirstPicture(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const int idr = bytes.indexOf(QByteArray("\x00\x00\x01\x65", 4));
    if (idr < 0 || idr + 200 > bytes.size())
        return false;
    for (int i = idr + 24; i < idr + 120; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

// The check's line in a run's output, parsed; nullopt when there is none.
std::optional<vorkast::clipcheck::Figures> checkLine(const Run& run) {
    return vorkast::clipcheck::parseLine(run.checkLine.toStdString());
}

Run checkAgainst(const QString& clip, const QString& source, double start, double length) {
    return runVorkast({"-check-clip", clip, "-i", source, "-ss", QString::number(start), "-t",
                       QString::number(length)},
                      120000);
}

} // namespace

class ClipCheckTest : public QObject {
    Q_OBJECT

private slots:
    // Clips made wrong with the ffmpeg tool, each checked against the section it should hold:
    // the check fails them with the finding that names what differs.
    void wrongClipsAreCaught_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        QTest::addColumn<QStringList>("make"); // ffmpeg arguments, CLIP for the clip's path
        QTest::addColumn<QString>("damage");   // flip or shift after the tool, or empty
        QTest::addColumn<QString>("finding");
        const QStringList x264 = {"-c:v", "libx264", "-preset",  "ultrafast",
                                  "-crf", "12",      "-pix_fmt", "yuv420p"};
        // frames.mp4 paints each frame's number: frame 25 is on screen at 1.00 s.
        QTest::newRow("one frame late") << "frames.mp4" << 1.0 << 1.0
                                        << (QStringList{"-ss", "1.04", "-i", "SOURCE", "-t", "1"} +
                                            x264 + QStringList{"CLIP.mp4"})
                                        << ""
                                        << "starts 1 frame late";
        QTest::newRow("two frames early")
            << "frames.mp4" << 1.0 << 1.0
            << (QStringList{"-ss", "0.92", "-i", "SOURCE", "-t", "1.08"} + x264 +
                QStringList{"CLIP.mkv"})
            << ""
            << "starts 2 frames early";
        QTest::newRow("frames missing at the end")
            << "frames.mp4" << 1.0 << 1.0
            << (QStringList{"-ss", "1", "-i", "SOURCE", "-t", "0.8"} + x264 +
                QStringList{"CLIP.mkv"})
            << ""
            << "5 of 25 pictures missing";
        QTest::newRow("bit-flipped head") << "frames.mp4" << 1.0 << 1.0
                                          << (QStringList{"-ss", "1", "-i", "SOURCE", "-t", "1"} +
                                              x264 + QStringList{"-f", "h264", "CLIP.h264"})
                                          << "flip"
                                          << "1 decoder error at 00:00:00.000";
        QTest::newRow("sound shifted 0.2 s")
            << "sync.mp4" << 1.0 << 2.0
            << (QStringList{"-ss", "1", "-i", "SOURCE", "-t", "2"} + x264 +
                QStringList{"-c:a", "pcm_s16le", "CLIP.mkv"})
            << "shift"
            << "sound 0.20 s behind";
    }
    void wrongClipsAreCaught() {
        QFETCH(QString, source);
        QFETCH(double, start);
        QFETCH(double, length);
        QFETCH(QStringList, make);
        QFETCH(QString, damage);
        QFETCH(QString, finding);
        QTemporaryDir dir;
        QString clip;
        for (QString& arg : make) {
            if (arg == QLatin1String("SOURCE"))
                arg = fixture(source);
            if (arg.startsWith(QLatin1String("CLIP")))
                arg = clip = dir.filePath(arg);
        }
        QVERIFY2(ffmpeg(make), qPrintable(make.join(' ')));
        const QString muxed = dir.filePath(QStringLiteral("damaged.mkv"));
        if (damage == QLatin1String("flip")) {
            QVERIFY(damageFirstPicture(clip));
            QVERIFY(ffmpeg({"-framerate", "25", "-i", clip, "-c", "copy", muxed}));
            clip = muxed;
        } else if (damage == QLatin1String("shift")) {
            QVERIFY(ffmpeg({"-i", clip, "-itsoffset", "0.2", "-i", clip, "-map", "0:v", "-map",
                            "1:a", "-c", "copy", muxed}));
            clip = muxed;
        }
        const Run run = checkAgainst(clip, fixture(source), start, length);
        QCOMPARE(run.exitCode, vorkast::exit_status::checkFailed);
        const auto figures = checkLine(run);
        QVERIFY2(figures, qPrintable(run.errorText));
        QVERIFY(!figures->passed);
        QVERIFY2(
            QString::fromStdString(vorkast::clipcheck::findingsText(*figures)).contains(finding),
            qPrintable(run.errorText));
    }

    // The converter's own clips of every container pass the check made before they are put in
    // place, and the same check made again on the clip alone.
    void ownClipsPass_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("how");
        QTest::addColumn<QString>("clip");
        QTest::addColumn<double>("start");
        QTest::addColumn<double>("length");
        // frames.*: a keyframe every 12 frames, so 0.96 s opens a group and 1.2 s lies inside.
        QTest::newRow("mp4 copy") << "frames.mp4" << QStringList{"-c", "copy"} << "c.mp4" << 0.96
                                  << 1.0;
        QTest::newRow("mp4 exact")
            << "frames.mp4" << QStringList{"-c", "copy", "-cut", "exact"} << "c.mp4" << 1.2 << 1.4;
        QTest::newRow("mp4 re-encode") << "counter.mp4" << QStringList{} << "c.mp4" << 2.3 << 1.5;
        QTest::newRow("mkv exact")
            << "frames.mp4" << QStringList{"-c", "copy", "-cut", "exact"} << "c.mkv" << 1.2 << 1.4;
        QTest::newRow("mkv re-encode")
            << "frames.mp4" << QStringList{"-c:v", "libx264"} << "c.mkv" << 1.2 << 1.0;
        QTest::newRow("avi exact")
            << "frames.avi" << QStringList{"-c", "copy", "-cut", "exact"} << "c.avi" << 1.2 << 1.4;
        QTest::newRow("avi re-encode") << "six.avi" << QStringList{} << "c.avi" << 2.3 << 1.5;
        QTest::newRow("mpeg-ps exact")
            << "frames.mpg" << QStringList{"-c", "copy", "-cut", "exact"} << "c.mpg" << 1.2 << 1.4;
        QTest::newRow("mpeg-ps re-encode") << "six.mpg" << QStringList{} << "c.mpg" << 2.3 << 1.5;
    }
    void ownClipsPass() {
        QFETCH(QString, source);
        QFETCH(QStringList, how);
        QFETCH(QString, clip);
        QFETCH(double, start);
        QFETCH(double, length);
        QTemporaryDir dir;
        const QString out = dir.filePath(clip);
        const Run made =
            runVorkast(QStringList{"-y", "-i", fixture(source), "-ss", QString::number(start), "-t",
                                   QString::number(length)} +
                           how + QStringList{out},
                       120000);
        QVERIFY2(made.exitCode == vorkast::exit_status::complete, qPrintable(made.errorText));
        QVERIFY(made.contractBreach().isEmpty());
        const auto figures = checkLine(made);
        QVERIFY2(figures && figures->passed, qPrintable(made.errorText));
        QCOMPARE(figures->firstOffset.value_or(-99), 0L);
        const Run again = checkAgainst(out, fixture(source), start, length);
        QVERIFY2(again.exitCode == vorkast::exit_status::complete, qPrintable(again.errorText));
    }

    // A clip that fails is removed under -check on, put in place under -check keep, and not
    // looked at under -check off. The check is pointed at another source to make it fail.
    void failingClipsFollowTheOption_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<bool>("checked");
        QTest::newRow("on") << "on" << vorkast::exit_status::checkFailed << false << true;
        QTest::newRow("keep") << "keep" << vorkast::exit_status::checkFailed << true << true;
        QTest::newRow("off") << "off" << vorkast::exit_status::complete << true << false;
    }
    void failingClipsFollowTheOption() {
        QFETCH(QString, mode);
        QFETCH(int, status);
        QFETCH(bool, kept);
        QFETCH(bool, checked);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("c.mp4"));
        const Run run = runVorkast({"-y", "-i", fixture("frames.mp4"), "-ss", "1.2", "-t", "1",
                                    "-c", "copy", "-cut", "exact", "-check", mode, out},
                                   120000, {"VORKAST_CHECK_SOURCE=" + fixture("counter.mp4")});
        QCOMPARE(run.exitCode, status);
        QCOMPARE(QFile::exists(out), kept);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Hidden | QDir::Files).size(), kept ? 1 : 0);
        const auto figures = checkLine(run);
        QCOMPARE(figures.has_value(), checked);
        if (checked) {
            QVERIFY(!figures->passed);
            QCOMPARE(figures->kept, kept);
            if (!kept)
                QVERIFY2(run.lastLine().contains("it is not kept"), qPrintable(run.errorText));
        }
    }

    // Clips the converter makes today that the check finds at fault, each with its finding;
    // the other converter tests turn the check off for them (checkOffForKnownFault). A row
    // that starts to pass means the cut was mended: take it out here and there.
    void knownFaultsAreFound_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QStringList>("how");
        QTest::addColumn<QString>("clip");
        QTest::addColumn<double>("start");
        QTest::addColumn<QString>("finding");
        QTest::newRow("packed AVI keyframe copy into MP4")
            << "frames.avi" << QStringList{"-c", "copy"} << "c.mp4" << 1.0
            << "starts 1 frame early";
        QTest::newRow("MPEG-2 program stream encoded again")
            << "chirp_mpeg2.mpg" << QStringList{"-vcodec", "mpeg2video", "-acodec", "mp2"}
            << "c.mpg" << 1.29 << "starts 1 frame early";
        QTest::newRow("AVI encoded again into MP4")
            << "chirp_mpeg4.avi" << QStringList{} << "c.mp4" << 1.92 << "sound 0.04 s ahead";
    }
    void knownFaultsAreFound() {
        QFETCH(QString, source);
        QFETCH(QStringList, how);
        QFETCH(QString, clip);
        QFETCH(double, start);
        QFETCH(QString, finding);
        QTemporaryDir dir;
        const Run run = runVorkast(
            QStringList{"-y", "-i", fixture(source), "-ss", QString::number(start), "-t", "1"} +
                how + QStringList{dir.filePath(clip)},
            120000);
        QCOMPARE(run.exitCode, vorkast::exit_status::checkFailed);
        QVERIFY2(run.checkLine.contains(finding), qPrintable(run.errorText));
    }

    // What the check cannot work with: a clip that is no video, and a source the clip was not
    // cut from.
    void badInputIsRefused_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("says");
        QTest::newRow("not a video") << "notvideo.mp4"
                                     << "frames.mp4"
                                     << "cannot open the clip";
        QTest::newRow("sound only") << "soundonly.mp4"
                                    << "frames.mp4"
                                    << "holds no video";
        QTest::newRow("another source") << "frames.mpg"
                                        << "counter.mp4"
                                        << "clip's source";
    }
    void badInputIsRefused() {
        QFETCH(QString, clip);
        QFETCH(QString, source);
        QFETCH(QString, says);
        const Run run = checkAgainst(fixture(clip), fixture(source), 0.6, 1.0);
        QCOMPARE(run.exitCode, vorkast::exit_status::failed);
        QVERIFY2(run.lastLine().contains(says), qPrintable(run.errorText));
    }

    // The line the job and `segmora check` read back holds what the converter wrote.
    void reportLineReadsBack() {
        vorkast::clipcheck::Figures f;
        f.passed = false;
        f.kept = true;
        f.findings = {"starts 2 frames late", "sound 0.21 s behind"};
        f.firstOffset = 2;
        f.identical = false;
        f.psnr = 41.25;
        f.pictures = 248;
        f.planned = 250;
        f.sound = 0.213;
        f.errors = 0;
        f.decoded = 14;
        const std::string line = vorkast::clipcheck::formatLine(f);
        QVERIFY(line.find("time") == std::string::npos);
        const auto back = vorkast::clipcheck::parseLine("vorkast: " + line + "\n");
        QVERIFY(back);
        QCOMPARE(back->findings, f.findings);
        QCOMPARE(back->firstOffset, f.firstOffset);
        QCOMPARE(back->pictures, f.pictures);
        QCOMPARE(back->planned, f.planned);
        QCOMPARE(*back->sound, 0.213);
        QCOMPARE(back->kept, true);
        QVERIFY(
            !vorkast::clipcheck::parseLine("vorkast: warning: keyframe cut starts 1.0 s before"));
    }
};

QTEST_GUILESS_MAIN(ClipCheckTest)
#include "test_clip_check.moc"
