// SPDX-License-Identifier: GPL-3.0-or-later
// The frame commands on the animation with the platform fakes: Add and Insert of picture
// files, files dropped at a place, Remove, Duplicate, Move and dragging, the clipboard of
// one frame or several, the delay field and the disposal choice. Each command is one step
// of the history, leaves the selection the user should see, and undoes exactly.

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include <QImage>
#include <QObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Unoptimize.h"
#include "document/AnimationModel.h"
#include "editing/FrameCommands.h"
#include "support/AnimationSnapshot.h"
#include "support/FakePlatform.h"
#include "support/GifBuilder.h"
#include "support/TestData.h"

using vorlane::AnimationModel;
using vorlane::FrameCommands;
using vorlane::FrameSelection;
using vorlane::Prompts;
using vorlane::test::AnimationSnapshot;
namespace gif = vorlane::gif;

namespace {

constexpr QRgb Red = 0xFFFF0000, Green = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF;

const QString OneQuestion =
    QStringLiteral("Are you sure you want to remove this image from the animation?");

QByteArray bytesOf(const vorlane::test::GifBuilder& b) {
    return QByteArray(reinterpret_cast<const char*>(b.bytes().data()), qsizetype(b.bytes().size()));
}

struct Fixture {
    vorlane::test::FakePlatform fakes;
    AnimationModel animation;
    FrameCommands commands{animation, fakes.platform()};
    QTemporaryDir dir;
    QSignalSpy restored{&animation, &AnimationModel::selectionRestored};

    // An animation of n solid frames coloured red, green, blue, white, red, ..., frame i
    // with delay 10 * (i + 1), opened and not modified.
    void loaded(int frames, uint16_t w = 8, uint16_t h = 6) {
        load(std::move(*vorlane::test::makeAnimation(frames, w, h)));
    }
    void load(gif::GifImage image) { animation.load(std::move(image), QStringLiteral("a.gif")); }
    QString picture(const QString& name, QSize size, QRgb color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(name);
        image.save(path);
        return path;
    }
    QString file(const QString& name, const QByteArray& bytes) {
        return vorlane::test::writeFile(dir.filePath(name),
                                        vorlane::test::Bytes(bytes.begin(), bytes.end()));
    }
    const gif::Frame& frame(int i) const { return animation.frame(i); }
    QRgb color(int i) const { return animation.ownPicture(i).pixel(0, 0); }
    QList<QRgb> colors() const {
        QList<QRgb> all;
        for (int i = 0; i < animation.frameCount(); ++i)
            all << color(i);
        return all;
    }
    // The frames by their delays in tens: which frame of a fresh `loaded` stands where.
    QList<int> order() const {
        QList<int> all;
        for (int i = 0; i < animation.frameCount(); ++i)
            all << animation.delay(i) / 10;
        return all;
    }
    int steps() const { return animation.undoStack().count(); }
    QString undoText() const { return animation.undoStack().undoText(); }
    FrameSelection shown() const {
        return restored.isEmpty() ? FrameSelection{-2, {}}
                                  : restored.last().first().value<FrameSelection>();
    }
    // The image written has one loop record, first in frame 0, with the loop setting.
    bool loopOnFirst() const {
        const gif::GifImage out = animation.imageForSaving(animation.comment());
        int loops = 0;
        for (const gif::Frame& f : out.frames())
            for (const auto& r : f.extensions)
                loops += r->isLoop();
        const auto& records = out.frame(0).extensions;
        return loops == 1 && records.front()->isLoop() &&
               records.front()->loopCount() == animation.loop().recordCount();
    }
};

// A frame made from a picture: at (0, 0), interlaced, opaque, delay and disposal 2.
void verifyMadeFrame(const gif::Frame& f, QSize size, int delay) {
    QCOMPARE(QSize(f.width(), f.height()), size);
    QCOMPARE(f.left + f.top, 0);
    QVERIFY(f.interlaced);
    QVERIFY(f.graphicControl());
    QCOMPARE(int(f.graphicControl()->delay), delay);
    QCOMPARE(int(f.graphicControl()->disposal), 2);
    QVERIFY(!f.graphicControl()->transparent);
}

FrameSelection selectionOf(int current, const QList<int>& rows) {
    return FrameSelection{current, std::vector<int>(rows.begin(), rows.end())};
}

} // namespace

class TestFrameCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addOneFile_data();
    void addOneFile();
    void insertPutsFilesInReverseInFront();
    void badFilesAreReportedAndSkipped();
    void dropInsertsAtItsPlace_data();
    void dropInsertsAtItsPlace();
    void droppedGifBringsEveryFrame();
    void frameCommands_data();
    void frameCommands();
    void duplicateKeepsPixelsAndDelayOnly();
    void transparentFrameSurvivesDuplicateAndClipboard();
    void moveKeepsTheAnimationRecordsFirst();
    void copyCutAndPaste();
    void ownFramesComeBackExactly();
    void framesFromOtherProgramsArePasted();
    void pasteOfAPhotoKeepsItsTransparentIndexInTheTable();
    void makingFramesReportsProgress();
    void delayField_data();
    void delayField();
    void delayTypingIsOneStep();
    void disposalChoice_data();
    void disposalChoice();
};

void TestFrameCommands::addOneFile_data() {
    QTest::addColumn<int>("frames"); // 0: a new animation without an image
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("screen");
    QTest::newRow("to a new animation") << 0 << QSize(100, 80) << QSize(100, 80);
    QTest::newRow("wider, lower") << 2 << QSize(120, 60) << QSize(120, 80);
    QTest::newRow("smaller") << 2 << QSize(50, 50) << QSize(100, 80);
}

void TestFrameCommands::addOneFile() {
    QFETCH(int, frames);
    QFETCH(QSize, picture);
    QFETCH(QSize, screen);
    Fixture f;
    if (frames > 0) f.loaded(frames, 100, 80);
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    f.fakes.dialogs.chooseMany({f.picture(QStringLiteral("a.png"), picture, Red)});
    QVERIFY(f.commands.addFiles(false, {}));

    QCOMPARE(f.fakes.dialogs.requests().at(0).title, QStringLiteral("Add image"));
    QCOMPARE(f.animation.frameCount(), frames + 1);
    QCOMPARE(f.animation.screen(), screen);
    verifyMadeFrame(f.frame(frames), picture, 60);
    QCOMPARE(f.color(frames), Red);
    QCOMPARE(f.shown(), (FrameSelection{frames, {frames}}));
    QVERIFY(f.animation.isModified());
    QVERIFY(f.loopOnFirst());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
    QCOMPARE(f.steps(), 1);
    QCOMPARE(f.undoText(), QStringLiteral("Add image"));
    // Undo takes the frame away and the screen back; a new animation has no image again.
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
    QVERIFY(!f.animation.isModified());
}

void TestFrameCommands::insertPutsFilesInReverseInFront() {
    Fixture f;
    f.loaded(4);
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    const QRgb a = 0xFF00FFFF, b = 0xFFFF00FF, c = 0xFFFFFF00;
    f.fakes.dialogs.chooseMany({f.picture(QStringLiteral("a.png"), {8, 6}, a),
                                f.picture(QStringLiteral("b.bmp"), {8, 6}, b),
                                f.picture(QStringLiteral("c.png"), {8, 6}, c)});
    QVERIFY(f.commands.addFiles(true, {2, {2}}));
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, c, b, a, Blue, White}));
    QCOMPARE(f.shown(), (FrameSelection{2, {2}}));
    // Three files, one step.
    QCOMPARE(f.steps(), 1);
    QCOMPARE(f.undoText(), QStringLiteral("Insert image"));
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
    QCOMPARE(f.shown(), (FrameSelection{2, {2}}));
}

void TestFrameCommands::badFilesAreReportedAndSkipped() {
    Fixture f;
    f.loaded(2);
    // An animated GIF gives its first image; a damaged file and a picture too wide for a
    // frame are reported once each and leave the animation as it was; the rest is added.
    const QString animated = f.dir.filePath(QStringLiteral("anim.gif"));
    vorlane::test::makeAnimation(3, 5, 5)->save(animated);
    const QString damaged = f.file(QStringLiteral("bad.png"), QByteArray("\x89PNG\x01", 5));
    const QString wide = f.picture(QStringLiteral("wide.png"), {70000, 1}, Green);
    f.fakes.dialogs.chooseMany(
        {damaged, wide, animated, f.picture(QStringLiteral("ok.png"), {3, 3}, Blue)});
    for (int i = 0; i < 2; ++i)
        f.fakes.prompts.expect(FrameCommands::AddFailed, Prompts::Answer::Ok);
    QVERIFY(f.commands.addFiles(false, {1, {1}}));

    QCOMPARE(f.fakes.prompts.texts(), QStringList(2, QStringLiteral("Failed to add image.")));
    QCOMPARE(f.fakes.prompts.asked().at(0).icon, Prompts::Icon::Information);
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Red, Blue}));
    QCOMPARE(QSize(f.frame(2).width(), f.frame(2).height()), QSize(5, 5));
    // The wide picture did not grow the screen.
    QCOMPARE(f.animation.screen(), QSize(8, 6));
    QCOMPARE(f.shown(), (FrameSelection{3, {3}}));
    QCOMPARE(f.steps(), 1);

    // Nothing readable: no step, nothing modified.
    f.fakes.dialogs.chooseMany({damaged});
    f.fakes.prompts.expect(FrameCommands::AddFailed, Prompts::Answer::Ok);
    f.animation.markSaved();
    QVERIFY(!f.commands.addFiles(false, {1, {1}}));
    QCOMPARE(f.steps(), 1);
    QVERIFY(!f.animation.isModified());
}

void TestFrameCommands::dropInsertsAtItsPlace_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("at");
    QTest::newRow("negative") << -1 << 0;
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("middle") << 1 << 1;
    QTest::newRow("after the last") << 3 << 3;
    QTest::newRow("beyond") << 9 << 3;
}

void TestFrameCommands::dropInsertsAtItsPlace() {
    QFETCH(int, index);
    QFETCH(int, at);
    Fixture f;
    f.loaded(3);
    QVERIFY(f.commands.insertFiles({f.picture(QStringLiteral("grey.png"), {4, 4}, 0xFF808080)},
                                   index, {0, {0}}));
    QCOMPARE(f.animation.frameCount(), 4);
    QCOMPARE(f.color(at), QRgb(0xFF808080));
    verifyMadeFrame(f.frame(at), {4, 4}, 60);
    QCOMPARE(f.shown(), (FrameSelection{at, {at}}));
    QCOMPARE(f.undoText(), QStringLiteral("Drop images"));
}

// A dropped GIF brings all its frames, complete as opening makes them, without its loop
// record; a picture beside it one frame; all of them one step, selected.
void TestFrameCommands::droppedGifBringsEveryFrame() {
    vorlane::test::GifBuilder b;
    b.header().screen(6, 4, {0x000000, 0xFFFFFF}).loop(5);
    b.graphicControl(1, 7).image(0, 0, 6, 4, std::vector<uint8_t>(24, 0));
    b.graphicControl(1, 8).image(4, 2, 2, 2, {1, 1, 1, 1});
    b.graphicControl(1, 9).image(0, 0, 1, 1, {1}).trailer();
    Fixture f;
    f.loaded(2);
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    const QString gifFile = f.file(QStringLiteral("three.gif"), bytesOf(b));
    QVERIFY(f.commands.insertFiles({f.picture(QStringLiteral("b.png"), {8, 6}, Blue), gifFile}, 1,
                                   {0, {0}}));
    QCOMPARE(f.order(), (QList<int>{1, 6, 0, 0, 0, 2}));
    QCOMPARE(QList<int>({f.animation.delay(2), f.animation.delay(3), f.animation.delay(4)}),
             (QList<int>{7, 8, 9}));
    const gif::Frame& corner = f.frame(3);
    QCOMPARE(QSize(corner.width(), corner.height()), QSize(6, 4));
    const QImage shown = f.animation.ownPicture(3).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(5, 3), qRgb(255, 255, 255));
    QCOMPARE(f.animation.loop(), before.loop);
    QVERIFY(f.loopOnFirst());
    QCOMPARE(f.shown(), (FrameSelection{1, {1, 2, 3, 4}}));
    QCOMPARE(f.steps(), 1);
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
}

// Remove, Duplicate, Move, dragging, Cut and Paste on one frame and on several, on five
// frames known by their delays (1..5 tens): the frames afterwards, the selection shown,
// the question of Remove, one step named after the command, and undo and redo exactly.
void TestFrameCommands::frameCommands_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("current");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("question"); // Remove's; empty for none
    QTest::addColumn<QList<int>>("order");
    QTest::addColumn<int>("afterCurrent");
    QTest::addColumn<QList<int>>("afterRows");
    QTest::addColumn<QString>("step"); // empty: nothing changes
    using L = QList<int>;
    const QString two =
        QStringLiteral("Are you sure you want to remove these 2 images from the animation?");
    const QString three =
        QStringLiteral("Are you sure you want to remove these 3 images from the animation?");
    const QString five =
        QStringLiteral("Are you sure you want to remove these 5 images from the animation?");
    const QString remove = QStringLiteral("Remove image");
    QTest::newRow("remove the last")
        << "remove" << 4 << L{4} << OneQuestion << L{1, 2, 3, 4} << 3 << L{3} << remove;
    QTest::newRow("remove the first")
        << "remove" << 0 << L{0} << OneQuestion << L{2, 3, 4, 5} << 0 << L{0} << remove;
    QTest::newRow("remove the current, none selected")
        << "remove" << 2 << L{} << OneQuestion << L{1, 2, 4, 5} << 2 << L{2} << remove;
    QTest::newRow("remove two apart")
        << "remove" << 3 << L{1, 3} << two << L{1, 3, 5} << 1 << L{1} << remove;
    QTest::newRow("remove the last three")
        << "remove" << 4 << L{2, 3, 4} << three << L{1, 2} << 1 << L{1} << remove;
    QTest::newRow("remove two, the current not among them")
        << "remove" << 0 << L{3, 4} << two << L{1, 2, 3} << 2 << L{2} << remove;
    QTest::newRow("remove all") << "remove" << 0 << L{0, 1, 2, 3, 4} << five << L{} << -1 << L{}
                                << remove;
    QTest::newRow("remove answered No")
        << "remove-no" << 1 << L{1, 2} << two << L{1, 2, 3, 4, 5} << 0 << L{} << "";
    QTest::newRow("duplicate one")
        << "duplicate" << 2 << L{2} << "" << L{1, 2, 3, 3, 4, 5} << 3 << L{3} << "Duplicate";
    QTest::newRow("duplicate two apart, after the last of them")
        << "duplicate" << 1 << L{1, 3} << "" << L{1, 2, 3, 4, 2, 4, 5} << 4 << L{4, 5}
        << "Duplicate";
    QTest::newRow("backward one") << "backward" << 2 << L{2} << "" << L{1, 3, 2, 4, 5} << 1 << L{1}
                                  << "Move backward";
    QTest::newRow("backward at the front")
        << "backward" << 0 << L{0} << "" << L{1, 2, 3, 4, 5} << 0 << L{} << "";
    QTest::newRow("backward two apart")
        << "backward" << 3 << L{1, 3} << "" << L{2, 1, 4, 3, 5} << 2 << L{0, 2} << "Move backward";
    QTest::newRow("backward, the block at the front stays")
        << "backward" << 0 << L{0, 1, 3} << "" << L{1, 2, 4, 3, 5} << 0 << L{0, 1, 2}
        << "Move backward";
    QTest::newRow("forward two apart")
        << "forward" << 3 << L{1, 3} << "" << L{1, 3, 2, 5, 4} << 4 << L{2, 4} << "Move forward";
    QTest::newRow("forward at the end")
        << "forward" << 4 << L{4} << "" << L{1, 2, 3, 4, 5} << 0 << L{} << "";
    QTest::newRow("drag two to the front")
        << "drag 0" << 4 << L{2, 4} << "" << L{3, 5, 1, 2, 4} << 1 << L{0, 1} << "Move images";
    QTest::newRow("drag one to the end")
        << "drag 5" << 0 << L{0} << "" << L{2, 3, 4, 5, 1} << 4 << L{4} << "Move images";
    QTest::newRow("drag two apart into the middle")
        << "drag 3" << 0 << L{0, 4} << "" << L{2, 3, 1, 5, 4} << 2 << L{2, 3} << "Move images";
    QTest::newRow("drop inside the dragged frames")
        << "drag 3" << 2 << L{2, 3} << "" << L{1, 2, 3, 4, 5} << 0 << L{} << "";
    QTest::newRow("cut one") << "cut" << 2 << L{2} << "" << L{1, 2, 4, 5} << 2 << L{2} << "Cut";
    QTest::newRow("cut two apart")
        << "cut" << 3 << L{1, 3} << "" << L{1, 3, 5} << 1 << L{1} << "Cut";
    QTest::newRow("copy two, paste at the end")
        << "copy paste" << 3 << L{1, 3} << "" << L{1, 2, 3, 4, 5, 2, 4} << 5 << L{5, 6} << "Paste";
    QTest::newRow("copy two, paste in front of the current")
        << "copy insert" << 3 << L{1, 3} << "" << L{1, 2, 3, 2, 4, 4, 5} << 3 << L{3, 4} << "Paste";
    QTest::newRow("copy one, paste in front of the first")
        << "copy insert" << 0 << L{4} << "" << L{5, 1, 2, 3, 4, 5} << 0 << L{0} << "Paste";
}

void TestFrameCommands::frameCommands() {
    QFETCH(QString, command);
    QFETCH(int, current);
    QFETCH(QList<int>, rows);
    QFETCH(QString, question);
    QFETCH(QList<int>, order);
    QFETCH(int, afterCurrent);
    QFETCH(QList<int>, afterRows);
    QFETCH(QString, step);
    Fixture f;
    f.loaded(5);
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    const FrameSelection selection = selectionOf(current, rows);
    if (!question.isEmpty())
        f.fakes.prompts.expect(question, command == QLatin1String("remove-no")
                                             ? Prompts::Answer::No
                                             : Prompts::Answer::Yes);

    if (command.startsWith(QLatin1String("remove")))
        f.commands.remove(selection);
    else if (command == QLatin1String("duplicate"))
        f.commands.duplicate(selection);
    else if (command == QLatin1String("backward"))
        f.commands.move(selection, -1);
    else if (command == QLatin1String("forward"))
        f.commands.move(selection, +1);
    else if (command.startsWith(QLatin1String("drag ")))
        f.commands.moveTo(selection, command.mid(5).toInt());
    else if (command == QLatin1String("cut"))
        f.commands.cut(selection);
    else if (command.startsWith(QLatin1String("copy "))) {
        f.commands.copy(selection);
        QCOMPARE(f.steps(), 0);
        QVERIFY(f.commands.paste(command.endsWith(QLatin1String("insert")), selection));
    }

    QCOMPARE(f.fakes.prompts.asked().size(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty()) {
        QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Confirmation);
        QCOMPARE(f.fakes.prompts.asked().front().buttons, Prompts::Buttons::YesNo);
    }
    QCOMPARE(f.order(), order);
    if (step.isEmpty()) {
        QCOMPARE(f.steps(), 0);
        QVERIFY(!f.animation.isModified());
        QVERIFY(f.restored.isEmpty());
        return;
    }
    const FrameSelection after = selectionOf(afterCurrent, afterRows);
    QCOMPARE(f.shown(), after);
    QCOMPARE(f.steps(), 1);
    QCOMPARE(f.undoText(), step);
    QVERIFY(f.animation.isModified());
    if (f.animation.frameCount() > 0) QVERIFY(f.loopOnFirst());

    const AnimationSnapshot done = AnimationSnapshot::of(f.animation);
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
    QCOMPARE(f.shown(), selection);
    QVERIFY(!f.animation.isModified());
    f.animation.undoStack().redo();
    QCOMPARE(AnimationSnapshot::of(f.animation), done);
    QCOMPARE(f.shown(), after);
}

void TestFrameCommands::duplicateKeepsPixelsAndDelayOnly() {
    Fixture f;
    gif::GifImage image = std::move(*vorlane::test::makeAnimation(3));
    gif::Frame& source = image.frame(2);
    source.left = 10;
    source.top = 20;
    source.graphicControl()->transparent = true;
    source.extensions.push_back(gif::Extension::makeComment("kept on the source"));
    f.load(std::move(image));
    f.commands.duplicate({2, {2}});

    QCOMPARE(f.animation.frameCount(), 4);
    QCOMPARE(f.shown(), (FrameSelection{3, {3}}));
    QCOMPARE(f.animation.ownPicture(3), f.animation.ownPicture(2));
    // The copy shares the source's pixels.
    QCOMPARE(f.frame(3).sharedPixels(), f.frame(2).sharedPixels());
    QCOMPARE(QSize(f.frame(3).width(), f.frame(3).height()), QSize(8, 6));
    QCOMPARE(f.frame(3).left + f.frame(3).top, 0);
    QCOMPARE(int(f.frame(3).graphicControl()->delay), 30);
    QCOMPARE(int(f.frame(3).graphicControl()->disposal), 2);
    // Transparent where the source is: an opaque duplicate showed a solid rectangle.
    QVERIFY(f.frame(3).graphicControl()->transparent);
    QCOMPARE(f.frame(3).graphicControl()->transparentIndex,
             f.frame(2).graphicControl()->transparentIndex);
    QCOMPARE(f.frame(3).extensions.size(), size_t(1));
}

// Regression: the transparent entry of an opened frame took the background colour,
// which the frame also drew, so a duplicate or a copy showed a solid rectangle there.
// Every copy of a frame shows what the frame shows.
void TestFrameCommands::transparentFrameSurvivesDuplicateAndClipboard() {
    vorlane::test::GifBuilder b;
    b.header().screen(4, 2, {0x000000, 0xFF0000}, 0).loop(0);
    b.graphicControl(1, 10, 2).image(0, 0, 4, 2, {0, 1, 2, 2, 2, 2, 0, 1},
                                     {0x000000, 0xFF0000, 0x00FF00, 0x0000FF});
    b.trailer();
    gif::GifImage read;
    read.load(std::span<const uint8_t>(b.bytes().data(), b.bytes().size()));
    Fixture f;
    f.load(gif::unoptimize(read));
    QCOMPARE(f.animation.frameCount(), 1);
    const gif::GraphicControl* control = f.frame(0).graphicControl();
    QVERIFY(control->transparent);
    const gif::ColorTable& table = f.animation.image()->activeColors(0);
    for (size_t i = 0; i < table.size(); ++i)
        if (i != control->transparentIndex) QVERIFY(table[i] != table[control->transparentIndex]);

    f.commands.duplicate({0, {0}});
    f.commands.copy({0, {0}});
    const QImage copied = f.fakes.clipboard.bitmap();
    QCOMPARE(qAlpha(copied.pixel(2, 0)), 0);
    QCOMPARE(copied.pixel(0, 0), qRgb(0, 0, 0));
    QVERIFY(f.commands.paste(false, {0, {0}}));
    QCOMPARE(f.animation.frameCount(), 3);

    gif::Compositor compositor(*f.animation.image());
    const size_t area = size_t(compositor.width()) * size_t(compositor.height());
    const std::vector<uint32_t> first(compositor.compose(0), compositor.compose(0) + area);
    for (size_t k = 1; k < 3; ++k) {
        const uint32_t* shown = compositor.compose(k);
        QVERIFY2(std::equal(first.begin(), first.end(), shown), qPrintable(QString::number(k)));
    }
}

// Moving frames moves their own records with them; the animation's loop record and
// comment are written on whatever frame stands first.
void TestFrameCommands::moveKeepsTheAnimationRecordsFirst() {
    Fixture f;
    gif::GifImage image = std::move(*vorlane::test::makeAnimation(3, 8, 6, {4, "the animation's"}));
    gif::ExtensionList& records = image.frame(0).extensions;
    records.insert(records.begin() + 1, gif::Extension(gif::labels::PlainText).clone());
    f.load(std::move(image));
    f.commands.move({0, {0}}, -1);
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Blue}));
    QCOMPARE(f.steps(), 0);

    f.commands.move({0, {0}}, +1);
    QCOMPARE(f.colors(), QList<QRgb>({Green, Red, Blue}));
    QCOMPARE(f.shown(), (FrameSelection{1, {1}}));
    QVERIFY(f.animation.isModified());
    QVERIFY(f.loopOnFirst());
    QCOMPARE(f.frame(1).extensions.size(), size_t(2));
    QVERIFY(f.frame(1).extensions.front()->isPlainText());
    QVERIFY(f.frame(1).extensions.back()->isGraphicControl());
    const gif::GifImage written = f.animation.imageForSaving(f.animation.comment());
    QCOMPARE(written.frame(0).extensions.back()->text(), std::string("the animation's"));
    QCOMPARE(written.frame(0).extensions.front()->loopCount(), std::optional<uint16_t>(4));
    for (const auto& r : written.frame(1).extensions)
        QVERIFY(!r->isComment() && !r->isLoop());

    f.commands.move({1, {1}}, +1);
    f.commands.move({2, {2}}, +1); // already last
    QCOMPARE(f.colors(), QList<QRgb>({Green, Blue, Red}));
    QCOMPARE(f.steps(), 2);
}

void TestFrameCommands::copyCutAndPaste() {
    Fixture f;
    QVERIFY(!f.commands.paste(false, {})); // an empty clipboard: nothing at all
    QVERIFY(!f.animation.hasImage());
    QVERIFY(f.fakes.prompts.asked().isEmpty());

    f.loaded(3);
    f.commands.copy({1, {1}});
    QCOMPARE(f.fakes.clipboard.bitmap().size(), QSize(8, 6));
    QCOMPARE(f.fakes.clipboard.bitmap().pixel(0, 0), Green);
    QVERIFY(f.fakes.clipboard.frames());
    QVERIFY(!f.animation.isModified());

    QVERIFY(f.commands.paste(false, {1, {1}}));
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Blue, Green}));
    QCOMPARE(f.order(), (QList<int>{1, 2, 3, 2}));
    QCOMPARE(f.shown(), (FrameSelection{3, {3}}));

    f.commands.cut({2, {2}});
    QCOMPARE(f.colors(), QList<QRgb>({Red, Green, Green}));
    QCOMPARE(f.shown(), (FrameSelection{2, {2}}));
    QCOMPARE(f.fakes.clipboard.bitmap().pixel(0, 0), Blue);

    QVERIFY(f.commands.paste(true, {0, {0}}));
    QCOMPARE(f.colors(), QList<QRgb>({Blue, Red, Green, Green}));
    QCOMPARE(f.shown(), (FrameSelection{0, {0}}));
    QVERIFY(f.loopOnFirst());
    QVERIFY(f.fakes.prompts.asked().isEmpty());
    QCOMPARE(f.steps(), 3);
}

// Frames copied here come back as they were: pixels, colours, place, interlacing and
// every record of their own, in the order they were selected.
void TestFrameCommands::ownFramesComeBackExactly() {
    gif::GifImage image = std::move(*vorlane::test::makeAnimation(4));
    gif::Frame& second = image.frame(1);
    second.setLocalColors({{1, 2, 3},
                           {4, 5, 6},
                           {7, 8, 9},
                           {10, 11, 12},
                           {13, 14, 15},
                           {16, 17, 18},
                           {19, 20, 21},
                           {22, 23, 24}});
    second.setPixels(8, 6, [] {
        gif::Bytes pixels(48);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(i % 8);
        return pixels;
    }());
    second.interlaced = true;
    second.graphicControl()->transparent = true;
    second.graphicControl()->transparentIndex = 5;
    second.extensions.insert(second.extensions.begin(), gif::Extension::makeComment("own note"));
    gif::Frame& fourth = image.frame(3);
    fourth.setPixels(3, 2, {0, 1, 2, 3, 2, 1});
    fourth.left = 4;
    fourth.top = 3;
    fourth.graphicControl()->disposal = 3;
    fourth.graphicControl()->delay = 77;
    Fixture f;
    f.load(std::move(image));
    f.commands.copy({3, {1, 3}});
    QVERIFY(f.commands.paste(false, {3, {1, 3}}));
    QCOMPARE(f.animation.frameCount(), 6);
    const gif::GifImage& now = *f.animation.image();
    QCOMPARE(vorlane::test::describeFrame(now, 4, false),
             vorlane::test::describeFrame(now, 1, false));
    QCOMPARE(vorlane::test::describeFrame(now, 5, false),
             vorlane::test::describeFrame(now, 3, false));
    QCOMPARE(f.steps(), 1);
}

// GIF data from another program is opened as a file is (complete frames, no loop
// record); a plain picture becomes one frame as Add makes it; data that cannot be read
// is reported and changes nothing.
void TestFrameCommands::framesFromOtherProgramsArePasted() {
    vorlane::test::GifBuilder b;
    b.header().screen(6, 4, {0x000000, 0xFFFFFF}).loop(7);
    b.graphicControl(1, 5).image(0, 0, 6, 4, std::vector<uint8_t>(24, 0));
    b.graphicControl(1, 6).image(4, 2, 2, 2, {1, 1, 1, 1}).trailer();
    Fixture f;
    f.loaded(2);
    f.fakes.clipboard.setForeignGif(bytesOf(b));
    QVERIFY(f.commands.paste(false, {0, {0}}));
    QCOMPARE(f.animation.frameCount(), 4);
    const gif::Frame& corner = f.frame(3);
    QCOMPARE(QSize(corner.width(), corner.height()), QSize(6, 4));
    QCOMPARE(f.animation.delay(3), 6);
    const QImage shown = f.animation.ownPicture(3).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(5, 3), qRgb(255, 255, 255));
    QVERIFY(f.animation.loop().infinite); // the animation's own setting stays
    QVERIFY(f.loopOnFirst());
    QCOMPARE(f.shown(), (FrameSelection{2, {2, 3}}));

    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Blue);
    f.fakes.clipboard.setBitmap(picture);
    QVERIFY(f.commands.paste(false, {0, {0}}));
    verifyMadeFrame(f.frame(4), {5, 5}, 60);
    QCOMPARE(f.color(4), Blue);

    f.fakes.clipboard.setForeignGif(QByteArray("GIF89a, but nothing more"));
    f.fakes.prompts.expect(FrameCommands::AddFailed, Prompts::Answer::Ok);
    QVERIFY(!f.commands.paste(false, {0, {0}}));
    QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Information);
    QCOMPARE(f.animation.frameCount(), 5);
    QCOMPARE(f.steps(), 2);
}

// A picture of many more colours than a table holds is quantised on paste; its
// bottom-left colour is then usually not in the table. Looking that colour up appended
// it, pointing the index at a colour the frame never shows, and with a full table the
// paste failed. The index is the entry the bottom-left pixel shows in the frame.
void TestFrameCommands::pasteOfAPhotoKeepsItsTransparentIndexInTheTable() {
    Fixture f;
    QImage photo(128, 128, QImage::Format_ARGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            photo.setPixel(x, y, qRgb(x * 2 + 1, y * 2 + 1, (x * 37 + y * 91) % 256));
    f.fakes.clipboard.setBitmap(photo);
    QVERIFY(f.commands.paste(false, {}));

    QVERIFY(f.fakes.prompts.asked().isEmpty());
    QCOMPARE(f.animation.frameCount(), 1);
    const QImage own = f.animation.ownPicture(0);
    QVERIFY(own.colorCount() > 200 && own.colorCount() <= 256);
    QCOMPARE(int(f.frame(0).graphicControl()->transparentIndex), own.pixelIndex(0, 127));
}

// Making a frame from a picture is reported as the codec reports it ("Converting"), from
// start to end, so that the status bar shows it and the bar goes away afterwards.
void TestFrameCommands::makingFramesReportsProgress() {
    Fixture f;
    QStringList reports;
    f.commands.onProgress = [&](gif::Stage stage, int, gif::ProgressMessage message) {
        reports << QStringLiteral("%1 %2").arg(int(stage)).arg(int(message));
    };
    const QString starting = QStringLiteral("%1 %2")
                                 .arg(int(gif::Stage::Starting))
                                 .arg(int(gif::ProgressMessage::Converting));
    const QString ending = QStringLiteral("%1 %2")
                               .arg(int(gif::Stage::Ending))
                               .arg(int(gif::ProgressMessage::Converting));
    const QString file = f.picture(QStringLiteral("a.png"), {4, 4}, Red);
    f.fakes.dialogs.chooseMany({file});
    QVERIFY(f.commands.addFiles(false, {}));
    QCOMPARE(reports.value(0), starting);
    QCOMPARE(reports.value(reports.size() - 1), ending);
    reports.clear();
    QVERIFY(f.commands.insertFiles({file}, 0, {0, {0}}));
    QCOMPARE(reports.value(0), starting);
    QCOMPARE(reports.value(reports.size() - 1), ending);
    reports.clear();
    QImage picture(5, 5, QImage::Format_RGB32);
    picture.fill(Blue);
    f.fakes.clipboard.setBitmap(picture);
    QVERIFY(f.commands.paste(false, {0, {0}}));
    QCOMPARE(reports.value(0), starting);
    QCOMPARE(reports.value(reports.size() - 1), ending);
}

void TestFrameCommands::delayField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("rows");   // selected, frame 1 current
    QTest::addColumn<QList<int>>("delays"); // 10, 20, 30 before
    QTest::addColumn<QString>("message");
    using L = QList<int>;
    QTest::newRow("typed") << "70" << L{1} << L{10, 70, 30} << QString();
    QTest::newRow("blanks around") << " 70 " << L{1} << L{10, 70, 30} << QString();
    QTest::newRow("beyond 16 bits") << "70000" << L{1} << L{10, 65535, 30} << QString();
    QTest::newRow("negative") << "-5" << L{1} << L{10, 0, 30} << QString();
    QTest::newRow("two frames") << "5" << L{0, 2} << L{5, 20, 5} << QString();
    QTest::newRow("emptied") << "" << L{1} << L{10, 20, 30}
                             << QStringLiteral("'' is not a valid integer value");
    QTest::newRow("lone sign") << "-" << L{1} << L{10, 20, 30}
                               << QStringLiteral("'-' is not a valid integer value");
}

void TestFrameCommands::delayField() {
    QFETCH(QString, text);
    QFETCH(QList<int>, rows);
    QFETCH(QList<int>, delays);
    QFETCH(QString, message);
    Fixture f;
    f.commands.setDelay(QStringLiteral("5"), {0, {0}}); // no frame: nothing
    QVERIFY(f.fakes.prompts.asked().isEmpty());
    f.loaded(3);
    if (!message.isEmpty()) f.fakes.prompts.expect(message, Prompts::Answer::Ok);
    f.commands.setDelay(text, selectionOf(1, rows));
    QCOMPARE(QList<int>({f.animation.delay(0), f.animation.delay(1), f.animation.delay(2)}),
             delays);
    QCOMPARE(f.animation.isModified(), message.isEmpty());
    QCOMPARE(f.steps(), message.isEmpty() ? 1 : 0);
    QCOMPARE(f.fakes.prompts.asked().size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) QCOMPARE(f.fakes.prompts.asked().front().icon, Prompts::Icon::Error);
}

// Typing in the delay field is one step until the field is left; other frames make
// another step.
void TestFrameCommands::delayTypingIsOneStep() {
    Fixture f;
    f.loaded(3);
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    for (const char* typed : {"7", "70", "700"})
        f.commands.setDelay(QString::fromLatin1(typed), {1, {1}});
    QCOMPARE(f.steps(), 1);
    QCOMPARE(f.undoText(), QStringLiteral("Delay"));
    QCOMPARE(f.animation.delay(1), 700);
    f.animation.closeMerging();
    f.commands.setDelay(QStringLiteral("5"), {1, {1}});
    f.commands.setDelay(QStringLiteral("6"), {2, {2}});
    QCOMPARE(f.steps(), 3);
    f.animation.undoStack().undo();
    f.animation.undoStack().undo();
    QCOMPARE(f.animation.delay(1), 700);
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
}

void TestFrameCommands::disposalChoice_data() {
    QTest::addColumn<int>("earlier"); // item chosen at an earlier use, -1 for none
    QTest::addColumn<int>("code");    // of the current frame, 1
    QTest::addColumn<int>("answer");  // -1: Cancel
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("written");
    using L = QList<int>;
    QTest::newRow("0 shows No disposal, OK writes 1") << -1 << 0 << 0 << L{1} << 0 << 1;
    QTest::newRow("3 changed to background") << -1 << 3 << 1 << L{1} << 2 << 2;
    QTest::newRow("6 shows the earlier choice") << 2 << 6 << 2 << L{1} << 2 << 3;
    QTest::newRow("5 at first use shows item 0") << -1 << 5 << 0 << L{1} << 0 << 1;
    QTest::newRow("cancel") << -1 << 2 << -1 << L{1} << 1 << 2;
    QTest::newRow("every selected frame") << -1 << 1 << 2 << L{0, 1, 2} << 0 << 3;
}

void TestFrameCommands::disposalChoice() {
    QFETCH(int, earlier);
    QFETCH(int, code);
    QFETCH(int, answer);
    QFETCH(QList<int>, rows);
    QFETCH(int, shown);
    QFETCH(int, written);
    Fixture f;
    vorlane::test::FakeDisposalChooser chooser;
    gif::GifImage image = std::move(*vorlane::test::makeAnimation(3));
    image.frame(1).graphicControl()->disposal = uint8_t(code);
    f.load(std::move(image));
    if (earlier >= 0) {
        chooser.answer(earlier);
        f.commands.chooseDisposal({0, {0}}, chooser);
        f.animation.undoStack().undo();
    }
    const AnimationSnapshot before = AnimationSnapshot::of(f.animation);
    chooser.answer(answer < 0 ? std::nullopt : std::optional<int>(answer));
    f.commands.chooseDisposal(selectionOf(1, rows), chooser);
    QCOMPARE(chooser.shown().last(), shown);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(int(f.frame(row).graphicControl()->disposal), rows.contains(row) ? written
                                                               : row == 1         ? code
                                                                                  : 1);
    QCOMPARE(f.animation.isModified(), answer >= 0);
    if (answer < 0) return;
    QCOMPARE(f.undoText(), QStringLiteral("Disposal method"));
    f.animation.undoStack().undo();
    QCOMPARE(AnimationSnapshot::of(f.animation), before);
}

QTEST_GUILESS_MAIN(TestFrameCommands)
#include "tst_frame_commands.moc"
