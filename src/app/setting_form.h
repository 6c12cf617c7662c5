// The Settings dialog: the live preference values of the whole run and their load and save.
#pragma once

#include "ground/preferences.h"
#include "ground/program_context.h"
#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QHideEvent;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QWidget;

namespace segmora {

// The parts of the main window the dialog reads and writes. Any of them may be null (a part
// that is missing is simply left alone); they are watched, so a part destroyed first is not
// touched afterwards.
struct MainWindowLinks {
    // Disabled while the dialog is shown; the dialog is centred on it.
    QWidget* window = nullptr;
    // The profile list: the dialog sets its index from the saved "Profile" and saves its index.
    // Only setCurrentIndex is used, which never emits activated(), so a change handler connected
    // to activated() does not run (the profile loaded before stays loaded).
    QComboBox* cmbProfile = nullptr;
    // The output folder used by the job; set from the dialog's folder when "Aptotic" is on.
    QLineEdit* edtOutputDir = nullptr;
    // A hidden mirror of the dialog's chkPreview, written on OK.
    QCheckBox* chkPreview = nullptr;
};

// Created once at start-up, after the main window has filled its profile list, and only shown
// and hidden afterwards. Its check boxes and folder ARE the preferences in force: the job and
// the completion actions read chkOverwrite, chkOpenDir, chkExit and chkTurnoff directly.
//
// The dialog is a top-level window without a parent widget, because disabling the main window
// would otherwise disable the dialog with it; the main window owns it (e.g. a
// std::unique_ptr member) and it is placed over the main window when shown.
//
// Showing: show(), never exec(); the caller does not wait. While shown the main window is
// disabled; however the dialog is hidden (OK, Cancel, the close box, Escape, hide()) the main
// window is enabled again.
//
// Keys: Enter presses no button. Escape does what the close box does: the dialog closes and the
// values shown stay in force, unsaved and not reverted (they are written when the main window
// closes). Only the Cancel button reverts to the saved values.
//
// Threading: UI thread only.
class TSettingForm : public QDialog {
    Q_OBJECT

public:
    // Builds the dialog and runs FormCreate: the saved values are loaded, the main window's
    // profile index is set, and with "Aptotic" on the saved folder goes into the main window.
    TSettingForm(ProgramContext context, const MainWindowLinks& mainWindow);
    ~TSettingForm() override;

    // Fills the dialog from "Default" (loadDefaults) or "Main", and in both cases sets the main
    // window's profile index from "Main"/"Profile"; an index outside the list selects nothing.
    void LoadPreferences(bool loadDefaults);

    // Writes the dialog's values and the main window's profile index (-1: none) to "Main".
    // Raises AppError("Unable to write to <path>") when the file refuses a write; keys written
    // before it stay written. For the main window's close: show the error through the error
    // guard and close anyway, as the values are lost only for the next run.
    void SavePreferences();

    // The values the dialog shows now.
    PreferenceValues currentValues() const;

    // Button handlers, connected through the error guard (guardedSlot); called directly they
    // may raise.
    void btnOKClick();
    void btnCancelClick();
    void btnDefaultClick();
    void bbtnBrowseClick();

    QCheckBox* chkPreview = nullptr; // never visible
    QCheckBox* chkOverwrite = nullptr;
    QCheckBox* chkoutputdir = nullptr;
    QLineEdit* edtOutputDir = nullptr;
    QPushButton* bbtnBrowse = nullptr;
    QCheckBox* chkOpenDir = nullptr;
    QCheckBox* chkExit = nullptr;
    QCheckBox* chkTurnoff = nullptr;
    QPushButton* btnDefault = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void showValues(const PreferenceValues& values);
    void FormCreate();
    void FormShow();
    void FormClose();

    ProgramContext m_context;
    QPointer<QWidget> m_mainWindow;
    DialogOverMainWindow m_overMain{this, {.transientParent = true, .returnFocus = true}};
    QPointer<QComboBox> m_mainProfile;
    QPointer<QLineEdit> m_mainOutputDir;
    QPointer<QCheckBox> m_mainPreview;
};

} // namespace segmora
