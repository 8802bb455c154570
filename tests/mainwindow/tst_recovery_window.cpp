// SPDX-License-Identifier: GPL-3.0-or-later
// Recovery copies through the window: an editor that ends without closing leaves its
// copy, and the next start offers it in "Recover unsaved work" (answered by acting on the
// dialog's own buttons through the modal runner); a running editor's copy is not
// offered; closing the window leaves no copy.

#include <functional>
#include <map>

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "WindowHarness.h"
#include "dialogs/GuidanceDialogs.h"
#include "dialogs/RecoveryDialog.h"
#include "document/Recovery.h"

using namespace vorlane;
using vorlane::test::WindowHarness;

namespace {

using Answer = std::function<void(QDialog&)>;

const auto click = vorlane::test::clickButton;

// An editor on the recovery folder, with its guidance dialogs. Modal showings are
// recorded by objectName and answered by the script for that name, else closed as with
// Esc.
struct Editor {
    QString folder;
    WindowHarness h;
    GuidanceDialogs* guidance = nullptr;
    QStringList shown;
    std::map<QString, Answer> answers;

    explicit Editor(QString recoveryFolder) : folder(std::move(recoveryFolder)) { attach(); }
    void attach() {
        h.window->setRecoveryFolder(folder);
        guidance = new GuidanceDialogs(*h.window, h.fakes.platform());
        guidance->setModalRunner([this](QDialog& dialog) {
            shown << dialog.objectName();
            dialog.show();
            if (const auto it = answers.find(dialog.objectName()); it != answers.end())
                it->second(dialog);
            if (dialog.isVisible()) dialog.reject();
            return dialog.result();
        });
    }
    // Opens a five-frame animation, removes frame 2 and waits for the copy.
    QString editAndKeepCopy(const QString& name) {
        const QString file = h.writeGif(name, 5);
        h.open(file);
        h.window->selectFrame(2);
        h.fakes.prompts.answer(Prompts::Answer::Yes); // "Are you sure ...?"
        h.window->DelClick();
        QSignalSpy finished(&h.window->recovery(), &RecoveryWriter::finished);
        h.window->recovery().writeNow();
        if (!finished.wait(10000) || !finished.first().first().toBool()) return {};
        return file;
    }
    // The editor ends without closing, as when it is killed.
    void crash() { h.window.reset(); }
    void start() {
        shown.clear();
        h.restart();
        attach();
        h.window->startUp({}, guidance->startupDialogs());
    }
    int copiesLeft() const {
        return QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files).size();
    }
};

} // namespace

class TestRecoveryWindow : public QObject {
    Q_OBJECT
    QTemporaryDir m_data;

private Q_SLOTS:
    void initTestCase();
    void recoverOpensTheWorkAsItWas();
    void laterAndDiscard_data();
    void laterAndDiscard();
    void aRunningEditorsCopyIsNotOffered();
    void closingLeavesNoCopy_data();
    void closingLeavesNoCopy();
};

void TestRecoveryWindow::initTestCase() {
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.filePath(QStringLiteral("data"))));
    qunsetenv("VORLANE_AUTOSAVE_SECONDS");
}

void TestRecoveryWindow::recoverOpensTheWorkAsItWas() {
    Editor e(m_data.filePath(QStringLiteral("recover")));
    const QString file = e.editAndKeepCopy(QStringLiteral("walk.gif"));
    QVERIFY(!file.isEmpty());
    e.crash();

    e.answers[QStringLiteral("RecoverWork")] = [](QDialog& d) { click(d, "recoverButton"); };
    e.start();
    // The welcome and how-to steps give way to the work recovered.
    QCOMPARE(e.shown, QStringList{QStringLiteral("RecoverWork")});
    QCOMPARE(e.h.title(), QStringLiteral("walk.gif - Vorlane Gif"));
    QCOMPARE(e.h.model().frameCount(), 4);
    QVERIFY(e.h.enabled(QStringLiteral("save")));
    QVERIFY(e.h.enabledIn(QStringLiteral("File1"), QStringLiteral("save1")));

    // Save writes the animation's own file, and the copy has served.
    const auto dialogsBefore = e.h.fakes.dialogs.requests().size();
    QVERIFY(e.h.click(QStringLiteral("save")));
    QCOMPARE(e.h.fakes.dialogs.requests().size(), dialogsBefore);
    QVERIFY(!e.h.model().isModified());
    QCOMPARE(e.copiesLeft(), 0);
    gif::GifImage saved;
    saved.load(file);
    QCOMPARE(int(saved.frameCount()), 4);
}

void TestRecoveryWindow::laterAndDiscard_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer"); // to the question Discard asks; -1: none asked
    QTest::addColumn<int>("copiesLeft");
    QTest::newRow("later") << "laterButton" << -1 << 1;
    QTest::newRow("discard, yes") << "discardButton" << int(Prompts::Answer::Yes) << 0;
    QTest::newRow("discard, no") << "discardButton" << int(Prompts::Answer::No) << 1;
}

void TestRecoveryWindow::laterAndDiscard() {
    QFETCH(QString, button);
    QFETCH(int, answer);
    QFETCH(int, copiesLeft);
    Editor e(m_data.filePath(QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(!e.editAndKeepCopy(QStringLiteral("jump.gif")).isEmpty());
    e.crash();

    if (answer >= 0)
        e.h.fakes.prompts.expect(TRecover::discardQuestion(QStringLiteral("jump.gif")),
                                 Prompts::Answer(answer));
    e.answers[QStringLiteral("RecoverWork")] = [&](QDialog& d) {
        auto* list = d.findChild<QTreeWidget*>(QStringLiteral("copies"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("jump.gif"));
        QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("4"));
        QVERIFY(!list->topLevelItem(0)->icon(0).isNull());
        click(d, qPrintable(button));
    };
    e.start();
    QCOMPARE(e.h.fakes.prompts.pending(), 0);
    // Nothing recovered: the start goes on as usual, with an untitled animation.
    QCOMPARE(e.shown.value(1), QStringLiteral("welcome"));
    QCOMPARE(e.h.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
    QCOMPARE(e.copiesLeft(), copiesLeft);
}

void TestRecoveryWindow::aRunningEditorsCopyIsNotOffered() {
    const QString folder = m_data.filePath(QStringLiteral("two"));
    Editor first(folder);
    QVERIFY(!first.editAndKeepCopy(QStringLiteral("first.gif")).isEmpty());

    // A second editor starts while the first runs; it edits, and keeps a copy of its own.
    Editor second(folder);
    second.start();
    QVERIFY(!second.shown.contains(QStringLiteral("RecoverWork")));
    QVERIFY(!second.editAndKeepCopy(QStringLiteral("second.gif")).isEmpty());
    QCOMPARE(first.copiesLeft(), 2);
    QVERIFY(first.h.window->recovery().manifestPath() !=
            second.h.window->recovery().manifestPath());

    // Once the first is gone, its copy, and only its, is offered.
    first.crash();
    Editor third(folder);
    third.answers[QStringLiteral("RecoverWork")] = [](QDialog& d) {
        auto* list = d.findChild<QTreeWidget*>(QStringLiteral("copies"));
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("first.gif"));
    };
    third.start();
    QVERIFY(third.shown.contains(QStringLiteral("RecoverWork")));
}

void TestRecoveryWindow::closingLeavesNoCopy_data() {
    QTest::addColumn<int>("answer"); // to the question before closing
    QTest::newRow("no at quit") << int(Prompts::Answer::No);
    QTest::newRow("yes at quit") << int(Prompts::Answer::Yes);
}

void TestRecoveryWindow::closingLeavesNoCopy() {
    QFETCH(int, answer);
    Editor e(
        m_data.filePath(QStringLiteral("close ") + QString::fromLatin1(QTest::currentDataTag())));
    QVERIFY(!e.editAndKeepCopy(QStringLiteral("a.gif")).isEmpty());
    QCOMPARE(e.copiesLeft(), 1);
    e.h.fakes.prompts.answer(Prompts::Answer(answer));
    QVERIFY(e.h.window->close());
    e.crash();
    QCOMPARE(e.copiesLeft(), 0);
    QCOMPARE(QDir(e.folder).entryList(QDir::Files), QStringList());
}

QTEST_MAIN(TestRecoveryWindow)
#include "tst_recovery_window.moc"
