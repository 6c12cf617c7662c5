// The main window's source intake, playback buttons, position display and dropped files.
//
// Placeholder bodies: the source intake work fills them in.
#include "app/main_form.h"

#include "app/error_guard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace segmora {

void TMainForm::TakeCommandLine(const QString&) {}

void TMainForm::OpenSource(const QString&) {}

void TMainForm::tbtnOpenClick() {}

void TMainForm::imgPlayClick() {}

void TMainForm::imgPauseClick() {}

void TMainForm::imgStopClick() {}

void TMainForm::tkbProgressTimer() {}

void TMainForm::tmrPreviewTimer() {}

void TMainForm::FilesDropped(const QStringList&) {}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    QStringList paths;
    const QList<QUrl> urls = event->mimeData()->urls();
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    event->acceptProposedAction();
    guarded(this, [&] { FilesDropped(paths); });
}

} // namespace segmora
