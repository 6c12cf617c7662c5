// The Settings dialog against a stand-in main window: creation from the file, OK, Cancel,
// Load Default, Browse, the ways of closing, keys, and a refused save.
#include "app/setting_form.h"
#include "fake_seams.h"
#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "ground/preferences.h"
#include "test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>

using namespace segmora;

namespace {

const QByteArray kNoFile = QByteArrayLiteral("<no file>");
const QString kProgramFolderToken = QStringLiteral("<program folder>");
const QString kMain = QStringLiteral("Main");

// What the main window's output folder holds before the dialog is created (set by a source
// named on the command line, say): it must stay unless the dialog has a reason to change it.
const QString kEarlierOutputDir = QStringLiteral("/from/the/source/");

const QByteArray kSaved = "[Main]\nVersion=1.8\nPreview=1\nOverwrite=0\nAptotic=1\n"
                          "Output Dir=/videos/saved/\nAuto Open Dir=1\nAuto Exit=0\n"
                          "Auto Turn Off=0\nProfile=1\n";

void putPreferences(const test::TempProgramFolder& folder, const QByteArray& content) {
    QFile::remove(folder.context().preferencesPath());
    if (content != kNoFile)
        folder.writeFile(QStringLiteral("Preferences.ini"), content);
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Check boxes as six characters: Preview, Overwrite, Aptotic, Open Dir, Exit, Turn Off.
QString flagsOf(const TSettingForm& form) {
    QString flags;
    for (const QCheckBox* box : {form.chkPreview, form.chkOverwrite, form.chkoutputdir,
                                 form.chkOpenDir, form.chkExit, form.chkTurnoff})
        flags += box->isChecked() ? QLatin1Char('1') : QLatin1Char('0');
    return flags;
}

// The parts of the main window the dialog works with, and a count of how often the profile
// list's choice changed (the real window loads the chosen profile on every change).
struct MainWindowStandIn {
    QWidget window;
    QComboBox* cmbProfile = new QComboBox(&window);
    QLineEdit* edtOutputDir = new QLineEdit(&window);
    QCheckBox* chkPreview = new QCheckBox(&window);
    int profileHandlerRuns = 0;

    MainWindowStandIn() {
        cmbProfile->addItems(
            {QStringLiteral("DVD"), QStringLiteral("Phone"), QStringLiteral("Web")});
        cmbProfile->setCurrentIndex(-1); // the main window fills the list without selecting
        QObject::connect(cmbProfile, &QComboBox::currentIndexChanged,
                         [this] { ++profileHandlerRuns; });
        edtOutputDir->setText(kEarlierOutputDir);
        chkPreview->setChecked(true);
        chkPreview->hide();
        window.resize(772, 410);
        window.show();
    }
    MainWindowLinks links() { return {&window, cmbProfile, edtOutputDir, chkPreview}; }
};

// One test's world: its own program folder, fake seams, a stand-in main window and the dialog.
struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    MainWindowStandIn main;
    std::unique_ptr<TSettingForm> form;

    explicit World(const QByteArray& content) {
        putPreferences(folder, content);
        form = std::make_unique<TSettingForm>(folder.context(), main.links());
    }
    QString iniPath() const { return folder.context().preferencesPath(); }
    QByteArray iniBytes() const { return fileBytes(iniPath()); }
    QString savedString(const QString& key) const {
        return IniFile(iniPath()).readString(kMain, key, QStringLiteral("<missing>"));
    }
};

} // namespace

class TestSettingForm : public QObject {
    Q_OBJECT

private slots:
    void controlsCarryTheirNamesAndCaptions_data();
    void controlsCarryTheirNamesAndCaptions();
    void dialogFrame();
    void keyboardOrder();
    void creationLoadsSavedValues_data();
    void creationLoadsSavedValues();
    void showDisablesMainWindowAndEveryCloseEnablesIt_data();
    void showDisablesMainWindowAndEveryCloseEnablesIt();
    void enterPressesNoButton_data();
    void enterPressesNoButton();
    void closingWithoutButtonsKeepsChangesInForce_data();
    void closingWithoutButtonsKeepsChangesInForce();
    void cancelPutsSavedValuesAndProfileBack();
    void loadDefaultShowsFactoryValuesUnsaved_data();
    void loadDefaultShowsFactoryValuesUnsaved();
    void okSavesAndCopiesToMainWindow_data();
    void okSavesAndCopiesToMainWindow();
    void refusedSaveKeepsDialogOpenAndCopiesNothing();
    void browse_data();
    void browse();
};

void TestSettingForm::controlsCarryTheirNamesAndCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("preview") << "chkPreview"
                             << "Preview the video when it is splitted.";
    QTest::newRow("overwrite") << "chkOverwrite"
                               << "Overwrite existent output files.";
    QTest::newRow("aptotic") << "chkoutputdir"
                             << "Use the aptotic output directory.";
    QTest::newRow("open dir") << "chkOpenDir"
                              << "Open the output directory when the task is completed. ";
    QTest::newRow("exit") << "chkExit"
                          << "Exit the program when the task is completed.";
    QTest::newRow("turn off") << "chkTurnoff"
                              << "Turn off the computer when the task is completed.";
    QTest::newRow("browse") << "bbtnBrowse"
                            << "Browse";
    QTest::newRow("default") << "btnDefault"
                             << "&Load Default";
    QTest::newRow("ok") << "btnOK"
                        << "&OK";
    QTest::newRow("cancel") << "btnCancel"
                            << "&Cancel";
}

void TestSettingForm::controlsCarryTheirNamesAndCaptions() {
    QFETCH(QString, name);
    QFETCH(QString, caption);

    World world(kNoFile);
    const auto* button = world.form->findChild<QAbstractButton*>(name);
    QVERIFY2(button, qPrintable(name));
    QCOMPARE(button->text(), caption);
}

void TestSettingForm::dialogFrame() {
    World world(kNoFile);
    TSettingForm& form = *world.form;
    form.show();
    QCOMPARE(form.objectName(), QStringLiteral("SettingForm"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Settings"));
    // 351 wide, wider only when the system font needs it: no caption may be cut short. No empty
    // band above the buttons: they follow the last option after a short gap.
    QVERIFY(form.width() >= 351);
    const int gap = form.btnOK->geometry().top() - form.chkTurnoff->geometry().bottom();
    QVERIFY2(gap > 0 && gap <= 24, qPrintable(QString::number(gap)));
    QCOMPARE(form.btnDefault->geometry().top(), form.btnOK->geometry().top());
    QVERIFY(form.btnCancel->geometry().bottom() < form.height());
    QVERIFY(form.height() - form.btnCancel->geometry().bottom() <= 16);
    for (const QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
        if (button->isVisible())
            QVERIFY2(button->width() >= button->sizeHint().width(),
                     qPrintable(button->objectName()));
    }
    QVERIFY(!form.chkPreview->isVisible());
    QCOMPARE(form.findChild<QLineEdit*>(QStringLiteral("edtOutputDir")), form.edtOutputDir);
    // The folder stays editable whatever the aptotic box says.
    form.chkoutputdir->setChecked(false);
    QVERIFY(form.edtOutputDir->isEnabled());
    QVERIFY(!form.edtOutputDir->accessibleName().isEmpty());
    // Centred on the main window.
    const QPoint offset =
        form.frameGeometry().center() - world.main.window.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
}

void TestSettingForm::keyboardOrder() {
    World world(kNoFile);
    const TSettingForm& form = *world.form;
    const QList<QWidget*> want = {form.chkPreview,   form.chkOverwrite, form.chkoutputdir,
                                  form.edtOutputDir, form.chkExit,      form.chkOpenDir,
                                  form.chkTurnoff,   form.btnDefault,   form.btnOK,
                                  form.btnCancel,    form.bbtnBrowse};
    QList<QWidget*> chain;
    QWidget* widget = form.chkPreview;
    do {
        if (want.contains(widget))
            chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != form.chkPreview);
    QCOMPARE(chain, want);
}

void TestSettingForm::creationLoadsSavedValues_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("dialogDir");
    QTest::addColumn<QString>("mainDir");
    QTest::addColumn<int>("profile");

    const QString program = kProgramFolderToken;
    QTest::newRow("no file") << kNoFile << "111110" << program << program << 0;
    QTest::newRow("saved, aptotic on") << kSaved << "101100"
                                       << "/videos/saved/"
                                       << "/videos/saved/" << 1;
    QTest::newRow("aptotic off leaves the main folder")
        << QByteArray("[Main]\nAptotic=0\nOutput Dir=/videos/saved/\n") << "110110"
        << "/videos/saved/" << kEarlierOutputDir << 0;
    QTest::newRow("present empty folder, aptotic on")
        << QByteArray("[Main]\nAptotic=1\nOutput Dir=\n") << "111110"
        << ""
        << "" << 0;
    QTest::newRow("profile beyond the list")
        << QByteArray("[Main]\nProfile=3\n") << "111110" << program << program << -1;
    QTest::newRow("no profile saved")
        << QByteArray("[Main]\nProfile=-1\n") << "111110" << program << program << -1;
    QTest::newRow("saved name wins over the position")
        << QByteArray("[Main]\nProfile=0\nProfile Name=Web\n") << "111110" << program << program
        << 2;
    QTest::newRow("saved name no longer listed")
        << QByteArray("[Main]\nProfile=1\nProfile Name=Gone\n") << "111110" << program << program
        << 1;
    QTest::newRow("factory values are not used at start")
        << QByteArray("[Default]\nOverwrite=0\nAuto Turn Off=1\nProfile=2\n") << "111110" << program
        << program << 0;
}

void TestSettingForm::creationLoadsSavedValues() {
    QFETCH(QByteArray, content);
    QFETCH(QString, flags);
    QFETCH(QString, dialogDir);
    QFETCH(QString, mainDir);
    QFETCH(int, profile);

    World world(content);
    const auto resolve = [&](const QString& dir) {
        return dir == kProgramFolderToken ? world.folder.path() : dir;
    };
    QCOMPARE(flagsOf(*world.form), flags);
    QCOMPARE(world.form->edtOutputDir->text(), resolve(dialogDir));
    QCOMPARE(world.main.edtOutputDir->text(), resolve(mainDir));
    QCOMPARE(world.main.cmbProfile->currentIndex(), profile);
    // The list starts with no choice; the saved one is its only change.
    QCOMPARE(world.main.profileHandlerRuns, profile >= 0 ? 1 : 0);
    QVERIFY(world.fakes.messages.isEmpty());
    // Creating the dialog writes nothing.
    QCOMPARE(QFile::exists(world.iniPath()), content != kNoFile);
}

void TestSettingForm::showDisablesMainWindowAndEveryCloseEnablesIt_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("OK") << "OK";
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("close box") << "close box";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("hidden by the program") << "hide";
}

void TestSettingForm::showDisablesMainWindowAndEveryCloseEnablesIt() {
    QFETCH(QString, way);

    World world(kSaved);
    TSettingForm& form = *world.form;
    form.show();
    QVERIFY(!world.main.window.isEnabled());
    // The dialog itself must stay usable while its main window is disabled.
    QVERIFY(form.isEnabled());
    QVERIFY(form.btnOK->isEnabled());

    if (way == QLatin1String("OK"))
        QTest::mouseClick(form.btnOK, Qt::LeftButton);
    else if (way == QLatin1String("Cancel"))
        QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    else if (way == QLatin1String("close box"))
        form.close();
    else if (way == QLatin1String("Escape"))
        QTest::keyClick(&form, Qt::Key_Escape);
    else
        form.hide();

    QVERIFY(!form.isVisible());
    QVERIFY(world.main.window.isEnabled());
    QVERIFY(world.fakes.messages.isEmpty());

    // Shown again, it disables the main window again.
    form.show();
    QVERIFY(!world.main.window.isEnabled());
}

void TestSettingForm::enterPressesNoButton_data() {
    QTest::addColumn<QString>("focused");
    for (const char* name :
         {"btnOK", "btnCancel", "btnDefault", "bbtnBrowse", "chkOverwrite", "edtOutputDir"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestSettingForm::enterPressesNoButton() {
    QFETCH(QString, focused);

    World world(kSaved);
    TSettingForm& form = *world.form;
    form.show();
    form.chkTurnoff->setChecked(true);
    form.edtOutputDir->setText(QStringLiteral("/typed/"));
    const QByteArray before = world.iniBytes();

    QWidget* target = form.findChild<QWidget*>(focused);
    QVERIFY(target);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
        QTest::keyClick(target, key);

    QVERIFY(form.isVisible());
    QVERIFY(!world.main.window.isEnabled());
    QCOMPARE(world.iniBytes(), before);
    QVERIFY(form.chkTurnoff->isChecked());
    QCOMPARE(form.edtOutputDir->text(), QStringLiteral("/typed/"));
    QVERIFY(world.fakes.folderPickerCaptions.isEmpty());
}

void TestSettingForm::closingWithoutButtonsKeepsChangesInForce_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("close box") << false;
    QTest::newRow("Escape") << true;
}

void TestSettingForm::closingWithoutButtonsKeepsChangesInForce() {
    QFETCH(bool, escape);

    World world(kSaved);
    TSettingForm& form = *world.form;
    const QByteArray before = world.iniBytes();
    form.show();
    form.chkTurnoff->setChecked(true);
    form.chkOverwrite->setChecked(true);
    form.edtOutputDir->setText(QStringLiteral("/videos/changed"));
    world.main.cmbProfile->setCurrentIndex(2);

    if (escape)
        QTest::keyClick(&form, Qt::Key_Escape);
    else
        form.close();

    // In force for the next job, not reverted, not saved; the main folder is not touched.
    QVERIFY(!form.isVisible());
    QVERIFY(form.chkTurnoff->isChecked());
    QVERIFY(form.chkOverwrite->isChecked());
    QCOMPARE(form.edtOutputDir->text(), QStringLiteral("/videos/changed"));
    QCOMPARE(world.main.edtOutputDir->text(), QStringLiteral("/videos/saved/"));
    QCOMPARE(world.iniBytes(), before);

    // The main window's close saves them as they stand.
    form.SavePreferences();
    QCOMPARE(world.savedString(QStringLiteral("Auto Turn Off")), QStringLiteral("1"));
    QCOMPARE(world.savedString(QStringLiteral("Overwrite")), QStringLiteral("1"));
    QCOMPARE(world.savedString(QStringLiteral("Output Dir")), QStringLiteral("/videos/changed"));
    QCOMPARE(world.savedString(QStringLiteral("Profile")), QStringLiteral("2"));
    QCOMPARE(world.savedString(QStringLiteral("Profile Name")), QStringLiteral("Web"));
    QCOMPARE(world.savedString(QStringLiteral("Version")), QStringLiteral("1.8"));
}

void TestSettingForm::cancelPutsSavedValuesAndProfileBack() {
    World world(kSaved);
    TSettingForm& form = *world.form;
    const QByteArray before = world.iniBytes();
    QCOMPARE(world.main.cmbProfile->currentIndex(), 1);
    // The user picks another profile in the main window, then changes the dialog.
    world.main.cmbProfile->setCurrentIndex(2);
    world.main.profileHandlerRuns = 0;
    form.show();
    form.chkOverwrite->setChecked(true);
    form.chkExit->setChecked(true);
    form.edtOutputDir->setText(QStringLiteral("/somewhere/else/"));

    QTest::mouseClick(form.btnCancel, Qt::LeftButton);

    QVERIFY(!form.isVisible());
    QCOMPARE(flagsOf(form), QStringLiteral("101100"));
    QCOMPARE(form.edtOutputDir->text(), QStringLiteral("/videos/saved/"));
    QCOMPARE(world.main.cmbProfile->currentIndex(), 1);
    // The list shows the saved profile, and the window is told, so it loads that profile.
    QCOMPARE(world.main.profileHandlerRuns, 1);
    QCOMPARE(world.iniBytes(), before);
}

void TestSettingForm::loadDefaultShowsFactoryValuesUnsaved_data() {
    QTest::addColumn<QByteArray>("factory");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("dir");

    QTest::newRow("no factory section") << QByteArray() << "111110" << kProgramFolderToken;
    QTest::newRow("shipped factory values")
        << QByteArray("[Default]\nPreview=1\nOverwrite=0\nAptotic=0\nOutput Dir=\n"
                      "Auto Open Dir=1\nAuto Exit=0\nAuto Turn Off=0\n")
        << "100100"
        << "";
    QTest::newRow("factory section without turn off")
        << QByteArray("[Default]\nAuto Exit=0\nOutput Dir=/factory/\n") << "111100"
        << "/factory/";
}

void TestSettingForm::loadDefaultShowsFactoryValuesUnsaved() {
    QFETCH(QByteArray, factory);
    QFETCH(QString, flags);
    QFETCH(QString, dir);

    World world(kSaved + factory);
    TSettingForm& form = *world.form;
    const QByteArray before = world.iniBytes();
    world.main.cmbProfile->setCurrentIndex(0);
    world.main.profileHandlerRuns = 0;
    form.show();

    QTest::mouseClick(form.btnDefault, Qt::LeftButton);

    QVERIFY(form.isVisible());
    QCOMPARE(flagsOf(form), flags);
    QCOMPARE(form.edtOutputDir->text(), dir == kProgramFolderToken ? world.folder.path() : dir);
    // Like Cancel, it puts the saved profile back into the list, which the window loads.
    QCOMPARE(world.main.cmbProfile->currentIndex(), 1);
    QCOMPARE(world.main.profileHandlerRuns, 1);
    QCOMPARE(world.main.edtOutputDir->text(), QStringLiteral("/videos/saved/"));
    QCOMPARE(world.iniBytes(), before);
}

void TestSettingForm::okSavesAndCopiesToMainWindow_data() {
    QTest::addColumn<bool>("aptotic");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("profile");

    QTest::newRow("aptotic on, typed folder") << true << "/videos/typed" << 2;
    QTest::newRow("aptotic on, empty folder") << true << "" << 0;
    QTest::newRow("aptotic off") << false << "/videos/typed" << 1;
    QTest::newRow("no profile selected") << true << "/videos/typed/" << -1;
}

void TestSettingForm::okSavesAndCopiesToMainWindow() {
    QFETCH(bool, aptotic);
    QFETCH(QString, typed);
    QFETCH(int, profile);

    World world(kSaved);
    TSettingForm& form = *world.form;
    world.main.edtOutputDir->setText(kEarlierOutputDir);
    world.main.cmbProfile->setCurrentIndex(profile);
    world.main.profileHandlerRuns = 0;
    form.show();
    form.chkoutputdir->setChecked(aptotic);
    form.edtOutputDir->setText(typed);
    form.chkPreview->setChecked(false);
    form.chkTurnoff->setChecked(true);
    const PreferenceValues shown = form.currentValues();

    QTest::mouseClick(form.btnOK, Qt::LeftButton);

    QVERIFY(world.fakes.messages.isEmpty());
    QVERIFY(!form.isVisible());
    QVERIFY(ReadPreferenceValues(world.folder.context(), false) == shown);
    QCOMPARE(world.savedString(QStringLiteral("Output Dir")), typed);
    QCOMPARE(ReadSavedProfileIndex(world.folder.context()), profile);
    // The name too, so a profile added before it later does not shift the choice.
    QCOMPARE(world.savedString(QStringLiteral("Profile Name")),
             profile >= 0 ? world.main.cmbProfile->itemText(profile) : QString());
    QCOMPARE(world.main.edtOutputDir->text(), aptotic ? typed : kEarlierOutputDir);
    QVERIFY(!world.main.chkPreview->isChecked());
    QCOMPARE(world.main.profileHandlerRuns, 0);
}

void TestSettingForm::refusedSaveKeepsDialogOpenAndCopiesNothing() {
    World world(kSaved);
    TSettingForm& form = *world.form;
    // A folder where the file should be: every write is refused.
    QVERIFY(QFile::remove(world.iniPath()));
    QVERIFY(QDir().mkdir(world.iniPath()));
    form.show();
    form.edtOutputDir->setText(QStringLiteral("/videos/new/"));
    form.chkPreview->setChecked(false);

    QTest::mouseClick(form.btnOK, Qt::LeftButton);

    QCOMPARE(world.fakes.messages.size(), 1);
    QCOMPARE(world.fakes.messages[0].text, QStringLiteral("Unable to write to ") + world.iniPath());
    QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Error);
    QVERIFY(form.isVisible());
    QVERIFY(!world.main.window.isEnabled());
    QCOMPARE(world.main.edtOutputDir->text(), QStringLiteral("/videos/saved/"));
    QVERIFY(world.main.chkPreview->isChecked());

    // The main window's close gets the error to show itself.
    QVERIFY_THROWS_EXCEPTION(AppError, form.SavePreferences());
}

void TestSettingForm::browse_data() {
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<QString>("shown");

    QTest::newRow("folder") << true << "/videos/clips"
                            << "/videos/clips/";
    QTest::newRow("folder with separator") << true << "/videos/clips/"
                                           << "/videos/clips/";
    QTest::newRow("file-system root") << true << "/"
                                      << "/";
    QTest::newRow("cancelled") << false << ""
                               << "/videos/saved/";
}

void TestSettingForm::browse() {
    QFETCH(bool, chosen);
    QFETCH(QString, picked);
    QFETCH(QString, shown);

    World world(kSaved);
    TSettingForm& form = *world.form;
    const QByteArray before = world.iniBytes();
    if (chosen)
        world.fakes.folderToPick = picked;
    form.show();

    QTest::mouseClick(form.bbtnBrowse, Qt::LeftButton);

    QCOMPARE(world.fakes.folderPickerCaptions,
             QList<QString>{QStringLiteral("Select the output directory.")});
    // The picker opens where the field points, not in the program's working folder.
    QCOMPARE(world.fakes.folderPickerStartFolders,
             QList<QString>{QStringLiteral("/videos/saved/")});
    QCOMPARE(form.edtOutputDir->text(), shown);
    // Nothing else changes until OK.
    QVERIFY(form.isVisible());
    QCOMPARE(world.main.edtOutputDir->text(), QStringLiteral("/videos/saved/"));
    QCOMPARE(world.iniBytes(), before);
}

QTEST_MAIN(TestSettingForm)
#include "test_setting_form.moc"
