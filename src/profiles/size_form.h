// TSizeForm: the dialog that asks for a custom video size and writes it into the editor's values.
#pragma once

#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace segmora {

class TopSettingForm;

// Created once at start-up and only shown and hidden afterwards. It is shown without the caller
// waiting; while it is shown the main window is disabled and the profile editor stays usable.
// Its one output is the value of the row "Video Size" of the editor's video group: the size as
// typed ("640x480") after OK, or "Original Size" when it closes with that row still reading
// "Custom Size". Both boxes keep their text from one showing to the next.
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
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // The window disabled while this one is shown (it is centred on it too) and the profile
    // editor whose row "Video Size" receives the size. Either may be null; both are watched,
    // not owned.
    void Attach(QWidget* mainWindow, TopSettingForm* editor);

    // Whether text is a whole number within the range of a 32-bit signed integer: an optional
    // minus sign and decimal digits, nothing else: the text goes to the converter as typed, where
    // a blank, a plus sign or a hexadecimal prefix would not read as a size.
    static bool IsProperInteger(const QString& text);

    // Handlers; called directly they may raise, connected they run guarded.
    void FormShow();
    void btnOKClick();
    void btnCancelClick();
    void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<TopSettingForm> m_editor;
    DialogOverMainWindow m_overMain{this};
};

} // namespace segmora
