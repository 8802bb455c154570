// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The file workflows of the animation: Open (from the dialog, a recent entry, the
// command line, Revert), Save, Save as, Save optimized as, Save image as, New, and the
// question before closing, each with its questions and messages. The animation itself
// is the model's; this class knows where it lives on disk (its path and whether it has
// a file) and tells the window what happened, so that the window can bring its views in
// line. Questions, file choices, settings and time go through the platform interfaces.

#include <functional>

#include <QObject>
#include <QString>
#include <QStringList>

#include "codec/GifTypes.h"
#include "platform/Platform.h"

namespace vorlane {

namespace gif {
class GifImage;
}
class AnimationModel;
class BackgroundWork;
class RecentFiles;
struct RecoveryCopy;
class WorkProgress;

class DocumentFiles : public QObject {
    Q_OBJECT
public:
    // Where an opening starts, which decides where the file name comes from.
    enum class OpenOrigin { Dialog, Recent1, Recent2, Recent3, Recent4, CommandLine, Revert };
    // Failed: nothing was written, as a failure said or because the writing was
    // cancelled; what was to follow the save does not happen.
    enum class SaveResult { Saved, Cancelled, Failed };

    static inline const QString AppTitle = QStringLiteral("Vorlane Gif");
    static inline const QString FileMissing = QStringLiteral("File does not exist");
    static inline const QString InvalidFormat = QStringLiteral("Invalid file format.");
    static inline const QString NothingToSave =
        QStringLiteral("The animation has no images to save.");
    static inline const QString NoLoopNotice = QStringLiteral(
        "The file has no loop setting, so browsers play it once. Saved from here, it will "
        "repeat indefinitely: choose \"Stop after\" in the Loop section to limit it.");

    DocumentFiles(AnimationModel& animation, RecentFiles& recent, const Platform& platform,
                  QObject* parent = nullptr);

    // Reading, writing and optimizing run on `work` (nullptr: on this thread).
    void setWork(BackgroundWork* work) { m_work = work; }

    QString path() const { return m_path; }
    bool hasFile() const { return m_hasFile; }
    // name + " - " + "Vorlane Gif"
    QString title() const;

    // `fileName` is used by the command-line origin only.
    void open(OpenOrigin origin, const QString& fileName = {});
    SaveResult save();
    void saveAs();
    void saveOptimizedAs();
    void revert();
    // Save image as, for the frame at `row`.
    void saveFrameAsBitmap(int row);
    // New, after the save question. Returns false when the question was cancelled (or
    // the save it asked for failed) and nothing changed.
    bool newAnimation();
    // The close request's question: whether the window may close.
    bool mayClose();
    // A new animation built from scratch under `name` (the wizard): no file, so that the
    // first Save asks for one. Not an edit and no question: New ran before.
    void startNamed(const QString& name);
    // Opens a recovery copy (Recovery.h) as the animation it holds: under its name and
    // path, modified, so that Save writes it to its file. Read on the worker as a file
    // is; false when the reading was cancelled. Throws what reading the copy threw (a
    // damaged copy).
    bool recover(const RecoveryCopy& copy);

    // "Loaded in <seconds> s", seconds in the shortest decimal form with the default
    // locale's decimal separator and no group separators ("Loaded in 0.125 s").
    static QString loadingTimeText(qint64 elapsedMs);
    // The status text of the codec's progress message ("Loading..." for "Loading").
    static QString progressText(gif::ProgressMessage message);

Q_SIGNALS:
    // A file was read and is about to become the animation: both views are hidden.
    void opening();
    // The file was read and is the animation now. `notices`: what reading repaired or
    // ignored, and a missing loop setting. `empty`: the file holds no images.
    void opened(const QStringList& notices, bool empty);
    // The file could not be read ("Invalid file format." was said) or its reading was
    // cancelled; the animation is as it was.
    void openFailed();
    // New emptied the animation.
    void cleared();
    // The codec's progress on the file being read, written or optimized.
    void progress(gif::Stage stage, int percent, gif::ProgressMessage message);
    void loadingTimeChanged(const QString& text);
    void titleChanged(const QString& title);

private:
    bool askToSave(const QString& question);
    // Writes a copy of the image, after `prepare` made of it what is written; reports a
    // failure with its reason and returns false, as it does when it was cancelled.
    bool writeImage(const gif::GifImage& image, const QString& fileName,
                    const std::function<void(gif::GifImage&)>& prepare = {});
    // Runs `job` on the worker with its progress shown; false when it was cancelled
    // (the progress closed). Rethrows what the job threw.
    bool runJob(const std::function<void(WorkProgress&)>& job, gif::ProgressMessage closing);
    // Where the Save as dialog starts: the animation's name in its folder.
    QString saveDialogStart() const;
    bool checkSomethingToSave();

    AnimationModel& m_animation;
    RecentFiles& m_recent;
    BackgroundWork* m_work = nullptr;
    Platform m_platform;
    QString m_path;
    bool m_hasFile = false;
    // The open dialog starts at the file opened last.
    QString m_openDialogFile;
};

} // namespace vorlane
