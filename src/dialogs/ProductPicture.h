// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The product picture of the splash window and the About dialog, painted in code: a
// strip of three film cells in which a ball bounces, under the product's name.

#include <QPixmap>
#include <QSize>

namespace vorlane {

inline constexpr QSize ProductPictureSize{392, 221};

// The picture at `size` (the design size unless told); the same pixels every time. Drawn
// at `devicePixelRatio` times the size, so that it stays sharp on a scaled screen (the
// pixmap's size in pixels then grows by that factor).
QPixmap productPicture(QSize size = ProductPictureSize, qreal devicePixelRatio = 1.0);

} // namespace vorlane
