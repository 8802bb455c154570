#pragma once

// Picture import: turns a picture file of any registered format into an opaque picture,
// and that picture into an 8-bit palette picture that can become a frame.

#include <vector>

#include <QImage>
#include <QString>

namespace vorlane::formats {

struct PictureFormat {
    QString extension;   // lower case, without dot: "png"
    QString description; // "Portable Network Graphics"
};

class PictureImport {
public:
    PictureImport();

    // Registered formats in registration order.
    const std::vector<PictureFormat>& formats() const { return m_formats; }

    // The add-image dialog's filter: one "Description (*.ext)|*.ext" entry per format,
    // the most recently registered first, preceded by an "All (...)|...|" entry when
    // more than one format is registered.
    QString dialogFilter() const;

    // Reads the first picture of a file into an opaque 32-bit picture (QImage::Format_RGB32).
    // A null picture means the file is missing, unreadable, too short, of an
    // unregistered extension or not decodable.
    QImage load(const QString& fileName) const;

    // Reduces an opaque picture to at most 256 colours, nearest colour without
    // dithering: an 8-bit palette picture (QImage::Format_Indexed8). Throws
    // gif::GifError when the picture cannot be copied or reduced.
    static QImage reduce(const QImage& picture);

private:
    std::vector<PictureFormat> m_formats;
};

} // namespace vorlane::formats
