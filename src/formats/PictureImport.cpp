// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/PictureImport.h"

#include <algorithm>

#include <array>
#include <new>

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "codec/ColorReduction.h"
#include "codec/GifTypes.h"
#include "formats/Readers.h"

namespace vorlane::formats {

namespace {

// A file shorter than a Windows bitmap's headers (14 + 40 bytes) is refused whatever its
// format, so every decoder can rely on that much data.
constexpr qsizetype MinimumFileBytes = 54;

struct Way {
    Decoder decoder;
    const char* codec;
};

struct KnownFormat {
    const char* extension;
    const char* description;
    // Ways to decode the format, best first; the first one available here is used.
    std::array<Way, 2> ways;
};

constexpr Way None{Decoder::Qt, nullptr}; // no further way
constexpr Way qt(const char* format) {
    return {Decoder::Qt, format};
}
constexpr Way magick(const char* coder) {
    return {Decoder::Magick, coder};
}

// The registration order; the dialog's filter lists them in reverse. Not registered,
// because nothing here decodes them: Enhanced Metafiles (emf; only Windows renders
// them), Encapsulated PostScript (eps; needs ghostscript, an external program), Paint
// Shop Pro files (psp, pfr, tub, msk) and Arts & Letters thumbnails (ged). Apple icons
// (icns) are left out although Qt reads them: its reader allocates whatever length an
// entry declares, up to 4 GiB for a 100-byte file.
constexpr std::array Known{
    KnownFormat{"gif", "Graphics Interchange Format", {qt("gif"), None}},
    KnownFormat{"jpg", "JPEG Image", {qt("jpeg"), None}},
    KnownFormat{"jpeg", "JPEG Image", {qt("jpeg"), None}},
    KnownFormat{"jpe", "JPEG Image", {qt("jpeg"), None}},
    KnownFormat{"jfif", "JPEG Image", {qt("jpeg"), None}},
    KnownFormat{"bmp", "Windows Bitmap", {qt("bmp"), None}},
    // A .dib file that does not start with "BM" is a bitmap without its file header.
    KnownFormat{"dib", "Device Independent Bitmap", {qt("dib"), None}},
    KnownFormat{"rle", "Run-Length Encoded Bitmap", {qt("bmp"), None}},
    KnownFormat{"ico", "Windows Icon", {qt("ico"), None}},
    KnownFormat{"wmf", "Windows Metafile", {magick("WMF"), None}},
    KnownFormat{"tif", "Tagged Image File Format", {qt("tiff"), None}},
    KnownFormat{"tiff", "Tagged Image File Format", {qt("tiff"), None}},
    KnownFormat{"fax", "Group 3 Fax", {magick("FAX"), None}},
    KnownFormat{"png", "Portable Network Graphics", {qt("png"), None}},
    // Qt's Targa reader takes only uncompressed true-colour files; ImageMagick's takes
    // run-length coded, colour-mapped and grey ones as well.
    KnownFormat{"tga", "Truevision Targa", {magick("TGA"), qt("tga")}},
    KnownFormat{"vst", "Truevision Targa", {magick("TGA"), qt("tga")}},
    KnownFormat{"vda", "Truevision Targa", {magick("TGA"), qt("tga")}},
    KnownFormat{"win", "Truevision Targa", {magick("TGA"), qt("tga")}},
    KnownFormat{"icb", "Truevision Targa", {magick("TGA"), qt("tga")}},
    KnownFormat{"pcx", "ZSoft Paintbrush", {magick("PCX"), None}},
    KnownFormat{"pcc", "ZSoft Paintbrush", {magick("PCX"), None}},
    KnownFormat{"scr", "ZSoft Paintbrush", {magick("PCX"), None}},
    KnownFormat{"rpf", "Alias/Wavefront Image", {Way{Decoder::WavefrontRla, nullptr}, None}},
    KnownFormat{"rla", "Alias/Wavefront Image", {Way{Decoder::WavefrontRla, nullptr}, None}},
    // SGI's coder is always named: ImageMagick's "RGB" and "RGBA" are raw pixel dumps.
    KnownFormat{"sgi", "SGI Image", {magick("SGI"), None}},
    KnownFormat{"rgba", "SGI Image", {magick("SGI"), None}},
    KnownFormat{"rgb", "SGI Image", {magick("SGI"), None}},
    KnownFormat{"bw", "SGI Image", {magick("SGI"), None}},
    KnownFormat{"psd", "Photoshop Image", {magick("PSD"), None}},
    KnownFormat{"pdd", "Photoshop Image", {magick("PSD"), None}},
    KnownFormat{"ppm", "Portable Pixmap", {qt("ppm"), None}},
    KnownFormat{"pgm", "Portable Graymap", {qt("pgm"), None}},
    KnownFormat{"pbm", "Portable Bitmap", {qt("pbm"), None}},
    KnownFormat{"cel", "Autodesk Animator Image", {Way{Decoder::AnimatorCel, nullptr}, None}},
    KnownFormat{"pic", "Autodesk Animator Image", {Way{Decoder::AnimatorCel, nullptr}, None}},
    KnownFormat{"pcd", "Kodak Photo CD", {magick("PCD"), None}},
    KnownFormat{"cut", "Dr. Halo", {magick("CUT"), None}},
    KnownFormat{"ani", "Windows Animated Cursor", {Way{Decoder::AnimatedCursor, "ico"}, None}},
    // What Qt's plugins read besides.
    KnownFormat{"cur", "Windows Cursor", {qt("cur"), None}},
    KnownFormat{"xbm", "X11 Bitmap", {qt("xbm"), None}},
    KnownFormat{"xpm", "X11 Pixmap", {qt("xpm"), None}},
    KnownFormat{"wbmp", "Wireless Bitmap", {qt("wbmp"), None}},
    KnownFormat{"webp", "WebP Image", {qt("webp"), None}},
    KnownFormat{"svg", "Scalable Vector Graphics", {qt("svg"), None}},
};

bool available(const Way& way) {
    switch (way.decoder) {
    case Decoder::Qt: // also the empty way, which has no codec
        return way.codec != nullptr && detail::qtCanRead(way.codec);
    case Decoder::Magick:
        return detail::magickCanRead(way.codec);
    case Decoder::AnimatedCursor: // its frames are icons, read by Qt
        return detail::qtCanRead(way.codec);
    case Decoder::AnimatorCel:
    case Decoder::WavefrontRla:
        return true;
    }
    return false;
}

QImage decode(const PictureFormat& format, const QByteArray& data, const ImportLimits& limits) {
    switch (format.decoder) {
    case Decoder::Qt:
        return detail::readWithQt(data, format.codec, limits);
    case Decoder::Magick:
        return detail::readWithMagick(data, format.codec, limits);
    case Decoder::AnimatorCel:
        return detail::readAnimatorCel(data, limits);
    case Decoder::AnimatedCursor:
        return detail::readAnimatedCursor(data, limits);
    case Decoder::WavefrontRla:
        return detail::readWavefrontRla(data, limits);
    }
    return {};
}

// The imported picture is opaque. GIF and JPEG pictures are drawn onto white, so what a
// GIF leaves transparent becomes white; other formats keep the colour that their decoder
// gives transparent pixels, only the alpha is dropped.
QImage opaque(QImage decoded, bool ontoWhite) {
    // A palette picture stays one: its colours are made opaque and the pixels are not
    // touched, so it costs one byte a pixel instead of the four of a 32-bit copy (and
    // the four more of the conversion before it).
    if (decoded.format() == QImage::Format_Mono || decoded.format() == QImage::Format_MonoLSB)
        decoded = decoded.convertToFormat(QImage::Format_Indexed8);
    if (decoded.format() == QImage::Format_Indexed8) {
        QList<QRgb> colors = decoded.colorTable();
        // Every index used gets a colour: those beyond the table show black.
        uint8_t highest = 0;
        for (int y = 0; y < decoded.height() && highest < 255; ++y) {
            const uchar* row = decoded.constScanLine(y);
            highest = std::max(highest, *std::max_element(row, row + decoded.width()));
        }
        while (colors.size() <= highest)
            colors.push_back(qRgb(0, 0, 0));
        for (QRgb& c : colors) {
            if (ontoWhite) {
                const QRgb p = qPremultiply(c);
                const int cover = 255 - qAlpha(c);
                c = qRgb(qRed(p) + cover, qGreen(p) + cover, qBlue(p) + cover);
            } else {
                c |= 0xFF000000u;
            }
        }
        decoded.setColorTable(colors);
        return decoded;
    }
    QImage picture(decoded.size(), QImage::Format_RGB32);
    if (picture.isNull()) return {};
    const QImage source = decoded.convertToFormat(ontoWhite ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_ARGB32);
    if (source.isNull()) return {};
    for (int y = 0; y < picture.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        if (ontoWhite) {
            // Premultiplied colour over white: c + (255 - alpha) for each channel.
            for (int x = 0; x < picture.width(); ++x) {
                const int cover = 255 - qAlpha(in[x]);
                out[x] = qRgb(qRed(in[x]) + cover, qGreen(in[x]) + cover, qBlue(in[x]) + cover);
            }
        } else {
            for (int x = 0; x < picture.width(); ++x)
                out[x] = in[x] | 0xFF000000u;
        }
    }
    return picture;
}

} // namespace

PictureImport::PictureImport() : PictureImport(ImportLimits{}) {}

PictureImport::PictureImport(const ImportLimits& limits) : m_limits(limits) {
    for (const KnownFormat& known : Known) {
        for (const Way& way : known.ways) {
            if (!available(way)) continue;
            m_formats.push_back({QString::fromLatin1(known.extension),
                                 QString::fromLatin1(known.description), way.decoder,
                                 QByteArray(way.codec)});
            break;
        }
    }
}

QString PictureImport::dialogFilter() const {
    QStringList entries;
    QStringList patterns;
    for (auto it = m_formats.rbegin(); it != m_formats.rend(); ++it) {
        const QString pattern = QStringLiteral("*.") + it->extension;
        entries << QStringLiteral("%1 (%2)|%2").arg(it->description, pattern);
        patterns << pattern;
    }
    if (m_formats.size() > 1) {
        const QString all = patterns.join(QLatin1Char(';'));
        entries.prepend(QStringLiteral("All (%1)|%1").arg(all));
    }
    return entries.join(QLatin1Char('|'));
}

const PictureFormat* PictureImport::find(const QString& extension) const {
    for (const PictureFormat& format : m_formats)
        if (format.extension.compare(extension, Qt::CaseInsensitive) == 0) return &format;
    return nullptr;
}

QImage PictureImport::load(const QString& fileName) const {
    const QFileInfo info(fileName);
    // Only plain files: a pipe or a device could block the read or never end.
    if (!info.isFile() || info.size() < MinimumFileBytes || info.size() > m_limits.maxFileBytes)
        return {};
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray data;
    try {
        data = file.read(m_limits.maxFileBytes);
    } catch (const std::bad_alloc&) {
        return {};
    }
    return loadData(data, info.suffix());
}

QImage PictureImport::loadData(const QByteArray& data, const QString& extension) const {
    if (data.size() < MinimumFileBytes) return {};
    try {
        // A Windows bitmap is recognised by its signature whatever the file is called.
        if (data.startsWith("BM")) return opaque(detail::readWithQt(data, "bmp", m_limits), false);
        const PictureFormat* format = find(extension);
        if (format == nullptr) return {};
        QImage decoded = decode(*format, data, m_limits);
        if (decoded.isNull()) return {};
        const bool ontoWhite =
            format->decoder == Decoder::Qt && (format->codec == "gif" || format->codec == "jpeg");
        return opaque(std::move(decoded), ontoWhite);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

QImage PictureImport::reduce(const QImage& picture) {
    if (picture.isNull()) throw gif::GifError("No picture to reduce");
    // A palette picture from load() is already what a frame takes.
    if (picture.format() == QImage::Format_Indexed8 && picture.colorCount() <= 256) return picture;
    try {
        const QImage copy = picture.convertToFormat(QImage::Format_RGB32);
        if (copy.isNull()) throw std::bad_alloc();
        QImage reduced = gif::reduceColors(copy, gif::Dither::Nearest);
        if (reduced.isNull()) throw std::bad_alloc();
        return reduced;
    } catch (const std::bad_alloc&) {
        throw gif::GifError("Out of memory");
    }
}

} // namespace vorlane::formats
