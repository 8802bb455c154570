// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and redo in the window, the selection of several frames in the strip and the
// commands acting on it, the clipboard of several frames, and drag and drop.

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>
#include <QUrl>

#include "WindowHarness.h"
#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "editing/FrameCommands.h"
#include "mainwindow/ThumbnailStrip.h"

using vorlane::FrameCommands;
using vorlane::Prompts;
using vorlane::test::WindowHarness;

namespace {

// What a user can see of the animation: every frame's pixels and delay, in order.
QStringList frames(const vorlane::AnimationModel& m) {
    QStringList out;
    for (int i = 0; i < m.frameCount(); ++i)
        out << QStringLiteral("%1:%2").arg(m.ownPicture(i).pixel(0, 0), 0, 16).arg(m.delay(i));
    return out;
}

std::vector<int> selected(WindowHarness& h) {
    return h.window->frameSelection().rows;
}

void click(WindowHarness& h, int slot, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    h.window->PClick(slot, modifiers);
}

} // namespace

class TestUndoWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void removeUndoRedoRestoresTheWindow();
    void selectionInTheStrip();
    void commandsActOnTheSelection();
    void dragToTheFrontSetDelayAndUndoToTheFile();
    void clipboardOfSeveralFrames();
    void dropsOnTheStripAndThePreview();
    void dragOutGivesPictureFiles();
};

void TestUndoWindow::removeUndoRedoRestoresTheWindow() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    click(h, 3);
    QVERIFY(!h.enabled(QStringLiteral("undo")));
    const QImage before = h.window->centralWidget()->grab().toImage();
    const QStringList opened = frames(h.model());

    h.fakes.prompts.expect(FrameCommands::RemoveQuestion, Prompts::Answer::Yes);
    QVERIFY(h.click(QStringLiteral("sup")));
    QCOMPARE(h.model().frameCount(), 4);
    QVERIFY(h.enabled(QStringLiteral("save")) && h.enabled(QStringLiteral("undo")));
    QVERIFY(h.enabledIn(QStringLiteral("Edit1"), QStringLiteral("UndoItem")));
    QCOMPARE(h.item(QStringLiteral("UndoItem"))->text(), QStringLiteral("Undo Remove image"));

    h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(frames(h.model()), opened);
    QCOMPARE(h.current(), 2);
    QVERIFY(!h.enabled(QStringLiteral("save"))); // back at the state of the file
    QCOMPARE(h.window->centralWidget()->grab().toImage(), before);
    QCOMPARE(h.item(QStringLiteral("RedoItem"))->text(), QStringLiteral("Redo Remove image"));

    h.key(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    QCOMPARE(h.model().frameCount(), 4);
    QVERIFY(h.enabled(QStringLiteral("save")));
    h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    h.key(QKeySequence(QStringLiteral("Ctrl+Y")));
    QCOMPARE(h.model().frameCount(), 4);

    // While the animation plays, nothing changes the frames.
    QVERIFY(h.click(QStringLiteral("play")));
    QVERIFY(!h.enabled(QStringLiteral("undo")));
    h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(h.model().frameCount(), 4);
}

void TestUndoWindow::selectionInTheStrip() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    click(h, 2);
    click(h, 4, Qt::ShiftModifier);
    QCOMPARE(selected(h), (std::vector<int>{1, 2, 3}));
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.highlightedSlot(), 4);
    auto* strip = h.window->strip();
    QVERIFY(!strip->slotMarked(1) && strip->slotMarked(2) && strip->slotMarked(3) &&
            strip->slotMarked(4));
    QCOMPARE(h.panel(2), QStringLiteral("10 image(s), 3 selected"));

    click(h, 3, Qt::ControlModifier); // out of the selection
    QCOMPARE(selected(h), (std::vector<int>{1, 3}));
    click(h, 1, Qt::ControlModifier); // into it
    QCOMPARE(selected(h), (std::vector<int>{0, 1, 3}));
    QCOMPARE(h.current(), 0);

    strip->setFocus();
    QTest::keyClick(strip, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(int(selected(h).size()), 10);
    QTest::keyClick(strip, Qt::Key_Escape);
    QCOMPARE(selected(h), (std::vector<int>{0}));
    QTest::keyClick(strip, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(strip, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(selected(h), (std::vector<int>{0, 1, 2}));
    QCOMPARE(h.current(), 2);
    QTest::keyClick(strip, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(selected(h), (std::vector<int>{0, 1}));
    QTest::keyClick(strip, Qt::Key_Right);
    QCOMPARE(selected(h), (std::vector<int>{2}));
    // With one frame selected the status bar reads as it always has.
    QCOMPARE(h.panel(2), QStringLiteral("10 image(s)"));
}

void TestUndoWindow::commandsActOnTheSelection() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("six.gif"), 6));
    click(h, 2);
    click(h, 4, Qt::ShiftModifier); // frames 1..3: delays 20, 30, 40
    auto* period = h.find<QSpinBox>(QStringLiteral("Period"));
    QCOMPARE(period->cleanText(), QString()); // they differ
    // Leaving the empty field is no error when it was never typed in.
    period->setFocus();
    h.find<QWidget>(QStringLiteral("Panel2"))->setFocus();
    QTest::qWait(0);
    QVERIFY(h.fakes.prompts.asked().isEmpty());
    period->setFocus();
    QTest::keyClicks(period, QStringLiteral("5"));
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(h.model().delay(i), 5);
    QCOMPARE(h.model().delay(0), 10);

    QVERIFY(h.choose(QStringLiteral("Imagesdelanimations1"), QStringLiteral("Dup")));
    QCOMPARE(h.model().frameCount(), 9);
    QCOMPARE(selected(h), (std::vector<int>{4, 5, 6})); // the copies, after the last source
    QCOMPARE(h.model().ownPicture(4).pixel(0, 0), h.model().ownPicture(1).pixel(0, 0));

    h.fakes.prompts.expect(FrameCommands::removeQuestion(3), Prompts::Answer::Yes);
    QVERIFY(h.click(QStringLiteral("sup")));
    QCOMPARE(h.fakes.prompts.asked().last().text,
             QStringLiteral("Are you sure you want to remove these 3 images from the animation?"));
    QCOMPARE(h.model().frameCount(), 6);
    QCOMPARE(h.current(), 4);

    // Moving several frames back: each goes one place, the selection with them.
    h.window->strip()->setPosition(0);
    click(h, 2);
    click(h, 3, Qt::ControlModifier);
    const QStringList before = frames(h.model());
    QVERIFY(h.choose(QStringLiteral("moveitem"), QStringLiteral("arriere")));
    QStringList expected = before;
    expected.move(0, 2);
    QCOMPARE(frames(h.model()), expected);
    QCOMPARE(selected(h), (std::vector<int>{0, 1}));
    QVERIFY(!h.enabledIn(QStringLiteral("moveitem"), QStringLiteral("arriere")));
}

void TestUndoWindow::dragToTheFrontSetDelayAndUndoToTheFile() {
    // Select frames 3..7 with Shift, drag them to the front, set their delay to 5, undo
    // three times: the animation is the file as opened, and unmodified.
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("eight.gif"), 8));
    const QStringList opened = frames(h.model());
    click(h, 3);
    h.window->strip()->setPosition(3);
    click(h, 4, Qt::ShiftModifier);
    QCOMPARE(selected(h), (std::vector<int>{2, 3, 4, 5, 6}));
    // Scrolling back to the front keeps the selection (with one frame selected it picks
    // the frame under the highlight, as it always has).
    h.window->strip()->setPosition(0);
    QCOMPARE(selected(h), (std::vector<int>{2, 3, 4, 5, 6}));
    QCOMPARE(h.highlightedSlot(), 0);
    std::unique_ptr<QMimeData> dragged(h.window->dragData());
    h.window->stripDrop(dragged.get(), 0, false);
    QCOMPARE(frames(h.model()).mid(0, 5), opened.mid(2, 5));
    QCOMPARE(selected(h), (std::vector<int>{0, 1, 2, 3, 4}));
    auto* period = h.find<QSpinBox>(QStringLiteral("Period"));
    period->setFocus();
    period->selectAll();
    QTest::keyClicks(period, QStringLiteral("5"));
    QTest::keyClick(period, Qt::Key_Return);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(h.model().delay(i), 5);
    QVERIFY(h.model().isModified());
    for (int i = 0; i < 3; ++i)
        h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(frames(h.model()), opened);
    QVERIFY(!h.model().isModified());
    QVERIFY(!h.enabled(QStringLiteral("save")));
}

void TestUndoWindow::clipboardOfSeveralFrames() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("four.gif"), 4));
    click(h, 2);
    click(h, 3, Qt::ShiftModifier);
    h.key(QKeySequence(QStringLiteral("Ctrl+C")));
    QVERIFY(h.fakes.clipboard.frames().has_value());
    QCOMPARE(h.fakes.clipboard.bitmap().pixel(0, 0), h.model().ownPicture(2).pixel(0, 0));
    h.key(QKeySequence(QStringLiteral("Ctrl+V")));
    const QStringList after = frames(h.model());
    QCOMPARE(after.size(), 6);
    QCOMPARE(after.mid(4), after.mid(1, 2)); // the copies, delays and all
    QCOMPARE(selected(h), (std::vector<int>{4, 5}));
    QCOMPARE(h.item(QStringLiteral("UndoItem"))->text(), QStringLiteral("Undo Paste"));
    h.key(QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(h.model().frameCount(), 4);
    h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(frames(h.model()), after);
}

void TestUndoWindow::dropsOnTheStripAndThePreview() {
    WindowHarness h;
    const QString gif = h.writeGif(QStringLiteral("three.gif"), 3);
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    const QString png = h.dir.filePath(QStringLiteral("pic.png"));
    QVERIFY(picture.save(png));
    const auto files = [](const QStringList& names) {
        auto* data = new QMimeData;
        QList<QUrl> urls;
        for (const QString& n : names)
            urls << QUrl::fromLocalFile(n);
        data->setUrls(urls);
        return std::unique_ptr<QMimeData>(data);
    };

    // A GIF dropped on the empty window opens.
    h.window->previewDrop(files({gif}).get(), false);
    QCOMPARE(h.title(), QStringLiteral("three.gif - Vorlane Gif"));
    QCOMPARE(h.model().frameCount(), 3);
    // Files dropped between the thumbnails go there: a GIF brings all its frames.
    h.window->stripDrop(files({png, gif}).get(), 1, false);
    QCOMPARE(h.model().frameCount(), 7);
    QCOMPARE(h.model().ownPicture(1).pixel(0, 0), qRgb(1, 2, 3));
    QCOMPARE(selected(h), (std::vector<int>{1, 2, 3, 4}));
    QCOMPARE(h.item(QStringLiteral("UndoItem"))->text(), QStringLiteral("Undo Drop images"));
    // On the preview they go at the end.
    h.window->previewDrop(files({png}).get(), false);
    QCOMPARE(h.model().frameCount(), 8);
    QCOMPARE(h.model().ownPicture(7).pixel(0, 0), qRgb(1, 2, 3));
    // With Ctrl a GIF opens in place of the animation (after the save question).
    h.fakes.prompts.answer(Prompts::Answer::No);
    h.window->previewDrop(files({gif}).get(), true);
    QCOMPARE(h.model().frameCount(), 3);
    QVERIFY(!h.model().isModified());
}

void TestUndoWindow::dragOutGivesPictureFiles() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("four.gif"), 4, 8, 6));
    click(h, 1);
    click(h, 2, Qt::ShiftModifier);
    std::unique_ptr<QMimeData> data(h.window->dragData());
    QCOMPARE(data->urls().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QImage out(data->urls().at(i).toLocalFile());
        QCOMPARE(out.size(), QSize(8, 6));
        QCOMPARE(out.pixel(0, 0), h.model().ownPicture(i).pixel(0, 0));
    }
}

QTEST_MAIN(TestUndoWindow)
#include "tst_undo_window.moc"
