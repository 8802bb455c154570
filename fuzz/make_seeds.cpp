// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the seed corpus for the fuzz targets: small GIFs that between them reach every
// kind of block, the reader's leniencies and both coders' edge cases. Some are built
// byte by byte with the test builder (including malformed ones), some by our writer.
//
//   fuzz_make_seeds DIR

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <QDir>
#include <QFile>

#include "codec/GifImage.h"
#include "support/GifBuilder.h"

using vorlane::test::GifBuilder;
namespace gif = vorlane::gif;

namespace {

using Bytes = std::vector<uint8_t>;

const std::vector<uint32_t> four = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

std::vector<uint32_t> greyRamp(int n) {
    std::vector<uint32_t> colors;
    for (int i = 0; i < n; ++i) {
        const uint32_t v = uint32_t(i * 255 / std::max(1, n - 1));
        colors.push_back(v << 16 | v << 8 | v);
    }
    return colors;
}

Bytes pattern(int w, int h, int colors, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes px(size_t(w) * h);
    for (auto& p : px)
        p = uint8_t(rng() % uint32_t(colors));
    return px;
}

Bytes runs(int w, int h, int colors) {
    Bytes px(size_t(w) * h);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = uint8_t((i / 7) % size_t(colors));
    return px;
}

Bytes animation() {
    return GifBuilder()
        .header()
        .screen(4, 3, four)
        .loop(0)
        .comment("seed")
        .graphicControl(1, 10)
        .image(0, 0, 4, 3, Bytes(12, 1))
        .graphicControl(2, 20, 0)
        .image(1, 1, 2, 2, {0, 2, 3, 2}, four)
        .graphicControl(3, 5, 3)
        .image(0, 0, 2, 2, {3, 1, 1, 3})
        .image(0, 0, 1, 1, {3}, {}, true)
        .trailer()
        .bytes();
}

Bytes cut(Bytes b, size_t keep) {
    b.resize(std::min(keep, b.size()));
    return b;
}

// Small images from our own writer: sprites with local tables and every disposal, and a
// noisy frame that fills the LZW table several times.
Bytes written(bool noisy) {
    gif::GifImage image;
    image.screenWidth = noisy ? 64 : 40;
    image.screenHeight = noisy ? 64 : 30;
    std::mt19937 rng(noisy ? 7 : 3);
    const int frames = noisy ? 1 : 6;
    for (int f = 0; f < frames; ++f) {
        gif::Frame frame;
        const int w = noisy ? 64 : 8 + f * 3, h = noisy ? 64 : 6 + f * 2;
        frame.left = uint16_t(noisy ? 0 : f * 4);
        frame.top = uint16_t(noisy ? 0 : f * 3);
        gif::Bytes px(size_t(w) * h);
        for (auto& p : px)
            p = uint8_t(noisy ? rng() % 256 : rng() % 16);
        frame.setPixels(uint16_t(w), uint16_t(h), std::move(px));
        gif::ColorTable table;
        for (int i = 0; i < (noisy ? 256 : 16); ++i)
            table.push_back({uint8_t(i * 13), uint8_t(255 - i * 7), uint8_t(i * 29)});
        frame.setLocalColors(table);
        if (f == 0 && !noisy) frame.extensions.push_back(gif::Extension::makeLoop(3));
        auto control = gif::Extension::makeGraphicControl();
        control->control().disposal = uint8_t(f % 4);
        control->control().delay = uint16_t(f * 3);
        control->control().transparent = f % 2 == 1;
        control->control().transparentIndex = uint8_t(f);
        frame.extensions.push_back(control);
        frame.graphicControlRecord = control;
        frame.interlaced = f == 4;
        image.appendFrame(std::move(frame));
    }
    return image.saveToBytes();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(dir.path());

    const Bytes anim = animation();
    const std::vector<std::pair<const char*, Bytes>> seeds = {
        {"minimal-87a.gif", GifBuilder()
                                .header("87a")
                                .screen(1, 1, {0xFFFFFF})
                                .image(0, 0, 1, 1, {0})
                                .trailer()
                                .bytes()},
        {"animation.gif", anim},
        {"interlaced.gif", GifBuilder()
                               .header()
                               .screen(10, 9, four)
                               .image(0, 0, 10, 9, runs(10, 9, 4), {}, true)
                               .trailer()
                               .bytes()},
        {"records.gif", GifBuilder()
                            .header()
                            .screen(8, 8, four)
                            .loop(2, "ANIMEXTS1.0")
                            .application("XMP DataXMP", {Bytes{'x', 'm', 'p'}, Bytes{1, 2}})
                            .comment("")
                            .plainText("hello")
                            .graphicControl(0, 7)
                            .graphicControl(1, 8)
                            .image(0, 0, 8, 8, runs(8, 8, 4))
                            .comment("after")
                            .trailer()
                            .bytes()},
        {"two-colours.gif", GifBuilder()
                                .header()
                                .screen(6, 2, {0, 0xFFFFFF})
                                .image(0, 0, 6, 2, runs(6, 2, 2), {}, false, 2)
                                .trailer()
                                .bytes()},
        {"code-size-8.gif", GifBuilder()
                                .header()
                                .screen(16, 16, greyRamp(256))
                                .image(0, 0, 16, 16, pattern(16, 16, 256, 1))
                                .trailer()
                                .bytes()},
        {"table-full.gif", GifBuilder()
                               .header()
                               .screen(64, 64)
                               .image(0, 0, 64, 64, pattern(64, 64, 256, 2), greyRamp(256))
                               .trailer()
                               .bytes()},
        {"long-runs.gif", GifBuilder()
                              .header()
                              .screen(40, 20, four)
                              .image(0, 0, 40, 20, Bytes(800, 2))
                              .trailer()
                              .bytes()},
        {"outside-screen.gif", GifBuilder()
                                   .header()
                                   .screen(4, 4, four)
                                   .image(0, 0, 4, 4, Bytes(16, 1))
                                   .image(3, 3, 3, 3, Bytes(9, 2))
                                   .trailer()
                                   .bytes()},
        {"first-grows-screen.gif",
         GifBuilder().header().screen(0, 0, four).image(2, 1, 3, 2, Bytes(6, 3)).trailer().bytes()},
        {"local-only.gif", GifBuilder()
                               .header()
                               .screen(3, 3)
                               .graphicControl(0, 0, 1)
                               .image(0, 0, 3, 3, {0, 1, 0, 1, 2, 1, 0, 1, 0}, four)
                               .trailer()
                               .bytes()},
        {"indices-beyond-table.gif", GifBuilder()
                                         .header()
                                         .screen(2, 2, {0, 0xFFFFFF})
                                         .image(0, 0, 2, 2, {0, 5, 7, 1})
                                         .trailer()
                                         .bytes()},
        {"no-trailer.gif", cut(anim, anim.size() - 1)},
        {"truncated-pixels.gif", cut(anim, anim.size() - 12)},
        {"truncated-header.gif", cut(anim, 40)},
        {"after-trailer.gif", GifBuilder().raw(anim).raw({0, 0, 'j', 'u', 'n', 'k'}).bytes()},
        {"garbage-block.gif", GifBuilder()
                                  .header()
                                  .screen(2, 2, four)
                                  .image(0, 0, 2, 2, {0, 1, 2, 3})
                                  .raw({0x99, 1, 2, 3})
                                  .trailer()
                                  .bytes()},
        {"short-data.gif", GifBuilder()
                               .header()
                               .screen(8, 8, four)
                               .graphicControl(0, 0, 2)
                               .image(0, 0, 8, 8, Bytes(20, 1))
                               .trailer()
                               .bytes()},
        {"written-sprites.gif", written(false)},
        {"written-noise.gif", written(true)},
    };
    for (const auto& [name, bytes] : seeds) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
                qint64(bytes.size())) {
            std::fprintf(stderr, "fuzz_make_seeds: cannot write %s\n", name);
            return 1;
        }
    }
    std::printf("%zu seeds in %s\n", seeds.size(), argv[1]);
    return 0;
}
