// DialogOverMainWindow: what every dialog that the program shows over its main window does on
// showing and hiding.
#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QEvent;

namespace segmora {

// What a dialog does beyond the rules every one of them keeps.
struct OverMainWindowRules {
    // Makes the main window the dialog's transient parent, so that the window system keeps a
    // dialog created without a parent above the main window.
    bool transientParent = false;
    // When the dialog hides, the main window (when it is shown) becomes the active window again.
    bool returnFocus = false;
};

// The top left corner that puts frame centred on mainFrame (rounding as QRect::moveCenter).
QPoint CentredOn(const QRect& mainFrame, const QRect& frame);

// The rules of a dialog shown over the main window. While the dialog is shown the main window is
// disabled; the dialog itself, and any window named as kept usable, stay enabled even when they
// belong to the main window (disabling a window disables the windows it owns). When the program
// shows the dialog it is centred on the main window; when it hides it, by any way of closing,
// the main window is enabled again. A show or hide by the window manager (restoring from a
// minimised state) is no showing: byProgram() tells them apart. Without a main window nothing
// happens. Both windows are watched, not owned.
// Threading: UI thread only.
class DialogOverMainWindow {
public:
    explicit DialogOverMainWindow(QWidget* dialog, OverMainWindowRules rules = {});

    // The main window, and the further windows that must stay usable while it is disabled.
    void setMainWindow(QWidget* mainWindow, const QList<QWidget*>& keptUsable = {});
    QWidget* mainWindow() const { return m_mainWindow; }

    // Whether a show or hide event comes from the program rather than the window system.
    static bool byProgram(const QEvent* event);

    // The dialog is being shown: (transient parent,) centred on the main window, the main window
    // disabled, the dialog and the kept windows enabled.
    void showing() const;
    // The dialog has been hidden: the main window enabled (and made active, by the rules).
    void hidden() const;

private:
    QWidget* m_dialog;
    OverMainWindowRules m_rules;
    QPointer<QWidget> m_mainWindow;
    QList<QPointer<QWidget>> m_keptUsable;
};

// Shows window, or brings it to the front and activates it when it is shown already.
void BringToFront(QWidget* window);

} // namespace segmora
