// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vorlane {

namespace {
const QString GifType = QStringLiteral("image/gif");
} // namespace

bool QtClipboard::hasBitmap() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && (data->hasImage() || data->hasFormat(GifType));
}

QImage QtClipboard::bitmap() const {
    return QGuiApplication::clipboard()->image();
}

void QtClipboard::setBitmap(const QImage& picture) {
    QGuiApplication::clipboard()->setImage(picture);
}

void QtClipboard::setFrames(const QByteArray& gif, const QImage& picture) {
    auto* data = new QMimeData;
    data->setData(FramesType, gif);
    data->setData(GifType, gif);
    data->setImageData(picture);
    QGuiApplication::clipboard()->setMimeData(data);
}

std::optional<Clipboard::Frames> QtClipboard::frames() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return std::nullopt;
    if (data->hasFormat(FramesType)) return Frames{data->data(FramesType), true};
    if (data->hasFormat(GifType)) return Frames{data->data(GifType), false};
    return std::nullopt;
}

} // namespace vorlane
