// The main window and start-up: the control inventory, the caption, the open dialog's filter,
// the profile list, Browse, Help, About, closing, the error guard and the start options.
#include "app/about_form.h"
#include "app/application.h"
#include "app/main_form.h"
#include "app/picture_button.h"
#include "app/setting_form.h"
#include "fake_seams.h"
#include "ground/app_error.h"
#include "ground/ini_file.h"
#include "media/track_bar.h"
#include "media/video_window.h"
#include "profiles/profile_editor_form.h"
#include "test_support.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>
#include <memory>

using namespace segmora;

namespace {

const QByteArray kNoFile = QByteArrayLiteral("<no file>");

void putPreferences(const test::TempProgramFolder& folder, const QByteArray& content) {
    QFile::remove(folder.context().preferencesPath());
    if (content != kNoFile)
        folder.writeFile(QStringLiteral("Preferences.ini"), content);
}

// Replaces the shipped profiles with the given files (name, content); removeFolder leaves no
// Profiles folder at all.
void putProfiles(const test::TempProgramFolder& folder,
                 const QList<QPair<QString, QByteArray>>& files, bool removeFolder = false) {
    QDir profiles(folder.context().profilesFolder());
    profiles.removeRecursively();
    if (removeFolder)
        return;
    QDir().mkpath(folder.context().profilesFolder());
    for (const auto& [name, content] : files)
        folder.writeFile(QStringLiteral("Profiles/") + name, content);
}

// The text a control shows, whatever its kind.
QString shownText(const QObject* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (const auto* group = qobject_cast<const QGroupBox*>(control))
        return group->title();
    return QString();
}

// The patterns of one entry of a Qt file-dialog filter, "Description (p1 p2)".
QStringList patternsOf(const QString& entry) {
    static const QRegularExpression form(QStringLiteral("^(.*) \\(([^()]*)\\)$"));
    const QRegularExpressionMatch match = form.match(entry);
    return match.hasMatch() ? match.captured(2).split(QLatin1Char(' ')) : QStringList();
}

// One test's world: its own program folder, fake seams and the application's windows.
struct World {
    test::TempProgramFolder folder;
    test::FakeSeams fakes;
    std::unique_ptr<Application> app;

    TMainForm* start(const QString& source = {}) {
        app = std::make_unique<Application>(folder.context(), source);
        return app->mainForm();
    }
};

} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

private slots:
    void inventory_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text"); // null: not checked
        QTest::addColumn<QString>("hint"); // null: not checked
        QTest::addColumn<QSize>("size");   // invalid: not checked
        QTest::addColumn<bool>("shown");
        const QString none;
        const auto row = [](const char* name, const QString& text, const QString& hint, QSize size,
                            bool shown) {
            QTest::newRow(name) << QString::fromLatin1(name) << text << hint << size << shown;
        };
        const auto s = [](const char* text) { return QString::fromUtf8(text); };
        row("panLeft", none, none, QSize(399, 410), true);
        row("panRight", none, none, QSize(373, 410), true);
        row("imgScreen", none, none, QSize(390, 290), true);
        row("imgBanner", none, none, QSize(320, 80), true);
        row("VideoWindow", none, none, QSize(331, 237), false);
        row("labLeft", s("00:00:00"), none, QSize(), true);
        row("labMiddle", s("00:00:00"), none, QSize(), true);
        row("labRight", s("00:00:00"), none, QSize(), true);
        // 20 pixels of the bar went to the position label's milliseconds.
        row("tkbProgress", none, none, QSize(306, 13), true);
        row("labCurrent", s("00:00:00"), none, QSize(), true);
        row("labStart", none, none, QSize(), false);
        row("labEnd", none, none, QSize(), false);
        row("imgPlay", none, s("Play"), QSize(63, 35), true);
        row("imgPause", none, s("Pause | Resume"), QSize(63, 35), true);
        row("imgStop", none, s("Stop"), QSize(63, 35), true);
        row("imgSelStart", none, s("Set the Start Time"), QSize(63, 35), true);
        row("imgSelEnd", none, s("Set the End Time"), QSize(63, 35), true);
        row("imgErase", none, s("Remove the selection"), QSize(63, 35), true);
        row("ToolBar1", none, none, QSize(372, 94), true);
        row("tbtnOpen", s("Open"), none, QSize(58, 68), true);
        row("tbtnSettings", s("Settings"), none, QSize(58, 68), true);
        row("tbtnAbout", s("About"), none, QSize(58, 68), true);
        row("tbtnHelp", s("Help"), none, QSize(58, 68), true);
        row("tbtnCutList", s("Cut List"), none, QSize(58, 68), true);
        row("Label2", s("Source:"), none, QSize(), true);
        row("edtSource", s(""), none, QSize(), true);
        row("gpbOutput", s("Output"), none, QSize(), true);
        row("rdbStartEnd", s("Split the marked rang out."), none, QSize(), true);
        row("Label4", s("Start Time:"), none, QSize(), true);
        row("edtStart", s("00:00:00"), none, QSize(), true);
        row("Label5", s("End Time:"), none, QSize(), true);
        row("edtEnd", s("00:00:00"), none, QSize(), true);
        row("rdbEqual", s("Split the marked rang to "), none, QSize(), true);
        row("edtSectionQty", s(""), none, QSize(), true);
        row("Label7", s("equal sections."), none, QSize(), true);
        row("rdbCutList", s("Split the ranges of the cut list:"), none, QSize(), true);
        row("cmbCutListMode", none, none, QSize(), true);
        row("labLength", s("length of the Marked Rang"), none, QSize(), false);
        row("Label10", s("Output Profile:"), none, QSize(), true);
        row("BitBtn1", s("Detail"), none, QSize(), true);
        row("Label3", s("Output Path:"), none, QSize(), true);
        row("bbtnBrowse", s("Browse"), none, QSize(), true);
        row("panProgress", none, none, QSize(373, 217), false);
        row("Label1", s("Current:"), none, QSize(), true);
        row("labCurProgress", s("%"), none, QSize(), true);
        row("Label6", s("Total:"), none, QSize(), true);
        row("labTotalProgress", s("%"), none, QSize(), true);
        row("Label8", s("Elapsed:"), none, QSize(), true);
        row("Label9", s("Remaining:"), none, QSize(), true);
        row("chkPreview", s("Preview"), none, QSize(), false);
        row("imgStart", none, s("Start"), QSize(110, 110), true);
        row("imgCancel", none, s("Cancel"), QSize(110, 110), false);
        row("imgRightBottom", none, none, QSize(263, 99), true);
        // The cut list's column opens on demand, beside the controls.
        row("panCutList", none, none, QSize(), false);
        row("grdCutList", none, none, QSize(), true);
        row("btnAddRange", s("Add"), none, QSize(), true);
    }
    void inventory() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, hint);
        QFETCH(QSize, size);
        QFETCH(bool, shown);
        World world;
        TMainForm* form = world.start();
        form->show();
        const QList<QWidget*> found = form->findChildren<QWidget*>(name);
        QCOMPARE(found.size(), 1);
        QWidget* control = found.first();
        if (!text.isNull())
            QCOMPARE(shownText(control), text);
        if (!hint.isNull()) {
            // A key that does the same may follow the hint in the tool tip: "Play (Space)".
            QVERIFY2(control->toolTip() == hint || control->toolTip().startsWith(hint + " ("),
                     qPrintable(control->toolTip()));
            QCOMPARE(control->accessibleName(), hint);
        }
        if (size.isValid())
            QCOMPARE(control->size(), size);
        // Inside the hidden progress panel "shown" means: shown once the panel is.
        QCOMPARE(!control->isHidden(), shown);
    }

    void windowAtStart() {
        World world;
        TMainForm* form = world.start();
        form->show();
        QCOMPARE(form->objectName(), QStringLiteral("MainForm"));
        QCOMPARE(form->centralWidget()->size(), QSize(772, 410));
        // Resizable and maximisable, never smaller than its default size.
        QCOMPARE(form->minimumSize(), form->size());
        QVERIFY(form->maximumSize().width() > 1920 && form->maximumSize().height() > 1080);
        QVERIFY(form->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(form->acceptDrops());
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Segmora"));

        QVERIFY(!form->SourceLoaded);
        QCOMPARE(form->JobState, 0);
        QCOMPARE(form->ElapsedSeconds, 0);
        for (QTimer* timer : {form->tmrProcess, form->tmrPreview}) {
            QCOMPARE(timer->interval(), 1000);
            QVERIFY(!timer->isActive());
        }
        QCOMPARE(form->tkbProgress->Frequency(), 60);
        QCOMPARE(form->tkbProgress->ThumbLength(), 8);
        QVERIFY(!form->cmbProfile->isEditable());
        QVERIFY(form->rdbStartEnd->isChecked());
        QVERIFY(!form->rdbEqual->isChecked());
        QCOMPARE(form->ConverterPath(), world.folder.path() + QStringLiteral("vorkast"));
        QCOMPARE(form->HelpFilePath(), world.folder.path() + QStringLiteral("Quillet.html"));
        // The shipped profiles are listed, none selected before the preferences say so.
        QCOMPARE(form->cmbProfile->count(), QDir(world.folder.context().profilesFolder())
                                                .entryList({QStringLiteral("*.apf")}, QDir::Files)
                                                .size());
        QVERIFY(form->cmbProfile->count() > 0);
        QCOMPARE(form->SupportedExtensions(),
                 QStringList({".avi", ".mpg", ".mpeg", ".mp4", ".wmv", ".mov", ".vob", ".asf",
                              ".mkv", ".webm", ".ts", ".m2ts", ".mts", ".m4v", ".3gp", ".flv"}));
        QVERIFY(world.fakes.messages.isEmpty());
    }

    void caption_data() {
        QTest::addColumn<QByteArray>("preferences");
        QTest::addColumn<QString>("caption");
        QTest::newRow("no file") << kNoFile << "Segmora V1.8";
        QTest::newRow("no key") << QByteArray("[Main]\nPreview=1\n") << "Segmora V1.8";
        QTest::newRow("key in another section")
            << QByteArray("[Default]\nVersion=9\n") << "Segmora V1.8";
        QTest::newRow("empty value") << QByteArray("[Main]\nVersion=\n") << "Segmora V";
        QTest::newRow("words kept as written")
            << QByteArray("[Main]\nVersion=2.0 beta\n") << "Segmora V2.0 beta";
        QTest::newRow("names without case")
            << QByteArray("[MAIN]\nversion = 3.1\n") << "Segmora V3.1";
    }
    void caption() {
        QFETCH(QByteArray, preferences);
        QFETCH(QString, caption);
        World world;
        putPreferences(world.folder, preferences);
        TMainForm* form = world.start();
        QCOMPARE(form->windowTitle(), caption);
        // The about box shows the same version text.
        const QString version = caption.mid(QStringLiteral("Segmora V").size());
        QCOMPARE(world.app->aboutForm()->labVersion->text(), QStringLiteral("Version ") + version);
    }

    void openDialogFilterText() {
        QCOMPARE(
            TMainForm::OpenDialogFilterText(TMainForm::DefaultSupportedExtensions()),
            QStringLiteral(
                "All Support Files(*.avi;*.mpg;*.mpeg;*.mp4;*.wmv;*.mov;*.vob;*.asf;*.mkv;*.webm;"
                "*.ts;*.m2ts;*.mts;*.m4v;*.3gp;*.flv;)|*.avi;*.mpg;*.mpeg;*.mp4;*.wmv;*.mov;*.vob;"
                "*.asf;*.mkv;*.webm;*.ts;*.m2ts;*.mts;*.m4v;*.3gp;*.flv;|AVI Files (*.avi)|*.avi|"
                "MPG Files (*.mpg)|*.mpg|MPEG Files (*.mpeg)|*.mpeg|MP4 Files (*.mp4)|*.mp4|WMV "
                "Files (*.wmv)|*.wmv|MOV Files (*.mov)|*.mov|VOB Files (*.vob)|*.vob|ASF Files "
                "(*.asf)|*.asf|MKV Files (*.mkv)|*.mkv|WEBM Files (*.webm)|*.webm|TS Files "
                "(*.ts)|*.ts|M2TS Files (*.m2ts)|*.m2ts|MTS Files (*.mts)|*.mts|M4V Files "
                "(*.m4v)|*.m4v|3GP Files (*.3gp)|*.3gp|FLV Files (*.flv)|*.flv|All Files "
                "(*.*)|*.*"));
        World world;
        TMainForm* form = world.start();
        QCOMPARE(form->OpenDialogFilter(),
                 TMainForm::OpenDialogFilterText(TMainForm::DefaultSupportedExtensions()));
        QCOMPARE(form->OpenDialogQtFilter(),
                 TMainForm::QtFilterFromFilterText(form->OpenDialogFilter()));
    }

    void qtFilterShowsTheRightFiles_data() {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("shown");
        const QStringList videos{"00001.MTS", "CLIP.MOV",   "clip.avi",
                                 "film.mkv",  "movie.MPEG", "take.mov"};
        QTest::newRow("all supported") << 0 << "All Support Files" << videos;
        QTest::newRow("MOV") << 6 << "MOV Files" << QStringList{"CLIP.MOV", "take.mov"};
        QTest::newRow("MPEG") << 3 << "MPEG Files" << QStringList{"movie.MPEG"};
        QTest::newRow("MTS") << 13 << "MTS Files" << QStringList{"00001.MTS"};
        QTest::newRow("all files")
            << 17 << "All Files" << videos + QStringList{"clip.mpeg4", "notes.txt"};
    }
    void qtFilterShowsTheRightFiles() {
        QFETCH(int, entry);
        QFETCH(QString, description);
        QFETCH(QStringList, shown);
        const QStringList entries =
            TMainForm::QtFilterFromFilterText(
                TMainForm::OpenDialogFilterText(TMainForm::DefaultSupportedExtensions()))
                .split(QStringLiteral(";;"));
        QCOMPARE(entries.size(), 18);
        QVERIFY2(entries[entry].startsWith(description + QStringLiteral(" (")),
                 qPrintable(entries[entry]));

        // File names are compared with case on this platform, as a native dialog does.
        QTemporaryDir dir;
        for (const char* name : {"00001.MTS", "CLIP.MOV", "clip.avi", "clip.mpeg4", "film.mkv",
                                 "movie.MPEG", "notes.txt", "take.mov"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QDir folder(dir.path());
        folder.setNameFilters(patternsOf(entries[entry]));
        folder.setFilter(QDir::Files | QDir::CaseSensitive);
        folder.setSorting(QDir::Name);
        shown.sort();
        QCOMPARE(folder.entryList(), shown);
    }

    void profileList_data() {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("removeFolder");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("no Profiles folder") << QStringList() << true << QStringList();
        QTest::newRow("empty Profiles folder") << QStringList() << false << QStringList();
        QTest::newRow("sorted without case, other files left out")
            << QStringList{"Web.apf", "dvd.APF", "notes.txt", "Phone.apf"} << false
            << QStringList{"dvd", "Phone", "Web"};
    }
    void profileList() {
        QFETCH(QStringList, files);
        QFETCH(bool, removeFolder);
        QFETCH(QStringList, listed);
        World world;
        QList<QPair<QString, QByteArray>> content;
        for (const QString& name : files)
            content.append({name, QByteArray("[Main]\nType=mkv\n")});
        putProfiles(world.folder, content, removeFolder);
        putPreferences(world.folder, "[Main]\nProfile=-1\n");
        TMainForm* form = world.start();
        form->show();
        QStringList items;
        for (int i = 0; i < form->cmbProfile->count(); ++i)
            items.append(form->cmbProfile->itemText(i));
        QCOMPARE(items, listed);
        QCOMPARE(form->cmbProfile->currentIndex(), -1);
        // Start-up went on: all six windows exist and nothing was reported.
        QCOMPARE(world.app->creationOrder().size(), 6);
        QVERIFY(world.fakes.messages.isEmpty());
    }

    void profileLoadedOnFirstShowAndOnChoice_data() {
        QTest::addColumn<int>("savedIndex");
        QTest::addColumn<QString>("afterShow");
        QTest::newRow("saved first profile") << 0 << ".avi";
        QTest::newRow("saved second profile") << 1 << ".mkv";
        QTest::newRow("saved index beyond the list") << 5 << "";
    }
    void profileLoadedOnFirstShowAndOnChoice() {
        QFETCH(int, savedIndex);
        QFETCH(QString, afterShow);
        World world;
        putProfiles(world.folder, {{"A.apf", "[Main]\nType=avi\n"},
                                   {"B.APF", "[Main]\nType=mkv\n"},
                                   {"C.apf", "[Main]\nType=webm\n"}});
        putPreferences(world.folder, "[Main]\nProfile=" + QByteArray::number(savedIndex) + "\n");
        TMainForm* form = world.start();
        TopSettingForm* editor = world.app->opSettingForm();
        // Setting the index from the preferences loaded nothing.
        QCOMPARE(editor->OutputExtension(), QString());

        form->show();
        QCOMPARE(editor->OutputExtension(), afterShow);
        // A second showing does not load again: a file changed meanwhile is not read.
        form->hide();
        world.folder.writeFile(QStringLiteral("Profiles/A.apf"), "[Main]\nType=ts\n");
        form->show();
        QCOMPARE(editor->OutputExtension(), afterShow);

        // Any change of the choice loads, so the list always names the profile the grids hold.
        form->cmbProfile->setCurrentIndex(2);
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".webm"));
        QCOMPARE(editor->cmbProfile->currentIndex(), 2);
        // The user's choice loads, the real file (B.APF) found from its shown name.
        form->cmbProfile->setCurrentIndex(1);
        emit form->cmbProfile->activated(1);
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".mkv"));
    }

    // The Settings dialog's Cancel and Load Default put the saved profile back into the list;
    // its values come with it, so Start never takes one profile's file with another's values.
    void settingsPutsTheSavedProfileBackLoaded_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("Cancel") << "btnCancel";
        QTest::newRow("Load Default") << "btnDefault";
    }
    void settingsPutsTheSavedProfileBackLoaded() {
        QFETCH(QString, button);
        World world;
        putProfiles(world.folder, {{"A.apf", "[Main]\nType=avi\n"},
                                   {"B.apf", "[Main]\nType=mkv\n"},
                                   {"C.apf", "[Main]\nType=webm\n"}});
        // The name wins over the position: C, though the position names B.
        putPreferences(world.folder, "[Main]\nProfile=1\nProfile Name=C\n");
        TMainForm* form = world.start();
        TopSettingForm* editor = world.app->opSettingForm();
        form->show();
        QCOMPARE(form->cmbProfile->currentText(), QStringLiteral("C"));
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".webm"));

        form->cmbProfile->setCurrentIndex(0);
        emit form->cmbProfile->activated(0);
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".avi"));
        form->tbtnSettings->click();
        TSettingForm* settings = world.app->settingForm();
        QVERIFY(settings->isVisible());
        settings->findChild<QPushButton*>(button)->click();

        QCOMPARE(form->cmbProfile->currentText(), QStringLiteral("C"));
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".webm"));
        QCOMPARE(editor->cmbProfile->currentText(), QStringLiteral("C"));
        QVERIFY(world.fakes.messages.isEmpty());
    }

    void browse_data() {
        QTest::addColumn<bool>("picked");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("outputDir");
        QTest::newRow("folder") << true << "/videos/out"
                                << "/videos/out/";
        QTest::newRow("folder with separator") << true << "/videos/out/"
                                               << "/videos/out/";
        QTest::newRow("root: one separator") << true << "/"
                                             << "/";
        QTest::newRow("cancelled") << false << ""
                                   << "/kept/as/it/was/";
    }
    void browse() {
        QFETCH(bool, picked);
        QFETCH(QString, folder);
        QFETCH(QString, outputDir);
        World world;
        TMainForm* form = world.start();
        form->edtOutputDir->setText(QStringLiteral("/kept/as/it/was/"));
        world.fakes.folderToPick = picked ? std::optional<QString>(folder) : std::nullopt;
        form->bbtnBrowse->click();
        QCOMPARE(form->edtOutputDir->text(), outputDir);
        QCOMPARE(world.fakes.folderPickerCaptions,
                 QList<QString>{QStringLiteral("Select the output directory.")});
        // The picker opens in the current output folder.
        QCOMPARE(world.fakes.folderPickerStartFolders,
                 QList<QString>{QStringLiteral("/kept/as/it/was/")});
        QVERIFY(world.fakes.messages.isEmpty());
    }

    void helpOpensTheHelpPage() {
        World world;
        TMainForm* form = world.start();
        form->tbtnHelp->click();
        QCOMPARE(world.fakes.openedUrls,
                 QList<QUrl>{QUrl::fromLocalFile(world.folder.path() + "Quillet.html")});
    }

    void aboutBoxHoldsTheMainWindow_data() {
        QTest::addColumn<QString>("way");
        QTest::newRow("OK") << "ok";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void aboutBoxHoldsTheMainWindow() {
        QFETCH(QString, way);
        World world;
        TMainForm* form = world.start();
        form->show();
        TAboutForm* about = world.app->aboutForm();
        QCOMPARE(about->objectName(), QStringLiteral("AboutForm"));
        QCOMPARE(about->windowTitle(), QStringLiteral("About"));
        QCOMPARE(about->labProduct->text(), QStringLiteral("Segmora"));

        form->tbtnAbout->click();
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QVERIFY(!form->isEnabled());
        QVERIFY(about->btnOK->isEnabled() && about->isEnabled());
        if (way == QLatin1String("ok"))
            about->btnOK->click();
        else if (way == QLatin1String("escape"))
            QTest::keyClick(about, Qt::Key_Escape);
        else
            about->close();
        QVERIFY(!about->isVisible());
        QVERIFY(form->isEnabled());
    }

    void settingsShownWithoutWaiting() {
        World world;
        TMainForm* form = world.start();
        form->show();
        form->tbtnSettings->click();
        QVERIFY(world.app->settingForm()->isVisible());
        QVERIFY(!world.app->settingForm()->isModal());
        world.app->settingForm()->hide();
    }

    void closingSavesAndEnds() {
        World world;
        putPreferences(world.folder, "[Main]\nVersion=1.8\nProfile=0\n");
        TMainForm* form = world.start();
        form->show();
        form->cmbProfile->setCurrentIndex(2);
        QVERIFY(form->close());
        QCOMPARE(world.fakes.endProgramCalls, 1);
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(IniFile(world.folder.context().preferencesPath())
                     .readInteger(QStringLiteral("Main"), QStringLiteral("Profile"), -9),
                 2);
    }

    void failedSaveIsShownAndTheProgramStillEnds() {
        World world;
        TMainForm* form = world.start();
        form->show();
        // A folder where the preferences file should be: the write is refused even for root.
        QFile::remove(world.folder.context().preferencesPath());
        QVERIFY(QDir().mkpath(world.folder.context().preferencesPath()));
        QVERIFY(form->close());
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Segmora"));
        QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Error);
        QVERIFY(world.fakes.messages[0].text.startsWith(QStringLiteral("Unable to write to")));
        QCOMPARE(world.fakes.endProgramCalls, 1);
    }

    void errorInAHandlerIsShownOnceAndTheWindowGoesOn() {
        World world;
        TMainForm* form = world.start();
        form->show();
        form->edtOutputDir->setText(QStringLiteral("/before/"));
        seams().pickFolder = [](QWidget*, const QString&,
                                const QString&) -> std::optional<QString> {
            throw AppError(QStringLiteral("The folder list cannot be read."));
        };
        form->bbtnBrowse->click();
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages[0].title, QStringLiteral("Segmora"));
        QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Error);
        QCOMPARE(world.fakes.messages[0].text, QStringLiteral("The folder list cannot be read."));
        QCOMPARE(form->edtOutputDir->text(), QStringLiteral("/before/"));
        // The window carries on.
        QVERIFY(form->isVisible());
        form->tbtnHelp->click();
        QCOMPARE(world.fakes.openedUrls.size(), 1);
    }

    void labelsNameTheirFields_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("field");
        QTest::newRow("source") << "Label2"
                                << "edtSource";
        QTest::newRow("start") << "Label4"
                               << "edtStart";
        QTest::newRow("end") << "Label5"
                             << "edtEnd";
        QTest::newRow("sections") << "Label7"
                                  << "edtSectionQty";
        QTest::newRow("profile") << "Label10"
                                 << "cmbProfile";
        QTest::newRow("output path") << "Label3"
                                     << "edtOutputDir";
        QTest::newRow("current progress") << "Label1"
                                          << "pgbCurrent";
        QTest::newRow("total progress") << "Label6"
                                        << "pgbTotal";
    }
    void labelsNameTheirFields() {
        QFETCH(QString, label);
        QFETCH(QString, field);
        World world;
        TMainForm* form = world.start();
        form->panProgress->show();
        form->show();
        auto* labelWidget = form->findChild<QLabel*>(label);
        auto* fieldWidget = form->findChild<QWidget*>(field);
        QVERIFY(labelWidget && fieldWidget);
        QCOMPARE(labelWidget->buddy(), fieldWidget);
        QAccessibleInterface* fieldIface = QAccessible::queryAccessibleInterface(fieldWidget);
        QVERIFY(fieldIface);
        bool labelled = false;
        for (const auto& [other, relation] : fieldIface->relations(QAccessible::Label))
            labelled = labelled || other->object() == labelWidget;
        QVERIFY(labelled);
    }

    // A screen reader lists every button of the window, shown or not (the tool bar's overflow
    // button included); each one must say what it does.
    void everyButtonHasAName() {
        World world;
        TMainForm* form = world.start();
        form->panProgress->show();
        form->show();
        QStringList unnamed;
        std::function<void(QAccessibleInterface*)> visit = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            const QAccessible::Role role = node->role();
            if ((role == QAccessible::Button || role == QAccessible::ButtonMenu ||
                 role == QAccessible::CheckBox || role == QAccessible::RadioButton) &&
                node->text(QAccessible::Name).trimmed().isEmpty())
                unnamed.append(node->object() ? node->object()->objectName() : QStringLiteral("?"));
            for (int i = 0; i < node->childCount(); ++i)
                visit(node->child(i));
        };
        visit(QAccessible::queryAccessibleInterface(form));
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    }

    void progressBarsExposeTheirValue() {
        World world;
        TMainForm* form = world.start();
        form->panProgress->show();
        form->show();
        form->pgbTotal->setValue(40);
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(form->pgbTotal);
        QVERIFY(iface && iface->valueInterface());
        QCOMPARE(iface->valueInterface()->currentValue().toInt(), 40);
        QCOMPARE(iface->valueInterface()->maximumValue().toInt(), 100);
    }

    void pointerOverSurroundingsResetsRoundButtons() {
        World world;
        TMainForm* form = world.start();
        form->show();
        form->imgStart->SetTag(1);
        form->imgCancel->SetTag(2);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->gpbOutput, &move);
        QCOMPARE(form->imgStart->Tag(), 0);
        QCOMPARE(form->imgCancel->Tag(), 0);
        // A move over the round button itself stays with it: the hover look shows and the
        // panel underneath does not take it back.
        const QPointF centre(55, 55);
        QMouseEvent over(QEvent::MouseMove, centre, form->imgStart->mapToGlobal(centre),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form->imgStart, &over);
        QCOMPARE(form->imgStart->Tag(), 1);
    }

    void windowsCreatedOnceInOrder() {
        World world;
        const QString before = QDir::currentPath();
        world.start(QStringLiteral("/nowhere/clip.avi"));
        QCOMPARE(world.app->creationOrder(),
                 QStringList({"MainForm", "SettingForm", "CountDownForm", "AboutForm",
                              "opSettingForm", "SizeForm"}));
        TMainForm* form = world.app->mainForm();
        QCOMPARE(form->settingForm, world.app->settingForm());
        QCOMPARE(form->countDownForm, world.app->countDownForm());
        QCOMPARE(form->aboutForm, world.app->aboutForm());
        QCOMPARE(form->opSettingForm, world.app->opSettingForm());
        QCOMPARE(form->sizeForm, world.app->sizeForm());
        QCOMPARE(form->ProgramFolder(), world.folder.path());
        // The program never moves its current folder.
        QCOMPARE(QDir::currentPath(), before);
    }

    void programStartsFromItsOwnFolder() {
        // The real executable in a private copy of the program folder: it starts, shows the
        // main window (the picture is the client area) and ends by itself.
        test::TempProgramFolder folder;
        const QString picture = folder.path() + QStringLiteral("window.png");
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("SEGMORA_AUDIO_OUTPUT"), QStringLiteral("null"));
        environment.remove(QStringLiteral("SEGMORA_PROGRAM_FOLDER"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(folder.path());
        program.start(folder.path() + QStringLiteral("segmora"),
                      {QStringLiteral("--screenshot"), QStringLiteral("window.png")});
        QVERIFY2(program.waitForFinished(60000), "the program did not end");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QImage(picture).size(), QSize(772, 410));
    }

    void startOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("error");
        const QString none;
        QTest::newRow("nothing") << QStringList() << none << none << none << false;
        QTest::newRow("absolute source")
            << QStringList{"/v/a.avi"} << none << none << "/v/a.avi" << false;
        QTest::newRow("relative source made absolute")
            << QStringList{"clips/a.avi"} << none << none << "/start/here/clips/a.avi" << false;
        QTest::newRow("further arguments ignored")
            << QStringList{"a.avi", "b.avi"} << none << none << "/start/here/a.avi" << false;
        QTest::newRow("program folder option")
            << QStringList{"--program-folder", "/opt/seg", "a.avi"} << none << "/opt/seg"
            << "/start/here/a.avi" << false;
        QTest::newRow("program folder with =")
            << QStringList{"--program-folder=rel"} << none << "/start/here/rel" << none << false;
        QTest::newRow("environment") << QStringList() << "/env/seg"
                                     << "/env/seg" << none << false;
        QTest::newRow("option beats environment")
            << QStringList{"--program-folder", "/opt/seg"} << "/env/seg"
            << "/opt/seg" << none << false;
        QTest::newRow("file name beginning with a dash")
            << QStringList{"--", "--odd.avi"} << none << none << "/start/here/--odd.avi" << false;
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate"} << none << none << none << true;
        QTest::newRow("option without value")
            << QStringList{"--program-folder"} << none << none << none << true;
    }
    void startOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, programFolder);
        QFETCH(QString, source);
        QFETCH(bool, error);
        const StartOptions options =
            ParseStartOptions(arguments, QStringLiteral("/start/here"), environment);
        QCOMPARE(!options.error.isEmpty(), error);
        if (error)
            return;
        QCOMPARE(options.programFolder, programFolder);
        QCOMPARE(options.source, source);
    }

    // The options that print or choose the mode, and the rule that a leading dash is an option.
    void startSwitches_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("asks"); // "usage", "version", "installed", "error" or ""
        QTest::addColumn<QString>("programFolder");
        QTest::addColumn<QString>("source");
        const QString none;
        QTest::newRow("-h") << QStringList{"-h", "a.avi"} << none << "usage" << none
                            << "/start/here/a.avi";
        QTest::newRow("--help") << QStringList{"--help"} << none << "usage" << none << none;
        QTest::newRow("--version") << QStringList{"--version"} << none << "version" << none << none;
        QTest::newRow("--installed sets the environment's folder aside")
            << QStringList{"--installed", "a.avi"} << "/env/seg"
            << "installed" << none << "/start/here/a.avi";
        QTest::newRow("--installed with --program-folder")
            << QStringList{"--installed", "--program-folder", "/opt/seg"} << none << "error" << none
            << none;
        QTest::newRow("unknown short option")
            << QStringList{"-x"} << none << "error" << none << none;
        QTest::newRow("a lone dash is a file name")
            << QStringList{"-"} << none << "" << none << "/start/here/-";
        QTest::newRow("after --, -h is a file name")
            << QStringList{"--", "-h"} << none << "" << none << "/start/here/-h";
    }
    // The preview's renderer: the option beats the environment, and a word that names no
    // renderer is refused rather than taken as auto.
    void previewRendererChoice_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<int>("renderer"); // PreviewRenderer, or -1 for a refused command line
        const QString none;
        const auto as = [](PreviewRenderer renderer) { return int(renderer); };
        QTest::newRow("default") << QStringList() << none << as(PreviewRenderer::Auto);
        QTest::newRow("option") << QStringList{"--preview-renderer", "software"} << none
                                << as(PreviewRenderer::Software);
        QTest::newRow("option with =, any case")
            << QStringList{"--preview-renderer=OpenGL"} << none << as(PreviewRenderer::OpenGL);
        QTest::newRow("environment")
            << QStringList() << "software" << as(PreviewRenderer::Software);
        QTest::newRow("option beats environment") << QStringList{"--preview-renderer", "opengl"}
                                                  << "software" << as(PreviewRenderer::OpenGL);
        QTest::newRow("unknown word") << QStringList{"--preview-renderer", "vulkan"} << none << -1;
        QTest::newRow("unknown word in the environment") << QStringList() << "gpu" << -1;
        QTest::newRow("no value") << QStringList{"--preview-renderer"} << none << -1;
    }
    void previewRendererChoice() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(int, renderer);
        const StartOptions options =
            ParseStartOptions(arguments, QStringLiteral("/start/here"), {}, environment);
        QCOMPARE(options.error.isEmpty(), renderer >= 0);
        if (renderer >= 0)
            QCOMPARE(int(options.previewRenderer), renderer);
    }

    void startSwitches() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environment);
        QFETCH(QString, asks);
        const StartOptions options =
            ParseStartOptions(arguments, QStringLiteral("/start/here"), environment);
        QCOMPARE(!options.error.isEmpty(), asks == QLatin1String("error"));
        if (asks == QLatin1String("error"))
            return;
        QCOMPARE(options.showUsage, asks == QLatin1String("usage"));
        QCOMPARE(options.showVersion, asks == QLatin1String("version"));
        QCOMPARE(options.forceInstalled, asks == QLatin1String("installed"));
        QTEST(options.programFolder, "programFolder");
        QTEST(options.source, "source");
    }
};

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"
