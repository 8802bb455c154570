// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/OptionsBox.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "dialogs/FixedDialog.h"

namespace vorlane {

TOptions::TOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));
    useFixedDialogFrame(this);

    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* preferences = new QWidget(pages);
    preferences->setObjectName(QStringLiteral("TabSheet1"));
    m_welc = new QCheckBox(QStringLiteral("Don't show the welcome box at startup"), preferences);
    m_welc->setObjectName(QStringLiteral("welc"));
    auto* memoryRow = new QHBoxLayout;
    auto* memoryLabel = new QLabel(QStringLiteral("Memory for undo:"), preferences);
    m_undoMemory = new QSpinBox(preferences);
    m_undoMemory->setObjectName(QStringLiteral("undoMemory"));
    m_undoMemory->setRange(16, 65536);
    m_undoMemory->setSingleStep(64);
    m_undoMemory->setSuffix(QStringLiteral(" MB"));
    m_undoMemory->setToolTip(QStringLiteral(
        "How much memory the undo history may keep for pictures no longer in the animation; "
        "beyond it the oldest steps are forgotten."));
    memoryLabel->setBuddy(m_undoMemory);
    memoryRow->addWidget(memoryLabel);
    memoryRow->addWidget(m_undoMemory);
    memoryRow->addStretch(1);
    auto* page = new QVBoxLayout(preferences);
    page->addWidget(m_welc);
    page->addLayout(memoryRow);
    page->addStretch(1);
    pages->addTab(preferences, QStringLiteral("Preferences"));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("Button1"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("Button2"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addLayout(buttons);
    fixToContent(this, QSize(340, 180));
}

} // namespace vorlane
