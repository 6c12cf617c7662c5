// Replaces every seam for the lifetime of one object and records what the program asked for.
#pragma once

#include "ground/seams.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QUrl>
#include <optional>

namespace segmora::test {

class FakeSeams {
public:
    FakeSeams();  // installs the fakes
    ~FakeSeams(); // puts the previous seams back
    FakeSeams(const FakeSeams&) = delete;
    FakeSeams& operator=(const FakeSeams&) = delete;

    // Every message box shown, in order.
    QList<MessageRequest> messages;
    // Answers for Yes/No boxes, taken in order; when empty the answer is defaultAnswer.
    QQueue<MessageAnswer> answers;
    MessageAnswer defaultAnswer = MessageAnswer::No;
    // Called while a message box is "open" (after it was recorded), e.g. to check state.
    std::function<void(const MessageRequest&)> onMessage;

    QList<QUrl> openedUrls;
    std::optional<QString> folderToPick; // nullopt: the picker is cancelled
    QList<QString> folderPickerCaptions;
    QList<QString> folderPickerStartFolders;
    std::optional<QString> fileToOpen; // nullopt: the open dialog is cancelled
    QList<QString> openFilters;
    std::optional<QString> fileToSave; // nullopt: the save dialog is cancelled
    QList<QString> saveStartFolders;
    int powerOffCalls = 0;
    int endProgramCalls = 0;

private:
    Seams m_previous;
};

} // namespace segmora::test
