// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Basic value types shared by the whole GIF codec.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorlane::gif {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

using ColorTable = std::vector<Rgb>;
using Bytes = std::vector<uint8_t>;

// The one error type of the codec. Its message is shown to the user as it stands.
class GifError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file or an operation refused for its size: the animation would hold more than a
// limit allows. The message says so and names the limit, so that it can be shown as it
// stands.
class GifLimitError : public GifError {
public:
    using GifError::GifError;
};

// Messages that callers compare against or show verbatim.
namespace messages {
inline constexpr const char* CannotSaveEmpty = "Cannot save empty GIF";
inline constexpr const char* ColorTableOverflow = "Color table overflow";
inline constexpr const char* InvalidColorIndex = "Invalid color index";
inline constexpr const char* NotSupported = "Object type not supported for operation";
inline constexpr const char* MultipleGraphicControls =
    "Frame contains multiple Graphic Control Extension blocks";
inline constexpr const char* ExceedsLogicalScreen = "Image exceeds Logical Screen size";
} // namespace messages

enum class Stage { Starting, Running, Ending };

enum class ProgressMessage { Loading, Saving, Converting, Rendering, Copying, Optimizing };

// "Loading", "Saving", "Converting", "Rendering", "Copying" or "Optimizing".
const char* progressText(ProgressMessage message);

// Extension labels as they stand in the file after the 0x21 introducer.
namespace labels {
inline constexpr uint8_t PlainText = 0x01;
inline constexpr uint8_t GraphicControl = 0xF9;
inline constexpr uint8_t Comment = 0xFE;
inline constexpr uint8_t Application = 0xFF;
} // namespace labels

// Disposal codes of the graphic control extension.
namespace disposal {
inline constexpr uint8_t Unspecified = 0;
inline constexpr uint8_t None = 1;       // leave in place
inline constexpr uint8_t Background = 2; // restore to background
inline constexpr uint8_t Previous = 3;   // restore to previous
} // namespace disposal

} // namespace vorlane::gif
