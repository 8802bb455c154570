// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vorlane {

bool QtClipboard::hasBitmap() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

QImage QtClipboard::bitmap() const {
    return QGuiApplication::clipboard()->image();
}

void QtClipboard::setBitmap(const QImage& picture) {
    QGuiApplication::clipboard()->setImage(picture);
}

} // namespace vorlane
