// Comma-terminated lists, listing the profiles folder and finding a profile by display name.
#include "ground/program_context.h"
#include "profile_test_util.h"
#include "profiles/profile_catalogue.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace segmora;

class TestProfileCatalogue : public QObject {
    Q_OBJECT
private slots:
    void commaTerminatedList_data();
    void commaTerminatedList();
    void catalogue_data();
    void catalogue();
    void sortedWithoutCase();
    void missingFolderGivesEmptyCatalogue();
    void profilePathFindsTheRealFileName_data();
    void profilePathFindsTheRealFileName();
    void installedOffersShippedAndOwn_data();
    void installedOffersShippedAndOwn();
};

void TestProfileCatalogue::commaTerminatedList_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("terminated") << "Low,Medium,High," << QStringList{"Low", "Medium", "High"};
    QTest::newRow("text after the last comma is no item")
        << "Low,Medium,High" << QStringList{"Low", "Medium"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("no comma at all") << "High" << QStringList{};
    QTest::newRow("one empty item") << "," << QStringList{""};
    QTest::newRow("two empty items") << ",," << QStringList{"", ""};
    QTest::newRow("blanks kept") << "Low , High," << QStringList{"Low ", " High"};
    QTest::newRow("empty item between") << "a,,b," << QStringList{"a", "", "b"};
    QTest::newRow("backslash is an ordinary item") << ",\\," << QStringList{"", "\\"};
}

void TestProfileCatalogue::commaTerminatedList() {
    QFETCH(QString, text);
    QFETCH(QStringList, items);
    QCOMPARE(SplitCaptionList(text), items);
    QCOMPARE(SplitValueList(text), items);
}

void TestProfileCatalogue::catalogue_data() {
    QTest::addColumn<QString>("entry");  // "file NAME", "folder NAME" or "link NAME"
    QTest::addColumn<QString>("listed"); // display name, or empty when not listed
    QTest::newRow("dotted name") << "file My.Profile.apf"
                                 << "My.Profile";
    QTest::newRow("upper-case extension") << "file Fast.APF"
                                          << "Fast";
    QTest::newRow("further extension behind") << "file Old.apf.bak"
                                              << "";
    QTest::newRow("folder") << "folder Dir.apf"
                            << "";
    QTest::newRow("hidden file") << "file .Hidden.apf"
                                 << "";
    QTest::newRow("other extension") << "file notes.txt"
                                     << "";
    QTest::newRow("extension only inside the name") << "file apf"
                                                    << "";
    QTest::newRow("final full stop in the display name") << "file Settings of the source file..apf"
                                                         << "Settings of the source file.";
    QTest::newRow("link to a profile") << "link Linked.apf"
                                       << "Linked";
    QTest::newRow("broken link") << "broken Gone.apf"
                                 << "";
}

void TestProfileCatalogue::catalogue() {
    QFETCH(QString, entry);
    QFETCH(QString, listed);
    QTemporaryDir dir;
    const QString kind = entry.section(QLatin1Char(' '), 0, 0);
    const QString name = entry.section(QLatin1Char(' '), 1);
    const QString path = dir.filePath(name);
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("link")) {
        QVERIFY(test::writeText(dir.filePath(QStringLiteral("real.txt")), "[Main]\n"));
        QVERIFY(QFile::link(QStringLiteral("real.txt"), path));
    } else if (kind == QLatin1String("broken")) {
        QVERIFY(QFile::link(QStringLiteral("missing.txt"), path));
    } else {
        QVERIFY(test::writeText(path, "[Main]\n"));
    }
    const QList<ProfileEntry> catalogue = LoadProfileCatalogue(dir.path());
    QCOMPARE(DisplayNames(catalogue), listed.isEmpty() ? QStringList() : QStringList{listed});
    if (!listed.isEmpty()) {
        QCOMPARE(catalogue.first().filePath, dir.path() + QLatin1Char('/') + name);
        QCOMPARE(ListProfileFiles(dir.path(), QStringLiteral(".APF")), QStringList{name});
    }
}

void TestProfileCatalogue::sortedWithoutCase() {
    QTemporaryDir dir;
    for (const char* name : {"b.apf", "A.apf", "c.APF", "a2.apf", "B1.apf"})
        QVERIFY(test::writeText(dir.filePath(QString::fromLatin1(name)), "[Main]\n"));
    QCOMPARE(ListProfileFiles(dir.path(), QStringLiteral(".apf")),
             (QStringList{"A.apf", "a2.apf", "b.apf", "B1.apf", "c.APF"}));
    const QString before = QDir::currentPath();
    LoadProfileCatalogue(dir.path());
    QCOMPARE(QDir::currentPath(), before);
}

void TestProfileCatalogue::missingFolderGivesEmptyCatalogue() {
    QTemporaryDir dir;
    QVERIFY(LoadProfileCatalogue(dir.filePath(QStringLiteral("Profiles"))).isEmpty());
    QVERIFY(ListProfileFiles(QString(), QStringLiteral(".apf")).isEmpty());
}

void TestProfileCatalogue::profilePathFindsTheRealFileName_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<QString>("found");
    QTest::newRow("exact") << "MP4.apf"
                           << "MP4"
                           << "MP4.apf";
    QTest::newRow("upper-case extension") << "Fast.APF"
                                          << "Fast"
                                          << "Fast.APF";
    QTest::newRow("name differs in case") << "WebM.apf"
                                          << "webm"
                                          << "WebM.apf";
    QTest::newRow("missing: the formed path") << "Other.apf"
                                              << "None"
                                              << "None.apf";
}

void TestProfileCatalogue::profilePathFindsTheRealFileName() {
    QFETCH(QString, fileName);
    QFETCH(QString, displayName);
    QFETCH(QString, found);
    QTemporaryDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("Profiles"))));
    QVERIFY(test::writeText(dir.filePath(QStringLiteral("Profiles/") + fileName), "[Main]\n"));
    const ProgramContext context = ProgramContext::forFolder(dir.path());
    QCOMPARE(context.profilePath(displayName), context.profilesFolder() + found);
    // The catalogue's display name leads back to the same file.
    const QList<ProfileEntry> catalogue = LoadProfileCatalogue(context.profilesFolder());
    QCOMPARE(context.profilePath(catalogue.first().displayName), catalogue.first().filePath);
}

// An installed program lists the shipped profiles and the user's own as one list; the user's
// profile of a shipped name takes its place, and every change is saved into the user's folder.
void TestProfileCatalogue::installedOffersShippedAndOwn_data() {
    QTest::addColumn<QStringList>("files");   // "s:NAME" shipped, "u:NAME" the user's own
    QTest::addColumn<QStringList>("offered"); // "Display=s" or "Display=u": where it is read
    QTest::newRow("own profiles join, in name order")
        << QStringList{"s:MP4.apf", "s:AVI.apf", "u:Mine.apf"}
        << QStringList{"AVI=s", "Mine=u", "MP4=s"};
    QTest::newRow("own profile of a shipped name wins")
        << QStringList{"s:MP4.apf", "s:AVI.apf", "u:MP4.apf"} << QStringList{"AVI=s", "MP4=u"};
    QTest::newRow("names match without regard to case")
        << QStringList{"s:WebM.apf", "u:webm.APF"} << QStringList{"webm=u"};
    QTest::newRow("no own profiles yet") << QStringList{"s:MP4.apf"} << QStringList{"MP4=s"};
}

void TestProfileCatalogue::installedOffersShippedAndOwn() {
    QFETCH(QStringList, files);
    QFETCH(QStringList, offered);
    QTemporaryDir dir;
    const QString shipped = dir.filePath(QStringLiteral("share/Profiles/"));
    const QString own = dir.filePath(QStringLiteral("home/Profiles/"));
    QVERIFY(QDir().mkpath(shipped));
    for (const QString& file : files) {
        const QString folder = file.startsWith(QLatin1String("s:")) ? shipped : own;
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(test::writeText(folder + file.mid(2), "[Main]\n"));
    }
    const ProgramContext context =
        ProgramContext::installed(dir.filePath(QStringLiteral("bin")),
                                  {dir.filePath(QStringLiteral("share")),
                                   dir.filePath(QStringLiteral("config")), own, QString()});
    const QList<ProfileEntry> catalogue = LoadProfileCatalogue(context.profileFolders());
    QStringList seen;
    for (const ProfileEntry& entry : catalogue) {
        const bool isOwn = entry.filePath.startsWith(own);
        seen.append(entry.displayName + (isOwn ? QStringLiteral("=u") : QStringLiteral("=s")));
        QCOMPARE(context.profilePath(entry.displayName), entry.filePath);
        // A change to a shipped profile becomes the user's copy; the user's own is saved in place.
        QCOMPARE(context.profileSavePath(entry.displayName),
                 isOwn ? entry.filePath : own + entry.displayName + QStringLiteral(".apf"));
    }
    QCOMPARE(seen, offered);
}

QTEST_MAIN(TestProfileCatalogue)
#include "test_profile_catalogue.moc"
