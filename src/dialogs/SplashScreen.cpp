// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SplashScreen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "dialogs/ProductPicture.h"

namespace vorlane {

TSplashForm::TSplashForm(QWidget* parent)
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("SplashForm"));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(productPicture(ProductPictureSize, devicePixelRatioF()));
    picture->setFixedSize(ProductPictureSize);
    auto* layout = new QVBoxLayout(this);
    // The frame's line is outside the contents already; a margin on top of it would push
    // the picture over the right and bottom lines.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(picture);
    setFixedSize(ProductPictureSize + QSize(2, 2));
}

void TSplashForm::showNow() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    // The main window is built next without an event loop: let the window system map the
    // splash and paint it now.
    QApplication::processEvents();
    repaint();
}

} // namespace vorlane
