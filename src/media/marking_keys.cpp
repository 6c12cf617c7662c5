// Which key does what in the preview, and who gets a key first.
#include "media/marking_keys.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace segmora {

bool IsRepeatingKey(MarkingKey key) {
    return key != MarkingKey::PlayPause && key != MarkingKey::MarkStart &&
           key != MarkingKey::MarkEnd && key != MarkingKey::Snapshot && key != MarkingKey::AddRange;
}

MarkingKey MarkingKeyFor(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return MarkingKey::None;
    const bool shift = modifiers & Qt::ShiftModifier;
    if (modifiers & Qt::ControlModifier) {
        if (shift)
            return MarkingKey::None;
        if (key == Qt::Key_Left)
            return MarkingKey::KeyframeBack;
        if (key == Qt::Key_Right)
            return MarkingKey::KeyframeForward;
        if (key == Qt::Key_Up)
            return MarkingKey::ZoomIn;
        if (key == Qt::Key_Down)
            return MarkingKey::ZoomOut;
        if (key == Qt::Key_0)
            return MarkingKey::ZoomWhole;
        if (key == Qt::Key_S)
            return MarkingKey::Snapshot;
        return MarkingKey::None;
    }
    switch (key) {
    case Qt::Key_Space:
        return MarkingKey::PlayPause;
    case Qt::Key_I:
        return shift ? MarkingKey::ToMarkStart : MarkingKey::MarkStart;
    case Qt::Key_O:
        return shift ? MarkingKey::ToMarkEnd : MarkingKey::MarkEnd;
    case Qt::Key_A:
        return shift ? MarkingKey::None : MarkingKey::AddRange;
    case Qt::Key_Comma:
        return MarkingKey::FrameBack;
    case Qt::Key_Period:
        return MarkingKey::FrameForward;
    case Qt::Key_Left:
        return shift ? MarkingKey::BackFar : MarkingKey::Back;
    case Qt::Key_Right:
        return shift ? MarkingKey::ForwardFar : MarkingKey::Forward;
    case Qt::Key_Home:
        return MarkingKey::ToStart;
    case Qt::Key_End:
        return MarkingKey::ToEnd;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return MarkingKey::ZoomIn;
    case Qt::Key_Minus:
        return MarkingKey::ZoomOut;
    case Qt::Key_C:
        return shift ? MarkingKey::SceneBack : MarkingKey::SceneForward;
    case Qt::Key_B:
        return shift ? MarkingKey::BlackBack : MarkingKey::BlackForward;
    case Qt::Key_S:
        return shift ? MarkingKey::SilenceBack : MarkingKey::SilenceForward;
    default:
        return MarkingKey::None;
    }
}

bool FocusKeepsKey(const QWidget* focus, MarkingKey key) {
    if (!focus)
        return false;
    // Space plays and pauses everywhere but where it is typed: a focused button or list does
    // not take it (a second Help page, a profile list dropped open instead of the pause).
    if (key == MarkingKey::PlayPause) {
        const auto* combo = qobject_cast<const QComboBox*>(focus);
        return qobject_cast<const QLineEdit*>(focus) ||
               qobject_cast<const QAbstractSpinBox*>(focus) ||
               qobject_cast<const QTextEdit*>(focus) ||
               qobject_cast<const QPlainTextEdit*>(focus) || (combo && combo->isEditable());
    }
    // A combo box's popup list and the editor inside a spin box are children of the control.
    for (const QWidget* w = focus; w; w = w->parentWidget()) {
        if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
            qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
            qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w))
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}

qint64 KeySeekTarget(MarkingKey key, qint64 positionMs, qint64 durationMs) {
    qint64 target = positionMs;
    switch (key) {
    case MarkingKey::Back:
        target = positionMs - 1000;
        break;
    case MarkingKey::Forward:
        target = positionMs + 1000;
        break;
    case MarkingKey::BackFar:
        target = positionMs - 10000;
        break;
    case MarkingKey::ForwardFar:
        target = positionMs + 10000;
        break;
    case MarkingKey::ToStart:
        target = 0;
        break;
    case MarkingKey::ToEnd:
        target = durationMs;
        break;
    default:
        break;
    }
    return qBound<qint64>(0, target, qMax<qint64>(0, durationMs));
}

MarkingKeyFilter::MarkingKeyFilter(QWidget* window, std::function<bool(MarkingKey)> handler)
    : QObject(window), m_window(window), m_handler(std::move(handler)) {
    qApp->installEventFilter(this);
}

MarkingKeyFilter::~MarkingKeyFilter() {
    qApp->removeEventFilter(this);
}

bool MarkingKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    if (static_cast<QWidget*>(watched)->window() != m_window)
        return false;
    const auto* press = static_cast<QKeyEvent*>(event);
    // Space plays and pauses wherever no text is typed, so a focused button is pressed with
    // Enter instead: Start, the tool and picture buttons and the choices stay in reach of the
    // keyboard.
    if ((press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter) &&
        (press->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        auto* button = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        if (button && watched == button && button->isEnabled()) {
            if (!press->isAutoRepeat())
                button->click();
            return true;
        }
    }
    const MarkingKey key = MarkingKeyFor(press->key(), press->modifiers());
    if (key == MarkingKey::None)
        return false;
    // Holding an arrow keeps seeking; holding Space or a letter acts once.
    if (press->isAutoRepeat() && !IsRepeatingKey(key))
        return false;
    // The receiver is the focus widget when the key comes from the keyboard; a key sent to a
    // field directly counts as typed there too.
    if (FocusKeepsKey(QApplication::focusWidget(), key) ||
        FocusKeepsKey(static_cast<QWidget*>(watched), key))
        return false;
    return m_handler(key);
}

} // namespace segmora
