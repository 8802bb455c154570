// SPDX-License-Identifier: GPL-3.0-or-later
// Deterministic inputs for the benchmarks, and the bundled demo animation, made with the
// codec's own model and writer. Every random choice comes from a fixed-seed mt19937 whose
// raw output is used directly (the standard distributions differ between libraries), so
// the files are byte-identical on every machine.
//
//   bench_generate DIR          writes DIR/long.gif, screen.gif, recording.gif, photo.gif,
//                               hd.gif, photo.png
//   bench_generate --demo FILE  writes the demo animation
//   bench_generate --recording FRAMES FILE
//                               writes a screen recording of 800x600 with FRAMES frames
//   bench_generate --photo FRAMES FILE
//                               writes FRAMES photographic frames of 800x600

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <random>
#include <string>

#include <QDir>
#include <QImage>
#include <QString>

#include "codec/ColorReduction.h"
#include "codec/GifImage.h"

using namespace vorlane::gif;

namespace {

constexpr double Pi = 3.14159265358979323846;

uint8_t clampByte(double v) {
    return uint8_t(std::clamp(v, 0.0, 255.0) + 0.5);
}

// A uniform integer in [0, n) from the raw generator output.
uint32_t below(std::mt19937& rng, uint32_t n) {
    return uint32_t(uint64_t(rng()) * n >> 32);
}

// Appends a frame with its own graphic control record (and the loop record on frame 0).
void appendFrame(GifImage& image, int left, int top, int width, int height, Bytes pixels,
                 ColorTable local, uint8_t disposal, uint16_t delay,
                 std::optional<uint8_t> transparent) {
    Frame frame;
    frame.left = uint16_t(left);
    frame.top = uint16_t(top);
    frame.setPixels(uint16_t(width), uint16_t(height), std::move(pixels));
    if (!local.empty()) frame.setLocalColors(std::move(local));
    if (image.frameCount() == 0) frame.extensions.push_back(Extension::makeLoop(0));
    auto control = Extension::makeGraphicControl();
    control->control().disposal = disposal;
    control->control().delay = delay;
    control->control().transparent = transparent.has_value();
    control->control().transparentIndex = transparent.value_or(0);
    frame.extensions.push_back(control);
    frame.graphicControlRecord = control;
    image.appendFrame(std::move(frame));
}

// A screen-sized grid of global-palette indices.
struct Canvas {
    int width = 0;
    int height = 0;
    Bytes pixels;

    Canvas(int w, int h, uint8_t fill) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    uint8_t& at(int x, int y) { return pixels[size_t(y) * width + x]; }
    uint8_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    void fill(int x0, int y0, int w, int h, uint8_t index) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
                at(x, y) = index;
    }
    void disc(double cx, double cy, double r, uint8_t index) {
        for (int y = std::max(0, int(cy - r)); y <= std::min(height - 1, int(cy + r)); ++y)
            for (int x = std::max(0, int(cx - r)); x <= std::min(width - 1, int(cx + r)); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) at(x, y) = index;
    }
};

// Appends `next` as the rectangle where it differs from `shown`, with the pixels that
// did not change made transparent: the usual shape of an optimised animation with a
// global palette. `clear` is a palette entry that the canvases never use.
void appendChanges(GifImage& image, Canvas& shown, const Canvas& next, uint8_t clear,
                   uint16_t delay) {
    int x0 = next.width, y0 = next.height, x1 = -1, y1 = -1;
    for (int y = 0; y < next.height; ++y)
        for (int x = 0; x < next.width; ++x)
            if (shown.at(x, y) != next.at(x, y)) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0) { // nothing changed: one transparent pixel carries the delay
        appendFrame(image, 0, 0, 1, 1, Bytes{clear}, {}, 1, delay, clear);
        return;
    }
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    Bytes pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t now = next.at(x0 + x, y0 + y);
            pixels[size_t(y) * w + x] = now == shown.at(x0 + x, y0 + y) ? clear : now;
        }
    appendFrame(image, x0, y0, w, h, std::move(pixels), {}, 1, delay, clear);
    shown = next;
}

GifImage newImage(int width, int height) {
    GifImage image;
    image.screenWidth = uint16_t(width);
    image.screenHeight = uint16_t(height);
    return image;
}

// ---- (1) a long optimised animation: small sprites, local tables, mixed disposal ----

// A sprite of `w` x `h` pixels drawn by `shade`, which returns a colour index or -1 for
// transparent (entry 0 of the sprite's own table).
template <typename Shade> Bytes sprite(int w, int h, Shade shade) {
    Bytes pixels(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = shade(x, y);
            pixels[size_t(y) * w + x] = uint8_t(v < 0 ? 0 : v);
        }
    return pixels;
}

// A table of `n` entries running from colour a to colour b, entry 0 first.
ColorTable ramp(int n, Rgb a, Rgb b) {
    ColorTable table(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double t = n > 1 ? double(i) / (n - 1) : 0;
        table[size_t(i)] = {clampByte(a.r + (b.r - a.r) * t), clampByte(a.g + (b.g - a.g) * t),
                            clampByte(a.b + (b.b - a.b) * t)};
    }
    return table;
}

GifImage longAnimation() {
    constexpr int W = 480, H = 360, Frames = 300;
    std::mt19937 rng(1001);
    GifImage image = newImage(W, H);

    // Background: a 16 x 16 grid of gradient steps in a 256-entry local table.
    ColorTable background(256);
    for (int i = 0; i < 256; ++i)
        background[size_t(i)] = {uint8_t((i >> 4) * 16 + 8), uint8_t((i & 15) * 12 + 40),
                                 uint8_t(200 - (i >> 4) * 8)};
    Bytes ground(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ground[size_t(y) * W + x] = uint8_t((x * 16 / W) * 16 + y * 16 / H);
    appendFrame(image, 0, 0, W, H, std::move(ground), background, 1, 4, std::nullopt);

    for (int f = 1; f < Frames; ++f) {
        const double t = f / double(Frames);
        const uint16_t delay = uint16_t(3 + f % 3);
        if (f % 25 == 0) {
            // Now and then a larger opaque patch of noisy gradient.
            const int w = 160, h = 120;
            const int x0 = int(below(rng, W - w)), y0 = int(below(rng, H - h));
            ColorTable table = ramp(256, {20, 30, 90}, {250, 220, 120});
            Bytes pixels = sprite(w, h, [&](int x, int y) {
                return std::clamp((x + y) * 255 / (w + h) + int(below(rng, 17)) - 8, 0, 255);
            });
            appendFrame(image, x0, y0, w, h, std::move(pixels), std::move(table), 0, delay,
                        std::nullopt);
            continue;
        }
        switch (f % 3) {
        case 0: {
            // A shaded ball on a Lissajous path, removed again after its frame.
            const int d = 48;
            const int x0 = int((W - d) * (0.5 + 0.5 * std::sin(2 * Pi * 3 * t)));
            const int y0 = int((H - d) * (0.5 + 0.5 * std::sin(2 * Pi * 2 * t + 1)));
            ColorTable table = ramp(64, {255, 255, 255}, {160, 20, 40});
            table[0] = {0, 0, 0};
            Bytes pixels = sprite(d, d, [&](int x, int y) {
                const double dx = x - d / 2.0 + 0.5, dy = y - d / 2.0 + 0.5;
                const double r = std::sqrt(dx * dx + dy * dy);
                if (r > d / 2.0) return -1;
                const double light = std::hypot(dx + 10, dy + 10) / (d * 0.9);
                return 1 + std::min(62, int(light * 62));
            });
            appendFrame(image, x0, y0, d, d, std::move(pixels), std::move(table), 3, delay, 0);
            break;
        }
        case 1: {
            // A paint stamp that stays: leaves a trail of diamonds.
            const int d = 24;
            const int x0 = int((W - d) * (0.5 + 0.45 * std::cos(2 * Pi * 5 * t)));
            const int y0 = int((H - d) * t);
            ColorTable table = ramp(16, {10, 120, 30}, {230, 250, 120});
            Bytes pixels = sprite(d, d, [&](int x, int y) {
                const int m = std::abs(x - d / 2) + std::abs(y - d / 2);
                return m > d / 2 ? -1 : 1 + (m * 14) / (d / 2 + 1);
            });
            appendFrame(image, x0, y0, d, d, std::move(pixels), std::move(table), 1, delay, 0);
            break;
        }
        default: {
            // A flashing grille, cleared to background after its frame.
            const int w = 64, h = 32;
            const int x0 = int(below(rng, W - w)), y0 = int(below(rng, H - h));
            ColorTable table = ramp(32, {40, 40, 200}, {250, 250, 60});
            Bytes pixels = sprite(w, h, [&](int x, int y) {
                return (x / 4 + y / 4) % 3 == 0 ? -1 : 1 + (x * 30) / w;
            });
            appendFrame(image, x0, y0, w, h, std::move(pixels), std::move(table), 2, delay, 0);
            break;
        }
        }
    }
    return image;
}

// ---- (2) a screen recording: flat UI colours, cursor, typing, menus ----

namespace ui {
enum : uint8_t {
    Desktop,
    Window,
    TitleBar,
    Sidebar,
    Ink,
    Button,
    MenuFace,
    MenuLine,
    Selection,
    Black,
    White,
    Accent,
    Clear = 31
};
}

ColorTable uiPalette() {
    ColorTable table(32, Rgb{0, 0, 0});
    const Rgb colours[] = {{58, 110, 165}, {250, 250, 250}, {32, 64, 128},   {230, 232, 236},
                           {30, 30, 34},   {200, 205, 215}, {244, 244, 240}, {190, 190, 190},
                           {51, 153, 255}, {0, 0, 0},       {255, 255, 255}, {220, 80, 60}};
    std::copy(std::begin(colours), std::end(colours), table.begin());
    table[ui::Clear] = {255, 0, 255};
    return table;
}

void drawCursor(Canvas& canvas, int cx, int cy) {
    // An arrow 12 pixels wide and 19 high: black outline, white inside.
    for (int y = 0; y < 19; ++y) {
        const int span = y < 12 ? y + 1 : std::max(0, 16 - y);
        for (int x = 0; x < span && x < 12; ++x) {
            if (cx + x >= canvas.width || cy + y >= canvas.height) continue;
            const bool edge = x == 0 || x == span - 1 || y == 18;
            canvas.at(cx + x, cy + y) = edge ? ui::Black : ui::White;
        }
    }
}

// `frames` pictures: 150 for the usual input; 4500 for the long recording, whose
// composed pictures (2 GiB at one byte a pixel) are more than a fixed limit of 2^31
// pixels would have let the reader open.
GifImage screenRecording(int frames) {
    constexpr int W = 800, H = 600;
    const int Frames = frames;
    std::mt19937 rng(2002);
    GifImage image = newImage(W, H);
    image.setGlobalColors(uiPalette());

    Canvas base(W, H, ui::Desktop);
    base.fill(60, 40, 680, 500, ui::Window);
    base.fill(60, 40, 680, 28, ui::TitleBar);
    base.fill(60, 68, 160, 472, ui::Sidebar);
    base.fill(600, 500, 120, 28, ui::Button);
    for (int i = 0; i < 12; ++i)
        base.fill(76, 84 + i * 30, 100 + int(below(rng, 30)), 10, ui::Ink);

    // Text is typed into lines of "glyphs": ink blocks of varying width.
    int caretX = 240, caretY = 90;
    auto typeGlyph = [&](Canvas& c) {
        const int w = 4 + int(below(rng, 5));
        if (below(rng, 7) == 0) { // a space
            caretX += 6;
        } else {
            c.fill(caretX, caretY + int(below(rng, 3)), w, 11 - int(below(rng, 3)), ui::Ink);
            caretX += w + 2;
        }
        if (caretX > 700) {
            caretX = 240;
            caretY += 18;
            if (caretY > 470) { // the text area scrolls up by one line
                for (int y = 90; y < 470; ++y)
                    std::memcpy(&c.at(236, y), &c.at(236, y + 18), 480);
                c.fill(236, 470, 480, 18, ui::Window);
                caretY -= 18;
            }
        }
    };

    Canvas shown(W, H, ui::Clear);
    bool menuOpen = false;
    for (int f = 0; f < Frames; ++f) {
        for (int k = int(below(rng, 3)); k > 0; --k)
            typeGlyph(base);
        Canvas next = base;
        // A menu opens every 40 frames and stays for 10, with a moving selection.
        menuOpen = f % 40 >= 30;
        if (menuOpen) {
            next.fill(62, 68, 180, 220, ui::MenuFace);
            next.fill(62, 68, 180, 1, ui::MenuLine);
            const int item = (f % 40 - 30) % 8;
            next.fill(64, 72 + item * 26, 176, 24, ui::Selection);
            for (int i = 0; i < 8; ++i)
                next.fill(74, 80 + i * 26, 60 + (i * 37) % 70, 8, ui::Ink);
        }
        const double t = f / double(Frames);
        const int cx = int(100 + 560 * (0.5 + 0.5 * std::sin(2 * Pi * 1.5 * t)));
        const int cy = int(80 + 420 * (0.5 + 0.5 * std::sin(2 * Pi * 1.1 * t + 0.7)));
        drawCursor(next, cx, cy);
        if (f == 0) {
            appendFrame(image, 0, 0, W, H, next.pixels, {}, 1, 10, std::nullopt);
            shown = next;
        } else {
            appendChanges(image, shown, next, ui::Clear, 10);
        }
    }
    return image;
}

// ---- (3) photographic frames, each reduced to its own 256 colours ----

// Smooth colour fields with grain and two soft discs: a photograph-like picture.
QImage photographic(int width, int height, double t, std::mt19937& rng) {
    QImage picture(width, height, QImage::Format_RGB32);
    const double cx1 = width * (0.3 + 0.2 * std::sin(2 * Pi * t));
    const double cy1 = height * (0.4 + 0.2 * std::cos(2 * Pi * t));
    const double cx2 = width * (0.7 - 0.15 * std::sin(4 * Pi * t));
    const double cy2 = height * 0.6;
    const double r1 = height * 0.22, r2 = height * 0.15;
    for (int y = 0; y < height; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        const double v = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            double r = 90 + 120 * u + 30 * std::sin(6 * v + 2 * Pi * t);
            double g = 70 + 100 * v + 40 * std::sin(5 * u + 1);
            double b = 160 - 90 * u * v + 30 * std::cos(4 * (u + v) - 2 * Pi * t);
            const double d1 = std::hypot(x - cx1, y - cy1) / r1;
            if (d1 < 1.2) {
                const double a = std::clamp(1.2 - d1, 0.0, 0.2) * 5;
                r += (250 - r) * a * (1 - 0.3 * d1);
                g += (200 - g) * a * (1 - 0.3 * d1);
                b += (80 - b) * a;
            }
            const double d2 = std::hypot(x - cx2, y - cy2) / r2;
            if (d2 < 1.1) {
                const double a = std::clamp(1.1 - d2, 0.0, 0.1) * 10;
                r += (40 - r) * a;
                g += (120 - g) * a * (1 - 0.4 * d2);
                b += (220 - b) * a;
            }
            const int grain = int(below(rng, 25)) - 12;
            line[x] = qRgb(clampByte(r + grain), clampByte(g + grain), clampByte(b + grain));
        }
    }
    return picture;
}

GifImage photoAnimation(int W = 640, int H = 480, int Frames = 60) {
    std::mt19937 rng(3003);
    GifImage image = newImage(W, H);
    for (int f = 0; f < Frames; ++f) {
        const QImage reduced =
            reduceColors(photographic(W, H, f / double(Frames), rng), Dither::Nearest, 8);
        Bytes pixels(size_t(W) * H);
        for (int y = 0; y < H; ++y)
            std::memcpy(&pixels[size_t(y) * W], reduced.constScanLine(y), W);
        ColorTable table;
        for (QRgb c : reduced.colorTable())
            table.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
        appendFrame(image, 0, 0, W, H, std::move(pixels), std::move(table), 1, 8, std::nullopt);
    }
    return image;
}

// ---- (4) full-HD full frames over a global palette ----

GifImage hdAnimation() {
    constexpr int W = 1920, H = 1080, Frames = 20;
    GifImage image = newImage(W, H);
    ColorTable palette(256);
    for (int i = 0; i < 256; ++i) {
        const double h = 2 * Pi * i / 200.0;
        palette[size_t(i)] = {clampByte(128 + 110 * std::sin(h)),
                              clampByte(128 + 110 * std::sin(h + 2.1)),
                              clampByte(128 + 110 * std::sin(h + 4.2))};
    }
    image.setGlobalColors(palette);
    for (int f = 0; f < Frames; ++f) {
        const double t = f / double(Frames);
        const double cx = W * (0.5 + 0.3 * std::sin(2 * Pi * t));
        const double cy = H * (0.5 + 0.3 * std::cos(2 * Pi * t));
        Bytes pixels(size_t(W) * H);
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const double d = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
                uint8_t index = uint8_t(int(d / 9 + f * 4) % 200);
                // Flat panels over the rings, as in a presentation.
                if (x > 160 && x < 760 && y > 120 && y < 420) index = uint8_t(200 + (f % 8));
                if (x > 1200 && x < 1760 && y > 700 && y < 980 && ((x / 40 + y / 40) & 1))
                    index = uint8_t(210 + (x / 40) % 8);
                pixels[size_t(y) * W + x] = index;
            }
        }
        appendFrame(image, 0, 0, W, H, std::move(pixels), {}, 1, 10, std::nullopt);
    }
    return image;
}

// ---- the demo animation ----

GifImage demoAnimation() {
    constexpr int W = 320, H = 240, Frames = 32;
    GifImage image = newImage(W, H);

    // Palette: 24 sky bands, ground, sun, shadow, cloud, three balls with two shades each,
    // and one unused entry for transparency.
    ColorTable palette(64, Rgb{0, 0, 0});
    for (int i = 0; i < 24; ++i)
        palette[size_t(i)] = {clampByte(40 + i * 8.5), clampByte(90 + i * 5.5),
                              clampByte(200 - i * 2.0)};
    enum : uint8_t { Grass = 24, GrassDark, Sun, SunRim, Shadow, Cloud, Ball0 = 32, Clear = 63 };
    palette[Grass] = {70, 160, 80};
    palette[GrassDark] = {50, 130, 65};
    palette[Sun] = {255, 220, 90};
    palette[SunRim] = {255, 190, 70};
    palette[Shadow] = {40, 100, 55};
    palette[Cloud] = {250, 250, 252};
    const Rgb balls[3][2] = {{{235, 80, 90}, {190, 50, 70}},
                             {{90, 140, 240}, {60, 100, 200}},
                             {{250, 170, 60}, {210, 120, 40}}};
    for (int b = 0; b < 3; ++b) {
        palette[size_t(Ball0 + 2 * b)] = balls[b][0];
        palette[size_t(Ball0 + 2 * b + 1)] = balls[b][1];
    }
    palette[Clear] = {255, 0, 255};
    image.setGlobalColors(palette);

    Canvas shown(W, H, Clear);
    for (int f = 0; f < Frames; ++f) {
        const double t = f / double(Frames);
        Canvas next(W, H, 0);
        for (int y = 0; y < 180; ++y)
            next.fill(0, y, W, 1, uint8_t(y * 24 / 180));
        // The sun glows, and a cloud drifts across from one edge to the other, off screen
        // at both ends of the loop.
        next.disc(250, 60, 24 + 3 * std::sin(2 * Pi * t), SunRim);
        next.disc(250, 60, 21, Sun);
        const double cloud = -70 + (W + 140) * t;
        next.disc(cloud, 50, 18, Cloud);
        next.disc(cloud + 22, 44, 22, Cloud);
        next.disc(cloud + 46, 52, 16, Cloud);
        next.fill(int(cloud), 52, 46, 16, Cloud);
        for (int y = 180; y < H; ++y)
            next.fill(0, y, W, 1, ((y / 6) & 1) ? Grass : GrassDark);
        // Three balls bounce out of phase; each completes whole bounces in a loop.
        for (int b = 0; b < 3; ++b) {
            const double phase = std::fmod(t * (b + 1) + b / 3.0, 1.0);
            const double height = 120 * std::sin(Pi * phase);
            const double bx = 70 + b * 90, by = 180 - 16 - height;
            next.disc(bx, 184, 16 - height / 12, Shadow);
            next.disc(bx, by, 16, uint8_t(Ball0 + 2 * b + 1));
            next.disc(bx - 4, by - 4, 11, uint8_t(Ball0 + 2 * b));
        }
        if (f == 0) {
            appendFrame(image, 0, 0, W, H, next.pixels, {}, 1, 6, std::nullopt);
            image.frame(0).extensions.push_back(
                Extension::makeComment("Vorlane Gif demo: three balls bouncing at sunrise"));
            shown = next;
        } else {
            appendChanges(image, shown, next, Clear, 6);
        }
    }
    return image;
}

void save(const GifImage& image, const QString& path) {
    image.save(path);
    std::printf("%s: %zu frames\n", qPrintable(path), image.frameCount());
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "--demo") == 0) {
            save(demoAnimation(), QString::fromLocal8Bit(argv[2]));
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "--recording") == 0) {
            save(screenRecording(std::max(1, std::atoi(argv[2]))), QString::fromLocal8Bit(argv[3]));
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "--photo") == 0) {
            save(photoAnimation(800, 600, std::max(1, std::atoi(argv[2]))),
                 QString::fromLocal8Bit(argv[3]));
            return 0;
        }
        if (argc != 2) {
            std::fprintf(stderr, "usage: bench_generate DIR | bench_generate --demo FILE | "
                                 "bench_generate --recording|--photo FRAMES FILE\n");
            return 2;
        }
        const QDir dir(QString::fromLocal8Bit(argv[1]));
        if (!QDir().mkpath(dir.path())) throw GifError("cannot create " + dir.path().toStdString());
        save(longAnimation(), dir.filePath(QStringLiteral("long.gif")));
        save(screenRecording(150), dir.filePath(QStringLiteral("screen.gif")));
        save(screenRecording(4500), dir.filePath(QStringLiteral("recording.gif")));
        save(photoAnimation(), dir.filePath(QStringLiteral("photo.gif")));
        save(hdAnimation(), dir.filePath(QStringLiteral("hd.gif")));
        std::mt19937 rng(5005);
        const QString png = dir.filePath(QStringLiteral("photo.png"));
        if (!photographic(1920, 1080, 0.3, rng).save(png))
            throw GifError("cannot write " + png.toStdString());
        std::printf("%s: 1920x1080 picture\n", qPrintable(png));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_generate: %s\n", e.what());
        return 1;
    }
}
