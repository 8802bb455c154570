// SPDX-License-Identifier: GPL-3.0-or-later
// In-process measurements of the export for bench/run. Output lines are plain
// space-separated fields.
//
//   bench_export psnr SOURCE OTHER    PSNR of every composed frame of OTHER against the
//                                     same frame of SOURCE (any animation the editor
//                                     opens): "FRAMES MEAN_DB MIN_DB" then per frame
//                                     "frame K DB"; transparent pixels count as black
//   bench_export same SOURCE OTHER    whether both show the same pictures with the same
//                                     delays (WebP and APNG durations in hundredths) and
//                                     the same loop count: "same FRAMES" or
//                                     "differs: REASON" (exit 1); `--delays-only`
//                                     before SOURCE compares frames and delays but not
//                                     pixels
//   bench_export estimate FILE FORMAT LOSSY COLORS
//                                     the Export dialog's size estimate (on a sample of
//                                     frames) and the size of the whole export, FORMAT
//                                     gif, webp (quality 80) or apng: "ESTIMATE_BYTES
//                                     WRITTEN_BYTES ESTIMATE_MS EXPORT_MS"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "export/AnimationFiles.h"
#include "export/Export.h"

using namespace vorlane;

namespace {

gif::GifImage open(const char* path) {
    gif::GifImage image;
    exporting::readAnimationFile(image, QString::fromLocal8Bit(path));
    return image;
}

double psnrOf(double mse) {
    return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int psnr(const char* sourcePath, const char* otherPath) {
    const gif::GifImage source = open(sourcePath);
    const gif::GifImage other = open(otherPath);
    if (source.frameCount() != other.frameCount()) {
        std::printf("differs: %zu frames against %zu\n", other.frameCount(), source.frameCount());
        return 1;
    }
    gif::Compositor cs(source), co(other);
    if (cs.width() != co.width() || cs.height() != co.height()) {
        std::printf("differs: screen size\n");
        return 1;
    }
    const size_t area = size_t(cs.width()) * size_t(cs.height());
    std::vector<double> values;
    double total = 0;
    for (size_t i = 0; i < source.frameCount(); ++i) {
        const uint32_t* a = cs.compose(i);
        const uint32_t* b = co.compose(i);
        double sum = 0;
        for (size_t p = 0; p < area; ++p) {
            const uint32_t x = (a[p] >> 24) ? a[p] : 0;
            const uint32_t y = (b[p] >> 24) ? b[p] : 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const double d = double((x >> shift) & 0xFF) - double((y >> shift) & 0xFF);
                sum += d * d;
            }
        }
        const double mse = sum / double(area * 3);
        total += mse;
        values.push_back(psnrOf(mse));
    }
    std::printf("%zu %.3f %.3f\n", values.size(), psnrOf(total / double(values.size())),
                *std::min_element(values.begin(), values.end()));
    for (size_t i = 0; i < values.size(); ++i)
        std::printf("frame %zu %.3f\n", i, values[i]);
    return 0;
}

std::string loopOf(const gif::GifImage& image) {
    if (image.frameCount() == 0) return "none";
    for (const gif::ExtensionPtr& r : image.frame(0).extensions)
        if (r->isLoop()) return std::to_string(r->loopCount().value_or(0));
    return "none";
}

int same(const char* sourcePath, const char* otherPath, bool pixels, bool browserDelays) {
    const gif::GifImage source = open(sourcePath);
    const gif::GifImage other = open(otherPath);
    if (source.frameCount() != other.frameCount()) {
        std::printf("differs: %zu frames against %zu\n", other.frameCount(), source.frameCount());
        return 1;
    }
    if (loopOf(source) != loopOf(other)) {
        std::printf("differs: loop %s against %s\n", loopOf(other).c_str(), loopOf(source).c_str());
        return 1;
    }
    gif::Compositor cs(source), co(other);
    const size_t area = size_t(cs.width()) * size_t(cs.height());
    for (size_t i = 0; i < source.frameCount(); ++i) {
        const auto* gs = source.frame(i).graphicControl();
        const auto* go = other.frame(i).graphicControl();
        int ds = gs ? gs->delay : 0;
        const int dO = go ? go->delay : 0;
        if (browserDelays && ds < 2) ds = 10;
        if (ds != dO) {
            std::printf("differs: frame %zu delay %d against %d\n", i, dO, ds);
            return 1;
        }
        if (!pixels) continue;
        const uint32_t* a = cs.compose(i);
        const uint32_t* b = co.compose(i);
        for (size_t p = 0; p < area; ++p)
            if (a[p] != b[p] && ((a[p] >> 24) != 0 || (b[p] >> 24) != 0)) {
                std::printf("differs: frame %zu at (%zu,%zu): %08x against %08x\n", i,
                            p % size_t(cs.width()), p / size_t(cs.width()), b[p], a[p]);
                return 1;
            }
    }
    std::printf("same %zu\n", source.frameCount());
    return 0;
}

int estimate(const char* path, const std::string& format, int lossy, int colors) {
    const gif::GifImage image = open(path);
    exporting::ExportSettings s;
    s.format = format == "webp"   ? exporting::Format::WebP
               : format == "apng" ? exporting::Format::Apng
                                  : exporting::Format::Gif;
    s.webpLossless = false;
    s.lossy = lossy;
    s.colors = colors;
    auto t0 = std::chrono::steady_clock::now();
    const exporting::SizeEstimate e = exporting::estimateSize(image, s);
    auto t1 = std::chrono::steady_clock::now();
    const exporting::ExportResult whole = exporting::exportAnimation(image, s);
    auto t2 = std::chrono::steady_clock::now();
    std::printf("%llu %zu %.0f %.0f\n", static_cast<unsigned long long>(e.bytes),
                whole.bytes.size(), std::chrono::duration<double, std::milli>(t1 - t0).count(),
                std::chrono::duration<double, std::milli>(t2 - t1).count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "psnr" && argc == 4) return psnr(argv[2], argv[3]);
        if (command == "same" && argc == 4) return same(argv[2], argv[3], true, true);
        if (command == "same" && argc == 5 && std::strcmp(argv[2], "--delays-only") == 0)
            return same(argv[3], argv[4], false, true);
        if (command == "estimate" && argc == 6)
            return estimate(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
        std::fprintf(stderr, "usage: see the head of bench/bench_export.cpp\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_export: %s\n", e.what());
        return 1;
    }
}
