// The profile editor: its controls, opening from the main window, OK, Cancel, the close box,
// Save as, the custom size kept out of profile files, collapsing groups, read-only rows and
// the colours its grids are painted in.
#include "editor_test_world.h"
#include "ground/ini_file.h"
#include "profile_test_util.h"
#include "profiles/profile_arguments.h"
#include "profiles/profile_grid_look.h"

#include "accessible_tree.h"

#include <QAccessible>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QtTest>

using namespace segmora;

namespace {

const QString kVideoSize = QStringLiteral("Video Size");

QString readKey(const QString& path, const char* section, const char* key) {
    return IniFile(path).readString(QString::fromLatin1(section), QString::fromLatin1(key),
                                    QStringLiteral("<none>"));
}

// The text a control shows, whatever its kind.
QString shownText(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    return QString();
}

} // namespace

class TestProfileEditor : public QObject {
    Q_OBJECT
private slots:
    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text"); // null: not checked
        QTest::addColumn<QSize>("size");   // invalid: not checked
        QTest::addColumn<bool>("shown");
        const QString none;
        QTest::newRow("list") << "cmbProfile" << none << QSize() << true;
        QTest::newRow("save as") << "btnSaveAs"
                                 << "&Save as..." << QSize() << true;
        QTest::newRow("scroll box") << "ScrollBox1" << none << QSize() << true;
        QTest::newRow("video bar") << "panVideo"
                                   << "      Video" << QSize() << true;
        QTest::newRow("video button") << "btnVideo"
                                      << "-" << QSize(12, 12) << true;
        QTest::newRow("audio bar") << "panAudio"
                                   << "      Audio" << QSize() << true;
        QTest::newRow("audio button") << "btnAudio"
                                      << "-" << QSize(12, 12) << true;
        QTest::newRow("advanced bar") << "panAdvanced"
                                      << "      Advanced" << QSize() << true;
        QTest::newRow("advanced button") << "btnAdvanced"
                                         << "-" << QSize(12, 12) << true;
        QTest::newRow("OK") << "Button1"
                            << "&OK" << QSize() << true;
        QTest::newRow("Cancel") << "Button2"
                                << "&Cancel" << QSize() << true;
        QTest::newRow("description") << "memDescription" << none << QSize() << false;
        QTest::newRow("bevel") << "Bevel1" << none << QSize() << false;
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QSize, size);
        QFETCH(bool, shown);
        test::EditorWorld world;
        world.main->BitBtn1Click();
        auto* control = world.editor->findChild<QWidget*>(name);
        QVERIFY(control);
        if (!text.isNull())
            QCOMPARE(shownText(control), text);
        if (size.isValid())
            QCOMPARE(control->size(), size);
        QCOMPARE(control->isVisible(), shown);
        if (name.startsWith(QLatin1String("pan"))) {
            QCOMPARE(control->height(), TopSettingForm::kBarHeight);
            // Painted on the button-shadow colour, not the scrolling area's window colour.
            const QImage bar = control->grab().toImage();
            QCOMPARE(bar.pixel(bar.width() - 2, bar.height() / 2),
                     world.editor->palette().color(QPalette::Dark).rgb());
            QVERIFY(control->font().bold());
        }
    }

    void dialog() {
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        QCOMPARE(editor->windowTitle(), QStringLiteral("Profile"));
        QCOMPARE(editor->minimumSize(), QSize(391, 472));
        QCOMPARE(editor->maximumSize(), QSize(391, 472));
        // Filled from the main list at creation, in the same order, with no selection.
        QStringList names;
        for (int i = 0; i < editor->cmbProfile->count(); ++i)
            names.append(editor->cmbProfile->itemText(i));
        QCOMPARE(names, (QStringList{"Clip", "Other", "Plain"}));
        QCOMPARE(editor->cmbProfile->currentIndex(), -1);
        QVERIFY(!editor->cmbProfile->isEditable());
        QVERIFY(!editor->isVisible());

        world.main->BitBtn1Click();
        QVERIFY(editor->isVisible());
        QVERIFY(!editor->isModal());
        QVERIFY(world.main->isEnabled());
    }

    // Opening brings the editor's list in line with the main window's only when they differ.
    void opening_data() {
        QTest::addColumn<int>("mainIndex");   // set by the program (as the Settings dialog does)
        QTest::addColumn<QString>("between"); // what happens between the two openings
        QTest::addColumn<int>("editorIndex");
        QTest::addColumn<QString>("bitRate");
        QTest::addColumn<QString>("extension");
        QTest::newRow("first opening loads the main window's profile") << 1 << "" << 1 << "1200k"
                                                                       << ".mkv";
        QTest::newRow("second opening keeps unsaved edits") << 0 << "edit" << 0 << "999k"
                                                            << ".mp4";
        QTest::newRow("close box keeps the edits") << 0 << "edit, close box" << 0 << "999k"
                                                   << ".mp4";
        QTest::newRow("Escape hides like the close box") << 0 << "edit, Escape" << 0 << "999k"
                                                         << ".mp4";
        QTest::newRow("Cancel restores the file's values") << 0 << "edit, Cancel" << 0 << "800k"
                                                           << ".mp4";
        QTest::newRow("main window selection changed while hidden")
            << 0 << "edit, close box, main selects Other" << 1 << "1200k"
            << ".mkv";
    }
    void opening() {
        QFETCH(int, mainIndex);
        QFETCH(QString, between);
        QFETCH(int, editorIndex);
        QFETCH(QString, bitRate);
        QFETCH(QString, extension);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->cmbProfile->setCurrentIndex(mainIndex);
        world.main->BitBtn1Click();
        QCOMPARE(editor->cmbProfile->currentIndex(), mainIndex);
        QCOMPARE(editor->vleVideo->value(QStringLiteral("Bit Rate")),
                 mainIndex == 0 ? QStringLiteral("800k") : QStringLiteral("1200k"));

        if (between.contains(QLatin1String("edit")))
            editor->vleVideo->setValue(QStringLiteral("Bit Rate"), QStringLiteral("999k"));
        if (between.contains(QLatin1String("close box")))
            editor->close();
        if (between.contains(QLatin1String("Escape")))
            QTest::keyClick(editor, Qt::Key_Escape);
        if (between.contains(QLatin1String("Cancel")))
            editor->Button2->click();
        if (between.contains(QLatin1String("main selects Other")))
            world.main->cmbProfile->setCurrentIndex(1);
        if (between != QLatin1String("edit") && !between.isEmpty())
            QVERIFY(!editor->isVisible());
        world.main->BitBtn1Click();

        QVERIFY(editor->isVisible());
        QCOMPARE(editor->cmbProfile->currentIndex(), editorIndex);
        QCOMPARE(editor->vleVideo->value(QStringLiteral("Bit Rate")), bitRate);
        QCOMPARE(editor->OutputExtension(), extension);
        // The next Start uses the grids as they stand; the files were not touched.
        const QString arguments =
            BuildProfileArguments(editor->EditorProfilePath(), editor->values());
        QVERIFY2(arguments.contains(QStringLiteral(" -b:v ") + bitRate), qPrintable(arguments));
        QCOMPARE(readKey(world.path(QStringLiteral("Clip")), "Bit Rate", "Caption"),
                 QStringLiteral("800k"));
        QVERIFY(world.fakes.messages.isEmpty());
    }

    // A profile picked in the main window while the editor is open is selected there too, so
    // OK saves into the profile the grids hold.
    void mainPickFollowedWhileOpen() {
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        editor->vleVideo->setValue(QStringLiteral("Bit Rate"), QStringLiteral("999k"));
        world.main->cmbProfile->setCurrentIndex(1);
        emit world.main->cmbProfile->activated(1);
        QCOMPARE(editor->cmbProfile->currentIndex(), 1);
        QCOMPARE(editor->vleVideo->value(QStringLiteral("Bit Rate")), QStringLiteral("1200k"));
        editor->vleVideo->setValue(QStringLiteral("Bit Rate"), QStringLiteral("1500k"));
        editor->Button1->click();
        QCOMPARE(readKey(world.path(QStringLiteral("Other")), "Bit Rate", "Caption"),
                 QStringLiteral("1500k"));
        QCOMPARE(readKey(world.path(QStringLiteral("Clip")), "Bit Rate", "Caption"),
                 QStringLiteral("800k"));
    }

    // A profile picked in the editor's own list becomes the main window's choice, so Start
    // builds its arguments and names its clips from one profile, not from two.
    void editorPickFollowedByTheMainWindow() {
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        QCOMPARE(world.main->cmbProfile->currentIndex(), 0);
        editor->cmbProfile->setCurrentIndex(1);
        emit editor->cmbProfile->activated(1);
        QCOMPARE(editor->vleVideo->value(QStringLiteral("Bit Rate")), QStringLiteral("1200k"));
        QCOMPARE(world.main->cmbProfile->currentIndex(), 1);
        const QString arguments = BuildProfileArguments(
            world.path(world.main->cmbProfile->currentText()), editor->values());
        QVERIFY2(arguments.contains(QStringLiteral(" -b:v 1200k")), qPrintable(arguments));
        QCOMPARE(editor->OutputExtension(), QStringLiteral(".mkv"));
    }

    // OK and Save as store a custom size in the file beside the listed choice it had (which a
    // reader that knows no custom size falls back to); the grid keeps it, and loading the file
    // again shows it.
    void customSizeKeptInFiles_data() {
        QTest::addColumn<QString>("action");  // OK, Save as, Save as cancelled
        QTest::addColumn<QString>("written"); // the file that receives the grids; empty: none
        QTest::addColumn<bool>("shownAfter");
        QTest::newRow("OK") << "OK"
                            << "Clip.apf" << false;
        QTest::newRow("Save as") << "Save as"
                                 << "Mine.apf" << true;
        QTest::newRow("Save as over another profile") << "Save as"
                                                      << "Other.apf" << true;
        QTest::newRow("Save as cancelled") << "Save as cancelled"
                                           << "" << true;
    }
    void customSizeKeptInFiles() {
        QFETCH(QString, action);
        QFETCH(QString, written);
        QFETCH(bool, shownAfter);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize());
        world.sizeForm->edtWidth->setText(QStringLiteral("641"));
        world.sizeForm->edtHeight->setText(QStringLiteral("361"));
        world.sizeForm->btnOK->click();
        QCOMPARE(editor->vleVideo->value(kVideoSize), QStringLiteral("641x361"));
        editor->vleVideo->setValue(QStringLiteral("Bit Rate"), QStringLiteral("999k"));

        const QString profiles = world.folder.context().profilesFolder();
        if (action == QLatin1String("OK")) {
            editor->Button1->click();
        } else {
            if (action == QLatin1String("Save as"))
                world.fakes.fileToSave = profiles + written;
            editor->btnSaveAs->click();
            QCOMPARE(world.fakes.saveStartFolders, QList<QString>{profiles});
        }
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(editor->isVisible(), shownAfter);
        QCOMPARE(editor->vleVideo->value(kVideoSize), QStringLiteral("641x361"));
        QVERIFY(!world.sizeForm->isVisible());
        // The editor's list and the main list still name Clip; a new profile is in both.
        QCOMPARE(editor->cmbProfile->currentText(), QStringLiteral("Clip"));
        QCOMPARE(world.main->cmbProfile->currentText(), QStringLiteral("Clip"));
        QCOMPARE(world.main->cmbProfile->count(), written == QLatin1String("Mine.apf") ? 4 : 3);

        const QString clip = world.path(QStringLiteral("Clip"));
        for (const QString& name : {QStringLiteral("Clip.apf"), QStringLiteral("Other.apf"),
                                    QStringLiteral("Mine.apf")}) {
            const QString path = profiles + name;
            if (name == written) {
                QCOMPARE(readKey(path, "Video Size", "Index"), QStringLiteral("2"));
                QCOMPARE(readKey(path, "Video Size", "Custom"), QStringLiteral("641x361"));
                ProfileValues reloaded;
                QVERIFY(LoadProfile(path, reloaded));
                QCOMPARE(reloaded.value(kVideoSize), QStringLiteral("641x361"));
                QCOMPARE(readKey(path, "Bit Rate", "Caption"), QStringLiteral("999k"));
                QCOMPARE(readKey(path, "Main", "Type"), QStringLiteral("mp4"));
            } else if (QFile::exists(path)) {
                QCOMPARE(readKey(path, "Video Size", "Index"), QStringLiteral("2"));
                QCOMPARE(readKey(path, "Video Size", "Custom"), QStringLiteral("<none>"));
                QVERIFY(readKey(path, "Bit Rate", "Caption") != QLatin1String("999k"));
            }
        }
        QCOMPARE(QFile::exists(profiles + QStringLiteral("Mine.apf")),
                 written == QLatin1String("Mine.apf"));
        // The jobs of this run still get the custom size.
        QVERIFY(
            BuildProfileArguments(clip, editor->values()).contains(QStringLiteral(" -s 641x361")));
    }

    // Save as, reached through the accessibility tree: the new profile is offered in the
    // editor's list and the main window's list at once, at the same place in both, while both
    // keep naming the profile they named and the unsaved edits stay in the grids.
    void saveAsOffersTheProfileInBothLists_data() {
        QTest::addColumn<QString>("fileName"); // in the profiles folder
        QTest::addColumn<QStringList>("names");
        QTest::newRow("new name") << "Mine.apf" << QStringList{"Clip", "Mine", "Other", "Plain"};
        QTest::newRow("first in order")
            << "Alpha.apf" << QStringList{"Alpha", "Clip", "Other", "Plain"};
        QTest::newRow("over an existing profile")
            << "Other.apf" << QStringList{"Clip", "Other", "Plain"};
    }
    void saveAsOffersTheProfileInBothLists() {
        QFETCH(QString, fileName);
        QFETCH(QStringList, names);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        editor->vleVideo->setValue(QStringLiteral("Bit Rate"), QStringLiteral("999k"));
        int loads = 0;
        connect(world.main->cmbProfile, &QComboBox::currentIndexChanged, editor, [&] { ++loads; });
        world.fakes.fileToSave = world.folder.context().profilesFolder() + fileName;

        QAccessibleInterface* saveAs =
            test::findAccessible(editor, QAccessible::Button, QStringLiteral("Save as..."));
        QVERIFY(saveAs);
        // A press through the tree is an animated click: it lands from the event loop.
        saveAs->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(world.fakes.saveStartFolders.size(), 1);

        QVERIFY(world.fakes.messages.isEmpty());
        for (QComboBox* list : {world.main->cmbProfile, editor->cmbProfile}) {
            QStringList shown;
            for (int i = 0; i < list->count(); ++i)
                shown.append(list->itemText(i));
            QCOMPARE(shown, names);
            QCOMPARE(list->currentText(), QStringLiteral("Clip"));
        }
        QCOMPARE(loads, 0);
        QCOMPARE(editor->vleVideo->value(QStringLiteral("Bit Rate")), QStringLiteral("999k"));
        // The main list's entries as a screen reader reads them.
        QAccessibleInterface* mainList =
            QAccessible::queryAccessibleInterface(world.main->cmbProfile);
        QVERIFY(mainList);
        QCOMPARE(mainList->text(QAccessible::Value), QStringLiteral("Clip"));
        QAccessibleInterface* items = mainList->childCount() > 0 ? mainList->child(0) : nullptr;
        QVERIFY(items);
        QCOMPARE(items->childCount(), names.size());
        QCOMPARE(items->child(names.indexOf(QFileInfo(fileName).completeBaseName()))
                     ->text(QAccessible::Name),
                 QFileInfo(fileName).completeBaseName());
    }

    // A size from the row's own list is stored as it is by OK and Save as.
    void listedSizeIsStored_data() {
        QTest::addColumn<QString>("action"); // OK, Save as
        QTest::addColumn<QString>("picked"); // empty: the row as loaded (320x240)
        QTest::addColumn<QString>("index");  // written for "Video Size"
        QTest::newRow("OK, as loaded") << "OK"
                                       << ""
                                       << "2";
        QTest::newRow("Save as, as loaded") << "Save as"
                                            << ""
                                            << "2";
        QTest::newRow("OK, Original Size picked") << "OK"
                                                  << "Original Size"
                                                  << "0";
        QTest::newRow("Save as, picked back") << "Save as"
                                              << "320x240"
                                              << "2";
    }
    void listedSizeIsStored() {
        QFETCH(QString, action);
        QFETCH(QString, picked);
        QFETCH(QString, index);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        if (picked == QLatin1String("320x240"))
            QVERIFY(world.pick(editor->vleVideo, kVideoSize, QStringLiteral("Original Size")));
        if (!picked.isEmpty())
            QVERIFY(world.pick(editor->vleVideo, kVideoSize, picked));
        const QString shown = editor->vleVideo->value(kVideoSize);

        QString target = world.path(QStringLiteral("Clip"));
        if (action == QLatin1String("OK")) {
            editor->Button1->click();
        } else {
            target = world.folder.context().profilesFolder() + QStringLiteral("Mine.apf");
            world.fakes.fileToSave = target;
            editor->btnSaveAs->click();
        }
        QVERIFY(world.fakes.messages.isEmpty());
        QCOMPARE(readKey(target, "Video Size", "Index"), index);
        QCOMPARE(editor->vleVideo->value(kVideoSize), shown);
    }

    // A profile without a "Video Size" parameter gets no such row from OK or Save as.
    void noVideoSizeRowCreated_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("OK") << "OK";
        QTest::newRow("Save as") << "Save as";
    }
    void noVideoSizeRowCreated() {
        QFETCH(QString, action);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->cmbProfile->setCurrentIndex(2);
        world.main->BitBtn1Click();
        QCOMPARE(editor->vleVideo->rowCount(), 0);
        world.fakes.fileToSave = world.folder.context().profilesFolder() + "Mine.apf";
        (action == QLatin1String("OK") ? editor->Button1 : editor->btnSaveAs)->click();
        QCOMPARE(editor->vleVideo->rowCount(), 0);
        QVERIFY(world.fakes.messages.isEmpty());
    }

    void failedWrite_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("OK") << "OK";
        QTest::newRow("Save as onto a folder") << "Save as";
    }
    void failedWrite() {
        QFETCH(QString, action);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        QVERIFY(world.pickCustomSize());
        world.sizeForm->edtWidth->setText(QStringLiteral("640"));
        world.sizeForm->edtHeight->setText(QStringLiteral("480"));
        world.sizeForm->btnOK->click();

        const QString clip = world.path(QStringLiteral("Clip"));
        QString target = clip;
        if (action == QLatin1String("OK")) {
            // Root ignores permission bits; the file layer refuses a write-protected file.
            QVERIFY(QFile::setPermissions(clip, QFile::ReadOwner | QFile::ReadGroup));
            editor->Button1->click();
        } else {
            target = world.folder.context().profilesFolder() + QStringLiteral("Taken.apf");
            QVERIFY(QDir().mkpath(target));
            world.fakes.fileToSave = target;
            editor->btnSaveAs->click();
        }
        QCOMPARE(world.fakes.messages.size(), 1);
        QCOMPARE(world.fakes.messages[0].icon, MessageIcon::Error);
        QCOMPARE(world.fakes.messages[0].text, QStringLiteral("Unable to write to ") + target);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->vleVideo->value(kVideoSize), QStringLiteral("640x480"));
        QCOMPARE(readKey(clip, "Video Size", "Index"), QStringLiteral("2"));
        QCOMPARE(readKey(clip, "Video Size", "Custom"), QStringLiteral("<none>"));
    }

    // Installed, the shipped profiles stay as shipped: OK saves a change as the user's own copy,
    // which the lists then use, and Save as starts in the user's folder.
    void installedSavesIntoTheUsersFolder() {
        QTemporaryDir dir;
        const QString shipped = dir.filePath(QStringLiteral("share/Profiles/"));
        const QString own = dir.filePath(QStringLiteral("home/Profiles/"));
        QVERIFY(QDir().mkpath(shipped));
        QVERIFY(test::writeText(shipped + QStringLiteral("Clip.apf"),
                                test::clipProfile("mp4", "800k")));
        const ProgramContext context =
            ProgramContext::installed(dir.filePath(QStringLiteral("bin")),
                                      {dir.filePath(QStringLiteral("share")),
                                       dir.filePath(QStringLiteral("home")), own, QString()});
        context.PrepareUserFolders();
        test::FakeSeams fakes;
        Application app(context);
        app.mainForm()->show();
        TopSettingForm* editor = app.opSettingForm();
        app.mainForm()->BitBtn1Click();
        QVERIFY(test::EditorWorld::pick(editor->vleVideo, QStringLiteral("Video Codec"),
                                        QStringLiteral("MPEG-4")));
        editor->Button1->click();
        QVERIFY(fakes.messages.isEmpty());
        QCOMPARE(readKey(own + QStringLiteral("Clip.apf"), "Video Codec", "Index"),
                 QStringLiteral("1"));
        QCOMPARE(test::readText(shipped + QStringLiteral("Clip.apf")),
                 test::clipProfile("mp4", "800k"));
        QCOMPARE(context.profilePath(QStringLiteral("Clip")), own + QStringLiteral("Clip.apf"));

        fakes.fileToSave.reset();
        editor->btnSaveAs->click();
        QCOMPARE(fakes.saveStartFolders, QList<QString>{own});
    }

    // Collapsing and expanding a group; the groups below move with it.
    void collapsing_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("rows");
        QTest::newRow("video") << "Video" << 4;
        QTest::newRow("audio") << "Audio" << 1;
        QTest::newRow("advanced") << "Advanced" << 1;
    }
    void collapsing() {
        QFETCH(QString, group);
        QFETCH(int, rows);
        test::EditorWorld world;
        TopSettingForm* editor = world.editor;
        world.main->BitBtn1Click();
        auto* button = editor->findChild<QPushButton*>(QStringLiteral("btn") + group);
        auto* grid = editor->findChild<TValueListEditor*>(QStringLiteral("vle") + group);
        QVERIFY(button && grid);
        QCOMPARE(grid->rowCount(), rows);
        QCOMPARE(grid->height(), rows * 18);
        const auto advancedTop = [&] {
            editor->ScrollBox1->widget()->layout()->activate();
            return editor->panAdvanced->y();
        };
        const int top = advancedTop();

        button->click();
        QCOMPARE(grid->height(), 1);
        QCOMPARE(button->text(), QStringLiteral("+"));
        if (group != QLatin1String("Advanced"))
            QCOMPARE(advancedTop(), top - rows * 18 + 1);
        button->click();
        QCOMPARE(grid->height(), rows * 18 + 1);
        QCOMPARE(button->text(), QStringLiteral("-"));
        if (group != QLatin1String("Advanced"))
            QCOMPARE(advancedTop(), top + 1);

        // A load expands without touching the caption; the next click keeps it expanded.
        button->click();
        editor->Button2->click(); // Cancel reloads the file
        QCOMPARE(grid->height(), rows * 18);
        QCOMPARE(button->text(), QStringLiteral("+"));
        button->click();
        QCOMPARE(grid->height(), rows * 18 + 1);
        QCOMPARE(button->text(), QStringLiteral("-"));
    }

    // How each kind of row is edited and coloured.
    void rowKinds_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("editor"); // none, line or list
        QTest::addColumn<bool>("silver");
        QTest::newRow("read-only text is silver and cannot be typed into") << "Frame Rate"
                                                                           << "none" << true;
        QTest::newRow("text is black and typed into") << "Bit Rate"
                                                      << "line" << false;
        QTest::newRow("list is black and only picked") << "Video Codec"
                                                       << "list" << false;
    }
    void rowKinds() {
        QFETCH(QString, key);
        QFETCH(QString, editor);
        QFETCH(bool, silver);
        test::EditorWorld world;
        world.main->BitBtn1Click();
        TValueListEditor* grid = world.editor->vleVideo;
        const int row = grid->findRow(key);
        QVERIFY(row >= 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        grid->setCurrentCell(row, 1);
        grid->editItem(grid->item(row, 1));
        QString found = QStringLiteral("none");
        if (auto* combo = grid->findChild<QComboBox*>()) {
            QVERIFY(!combo->isEditable());
            found = QStringLiteral("list");
        } else if (grid->findChild<QLineEdit*>()) {
            found = QStringLiteral("line");
        }
        QCOMPARE(found, editor);

        const CellLook look = ProfileCellLook(*grid, row, 1, false);
        QCOMPARE(look.text == kReadOnlyText, silver);
        QCOMPARE(look.background, grid->palette().color(QPalette::Base));
    }

    void currentRowLook() {
        test::EditorWorld world;
        world.main->BitBtn1Click();
        TValueListEditor* grid = world.editor->vleVideo;
        const QPalette& palette = grid->palette();
        const int row = grid->findRow(QStringLiteral("Bit Rate"));
        grid->setCurrentCell(row, 1);
        QCOMPARE(ProfileCellLook(*grid, row, 0, true).background, kFocusedNameBackground);
        QCOMPARE(ProfileCellLook(*grid, row, 0, false).background, palette.color(QPalette::Base));
        QCOMPARE(ProfileCellLook(*grid, row + 1, 0, true).background,
                 palette.color(QPalette::Button));

        // Painted: the current value shows on the window colour, not the selection highlight,
        // and a click on a name makes that row's value current.
        const QImage picture = grid->grab().toImage();
        const QRect cell = grid->visualRect(grid->model()->index(row, 1));
        QCOMPARE(picture.pixel(cell.right() - 3, cell.center().y()),
                 palette.color(QPalette::Base).rgb());
        grid->setCurrentCell(0, 0);
        QCOMPARE(grid->currentColumn(), 1);
        QCOMPARE(grid->currentRow(), 0);
    }

    // Screen readers meet each grid as a named table whose columns and rows have headers, and
    // hear with a value which parameter it belongs to.
    void gridsReadAsNamedTables_data() {
        QTest::addColumn<QString>("grid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("firstKey");
        QTest::newRow("video") << "vleVideo"
                               << "Video parameters"
                               << "Video Codec";
        QTest::newRow("audio") << "vleAudio"
                               << "Audio parameters"
                               << "Audio Codec";
        QTest::newRow("advanced") << "vleAdvanced"
                                  << "Advanced parameters"
                                  << "Deinterlace";
    }
    void gridsReadAsNamedTables() {
        QFETCH(QString, grid);
        QFETCH(QString, name);
        QFETCH(QString, firstKey);
        test::EditorWorld world;
        world.editor->show();
        auto* table = world.editor->findChild<TValueListEditor*>(grid);
        QVERIFY(table);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(table);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Table);
        QCOMPARE(accessible->text(QAccessible::Name), name);
        QAccessibleTableInterface* cells = accessible->tableInterface();
        QVERIFY(cells);
        QCOMPARE(cells->columnDescription(0), QStringLiteral("Parameter"));
        QCOMPARE(cells->columnDescription(1), QStringLiteral("Value"));
        QCOMPARE(cells->rowCount(), table->rowCount());
        QCOMPARE(cells->rowDescription(0), firstKey);
        QAccessibleInterface* value = cells->cellAt(0, 1);
        QVERIFY(value);
        QCOMPARE(value->text(QAccessible::Name), table->valueAt(0));
        QCOMPARE(value->text(QAccessible::Description), firstKey);
        // The last row is described by its own parameter too.
        const int last = table->rowCount() - 1;
        QCOMPARE(cells->rowDescription(last), table->keyAt(last));
        QCOMPARE(cells->cellAt(last, 1)->text(QAccessible::Description), table->keyAt(last));
    }
};

QTEST_MAIN(TestProfileEditor)
#include "test_profile_editor.moc"
