// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The file workflows of the animation: Open (from the dialog, a recent entry, the
// command line, Revert), Save, Save as, Save optimized as, Save image as, New, and the
// question before closing, each with its questions and messages. The animation itself
// is the model's; this class knows where it lives on disk (its path and whether it has
// a file) and tells the window what happened, so that the window can bring its views in
// line. Questions, file choices, settings and time go through the platform interfaces.

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
class RecentFiles;

class DocumentFiles : public QObject {
    Q_OBJECT
public:
    // Where an opening starts, which decides where the file name comes from.
    enum class OpenOrigin { Dialog, Recent1, Recent2, Recent3, Recent4, CommandLine, Revert };
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

    // "Loaded in <seconds> s", seconds in the shortest decimal form with the default
    // locale's decimal separator and no group separators ("Loaded in 0.125 s").
    static QString loadingTimeText(qint64 elapsedMs);
    // The status text of the codec's progress message ("Loading..." for "Loading").
    static QString progressText(gif::ProgressMessage message);

Q_SIGNALS:
    // A file is about to be read (its question was answered): both views are hidden.
    void opening();
    // The file was read and is the animation now. `notices`: what reading repaired or
    // ignored, and a missing loop setting. `empty`: the file holds no images.
    void opened(const QStringList& notices, bool empty);
    // The file could not be read; "Invalid file format." was said, the animation is as
    // it was.
    void openFailed();
    // New emptied the animation.
    void cleared();
    // The codec's progress on the file being read, written or optimized.
    void progress(gif::Stage stage, int percent, gif::ProgressMessage message);
    void loadingTimeChanged(const QString& text);
    void titleChanged(const QString& title);

private:
    bool askToSave(const QString& question);
    // Writes the image; reports a failure with its reason and returns false.
    bool writeImage(const gif::GifImage& image, const QString& fileName);
    void watch(gif::GifImage& image);
    // Where the Save as dialog starts: the animation's name in its folder.
    QString saveDialogStart() const;
    bool checkSomethingToSave();

    AnimationModel& m_animation;
    RecentFiles& m_recent;
    Platform m_platform;
    QString m_path;
    bool m_hasFile = false;
    // The open dialog starts at the file opened last.
    QString m_openDialogFile;
};

} // namespace vorlane
