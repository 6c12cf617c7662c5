// The parameter grid's rows, read-only flags and pick lists, and the editor form around them.
#include "profile_test_util.h"
#include "profiles/profile_catalogue.h"
#include "profiles/profile_editor_form.h"
#include "test_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

using namespace segmora;

class TestProfileGrids : public QObject {
    Q_OBJECT
private slots:
    void editingByRowKind_data();
    void editingByRowKind();
    void pickingFromTheList();
    void findAndSetByKey();
    void formStartsWithDesignRows();
    void formLoadsAndSaves();
};

void TestProfileGrids::editingByRowKind_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("pickList");
    QTest::addColumn<QString>("editor"); // none, line or list
    QTest::newRow("text row is typed into") << false << false << "line";
    QTest::newRow("read-only text row cannot be typed into") << true << false << "none";
    QTest::newRow("list row is picked even when read-only") << true << true << "list";
    QTest::newRow("editable list row is still only picked") << false << true << "list";
}

void TestProfileGrids::editingByRowKind() {
    QFETCH(bool, readOnly);
    QFETCH(bool, pickList);
    QFETCH(QString, editor);
    TValueListEditor grid;
    grid.show();
    const int row = grid.appendRow(QStringLiteral("Name"), QStringLiteral("Low"), readOnly);
    if (pickList)
        grid.setPickList(row, {QStringLiteral("Low"), QStringLiteral("High")});
    QCOMPARE(grid.isReadOnly(row), readOnly);

    grid.editItem(grid.item(row, 0));
    QVERIFY(!grid.findChild<QLineEdit*>()); // the name column is never edited
    grid.editItem(grid.item(row, 1));
    auto* line = grid.findChild<QLineEdit*>();
    auto* combo = grid.findChild<QComboBox*>();
    QString found = QStringLiteral("none");
    if (combo)
        found = QStringLiteral("list");
    else if (line)
        found = QStringLiteral("line");
    QCOMPARE(found, editor);
    if (combo) {
        QVERIFY(!combo->isEditable());
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentText(), QStringLiteral("Low"));
    }
}

void TestProfileGrids::pickingFromTheList() {
    TValueListEditor grid;
    grid.show();
    grid.appendRow(QStringLiteral("Other"), QString());
    const int row = grid.appendRow(QStringLiteral("Quality"), QStringLiteral("High"), true);
    grid.setPickList(row, {QStringLiteral("Low"), QStringLiteral("High")});
    QSignalSpy changed(&grid, &TValueListEditor::valueChanged);

    grid.setCurrentCell(row, 1);
    grid.editItem(grid.item(row, 1));
    auto* combo = grid.findChild<QComboBox*>();
    QVERIFY(combo);
    QTest::keyClick(combo, Qt::Key_Up); // from High to Low: a pick commits at once
    QCOMPARE(grid.value(QStringLiteral("quality")), QStringLiteral("Low"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().first().toInt(), row);
    QCOMPARE(grid.currentKey(), QStringLiteral("Quality"));

    // The program may still write a value that is no choice (a custom size).
    QVERIFY(grid.setValue(QStringLiteral("Quality"), QStringLiteral("640x480")));
    QCOMPARE(grid.valueAt(row), QStringLiteral("640x480"));
    QCOMPARE(changed.count(), 2);
}

void TestProfileGrids::findAndSetByKey() {
    TValueListEditor grid;
    grid.appendRow(QStringLiteral("Bit Rate"), QStringLiteral("first"));
    grid.appendRow(QStringLiteral("BIT RATE"), QStringLiteral("second"));
    QCOMPARE(grid.findRow(QStringLiteral("bit rate")), 0);
    QCOMPARE(grid.value(QStringLiteral("Bit rate")), QStringLiteral("first"));
    QCOMPARE(grid.findRow(QStringLiteral("Bit")), -1);
    QCOMPARE(grid.value(QStringLiteral("Missing")), QString());
    QVERIFY(!grid.setValue(QStringLiteral("Missing"), QStringLiteral("x")));
    QCOMPARE(grid.rowCount(), 2);
    grid.clearRows();
    QCOMPARE(grid.rowCount(), 0);
}

void TestProfileGrids::formStartsWithDesignRows() {
    test::TempProgramFolder folder;
    TopSettingForm form(folder.context());
    QCOMPARE(form.objectName(), QStringLiteral("opSettingForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Profile"));
    QCOMPARE(form.findChild<TValueListEditor*>(QStringLiteral("vleVideo")), form.vleVideo);
    QCOMPARE(form.findChild<TValueListEditor*>(QStringLiteral("vleAudio")), form.vleAudio);
    QCOMPARE(form.findChild<TValueListEditor*>(QStringLiteral("vleAdvanced")), form.vleAdvanced);
    QCOMPARE(form.findChild<QComboBox*>(QStringLiteral("cmbProfile")), form.cmbProfile);
    QCOMPARE(test::describe(form.values()), test::describeGrids(form));
    QCOMPARE(test::describeGrids(form),
             QStringLiteral("Video Codec=; Video Size=; Bit Rate=; Frame Rate=; Aspect=; "
                            "Disable Video= | Audio Codec=; Audio Bitrate=; Sample Rate=; "
                            "Channels=; Volumn=; Disable Audio= | Bit Exact Algorithms=; "
                            "Deinterlace="));
    QCOMPARE(form.OutputExtension(), QString());
}

void TestProfileGrids::formLoadsAndSaves() {
    test::TempProgramFolder folder;
    folder.writeFile(QStringLiteral("Profiles/Fast.APF"),
                     "[Main]\nType=mkv\nPara=2\n0=Video Size\n1=Audio Codec\n"
                     "[Video Size]\nSort=1\ncmd=-s\nCaption=Original Size,Custom Size,640x480,\n"
                     "Value=,,640x480,\n"
                     "[Audio Codec]\nSort=2\nList=0\ncmd=-c:a\nCaption=aac\n");
    TopSettingForm form(folder.context());
    const QStringList names = DisplayNames(LoadProfileCatalogue(folder.context().profilesFolder()));
    QVERIFY(names.contains(QStringLiteral("Fast")));
    // Filled from the catalogue at creation, in the catalogue's order, nothing selected.
    QCOMPARE(form.cmbProfile->count(), names.size());
    QCOMPARE(form.cmbProfile->itemText(0), names.first());
    QCOMPARE(form.cmbProfile->currentIndex(), -1);
    form.FillProfileList(names);
    QCOMPARE(form.cmbProfile->currentIndex(), -1);
    QCOMPARE(form.cmbProfile->count(), names.size());

    form.cmbProfile->setCurrentIndex(int(names.indexOf(QStringLiteral("Fast"))));
    const QString path = form.EditorProfilePath();
    QCOMPARE(path, folder.path() + QStringLiteral("Profiles/Fast.APF"));
    form.LoadProfile(path);
    QCOMPARE(form.OutputExtension(), QStringLiteral(".mkv"));
    QCOMPARE(form.vleVideo->height(), 18);
    QCOMPARE(form.vleAudio->height(), 18);
    QCOMPARE(form.vleAdvanced->height(), 0);

    form.vleVideo->setValue(QStringLiteral("Video Size"), QStringLiteral("640x480"));
    form.vleAudio->setValue(QStringLiteral("Audio Codec"), QStringLiteral("libopus"));
    // The grids are a view: their edits went into the values, and a value set there shows.
    QCOMPARE(form.values().value(QStringLiteral("Video Size")), QStringLiteral("640x480"));
    QCOMPARE(test::describe(form.values()), test::describeGrids(form));
    QVERIFY(
        form.setValue(ProfileValues::kAudio, QStringLiteral("audio codec"), QStringLiteral("aac")));
    QCOMPARE(form.vleAudio->value(QStringLiteral("Audio Codec")), QStringLiteral("aac"));
    QVERIFY(!form.setValue(ProfileValues::kAudio, QStringLiteral("Video Size"), QString()));
    QCOMPARE(test::describe(form.values()), test::describeGrids(form));
    form.vleAudio->setValue(QStringLiteral("Audio Codec"), QStringLiteral("libopus"));
    const QString copy = folder.path() + QStringLiteral("Profiles/Mine.apf");
    form.SaveProfileAs(path, copy);
    form.LoadProfile(copy);
    QCOMPARE(test::describe(form.values()), test::describeGrids(form));
    QCOMPARE(test::describeGrids(form),
             QStringLiteral("Video Size=640x480![Original Size/Custom Size/640x480] | "
                            "Audio Codec=libopus | "));

    // A missing file loads nothing and keeps the extension of the last load.
    form.LoadProfile(folder.path() + QStringLiteral("Profiles/None.apf"));
    QCOMPARE(form.OutputExtension(), QStringLiteral(".mkv"));
}

QTEST_MAIN(TestProfileGrids)
#include "test_profile_grids.moc"
