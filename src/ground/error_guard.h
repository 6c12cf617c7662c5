// The one guard around every UI entry point (slots, event handlers, timer handlers): an error
// raised below ends that handler, is shown in an error box, and the program carries on.
#pragma once

#include <QString>
#include <exception>
#include <utility>

class QWidget;

namespace segmora {

// Shows text in the error box: the application title as caption, the error icon.
void showErrorBox(QWidget* owner, const QString& text);

// Runs handler; no exception leaves it. Returns false when the handler raised.
template <class Handler> bool guarded(QWidget* owner, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const std::exception& error) {
        showErrorBox(owner, QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorBox(owner, QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

} // namespace segmora
