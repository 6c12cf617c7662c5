// The desktop implementations behind the seams: Qt's message boxes and file dialogs, the
// desktop's default applications, and logind for powering off.
#include "app/desktop_seams.h"

#include "app/picture_button.h"
#include "ground/seams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QStyle>

namespace segmora {

QIcon MessageBoxIcon(MessageIcon icon) {
    const char* name = nullptr;
    const char* own = nullptr;
    switch (icon) {
    case MessageIcon::None:
        return QIcon();
    case MessageIcon::Information:
        name = "dialog-information";
        own = ":/artwork/dialog_information.svg";
        break;
    case MessageIcon::Question:
        name = "dialog-question";
        own = ":/artwork/dialog_question.svg";
        break;
    case MessageIcon::Error:
        name = "dialog-error";
        own = ":/artwork/dialog_error.svg";
        break;
    }
    EnsureArtwork();
    const QString themeName = QString::fromLatin1(name);
    if (QIcon::hasThemeIcon(themeName))
        return QIcon::fromTheme(themeName);
    return QIcon(QString::fromLatin1(own));
}

namespace {

MessageAnswer realShowMessage(const MessageRequest& request) {
    QMessageBox box(request.owner);
    box.setWindowTitle(request.title);
    box.setText(request.text);
    const QIcon icon = MessageBoxIcon(request.icon);
    if (!icon.isNull()) {
        // Drawn at the box's pixel density, so it is sharp on a scaled screen too.
        const int extent = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        box.setIconPixmap(icon.pixmap(QSize(extent, extent), box.devicePixelRatioF()));
    }
    if (request.buttons == MessageButtons::YesNoToAll) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll |
                               QMessageBox::NoToAll);
        // Keeping what exists is the answer that cannot lose anything.
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        switch (box.exec()) {
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::YesToAll:
            return MessageAnswer::YesToAll;
        case QMessageBox::NoToAll:
            return MessageAnswer::NoToAll;
        default:
            return MessageAnswer::No;
        }
    }
    if (request.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

void realPowerOff() {
    // logind decides whether we may; "interactive" lets it ask for authentication.
    // The call is asynchronous so the window keeps running while a prompt is open.
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << true;
    QDBusConnection::systemBus().asyncCall(call);
}

Seams makeRealSeams() {
    Seams s;
    s.showMessage = realShowMessage;
    s.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    s.pickFolder = [](QWidget* owner, const QString& caption,
                      const QString& startFolder) -> std::optional<QString> {
        const QString folder = QFileDialog::getExistingDirectory(owner, caption, startFolder);
        if (folder.isEmpty())
            return std::nullopt;
        return folder;
    };
    s.pickOpenFile = [](QWidget* owner, const QString& filter) -> std::optional<QString> {
        const QString file = QFileDialog::getOpenFileName(owner, QString(), QString(), filter);
        if (file.isEmpty())
            return std::nullopt;
        return file;
    };
    s.pickSaveFile = [](QWidget* owner, const QString& startFolder, const QString& filter,
                        const QString& defaultSuffix) -> std::optional<QString> {
        QFileDialog dialog(owner, QString(), startFolder, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first();
    };
    s.powerOff = realPowerOff;
    s.endProgram = [] { QCoreApplication::quit(); };
    return s;
}

} // namespace

void InstallDesktopSeams() {
    seams() = makeRealSeams();
}

} // namespace segmora
