// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared helpers of the document tests: the animation, its file workflows, the recent
// list and the frame list wired to the fake platform, a small animation file, and a log
// of the signals the window follows.

#include <utility>

#include <QObject>
#include <QStringList>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "document/DocumentFiles.h"
#include "document/FrameListModel.h"
#include "document/RecentFiles.h"
#include "support/FakePlatform.h"
#include "support/GifBuilder.h"
#include "support/TestData.h"

namespace vorlane::test {

struct DocumentFixture {
    FakePlatform fakes;
    AnimationModel animation;
    RecentFiles recent{&fakes.settings};
    DocumentFiles files{animation, recent, fakes.platform()};
    FrameListModel list{animation};

    // An animation of n frames of makeAnimation under "Untitled.gif", as if built here:
    // no file, not modified.
    void loaded(int frames) {
        animation.load(std::move(*makeAnimation(frames)), AnimationModel::UntitledName);
    }
    // An edit that changes no frame: the animation counts as modified.
    void edit() { animation.pushUnchanged(QStringLiteral("Edit")); }
    void open(const QString& fileName) {
        files.open(DocumentFiles::OpenOrigin::CommandLine, fileName);
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

// The signals of the animation, its files and the recent list, in order, as "name" or
// "name(argument)".
class SignalLog {
public:
    explicit SignalLog(DocumentFixture& f) {
        using A = AnimationModel;
        using D = DocumentFiles;
        on(f.animation, &A::reset, "reset");
        on(f.animation, &A::framesInserted, "framesInserted");
        on(f.animation, &A::framesRemoved, "framesRemoved");
        QObject::connect(&f.animation, &A::modifiedChanged, &f.animation, [this](bool m) {
            m_events << QStringLiteral("modifiedChanged(%1)").arg(m ? 1 : 0);
        });
        on(f.files, &D::opening, "opening");
        on(f.files, &D::opened, "opened");
        on(f.files, &D::openFailed, "openFailed");
        on(f.files, &D::cleared, "cleared");
        QObject::connect(&f.files, &D::titleChanged, &f.files, [this](const QString& t) {
            m_events << QStringLiteral("titleChanged(") + t + QLatin1Char(')');
        });
        QObject::connect(&f.files, &D::loadingTimeChanged, &f.files, [this](const QString& t) {
            m_events << QStringLiteral("loadingTimeChanged(") + t + QLatin1Char(')');
        });
        on(f.recent, &RecentFiles::changed, "recentChanged");
    }
    const QStringList& events() const { return m_events; }
    // The events whose text starts with one of `names`, in order.
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
    bool has(const QString& name) const { return !only({name}).isEmpty(); }

private:
    template <typename Sender, typename Signal>
    void on(Sender& sender, Signal signal, const char* name) {
        QObject::connect(&sender, signal, &sender,
                         [this, name] { m_events << QString::fromLatin1(name); });
    }
    QStringList m_events;
};

} // namespace vorlane::test
