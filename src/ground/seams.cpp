// The process-wide seams and the helpers the forms call. Until the desktop implementations are
// installed (app/desktop_seams.h) every seam is harmless: messages go to stderr, dialogs are
// cancelled, nothing is opened and the machine is never powered off.
#include "ground/seams.h"

#include "ground/error_guard.h"
#include "ground/product.h"

#include <QCoreApplication>
#include <cstdio>

namespace segmora {
namespace {

Seams makeHeadlessSeams() {
    Seams s;
    s.showMessage = [](const MessageRequest& request) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(request.title), qPrintable(request.text));
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    };
    s.openUrl = [](const QUrl&) {};
    s.pickFolder = [](QWidget*, const QString&, const QString&) -> std::optional<QString> {
        return std::nullopt;
    };
    s.pickOpenFile = [](QWidget*, const QString&) -> std::optional<QString> {
        return std::nullopt;
    };
    s.pickSaveFile = [](QWidget*, const QString&, const QString&,
                        const QString&) -> std::optional<QString> { return std::nullopt; };
    s.powerOff = [] {};
    s.endProgram = [] { QCoreApplication::quit(); };
    return s;
}

} // namespace

Seams& seams() {
    static Seams instance = makeHeadlessSeams();
    return instance;
}

MessageAnswer showMessage(QWidget* owner, MessageIcon icon, const QString& title,
                          const QString& text, MessageButtons buttons) {
    return seams().showMessage(MessageRequest{owner, icon, title, text, buttons});
}

bool askYesNo(QWidget* owner, const QString& title, const QString& text) {
    return showMessage(owner, MessageIcon::Question, title, text, MessageButtons::YesNo) ==
           MessageAnswer::Yes;
}

void showErrorBox(QWidget* owner, const QString& text) {
    try {
        showMessage(owner, MessageIcon::Error, kProductName, text);
    } catch (...) {
        // Nothing more can be done for the user; the handler has ended either way.
    }
}

} // namespace segmora
