// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/widgets/ExportDialog.h"

#include <chrono>
#include <cmath>
#include <exception>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "codec/SafeFile.h"
#include "document/BackgroundWork.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"
#include "tools/ToolContext.h"

namespace vorlane {

namespace {

using exporting::Dithering;
using exporting::ExportSettings;
using exporting::Format;
using exporting::PaletteMode;

constexpr int SampleDelayMs = 250;
constexpr int ExactDelayMs = 1200;
constexpr QSize PreviewSize(320, 240);

// In the units "Fit under" takes (1 KB = 1024 bytes), so the two read alike; Qt's
// traditional format would say "kB".
QString sizeText(uint64_t bytes) {
    const QLocale locale;
    if (bytes < 1024) return QStringLiteral("%1 bytes").arg(locale.toString(qulonglong(bytes)));
    const bool megabytes = bytes >= 1024 * 1024;
    const double value = double(bytes) / (megabytes ? 1024.0 * 1024.0 : 1024.0);
    return QStringLiteral("%1 %2").arg(locale.toString(value, 'f', 1),
                                       megabytes ? QStringLiteral("MB") : QStringLiteral("KB"));
}

QString choiceText(const ExportSettings& s) {
    switch (s.format) {
    case Format::Gif:
        return QStringLiteral("%1 colours, lossy %2").arg(s.colors).arg(s.lossy);
    case Format::WebP:
        return s.webpLossless ? QStringLiteral("every pixel kept")
                              : QStringLiteral("quality %1").arg(s.webpQuality);
    case Format::Apng:
        return QStringLiteral("every pixel kept");
    }
    return {};
}

} // namespace

ExportDialog::ExportDialog(gif::GifImage image, int current, const QString& name,
                           const Platform& platform, BackgroundWork* work, QWidget* parent)
    : QDialog(parent), m_image(std::move(image)), m_current(std::max(0, current)), m_name(name),
      m_platform(platform), m_work(work) {
    setObjectName(QStringLiteral("ExportDialog"));
    setWindowTitle(QStringLiteral("Export"));
    buildControls();
    m_sampleDelay.setSingleShot(true);
    m_sampleDelay.setInterval(SampleDelayMs);
    m_exactDelay.setSingleShot(true);
    m_exactDelay.setInterval(ExactDelayMs);
    connect(&m_sampleDelay, &QTimer::timeout, this, [this] { startJob(false); });
    connect(&m_exactDelay, &QTimer::timeout, this, [this] { startJob(true); });
    connect(&m_job, &QFutureWatcher<Result>::finished, this, &ExportDialog::jobFinished);
    showFormat();
    settingsChanged();
}

ExportDialog::~ExportDialog() {
    if (m_jobCancel) m_jobCancel->store(true);
    m_job.waitForFinished();
}

void ExportDialog::buildControls() {
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    layout->addLayout(left);

    auto* formatRow = new QFormLayout;
    m_format = new QComboBox(this);
    m_format->setObjectName(QStringLiteral("ExportFormat"));
    m_format->addItems({QStringLiteral("GIF"), QStringLiteral("Animated WebP"),
                        QStringLiteral("Animated PNG (APNG)")});
    formatRow->addRow(QStringLiteral("&Format:"), m_format);
    left->addLayout(formatRow);

    m_gif = new QGroupBox(QStringLiteral("GIF"), this);
    m_gif->setObjectName(QStringLiteral("GifSettings"));
    auto* gif = new QFormLayout(m_gif);
    m_colors = new QSpinBox(m_gif);
    m_colors->setObjectName(QStringLiteral("ExportColors"));
    m_colors->setRange(exporting::MinColors, exporting::MaxColors);
    m_colors->setValue(256);
    gif->addRow(QStringLiteral("&Colours:"), m_colors);
    m_palette = new QComboBox(m_gif);
    m_palette->setObjectName(QStringLiteral("ExportPalette"));
    m_palette->addItems({QStringLiteral("One per frame"), QStringLiteral("One for all frames")});
    gif->addRow(QStringLiteral("&Palette:"), m_palette);
    m_dither = new QComboBox(m_gif);
    m_dither->setObjectName(QStringLiteral("ExportDither"));
    m_dither->addItems(
        {QStringLiteral("None"), QStringLiteral("Floyd-Steinberg"), QStringLiteral("Ordered")});
    m_dither->setCurrentIndex(1);
    gif->addRow(QStringLiteral("&Dithering:"), m_dither);
    auto* lossyRow = new QHBoxLayout;
    m_lossy = new QSlider(Qt::Horizontal, m_gif);
    m_lossy->setObjectName(QStringLiteral("ExportLossy"));
    m_lossy->setRange(0, exporting::MaxLossy);
    m_lossy->setPageStep(10);
    m_lossyValue = new QLabel(m_gif);
    m_lossyValue->setObjectName(QStringLiteral("ExportLossyValue"));
    m_lossyValue->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Off ")));
    lossyRow->addWidget(m_lossy);
    lossyRow->addWidget(m_lossyValue);
    auto* lossyLabel = new QLabel(QStringLiteral("&Lossy:"), m_gif);
    lossyLabel->setBuddy(m_lossy);
    gif->addRow(lossyLabel, lossyRow);
    m_optimize = new QCheckBox(QStringLiteral("&Optimise (as Save optimized as)"), m_gif);
    m_optimize->setObjectName(QStringLiteral("ExportOptimize"));
    m_optimize->setChecked(true);
    gif->addRow(m_optimize);
    left->addWidget(m_gif);

    m_webp = new QGroupBox(QStringLiteral("WebP"), this);
    m_webp->setObjectName(QStringLiteral("WebpSettings"));
    auto* webp = new QFormLayout(m_webp);
    m_lossless = new QCheckBox(QStringLiteral("Lossle&ss"), m_webp);
    m_lossless->setObjectName(QStringLiteral("ExportLossless"));
    m_lossless->setChecked(false);
    webp->addRow(m_lossless);
    m_quality = new QSpinBox(m_webp);
    m_quality->setObjectName(QStringLiteral("ExportQuality"));
    m_quality->setRange(0, 100);
    m_quality->setValue(80);
    webp->addRow(QStringLiteral("&Quality:"), m_quality);
    left->addWidget(m_webp);

    m_apngNote = new QLabel(QStringLiteral("APNG keeps every pixel exactly."), this);
    m_apngNote->setObjectName(QStringLiteral("ApngNote"));
    left->addWidget(m_apngNote);

    auto* fitRow = new QHBoxLayout;
    m_fit = new QCheckBox(QStringLiteral("Fit &under"), this);
    m_fit->setObjectName(QStringLiteral("ExportFitUnder"));
    m_fitSize = new QDoubleSpinBox(this);
    m_fitSize->setObjectName(QStringLiteral("ExportFitSize"));
    m_fitSize->setRange(0.1, 100000);
    m_fitSize->setDecimals(1);
    m_fitSize->setValue(8);
    m_fitUnit = new QComboBox(this);
    m_fitUnit->setObjectName(QStringLiteral("ExportFitUnit"));
    m_fitUnit->addItems({QStringLiteral("MB"), QStringLiteral("KB")});
    fitRow->addWidget(m_fit);
    fitRow->addWidget(m_fitSize);
    fitRow->addWidget(m_fitUnit);
    fitRow->addStretch();
    left->addLayout(fitRow);
    left->addStretch();

    auto* right = new QVBoxLayout;
    layout->addLayout(right);
    m_preview = new QLabel(this);
    m_preview->setObjectName(QStringLiteral("ExportPreview"));
    m_preview->setAlignment(Qt::AlignCenter);
    m_preview->setMinimumSize(PreviewSize);
    m_preview->setFrameShape(QFrame::StyledPanel);
    right->addWidget(m_preview);
    m_estimate = new QLabel(QStringLiteral("Estimating the size..."), this);
    m_estimate->setObjectName(QStringLiteral("ExportEstimate"));
    m_estimate->setWordWrap(true);
    right->addWidget(m_estimate);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("ExportTime"));
    right->addWidget(m_time);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ExportProgress"));
    m_progress->setRange(0, 100);
    m_progress->hide();
    right->addWidget(m_progress);
    right->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_export = new QPushButton(QStringLiteral("&Export..."), this);
    m_export->setObjectName(QStringLiteral("ExportButton"));
    m_export->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(m_export);
    buttons->addWidget(m_cancel);
    right->addLayout(buttons);

    connect(m_export, &QPushButton::clicked, this, [this] { exportNow(); });
    connect(m_cancel, &QPushButton::clicked, this, &ExportDialog::reject);
    auto changed = [this] { settingsChanged(); };
    connect(m_format, &QComboBox::currentIndexChanged, this, [this] {
        showFormat();
        settingsChanged();
    });
    connect(m_colors, &QSpinBox::valueChanged, this, changed);
    connect(m_palette, &QComboBox::currentIndexChanged, this, changed);
    connect(m_dither, &QComboBox::currentIndexChanged, this, changed);
    connect(m_lossy, &QSlider::valueChanged, this, changed);
    connect(m_optimize, &QCheckBox::toggled, this, changed);
    connect(m_lossless, &QCheckBox::toggled, this, changed);
    connect(m_quality, &QSpinBox::valueChanged, this, changed);
    connect(m_fit, &QCheckBox::toggled, this, changed);
    connect(m_fitSize, &QDoubleSpinBox::valueChanged, this, changed);
    connect(m_fitUnit, &QComboBox::currentIndexChanged, this, changed);
}

ExportSettings ExportDialog::settings() const {
    ExportSettings s;
    s.format = Format(m_format->currentIndex());
    s.colors = m_colors->value();
    s.palette = m_palette->currentIndex() == 1 ? PaletteMode::Global : PaletteMode::PerFrame;
    s.dither = Dithering(m_dither->currentIndex());
    s.lossy = m_lossy->value();
    s.optimize = m_optimize->isChecked();
    s.webpLossless = m_lossless->isChecked();
    s.webpQuality = m_quality->value();
    if (m_fit->isChecked()) {
        const double unit = m_fitUnit->currentIndex() == 0 ? 1024.0 * 1024.0 : 1024.0;
        s.maxBytes = uint64_t(std::llround(m_fitSize->value() * unit));
    }
    return s;
}

void ExportDialog::setSettings(const ExportSettings& s) {
    m_format->setCurrentIndex(int(s.format));
    m_colors->setValue(s.colors);
    m_palette->setCurrentIndex(s.palette == PaletteMode::Global ? 1 : 0);
    m_dither->setCurrentIndex(int(s.dither));
    m_lossy->setValue(s.lossy);
    m_optimize->setChecked(s.optimize);
    m_lossless->setChecked(s.webpLossless);
    m_quality->setValue(s.webpQuality);
    m_fit->setChecked(s.maxBytes.has_value());
    if (s.maxBytes) {
        const bool megabytes = *s.maxBytes >= 1024 * 1024;
        m_fitUnit->setCurrentIndex(megabytes ? 0 : 1);
        m_fitSize->setValue(double(*s.maxBytes) / (megabytes ? 1024.0 * 1024.0 : 1024.0));
    }
}

void ExportDialog::showFormat() {
    const Format format = Format(m_format->currentIndex());
    m_gif->setVisible(format == Format::Gif);
    m_webp->setVisible(format == Format::WebP);
    m_apngNote->setVisible(format == Format::Apng);
}

void ExportDialog::settingsChanged() {
    const ExportSettings s = settings();
    m_lossyValue->setText(s.lossy == 0 ? QStringLiteral("Off") : QString::number(s.lossy));
    m_quality->setEnabled(!s.webpLossless);
    m_fitSize->setEnabled(m_fit->isChecked());
    m_fitUnit->setEnabled(m_fit->isChecked());
    m_exactDelay.stop();
    m_sampleDelay.start();
    // What is shown belongs to the settings before: it goes until the new one comes.
    if (!m_exporting) {
        m_estimate->setText(QStringLiteral("Estimating the size..."));
        m_time->clear();
    }
}

void ExportDialog::startJob(bool exact) {
    if (m_exporting) return;
    if (m_job.isRunning()) {
        // One job at a time reads the snapshot; the newest request waits for it.
        m_jobCancel->store(true);
        m_pending = exact;
        return;
    }
    m_pending.reset();
    m_jobCancel = std::make_shared<std::atomic<bool>>(false);
    const auto cancel = m_jobCancel;
    const ExportSettings s = settings();
    const gif::GifImage* image = &m_image;
    const size_t current = size_t(m_current);
    m_job.setFuture(QtConcurrent::run([image, current, s, exact, cancel]() -> Result {
        Result r;
        r.settings = s;
        r.exact = exact;
        tools::ToolContext context;
        context.cancelled = [cancel] { return cancel->load(std::memory_order_relaxed); };
        const auto start = std::chrono::steady_clock::now();
        try {
            if (exact) {
                const exporting::ExportResult whole =
                    exporting::exportAnimation(*image, s, context);
                exporting::SizeEstimate e;
                e.bytes = whole.bytes.size();
                e.exact = true;
                e.used = whole.used;
                e.seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                r.estimate = e;
            } else {
                r.estimate = exporting::estimateSize(*image, s, context);
            }
            r.preview = exporting::previewFrame(*image, std::min(current, image->frameCount() - 1),
                                                r.estimate->used);
        } catch (const tools::Cancelled&) {
            r.estimate.reset();
        } catch (const std::exception& e) {
            r.estimate.reset();
            r.failure = QString::fromUtf8(e.what());
        }
        return r;
    }));
}

void ExportDialog::jobFinished() {
    const Result r = m_job.result();
    const bool stale = m_jobCancel && m_jobCancel->load();
    if (m_pending) {
        const bool exact = *m_pending;
        startJob(exact);
        if (stale) return;
    }
    if (stale || r.settings != settings()) return;
    if (!r.failure.isEmpty()) {
        m_shown.reset();
        m_estimate->setText(r.failure);
        m_time->clear();
        Q_EMIT estimateShown(r.exact);
        return;
    }
    if (!r.estimate) return;
    m_shown = r.estimate;
    const exporting::SizeEstimate& e = *r.estimate;
    QString text = e.exact ? QStringLiteral("File size: %1 (%2 bytes)")
                                 .arg(sizeText(e.bytes), QLocale().toString(qulonglong(e.bytes)))
                           : QStringLiteral("Estimated size: about %1").arg(sizeText(e.bytes));
    if (r.settings.maxBytes) text += QStringLiteral("\nFits with %1").arg(choiceText(e.used));
    m_estimate->setText(text);
    m_time->setText(e.seconds >= 2 ? QStringLiteral("Exporting takes about %1 s")
                                         .arg(QLocale().toString(std::ceil(e.seconds), 'f', 0))
                                   : QString());
    showPreview(r.preview);
    Q_EMIT estimateShown(e.exact);
    // Refined to the exact size once the settings rest.
    if (!e.exact) m_exactDelay.start();
}

void ExportDialog::showPreview(const QImage& picture) {
    if (picture.isNull()) {
        m_preview->clear();
        return;
    }
    // Transparent pixels over a light chequer, as viewers show them.
    QSize size = picture.size();
    if (size.width() > PreviewSize.width() || size.height() > PreviewSize.height())
        size.scale(PreviewSize, Qt::KeepAspectRatio);
    QImage shown(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&shown);
    for (int y = 0; y < size.height(); y += 8)
        for (int x = 0; x < size.width(); x += 8)
            painter.fillRect(x, y, 8, 8, ((x + y) / 8) % 2 ? QColor(204, 204, 204) : Qt::white);
    painter.drawImage(QRect(QPoint(0, 0), size), picture);
    painter.end();
    m_preview->setPixmap(QPixmap::fromImage(shown));
}

bool ExportDialog::exportNow() {
    if (m_exporting) return false;
    const ExportSettings s = settings();
    QString filter, extension;
    switch (s.format) {
    case Format::Gif:
        filter = QStringLiteral("GIF image (*.gif)|*.gif");
        extension = QStringLiteral("gif");
        break;
    case Format::WebP:
        filter = QStringLiteral("Animated WebP (*.webp)|*.webp");
        extension = QStringLiteral("webp");
        break;
    case Format::Apng:
        filter = QStringLiteral("Animated PNG (*.png)|*.png");
        extension = QStringLiteral("png");
        break;
    }
    // Beside the animation's file (or named after it), with the format's extension.
    const QFileInfo named(m_name);
    const QString start =
        named.dir().filePath(named.completeBaseName() + QLatin1Char('.') + extension);
    const auto chosen =
        m_platform.dialogs->savePicture({QStringLiteral("Export"), filter, extension, start, true});
    if (!chosen) return false;
    const QString path = QFileInfo(*chosen).absoluteFilePath();

    // The estimate stops: the export needs the snapshot and the cores.
    m_sampleDelay.stop();
    m_exactDelay.stop();
    m_pending.reset();
    if (m_jobCancel) m_jobCancel->store(true);
    m_job.waitForFinished();

    m_exporting = true;
    for (QWidget* w : {static_cast<QWidget*>(m_format), static_cast<QWidget*>(m_gif),
                       static_cast<QWidget*>(m_webp), static_cast<QWidget*>(m_fit),
                       static_cast<QWidget*>(m_fitSize), static_cast<QWidget*>(m_fitUnit),
                       static_cast<QWidget*>(m_export)})
        w->setEnabled(false);
    m_progress->setValue(0);
    m_progress->show();
    QString failure;
    bool written = false;
    try {
        BackgroundWork::run(
            m_work,
            [this, s, path](WorkProgress& progress) {
                tools::ToolContext context;
                context.progress = [&progress](int percent) {
                    progress.report(gif::Stage::Running, percent, gif::ProgressMessage::Saving);
                };
                context.cancelled = [&progress] { return progress.cancelled(); };
                const exporting::ExportResult result =
                    exporting::exportAnimation(m_image, s, context);
                progress.check();
                gif::writeFileSafely(path, result.bytes);
            },
            [this](gif::Stage, int percent, gif::ProgressMessage) {
                m_progress->setValue(percent);
            });
        written = true;
    } catch (const WorkCancelled&) {
    } catch (const tools::Cancelled&) {
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    m_exporting = false;
    m_progress->hide();
    for (QWidget* w : {static_cast<QWidget*>(m_format), static_cast<QWidget*>(m_gif),
                       static_cast<QWidget*>(m_webp), static_cast<QWidget*>(m_fit),
                       static_cast<QWidget*>(m_export)})
        w->setEnabled(true);
    settingsChanged();
    if (!failure.isEmpty()) {
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 QStringLiteral("The file \"%1\" could not be exported.\n%2")
                                     .arg(QDir::toNativeSeparators(path), failure));
        return false;
    }
    if (written) accept();
    return written;
}

void ExportDialog::reject() {
    // While exporting, Cancel (and Esc) stops the export; the dialog stays.
    if (m_exporting) {
        if (m_work) m_work->cancel();
        return;
    }
    QDialog::reject();
}

} // namespace vorlane
