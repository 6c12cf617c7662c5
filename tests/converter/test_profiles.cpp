// Every shipped profile, with its default choices and with its last choices, turns a source
// into a clip with the profile's codecs, through the same arguments the split job passes.
#include "converter_harness.h"

#include "job/converter_command.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_file.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

using namespace vorkast::test;

namespace {

// The codec a profile asks for with flag (an encoder name), "copy", or the container's own.
QString expectedCodec(const QStringList& args, const QStringList& flags, AVMediaType type,
                      const QString& extension, const QString& sourceCodec) {
    QString encoder;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (flags.contains(args[i]))
            encoder = args[i + 1];
        if (args[i] == "-c")
            encoder = args[i + 1];
    }
    if (encoder == "copy")
        return sourceCodec;
    if (!encoder.isEmpty()) {
        const AVCodec* codec = avcodec_find_encoder_by_name(encoder.toUtf8().constData());
        return codec ? QString::fromUtf8(avcodec_get_name(codec->id)) : "unknown " + encoder;
    }
    const AVOutputFormat* format =
        av_guess_format(nullptr, ("x" + extension).toUtf8().constData(), nullptr);
    return QString::fromUtf8(
        avcodec_get_name(av_guess_codec(format, nullptr, nullptr, nullptr, type)));
}

} // namespace

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void converts_data() {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("lastChoices");
        const QDir folder(QStringLiteral(SEGMORA_PROGRAM_DIR "/Profiles"));
        const QStringList files = folder.entryList({"*.apf"}, QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString& file : files) {
            QTest::addRow("%s, defaults", qPrintable(file)) << folder.filePath(file) << false;
            QTest::addRow("%s, last choices", qPrintable(file)) << folder.filePath(file) << true;
        }
    }
    void converts() {
        QFETCH(QString, profile);
        QFETCH(bool, lastChoices);
        segmora::ProfileValues values;
        const std::optional<QString> extension = segmora::LoadProfile(profile, values);
        QVERIFY(extension);
        if (lastChoices) {
            // Every choice list at its last entry, except the switches that drop a stream.
            for (int sort = 1; sort <= 3; ++sort) {
                const QList<segmora::ProfileSetting> rows = values.group(sort);
                for (int row = 0; row < rows.size(); ++row)
                    if (!rows.at(row).choices.isEmpty() && !rows.at(row).name.startsWith("Disable"))
                        values.setValueAt(sort, row, rows.at(row).choices.last());
            }
        }
        const bool lossless = QFileInfo(profile).baseName().startsWith("Settings of the source");
        // Lossless clips keep the source's own type.
        const QString clipExtension = lossless ? QStringLiteral(".mp4") : *extension;

        QTemporaryDir dir;
        segmora::ConverterCall call;
        call.sourcePath = fixture("six.mp4");
        call.start = 1;
        call.length = 2;
        call.profileArguments = segmora::BuildProfileArguments(profile, values);
        call.outputPath = dir.filePath("six_Clip1" + clipExtension);
        call.profileName = QFileInfo(profile).completeBaseName();
        const QStringList args = segmora::ConverterArguments(call);
        QVERIFY(args.contains("-profile"));
        const Run run = runVorkast(args, 60000);
        QVERIFY2(run.exitCode == 0, qPrintable(args.join(' ') + "\n" + run.errorText));
        QVERIFY2(run.contractBreach().isEmpty(), qPrintable(run.contractBreach()));

        const ProbeInfo info = probe(call.outputPath);
        QVERIFY(info.opened);
        const QStringList videoWanted =
            args.contains("-vn")
                ? QStringList{}
                : QStringList{expectedCodec(args, {"-vcodec", "-c:v"}, AVMEDIA_TYPE_VIDEO,
                                            clipExtension, "h264")};
        const QStringList audioWanted =
            args.contains("-an")
                ? QStringList{}
                : QStringList{expectedCodec(args, {"-acodec", "-c:a"}, AVMEDIA_TYPE_AUDIO,
                                            clipExtension, "aac")};
        // Sound-only containers name a picture codec for cover art; no video goes there.
        QCOMPARE(info.codecs("video"),
                 videoWanted == QStringList{"png"} ? QStringList{} : videoWanted);
        QCOMPARE(info.codecs("audio"), audioWanted);
        const int size = args.indexOf("-s");
        if (size >= 0 && !info.streams.isEmpty() && info.streams[0].type == "video") {
            const QString wh = args[size + 1];
            QCOMPARE(QStringLiteral("%1x%2").arg(info.streams[0].width).arg(info.streams[0].height),
                     wh);
        }
    }

    // A profile is data: through the job's own arguments, whatever it holds can neither replace
    // the job's source, range or output nor reach files outside the job. Before the converter
    // knew where a profile's arguments began, each of these made a clip with exit 0 (another
    // source or range, the help text and no clip, or a file written elsewhere).
    void refuses_data() {
        QTest::addColumn<QString>("profileArguments"); // {VICTIM}: a file the job must not touch
        QTest::addColumn<QString>("message");
        const QString job = "the profile \"Shared\" may not give ";
        QTest::newRow("another source") << " -c:v libx264 -i {VICTIM}" << job + "-i";
        QTest::newRow("another start and length") << " -ss 5 -t 1" << job + "-ss";
        QTest::newRow("another length") << " -c:a aac -t 1" << job + "-t";
        QTest::newRow("replacing files") << " -y" << job + "-y";
        QTest::newRow("a second profile") << " -profile MP4 -c copy" << job + "-profile";
        QTest::newRow("help instead of a clip") << " --help" << job + "--help";
        QTest::newRow("version instead of a clip") << " -an --version" << job + "--version";
        QTest::newRow("another output") << " -an {VICTIM}"
                                        << "the profile \"Shared\" gives a stray argument";
        QTest::newRow("an option taking the output for its value")
            << " -c:a aac -b:a"
            << "the option -b:a in the profile \"Shared\" needs a value";
        QTest::newRow("a video codec value with a filter writing a file")
            << " -c:v libx264 -vf signalstats,metadata=mode=print:file={VICTIM}"
            << "option \"file\" of the filter \"metadata\"";
        QTest::newRow("a filter reading any file") << " -c:v libx264 -vf movie={VICTIM}"
                                                   << "filter \"movie\"";
        QTest::newRow("an audio filter reading any file") << " -c:a aac -af amovie={VICTIM}"
                                                          << "filter \"amovie\"";
        QTest::newRow("a text file drawn on the picture")
            << " -c:v libx264 -vf drawtext=textfile={VICTIM}"
            << "option \"textfile\"";
    }
    void refuses() {
        QFETCH(QString, profileArguments);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString victim = dir.filePath("victim.txt");
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("keep\n") == 5);
        }
        segmora::ConverterCall call;
        call.sourcePath = fixture("six.mp4");
        call.start = 1;
        call.length = 2;
        call.profileArguments = profileArguments.replace("{VICTIM}", victim);
        call.outputPath = dir.filePath("six_Clip1.mp4");
        call.profileName = "Shared";
        const Run run = runVorkast(segmora::ConverterArguments(call), 60000);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.lastLine().contains(message), qPrintable(run.errorText));
        QVERIFY(!QFileInfo::exists(call.outputPath));
        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"victim.txt"});
    }
};

QTEST_MAIN(TestProfiles)
#include "test_profiles.moc"
