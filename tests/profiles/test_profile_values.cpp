// The profile's values without a window: looking rows up, and the "Video Size" rules the editor
// and the custom size dialog apply to them.
#include "profile_test_util.h"
#include "profiles/profile_values.h"
#include "profiles/video_size.h"

#include <QtTest>

using namespace segmora;

namespace {

// Rows written as "group:name=value", separated by ";"; a value followed by "[a/b]" offers
// those choices.
ProfileValues valuesOf(const QString& rows) {
    ProfileValues values;
    for (const QString& text : rows.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int sort = text.section(QLatin1Char(':'), 0, 0).toInt();
        const QString rest = text.section(QLatin1Char(':'), 1);
        const qsizetype equals = rest.indexOf(QLatin1Char('='));
        ProfileSetting setting{rest.left(equals), rest.mid(equals + 1)};
        const qsizetype open = setting.value.indexOf(QLatin1Char('['));
        if (open >= 0) {
            setting.choices = setting.value.mid(open + 1).chopped(1).split(QLatin1Char('/'));
            setting.value = setting.value.left(open);
        }
        values.append(sort, setting);
    }
    return values;
}

const QString kSizes = QStringLiteral("[Original Size/Custom Size/640x480]");

} // namespace

class TestProfileValues : public QObject {
    Q_OBJECT
private slots:
    void lookUp_data();
    void lookUp();
    void setByName_data();
    void setByName();
    void designRows();
    void videoSizeRules_data();
    void videoSizeRules();
    void sideLengths_data();
    void sideLengths();
    void sideKeepingRatio_data();
    void sideKeepingRatio();
};

void TestProfileValues::lookUp_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("sort");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");       // find(sort, name)
    QTest::addColumn<QString>("value"); // value(name), across the groups

    QTest::newRow("exact name") << "1:Bit Rate=800;1:Aspect=4:3" << 1 << "Aspect" << 1 << "4:3";
    QTest::newRow("without regard to case") << "1:Bit Rate=800" << 1 << "BIT rate" << 0 << "800";
    QTest::newRow("the first of two rows") << "2:X=a;2:x=b" << 2 << "X" << 0 << "a";
    QTest::newRow("a row of another group is not found in this one")
        << "1:Volumn=256" << 2 << "Volumn" << -1 << "256";
    QTest::newRow("video before audio across the groups")
        << "2:Rate=audio;1:Rate=video" << 2 << "Rate" << 0 << "video";
    QTest::newRow("no such row") << "1:Bit Rate=800" << 1 << "Missing" << -1 << "";
    QTest::newRow("group outside 1..3") << "1:Bit Rate=800" << 4 << "Bit Rate" << -1 << "800";
    QTest::newRow("rows given to group 0 are dropped") << "0:Lost=x" << 0 << "Lost" << -1 << "";
}

void TestProfileValues::lookUp() {
    QFETCH(QString, rows);
    QFETCH(int, sort);
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(QString, value);
    const ProfileValues values = valuesOf(rows);
    QCOMPARE(values.find(sort, name), row);
    QCOMPARE(values.setting(sort, name) != nullptr, row >= 0);
    if (row >= 0)
        QCOMPARE(values.setting(sort, name), &values.group(sort).at(row));
    QCOMPARE(values.value(name), value);
}

void TestProfileValues::setByName_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("after");

    QTest::newRow("a typed value") << "1:Bit Rate=800"
                                   << "bit rate"
                                   << "1200k" << true << "Bit Rate=1200k |  | ";
    QTest::newRow("any text, choice or not")
        << "1:Video Size=Original Size" + kSizes << "Video Size"
        << "800x600" << true << "Video Size=800x600[Original Size/Custom Size/640x480] |  | ";
    QTest::newRow("only the first row of the name") << "2:X=a;3:X=b"
                                                    << "X"
                                                    << "c" << true << " | X=c | X=b";
    QTest::newRow("no such row: nothing changes") << "1:Bit Rate=800"
                                                  << "Missing"
                                                  << "x" << false << "Bit Rate=800 |  | ";
}

void TestProfileValues::setByName() {
    QFETCH(QString, rows);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, found);
    QFETCH(QString, after);
    ProfileValues values = valuesOf(rows);
    QCOMPARE(values.setValue(name, value), found);
    QCOMPARE(test::describe(values), after);

    // By position; a row that does not exist is left alone.
    values.setValueAt(1, 99, QStringLiteral("lost"));
    values.setValueAt(0, 0, QStringLiteral("lost"));
    QCOMPARE(test::describe(values), after);
}

void TestProfileValues::designRows() {
    const ProfileValues values = DesignProfileValues();
    for (int sort = 1; sort <= 3; ++sort) {
        QStringList names;
        for (const ProfileSetting& s : values.group(sort)) {
            QVERIFY(s.value.isEmpty() && !s.readOnly && s.choices.isEmpty());
            names.append(s.name);
        }
        QCOMPARE(names, DesignRowNames(sort));
    }
    QCOMPARE(values.group(1).at(1).name, kVideoSize);
}

void TestProfileValues::videoSizeRules_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("currentRow"); // the video grid's current row
    QTest::addColumn<bool>("asks");          // the custom size dialog is wanted
    QTest::addColumn<bool>("unanswered");    // closing the dialog resets the row
    QTest::addColumn<QString>("customSize"); // the row's value read as a custom size; "-": none

    QTest::newRow("Custom Size picked in the current row")
        << "1:Video Size=Custom Size" + kSizes << "Video Size" << true << true << "-";
    QTest::newRow("Custom Size while another row is current")
        << "1:Video Size=Custom Size" + kSizes << "Bit Rate" << false << true << "-";
    QTest::newRow("current row spelt otherwise")
        << "1:Video Size=Custom Size" + kSizes << "video size" << false << true << "-";
    QTest::newRow("a choice other than Custom Size")
        << "1:Video Size=Original Size" + kSizes << "Video Size" << false << false << "-";
    QTest::newRow("a choice in other case is storable")
        << "1:Video Size=640X480" + kSizes << "Video Size" << false << false << "-";
    QTest::newRow("Custom Size written otherwise is no request")
        << "1:Video Size=custom size" + kSizes << "Video Size" << false << false << "-";
    QTest::newRow("a typed size") << "1:Video Size=800x600" + kSizes << "Video Size" << false
                                  << false << "800x600";
    QTest::newRow("a typed row has no choices to store") << "1:Video Size=Original Size"
                                                         << "Video Size" << false << false << "-";
    QTest::newRow("no row") << "1:Bit Rate=800"
                            << "Video Size" << false << false << "-";
    QTest::newRow("only the video group counts") << "2:Video Size=Custom Size"
                                                 << "Video Size" << false << false << "-";
}

void TestProfileValues::videoSizeRules() {
    QFETCH(QString, rows);
    QFETCH(QString, currentRow);
    QFETCH(bool, asks);
    QFETCH(bool, unanswered);
    QFETCH(QString, customSize);
    const ProfileValues values = valuesOf(rows);
    QCOMPARE(AsksForCustomSize(values, currentRow), asks);
    QCOMPARE(CustomSizeUnanswered(values), unanswered);
    const ProfileSetting* row = values.setting(ProfileValues::kVideo, QStringLiteral("Video Size"));
    const std::optional<VideoSideLengths> sides = ParseCustomSize(row ? row->value : QString());
    QCOMPARE(sides ? QStringLiteral("%1x%2").arg(sides->width).arg(sides->height)
                   : QStringLiteral("-"),
             customSize);
    QCOMPARE(CustomSizeText(QStringLiteral("640"), QStringLiteral("480")),
             QStringLiteral("640x480"));
}

// What the custom size dialog takes as a side: digits only, at least 1, within 32 bits.
void TestProfileValues::sideLengths_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("proper");
    QTest::newRow("641") << "641" << true;
    QTest::newRow("leading zero") << "0640" << true;
    QTest::newRow("largest") << "2147483647" << true;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("negative") << "-5" << false;
    QTest::newRow("plus sign") << "+640" << false;
    QTest::newRow("blank") << " 640" << false;
    QTest::newRow("decimal") << "4.5" << false;
    QTest::newRow("beyond 32 bits") << "2147483648" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("\u0666\u0664\u0660") << false;
}

void TestProfileValues::sideLengths() {
    QFETCH(QString, text);
    QFETCH(bool, proper);
    QCOMPARE(IsProperSideLength(text), proper);
    QCOMPARE(ParseCustomSize(text + QStringLiteral("x480")).has_value(), proper);
    QCOMPARE(ParseCustomSize(QStringLiteral("640x") + text).has_value(), proper);
}

// The other side follows one side at the ratio the size had.
void TestProfileValues::sideKeepingRatio_data() {
    QTest::addColumn<QString>("side");
    QTest::addColumn<int>("ratioSide");
    QTest::addColumn<int>("ratioOther");
    QTest::addColumn<int>("other"); // -1: none
    QTest::newRow("16:9 width to height") << "1280" << 1920 << 1080 << 720;
    QTest::newRow("16:9 height to width") << "720" << 1080 << 1920 << 1280;
    QTest::newRow("odd size rounds") << "320" << 641 << 361 << 180;
    QTest::newRow("half rounds to even") << "3" << 2 << 1 << 2;
    QTest::newRow("never below 1") << "1" << 1000 << 1 << 1;
    QTest::newRow("no side typed") << "" << 16 << 9 << -1;
    QTest::newRow("zero typed") << "0" << 16 << 9 << -1;
    QTest::newRow("no ratio") << "640" << 0 << 9 << -1;
}

void TestProfileValues::sideKeepingRatio() {
    QFETCH(QString, side);
    QFETCH(int, ratioSide);
    QFETCH(int, ratioOther);
    QFETCH(int, other);
    QCOMPARE(SideKeepingRatio(side, ratioSide, ratioOther).value_or(-1), other);
}

QTEST_GUILESS_MAIN(TestProfileValues)
#include "test_profile_values.moc"
