// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared helpers of the document tests: a document wired to the fake platform, a small
// animation file, and a log of the document's signals.

#include <QObject>
#include <QStringList>

#include "codec/GifImage.h"
#include "document/Document.h"
#include "support/FakePlatform.h"
#include "support/GifBuilder.h"
#include "support/TestData.h"

namespace vorlane::test {

// A document on the fakes; `loaded(n)` gives it an animation of n frames as the editing
// commands do (image, frame list, loop record), without opening a file.
struct DocumentFixture {
    FakePlatform fakes;
    Document doc{fakes.platform()};

    void loaded(int frames) {
        doc.setImage(makeAnimation(frames));
        doc.ren();
        doc.makeloopongif();
        doc.setModified(false);
    }
};

// An animation of three 8 x 6 frames (red, green, blue) with delays 10, 20, 30, a loop
// record with `loops` (none when negative) and a comment (none when empty).
inline Bytes threeFrames(int loops = 3, const std::string& comment = "hello") {
    GifBuilder b;
    b.header().screen(8, 6, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    if (loops >= 0) b.loop(uint16_t(loops));
    if (!comment.empty()) b.comment(comment);
    for (int i = 0; i < 3; ++i)
        b.graphicControl(1, uint16_t(10 * (i + 1)))
            .image(0, 0, 8, 6, std::vector<uint8_t>(48, uint8_t(i)));
    b.trailer();
    return b.bytes();
}

// Every signal of a document, in order, as "name" or "name(argument)".
class SignalLog {
public:
    explicit SignalLog(Document& doc) {
        using D = Document;
        on(doc, &D::imageChanged, "imageChanged");
        on(doc, &D::framesRebuilt, "framesRebuilt");
        QObject::connect(&doc, &D::currentFrameChanged, &doc, [this](int k) {
            m_events << QStringLiteral("currentFrameChanged(%1)").arg(k);
        });
        QObject::connect(&doc, &D::modifiedChanged, &doc, [this](bool m) {
            m_events << QStringLiteral("modifiedChanged(%1)").arg(m ? 1 : 0);
        });
        QObject::connect(&doc, &D::titleChanged, &doc, [this](const QString& t) {
            m_events << QStringLiteral("titleChanged(") + t + QLatin1Char(')');
        });
        QObject::connect(&doc, &D::actionWord, &doc, [this](const QString& w) {
            m_events << QStringLiteral("actionWord(") + w + QLatin1Char(')');
        });
        on(doc, &D::refreshRequested, "refreshRequested");
        on(doc, &D::fileOpened, "fileOpened");
        on(doc, &D::recentFilesChanged, "recentFilesChanged");
        on(doc, &D::loadingTimeChanged, "loadingTimeChanged");
    }
    const QStringList& events() const { return m_events; }
    // The events named in `names`, in order, the others left out.
    QStringList only(const QStringList& names) const {
        QStringList kept;
        for (const QString& e : m_events)
            for (const QString& n : names)
                if (e.startsWith(n)) {
                    kept << e;
                    break;
                }
        return kept;
    }

private:
    template <typename Signal> void on(Document& doc, Signal signal, const char* name) {
        QObject::connect(&doc, signal, &doc,
                         [this, name] { m_events << QString::fromLatin1(name); });
    }
    QStringList m_events;
};

} // namespace vorlane::test
