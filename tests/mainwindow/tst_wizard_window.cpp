// SPDX-License-Identifier: GPL-3.0-or-later
// The new-animation wizard as the user meets it: its pages and buttons, the file list,
// Cancel, and a finished run showing the new animation in the window.

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include "WindowHarness.h"
#include "dialogs/Wizard.h"
#include "editing/FrameCommands.h"

using vorlane::Prompts;
using vorlane::Tassform;
using vorlane::test::WindowHarness;

namespace {

struct WizardHarness : WindowHarness {
    Tassform wizard{window->files(), window->animation(), fakes.platform(),
                    window->commands().pictureImport(), window.get()};

    template <typename T = QPushButton> T* w(const char* name) {
        return wizard.findChild<T*>(QLatin1String(name));
    }
    QString next() { return w("Suiv")->text(); }
    // Adds a picture through "Add image...".
    void add(const char* name) {
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(qRgb(10, 20, 30));
        const QString path = dir.filePath(QLatin1String(name));
        image.save(path);
        fakes.dialogs.choose(path);
        w("Button2")->click();
    }
    QStringList entries() {
        QStringList all;
        for (int i = 0; i < w<QListWidget>("Liste")->count(); ++i)
            all << w<QListWidget>("Liste")->item(i)->text();
        return all;
    }
};

} // namespace

class TestWizardWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pagesAndButtons();
    void fileList();
    void cancelAsksAndReopeningStartsAfresh();
    void finishedRunShowsTheAnimation();
    void menuItemRunsTheWizard();
};

void TestWizardWindow::pagesAndButtons() {
    WizardHarness h;
    h.wizard.show();
    QCOMPARE(h.wizard.windowTitle(), QStringLiteral("Assistant nouvelle animation"));
    QCOMPARE(h.wizard.page(), 0);
    QCOMPARE(h.w<QLineEdit>("Nom")->text(), QStringLiteral("Animation1"));
    QVERIFY(!h.w("Pre")->isEnabled());

    // A name of blanks is refused; "< Previous" is enabled all the same and does nothing.
    h.w<QLineEdit>("Nom")->setText(QStringLiteral("   "));
    h.fakes.prompts.expect(Tassform::NameMissing, Prompts::Answer::Ok);
    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 0);
    QVERIFY(h.w("Pre")->isEnabled());
    h.w("Pre")->click();
    QCOMPARE(h.wizard.page(), 0);

    h.w<QLineEdit>("Nom")->setText(QStringLiteral("x"));
    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 1);
    QVERIFY(h.w<QRadioButton>("Inf")->isChecked());
    QVERIFY(!h.w<QSpinBox>("lops")->isEnabled());
    h.w<QRadioButton>("NoInf")->click();
    QVERIFY(h.w<QSpinBox>("lops")->isEnabled());
    QCOMPARE(h.w<QSpinBox>("period")->value(), 60);

    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 2);
    h.fakes.prompts.expect(Tassform::ListEmpty, Prompts::Answer::Ok);
    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 2);
    h.add("a.png");
    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 3);
    QCOMPARE(h.next(), QStringLiteral("&Terminer"));
    QVERIFY(h.w<QLabel>("lab")->isHidden() && h.w<QProgressBar>("Pr")->isHidden());
    h.w("Pre")->click();
    QCOMPARE(h.wizard.page(), 2);
    QCOMPARE(h.next(), QStringLiteral("Next >"));
    h.w("Pre")->click();
    h.w("Pre")->click();
    QCOMPARE(h.wizard.page(), 0);
    QVERIFY(!h.w("Pre")->isEnabled());
}

void TestWizardWindow::fileList() {
    WizardHarness h;
    h.wizard.show();
    h.w("Suiv")->click();
    h.w("Suiv")->click();
    h.add("a.png");
    h.add("b.png");
    h.add("c.png");
    QCOMPARE(h.entries().join(u' '), QStringLiteral("a.png b.png c.png"));
    QCOMPARE(h.wizard.paths().at(1), h.dir.filePath(QStringLiteral("b.png")));

    // The second entry moves up and stays selected, in both lists.
    h.w<QListWidget>("Liste")->setCurrentRow(1);
    QVERIFY(h.w("UP")->isEnabled() && h.w("Down")->isEnabled() && h.w("Sup")->isEnabled());
    h.w("UP")->click();
    QCOMPARE(h.entries().join(u' '), QStringLiteral("b.png a.png c.png"));
    QCOMPARE(h.wizard.paths().first(), h.dir.filePath(QStringLiteral("b.png")));
    QCOMPARE(h.w<QListWidget>("Liste")->currentRow(), 0);
    QVERIFY(!h.w("UP")->isEnabled() && h.w("Down")->isEnabled());

    // Removing every entry disables "Next >" and "&Remove image".
    for (int i = 0; i < 3; ++i) {
        h.w<QListWidget>("Liste")->setCurrentRow(0);
        h.w("Sup")->click();
    }
    QVERIFY(h.wizard.paths().isEmpty());
    QVERIFY(!h.w("Suiv")->isEnabled() && !h.w("Sup")->isEnabled());
    QVERIFY(!h.w("UP")->isEnabled() && !h.w("Down")->isEnabled());
    // Regression: going back then left "Next >" disabled, with no way forward but Cancel.
    h.w("Pre")->click();
    QVERIFY(h.w("Suiv")->isEnabled());
    h.w("Suiv")->click();
    QCOMPARE(h.wizard.page(), 2);
    h.add("d.png");
    QVERIFY(h.w("Suiv")->isEnabled());
}

void TestWizardWindow::cancelAsksAndReopeningStartsAfresh() {
    WizardHarness h;
    h.wizard.show();
    h.w<QLineEdit>("Nom")->setText(QStringLiteral("other"));
    h.w("Suiv")->click();
    h.w<QSpinBox>("period")->setValue(25);
    h.fakes.prompts.expect(Tassform::CancelQuestion, Prompts::Answer::No);
    h.w("Cancel")->click();
    QVERIFY(h.wizard.isVisible());
    h.fakes.prompts.expect(Tassform::CancelQuestion, Prompts::Answer::Yes);
    QTest::keyClick(&h.wizard, Qt::Key_Escape); // Esc asks as Cancel does
    QVERIFY(!h.wizard.isVisible());
    QCOMPARE(h.fakes.prompts.asked().last().icon, Prompts::Icon::Confirmation);

    h.wizard.show();
    QCOMPARE(h.wizard.page(), 0);
    QCOMPARE(h.w<QLineEdit>("Nom")->text(), QStringLiteral("Animation1"));
    QVERIFY(h.w("Suiv")->isEnabled());
    QCOMPARE(h.next(), QStringLiteral("Next >"));
    QCOMPARE(h.w<QSpinBox>("period")->value(), 25); // kept from the last use
    QCOMPARE(h.model().frameCount(), 0);
}

void TestWizardWindow::finishedRunShowsTheAnimation() {
    WizardHarness h;
    h.wizard.show();
    h.w<QLineEdit>("Nom")->setText(QStringLiteral("Sunrise"));
    h.w("Suiv")->click();
    h.w<QRadioButton>("NoInf")->click();
    h.w<QSpinBox>("lops")->setValue(5);
    h.w("Suiv")->click();
    h.add("a.png");
    h.add("b.png");
    h.w("Suiv")->click();
    h.w("Suiv")->click(); // "&Terminer"
    QVERIFY(!h.wizard.isVisible());
    QCOMPARE(h.title(), QStringLiteral("Sunrise - Vorlane Gif"));
    QCOMPARE(h.panel(2), QStringLiteral("2 image(s)"));
    QCOMPARE(h.current(), 0);
    QCOMPARE(h.highlightedSlot(), 1);
    QVERIFY(h.find<QRadioButton>(QStringLiteral("fini"))->isChecked());
    QCOMPARE(h.find<QSpinBox>(QStringLiteral("NumLoops"))->value(), 5);
    QVERIFY(h.enabled(QStringLiteral("save")));
    QVERIFY(h.enabled(QStringLiteral("play")));
}

void TestWizardWindow::menuItemRunsTheWizard() {
    WindowHarness h;
    int runs = 0;
    h.window->setWizardRunner([&] { ++runs; });
    QVERIFY(h.choose(QStringLiteral("File1"), QStringLiteral("Assistantnouvelleanimation1")));
    QCOMPARE(runs, 1);
}

QTEST_MAIN(TestWizardWindow)
#include "tst_wizard_window.moc"
