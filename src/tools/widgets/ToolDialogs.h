// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The dialogs of the animation tools that take values: Resize, Keep every n-th image,
// Speed and Set delay here, Crop in CropDialog.h, and `TToolDialogs`, which holds one of
// each (made once, so that each keeps its last choices) behind the ToolDialog interface
// the window asks. Every dialog shows the animation as it is and what OK would make of
// it, from the tool's dry run; OK is off while the values do not fit.

#include <functional>
#include <optional>

#include <QDialog>

#include "tools/Operation.h"
#include "tools/ToolDialog.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QVBoxLayout;

namespace vorlane {

class TCropDialog;

// What the tool dialogs share: the form, the lines "Now" and "Result", the choice of
// frames where the tool takes one, OK and Cancel.
class ToolDialogBase : public QDialog {
    Q_OBJECT
public:
    // Fills in what the values depend on (the animation, the selection) without showing
    // the dialog: the first step of asking.
    void configure(const tools::ToolRequest& request);
    // The operation the values make now.
    virtual tools::Operation operation() const = 0;
    // "Result: 240x180, 24 image(s)" (with the playing time where the tool changes it),
    // or why the values do not fit.
    QString resultText() const;
    bool acceptable() const;

protected:
    ToolDialogBase(const QString& name, const QString& title, QWidget* parent);
    // The dialog's own part of configure(), before the result is shown.
    virtual void configured() {}
    // The playing time the operation gives, in hundredths, for the tools that change
    // it; nothing for the others.
    virtual std::optional<qint64> resultLength(const tools::Operation& operation) const;
    // Computes the result line again (after any change of a value).
    void refresh();
    // Adds the choice between all images and the selected ones ("ScopeAll",
    // "ScopeSelected"); the selected ones are chosen whenever there are several.
    void addScope();
    tools::FrameSet scopeFrames() const;
    // The playing time of the animation with each frame's delay as `delayOf` makes it
    // from the frame's index and delay; delays of 0 and 1 play as 10, as in browsers.
    qint64 playingLength(const std::function<int(int index, int delay)>& delayOf) const;

    const tools::ToolRequest& request() const { return m_request; }
    QSize screen() const;
    QFormLayout* form() const { return m_form; }
    // The dialog's rows: the form first, then the result lines and the buttons.
    QVBoxLayout* rows() const { return m_rows; }

private:
    tools::ToolRequest m_request;
    QVBoxLayout* m_rows;
    QFormLayout* m_form;
    QLabel* m_now;
    QLabel* m_result;
    QPushButton* m_ok;
    QRadioButton* m_all = nullptr;
    QRadioButton* m_selected = nullptr;
    bool m_acceptable = false;
};

// Resize: width and height, the aspect lock, a percentage and the filter.
class TResizeDialog : public ToolDialogBase {
    Q_OBJECT
public:
    explicit TResizeDialog(QWidget* parent = nullptr);
    tools::Operation operation() const override;

protected:
    void configured() override;

private:
    void widthChanged(int width);
    void heightChanged(int height);
    void percentChanged(double percent);
    void lockToggled(bool on);
    // Sets the fields without their change handlers running.
    void showSize(QSize size, std::optional<double> percent);

    QSpinBox* m_width;
    QSpinBox* m_height;
    QCheckBox* m_lock;
    QDoubleSpinBox* m_percent;
    QComboBox* m_filter;
};

// Keep every n-th image.
class TKeepEveryDialog : public ToolDialogBase {
    Q_OBJECT
public:
    explicit TKeepEveryDialog(QWidget* parent = nullptr);
    tools::Operation operation() const override;

private:
    QSpinBox* m_n;
};

// Speed, as a percentage of the speed now.
class TSpeedDialog : public ToolDialogBase {
    Q_OBJECT
public:
    explicit TSpeedDialog(QWidget* parent = nullptr);
    tools::Operation operation() const override;

protected:
    std::optional<qint64> resultLength(const tools::Operation& operation) const override;

private:
    QSpinBox* m_percent;
};

// Set delay, of all images or the selected ones.
class TDelayDialog : public ToolDialogBase {
    Q_OBJECT
public:
    explicit TDelayDialog(QWidget* parent = nullptr);
    tools::Operation operation() const override;

protected:
    void configured() override;
    std::optional<qint64> resultLength(const tools::Operation& operation) const override;

private:
    QSpinBox* m_delay;
};

// The five dialogs behind the window's questions.
class TToolDialogs : public tools::ToolDialog {
public:
    // The dialogs are children of `parent`.
    explicit TToolDialogs(QWidget* parent);
    std::optional<tools::Operation> ask(tools::ToolDialogKind kind,
                                        const tools::ToolRequest& request) override;
    ToolDialogBase* dialog(tools::ToolDialogKind kind) const;

private:
    TResizeDialog* m_resize;
    TCropDialog* m_crop;
    TKeepEveryDialog* m_keepEvery;
    TSpeedDialog* m_speed;
    TDelayDialog* m_delay;
};

} // namespace vorlane
