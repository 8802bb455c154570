// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/About.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/FixedDialog.h"
#include "dialogs/ProductPicture.h"
#include "platform/Shell.h"

namespace vorlane {

TAboutBox::TAboutBox(Shell* shell, Endpoints endpoints, QWidget* parent)
    : QDialog(parent), m_shell(shell), m_endpoints(std::move(endpoints)) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Vorlane Gif"));
    useFixedDialogFrame(this);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* picture = new QLabel(panel);
    picture->setObjectName(QStringLiteral("ProgramIcon"));
    picture->setPixmap(productPicture());
    picture->setFixedSize(ProductPictureSize);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->addWidget(picture);

    auto* version = new QLabel(VersionLine, this);
    version->setObjectName(QStringLiteral("Version"));
    version->setAlignment(Qt::AlignCenter);

    auto* website = new QLabel(QStringLiteral("Website:"), this);
    website->setObjectName(QStringLiteral("Label1"));
    m_link = new QLabel(m_endpoints.homePage, this);
    m_link->setObjectName(QStringLiteral("url"));
    m_link->setStyleSheet(
        QStringLiteral("color: blue; font-weight: bold; text-decoration: underline;"));
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->installEventFilter(this);

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    auto* web = new QPushButton(QStringLiteral("&Website"), this);
    web->setObjectName(QStringLiteral("Button4"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(web, &QPushButton::clicked, this, &TAboutBox::urlClick);

    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(website);
    linkRow->addWidget(m_link);
    linkRow->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(web);
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel, 0, Qt::AlignHCenter);
    layout->addWidget(version);
    layout->addSpacing(6);
    layout->addLayout(linkRow);
    layout->addLayout(buttons);
    fixToContent(this);
}

void TAboutBox::urlClick() {
    if (m_shell) m_shell->open(m_endpoints.homePage);
}

void TAboutBox::mailClick() {
    if (m_shell) m_shell->open(m_endpoints.contactMail);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_link && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        urlClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vorlane
