// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The decoders behind the picture-format registry. Each takes a file's whole content and
// returns the first picture in it, or a null picture when it cannot; none of them reads
// anything but the bytes it is given, and each refuses pictures beyond the limits.

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "formats/PictureImport.h"

namespace vorlane::formats::detail {

// True when a picture of this size may be decoded under the limits.
bool fitsLimits(QSize size, const ImportLimits& limits);

// Qt's image plugins, with the format chosen by the caller and never guessed from content.
bool qtCanRead(const QByteArray& format);
QImage readWithQt(const QByteArray& data, const QByteArray& format, const ImportLimits& limits);

// ImageMagick, one named coder, from memory. False/null when the library is not built in,
// the coder is missing or our security policy could not be installed.
bool magickCanRead(const QByteArray& coder);
QImage readWithMagick(const QByteArray& data, const QByteArray& coder, const ImportLimits& limits);

// Our own readers of simple formats that no library here reads.
QImage readAnimatorCel(const QByteArray& data, const ImportLimits& limits);
QImage readAnimatedCursor(const QByteArray& data, const ImportLimits& limits);
QImage readWavefrontRla(const QByteArray& data, const ImportLimits& limits);

} // namespace vorlane::formats::detail
