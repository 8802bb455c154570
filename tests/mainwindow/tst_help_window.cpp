// SPDX-License-Identifier: GPL-3.0-or-later
// The guidance dialogs joined to the window: F1 and "Help topics" open the help window at
// the page for the focus, the Help menu hands its addresses to the shell,
// "Options..." edits the welcome dialog's preference, and the start-up sequence shows the
// welcome and how-to dialogs and acts on the welcome choice. Modal showings are answered
// by acting on the dialogs' own controls.

#include <functional>
#include <map>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "WindowHarness.h"
#include "dialogs/GuidanceDialogs.h"
#include "dialogs/SmallTuto.h"
#include "dialogs/WelcomeActions.h"
#include "help/HelpWindow.h"

using vorlane::GuidanceDialogs;
using vorlane::Prompts;
using vorlane::test::WindowHarness;

namespace {
const QString Recent = QStringLiteral("\\Software\\Vorlane Gif\\Recent");
const QString WelcomeKey = QStringLiteral("Software\\Vorlane Gif\\Welcome Settings");
const QString HowKey = QStringLiteral("Software\\Vorlane Gif\\How Settings");
const QString Untitled = QStringLiteral("Untitled.gif - Vorlane Gif");

using Answer = std::function<void(QDialog&)>;

const auto click = vorlane::test::clickButton;

// A window with its guidance dialogs. Each modal showing is recorded by the dialog's
// objectName and answered by the script for that name, else closed as with Esc.
struct Guided {
    WindowHarness h;
    GuidanceDialogs* guidance = nullptr;
    QStringList shown;
    std::map<QString, Answer> answers;
    int wizards = 0;

    Guided() { attach(); }
    void restart() {
        h.restart();
        attach();
    }
    void attach() {
        guidance = new GuidanceDialogs(*h.window, h.fakes.platform());
        guidance->setModalRunner([this](QDialog& dialog) {
            shown << dialog.objectName();
            dialog.show();
            if (const auto it = answers.find(dialog.objectName()); it != answers.end())
                it->second(dialog);
            if (dialog.isVisible()) dialog.reject();
            return dialog.result();
        });
        h.window->setWizardRunner([this] { ++wizards; });
    }
    void startUp() { h.window->startUp({}, guidance->startupDialogs()); }
};
} // namespace

class TestHelpWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void addressesGoToTheShell();
    void helpOpensAtThePageOfTheFocus_data();
    void helpOpensAtThePageOfTheFocus();
    void howToAndAboutFromTheMenu();
    void optionsSetTheWelcomePreference_data();
    void optionsSetTheWelcomePreference();
    void startUpShowsWelcomeAndHowTo();
    void welcomeChoiceRunsItsCommand_data();
    void welcomeChoiceRunsItsCommand();
};

void TestHelpWindow::addressesGoToTheShell() {
    Guided g;
    const vorlane::Endpoints endpoints;
    QVERIFY(g.h.choose(QStringLiteral("Help1"), QStringLiteral("Visiterlesiteweb1")));
    QVERIFY(g.h.choose(QStringLiteral("Contacterlauteur1"), QStringLiteral("Envoyerunemail1")));
    QCOMPARE(g.h.fakes.shell.opened(), (QStringList{endpoints.homePage, endpoints.contactMail}));
    QVERIFY(endpoints.contactMail.startsWith(QLatin1String("mailto:")));
    QVERIFY(g.shown.isEmpty()); // at once, without a question or a dialog
}

void TestHelpWindow::helpOpensAtThePageOfTheFocus_data() {
    QTest::addColumn<QString>("focus"); // objectName in the window, or a dialog's
    QTest::addColumn<QString>("title");
    QTest::newRow("preview") << "Panel2"
                             << "Vorlane Gif Help";
    QTest::newRow("delay field") << "Period"
                                 << "Frame delay and disposal - Vorlane Gif Help";
    QTest::newRow("comment") << "Gifcomment"
                             << "Loop count and comment - Vorlane Gif Help";
    QTest::newRow("how-to dialog") << "HowForm"
                                   << "Getting started - Vorlane Gif Help";
    QTest::newRow("options dialog") << "Options"
                                    << "Getting started - Vorlane Gif Help";
}

void TestHelpWindow::helpOpensAtThePageOfTheFocus() {
    QFETCH(QString, focus);
    QFETCH(QString, title);
    Guided g;
    // The pages as the build tree has them beside the program.
    const QString programFolder = g.h.dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(programFolder));
    QVERIFY(
        QFile::link(QStringLiteral(VORLANE_HELP_SOURCE), programFolder + QStringLiteral("/help")));
    g.guidance->setProgramFolder(programFolder);

    g.h.open(g.h.writeGif(QStringLiteral("a.gif"), 2)); // fields are enabled with frames
    QWidget* inWindow = g.h.find<QWidget>(focus);
    if (!inWindow->isWindow()) {
        g.h.window->show();
        g.h.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(g.h.window.get()));
        inWindow->setFocus();
        g.h.key(QKeySequence(Qt::Key_F1));
    } else {
        // F1 inside a dialog that is up (modally, in the program) asks for its page.
        g.answers[focus] = [](QDialog& d) {
            // As the window system does for a modal dialog (offscreen does not).
            QApplication::setActiveWindow(&d);
            QTest::keyClick(&d, Qt::Key_F1);
        };
        QVERIFY(g.h.choose(
            focus == QLatin1String("Options") ? QStringLiteral("Voir1") : QStringLiteral("Help1"),
            focus == QLatin1String("Options") ? QStringLiteral("Options2")
                                              : QStringLiteral("Manueldepriseenmain1")));
    }
    vorlane::HelpWindow* help = g.guidance->helpWindow();
    QVERIFY(help->isVisible());
    QCOMPARE(help->windowTitle(), title);
    QVERIFY(g.h.fakes.prompts.asked().isEmpty());
    QVERIFY(g.h.fakes.shell.opened().isEmpty());
}

void TestHelpWindow::howToAndAboutFromTheMenu() {
    Guided g;
    g.answers[QStringLiteral("HowForm")] = [](QDialog& d) { click(d, "Button1"); };
    g.answers[QStringLiteral("AboutBox")] = [](QDialog& d) { click(d, "OKButton"); };
    QVERIFY(g.h.choose(QStringLiteral("Help1"), QStringLiteral("Manueldepriseenmain1")));
    QVERIFY(g.h.choose(QStringLiteral("Help1"), QStringLiteral("HelpAboutItem")));
    QCOMPARE(g.shown, (QStringList{QStringLiteral("HowForm"), QStringLiteral("AboutBox")}));
    // Only the start-up's showings count against the how-to dialog's two.
    QCOMPARE(g.h.fakes.settings.readInt(HowKey, QStringLiteral("Dontshow.Tag")), 0);
    QVERIFY(g.guidance->howTo()->dueAtStartUp());
}

void TestHelpWindow::optionsSetTheWelcomePreference_data() {
    QTest::addColumn<bool>("before");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("after");
    QTest::newRow("tick, OK") << false << true << true;
    QTest::newRow("tick, Cancel") << false << false << false;
    QTest::newRow("untick, OK") << true << true << false;
}

void TestHelpWindow::optionsSetTheWelcomePreference() {
    QFETCH(bool, before);
    QFETCH(bool, ok);
    QFETCH(bool, after);
    Guided g;
    g.guidance->welcome()->checkstart()->setChecked(before);
    bool offered = !before;
    g.answers[QStringLiteral("Options")] = [&](QDialog& d) {
        auto* welc = d.findChild<QCheckBox*>(QStringLiteral("welc"));
        offered = welc->isChecked();
        welc->setChecked(!before);
        auto* memory = d.findChild<QSpinBox*>(QStringLiteral("undoMemory"));
        QCOMPARE(memory->value(), 1024); // the default, a gigabyte
        memory->setValue(256);
        click(d, ok ? "Button1" : "Button2");
    };
    g.h.fakes.settings.clearWrites();
    QVERIFY(g.h.choose(QStringLiteral("Voir1"), QStringLiteral("Options2")));
    QCOMPARE(offered, before);
    QCOMPARE(g.guidance->welcome()->checkstart()->isChecked(), after);
    QCOMPARE(g.h.model().historyLimit(), qint64(ok ? 256 : 1024) << 20);
    // The welcome preference is saved whichever button closed it; the undo memory on OK.
    QStringList writes{WelcomeKey + QStringLiteral("|Checkstart.Checked=%1").arg(int(after))};
    if (ok) writes.prepend(vorlane::TMainform::SettingsKey + QStringLiteral("|UndoMemory=256"));
    QCOMPARE(g.h.fakes.settings.writes(), writes);
}

void TestHelpWindow::startUpShowsWelcomeAndHowTo() {
    Guided g;
    const QStringList both{QStringLiteral("welcome"), QStringLiteral("HowForm")};
    for (int start = 1; start <= 3; ++start) {
        g.shown.clear();
        g.startUp();
        QCOMPARE(g.shown, start <= 2 ? both : QStringList{QStringLiteral("welcome")});
        QCOMPARE(g.h.fakes.settings.readInt(HowKey, QStringLiteral("Dontshow.Tag")),
                 qMin(start, 2));
        QCOMPARE(g.h.title(), Untitled);
        g.restart();
    }

    // Switched off in the welcome dialog itself: the next start shows nothing.
    g.answers[QStringLiteral("welcome")] = [](QDialog& d) {
        d.findChild<QCheckBox*>(QStringLiteral("Checkstart"))->setChecked(true);
        click(d, "Button1");
    };
    g.startUp();
    g.restart();
    g.shown.clear();
    g.startUp();
    QVERIFY(g.shown.isEmpty());
    QCOMPARE(g.h.title(), Untitled);
}

void TestHelpWindow::welcomeChoiceRunsItsCommand_data() {
    QTest::addColumn<QString>("radio");
    QTest::addColumn<int>("row"); // the list row to select, -1 for none
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("wizards");
    QTest::addColumn<int>("fileDialogs");

    QTest::newRow("new") << QStringLiteral("newanime") << -1 << true << Untitled << 0 << 0;
    QTest::newRow("wizard") << QStringLiteral("assiste") << -1 << true << Untitled << 1 << 0;
    QTest::newRow("other files") << QStringLiteral("opengif") << 0 << true
                                 << QStringLiteral("chosen.gif - Vorlane Gif") << 0 << 1;
    // F1 is unset, so row 1 shows F2's file; that file is the one opened.
    QTest::newRow("recent row") << QStringLiteral("opengif") << 1 << true
                                << QStringLiteral("second.gif - Vorlane Gif") << 0 << 0;
    QTest::newRow("cancel") << QStringLiteral("assiste") << -1 << false << Untitled << 0 << 0;
}

void TestHelpWindow::welcomeChoiceRunsItsCommand() {
    QFETCH(QString, radio);
    QFETCH(int, row);
    QFETCH(bool, ok);
    QFETCH(QString, title);
    QFETCH(int, wizards);
    QFETCH(int, fileDialogs);
    Guided g;
    g.h.fakes.settings.writeString(Recent, QStringLiteral("F1"), QString());
    g.h.fakes.settings.writeString(Recent, QStringLiteral("F2"),
                                   g.h.writeGif(QStringLiteral("second.gif"), 2));
    g.h.fakes.dialogs.choose(g.h.writeGif(QStringLiteral("chosen.gif"), 2));
    g.answers[QStringLiteral("welcome")] = [&](QDialog& d) {
        d.findChild<QRadioButton*>(radio)->click();
        if (row >= 0) d.findChild<QListWidget*>(QStringLiteral("List"))->setCurrentRow(row);
        click(d, ok ? "Button2" : "Button1");
    };
    g.startUp();
    QCOMPARE(g.h.title(), title);
    QCOMPARE(g.wizards, wizards);
    QCOMPARE(int(g.h.fakes.dialogs.requests().size()), fileDialogs);
    QVERIFY(g.h.fakes.prompts.asked().isEmpty());
}

QTEST_MAIN(TestHelpWindow)
#include "tst_help_window.moc"
