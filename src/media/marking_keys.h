// The keyboard of the preview: Space plays and pauses, I and O set the marks (with Shift they go
// to them), A adds the marked range to the cut list, Left and Right seek one second (ten with
// Shift, to the keyframe before or after with Ctrl), "," and "." step one frame back and forward,
// Home and End go to the start and the end. The timeline: Ctrl+Up and Ctrl+Down (or + and -) zoom
// the bar in and out around the picture, Ctrl+0 shows the whole source again; C, B and S go to the
// next scene change, black frame or silence (with Shift to the one before); Ctrl+S saves the
// picture shown.
//
// Threading: UI thread only.
#pragma once

#include <QObject>
#include <QtGlobal>
#include <functional>

class QWidget;

namespace segmora {

enum class MarkingKey {
    None,
    PlayPause,
    MarkStart,
    MarkEnd,
    Back,
    Forward,
    BackFar,
    ForwardFar,
    ToStart,
    ToEnd,
    FrameBack,
    FrameForward,
    KeyframeBack,
    KeyframeForward,
    ToMarkStart,
    ToMarkEnd,
    ZoomIn,
    ZoomOut,
    ZoomWhole,
    SceneBack,
    SceneForward,
    BlackBack,
    BlackForward,
    SilenceBack,
    SilenceForward,
    Snapshot,
    AddRange // the marked range into the cut list
};

// The action of a key with its modifiers; None for any other key, with Alt or Meta, or with
// Ctrl on anything but Left, Right, Up, Down, 0 and S.
MarkingKey MarkingKeyFor(int key, Qt::KeyboardModifiers modifiers);

// Whether the focused widget keeps the key for itself: text fields and spin boxes keep every
// key; combo boxes and lists every key but Space (unless the combo box takes typed text);
// buttons keep none, Space included, so it plays and pauses wherever no text is typed. A
// slider (the position bar) keeps nothing: its arrows, Home and End seek as everywhere else in
// the window. A null focus keeps nothing.
bool FocusKeepsKey(const QWidget* focus, MarkingKey key);

// Whether the key moves the picture or the view (held down, it repeats), as opposed to playing,
// pausing, marking and saving the picture.
bool IsRepeatingKey(MarkingKey key);

// Where a seek key goes, in milliseconds, from positionMs within a source of durationMs:
// never before the start nor after the end. Other keys (the frame, keyframe and mark keys go
// elsewhere) give positionMs.
qint64 KeySeekTarget(MarkingKey key, qint64 positionMs, qint64 durationMs);

// Watches the key presses of every widget of one window, application-wide so that buttons
// with the focus do not swallow the arrows first. A key that the focus does not keep goes to
// the handler, which returns whether it acted; a key it acted on goes no further. Enter (or
// Return) presses the focused button, as Space would elsewhere.
class MarkingKeyFilter : public QObject {
    Q_OBJECT
public:
    MarkingKeyFilter(QWidget* window, std::function<bool(MarkingKey)> handler);
    ~MarkingKeyFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    std::function<bool(MarkingKey)> m_handler;
};

} // namespace segmora
