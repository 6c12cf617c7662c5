// The preview's picture: a widget that shows the frames libmpv draws, by one of two renderers
// (media/preview_renderer.h settles which, once per program run):
// - OpenGL: a child QOpenGLWidget in which libmpv's OpenGL renderer draws each frame as Qt
//   paints it; libmpv may then decode on the graphics card.
// - Software: libmpv's software renderer draws each frame, at the widget's size in device
//   pixels, into an image that the widget paints as it is (no second scaling).
//
// Threading: the widget lives on the UI thread, which never waits for libmpv here. libmpv's
// render-update callback (any thread) only wakes a thread or posts a queued call.
// - OpenGL: the queued call asks libmpv whether a frame waits and schedules a paint; the paint
//   renders it without waiting for its display time (libmpv hands frames over in time).
// - Software: a render thread of the widget's own renders each new frame: the render call waits
//   there until the frame's display time, and the finished picture is handed to the widget
//   through a queued call, which then repaints. Images come from a small pool, so playing
//   allocates nothing per frame.
// Only new frames (and a new size) cause repaints.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

class QPainter;

struct mpv_handle;

// Sets the unused fourth byte of every pixel of an RGB32 image to 0xff, as Qt requires; libmpv's
// "bgr0" pictures leave it at zero.
void MakeOpaque(QImage& image);

class VideoWindow : public QWidget {
    Q_OBJECT
public:
    // Created 160 x 120, black, with a tab stop that a click also focuses, and hidden until a
    // source is opened.
    explicit VideoWindow(QWidget* parent = nullptr);
    ~VideoWindow() override;

    // Number of new frames painted on screen since construction (benchmarks and tests read
    // it); showing the same frame again does not count.
    quint64 framesPainted() const { return m_framesPainted; }
    // Number of new frames that libmpv rendered but that were never painted: a later frame
    // replaced them first, or the software renderer had no free image for them.
    quint64 framesMissed() const;

    // Whether libmpv draws with OpenGL here (hardware decoding allowed); else software.
    bool usesOpenGL() const { return m_openGL; }

    QSize sizeHint() const override { return {160, 120}; }

    // Width in pixels of the frame drawn around the picture while it has the focus.
    static constexpr int kFocusMarkWidth = 3;

signals:
    // A new frame has been drawn on screen.
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void paintFrame(QPainter& painter);
    void paintFocusMark(QPainter& painter, const QWidget& on) const;
    void notePainted();
    friend class FilterGraph;
    // Called by FilterGraph: creates the render context on handle (raises segmora::AppError
    // when libmpv refuses), or frees it when handle is null. The context must be gone before the
    // handle is destroyed; once this returns, no callback of the old context runs and none of
    // its pictures is shown.
    void attachPlayer(mpv_handle* handle);
    // Tells the software renderer the size to render at, when it changed.
    void sendTargetSize();
    // A picture from the render thread; generation tells pictures of an earlier player apart.
    void takeFrame(const QImage& frame, bool newFrame, quint64 generation);

    class Renderer;
    class GlPicture;
    const bool m_openGL;
    GlPicture* m_glPicture = nullptr; // the OpenGL child, covering the widget
    std::unique_ptr<Renderer> m_renderer;
    quint64 m_generation = 0;
    QImage m_frame;
    bool m_unshownFrame = false; // m_frame holds a new frame not yet painted
    quint64 m_framesPainted = 0;
    quint64 m_framesMissed = 0; // by earlier renderers and replaced frames
};
