// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing and reading whole files without losing or hanging.
//
// Writing: a regular file (or a name not yet taken) is written to a temporary file in
// the same folder with checked, unbuffered writes, flushed to the disk, and renamed over
// the target only then, so that a failure at any point leaves the old file byte for byte
// and no temporary file. Buffered writers cannot promise this: QSaveFile::commit() in Qt
// 6.4 reports success when its final flush failed on a full disk, leaving an empty file.
// A target that exists and is not a regular file is never replaced: a pipe or a device
// is written into as it is, a pipe without a reader is refused at once instead of
// waiting for one, and anything else (a folder, a socket) is refused. Failures throw
// GifError naming the file and the system's reason ("No space left on device").
//
// Reading: the first bytes are handed to a check before the rest is read, so that a
// device or a huge file of another kind is refused at once; pipes and devices are read
// without ever blocking for longer than an idle timeout, and never beyond a size limit.

#include <cstdint>
#include <functional>
#include <span>

#include <QString>

#include "codec/GifTypes.h"

namespace vorlane::gif {

// Writes `bytes` as the whole content of the file at `path`. Throws GifError
// ("Cannot write \"PATH\": REASON", "Cannot create ...", "Cannot save ...").
void writeFileSafely(const QString& path, std::span<const uint8_t> bytes);

struct ReadFileLimits {
    // More bytes than this fail the read.
    uint64_t maxBytes = uint64_t(1) << 30;
    // A pipe or device that delivers nothing for this long fails the read.
    int idleTimeoutMs = 10000;
    // How many bytes the head check receives (fewer when the file is shorter).
    size_t headBytes = 6;
};

// The whole content of the file. `checkHead`, when given, receives the first
// `limits.headBytes` bytes before anything more is read and throws to refuse the file.
// Throws GifError for a file that cannot be opened or read, is larger than the limit, or
// whose pipe or device stays silent past the idle timeout.
Bytes readFileBounded(const QString& path, const ReadFileLimits& limits,
                      const std::function<void(std::span<const uint8_t> head)>& checkHead = {});

} // namespace vorlane::gif
