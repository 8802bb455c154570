// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: opening animated WebP and APNG (and GIF) files as Open does, on arbitrary
// bytes. What reads must compose at every frame, with frames of the screen's size and
// tables of at most 256 colours, and export again as APNG; anything else (a crash, a
// sanitizer report, an exception other than GifError) is a finding.
//
// Seeds: the files the export writes (a few small animations as WebP and APNG), made
// with VORLANE_ANIMATION_SEEDS set to a folder.

#include <cstdio>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "export/AnimationFiles.h"
#include "export/Export.h"

using namespace vorlane;

namespace {

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_animation_files: %s\n", what);
    std::abort();
}

// Far below the defaults, so that one input costs milliseconds and megabytes.
gif::ReadLimits fuzzLimits() {
    gif::ReadLimits limits;
    limits.maxScreenPixels = 1 << 18;
    limits.maxFrames = 64;
    limits.maxComposedPixels = 1 << 20;
    return limits;
}

void writeSeeds(const QString& folder) {
    QDir().mkpath(folder);
    int n = 0;
    for (int frames : {1, 3}) {
        gif::GifImage image;
        image.screenWidth = 12;
        image.screenHeight = 8;
        for (int f = 0; f < frames; ++f) {
            QImage picture(12, 8, QImage::Format_ARGB32);
            picture.fill(qRgba(40 * f, 200, 90, f == 1 ? 0 : 255));
            picture.setPixel(f, f, qRgb(255, 0, 0));
            image.addFrame(picture);
        }
        for (exporting::Format format : {exporting::Format::WebP, exporting::Format::Apng}) {
            exporting::ExportSettings s;
            s.format = format;
            const gif::Bytes bytes = exporting::exportAnimation(image, s).bytes;
            QFile file(QDir(folder).filePath(QStringLiteral("seed%1").arg(n++)));
            if (file.open(QIODevice::WriteOnly))
                file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    if (const QByteArray seeds = qgetenv("VORLANE_ANIMATION_SEEDS"); !seeds.isEmpty())
        writeSeeds(QString::fromLocal8Bit(seeds));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    gif::GifImage image;
    try {
        exporting::readAnimation(image, std::span<const uint8_t>(data, size), fuzzLimits());
    } catch (const gif::GifError&) {
        return 0;
    }
    if (image.frameCount() == 0) return 0;
    // WebP and APNG become full-screen frames; a GIF's frames are kept as read, and
    // after its first one may reach outside the screen (composing clips them).
    const bool isGif =
        exporting::kindOf(std::span<const uint8_t>(data, size)) == exporting::FileKind::Gif;
    gif::Compositor compositor(image);
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const gif::Frame& f = image.frame(i);
        if (!isGif && (f.width() > image.screenWidth || f.height() > image.screenHeight))
            finding("a frame larger than the screen");
        if (image.activeColors(i).size() > 256) finding("a table of more than 256 colours");
        compositor.compose(i);
    }
    exporting::ExportSettings s;
    s.format = exporting::Format::Apng;
    try {
        exporting::exportAnimation(image, s);
    } catch (const gif::GifError&) {
        finding("what was read could not be exported");
    }
    return 0;
}
