// SPDX-License-Identifier: GPL-3.0-or-later
// Every tool through the one operation type: the outcome the dialogs show before OK is
// the outcome of running it, progress rises to 100, and a cancel stops each tool with
// Cancelled, from the first frame or in the middle, on one thread or several.

#include <atomic>
#include <cmath>

#include <QTest>

#include "tools/Operation.h"
#include "tools/ToolModels.h"

using namespace vorlane::gif;
using namespace vorlane::tools;
using namespace vorlane::test;

Q_DECLARE_METATYPE(vorlane::tools::Operation)

namespace {

void addOperations() {
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("opened");
    const std::pair<const char*, Operation> operations[] = {
        {"resize", op::Resize{30, 0, false, ResizeFilter::Auto}},
        {"resize locked", op::Resize{30, 10, true, ResizeFilter::Lanczos}},
        {"scale", op::Scale{50, ResizeFilter::Area}},
        {"scale nearest", op::Scale{150, ResizeFilter::Nearest}},
        {"crop", op::Crop{QRect(2, 3, 10, 4)}},
        {"autocrop", op::AutoCrop{}},
        {"rotate", op::Rotate{Rotation::ThreeQuarters}},
        {"flip", op::Flip{FlipDirection::Vertical}},
        {"reverse", op::Reverse{std::vector<int>{1, 2, 5}}},
        {"yoyo", op::Yoyo{}},
        {"keep every", op::KeepEvery{3, std::nullopt}},
        {"dedupe", op::Dedupe{}},
        {"speed", op::Speed{150, std::vector<int>{0}}},
        {"delay", op::Delay{4, std::nullopt}},
    };
    for (const auto& [name, operation] : operations)
        for (bool opened : {false, true})
            QTest::addRow("%s, %s", name, opened ? "opened" : "as read") << operation << opened;
}

// Random frames with a margin on the right for auto-crop to take (so that it looks at
// every frame), and a frame drawing nothing at the end for de-duplicate.
GifImage withMargin(quint32 seed, bool opened) {
    GifImage source = toolInput(seed, false, 11);
    source.screenWidth = 50; // no frame reaches beyond 43
    source.appendFrame(makeFrame(0, 0, 1, 1, {0}, distinctTable(1), 1, 0));
    return opened ? unoptimize(source) : std::move(source);
}

// A 4-colour backdrop with a small sprite moving over it, 40 frames (more than one run
// of frames made from the ones before), some frames with a clear hole: what tools make
// from the frame before must be what they make of each frame alone.
GifImage movingSprite() {
    const int w = 40, h = 24;
    GifImage g = blankImage(w, h);
    const ColorTable colors = {
        {250, 240, 200}, {30, 90, 160}, {200, 40, 40}, {20, 20, 20}, {0, 0, 0}};
    for (int f = 0; f < 40; ++f) {
        Bytes pixels(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t v = uint8_t((x / 8 + y / 6) % 2);
                const int sx = (f * 3) % (w - 5), sy = 4 + (f % 7);
                if (x >= sx && x < sx + 5 && y >= sy && y < sy + 4) v = uint8_t(2 + (x + y) % 2);
                if (f % 10 >= 6 && x >= 30 && y >= 16) v = 4; // a clear corner now and then
                pixels[size_t(y) * w + x] = v;
            }
        // Cleared after each frame, so that each frame shows just itself.
        g.appendFrame(makeFrame(0, 0, w, h, pixels, colors, 2, 4, uint16_t(f)));
    }
    return g;
}

GifImage frameAlone(const GifImage& g, size_t i) {
    GifImage one = blankImage(g.screenWidth, g.screenHeight);
    one.appendFrame(g.frame(i));
    return one;
}

} // namespace

class TestOperation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void predictsWhatItMakes_data() { addOperations(); }
    void predictsWhatItMakes() {
        QFETCH(Operation, operation);
        QFETCH(bool, opened);
        for (const quint32 seed : {71u, 72u, 73u}) {
            const GifImage source = withMargin(seed, opened);
            const GifImage made = run(source, operation);
            const Outcome predicted = predict(source, operation);
            QCOMPARE(predicted.screen, QSize(made.screenWidth, made.screenHeight));
            QCOMPARE(predicted.frames, made.frameCount());
        }
    }

    void reportsRisingProgressAndPollsEveryFrame_data() { addOperations(); }
    void reportsRisingProgressAndPollsEveryFrame() {
        QFETCH(Operation, operation);
        QFETCH(bool, opened);
        const GifImage source = withMargin(74, opened);
        std::vector<int> reported;
        std::atomic<int> polls{0};
        int pollsAtFull = -1;
        ToolContext context;
        context.progress = [&](int percent) {
            reported.push_back(percent);
            if (percent == 100) pollsAtFull = polls;
        };
        context.cancelled = [&] {
            ++polls;
            return false;
        };
        const GifImage made = run(source, operation, context);
        QVERIFY(!reported.empty());
        QCOMPARE(reported.back(), 100);
        QVERIFY(std::is_sorted(reported.begin(), reported.end()));
        QVERIFY(std::adjacent_find(reported.begin(), reported.end()) == reported.end());
        // At least once for each frame it makes.
        QVERIFY2(polls >= int(made.frameCount()), qPrintable(QString::number(polls)));
        // 100 % when the work is done, not once the first of its phases is: after it only
        // the threads still ending their share poll, once each at most (regression: a
        // resize said 100 % when it had found what changed from frame to frame, before it
        // resampled any).
        QVERIFY(pollsAtFull >= 0);
        QVERIFY2(int(polls) - pollsAtFull <= 4, qPrintable(QString::number(polls - pollsAtFull)));
    }

    void cancelStopsTheTool_data() { addOperations(); }
    void cancelStopsTheTool() {
        QFETCH(Operation, operation);
        QFETCH(bool, opened);
        const GifImage source = withMargin(75, opened);
        for (const int after : {0, 2}) {
            std::atomic<int> polls{0};
            ToolContext context;
            context.cancelled = [&] { return polls++ >= after; };
            QVERIFY_THROWS_EXCEPTION(Cancelled, run(source, operation, context));
        }
    }

    void framesMadeFromTheOneBeforeAreAsIfMadeWhole_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<double>("minPsnr"); // 99: exactly
        QTest::newRow("rotate") << Operation{op::Rotate{Rotation::Quarter}} << 99.0;
        QTest::newRow("flip") << Operation{op::Flip{FlipDirection::Horizontal}} << 99.0;
        QTest::newRow("crop") << Operation{op::Crop{QRect(5, 3, 30, 17)}} << 99.0;
        QTest::newRow("nearest") << Operation{op::Scale{70, ResizeFilter::Nearest}} << 99.0;
        QTest::newRow("area, exact colours")
            << Operation{op::Scale{50, ResizeFilter::Area}} << 99.0;
        QTest::newRow("lanczos, reduced colours")
            << Operation{op::Scale{170, ResizeFilter::Lanczos}} << 30.0;
    }
    void framesMadeFromTheOneBeforeAreAsIfMadeWhole() {
        QFETCH(Operation, operation);
        QFETCH(double, minPsnr);
        const GifImage source = movingSprite();
        const Shown all = shownBy(run(source, operation));
        for (size_t i = 0; i < source.frameCount(); ++i) {
            const Picture alone = shownBy(run(frameAlone(source, i), operation)).pictures[0];
            const Picture& made = all.pictures[i];
            QCOMPARE(made.size(), alone.size());
            double squared = 0;
            for (size_t p = 0; p < made.size(); ++p) {
                QVERIFY2((made[p] == 0) == (alone[p] == 0), qPrintable(QString::number(i)));
                for (int shift : {0, 8, 16}) {
                    const double d =
                        double((made[p] >> shift) & 0xFF) - double((alone[p] >> shift) & 0xFF);
                    squared += d * d;
                }
            }
            if (minPsnr >= 99) {
                QVERIFY2(made == alone, qPrintable(QString::number(i)));
            } else if (squared > 0) {
                const double psnr =
                    10 * std::log10(255.0 * 255.0 * 3 * double(made.size()) / squared);
                QVERIFY2(psnr >= minPsnr,
                         qPrintable(QStringLiteral("frame %1: %2 dB").arg(i).arg(psnr)));
            }
        }
    }

    // The flag the editor's worker would watch, raised from another thread while a
    // resize shares its frames out over several.
    void cancelFromAnotherThread() {
        const GifImage source = toolInput(76, true, 40, 200, 150);
        std::atomic<bool> flag{false};
        const ToolContext context = ToolContext::watching(flag, [&](int percent) {
            if (percent >= 10) flag = true;
        });
        QVERIFY_THROWS_EXCEPTION(Cancelled,
                                 run(source, op::Scale{170, ResizeFilter::Lanczos}, context));
    }
};

QTEST_GUILESS_MAIN(TestOperation)
#include "tst_operation.moc"
