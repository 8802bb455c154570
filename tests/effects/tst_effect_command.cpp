// SPDX-License-Identifier: GPL-3.0-or-later
// The effect command on a document: where the generated frames go and in which order,
// what they carry, and what the document looks like afterwards.

#include <QSignalSpy>
#include <QTest>

#include "codec/GifImage.h"
#include "document/Document.h"
#include "effects/EffectCommand.h"
#include "support/FakePlatform.h"
#include "support/TestData.h"

using namespace vorlane;
using namespace vorlane::effects;

namespace {

// Frame colours of makeAnimation: red, green, blue, white, red, ...
constexpr QRgb Colors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};

struct Fixture {
    test::FakePlatform fakes;
    Document doc{fakes.platform()};

    explicit Fixture(int frames, int current) {
        doc.setImage(test::makeAnimation(frames, 20, 10));
        doc.ren();
        doc.makeloopongif();
        doc.setModified(false);
        doc.selectFrame(current);
    }
    QImage picture(int i) { return doc.image()->ownPicture(size_t(i)); }
    const gif::GraphicControl& control(int i) {
        return *doc.image()->frame(size_t(i)).graphicControl();
    }
    bool loopHeads(int i) {
        const auto& records = doc.image()->frame(size_t(i)).extensions;
        return !records.empty() && records.front()->isLoop();
    }
};

} // namespace

class TestEffectCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesStandInReverseBeforeTheCurrentFrame();
    void scrollOnTheFirstFrameMovesTheLoopRecord();
    void countZeroInsertsNothingButModifies();
    void effectsNeedTheirFrames();
};

void TestEffectCommand::framesStandInReverseBeforeTheCurrentFrame() {
    // Scroll from the left over black, 8 images: 9 pictures, the first shown all black,
    // the last shown the current picture moved 4 columns left (20 - 8 x 2 = 4).
    Fixture f(5, 3);
    EffectSettings settings;
    settings.count = 8;
    settings.color = qRgb(0, 0, 0);
    QCOMPARE(runEffect(f.doc, Effect::Scroll, settings), 9);
    QCOMPARE(f.doc.frameCount(), 14);
    QCOMPARE(f.doc.entryCount(), 14);
    QCOMPARE(f.doc.currentFrame(), -1);
    QVERIFY(f.doc.isModified());
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.picture(i).pixel(0, 0), Colors[i]);
    QCOMPARE(f.picture(12).pixel(0, 0), Colors[3]); // the former current frame
    QCOMPARE(f.picture(13).pixel(0, 0), Colors[0]);
    for (int n = 0; n <= 8; ++n) {
        const QImage& p = f.picture(3 + n);
        QCOMPARE(p.size(), QSize(20, 10));
        QCOMPARE(f.control(3 + n).delay, uint16_t(0));
        QCOMPARE(f.control(3 + n).disposal, uint8_t(2));
        // Columns 0 .. 2n - 1 show the current picture (white), the rest black.
        for (int x = 0; x < 20; ++x)
            QCOMPARE(p.pixel(x, 5), x < 2 * n ? Colors[3] : qRgb(0, 0, 0));
    }
}

void TestEffectCommand::scrollOnTheFirstFrameMovesTheLoopRecord() {
    // The former first frame carried a stale loop count and a comment; both leave it, so
    // that the saved file holds one loop record (the panel's choice) and one comment.
    Fixture f(2, 0);
    f.doc.finiClick();
    f.doc.NumLoopsChange(3);
    f.doc.image()->frame(0).extensions.push_back(gif::Extension::makeComment("note"));
    f.doc.GifcommentChange(QStringLiteral("note"));
    f.doc.infiniClick();
    EffectSettings settings;
    settings.count = 2;
    QCOMPARE(runEffect(f.doc, Effect::Scroll, settings), 3);
    QCOMPARE(f.picture(3).pixel(0, 0), Colors[0]);
    QVERIFY(f.loopHeads(0));
    f.doc.addcommenttogif();
    int loops = 0;
    int comments = 0;
    for (const gif::Frame& frame : f.doc.image()->frames())
        for (const auto& record : frame.extensions) {
            loops += record->isLoop();
            comments += record->isComment();
        }
    QCOMPARE(loops, 1);
    QCOMPARE(comments, 1);
    QCOMPARE(*f.doc.loopext()->loopCount(), uint16_t(0));
}

void TestEffectCommand::countZeroInsertsNothingButModifies() {
    for (Effect e : {Effect::Scroll, Effect::Replacement, Effect::Wipe, Effect::SeparationV,
                     Effect::SeparationH, Effect::Fade}) {
        Fixture f(3, 2);
        QSignalSpy rebuilt(&f.doc, &Document::framesRebuilt);
        EffectSettings settings;
        settings.count = 0;
        const int expected = e == Effect::Fade ? 1 : 0;
        QCOMPARE(runEffect(f.doc, e, settings), expected);
        QCOMPARE(f.doc.frameCount(), 3 + expected);
        QVERIFY(f.doc.isModified());
        QCOMPARE(rebuilt.count(), 1);
        QCOMPARE(f.doc.currentFrame(), -1);
    }
}

void TestEffectCommand::effectsNeedTheirFrames() {
    // On the first frame only the scroll runs; without a current frame nothing does, and
    // nothing is touched.
    Fixture f(3, 0);
    for (Effect e : {Effect::Replacement, Effect::Wipe, Effect::Fade, Effect::SeparationV,
                     Effect::SeparationH}) {
        QVERIFY(!effectAvailable(f.doc, e));
        QCOMPARE(runEffect(f.doc, e, {}), 0);
    }
    QVERIFY(effectAvailable(f.doc, Effect::Scroll));
    QVERIFY(!f.doc.isModified());
    QCOMPARE(f.doc.currentFrame(), 0);
    f.doc.selectFrame(-1);
    QVERIFY(!effectAvailable(f.doc, Effect::Scroll));
    QCOMPARE(runEffect(f.doc, Effect::Scroll, {}), 0);
    QCOMPARE(f.doc.frameCount(), 3);
}

QTEST_GUILESS_MAIN(TestEffectCommand)
#include "tst_effect_command.moc"
