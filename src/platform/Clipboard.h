// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QByteArray>
#include <QImage>

namespace vorlane {

// The system clipboard: a bitmap for every program, and frames as GIF data.
class Clipboard {
public:
    // GIF data on the clipboard. `own`: frames this program copied, which come back as
    // they were; other programs' GIFs are opened as any file is.
    struct Frames {
        QByteArray gif;
        bool own = false;
    };

    virtual ~Clipboard() = default;
    virtual bool hasBitmap() const = 0;
    virtual QImage bitmap() const = 0; // null when there is none
    virtual void setBitmap(const QImage& picture) = 0;
    // Frames as an animated GIF (image/gif for other programs, and a type of our own)
    // together with a picture of one of them for programs that take pictures only.
    virtual void setFrames(const QByteArray& gif, const QImage& picture) = 0;
    // GIF data on the clipboard, when there is any.
    virtual std::optional<Frames> frames() const = 0;
};

} // namespace vorlane
