// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/NoticeBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace vorlane {

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("NoticeBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    // The tool-tip colours are the desktop's colours for a passing note, in light and
    // dark palettes alike.
    QPalette colors = palette();
    colors.setColor(QPalette::Window, colors.color(QPalette::ToolTipBase));
    colors.setColor(QPalette::WindowText, colors.color(QPalette::ToolTipText));
    setPalette(colors);

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    icon->setAlignment(Qt::AlignTop);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("NoticeText"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("NoticeClose"));
    m_close->setAutoRaise(true);
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(QStringLiteral("Close this message"));
    connect(m_close, &QToolButton::clicked, this, &QWidget::hide);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 4, 4, 4);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(m_text, 1);
    row->addWidget(m_close, 0, Qt::AlignTop);
    hide();
}

QString NoticeBar::text(const QStringList& notices) {
    QStringList lines;
    for (int i = 0; i < notices.size() && i < MaxListed; ++i)
        lines << notices[i];
    if (notices.size() > MaxListed)
        lines << QStringLiteral("(%1 more)").arg(notices.size() - MaxListed);
    return lines.join(QLatin1Char('\n'));
}

void NoticeBar::setNotices(const QStringList& notices) {
    m_notices = notices;
    m_text->setText(text(notices));
    setVisible(!notices.isEmpty());
}

} // namespace vorlane
