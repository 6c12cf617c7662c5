// The program's windows on a private program folder with three small profiles, for the tests
// of the profile editor and the custom size dialog.
#pragma once

#include "app/application.h"
#include "app/main_form.h"
#include "fake_seams.h"
#include "profiles/profile_editor_form.h"
#include "profiles/size_form.h"
#include "profiles/value_list_editor.h"
#include "test_support.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <memory>

namespace segmora::test {

// Video: a codec list, the size list, a read-only text (Frame Rate), an editable text (Bit
// Rate); audio: a codec list; advanced: a two-choice list.
inline QByteArray clipProfile(const QByteArray& type, const QByteArray& bitRate) {
    return "[Main]\nType=" + type +
           "\nPara=6\n0=Video Codec\n1=Video Size\n2=Frame Rate\n3=Bit Rate\n4=Audio Codec\n"
           "5=Deinterlace\n"
           "[Video Codec]\nSort=1\ncmd=-c:v\nCaption=H.264,MPEG-4,\nValue=libx264,mpeg4,\n"
           "Index=0\n"
           "[Video Size]\nSort=1\ncmd=-s\nCaption=Original Size,Custom Size,320x240,\n"
           "Value=,,320x240,\nIndex=2\n"
           "[Frame Rate]\nSort=1\nReadOnly=1\nList=0\ncmd=-r\nCaption=25\nValue=25\n"
           "[Bit Rate]\nSort=1\nList=0\ncmd=-b:v\nCaption=" +
           bitRate + "\nValue=" + bitRate +
           "\n"
           "[Audio Codec]\nSort=2\ncmd=-c:a\nCaption=AAC,MP3,\nValue=aac,libmp3lame,\nIndex=0\n"
           "[Deinterlace]\nSort=3\ncmd=-deinterlace\nCaption=No,Yes,\nValue=,\\,\nIndex=0\n";
}

// The catalogue, in list order: Clip (selected at start), Other, Plain (no video rows).
struct EditorWorld {
    TempProgramFolder folder;
    FakeSeams fakes;
    std::unique_ptr<Application> app;
    TMainForm* main = nullptr;
    TopSettingForm* editor = nullptr;
    TSizeForm* sizeForm = nullptr;

    EditorWorld() {
        QDir(folder.context().profilesFolder()).removeRecursively();
        folder.writeFile(QStringLiteral("Profiles/Clip.apf"), clipProfile("mp4", "800k"));
        folder.writeFile(QStringLiteral("Profiles/Other.apf"), clipProfile("mkv", "1200k"));
        folder.writeFile(QStringLiteral("Profiles/Plain.apf"),
                         "[Main]\nType=mp3\nPara=1\n0=Audio Codec\n"
                         "[Audio Codec]\nSort=2\ncmd=-c:a\nCaption=MP3,\nValue=libmp3lame,\n");
        QFile::remove(folder.context().preferencesPath());
        folder.writeFile(QStringLiteral("Preferences.ini"), "[Main]\nProfile=0\n");
        app = std::make_unique<Application>(folder.context());
        main = app->mainForm();
        editor = app->opSettingForm();
        sizeForm = app->sizeForm();
        main->show(); // loads Clip into the grids
    }

    QString path(const QString& name) const { return folder.context().profilePath(name); }

    // The user picks choice in the pick list of the row named key.
    static bool pick(TValueListEditor* grid, const QString& key, const QString& choice) {
        const int row = grid->findRow(key);
        if (row < 0)
            return false;
        // An editor closed by an earlier pick is gone before the next one is looked for.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        grid->setCurrentCell(row, 1);
        grid->editItem(grid->item(row, 1));
        auto* combo = grid->findChild<QComboBox*>();
        if (!combo)
            return false;
        const int index = combo->findText(choice);
        if (index < 0)
            return false;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
        return grid->value(key) == choice;
    }

    // The user picks "Custom Size"; the size dialog opens.
    bool pickCustomSize() const {
        return pick(editor->vleVideo, QStringLiteral("Video Size"), QStringLiteral("Custom Size"));
    }
};

} // namespace segmora::test
