// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/DocumentFiles.h"

#include <algorithm>
#include <exception>
#include <span>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLocale>

#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/SafeFile.h"
#include "codec/Unoptimize.h"
#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/RecentFiles.h"
#include "document/Recovery.h"
#include "export/AnimationFiles.h"
#include "platform/Clock.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {

const QString RevertQuestion =
    QStringLiteral("Do you want to recover the last saved version of this file? Be careful, "
                   "this will definetly revert all unsaved changes.");
const QString GifFilter =
    QStringLiteral("GIF image (*.gif)|*.gif|Animated WebP (*.webp)|*.webp|"
                   "Animated PNG (*.png;*.apng)|*.png;*.apng|Vorlane Gif Format (*.vlgf)|*.vlgf");
const QString SaveFilter =
    QStringLiteral("GIF image (*.gif)|*.gif|Vorlane Gif format (*.vlgf)|*.vlgf");
const QString OptimizedFilter = QStringLiteral("Gif image (*.gif)|*.gif");
const QString BitmapFilter = QStringLiteral("Bitmap image (*.bmp)|*.bmp");

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString saveFailedText(const QString& fileName, const QString& reason) {
    return QStringLiteral("The file ") + quoted(QDir::toNativeSeparators(fileName)) +
           QStringLiteral(" could not be saved.\n") + reason;
}

// Names from dialogs and the command line may be relative; the path and the recent list
// keep full names so that they still name the file from another working folder.
QString fullName(const QString& fileName) {
    return QFileInfo(fileName).absoluteFilePath();
}

QString fileNamePart(const QString& fileName) {
    return QFileInfo(fileName).fileName();
}

} // namespace

DocumentFiles::DocumentFiles(AnimationModel& animation, RecentFiles& recent,
                             const Platform& platform, QObject* parent)
    : QObject(parent), m_animation(animation), m_recent(recent), m_platform(platform) {
    connect(&animation, &AnimationModel::nameChanged, this,
            [this] { Q_EMIT titleChanged(title()); });
    connect(&animation, &AnimationModel::reset, this, [this] { Q_EMIT titleChanged(title()); });
}

QString DocumentFiles::title() const {
    return m_animation.name() + QStringLiteral(" - ") + AppTitle;
}

QString DocumentFiles::loadingTimeText(qint64 elapsedMs) {
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    const double seconds = double(std::max<qint64>(0, elapsedMs)) / 1000.0;
    return QStringLiteral("Loaded in ") +
           locale.toString(seconds, 'f', QLocale::FloatingPointShortest) + QStringLiteral(" s");
}

QString DocumentFiles::progressText(gif::ProgressMessage message) {
    switch (message) {
    case gif::ProgressMessage::Loading:
        return QStringLiteral("Loading...");
    case gif::ProgressMessage::Converting:
        return QStringLiteral("Converting...");
    case gif::ProgressMessage::Rendering:
        return QStringLiteral("Preparing...");
    case gif::ProgressMessage::Copying:
        return QStringLiteral("Copy in progress...");
    case gif::ProgressMessage::Saving:
        return QStringLiteral("Saving image...");
    case gif::ProgressMessage::Optimizing:
        return QStringLiteral("Optimizing...");
    }
    return {};
}

namespace {
void watch(gif::GifImage& image, WorkProgress& progress) {
    image.onProgress = [&progress](gif::Stage stage, int percent, gif::ProgressMessage message) {
        progress.report(stage, percent, message);
    };
}
} // namespace

bool DocumentFiles::runJob(const std::function<void(WorkProgress&)>& job,
                           gif::ProgressMessage closing) {
    try {
        BackgroundWork::run(m_work, job,
                            [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
                                Q_EMIT progress(stage, percent, message);
                            });
        return true;
    } catch (const WorkCancelled&) {
        Q_EMIT progress(gif::Stage::Ending, 100, closing);
        return false;
    }
}

bool DocumentFiles::askToSave(const QString& question) {
    if (!m_animation.isModified()) return true;
    const auto answer =
        m_platform.prompts->ask(Prompts::Icon::Warning, Prompts::Buttons::YesNoCancel, question);
    if (answer == Prompts::Answer::Cancel) return false;
    // A save that failed must not be followed by discarding the animation; a save
    // dialog cancelled by the user goes on, as answering No would.
    return answer != Prompts::Answer::Yes || save() != SaveResult::Failed;
}

// ---- opening ---------------------------------------------------------------------------

void DocumentFiles::open(OpenOrigin origin, const QString& fileName) {
    QString name;
    switch (origin) {
    case OpenOrigin::Dialog: {
        const auto chosen =
            m_platform.dialogs->openPicture({QString(), GifFilter, m_openDialogFile});
        if (!chosen) return;
        name = *chosen;
        break;
    }
    case OpenOrigin::Recent1:
    case OpenOrigin::Recent2:
    case OpenOrigin::Recent3:
    case OpenOrigin::Recent4:
        name = m_recent.file(int(origin) - int(OpenOrigin::Recent1) + 1);
        break;
    case OpenOrigin::CommandLine:
        name = fileName;
        break;
    case OpenOrigin::Revert:
        name = m_path;
        break;
    }

    if (name.isEmpty() || !QFileInfo(name).isFile()) {
        m_platform.prompts->tell(Prompts::Icon::Warning, FileMissing);
        return;
    }
    name = fullName(name);
    m_openDialogFile = name;

    if (origin != OpenOrigin::Revert &&
        !askToSave(QStringLiteral("Do you want to save changes made to ") +
                   quoted(m_animation.name()) + QStringLiteral("\nbefore opening selected file?")))
        return;

    QStringList notices;
    qint64 t0 = 0;
    qint64 t1 = 0;
    gif::GifImage result;
    try {
        const bool done = runJob(
            [&](WorkProgress& progress) {
                t0 = m_platform.clock->nowMs();
                gif::GifImage loaded;
                watch(loaded, progress);
                loaded.onWarning = [&notices](const std::string& warning) {
                    const QString text = QString::fromStdString(warning);
                    if (!notices.contains(text)) notices << text;
                };
                // GIF, animated WebP or APNG, told apart by their first bytes.
                exporting::readAnimationFile(loaded, name);
                t1 = m_platform.clock->nowMs();
                // Browsers play a file without a loop record once; saved from here it
                // will repeat indefinitely. That rule stays, but the user is told.
                if (loaded.frameCount() > 0 &&
                    std::none_of(loaded.frame(0).extensions.begin(),
                                 loaded.frame(0).extensions.end(),
                                 [](const gif::ExtensionPtr& r) { return r->isLoop(); }))
                    notices.prepend(NoLoopNotice);
                result = gif::unoptimize(loaded);
                result.onProgress = nullptr;
            },
            gif::ProgressMessage::Loading);
        if (!done) {
            Q_EMIT openFailed();
            return;
        }
    } catch (const std::exception& e) {
        // The animation being edited stays as it was: a file that cannot be read takes
        // nothing away. A file refused for its size is not called invalid: the message
        // says what it would need and the limit.
        Q_EMIT progress(gif::Stage::Ending, 100, gif::ProgressMessage::Loading);
        const bool tooLarge = dynamic_cast<const gif::GifLimitError*>(&e) != nullptr;
        m_platform.prompts->tell(Prompts::Icon::Warning,
                                 tooLarge ? QString::fromStdString(e.what()) : InvalidFormat);
        Q_EMIT openFailed();
        return;
    }
    Q_EMIT opening();
    const bool empty = result.frameCount() == 0;
    m_animation.load(std::move(result), fileNamePart(name));
    m_path = name;
    m_hasFile = true;
    Q_EMIT loadingTimeChanged(loadingTimeText(t1 - t0));
    m_recent.add(name);
    Q_EMIT opened(notices, empty);
}

// ---- saving ----------------------------------------------------------------------------

bool DocumentFiles::writeImage(const gif::GifImage& image, const QString& fileName,
                               const std::function<void(gif::GifImage&)>& prepare) {
    try {
        return runJob(
            [&](WorkProgress& progress) {
                gif::GifImage copy;
                watch(copy, progress);
                copy.assign(image);
                if (prepare) prepare(copy);
                // Written beside the target and renamed over it, so a failure or a
                // cancel leaves an existing file as it was.
                copy.save(fileName);
            },
            gif::ProgressMessage::Saving);
    } catch (const std::exception& e) {
        Q_EMIT progress(gif::Stage::Ending, 100, gif::ProgressMessage::Saving);
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 saveFailedText(fileName, QString::fromUtf8(e.what())));
        return false;
    }
}

bool DocumentFiles::checkSomethingToSave() {
    if (m_animation.frameCount() > 0) return true;
    m_platform.prompts->tell(Prompts::Icon::Information, NothingToSave);
    return false;
}

QString DocumentFiles::saveDialogStart() const {
    // The animation's own folder; for an animation without a file, the folder of the file
    // opened last, else the home folder (never the program's working folder).
    QString folder;
    if (!m_path.isEmpty())
        folder = QFileInfo(m_path).absolutePath();
    else if (!m_openDialogFile.isEmpty())
        folder = QFileInfo(m_openDialogFile).absolutePath();
    else
        folder = QDir::homePath();
    return QDir(folder).filePath(m_animation.name());
}

DocumentFiles::SaveResult DocumentFiles::save() {
    if (!m_animation.hasImage()) return SaveResult::Cancelled;
    if (!checkSomethingToSave()) return SaveResult::Cancelled;
    QString target = m_path;
    const bool chosen = target.isEmpty();
    if (chosen) {
        const auto name =
            m_platform.dialogs->savePicture({QStringLiteral("Save as"), SaveFilter,
                                             QStringLiteral("gif"), saveDialogStart(), true});
        if (!name) return SaveResult::Cancelled;
        target = fullName(*name);
    }
    if (!writeImage(m_animation.imageForSaving(m_animation.comment()), target))
        return SaveResult::Failed;
    if (chosen) {
        m_path = target;
        m_animation.setName(fileNamePart(target));
    }
    m_recent.add(target);
    m_hasFile = true;
    m_animation.markSaved();
    return SaveResult::Saved;
}

void DocumentFiles::saveAs() {
    if (!m_animation.hasImage() || !checkSomethingToSave()) return;
    const auto name = m_platform.dialogs->savePicture(
        {QStringLiteral("Save as"), SaveFilter, QStringLiteral("gif"), saveDialogStart(), true});
    if (!name) return;
    const QString target = fullName(*name);
    // The comment as last saved or read: Save as writes the animation as Save left it.
    if (!writeImage(m_animation.imageForSaving(m_animation.savedComment()), target)) return;
    m_path = target;
    m_animation.setName(fileNamePart(target));
}

void DocumentFiles::saveOptimizedAs() {
    if (!m_animation.hasImage() || !checkSomethingToSave()) return;
    const auto name =
        m_platform.dialogs->savePicture({QStringLiteral("Save optimized as..."), OptimizedFilter,
                                         QStringLiteral("gif"), QString(), true});
    if (!name) return;
    const QString target = fullName(*name);
    // The optimizer changes the frames and their records: it works on the writer's copy,
    // never on records the animation shares.
    writeImage(
        m_animation.imageForSaving(m_animation.savedComment()), target, [](gif::GifImage& copy) {
            gif::OptimizeOptions options;
            options.crop = true;
            options.merge = true;
            options.cleanup = true;
            options.colorTables = true;
            options.colorReduce = false;
            options.reduction = {gif::ReductionSettings::Method::None, 8, gif::Dither::Nearest};
            gif::optimize(copy, options);
        });
}

void DocumentFiles::revert() {
    if (!m_hasFile || m_path.isEmpty()) return;
    const auto answer = m_platform.prompts->ask(Prompts::Icon::Warning, Prompts::Buttons::YesCancel,
                                                RevertQuestion);
    if (answer != Prompts::Answer::Yes) return;
    open(OpenOrigin::Revert);
}

void DocumentFiles::saveFrameAsBitmap(int row) {
    if (row < 0 || row >= m_animation.frameCount()) return;
    // The dialog does not ask about replacing a file: the name written may differ from
    // the one typed (".bmp" is added), and the question must be about the one written.
    const auto chosen =
        m_platform.dialogs->saveFile({QString(), BitmapFilter, QString(), QString(), false});
    if (!chosen) return;
    QString target = fullName(*chosen);
    if (!target.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        target += QLatin1String(".bmp");
    if (QFileInfo::exists(target)) {
        // The wording of Qt's own file dialog.
        const auto answer =
            m_platform.prompts->ask(Prompts::Icon::Warning, Prompts::Buttons::YesNo,
                                    QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                        .arg(fileNamePart(target)));
        if (answer != Prompts::Answer::Yes) return;
    }

    QString reason;
    const QImage picture = m_animation.ownPicture(row);
    if (picture.isNull()) {
        reason = QStringLiteral("The image has no pixels.");
    } else {
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (!picture.save(&buffer, "BMP")) {
            reason = QStringLiteral("The picture could not be encoded.");
        } else {
            try {
                gif::writeFileSafely(
                    target,
                    std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(encoded.constData()),
                                             size_t(encoded.size())));
            } catch (const gif::GifError& e) {
                reason = QString::fromUtf8(e.what());
            }
        }
    }
    if (!reason.isEmpty())
        m_platform.prompts->tell(Prompts::Icon::Error, saveFailedText(target, reason));
}

// ---- new and closing -------------------------------------------------------------------

bool DocumentFiles::newAnimation() {
    if (!askToSave(QStringLiteral("Do you want to save changes made to current animation ") +
                   quoted(m_animation.name()) + QStringLiteral(" before creating new animation?")))
        return false;
    m_path.clear();
    m_hasFile = false;
    m_animation.clear();
    Q_EMIT loadingTimeChanged(QString());
    Q_EMIT cleared();
    return true;
}

void DocumentFiles::startNamed(const QString& name) {
    m_path.clear();
    m_hasFile = false;
    m_animation.startEmpty(name);
    Q_EMIT loadingTimeChanged(QString());
}

bool DocumentFiles::recover(const RecoveryCopy& copy) {
    gif::GifImage result;
    try {
        // The copy holds the frames as they were edited: read, never unoptimized.
        if (!runJob(
                [&](WorkProgress& progress) {
                    gif::GifImage loaded;
                    watch(loaded, progress);
                    readRecoveryCopy(copy, loaded);
                    loaded.onProgress = nullptr;
                    result = std::move(loaded);
                },
                gif::ProgressMessage::Loading))
            return false;
    } catch (...) {
        Q_EMIT progress(gif::Stage::Ending, 100, gif::ProgressMessage::Loading);
        throw;
    }
    Q_EMIT opening();
    const RecoveryInfo& info = copy.info;
    m_animation.restore(std::move(result), info.name, info.loop, info.comment, info.savedComment);
    m_path = info.path;
    m_hasFile = info.hasFile && !info.path.isEmpty();
    Q_EMIT loadingTimeChanged(QString());
    Q_EMIT opened({}, m_animation.frameCount() == 0);
    return true;
}

bool DocumentFiles::mayClose() {
    if (!m_animation.isModified()) return true;
    const auto answer = m_platform.prompts->ask(
        Prompts::Icon::Warning, Prompts::Buttons::YesNoCancel,
        QStringLiteral("You have not saved the changes.\nDo you want to save current file "
                       "before to quit?"));
    switch (answer) {
    case Prompts::Answer::Yes:
        return save() != SaveResult::Failed;
    case Prompts::Answer::No:
        return true;
    default:
        return false;
    }
}

} // namespace vorlane
