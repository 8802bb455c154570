// SPDX-License-Identifier: GPL-3.0-or-later
// The effect command on the animation: where the generated frames go and in which order,
// what they carry, what the animation looks like afterwards, and the run as one step of
// the history that undoes exactly.

#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/EditSteps.h"
#include "effects/EffectCommand.h"
#include "support/AnimationSnapshot.h"
#include "support/TestData.h"

using namespace vorlane;
using namespace vorlane::effects;

namespace {

// Frame colours of makeAnimation: red, green, blue, white, red, ...
constexpr QRgb Colors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

struct Fixture {
    AnimationModel animation;
    QSignalSpy restored{&animation, &AnimationModel::selectionRestored};

    explicit Fixture(int frames, const test::AnimationRecords& records = {}) {
        animation.load(std::move(*test::makeAnimation(frames, 20, 10, records)),
                       QStringLiteral("a.gif"));
    }
    QImage picture(int i) { return animation.ownPicture(i); }
    const gif::GraphicControl& control(int i) { return *animation.frame(i).graphicControl(); }
    FrameSelection shown() const { return restored.last().first().value<FrameSelection>(); }
};

const Effect AllEffects[] = {Effect::Scroll,      Effect::Replacement, Effect::Wipe,
                             Effect::SeparationV, Effect::SeparationH, Effect::Fade};

} // namespace

class TestEffectCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesStandInReverseBeforeTheCurrentFrame();
    void scrollOnTheFirstFrameKeepsOneLoopRecordAndComment();
    void countZeroInsertsNothingButModifies();
    void effectsNeedTheirFrames();
    void effectIsOneUndoStep_data();
    void effectIsOneUndoStep();
};

void TestEffectCommand::framesStandInReverseBeforeTheCurrentFrame() {
    // Scroll from the left over black, 8 images: 9 pictures, the first shown all black,
    // the last shown the current picture moved 4 columns left (20 - 8 x 2 = 4).
    Fixture f(5);
    EffectSettings settings;
    settings.count = 8;
    settings.color = qRgb(0, 0, 0);
    QCOMPARE(runEffect(f.animation, {3, {3}}, Effect::Scroll, settings), 9);
    QCOMPARE(f.animation.frameCount(), 14);
    // No frame is current afterwards.
    QCOMPARE(f.shown(), FrameSelection{});
    QVERIFY(f.animation.isModified());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.picture(i).pixel(0, 0), Colors[i]);
    QCOMPARE(f.picture(12).pixel(0, 0), Colors[3]); // the former current frame
    QCOMPARE(f.picture(13).pixel(0, 0), Colors[0]);
    for (int n = 0; n <= 8; ++n) {
        const QImage p = f.picture(3 + n);
        QCOMPARE(p.size(), QSize(20, 10));
        QCOMPARE(f.control(3 + n).delay, uint16_t(0));
        QCOMPARE(f.control(3 + n).disposal, uint8_t(2));
        // Columns 0 .. 2n - 1 show the current picture (white), the rest black.
        for (int x = 0; x < 20; ++x)
            QCOMPARE(p.pixel(x, 5), x < 2 * n ? Colors[3] : qRgb(0, 0, 0));
    }
}

void TestEffectCommand::scrollOnTheFirstFrameKeepsOneLoopRecordAndComment() {
    // The former first frame stands behind the generated ones; the saved file still holds
    // one loop record (the setting) and one comment, on the new first frame.
    Fixture f(2, {3, "note"});
    f.animation.push(std::make_unique<SetLoopStep>(QStringLiteral("Loop"), LoopSetting{true, 3}));
    EffectSettings settings;
    settings.count = 2;
    QCOMPARE(runEffect(f.animation, {0, {0}}, Effect::Scroll, settings), 3);
    QCOMPARE(f.picture(3).pixel(0, 0), Colors[0]);
    const gif::GifImage written = f.animation.imageForSaving(f.animation.comment());
    int loops = 0;
    int comments = 0;
    for (const gif::Frame& frame : written.frames())
        for (const auto& record : frame.extensions) {
            loops += record->isLoop();
            comments += record->isComment();
        }
    QCOMPARE(loops, 1);
    QCOMPARE(comments, 1);
    QCOMPARE(*written.frame(0).extensions.front()->loopCount(), uint16_t(0));
    QCOMPARE(written.frame(0).extensions.back()->text(), std::string("note"));
}

void TestEffectCommand::countZeroInsertsNothingButModifies() {
    for (Effect e : AllEffects) {
        Fixture f(3);
        EffectSettings settings;
        settings.count = 0;
        const int expected = e == Effect::Fade ? 1 : 0;
        QCOMPARE(runEffect(f.animation, {2, {2}}, e, settings), expected);
        QCOMPARE(f.animation.frameCount(), 3 + expected);
        QVERIFY(f.animation.isModified());
        QCOMPARE(f.animation.undoStack().count(), 1);
        QCOMPARE(f.shown(), FrameSelection{});
    }
}

void TestEffectCommand::effectsNeedTheirFrames() {
    // On the first frame only the scroll runs; without a current frame nothing does, and
    // nothing is touched.
    Fixture f(3);
    for (Effect e : AllEffects) {
        if (e == Effect::Scroll) continue;
        QVERIFY(!effectAvailable(f.animation, 0, e));
        QVERIFY(effectAvailable(f.animation, 1, e));
        QCOMPARE(runEffect(f.animation, {0, {0}}, e, {}), 0);
    }
    QVERIFY(effectAvailable(f.animation, 0, Effect::Scroll));
    QVERIFY(!effectAvailable(f.animation, -1, Effect::Scroll));
    QVERIFY(!effectAvailable(f.animation, 3, Effect::Scroll));
    QCOMPARE(runEffect(f.animation, {-1, {}}, Effect::Scroll, {}), 0);
    QCOMPARE(runEffect(f.animation, {}, Effect::Scroll, {}), 0);
    QCOMPARE(f.animation.frameCount(), 3);
    QVERIFY(!f.animation.isModified());
    QCOMPARE(f.animation.undoStack().count(), 0);
    AnimationModel none;
    QVERIFY(!effectAvailable(none, 0, Effect::Scroll));
}

// However many frames an effect makes, it is one step named after it: undo takes them
// all away and brings back the selection the effect started from; redo puts them back.
void TestEffectCommand::effectIsOneUndoStep_data() {
    QTest::addColumn<int>("effect");
    QTest::addColumn<QString>("step");
    for (Effect e : AllEffects)
        QTest::newRow(qPrintable(effectTexts(e).title)) << int(e) << effectStepName(e);
}

void TestEffectCommand::effectIsOneUndoStep() {
    QFETCH(int, effect);
    QFETCH(QString, step);
    Fixture f(3);
    const test::AnimationSnapshot before = test::AnimationSnapshot::of(f.animation);
    EffectSettings settings;
    settings.count = 4;
    const FrameSelection selection{2, {1, 2}};
    const int made = runEffect(f.animation, selection, Effect(effect), settings);
    QVERIFY(made > 0);
    QCOMPARE(f.animation.frameCount(), 3 + made);
    QCOMPARE(f.animation.undoStack().count(), 1);
    QCOMPARE(f.animation.undoStack().undoText(), step);
    const test::AnimationSnapshot after = test::AnimationSnapshot::of(f.animation);
    f.animation.undoStack().undo();
    QCOMPARE(test::AnimationSnapshot::of(f.animation), before);
    QCOMPARE(f.shown(), selection);
    QVERIFY(!f.animation.isModified());
    f.animation.undoStack().redo();
    QCOMPARE(test::AnimationSnapshot::of(f.animation), after);
    QCOMPARE(f.shown(), FrameSelection{});
}

QTEST_GUILESS_MAIN(TestEffectCommand)
#include "tst_effect_command.moc"
