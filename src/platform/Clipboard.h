// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

namespace vorlane {

// The system clipboard's bitmap format.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual bool hasBitmap() const = 0;
    virtual QImage bitmap() const = 0; // null when there is none
    virtual void setBitmap(const QImage& picture) = 0;
};

} // namespace vorlane
