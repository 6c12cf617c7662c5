// TAboutForm: the about box with the product name and its version.
#pragma once

#include "ui/dialog_over_main_window.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QPushButton;

namespace segmora {

// Created once at start-up and only shown and hidden afterwards. Shown with show(), never
// exec(): the caller does not wait. While it is shown the main window is disabled; however the
// box is hidden (OK, Escape, the close box) the main window is enabled again.
//
// It is a top-level window without a parent widget, because disabling the main window would
// otherwise disable the box with it; its owner keeps it alive.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    TAboutForm(QWidget* mainWindow, const QString& versionText);

    QLabel* imgLogo = nullptr;
    QLabel* labProduct = nullptr; // the product name
    QLabel* labVersion = nullptr; // "Version " + version text
    QLabel* labPurpose = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    DialogOverMainWindow m_overMain{this};
};

} // namespace segmora
