// Painting the waveform and thumbnail strips for the bar's view, their tool tips and pointer.
#include "media/timeline_strips.h"

#include "ground/time_text.h"
#include "media/track_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace segmora {
namespace {

const QColor kStripBackground(24, 24, 28);
const QColor kWave(96, 200, 140);
const QColor kSilence(70, 90, 160, 150);
const QColor kBlack(0, 0, 0);
const QColor kBlackEdge(230, 230, 230);
const QColor kSceneChange(255, 170, 40);
const QColor kPlayhead(255, 70, 70);

bool contains(const QVector<TimeSpan>& spans, double seconds) {
    return std::any_of(spans.begin(), spans.end(), [seconds](const TimeSpan& span) {
        return seconds >= span.from && seconds < span.to;
    });
}

} // namespace

TimelineStrip::TimelineStrip(Kind kind, TDSTrackBar* bar, QWidget* parent)
    : QWidget(parent), m_kind(kind), m_bar(bar) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    const bool wave = kind == Kind::Waveform;
    setAccessibleName(wave ? QStringLiteral("Waveform") : QStringLiteral("Thumbnails"));
    setAccessibleDescription(
        wave ? QStringLiteral("The loudness of the sound along the position bar; quiet "
                              "stretches are shaded. Click to show the picture there.")
             : QStringLiteral("Small pictures of the keyframes along the position bar; black "
                              "frames are marked below, scene changes above. Click to show the "
                              "picture there."));
    if (bar) {
        connect(bar, &TDSTrackBar::viewChanged, this, qOverload<>(&QWidget::update));
        connect(bar, &QAbstractSlider::valueChanged, this, qOverload<>(&QWidget::update));
        connect(bar, &QAbstractSlider::rangeChanged, this, qOverload<>(&QWidget::update));
    }
}

void TimelineStrip::SetSound(std::shared_ptr<const SoundScan> sound) {
    m_sound = std::move(sound);
    m_painted = QPixmap();
    update();
}

void TimelineStrip::SetPictures(std::shared_ptr<const PictureScan> pictures) {
    m_pictures = std::move(pictures);
    m_painted = QPixmap();
    update();
}

void TimelineStrip::Clear() {
    m_sound.reset();
    m_pictures.reset();
    m_painted = QPixmap();
    update();
}

bool TimelineStrip::HasData() const {
    return m_kind == Kind::Waveform ? m_sound != nullptr
                                    : m_pictures != nullptr && m_pictures->thumbnailsComplete;
}

int TimelineStrip::offset() const {
    // The strip and the bar may sit in different rows: map through the window.
    if (!m_bar || m_bar->window() != window())
        return 0;
    return m_bar->mapTo(window(), QPoint(0, 0)).x() - mapTo(window(), QPoint(0, 0)).x();
}

double TimelineStrip::SecondsAtX(int x) const {
    return m_bar ? m_bar->SecondsAtX(x - offset()) : 0.0;
}

int TimelineStrip::XOfSeconds(double seconds) const {
    return m_bar ? m_bar->XOfSeconds(seconds) + offset() : 0;
}

QString TimelineStrip::TipAt(int x) const {
    const double seconds = SecondsAtX(x);
    QString tip = SecondsToMarkText(std::round(seconds * 1000.0) / 1000.0);
    if (m_kind == Kind::Waveform && m_sound && contains(m_sound->silences, seconds))
        tip += QStringLiteral(": silence");
    if (m_kind == Kind::Thumbnails && m_pictures && contains(m_pictures->blackFrames, seconds))
        tip += QStringLiteral(": black frames");
    return tip;
}

QSize TimelineStrip::sizeHint() const {
    return {200, m_kind == Kind::Waveform ? 20 : kThumbnailHeight + 4};
}

QSize TimelineStrip::minimumSizeHint() const {
    return {40, sizeHint().height()};
}

void TimelineStrip::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!m_bar || m_bar->ViewTo() <= m_bar->ViewFrom()) {
        painter.fillRect(rect(), kStripBackground);
        return;
    }
    // What the strip shows changes with the view, the data and the size, not with the
    // playhead: it is drawn once into a picture of its own (dropped when data arrives), and
    // each paint (every tick of the position while playing) copies it and draws the playhead.
    const int left = XOfSeconds(m_bar->ViewFrom());
    const int right = XOfSeconds(m_bar->ViewTo());
    const Painted now{size() * devicePixelRatio(), left, right, m_bar->ViewFrom(), m_bar->ViewTo()};
    if (m_painted.isNull() || !(now == m_paintedFor)) {
        m_painted = QPixmap(now.size);
        m_painted.setDevicePixelRatio(devicePixelRatio());
        QPainter content(&m_painted);
        content.fillRect(rect(), kStripBackground);
        content.setClipRect(QRect(left, 0, right - left + 1, height()));
        if (m_kind == Kind::Waveform)
            paintWaveform(content);
        else
            paintThumbnails(content);
        m_paintedFor = now;
    }
    painter.drawPixmap(0, 0, m_painted);
    painter.setClipRect(QRect(left, 0, right - left + 1, height()));
    paintPlayhead(painter);
}

void TimelineStrip::paintWaveform(QPainter& painter) {
    if (!m_sound)
        return;
    const int left = XOfSeconds(m_bar->ViewFrom());
    const int right = XOfSeconds(m_bar->ViewTo());
    for (const TimeSpan& silence : m_sound->silences) {
        if (silence.to < m_bar->ViewFrom() || silence.from > m_bar->ViewTo())
            continue;
        const int from = XOfSeconds(silence.from);
        painter.fillRect(QRect(from, 0, qMax(1, XOfSeconds(silence.to) - from), height()),
                         kSilence);
    }
    const QVector<float>& peaks = m_sound->peaks;
    if (peaks.isEmpty())
        return;
    // Each column the loudest peak of the hundredths it stands for (at least the one under it).
    painter.setPen(kWave);
    const int middle = height() / 2;
    const double perBucket = 1.0 / SoundScan::kBucketsPerSecond;
    for (int x = left; x <= right; ++x) {
        const double from = SecondsAtX(x);
        const double to = qMax(SecondsAtX(x + 1), from + perBucket);
        const qsizetype first = qsizetype(from * SoundScan::kBucketsPerSecond);
        const qsizetype last =
            qMin(peaks.size(), qsizetype(std::ceil(to * SoundScan::kBucketsPerSecond)));
        float peak = 0;
        for (qsizetype i = qMax<qsizetype>(0, first); i < last; ++i)
            peak = qMax(peak, peaks[i]);
        // Loudness by the square root: quiet speech still shows beside loud music.
        const int reach = int(std::lround(std::sqrt(double(peak)) * (middle - 1)));
        if (reach > 0)
            painter.drawLine(x, middle - reach, x, middle + reach);
    }
}

void TimelineStrip::paintThumbnails(QPainter& painter) {
    if (!m_pictures)
        return;
    const QVector<Thumbnail>& thumbnails = m_pictures->thumbnails;
    const int left = XOfSeconds(m_bar->ViewFrom());
    const int right = XOfSeconds(m_bar->ViewTo());
    if (!thumbnails.isEmpty()) {
        // Tiles as high as the strip, as wide as the pictures' shape makes them.
        const QImage& first = thumbnails.first().picture;
        const int tile = qMax(8, first.width() * (height() - 4) / qMax(1, first.height()));
        // Tiles side by side, each showing the last keyframe at or before the time under its
        // middle (the first one where none is before it).
        for (int x = left; x <= right; x += tile) {
            const double at = SecondsAtX(x + tile / 2);
            auto it = std::upper_bound(
                thumbnails.begin(), thumbnails.end(), at,
                [](double seconds, const Thumbnail& t) { return seconds < t.seconds; });
            if (it != thumbnails.begin())
                --it;
            painter.drawImage(QRect(x, 2, tile, height() - 4), it->picture);
        }
    }
    // Black frames: a bar along the bottom edge; scene changes: a notch from the top.
    for (const TimeSpan& black : m_pictures->blackFrames) {
        if (black.to < m_bar->ViewFrom() || black.from > m_bar->ViewTo())
            continue;
        const int from = XOfSeconds(black.from);
        const QRect band(from, height() - 5, qMax(2, XOfSeconds(black.to) - from), 5);
        painter.fillRect(band, kBlack);
        painter.setPen(kBlackEdge);
        painter.drawLine(band.topLeft(), band.topRight());
    }
    painter.setPen(QPen(kSceneChange, 2));
    for (double change : m_pictures->sceneChanges) {
        if (change < m_bar->ViewFrom() || change > m_bar->ViewTo())
            continue;
        const int x = XOfSeconds(change);
        painter.drawLine(x, 0, x, 6);
    }
}

void TimelineStrip::paintPlayhead(QPainter& painter) {
    // Under the bar's thumb.
    const int x = m_bar->ThumbX() + offset();
    painter.setPen(kPlayhead);
    painter.drawLine(x, 0, x, height() - 1);
}

bool TimelineStrip::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), TipAt(help->pos().x()), this);
        return true;
    }
    return QWidget::event(event);
}

void TimelineStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_seek && m_bar && m_bar->isEnabled()) {
        m_seek(SecondsAtX(int(event->position().x())));
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TimelineStrip::wheelEvent(QWheelEvent* event) {
    // The bar's own wheel: zoom with Ctrl around the time under the pointer, scroll otherwise.
    if (!m_bar) {
        event->ignore();
        return;
    }
    m_bar->WheelTurned(event->angleDelta().y() / 120, event->modifiers() & Qt::ControlModifier,
                       SecondsAtX(int(event->position().x())));
    event->accept();
}

} // namespace segmora
