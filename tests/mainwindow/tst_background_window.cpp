// SPDX-License-Identifier: GPL-3.0-or-later
// Long work on the worker, seen from the window: it stays responsive and reads, edits
// nothing meanwhile, and a cancel or a failure leaves everything as it was.

#include <optional>

#include <QDir>
#include <QImage>
#include <QMetaObject>
#include <QTest>
#include <QToolButton>

#include "WindowHarness.h"
#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/EditSteps.h"
#include "document/RecentFiles.h"
#include "editing/FrameCommands.h"
#include "effects/EffectCommand.h"
#include "effects/EffectDialog.h"

using vorlane::BackgroundWork;
using vorlane::DocumentFiles;
using vorlane::Prompts;
using vorlane::test::WindowHarness;

namespace {

// Runs `check` inside the next work the window starts, on the window's thread (the
// events processed while it runs), then cancels the work when `cancel`.
void duringNextWork(WindowHarness& h, std::function<void()> check, bool cancel) {
    auto connection = std::make_shared<QMetaObject::Connection>();
    BackgroundWork* work = &h.window->work();
    *connection = QObject::connect(work, &BackgroundWork::busyChanged, work, [=](bool busy) {
        if (!busy) return;
        QObject::disconnect(*connection);
        QMetaObject::invokeMethod(
            work,
            [=] {
                if (check) check();
                if (cancel) work->cancel();
            },
            Qt::QueuedConnection);
    });
}

struct Before {
    int frames;
    QString path;
    bool modified;
    QStringList recent;
    bool operator==(const Before&) const = default;
};

Before state(WindowHarness& h) {
    return {h.model().frameCount(), h.window->files().path(), h.model().isModified(),
            h.window->recentFiles().files()};
}

} // namespace

class TestBackgroundWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cancelledOpenLeavesTheAnimation();
    void whileWorkRunsTheWindowReadsAndEditsNothing();
    void failingOpenSaysSoOnTheWorker();
    void cancelledSaveKeepsTheFileAndTheFlag();
    void cancelledEditTakesBackWhatItMade_data();
    void cancelledEditTakesBackWhatItMade();
};

void TestBackgroundWindow::cancelledOpenLeavesTheAnimation() {
    WindowHarness h(true);
    h.open(h.writeGif(QStringLiteral("small.gif"), 4));
    QCOMPARE(h.model().frameCount(), 4);
    h.model().push(std::make_unique<vorlane::RemoveFramesStep>(vorlane::FrameCommands::RemoveStep,
                                                               std::vector<int>{1}));
    const QString big = h.writeGif(QStringLiteral("big.gif"), 400, 320, 240);
    const Before before = state(h);

    h.fakes.prompts.answer(Prompts::Answer::No); // the save question before opening
    duringNextWork(h, nullptr, true);
    h.open(big);
    QCOMPARE(state(h), before);
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.find<QToolButton>(QStringLiteral("CancelWork"))->isVisible());
    QVERIFY(!h.find(QStringLiteral("ProgressBar"))->isVisible());
    QVERIFY(!h.window->work().busy());
    // The edit is still there to undo.
    h.key(QKeySequence(QStringLiteral("Ctrl+Z")));
    QCOMPARE(h.model().frameCount(), 4);
}

void TestBackgroundWindow::whileWorkRunsTheWindowReadsAndEditsNothing() {
    WindowHarness h(true);
    h.open(h.writeGif(QStringLiteral("small.gif"), 4));
    bool ran = false;
    duringNextWork(
        h,
        [&] {
            ran = true;
            QVERIFY(h.find<QToolButton>(QStringLiteral("CancelWork"))->isVisible());
            QVERIFY(!h.enabled(QStringLiteral("FileButton")));
            QVERIFY(!h.enabled(QStringLiteral("EditButton")));
            QVERIFY(!h.enabled(QStringLiteral("ToolButton1")));
            QVERIFY(!h.enabled(QStringLiteral("Period")));
            QVERIFY(h.enabled(QStringLiteral("ViewButton")));
            // The keys of the editing menus do nothing; the strip still moves.
            h.key(QKeySequence(QStringLiteral("Ctrl+N")));
            QCOMPARE(h.model().frameCount(), 4);
            h.window->PClick(2, Qt::NoModifier);
            QCOMPARE(h.current(), 1);
        },
        false);
    h.open(h.writeGif(QStringLiteral("big.gif"), 300, 320, 240));
    QVERIFY(ran);
    QCOMPARE(h.model().frameCount(), 300);
    QVERIFY(h.enabled(QStringLiteral("FileButton")) && h.enabled(QStringLiteral("Period")));
}

void TestBackgroundWindow::failingOpenSaysSoOnTheWorker() {
    WindowHarness h(true);
    const QString good = h.writeGif(QStringLiteral("good.gif"), 3);
    h.open(good);
    const QString bad = h.dir.filePath(QStringLiteral("bad.gif"));
    vorlane::test::writeFile(bad, vorlane::test::Bytes{'G', 'I', 'F', '8', '9', 'a', 1});
    h.fakes.prompts.expect(DocumentFiles::InvalidFormat, Prompts::Answer::Ok);
    h.open(bad);
    QCOMPARE(h.fakes.prompts.asked().back().text, DocumentFiles::InvalidFormat);
    QCOMPARE(h.window->files().path(), good);
    QCOMPARE(h.model().frameCount(), 3);
    QVERIFY(h.frameViewShown());
}

void TestBackgroundWindow::cancelledSaveKeepsTheFileAndTheFlag() {
    WindowHarness h(true);
    const QString path = h.writeGif(QStringLiteral("anim.gif"), 200, 320, 240);
    h.open(path);
    const QByteArray bytes = vorlane::test::readFile(path);
    h.model().push(std::make_unique<vorlane::RemoveFramesStep>(vorlane::FrameCommands::RemoveStep,
                                                               std::vector<int>{0}));
    duringNextWork(h, nullptr, true);
    QVERIFY(h.click(QStringLiteral("save")));
    QCOMPARE(vorlane::test::readFile(path), bytes);
    QVERIFY(h.model().isModified());
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("anim.gif")});
    // No message: the user stopped it.
    QVERIFY(h.fakes.prompts.asked().isEmpty());
}

namespace {
struct AnyEffect : vorlane::effects::EffectDialog {
    std::optional<vorlane::effects::EffectSettings> ask(vorlane::effects::Effect) override {
        vorlane::effects::EffectSettings settings;
        settings.count = 40;
        return settings;
    }
};
} // namespace

void TestBackgroundWindow::cancelledEditTakesBackWhatItMade_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("effect") << QStringLiteral("Fondu");
    QTest::newRow("add pictures") << QStringLiteral("addbtn");
}

// Frames go into the animation as the worker makes them; a cancel takes every one back,
// with no step left in the history and the flag as it was.
void TestBackgroundWindow::cancelledEditTakesBackWhatItMade() {
    QFETCH(QString, command);
    WindowHarness h(true);
    AnyEffect effects;
    h.window->setEffectDialog(&effects);
    h.open(h.writeGif(QStringLiteral("anim.gif"), 3, 320, 240));
    h.window->selectFrame(2);
    QStringList pictures;
    for (int i = 0; i < 6; ++i) {
        QImage picture(200, 150, QImage::Format_RGB32);
        picture.fill(qRgb(40 * i, 90, 200 - 30 * i));
        pictures << h.dir.filePath(QStringLiteral("p%1.png").arg(i));
        QVERIFY(picture.save(pictures.back()));
    }
    h.fakes.dialogs.chooseMany(pictures);
    const Before before = state(h);

    duringNextWork(h, nullptr, true);
    if (command == QLatin1String("addbtn"))
        QVERIFY(h.click(command));
    else
        QVERIFY(h.choose(QStringLiteral("Effets"), command));
    QCOMPARE(state(h), before);
    QVERIFY(!h.model().undoStack().canUndo());
    QVERIFY(!h.window->work().busy());
    QVERIFY(h.fakes.prompts.asked().isEmpty());
}

QTEST_MAIN(TestBackgroundWindow)
#include "tst_background_window.moc"
