// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Clipboard.h"

namespace vorlane {

// The clipboard of the running QGuiApplication; requires one.
class QtClipboard : public Clipboard {
public:
    // The type under which frames copied here travel, beside image/gif.
    static inline const QString FramesType = QStringLiteral("application/x-vorlane-gif-frames");

    bool hasBitmap() const override;
    QImage bitmap() const override;
    void setBitmap(const QImage& picture) override;
    void setFrames(const QByteArray& gif, const QImage& picture) override;
    std::optional<Frames> frames() const override;
};

} // namespace vorlane
