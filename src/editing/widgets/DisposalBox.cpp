// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/widgets/DisposalBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vorlane {

TDispo::TDispo(QWidget* parent) : QDialog(parent), m_list(new QComboBox(this)) {
    setObjectName(QStringLiteral("Dispo"));
    setWindowTitle(QStringLiteral("Image disposal"));
    auto* label = new QLabel(QStringLiteral("Disposal method:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    label->setBuddy(m_list);
    m_list->setObjectName(QStringLiteral("disCombo"));
    m_list->addItems({QStringLiteral("No disposal"), QStringLiteral("Fill with background color"),
                      QStringLiteral("Previous image")});
    m_list->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_list);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(260, 120)));
}

std::optional<int> TDispo::choose(int item) {
    if (item >= 0 && item < m_list->count()) m_list->setCurrentIndex(item);
    m_list->setFocus();
    if (exec() != QDialog::Accepted) return std::nullopt;
    return m_list->currentIndex();
}

} // namespace vorlane
