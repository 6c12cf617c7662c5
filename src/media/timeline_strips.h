// The strips along the position bar: the sound's loudness (with its silences) and small
// pictures of the keyframes (with black frames and scene changes), for the stretch the bar
// shows, so a cut point can be found by looking.
//
// A strip paints what it has been given and follows the bar's view and width: each of its
// columns stands for the same time as the bar's channel above or below it. A strip without
// data yet paints its empty background. Clicking a strip puts the picture at the time under
// the pointer, the wheel zooms and scrolls as on the bar, and the tool tip tells that time.
// Threading: UI thread only.
#pragma once

#include "media/timeline_scan.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class TDSTrackBar;

namespace segmora {

class TimelineStrip : public QWidget {
    Q_OBJECT
public:
    enum class Kind { Waveform, Thumbnails };
    TimelineStrip(Kind kind, TDSTrackBar* bar, QWidget* parent = nullptr);

    Kind kind() const { return m_kind; }
    void SetSound(std::shared_ptr<const SoundScan> sound);
    void SetPictures(std::shared_ptr<const PictureScan> pictures);
    // Forgets what it was given (another source opens).
    void Clear();
    bool HasData() const;

    // The time painted at a column of the strip, as the bar maps it.
    double SecondsAtX(int x) const;
    int XOfSeconds(double seconds) const;
    // The tool tip's text at a column: the time under it, and what is there.
    QString TipAt(int x) const;

    // Asked to show the frame at a time (a click on the strip).
    void SetSeekHandler(std::function<void(double)> handler) { m_seek = std::move(handler); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void paintWaveform(QPainter& painter);
    void paintThumbnails(QPainter& painter);
    void paintPlayhead(QPainter& painter);
    // The horizontal offset from the bar's coordinates to the strip's.
    int offset() const;

    // What the cached picture of the strip was drawn for.
    struct Painted {
        QSize size;
        int left = 0;
        int right = 0;
        double from = 0;
        double to = 0;
        bool operator==(const Painted& other) const = default;
    };

    Kind m_kind;
    QPointer<TDSTrackBar> m_bar;
    QPixmap m_painted;
    Painted m_paintedFor;
    std::shared_ptr<const SoundScan> m_sound;
    std::shared_ptr<const PictureScan> m_pictures;
    std::function<void(double)> m_seek;
};

} // namespace segmora
