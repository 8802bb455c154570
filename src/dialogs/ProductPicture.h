// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The product picture of the splash window and the About dialog, painted in code: a
// strip of three film cells in which a ball bounces, under the product's name.

#include <QPixmap>
#include <QSize>

namespace vorlane {

inline constexpr QSize ProductPictureSize{392, 221};

// The picture at `size` (the design size unless told); the same pixels every time.
QPixmap productPicture(QSize size = ProductPictureSize);

} // namespace vorlane
