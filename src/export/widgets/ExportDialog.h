// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Export dialog (File > "Export..."): the format and its settings, a preview of the
// current frame as the export will show it, and the file's size, estimated on a sample
// of frames within about a second of a change and worked out exactly once the settings
// rest. It exports a snapshot of the animation taken when it opened, so that nothing it
// does changes the document; the export runs on the window's worker with progress and
// Cancel.

#include <atomic>
#include <memory>
#include <optional>

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>
#include <QString>
#include <QTimer>

#include "codec/GifImage.h"
#include "export/Export.h"
#include "export/ExportSettings.h"
#include "platform/Platform.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;

namespace vorlane {

class BackgroundWork;

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // `image`: the snapshot to export (its frames share their pixels with the document);
    // `current`: the frame the preview shows; `name`: the animation's file (or its name
    // without one), which the file dialog starts beside.
    ExportDialog(gif::GifImage image, int current, const QString& name, const Platform& platform,
                 BackgroundWork* work, QWidget* parent = nullptr);
    ~ExportDialog() override;

    exporting::ExportSettings settings() const;
    void setSettings(const exporting::ExportSettings& settings);

    // Asks where to write, exports and writes; returns true when the file was written
    // (the dialog then closes).
    bool exportNow();

    // The estimate shown last, for tests.
    std::optional<exporting::SizeEstimate> shownEstimate() const { return m_shown; }

Q_SIGNALS:
    // A new estimate (or exact size) and preview are shown.
    void estimateShown(bool exact);

private:
    struct Result {
        QImage preview;
        std::optional<exporting::SizeEstimate> estimate;
        QString failure;
        exporting::ExportSettings settings;
        bool exact = false;
    };

    void buildControls();
    void settingsChanged();
    void startJob(bool exact);
    void jobFinished();
    void showFormat();
    void showPreview(const QImage& picture);
    void reject() override;

    gif::GifImage m_image;
    int m_current;
    QString m_name;
    Platform m_platform;
    BackgroundWork* m_work;

    QComboBox* m_format = nullptr;
    QGroupBox* m_gif = nullptr;
    QSpinBox* m_colors = nullptr;
    QComboBox* m_palette = nullptr;
    QComboBox* m_dither = nullptr;
    QSlider* m_lossy = nullptr;
    QLabel* m_lossyValue = nullptr;
    QCheckBox* m_optimize = nullptr;
    QGroupBox* m_webp = nullptr;
    QCheckBox* m_lossless = nullptr;
    QSpinBox* m_quality = nullptr;
    QLabel* m_apngNote = nullptr;
    QCheckBox* m_fit = nullptr;
    QDoubleSpinBox* m_fitSize = nullptr;
    QComboBox* m_fitUnit = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_estimate = nullptr;
    QLabel* m_time = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_cancel = nullptr;

    // A change waits this long before the sample estimate starts, so that a dragged
    // slider does not start one per step; the exact size waits for a longer rest.
    QTimer m_sampleDelay;
    QTimer m_exactDelay;
    QFutureWatcher<Result> m_job;
    std::shared_ptr<std::atomic<bool>> m_jobCancel;
    // The job to start once the running one has stopped: none, sample or exact.
    std::optional<bool> m_pending;
    std::optional<exporting::SizeEstimate> m_shown;
    bool m_exporting = false;
};

} // namespace vorlane
