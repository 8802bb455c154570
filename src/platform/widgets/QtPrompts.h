// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/Prompts.h"

namespace vorlane {

// Questions as modal message boxes titled "Vorlane Gif", over `parent` when given.
class QtPrompts : public Prompts {
public:
    explicit QtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    Answer ask(Icon icon, Buttons buttons, const QString& text) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace vorlane
