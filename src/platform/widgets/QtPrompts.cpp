// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/widgets/QtPrompts.h"

#include <QMessageBox>

namespace vorlane {

namespace {
QMessageBox::Icon boxIcon(Prompts::Icon icon) {
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::Confirmation:
        return QMessageBox::Question;
    case Prompts::Icon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(Prompts::Buttons buttons) {
    switch (buttons) {
    case Prompts::Buttons::Ok:
        return QMessageBox::Ok;
    case Prompts::Buttons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Prompts::Buttons::YesCancel:
        return QMessageBox::Yes | QMessageBox::Cancel;
    case Prompts::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// The answer of a box closed without a choice (Escape or the close box).
QMessageBox::StandardButton escapeButton(QMessageBox::StandardButtons buttons) {
    if (buttons & QMessageBox::Cancel) return QMessageBox::Cancel;
    if (buttons & QMessageBox::No) return QMessageBox::No;
    return QMessageBox::Ok;
}
} // namespace

Prompts::Answer QtPrompts::ask(Icon icon, Buttons buttons, const QString& text) {
    const QMessageBox::StandardButtons set = boxButtons(buttons);
    QMessageBox box(boxIcon(icon), QStringLiteral("Vorlane Gif"), text, set, m_parent);
    box.setEscapeButton(escapeButton(set));
    box.setDefaultButton(buttons == Buttons::Ok ? QMessageBox::Ok : QMessageBox::Yes);
    box.exec();
    // Where no window manager hands the focus back, the window would stay without it and
    // its shortcuts would go nowhere.
    if (m_parent) m_parent->window()->activateWindow();
    QAbstractButton* clicked = box.clickedButton();
    const QMessageBox::StandardButton chosen =
        clicked ? box.standardButton(clicked) : escapeButton(set);
    switch (chosen) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

} // namespace vorlane
