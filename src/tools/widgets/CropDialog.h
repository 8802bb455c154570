// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Crop dialog: the current frame's picture with the rectangle to keep, drawn and
// adjusted with the mouse (`CropView`), and the same rectangle typed as X, Y, width and
// height.

#include <QRect>
#include <QWidget>

#include "tools/widgets/ToolDialogs.h"

class QComboBox;
class QScrollArea;

namespace vorlane {

// A picture at a zoom with a rectangle on it. Dragging outside the rectangle draws a new
// one, dragging inside moves it, dragging one of its eight handles moves that edge or
// corner. Rectangle edges fall on pixel edges: a point of the view maps to the nearest
// edge between picture pixels. Ctrl and the wheel zoom.
class CropView : public QWidget {
    Q_OBJECT
public:
    // Room around the picture, so that the handles on its border can be taken.
    static constexpr int Margin = 10;
    // How far from a handle's centre a press still takes it.
    static constexpr int Grip = 6;

    explicit CropView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // Where the picture's top-left corner is in the view.
    QPoint pictureOrigin() const { return QPoint(Margin, Margin); }
    // The pixel edge nearest to a point of the view, within the picture.
    QPoint edgeAt(QPoint view) const;

    // The rectangle in picture pixels.
    QRect selection() const { return m_rect; }
    void setSelection(const QRect& rect);

Q_SIGNALS:
    // The user drew, moved or resized the rectangle.
    void selectionEdited(const QRect& rect);
    // Ctrl and the wheel asked for `steps` zoom levels more (< 0: fewer).
    void zoomRequested(int steps);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    enum Edge { Left = 1, Top = 2, Right = 4, Bottom = 8 };
    enum class Drag { None, Draw, Move, Edges };
    QRect viewRect() const;
    // The edges (Edge bits) of the handle at a view point; 0 for none.
    int handleAt(QPoint view) const;
    void updateCursor(QPoint view);

    QImage m_picture; // premultiplied, for painting
    double m_zoom = 1.0;
    QRect m_rect;
    Drag m_drag = Drag::None;
    int m_edges = 0;
    QPoint m_anchor; // Draw: the fixed corner (an edge point); Move: the press point's edge
    QRect m_startRect;
    int m_wheel = 0;
};

class TCropDialog : public ToolDialogBase {
    Q_OBJECT
public:
    // The zoom choices: fit, then these levels.
    static constexpr double Zooms[] = {1, 2, 4, 8};

    explicit TCropDialog(QWidget* parent = nullptr);
    tools::Operation operation() const override;
    CropView* view() const { return m_view; }
    // Sets the rectangle as typing it would.
    void setSelection(const QRect& rect);

protected:
    void configured() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showSelection(const QRect& rect);
    void fieldsChanged();
    void zoomChosen(int index);
    void fit();

    CropView* m_view;
    QScrollArea* m_scroll;
    QComboBox* m_zoom;
    QSpinBox* m_x;
    QSpinBox* m_y;
    QSpinBox* m_w;
    QSpinBox* m_h;
};

} // namespace vorlane
