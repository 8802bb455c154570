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
    auto* recoveryRow = new QHBoxLayout;
    auto* recoveryLabel = new QLabel(QStringLiteral("Recovery copy every:"), preferences);
    m_recoverySeconds = new QSpinBox(preferences);
    m_recoverySeconds->setObjectName(QStringLiteral("recoverySeconds"));
    m_recoverySeconds->setRange(0, 3600);
    m_recoverySeconds->setSingleStep(10);
    m_recoverySeconds->setSuffix(QStringLiteral(" s"));
    m_recoverySeconds->setSpecialValueText(QStringLiteral("Off"));
    m_recoverySeconds->setToolTip(
        QStringLiteral("While the animation has unsaved changes, a copy of it is kept at most "
                       "this often, so that the work survives a crash; Off keeps none."));
    recoveryLabel->setBuddy(m_recoverySeconds);
    recoveryRow->addWidget(recoveryLabel);
    recoveryRow->addWidget(m_recoverySeconds);
    recoveryRow->addStretch(1);
    auto* page = new QVBoxLayout(preferences);
    page->addWidget(m_welc);
    page->addLayout(memoryRow);
    page->addLayout(recoveryRow);
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
    fixToContent(this, QSize(340, 210));
}

} // namespace vorlane
