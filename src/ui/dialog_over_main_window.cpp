// Disabling, centring and enabling around the dialogs shown over the main window.
#include "ui/dialog_over_main_window.h"

#include <QEvent>
#include <QWindow>

namespace segmora {

QPoint CentredOn(const QRect& mainFrame, const QRect& frame) {
    QRect placed = frame;
    placed.moveCenter(mainFrame.center());
    return placed.topLeft();
}

DialogOverMainWindow::DialogOverMainWindow(QWidget* dialog, OverMainWindowRules rules)
    : m_dialog(dialog), m_rules(rules) {}

void DialogOverMainWindow::setMainWindow(QWidget* mainWindow, const QList<QWidget*>& keptUsable) {
    m_mainWindow = mainWindow;
    m_keptUsable.clear();
    for (QWidget* window : keptUsable)
        m_keptUsable.append(window);
}

bool DialogOverMainWindow::byProgram(const QEvent* event) {
    return !event->spontaneous();
}

void DialogOverMainWindow::showing() const {
    if (!m_mainWindow)
        return;
    QWidget* main = m_mainWindow->window();
    if (m_rules.transientParent) {
        if (QWindow* own = m_dialog->windowHandle())
            own->setTransientParent(main->windowHandle());
    }
    m_dialog->move(CentredOn(main->frameGeometry(), m_dialog->frameGeometry()));
    m_mainWindow->setEnabled(false);
    // A window may be enabled while the window that owns it is not.
    for (QWidget* window : m_keptUsable) {
        if (window && window->window() != main)
            window->window()->setEnabled(true);
    }
    if (m_dialog != main)
        m_dialog->setEnabled(true);
}

void DialogOverMainWindow::hidden() const {
    if (!m_mainWindow)
        return;
    m_mainWindow->setEnabled(true);
    if (m_rules.returnFocus && m_mainWindow->isVisible())
        m_mainWindow->activateWindow();
}

void BringToFront(QWidget* window) {
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace segmora
