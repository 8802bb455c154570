// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/GifReader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "codec/Lzw.h"
#include "codec/Parallel.h"
#include "codec/ProgressScope.h"
#include "codec/SafeFile.h"

namespace vorlane::gif {

namespace {

constexpr uint8_t ExtensionIntroducer = 0x21;
constexpr uint8_t ImageSeparator = 0x2C;
constexpr uint8_t Trailer = 0x3B;

std::string frameName(size_t index) {
    return "Frame " + std::to_string(index + 1);
}

std::string hexByte(uint8_t b) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

// Refuses data that does not start like a GIF; a shorter start that could still be
// one passes.
void checkGifSignature(std::span<const uint8_t> head) {
    if (head.empty()) throw GifError("The file is empty");
    static const char sig87[] = "GIF87a";
    static const char sig89[] = "GIF89a";
    const size_t n = std::min<size_t>(head.size(), 6);
    const bool is87 = std::memcmp(head.data(), sig87, n) == 0;
    const bool is89 = std::memcmp(head.data(), sig89, n) == 0;
    if (!is87 && !is89) {
        if (std::memcmp(head.data(), "GIF", std::min<size_t>(n, 3)) == 0 && n == 6)
            throw GifError("Unsupported GIF version \"" +
                           std::string(reinterpret_cast<const char*>(head.data()), 6) + "\"");
        throw GifError("Not a GIF file");
    }
}

// How far an image could be read when the data ended.
enum class ImageOutcome { Complete, CutInPixelData, CutBeforePixelData };

// One image whose data is decoded once the whole file has been parsed: the parse finds
// where each image's data lies, and the images are then decoded apart from each other,
// on several threads.
struct ImageData {
    size_t frame = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    int minCodeSize = 0;
    size_t from = 0; // the image's sub-blocks, size bytes included, up to the terminator
    size_t to = 0;   // or to where the file is cut
    bool cut = false;
    uint8_t fill = 0; // what pixels lacking data show
    // Filled in by the decoding:
    lzw::DecodeResult decoded;
    std::string error; // why the data could not be decoded, empty when it could
};

// Something the reader has to say or do in file order once the images are decoded: a
// warning, or the checks and warnings that follow an image's decoding.
struct Event {
    std::string warning;
    long long image = -1; // index into the images, or -1 for a warning
};

class Parser {
public:
    Parser(const GifImage& owner, std::span<const uint8_t> bytes, const ReadLimits& limits,
           ProgressScope& progress)
        : m_owner(owner), m_data(bytes.data()), m_size(bytes.size()), m_limits(limits),
          m_progress(progress),
          m_heldLimit(limits.maxHeldBytes ? limits.maxHeldBytes : availableMemoryBytes()) {}

    void run(GifImage& out);

private:
    size_t remaining() const { return m_size - m_pos; }
    uint16_t read16(size_t at) const { return uint16_t(m_data[at] | (m_data[at + 1] << 8)); }

    void parse(GifImage& out);
    void readHeader();
    void readScreen(GifImage& out);
    ColorTable readTable(int sizeBits);
    // Reads sub-blocks up to their terminator into `blocks`. False when the data ends
    // first; the blocks read so far are then of no use.
    bool readSubBlocks(std::vector<Bytes>& blocks);
    // Reads one extension record (the introducer already consumed); null when the data
    // ends inside it.
    ExtensionPtr readExtension();
    ImageOutcome readImage(GifImage& out);
    void checkLimits(const GifImage& out, uint64_t framePixels);
    static std::string screenText(const GifImage& out);
    // Decodes image `image` into its frame's pixels; on any thread.
    void decode(GifImage& out, ImageData& image) const;
    // The checks and warnings after image `image` was decoded, in file order.
    void finish(const ImageData& image, const GifImage& out);
    void warn(std::string message) { m_events.push_back({std::move(message), -1}); }

    const GifImage& m_owner;
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    const ReadLimits& m_limits;
    ProgressScope& m_progress;
    uint64_t m_heldLimit; // bytes

    // Records read since the last image, and the graphic control record that governs
    // the next graphic block (the last one since the last image or plain text).
    ExtensionList m_pending;
    ExtensionPtr m_governing;
    int m_controlsSinceGraphic = 0;

    std::vector<ImageData> m_images;
    std::vector<Event> m_events;
    uint64_t m_totalPixels = 0;
    uint64_t m_filledPixels = 0;
    uint64_t m_records = 0;
    uint64_t m_recordBlocks = 0;
};

// Parses the file, then decodes its images on several threads, then says what there is
// to say in file order. A failure of the parse part way (a limit, a bad block) comes
// after what the images before it had to say, and after their own failures, as if the
// file were read from start to end.
void Parser::run(GifImage& out) {
    std::exception_ptr parseFailure;
    try {
        parse(out);
    } catch (const GifError&) {
        parseFailure = std::current_exception();
    }
    // No pixel has been allocated yet: what the animation will hold is known from its
    // frames' sizes, and is checked for the whole file at once.
    const uint64_t frames = out.frameCount();
    const uint64_t area = uint64_t(out.screenWidth) * out.screenHeight;
    const uint64_t held = m_totalPixels + area * frames + frames * HeldBytesPerFrame;
    if (held > m_heldLimit) {
        const std::string limit = m_limits.maxHeldBytes
                                      ? "the limit of " + sizeText(m_heldLimit)
                                      : "the " + sizeText(m_heldLimit) + " of memory available";
        throw GifLimitError("The animation is too large to open: " + std::to_string(frames) +
                            " images of " + screenText(out) + " need " + sizeText(held) +
                            " of memory, more than " + limit);
    }
    parallelFor(
        m_images.size(), [&](size_t k) { decode(out, m_images[k]); },
        [&](size_t done) { m_progress.running(done, m_images.size()); }, threadsFor(m_totalPixels));
    for (const Event& event : m_events) {
        if (event.image < 0)
            m_owner.warn(event.warning);
        else
            finish(m_images[size_t(event.image)], out);
    }
    if (parseFailure) std::rethrow_exception(parseFailure);
}

void Parser::parse(GifImage& out) {
    readHeader();
    readScreen(out);

    bool ended = false;
    while (!ended) {
        if (remaining() == 0) {
            // No trailer. Read as far as it goes, as web browsers do: a file cut after
            // complete images shows those images.
            if (out.frameCount() == 0)
                throw GifError("The file is truncated before its first image");
            warn("The file ends without a trailer");
            break;
        }
        const uint8_t introducer = m_data[m_pos++];
        switch (introducer) {
        case Trailer:
            // Anything after the trailer is not part of the image (padding, appended
            // data); it is ignored.
            if (remaining() > 0) warn("Data after the trailer is ignored");
            ended = true;
            break;
        case ExtensionIntroducer: {
            ExtensionPtr record = readExtension();
            if (!record) {
                if (out.frameCount() == 0)
                    throw GifError("The file is truncated before its first image");
                // A record cut off at the end of the file is dropped; the complete
                // images before it are kept.
                warn("The file is truncated inside an extension record");
                ended = true;
                break;
            }
            if (record->isGraphicControl()) {
                if (m_governing) {
                    if (m_controlsSinceGraphic == 1) warn(messages::MultipleGraphicControls);
                    // Of several records before one graphic block the last governs, as
                    // web browsers, gifsicle and ImageMagick read them; the earlier ones
                    // are dropped, so the frame keeps (and saving writes) one.
                    std::erase(m_pending, m_governing);
                }
                m_governing = record;
                ++m_controlsSinceGraphic;
            } else if (record->isPlainText()) {
                // A plain text record is a graphic block of its own: the graphic control
                // record before it governs it, not the image that follows.
                m_governing.reset();
                m_controlsSinceGraphic = 0;
            }
            m_pending.push_back(std::move(record));
            break;
        }
        case ImageSeparator: {
            const ImageOutcome outcome = readImage(out);
            if (outcome == ImageOutcome::CutBeforePixelData) {
                if (out.frameCount() == 0)
                    throw GifError("The file is truncated before its first image");
                // An image whose header is cut off has nothing to show; it is dropped
                // and the complete images before it are kept.
                warn("The file is truncated inside an image header; the image is "
                     "dropped");
                ended = true;
            } else if (outcome == ImageOutcome::CutInPixelData) {
                ended = true;
            }
            break;
        }
        default:
            if (out.frameCount() == 0)
                throw GifError("Unknown block " + hexByte(introducer) + " at offset " +
                               std::to_string(m_pos - 1));
            // Garbage between blocks after some images: treated as the end of the data,
            // the way web browsers show such files.
            warn("Unknown block " + hexByte(introducer) + " at offset " +
                 std::to_string(m_pos - 1) + "; the rest of the file is ignored");
            ended = true;
            break;
        }
    }
    // A well-formed file without images is read as an empty animation, not refused.
    if (out.frameCount() == 0) warn("The file contains no image");
    // Complete records that no image followed stay with the image (written back before
    // the trailer).
    out.trailingExtensions = std::move(m_pending);
}

void Parser::readHeader() {
    checkGifSignature(std::span<const uint8_t>(m_data, m_size));
    if (m_size < 6) throw GifError("The file is truncated in its header");
    m_pos = 6;
}

void Parser::readScreen(GifImage& out) {
    if (remaining() < 7) throw GifError("The file is truncated in its logical screen descriptor");
    out.screenWidth = read16(m_pos);
    out.screenHeight = read16(m_pos + 2);
    const uint8_t packed = m_data[m_pos + 4];
    out.backgroundIndex = m_data[m_pos + 5];
    out.aspect = m_data[m_pos + 6];
    m_pos += 7;
    out.colorResolution = (packed >> 4) & 7;

    const uint64_t area = uint64_t(out.screenWidth) * out.screenHeight;
    if (area > m_limits.maxScreenPixels)
        throw GifLimitError("The logical screen of " + screenText(out) + " exceeds the limit of " +
                            std::to_string(m_limits.maxScreenPixels) + " pixels");

    if (packed & 0x80) {
        const size_t bytes = size_t(3) << ((packed & 7) + 1);
        if (remaining() < bytes) throw GifError("The file is truncated in its global colour table");
        out.setGlobalColors(readTable(packed & 7), (packed & 0x08) != 0);
    }
}

ColorTable Parser::readTable(int sizeBits) {
    const size_t count = size_t(1) << (sizeBits + 1);
    ColorTable table(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = m_data + m_pos + 3 * i;
        table[i] = {p[0], p[1], p[2]};
    }
    m_pos += 3 * count;
    return table;
}

bool Parser::readSubBlocks(std::vector<Bytes>& blocks) {
    for (;;) {
        if (remaining() < 1) return false;
        const size_t n = m_data[m_pos++];
        if (n == 0) return true;
        if (remaining() < n) return false;
        if (++m_recordBlocks > m_limits.maxRecordBlocks)
            throw GifLimitError("The file has more than " +
                                std::to_string(m_limits.maxRecordBlocks) + " extension sub-blocks");
        blocks.emplace_back(m_data + m_pos, m_data + m_pos + n);
        m_pos += n;
    }
}

ExtensionPtr Parser::readExtension() {
    if (remaining() < 1) return nullptr;
    const uint8_t label = m_data[m_pos++];
    if (++m_records > m_limits.maxRecords)
        throw GifLimitError("The file has more than " + std::to_string(m_limits.maxRecords) +
                            " extension records");
    auto record = std::make_shared<Extension>(label);
    std::vector<Bytes> blocks;
    if (!readSubBlocks(blocks)) return nullptr;
    if (label != labels::GraphicControl) {
        record->blocks() = std::move(blocks);
        return record;
    }
    // A graphic control record holds one 4-byte sub-block. Shorter data reads as zeros
    // and extra data is dropped: the record is rewritten in its standard form.
    Bytes fields = blocks.empty() ? Bytes{} : blocks.front();
    if (blocks.size() != 1 || fields.size() != 4)
        warn("A graphic control record has an unexpected size");
    fields.resize(std::max<size_t>(fields.size(), 4), 0);
    GraphicControl& c = record->control();
    c.transparent = (fields[0] & 0x01) != 0;
    c.userInput = (fields[0] & 0x02) != 0;
    c.disposal = (fields[0] >> 2) & 7;
    c.reservedBits = (fields[0] >> 5) & 7;
    c.delay = uint16_t(fields[1] | (fields[2] << 8));
    c.transparentIndex = fields[3];
    return record;
}

std::string Parser::screenText(const GifImage& out) {
    return std::to_string(out.screenWidth) + " x " + std::to_string(out.screenHeight) + " pixels";
}

void Parser::checkLimits(const GifImage& out, uint64_t framePixels) {
    const uint64_t frames = out.frameCount() + 1;
    if (frames > m_limits.maxFrames)
        throw GifLimitError("The file has more than " + std::to_string(m_limits.maxFrames) +
                            " images");
    const uint64_t totalPixels = m_totalPixels + framePixels;
    if (totalPixels > m_limits.maxTotalPixels)
        throw GifLimitError("The images hold more than " + std::to_string(m_limits.maxTotalPixels) +
                            " pixels in all");
    const uint64_t area = uint64_t(out.screenWidth) * out.screenHeight;
    if (area > m_limits.maxScreenPixels)
        throw GifLimitError("The logical screen of " + screenText(out) + " exceeds the limit of " +
                            std::to_string(m_limits.maxScreenPixels) + " pixels");
    if (totalPixels > memoryBudget(area, frames, m_limits))
        throw GifLimitError(
            "The images hold more pixels than the animation shows: " + std::to_string(totalPixels) +
            " pixels in " + std::to_string(frames) + " images of " + screenText(out));
    if (area * frames > m_limits.maxComposedPixels)
        throw GifLimitError("The animation is too large to open: " + std::to_string(frames) +
                            " images of " + screenText(out) + " exceed the limit of " +
                            std::to_string(m_limits.maxComposedPixels) + " pixels");
}

ImageOutcome Parser::readImage(GifImage& out) {
    const size_t index = out.frameCount();
    if (remaining() < 9) return ImageOutcome::CutBeforePixelData;
    Frame frame;
    frame.left = read16(m_pos);
    frame.top = read16(m_pos + 2);
    const uint16_t width = read16(m_pos + 4);
    const uint16_t height = read16(m_pos + 6);
    const uint8_t packed = m_data[m_pos + 8];
    m_pos += 9;
    frame.interlaced = (packed & 0x40) != 0;
    if (width == 0 || height == 0) throw GifError(frameName(index) + " has a width or height of 0");

    if (packed & 0x80) {
        if (remaining() < (size_t(3) << ((packed & 7) + 1)))
            return ImageOutcome::CutBeforePixelData;
        frame.setLocalColors(readTable(packed & 7), (packed & 0x20) != 0);
    }
    if (remaining() < 1) return ImageOutcome::CutBeforePixelData;
    const int minCodeSize = m_data[m_pos++];
    if (minCodeSize < lzw::MinCodeSizeLow || minCodeSize > lzw::MinCodeSizeHigh)
        throw GifError(frameName(index) + " has an invalid LZW minimum code size of " +
                       std::to_string(minCodeSize));

    // Web browsers grow the screen to hold the first image when it does not fit (a 0 x 0
    // screen included); later images keep their geometry and are clipped when drawn.
    const uint32_t right = uint32_t(frame.left) + width;
    const uint32_t bottom = uint32_t(frame.top) + height;
    if (index == 0) {
        if (right > out.screenWidth || bottom > out.screenHeight) {
            warn(messages::ExceedsLogicalScreen);
            out.screenWidth =
                uint16_t(std::min<uint32_t>(std::max<uint32_t>(right, out.screenWidth), 0xFFFF));
            out.screenHeight =
                uint16_t(std::min<uint32_t>(std::max<uint32_t>(bottom, out.screenHeight), 0xFFFF));
        }
    } else if (right > out.screenWidth || bottom > out.screenHeight) {
        warn(frameName(index) + " reaches outside the logical screen");
    }

    const uint64_t pixelCount = uint64_t(width) * height;
    checkLimits(out, pixelCount);

    // Find the end of the sub-blocks; they are joined when the image is decoded. A file
    // cut inside them leaves the data read so far.
    ImageData image;
    image.frame = index;
    image.width = width;
    image.height = height;
    image.minCodeSize = minCodeSize;
    image.from = m_pos;
    for (;;) {
        if (remaining() < 1) {
            image.cut = true;
            break;
        }
        const size_t n = m_data[m_pos++];
        if (n == 0) break;
        if (remaining() < n) {
            m_pos = m_size;
            image.cut = true;
            break;
        }
        m_pos += n;
    }
    image.to = m_pos;

    frame.extensions = std::move(m_pending);
    frame.graphicControlRecord = std::move(m_governing);
    m_pending.clear();
    m_governing.reset();
    m_controlsSinceGraphic = 0;
    // Short image data, whether the file is cut or the stream just ends early: the rows
    // decoded so far are kept and the rest shows as transparent when the frame has a
    // transparent colour, else as colour 0, as web browsers show such images.
    const GraphicControl* control = frame.graphicControl();
    image.fill = control && control->transparent ? control->transparentIndex : 0;
    // The pixels are set once decoded.
    m_totalPixels += pixelCount;
    out.appendFrame(std::move(frame));

    m_events.push_back({{}, (long long)m_images.size()});
    const bool cut = image.cut;
    m_images.push_back(image);
    return cut ? ImageOutcome::CutInPixelData : ImageOutcome::Complete;
}

void Parser::decode(GifImage& out, ImageData& image) const {
    Frame& frame = out.frame(image.frame);
    const size_t width = image.width;
    const size_t height = image.height;
    const size_t pixelCount = width * height;

    Bytes joined;
    joined.reserve(image.to - image.from);
    for (size_t at = image.from; at < image.to;) {
        const size_t n = std::min<size_t>(m_data[at], image.to - at - 1);
        if (n == 0) break;
        joined.insert(joined.end(), m_data + at + 1, m_data + at + 1 + n);
        at += 1 + n;
    }

    Bytes pixels(pixelCount);
    uint8_t* target = pixels.data();
    try {
        image.decoded = lzw::decode(joined, image.minCodeSize, target, pixelCount);
    } catch (const GifError& e) {
        image.error = e.what();
        return;
    }
    Bytes().swap(joined);
    if (image.decoded.written < pixelCount) {
        std::fill(target + image.decoded.written, target + pixelCount, image.fill);
        image.decoded.highestLiteral = std::max(image.decoded.highestLiteral, image.fill);
        image.decoded.literals.set(image.fill);
    }

    if (frame.interlaced) {
        // Rows are stored in four passes: every 8th row from 0, every 8th from 4, every
        // 4th from 2, every 2nd from 1. They are put in display order in place, one cycle
        // of the permutation at a time, so that a large frame needs no second copy.
        // Stored row -> displayed row, worked out rather than tabled: a table would take
        // four bytes a row, more than the pixels of a frame one pixel wide.
        const uint32_t pass0 = uint32_t(height + 7) / 8;
        const uint32_t pass1 = uint32_t(height + 3) / 8;
        const uint32_t pass2 = uint32_t(height + 1) / 4;
        auto shownAt = [&](uint32_t stored) -> uint32_t {
            if (stored < pass0) return stored * 8;
            stored -= pass0;
            if (stored < pass1) return 4 + stored * 8;
            stored -= pass1;
            if (stored < pass2) return 2 + stored * 4;
            return 1 + (stored - pass2) * 2;
        };
        std::vector<bool> placed(height, false);
        Bytes row(width);
        for (uint32_t first = 0; first < height; ++first) {
            if (placed[first]) continue;
            // Follow the cycle: the row stored at `first` goes to shownAt(first), whose
            // row goes on in turn, until the cycle closes.
            std::memcpy(row.data(), pixels.data() + size_t(first) * width, width);
            uint32_t from = first;
            for (;;) {
                placed[from] = true;
                const uint32_t to = shownAt(from);
                if (to == first) {
                    std::memcpy(pixels.data() + size_t(to) * width, row.data(), width);
                    break;
                }
                // The row displaced at `to` is the stored row `to`: swap it into the
                // buffer and carry it on.
                std::swap_ranges(row.begin(), row.end(),
                                 pixels.begin() + ptrdiff_t(size_t(to) * width));
                from = to;
            }
        }
    }
    frame.setPixels(uint16_t(width), uint16_t(height), std::move(pixels), image.decoded.literals);
}

void Parser::finish(const ImageData& image, const GifImage& out) {
    const size_t index = image.frame;
    const Frame& frame = out.frame(index);
    if (!image.error.empty())
        throw GifError("Corrupt image data in " + frameName(index) + ": " + image.error);
    const uint64_t pixelCount = uint64_t(image.width) * image.height;
    const lzw::DecodeResult& decoded = image.decoded;
    if (decoded.written < pixelCount) {
        // Decoded pixels cost file data; filled ones cost nothing, hence their own limit.
        m_filledPixels += pixelCount - decoded.written;
        if (m_filledPixels > m_limits.maxFilledPixels)
            throw GifLimitError(frameName(index) + " lacks the image data of " +
                                std::to_string(pixelCount - decoded.written) +
                                " pixels: more than the limit of " +
                                std::to_string(m_limits.maxFilledPixels) + " filled pixels");
        m_owner.warn(frameName(index) +
                     (image.cut ? " is truncated" : " has too little image data") +
                     "; its missing pixels are filled");
    } else if (image.cut) {
        m_owner.warn("The file is truncated inside the image data of " + frameName(index));
    }
    // Surplus data is ignored: the frame's size, not its data, decides its pixels.
    if (decoded.extraCodes)
        m_owner.warn(frameName(index) + " has more image data than its size");
    else if (decoded.dataAfterEnd)
        m_owner.warn(frameName(index) + " has data after its end code");

    // Indices beyond the table and a missing table are left to whoever draws the frame;
    // the data is kept as it is so that it is written back unchanged.
    const size_t tableSize =
        frame.localColors().empty() ? out.globalColors().size() : frame.localColors().size();
    if (tableSize == 0)
        m_owner.warn(frameName(index) + " has no colour table");
    else if (decoded.highestLiteral >= tableSize)
        m_owner.warn(frameName(index) + " uses colour indices beyond its colour table");
}

} // namespace

void readGif(GifImage& image, std::span<const uint8_t> bytes, const ReadLimits& limits) {
    ProgressScope progress(image, ProgressMessage::Loading);
    GifImage fresh;
    try {
        Parser(image, bytes, limits, progress).run(fresh);
    } catch (const std::bad_alloc&) {
        // Within the limits an allocation can still fail on a machine short of memory;
        // that is a failed load like any other.
        throw GifLimitError("Not enough memory to read the file");
    }

    // What the file does not describe stays with the image.
    fresh.reduction = image.reduction;
    fresh.transparent = image.transparent;
    fresh.setAnimate(image.animate()); // no handler installed yet: no notification
    fresh.onProgress = image.onProgress;
    fresh.onWarning = image.onWarning;
    fresh.onAfterPaint = image.onAfterPaint;
    fresh.onAnimationSwitch = image.onAnimationSwitch;
    image = std::move(fresh);
}

void readGifFile(GifImage& image, const QString& path, const ReadLimits& limits) {
    // The signature is checked on the first bytes, so that a device or a large file of
    // another kind is refused before it is read.
    ReadFileLimits fileLimits;
    fileLimits.maxBytes = limits.maxFileBytes;
    fileLimits.idleTimeoutMs = limits.idleTimeoutMs;
    const Bytes data = readFileBounded(path, fileLimits, checkGifSignature);
    readGif(image, data, limits);
}

uint64_t memoryBudget(uint64_t screenPixels, uint64_t frames, const ReadLimits& limits) {
    return screenPixels * frames + screenPixels * frames / 2 + limits.budgetSlackBytes;
}

void GifImage::load(const QString& path) {
    readGifFile(*this, path);
}

void GifImage::load(std::span<const uint8_t> bytes) {
    readGif(*this, bytes);
}

} // namespace vorlane::gif
