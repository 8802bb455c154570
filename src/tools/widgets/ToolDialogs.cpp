// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/widgets/ToolDialogs.h"

#include <cmath>

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "tools/widgets/CropDialog.h"

namespace vorlane {

using tools::Operation;
namespace op = tools::op;

namespace {

// The largest side a GIF holds.
constexpr int MaxSide = 65535;

QString sizeAndCount(QSize size, size_t frames) {
    return QStringLiteral("%1x%2, %3 image(s)").arg(size.width()).arg(size.height()).arg(frames);
}

QString seconds(qint64 hundredths) {
    return QLocale().toString(double(hundredths) / 100.0, 'f', 2) + QStringLiteral(" s");
}

int played(int delay) {
    return delay < 2 ? 10 : delay;
}

int delayOf(const gif::Frame& frame) {
    const gif::GraphicControl* control = frame.graphicControl();
    return control ? control->delay : 0;
}

QSpinBox* spin(QWidget* parent, const char* name, int minimum, int maximum, int value) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(minimum, maximum);
    box->setValue(value);
    return box;
}

} // namespace

// ---- ToolDialogBase --------------------------------------------------------------------

ToolDialogBase::ToolDialogBase(const QString& name, const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName(name);
    setWindowTitle(title);
    // Wide enough for the notes to read as sentences rather than columns of words.
    setMinimumWidth(400);
    auto* rows = m_rows = new QVBoxLayout(this);
    m_form = new QFormLayout;
    m_form->setObjectName(QStringLiteral("Form"));
    rows->addLayout(m_form);
    m_now = new QLabel(this);
    m_now->setObjectName(QStringLiteral("Now"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("Result"));
    m_result->setWordWrap(true);
    // Room the dialog has beyond its rows goes here, not between them.
    rows->addStretch(1);
    rows->addSpacing(6);
    rows->addWidget(m_now);
    rows->addWidget(m_result);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setObjectName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    rows->addWidget(buttons);
}

void ToolDialogBase::configure(const tools::ToolRequest& request) {
    m_request = request;
    if (m_all) {
        const int selected = int(m_request.selected.size());
        m_selected->setEnabled(selected >= 2);
        m_selected->setText(selected >= 2 ? QStringLiteral("The %1 selected images").arg(selected)
                                          : QStringLiteral("The selected images"));
        (selected >= 2 ? m_selected : m_all)->setChecked(true);
    }
    configured();
    const size_t frames = m_request.image ? m_request.image->frameCount() : 0;
    QString now = QStringLiteral("Now: ") + sizeAndCount(screen(), frames);
    if (resultLength(operation()))
        now += QStringLiteral(", ") + seconds(playingLength([](int, int d) { return d; }));
    m_now->setText(now);
    refresh();
    // The first value takes the focus with its text selected, so that typing replaces
    // it (the focus would otherwise start on OK, or stay where the last asking left it).
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        auto* box = qobject_cast<QAbstractSpinBox*>(w);
        if (!box || !box->isEnabled() || !box->isVisibleTo(this)) continue;
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
        break;
    }
}

QSize ToolDialogBase::screen() const {
    return m_request.image ? QSize(m_request.image->screenWidth, m_request.image->screenHeight)
                           : QSize();
}

std::optional<qint64> ToolDialogBase::resultLength(const Operation&) const {
    return std::nullopt;
}

qint64 ToolDialogBase::playingLength(const std::function<int(int, int)>& delayOf) const {
    qint64 total = 0;
    if (!m_request.image) return total;
    for (size_t i = 0; i < m_request.image->frameCount(); ++i)
        total += played(delayOf(int(i), vorlane::delayOf(m_request.image->frame(i))));
    return total;
}

void ToolDialogBase::refresh() {
    if (!m_request.image) {
        m_acceptable = false;
        m_result->clear();
        m_ok->setEnabled(false);
        return;
    }
    const Operation operation = this->operation();
    try {
        const tools::Outcome outcome = tools::predict(*m_request.image, operation);
        QString text = QStringLiteral("Result: ") + sizeAndCount(outcome.screen, outcome.frames);
        if (const std::optional<qint64> length = resultLength(operation))
            text += QStringLiteral(", ") + seconds(*length);
        m_result->setText(text);
        m_acceptable = true;
    } catch (const gif::GifError& e) {
        m_result->setText(QString::fromUtf8(e.what()));
        m_acceptable = false;
    }
    m_ok->setEnabled(m_acceptable);
}

QString ToolDialogBase::resultText() const {
    return m_result->text();
}

bool ToolDialogBase::acceptable() const {
    return m_acceptable;
}

void ToolDialogBase::addScope() {
    auto* choice = new QWidget(this);
    choice->setObjectName(QStringLiteral("Scope"));
    auto* rows = new QVBoxLayout(choice);
    rows->setContentsMargins(0, 0, 0, 0);
    m_all = new QRadioButton(QStringLiteral("All images"), choice);
    m_all->setObjectName(QStringLiteral("ScopeAll"));
    m_selected = new QRadioButton(QStringLiteral("The selected images"), choice);
    m_selected->setObjectName(QStringLiteral("ScopeSelected"));
    m_all->setChecked(true);
    auto* group = new QButtonGroup(choice);
    group->addButton(m_all);
    group->addButton(m_selected);
    rows->addWidget(m_all);
    rows->addWidget(m_selected);
    m_form->addRow(QStringLiteral("Apply to:"), choice);
    connect(m_all, &QRadioButton::toggled, this, [this] { refresh(); });
}

tools::FrameSet ToolDialogBase::scopeFrames() const {
    if (m_selected && m_selected->isChecked() && m_request.selected.size() >= 2)
        return m_request.selected;
    return std::nullopt;
}

// ---- Resize ----------------------------------------------------------------------------

TResizeDialog::TResizeDialog(QWidget* parent)
    : ToolDialogBase(QStringLiteral("ResizeDialog"), QStringLiteral("Resize"), parent) {
    m_width = spin(this, "ResizeWidth", 1, MaxSide, 1);
    m_width->setSuffix(QStringLiteral(" px"));
    m_height = spin(this, "ResizeHeight", 1, MaxSide, 1);
    m_height->setSuffix(QStringLiteral(" px"));
    m_lock = new QCheckBox(QStringLiteral("Keep the proportions"), this);
    m_lock->setObjectName(QStringLiteral("ResizeKeepAspect"));
    m_lock->setChecked(true);
    m_percent = new QDoubleSpinBox(this);
    m_percent->setObjectName(QStringLiteral("ResizePercent"));
    m_percent->setRange(0.1, 10000);
    m_percent->setDecimals(1);
    m_percent->setValue(100);
    m_percent->setSuffix(QStringLiteral(" %"));
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("ResizeFilter"));
    // In the order of tools::ResizeFilter.
    m_filter->addItems({QStringLiteral("Automatic (area when shrinking, bicubic when enlarging)"),
                        QStringLiteral("Nearest neighbour (pixel art)"),
                        QStringLiteral("Area averaging"), QStringLiteral("Bicubic"),
                        QStringLiteral("Lanczos")});
    form()->addRow(QStringLiteral("&Width:"), m_width);
    form()->addRow(QStringLiteral("&Height:"), m_height);
    form()->addRow(QString(), m_lock);
    form()->addRow(QStringLiteral("&Scale:"), m_percent);
    form()->addRow(QStringLiteral("&Filter:"), m_filter);
    connect(m_width, &QSpinBox::valueChanged, this, &TResizeDialog::widthChanged);
    connect(m_height, &QSpinBox::valueChanged, this, &TResizeDialog::heightChanged);
    connect(m_percent, &QDoubleSpinBox::valueChanged, this, &TResizeDialog::percentChanged);
    connect(m_lock, &QCheckBox::toggled, this, &TResizeDialog::lockToggled);
    connect(m_filter, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
}

void TResizeDialog::configured() {
    // The size starts at the animation's own; the lock and the filter stay as chosen.
    showSize(screen(), 100.0);
}

void TResizeDialog::showSize(QSize size, std::optional<double> percent) {
    const QSignalBlocker w(m_width);
    const QSignalBlocker h(m_height);
    const QSignalBlocker p(m_percent);
    if (size.isValid()) {
        m_width->setValue(size.width());
        m_height->setValue(size.height());
    }
    if (percent) m_percent->setValue(*percent);
}

void TResizeDialog::widthChanged(int width) {
    const QSize s = screen();
    if (s.isEmpty()) return refresh();
    if (m_lock->isChecked())
        showSize(tools::resizedSize(s, width, 0, false), 100.0 * width / s.width());
    else
        showSize(QSize(), 100.0 * width / s.width());
    refresh();
}

void TResizeDialog::heightChanged(int height) {
    const QSize s = screen();
    if (s.isEmpty()) return refresh();
    if (m_lock->isChecked())
        showSize(tools::resizedSize(s, 0, height, false), 100.0 * height / s.height());
    refresh();
}

void TResizeDialog::percentChanged(double percent) {
    const QSize s = screen();
    if (!s.isEmpty())
        showSize(tools::scaledSize(s, percent).boundedTo(QSize(MaxSide, MaxSide)), {});
    refresh();
}

void TResizeDialog::lockToggled(bool on) {
    if (on) widthChanged(m_width->value());
}

Operation TResizeDialog::operation() const {
    return op::Resize{m_width->value(), m_height->value(), false,
                      tools::ResizeFilter(m_filter->currentIndex())};
}

// ---- Keep every n-th image ----------------------------------------------------------------

TKeepEveryDialog::TKeepEveryDialog(QWidget* parent)
    : ToolDialogBase(QStringLiteral("KeepEveryDialog"), QStringLiteral("Keep every n-th image"),
                     parent) {
    m_n = spin(this, "KeepEveryN", 2, 1000, 2);
    m_n->setPrefix(QStringLiteral("every "));
    form()->addRow(QStringLiteral("&Keep:"), m_n);
    auto* note = new QLabel(QStringLiteral("Each image kept lasts as long as the images it "
                                           "stands for, so the animation lasts as long."),
                            this);
    note->setObjectName(QStringLiteral("KeepEveryNote"));
    note->setWordWrap(true);
    form()->addRow(note);
    addScope();
    connect(m_n, &QSpinBox::valueChanged, this, [this] { refresh(); });
}

Operation TKeepEveryDialog::operation() const {
    return op::KeepEvery{m_n->value(), scopeFrames()};
}

// ---- Speed -----------------------------------------------------------------------------

TSpeedDialog::TSpeedDialog(QWidget* parent)
    : ToolDialogBase(QStringLiteral("SpeedDialog"), QStringLiteral("Speed"), parent) {
    m_percent = spin(this, "SpeedPercent", 1, 100000, 100);
    m_percent->setSuffix(QStringLiteral(" %"));
    form()->addRow(QStringLiteral("&Speed:"), m_percent);
    auto* note = new QLabel(QStringLiteral("200 % plays twice as fast, 50 % half as fast."), this);
    note->setObjectName(QStringLiteral("SpeedNote"));
    form()->addRow(note);
    addScope();
    connect(m_percent, &QSpinBox::valueChanged, this, [this] { refresh(); });
}

Operation TSpeedDialog::operation() const {
    return op::Speed{m_percent->value(), scopeFrames()};
}

std::optional<qint64> TSpeedDialog::resultLength(const Operation& operation) const {
    const auto& speed = std::get<op::Speed>(operation);
    std::vector<bool> chosen;
    if (speed.frames && request().image) {
        chosen.assign(request().image->frameCount(), false);
        for (const int i : *speed.frames)
            if (i >= 0 && size_t(i) < chosen.size()) chosen[size_t(i)] = true;
    }
    return playingLength([&](int i, int delay) {
        return chosen.empty() || chosen[size_t(i)] ? tools::scaledDelay(delay, speed.percent)
                                                   : delay;
    });
}

// ---- Set delay -------------------------------------------------------------------------

TDelayDialog::TDelayDialog(QWidget* parent)
    : ToolDialogBase(QStringLiteral("DelayDialog"), QStringLiteral("Set delay"), parent) {
    m_delay = spin(this, "DelayValue", 0, 65535, 10);
    m_delay->setSuffix(QStringLiteral(" (1/100 s)"));
    form()->addRow(QStringLiteral("&Delay:"), m_delay);
    auto* note = new QLabel(QStringLiteral("Browsers play delays of 0 and 1 as 10."), this);
    note->setObjectName(QStringLiteral("DelayNote"));
    form()->addRow(note);
    addScope();
    connect(m_delay, &QSpinBox::valueChanged, this, [this] { refresh(); });
}

void TDelayDialog::configured() {
    // Starts at the current delay of the first image it would change.
    const tools::ToolRequest& r = request();
    if (!r.image || r.image->frameCount() == 0) return;
    const tools::FrameSet frames = scopeFrames();
    const int first = frames ? frames->front() : 0;
    const QSignalBlocker quiet(m_delay);
    m_delay->setValue(delayOf(r.image->frame(size_t(first))));
}

Operation TDelayDialog::operation() const {
    return op::Delay{m_delay->value(), scopeFrames()};
}

std::optional<qint64> TDelayDialog::resultLength(const Operation& operation) const {
    const auto& delay = std::get<op::Delay>(operation);
    std::vector<bool> chosen;
    if (delay.frames && request().image) {
        chosen.assign(request().image->frameCount(), false);
        for (const int i : *delay.frames)
            if (i >= 0 && size_t(i) < chosen.size()) chosen[size_t(i)] = true;
    }
    return playingLength(
        [&](int i, int d) { return chosen.empty() || chosen[size_t(i)] ? delay.delay : d; });
}

// ---- TToolDialogs ----------------------------------------------------------------------

TToolDialogs::TToolDialogs(QWidget* parent)
    : m_resize(new TResizeDialog(parent)), m_crop(new TCropDialog(parent)),
      m_keepEvery(new TKeepEveryDialog(parent)), m_speed(new TSpeedDialog(parent)),
      m_delay(new TDelayDialog(parent)) {}

ToolDialogBase* TToolDialogs::dialog(tools::ToolDialogKind kind) const {
    switch (kind) {
    case tools::ToolDialogKind::Resize:
        return m_resize;
    case tools::ToolDialogKind::Crop:
        return m_crop;
    case tools::ToolDialogKind::KeepEvery:
        return m_keepEvery;
    case tools::ToolDialogKind::Speed:
        return m_speed;
    case tools::ToolDialogKind::Delay:
        return m_delay;
    }
    return nullptr;
}

std::optional<Operation> TToolDialogs::ask(tools::ToolDialogKind kind,
                                           const tools::ToolRequest& request) {
    ToolDialogBase* d = dialog(kind);
    if (!d) return std::nullopt;
    d->configure(request);
    if (d->exec() != QDialog::Accepted || !d->acceptable()) return std::nullopt;
    return d->operation();
}

} // namespace vorlane
