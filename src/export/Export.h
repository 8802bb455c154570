// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The export of an animation to GIF, animated WebP or APNG, with its size control.

#include <cstdint>

#include <QImage>
#include <QString>

#include "codec/GifImage.h"
#include "export/ExportSettings.h"
#include "tools/ToolContext.h"

namespace vorlane::exporting {

struct ExportResult {
    gif::Bytes bytes;
    // The settings written with: those asked for, or those the fit-under search chose.
    ExportSettings used;
};

// The animation `image` shows, as a file of the settings' format. With a size limit the
// settings are searched for the best quality within it (GIF: lossiness first, up to
// MaxLossy, then colours; WebP: the quality); a limit that nothing meets fails with
// the smallest size found. Never changes `image`. Throws gif::GifError, tools::Cancelled.
ExportResult exportAnimation(const gif::GifImage& image, const ExportSettings& settings,
                             const tools::ToolContext& context = {});

// exportAnimation, written to `path` through gif::writeFileSafely.
ExportResult exportToFile(const gif::GifImage& image, const ExportSettings& settings,
                          const QString& path, const tools::ToolContext& context = {});

// What the export will make, found on a sample of frames: pairs of frames spread over
// the animation where it changes most are exported, and the bytes of each second frame
// against the pixels it changes give the cost of every frame. Small animations are
// exported whole (`exact`).
struct SizeEstimate {
    uint64_t bytes = 0;
    bool exact = false;
    // The settings the estimate is for (the fit-under search's choice).
    ExportSettings used;
    // The time the whole export is expected to take, in seconds.
    double seconds = 0;
};
SizeEstimate estimateSize(const gif::GifImage& image, const ExportSettings& settings,
                          const tools::ToolContext& context = {});

// Frame `frame` as the export will show it, QImage::Format_ARGB32. For GIF with one
// table for all, the table is learnt from this frame alone.
QImage previewFrame(const gif::GifImage& image, size_t frame, const ExportSettings& settings);

// The error of a limit nothing meets.
QString tooLargeText(uint64_t smallest, uint64_t limit);

} // namespace vorlane::exporting
