// Buttons drawn from pictures: the playback and marking buttons and the round Start/Cancel ones.
//
// To assistive technology they are plain push buttons named by their hint, with a press action;
// a press without a pointer (keyboard Space, the accessible press action, click()) counts as a
// press at the centre, so it is always inside the round buttons' circle.
// Threading: UI thread only.
#pragma once

#include <QAbstractButton>
#include <QString>
#include <array>
#include <memory>

class QSvgRenderer;

namespace segmora {

// Makes the artwork (":/artwork/...") available; the library holds it, and a static library's
// resources are only linked in when something refers to them. Safe to call any number of times.
void EnsureArtwork();

class PictureButton : public QAbstractButton {
    Q_OBJECT
public:
    // Which of the three pictures is drawn.
    enum class Look { Normal = 0, Hover = 1, Pressed = 2 };

    explicit PictureButton(QWidget* parent = nullptr);
    ~PictureButton() override;

    // Pictures by resource or file path (SVG). An empty hover picture means the normal one is
    // shown while the pointer rests on the button.
    void setPictures(const QString& normal, const QString& pressed, const QString& hover = {});
    QString picture(Look look) const;

    // The hint is the name assistive technology reads out, exactly as given, and the tool tip.
    void setHint(const QString& hint);
    QString hint() const { return accessibleName(); }
    // A key that does the same as the button: shown after the hint in the tool tip
    // ("Play (Space)") and given to assistive technology as the description ("Key: Space");
    // the accessible name stays the hint alone. Empty: none.
    void setKeyHint(const QString& key);

    // The picture painted right now.
    virtual Look look() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void updateToolTip();

    QString m_key;
    std::array<QString, 3> m_paths;
    std::array<std::unique_ptr<QSvgRenderer>, 3> m_renderers;
};

// A round picture button (110 x 110): hover and pressed pictures follow the pointer inside a
// circle of radius sqrt(2352) (about 48.5 pixels) around the centre.
//
// Tag holds the look: 0 normal, 1 hover, 2 pressed. A pointer move outside the circle returns
// it to 0, a move inside turns 0 into 1 (1 and 2 stay), a press anywhere on the picture gives 2
// and a release 1. Leaving the button, or ResetLook() (the surrounding panels call it when the
// pointer moves over them), gives 0.
//
// With ClickArea::Circle a mouse press in the corners outside the circle is ignored, so
// clicked() only fires for a press inside it; ClickArea::Whole accepts the whole square.
class CircularPictureButton : public PictureButton {
    Q_OBJECT
public:
    static constexpr int kCircleRadiusSquared = 2352;
    enum class ClickArea { Circle, Whole };

    explicit CircularPictureButton(QWidget* parent = nullptr);

    void setClickArea(ClickArea area) { m_clickArea = area; }
    ClickArea clickArea() const { return m_clickArea; }

    int Tag() const { return m_tag; }
    void SetTag(int tag);
    // Back to the normal picture (Tag 0).
    void ResetLook() { SetTag(0); }

    // Whether a point in the button's own coordinates lies inside the circle.
    bool insideCircle(const QPoint& point) const;

    Look look() const override;

protected:
    bool hitButton(const QPoint& pos) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    ClickArea m_clickArea = ClickArea::Circle;
    int m_tag = 0;
    bool m_mouseHeld = false;
};

} // namespace segmora
