// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/ThumbnailStrip.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include "document/FrameListModel.h"
#include "mainwindow/HeaderBar.h"
#include "mainwindow/Icons.h"
#include "mainwindow/ViewMath.h"
#include "mainwindow/Widgets.h"

namespace vorlane {

namespace {
// Design-time geometry of the row panel `Panel1`.
constexpr int RowWidth = 536;
constexpr int RowHeight = 137;
constexpr int SlotLeft[ThumbnailStrip::Slots] = {6, 139, 270, 401};
constexpr int SlotTop = 4;
constexpr int AreaHeight = 113;
constexpr int PictureHeight = 108;
constexpr int BadgeWidth = 17;
constexpr int BadgeHeight = 14;
constexpr int GaugeTop = 122;
constexpr int GaugeWidth = 518;
constexpr int GaugeHeight = 12;

// Slot 1 is one pixel wider than the others, as designed.
int areaWidth(int index) {
    return index == 0 ? 126 : 125;
}
int pictureWidth(int index) {
    return index == 0 ? 121 : 120;
}
} // namespace

ThumbnailStrip::ThumbnailStrip(QWidget* parent)
    : QWidget(parent),
      m_header(new HeaderBar(QStringLiteral("Panel12"), QStringLiteral("headframesimage"),
                             QStringLiteral("headframeslab"), QStringLiteral("Images"), this)),
      m_toolBar(new QToolBar(this)), m_add(new QToolButton(m_toolBar)),
      m_remove(new QToolButton(m_toolBar)), m_row(new QWidget(this)),
      m_gauge(new QScrollBar(Qt::Horizontal, m_row)) {
    setObjectName(QStringLiteral("pnlFrames"));
    m_header->setCursor(Qt::ArrowCursor);

    m_toolBar->setObjectName(QStringLiteral("ToolBar2"));
    m_toolBar->setIconSize(QSize(20, 20));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_add->setObjectName(QStringLiteral("addbtn"));
    m_add->setText(QStringLiteral("Add image"));
    m_add->setToolTip(QStringLiteral("Add image"));
    m_add->setIcon(icons::themed(QStringLiteral("insert-image"), QStringLiteral("add-image")));
    m_add->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_remove->setObjectName(QStringLiteral("sup"));
    m_remove->setText(QStringLiteral("Remove image"));
    m_remove->setToolTip(QStringLiteral("Remove image"));
    m_remove->setIcon(icons::themed(QStringLiteral("edit-delete"), QStringLiteral("remove-image")));
    m_remove->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolBar->addWidget(m_add);
    m_toolBar->addWidget(m_remove);

    m_row->setObjectName(QStringLiteral("Panel1"));
    m_row->setFixedSize(RowWidth, RowHeight);

    const QColor face = palette().color(QPalette::Button);
    for (int i = 0; i < Slots; ++i) {
        Slot& slot = m_slots[size_t(i)];
        const QString n = QString::number(i + 1);
        slot.area = new ClickPanel(m_row);
        slot.area->setObjectName(QStringLiteral("PB") + n);
        slot.area->setGeometry(SlotLeft[i], SlotTop, areaWidth(i), AreaHeight);
        slot.area->setColor(face);
        slot.area->setCursor(Qt::PointingHandCursor);

        slot.picture = new PictureView(m_row);
        slot.picture->setObjectName(QStringLiteral("P") + n);
        slot.picture->setGeometry(SlotLeft[i] + (areaWidth(i) - pictureWidth(i)) / 2,
                                  SlotTop + (AreaHeight - PictureHeight) / 2, pictureWidth(i),
                                  PictureHeight);
        slot.picture->setBackground(face);
        slot.picture->setCursor(Qt::PointingHandCursor);

        slot.badge = new ClickPanel(m_row);
        slot.badge->setObjectName(QStringLiteral("PN") + n);
        slot.badgeLabel = new QLabel(n, slot.badge);
        slot.badgeLabel->setObjectName(QStringLiteral("PNL") + n);
        slot.badgeLabel->setAlignment(Qt::AlignCenter);
        QFont small = slot.badgeLabel->font();
        small.setPixelSize(10);
        slot.badgeLabel->setFont(small);
        placeBadge(slot);

        const auto clicked = [this, i] {
            setFocus(Qt::MouseFocusReason);
            Q_EMIT slotClicked(i + 1, QGuiApplication::keyboardModifiers());
        };
        connect(slot.area, &ClickPanel::clicked, this, clicked);
        connect(slot.picture, &PictureView::clicked, this, clicked);
        slot.area->installEventFilter(this);
        slot.picture->installEventFilter(this);
    }
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    m_dropMarker = new QWidget(m_row);
    m_dropMarker->setObjectName(QStringLiteral("DropMarker"));
    m_dropMarker->setAutoFillBackground(true);
    m_dropMarker->hide();
    m_dragScroll.setInterval(250);
    connect(&m_dragScroll, &QTimer::timeout, this, &ThumbnailStrip::dragScroll);

    highlight(0); // the badges' colours

    m_gauge->setObjectName(QStringLiteral("ImageScroll"));
    m_gauge->setGeometry(SlotLeft[0], GaugeTop, GaugeWidth, GaugeHeight);
    m_gauge->setRange(0, 0);
    m_gauge->setPageStep(Slots);
    m_gauge->setSingleStep(1);
    m_gauge->setTracking(true);
    m_gauge->setEnabled(false);

    const int stripHeight = HeaderBar::Height + m_toolBar->sizeHint().height() + RowHeight;
    setMinimumSize(RowWidth, stripHeight);
    setFixedHeight(stripHeight);
}

void ThumbnailStrip::placeBadge(Slot& slot) {
    // The badge sits in the picture's bottom-left corner and widens to hold numbers of
    // more than two digits.
    const int textWidth = slot.badgeLabel->fontMetrics().horizontalAdvance(slot.badgeLabel->text());
    const int width = std::max(BadgeWidth, textWidth + 4);
    const QRect picture = slot.picture->geometry();
    slot.badge->setGeometry(picture.left(), picture.bottom() + 1 - BadgeHeight, width, BadgeHeight);
    slot.badgeLabel->setGeometry(0, 0, width, BadgeHeight);
}

int ThumbnailStrip::position() const {
    return m_gauge->value();
}

void ThumbnailStrip::setFrameCount(int frames) {
    if (frames > Slots) {
        m_gauge->setMaximum(frames - Slots);
        m_gauge->setEnabled(true);
    } else {
        m_gauge->setEnabled(false);
        m_gauge->setMaximum(0); // pulls the position to 0, which runs the scroll handler
        m_gauge->setValue(0);
    }
}

void ThumbnailStrip::setPosition(int p) {
    m_gauge->setValue(p);
}

void ThumbnailStrip::drawFrames(const FrameListModel* list, int frames) {
    const int n = list ? std::min(frames, list->rowCount()) : 0;
    m_frames = n;
    const int p = position();
    for (int i = 0; i < Slots; ++i) {
        Slot& slot = m_slots[size_t(i)];
        const int frame = p + i;
        if (frame >= n) {
            slot.area->hide();
            slot.picture->hide();
            slot.badge->hide();
            continue;
        }
        slot.area->show();
        slot.area->raise();
        slot.picture->show();
        slot.picture->raise();
        slot.badge->show();
        slot.badge->raise();
        const QImage own = list->picture(frame);
        const float scale = thumbnailScale(own.size(), slot.picture->size());
        // At zoom 1 the view shows the picture pixel for pixel; a zoomed one at the
        // screen's device pixels.
        const qreal ratio = scale == 1.0f ? 1.0 : slot.picture->devicePixelRatioF();
        slot.picture->setPicture(own, scale,
                                 list->thumbnail(frame, scaledSize(own.size(), scale), ratio));
        ++m_slotDraws;
    }
    applyMarks();
}

void ThumbnailStrip::markSelected(const QSet<int>& frames) {
    m_selected = frames;
    applyMarks();
}

void ThumbnailStrip::applyMarks() {
    const QColor mark = palette().color(QPalette::Highlight);
    for (int i = 0; i < Slots; ++i) {
        const bool on = i < m_frames - position() && m_selected.contains(position() + i);
        m_slots[size_t(i)].area->setMark(on ? mark : QColor());
    }
}

bool ThumbnailStrip::slotMarked(int slot) const {
    return slot >= 1 && slot <= Slots && m_slots[size_t(slot - 1)].area->mark().isValid();
}

void ThumbnailStrip::clearFrames() {
    for (Slot& slot : m_slots) {
        slot.area->hide();
        slot.picture->hide();
        slot.picture->clearPicture();
        slot.badge->hide();
    }
}

void ThumbnailStrip::setBadges(int p) {
    for (int i = 0; i < Slots; ++i) {
        Slot& slot = m_slots[size_t(i)];
        slot.badgeLabel->setText(QString::number(p + i + 1));
        placeBadge(slot);
    }
}

void ThumbnailStrip::highlight(int slotNumber) {
    const QColor face = palette().color(QPalette::Button);
    const BarColours colours = barColours(palette());
    for (int i = 0; i < Slots; ++i) {
        Slot& slot = m_slots[size_t(i)];
        const bool on = i + 1 == slotNumber;
        slot.area->setColor(on ? colours.highlight : face);
        slot.badge->setColor(on ? colours.highlight : colours.badge);
        QPalette text = slot.badgeLabel->palette();
        text.setColor(QPalette::WindowText, on ? colours.highlightText : colours.badgeText);
        slot.badgeLabel->setPalette(text);
    }
    m_highlighted = slotNumber;
}

void ThumbnailStrip::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange) return;
    const QColor face = palette().color(QPalette::Button);
    for (Slot& slot : m_slots)
        slot.picture->setBackground(face);
    highlight(m_highlighted);
}

bool ThumbnailStrip::slotHidden(int slot) const {
    return slot < 1 || slot > Slots || m_slots[size_t(slot - 1)].area->isHidden();
}

void ThumbnailStrip::centreRow() {
    const int left = (width() - m_row->width()) / 2;
    m_header->setGeometry(0, 0, width(), HeaderBar::Height);
    const int toolHeight = m_toolBar->sizeHint().height();
    m_toolBar->setGeometry(left, HeaderBar::Height, m_toolBar->sizeHint().width(), toolHeight);
    m_row->move(left, HeaderBar::Height + toolHeight);
}

void ThumbnailStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    centreRow();
}

void ThumbnailStrip::keyPressEvent(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        Q_EMIT navigateRequested(event->key() == Qt::Key_Left ? -1 : 1, shift);
    } else if (event->matches(QKeySequence::SelectAll)) {
        Q_EMIT selectAllRequested();
    } else if (event->key() == Qt::Key_Escape) {
        Q_EMIT reduceRequested();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

bool ThumbnailStrip::eventFilter(QObject* watched, QEvent* event) {
    // A press on a slot that moves far enough becomes a drag of the slot's frame; the
    // release then picks nothing.
    int slot = 0;
    for (int i = 0; i < Slots; ++i)
        if (watched == m_slots[size_t(i)].area || watched == m_slots[size_t(i)].picture)
            slot = i + 1;
    if (slot == 0) return QWidget::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() == Qt::LeftButton) {
            m_pressedSlot = slot;
            m_pressedAt = mouse->globalPosition().toPoint();
            m_dragging = false;
        }
        break;
    case QEvent::MouseMove:
        if (m_pressedSlot == slot && (mouse->buttons() & Qt::LeftButton) && !m_dragging &&
            (mouse->globalPosition().toPoint() - m_pressedAt).manhattanLength() >=
                QApplication::startDragDistance()) {
            m_dragging = true;
            Q_EMIT dragRequested(slot);
            m_pressedSlot = 0;
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        m_pressedSlot = 0;
        if (m_dragging) {
            m_dragging = false;
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

int ThumbnailStrip::dropIndex(QPoint pos, int frames) const {
    const QPoint inRow = m_row->mapFrom(this, pos);
    const int p = position();
    for (int i = 0; i < Slots && p + i < frames; ++i) {
        const QRect area = m_slots[size_t(i)].area->geometry();
        if (inRow.x() < area.center().x()) return p + i;
        if (inRow.x() <= area.right()) return p + i + 1;
    }
    return std::min(frames, p + Slots);
}

void ThumbnailStrip::showDropMarker(int index) {
    m_dropIndex = index;
    if (index < 0) {
        m_dropMarker->hide();
        return;
    }
    // A bar in the gap in front of the slot the drop goes before.
    const int slot = std::clamp(index - position(), 0, Slots);
    const int x = slot < Slots ? m_slots[size_t(slot)].area->geometry().left() - 4
                               : m_slots[Slots - 1].area->geometry().right() + 2;
    QPalette colors = m_dropMarker->palette();
    colors.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    m_dropMarker->setPalette(colors);
    m_dropMarker->setGeometry(std::max(0, x), SlotTop, 3, AreaHeight);
    m_dropMarker->show();
    m_dropMarker->raise();
}

void ThumbnailStrip::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls() && !event->mimeData()->hasFormat(FrameDragType)) return;
    event->acceptProposedAction();
    showDropMarker(dropIndex(event->position().toPoint(), m_frames));
}

void ThumbnailStrip::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
    const QPoint pos = event->position().toPoint();
    showDropMarker(dropIndex(pos, m_frames));
    // Near an end of the row the strip scrolls, so that a frame can be dragged to a
    // place out of sight.
    const QPoint inRow = m_row->mapFrom(this, pos);
    constexpr int Edge = 24;
    m_dragScrollStep = inRow.x() < Edge ? -1 : inRow.x() > m_row->width() - Edge ? 1 : 0;
    if (m_dragScrollStep != 0 && !m_dragScroll.isActive()) m_dragScroll.start();
    if (m_dragScrollStep == 0) m_dragScroll.stop();
}

void ThumbnailStrip::dragScroll() {
    if (m_dragScrollStep == 0 || m_dropIndex < 0) {
        m_dragScroll.stop();
        return;
    }
    m_gauge->setValue(m_gauge->value() + m_dragScrollStep);
    showDropMarker(std::clamp(m_dropIndex + m_dragScrollStep, 0, m_frames));
}

void ThumbnailStrip::dragLeaveEvent(QDragLeaveEvent*) {
    m_dragScroll.stop();
    showDropMarker(-1);
}

void ThumbnailStrip::dropEvent(QDropEvent* event) {
    m_dragScroll.stop();
    const int index = m_dropIndex >= 0 ? m_dropIndex
                                       : dropIndex(event->position().toPoint(), m_frames);
    showDropMarker(-1);
    const bool copy = event->modifiers() & Qt::ControlModifier;
    event->acceptProposedAction();
    Q_EMIT dropped(event->mimeData(), index, copy);
}

void ThumbnailStrip::wheelEvent(QWheelEvent* event) {
    if (!m_gauge->isEnabled()) {
        event->ignore();
        return;
    }
    // A notch is 120 eighths of a degree; touchpads send smaller steps, which add up.
    m_wheelRest += event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    const int steps = m_wheelRest / 120;
    m_wheelRest -= steps * 120;
    if (steps != 0) m_gauge->setValue(m_gauge->value() - steps);
    event->accept();
}

} // namespace vorlane
