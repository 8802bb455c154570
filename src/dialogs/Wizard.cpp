// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/Wizard.h"

#include <QApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStyle>
#include <QVBoxLayout>

#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/DocumentFiles.h"
#include "editing/NewAnimation.h"
#include "formats/PictureImport.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {

const QString NextCaption = QStringLiteral("Next >");
const QString FinishCaption = QStringLiteral("&Terminer");
// The loop count field stands in the blank part of this caption.
const QString TimesCaption = QStringLiteral("Play it                                times.");

QLabel* text(const QString& s, QWidget* parent) {
    auto* label = new QLabel(s, parent);
    label->setWordWrap(true);
    return label;
}

QPushButton* button(const QString& caption, const char* name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QWidget* newPage(const char* name) {
    auto* p = new QWidget;
    p->setObjectName(QLatin1String(name));
    return p;
}

} // namespace

Tassform::Tassform(DocumentFiles& files, AnimationModel& animation, const Platform& platform,
                   const formats::PictureImport& import, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_files(files),
      m_animation(animation), m_platform(platform), m_import(import) {
    setObjectName(QStringLiteral("assform"));
    setWindowTitle(Caption);

    // Left: a white band with the program's picture.
    auto* band = new QLabel(this);
    band->setObjectName(QStringLiteral("Image1"));
    band->setAutoFillBackground(true);
    QPalette white = band->palette();
    white.setColor(QPalette::Window, Qt::white);
    band->setPalette(white);
    band->setFixedWidth(140);
    band->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    band->setContentsMargins(0, 24, 0, 0);
    band->setPixmap(QIcon(QStringLiteral(":/icons/app.svg")).pixmap(96, 96));

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl1"));

    // P1: the name.
    QWidget* p1 = newPage("P1");
    m_name = new QLineEdit(p1);
    m_name->setObjectName(QStringLiteral("Nom"));
    auto* l1 = new QVBoxLayout(p1);
    l1->addWidget(text(QStringLiteral("This wizard helps you to create gif animations by "
                                      "guiding you throughout the process."),
                       p1));
    l1->addSpacing(16);
    l1->addWidget(text(QStringLiteral("What is the name of the new animation?"), p1));
    l1->addWidget(m_name);
    l1->addStretch(1);

    // P2: loop and delay.
    QWidget* p2 = newPage("P2");
    m_forever = new QRadioButton(QStringLiteral("Yes, repeat indefinitely."), p2);
    m_forever->setObjectName(QStringLiteral("Inf"));
    m_times = new QRadioButton(TimesCaption, p2);
    m_times->setObjectName(QStringLiteral("NoInf"));
    m_loops = new QSpinBox(m_times);
    m_loops->setObjectName(QStringLiteral("lops"));
    // The record holds 16 bits: a larger count would be written as another number.
    m_loops->setRange(1, 0xFFFF);
    m_loops->setValue(1);
    {
        // Place the count field in the caption's gap, after the indicator and "Play it ".
        const int indicator = m_times->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                              m_times->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
        const QFontMetrics metrics(m_times->font());
        const int x = indicator + metrics.horizontalAdvance(QStringLiteral("Play it  "));
        const int gap = metrics.horizontalAdvance(QString(30, QLatin1Char(' ')));
        m_times->setMinimumHeight(m_loops->sizeHint().height());
        m_loops->setGeometry(x, 0, std::max(gap, 60), m_loops->sizeHint().height());
    }
    m_delay = new QSpinBox(p2);
    m_delay->setObjectName(QStringLiteral("period"));
    m_delay->setRange(1, 0xFFFF); // a frame's delay holds 16 bits
    m_delay->setSingleStep(10);
    m_delay->setValue(60);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(text(QStringLiteral("Delay:"), p2));
    delayRow->addWidget(m_delay);
    delayRow->addStretch(1);
    auto* l2 = new QVBoxLayout(p2);
    l2->addWidget(text(QStringLiteral("Do you want the animation iteration to loop?"), p2));
    l2->addWidget(m_forever);
    l2->addWidget(m_times);
    l2->addSpacing(16);
    l2->addWidget(text(QStringLiteral("What should be the delay of each image of the animation "
                                      "(in 1/100s of second) ?"),
                       p2));
    l2->addLayout(delayRow);
    l2->addStretch(1);
    connect(m_forever, &QRadioButton::clicked, this, [this] { m_loops->setEnabled(false); });
    connect(m_times, &QRadioButton::clicked, this, [this] { m_loops->setEnabled(true); });

    // P3: the list of files.
    QWidget* p3 = newPage("P3");
    m_list = new QListWidget(p3);
    m_list->setObjectName(QStringLiteral("Liste"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* add = button(QStringLiteral("Add image..."), "Button2", p3);
    m_remove = button(QStringLiteral("&Remove image"), "Sup", p3);
    m_up = button(QStringLiteral("&Up"), "UP", p3);
    m_down = button(QStringLiteral("Down"), "Down", p3);
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b : {add, m_remove, m_up, m_down})
        listButtons->addWidget(b);
    listButtons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_list, 1);
    listRow->addLayout(listButtons);
    auto* l3 = new QVBoxLayout(p3);
    l3->addWidget(text(QStringLiteral("Specify the images to include into the animation by "
                                      "adding them to the list below :"),
                       p3));
    l3->addLayout(listRow, 1);
    connect(add, &QPushButton::clicked, this, &Tassform::Button2Click);
    connect(m_remove, &QPushButton::clicked, this, &Tassform::SupClick);
    connect(m_up, &QPushButton::clicked, this, &Tassform::UPClick);
    connect(m_down, &QPushButton::clicked, this, &Tassform::DownClick);
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { ListeClick(); });

    // P4: the creation.
    QWidget* p4 = newPage("P4");
    m_creating = text(QStringLiteral("Creating the new animation..."), p4);
    m_creating->setObjectName(QStringLiteral("lab"));
    m_progress = new QProgressBar(p4);
    m_progress->setObjectName(QStringLiteral("Pr"));
    m_progress->setTextVisible(false);
    auto* l4 = new QVBoxLayout(p4);
    l4->addWidget(
        text(QStringLiteral("Animation wizard is now ready to create the new animation."), p4));
    l4->addWidget(text(QStringLiteral("Click the Finish button to launch the process."), p4));
    l4->addWidget(text(QStringLiteral("(Creation of the animation can take a few moments, please "
                                      "wait)."),
                       p4));
    l4->addSpacing(16);
    l4->addWidget(m_creating);
    l4->addWidget(m_progress);
    l4->addStretch(1);

    for (QWidget* p : {p1, p2, p3, p4})
        m_pages->addWidget(p);

    m_previous = button(QStringLiteral("< Previous"), "Pre", this);
    m_next = button(NextCaption, "Suiv", this);
    m_next->setDefault(true);
    auto* cancel = button(QStringLiteral("Cancel"), "Cancel", this);
    connect(m_previous, &QPushButton::clicked, this, &Tassform::PreClick);
    connect(m_next, &QPushButton::clicked, this, &Tassform::SuivClick);
    connect(cancel, &QPushButton::clicked, this, &Tassform::CancelClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_previous);
    buttons->addWidget(m_next);
    buttons->addSpacing(12);
    buttons->addWidget(cancel);

    auto* right = new QVBoxLayout;
    right->addWidget(m_pages, 1);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 12, 12);
    layout->addWidget(band);
    layout->addLayout(right, 1);
    setFixedSize(560, 360);
}

int Tassform::page() const {
    return m_pages->currentIndex();
}

void Tassform::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (parentWidget()) // centred on the main window
        move(parentWidget()->window()->frameGeometry().center() - rect().center());
    goTo(0);
    m_previous->setEnabled(false);
    m_next->setEnabled(true);
    m_name->setText(QStringLiteral("Animation1"));
    m_name->setFocus();
    m_forever->setChecked(true);
    m_loops->setEnabled(false);
    m_list->clear();
    m_paths.clear();
    m_up->setEnabled(false);
    m_down->setEnabled(false);
    m_progress->setValue(0);
    m_progress->hide();
    m_creating->hide();
}

void Tassform::hideEvent(QHideEvent* event) {
    m_next->setText(NextCaption);
    m_previous->setEnabled(false);
    QDialog::hideEvent(event);
}

void Tassform::reject() {
    CancelClick();
}

void Tassform::goTo(int index) {
    m_pages->setCurrentIndex(index);
    if (index == 2) ListeClick(); // P3Show
}

void Tassform::SuivClick() {
    // Commit a value still being typed in a field.
    if (QWidget* focused = QApplication::focusWidget(); focused && isAncestorOf(focused))
        m_next->setFocus();
    m_loops->interpretText();
    m_delay->interpretText();
    switch (page()) {
    case 0:
        m_previous->setEnabled(true);
        if (m_name->text().trimmed().isEmpty()) {
            m_platform.prompts->tell(Prompts::Icon::Information, NameMissing);
            return;
        }
        goTo(1);
        return;
    case 1:
        m_previous->setEnabled(true);
        goTo(2);
        m_next->setText(NextCaption);
        return;
    case 2:
        if (m_list->count() == 0) {
            m_platform.prompts->tell(Prompts::Icon::Information, ListEmpty);
            return;
        }
        m_previous->setEnabled(true);
        goTo(3);
        m_next->setText(FinishCaption);
        return;
    default:
        if (create()) QDialog::accept();
    }
}

void Tassform::PreClick() {
    // "Next >" is off only on the list page while the list is empty; the pages before it
    // always lead back to the list.
    m_next->setEnabled(true);
    switch (page()) {
    case 1:
        m_previous->setEnabled(false);
        goTo(0);
        return;
    case 2:
    case 3:
        goTo(page() - 1);
        m_next->setText(NextCaption);
        return;
    default:
        return;
    }
}

void Tassform::CancelClick() {
    // While the animation is being made, Cancel (or Esc) stops that, without a question.
    if (m_creatingNow) {
        if (m_work) m_work->cancel();
        return;
    }
    if (m_platform.prompts->ask(Prompts::Icon::Confirmation, Prompts::Buttons::YesNo,
                                CancelQuestion) == Prompts::Answer::Yes)
        QDialog::reject();
}

void Tassform::Button2Click() {
    FileDialogs::OpenRequest request;
    request.filter = m_import.dialogFilter();
    if (!m_paths.isEmpty()) request.initialFile = m_paths.last();
    const std::optional<QString> file = m_platform.dialogs->openPicture(request);
    if (!file) return;
    m_list->addItem(QFileInfo(*file).fileName());
    m_paths << *file;
    m_next->setEnabled(true);
    updateupdown();
}

void Tassform::SupClick() {
    const int row = m_list->currentRow();
    if (row < 0) return;
    delete m_list->takeItem(row);
    m_paths.removeAt(row);
    if (m_list->count() == 0) {
        m_remove->setEnabled(false);
        m_next->setEnabled(false);
    }
    updateupdown();
}

void Tassform::UPClick() {
    moveEntry(-1);
}

void Tassform::DownClick() {
    moveEntry(1);
}

void Tassform::moveEntry(int step) {
    const int row = m_list->currentRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= m_list->count()) return;
    QListWidgetItem* item = m_list->takeItem(row);
    m_list->insertItem(other, item);
    m_paths.swapItemsAt(row, other);
    m_list->setCurrentRow(other);
    updateupdown();
}

void Tassform::updateupdown() {
    const int row = m_list->currentRow();
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row < m_list->count() - 1);
}

void Tassform::ListeClick() {
    const int row = m_list->currentRow();
    const bool selected = m_list->count() > 0 && row >= 0;
    m_remove->setEnabled(selected);
    if (selected) updateupdown();
}

bool Tassform::create() {
    NewAnimationRequest request;
    request.name = m_name->text();
    request.files = m_paths;
    for (int i = 0; i < m_list->count(); ++i)
        request.names << m_list->item(i)->text();
    request.loopForever = m_forever->isChecked();
    request.loops = m_loops->value();
    request.delay = m_delay->value();

    NewAnimation creation(m_files, m_animation, m_platform, m_import);
    creation.work = m_work;
    m_creatingNow = true;
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    const auto done = qScopeGuard([this] {
        m_creatingNow = false;
        m_previous->setEnabled(true);
        m_next->setEnabled(true);
    });
    creation.onFile = [this](int index) {
        if (index == 0) {
            m_progress->setRange(0, 3 * int(m_paths.size()));
            m_creating->show();
            m_progress->show();
            repaint();
        }
        m_progress->setValue(3 * (index + 1));
    };
    if (creation.run(request)) return true;
    // The unsaved changes were kept: stay on the last page, nothing was built.
    m_creating->hide();
    m_progress->hide();
    return false;
}

} // namespace vorlane
