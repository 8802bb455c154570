// SPDX-License-Identifier: GPL-3.0-or-later
// Transition effects as the user meets them: the effect settings dialog (labels, image
// count, panels, the solid colour) and the Effects menu's commands on an animation.

#include <optional>

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "WindowHarness.h"
#include "effects/widgets/AnimationEffects.h"

using vorlane::TEffects;
using vorlane::effects::Effect;
using vorlane::effects::EffectSettings;
using vorlane::test::WindowHarness;

namespace {

// Answers the effect dialog from a script and records which effects asked.
struct FakeEffectDialog : vorlane::effects::EffectDialog {
    std::optional<EffectSettings> answer;
    QList<Effect> asked;
    std::optional<EffectSettings> ask(Effect effect) override {
        asked << effect;
        return answer;
    }
};

QString text(const TEffects& d, const char* name) {
    return d.findChild<QLabel*>(QLatin1String(name))->text();
}

bool panelShown(const TEffects& d, const char* name) {
    return !d.findChild<QFrame*>(QLatin1String(name))->isHidden();
}

} // namespace

class TestEffectsWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void imageCountFollowsTheSliders();
    void panelsPerEffectAndHiddenOnClose();
    void solidColourAndWipeDirectionLast();
    void effectCommandsInTheWindow();
};

void TestEffectsWindow::imageCountFollowsTheSliders() {
    TEffects d;
    QCOMPARE(d.windowTitle(), QStringLiteral("Effect"));
    QCOMPARE(text(d, "Lab1"), QStringLiteral("80 (1/100 Sec)"));
    QCOMPARE(text(d, "Lab2"), QStringLiteral("10 images/s"));
    QCOMPARE(text(d, "number"), QStringLiteral("8"));
    auto* delay = d.findChild<QSlider*>(QStringLiteral("RxSlider1"));
    auto* rate = d.findChild<QSlider*>(QStringLiteral("RxSlider2"));
    delay->setValue(25);
    QCOMPARE(text(d, "number"), QStringLiteral("2"));
    delay->setValue(35);
    QCOMPARE(text(d, "number"), QStringLiteral("4"));
    QCOMPARE(d.settings().count, 4);
    delay->setValue(1);
    rate->setValue(1);
    QCOMPARE(text(d, "Lab1"), QStringLiteral("1 (1/100 Sec)"));
    QCOMPARE(text(d, "Lab2"), QStringLiteral("1 images/s"));
    QCOMPARE(text(d, "number"), QStringLiteral("0"));
    delay->setValue(500); // the slider's range ends at 200, the rate's at 30
    rate->setValue(99);
    QCOMPARE(text(d, "number"), QStringLiteral("60"));
}

void TestEffectsWindow::panelsPerEffectAndHiddenOnClose() {
    TEffects d;
    d.configure(Effect::Scroll);
    QCOMPARE(d.windowTitle(), QStringLiteral("Scroll effect"));
    QCOMPARE(text(d, "Lab"), QStringLiteral("The current image scrolls through a solid color "
                                            "until it reaches the middle."));
    QVERIFY(panelShown(d, "pancombo") && panelShown(d, "pancolor"));
    QVERIFY(!panelShown(d, "Panessuyage"));
    d.reject(); // every close hides the panels
    QVERIFY(!panelShown(d, "pancombo") && !panelShown(d, "pancolor"));
    d.configure(Effect::Wipe);
    QVERIFY(panelShown(d, "Panessuyage") && !panelShown(d, "pancombo"));
    d.accept();
    d.configure(Effect::Fade);
    QCOMPARE(d.windowTitle(), QStringLiteral("Fade effect"));
    QVERIFY(!panelShown(d, "pancombo") && !panelShown(d, "pancolor") &&
            !panelShown(d, "Panessuyage"));

    // Regression: the dialog took the size of the previous effect's panels, so it was
    // centred (and shown) at the wrong size. Its size follows the effect alone.
    const QSize fade = d.size();
    d.configure(Effect::Scroll);
    const QSize scroll = d.size();
    QVERIFY(scroll.height() > fade.height());
    d.reject();
    d.configure(Effect::Fade);
    QCOMPARE(d.size(), fade);
    d.configure(Effect::Scroll);
    QCOMPARE(d.size(), scroll);
}

void TestEffectsWindow::solidColourAndWipeDirectionLast() {
    TEffects d;
    QList<QColor> starts;
    std::optional<QColor> next = QColor(Qt::red);
    d.setColorChooser([&](const QColor& initial) {
        starts << initial;
        return next;
    });
    d.selectClick();
    QCOMPARE(d.settings().color, qRgb(255, 0, 0));
    next.reset(); // Cancel in the colour dialog
    d.selectClick();
    QCOMPARE(d.settings().color, qRgb(255, 0, 0));
    // The colour dialog starts on the colour chosen in it last, black the first time.
    QCOMPARE(starts, (QList<QColor>{Qt::black, Qt::red}));

    // The wipe direction has no choice until the first wipe, which picks the first.
    auto* wipe = d.findChild<QComboBox*>(QStringLiteral("comboessuyage"));
    QCOMPARE(wipe->currentIndex(), -1);
    d.configure(Effect::Wipe);
    QCOMPARE(wipe->currentIndex(), 0);
    wipe->setCurrentIndex(1);
    d.reject();
    d.configure(Effect::Wipe);
    QCOMPARE(d.settings().wipeDirection, 1); // kept across Cancel
    QCOMPARE(d.findChild<QComboBox*>(QStringLiteral("combo"))->currentIndex(), 0);
}

void TestEffectsWindow::effectCommandsInTheWindow() {
    WindowHarness h;
    FakeEffectDialog dialog;
    h.window->setEffectDialog(&dialog);
    h.open(h.writeGif(QStringLiteral("anim.gif"), 3, 20, 10));
    QCOMPARE(h.current(), 0);

    // On the first frame only the scroll is offered.
    QVERIFY(!h.choose(QStringLiteral("Effets"), QStringLiteral("Fondu")));
    QVERIFY(dialog.asked.isEmpty());

    // Cancel in the dialog changes nothing.
    h.window->selectFrame(2);
    QVERIFY(h.choose(QStringLiteral("Effets"), QStringLiteral("Fondu")));
    QCOMPARE(dialog.asked, QList<Effect>{Effect::Fade});
    QCOMPARE(h.model().frameCount(), 3);
    QVERIFY(!h.model().isModified());

    // OK: three separation pictures in front of the current frame, none current after.
    EffectSettings settings;
    settings.count = 3;
    dialog.answer = settings;
    QVERIFY(h.choose(QStringLiteral("Effets"), QStringLiteral("SeparationV")));
    QCOMPARE(h.model().frameCount(), 6);
    QCOMPARE(h.current(), -1);
    QVERIFY(h.model().isModified());
    QCOMPARE(h.panel(2), QStringLiteral("6 image(s)"));
    QVERIFY(h.enabled(QStringLiteral("save")));
    // With no current frame no effect is offered.
    QVERIFY(!h.enabledIn(QStringLiteral("Effets"), QStringLiteral("Defilement")));
}

QTEST_MAIN(TestEffectsWindow)
#include "tst_effects_window.moc"
