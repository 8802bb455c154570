// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/About.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextBrowser>
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
    picture->setPixmap(productPicture(ProductPictureSize, devicePixelRatioF()));
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
    // Blue as a link is drawn on a light window; on a dark one the palette's own link
    // colour stays readable.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    m_link->setStyleSheet(
        QStringLiteral("color: %1; font-weight: bold; text-decoration: underline;")
            .arg(dark ? palette().color(QPalette::Link).name() : QStringLiteral("blue")));
    m_link->setCursor(Qt::PointingHandCursor);
    m_link->installEventFilter(this);

    auto* licence = new QLabel(LicenceText, this);
    licence->setObjectName(QStringLiteral("Licence"));
    licence->setWordWrap(true);
    auto* credits = new QTextBrowser(this);
    credits->setObjectName(QStringLiteral("Credits"));
    QString rows;
    for (const QString& line : TAboutBox::credits())
        rows += QStringLiteral("<li>") + line.toHtmlEscaped() + QStringLiteral("</li>");
    credits->setHtml(QStringLiteral("<p><b>Credits</b> &mdash; Vorlane Gif is built on:</p><ul>") +
                     rows + QStringLiteral("</ul>"));
    credits->setFixedSize(ProductPictureSize.width(), 7 * credits->fontMetrics().lineSpacing());

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
    layout->addWidget(licence);
    layout->addWidget(credits, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    fixToContent(this);
}

QStringList TAboutBox::credits() {
    QStringList lines{
        QStringLiteral("Qt 6 - windows, pictures and most picture formats - "
                       "GNU Lesser General Public License 3.0"),
        QStringLiteral("zlib - compressed picture data, through Qt - zlib License"),
        QStringLiteral("libpng, libjpeg-turbo, libtiff, libwebp - picture formats, through "
                       "Qt's image plugins - libpng License, IJG License and BSD-3-Clause, "
                       "libtiff License, BSD-3-Clause"),
    };
    if (build::WithImageMagick)
        lines.insert(1, QStringLiteral("ImageMagick 6 (MagickCore) - Targa, PCX, SGI, "
                                       "Photoshop, Photo CD, Dr. Halo, WMF and fax pictures - "
                                       "ImageMagick License"));
    return lines;
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
