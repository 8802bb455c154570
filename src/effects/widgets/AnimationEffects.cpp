// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/widgets/AnimationEffects.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace vorlane {

using effects::Effect;

namespace {

QLabel* label(const QString& text, const char* name, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    if (name) l->setObjectName(QLatin1String(name));
    return l;
}

QSlider* slider(const char* name, int minimum, int maximum, int value, QWidget* parent) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setObjectName(QLatin1String(name));
    s->setRange(minimum, maximum);
    s->setTickInterval(10);
    s->setTickPosition(QSlider::TicksBelow);
    s->setValue(value);
    return s;
}

// A panel holding a caption and a list of choices.
QFrame* listPanel(const char* name, QComboBox* list, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label(QStringLiteral("Direction:"), nullptr, panel));
    row->addWidget(list, 1);
    return panel;
}

} // namespace

TEffects::TEffects(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Effects"));
    setWindowTitle(QStringLiteral("Effect"));

    auto* descriptionPanel = new QFrame(this);
    descriptionPanel->setObjectName(QStringLiteral("Panel1"));
    descriptionPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_description = label(QString(), "Lab", descriptionPanel);
    m_description->setWordWrap(true);
    m_description->setMinimumHeight(48);
    auto* descriptionLayout = new QVBoxLayout(descriptionPanel);
    descriptionLayout->addWidget(m_description);

    auto* parameters = new QGroupBox(QStringLiteral("Effect parameters"), this);
    parameters->setObjectName(QStringLiteral("GroupBox1"));
    m_direction = new QComboBox(parameters);
    m_direction->setObjectName(QStringLiteral("combo"));
    m_direction->addItems(
        {QStringLiteral("From left to right"), QStringLiteral("From right to left"),
         QStringLiteral("From top to bottom"), QStringLiteral("From bottom to top")});
    m_directionPanel = listPanel("pancombo", m_direction, parameters);
    m_wipeDirection = new QComboBox(parameters);
    m_wipeDirection->setObjectName(QStringLiteral("comboessuyage"));
    m_wipeDirection->addItems(
        {QStringLiteral("From left to right"), QStringLiteral("From top to bottom")});
    m_wipeDirection->setCurrentIndex(-1); // no choice until the first wipe
    m_wipePanel = listPanel("Panessuyage", m_wipeDirection, parameters);

    m_colorPanel = new QFrame(parameters);
    m_colorPanel->setObjectName(QStringLiteral("pancolor"));
    auto* select = new QPushButton(QStringLiteral("Solid color..."), m_colorPanel);
    select->setObjectName(QStringLiteral("select"));
    m_swatchFrame = new QFrame(m_colorPanel);
    m_swatchFrame->setObjectName(QStringLiteral("pancls"));
    m_swatchFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_swatchFrame->setFixedSize(48, 24);
    m_swatch = new QFrame(m_swatchFrame);
    m_swatch->setObjectName(QStringLiteral("cls"));
    m_swatch->setGeometry(3, 3, 42, 18);
    m_swatch->setAutoFillBackground(true);
    auto* colorRow = new QHBoxLayout(m_colorPanel);
    colorRow->setContentsMargins(0, 0, 0, 0);
    colorRow->addWidget(select);
    colorRow->addWidget(m_swatchFrame);
    colorRow->addStretch(1);
    auto* parameterLayout = new QVBoxLayout(parameters);
    parameterLayout->addWidget(m_directionPanel);
    parameterLayout->addWidget(m_wipePanel);
    parameterLayout->addWidget(m_colorPanel);

    auto* images = new QGroupBox(QStringLiteral("Number of images"), this);
    images->setObjectName(QStringLiteral("GroupBox2"));
    m_delay = slider("RxSlider1", 1, 200, 80, images);
    m_delayLabel = label(QString(), "Lab1", images);
    m_rate = slider("RxSlider2", 1, 30, 10, images);
    m_rateLabel = label(QString(), "Lab2", images);
    m_count = label(QString(), "number", images);
    auto* grid = new QGridLayout(images);
    grid->addWidget(label(QStringLiteral("Delay:"), "Label2", images), 0, 0);
    grid->addWidget(m_delay, 0, 1);
    grid->addWidget(m_delayLabel, 0, 2);
    grid->addWidget(label(QStringLiteral("Images per sec. :"), "Label3", images), 1, 0);
    grid->addWidget(m_rate, 1, 1);
    grid->addWidget(m_rateLabel, 1, 2);
    grid->addWidget(label(QStringLiteral("Total number of used images:"), "Label4", images), 2, 0,
                    1, 2);
    grid->addWidget(m_count, 2, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnMinimumWidth(2, 90);

    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("OKBtn"));
    m_ok->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(descriptionPanel);
    layout->addWidget(parameters);
    layout->addWidget(images);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed border, sized to its panels

    connect(m_delay, &QSlider::valueChanged, this, &TEffects::RxSlider1Change);
    connect(m_rate, &QSlider::valueChanged, this, &TEffects::RxSlider2Change);
    connect(select, &QPushButton::clicked, this, &TEffects::selectClick);
    m_chooseColor = [this](const QColor& initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, this);
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    };

    // FormCreate: direction 0, then both labels and the image count.
    m_direction->setCurrentIndex(0);
    RxSlider1Change(m_delay->value());
    RxSlider2Change(m_rate->value());
    setSwatch(m_color);
    m_directionPanel->hide();
    m_wipePanel->hide();
    m_colorPanel->hide();
}

void TEffects::configure(Effect effect) {
    const effects::EffectTexts texts = effects::effectTexts(effect);
    setWindowTitle(texts.title);
    m_description->setText(texts.description);
    if (effect == Effect::Wipe && m_wipeDirection->currentIndex() < 0)
        m_wipeDirection->setCurrentIndex(0);
    m_directionPanel->setVisible(texts.direction);
    m_wipePanel->setVisible(texts.wipeDirection);
    m_colorPanel->setVisible(texts.color);
    // The size of the panels now shown: a hidden dialog's layout still holds the sizes
    // of the panels the previous effect showed until it is told they changed.
    // The dialog is centred at the size of the panels now shown. In a hidden dialog the
    // group of panels does not tell the dialog's layout that its size changed, which
    // would keep the size of the panels the previous effect showed.
    m_directionPanel->parentWidget()->updateGeometry();
    if (layout()) layout()->activate();
}

std::optional<effects::EffectSettings> TEffects::ask(Effect effect) {
    configure(effect);
    if (parentWidget())
        move(parentWidget()->window()->frameGeometry().center() - rect().center());
    if (exec() != QDialog::Accepted) return std::nullopt;
    return settings();
}

effects::EffectSettings TEffects::settings() const {
    effects::EffectSettings s;
    s.count = m_count->text().toInt();
    s.direction = m_direction->currentIndex();
    s.wipeDirection = std::max(0, m_wipeDirection->currentIndex());
    s.color = m_color.rgb();
    return s;
}

void TEffects::selectClick() {
    const std::optional<QColor> chosen = m_chooseColor(m_lastChosen);
    if (!chosen) return;
    m_lastChosen = *chosen;
    setSwatch(*chosen);
}

void TEffects::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_ok->setFocus();
}

void TEffects::done(int result) {
    m_directionPanel->hide();
    m_wipePanel->hide();
    m_colorPanel->hide();
    QDialog::done(result);
}

void TEffects::RxSlider1Change(int value) {
    m_delayLabel->setText(QString::number(value) + QStringLiteral(" (1/100 Sec)"));
    updateCount();
}

void TEffects::RxSlider2Change(int value) {
    m_rateLabel->setText(QString::number(value) + QStringLiteral(" images/s"));
    updateCount();
}

void TEffects::updateCount() {
    m_count->setText(QString::number(effects::imageCount(m_delay->value(), m_rate->value())));
}

void TEffects::setSwatch(const QColor& color) {
    m_color = color;
    QPalette palette = m_swatch->palette();
    palette.setColor(QPalette::Window, color);
    m_swatch->setPalette(palette);
    m_swatchFrame->setPalette(palette);
}

} // namespace vorlane
