// SPDX-License-Identifier: GPL-3.0-or-later
// The edit history on a long animation, through the window that follows it: 1000 frames
// of 800x600, removed all at once and one by one, then restored by undo and removed again
// by redo. Prints the time of each kind of step and the memory the history adds.
//
//   bench_history [FRAMES] [WIDTH] [HEIGHT]

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QUndoStack>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/EditSteps.h"
#include "document/FrameListModel.h"
#include "mainwindow/MainWindow.h"
#include "platform/Platform.h"

using namespace vorlane;

namespace {

long rssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int width = argc > 2 ? std::atoi(argv[2]) : 800;
    const int height = argc > 3 ? std::atoi(argv[3]) : 600;

    // Every frame its own pixels, as an opened recording has them.
    gif::GifImage image;
    image.screenWidth = uint16_t(width);
    image.screenHeight = uint16_t(height);
    for (int i = 0; i < frames; ++i) {
        gif::Frame f;
        gif::Bytes pixels(size_t(width) * size_t(height));
        for (size_t p = 0; p < pixels.size(); p += 4096)
            pixels[p] = uint8_t(i + p);
        f.setPixels(uint16_t(width), uint16_t(height), std::move(pixels));
        f.setLocalColors({{0, 0, 0}, {255, 255, 255}, {200, 30, 30}});
        image.appendFrame(std::move(f));
    }
    Platform platform{};
    TMainform window(platform);
    window.show();
    AnimationModel& animation = window.animation();
    animation.load(std::move(image), QStringLiteral("bench.gif"));
    window.selectFrame(0);
    app.processEvents();
    const long loaded = rssKb();

    std::vector<int> all(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        all[size_t(i)] = i;
    auto start = std::chrono::steady_clock::now();
    animation.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"), all));
    const double removeAll = msSince(start);
    start = std::chrono::steady_clock::now();
    animation.undoStack().undo();
    const double undoAll = msSince(start);
    start = std::chrono::steady_clock::now();
    animation.undoStack().redo();
    const double redoAll = msSince(start);
    animation.undoStack().undo();
    const long afterAll = rssKb();

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i)
        animation.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"),
                                                          std::vector<int>{0}));
    const double removeOne = msSince(start) / frames;
    const long afterSteps = rssKb();
    const qint64 heldOnly = animation.historyBytes();
    start = std::chrono::steady_clock::now();
    while (animation.undoStack().canUndo())
        animation.undoStack().undo();
    const double undoOne = msSince(start) / frames;
    app.processEvents();
    const long restored = rssKb();

    const double pixelsMb = double(frames) * width * height / 1048576.0;
    std::printf("history: %d frames of %dx%d (%.0f MiB of pixels)\n", frames, width, height,
                pixelsMb);
    std::printf("  remove all as one step   %8.1f ms   undo %8.1f ms   redo %8.1f ms\n", removeAll,
                undoAll, redoAll);
    std::printf("  remove one frame a step  %8.2f ms   undo %8.2f ms   (mean of %d)\n", removeOne,
                undoOne, frames);
    std::printf("  memory after opening %ld MiB; the history adds %+.1f %% (all at once), "
                "%+.1f %% (%d steps), %+.1f %% (all undone)\n",
                loaded / 1024, 100.0 * (afterAll - loaded) / loaded,
                100.0 * (afterSteps - loaded) / loaded, frames,
                100.0 * (restored - loaded) / loaded);
    std::printf("  pixels held by the history alone after %d steps: %lld bytes; thumbnails "
                "cached: %lld KiB\n",
                frames, (long long)heldOnly,
                (long long)(window.frameList().thumbnailBytes() >> 10));
    std::printf("  targets: under 50 ms a step, under 5 %% memory added\n");
    return 0;
}
