// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of the recovery copies while a long animation is edited. Opens FILE as the
// editor does (read, unoptimize), makes it FRAMES frames long by repeating its frames
// (each repeat with pixels of its own, as a recording has them), then writes the copy
// the way the editor's writer does after the first change and after each of a series of
// typical edits. Prints the processor time of the writing thread for each, the time the
// window's thread spends taking the snapshot, and the share of one core the writer costs
// while the animation is edited without pause, at the default interval.
//
//   bench_recovery FILE [FRAMES] [INTERVAL_S] [OUT]
//
// OUT: the long animation as opened is also saved there, for timing a peer on it.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>

#include "codec/GifImage.h"
#include "codec/Unoptimize.h"
#include "document/AnimationModel.h"
#include "document/DocumentFiles.h"
#include "document/EditSteps.h"
#include "document/RecentFiles.h"
#include "document/Recovery.h"
#include "platform/Platform.h"

using namespace vorlane;

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Write {
    double snapshotMs = 0; // on the window's thread
    double cpuMs = 0;      // of the writing thread
    double wallMs = 0;
    qint64 bytes = 0;
};

Write writeCopy(RecoveryWriter& writer) {
    Write w;
    const qint64 cpu0 = writer.writingCpuUs();
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&writer, &RecoveryWriter::finished, &loop, [&](bool written) {
        ok = written;
        loop.quit();
    });
    const auto start = std::chrono::steady_clock::now();
    writer.writeNow();
    w.snapshotMs = msSince(start);
    loop.exec();
    w.wallMs = msSince(start);
    if (!ok) throw std::runtime_error("the copy was not written");
    w.cpuMs = double(writer.writingCpuUs() - cpu0) / 1000.0;
    const QDir folder = QFileInfo(writer.manifestPath()).dir();
    for (const QFileInfo& f : folder.entryInfoList({QStringLiteral("*.gif")}, QDir::Files))
        w.bytes = f.size();
    return w;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_recovery FILE [FRAMES] [INTERVAL_S] [OUT]\n");
        return 2;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int interval = argc > 3 ? std::atoi(argv[3]) : RecoveryWriter::DefaultSeconds;
    try {
        gif::GifImage read;
        read.load(QString::fromLocal8Bit(argv[1]));
        gif::GifImage image = gif::unoptimize(read);
        const size_t distinct = image.frameCount();
        for (size_t i = distinct; i < size_t(frames); ++i) {
            gif::Frame f = image.frame(i % distinct).clone();
            f.setPixels(f.width(), f.height(), f.pixels());
            image.appendFrame(std::move(f));
        }
        const QSize screen(image.screenWidth, image.screenHeight);
        if (argc > 4) image.save(QString::fromLocal8Bit(argv[4]));

        AnimationModel animation;
        animation.load(std::move(image), QStringLiteral("bench.gif"));
        RecentFiles recent(nullptr);
        DocumentFiles files(animation, recent, Platform{});
        QTemporaryDir folder;
        RecoveryWriter writer(animation, files);
        writer.setFolder(folder.path());
        writer.setIntervalSeconds(interval);

        std::printf("recovery copies: %d frames of %dx%d (%zu distinct), interval %d s\n",
                    animation.frameCount(), screen.width(), screen.height(), distinct,
                    interval);
        std::printf("  %-34s %9s %9s %9s %11s\n", "copy after", "snap ms", "cpu ms", "wall ms",
                    "bytes");
        auto row = [](const char* what, const Write& w) {
            std::printf("  %-34s %9.1f %9.1f %9.1f %11lld\n", what, w.snapshotMs, w.cpuMs,
                        w.wallMs, (long long)w.bytes);
        };

        // The first change: every frame is coded.
        const int n = animation.frameCount();
        animation.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"),
                                                          std::vector<int>{n / 2}));
        const Write first = writeCopy(writer);
        row("first change (remove a frame)", first);

        // Typical edits, one per interval: only frames with new pixels are coded.
        const std::vector<std::pair<const char*, std::function<void()>>> edits = {
            {"remove a frame", [&] {
                 animation.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove"),
                                                                   std::vector<int>{10}));
             }},
            {"change a delay", [&] {
                 animation.push(std::make_unique<SetControlsStep>(
                     QStringLiteral("Delay"), std::vector<int>{3},
                     [](gif::GraphicControl& c) { c.delay = 25; }));
             }},
            {"move a frame to the end", [&] {
                 const int count = animation.frameCount();
                 animation.push(std::make_unique<MoveFramesStep>(
                     QStringLiteral("Move"),
                     MoveFramesStep::moveRowsBefore(count, std::vector<int>{5}, count)));
             }},
            {"duplicate a frame", [&] {
                 std::vector<gif::Frame> copy{animation.frame(7).clone()};
                 animation.push(std::make_unique<InsertFramesStep>(QStringLiteral("Duplicate"),
                                                                   8, std::move(copy)));
             }},
            {"new pixels in one frame", [&] {
                 gif::Frame f = animation.frame(20).clone();
                 gif::Bytes pixels = f.pixels();
                 for (size_t p = 0; p < pixels.size(); p += 97)
                     pixels[p] = uint8_t(pixels[p] ^ 1);
                 f.setPixels(f.width(), f.height(), std::move(pixels));
                 std::vector<gif::Frame> replaced;
                 replaced.push_back(std::move(f));
                 animation.push(std::make_unique<ReplaceFramesStep>(
                     QStringLiteral("Replace"), std::vector<int>{20}, std::move(replaced)));
             }},
            {"loop and comment", [&] {
                 animation.push(std::make_unique<SetLoopStep>(QStringLiteral("Loop"),
                                                              LoopSetting{false, 3}));
                 animation.push(std::make_unique<SetCommentStep>(
                     QStringLiteral("Comment"), QStringLiteral("edited"), false));
             }},
        };
        double laterCpu = 0;
        for (const auto& [what, edit] : edits) {
            edit();
            const Write w = writeCopy(writer);
            row(what, w);
            laterCpu += w.cpuMs;
        }
        const double meanLater = laterCpu / double(edits.size());

        // Editing without pause for ten minutes: a copy every interval, the first one
        // coding everything.
        const double session = 600.0;
        const int copies = int(session / interval);
        const double sessionCpu = first.cpuMs + meanLater * (copies - 1);
        std::printf("  mean after a later edit: %.1f ms of processor time\n", meanLater);
        std::printf("  writer's share of one core, editing without pause for %.0f min at "
                    "%d s: %.2f %% (every copy coded whole: %.2f %%); target < 5 %%\n",
                    session / 60, interval, 100.0 * sessionCpu / (session * 1000.0),
                    100.0 * first.cpuMs / (interval * 1000.0));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_recovery: %s\n", e.what());
        return 1;
    }
}
