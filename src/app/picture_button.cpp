// Painting and pointer handling of the picture buttons.
#include "app/picture_button.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QSvgRenderer>

// Outside the namespace, as the resource initialiser requires.
static void initArtworkResource() {
    Q_INIT_RESOURCE(artwork);
}

namespace segmora {

void EnsureArtwork() {
    static const bool done = (initArtworkResource(), true);
    (void)done;
}

PictureButton::PictureButton(QWidget* parent) : QAbstractButton(parent) {
    EnsureArtwork();
    // Tab focus only: a click on a picture must not take the focus from a time field, whose
    // leaving sets a mark.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
}

PictureButton::~PictureButton() = default;

void PictureButton::setPictures(const QString& normal, const QString& pressed,
                                const QString& hover) {
    m_paths = {normal, hover, pressed};
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        m_renderers[i].reset();
        if (!m_paths[i].isEmpty()) {
            auto renderer = std::make_unique<QSvgRenderer>(m_paths[i]);
            if (renderer->isValid())
                m_renderers[i] = std::move(renderer);
        }
    }
    update();
}

QString PictureButton::picture(Look look) const {
    return m_paths[static_cast<std::size_t>(look)];
}

void PictureButton::setHint(const QString& hint) {
    setAccessibleName(hint);
    updateToolTip();
}

void PictureButton::setKeyHint(const QString& key) {
    m_key = key;
    setAccessibleDescription(key.isEmpty() ? QString() : QStringLiteral("Key: ") + key);
    updateToolTip();
}

void PictureButton::updateToolTip() {
    const QString hint = accessibleName();
    setToolTip(m_key.isEmpty() ? hint : hint + QStringLiteral(" (") + m_key + QLatin1Char(')'));
}

PictureButton::Look PictureButton::look() const {
    if (isDown())
        return Look::Pressed;
    if (underMouse() && isEnabled())
        return Look::Hover;
    return Look::Normal;
}

QSize PictureButton::sizeHint() const {
    for (const auto& renderer : m_renderers) {
        if (renderer)
            return renderer->defaultSize();
    }
    return {63, 35};
}

void PictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    auto index = static_cast<std::size_t>(look());
    // A missing hover or pressed picture falls back to the normal one.
    if (!m_renderers[index])
        index = 0;
    if (!isEnabled())
        painter.setOpacity(0.4);
    if (m_renderers[index])
        m_renderers[index]->render(&painter, QRectF(rect()));
    if (hasFocus()) {
        painter.setOpacity(1.0);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void PictureButton::enterEvent(QEnterEvent* event) {
    QAbstractButton::enterEvent(event);
    update();
}

void PictureButton::leaveEvent(QEvent* event) {
    QAbstractButton::leaveEvent(event);
    update();
}

CircularPictureButton::CircularPictureButton(QWidget* parent) : PictureButton(parent) {
    setMouseTracking(true);
}

void CircularPictureButton::SetTag(int tag) {
    if (m_tag == tag)
        return;
    m_tag = tag;
    update();
}

bool CircularPictureButton::insideCircle(const QPoint& point) const {
    const int dx = point.x() - width() / 2;
    const int dy = point.y() - height() / 2;
    return dx * dx + dy * dy <= kCircleRadiusSquared;
}

PictureButton::Look CircularPictureButton::look() const {
    // A keyboard or accessible press has no pointer: show it pressed while it lasts.
    if (isDown() && !m_mouseHeld)
        return Look::Pressed;
    return static_cast<Look>(m_tag);
}

bool CircularPictureButton::hitButton(const QPoint& pos) const {
    if (m_clickArea == ClickArea::Whole)
        return QAbstractButton::hitButton(pos);
    return insideCircle(pos);
}

void CircularPictureButton::mousePressEvent(QMouseEvent* event) {
    m_mouseHeld = true;
    SetTag(2);
    QAbstractButton::mousePressEvent(event);
}

void CircularPictureButton::mouseReleaseEvent(QMouseEvent* event) {
    m_mouseHeld = false;
    SetTag(1);
    QAbstractButton::mouseReleaseEvent(event);
}

void CircularPictureButton::mouseMoveEvent(QMouseEvent* event) {
    if (!insideCircle(event->position().toPoint()))
        SetTag(0);
    else if (m_tag == 0)
        SetTag(1);
    QAbstractButton::mouseMoveEvent(event);
    // The base ignores a move without a held button, which would pass it on to the panel
    // underneath, whose pointer handling puts the normal picture straight back.
    event->accept();
}

void CircularPictureButton::leaveEvent(QEvent* event) {
    ResetLook();
    PictureButton::leaveEvent(event);
}

} // namespace segmora
