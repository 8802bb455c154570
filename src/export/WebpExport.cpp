// SPDX-License-Identifier: GPL-3.0-or-later
// Animated WebP, assembled frame by frame with libwebp's muxer rather than its animation
// encoder: that encoder merges a frame into the one before when they look alike, and
// the export keeps every frame and every delay.

#include <algorithm>
#include <cstring>
#include <memory>
#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "export/AnimatedFormats.h"
#include "export/ExportSettings.h"
#include "export/FrameChanges.h"

namespace vorlane::exporting {

namespace {

// WebP's largest side.
constexpr int MaxSide = 16383;

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

// One picture as a single-image WebP file.
gif::Bytes encodePicture(const QImage& picture, bool lossless, int quality) {
    WebPConfig config;
    if (!WebPConfigInit(&config)) throw gif::GifError("The WebP library does not match");
    config.lossless = lossless ? 1 : 0;
    config.quality = lossless ? 75.0f : float(std::clamp(quality, 0, 100));
    config.method = 4;
    WebPPicture pic;
    if (!WebPPictureInit(&pic)) throw gif::GifError("The WebP library does not match");
    pic.use_argb = 1;
    pic.width = picture.width();
    pic.height = picture.height();
    // Format_ARGB32 lies in memory as B, G, R, A on the machines Qt runs on here.
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    if (!WebPPictureImportBGRA(&pic, argb.constBits(), int(argb.bytesPerLine())))
        throw gif::GifError("Not enough memory to write the WebP file");
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    pic.writer = WebPMemoryWrite;
    pic.custom_ptr = &writer;
    const bool ok = WebPEncode(&config, &pic);
    const int error = pic.error_code;
    WebPPictureFree(&pic);
    gif::Bytes out(writer.mem, writer.mem + writer.size);
    WebPMemoryWriterClear(&writer);
    if (!ok)
        throw gif::GifError("The WebP frame could not be encoded (libwebp error " +
                            std::to_string(error) + ")");
    return out;
}

} // namespace

gif::Bytes writeWebp(ShownAnimation& shown, bool lossless, int quality, const Steps& steps,
                     std::vector<size_t>* frameSizes) {
    const int w = shown.width();
    const int h = shown.height();
    if (w > MaxSide || h > MaxSide)
        throw gif::GifError("WebP pictures are at most 16383 pixels wide and high");
    if (shown.count() == 0 || w == 0 || h == 0) throw gif::GifError(gif::messages::CannotSaveEmpty);
    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    if (!mux) throw gif::GifError("Not enough memory to write the WebP file");
    WebPMuxAnimParams params;
    params.bgcolor = 0x00000000; // transparent, as browsers start the canvas
    params.loop_count = int(playsForLoop(shown.loopCount()));
    if (WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK ||
        WebPMuxSetCanvasSize(mux.get(), w, h) != WEBP_MUX_OK)
        throw gif::GifError("The WebP animation could not be made");

    QImage previous;
    const size_t n = shown.count();
    for (size_t k = 0; k < n; ++k) {
        steps.check();
        QImage picture = shown.picture(k);
        QRect rect(0, 0, w, h);
        bool blend = false;
        bool frameLossless = lossless;
        QImage part;
        if (k > 0) {
            const FrameChange change = changeBetween(previous, picture);
            if (change.rect.isEmpty()) {
                // Nothing changes: one pixel, drawn as it is, carries the delay.
                rect = QRect(0, 0, 1, 1);
                frameLossless = true;
            } else {
                // Frames start at even offsets.
                rect = change.rect;
                rect.setLeft(rect.left() & ~1);
                rect.setTop(rect.top() & ~1);
            }
            part = picture.copy(rect);
            // Pixels that stay as they are become transparent over the picture before,
            // unless a pixel must become transparent itself: blending cannot clear.
            blend = !change.clears && !change.rect.isEmpty();
            if (blend) {
                for (int y = 0; y < rect.height(); ++y) {
                    uint32_t* out = reinterpret_cast<uint32_t*>(part.scanLine(y));
                    const uint32_t* was =
                        reinterpret_cast<const uint32_t*>(previous.constScanLine(rect.top() + y)) +
                        rect.left();
                    for (int x = 0; x < rect.width(); ++x)
                        if (out[x] == was[x]) out[x] = 0;
                }
            }
        } else {
            part = picture;
        }
        const gif::Bytes encoded = encodePicture(part, frameLossless, quality);
        WebPMuxFrameInfo info;
        std::memset(&info, 0, sizeof info);
        info.bitstream.bytes = encoded.data();
        info.bitstream.size = encoded.size();
        info.x_offset = rect.left();
        info.y_offset = rect.top();
        info.duration = shownDelayMs(shown.delay(k));
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = blend ? WEBP_MUX_BLEND : WEBP_MUX_NO_BLEND;
        if (WebPMuxPushFrame(mux.get(), &info, 1) != WEBP_MUX_OK)
            throw gif::GifError("The WebP animation could not be made");
        // The frame's chunk: its header and the bitstream without the file's own.
        if (frameSizes) frameSizes->push_back(encoded.size() + 24 - 12);
        previous = std::move(picture);
        steps.report(int((k + 1) * 100 / n));
    }
    WebPData data;
    WebPDataInit(&data);
    if (WebPMuxAssemble(mux.get(), &data) != WEBP_MUX_OK)
        throw gif::GifError("The WebP animation could not be made");
    gif::Bytes out(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return out;
}

QImage webpPreview(const QImage& picture, bool lossless, int quality) {
    if (lossless || picture.isNull()) return picture;
    const gif::Bytes encoded = encodePicture(picture, false, quality);
    int w = 0, h = 0;
    uint8_t* decoded = WebPDecodeBGRA(encoded.data(), encoded.size(), &w, &h);
    if (!decoded) return picture;
    QImage out(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        std::memcpy(out.scanLine(y), decoded + size_t(y) * size_t(w) * 4, size_t(w) * 4);
    WebPFree(decoded);
    return out;
}

} // namespace vorlane::exporting
