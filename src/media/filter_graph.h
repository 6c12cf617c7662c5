// The preview's media graph: one source file played through libmpv.
//
// Threading: every member is called on the UI thread. libmpv's wakeup callback (any thread)
// only posts a queued call to this object; events are then read on the UI thread.
#pragma once

#include <QObject>
#include <QString>

class VideoWindow;

class FilterGraph : public QObject {
    Q_OBJECT
public:
    explicit FilterGraph(QObject* parent = nullptr);
    ~FilterGraph() override;

    // Whether a player exists. Setting true creates it (bound to the video window, if set).
    bool Active() const;
    void SetActive(bool active);

    // The widget the picture is drawn in; kept across files.
    void SetVideoWindow(VideoWindow* window);
    VideoWindow* videoWindow() const;

    // Stops and unloads the file; the video window stays bound. Does nothing when inactive.
    void ResetGraph();
    // Loads path and returns once it is loaded, so Duration() is known; raises segmora::AppError
    // with a plain-words reason when it cannot be played. Does nothing when inactive.
    void RenderFile(const QString& path);
    bool Play();
    bool Pause();
    // Back to the start, first frame shown, paused.
    bool Stop();

    // Length of the loaded file in whole milliseconds (truncated); 0 with no file.
    qint64 Duration() const;
    // Playing position in whole milliseconds; 0 with no file.
    qint64 CurrentPosition() const;
    // Exact seek to an absolute position in milliseconds.
    void SeekTo(qint64 milliseconds);

signals:
    // Control notifications: 0 before play, 1 before pause, 2 before stop.
    void controlNotification(int code);
    // 1 after activation, 0 before deactivation (the position bar takes or drops seeking).
    void activationChanged(bool active);

private:
    struct Impl;
    Impl* d;
};
