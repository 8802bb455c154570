// SPDX-License-Identifier: GPL-3.0-or-later
// The editor itself on a long animation, headless: opens FILE through the window as the
// command line does (reading and unoptimizing on the worker), and prints the time until
// the first frame is shown, the peak memory against its budget (1.2 bytes per composed
// pixel + 150 MiB), the memory after New, and how late playback frames come while a
// long save runs on the worker.
//
//   bench_editor FILE

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/DocumentFiles.h"
#include "mainwindow/MainWindow.h"
#include "platform/FileDialogs.h"
#include "platform/Platform.h"
#include "platform/QtClock.h"
#include "platform/QtSettingsStore.h"

using namespace vorlane;

namespace {

long statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return 0;
}

// Every save dialog chooses the same file.
class ChosenFile : public FileDialogs {
public:
    explicit ChosenFile(QString path) : m_path(std::move(path)) {}
    std::optional<QString> openPicture(const OpenRequest&) override { return std::nullopt; }
    QStringList openPictures(const OpenRequest&) override { return {}; }
    std::optional<QString> savePicture(const SaveRequest&) override { return m_path; }
    std::optional<QString> saveFile(const SaveRequest&) override { return m_path; }

private:
    QString m_path;
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_editor FILE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString file = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));

    QtSettingsStore settings(home.filePath(QStringLiteral("settings.conf")));
    QtClock clock;
    ChosenFile dialogs(home.filePath(QStringLiteral("copy.gif")));
    Platform platform{};
    platform.dialogs = &dialogs;
    platform.settings = &settings;
    platform.clock = &clock;
    platform.threadedWork = true;
    TMainform window(platform);
    window.show();
    app.processEvents();
    const long startKb = statusKb("VmRSS");

    auto start = std::chrono::steady_clock::now();
    window.startUp({file});
    app.processEvents();
    const double openMs = msSince(start);
    const AnimationModel& animation = window.animation();
    if (animation.frameCount() == 0) {
        std::fprintf(stderr, "bench_editor: %s did not open\n", argv[1]);
        return 1;
    }
    const int frames = animation.frameCount();
    const QSize screen = animation.screen();
    const double composed = double(frames) * screen.width() * screen.height();
    const long peakKb = statusKb("VmHWM");
    const long openKb = statusKb("VmRSS");
    const double budgetMb = 1.2 * composed / 1048576.0 + 150;

    // Playback while a save runs on the worker: how late each frame is drawn.
    std::vector<double> lateness;
    {
        QElapsedTimer clockRun;
        clockRun.start();
        qint64 due = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        constexpr int FrameMs = 40;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clockRun.elapsed();
            if (due > 0) lateness.push_back(double(now - due));
            due = now + FrameMs;
            window.selectFrame((window.currentFrame() + 1) % frames);
        });
        tick.start(FrameMs);
        window.files().saveAs();
        tick.stop();
    }
    std::sort(lateness.begin(), lateness.end());
    const auto percentile = [&](double p) {
        return lateness.empty() ? 0.0 : lateness[size_t(p * double(lateness.size() - 1))];
    };

    // How soon long work stops after Cancel: each is cancelled 400 ms after it began.
    const auto cancelLatency = [&](const std::function<void()>& operation) {
        QElapsedTimer since;
        qint64 cancelledAt = -1;
        QTimer::singleShot(400, &window, [&] {
            if (!window.work().busy()) return;
            cancelledAt = since.elapsed();
            window.work().cancel();
        });
        since.start();
        operation();
        return cancelledAt < 0 ? -1.0 : double(since.elapsed() - cancelledAt);
    };
    const double saveCancel = cancelLatency([&] { window.files().saveAs(); });
    const double optimizedCancel = cancelLatency([&] { window.files().saveOptimizedAs(); });
    const double openCancel =
        cancelLatency([&] { window.files().open(DocumentFiles::OpenOrigin::CommandLine, file); });

    window.FileNewItemClick();
    app.processEvents();
    const long afterNewKb = statusKb("VmRSS");

    std::printf("editor: %s, %d frames of %dx%d (%.0f Mpx composed)\n", argv[1], frames,
                screen.width(), screen.height(), composed / 1e6);
    std::printf("  open to the first shown frame %8.0f ms\n", openMs);
    std::printf("  memory: %ld MiB at start, %ld MiB after opening, peak %ld MiB, "
                "budget %.0f MiB (%s)\n",
                startKb / 1024, openKb / 1024, peakKb / 1024, budgetMb,
                peakKb / 1024.0 <= budgetMb ? "within" : "OVER");
    std::printf("  after New: %ld MiB\n", afterNewKb / 1024);
    std::printf("  playback during a save on the worker: %zu frames, late by median %.0f ms, "
                "95th percentile %.0f ms, worst %.0f ms\n",
                lateness.size(), percentile(0.5), percentile(0.95), percentile(1.0));
    const auto latency = [](double ms) {
        return ms < 0 ? std::string("(ended before 400 ms)") : std::to_string(int(ms)) + " ms";
    };
    std::printf("  cancelled 400 ms in, work stopped after: save %s, optimized save %s, "
                "open %s\n",
                latency(saveCancel).c_str(), latency(optimizedCancel).c_str(),
                latency(openCancel).c_str());
    return 0;
}
