// SPDX-License-Identifier: GPL-3.0-or-later
// The Animation menu and the preview's zoom as the user meets them: the menu's enabling,
// every tool as one step that undo takes back exactly, tools on the selected frames, the
// dialogs' predicted results, the crop rectangle drawn with the mouse at a zoom, the
// zoom levels with their status text, Ctrl and the wheel, and a cancelled tool.

#include <optional>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>
#include <QWheelEvent>

#include "WindowHarness.h"
#include "document/BackgroundWork.h"
#include "imaging/Zoom.h"
#include "mainwindow/Preview.h"
#include "mainwindow/Widgets.h"
#include "support/AnimationSnapshot.h"
#include "tools/ToolDialog.h"
#include "tools/widgets/CropDialog.h"
#include "tools/widgets/ToolDialogs.h"

using namespace vorlane;
using test::WindowHarness;
using tools::Operation;
using tools::ToolDialogKind;
namespace op = tools::op;

namespace {

// Answers the tool dialogs from a script and records what they were asked with.
struct FakeToolDialog : tools::ToolDialog {
    std::optional<Operation> answer;
    QList<ToolDialogKind> asked;
    std::vector<int> selected;
    QSize picture;
    std::optional<Operation> ask(ToolDialogKind kind, const tools::ToolRequest& request) override {
        asked << kind;
        selected = request.selected;
        picture = request.picture.size();
        return answer;
    }
};

// Six frames of 12 x 9 over one table, each with a clear border of one pixel around an
// opaque pattern that no turn or mirror keeps, told apart by a column of its own; frame
// 3 shows what frame 2 shows. Every disposal code, delays 10, 20, .., 60.
gif::GifImage toolAnimation() {
    gif::GifImage g;
    g.screenWidth = 12;
    g.screenHeight = 9;
    g.setGlobalColors({{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}});
    const uint8_t disposals[] = {0, 1, 2, 3, 1, 2};
    for (int i = 0; i < 6; ++i) {
        const int pattern = i == 3 ? 2 : i;
        gif::Bytes pixels(12 * 9, 3);
        for (int y = 1; y < 8; ++y)
            for (int x = 1; x < 11; ++x)
                pixels[size_t(y * 12 + x)] = uint8_t((2 * x + y * y + (x == pattern + 2)) % 3);
        gif::Frame f;
        f.setPixels(12, 9, std::move(pixels));
        f.graphicControlRecord = gif::Extension::makeGraphicControl();
        gif::GraphicControl& c = f.graphicControlRecord->control();
        c.delay = uint16_t(10 * (i + 1));
        c.disposal = disposals[i];
        c.transparent = true;
        c.transparentIndex = 3;
        f.extensions.push_back(f.graphicControlRecord);
        g.appendFrame(std::move(f));
    }
    return g;
}

void openToolAnimation(WindowHarness& h) {
    const QString path = h.dir.filePath(QStringLiteral("tools.gif"));
    toolAnimation().save(path);
    h.open(path);
    QCOMPARE(h.model().frameCount(), 6);
}

QList<int> delays(const AnimationModel& m) {
    QList<int> d;
    for (int i = 0; i < m.frameCount(); ++i)
        d << m.delay(i);
    return d;
}

struct ToolCase {
    const char* item;
    std::optional<Operation> answer; // what the dialog answers, for the tools with one
    const char* step;
    QSize screen;
    int frames;
};

const ToolCase ToolCases[] = {
    {"ResizeItem", op::Resize{6, 5, false, tools::ResizeFilter::Auto}, "Resize", {6, 5}, 6},
    {"CropItem", op::Crop{QRect(2, 3, 8, 5)}, "Crop", {8, 5}, 6},
    {"AutoCropItem", {}, "Auto-crop", {10, 7}, 6},
    {"RotateCwItem", {}, "Rotate 90° clockwise", {9, 12}, 6},
    {"Rotate180Item", {}, "Rotate 180°", {12, 9}, 6},
    {"RotateCcwItem", {}, "Rotate 90° counter-clockwise", {9, 12}, 6},
    {"FlipHItem", {}, "Flip horizontally", {12, 9}, 6},
    {"FlipVItem", {}, "Flip vertically", {12, 9}, 6},
    {"ReverseItem", {}, "Reverse", {12, 9}, 6},
    {"YoyoItem", {}, "Yo-yo", {12, 9}, 10},
    {"KeepEveryItem", op::KeepEvery{2, {}}, "Keep every n-th image", {12, 9}, 3},
    {"DedupeItem", {}, "Remove duplicate images", {12, 9}, 5},
    {"SpeedItem", op::Speed{50, {}}, "Speed", {12, 9}, 6},
    {"DelayItem", op::Delay{7, {}}, "Set delay", {12, 9}, 6},
};

// Ctrl and the wheel turned by `delta` (120 a notch) over the preview's centre.
void ctrlWheel(PreviewBox* box, int delta) {
    const QPointF at = QPointF(box->viewport()->rect().center());
    QWheelEvent wheel(at, box->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(box->viewport(), &wheel);
}

} // namespace

class TestToolsWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void menuFollowsFramesAndPlaying();
    void eachToolIsOneStepUndoneExactly_data();
    void eachToolIsOneStepUndoneExactly();
    void toolsOnTheSelectedFramesOnly();
    void failingAndCancelledToolsChangeNothing();
    void dialogsShowTheResult();
    void cropRectangleDrawnWithTheMouseAtAZoom();
    void zoomLevelsAndTheirStatus();
};

void TestToolsWindow::menuFollowsFramesAndPlaying() {
    WindowHarness h;
    const QString menu = QStringLiteral("Animation1");
    QVERIFY(!h.enabledIn(menu, QStringLiteral("ResizeItem"))); // no frames
    h.open(h.writeGif(QStringLiteral("one.gif"), 1));
    QVERIFY(h.enabledIn(menu, QStringLiteral("ResizeItem")));
    QVERIFY(h.enabledIn(menu, QStringLiteral("SpeedItem")));
    QVERIFY(!h.enabledIn(menu, QStringLiteral("ReverseItem"))); // order needs two frames
    h.open(h.writeGif(QStringLiteral("three.gif"), 3));
    for (const ToolCase& c : ToolCases)
        QVERIFY2(h.enabledIn(menu, QLatin1String(c.item)), c.item);
    QVERIFY(h.click(QStringLiteral("play")));
    for (const ToolCase& c : ToolCases)
        QVERIFY2(!h.enabledIn(menu, QLatin1String(c.item)), c.item);
    // The zoom is a matter of the view: it works while the animation plays, and the
    // running animation shows it.
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("Zoom200Item")));
    QCOMPARE(h.find<AnimationView>(QStringLiteral("gif"))->size(), QSize(16, 12));
}

void TestToolsWindow::eachToolIsOneStepUndoneExactly_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(ToolCases)); ++i)
        QTest::newRow(ToolCases[i].item) << i;
}

void TestToolsWindow::eachToolIsOneStepUndoneExactly() {
    QFETCH(int, index);
    const ToolCase& c = ToolCases[index];
    WindowHarness h;
    FakeToolDialog dialog;
    dialog.answer = c.answer;
    h.window->setToolDialog(&dialog);
    openToolAnimation(h);
    const auto before = test::AnimationSnapshot::of(h.model());
    const int steps = h.model().undoStack().count();

    QVERIFY(h.choose(QStringLiteral("Animation1"), QLatin1String(c.item)));
    QCOMPARE(dialog.asked.size(), c.answer ? 1 : 0);
    QCOMPARE(h.model().undoStack().count(), steps + 1);
    QCOMPARE(h.item(QStringLiteral("UndoItem"))->text(),
             QStringLiteral("Undo ") + QString::fromUtf8(c.step));
    QCOMPARE(h.model().screen(), c.screen);
    QCOMPARE(h.model().frameCount(), c.frames);
    QCOMPARE(h.panel(3),
             QStringLiteral("Animation %1x%2").arg(c.screen.width()).arg(c.screen.height()));
    QVERIFY(h.model().isModified());
    const auto after = test::AnimationSnapshot::of(h.model());
    QVERIFY(after != before);

    QVERIFY(h.click(QStringLiteral("undo")));
    QCOMPARE(test::AnimationSnapshot::of(h.model()), before);
    QVERIFY(!h.model().isModified());
    QCOMPARE(h.panel(2), QStringLiteral("6 image(s)"));
    QVERIFY(h.click(QStringLiteral("redo")));
    QCOMPARE(test::AnimationSnapshot::of(h.model()), after);
}

void TestToolsWindow::toolsOnTheSelectedFramesOnly() {
    WindowHarness h;
    FakeToolDialog dialog;
    h.window->setToolDialog(&dialog);
    openToolAnimation(h);
    const auto frame = [&](int i) { return h.model().frame(i).sharedPixels().get(); };
    const auto* first = frame(0);
    const auto* last = frame(5);
    const auto* second = frame(1);
    h.window->setFrameSelection({1, {1, 2, 3, 4}});

    // Reverse: the selected frames change places, the others stay, so does the selection.
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("ReverseItem")));
    QCOMPARE(delays(h.model()), (QList<int>{10, 50, 40, 30, 20, 60}));
    QCOMPARE(frame(0), first);
    QCOMPARE(frame(5), last);
    QCOMPARE(frame(4), second);
    QCOMPARE(h.window->frameSelection(), (FrameSelection{1, {1, 2, 3, 4}}));

    // The dialogs are told the selection.
    dialog.answer = op::KeepEvery{2, std::vector<int>{1, 2, 3, 4}};
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("KeepEveryItem")));
    QCOMPARE(dialog.selected, (std::vector<int>{1, 2, 3, 4}));
    // Frames 1 and 3 stay, each lasting for two; frames 0 and 5 as they were. The frames
    // that stand for the selection are selected.
    QCOMPARE(delays(h.model()), (QList<int>{10, 90, 50, 60}));
    QCOMPARE(h.window->frameSelection(), (FrameSelection{1, {1, 2}}));

    // With one frame selected the tools act on all.
    h.window->selectFrame(0);
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("ReverseItem")));
    QCOMPARE(delays(h.model()), (QList<int>{60, 50, 90, 10}));

    // De-duplicating frames that differ changes nothing and says so.
    const int steps = h.model().undoStack().count();
    h.window->setFrameSelection({0, {0, 1}});
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("DedupeItem")));
    QCOMPARE(h.model().undoStack().count(), steps);
    QVERIFY(h.window->statusBar()->currentMessage().contains(QStringLiteral("nothing to change")));
}

void TestToolsWindow::failingAndCancelledToolsChangeNothing() {
    WindowHarness h(true);
    FakeToolDialog dialog;
    h.window->setToolDialog(&dialog);
    openToolAnimation(h);
    const auto before = test::AnimationSnapshot::of(h.model());

    // Too large a result is said, with the tool's name and the reason.
    dialog.answer = op::Resize{65535, 65535, false, tools::ResizeFilter::Auto};
    h.fakes.prompts.answer(Prompts::Answer::Ok);
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("ResizeItem")));
    QCOMPARE(
        h.fakes.prompts.texts(),
        QStringList{QStringLiteral("Resize failed: The resized animation would be too large")});
    QCOMPARE(test::AnimationSnapshot::of(h.model()), before);

    // Cancel (or Esc) as soon as the work starts: nothing changes, no step is added.
    BackgroundWork* work = &h.window->work();
    const auto connection = connect(work, &BackgroundWork::busyChanged, work, [work](bool busy) {
        if (busy) work->cancel();
    });
    QVERIFY(h.choose(QStringLiteral("Animation1"), QStringLiteral("RotateCwItem")));
    disconnect(connection);
    QCOMPARE(test::AnimationSnapshot::of(h.model()), before);
    QCOMPARE(h.model().undoStack().count(), 0);
    QVERIFY(h.window->progressBar()->isHidden());
    QCOMPARE(h.panel(0), TMainform::HelpHint);
}

void TestToolsWindow::dialogsShowTheResult() {
    const gif::GifImage image = toolAnimation();
    tools::ToolRequest request;
    request.image = &image;
    const auto result = [](const QDialog& d) {
        return d.findChild<QLabel*>(QStringLiteral("Result"))->text();
    };

    TResizeDialog resize;
    resize.configure(request);
    // Typing replaces the first value: it has the focus, not OK (where it started).
    QCOMPARE(resize.focusWidget(), resize.findChild<QSpinBox*>(QStringLiteral("ResizeWidth")));
    QCOMPARE(resize.findChild<QLabel*>(QStringLiteral("Now"))->text(),
             QStringLiteral("Now: 12x9, 6 image(s)"));
    resize.findChild<QSpinBox*>(QStringLiteral("ResizeWidth"))->setValue(6);
    // The proportions are kept: 9 * 6 / 12 = 4.5, rounded half up.
    QCOMPARE(result(resize), QStringLiteral("Result: 6x5, 6 image(s)"));
    resize.findChild<QDoubleSpinBox*>(QStringLiteral("ResizePercent"))->setValue(250);
    QCOMPARE(result(resize), QStringLiteral("Result: 30x23, 6 image(s)"));
    resize.findChild<QCheckBox*>(QStringLiteral("ResizeKeepAspect"))->setChecked(false);
    resize.findChild<QSpinBox*>(QStringLiteral("ResizeHeight"))->setValue(3);
    resize.findChild<QComboBox*>(QStringLiteral("ResizeFilter"))->setCurrentIndex(1);
    const op::Resize chosen = std::get<op::Resize>(resize.operation());
    QCOMPARE(QSize(chosen.width, chosen.height), QSize(30, 3));
    QVERIFY(chosen.filter == tools::ResizeFilter::Nearest);
    resize.findChild<QSpinBox*>(QStringLiteral("ResizeWidth"))->setValue(65535);
    resize.findChild<QSpinBox*>(QStringLiteral("ResizeHeight"))->setValue(65535);
    QCOMPARE(result(resize), QStringLiteral("The resized animation would be too large"));
    QVERIFY(!resize.findChild<QAbstractButton*>(QStringLiteral("OK"))->isEnabled());

    // Keep every n-th of the selected frames when several are selected.
    request.selected = {1, 2, 3, 4};
    TKeepEveryDialog keep;
    keep.configure(request);
    QVERIFY(keep.findChild<QRadioButton*>(QStringLiteral("ScopeSelected"))->isChecked());
    keep.findChild<QSpinBox*>(QStringLiteral("KeepEveryN"))->setValue(4);
    QCOMPARE(result(keep), QStringLiteral("Result: 12x9, 3 image(s)"));
    keep.findChild<QRadioButton*>(QStringLiteral("ScopeAll"))->setChecked(true);
    QCOMPARE(result(keep), QStringLiteral("Result: 12x9, 2 image(s)"));

    // Speed and delay show the playing time; delays of 0 and 1 play as 10.
    request.selected.clear();
    TSpeedDialog speed;
    speed.configure(request);
    QCOMPARE(speed.focusWidget(), speed.findChild<QSpinBox*>(QStringLiteral("SpeedPercent")));
    QVERIFY(!speed.findChild<QRadioButton*>(QStringLiteral("ScopeSelected"))->isEnabled());
    speed.findChild<QSpinBox*>(QStringLiteral("SpeedPercent"))->setValue(200);
    QCOMPARE(speed.findChild<QLabel*>(QStringLiteral("Now"))->text(),
             QStringLiteral("Now: 12x9, 6 image(s), %1 s").arg(QLocale().toString(2.1, 'f', 2)));
    QCOMPARE(
        result(speed),
        QStringLiteral("Result: 12x9, 6 image(s), %1 s").arg(QLocale().toString(1.05, 'f', 2)));
    TDelayDialog delay;
    delay.configure(request);
    QCOMPARE(delay.findChild<QSpinBox*>(QStringLiteral("DelayValue"))->value(), 10);
    delay.findChild<QSpinBox*>(QStringLiteral("DelayValue"))->setValue(1);
    QCOMPARE(result(delay),
             QStringLiteral("Result: 12x9, 6 image(s), %1 s").arg(QLocale().toString(0.6, 'f', 2)));
}

void TestToolsWindow::cropRectangleDrawnWithTheMouseAtAZoom() {
    const gif::GifImage image = toolAnimation();
    tools::ToolRequest request;
    request.image = &image;
    request.picture = QImage(12, 9, QImage::Format_ARGB32);
    request.picture.fill(Qt::red);
    TCropDialog d;
    d.configure(request);
    CropView* view = d.view();
    QCOMPARE(view->selection(), QRect(0, 0, 12, 9)); // the whole picture to start with
    view->setZoom(4);
    const QPoint o = view->pictureOrigin();
    const auto at = [&](double x, double y) { return o + QPoint(int(x * 4), int(y * 4)); };
    const auto fields = [&] {
        return QRect(d.findChild<QSpinBox*>(QStringLiteral("CropX"))->value(),
                     d.findChild<QSpinBox*>(QStringLiteral("CropY"))->value(),
                     d.findChild<QSpinBox*>(QStringLiteral("CropWidth"))->value(),
                     d.findChild<QSpinBox*>(QStringLiteral("CropHeight"))->value());
    };

    // Drawn over the whole picture (a rectangle that cannot move): it starts and ends on
    // the pixel edges nearest to the pointer (each picture pixel is 4 view pixels here).
    QTest::mousePress(view, Qt::LeftButton, {}, at(2.2, 2.9));
    QTest::mouseMove(view, at(6, 6));
    QTest::mouseMove(view, at(10.1, 7.8));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(10.1, 7.8));
    QCOMPARE(fields(), QRect(2, 3, 8, 5));
    QCOMPARE(std::get<op::Crop>(d.operation()).rect, QRect(2, 3, 8, 5));
    QCOMPARE(d.findChild<QLabel*>(QStringLiteral("Result"))->text(),
             QStringLiteral("Result: 8x5, 6 image(s)"));

    // The bottom-right handle moves that corner, within the picture.
    QTest::mousePress(view, Qt::LeftButton, {}, at(10, 8));
    QTest::mouseMove(view, at(15, 8.9));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(15, 8.9));
    QCOMPARE(fields(), QRect(2, 3, 10, 6));
    // Dragged from inside, it moves whole and stays within the picture.
    QTest::mousePress(view, Qt::LeftButton, {}, at(5, 5));
    QTest::mouseMove(view, at(1, 1));
    QTest::mouseRelease(view, Qt::LeftButton, {}, at(1, 1));
    QCOMPARE(fields(), QRect(0, 0, 10, 6));
    // Typed values move the rectangle on the picture.
    d.findChild<QSpinBox*>(QStringLiteral("CropY"))->setValue(3);
    QCOMPARE(view->selection(), QRect(0, 3, 10, 6));
}

void TestToolsWindow::zoomLevelsAndTheirStatus() {
    WindowHarness h;
    openToolAnimation(h);
    auto* box = h.window->box();
    auto* image = h.find<PictureView>(QStringLiteral("Image"));
    const QString panelBefore[] = {h.panel(1), h.panel(2), h.panel(3), h.panel(4)};
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("100 %"));

    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("Zoom400Item")));
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("400 %"));
    QVERIFY(h.item(QStringLiteral("Zoom400Item"))->isChecked());
    QCOMPARE(box->marker()->pos(), QPoint(48, 36));
    QCOMPARE(image->pictureRect().size(), QSize(48, 36));
    // Each pixel is a square of 4 x 4 of its own colour; the clear border shows the
    // checkerboard.
    const QImage shown = image->grab().toImage();
    const QPoint o = image->pictureRect().topLeft();
    const QImage own = image->picture().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x) {
            const QRgb pixel = own.pixel(x, y);
            for (const QPoint d : {QPoint(0, 0), QPoint(3, 3), QPoint(1, 2)}) {
                const QRgb seen = shown.pixel(o + QPoint(4 * x, 4 * y) + d);
                if (qAlpha(pixel) == 255)
                    QCOMPARE(seen, pixel);
                else
                    QVERIFY(seen == imaging::CheckerLight || seen == imaging::CheckerDark);
            }
        }

    // Ctrl and the wheel step through the levels.
    ctrlWheel(box, 120);
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("600 %"));
    ctrlWheel(box, -240);
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("300 %"));
    h.key(QKeySequence(QStringLiteral("Ctrl+0")));
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("100 %"));
    QCOMPARE(box->marker()->pos(), QPoint(12, 9));
    h.key(QKeySequence(QStringLiteral("Ctrl++")));
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("200 %"));

    // Fit: the largest whole factor whose picture fits the box.
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("ZoomFitItem")));
    const int fit = int(box->zoom());
    QCOMPARE(h.window->zoomPanel()->text(), QStringLiteral("Fit %1 %").arg(fit * 100));
    const QSize room = box->viewport()->size();
    QVERIFY(12 * fit <= room.width() && 9 * fit <= room.height());
    QVERIFY(fit == int(imaging::MaxZoom) || 12 * (fit + 1) > room.width() ||
            9 * (fit + 1) > room.height());
    // The other panels say what they said. The zoom panel gives way where the status bar
    // is full, rather than widen the window beyond its design width: the least width of
    // the status bar (which sets the window's) holds no room for the panel's text.
    QStatusBar* bar = h.window->statusBar();
    const auto leastWidth = [bar] {
        for (QLayout* layout : bar->findChildren<QLayout*>())
            layout->invalidate(); // what they hold now, not what they held
        return bar->minimumSizeHint().width();
    };
    const int least = leastWidth();
    h.window->zoomPanel()->hide();
    // (Only the spacing before the panel is left of it.)
    QVERIFY(least - leastWidth() < bar->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
    h.window->zoomPanel()->show();
    QCOMPARE(h.panel(1), panelBefore[0]);
    QCOMPARE(h.panel(2), panelBefore[1]);
    QCOMPARE(h.panel(3), panelBefore[2]);
    QCOMPARE(h.panel(4), panelBefore[3]);
}

QTEST_MAIN(TestToolsWindow)
#include "tst_tools_window.moc"
