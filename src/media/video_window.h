// The preview's picture: a widget that draws libmpv's frames with the software render API.
//
// Threading: UI thread only. libmpv's render-update callback (any thread) only posts a queued
// call that asks libmpv whether a new frame exists and, if so, renders it into the widget's
// image at once (libmpv's video thread waits for that) and schedules a repaint. Rendering shares
// the UI thread with FilterGraph's other libmpv calls; libmpv bounds the rare wait between the
// two with its own timeout, which at worst drops a frame.
#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

struct mpv_handle;
struct mpv_render_context;

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

    QSize sizeHint() const override { return {160, 120}; }

signals:
    // A new frame has been drawn on screen.
    void framePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class FilterGraph;
    // Called by FilterGraph: creates the render context on handle (raises segmora::AppError
    // when libmpv refuses), or frees it when handle is null. The context must be gone before
    // the handle is destroyed.
    void attachPlayer(mpv_handle* handle);
    void onRenderUpdate();
    bool renderFrame();

    struct ContextDeleter {
        void operator()(mpv_render_context* context) const;
    };
    std::unique_ptr<mpv_render_context, ContextDeleter> m_context;
    // Frame buffer with a 64-byte aligned stride, wrapped by m_frame.
    struct BufferDeleter {
        void operator()(unsigned char* buffer) const;
    };
    std::unique_ptr<unsigned char, BufferDeleter> m_buffer;
    QImage m_frame;
    bool m_newFrame = false;     // libmpv has a frame not yet rendered into m_frame
    bool m_hasFrame = false;     // m_frame holds a picture
    bool m_unshownFrame = false; // m_frame holds a picture not yet painted
    quint64 m_framesPainted = 0;
};
