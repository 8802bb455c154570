// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a whole: start-up, the hint, the settings it keeps, the status bar, the
// View menu and the side sections, the File menu with its recent items and commands, New
// and quitting with their questions, and shortcuts honouring their items' enabled states.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <qpa/qwindowsysteminterface.h>

#include "WindowHarness.h"
#include "mainwindow/HeaderBar.h"
#include "mainwindow/SidePanel.h"
#include "mainwindow/ThumbnailStrip.h"
#include "mainwindow/Widgets.h"

using vorlane::Prompts;
using vorlane::TMainform;
using vorlane::test::WindowHarness;

namespace {
const QString Recent = QStringLiteral("\\Software\\Vorlane Gif\\Recent");
const QString NewQuestion = QStringLiteral(
    "Do you want to save changes made to current animation \"%1\" before creating new animation?");
const QString QuitQuestion = QStringLiteral(
    "You have not saved the changes.\nDo you want to save current file before to quit?");
} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void componentsCarryTheirNames();
    void emptyDocumentAfterStart();
    void openedDocumentShowsItsState();
    void progressBarDuringLoading();
    void startUpWithACommandLineFile();
    void startUpWelcomeChoices_data();
    void startUpWelcomeChoices();
    void hintShownAtMostThreeTimes();
    void viewSettingsSurviveARestart();
    void toolbarsToggle();
    void sectionsCollapseAndExpand();
    void headerBarsShareTheGradient();
    void fileMenuRecentItems();
    void fileMenuEnabling();
    void recentItemOpens();
    void newAsksAndEmpties();
    void newCancelledKeepsEverything();
    void quitQuestion_data();
    void quitQuestion();
    void failedSaveStopsNew();
    void shortcutsHonourEnabledStates();
    void commentBoxAndSaveButton();
    void menusAndStripFromKeyboardAndWheel();
    void longCommentsOpenQuickly();
    void numberFieldsTakeEveryDigit_data();
    void numberFieldsTakeEveryDigit();
};

void TestWindow::componentsCarryTheirNames() {
    WindowHarness h;
    const auto names = [](const char* list) {
        return QString::fromLatin1(list).split(QLatin1Char(' '));
    };
    for (const QString& name :
         names("MenuToolBar ToolBar1 tbNew ToolButton1 save play stop cut copy past ToolButton4 "
               "Loopsb rateb comb Panel2 Box gif Image sc pnlFrames Panel12 headframesimage "
               "ToolBar2 addbtn sup Panel1 PB1 P1 PN1 PNL1 PB4 P4 PN4 PNL4 ImageScroll "
               "SidePanel pnlloop Headloop headloopimage Headbacklab C1 O1 infini fini NumLoops "
               "pnlRate Panel5 Headrateimage headratelab C2 O2 Period pnlComments Panel7 "
               "Headcommentsimage headcommentslab C3 O3 Gifcomment pnlVisual Panel10 "
               "headcontrolimage Label27 SpeedBar PlayBtn StopBtn Rewindbtn Backbtn Nextbtn "
               "Forwardbtn Slider StatusBar"))
        QVERIFY2(h.find<QObject>(name), qPrintable(name));
    for (const QString& name :
         names("File1 Edit1 Voir1 Imagesdelanimations1 Animation1 Afficher1 Effets Help1"))
        QVERIFY2(h.find<QMenu>(name), qPrintable(name));
    QStringList captions;
    for (auto* button :
         h.find<QToolBar>(QStringLiteral("MenuToolBar"))->findChildren<QToolButton*>())
        if (button->menu()) captions << QString(button->text()).remove(QLatin1Char('&'));
    QCOMPARE(captions, QStringList({QStringLiteral("File"), QStringLiteral("Edit"),
                                    QStringLiteral("View"), QStringLiteral("Image"),
                                    QStringLiteral("Animation"), QStringLiteral("Control"),
                                    QStringLiteral("Effects"), QStringLiteral("Help")}));
    for (const QString& name :
         names("FileNewItem FileOpenItem save1 save2 eos retablir ajouter inserer enregistrercadre "
               "Assistantnouvelleanimation1 M1 M4 N4 FileExitItem CutItem CopyItem Paste ins "
               "Enajoutantlimage1 Del Tools State showloop showrate showcomment Options2 add1 "
               "insert sup2 moveitem arriere avant methode Dup jouer arreter next back "
               "Defilement Remplacement Essuyage Fondu sep SeparationV SeparationH "
               "Rubriquesdaide1 Manueldepriseenmain1 Visiterlesiteweb1 Contacterlauteur1 "
               "Envoyerunemail1 HelpAboutItem"))
        QVERIFY2(h.item(name), qPrintable(name));
    QCOMPARE(h.item(QStringLiteral("State"))->text(), QStringLiteral("Satus bar"));
    QCOMPARE(h.item(QStringLiteral("save1"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
    // "Help topics" is listed (the help window exists in every language); "Cut" is not,
    // its key works.
    QVERIFY(h.find<QMenu>(QStringLiteral("Help1"))
                ->actions()
                .contains(h.item(QStringLiteral("Rubriquesdaide1"))));
    QVERIFY(!h.find<QMenu>(QStringLiteral("Edit1"))
                 ->actions()
                 .contains(h.item(QStringLiteral("CutItem"))));
}

void TestWindow::emptyDocumentAfterStart() {
    WindowHarness h;
    QCOMPARE(h.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
    QCOMPARE(h.panel(0), QStringLiteral("To get help, press F1"));
    QCOMPARE(h.panel(2), QStringLiteral("Aucune image"));
    QCOMPARE(h.panel(3), QString());
    QCOMPARE(h.panel(4), QString());
    for (const char* off : {"save", "play", "stop", "cut", "copy", "sup", "past"})
        QVERIFY2(!h.enabled(QLatin1String(off)), off);
    QVERIFY(h.enabled(QStringLiteral("addbtn")));
    QCOMPARE(h.speedBar(), QStringLiteral("000000"));
    QCOMPARE(h.badges(), QStringLiteral("- - - -"));
    QVERIFY(h.frameViewShown());
    QVERIFY(!h.animationViewShown());
    for (const char* field : {"infini", "fini", "NumLoops", "Period", "Gifcomment"})
        QVERIFY2(!h.enabled(QLatin1String(field)), field);
    QVERIFY(h.find<QRadioButton>(QStringLiteral("infini"))->isChecked());
    QCOMPARE(h.find<QWidget>(QStringLiteral("sc"))->pos(), QPoint(0, 0));
}

void TestWindow::openedDocumentShowsItsState() {
    WindowHarness h;
    h.fakes.clock.setStep(125);
    h.open(h.writeGif(QStringLiteral("anim.gif"), 12, 32, 24, 0, "hello"));
    QCOMPARE(h.title(), QStringLiteral("anim.gif - Vorlane Gif"));
    QCOMPARE(h.panel(2), QStringLiteral("12 image(s)"));
    QCOMPARE(h.panel(3), QStringLiteral("Animation 32x24"));
    QCOMPARE(h.panel(4), QStringLiteral("Loaded in %1 s").arg(QLocale().toString(0.125)));
    QCOMPARE(h.panel(0), QStringLiteral("To get help, press F1"));
    QVERIFY(!h.enabled(QStringLiteral("save")));
    QVERIFY(h.enabled(QStringLiteral("play")));
    QVERIFY(!h.enabled(QStringLiteral("stop")));
    for (const char* on : {"cut", "copy", "past", "sup", "addbtn"})
        QVERIFY2(h.enabled(QLatin1String(on)), on);
    QCOMPARE(h.speedBar(), QStringLiteral("100011"));
    QCOMPARE(h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"))->toPlainText(),
             QStringLiteral("hello"));
    QCOMPARE(h.find<QWidget>(QStringLiteral("sc"))->pos(), QPoint(32, 24));
    QCOMPARE(h.sliderMaximum(), 11);
    QVERIFY(h.find<QWidget>(QStringLiteral("Panel2"))->hasFocus());
}

void TestWindow::progressBarDuringLoading() {
    WindowHarness h;
    const QString path = h.writeGif(QStringLiteral("anim.gif"), 40, 64, 64);
    QProgressBar* bar = h.window->progressBar();
    QList<int> shown;
    QStringList texts;
    connect(&h.window->files(), &vorlane::DocumentFiles::progress, bar,
            [&](vorlane::gif::Stage stage, int percent) {
        if (stage != vorlane::gif::Stage::Ending && percent >= 0) {
            QVERIFY(!bar->isHidden());
            shown << bar->value();
            texts << h.panel(0);
        }
    });
    h.open(path);
    QVERIFY(!shown.isEmpty());
    QVERIFY(texts.contains(QStringLiteral("Loading...")));
    // At the end the bar goes and the help hint returns.
    QVERIFY(bar->isHidden());
    QCOMPARE(h.panel(0), QStringLiteral("To get help, press F1"));
}

void TestWindow::startUpWithACommandLineFile() {
    WindowHarness h;
    const QString path = h.writeGif(QStringLiteral("cmd.gif"), 3);
    int welcomes = 0;
    int howTos = 0;
    vorlane::StartupDialogs dialogs;
    dialogs.showWelcome = [&] {
        ++welcomes;
        return std::optional<vorlane::WelcomeChoice>();
    };
    dialogs.showHowToIfDue = [&] { ++howTos; };
    h.window->startUp({path}, dialogs);
    QCOMPARE(h.title(), QStringLiteral("cmd.gif - Vorlane Gif"));
    QCOMPARE(h.panel(2), QStringLiteral("3 image(s)"));
    QCOMPARE(welcomes, 0); // the named file stays
    QCOMPARE(howTos, 1);
    QVERIFY(h.window->hintTimer().isActive());
    QCOMPARE(h.window->hintTimer().interval(), 1500);

    // A missing file is reported and start-up goes on with the empty animation.
    WindowHarness missing;
    missing.fakes.prompts.expect(QStringLiteral("File does not exist"), Prompts::Answer::Ok);
    missing.window->startUp({missing.dir.filePath(QStringLiteral("gone.gif"))});
    QCOMPARE(missing.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
    QVERIFY(missing.window->hintTimer().isActive());
}

// The welcome choices as the dialog makes them run end to end with the help window's
// tests; these are the choices it cannot make: an open without a list row, and a row
// whose recent slot no longer exists.
void TestWindow::startUpWelcomeChoices_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("dialogs");
    QTest::newRow("no row") << -1 << QStringLiteral("chosen.gif - Vorlane Gif") << 1;
    QTest::newRow("row beyond the list") << 7 << QStringLiteral("Untitled.gif - Vorlane Gif") << 0;
}

void TestWindow::startUpWelcomeChoices() {
    QFETCH(int, row);
    QFETCH(QString, title);
    QFETCH(int, dialogs);
    WindowHarness h;
    h.fakes.settings.writeString(Recent, QStringLiteral("F2"),
                                 h.writeGif(QStringLiteral("second.gif"), 2));
    h.fakes.dialogs.choose(h.writeGif(QStringLiteral("chosen.gif"), 2));
    vorlane::StartupDialogs hooks;
    hooks.showWelcome = [&]() -> std::optional<vorlane::WelcomeChoice> {
        return vorlane::WelcomeChoice{vorlane::WelcomeChoice::Kind::OpenExisting, row};
    };
    h.window->startUp({}, hooks);
    QCOMPARE(h.title(), title);
    QCOMPARE(int(h.fakes.dialogs.requests().size()), dialogs);
}

void TestWindow::hintShownAtMostThreeTimes() {
    WindowHarness h;
    for (int run = 0; run < 4; ++run) {
        auto* balloon = h.find<vorlane::BalloonHint>(QStringLiteral("bh"));
        QVERIFY(balloon);
        h.window->startHintTimer();
        QVERIFY(h.window->hintTimer().isSingleShot());
        QCOMPARE(h.window->hintTimer().interval(), 1500);
        h.window->Timer1Timer(); // the tick
        QVERIFY(!h.window->hintTimer().isActive());
        QCOMPARE(balloon->isVisible(), run < 3);
        if (run < 3) QCOMPARE(balloon->text(), QStringLiteral("Click this button to add images"));
        QCOMPARE(h.window->hintCounter(), run + 1);
        balloon->hide();
        h.window->close(); // the counter is kept with the window's settings
        h.restart();
    }
    QCOMPARE(h.fakes.settings.readInt(TMainform::SettingsKey, QStringLiteral("addbtn.Tag")), 4);

    // A window that is not active shows nothing and does not count.
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::setActiveWindow(&other);
    QTRY_VERIFY(!h.window->isActiveWindow());
    const int before = h.window->hintCounter();
    h.window->Timer1Timer();
    QCOMPARE(h.window->hintCounter(), before);
}

void TestWindow::viewSettingsSurviveARestart() {
    WindowHarness h;
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("State")));
    QVERIFY(h.find<QStatusBar>(QStringLiteral("StatusBar"))->isHidden());
    h.window->setGeometry(40, 50, 900, 700);
    h.window->close();
    h.restart();
    QCOMPARE(h.window->geometry(), QRect(40, 50, 900, 700));
    QVERIFY(h.find<QStatusBar>(QStringLiteral("StatusBar"))->isHidden());
    QVERIFY(h.enabledIn(QStringLiteral("Voir1"), QStringLiteral("State")));
    QVERIFY(!h.item(QStringLiteral("State"))->isChecked());
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("State")));
    QVERIFY(!h.find<QStatusBar>(QStringLiteral("StatusBar"))->isHidden());
}

void TestWindow::toolbarsToggle() {
    WindowHarness h;
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("Tools")));
    QVERIFY(h.find<QToolBar>(QStringLiteral("ToolBar1"))->isHidden());
    QVERIFY(!h.find<QToolBar>(QStringLiteral("MenuToolBar"))->isHidden());
    QVERIFY(h.enabledIn(QStringLiteral("Voir1"), QStringLiteral("Tools")));
    QVERIFY(!h.item(QStringLiteral("Tools"))->isChecked());
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("Tools")));
    QVERIFY(!h.find<QToolBar>(QStringLiteral("ToolBar1"))->isHidden());
    // The row's visibility is not kept: a restart shows it.
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("Tools")));
    h.window->close();
    h.restart();
    QVERIFY(!h.find<QToolBar>(QStringLiteral("ToolBar1"))->isHidden());
}

void TestWindow::sectionsCollapseAndExpand() {
    WindowHarness h;
    QWidget* loop = h.find<QWidget>(QStringLiteral("pnlloop"));
    QWidget* rate = h.find<QWidget>(QStringLiteral("pnlRate"));
    QCoreApplication::processEvents();
    const int rateTop = rate->y();
    QCOMPARE(loop->height(), 101);

    QTest::mouseClick(h.find<QWidget>(QStringLiteral("Headbacklab")), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(loop->height(), 16);
    QCOMPARE(rate->y(), rateTop - 85);
    QVERIFY(h.find<QWidget>(QStringLiteral("C1"))->isHidden());
    QVERIFY(!h.find<QWidget>(QStringLiteral("O1"))->isHidden());
    QVERIFY(!h.find<QToolButton>(QStringLiteral("Loopsb"))->isChecked());

    QTest::mouseClick(h.find<QWidget>(QStringLiteral("Headbacklab")), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(loop->height(), 101);
    QCOMPARE(rate->y(), rateTop);
    QVERIFY(!h.find<QWidget>(QStringLiteral("C1"))->isHidden());

    // The arrows: collapse, then expand.
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("C3")), Qt::LeftButton);
    QCOMPARE(h.find<QWidget>(QStringLiteral("pnlComments"))->height(), 16);
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("O3")), Qt::LeftButton);
    QCOMPARE(h.find<QWidget>(QStringLiteral("pnlComments"))->height(), 97);

    // The View menu toggles and shows the state.
    QVERIFY(h.choose(QStringLiteral("Voir1"), QStringLiteral("showrate")));
    QCOMPARE(rate->height(), 16);
    QVERIFY(h.enabledIn(QStringLiteral("Voir1"), QStringLiteral("showrate")));
    QVERIFY(!h.item(QStringLiteral("showrate"))->isChecked());
    QVERIFY(h.item(QStringLiteral("showloop"))->isChecked());
    QVERIFY(h.item(QStringLiteral("showcomment"))->isChecked());
    // The Control section has no collapse.
    QTest::mouseClick(h.find<QWidget>(QStringLiteral("Label27")), Qt::LeftButton);
    QCOMPARE(h.find<QWidget>(QStringLiteral("pnlVisual"))->height(), 117);
}

void TestWindow::headerBarsShareTheGradient() {
    WindowHarness h;
    const QColor face = h.window->palette().color(QPalette::Button);
    for (const char* name : {"headloopimage", "Headrateimage", "Headcommentsimage",
                             "headcontrolimage", "headframesimage"}) {
        const QImage picture = h.find<QLabel>(QLatin1String(name))->pixmap().toImage();
        QCOMPARE(picture.size(), QSize(2000, 16));
        QCOMPARE(QColor(picture.pixel(0, 0)), QColor(191, 219, 255));
        QCOMPARE(QColor(picture.pixel(1999, 15)), face);
    }
    auto* caption = h.find<QLabel>(QStringLiteral("Headbacklab"));
    QCOMPARE(caption->text(), QStringLiteral("Loop"));
    QVERIFY(caption->font().bold());
    QCOMPARE(caption->palette().color(QPalette::WindowText), QColor(21, 74, 147));
}

void TestWindow::fileMenuRecentItems() {
    WindowHarness h;
    auto& settings = h.fakes.settings;
    QVERIFY(h.enabledIn(QStringLiteral("File1"), QStringLiteral("FileExitItem")));
    for (int i = 1; i <= 4; ++i)
        QVERIFY(!h.item(QStringLiteral("M%1").arg(i))->isVisible());
    QVERIFY(!h.item(QStringLiteral("N4"))->isVisible());

    settings.writeString(Recent, QStringLiteral("F1"), QStringLiteral("/home/u/pics/a.gif"));
    h.enabledIn(QStringLiteral("File1"), QStringLiteral("M1"));
    QVERIFY(h.item(QStringLiteral("M1"))->isVisible());
    QCOMPARE(h.item(QStringLiteral("M1"))->text(), QStringLiteral("&1 a.gif"));
    QVERIFY(!h.item(QStringLiteral("M2"))->isVisible());
    QVERIFY(h.item(QStringLiteral("N4"))->isVisible());

    // Entry i always stands in slot i.
    settings.writeString(Recent, QStringLiteral("F1"), QString());
    settings.writeString(Recent, QStringLiteral("F2"), QStringLiteral("/x/b&w.gif"));
    h.enabledIn(QStringLiteral("File1"), QStringLiteral("M2"));
    QVERIFY(!h.item(QStringLiteral("M1"))->isVisible());
    QVERIFY(h.item(QStringLiteral("M2"))->isVisible());
    QCOMPARE(h.item(QStringLiteral("M2"))->text(), QStringLiteral("&2 b&&w.gif"));
    QVERIFY(h.item(QStringLiteral("N4"))->isVisible());
}

void TestWindow::fileMenuEnabling() {
    WindowHarness h;
    auto state = [&h] {
        QString s;
        for (const char* name :
             {"save1", "save2", "eos", "retablir", "ajouter", "inserer", "enregistrercadre"})
            s += h.enabledIn(QStringLiteral("File1"), QLatin1String(name)) ? QLatin1Char('1')
                                                                           : QLatin1Char('0');
        return s;
    };
    QCOMPARE(state(), QStringLiteral("0000000"));
    h.open(h.writeGif(QStringLiteral("anim.gif"), 3));
    QCOMPARE(state(), QStringLiteral("0110111"));
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    QCOMPARE(state(), QStringLiteral("1111111"));
    QVERIFY(h.click(QStringLiteral("play")));
    QCOMPARE(state(), QStringLiteral("1111000"));
}

void TestWindow::recentItemOpens() {
    WindowHarness h;
    const QString path = h.writeGif(QStringLiteral("recent.gif"), 2);
    h.fakes.settings.writeString(Recent, QStringLiteral("F3"), path);
    QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("M3")));
    QCOMPARE(h.title(), QStringLiteral("recent.gif - Vorlane Gif"));
    QCOMPARE(h.fakes.settings.readString(Recent, QStringLiteral("F1")), path);
    QVERIFY(h.fakes.dialogs.requests().isEmpty());
}

void TestWindow::newAsksAndEmpties() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 6));
    h.window->strip()->gauge()->setValue(2);
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    QVERIFY(h.enabled(QStringLiteral("save")));

    h.fakes.prompts.expect(NewQuestion.arg(QStringLiteral("anim.gif")), Prompts::Answer::No);
    QVERIFY(h.click(QStringLiteral("tbNew")));
    QCOMPARE(h.fakes.prompts.asked().size(), 1);
    QCOMPARE(h.title(), QStringLiteral("Untitled.gif - Vorlane Gif"));
    QCOMPARE(h.panel(2), QStringLiteral("Aucune image"));
    QCOMPARE(h.panel(3), QString());
    QCOMPARE(h.panel(4), QString());
    QCOMPARE(h.badges(), QStringLiteral("- - - -"));
    QVERIFY(!h.gaugeEnabled());
    for (const char* off : {"save", "play", "stop", "cut", "copy", "sup"})
        QVERIFY2(!h.enabled(QLatin1String(off)), off);
    QVERIFY(h.enabled(QStringLiteral("addbtn")));
    QVERIFY(h.find<QRadioButton>(QStringLiteral("infini"))->isChecked());
    QCOMPARE(h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"))->toPlainText(), QString());
    QCOMPARE(h.speedBar(), QStringLiteral("000000"));
}

void TestWindow::newCancelledKeepsEverything() {
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 6));
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    h.fakes.prompts.answer(Prompts::Answer::Cancel);
    h.key(QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(h.fakes.prompts.asked().size(), 1);
    QCOMPARE(h.title(), QStringLiteral("anim.gif - Vorlane Gif"));
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 4"));
    QVERIFY(h.enabled(QStringLiteral("save")));
}

void TestWindow::quitQuestion_data() {
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("closes");
    QTest::newRow("menu, cancel") << true << int(Prompts::Answer::Cancel) << false;
    QTest::newRow("menu, no") << true << int(Prompts::Answer::No) << true;
    QTest::newRow("close box, cancel") << false << int(Prompts::Answer::Cancel) << false;
    QTest::newRow("close box, no") << false << int(Prompts::Answer::No) << true;
}

void TestWindow::quitQuestion() {
    QFETCH(bool, viaMenu);
    QFETCH(int, answer);
    QFETCH(bool, closes);
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 3));
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    h.fakes.prompts.expect(QuitQuestion, Prompts::Answer(answer));
    if (viaMenu)
        QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("FileExitItem")));
    else
        h.window->close();
    QCOMPARE(h.window->isVisible(), !closes);
    QCOMPARE(h.fakes.prompts.asked().size(), 1);
    QCOMPARE(h.model().frameCount(), 3);
    QCOMPARE(h.model().isModified(), true);
}

// Every answer to the question before New and quitting, a failed save included, is
// decided by the document; here the window keeps showing the animation that was kept.
void TestWindow::failedSaveStopsNew() {
    WindowHarness h;
    QDir(h.dir.path()).mkdir(QStringLiteral("gone"));
    const QString path = h.writeGif(QStringLiteral("gone/anim.gif"), 3);
    h.open(path);
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    // The folder disappears: Save cannot write the file.
    QVERIFY(QDir(h.dir.filePath(QStringLiteral("gone"))).removeRecursively());

    h.fakes.prompts.expect(NewQuestion.arg(QStringLiteral("anim.gif")), Prompts::Answer::Yes);
    h.fakes.prompts.answer(Prompts::Answer::Ok); // the report of the failure
    QVERIFY(h.click(QStringLiteral("tbNew")));
    QCOMPARE(h.fakes.prompts.asked().size(), 2);
    QCOMPARE(h.title(), QStringLiteral("anim.gif - Vorlane Gif"));
    QCOMPARE(h.badges(), QStringLiteral("1 2 3 -"));
    QVERIFY(h.enabled(QStringLiteral("save")));
}

void TestWindow::shortcutsHonourEnabledStates() {
    WindowHarness h;
    h.window->activateWindow();
    QApplication::setActiveWindow(h.window.get());
    QTRY_VERIFY(h.window->isActiveWindow());

    // Ctrl+S without changes writes nothing: no dialog is asked for.
    h.key(QKeySequence(QStringLiteral("Ctrl+S")));
    QVERIFY(h.fakes.dialogs.requests().isEmpty());
    // Ctrl+O opens the open dialog (cancelled here).
    h.fakes.dialogs.cancel();
    h.key(QKeySequence(QStringLiteral("Ctrl+O")));
    QCOMPARE(h.fakes.dialogs.requests().size(), 1);

    // The hidden Cut item's key acts by the cut flag; F2 (Image > Add...) by the view.
    QSignalSpy cuts(h.item(QStringLiteral("CutItem")), &QAction::triggered);
    QSignalSpy adds(h.item(QStringLiteral("add1")), &QAction::triggered);
    QSignalSpy forwards(h.item(QStringLiteral("avant")), &QAction::triggered);
    h.key(QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(cuts.count(), 0); // "closed": cut is off
    h.fakes.dialogs.cancel();
    h.key(QKeySequence(Qt::Key_F2));
    QCOMPARE(adds.count(), 1); // the frame view is shown, no frame needed

    h.open(h.writeGif(QStringLiteral("anim.gif"), 4, 8, 6, 0, "note"));
    h.key(QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(cuts.count(), 1);
    // In the comment box the editing keys edit the text; they do not cut frames.
    auto* comment = h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"));
    comment->setFocus();
    comment->selectAll();
    QTest::keyClick(comment, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(cuts.count(), 1);
    QCOMPARE(comment->toPlainText(), QString());
    // Move forward through its submenu: not on the last frame.
    h.key(QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    QCOMPARE(forwards.count(), 1);
    QVERIFY(h.click(QStringLiteral("Forwardbtn")));
    h.key(QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    QCOMPARE(forwards.count(), 1);

    QVERIFY(h.click(QStringLiteral("play")));
    h.key(QKeySequence(Qt::Key_F2));
    h.key(QKeySequence(QStringLiteral("Ctrl+X")));
    QCOMPARE(adds.count(), 1);
    QCOMPARE(cuts.count(), 1);

    // A modified document saves with Ctrl+S, in place.
    QVERIFY(h.click(QStringLiteral("StopBtn")));
    QTest::mouseClick(h.find<QRadioButton>(QStringLiteral("fini")), Qt::LeftButton);
    h.key(QKeySequence(QStringLiteral("Ctrl+S")));
    QVERIFY(!h.model().isModified());
    QVERIFY(!h.enabled(QStringLiteral("save")));
}

void TestWindow::commentBoxAndSaveButton() {
    WindowHarness h;
    // A new animation's comment is an edit too (it was lost at Quit before any file had
    // been opened).
    h.fakes.dialogs.choose(h.writeGif(QStringLiteral("pic.gif"), 1));
    QVERIFY(h.click(QStringLiteral("addbtn"))); // Add to a new animation
    h.model().markSaved();
    QTest::keyClicks(h.find<QPlainTextEdit>(QStringLiteral("Gifcomment")), QStringLiteral("x"));
    QVERIFY(h.enabled(QStringLiteral("save")));
    h.model().markSaved();

    h.open(h.writeGif(QStringLiteral("anim.gif"), 2, 8, 6, 0, "first"));
    auto* comment = h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"));
    QCOMPARE(comment->toPlainText(), QStringLiteral("first"));
    QVERIFY(!h.enabled(QStringLiteral("save")));
    comment->moveCursor(QTextCursor::End);
    QTest::keyClicks(comment, QStringLiteral(" line"));
    QVERIFY(h.enabled(QStringLiteral("save")));
    QVERIFY(h.click(QStringLiteral("save")));
    QVERIFY(!h.enabled(QStringLiteral("save")));
    // Reopening shows the saved comment.
    h.open(h.dir.filePath(QStringLiteral("anim.gif")));
    QCOMPARE(comment->toPlainText(), QStringLiteral("first line"));
}

void TestWindow::menusAndStripFromKeyboardAndWheel() {
    // Regression: the menu row could not be reached from the keyboard, and the wheel
    // over the thumbnails did nothing.
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("ten.gif"), 10));
    // The wheel as the window system delivers it, over the second thumbnail.
    auto* slot = h.find<QWidget>(QStringLiteral("P2"));
    const auto wheel = [&](int delta) {
        const QPoint at = slot->mapTo(h.window.get(), slot->rect().center());
        QWindowSystemInterface::handleWheelEvent(h.window->windowHandle(), at,
                                                 h.window->mapToGlobal(at), QPoint(),
                                                 QPoint(0, delta));
        QWindowSystemInterface::flushWindowSystemEvents();
    };
    wheel(-240);
    QCOMPARE(h.gauge(), 2);
    wheel(120);
    QCOMPARE(h.gauge(), 1);

    h.key(QKeySequence(Qt::Key_F10));
    auto* file = h.find<QMenu>(QStringLiteral("File1"));
    QTRY_VERIFY(file->isVisible());
    QTest::keyClick(file, Qt::Key_Right);
    auto* edit = h.find<QMenu>(QStringLiteral("Edit1"));
    QTRY_VERIFY(edit->isVisible());
    QVERIFY(!file->isVisible());
    QTest::keyClick(edit, Qt::Key_Left);
    QTRY_VERIFY(file->isVisible());
    QTest::keyClick(file, Qt::Key_Left); // round to the last menu
    auto* help = h.find<QMenu>(QStringLiteral("Help1"));
    QTRY_VERIFY(help->isVisible());
    help->close();
    // Every menu has an access key of its own.
    QSet<QChar> keys;
    for (auto* button :
         h.find<QToolBar>(QStringLiteral("MenuToolBar"))->findChildren<QToolButton*>()) {
        if (!button->menu()) continue;
        const qsizetype amp = button->text().indexOf(QLatin1Char('&'));
        QVERIFY2(amp >= 0, qPrintable(button->text()));
        keys.insert(button->text().at(amp + 1).toLower());
    }
    QCOMPARE(keys.size(), 8);

}

void TestWindow::longCommentsOpenQuickly() {
    // Regression: one long line took the comment box time that grew with the square of
    // its length (79 s at 1 MB). A long line is wrapped anywhere; a comment too long for
    // the box is kept as it is, not shown, until the user types a new one.
    WindowHarness h;
    auto* box = h.find<QPlainTextEdit>(QStringLiteral("Gifcomment"));
    h.open(h.writeGif(QStringLiteral("line.gif"), 2, 8, 6, 0, std::string(100000, 'x')));
    QCOMPARE(box->toPlainText().size(), 100000);
    QCOMPARE(box->wordWrapMode(), QTextOption::WrapAnywhere);

    const QString path = h.writeGif(QStringLiteral("huge.gif"), 2, 8, 6, 0, std::string(3 << 20, 'y'));
    h.open(path);
    vorlane::AnimationModel& doc = h.model();
    QCOMPARE(doc.comment().size(), 3 << 20);
    QVERIFY(box->toPlainText().isEmpty());
    QVERIFY(box->placeholderText().contains(QStringLiteral("too long to show")));
    QVERIFY(!doc.isModified());
    doc.pushUnchanged(QStringLiteral("Edit"));
    QVERIFY(h.click(QStringLiteral("save")));
    vorlane::gif::GifImage saved;
    saved.load(path);
    size_t kept = 0;
    for (const auto& record : saved.frame(0).extensions)
        if (record->isComment()) kept += record->text().size();
    QCOMPARE(kept, size_t(3 << 20));

    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("short"));
    QCOMPARE(doc.comment(), QStringLiteral("short"));
    QVERIFY(doc.isModified());
    // A later file with a comment of ordinary length shows it again.
    h.fakes.prompts.answer(Prompts::Answer::No);
    h.open(h.writeGif(QStringLiteral("plain.gif"), 2, 8, 6, 0, "plain words"));
    QCOMPARE(box->toPlainText(), QStringLiteral("plain words"));
    QCOMPARE(box->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

void TestWindow::numberFieldsTakeEveryDigit_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored"); // the frame's delay or the loop count
    // Regression: the fields dropped the keystroke that went beyond their maximum
    // (70000 stored 7000); such numbers become the maximum, visibly.
    QTest::newRow("delay in range") << "Period" << "4464" << 4464;
    QTest::newRow("delay above") << "Period" << "70000" << 65535;
    QTest::newRow("delay far above") << "Period" << "99999999" << 65535;
    QTest::newRow("delay beyond any int") << "Period" << "99999999999999999999" << 65535;
    QTest::newRow("count above") << "NumLoops" << "65536" << 65535;
    QTest::newRow("count in range") << "NumLoops" << "12345" << 12345;
}

void TestWindow::numberFieldsTakeEveryDigit() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, stored);
    WindowHarness h;
    h.open(h.writeGif(QStringLiteral("anim.gif"), 2, 8, 6, 3));
    auto* spin = h.find<QSpinBox>(field);
    QVERIFY(spin->isEnabled());
    spin->setFocus();
    spin->selectAll();
    QTest::keyClicks(spin, typed);
    QCOMPARE(spin->text(), QString::number(stored));
    vorlane::AnimationModel& doc = h.model();
    if (field == QLatin1String("Period"))
        QCOMPARE(int(doc.frame(0).graphicControl()->delay), stored);
    else
        QCOMPARE(doc.loop().count, stored);

    // Five digits fit in the count field, which keeps clear of the caption's words.
    auto* count = h.find<QSpinBox>(QStringLiteral("NumLoops"));
    auto* fini = h.find<vorlane::GapRadioButton>(QStringLiteral("fini"));
    QVERIFY(count->width() >= count->sizeHint().width());
    QCOMPARE(fini->text(), QStringLiteral("Stop after              iterations"));
    const int wordStart = fini->x() + fini->width() -
                          fini->fontMetrics().horizontalAdvance(QStringLiteral("iterations"));
    QVERIFY(count->geometry().left() > fini->x() + fini->gapLeft());
    QVERIFY(count->geometry().right() < wordStart);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
