// SPDX-License-Identifier: GPL-3.0-or-later
// Windows animated cursors (.ani): a RIFF "ACON" file whose frames are icon or cursor
// files in "icon" chunks of a "fram" list. The picture is the frame shown first: the
// first entry of the "seq " chunk when there is one, otherwise the first frame.

#include <optional>
#include <vector>

#include <QtEndian>

#include "formats/Readers.h"

namespace vorlane::formats::detail {

namespace {

struct Chunk {
    QByteArray id;
    qsizetype offset = 0; // of the chunk's data
    qsizetype size = 0;
};

// The chunks in data[begin, end). A chunk that claims more bytes than remain ends the
// list: a truncated file keeps the chunks that are whole.
std::vector<Chunk> chunks(const QByteArray& data, qsizetype begin, qsizetype end) {
    std::vector<Chunk> list;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    qsizetype at = begin;
    while (end - at >= 8) {
        const qsizetype size = qFromLittleEndian<quint32>(bytes + at + 4);
        if (size > end - at - 8) break;
        list.push_back({data.mid(at, 4), at + 8, size});
        at += 8 + size + (size & 1); // chunks are padded to an even length
    }
    return list;
}

} // namespace

QImage readAnimatedCursor(const QByteArray& data, const ImportLimits& limits) {
    if (data.size() < 12 || !data.startsWith("RIFF") || data.mid(8, 4) != "ACON") return {};
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qsizetype end =
        std::min<qsizetype>(data.size(), 8 + qsizetype(qFromLittleEndian<quint32>(bytes + 4)));

    bool iconFrames = true;
    std::optional<quint32> firstStep;
    std::vector<Chunk> frames;
    for (const Chunk& chunk : chunks(data, 12, end)) {
        if (chunk.id == "anih" && chunk.size >= 36) {
            // Flag 1: the frames are icon files; without it they are bare bitmaps,
            // which this reader does not take.
            iconFrames = (qFromLittleEndian<quint32>(bytes + chunk.offset + 32) & 1) != 0;
        } else if (chunk.id == "seq " && chunk.size >= 4) {
            firstStep = qFromLittleEndian<quint32>(bytes + chunk.offset);
        } else if (chunk.id == "LIST" && chunk.size >= 4 && data.mid(chunk.offset, 4) == "fram") {
            for (const Chunk& frame : chunks(data, chunk.offset + 4, chunk.offset + chunk.size))
                if (frame.id == "icon") frames.push_back(frame);
        }
    }
    const quint32 index = firstStep.value_or(0);
    if (!iconFrames || index >= frames.size()) return {};
    const Chunk& frame = frames[index];
    return readWithQt(data.mid(frame.offset, frame.size), "ico", limits);
}

} // namespace vorlane::formats::detail
