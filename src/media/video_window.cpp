// The preview's picture: libmpv's software renderer drawing into an image that the widget shows.
#include "media/video_window.h"

#include "ground/app_error.h"

#include <QMetaObject>
#include <QPainter>

#include <cstdlib>
#include <mpv/client.h>
#include <mpv/render.h>

namespace {
// libmpv takes its fast paths with 64-byte aligned rows.
constexpr qsizetype kRowAlignment = 64;
} // namespace

void VideoWindow::ContextDeleter::operator()(mpv_render_context* context) const {
    mpv_render_context_free(context);
}

void VideoWindow::BufferDeleter::operator()(unsigned char* buffer) const {
    std::free(buffer);
}

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
    attachPlayer(nullptr);
}

void VideoWindow::attachPlayer(mpv_handle* handle) {
    if (m_context) {
        // Once this returns libmpv calls no more: the callback cannot outlive the widget.
        mpv_render_context_set_update_callback(m_context.get(), nullptr, nullptr);
        m_context.reset();
    }
    m_newFrame = false;
    m_hasFrame = false;
    if (!handle) {
        update();
        return;
    }
    char apiType[] = MPV_RENDER_API_TYPE_SW;
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, apiType},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    mpv_render_context* context = nullptr;
    if (mpv_render_context_create(&context, handle, params) < 0)
        throw segmora::AppError(QStringLiteral("The video picture could not be set up."));
    m_context.reset(context);
    // Called on a libmpv thread: only posts; libmpv is asked on the UI thread.
    mpv_render_context_set_update_callback(
        context,
        [](void* self) {
            auto* window = static_cast<VideoWindow*>(self);
            QMetaObject::invokeMethod(
                window, [window] { window->onRenderUpdate(); }, Qt::QueuedConnection);
        },
        this);
}

void VideoWindow::onRenderUpdate() {
    if (!m_context || !(mpv_render_context_update(m_context.get()) & MPV_RENDER_UPDATE_FRAME))
        return;
    // Render at once: libmpv holds its next frame back until this one is taken. A hidden
    // widget leaves the frame for its next paint.
    m_newFrame = true;
    if (isVisible() && renderFrame()) {
        m_newFrame = false;
        m_unshownFrame = true;
    }
    update();
}

bool VideoWindow::renderFrame() {
    const qreal ratio = devicePixelRatioF();
    const QSize size = (QSizeF(this->size()) * ratio).toSize();
    if (size.isEmpty())
        return false;
    if (m_frame.size() != size) {
        const qsizetype stride =
            (qsizetype(size.width()) * 4 + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
        m_frame = QImage();
        m_buffer.reset(static_cast<unsigned char*>(
            std::aligned_alloc(kRowAlignment, size_t(stride) * size_t(size.height()))));
        if (!m_buffer)
            return false;
        m_frame = QImage(m_buffer.get(), size.width(), size.height(), stride, QImage::Format_RGB32);
        m_frame.setDevicePixelRatio(ratio);
    }
    // Format_RGB32 holds B, G, R, unused in memory order: libmpv's "bgr0". libmpv scales the
    // picture into the whole image with its aspect ratio kept and black bars around it.
    int sizeParam[2] = {size.width(), size.height()};
    char format[] = "bgr0";
    size_t stride = size_t(m_frame.bytesPerLine());
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, sizeParam}, {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride}, {MPV_RENDER_PARAM_SW_POINTER, m_buffer.get()},
        {MPV_RENDER_PARAM_INVALID, nullptr},
    };
    if (mpv_render_context_render(m_context.get(), params) < 0)
        return false;
    m_hasFrame = true;
    return true;
}

void VideoWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QSize wanted = (QSizeF(size()) * devicePixelRatioF()).toSize();
    // Render here only for a frame that came while hidden or for a new size; otherwise the
    // picture rendered on libmpv's update is shown (again).
    if (m_context && (m_newFrame || (m_hasFrame && m_frame.size() != wanted))) {
        if (renderFrame() && m_newFrame) {
            m_newFrame = false;
            m_unshownFrame = true;
        }
    }
    if (!m_hasFrame || !m_context) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(QPoint(0, 0), m_frame);
    if (m_unshownFrame) {
        m_unshownFrame = false;
        ++m_framesPainted;
        emit framePainted();
    }
}

void VideoWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}
