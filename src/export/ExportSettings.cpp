// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/ExportSettings.h"

#include <algorithm>

#include <QFileInfo>

namespace vorlane::exporting {

std::optional<Format> formatForFileName(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("gif")) return Format::Gif;
    if (suffix == QLatin1String("webp")) return Format::WebP;
    if (suffix == QLatin1String("png") || suffix == QLatin1String("apng")) return Format::Apng;
    return std::nullopt;
}

QString formatName(Format format) {
    switch (format) {
    case Format::Gif:
        return QStringLiteral("GIF");
    case Format::WebP:
        return QStringLiteral("WebP");
    case Format::Apng:
        return QStringLiteral("APNG");
    }
    return {};
}

uint32_t playsForLoop(std::optional<uint16_t> loopCount) {
    if (!loopCount) return 1;
    if (*loopCount == 0) return 0;
    // WebP holds 16 bits; one play more than 65535 repetitions is as good as for ever.
    return std::min<uint32_t>(uint32_t(*loopCount) + 1, 0xFFFF);
}

std::optional<uint16_t> loopForPlays(uint32_t plays) {
    if (plays == 1) return std::nullopt;
    if (plays == 0) return uint16_t(0);
    return uint16_t(std::min<uint32_t>(plays - 1, 0xFFFF));
}

} // namespace vorlane::exporting
