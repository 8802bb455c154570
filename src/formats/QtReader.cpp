// SPDX-License-Identifier: GPL-3.0-or-later
// Qt's image plugins as decoders: the format is the registry's choice, never guessed
// from content, and the picture's declared size is checked before anything is allocated.

#include <algorithm>

#include <QBuffer>
#include <QImageReader>
#include <QXmlStreamReader>

#include "formats/Readers.h"

namespace vorlane::formats::detail {

namespace {

// Qt's SVG renderer loads pictures and style sheets that a document names by path, so an
// SVG file could pull any local file into the animation (or block on a device or pipe).
// Only documents whose references all stay inside them are rendered: fragment links
// ("#id") and "data:" URLs. The document is scanned with the same XML reader that the
// renderer uses, so entities expand the same way in both.
bool svgIsSelfContained(const QByteArray& data) {
    QXmlStreamReader xml(data);
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget().compare(u"xml-stylesheet", Qt::CaseInsensitive) ==
                0)
                return false;
            break;
        case QXmlStreamReader::StartElement:
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                const QStringView name = attribute.qualifiedName();
                if (name != u"href" && !name.endsWith(u":href")) continue;
                const QStringView target = attribute.value().trimmed();
                if (!target.startsWith(u'#') && !target.startsWith(u"data:", Qt::CaseInsensitive))
                    return false;
            }
            break;
        default:
            break;
        }
    }
    return !xml.hasError();
}

} // namespace

bool fitsLimits(QSize size, const ImportLimits& limits) {
    return size.width() > 0 && size.height() > 0 && size.width() <= limits.maxSide &&
           size.height() <= limits.maxSide &&
           qint64(size.width()) * size.height() <= limits.maxPixels;
}

bool qtCanRead(const QByteArray& format) {
    // Bitmaps without a file header are read by the bitmap plugin, which does not list
    // them among its formats.
    return QImageReader::supportedImageFormats().contains(format == "dib" ? "bmp" : format);
}

QImage readWithQt(const QByteArray& data, const QByteArray& format, const ImportLimits& limits) {
    if (format == "svg" && !svgIsSelfContained(data)) return {};
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) return {};
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    // Qt's allocation limit is process-wide, in megabytes of decoded picture; it also
    // stops the plugins that allocate without declaring a size first.
    QImageReader::setAllocationLimit(
        int(std::clamp<qint64>(limits.maxPixels * 4 >> 20, 1, 1 << 20)));
    const QSize declared = reader.size();
    if (declared.isValid() && !fitsLimits(declared, limits)) return {};
    QImage picture;
    if (!reader.read(&picture) || !fitsLimits(picture.size(), limits)) return {};
    return picture;
}

} // namespace vorlane::formats::detail
