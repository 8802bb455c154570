// SPDX-License-Identifier: GPL-3.0-or-later
// Frame editing as the user meets it in the window: the add and remove buttons, the
// Image and Edit menus and their keys, the delay field, the disposal dialog and the hint
// over the frame view.

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QTest>

#include "WindowHarness.h"
#include "editing/FrameCommands.h"
#include "mainwindow/Widgets.h"

using vorlane::FrameCommands;
using vorlane::Prompts;
using vorlane::test::WindowHarness;

namespace {
QString picture(WindowHarness& h, const QString& name, QSize size, QRgb color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    const QString path = h.dir.filePath(name);
    image.save(path);
    return path;
}

void activate(WindowHarness& h) {
    h.window->activateWindow();
    QApplication::setActiveWindow(h.window.get());
    QTRY_VERIFY(h.window->isActiveWindow());
}
} // namespace

class TestEditingWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addAndInsertShowTheNewFrames();
    void removeAsksAndFollowsTheStrip();
    void deleteKeyObeysTheImageMenuAndTextFields();
    void clipboardThroughTheEditMenu();
    void delayField();
    void disposalDialog();
    void hintOverTheFrameView();
};

void TestEditingWindow::addAndInsertShowTheNewFrames() {
    WindowHarness h;
    h.fakes.dialogs.chooseMany({picture(h, QStringLiteral("a.png"), {30, 20}, 0xFFFF0000),
                                picture(h, QStringLiteral("b.png"), {40, 10}, 0xFF00FF00)});
    QVERIFY(h.click(QStringLiteral("addbtn")));
    QCOMPARE(h.badges(), QStringLiteral("1 2 - -"));
    QCOMPARE(h.current(), 1);
    QCOMPARE(h.highlightedSlot(), 2);
    QCOMPARE(h.panel(2), QStringLiteral("2 image(s)"));
    QCOMPARE(h.panel(3), QStringLiteral("Animation 40x20"));
    QCOMPARE(h.find<QSpinBox>(QStringLiteral("Period"))->value(), 60);
    QVERIFY(h.enabled(QStringLiteral("save")));
    QVERIFY(h.enabled(QStringLiteral("sup")));
    QCOMPARE(h.speedBar(), QStringLiteral("101100"));

    // Insert (Image menu) puts the file in front of the current frame.
    h.fakes.dialogs.chooseMany({picture(h, QStringLiteral("c.png"), {5, 5}, 0xFF0000FF)});
    QVERIFY(h.choose(QStringLiteral("Imagesdelanimations1"), QStringLiteral("insert")));
    QCOMPARE(h.model().frameCount(), 3);
    QCOMPARE(h.current(), 1);
    QCOMPARE(h.model().ownPicture(1).pixel(0, 0), QRgb(0xFF0000FF));
    // The dialog offers the registered formats.
    QCOMPARE(h.fakes.dialogs.requests().last().filter, h.window->commands().dialogFilter());
    QVERIFY(h.fakes.dialogs.requests().last().filter.contains(QLatin1String("*.png")));
}

void TestEditingWindow::removeAsksAndFollowsTheStrip() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("five.gif"), 5));
    QVERIFY(h.click(QStringLiteral("Forwardbtn")));
    QCOMPARE(h.gauge(), 1);
    h.fakes.prompts.expect(FrameCommands::RemoveQuestion, Prompts::Answer::No);
    QVERIFY(h.click(QStringLiteral("sup")));
    QCOMPARE(h.model().frameCount(), 5);

    h.fakes.prompts.expect(FrameCommands::RemoveQuestion, Prompts::Answer::Yes);
    QVERIFY(h.choose(QStringLiteral("Edit1"), QStringLiteral("Del")));
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.gauge(), 0);
    QVERIFY(!h.gaugeEnabled());
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 4"));
    QCOMPARE(h.highlightedSlot(), 4);
    QCOMPARE(h.panel(2), QStringLiteral("4 image(s)"));

    // Removing every frame leaves an empty animation with the remove commands off.
    for (int left = 4; left > 0; --left) {
        h.fakes.prompts.answer(Prompts::Answer::Yes);
        QVERIFY(h.click(QStringLiteral("sup")));
    }
    QCOMPARE(h.badges(), QStringLiteral("- - - -"));
    QCOMPARE(h.panel(2), QStringLiteral("0 image(s)"));
    QVERIFY(!h.enabled(QStringLiteral("sup")));
    QVERIFY(!h.enabled(QStringLiteral("play")));
    // Regression: the speed bar's Play stayed on while the tool row's was off.
    QCOMPARE(h.speedBar(), QStringLiteral("000000"));
    QVERIFY(h.enabled(QStringLiteral("past")));
    QVERIFY(!h.enabledIn(QStringLiteral("Edit1"), QStringLiteral("Del")));
}

void TestEditingWindow::deleteKeyObeysTheImageMenuAndTextFields() {
    WindowHarness h;
    activate(h);
    h.open(h.writeGif(QStringLiteral("three.gif"), 3, 8, 6, 0, "note"));
    // The copy and paste keys in the comment box and the delay field act on their text.
    QImage marker(1, 1, QImage::Format_RGB32);
    marker.fill(Qt::black);
    h.fakes.clipboard.setBitmap(marker);
    auto* comment = h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"));
    comment->setFocus();
    comment->selectAll();
    QTest::keyClick(comment, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(comment, Qt::Key_V, Qt::ControlModifier);
    auto* period = h.find<QSpinBox>(QStringLiteral("Period"));
    period->setFocus();
    QTest::keyClick(period, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(h.fakes.clipboard.bitmap().size(), QSize(1, 1));
    QCOMPARE(h.model().frameCount(), 3);
    // In the delay field the key edits the text (an unscripted question would fail).
    period->setFocus();
    period->selectAll();
    QTest::keyClick(period, Qt::Key_Delete);
    QCOMPARE(period->cleanText(), QString());
    QCOMPARE(h.model().frameCount(), 3);
    h.fakes.prompts.expect(QStringLiteral("'' is not a valid integer value"), Prompts::Answer::Ok);
    h.find<QWidget>(QStringLiteral("Panel2"))->setFocus();
    QTRY_COMPARE(h.fakes.prompts.asked().size(), 1);

    // During playback the Image menu is off, and so is its key.
    QVERIFY(h.click(QStringLiteral("play")));
    h.key(QKeySequence(Qt::Key_Delete));
    QCOMPARE(h.model().frameCount(), 3);
    QVERIFY(h.click(QStringLiteral("StopBtn")));
    h.fakes.prompts.expect(FrameCommands::RemoveQuestion, Prompts::Answer::Yes);
    h.key(QKeySequence(Qt::Key_Delete));
    QCOMPARE(h.model().frameCount(), 2);
}

void TestEditingWindow::clipboardThroughTheEditMenu() {
    WindowHarness h;
    activate(h);
    h.open(h.writeGif(QStringLiteral("two.gif"), 2));
    QVERIFY(!h.enabledIn(QStringLiteral("Edit1"), QStringLiteral("Paste")));
    h.key(QKeySequence(QStringLiteral("Ctrl+V")));
    QCOMPARE(h.model().frameCount(), 2);

    h.key(QKeySequence(QStringLiteral("Ctrl+C")));
    QVERIFY(h.fakes.clipboard.hasBitmap());
    QVERIFY(h.enabledIn(QStringLiteral("Edit1"), QStringLiteral("Paste")));
    h.key(QKeySequence(QStringLiteral("Ctrl+V")));
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 -"));
    QCOMPARE(h.current(), 2);
    QVERIFY(h.choose(QStringLiteral("Edit1"), QStringLiteral("ins")));
    QCOMPARE(h.current(), 2);
    QCOMPARE(h.model().frameCount(), 4);
    QVERIFY(h.choose(QStringLiteral("Imagesdelanimations1"), QStringLiteral("Dup")));
    QCOMPARE(h.current(), 3);
    QCOMPARE(h.model().frameCount(), 5);
    QVERIFY(h.gaugeEnabled());
}

void TestEditingWindow::delayField() {
    WindowHarness h;
    activate(h);
    h.open(h.writeGif(QStringLiteral("three.gif"), 3));
    auto* period = h.find<QSpinBox>(QStringLiteral("Period"));
    QCOMPARE(period->value(), 10);
    QVERIFY(!h.enabled(QStringLiteral("save")));
    period->stepUp();
    QCOMPARE(h.model().frame(0).graphicControl()->delay, uint16_t(20));
    QVERIFY(h.enabled(QStringLiteral("save")));

    period->setFocus();
    period->selectAll();
    QTest::keyClicks(period, QStringLiteral("7000"));
    QCOMPARE(period->value(), 7000);
    // An emptied field is reported once, when it is left, and the frame keeps its delay.
    period->selectAll();
    QTest::keyClick(period, Qt::Key_Backspace);
    h.fakes.prompts.expect(QStringLiteral("'' is not a valid integer value"), Prompts::Answer::Ok);
    QTest::keyClick(period, Qt::Key_Return);
    QTRY_COMPARE(h.fakes.prompts.asked().size(), 1);
    QCOMPARE(period->value(), 7000);
    h.find<QWidget>(QStringLiteral("Panel2"))->setFocus();
    QTest::qWait(0);
    QCOMPARE(h.fakes.prompts.asked().size(), 1);
    QCOMPARE(h.model().frame(0).graphicControl()->delay, uint16_t(7000));

    QVERIFY(h.click(QStringLiteral("Nextbtn")));
    QCOMPARE(period->value(), 20);
    QVERIFY(h.click(QStringLiteral("Backbtn")));
    QCOMPARE(period->value(), 7000);
}

void TestEditingWindow::disposalDialog() {
    WindowHarness h;
    // The window's own dialog, made once.
    auto* dialog = h.find<QDialog>(QStringLiteral("Dispo"));
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Image disposal"));
    auto* list = dialog->findChild<QComboBox*>(QStringLiteral("disCombo"));
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->itemText(1), QStringLiteral("Fill with background color"));
    QCOMPARE(list->currentIndex(), 0);
    QVERIFY(dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->isDefault());

    vorlane::test::FakeDisposalChooser chooser;
    h.window->setDisposalChooser(&chooser);
    QVERIFY(!h.enabledIn(QStringLiteral("Imagesdelanimations1"), QStringLiteral("methode")));
    h.open(h.writeGif(QStringLiteral("two.gif"), 2));
    chooser.answer(2);
    QVERIFY(h.choose(QStringLiteral("Imagesdelanimations1"), QStringLiteral("methode")));
    QCOMPARE(chooser.shown(), QList<int>{0}); // disposal 1 shows "No disposal"
    QCOMPARE(h.model().frame(0).graphicControl()->disposal, uint8_t(3));
    QVERIFY(h.enabled(QStringLiteral("save")));
    h.window->setDisposalChooser(nullptr);
}

void TestEditingWindow::hintOverTheFrameView() {
    WindowHarness h;
    QStatusTipEvent tip(QStringLiteral("Save current file"));
    QApplication::sendEvent(h.window.get(), &tip);
    QCOMPARE(h.panel(0), QStringLiteral("Save current file"));
    QWidget* view = h.find<QWidget>(QStringLiteral("Image"));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QCOMPARE(h.panel(0), QStringLiteral("To get help, press F1"));
}

QTEST_MAIN(TestEditingWindow)
#include "tst_editing_window.moc"
