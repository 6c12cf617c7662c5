// The preview's media graph: one source file played through libmpv.
//
// Threading: every member is called on the UI thread, and none waits for libmpv to decode or
// display anything. libmpv's wakeup callback (any thread) only posts a queued call to this
// object; events are then read on the UI thread, the end of a load among them.
//
// Audio goes to the desktop's default output; a machine without any audio device previews
// silently. The environment variable SEGMORA_AUDIO_OUTPUT, read at activation, names another
// libmpv audio output: tests set it to "null" so that they never make a sound.
//
// What libmpv logs as an error, and every call it refuses, is written as a warning starting with
// "libmpv" (tests fail on such warnings).
//
// libmpv needs the C numeric locale: call setlocale(LC_NUMERIC, "C") once the application
// object exists and before the graph is activated.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <memory>

class VideoWindow;

class FilterGraph : public QObject {
    Q_OBJECT
public:
    explicit FilterGraph(QObject* parent = nullptr);
    ~FilterGraph() override;
    FilterGraph(const FilterGraph&) = delete;
    FilterGraph& operator=(const FilterGraph&) = delete;

    // Whether a player exists. Setting true creates it (bound to the video window, if set);
    // setting false destroys it. Setting the value it already has does nothing. Activation
    // raises segmora::AppError when libmpv cannot be started.
    bool Active() const;
    void SetActive(bool active);

    // The widget the picture is drawn in; kept across files and across ResetGraph. Set it
    // before activation (a window set while active takes effect with the next file).
    void SetVideoWindow(VideoWindow* window);
    VideoWindow* videoWindow() const;

    // Stops and unloads the file; the video window stays bound. A load in progress is given up
    // without a signal. Does nothing when inactive.
    void ResetGraph();
    // Starts loading path, paused at its start, and returns at once. fileOpened() follows from
    // the event loop once it is loaded (Duration() is then known), or openFailed() with a
    // plain-words reason when it cannot be played (the graph then holds no file), at the latest
    // after 10 s. A later OpenFile, ResetGraph or deactivation gives the load up without a
    // signal. Does nothing when inactive.
    void OpenFile(const QString& path);
    // OpenFile, then waits for its outcome with the event loop running (timers, clicks and
    // paints go on meanwhile): returns once loaded; raises segmora::AppError with the reason
    // when it cannot be played, or when the player is deactivated or destroyed meanwhile. Also
    // returns when another load or ResetGraph gave this one up. Does nothing when inactive.
    void RenderFile(const QString& path);
    // Play, Pause and Stop first emit controlNotification (0, 1, 2), then act. They return
    // false when inactive. At the end of the file the last frame stays shown, paused; Play
    // there starts over from the beginning.
    bool Play();
    bool Pause();
    // Back to the start, first frame shown, paused.
    bool Stop();

    // Whether a file is loaded.
    bool HasMedia() const;
    // Length of the loaded file in whole milliseconds (truncated); 0 with no file.
    qint64 Duration() const;
    // Playing position in whole milliseconds (truncated); 0 with no file.
    qint64 CurrentPosition() const;
    // Frames a second of the loaded file's picture: the container's figure, else libmpv's
    // estimate from the decoded frames; 0 with no file or no picture.
    double FrameRate() const;
    // Frames of the loaded file that libmpv decoded late and left out rather than show, by
    // its decoder or its video output; 0 with no file.
    qint64 DroppedFrames() const;
    // Whether the file is playing (not paused); false with no file.
    bool IsPlaying() const;
    // Exact seek to an absolute position in milliseconds; does nothing with no file.
    void SeekTo(qint64 milliseconds);

    // The time of the frame on screen in seconds from the start of the source (libmpv's
    // time-pos, the source's own start offset taken away); 0 with no file. Right after a seek
    // it is the seek's target until the frame there is shown.
    double ExactPosition() const;
    // Whether a seek is still on its way to its frame; false with no file.
    bool Seeking() const;
    // Fast seek to the keyframe at or before an absolute position in milliseconds, for showing
    // a picture while the position bar is dragged; does nothing with no file.
    void SeekToKeyframe(qint64 milliseconds);
    // Exact seek to a time in seconds (not rounded to milliseconds); does nothing with no file.
    void SeekToSeconds(double seconds);
    // Pauses and shows the next (forward) or the previous frame. Going back decodes from the
    // keyframe before, so it works across groups of pictures. Does nothing with no file.
    void StepFrame(bool forward);
    // Seeks to the keyframe before (or after) the frame on screen as libmpv's index finds it;
    // for sources whose keyframes are not known yet. Does nothing with no file.
    void SeekKeyframe(bool forward);
    // The picture of the frame on screen at the source's own size; null with no file or
    // before the first frame is decoded.
    QImage GrabFrame() const;

signals:
    // Control notifications: 0 before play, 1 before pause, 2 before stop.
    void controlNotification(int code);
    // true after activation, false before deactivation (the position bar takes or drops
    // seeking).
    void activationChanged(bool active);
    // The loaded file played to its end (the last frame stays shown).
    void endOfMedia();
    // The time of the frame on screen changed (playing, after a seek or a step), in seconds.
    void positionChanged(double seconds);
    // The file of OpenFile is loaded, paused at its start.
    void fileOpened();
    // The file of OpenFile cannot be played, for reason (in plain words, naming the file).
    void openFailed(const QString& reason);

private:
    void drainEvents();
    void notePosition(const void* property);
    void settleLoad(const QString& failure);
    void giveUpLoad();
    void failLater(const QString& reason);
    struct Impl;
    std::unique_ptr<Impl> d;
};
