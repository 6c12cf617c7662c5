// The preview's picture: libmpv's OpenGL renderer in a child OpenGL widget, or its software
// renderer drawing on a thread of its own into images that the widget shows.
#include "media/video_window.h"

#include "ground/app_error.h"
#include "media/preview_renderer.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QPainter>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mpv/client.h>
#include <mpv/render.h>
#include <mpv/render_gl.h>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

// libmpv takes its fast paths with 64-byte aligned rows.
constexpr qsizetype kRowAlignment = 64;

// Buffers for the software renderer's images, all of the size last asked for. An image hands its
// buffer back when its last copy goes, on whichever thread that is. At most kMostImages are out
// at once: one on screen, one on its way there, one being rendered, one spare.
class ImagePool : public std::enable_shared_from_this<ImagePool> {
public:
    static constexpr int kMostImages = 4;

    ImagePool() = default;
    ImagePool(const ImagePool&) = delete;
    ImagePool& operator=(const ImagePool&) = delete;
    ~ImagePool() {
        for (void* buffer : m_free)
            std::free(buffer);
    }

    // An RGB32 image of size with 64-byte aligned rows; null when kMostImages are out (the UI
    // thread is behind) or the memory is not there.
    QImage take(QSize size) {
        const qsizetype stride =
            (qsizetype(size.width()) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        const size_t bytes = size_t(stride) * size_t(size.height());
        void* buffer = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (bytes != m_bytes) {
                for (void* old : m_free)
                    std::free(old);
                m_free.clear();
                m_bytes = bytes;
            }
            if (m_out >= kMostImages)
                return {};
            if (!m_free.empty()) {
                buffer = m_free.back();
                m_free.pop_back();
            } else if (!(buffer = std::aligned_alloc(kRowAlignment, bytes))) {
                return {};
            }
            ++m_out;
        }
        auto* lease = new Lease{shared_from_this(), buffer, bytes};
        return QImage(static_cast<uchar*>(buffer), size.width(), size.height(), stride,
                      QImage::Format_RGB32, &ImagePool::giveBack, lease);
    }

private:
    struct Lease {
        std::shared_ptr<ImagePool> pool;
        void* buffer;
        size_t bytes;
    };
    static void giveBack(void* info) {
        const std::unique_ptr<Lease> lease(static_cast<Lease*>(info));
        ImagePool& pool = *lease->pool;
        const std::lock_guard lock(pool.m_mutex);
        --pool.m_out;
        if (lease->bytes == pool.m_bytes)
            pool.m_free.push_back(lease->buffer);
        else
            std::free(lease->buffer);
    }

    std::mutex m_mutex;
    // Guarded by m_mutex.
    std::vector<void*> m_free;
    size_t m_bytes = 0;
    int m_out = 0;
};

// libmpv's "bgra" output holds 0xff in the fourth byte wherever the picture is, but leaves the
// black bars around a picture of another shape all zero. Finds the bars from the middle column
// and row and makes them opaque black, touching no pixel of the picture. Returns false when the
// middle column holds no opaque pixel at all: the picture itself came without its fourth byte.
bool makeBarsOpaque(QImage& image) {
    const int width = image.width();
    const int height = image.height();
    const qsizetype stride = image.bytesPerLine();
    uchar* const bits = image.bits();
    if (!bits || width <= 0 || height <= 0)
        return true;
    const auto opaque = [&](int x, int y) { return bits[y * stride + x * 4 + 3] == 0xff; };
    int top = 0;
    while (top < height && !opaque(width / 2, top))
        ++top;
    if (top == height)
        return false;
    int bottom = 0;
    while (!opaque(width / 2, height - 1 - bottom))
        ++bottom;
    const int middle = (top + height - 1 - bottom) / 2;
    int left = 0;
    while (!opaque(left, middle))
        ++left;
    int right = 0;
    while (!opaque(width - 1 - right, middle))
        ++right;
    constexpr quint32 kBlack = 0xff000000u;
    const auto row = [&](int y) { return reinterpret_cast<quint32*>(bits + y * stride); };
    for (int y = 0; y < top; ++y)
        std::fill_n(row(y), width, kBlack);
    for (int y = height - bottom; y < height; ++y)
        std::fill_n(row(y), width, kBlack);
    if (left > 0 || right > 0) {
        for (int y = top; y < height - bottom; ++y) {
            std::fill_n(row(y), left, kBlack);
            std::fill_n(row(y) + width - right, right, kBlack);
        }
    }
    return true;
}

} // namespace

// libmpv's "bgr0" leaves the fourth byte of each pixel at zero, but a Format_RGB32 image must
// hold 0xff there. Qt copies RGB32 onto an RGB32 window surface as it is, and an X server then
// takes the picture as fully transparent: the preview shows white where the video should be.
// The loop runs over plain pointers: a call out of the library per pixel cost more than the
// rest of the preview's own work. Playback never needs it (the renderer asks for "bgra"); a
// grabbed frame and a libmpv that refuses "bgra" do.
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

// Owns the software render context and the thread that renders with it. The thread is the only
// caller of the context between construction and destruction; libmpv's callback only wakes it.
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

    // New frames taken from libmpv without a picture (no free image).
    quint64 skipped() const { return m_skipped.load(std::memory_order_relaxed); }

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
                if (frame.isNull() && newFrame)
                    m_skipped.fetch_add(1, std::memory_order_relaxed);
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

    // Renders the waiting frame (or the current one again) into an image of the pool. With a
    // new frame, returns at its display time: libmpv's video thread and this one meet there.
    // Null when nothing could be drawn; a waiting frame is taken all the same, so that playback
    // goes on.
    QImage render(QSize size, qreal ratio) {
        QImage frame = size.isEmpty() ? QImage() : m_pool->take(size);
        if (frame.isNull()) {
            int skip = 1;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_SKIP_RENDERING, &skip},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            mpv_render_context_render(m_context, params);
            return {};
        }
        // Format_RGB32 holds B, G, R, 0xff in memory order: libmpv's "bgra" of a picture
        // without transparency, opaque as it comes but for the bars (makeBarsOpaque). A libmpv
        // that refuses it, or leaves the fourth byte out, gets "bgr0" and the loop over every
        // pixel from then on. libmpv scales the picture into the whole image with its aspect
        // ratio kept and black bars around it.
        int sizeParam[2] = {size.width(), size.height()};
        size_t stride = size_t(frame.bytesPerLine());
        mpv_render_param params[] = {
            {MPV_RENDER_PARAM_SW_SIZE, sizeParam},
            {MPV_RENDER_PARAM_SW_FORMAT, m_opaqueFormat ? m_bgra : m_bgr0},
            {MPV_RENDER_PARAM_SW_STRIDE, &stride},
            {MPV_RENDER_PARAM_SW_POINTER, frame.bits()},
            {MPV_RENDER_PARAM_INVALID, nullptr},
        };
        if (mpv_render_context_render(m_context, params) < 0) {
            if (!m_opaqueFormat)
                return {};
            m_opaqueFormat = false;
            params[1].data = m_bgr0;
            if (mpv_render_context_render(m_context, params) < 0)
                return {};
        }
        if (m_opaqueFormat && !makeBarsOpaque(frame))
            m_opaqueFormat = false;
        if (!m_opaqueFormat)
            MakeOpaque(frame);
        frame.setDevicePixelRatio(ratio);
        return frame;
    }

    VideoWindow* const m_window;
    const quint64 m_generation;
    mpv_render_context* m_context = nullptr;
    const std::shared_ptr<ImagePool> m_pool = std::make_shared<ImagePool>();
    char m_bgra[5] = "bgra";
    char m_bgr0[5] = "bgr0";
    bool m_opaqueFormat = true; // render thread only
    std::atomic<quint64> m_skipped{0};
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

// libmpv's OpenGL renderer drawing into Qt's frame buffer of the child widget, on the UI thread
// inside paintGL. libmpv hands each frame over at its time, so the render call is told not to
// wait for it. Clicks go through to the video window, which keeps the focus and the names.
class VideoWindow::GlPicture : public QOpenGLWidget {
public:
    explicit GlPicture(VideoWindow* window) : QOpenGLWidget(window), m_window(window) {
        setObjectName(QStringLiteral("VideoPicture"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        connect(this, &QOpenGLWidget::frameSwapped, this, [this] {
            if (m_context)
                mpv_render_context_report_swap(m_context);
        });
    }
    ~GlPicture() override { attach(nullptr); }
    GlPicture(const GlPicture&) = delete;
    GlPicture& operator=(const GlPicture&) = delete;

    // As VideoWindow::attachPlayer. libmpv sets its video output up only with a render context
    // in place, so the widget's OpenGL context is made now, even while the widget is hidden.
    void attach(mpv_handle* handle) {
        if (m_context) {
            makeCurrent();
            mpv_render_context_set_update_callback(m_context, nullptr, nullptr);
            mpv_render_context_free(m_context);
            doneCurrent();
            m_context = nullptr;
        }
        m_handle = handle;
        m_newFrame = false;
        if (m_handle) {
            if (!context()) {
                window()->winId(); // the window's share context comes with its native window
                grabFramebuffer(); // makes the context and calls initializeGL
            }
            if (!m_context && context())
                create();
            if (!m_context)
                throw segmora::AppError(QStringLiteral("The video picture could not be set up."));
        }
        update();
    }

    quint64 missed() const { return m_missed; }

protected:
    void initializeGL() override {
        if (m_handle && !m_context)
            create();
    }

    void paintGL() override {
        const qreal ratio = devicePixelRatioF();
        if (m_context) {
            mpv_opengl_fbo target{int(defaultFramebufferObject()), qRound(width() * ratio),
                                  qRound(height() * ratio), 0};
            int flipY = 1;
            int block = 0;
            mpv_render_param params[] = {
                {MPV_RENDER_PARAM_OPENGL_FBO, &target},
                {MPV_RENDER_PARAM_FLIP_Y, &flipY},
                {MPV_RENDER_PARAM_BLOCK_FOR_TARGET_TIME, &block},
                {MPV_RENDER_PARAM_INVALID, nullptr},
            };
            mpv_render_context_render(m_context, params);
        } else {
            QOpenGLFunctions* gl = context()->functions();
            gl->glClearColor(0, 0, 0, 1);
            gl->glClear(GL_COLOR_BUFFER_BIT);
        }
        if (m_window->hasFocus()) {
            QPainter painter(this);
            m_window->paintFocusMark(painter, *this);
        }
        if (std::exchange(m_newFrame, false))
            m_window->notePainted();
    }

private:
    // The render context on the current OpenGL context; leaves m_context null when refused.
    void create() {
        mpv_opengl_init_params glInit{
            [](void*, const char* name) -> void* {
                QOpenGLContext* current = QOpenGLContext::currentContext();
                return current ? reinterpret_cast<void*>(current->getProcAddress(name)) : nullptr;
            },
            nullptr};
        char apiType[] = MPV_RENDER_API_TYPE_OPENGL;
        int advancedControl = 0;
        std::vector<mpv_render_param> params = {
            {MPV_RENDER_PARAM_API_TYPE, apiType},
            {MPV_RENDER_PARAM_OPENGL_INIT_PARAMS, &glInit},
            {MPV_RENDER_PARAM_ADVANCED_CONTROL, &advancedControl},
        };
#if QT_CONFIG(xcb)
        // Hardware decoding hands its pictures to OpenGL through the X display.
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            params.push_back({MPV_RENDER_PARAM_X11_DISPLAY, x11->display()});
#endif
        params.push_back({MPV_RENDER_PARAM_INVALID, nullptr});
        makeCurrent();
        if (mpv_render_context_create(&m_context, m_handle, params.data()) < 0) {
            m_context = nullptr;
            return;
        }
        // Called on a libmpv thread: only posts. A call still queued when this widget goes is
        // dropped by Qt; one for an earlier context only looks for a frame that is not there.
        mpv_render_context_set_update_callback(
            m_context,
            [](void* self) {
                auto* picture = static_cast<GlPicture*>(self);
                QMetaObject::invokeMethod(
                    picture, [picture] { picture->takeUpdate(); }, Qt::QueuedConnection);
            },
            this);
    }

    void takeUpdate() {
        if (!m_context)
            return;
        makeCurrent();
        const bool newFrame = (mpv_render_context_update(m_context) & MPV_RENDER_UPDATE_FRAME) != 0;
        doneCurrent();
        if (newFrame) {
            if (m_newFrame)
                ++m_missed;
            m_newFrame = true;
            update();
        }
    }

    VideoWindow* const m_window;
    mpv_handle* m_handle = nullptr;
    mpv_render_context* m_context = nullptr;
    bool m_newFrame = false; // a frame was announced and not yet painted
    quint64 m_missed = 0;
};

VideoWindow::VideoWindow(QWidget* parent)
    : QWidget(parent), m_openGL(segmora::PreviewUsesOpenGL()) {
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
    if (m_openGL)
        m_glPicture = new GlPicture(this);
    // Shown once a source is opened.
    setVisible(false);
}

VideoWindow::~VideoWindow() {
    // Before the widget goes: the render thread calls back into it.
    m_renderer.reset();
    if (m_glPicture)
        m_glPicture->attach(nullptr);
}

quint64 VideoWindow::framesMissed() const {
    return m_framesMissed + (m_renderer ? m_renderer->skipped() : 0) +
           (m_glPicture ? m_glPicture->missed() : 0);
}

void VideoWindow::attachPlayer(mpv_handle* handle) {
    if (m_renderer)
        m_framesMissed += m_renderer->skipped();
    m_renderer.reset();
    // Pictures of the old player still queued are dropped on arrival.
    ++m_generation;
    m_frame = QImage();
    m_unshownFrame = false;
    if (m_glPicture) {
        m_glPicture->attach(handle);
    } else if (handle) {
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
    if (newFrame && m_unshownFrame)
        ++m_framesMissed;
    m_frame = frame;
    m_unshownFrame = m_unshownFrame || newFrame;
    update();
}

void VideoWindow::notePainted() {
    ++m_framesPainted;
    emit framePainted();
}

void VideoWindow::paintEvent(QPaintEvent* /*event*/) {
    if (m_glPicture)
        return; // the OpenGL child covers the widget and draws the focus mark itself
    QPainter painter(this);
    paintFrame(painter);
    paintFocusMark(painter, *this);
}

// The keys of the preview act wherever the focus is outside a text field, yet the picture is
// their home: a frame in the highlight colour tells it has the focus.
void VideoWindow::paintFocusMark(QPainter& painter, const QWidget& on) const {
    if (!hasFocus())
        return;
    QPen pen(palette().color(QPalette::Active, QPalette::Highlight), kFocusMarkWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const int inset = kFocusMarkWidth / 2;
    painter.drawRect(on.rect().adjusted(inset, inset, -inset - 1, -inset - 1));
}

void VideoWindow::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
    if (m_glPicture)
        m_glPicture->update();
}

void VideoWindow::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
    if (m_glPicture)
        m_glPicture->update();
}

void VideoWindow::paintFrame(QPainter& painter) {
    if (m_frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Drawn pixel for pixel. Right after a resize the old picture stays at its size, centred,
    // until the new size's arrives: scaling it would cost more than the frame it bridges.
    const QSize wanted = (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (m_frame.size() == wanted) {
        painter.drawImage(QPoint(0, 0), m_frame);
    } else {
        const QSizeF shown = m_frame.deviceIndependentSize();
        const QPointF corner((width() - shown.width()) / 2, (height() - shown.height()) / 2);
        painter.fillRect(rect(), Qt::black);
        painter.drawImage(corner, m_frame);
    }
    if (m_unshownFrame) {
        m_unshownFrame = false;
        notePainted();
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_glPicture)
        m_glPicture->setGeometry(rect());
    sendTargetSize();
    update();
}
