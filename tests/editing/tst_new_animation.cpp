// SPDX-License-Identifier: GPL-3.0-or-later
// Building a new animation from picture files: frames, delays, loop setting, name and
// title, files that cannot be read, what happens to unsaved changes first, and the
// creation as one step of the new animation's history.

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/DocumentFiles.h"
#include "document/FrameListModel.h"
#include "document/RecentFiles.h"
#include "editing/NewAnimation.h"
#include "formats/PictureImport.h"
#include "support/AnimationSnapshot.h"
#include "support/FakePlatform.h"
#include "support/TestData.h"

using namespace vorlane;

namespace {

struct Fixture {
    test::FakePlatform fakes;
    AnimationModel animation;
    RecentFiles recent{&fakes.settings};
    DocumentFiles files{animation, recent, fakes.platform()};
    FrameListModel list{animation};
    formats::PictureImport import;
    NewAnimation creation{files, animation, fakes.platform(), import};
    QTemporaryDir dir;
    QSignalSpy restored{&animation, &AnimationModel::selectionRestored};

    QString picture(const char* name, QSize size, QRgb color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(QLatin1String(name));
        image.save(path);
        return path;
    }
    QString junk(const char* name) {
        const QString path = dir.filePath(QLatin1String(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(200, 'x'));
        return path;
    }
    NewAnimationRequest request(const QStringList& files) {
        NewAnimationRequest r;
        r.name = QStringLiteral(" My anim ");
        r.files = files;
        for (const QString& f : files)
            r.names << QFileInfo(f).fileName();
        return r;
    }
    // An animation of two frames with an edit not saved.
    void edited() {
        animation.load(std::move(*test::makeAnimation(2)), AnimationModel::UntitledName);
        animation.pushUnchanged(QStringLiteral("Edit"));
    }
};

} // namespace

class TestNewAnimation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesLoopAndName();
    void countedLoops();
    void creationIsOneUndoStep();
    void unreadableFilesAreSkipped();
    void unsavedChangesFirst_data();
    void unsavedChangesFirst();
};

void TestNewAnimation::framesLoopAndName() {
    Fixture f;
    f.edited();
    f.animation.markSaved();
    QSignalSpy loadingTime(&f.files, &DocumentFiles::loadingTimeChanged);
    NewAnimationRequest r = f.request({f.picture("a.png", {30, 20}, qRgb(255, 0, 0)),
                                       f.picture("b.bmp", {50, 10}, qRgb(0, 255, 0)),
                                       f.picture("c.ppm", {10, 40}, qRgb(0, 0, 255))});
    r.delay = 60;
    QList<int> reported;
    f.creation.onFile = [&](int i) { reported << i; };
    QVERIFY(f.creation.run(r));
    QCOMPARE(reported, (QList<int>{0, 1, 2}));
    QCOMPARE(f.animation.frameCount(), 3);
    QCOMPARE(f.animation.screen(), QSize(50, 40));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(f.animation.delay(i), 60);
    QCOMPARE(f.animation.ownPicture(2).pixel(0, 0), qRgb(0, 0, 255));
    QVERIFY(f.animation.loop().infinite);
    const gif::GifImage written = f.animation.imageForSaving({});
    const auto& head = written.frame(0).extensions.front();
    QVERIFY(head->isLoop());
    QCOMPARE(head->loopCount(), std::optional<uint16_t>(0));
    // The name is used as typed, blanks included.
    QCOMPARE(f.files.title(), QStringLiteral(" My anim  - Vorlane Gif"));
    QCOMPARE(f.list.label(0), QStringLiteral("#001:  My anim "));
    QCOMPARE(f.restored.last().first().value<FrameSelection>(), (FrameSelection{0, {0}}));
    QVERIFY(f.animation.isModified());
    QVERIFY(!f.files.hasFile());
    QVERIFY(f.files.path().isEmpty());
    QVERIFY(!loadingTime.isEmpty());
    QVERIFY(loadingTime.last().first().toString().isEmpty());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
}

void TestNewAnimation::countedLoops() {
    Fixture f;
    NewAnimationRequest r = f.request({f.picture("a.png", {8, 8}, qRgb(1, 2, 3))});
    r.loopForever = false;
    r.loops = 5;
    QVERIFY(f.creation.run(r));
    QCOMPARE(f.animation.loop(), (LoopSetting{false, 5}));
    QCOMPARE(f.animation.imageForSaving({}).frame(0).extensions.front()->loopCount(),
             std::optional<uint16_t>(5));
}

// The whole creation is one step of a new history: undo leaves the new animation empty
// and unmodified, under its name; redo builds it again.
void TestNewAnimation::creationIsOneUndoStep() {
    Fixture f;
    f.edited();
    f.fakes.prompts.answer(Prompts::Answer::No);
    NewAnimationRequest r = f.request(
        {f.picture("a.png", {8, 8}, qRgb(1, 2, 3)), f.picture("b.png", {8, 8}, qRgb(4, 5, 6))});
    r.loopForever = false;
    r.loops = 3;
    QVERIFY(f.creation.run(r));
    const test::AnimationSnapshot built = test::AnimationSnapshot::of(f.animation);
    QCOMPARE(f.animation.undoStack().count(), 1);
    QCOMPARE(f.animation.undoStack().undoText(), NewAnimation::StepName);
    f.animation.undoStack().undo();
    QCOMPARE(f.animation.frameCount(), 0);
    QVERIFY(f.animation.loop().infinite);
    QCOMPARE(f.animation.name(), QStringLiteral(" My anim "));
    QVERIFY(!f.animation.isModified());
    QVERIFY(!f.animation.undoStack().canUndo());
    f.animation.undoStack().redo();
    QCOMPARE(test::AnimationSnapshot::of(f.animation), built);
    QCOMPARE(f.restored.last().first().value<FrameSelection>(), (FrameSelection{0, {0}}));
}

void TestNewAnimation::unreadableFilesAreSkipped() {
    Fixture f;
    const NewAnimationRequest r =
        f.request({f.picture("a.png", {8, 8}, qRgb(1, 2, 3)), f.junk("b.png"),
                   f.picture("c.png", {8, 8}, qRgb(4, 5, 6))});
    f.fakes.prompts.expect(QStringLiteral("Impossible to import the image \"b.png\""),
                           Prompts::Answer::Ok);
    QVERIFY(f.creation.run(r));
    QCOMPARE(f.fakes.prompts.asked().size(), 1);
    QCOMPARE(f.fakes.prompts.asked().first().icon, Prompts::Icon::Warning);
    QCOMPARE(f.animation.frameCount(), 2);

    // Nothing readable at all: the run ends as New does (regression: it left an empty
    // animation in the played state, modified, with Stop enabled).
    Fixture g;
    g.fakes.prompts.answer(Prompts::Answer::Ok);
    QSignalSpy cleared(&g.files, &DocumentFiles::cleared);
    QVERIFY(g.creation.run(g.request({g.junk("x.gif")})));
    QCOMPARE(g.animation.frameCount(), 0);
    QVERIFY(!g.animation.hasImage());
    QVERIFY(!g.animation.isModified());
    QVERIFY(!g.animation.undoStack().canUndo());
    QCOMPARE(g.animation.name(), AnimationModel::UntitledName);
    QCOMPARE(cleared.count(), 1);
}

void TestNewAnimation::unsavedChangesFirst_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("built");
    QTest::newRow("yes saves, then builds") << int(Prompts::Answer::Yes) << false << true;
    QTest::newRow("no discards") << int(Prompts::Answer::No) << false << true;
    QTest::newRow("cancel keeps the changes") << int(Prompts::Answer::Cancel) << false << false;
    QTest::newRow("a failed save keeps them") << int(Prompts::Answer::Yes) << true << false;
}

void TestNewAnimation::unsavedChangesFirst() {
    QFETCH(int, answer);
    QFETCH(bool, saveFails);
    QFETCH(bool, built);
    Fixture f;
    f.edited();
    f.fakes.prompts.answer(Prompts::Answer(answer));
    const QString target = saveFails ? f.dir.filePath(QStringLiteral("missing/dir/x.gif"))
                                     : f.dir.filePath(QStringLiteral("kept.gif"));
    if (answer == int(Prompts::Answer::Yes)) {
        f.fakes.dialogs.choose(target); // Save asks for a name: the animation has no file
        if (saveFails) f.fakes.prompts.answer(Prompts::Answer::Ok); // the failure is reported
    }
    const NewAnimationRequest r = f.request({f.picture("a.png", {8, 8}, qRgb(9, 9, 9))});
    QCOMPARE(f.creation.run(r), built);
    QVERIFY(f.fakes.prompts.texts().first().startsWith(QStringLiteral("Do you want to save")));
    QCOMPARE(f.animation.frameCount(), built ? 1 : 2);
    QVERIFY(f.animation.isModified());
    // The edits stay to undo when nothing was built.
    QCOMPARE(f.animation.undoStack().count(), 1);
    QCOMPARE(f.animation.undoStack().undoText(),
             built ? NewAnimation::StepName : QStringLiteral("Edit"));
    QCOMPARE(QFile::exists(target), answer == int(Prompts::Answer::Yes) && !saveFails);
}

QTEST_GUILESS_MAIN(TestNewAnimation)
#include "tst_new_animation.moc"
