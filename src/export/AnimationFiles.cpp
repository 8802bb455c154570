// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/AnimationFiles.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>
#include <webp/demux.h>
#include <zlib.h>

#include <QFile>
#include <QImage>

#include "codec/ColorReduction.h"
#include "codec/SafeFile.h"
#include "export/ExportSettings.h"

namespace vorlane::exporting {

namespace {

constexpr uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

void putBe32(gif::Bytes& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// Refuses a canvas the image cannot have or the limits do not allow, before anything
// of its size is made.
void checkCanvas(uint64_t width, uint64_t height, const gif::ReadLimits& limits) {
    if (width == 0 || height == 0) throw gif::GifError("The picture has no pixels");
    if (width > 0xFFFF || height > 0xFFFF)
        throw gif::GifError("Picture larger than 65535 x 65535 pixels");
    if (width * height > limits.maxScreenPixels)
        throw gif::GifError("Logical screen larger than the reader accepts");
}

// The pictures of an animation as the full-screen palette frames of an image.
class FrameBuilder {
public:
    FrameBuilder(int width, int height, size_t expectedFrames, const gif::ReadLimits& limits,
                 const gif::GifImage& progressOf)
        : m_width(width), m_height(height), m_expected(std::max<size_t>(expectedFrames, 1)),
          m_limits(limits), m_progress(progressOf) {
        checkCanvas(uint64_t(std::max(width, 0)), uint64_t(std::max(height, 0)), limits);
        m_image.screenWidth = uint16_t(width);
        m_image.screenHeight = uint16_t(height);
        m_progress.reportProgress(gif::Stage::Starting, 0, gif::ProgressMessage::Loading);
    }

    // `picture`: width x height pixels 0xAARRGGBB, `stride` pixels a row.
    void add(const uint32_t* picture, qsizetype stride, int durationMs) {
        const uint64_t area = uint64_t(m_width) * uint64_t(m_height);
        if (m_image.frameCount() + 1 > m_limits.maxFrames)
            throw gif::GifError("More frames than the reader accepts");
        if (area * (m_image.frameCount() + 1) > m_limits.maxComposedPixels)
            throw gif::GifError("The animation is larger than the reader accepts");
        // Alpha below one half is transparent, the rest opaque.
        m_pixels.resize(size_t(area));
        bool clear = false;
        for (int y = 0; y < m_height; ++y) {
            const uint32_t* row = picture + y * stride;
            uint32_t* out = &m_pixels[size_t(y) * size_t(m_width)];
            for (int x = 0; x < m_width; ++x) {
                const uint32_t v = row[x];
                const bool opaque = (v >> 24) >= 128;
                out[x] = opaque ? (v | 0xFF000000u) : 0;
                clear = clear || !opaque;
            }
        }
        gif::Bytes indices(static_cast<size_t>(area));
        const gif::PixelView view{m_pixels.data(), m_width, m_height, m_width};
        const gif::ReductionResult reduced = m_reducer.reduce(
            view, indices.data(), m_width, gif::Dither::FloydSteinberg, 256,
            clear ? std::optional<gif::Rgb>(gif::Rgb{255, 255, 255}) : std::nullopt);
        gif::Frame frame;
        frame.setPixels(uint16_t(m_width), uint16_t(m_height), std::move(indices));
        frame.setLocalColors(reduced.colors.empty() ? gif::ColorTable{{0, 0, 0}} : reduced.colors);
        auto control = gif::Extension::makeGraphicControl();
        control->control().delay = uint16_t(std::clamp((durationMs + 5) / 10, 0, 0xFFFF));
        control->control().disposal = gif::disposal::None;
        if (reduced.transparentIndex) {
            control->control().transparent = true;
            control->control().transparentIndex = *reduced.transparentIndex;
            // The frame before clears the screen, so that these pixels show nothing.
            if (m_image.frameCount() > 0)
                m_image.frame(m_image.frameCount() - 1).graphicControl()->disposal =
                    gif::disposal::Background;
        }
        frame.extensions.push_back(control);
        frame.graphicControlRecord = control;
        m_image.appendFrame(std::move(frame));
        m_progress.reportProgress(
            gif::Stage::Running, int(std::min<size_t>(99, m_image.frameCount() * 100 / m_expected)),
            gif::ProgressMessage::Loading);
    }

    // Puts the frames into `image` (its handlers and settings stay), with the loop record
    // that plays the animation `plays` times.
    void finish(gif::GifImage& image, uint32_t plays) {
        if (m_image.frameCount() == 0) throw gif::GifError("The file holds no picture");
        if (const std::optional<uint16_t> loop = loopForPlays(plays))
            m_image.frame(0).extensions.insert(m_image.frame(0).extensions.begin(),
                                               gif::Extension::makeLoop(*loop));
        image.clearFrames();
        image.screenWidth = m_image.screenWidth;
        image.screenHeight = m_image.screenHeight;
        image.backgroundIndex = 0;
        image.aspect = 0;
        image.setGlobalColors({});
        image.trailingExtensions.clear();
        for (size_t i = 0; i < m_image.frameCount(); ++i)
            image.appendFrame(m_image.frame(i));
        m_progress.reportProgress(gif::Stage::Ending, 100, gif::ProgressMessage::Loading);
    }

private:
    int m_width;
    int m_height;
    size_t m_expected;
    gif::ReadLimits m_limits;
    const gif::GifImage& m_progress;
    gif::GifImage m_image;
    gif::ColorReducer m_reducer;
    std::vector<uint32_t> m_pixels;
};

// ---- WebP -------------------------------------------------------------------------------

struct DecoderDeleter {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};
struct DemuxDeleter {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

void readWebp(gif::GifImage& image, std::span<const uint8_t> bytes, const gif::ReadLimits& limits) {
    WebPData data{bytes.data(), bytes.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw gif::GifError("The WebP library does not match");
    // Unpremultiplied B, G, R, A: Format_ARGB32's bytes.
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    {
        // The decoder makes two canvases as it starts, whatever size the header claims
        // (a file of a few hundred bytes can claim gigabytes).
        const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
        if (!demux) throw gif::GifError("Invalid WebP file");
        checkCanvas(WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH),
                    WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT), limits);
    }
    std::unique_ptr<WebPAnimDecoder, DecoderDeleter> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) throw gif::GifError("Invalid WebP file");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) throw gif::GifError("Invalid WebP file");
    FrameBuilder builder(int(info.canvas_width), int(info.canvas_height), info.frame_count, limits,
                         image);
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestamp))
            throw gif::GifError("Invalid WebP file: a frame cannot be decoded");
        // The timestamp is where the frame ends.
        builder.add(reinterpret_cast<const uint32_t*>(pixels), qsizetype(info.canvas_width),
                    std::max(0, timestamp - previous));
        previous = timestamp;
    }
    builder.finish(image, info.loop_count);
}

// ---- PNG and APNG -----------------------------------------------------------------------

struct ApngFrame {
    uint32_t width = 0, height = 0, x = 0, y = 0;
    uint16_t delayNum = 0, delayDen = 0;
    uint8_t dispose = 0, blend = 0;
    gif::Bytes data; // the zlib stream of its pixels
};

// One frame's pixels as a PNG file of their own: the header with the frame's size, the
// palette chunks, the data. Qt's reader decodes every colour type, depth and interlace.
QImage decodeFrame(const uint8_t* header, const gif::Bytes& palette, const gif::Bytes& alpha,
                   const ApngFrame& frame) {
    gif::Bytes png(PngSignature, PngSignature + 8);
    auto chunk = [&png](const char* type, const uint8_t* data, size_t size) {
        putBe32(png, uint32_t(size));
        const size_t start = png.size();
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), data, data + size);
        putBe32(png, uint32_t(crc32(0L, png.data() + start, uInt(png.size() - start))));
    };
    uint8_t ihdr[13];
    std::memcpy(ihdr, header, 13);
    for (int k = 0; k < 4; ++k) {
        ihdr[k] = uint8_t(frame.width >> (24 - 8 * k));
        ihdr[4 + k] = uint8_t(frame.height >> (24 - 8 * k));
    }
    chunk("IHDR", ihdr, 13);
    if (!palette.empty()) chunk("PLTE", palette.data(), palette.size());
    if (!alpha.empty()) chunk("tRNS", alpha.data(), alpha.size());
    chunk("IDAT", frame.data.data(), frame.data.size());
    chunk("IEND", nullptr, 0);
    QImage picture;
    picture.loadFromData(png.data(), int(png.size()), "PNG");
    return picture.convertToFormat(QImage::Format_ARGB32);
}

// Source over destination, unpremultiplied.
uint32_t over(uint32_t src, uint32_t dst) {
    const uint32_t sa = src >> 24;
    if (sa == 255) return src;
    if (sa == 0) return dst;
    const uint32_t da = dst >> 24;
    const uint32_t outA = sa * 255 + da * (255 - sa); // scaled by 255
    if (outA == 0) return 0;
    uint32_t result = (outA + 127) / 255 << 24;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t s = (src >> shift) & 0xFF;
        const uint32_t d = (dst >> shift) & 0xFF;
        const uint32_t c = (s * sa * 255 + d * da * (255 - sa) + outA / 2) / outA;
        result |= std::min<uint32_t>(c, 255) << shift;
    }
    return result;
}

void readPng(gif::GifImage& image, std::span<const uint8_t> bytes, const gif::ReadLimits& limits) {
    const uint8_t* header = nullptr;
    gif::Bytes palette, alpha;
    std::optional<uint32_t> plays;
    std::vector<ApngFrame> frames;
    bool idatSeen = false;
    bool idatIsFrame = false;
    bool truncated = false;
    size_t pos = 8;
    while (pos + 12 <= bytes.size()) {
        const uint32_t length = be32(&bytes[pos]);
        const uint8_t* type = &bytes[pos + 4];
        if (uint64_t(pos) + 12 + length > bytes.size()) {
            truncated = true;
            break;
        }
        const uint8_t* data = &bytes[pos + 8];
        auto is = [type](const char* name) { return std::memcmp(type, name, 4) == 0; };
        if (is("IHDR") && length == 13) {
            header = data;
        } else if (is("PLTE")) {
            palette.assign(data, data + length);
        } else if (is("tRNS")) {
            alpha.assign(data, data + length);
        } else if (is("acTL") && length == 8 && !idatSeen) {
            plays = be32(data + 4);
        } else if (is("fcTL") && length == 26 && plays) {
            if (frames.size() + 1 > limits.maxFrames)
                throw gif::GifError("More frames than the reader accepts");
            ApngFrame f;
            f.width = be32(data + 4);
            f.height = be32(data + 8);
            f.x = be32(data + 12);
            f.y = be32(data + 16);
            f.delayNum = be16(data + 20);
            f.delayDen = be16(data + 22);
            f.dispose = data[24];
            f.blend = data[25];
            if (!idatSeen) idatIsFrame = true;
            frames.push_back(std::move(f));
        } else if (is("IDAT")) {
            idatSeen = true;
            if (idatIsFrame && !frames.empty())
                frames.front().data.insert(frames.front().data.end(), data, data + length);
        } else if (is("fdAT") && length >= 4 && !frames.empty() && idatSeen) {
            frames.back().data.insert(frames.back().data.end(), data + 4, data + length);
        } else if (is("IEND")) {
            break;
        }
        pos += 12 + size_t(length);
    }
    if (truncated) image.warn("The file ends inside a chunk; the frames before it are kept");
    if (!header) throw gif::GifError("Invalid PNG file");
    const int width = int(std::min<uint32_t>(be32(header), 0x7FFFFFFF));
    const int height = int(std::min<uint32_t>(be32(header + 4), 0x7FFFFFFF));

    // A still picture (or an APNG whose animation does not hold): one frame.
    if (!plays || frames.empty()) {
        QImage picture;
        picture.loadFromData(bytes.data(), int(bytes.size()), "PNG");
        if (picture.isNull()) throw gif::GifError("Invalid PNG file");
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        FrameBuilder builder(picture.width(), picture.height(), 1, limits, image);
        builder.add(reinterpret_cast<const uint32_t*>(picture.constBits()),
                    picture.bytesPerLine() / 4, 0);
        builder.finish(image, 0);
        return;
    }
    // Frames without data (a file cut short) are left out.
    while (!frames.empty() && frames.back().data.empty())
        frames.pop_back();
    if (frames.empty()) throw gif::GifError("Invalid APNG file: no frame has pixels");

    FrameBuilder builder(width, height, frames.size(), limits, image);
    std::vector<uint32_t> canvas(size_t(width) * size_t(height), 0);
    std::vector<uint32_t> saved;
    for (size_t k = 0; k < frames.size(); ++k) {
        const ApngFrame& f = frames[k];
        if (f.width == 0 || f.height == 0 || uint64_t(f.x) + f.width > uint64_t(width) ||
            uint64_t(f.y) + f.height > uint64_t(height))
            throw gif::GifError("Invalid APNG file: a frame lies outside the picture");
        const QImage picture = decodeFrame(header, palette, alpha, f);
        if (picture.isNull() || picture.width() != int(f.width) ||
            picture.height() != int(f.height))
            throw gif::GifError("Invalid APNG file: frame " + std::to_string(k + 1) +
                                " cannot be decoded");
        uint8_t dispose = f.dispose;
        if (k == 0 && dispose == 2) dispose = 1;
        const int x0 = int(f.x), y0 = int(f.y), w = int(f.width), h = int(f.height);
        if (dispose == 2) {
            saved.resize(size_t(w) * size_t(h));
            for (int y = 0; y < h; ++y)
                std::memcpy(&saved[size_t(y) * size_t(w)],
                            &canvas[size_t(y0 + y) * size_t(width) + size_t(x0)], size_t(w) * 4);
        }
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
            uint32_t* dst = &canvas[size_t(y0 + y) * size_t(width) + size_t(x0)];
            for (int x = 0; x < w; ++x)
                dst[x] = f.blend == 1 ? over(src[x], dst[x]) : src[x];
        }
        const int ms = f.delayDen == 0 ? int(f.delayNum) * 10 : int(f.delayNum) * 1000 / f.delayDen;
        builder.add(canvas.data(), width, ms);
        if (dispose == 1) {
            for (int y = 0; y < h; ++y)
                std::fill_n(&canvas[size_t(y0 + y) * size_t(width) + size_t(x0)], size_t(w), 0u);
        } else if (dispose == 2) {
            for (int y = 0; y < h; ++y)
                std::memcpy(&canvas[size_t(y0 + y) * size_t(width) + size_t(x0)],
                            &saved[size_t(y) * size_t(w)], size_t(w) * 4);
        }
    }
    builder.finish(image, *plays);
}

void checkHead(std::span<const uint8_t> head) {
    if (kindOf(head) == FileKind::Other) throw gif::GifError("Not a GIF, WebP or PNG file");
}

} // namespace

FileKind kindOf(std::span<const uint8_t> head) {
    if (head.size() >= 4 && std::memcmp(head.data(), "GIF8", 4) == 0) return FileKind::Gif;
    if (head.size() >= 12 && std::memcmp(head.data(), "RIFF", 4) == 0 &&
        std::memcmp(head.data() + 8, "WEBP", 4) == 0)
        return FileKind::WebP;
    if (head.size() >= 8 && std::memcmp(head.data(), PngSignature, 8) == 0) return FileKind::Png;
    return FileKind::Other;
}

bool isAnimationFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(64);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(head.constData()),
                                         size_t(head.size()));
    switch (kindOf(bytes)) {
    case FileKind::Gif:
        return true;
    case FileKind::WebP:
        // An extended file (VP8X) whose flags say "animation".
        return bytes.size() >= 21 && std::memcmp(bytes.data() + 12, "VP8X", 4) == 0 &&
               (bytes[20] & 0x02) != 0;
    case FileKind::Png: {
        // acTL stands before the first IDAT; the chunks before it are few and small.
        qint64 pos = 8;
        for (int chunks = 0; chunks < 64; ++chunks) {
            if (!file.seek(pos)) return false;
            const QByteArray chunk = file.read(8);
            if (chunk.size() < 8) return false;
            const auto* c = reinterpret_cast<const uint8_t*>(chunk.constData());
            if (std::memcmp(c + 4, "acTL", 4) == 0) return true;
            if (std::memcmp(c + 4, "IDAT", 4) == 0) return false;
            pos += 12 + qint64(be32(c));
        }
        return false;
    }
    case FileKind::Other:
        return false;
    }
    return false;
}

void readAnimation(gif::GifImage& image, std::span<const uint8_t> bytes,
                   const gif::ReadLimits& limits) {
    switch (kindOf(bytes)) {
    case FileKind::WebP:
        readWebp(image, bytes, limits);
        return;
    case FileKind::Png:
        readPng(image, bytes, limits);
        return;
    default:
        gif::readGif(image, bytes, limits);
        return;
    }
}

void readAnimationFile(gif::GifImage& image, const QString& path, const gif::ReadLimits& limits) {
    gif::ReadFileLimits fileLimits;
    fileLimits.maxBytes = limits.maxFileBytes;
    fileLimits.idleTimeoutMs = limits.idleTimeoutMs;
    fileLimits.headBytes = 12;
    const gif::Bytes data = gif::readFileBounded(path, fileLimits, checkHead);
    readAnimation(image, data, limits);
}

} // namespace vorlane::exporting
