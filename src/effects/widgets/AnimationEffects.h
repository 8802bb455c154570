// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The effect settings dialog `TEffects` (form `Effects`): a description, the parameter
// panels an effect uses (direction, wipe direction, solid colour), and the effect delay
// and image rate from which the image count follows. Made once and kept: the settings
// hold their last values, whether the dialog was left with OK or Cancel.

#include <functional>
#include <optional>

#include <QColor>
#include <QDialog>

#include "effects/EffectDialog.h"

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;

namespace vorlane {

class TEffects : public QDialog, public effects::EffectDialog {
    Q_OBJECT
public:
    // The colour dialog: starts on `initial`, returns the chosen colour or nothing on
    // Cancel. Replaced in tests.
    using ColorChooser = std::function<std::optional<QColor>(const QColor& initial)>;

    explicit TEffects(QWidget* parent = nullptr);

    std::optional<effects::EffectSettings> ask(effects::Effect effect) override;
    // Sets title, description and panels for `effect` without showing the dialog (the
    // first step of `ask`).
    void configure(effects::Effect effect);
    // The settings the controls hold now.
    effects::EffectSettings settings() const;
    void setColorChooser(ColorChooser chooser) { m_chooseColor = std::move(chooser); }

    // `selectClick`: the "Solid color..." button.
    void selectClick();

protected:
    void showEvent(QShowEvent* event) override;
    // Every close, OK or Cancel, hides the three parameter panels.
    void done(int result) override;

private:
    void RxSlider1Change(int value);
    void RxSlider2Change(int value);
    void updateCount();
    void setSwatch(const QColor& color);

    QLabel* m_description;
    QFrame* m_directionPanel;
    QComboBox* m_direction;
    QFrame* m_wipePanel;
    QComboBox* m_wipeDirection;
    QFrame* m_colorPanel;
    QFrame* m_swatchFrame;
    QFrame* m_swatch;
    QSlider* m_delay;
    QLabel* m_delayLabel;
    QSlider* m_rate;
    QLabel* m_rateLabel;
    QLabel* m_count;
    QPushButton* m_ok;
    QColor m_color = Qt::white;
    // The colour dialog starts on the colour chosen in it last, black at first.
    QColor m_lastChosen = Qt::black;
    ColorChooser m_chooseColor;
};

} // namespace vorlane
