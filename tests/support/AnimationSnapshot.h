// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animation as a user could tell it apart, compared by value: every frame's place,
// size, pixels, colours and records in order, the screen, the loop setting, the comment
// and the name. Undo must give back exactly this.

#include <string>
#include <vector>

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTest>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"

namespace vorlane::test {

// One line for frame i of `image`: place, size, interlacing, pixels, the colours it shows
// (marked "own" when the table is the frame's), and its records with their values.
// `tableKind` false leaves out whether the table is the frame's or the image's, for
// frames that show the same colours from another image.
inline std::string describeFrame(const gif::GifImage& image, size_t i, bool tableKind = true) {
    const gif::Frame& f = image.frame(i);
    std::string s = std::to_string(f.left) + "," + std::to_string(f.top) + " " +
                    std::to_string(f.width()) + "x" + std::to_string(f.height()) +
                    (f.interlaced ? " i" : "") + " px";
    for (uint8_t p : f.pixels())
        s += char('a' + p % 26);
    s += tableKind && !f.localColors().empty() ? " own colors" : " colors";
    for (const gif::Rgb& c : image.activeColors(i))
        s += " " + std::to_string(c.r) + "." + std::to_string(c.g) + "." + std::to_string(c.b);
    for (const auto& r : f.extensions) {
        s += " [" + std::to_string(r->label());
        if (r->isGraphicControl()) {
            const gif::GraphicControl& c = r->control();
            s += " d" + std::to_string(c.delay) + " m" + std::to_string(c.disposal) +
                 (c.transparent ? " t" + std::to_string(c.transparentIndex) : "");
            s += r == f.graphicControlRecord ? " own" : "";
        }
        for (const gif::Bytes& b : r->blocks())
            s += " " + std::string(b.begin(), b.end());
        s += "]";
    }
    return s;
}

struct AnimationSnapshot {
    bool hasImage = false;
    QSize screen;
    std::vector<std::string> frames; // one line per frame
    LoopSetting loop;
    QString comment;
    QString name;
    bool operator==(const AnimationSnapshot&) const = default;

    static AnimationSnapshot of(const AnimationModel& m) {
        AnimationSnapshot s;
        s.hasImage = m.hasImage();
        s.screen = m.screen();
        for (int i = 0; i < m.frameCount(); ++i)
            s.frames.push_back(describeFrame(*m.image(), size_t(i)));
        s.loop = m.loop();
        s.comment = m.comment();
        s.name = m.name();
        return s;
    }
};

// For QCOMPARE's report of a difference.
inline char* toString(const AnimationSnapshot& s) {
    QByteArray text = "image " + QByteArray::number(int(s.hasImage)) + ", screen " +
                      QByteArray::number(s.screen.width()) + "x" +
                      QByteArray::number(s.screen.height()) + ", loop " +
                      (s.loop.infinite ? QByteArray("forever") : QByteArray::number(s.loop.count)) +
                      ", comment \"" + s.comment.toUtf8() + "\", name \"" + s.name.toUtf8() + "\"";
    for (const std::string& f : s.frames)
        text += "\n    " + QByteArray::fromStdString(f);
    return qstrdup(text.constData());
}

} // namespace vorlane::test

namespace vorlane {

// For QCOMPARE's report of a difference: "current 2, rows 1 2".
inline char* toString(const FrameSelection& s) {
    QByteArray text = "current " + QByteArray::number(s.current) + ", rows";
    for (const int r : s.rows)
        text += " " + QByteArray::number(r);
    return qstrdup(text.constData());
}

} // namespace vorlane
