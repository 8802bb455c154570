// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/NewAnimation.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/BackgroundWork.h"
#include "document/DocumentFiles.h"
#include "document/EditSteps.h"
#include "editing/FrameCommands.h"
#include "formats/PictureImport.h"
#include "platform/Prompts.h"

namespace vorlane {

NewAnimation::NewAnimation(DocumentFiles& files, AnimationModel& animation,
                           const Platform& platform, const formats::PictureImport& import)
    : m_files(files), m_animation(animation), m_platform(platform), m_import(import) {}

bool NewAnimation::run(const NewAnimationRequest& request) {
    // Unsaved changes first: New asks whether to save them. A Cancel there, or a Save
    // that failed, leaves the changes in place, and building the new animation anyway
    // would throw them away; the creation stops instead.
    if (m_animation.isModified() && !m_files.newAnimation()) return false;

    m_files.startNamed(request.name);
    auto macro = std::make_unique<MacroStep>(StepName);
    const gif::ReductionSettings reduction = m_animation.reduction();
    try {
        BackgroundWork::run(
            work,
            [&](WorkProgress& progress) {
                for (int i = 0; i < request.files.size(); ++i) {
                    progress.onWindow([&] {
                        if (onFile) onFile(i);
                    });
                    std::optional<gif::Frame> frame =
                        framing(request.files.at(i), request.delay, reduction);
                    progress.check();
                    progress.onWindow([&] {
                        if (frame) {
                            std::vector<gif::Frame> frames;
                            frames.push_back(std::move(*frame));
                            macro->run(m_animation,
                                       std::make_unique<InsertFramesStep>(
                                           StepName, m_animation.frameCount(), std::move(frames)));
                            return;
                        }
                        const QString name =
                            i < request.names.size() ? request.names.at(i) : request.files.at(i);
                        m_platform.prompts->tell(Prompts::Icon::Warning,
                                                 ImportFailed + QLatin1Char('"') + name +
                                                     QLatin1Char('"'));
                    });
                }
            },
            {});
    } catch (const WorkCancelled&) {
        m_animation.discard(std::move(macro));
        m_files.newAnimation();
        return true;
    }

    if (m_animation.frameCount() == 0) {
        // Not one file could be read: the user is left with what New gives (pictures can
        // be added, nothing to play or save), not with an empty animation marked played.
        m_files.newAnimation();
        return true;
    }
    const LoopSetting loop{request.loopForever, request.loopForever
                                                    ? m_animation.loop().count
                                                    : std::clamp(request.loops, 1, 0xFFFF)};
    macro->run(m_animation, std::make_unique<SetLoopStep>(StepName, loop));
    macro->after = FrameSelection{0, {0}};
    m_animation.pushDone(std::move(macro));
    return true;
}

std::optional<gif::Frame> NewAnimation::framing(const QString& fileName, int delay,
                                                const gif::ReductionSettings& reduction) const {
    const QImage picture = m_import.load(fileName);
    if (picture.isNull()) return std::nullopt;
    try {
        const QImage reduced = formats::PictureImport::reduce(picture);
        return FrameCommands::makeFrame(reduced, uint16_t(std::clamp(delay, 0, 0xFFFF)), reduction);
    } catch (const gif::GifError&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace vorlane
