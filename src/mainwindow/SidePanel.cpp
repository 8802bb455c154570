// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/SidePanel.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "mainwindow/HeaderBar.h"
#include "mainwindow/Icons.h"
#include "mainwindow/Widgets.h"

namespace vorlane {

Section::Section(const QString& name, HeaderBar* header, int expandedHeight, QWidget* parent)
    : QWidget(parent), m_header(header), m_body(new QWidget(this)),
      m_expandedHeight(expandedHeight) {
    setObjectName(name);
    header->setParent(this);
    setFixedHeight(expandedHeight);
}

int Section::headerHeight() {
    return HeaderBar::Height;
}

void Section::setExpanded(bool expanded) {
    setFixedHeight(expanded ? m_expandedHeight : headerHeight());
    m_header->setExpanded(expanded);
    m_body->setVisible(expanded);
}

void Section::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_header->setGeometry(0, 0, width(), HeaderBar::Height);
    m_body->setGeometry(0, HeaderBar::Height, width(), std::max(0, height() - HeaderBar::Height));
}

namespace {
QToolButton* speedButton(const QString& name, const QString& caption, const QString& theme,
                         const QString& own, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(caption);
    button->setIcon(icons::themed(theme, own));
    button->setIconSize(QSize(16, 16));
    button->setAutoRaise(true);
    button->setEnabled(false);
    return button;
}
} // namespace

SidePanel::SidePanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SidePanel"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    struct Design {
        const char* panel;
        const char* header;
        const char* image;
        const char* label;
        const char* caption;
        const char* collapse;
        const char* expand;
        int height;
    };
    const Design designs[3] = {
        {"pnlloop", "Headloop", "headloopimage", "Headbacklab", "Loop", "C1", "O1", 101},
        {"pnlRate", "Panel5", "Headrateimage", "headratelab", "Image delay", "C2", "O2", 97},
        {"pnlComments", "Panel7", "Headcommentsimage", "headcommentslab", "Comments", "C3", "O3",
         97},
    };
    for (size_t i = 0; i < 3; ++i) {
        const Design& d = designs[i];
        auto* header = new HeaderBar(QLatin1String(d.header), QLatin1String(d.image),
                                     QLatin1String(d.label), QLatin1String(d.caption));
        header->addArrows(QLatin1String(d.collapse), QLatin1String(d.expand));
        m_sections[i] = new Section(QLatin1String(d.panel), header, d.height, this);
        layout->addWidget(m_sections[i]);
    }
    auto* controlHeader =
        new HeaderBar(QStringLiteral("Panel10"), QStringLiteral("headcontrolimage"),
                      QStringLiteral("Label27"), QStringLiteral("Control"));
    controlHeader->setCursor(Qt::ArrowCursor);
    m_control = new Section(QStringLiteral("pnlVisual"), controlHeader, 117, this);
    layout->addWidget(m_control);
    layout->addStretch(1);

    buildLoop(m_sections[Loop]->body());
    buildRate(m_sections[Rate]->body());
    buildComments(m_sections[Comments]->body());
    buildControl(m_control->body());

    // The loop caption with its gap for the count decides how wide the panel must be.
    setMinimumWidth(std::max(Width, m_fini->sizeHint().width() + 12));
}

std::array<HeaderBar*, 4> SidePanel::headers() const {
    return {m_sections[0]->header(), m_sections[1]->header(), m_sections[2]->header(),
            m_control->header()};
}

void SidePanel::buildLoop(QWidget* body) {
    m_infini = new QRadioButton(QStringLiteral("Repeat indefinitely"), body);
    m_infini->setObjectName(QStringLiteral("infini"));
    m_infini->setChecked(true);
    m_infini->setEnabled(false);
    auto* fini = new GapRadioButton(QStringLiteral("Stop after              iterations"), body);
    m_fini = fini;
    m_fini->setObjectName(QStringLiteral("fini"));
    m_fini->setEnabled(false);
    m_numLoops = new ClampingSpinBox(body);
    m_numLoops->setObjectName(QStringLiteral("NumLoops"));
    // The count field is 16 bits wide in the file; a larger number becomes 65535 rather
    // than its low bits (65536 would silently mean "repeat indefinitely").
    m_numLoops->setRange(1, 65535);
    m_numLoops->setSingleStep(1);
    m_numLoops->setValue(1);
    m_numLoops->setEnabled(false);

    // The spin field stands in the caption's gap, wide enough for five digits and with
    // room on either side of it.
    const int spinWidth = m_numLoops->sizeHint().width();
    const int margin = fontMetrics().horizontalAdvance(QLatin1Char(' ')) + 2;
    fini->setGapWidth(spinWidth + 2 * margin);
    m_infini->move(8, 12);
    m_infini->resize(m_infini->sizeHint());
    m_fini->move(8, 44);
    m_fini->resize(m_fini->sizeHint());
    const int spinHeight = m_numLoops->sizeHint().height();
    m_numLoops->setGeometry(m_fini->x() + fini->gapLeft() + margin,
                            m_fini->y() + (m_fini->height() - spinHeight) / 2, spinWidth,
                            spinHeight);
    m_numLoops->raise();
}

void SidePanel::buildRate(QWidget* body) {
    auto* label = new QLabel(QStringLiteral("Delay:   (in 1/100s sec.)"), body);
    label->setObjectName(QStringLiteral("Label3"));
    label->move(8, 10);
    label->resize(label->sizeHint());
    m_period = new ClampingSpinBox(body);
    m_period->setObjectName(QStringLiteral("Period"));
    // The delay is 16 bits wide in the file; the field stops there.
    m_period->setRange(0, 65535);
    m_period->setSingleStep(10);
    m_period->setValue(1);
    m_period->setEnabled(false);
    m_period->setGeometry(8, 34, 90, m_period->sizeHint().height());
    label->setBuddy(m_period);
}

void SidePanel::buildComments(QWidget* body) {
    m_comment = new QPlainTextEdit(body);
    m_comment->setObjectName(QStringLiteral("Gifcomment"));
    m_comment->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_comment->setEnabled(false);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_comment);
}

void SidePanel::buildControl(QWidget* body) {
    auto* speedBar = new QWidget(body);
    speedBar->setObjectName(QStringLiteral("SpeedBar"));
    auto* row = new QHBoxLayout(speedBar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    m_playBtn =
        speedButton(QStringLiteral("PlayBtn"), QStringLiteral("Play"),
                    QStringLiteral("media-playback-start"), QStringLiteral("play"), speedBar);
    m_stopBtn =
        speedButton(QStringLiteral("StopBtn"), QStringLiteral("Stop"),
                    QStringLiteral("media-playback-stop"), QStringLiteral("stop"), speedBar);
    m_rewindBtn =
        speedButton(QStringLiteral("Rewindbtn"), QStringLiteral("Beginning"),
                    QStringLiteral("media-skip-backward"), QStringLiteral("first"), speedBar);
    m_backBtn =
        speedButton(QStringLiteral("Backbtn"), QStringLiteral("Previous"),
                    QStringLiteral("media-seek-backward"), QStringLiteral("previous"), speedBar);
    m_nextBtn = speedButton(QStringLiteral("Nextbtn"), QStringLiteral("Next"),
                            QStringLiteral("media-seek-forward"), QStringLiteral("next"), speedBar);
    m_forwardBtn =
        speedButton(QStringLiteral("Forwardbtn"), QStringLiteral("End"),
                    QStringLiteral("media-skip-forward"), QStringLiteral("last"), speedBar);
    for (QToolButton* b : {m_playBtn, m_stopBtn, m_rewindBtn, m_backBtn, m_nextBtn, m_forwardBtn})
        row->addWidget(b);

    m_slider = new QSlider(Qt::Horizontal, body);
    m_slider->setObjectName(QStringLiteral("Slider"));
    // Display only: the slider follows the current frame and the running animation.
    m_slider->setEnabled(false);
    m_slider->setRange(0, 0);

    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(8, 12, 8, 8);
    layout->setSpacing(10);
    layout->addWidget(speedBar, 0, Qt::AlignHCenter);
    layout->addWidget(m_slider);
    layout->addStretch(1);
}

} // namespace vorlane
