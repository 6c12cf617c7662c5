// The position bar: painting, mouse and keyboard, the periodic refresh and its accessibility.
#include "media/track_bar.h"

#include "ground/rounding.h"
#include "media/filter_graph.h"
#include "media/keyframe_index.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int kMargin = 8; // room for the thumb at both ends of the channel
constexpr int kChannelHeight = 6;
constexpr int kThumbWidth = 11;
constexpr int kTickLength = 4;

// The thumb stands out above and below the channel however short its length is set.
int thumbHeightFor(int thumbLength) {
    return qMax(thumbLength, kChannelHeight + 4);
}

// Assistive technology sees the bar as a slider whose value is the position.
class TrackBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit TrackBarAccessible(TDSTrackBar* bar) : QAccessibleWidget(bar, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::number(bar()->Position());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return bar()->Position(); }
    // A value set by assistive technology moves the picture, as the keyboard does.
    void setCurrentValue(const QVariant& value) override { bar()->MoveThumb(value.toInt()); }
    QVariant maximumValue() const override { return bar()->Max(); }
    QVariant minimumValue() const override { return bar()->Min(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

private:
    TDSTrackBar* bar() const { return static_cast<TDSTrackBar*>(widget()); }
};

QAccessibleInterface* trackBarAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TDSTrackBar") && object && object->isWidgetType())
        return new TrackBarAccessible(static_cast<TDSTrackBar*>(object));
    return nullptr;
}

} // namespace

TDSTrackBar::TDSTrackBar(QWidget* parent) : QAbstractSlider(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(trackBarAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setOrientation(Qt::Horizontal);
    setRange(0, 10);
    // Arrows move one unit, Page Up and Page Down ten.
    setSingleStep(1);
    setPageStep(10);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_refreshTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_refreshTimer, &QTimer::timeout, this, &TDSTrackBar::RefreshTick);
    m_scrubTimer.setSingleShot(true);
    m_scrubTimer.setInterval(kScrubInterval);
    connect(&m_scrubTimer, &QTimer::timeout, this, &TDSTrackBar::ScrubTick);
    // A new length is a new source (or its first refresh): the whole of it is shown again.
    connect(this, &QAbstractSlider::rangeChanged, this, [this] {
        if (m_zoomed) {
            m_zoomed = false;
            emit viewChanged();
        }
        update();
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this] { update(); });
}

TDSTrackBar::~TDSTrackBar() = default;

void TDSTrackBar::SetFilterGraph(FilterGraph* graph) {
    if (m_graph == graph)
        return;
    disconnect(m_notifyConnection);
    disconnect(m_activationConnection);
    m_graph = graph;
    m_seeking = graph && graph->Active();
    if (graph) {
        m_notifyConnection = connect(graph, &FilterGraph::controlNotification, this,
                                     &TDSTrackBar::onControlNotification);
        m_activationConnection = connect(graph, &FilterGraph::activationChanged, this,
                                         &TDSTrackBar::onActivationChanged);
    } else {
        setRefresh(false);
    }
}

FilterGraph* TDSTrackBar::filterGraph() const {
    return m_graph;
}

void TDSTrackBar::SetSelStart(int value) {
    m_selStart = value;
    m_selStartSeconds = double(value) * m_timerInterval / 1000.0;
    update();
    emit selectionChanged();
}

void TDSTrackBar::SetSelEnd(int value) {
    m_selEnd = value;
    m_selEndSeconds = double(value) * m_timerInterval / 1000.0;
    update();
    emit selectionChanged();
}

namespace {
int nearestUnit(double seconds, unsigned interval) {
    const double units = seconds * 1000.0 / double(qMax(1u, interval));
    return int(qBound<double>(INT_MIN, segmora::RoundHalfEven(units), INT_MAX));
}
} // namespace

void TDSTrackBar::SetSelStartSeconds(double seconds) {
    m_selStart = nearestUnit(seconds, m_timerInterval);
    m_selStartSeconds = seconds;
    update();
    emit selectionChanged();
}

void TDSTrackBar::SetSelEndSeconds(double seconds) {
    m_selEnd = nearestUnit(seconds, m_timerInterval);
    m_selEndSeconds = seconds;
    update();
    emit selectionChanged();
}

void TDSTrackBar::SetKeyframes(const QVector<double>& seconds) {
    m_keyframes = seconds;
    update();
}

QVector<int> TDSTrackBar::KeyframeTickXs() const {
    // Two pixels apart at least: a dense index reads as evenly spaced ticks, never as a blur.
    constexpr int kMinGap = 3;
    QVector<int> xs;
    if (maximum() <= minimum())
        return xs;
    for (double seconds : m_keyframes) {
        if (m_zoomed && !inView(seconds))
            continue;
        const int x = xOfSeconds(seconds);
        if (xs.isEmpty() || x - xs.last() >= kMinGap)
            xs.append(x);
    }
    return xs;
}

double TDSTrackBar::ViewFrom() const {
    return m_zoomed ? m_viewFrom : double(minimum()) * unitSeconds();
}

double TDSTrackBar::ViewTo() const {
    return m_zoomed ? m_viewTo : double(maximum()) * unitSeconds();
}

double TDSTrackBar::wholeSeconds() const {
    const double bar = double(maximum()) * unitSeconds();
    // The file's own length holds the fraction the whole units leave out.
    return m_graph && m_graph->HasMedia() ? qMax(bar, double(m_graph->Duration()) / 1000.0) : bar;
}

bool TDSTrackBar::inView(double seconds) const {
    return seconds >= ViewFrom() && seconds <= ViewTo();
}

void TDSTrackBar::SetFrameSeconds(double seconds) {
    m_frameSeconds = seconds > 0 ? seconds : 0;
}

void TDSTrackBar::setView(double from, double to) {
    const double whole = wholeSeconds();
    const double least = kLeastFramesInView * (m_frameSeconds > 0 ? m_frameSeconds : 0.04);
    const double span = qMax(least, to - from);
    if (whole <= 0 || span >= whole) {
        if (!m_zoomed)
            return;
        m_zoomed = false;
    } else {
        from = qBound(0.0, from, whole - span);
        if (m_zoomed && from == m_viewFrom && from + span == m_viewTo)
            return;
        m_zoomed = true;
        m_viewFrom = from;
        m_viewTo = from + span;
    }
    update();
    emit viewChanged();
}

void TDSTrackBar::ZoomBy(double factor, double anchorSeconds) {
    if (factor <= 0)
        return;
    const double from = ViewFrom();
    const double span = ViewTo() - from;
    if (span <= 0)
        return;
    const double anchor = qBound(from, anchorSeconds, from + span);
    const double fraction = (anchor - from) / span;
    double newSpan = span / factor;
    // The least span keeps the anchor where it was, not the edge.
    const double least = kLeastFramesInView * (m_frameSeconds > 0 ? m_frameSeconds : 0.04);
    newSpan = qMax(newSpan, least);
    setView(anchor - fraction * newSpan, anchor - fraction * newSpan + newSpan);
}

void TDSTrackBar::ZoomWhole() {
    setView(0, wholeSeconds());
}

void TDSTrackBar::ScrollView(double seconds) {
    if (m_zoomed)
        setView(m_viewFrom + seconds, m_viewTo + seconds);
}

void TDSTrackBar::SetShownSeconds(double seconds) {
    m_shownSeconds = seconds;
    if (m_zoomed && !inView(seconds)) {
        const double span = m_viewTo - m_viewFrom;
        const bool playing = m_refresh;
        // Playing on past the right edge turns a page, so the picture keeps its pace on screen.
        if (playing && seconds > m_viewTo && seconds < m_viewTo + span)
            setView(seconds - span * 0.05, seconds + span * 0.95);
        else
            setView(seconds - span / 2, seconds + span / 2);
    }
    if (m_zoomed)
        update();
}

void TDSTrackBar::SetPaintedRanges(const QString& layer, const QVector<PaintedRange>& ranges) {
    if (ranges.isEmpty())
        m_painted.remove(layer);
    else
        m_painted.insert(layer, ranges);
    update();
}

bool TDSTrackBar::WheelTurned(int notches, bool control, double anchorSeconds) {
    if (control) {
        if (notches != 0)
            ZoomBy(std::pow(2.0, notches), anchorSeconds);
        return true;
    }
    if (!m_zoomed)
        return false;
    // A notch scrolls a zoomed view by a tenth of it; turning towards the user goes on in time.
    ScrollView(-notches * (m_viewTo - m_viewFrom) / 10);
    return true;
}

void TDSTrackBar::wheelEvent(QWheelEvent* event) {
    if (WheelTurned(event->angleDelta().y() / 120, event->modifiers() & Qt::ControlModifier,
                    SecondsAtX(int(event->position().x()))))
        event->accept();
    else
        QAbstractSlider::wheelEvent(event);
}

int TDSTrackBar::ThumbX() const {
    if (!m_zoomed)
        return xOf(value());
    // Where the pointer holds it, else the frame on screen, else its whole unit.
    const double at = m_exactTarget >= 0                   ? m_exactTarget
                      : m_shownSeconds >= 0 && !m_tracking ? m_shownSeconds
                                                           : double(value()) * unitSeconds();
    return xOfSeconds(at);
}

bool TDSTrackBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // Over a painted stretch its own words come first, then the bar's keys.
        const auto* help = static_cast<QHelpEvent*>(event);
        const double seconds = SecondsAtX(help->pos().x());
        QStringList tips;
        for (const QVector<PaintedRange>& layer : m_painted) {
            for (const PaintedRange& range : layer) {
                if (!range.tip.isEmpty() && seconds >= range.from && seconds <= range.to)
                    tips.append(range.tip);
            }
        }
        if (!tips.isEmpty()) {
            tips.append(toolTip());
            QToolTip::showText(help->globalPos(), tips.join(QLatin1Char('\n')), this);
            return true;
        }
    }
    return QAbstractSlider::event(event);
}

void TDSTrackBar::SetFrequency(int value) {
    m_frequency = qMax(0, value);
    update();
}

void TDSTrackBar::SetThumbLength(int value) {
    m_thumbLength = qBound(4, value, 64);
    updateGeometry();
    update();
}

void TDSTrackBar::SetTimerInterval(unsigned milliseconds) {
    m_timerInterval = milliseconds;
    restartTimer();
}

void TDSTrackBar::onControlNotification(int code) {
    if (code == 0)
        setRefresh(isEnabled());
    else if (code == 1 || code == 2)
        setRefresh(false);
}

void TDSTrackBar::onActivationChanged(bool active) {
    m_seeking = active;
}

void TDSTrackBar::setRefresh(bool on) {
    m_refresh = on;
    restartTimer();
}

void TDSTrackBar::restartTimer() {
    m_refreshTimer.stop();
    if (m_refresh && m_timerInterval != 0)
        m_refreshTimer.start(int(qMin<unsigned>(m_timerInterval, INT_MAX)));
}

void TDSTrackBar::RefreshTick() {
    if (!m_seeking || !m_graph || m_tracking || !m_graph->HasMedia() || m_timerInterval == 0)
        return;
    const qint64 length = m_graph->Duration();
    const qint64 position = m_graph->CurrentPosition();
    const qint64 unit = m_timerInterval;
    SetMin(0);
    SetMax(int(qMin<qint64>(length / unit, INT_MAX)));
    SetPosition(int(qMin<qint64>(position / unit, INT_MAX)));
    emit OnTimer(position, length);
}

void TDSTrackBar::MoveThumb(int value) {
    m_exactTarget = -1;
    const int before = Position();
    SetPosition(value);
    if (Position() != before && !m_tracking)
        seekToThumb();
}

qint64 TDSTrackBar::thumbTarget() const {
    // A zoomed bar points at a time finer than its units.
    if (m_zoomed && m_exactTarget >= 0)
        return qint64(std::llround(m_exactTarget * 1000.0));
    // The bar's whole range stands for the whole length, so the end of the bar is the end of
    // the file. A bar of Max 0 (a source shorter than one unit) stands for the start.
    const qint64 max = Max();
    return max <= 0 || !m_graph ? 0 : m_graph->Duration() * qint64(Position()) / max;
}

void TDSTrackBar::scrub() {
    if (!m_seeking || !m_graph || !m_graph->HasMedia())
        return;
    m_scrubPending = true;
    // The first move seeks at once; later ones wait for the tick, which takes the latest.
    if (!m_scrubTimer.isActive())
        ScrubTick();
}

void TDSTrackBar::ScrubTick() {
    if (!m_scrubPending || !m_tracking || !m_seeking || !m_graph)
        return;
    m_scrubPending = false;
    // A keyframe is decoded at once; the exact frame waits for the release.
    const qint64 target = thumbTarget();
    m_graph->SeekToKeyframe(target);
    emit Scrubbed(target, m_graph->Duration());
    m_scrubTimer.start();
}

void TDSTrackBar::seekToThumb() {
    if (!m_seeking || !m_graph)
        return;
    m_scrubTimer.stop();
    m_scrubPending = false;
    const qint64 stop = m_graph->Duration();
    const qint64 target = qMin(thumbTarget(), stop);
    m_exactTarget = -1;
    m_graph->SeekTo(target);
    // Paused, no refresh follows: without this the position label would keep the old time
    // while the picture shows the new one.
    emit OnTimer(target, stop);
}

QRect TDSTrackBar::channelRect() const {
    const int thumb = thumbHeightFor(m_thumbLength);
    const int top =
        qMax(2, (height() - thumb - kTickLength - 2) / 2) + (thumb - kChannelHeight) / 2;
    return {kMargin, top, qMax(1, width() - 2 * kMargin), kChannelHeight};
}

int TDSTrackBar::xOf(int value) const {
    if (m_zoomed)
        return xOfSeconds(double(value) * unitSeconds());
    const QRect channel = channelRect();
    const qint64 span = qint64(maximum()) - minimum();
    if (span <= 0)
        return channel.left();
    const qint64 clamped = qint64(qBound(minimum(), value, maximum())) - minimum();
    return channel.left() + int(clamped * (channel.width() - 1) / span);
}

int TDSTrackBar::xOfSeconds(double seconds) const {
    const QRect channel = channelRect();
    if (m_zoomed) {
        const double fraction = (seconds - m_viewFrom) / (m_viewTo - m_viewFrom);
        return channel.left() + int(std::floor(qBound(0.0, fraction, 1.0) * (channel.width() - 1)));
    }
    const double span = double(maximum()) - minimum();
    if (span <= 0)
        return channel.left();
    const double units = seconds * 1000.0 / double(qMax(1u, m_timerInterval)) - minimum();
    return channel.left() + int(qBound(0.0, units, span) * (channel.width() - 1) / span);
}

double TDSTrackBar::SecondsAtX(int x) const {
    const QRect channel = channelRect();
    const double fraction =
        channel.width() <= 1
            ? 0.0
            : double(qBound(0, x - channel.left(), channel.width() - 1)) / (channel.width() - 1);
    return ViewFrom() + fraction * (ViewTo() - ViewFrom());
}

int TDSTrackBar::valueAt(int x) const {
    if (m_zoomed) {
        const double units = SecondsAtX(x) / unitSeconds();
        return qBound(minimum(), int(std::floor(units)), maximum());
    }
    const QRect channel = channelRect();
    const qint64 span = qint64(maximum()) - minimum();
    if (span <= 0 || channel.width() <= 1)
        return minimum();
    const qint64 offset = qBound(0, x - channel.left(), channel.width() - 1);
    // Nearest unit, so the thumb lands on the value under the pointer.
    return minimum() + int((offset * span + (channel.width() - 1) / 2) / (channel.width() - 1));
}

void TDSTrackBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_tracking = true;
    setSliderDown(true);
    if (m_zoomed)
        m_exactTarget = SecondsAtX(int(event->position().x()));
    SetPosition(valueAt(int(event->position().x())));
    scrub();
    event->accept();
}

void TDSTrackBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_tracking) {
        event->ignore();
        return;
    }
    const int before = value();
    const double exactBefore = m_exactTarget;
    if (m_zoomed)
        m_exactTarget = SecondsAtX(int(event->position().x()));
    SetPosition(valueAt(int(event->position().x())));
    if (value() != before || m_exactTarget != exactBefore) {
        update();
        scrub();
    }
    event->accept();
}

void TDSTrackBar::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasTracking = m_tracking;
    m_tracking = false;
    setSliderDown(false);
    m_scrubTimer.stop();
    m_scrubPending = false;
    if (event->button() == Qt::LeftButton && wasTracking)
        seekToThumb();
    event->accept();
}

void TDSTrackBar::changeEvent(QEvent* event) {
    // A bar disabled while the button is held gets no release: end the tracking here, or the
    // refresh would stay frozen.
    if (event->type() == QEvent::EnabledChange && !isEnabled() && m_tracking) {
        m_tracking = false;
        setSliderDown(false);
    }
    QAbstractSlider::changeEvent(event);
}

void TDSTrackBar::keyPressEvent(QKeyEvent* event) {
    m_exactTarget = -1;
    const int before = value();
    QAbstractSlider::keyPressEvent(event);
    // A thumb moved by the keyboard takes the picture along, or a mark set next would disagree
    // with the picture.
    if (event->isAccepted() && value() != before && !m_tracking)
        seekToThumb();
}

QSize TDSTrackBar::sizeHint() const {
    return {200, minimumSizeHint().height()};
}

QSize TDSTrackBar::minimumSizeHint() const {
    return {2 * kMargin + 20, thumbHeightFor(m_thumbLength) + kTickLength + 8};
}

void TDSTrackBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPalette& pal = palette();
    const QRect channel = channelRect();

    // Channel.
    painter.setPen(pal.color(QPalette::Mid));
    painter.setBrush(pal.color(QPalette::Base));
    painter.drawRect(channel.adjusted(0, 0, -1, -1));

    // Selection: a filled band on the channel with a marker at each end (a zoomed view shows
    // the markers it holds).
    if (m_selEndSeconds > m_selStartSeconds && maximum() > minimum()) {
        const int from = xOfSeconds(m_selStartSeconds);
        const int to = xOfSeconds(m_selEndSeconds);
        const QColor band = isEnabled() ? pal.color(QPalette::Highlight)
                                        : pal.color(QPalette::Disabled, QPalette::Highlight);
        painter.fillRect(QRect(QPoint(from, channel.top() + 1), QPoint(to, channel.bottom() - 1)),
                         band);
        painter.setPen(band.darker(140));
        for (double seconds : {m_selStartSeconds, m_selEndSeconds}) {
            if (!m_zoomed || inView(seconds)) {
                const int x = xOfSeconds(seconds);
                painter.drawLine(x, channel.top() - 3, x, channel.bottom() + 3);
            }
        }
    }
    // Stretches of other users, over the band: their colour on the channel's lower half and
    // an edge at their start.
    if (maximum() > minimum()) {
        for (const QVector<PaintedRange>& layer : m_painted) {
            for (const PaintedRange& range : layer) {
                if (range.to < ViewFrom() || range.from > ViewTo())
                    continue;
                const int from = xOfSeconds(range.from);
                const int to = qMax(from + 1, xOfSeconds(range.to));
                const QColor color = isEnabled() ? range.color : range.color.lighter(150);
                painter.fillRect(
                    QRect(QPoint(from, channel.center().y()), QPoint(to, channel.bottom() - 1)),
                    color);
                if (inView(range.from)) {
                    painter.setPen(color.darker(130));
                    painter.drawLine(from, channel.top() - 2, from, channel.bottom() + 2);
                }
            }
        }
    }
    // Keyframes: short ticks above the channel.
    painter.setPen(pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Mid));
    for (int x : KeyframeTickXs())
        painter.drawLine(x, channel.top() - 4, x, channel.top() - 2);
    // A start mark on a keyframe carries a notch: a lossless cut starts exactly there.
    if (m_selStartSeconds > 0 && (!m_zoomed || inView(m_selStartSeconds)) &&
        segmora::IsKeyframeTime(m_keyframes, m_selStartSeconds)) {
        const int x = xOfSeconds(m_selStartSeconds);
        painter.setBrush(pal.color(QPalette::Highlight).darker(140));
        const QPoint notch[] = {
            {x - 3, channel.top() - 7}, {x + 3, channel.top() - 7}, {x, channel.top() - 3}};
        painter.drawPolygon(notch, 3);
    }

    // Tick marks below the channel, one every Frequency units, plus both ends.
    const int thumbHeight = thumbHeightFor(m_thumbLength);
    const int thumbTop = channel.center().y() - thumbHeight / 2;
    const int tickTop = thumbTop + thumbHeight + 1;
    painter.setPen(
        pal.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    if (!m_zoomed) {
        const qint64 span = qint64(maximum()) - minimum();
        if (m_frequency > 0 && span > 0 && span / m_frequency < channel.width() / 2) {
            for (qint64 v = minimum(); v < maximum(); v += m_frequency)
                painter.drawLine(xOf(int(v)), tickTop, xOf(int(v)), tickTop + kTickLength - 1);
        }
        painter.drawLine(xOf(maximum()), tickTop, xOf(maximum()), tickTop + kTickLength - 1);
    } else if (m_frequency > 0) {
        // The ticks the view holds, as long as they stand apart.
        const double step = double(m_frequency) * unitSeconds();
        if ((m_viewTo - m_viewFrom) / step < channel.width() / 2) {
            for (double t = std::ceil(m_viewFrom / step) * step; t <= m_viewTo; t += step)
                painter.drawLine(xOfSeconds(t), tickTop, xOfSeconds(t), tickTop + kTickLength - 1);
        }
    }

    // Thumb: at its whole unit, or at the exact time on a zoomed bar.
    const int x = ThumbX();
    const QRect thumb(x - kThumbWidth / 2, thumbTop, kThumbWidth, thumbHeight);
    painter.setPen(pal.color(QPalette::Dark));
    QColor face = pal.color(QPalette::Button);
    if (!isEnabled())
        face = pal.color(QPalette::Disabled, QPalette::Button);
    else if (m_tracking)
        face = face.darker(115);
    painter.setBrush(face);
    painter.drawRect(thumb.adjusted(0, 0, -1, -1));

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}
