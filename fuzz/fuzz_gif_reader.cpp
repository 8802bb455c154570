// Fuzz target: the GIF reader on arbitrary bytes. An input either fails with a GifError
// or loads; a loaded image must compose at every frame, save, and read back with the same
// frames and pixel indices (opening and saving never changes what a viewer shows).
// Anything else (a crash, a sanitizer report, another exception, a changed round trip)
// is a finding.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "FuzzLimits.h"
#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/GifReader.h"

using namespace vorlane::gif;

namespace {

[[noreturn]] void finding(const char* what, size_t frame = 0) {
    std::fprintf(stderr, "fuzz_gif_reader: %s (frame %zu)\n", what, frame);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ReadLimits limits = vorlane::fuzz::fuzzLimits();
    GifImage image;
    try {
        readGif(image, std::span(data, size), limits);
    } catch (const GifError&) {
        return 0;
    }

    Compositor compositor(image);
    for (size_t i = 0; i < image.frameCount(); ++i)
        compositor.compose(i);

    // An image without frames is refused by the writer ("Cannot save empty GIF"), by
    // contract.
    if (image.frameCount() == 0) return 0;
    Bytes saved;
    try {
        saved = image.saveToBytes();
    } catch (const GifError& e) {
        std::fprintf(stderr, "fuzz_gif_reader: save failed: %s\n", e.what());
        finding("a loaded image could not be saved");
    }
    GifImage again;
    try {
        readGif(again, saved, limits);
    } catch (const GifError& e) {
        std::fprintf(stderr, "fuzz_gif_reader: reading back failed: %s\n", e.what());
        finding("a saved image could not be read back");
    }
    if (again.frameCount() != image.frameCount())
        finding("the frame count changed in a round trip");
    for (size_t i = 0; i < image.frameCount(); ++i) {
        const Frame& a = image.frame(i);
        const Frame& b = again.frame(i);
        if (a.left != b.left || a.top != b.top || a.width() != b.width() ||
            a.height() != b.height() || a.interlaced != b.interlaced)
            finding("a frame's geometry changed in a round trip", i);
        if (a.pixels() != b.pixels()) finding("a frame's pixels changed in a round trip", i);
        if (image.activeColors(i) != again.activeColors(i))
            finding("a frame's colours changed in a round trip", i);
    }
    return 0;
}
