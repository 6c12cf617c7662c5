// TSizeForm: the dialog that asks for a custom video size and writes it into the editor's values.
#pragma once

#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace segmora {

class TopSettingForm;

// Created once at start-up and only shown and hidden afterwards. It is shown without the caller
// waiting; while it is shown the main window is disabled and the profile editor stays usable.
// Its one output is the value of the row "Video Size" of the editor's video group: the size as
// typed ("640x480") after OK, or "Original Size" when it closes with that row still reading
// "Custom Size". It starts with the size the row held before "Custom Size" was picked; when
// that was no size, both boxes keep their text from the showing before. The boxes take digits
// only. With chkKeepRatio ticked, a side typed changes the other one so that the size keeps the
// aspect ratio it had when the box was ticked (or when the dialog started with a size).
// Threading: UI thread only.
class TSizeForm : public QDialog {
    Q_OBJECT
public:
    explicit TSizeForm(QWidget* parent = nullptr);

    static constexpr int kClientWidth = 336;
    static constexpr int kClientHeight = 106;

    QLabel* Label1 = nullptr;
    QLineEdit* edtWidth = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edtHeight = nullptr;
    QCheckBox* chkKeepRatio = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // The window disabled while this one is shown (it is centred on it too) and the profile
    // editor whose row "Video Size" receives the size. Either may be null; both are watched,
    // not owned.
    void Attach(QWidget* mainWindow, TopSettingForm* editor);

    // Handlers; called directly they may raise, connected they run guarded.
    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The ratio is taken from the boxes as they stand; none while either is no proper side.
    void takeRatio();
    void keepRatio(QLineEdit* typed, QLineEdit* other, int typedRatio, int otherRatio);

    QPointer<TopSettingForm> m_editor;
    int m_ratioWidth = 0;
    int m_ratioHeight = 0;
    DialogOverMainWindow m_overMain{this};
};

} // namespace segmora
