// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/RecoveryDialog.h"

#include <algorithm>
#include <exception>

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "document/DocumentFiles.h"
#include "mainwindow/MainWindow.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {

constexpr int ThumbnailSide = 64;

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString damagedText(const QStringList& names, const QString& folder) {
    QStringList shown;
    for (const QString& name : names)
        shown << (name.isEmpty() ? QStringLiteral("an unnamed animation") : quoted(name));
    const QString where = quoted(QDir::toNativeSeparators(folder));
    if (names.size() == 1)
        return QStringLiteral("A copy of unsaved work could not be read: %1.\nIt was kept in %2.")
            .arg(shown.join(QStringLiteral(", ")), where);
    return QStringLiteral("Copies of unsaved work could not be read: %1.\nThey were kept in %2.")
        .arg(shown.join(QStringLiteral(", ")), where);
}

} // namespace

TRecover::TRecover(RecoveryStore store, Prompts* prompts, std::vector<RecoveryCopy> copies,
                   QWidget* parent)
    : QDialog(parent), m_store(std::move(store)), m_prompts(prompts), m_copies(std::move(copies)) {
    setObjectName(QStringLiteral("RecoverWork"));
    setWindowTitle(Caption);

    auto* intro = new QLabel(
        QStringLiteral("Vorlane Gif did not close normally, and the unsaved work below was "
                       "kept. Recover it to go on where you stopped; Later keeps it for the "
                       "next start."),
        this);
    intro->setObjectName(QStringLiteral("intro"));
    intro->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("copies"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setIconSize(QSize(ThumbnailSide, ThumbnailSide));
    m_list->setHeaderLabels({QStringLiteral("Animation"), QStringLiteral("Folder"),
                             QStringLiteral("Last change"), QStringLiteral("Frames")});
    m_list->setTextElideMode(Qt::ElideMiddle);
    for (const RecoveryCopy& copy : m_copies) {
        auto* row = new QTreeWidgetItem(m_list, rowTexts(copy.info));
        row->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        row->setToolTip(1, QDir::toNativeSeparators(copy.info.path));
        if (!copy.thumbnail.isNull()) {
            // Every row keeps the same height, thumbnail or not, wide or tall.
            QPixmap square(ThumbnailSide, ThumbnailSide);
            square.fill(Qt::transparent);
            const QImage fit = copy.thumbnail.scaled(ThumbnailSide, ThumbnailSide,
                                                     Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QPainter(&square).drawImage((ThumbnailSide - fit.width()) / 2,
                                        (ThumbnailSide - fit.height()) / 2, fit);
            row->setIcon(0, QIcon(square));
        }
    }
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    if (!m_copies.empty()) m_list->setCurrentItem(m_list->topLevelItem(0));

    m_recover = new QPushButton(QStringLiteral("&Recover"), this);
    m_recover->setObjectName(QStringLiteral("recoverButton"));
    m_recover->setDefault(true);
    m_discard = new QPushButton(QStringLiteral("&Discard..."), this);
    m_discard->setObjectName(QStringLiteral("discardButton"));
    auto* later = new QPushButton(QStringLiteral("&Later"), this);
    later->setObjectName(QStringLiteral("laterButton"));
    connect(m_recover, &QPushButton::clicked, this, [this] {
        if (selectedRow() >= 0) accept();
    });
    connect(m_list, &QTreeWidget::itemActivated, this, [this] { m_recover->click(); });
    connect(m_discard, &QPushButton::clicked, this, &TRecover::discardClick);
    connect(later, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &QTreeWidget::currentItemChanged, this, &TRecover::updateButtons);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_discard);
    buttons->addStretch(1);
    buttons->addWidget(m_recover);
    buttons->addWidget(later);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    // Room for up to four rows before the list scrolls.
    resize(640, 200 + (ThumbnailSide + 8) * std::clamp(count(), 1, 4));
    updateButtons();
}

QStringList TRecover::rowTexts(const RecoveryInfo& info) {
    const QString folder = info.path.isEmpty()
                               ? QStringLiteral("(never saved)")
                               : QDir::toNativeSeparators(QFileInfo(info.path).absolutePath());
    return {info.name, folder, QLocale().toString(info.changed.toLocalTime(), QLocale::ShortFormat),
            QString::number(info.frames)};
}

QString TRecover::discardQuestion(const QString& name) {
    return QStringLiteral("Discard the unsaved work in %1?\nIt cannot be recovered afterwards.")
        .arg(quoted(name));
}

int TRecover::selectedRow() const {
    QTreeWidgetItem* item = m_list->currentItem();
    return item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
}

void TRecover::removeRow(int row) {
    if (row < 0 || row >= count()) return;
    delete m_list->takeTopLevelItem(row);
    m_copies.erase(m_copies.begin() + row);
    if (QTreeWidgetItem* next = m_list->topLevelItem(std::min(row, count() - 1)))
        m_list->setCurrentItem(next);
    updateButtons();
}

void TRecover::discardClick() {
    const int row = selectedRow();
    if (row < 0) return;
    if (m_prompts->ask(Prompts::Icon::Warning, Prompts::Buttons::YesNo,
                       discardQuestion(m_copies[size_t(row)].info.name)) != Prompts::Answer::Yes)
        return;
    m_store.remove(m_copies[size_t(row)]);
    removeRow(row);
    // Nothing left to choose from.
    if (count() == 0) reject();
}

void TRecover::updateButtons() {
    const bool chosen = selectedRow() >= 0;
    m_recover->setEnabled(chosen);
    m_discard->setEnabled(chosen);
}

bool offerRecovery(TMainform& window, const Platform& platform,
                   const std::function<int(QDialog&)>& runModal) {
    const QString folder = window.recovery().folder();
    if (folder.isEmpty()) return false;
    const RecoveryStore store(folder);
    RecoveryStore::Scan found = store.collect();
    if (!found.damaged.isEmpty())
        platform.prompts->tell(Prompts::Icon::Warning,
                               damagedText(found.damaged, store.damagedFolder()));
    if (found.copies.empty()) return false;

    TRecover dialog(store, platform.prompts, std::move(found.copies), &window);
    while (dialog.count() > 0 && runModal(dialog) == QDialog::Accepted) {
        const int row = dialog.selectedRow();
        if (row < 0) continue;
        RecoveryCopy& copy = dialog.copy(row);
        try {
            if (!window.files().recover(copy)) continue; // the reading was cancelled
        } catch (const std::exception& e) {
            // A damaged copy is kept aside; the others are still offered.
            platform.prompts->tell(
                Prompts::Icon::Warning,
                QStringLiteral("The copy of %1 could not be read: %2\nIt was kept in %3.")
                    .arg(quoted(copy.info.name), QString::fromUtf8(e.what()),
                         quoted(QDir::toNativeSeparators(store.damagedFolder()))));
            store.setAside(copy);
            dialog.removeRow(row);
            continue;
        }
        window.recovery().adopt(std::move(copy));
        return true;
    }
    // What was not recovered stays for a later start; its locks go with the dialog.
    return false;
}

} // namespace vorlane
