// Seams around everything a test must never do for real: message boxes, file and folder
// dialogs, opening things on the desktop, powering the machine off and ending the program.
//
// Threading: UI thread only. The process-wide instance starts harmless (stderr, cancelled
// dialogs); start-up installs the desktop ones (app/desktop_seams.h);
// tests swap single members (see tests/support/fake_seams.h) and restore them afterwards.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class QWidget;

namespace segmora {

enum class MessageIcon { None, Information, Question, Error };
// YesNoToAll: Yes, No, Yes to all and No to all, with No the default button (Enter, Escape and
// the close box answer No), for a question asked once per file of a run.
enum class MessageButtons { Ok, YesNo, YesNoToAll };
enum class MessageAnswer { Ok, Yes, No, YesToAll, NoToAll };

struct MessageRequest {
    QWidget* owner = nullptr;
    MessageIcon icon = MessageIcon::Information;
    QString title;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
};

struct Seams {
    // Shows a modal message box and returns the button pressed (No when closed otherwise).
    std::function<MessageAnswer(const MessageRequest&)> showMessage;
    // Opens a file or folder with the desktop's default application.
    std::function<void(const QUrl&)> openUrl;
    // Folder picker opening in startFolder (the working folder when it is empty); nullopt when
    // cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& caption,
                                         const QString& startFolder)>
        pickFolder;
    // Open-file dialog with a Qt name filter (";;"-separated); nullopt when cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& qtFilter)> pickOpenFile;
    // Save-file dialog opening in startFolder; nullopt when cancelled.
    std::function<std::optional<QString>(QWidget* owner, const QString& startFolder,
                                         const QString& qtFilter, const QString& defaultSuffix)>
        pickSaveFile;
    // Asks the system to power the machine off (asynchronous; a refusal is silent).
    std::function<void()> powerOff;
    // Ends the program once the main window has closed.
    std::function<void()> endProgram;
};

// The process-wide seams.
Seams& seams();

// Convenience wrappers used by the forms.
MessageAnswer showMessage(QWidget* owner, MessageIcon icon, const QString& title,
                          const QString& text, MessageButtons buttons = MessageButtons::Ok);
bool askYesNo(QWidget* owner, const QString& title, const QString& text);

} // namespace segmora
