// SPDX-License-Identifier: GPL-3.0-or-later
// The edit history: random sequences of steps on random animations undo to the start and
// redo to the end exactly; typing folds into one step; the saved state follows the
// stack; the history drops its oldest steps beyond its memory limit; the animation's
// loop record and comment stay off the frames until the image is written.

#include <random>

#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/EditSteps.h"
#include "document/FrameListModel.h"
#include "support/AnimationSnapshot.h"

using namespace vorlane;

namespace {

using Snapshot = test::AnimationSnapshot;

gif::Frame randomFrame(std::mt19937& random, int tag) {
    gif::Frame f;
    const int w = 1 + int(random() % 5);
    const int h = 1 + int(random() % 4);
    gif::Bytes pixels(size_t(w * h));
    for (auto& p : pixels)
        p = uint8_t(random() % 4);
    f.setPixels(uint16_t(w), uint16_t(h), std::move(pixels));
    f.setLocalColors({{uint8_t(tag), 0, 0}, {0, uint8_t(tag), 0}, {0, 0, 9}, {1, 2, 3}});
    f.graphicControlRecord = gif::Extension::makeGraphicControl();
    f.graphicControlRecord->control().delay = uint16_t(tag);
    f.extensions.push_back(f.graphicControlRecord);
    if (random() % 3 == 0)
        f.extensions.push_back(gif::Extension::makeComment("own " + std::to_string(tag)));
    return f;
}

std::vector<int> randomRows(std::mt19937& random, int count) {
    std::vector<int> rows;
    for (int i = 0; i < count; ++i)
        if (random() % 3 == 0) rows.push_back(i);
    if (rows.empty() && count > 0) rows.push_back(int(random() % count));
    return rows;
}

// One random step that fits the animation as it stands.
std::unique_ptr<EditStep> randomStep(std::mt19937& random, const AnimationModel& m, int& tag) {
    const int n = m.frameCount();
    switch (n == 0 ? 0 : random() % 10) {
    case 0:
    case 1: {
        std::vector<gif::Frame> frames;
        for (int k = 1 + int(random() % 3); k > 0; --k)
            frames.push_back(randomFrame(random, ++tag));
        return std::make_unique<InsertFramesStep>(QStringLiteral("Add image"),
                                                  int(random() % (n + 1)), std::move(frames));
    }
    case 2:
        return std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"),
                                                  randomRows(random, n));
    case 3:
        return std::make_unique<MoveFramesStep>(
            QStringLiteral("Move"),
            MoveFramesStep::moveRowsBefore(n, randomRows(random, n), int(random() % (n + 1))));
    case 4:
        return std::make_unique<MoveFramesStep>(
            QStringLiteral("Move forward"),
            MoveFramesStep::stepRows(n, randomRows(random, n), random() % 2 ? 1 : -1));
    case 5: {
        const int delay = int(random() % 500);
        const int disposal = int(random() % 4);
        return std::make_unique<SetControlsStep>(QStringLiteral("Delay"), randomRows(random, n),
                                                 [=](gif::GraphicControl& c) {
                                                     c.delay = uint16_t(delay);
                                                     c.disposal = uint8_t(disposal);
                                                 });
    }
    case 6: {
        const std::vector<int> rows = randomRows(random, n);
        std::vector<gif::Frame> frames;
        for (size_t k = 0; k < rows.size(); ++k)
            frames.push_back(randomFrame(random, ++tag));
        return std::make_unique<ReplaceFramesStep>(
            QStringLiteral("Resize"), rows, std::move(frames), QSize(8 + int(random() % 4), 7));
    }
    case 9: {
        // A tool's result: any number of frames on another screen.
        std::vector<gif::Frame> frames;
        for (int k = 1 + int(random() % 4); k > 0; --k)
            frames.push_back(randomFrame(random, ++tag));
        return std::make_unique<ReplaceAnimationStep>(QStringLiteral("Rotate"), std::move(frames),
                                                      QSize(5 + int(random() % 4), 9));
    }
    case 7:
        return std::make_unique<SetLoopStep>(QStringLiteral("Loop"),
                                             LoopSetting{random() % 2 == 0, 1 + int(random() % 9)});
    default:
        return std::make_unique<SetCommentStep>(
            QStringLiteral("Comment"), QStringLiteral("c%1").arg(++tag), random() % 2 == 0);
    }
}

// An opened animation of `frames` frames with a loop record and a comment on frame 0.
gif::GifImage opened(int frames, std::mt19937& random, int& tag) {
    gif::GifImage image;
    image.screenWidth = 6;
    image.screenHeight = 5;
    for (int i = 0; i < frames; ++i)
        image.appendFrame(randomFrame(random, ++tag));
    if (frames > 0) {
        auto& records = image.frame(0).extensions;
        records.insert(records.begin(), gif::Extension::makeLoop(3));
        records.push_back(gif::Extension::makeComment("hello"));
    }
    return image;
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void randomStepsUndoAndRedoExactly_data();
    void randomStepsUndoAndRedoExactly();
    void typingFoldsIntoOneUndoStep();
    void savedStateFollowsTheUndoStack();
    void undoRestoresTheSelection();
    void historyDropsOldestStepsBeyondItsLimit();
    void animationRecordsStayOffTheFrames();
};

void TestUndo::randomStepsUndoAndRedoExactly_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("frames"); // -1: a new animation without an image
    for (unsigned seed = 1; seed <= 40; ++seed)
        QTest::addRow("seed %u", seed) << seed << int(seed % 5) - 1;
}

void TestUndo::randomStepsUndoAndRedoExactly() {
    QFETCH(unsigned, seed);
    QFETCH(int, frames);
    std::mt19937 random(seed);
    int tag = 0;
    AnimationModel m;
    if (frames >= 0) m.load(opened(frames, random, tag), QStringLiteral("a.gif"));
    FrameListModel list(m); // follows every change, so each signal is checked for sense
    const Snapshot start = Snapshot::of(m);
    QVERIFY(!m.isModified());

    // Steps, with some undone and redone on the way, and new steps after an undo (which
    // drop the steps undone).
    for (int k = 0; k < 30; ++k) {
        if (random() % 5 == 0 && m.undoStack().canUndo()) {
            m.undoStack().undo();
            if (random() % 2) m.undoStack().redo();
            continue;
        }
        m.push(randomStep(random, m, tag));
        QCOMPARE(list.rowCount(), m.frameCount());
    }
    while (m.undoStack().canRedo())
        m.undoStack().redo();
    const Snapshot end = Snapshot::of(m);
    while (m.undoStack().canUndo())
        m.undoStack().undo();
    QCOMPARE(Snapshot::of(m), start);
    QVERIFY(!m.isModified());
    QCOMPARE(list.rowCount(), m.frameCount());
    while (m.undoStack().canRedo())
        m.undoStack().redo();
    QCOMPARE(Snapshot::of(m), end);
    QCOMPARE(list.rowCount(), m.frameCount());
}

void TestUndo::typingFoldsIntoOneUndoStep() {
    std::mt19937 random(7);
    int tag = 0;
    AnimationModel m;
    m.load(opened(3, random, tag), QStringLiteral("a.gif"));
    const int before = m.delay(1);
    for (const int typed : {7, 70, 700}) {
        m.push(std::make_unique<SetControlsStep>(
            QStringLiteral("Delay"), std::vector<int>{1},
            [typed](gif::GraphicControl& c) { c.delay = uint16_t(typed); }, 1));
        QCOMPARE(m.delay(1), typed);
    }
    for (const QString& text : {QStringLiteral("h"), QStringLiteral("hi")})
        m.push(std::make_unique<SetCommentStep>(QStringLiteral("Comment"), text, true));
    m.closeMerging();
    m.push(
        std::make_unique<SetCommentStep>(QStringLiteral("Comment"), QStringLiteral("hi!"), true));
    QCOMPARE(m.undoStack().count(), 3);
    m.undoStack().undo();
    QCOMPARE(m.comment(), QStringLiteral("hi"));
    m.undoStack().undo();
    QCOMPARE(m.comment(), QStringLiteral("hello"));
    m.undoStack().undo();
    QCOMPARE(m.delay(1), before);
}

void TestUndo::savedStateFollowsTheUndoStack() {
    std::mt19937 random(3);
    int tag = 0;
    AnimationModel m;
    m.load(opened(2, random, tag), QStringLiteral("a.gif"));
    QSignalSpy modified(&m, &AnimationModel::modifiedChanged);
    m.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"), std::vector<int>{0}));
    QVERIFY(m.isModified());
    m.markSaved();
    QVERIFY(!m.isModified());
    m.undoStack().undo();
    QVERIFY(m.isModified());
    m.undoStack().redo(); // back to the saved state
    QVERIFY(!m.isModified());
    m.pushUnchanged(QStringLiteral("Scroll effect")); // an edit that changed nothing counts
    QVERIFY(m.isModified());
    QCOMPARE(modified.count(), 5);
    m.clear(); // New: a new history
    QVERIFY(!m.isModified());
    QVERIFY(!m.undoStack().canUndo());
}

void TestUndo::undoRestoresTheSelection() {
    std::mt19937 random(5);
    int tag = 0;
    AnimationModel m;
    m.load(opened(4, random, tag), QStringLiteral("a.gif"));
    QSignalSpy restored(&m, &AnimationModel::selectionRestored);
    auto step =
        std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"), std::vector<int>{1, 2});
    step->before = {2, {1, 2}};
    step->after = {1, {1}};
    m.push(std::move(step));
    QCOMPARE(restored.last().first().value<FrameSelection>(), (FrameSelection{1, {1}}));
    m.undoStack().undo();
    QCOMPARE(restored.last().first().value<FrameSelection>(), (FrameSelection{2, {1, 2}}));
    QCOMPARE(m.undoStack().undoText(), QString());
    QCOMPARE(m.undoStack().redoText(), QStringLiteral("Remove image"));
}

void TestUndo::historyDropsOldestStepsBeyondItsLimit() {
    // Each removal leaves 1000 bytes of pixels in the history alone.
    AnimationModel m;
    gif::GifImage image;
    image.screenWidth = 100;
    image.screenHeight = 10;
    for (int i = 0; i < 6; ++i) {
        gif::Frame f;
        f.setPixels(100, 10, gif::Bytes(1000, uint8_t(i)));
        f.setLocalColors({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}, {5, 5, 5}});
        image.appendFrame(std::move(f));
    }
    m.load(std::move(image), QStringLiteral("a.gif"));
    m.setHistoryLimit(2500);
    for (int k = 0; k < 4; ++k)
        m.push(std::make_unique<RemoveFramesStep>(QStringLiteral("Remove image"),
                                                  std::vector<int>{0}));
    QCOMPARE(m.frameCount(), 2);
    // Two removals fit, the two oldest went; undo reaches back as far as it holds.
    QCOMPARE(m.undoStack().count(), 2);
    QVERIFY(m.historyBytes() <= 2500);
    m.undoStack().undo();
    m.undoStack().undo();
    QVERIFY(!m.undoStack().canUndo());
    QCOMPARE(m.frameCount(), 4);
    QCOMPARE(int(m.frame(0).pixels()[0]), 2);
    QVERIFY(m.isModified()); // the saved state is gone with the dropped steps
    // A step that only shares pixels with the animation costs the history nothing.
    m.push(std::make_unique<MoveFramesStep>(QStringLiteral("Move"), std::vector<int>{1, 0, 2, 3}));
    QCOMPARE(m.historyBytes(), qint64(0));
}

void TestUndo::animationRecordsStayOffTheFrames() {
    std::mt19937 random(11);
    int tag = 0;
    AnimationModel m;
    m.load(opened(3, random, tag), QStringLiteral("a.gif"));
    QCOMPARE(m.loop(), (LoopSetting{false, 3}));
    QCOMPARE(m.comment(), QStringLiteral("hello"));
    for (int i = 0; i < 3; ++i)
        for (const auto& r : m.frame(i).extensions)
            QVERIFY(!r->isLoop());
    // Whatever stands first when the image is written carries them, once.
    m.push(std::make_unique<MoveFramesStep>(QStringLiteral("Move"), std::vector<int>{2, 0, 1}));
    m.push(std::make_unique<SetLoopStep>(QStringLiteral("Loop"), LoopSetting{false, 5}));
    const gif::GifImage written = m.imageForSaving(QStringLiteral("bye"));
    QVERIFY(written.frame(0).extensions.front()->isLoop());
    QCOMPARE(*written.frame(0).extensions.front()->loopCount(), uint16_t(5));
    int loops = 0;
    for (const gif::Frame& f : written.frames())
        for (const auto& r : f.extensions)
            loops += r->isLoop();
    QCOMPARE(loops, 1);
    QCOMPARE(written.frame(0).extensions.back()->text(), std::string("bye"));
    // The file's own comment records go back as they were while the text is theirs.
    const gif::GifImage unchanged = m.imageForSaving(QStringLiteral("hello"));
    QCOMPARE(unchanged.frame(0).extensions.back()->text(), std::string("hello"));
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
