// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Building a new animation from a list of picture files, as the new-animation wizard
// asks: the animation is emptied (after offering to save unsaved changes), each file
// becomes a frame with the chosen delay, and the loop choice is set, all as one step of
// the new animation's history.

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

#include "codec/Frame.h"
#include "codec/GifImage.h"
#include "platform/Platform.h"

namespace vorlane {

class AnimationModel;
class BackgroundWork;
class DocumentFiles;
namespace formats {
class PictureImport;
}

struct NewAnimationRequest {
    QString name;      // as typed, blanks included
    QStringList files; // full paths, in animation order
    QStringList names; // the names the list shows, one per file (for messages)
    bool loopForever = true;
    int loops = 1;  // with loopForever false
    int delay = 60; // 1/100 s, each frame
};

class NewAnimation {
public:
    static inline const QString ImportFailed = QStringLiteral("Impossible to import the image ");
    static inline const QString StepName = QStringLiteral("New animation");

    NewAnimation(DocumentFiles& files, AnimationModel& animation, const Platform& platform,
                 const formats::PictureImport& import);

    // Called once before each file, with the file's index (on the window's thread).
    std::function<void(int index)> onFile;
    // The files are read and made into frames there (nullptr: on this thread). A cancel
    // leaves the animation as after New.
    BackgroundWork* work = nullptr;

    // Runs the creation. Returns false, with the animation untouched, when unsaved
    // changes were not dealt with (the save question was cancelled or its Save failed).
    // A file that cannot be imported is reported and skipped. Afterwards frame 0 is
    // current and the animation counts as modified; when no file could be added, the
    // animation is as after New.
    bool run(const NewAnimationRequest& request);

private:
    // The frame of the picture in `fileName` with `delay`; none when the file cannot be
    // read, reduced or made into a frame. Touches nothing (it runs on the worker).
    std::optional<gif::Frame> framing(const QString& fileName, int delay,
                                      const gif::ReductionSettings& reduction) const;

    DocumentFiles& m_files;
    AnimationModel& m_animation;
    Platform m_platform;
    const formats::PictureImport& m_import;
};

} // namespace vorlane
