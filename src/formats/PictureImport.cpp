#include "formats/PictureImport.h"

#include <QFileInfo>
#include <QImageReader>

#include "codec/ColorReduction.h"
#include "codec/GifTypes.h"

namespace vorlane::formats {

PictureImport::PictureImport() {
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        m_formats.push_back(
            {QString::fromLatin1(format).toLower(), QString::fromLatin1(format).toUpper()});
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

QImage PictureImport::load(const QString& fileName) const {
    QImageReader reader(fileName);
    QImage picture = reader.read();
    if (picture.isNull()) return {};
    QImage opaque(picture.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    opaque.setDevicePixelRatio(1);
    {
        QImage source = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < opaque.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
            auto* out = reinterpret_cast<QRgb*>(opaque.scanLine(y));
            for (int x = 0; x < opaque.width(); ++x)
                out[x] =
                    qRgb(qRed(in[x]) + 255 - qAlpha(in[x]), qGreen(in[x]) + 255 - qAlpha(in[x]),
                         qBlue(in[x]) + 255 - qAlpha(in[x]));
        }
    }
    return opaque;
}

QImage PictureImport::reduce(const QImage& picture) {
    QImage reduced =
        gif::reduceColors(picture.convertToFormat(QImage::Format_RGB32), gif::Dither::Nearest);
    if (reduced.isNull()) throw gif::GifError("Out of memory");
    return reduced;
}

} // namespace vorlane::formats
