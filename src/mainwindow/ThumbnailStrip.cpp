// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/ThumbnailStrip.h"

#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include "codec/GifImage.h"
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

        connect(slot.area, &ClickPanel::clicked, this, [this, i] { Q_EMIT slotClicked(i + 1); });
        connect(slot.picture, &PictureView::clicked, this,
                [this, i] { Q_EMIT slotClicked(i + 1); });
    }

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

void ThumbnailStrip::drawFrames(const gif::GifImage* image, int frames) {
    const int n = image ? std::min(frames, int(image->frameCount())) : 0;
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
        const QImage& own = image->ownPicture(size_t(frame));
        slot.picture->setPicture(own, thumbnailScale(own.size(), slot.picture->size()));
        ++m_slotDraws;
    }
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
