// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/NewAnimation.h"

#include <memory>

#include "codec/GifImage.h"
#include "document/Document.h"
#include "editing/FrameEditor.h"
#include "formats/PictureImport.h"
#include "platform/Prompts.h"

namespace vorlane {

NewAnimation::NewAnimation(Document& document, const Platform& platform,
                           const formats::PictureImport& import)
    : m_doc(document), m_platform(platform), m_import(import) {}

bool NewAnimation::run(const NewAnimationRequest& request) {
    // Unsaved changes first: New asks whether to save them. A Cancel there, or a Save
    // that failed, leaves the changes in place, and building the new animation anyway
    // would throw them away; the creation stops instead.
    if (m_doc.isModified()) {
        m_doc.FileNewItemClick();
        if (m_doc.isModified()) return false;
    }

    m_doc.discardImageAndFile();
    m_doc.setAnimationName(request.name);

    for (int i = 0; i < request.files.size(); ++i) {
        if (onFile) onFile(i);
        if (!Adding(request.files.at(i), request.delay)) {
            const QString name =
                i < request.names.size() ? request.names.at(i) : request.files.at(i);
            m_platform.prompts->tell(Prompts::Icon::Warning,
                                     ImportFailed + QLatin1Char('"') + name + QLatin1Char('"'));
        }
    }

    if (m_doc.frameCount() > 0) {
        try {
            if (!m_doc.loopext()) throw gif::GifError(LoopFailed.toStdString());
            if (request.loopForever) {
                m_doc.infiniClick();
            } else {
                m_doc.finiClick();
                m_doc.NumLoopsChange(request.loops);
            }
            m_doc.makeloopongif();
        } catch (const gif::GifError&) {
            m_platform.prompts->tell(Prompts::Icon::Warning, LoopFailed);
        }
    }

    if (m_doc.frameCount() == 0) {
        // Not one file could be read: the user is left with what New gives (pictures can
        // be added, nothing to play or save), not with an empty animation marked played.
        m_doc.FileNewItemClick();
        return true;
    }
    m_doc.requestRefresh();
    m_doc.setModified(true);
    m_doc.setView(Document::View::Animation);
    m_doc.sendActionWord(QStringLiteral("played"));
    if (m_doc.frameCount() > 0) m_doc.selectFrame(0);
    m_doc.clearLoadingTime();
    return true;
}

bool NewAnimation::Adding(const QString& fileName, int delay) {
    const QImage picture = m_import.load(fileName);
    if (picture.isNull()) return false;
    try {
        const QImage reduced = formats::PictureImport::reduce(picture);
        // The frame goes straight into the document image: AddImage leaves the image as
        // it was when it fails, so no copy of all earlier frames is needed per file.
        if (gif::GifImage* image = m_doc.image()) {
            FrameEditor::AddImage(*image, reduced, uint16_t(qBound(0, delay, 0xFFFF)));
        } else {
            auto fresh = std::make_unique<gif::GifImage>();
            FrameEditor::AddImage(*fresh, reduced, uint16_t(qBound(0, delay, 0xFFFF)));
            m_doc.setImage(std::move(fresh));
        }
    } catch (const gif::GifError&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_doc.ren();
    return true;
}

} // namespace vorlane
