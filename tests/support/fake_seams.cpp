// Recording fakes for the seams.
#include "fake_seams.h"

namespace segmora::test {

FakeSeams::FakeSeams() : m_previous(seams()) {
    Seams& s = seams();
    s.showMessage = [this](const MessageRequest& request) {
        messages.append(request);
        if (onMessage)
            onMessage(request);
        if (request.buttons == MessageButtons::Ok)
            return MessageAnswer::Ok;
        return answers.isEmpty() ? defaultAnswer : answers.dequeue();
    };
    s.openUrl = [this](const QUrl& url) { openedUrls.append(url); };
    s.pickFolder = [this](QWidget*, const QString& caption, const QString& startFolder) {
        folderPickerCaptions.append(caption);
        folderPickerStartFolders.append(startFolder);
        return folderToPick;
    };
    s.pickOpenFile = [this](QWidget*, const QString& filter) {
        openFilters.append(filter);
        return fileToOpen;
    };
    s.pickSaveFile = [this](QWidget*, const QString& startFolder, const QString&, const QString&) {
        saveStartFolders.append(startFolder);
        return fileToSave;
    };
    s.powerOff = [this] { ++powerOffCalls; };
    s.endProgram = [this] { ++endProgramCalls; };
}

FakeSeams::~FakeSeams() {
    seams() = m_previous;
}

} // namespace segmora::test
