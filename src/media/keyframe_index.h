// The keyframes of a source, found in the background by reading its packets (no decoding), for
// the position bar's ticks and the keyframe keys.
//
// Threading: KeyframeIndex lives on the UI thread and is only used there. Each scan runs on a
// thread of its own at a low priority, so opening a source and its first frame never wait for
// it; the thread only posts its result back. Open or Abandon stops a running scan at once: its
// reading is interrupted and its result, should one still arrive, is dropped.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
#include <memory>
#include <thread>

namespace segmora {

// Keyframe times in seconds from the start of the source (the source's start offset taken
// away, as the player counts), sorted, each once. An empty list when the source cannot be read
// or has no video. stop, when set, ends the reading early (the list is then incomplete).
QVector<double> ScanKeyframes(const QString& path, const std::atomic<bool>* stop = nullptr);

// Of sorted times, the last one before seconds (previous) or the first one after it (next),
// a millisecond of tolerance either way so the keyframe on screen is never found again; -1
// when there is none.
double PreviousKeyframe(const QVector<double>& keyframes, double seconds);
double NextKeyframe(const QVector<double>& keyframes, double seconds);
// Whether a keyframe lies within a millisecond of seconds.
bool IsKeyframeTime(const QVector<double>& keyframes, double seconds);

class KeyframeIndex : public QObject {
    Q_OBJECT
public:
    explicit KeyframeIndex(QObject* parent = nullptr);
    // Abandons a running scan.
    ~KeyframeIndex() override;
    KeyframeIndex(const KeyframeIndex&) = delete;
    KeyframeIndex& operator=(const KeyframeIndex&) = delete;

    // Abandons any running scan, forgets the keyframes known and starts scanning path.
    void Open(const QString& path);
    // Stops a running scan; the keyframes already known are forgotten.
    void Abandon();

    // Whether the scan of the current source has finished.
    bool Ready() const { return m_ready; }
    bool Scanning() const { return m_thread.joinable() && !m_ready; }
    // The keyframes of the current source; empty until Ready().
    const QVector<double>& Keyframes() const { return m_keyframes; }

signals:
    // The scan of the current source has finished; Keyframes() holds its result.
    void ready();

private:
    void stopThread();
    void take(quint64 generation, const QVector<double>& keyframes);

    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop;
    quint64 m_generation = 0;
    bool m_ready = false;
    QVector<double> m_keyframes;
};

} // namespace segmora
