// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/SmallTuto.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/FixedDialog.h"
#include "platform/SettingsStore.h"

namespace vorlane {

namespace {
constexpr int TextWidth = 500;

QLabel* heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(true);
    label->setFont(font);
    return label;
}

QLabel* paragraph(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setFixedWidth(TextWidth);
    label->setContentsMargins(16, 0, 0, 6);
    return label;
}
} // namespace

THowForm::THowForm(SettingsStore* settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("HowForm"));
    setWindowTitle(QStringLiteral("How to create Gifs"));
    useFixedDialogFrame(this);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    auto* band = new QLabel(
        QStringLiteral("Steps to follow for creating animated gifs with Vorlane Gif"), this);
    band->setObjectName(QStringLiteral("Title"));
    band->setAutoFillBackground(true);
    QPalette bandColours = band->palette();
    bandColours.setColor(QPalette::Window, QColor(191, 219, 255));
    bandColours.setColor(QPalette::WindowText, Qt::white);
    band->setPalette(bandColours);
    QFont bandFont = band->font();
    bandFont.setBold(true);
    bandFont.setPointSizeF(bandFont.pointSizeF() * 1.2);
    band->setFont(bandFont);
    band->setContentsMargins(12, 10, 12, 10);

    const QString quote = QStringLiteral("\"");
    m_dontshow = new QCheckBox(QStringLiteral("Dont show this box again"), this);
    m_dontshow->setObjectName(QStringLiteral("Dontshow"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Button1"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &THowForm::Button1Click);

    auto* steps = new QVBoxLayout;
    steps->setContentsMargins(14, 10, 14, 4);
    steps->addWidget(
        heading(QStringLiteral("1. Prepare images that will compose the animation"), this));
    steps->addWidget(
        paragraph(QStringLiteral("The first step is to create the images that will constitute the "
                                 "animation by using your graphic editor (ex. Paint).\n"
                                 "These images should present a succession."),
                  this));
    steps->addWidget(heading(QStringLiteral("2. Create Gif animation and import images"), this));
    steps->addWidget(paragraph(
        QStringLiteral("This step is to create a new animation in Vorlane Gif (in standard mode "
                       "or by the animation wizard). After that you should import the images by "
                       "using ") +
            quote + QStringLiteral("Add image") + quote + QStringLiteral(" or ") + quote +
            QStringLiteral("Insert image") + quote + QStringLiteral(" functionalities."),
        this));
    steps->addWidget(heading(QStringLiteral("3. Configure animation and save it"), this));
    steps->addWidget(paragraph(
        QStringLiteral("The last step is to choose the delay of each image, the number of "
                       "animation iterations. After that, you should save the animation which "
                       "will thus be ready for use."),
        this));

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(14, 4, 14, 12);
    bottom->addWidget(m_dontshow);
    bottom->addStretch(1);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(band);
    layout->addLayout(steps);
    layout->addLayout(bottom);
    fixToContent(this);

    readSettings();
}

void THowForm::readSettings() {
    if (!m_settings) return;
    m_shown = m_settings->readInt(SettingsKey, TagValue, m_shown);
    if (m_settings->contains(SettingsKey, CheckedValue))
        m_dontshow->setChecked(m_settings->readInt(SettingsKey, CheckedValue) != 0);
}

void THowForm::writeSettings() {
    if (!m_settings) return;
    m_settings->writeInt(SettingsKey, TagValue, m_shown);
    m_settings->writeInt(SettingsKey, CheckedValue, m_dontshow->isChecked() ? 1 : 0);
    m_settings->sync();
}

bool THowForm::dueAtStartUp() const {
    return !m_dontshow->isChecked() && m_shown < AutomaticShowings;
}

void THowForm::countAutomaticShowing() {
    ++m_shown;
    writeSettings();
}

void THowForm::Button1Click() {
    accept();
}

void THowForm::done(int result) {
    // A tick of "Dont show this box again" must outlast the run.
    writeSettings();
    QDialog::done(result);
}

} // namespace vorlane
