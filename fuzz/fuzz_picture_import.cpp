// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: picture import on arbitrary bytes. The first byte chooses a registered
// format (its index, modulo the number of formats), the rest is the file's content; the
// input then goes through loadData() and, when it decodes, reduce(). A decoded picture
// must be opaque (32-bit, or 8-bit with a palette) within the limits, and its reduction
// an 8-bit picture of the same size with at most 256 colours. Anything else (a crash, a sanitizer report, an exception
// other than GifError from reduce, a wrong result) is a finding.
//
// With VORLANE_PICTURE_SEEDS set to a folder, the target first writes there one small
// picture per registered format, prefixed with its selector byte, for use as seeds.

#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "codec/GifTypes.h"
#include "formats/PictureImport.h"
#include "formats/Samples.h"

using namespace vorlane;
using formats::PictureImport;

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_picture_import: %s\n", what);
    std::abort();
}

// Far below the defaults, so that one input costs milliseconds and megabytes.
formats::ImportLimits fuzzLimits() {
    formats::ImportLimits limits;
    limits.maxSide = 4096;
    limits.maxPixels = 1 << 20;
    limits.maxFileBytes = 1 << 20;
    limits.maxDecodeMilliseconds = 2000;
    return limits;
}

// One sample per registered format, prefixed with its selector byte. Photo CD's sample is
// left out: it is longer than the inputs the fuzzer makes.
void writeSeeds(const QString& folder, const QHash<QString, test::Sample>& samples,
                const std::vector<formats::PictureFormat>& formats) {
    QDir().mkpath(folder);
    for (size_t i = 0; i < formats.size(); ++i) {
        const QByteArray sample = samples.value(formats[i].extension).bytes;
        if (sample.isEmpty() || sample.size() > 65536) continue;
        QFile file(QDir(folder).filePath(QStringLiteral("seed.") + formats[i].extension));
        if (file.open(QIODevice::WriteOnly)) file.write(char(i) + sample);
    }
}

const PictureImport& importer() {
    static const PictureImport instance(fuzzLimits());
    return instance;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(*argc, *argv);
    if (const QByteArray seeds = qgetenv("VORLANE_PICTURE_SEEDS"); !seeds.isEmpty()) {
        // The samples before the import: once it exists, ImageMagick may no longer write.
        const auto samples = test::makeSamples();
        writeSeeds(QString::fromLocal8Bit(seeds), samples, importer().formats());
    }
    importer();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto& formats = importer().formats();
    if (size == 0 || formats.empty()) return 0;
    const formats::PictureFormat& format = formats[data[0] % formats.size()];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QImage picture = importer().loadData(bytes, format.extension);
    if (picture.isNull()) return 0;
    const formats::ImportLimits limits = importer().limits();
    const bool palette = picture.format() == QImage::Format_Indexed8;
    if ((!palette && picture.format() != QImage::Format_RGB32) || picture.hasAlphaChannel() ||
        picture.width() > limits.maxSide ||
        picture.height() > limits.maxSide ||
        qint64(picture.width()) * picture.height() > limits.maxPixels)
        finding("decoded picture not opaque 32-bit or 8-bit within the limits");
    try {
        const QImage reduced = PictureImport::reduce(picture);
        if (reduced.format() != QImage::Format_Indexed8 || reduced.size() != picture.size() ||
            reduced.colorCount() > 256)
            finding("reduction is not an 8-bit picture of the same size");
    } catch (const gif::GifError&) {
    }
    return 0;
}
