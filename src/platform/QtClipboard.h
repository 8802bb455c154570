// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clipboard.h"

namespace vorlane {

// The clipboard of the running QGuiApplication; requires one.
class QtClipboard : public Clipboard {
public:
    bool hasBitmap() const override;
    QImage bitmap() const override;
    void setBitmap(const QImage& picture) override;
};

} // namespace vorlane
