// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/WelcomeActions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/FixedDialog.h"
#include "document/RecentFiles.h"
#include "platform/SettingsStore.h"

namespace vorlane {

namespace {
QLabel* groupPicture(const QString& resource, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(QIcon(resource).pixmap(48, 48));
    label->setFixedSize(52, 52);
    label->setAlignment(Qt::AlignCenter);
    return label;
}
} // namespace

Twelcome::Twelcome(SettingsStore* settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("welcome"));
    setWindowTitle(QStringLiteral("Welcome"));
    useFixedDialogFrame(this);

    auto* create = new QGroupBox(QStringLiteral("Create new animation "), this);
    create->setObjectName(QStringLiteral("GroupBox1"));
    m_newanime = new QRadioButton(QStringLiteral("New Gif animation"), create);
    m_newanime->setObjectName(QStringLiteral("newanime"));
    m_assiste = new QRadioButton(QStringLiteral("Animation wizard"), create);
    m_assiste->setObjectName(QStringLiteral("assiste"));
    auto* createRadios = new QVBoxLayout;
    createRadios->addWidget(m_newanime);
    createRadios->addWidget(m_assiste);
    createRadios->addStretch(1);
    auto* createLayout = new QHBoxLayout(create);
    createLayout->addWidget(groupPicture(QStringLiteral(":/icons/new.svg"), create), 0,
                            Qt::AlignTop);
    createLayout->addLayout(createRadios, 1);

    auto* open = new QGroupBox(QStringLiteral("Animation wizard "), this);
    open->setObjectName(QStringLiteral("GroupBox2"));
    m_opengif = new QRadioButton(QStringLiteral("Open existing animation"), open);
    m_opengif->setObjectName(QStringLiteral("opengif"));
    m_list = new QListWidget(open);
    m_list->setObjectName(QStringLiteral("List"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFixedHeight(96);
    m_list->addItem(OtherFiles);
    m_list->setEnabled(false);
    auto* openRight = new QVBoxLayout;
    openRight->addWidget(m_opengif);
    openRight->addWidget(m_list);
    auto* openLayout = new QHBoxLayout(open);
    openLayout->addWidget(groupPicture(QStringLiteral(":/icons/open.svg"), open), 0, Qt::AlignTop);
    openLayout->addLayout(openRight, 1);

    // The radios sit in two groups; one button group keeps the three exclusive.
    m_choices = new QButtonGroup(this);
    m_choices->addButton(m_newanime);
    m_choices->addButton(m_assiste);
    m_choices->addButton(m_opengif);
    m_newanime->setChecked(true);
    connect(m_choices, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool on) {
        if (on) choiceChanged();
    });

    m_checkstart = new QCheckBox(QStringLiteral("Don't show this box at startup"), this);
    m_checkstart->setObjectName(QStringLiteral("Checkstart"));
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("Button2"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("Button1"));
    connect(ok, &QPushButton::clicked, this, &Twelcome::Button2Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // The list is enabled only with "Open existing animation", so a double click there
    // always answers that choice.
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { Button2Click(); });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_checkstart);
    bottom->addStretch(1);
    bottom->addWidget(ok);
    bottom->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(create);
    layout->addWidget(open);
    layout->addLayout(bottom);
    fixToContent(this, QSize(400, 0));

    readSettings();
}

void Twelcome::readSettings() {
    // A missing value leaves the box as it is (unticked on a fresh installation).
    if (m_settings && m_settings->contains(SettingsKey, CheckstartValue))
        m_checkstart->setChecked(m_settings->readInt(SettingsKey, CheckstartValue) != 0);
}

void Twelcome::writeSettings() {
    if (!m_settings) return;
    m_settings->writeInt(SettingsKey, CheckstartValue, m_checkstart->isChecked() ? 1 : 0);
    m_settings->sync();
}

bool Twelcome::startupSuppressed() const {
    return m_checkstart->isChecked();
}

void Twelcome::FormShow() {
    // Filled afresh at each showing, so the rows always match the entries they open.
    m_list->clear();
    m_list->addItem(OtherFiles);
    m_rowEntries.assign(1, 0);
    for (int entry = 1; entry <= 4; ++entry) {
        const QString file = m_settings ? m_settings->readString(RecentFiles::Key,
                                                                 QStringLiteral("F%1").arg(entry))
                                        : QString();
        if (file.isEmpty()) continue;
        m_list->addItem(QFileInfo(file).fileName());
        m_rowEntries.push_back(entry);
    }
    if (m_opengif->isChecked()) m_list->setCurrentRow(0);
}

void Twelcome::choiceChanged() {
    const bool open = m_opengif->isChecked();
    m_list->setEnabled(open);
    if (open && !m_list->currentItem()) m_list->setCurrentRow(0);
}

void Twelcome::Button2Click() {
    if (m_newanime->isChecked()) Q_EMIT hintRequested();
    accept();
}

WelcomeChoice Twelcome::choice() const {
    if (m_assiste->isChecked()) return {WelcomeChoice::Kind::Wizard, -1};
    if (!m_opengif->isChecked()) return {WelcomeChoice::Kind::NewAnimation, -1};
    const int row = m_list->currentItem() ? m_list->currentRow() : -1;
    const int entry = row >= 0 && row < int(m_rowEntries.size()) ? m_rowEntries[size_t(row)] : row;
    return {WelcomeChoice::Kind::OpenExisting, entry};
}

void Twelcome::done(int result) {
    // The tick of "Don't show this box at startup" counts from the next start on.
    writeSettings();
    QDialog::done(result);
}

} // namespace vorlane
