// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small widgets of the main window: clickable labels and panels, the picture view used
// for thumbnails and the frame view, and the balloon hint.

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QPainterPath>
#include <QRadioButton>
#include <QSpinBox>
#include <QWidget>

class QTimer;

namespace vorlane {

// A label that reports a left-button click.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr) : QLabel(parent) {}
Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A plain panel with a solid background colour that reports a left-button click.
class ClickPanel : public QFrame {
    Q_OBJECT
public:
    explicit ClickPanel(QWidget* parent = nullptr);
    void setColor(const QColor& color);
    QColor color() const { return m_color; }
    // A frame of this colour around the panel, inside its edge (none when invalid).
    void setMark(const QColor& color);
    QColor mark() const { return m_mark; }
Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor m_color;
    QColor m_mark;
};

// Shows a picture centred at a zoom factor with nearest-neighbour resampling over a
// background colour; transparent pixels let the background show through. The scaled
// picture is made once when the picture or the zoom is set, so painting costs a copy. A
// zoomed picture is made at the screen's device pixels, so that a thumbnail on a scaled
// screen shows the detail the screen can show instead of being enlarged afterwards.
// The preview's frame view instead magnifies at painting time (setZoom), only the part
// it paints, since a large frame at 800 % would not fit in memory whole; there a
// checkerboard may show where the picture is transparent.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture, float scale = 1.0f);
    // The same with the picture already made at the zoom and the screen's device pixels
    // (a cached thumbnail), which is shown as it is.
    void setPicture(const QImage& picture, float scale, const QImage& prepared);
    void clearPicture();
    bool hasPicture() const { return !m_source.isNull(); }
    // The picture as given (before scaling).
    const QImage& picture() const { return m_source; }
    float scale() const { return m_scale; }
    // The rectangle the picture is drawn in, in widget coordinates.
    QRect pictureRect() const;

    void setBackground(const QColor& color);
    QColor background() const { return m_background; }
    // The view's zoom of a picture set at scale 1, applied as it is painted (1: 100 %).
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // A checkerboard under the picture, seen where it is transparent.
    void setCheckerboard(bool on);

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void render();

    QImage m_source;
    QImage m_shown; // m_source at the zoom and device pixels, premultiplied for painting
    float m_scale = 1.0f;
    double m_zoom = 1.0;
    bool m_checkerboard = false;
    QColor m_background;
};

// A spin field that takes every digit typed: a number above the maximum becomes the
// maximum at once, where the user sees it, instead of the keystroke being dropped
// (typing 70000 into a field that ends at 65535 would otherwise store 7000).
class ClampingSpinBox : public QSpinBox {
    Q_OBJECT
public:
    explicit ClampingSpinBox(QWidget* parent = nullptr) : QSpinBox(parent) {}
    // Shows no number (the value stays) until the user types or steps: several values
    // stand behind the field.
    void setBlank(bool blank);
    bool blank() const { return m_blank; }

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    QString textFromValue(int value) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void stepBy(int steps) override;

private:
    bool m_blank = false;
};

// A radio button whose caption holds a run of blanks where another control stands (the
// count field of "Stop after              iterations"). The caption stays as it is; the
// run of blanks is drawn as a gap of the width the control needs.
class GapRadioButton : public QRadioButton {
    Q_OBJECT
public:
    GapRadioButton(const QString& caption, QWidget* parent = nullptr);
    // Width of the gap in pixels; where it begins, from the button's left edge.
    void setGapWidth(int width);
    int gapLeft() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The caption before and after its run of blanks.
    QString m_before;
    QString m_after;
    int m_gap = 0;
};

// A hint window with a pointer, shown next to a widget for a while.
class BalloonHint : public QWidget {
    Q_OBJECT
public:
    explicit BalloonHint(QWidget* parent);
    // Shows `text` pointing at the middle of the bottom edge of `target`; hides itself
    // after `timeoutMs` or on a click.
    void showAt(QWidget* target, const QString& text, int timeoutMs);
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPainterPath outline() const;

    QString m_text;
    QTimer* m_hideTimer;
};

} // namespace vorlane
