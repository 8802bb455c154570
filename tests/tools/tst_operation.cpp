// SPDX-License-Identifier: GPL-3.0-or-later
// Every tool through the one operation type: the outcome the dialogs show before OK is
// the outcome of running it, progress rises to 100, and a cancel stops each tool with
// Cancelled, from the first frame or in the middle, on one thread or several.

#include <atomic>

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
        ToolContext context;
        context.progress = [&](int percent) { reported.push_back(percent); };
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
    }

    void cancelStopsTheTool_data() {
        addOperations();
    }
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

    // The flag the editor's worker would watch, raised from another thread while a
    // resize shares its frames out over several.
    void cancelFromAnotherThread() {
        const GifImage source = toolInput(76, true, 40, 200, 150);
        std::atomic<bool> flag{false};
        const ToolContext context = ToolContext::watching(flag, [&](int percent) {
            if (percent >= 10) flag = true;
        });
        QVERIFY_THROWS_EXCEPTION(Cancelled, run(source, op::Scale{170, ResizeFilter::Lanczos}, context));
    }
};

QTEST_GUILESS_MAIN(TestOperation)
#include "tst_operation.moc"
