// The position bar: a painted track bar with a marked selection, bound to the media graph.
//
// It counts whole units of TimerInterval milliseconds (one second by default). While the graph
// plays it refreshes once per TimerInterval from the graph's position and raises OnTimer; while
// the left button drags the thumb, the graph shows the keyframe before it, at most once per
// kScrubInterval ms so the UI thread stays free, and Scrubbed tells the thumb's time; a
// release of the left button seeks the graph exactly to the thumb and raises OnTimer with it;
// Page Up and Page Down move the thumb and seek there (the arrows, Home and End are the
// window's seek keys, which act the same whether the bar has the focus or not).
//
// Zoom: the bar shows the whole source (Min..Max units) until it is zoomed; then it shows a
// stretch of it, in seconds, down to a few frames, and the thumb, the ticks and the marks stand
// at their exact times within that stretch. Ctrl+wheel zooms around the pointer, the wheel
// alone scrolls a zoomed view. The strips along the bar follow its view (viewChanged).
// Threading: UI thread only.
#pragma once

#include <QAbstractSlider>
#include <QColor>
#include <QMap>
#include <QPointer>
#include <QTimer>
#include <QVector>

class FilterGraph;

// A stretch painted on the channel in a colour of its own (a clip of a cut list, where a
// lossless cut really starts), above the marked range.
struct PaintedRange {
    double from = 0; // seconds
    double to = 0;
    QColor color;
    QString tip; // told by the bar's tool tip over the stretch; may be empty
};

class TDSTrackBar : public QAbstractSlider {
    Q_OBJECT
public:
    explicit TDSTrackBar(QWidget* parent = nullptr);
    ~TDSTrackBar() override;

    // The graph it follows and seeks; null unbinds.
    void SetFilterGraph(FilterGraph* graph);
    FilterGraph* filterGraph() const;

    int Min() const { return minimum(); }
    void SetMin(int value) { setMinimum(value); }
    // Initially 10, until the first refresh.
    int Max() const { return maximum(); }
    void SetMax(int value) { setMaximum(value); }
    int Position() const { return value(); }
    void SetPosition(int value) { setValue(value); }
    // The marked range, painted on the channel; not clamped to Min..Max.
    int SelStart() const { return m_selStart; }
    void SetSelStart(int value);
    int SelEnd() const { return m_selEnd; }
    void SetSelEnd(int value);
    // The marked range in seconds, as exact as the marks are: SelStart and SelEnd become the
    // nearest whole units (halves to even) and the band is painted from the exact times.
    // SetSelStart and SetSelEnd set whole units exactly.
    double SelStartSeconds() const { return m_selStartSeconds; }
    void SetSelStartSeconds(double seconds);
    double SelEndSeconds() const { return m_selEndSeconds; }
    void SetSelEndSeconds(double seconds);
    // Keyframe times in seconds, sorted; shown as short ticks above the channel, thinned so
    // that no two ticks come closer than a few pixels. A start mark on a keyframe is drawn
    // with a notch on top.
    void SetKeyframes(const QVector<double>& seconds);
    const QVector<double>& Keyframes() const { return m_keyframes; }
    // The x of each keyframe tick as painted at the bar's present width.
    QVector<int> KeyframeTickXs() const;
    // A tick mark every Frequency units (0: none).
    int Frequency() const { return m_frequency; }
    void SetFrequency(int value);
    // The thumb's length across the channel, in pixels.
    int ThumbLength() const { return m_thumbLength; }
    void SetThumbLength(int value);
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool enabled) { setEnabled(enabled); }
    // Refresh period and length of one unit in milliseconds (1000); 0 stops refreshing.
    unsigned TimerInterval() const { return m_timerInterval; }
    void SetTimerInterval(unsigned milliseconds);

    // Whether the periodic refresh runs (between Play and the next Pause or Stop).
    bool Refreshing() const { return m_refreshTimer.isActive(); }
    // Whether the left button is held on the bar.
    bool Tracking() const { return m_tracking; }

    // Puts the thumb at value and the picture with it (the keyboard's and assistive
    // technology's move).
    void MoveThumb(int value);

    // How often a drag of the thumb seeks at most, in milliseconds.
    static constexpr int kScrubInterval = 80;
    // One step of the drag's throttle, as its timer does it: when the thumb moved since the last
    // keyframe seek and is still held, seeks to its keyframe and raises Scrubbed.
    void ScrubTick();
    // Whether a move of the thumb waits for the throttle's next tick.
    bool ScrubPending() const { return m_scrubPending; }

    // One refresh, as the timer does it: Min 0, Max and Position from the graph's length and
    // position in whole units (truncated), then OnTimer. Does nothing without an active graph
    // holding a file, or while the left button is held.
    void RefreshTick();

    // ---- zoom ----
    // The stretch shown, in seconds: Min..Max units while not zoomed.
    double ViewFrom() const;
    double ViewTo() const;
    bool Zoomed() const { return m_zoomed; }
    // The length of one frame of the source (0: unknown, a twenty-fifth of a second is taken):
    // the view never shows fewer than kLeastFramesInView of them.
    void SetFrameSeconds(double seconds);
    static constexpr int kLeastFramesInView = 8;
    // Narrows the view by factor (> 1) or widens it (< 1) so that anchorSeconds keeps its
    // place on the bar; a view as wide as the source is the whole again (zoom 1).
    void ZoomBy(double factor, double anchorSeconds);
    void ZoomWhole();
    // Moves a zoomed view by seconds, never past either end of the source.
    void ScrollView(double seconds);
    // The time of the frame on screen: where a zoomed bar paints the thumb. A zoomed view that
    // does not hold it follows: a page on when it runs off the right edge while playing,
    // centred on it otherwise.
    void SetShownSeconds(double seconds);
    // The x of a time on the channel and the time under an x, at the present view and width.
    int XOfSeconds(double seconds) const { return xOfSeconds(seconds); }
    double SecondsAtX(int x) const;
    // The x of the thumb's middle as painted.
    int ThumbX() const;
    // A turn of the wheel by notches (towards the user negative) with the time under the
    // pointer: with control it zooms around that time, without it scrolls a zoomed view.
    // Returns false when it did neither (an unzoomed bar without control).
    bool WheelTurned(int notches, bool control, double anchorSeconds);
    // The channel's place in the bar.
    QRect ChannelRect() const { return channelRect(); }

    // Stretches painted on the channel, by layer (each user of the bar keeps its own layer).
    void SetPaintedRanges(const QString& layer, const QVector<PaintedRange>& ranges);
    QVector<PaintedRange> PaintedRanges(const QString& layer) const {
        return m_painted.value(layer);
    }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The view moved or was zoomed.
    void viewChanged();
    // The marked range changed.
    void selectionChanged();
    // After each refresh and each seek on release: the playing position (or the seek's
    // target) and the length, in milliseconds.
    void OnTimer(qint64 currentPos, qint64 stopPos);
    // While the thumb is dragged: the time it stands for and the length, in milliseconds.
    void Scrubbed(qint64 thumbPos, qint64 stopPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The length of the whole source in seconds, as far as the bar knows it.
    double wholeSeconds() const;
    double unitSeconds() const { return double(qMax(1u, m_timerInterval)) / 1000.0; }
    bool inView(double seconds) const;
    void setView(double from, double to);
    void onControlNotification(int code);
    void onActivationChanged(bool active);
    void setRefresh(bool on);
    void restartTimer();
    void seekToThumb();
    // The time the thumb stands for, in milliseconds of the graph's file.
    qint64 thumbTarget() const;
    void scrub();
    int valueAt(int x) const;
    int xOf(int value) const;
    int xOfSeconds(double seconds) const;
    QRect channelRect() const;

    QPointer<FilterGraph> m_graph;
    QMetaObject::Connection m_notifyConnection;
    QMetaObject::Connection m_activationConnection;
    QTimer m_refreshTimer;
    QTimer m_scrubTimer;
    bool m_scrubPending = false;
    bool m_seeking = false; // holds the graph's seeking (the graph is active)
    bool m_refresh = false;
    bool m_tracking = false;
    int m_selStart = 0;
    int m_selEnd = 0;
    double m_selStartSeconds = 0;
    double m_selEndSeconds = 0;
    QVector<double> m_keyframes;
    bool m_zoomed = false;
    double m_viewFrom = 0;
    double m_viewTo = 0;
    double m_frameSeconds = 0;
    double m_shownSeconds = -1;
    double m_exactTarget = -1; // the time a click or drag on a zoomed bar points at
    QMap<QString, QVector<PaintedRange>> m_painted;
    int m_frequency = 1;
    int m_thumbLength = 20;
    unsigned m_timerInterval = 1000;
};
