// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/HeaderBar.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPixmap>

#include "mainwindow/Icons.h"
#include "mainwindow/ViewMath.h"
#include "mainwindow/Widgets.h"

namespace vorlane {

HeaderBar::HeaderBar(const QString& name, const QString& imageName, const QString& labelName,
                     const QString& caption, QWidget* parent)
    : QWidget(parent), m_image(new ClickLabel(this)), m_caption(new ClickLabel(this)) {
    setObjectName(name);
    setFixedHeight(Height);
    setCursor(Qt::PointingHandCursor);
    m_image->setObjectName(imageName);
    m_image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_caption->setObjectName(labelName);
    m_caption->setText(caption);
    m_caption->setAlignment(Qt::AlignCenter);
    QFont font = m_caption->font();
    font.setBold(true);
    m_caption->setFont(font);
    applyPalette(false);
    m_caption->setAttribute(Qt::WA_TranslucentBackground);
    connect(m_image, &ClickLabel::clicked, this, &HeaderBar::clicked);
    connect(m_caption, &ClickLabel::clicked, this, &HeaderBar::clicked);
}

void HeaderBar::addArrows(const QString& collapseName, const QString& expandName) {
    m_collapse = new ClickLabel(this);
    m_collapse->setObjectName(collapseName);
    m_expand = new ClickLabel(this);
    m_expand->setObjectName(expandName);
    applyPalette(false);
    for (ClickLabel* arrow : {m_collapse, m_expand}) {
        arrow->setGeometry(6, (Height - 12) / 2, 12, 12);
        arrow->raise();
    }
    m_expand->hide();
    connect(m_collapse, &ClickLabel::clicked, this, &HeaderBar::collapseClicked);
    connect(m_expand, &ClickLabel::clicked, this, &HeaderBar::expandClicked);
}

void HeaderBar::setExpanded(bool expanded) {
    if (!m_collapse) return;
    m_collapse->setVisible(expanded);
    m_expand->setVisible(!expanded);
}

void HeaderBar::setPicture(const QPixmap& picture) {
    m_image->setPixmap(picture);
}

void HeaderBar::applyPalette(bool picture) {
    const BarColours colours = barColours(palette());
    QPalette captionPalette = m_caption->palette();
    captionPalette.setColor(QPalette::WindowText, colours.caption);
    m_caption->setPalette(captionPalette);
    if (m_collapse) {
        m_collapse->setPixmap(icons::arrow(true, colours.caption, devicePixelRatioF()));
        m_expand->setPixmap(icons::arrow(false, colours.caption, devicePixelRatioF()));
    }
    if (picture)
        setPicture(QPixmap::fromImage(
            headerImage(Height, palette().color(QPalette::Button), 2000, colours.headerStart)));
}

void HeaderBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyPalette(true);
}

void HeaderBar::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void HeaderBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_image->setGeometry(rect());
    m_caption->setGeometry(rect());
    if (m_collapse) {
        m_collapse->raise();
        m_expand->raise();
    }
}

} // namespace vorlane
