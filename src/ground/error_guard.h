// The one guard around every UI entry point (slots, event handlers, timer handlers): an error
// raised below ends that handler, is shown in an error box, and the program carries on.
//
// Where it goes, once per entry from the event loop and nowhere else:
// - a slot for a signal (a widget's, a timer's, a job's, or a call posted to the event loop) is
//   connected through guardedSlot();
// - an event handler override (showEvent, closeEvent, dropEvent, an event filter) runs the
//   handler it calls inside guarded().
// The handlers themselves are plain functions that may raise AppError; tests and other windows
// call them directly. Inside a handler, guarded() only wraps a step whose failure must not stop
// what follows.
#pragma once

#include <QString>
#include <exception>
#include <type_traits>
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

namespace detail {

template <class Owner, class Handler, class Result, class Class, class... Args>
auto guardedLambda(Owner* owner, Handler handler, Result (Class::*)(Args...) const) {
    return [owner, handler = std::move(handler)](Args... args) {
        guarded(owner, [&] { handler(std::forward<Args>(args)...); });
    };
}

} // namespace detail

// The slot to connect for a handler of owner: calls (owner->*handler)(signal arguments...)
// inside guarded(owner, ...). Taking no more arguments than the signal sends, it connects like
// the handler itself would.
template <class Owner, class Result, class... Args>
auto guardedSlot(Owner* owner, Result (Owner::*handler)(Args...)) {
    return [owner, handler](Args... args) {
        guarded(owner, [&] { (owner->*handler)(std::forward<Args>(args)...); });
    };
}

// The same for a lambda (not a generic one) run on owner's behalf.
template <class Owner, class Handler,
          class = std::enable_if_t<!std::is_member_function_pointer_v<Handler>>>
auto guardedSlot(Owner* owner, Handler handler) {
    return detail::guardedLambda(owner, std::move(handler), &Handler::operator());
}

} // namespace segmora
