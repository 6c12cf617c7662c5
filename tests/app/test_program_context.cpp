// Portable and installed mode: which one a folder calls for, where each reads and writes, and
// the first start of an installed program, which seeds the user's preferences and writes
// nothing into the installed folders.
#include "app/application.h"
#include "ground/app_error.h"
#include "ground/program_context.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace segmora;

namespace {

bool writeText(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

QByteArray readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every path under folder with its size and change time: what "nothing written" compares.
QStringList snapshot(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries.append(info.filePath() + QLatin1Char(' ') + QString::number(info.size()) +
                       QLatin1Char(' ') + QString::number(info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

// An installation under a temporary prefix: bin/ with the converter, share/segmora/ with the
// shipped files, and a home with the user's folders still missing.
struct Installation {
    QTemporaryDir root;
    QString bin() const { return root.path() + QStringLiteral("/prefix/bin/"); }
    QString data() const { return root.path() + QStringLiteral("/prefix/share/segmora/"); }
    QString home() const { return root.path() + QStringLiteral("/home/"); }
    InstalledFolders folders() const {
        return {data(), home() + QStringLiteral(".config/segmora"),
                home() + QStringLiteral(".local/share/segmora/Profiles"),
                home() + QStringLiteral(".cache/segmora")};
    }
    ProgramContext context() const { return ProgramContext::installed(bin(), folders()); }

    Installation() {
        writeText(bin() + QStringLiteral("vorkast"), "converter");
        writeText(data() + QStringLiteral("Preferences.ini"),
                  "[Main]\nVersion=2.0 beta\nProfile=1\n");
        writeText(data() + QStringLiteral("Quillet.html"), "<html></html>");
        writeText(data() + QStringLiteral("Profiles/MP4.apf"), "[Main]\n");
    }
};

} // namespace

class TestProgramContext : public QObject {
    Q_OBJECT
private slots:
    void modeOfTheExecutableFolder_data() {
        QTest::addColumn<QStringList>("layout"); // folders made under the prefix
        QTest::addColumn<bool>("readOnly");      // the executable's folder
        QTest::addColumn<bool>("installed");
        QTest::newRow("a program folder: portable")
            << QStringList{"bin/Profiles"} << false << false;
        QTest::newRow("installed data beside bin: installed")
            << QStringList{"bin", "share/segmora"} << false << true;
        QTest::newRow("own profiles win over installed data")
            << QStringList{"bin/Profiles", "share/segmora"} << false << false;
        QTest::newRow("neither: portable") << QStringList{"bin"} << false << false;
        QTest::newRow("folder not writable: installed")
            << QStringList{"bin/Profiles"} << true << true;
    }
    void modeOfTheExecutableFolder() {
        QFETCH(QStringList, layout);
        QFETCH(bool, readOnly);
        QFETCH(bool, installed);
        if (readOnly && ::geteuid() == 0)
            QSKIP("root may write to any folder");
        QTemporaryDir root;
        for (const QString& folder : layout)
            QVERIFY(QDir().mkpath(root.filePath(folder)));
        const QString bin = root.filePath(QStringLiteral("bin"));
        if (readOnly)
            QVERIFY(QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner));
        const ProgramMode mode = ProgramContext::DetectMode(bin);
        QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(mode == ProgramMode::Installed, installed);
        QCOMPARE(ProgramContext::InstalledDataFolderFor(bin),
                 root.filePath(QStringLiteral("share/segmora/")));
    }

    void installedReadsShippedAndKeepsTheUsersApart() {
        Installation installation;
        const ProgramContext context = installation.context();
        const QString config = installation.home() + QStringLiteral(".config/segmora/");
        const QString profiles =
            installation.home() + QStringLiteral(".local/share/segmora/Profiles/");
        QCOMPARE(context.mode(), ProgramMode::Installed);
        QCOMPARE(context.converterPath(), installation.bin() + QStringLiteral("vorkast"));
        QCOMPARE(context.preferencesPath(), config + QStringLiteral("Preferences.ini"));
        QCOMPARE(context.shippedPreferencesPath(),
                 installation.data() + QStringLiteral("Preferences.ini"));
        QCOMPARE(context.helpPath(), installation.data() + QStringLiteral("Quillet.html"));
        QCOMPARE(context.profilesFolder(), profiles);
        // Cut lists are the user's data too, beside the user's profiles.
        QCOMPARE(context.cutListsFolder(),
                 installation.home() + QStringLiteral(".local/share/segmora/CutLists/"));
        QCOMPARE(context.profileFolders(),
                 (QStringList{installation.data() + QStringLiteral("Profiles/"), profiles}));
        QCOMPARE(context.defaultOutputFolder(), QDir::homePath() + QLatin1Char('/'));
        QCOMPARE(context.cacheFolder(), installation.home() + QStringLiteral(".cache/segmora/"));
        // The version is the installation's, not that of the user's older copy.
        QCOMPARE(VersionLine(context), QStringLiteral("Segmora 2.0 beta\n"));
    }

    void portableKeepsEverythingInTheProgramFolder() {
        QTemporaryDir dir;
        const ProgramContext context = ProgramContext::forFolder(dir.path());
        const QString folder = dir.path() + QLatin1Char('/');
        QCOMPARE(context.mode(), ProgramMode::Portable);
        QCOMPARE(context.preferencesPath(), folder + QStringLiteral("Preferences.ini"));
        QCOMPARE(context.shippedPreferencesPath(), context.preferencesPath());
        QCOMPARE(context.helpPath(), folder + QStringLiteral("Quillet.html"));
        QCOMPARE(context.profileFolders(), QStringList{folder + QStringLiteral("Profiles/")});
        QCOMPARE(context.cutListsFolder(), folder + QStringLiteral("CutLists/"));
        QCOMPARE(context.defaultOutputFolder(), folder);
        QCOMPARE(context.cacheFolder(), folder + QStringLiteral("Cache/"));
        const QStringList before = snapshot(dir.path());
        context.PrepareUserFolders();
        QCOMPARE(snapshot(dir.path()), before);
    }

    void firstStartSeedsThePreferencesOnce() {
        Installation installation;
        const ProgramContext context = installation.context();
        const QStringList installed =
            snapshot(installation.root.filePath(QStringLiteral("prefix")));
        context.PrepareUserFolders();
        QCOMPARE(readText(context.preferencesPath()), readText(context.shippedPreferencesPath()));
        QVERIFY(QFileInfo(context.profilesFolder()).isDir());
        // A later start keeps what the user has since saved.
        QVERIFY(writeText(context.preferencesPath(), "[Main]\nProfile=4\n"));
        context.PrepareUserFolders();
        QCOMPARE(readText(context.preferencesPath()), QByteArray("[Main]\nProfile=4\n"));
        QCOMPARE(snapshot(installation.root.filePath(QStringLiteral("prefix"))), installed);
    }

    // A user folder that cannot be made, whoever runs the test: a plain file stands where a
    // folder is needed.
    void unwritableUserFolderIsReported_data() {
        QTest::addColumn<QString>("blocked"); // made a file, under the home
        QTest::addColumn<QString>("reported");
        QTest::newRow("configuration folder") << ".config"
                                              << ".config/segmora/";
        QTest::newRow("profiles folder") << ".local/share"
                                         << ".local/share/segmora/Profiles/";
    }
    void unwritableUserFolderIsReported() {
        QFETCH(QString, blocked);
        QFETCH(QString, reported);
        Installation installation;
        QVERIFY(writeText(installation.home() + blocked, "not a folder"));
        try {
            installation.context().PrepareUserFolders();
            QFAIL("no error raised");
        } catch (const AppError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Unable to write to ") + installation.home() + reported);
        }
    }

    void userFoldersFollowTheDesktopsVariables() {
        QTemporaryDir dir;
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QByteArray oldData = qgetenv("XDG_DATA_HOME");
        const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("conf")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
        const InstalledFolders folders = ProgramContext::UserFolders(QStringLiteral("/d/"));
        oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);
        oldData.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldData);
        oldCache.isNull() ? qunsetenv("XDG_CACHE_HOME") : qputenv("XDG_CACHE_HOME", oldCache);
        QCOMPARE(folders.userCacheFolder, dir.filePath(QStringLiteral("cache/segmora")));
        QCOMPARE(folders.userConfigFolder, dir.filePath(QStringLiteral("conf/segmora")));
        QCOMPARE(folders.userProfileFolder, dir.filePath(QStringLiteral("data/segmora/Profiles")));
    }
};

QTEST_MAIN(TestProgramContext)
#include "test_program_context.moc"
