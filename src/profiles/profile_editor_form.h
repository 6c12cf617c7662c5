// TopSettingForm: the profile editor dialog, whose three grids show and edit the program's live
// profile values.
#pragma once

#include "ground/program_context.h"
#include "profiles/profile_file.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace segmora {

class TSizeForm;
class TValueListEditor;

// Created once at start-up and only hidden, never destroyed, while the program runs; it is not
// modal. Its values (values()) start with the design rows (empty) until the first LoadProfile,
// and whatever they hold, shown or hidden, saved or not, is what the next job's converter
// arguments are built from. The grids are a view of them: each grid shows one group, and an
// edit in a grid (by the user or through the grid's own setters) goes into the values at once. The
// close box (and Escape) only hides it, keeping every edit; Cancel hides it and reloads the
// profile's file; OK saves and hides.
//
// Every control is a public member carrying its name as object name. Handlers connected to the
// controls run guarded; called directly they may raise AppError (a failed write).
// Threading: UI thread only.
class TopSettingForm : public QDialog {
    Q_OBJECT
public:
    explicit TopSettingForm(const ProgramContext& context, QWidget* parent = nullptr);

    static constexpr int kClientWidth = 391;
    static constexpr int kClientHeight = 472;
    // The height of a group bar, and of a collapsed grid.
    static constexpr int kBarHeight = 18;
    static constexpr int kCollapsedHeight = 1;

    QComboBox* cmbProfile = nullptr;
    QPushButton* btnSaveAs = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QLabel* panVideo = nullptr;
    QPushButton* btnVideo = nullptr;
    TValueListEditor* vleVideo = nullptr;
    QLabel* panAudio = nullptr;
    QPushButton* btnAudio = nullptr;
    TValueListEditor* vleAudio = nullptr;
    QLabel* panAdvanced = nullptr;
    QPushButton* btnAdvanced = nullptr;
    TValueListEditor* vleAdvanced = nullptr;
    QPlainTextEdit* memDescription = nullptr; // hidden, never filled
    QFrame* Bevel1 = nullptr;                 // hidden
    QPushButton* Button1 = nullptr;           // OK
    QPushButton* Button2 = nullptr;           // Cancel

    // The custom size dialog, created after this one and set right after its creation; the
    // row "Video Size" reading "Custom Size" shows it.
    QPointer<TSizeForm> sizeForm;

    const ProgramContext& context() const { return m_context; }

    // The live values, and the grid that shows a group (nullptr outside 1..3).
    const ProfileValues& values() const { return m_values; }
    TValueListEditor* grid(int sort) const;
    // Replaces the values; every grid shows its group afresh.
    void setValues(const ProfileValues& values);
    // Sets the row named name of group sort and its cell; false when there is no such row.
    bool setValue(int sort, const QString& name, const QString& value);

    // Makes cmbProfile hold these display names, in order, with no selection. The constructor
    // fills it from the catalogue of the program folder, in the main window's order.
    void FillProfileList(const QStringList& displayNames);
    // The creation step that follows the main window's profile list: its entries fill
    // cmbProfile (so both lists match even if the folder changed meanwhile), and from then on a
    // profile the user picks there (which the main window loads into the grids) is also selected
    // here, so OK and Save as never write one profile's values into another profile's file.
    void AttachMainProfileList(QComboBox* mainProfileList);
    // Reads the catalogue again and refills cmbProfile and the attached main list with it,
    // each keeping the profile it names (nothing is loaded again). Save as runs it, so a profile
    // saved into a profiles folder is offered at once.
    void ReloadProfileLists();
    // The value the row "Video Size" held before "Custom Size" was last picked in it (a listed
    // or custom size, or "Original Size"); the custom size dialog starts from it.
    QString SizeBeforeCustom() const { return m_sizeBeforeCustom; }
    // The file of the profile selected in cmbProfile.
    QString EditorProfilePath() const;

    // Loads the file into the values, sets each grid's height to rows x 18 pixels and the output
    // extension; does nothing when no file exists at path. The collapse buttons keep their
    // captions.
    void LoadProfile(const QString& path);
    void SaveProfile(const QString& path);
    void SaveProfileAs(const QString& source, const QString& target);
    // "." + Type of the profile loaded last; empty before the first load.
    QString OutputExtension() const { return m_outputExtension; }

    // The rows each grid is designed with, before any profile is loaded.
    static QStringList designRows(int sort) { return DesignRowNames(sort); }

    // Shows the dialog (or brings it to the front) for the main window's selection mainIndex:
    // when cmbProfile names another position, that position is selected and loaded; otherwise
    // the grids stay as they are, unsaved edits included.
    void Open(int mainIndex);

    // Handlers.
    void cmbProfileChange();
    void btnSaveAsClick();
    void Button1Click();
    void Button2Click();
    void btnVideoClick();
    void btnAudioClick();
    void btnAdvancedClick();
    // Any change of vleVideo, after the values took it: the row "Video Size" made
    // "Custom Size" (while it is the current row) shows the custom size dialog.
    void vleVideoStringsChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* createGroup(const char* barName, const char* buttonName, const QString& caption,
                        QPushButton** button);
    void toggleGroup(QPushButton* button, TValueListEditor* grid);
    void repaintGrids();
    // Shows group sort of the values in its grid, rows rebuilt.
    void showGroup(int sort);
    // A grid's cell changed: the values take it.
    void takeEdit(int sort, int row);
    ProgramContext m_context;
    QPointer<QComboBox> m_mainProfileList;
    QString m_sizeBeforeCustom;
    ProfileValues m_values;
    QString m_outputExtension;
    // Set while the grids are being filled from the values: no edit to take back, and no
    // user's choice of "Custom Size".
    bool m_showing = false;
};

} // namespace segmora
