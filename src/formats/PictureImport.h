// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Picture import: turns a picture file of any registered format into an opaque picture,
// and that picture into an 8-bit palette picture that can become a frame.

#include <vector>

#include <QByteArray>
#include <QImage>
#include <QString>

namespace vorlane::formats {

// How a registered format is decoded.
enum class Decoder {
    Qt,             // a Qt image plugin; PictureFormat::codec names its format ("png")
    Magick,         // an ImageMagick coder under our restrictive policy; codec names it ("PCX")
    AnimatorCel,    // our reader of Autodesk Animator cels and pictures
    AnimatedCursor, // our reader of Windows animated cursors (first frame, through Qt's "ico")
    WavefrontRla,   // our reader of Alias/Wavefront RLA pictures
};

struct PictureFormat {
    QString extension;   // lower case, without dot: "png"
    QString description; // "Portable Network Graphics"
    Decoder decoder = Decoder::Qt;
    QByteArray codec; // the Qt format or ImageMagick coder; empty for our own readers
};

// Bounds that keep a hostile file from exhausting memory or time. Pictures beyond them
// are not decoded (load() returns a null picture).
struct ImportLimits {
    // A GIF frame is at most 65535 pixels on a side, so a larger picture can never
    // become a frame.
    int maxSide = 65535;
    // 2^28 pixels take 1 GiB as a 32-bit picture: the most an import may allocate for
    // one picture on a desktop machine (the 8-bit copy and the library's own buffer
    // come on top).
    qint64 maxPixels = qint64(1) << 28;
    // Enough for an uncompressed picture at the pixel limit; the file is read whole.
    qint64 maxFileBytes = qint64(1) << 30;
    // How long a library decoder that can be interrupted may run, in milliseconds.
    int maxDecodeMilliseconds = 30000;
};

class PictureImport {
public:
    PictureImport();
    explicit PictureImport(const ImportLimits& limits);

    // Registered formats in registration order.
    const std::vector<PictureFormat>& formats() const { return m_formats; }

    // The add-image dialog's filter: one "Description (*.ext)|*.ext" entry per format,
    // the most recently registered first, preceded by an "All (...)|...|" entry when
    // more than one format is registered.
    QString dialogFilter() const;

    // Reads the first picture of a file into an opaque picture: an 8-bit palette picture
    // (QImage::Format_Indexed8, opaque colours, one for every index used) when the file
    // holds one, else 32-bit (QImage::Format_RGB32).
    // A null picture means the file is missing, unreadable, too short, of an
    // unregistered extension or not decodable.
    QImage load(const QString& fileName) const;

    // load() for a file's content already in memory; `extension` (any case, without dot)
    // chooses the decoder unless the data starts with "BM".
    QImage loadData(const QByteArray& data, const QString& extension) const;

    // Reduces an opaque picture to at most 256 colours, nearest colour without
    // dithering: an 8-bit palette picture (QImage::Format_Indexed8); a palette picture
    // is returned as it is. Throws
    // gif::GifError when the picture cannot be copied or reduced.
    static QImage reduce(const QImage& picture);

    const ImportLimits& limits() const { return m_limits; }

private:
    const PictureFormat* find(const QString& extension) const;

    std::vector<PictureFormat> m_formats;
    ImportLimits m_limits;
};

} // namespace vorlane::formats
