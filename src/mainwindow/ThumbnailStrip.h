// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The thumbnail strip (`pnlFrames`): the "Images" header bar, the small tool bar with
// "Add image" and "Remove image", and the row of four slots over the scroll gauge
// `ImageScroll`. Slot i (1..4) shows frame p + i - 1, where p is the gauge position. The
// strip draws and highlights; what a pick or a scroll means is the window's business
// (it listens to slotClicked and to the gauge).

#include <array>

#include <QPoint>
#include <QSet>
#include <QTimer>
#include <QWidget>

class QLabel;
class QMimeData;
class QScrollBar;
class QToolBar;
class QToolButton;

namespace vorlane {

class ClickPanel;
class FrameListModel;
class HeaderBar;
class PictureView;

class ThumbnailStrip : public QWidget {
    Q_OBJECT
public:
    // Under a light palette; a dark one has its own (barColours).
    static constexpr QRgb HighlightColor = 0xFFBFDBFF; // RGB(191, 219, 255)
    static constexpr int Slots = 4;
    // The type under which frames dragged in the strip travel (their rows).
    static inline const QString FrameDragType = QStringLiteral("application/x-vorlane-frame-rows");

    explicit ThumbnailStrip(QWidget* parent = nullptr);

    HeaderBar* header() const { return m_header; }
    QToolBar* toolBar() const { return m_toolBar; }
    QToolButton* addButton() const { return m_add; }
    QToolButton* removeButton() const { return m_remove; }
    QScrollBar* gauge() const { return m_gauge; }
    QWidget* row() const { return m_row; }

    // Gauge position p.
    int position() const;
    // The gauge's range for n frames: enabled with maximum n - 4 for n >= 5, else
    // disabled with maximum and position 0. Lowering the maximum below the position
    // moves the gauge (its valueChanged is emitted).
    void setFrameCount(int frames);
    // Moves the gauge (valueChanged is emitted when the position changes).
    void setPosition(int p);

    // Redraws the four slots from the gauge position for the first `frames` frames of
    // the list: slots beyond the last frame are hidden, the others show the frame's
    // thumbnail fitted to the slot.
    void drawFrames(const FrameListModel* list, int frames);
    // Marks the slots that show these frames as selected (a frame around the slot, apart
    // from the highlight of the current frame's slot).
    void markSelected(const QSet<int>& frames);
    bool slotMarked(int slot) const;
    // Hides all four slots.
    void clearFrames();
    // Badge texts p + 1 .. p + 4.
    void setBadges(int p);

    // Highlights slot i (1..4): its click area and badge take the highlight colour, the
    // other slots' click areas the button face and their badges black (the colours of
    // barColours for the strip's palette).
    void highlight(int slot);
    // The slot last highlighted, 0 when none yet.
    int highlighted() const { return m_highlighted; }

    // Whether slot i's click area is hidden.
    bool slotHidden(int slot) const;

    // Set while the scroll handler runs: a change of the current frame then never moves
    // the gauge.
    bool scrolling() const { return m_scrolling; }
    void setScrolling(bool on) { m_scrolling = on; }

    // How many times a slot picture was drawn since the strip was made; a change of the
    // current frame alone draws none.
    int slotDraws() const { return m_slotDraws; }

    // Centres the row (and the tool bar with it) in the strip's width.
    void centreRow();

    // The frame a drop at `pos` (strip coordinates) goes in front of: the frame of the
    // slot under it, or the one after when the drop is on the slot's right half.
    int dropIndex(QPoint pos, int frames) const;
    // Where the insertion marker stands, -1 when none (a drag is not over the strip).
    int dropMarker() const { return m_dropIndex; }

Q_SIGNALS:
    // A slot's click area or picture was clicked (1..4), with the keys held then.
    void slotClicked(int slot, Qt::KeyboardModifiers modifiers);
    // A slot's frame is being dragged away.
    void dragRequested(int slot);
    // Something was dropped in front of frame `index`; `copy`: Ctrl was held.
    void dropped(const QMimeData* data, int index, bool copy);
    // Keys while the strip has the focus: Left or Right (by `step`), extending the
    // selection with Shift; Ctrl+A; Esc.
    void navigateRequested(int step, bool extend);
    void selectAllRequested();
    void reduceRequested();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The wheel over the slots scrolls the strip one frame a notch, as over the gauge.
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct Slot {
        ClickPanel* area = nullptr;
        PictureView* picture = nullptr;
        ClickPanel* badge = nullptr;
        QLabel* badgeLabel = nullptr;
    };
    void placeBadge(Slot& slot);
    void applyMarks();
    void showDropMarker(int index);
    // While a drag is near an end of the row, the strip scrolls that way.
    void dragScroll();

    HeaderBar* m_header;
    QToolBar* m_toolBar;
    QToolButton* m_add;
    QToolButton* m_remove;
    QWidget* m_row;
    QScrollBar* m_gauge;
    int m_wheelRest = 0; // wheel movement not yet turned into a step
    std::array<Slot, Slots> m_slots;
    int m_highlighted = 0;
    bool m_scrolling = false;
    int m_slotDraws = 0;
    int m_frames = 0; // frames the slots were last drawn for
    QSet<int> m_selected;
    // A press on a slot that may become a drag.
    int m_pressedSlot = 0;
    QPoint m_pressedAt;
    bool m_dragging = false;
    int m_dropIndex = -1;
    QWidget* m_dropMarker;
    QTimer m_dragScroll;
    int m_dragScrollStep = 0;
};

} // namespace vorlane
