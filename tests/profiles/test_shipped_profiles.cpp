// The profiles shipped in the program folder: complete, free of broken parameters, and
// producing arguments the converter understands.
#include "ground/ini_file.h"
#include "profile_test_util.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_editor_form.h"
#include "profiles/profile_file.h"
#include "test_support.h"

#include <QSet>
#include <QTest>

using namespace segmora;

namespace {

// The options our converter accepts that a profile may use.
const QSet<QString> kConverterFlags = {
    "-vcodec", "-c:v",     "-b:v", "-b",        "-s",        "-r",        "-aspect", "-deinterlace",
    "-vf",     "-pix_fmt", "-crf", "-preset",   "-deadline", "-cpu-used", "-q:v",    "-g",
    "-vn",     "-acodec",  "-c:a", "-b:a",      "-ab",       "-ar",       "-ac",     "-vol",
    "-af",     "-an",      "-c",   "-bitexact", "-threads",  "-f"};

QStringList unknownFlags(const QString& arguments) {
    QStringList unknown;
    for (const QString& token : arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (token.size() > 1 && token.at(0) == QLatin1Char('-') && token.at(1).isLetter() &&
            !kConverterFlags.contains(token))
            unknown.append(token);
    }
    return unknown;
}

} // namespace

class TestShippedProfiles : public QObject {
    Q_OBJECT
private slots:
    void catalogue();
    void defaults_data();
    void defaults();
};

void TestShippedProfiles::catalogue() {
    test::TempProgramFolder folder;
    QCOMPARE(DisplayNames(LoadProfileCatalogue(folder.context().profilesFolder())),
             (QStringList{"AVI", "Keyframe copy (fast)", "MOV", "MP3", "MP4", "MPEG",
                          "Settings of the source file.", "WebM", "WMV"}));
}

void TestShippedProfiles::defaults_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("arguments");
    QTest::newRow("lossless") << "Settings of the source file."
                              << ".mp4"
                              << " -c copy";
    // The job adds no exact cut to it: copies start at the key frame before their start.
    QTest::newRow("keyframe copy") << "Keyframe copy (fast)"
                                   << ".mp4"
                                   << " -c copy";
    QTest::newRow("MP4") << "MP4"
                         << ".mp4"
                         << " -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k";
    QTest::newRow("MOV") << "MOV"
                         << ".mov"
                         << " -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k";
    QTest::newRow("AVI") << "AVI"
                         << ".avi"
                         << " -c:v mpeg4 -pix_fmt yuv420p -b:v 1500k -c:a libmp3lame -b:a 128k"
                            " -ac 2";
    QTest::newRow("MPEG") << "MPEG"
                          << ".mpg"
                          << " -c:v mpeg2video -pix_fmt yuv420p -b:v 5000k -c:a mp2 -b:a 192k"
                             " -ar 44100 -ac 2";
    QTest::newRow("WMV") << "WMV"
                         << ".wmv"
                         << " -c:v wmv2 -pix_fmt yuv420p -b:v 1500k -c:a wmav2 -b:a 128k -ac 2";
    QTest::newRow("WebM") << "WebM"
                          << ".webm"
                          << " -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -pix_fmt yuv420p"
                             " -b:v 1500k -c:a libopus -b:a 128k -ar 48000";
    QTest::newRow("MP3") << "MP3"
                         << ".mp3"
                         << " -vn  -c:a libmp3lame -b:a 192k -ac 2";
}

void TestShippedProfiles::defaults() {
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, arguments);
    test::TempProgramFolder folder;
    const QString path = folder.context().profilePath(name);
    QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
    QCOMPARE(ProfileFileProblem(path), QString());

    QStringList broken;
    const std::vector<ProfileParameter> parameters =
        ReadProfileParameters(IniFile(path).snapshot(), &broken);
    QCOMPARE(broken, QStringList());

    ProfileValues owned;
    QCOMPARE(LoadProfile(path, owned).value_or(QString()), extension);
    // Every profile carries the editor's design rows, in the design order.
    for (int sort = 1; sort <= 3; ++sort) {
        QStringList keys;
        for (const ProfileSetting& row : owned.group(sort))
            keys.append(row.name);
        QCOMPARE(keys, TopSettingForm::designRows(sort));
    }
    QCOMPARE(BuildProfileArguments(path, owned), arguments);

    // Rows that do not apply are read-only and send nothing; every choice of every list
    // sends only options the converter knows.
    for (const ProfileParameter& p : parameters) {
        if (p.cmd.isEmpty())
            QVERIFY2(p.readOnly && !p.list, qPrintable(p.name));
        if (p.name == QLatin1String("Video Size") && p.list) {
            QVERIFY(p.captions.contains(QStringLiteral("Original Size")));
            QVERIFY(p.captions.contains(QStringLiteral("Custom Size")));
            QVERIFY(p.captions.size() > 4);
        }
        const int row = owned.find(p.sort, p.name);
        QVERIFY2(row >= 0, qPrintable(p.name));
        const QString loaded = owned.group(p.sort).at(row).value;
        for (const QString& choice : p.list ? p.captions : QStringList{loaded}) {
            owned.setValueAt(p.sort, row, choice);
            const QString built = BuildProfileArguments(path, owned);
            QVERIFY2(unknownFlags(built).isEmpty(),
                     qPrintable(p.name + QLatin1String(": ") + unknownFlags(built).join(' ')));
        }
        owned.setValueAt(p.sort, row, loaded);
    }

    // A custom size reaches the converter wherever the size can be chosen.
    const ProfileSetting* size = owned.setting(ProfileValues::kVideo, QStringLiteral("Video Size"));
    if (size && !size->choices.isEmpty() &&
        owned.setValue(QStringLiteral("Video Size"), QStringLiteral("640x480")))
        QVERIFY(BuildProfileArguments(path, owned).contains(" -s 640x480"));
}

QTEST_MAIN(TestShippedProfiles)
#include "test_shipped_profiles.moc"
