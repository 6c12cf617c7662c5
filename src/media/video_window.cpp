// The preview's picture: libmpv's software renderer drawing on a thread of its own into images
// that the widget shows.
#include "media/video_window.h"

#include "ground/app_error.h"

#include <QMetaObject>
#include <QPainter>

#include <condition_variable>
#include <cstdlib>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// libmpv takes its fast paths with 64-byte aligned rows.
constexpr qsizetype kRowAlignment = 64;

// An image of size with 64-byte aligned rows, which frees its buffer with its last copy; null
// when the memory is not there.
QImage alignedImage(QSize size) {
    const qsizetype stride =
        (qsizetype(size.width()) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    void* buffer = std::aligned_alloc(kRowAlignment, size_t(stride) * size_t(size.height()));
    if (!buffer)
        return {};
    return QImage(
        static_cast<uchar*>(buffer), size.width(), size.height(), stride, QImage::Format_RGB32,
        [](void* memory) { std::free(memory); }, buffer);
}

} // namespace

// libmpv's "bgr0" leaves the fourth byte of each pixel at zero, but a Format_RGB32 image must
// hold 0xff there. Qt copies RGB32 onto an RGB32 window surface as it is, and an X server then
// takes the picture as fully transparent: the preview shows white where the video should be.
// The loop runs over plain pointers: it touches every pixel of every frame, and a call out of
// the library per pixel cost more than the rest of the preview's own work.
void MakeOpaque(QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const qsizetype stride = image.bytesPerLine();
    uchar* const bits = image.bits(); // detaches once, before the loop
    if (!bits)
        return;
    for (int y = 0; y < height; ++y) {
        auto* pixel = reinterpret_cast<quint32*>(bits + y * stride);
        for (auto* const end = pixel + width; pixel != end; ++pixel)
            *pixel |= 0xff000000u;
    }
}

// Owns the render context and the thread that renders with it. The thread is the only caller of
// the context between construction and destruction; libmpv's callback only wakes it.
class VideoWindow::Renderer {
public:
    // Raises segmora::AppError when libmpv refuses the render context.
    Renderer(VideoWindow* window, mpv_handle* handle, quint64 generation, QSize size, qreal ratio)
        : m_window(window), m_generation(generation), m_size(size), m_ratio(ratio) {
        char apiType[] = MPV_RENDER_API_TYPE_SW;
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_API_TYPE, apiType},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (mpv_render_context_create(&m_context, handle, params) < 0)
            throw segmora::AppError(QStringLiteral("The video picture could not be set up."));
        // Called on a libmpv thread: only flags the work and wakes the render thread.
        mpv_render_context_set_update_callback(
            m_context,
            [](void* self) {
                auto* renderer = static_cast<Renderer*>(self);
                {
                    const std::lock_guard lock(renderer->m_mutex);
                    renderer->m_updatePending = true;
                }
                renderer->m_wake.notify_one();
            },
            this);
        try {
            m_thread = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            mpv_render_context_set_update_callback(m_context, nullptr, nullptr);
            mpv_render_context_free(m_context);
            throw segmora::AppError(QStringLiteral("The video picture could not be set up."));
        }
    }

    // Stops the render thread, then frees the context: no callback runs once this returns. The
    // wait is short: a render call in progress returns by its frame's display time.
    ~Renderer() {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_one();
        m_thread.join();
        mpv_render_context_set_update_callback(m_context, nullptr, nullptr);
        mpv_render_context_free(m_context);
    }

    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // The size, in device pixels, to render at; the current frame is rendered again at a new one.
    void setTargetSize(QSize size, qreal ratio) {
        {
            const std::lock_guard lock(m_mutex);
            if (size == m_size && ratio == m_ratio)
                return;
            m_size = size;
            m_ratio = ratio;
            m_resized = true;
        }
        m_wake.notify_one();
    }

private:
    void run() {
        bool hasFrame = false;
        std::unique_lock lock(m_mutex);
        while (true) {
            m_wake.wait(lock, [this] { return m_quit || m_updatePending || m_resized; });
            if (m_quit)
                return;
            m_updatePending = false;
            const bool resized = std::exchange(m_resized, false);
            const QSize size = m_size;
            const qreal ratio = m_ratio;
            lock.unlock();
            // libmpv wants this after every callback; it also tells whether a frame waits.
            const bool newFrame =
                (mpv_render_context_update(m_context) & MPV_RENDER_UPDATE_FRAME) != 0;
            if (newFrame || (resized && hasFrame)) {
                QImage frame = render(size, ratio);
                if (!frame.isNull()) {
                    hasFrame = true;
                    QMetaObject::invokeMethod(
                        m_window,
                        [window = m_window, frame = std::move(frame), newFrame,
                         generation = m_generation] {
                            window->takeFrame(frame, newFrame, generation);
                        },
                        Qt::QueuedConnection);
                }
            }
            lock.lock();
        }
    }

    // Renders the waiting frame (or the current one again) into a new image. With a new frame,
    // returns at its display time: libmpv's video thread and this one meet there. Null when
    // nothing could be drawn; a waiting frame is taken all the same, so that playback goes on.
    QImage render(QSize size, qreal ratio) {
        QImage frame = size.isEmpty() ? QImage() : alignedImage(size);
        if (frame.isNull()) {
            int skip = 1;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            mpv_render_context_render(m_context, params);
            return {};
        }
        // Format_RGB32 holds B, G, R, unused in memory order: libmpv's "bgr0". libmpv scales the
        // picture into the whole image with its aspect ratio kept and black bars around it.
        int sizeParam[2] = {size.width(), size.height()};
        char format[] = "bgr0";
        size_t stride = size_t(frame.bytesPerLine());
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_SW_SIZE, sizeParam}, {MPV_RENDER_PARAM_SW_FORMAT, format},
            {MPV_RENDER_PARAM_SW_STRIDE, &stride}, {MPV_RENDER_PARAM_SW_POINTER, frame.bits()},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (mpv_render_context_render(m_context, params) < 0)
            return {};
        MakeOpaque(frame);
        frame.setDevicePixelRatio(ratio);
        return frame;
    }

    VideoWindow* const m_window;
    const quint64 m_generation;
    mpv_render_context* m_context = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Guarded by m_mutex.
    bool m_updatePending = false;
    bool m_resized = false;
    bool m_quit = false;
    QSize m_size;
    qreal m_ratio = 1;
    std::thread m_thread; // last: started once everything above exists
};

VideoWindow::VideoWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("VideoWindow"));
    resize(160, 120);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click on the picture takes the focus, so the preview keys stop going to the field or
    // list the user worked in last.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Video preview"));
    // Shown once a source is opened.
    setVisible(false);
}

VideoWindow::~VideoWindow() {
    // Before the widget goes: the render thread calls back into it.
    m_renderer.reset();
}

void VideoWindow::attachPlayer(mpv_handle* handle) {
    m_renderer.reset();
    // Pictures of the old player still queued are dropped on arrival.
    ++m_generation;
    m_frame = QImage();
    m_unshownFrame = false;
    if (handle) {
        const qreal ratio = devicePixelRatioF();
        m_renderer = std::make_unique<Renderer>(this, handle, m_generation,
                                                (QSizeF(size()) * ratio).toSize(), ratio);
    }
    update();
}

void VideoWindow::sendTargetSize() {
    if (!m_renderer)
        return;
    const qreal ratio = devicePixelRatioF();
    m_renderer->setTargetSize((QSizeF(size()) * ratio).toSize(), ratio);
}

void VideoWindow::takeFrame(const QImage& frame, bool newFrame, quint64 generation) {
    if (generation != m_generation || !m_renderer)
        return;
    m_frame = frame;
    m_unshownFrame = m_unshownFrame || newFrame;
    update();
}

void VideoWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintFrame(painter);
    // The keys of the preview act wherever the focus is outside a text field, yet the picture
    // is their home: a frame in the highlight colour tells it has the focus.
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::Active, QPalette::Highlight), kFocusMarkWidth);
        pen.setJoinStyle(Qt::MiterJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        const int inset = kFocusMarkWidth / 2;
        painter.drawRect(rect().adjusted(inset, inset, -inset - 1, -inset - 1));
    }
}

void VideoWindow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void VideoWindow::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void VideoWindow::paintFrame(QPainter& painter) {
    if (m_frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Right after a resize the old picture is stretched until the new size's arrives.
    const QSize wanted = (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (m_frame.size() == wanted)
        painter.drawImage(QPoint(0, 0), m_frame);
    else
        painter.drawImage(rect(), m_frame);
    if (m_unshownFrame) {
        m_unshownFrame = false;
        ++m_framesPainted;
        emit framePainted();
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    sendTargetSize();
    update();
}
