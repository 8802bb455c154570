// SPDX-License-Identifier: GPL-3.0-or-later
// In-process measurements and checks for bench/run. Output lines are plain
// space-separated fields so that the script can read them.
//
//   bench_codec read RUNS FILE...   best-of-RUNS time of GifImage::load on bytes already in
//                                   memory: "NAME FRAMES PIXELS BEST_MS MPX_PER_S", where
//                                   PIXELS is the pixel indices decoded (every frame's
//                                   width x height)
//   bench_codec write RUNS FILE     best-of-RUNS time of GifImage::saveToBytes alone:
//                                   "NAME BYTES BEST_MS"
//   bench_codec same A B            whether A and B show the same picture at every frame
//                                   (pixels transparent in both count as equal); exit 1
//                                   and the first difference when not
//   bench_codec budget FILE         the memory budget of opening FILE in KiB: 1.5 x the
//                                   bytes of all composed frames at one byte per pixel,
//                                   plus 64 MiB
//   bench_codec tool RUNS FILE OP   best-of-RUNS times of opening FILE as the editor does
//                                   (GifImage::load on bytes in memory, then unoptimize)
//                                   and of the tool OP on the opened animation (resize-half:
//                                   resize to half size with the default filter; rotate:
//                                   a quarter turn), with the check of every composed pixel
//                                   of the result against the composed source: rotate
//                                   exactly; resize within a PSNR bound of a plain 2 x 2
//                                   average computed here. "NAME OP FRAMES OPEN_MS TOOL_MS
//                                   TOOL_CPU_MS CHECK" (processor time of all threads)
//   bench_codec import PICTURE      adds the picture as a frame the way Add does (the
//                                   picture import, its reduction, GifImage::addFrame),
//                                   for measuring its peak memory from outside: "W H
//                                   BUDGET_KIB", the budget of the one-frame animation

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <span>
#include <string>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Unoptimize.h"
#include "formats/PictureImport.h"
#include "tools/Geometry.h"
#include "tools/Resize.h"

using namespace vorlane::gif;

namespace {

QByteArray readAll(const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) throw GifError(std::string("cannot read ") + path);
    return file.readAll();
}

std::span<const uint8_t> asSpan(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())};
}

// Best wall time of `runs` calls, in milliseconds.
template <typename Work> double bestMs(int runs, Work&& work) {
    double best = std::numeric_limits<double>::max();
    for (int r = 0; r < runs; ++r) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

int read(int runs, int count, char** paths) {
    for (int i = 0; i < count; ++i) {
        const QByteArray bytes = readAll(paths[i]);
        // Each run loads into a new image; freeing the previous one is not timed.
        GifImage image;
        double ms = std::numeric_limits<double>::max();
        for (int r = 0; r < runs; ++r) {
            GifImage fresh;
            ms = std::min(ms, bestMs(1, [&] { fresh.load(asSpan(bytes)); }));
            image = std::move(fresh);
        }
        uint64_t pixels = 0;
        for (const Frame& frame : image.frames())
            pixels += uint64_t(frame.width()) * frame.height();
        std::printf("%s %zu %llu %.2f %.1f\n",
                    qPrintable(QFileInfo(QString::fromLocal8Bit(paths[i])).fileName()),
                    image.frameCount(), static_cast<unsigned long long>(pixels), ms,
                    double(pixels) / (ms * 1000.0));
    }
    return 0;
}

int write(int runs, const char* path) {
    GifImage image;
    image.load(asSpan(readAll(path)));
    size_t size = 0;
    const double ms = bestMs(runs, [&] { size = image.saveToBytes().size(); });
    std::printf("%s %zu %.2f\n", qPrintable(QFileInfo(QString::fromLocal8Bit(path)).fileName()),
                size, ms);
    return 0;
}

int same(const char* pathA, const char* pathB) {
    GifImage a, b;
    a.load(asSpan(readAll(pathA)));
    b.load(asSpan(readAll(pathB)));
    if (a.frameCount() != b.frameCount()) {
        std::printf("differs: %zu frames against %zu\n", a.frameCount(), b.frameCount());
        return 1;
    }
    Compositor ca(a), cb(b);
    if (ca.width() != cb.width() || ca.height() != cb.height()) {
        std::printf("differs: screen %dx%d against %dx%d\n", ca.width(), ca.height(), cb.width(),
                    cb.height());
        return 1;
    }
    const size_t n = size_t(ca.width()) * ca.height();
    for (size_t i = 0; i < a.frameCount(); ++i) {
        const uint32_t* pa = ca.compose(i);
        const uint32_t* pb = cb.compose(i);
        for (size_t p = 0; p < n; ++p) {
            if (pa[p] == pb[p] || ((pa[p] >> 24) == 0 && (pb[p] >> 24) == 0)) continue;
            std::printf("differs: frame %zu at (%zu,%zu): %08x against %08x\n", i,
                        p % size_t(ca.width()), p / size_t(ca.width()), pa[p], pb[p]);
            return 1;
        }
    }
    std::printf("same %zu frames\n", a.frameCount());
    return 0;
}

int budget(const char* path) {
    GifImage image;
    image.load(asSpan(readAll(path)));
    const double composed =
        double(image.frameCount()) * double(image.screenWidth) * double(image.screenHeight);
    std::printf("%.0f\n", (1.5 * composed + 64.0 * 1024 * 1024) / 1024.0);
    return 0;
}

// Every composed picture of `result` against the composed picture of `source` moved by
// the tool: exactly for the quarter turn; for half size, the PSNR against the average
// of each 2 x 2 block (drawn where at least half the block is), with the share of
// pixels whose transparency differs.
std::string checkTool(const GifImage& source, const GifImage& result, bool rotate) {
    if (result.frameCount() != source.frameCount()) return "differs: frame count";
    Compositor cs(source), cr(result);
    const int w = cs.width(), h = cs.height();
    const int nw = cr.width(), nh = cr.height();
    double squared = 0;
    uint64_t compared = 0, mismatched = 0;
    for (size_t i = 0; i < source.frameCount(); ++i) {
        const uint32_t* s = cs.compose(i);
        const uint32_t* r = cr.compose(i);
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) {
                const uint32_t got = r[size_t(y) * nw + x];
                if (rotate) {
                    const uint32_t want = s[size_t(h - 1 - x) * w + y];
                    if (got != want) {
                        char text[96];
                        std::snprintf(text, sizeof text, "differs: frame %zu at (%d,%d)", i, x, y);
                        return text;
                    }
                    continue;
                }
                double sum[3] = {0, 0, 0};
                int drawn = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const uint32_t c = s[size_t(std::min(2 * y + dy, h - 1)) * w +
                                             std::min(2 * x + dx, w - 1)];
                        if ((c >> 24) == 0) continue;
                        ++drawn;
                        for (int k = 0; k < 3; ++k)
                            sum[k] += (c >> (16 - 8 * k)) & 0xFF;
                    }
                if ((drawn >= 2) != ((got >> 24) != 0)) {
                    ++mismatched;
                    continue;
                }
                if (drawn < 2) continue;
                ++compared;
                for (int k = 0; k < 3; ++k) {
                    const double d = sum[k] / drawn - double((got >> (16 - 8 * k)) & 0xFF);
                    squared += d * d;
                }
            }
    }
    if (rotate) return "exact";
    const double mse = compared ? squared / (3.0 * double(compared)) : 0;
    const double psnr = mse > 0 ? 10 * std::log10(255.0 * 255.0 / mse) : 99;
    const double clear = 100.0 * double(mismatched) / (double(compared + mismatched) + 1e-9);
    char text[96];
    std::snprintf(text, sizeof text, "%s:%.1fdB,%.2f%%clear-differs",
                  psnr >= 30 && clear <= 1 ? "ok" : "bad", psnr, clear);
    return text;
}

// Processor time of this process, all threads, in milliseconds.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

int tool(int runs, const char* path, const char* op) {
    const bool rotate = std::strcmp(op, "rotate") == 0;
    if (!rotate && std::strcmp(op, "resize-half") != 0) throw GifError("unknown tool");
    const QByteArray bytes = readAll(path);
    GifImage opened;
    const double openMs = bestMs(runs, [&] {
        GifImage loaded;
        loaded.load(asSpan(bytes));
        opened = unoptimize(loaded);
    });
    GifImage result;
    const QSize half((opened.screenWidth + 1) / 2, (opened.screenHeight + 1) / 2);
    double toolCpuMs = std::numeric_limits<double>::max();
    const double toolMs = bestMs(runs, [&] {
        const double cpu = cpuMs();
        result = rotate ? vorlane::tools::rotate(opened, vorlane::tools::Rotation::Quarter)
                        : vorlane::tools::resize(opened, half);
        toolCpuMs = std::min(toolCpuMs, cpuMs() - cpu);
    });
    const std::string check = checkTool(opened, result, rotate);
    std::printf("%s %s %zu %.1f %.1f %.1f %s\n",
                qPrintable(QFileInfo(QString::fromLocal8Bit(path)).fileName()), op,
                opened.frameCount(), openMs, toolMs, toolCpuMs, check.c_str());
    return check == "exact" || check.rfind("ok:", 0) == 0 ? 0 : 1;
}

int import(const char* path) {
    const vorlane::formats::PictureImport importer;
    QImage picture = importer.load(QString::fromLocal8Bit(path));
    if (picture.isNull()) throw GifError(std::string("cannot import ") + path);
    QImage reduced = vorlane::formats::PictureImport::reduce(picture);
    picture = QImage();
    GifImage image;
    const Frame& frame = image.addFrame(reduced);
    const double composed = double(frame.width()) * double(frame.height());
    std::printf("%d %d %.0f\n", int(frame.width()), int(frame.height()),
                (1.5 * composed + 64.0 * 1024 * 1024) / 1024.0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc >= 4 && std::strcmp(argv[1], "read") == 0)
            return read(std::atoi(argv[2]), argc - 3, argv + 3);
        if (argc == 4 && std::strcmp(argv[1], "write") == 0)
            return write(std::atoi(argv[2]), argv[3]);
        if (argc == 4 && std::strcmp(argv[1], "same") == 0) return same(argv[2], argv[3]);
        if (argc == 3 && std::strcmp(argv[1], "budget") == 0) return budget(argv[2]);
        if (argc == 3 && std::strcmp(argv[1], "import") == 0) return import(argv[2]);
        if (argc == 5 && std::strcmp(argv[1], "tool") == 0)
            return tool(std::atoi(argv[2]), argv[3], argv[4]);
        std::fprintf(stderr,
                     "usage: bench_codec read RUNS FILE... | write RUNS FILE | same A B "
                     "| budget FILE | import PICTURE | tool RUNS FILE resize-half|rotate\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_codec: %s\n", e.what());
        return 1;
    }
}
