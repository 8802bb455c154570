// SPDX-License-Identifier: GPL-3.0-or-later
// ImageMagick as a decoder of legacy formats, boxed in: one named coder decodes bytes
// from memory, never a coder guessed from content or from a file name; a security policy
// refuses every other coder, every delegate (programs such as ghostscript) and "@file"
// paths; resource limits bound the picture and its memory; one thread.

#include <algorithm>
#include <climits>
#include <memory>

#include <QDeadlineTimer>
#include <QSysInfo>

#include "formats/Readers.h"

#ifdef VORLANE_HAVE_MAGICK
#include <magick/MagickCore.h>
#endif

namespace vorlane::formats::detail {

#ifdef VORLANE_HAVE_MAGICK

namespace {

// The coders the registry uses, and BMP/DIB, which the WMF coder uses for bitmaps
// embedded in a metafile. Nothing else may be read, so no input can reach the coders
// that read other files (TEXT, MSL, MVG, SVG, ...) or run programs (EPS, PDF, ...).
constexpr const char* SecurityPolicy = R"(<policymap>
  <policy domain="delegate" rights="none" pattern="*"/>
  <policy domain="filter" rights="none" pattern="*"/>
  <policy domain="path" rights="none" pattern="@*"/>
  <policy domain="coder" rights="none" pattern="*"/>
  <policy domain="coder" rights="read" pattern="{CUT,FAX,PCD,PCX,PSD,SGI,TGA,WMF,BMP,DIB}"/>
</policymap>)";

// A name that can never be opened ("/dev/null" is not a folder). Coders that look for a
// companion file beside the picture (Dr. Halo looks for a ".pal" palette) derive its
// name from this one, so they find nothing instead of a file in the working folder.
constexpr const char* PlaceholderName = "/dev/null/picture";

struct Runtime {
    bool ready = false;

    Runtime() {
        MagickCoreGenesis(nullptr, MagickFalse);
        ExceptionInfo* exception = AcquireExceptionInfo();
        ready = SetMagickSecurityPolicy(SecurityPolicy, exception) == MagickTrue &&
                exception->severity < ErrorException;
        DestroyExceptionInfo(exception);
        SetMagickResourceLimit(ThreadResource, 1);
        // No pixel cache on disk: a picture that does not fit the memory limits fails.
        SetMagickResourceLimit(DiskResource, 0);
        // The time resource is deliberately not set: exceeding it ends the process.
        // Decoding time is bounded by the progress monitor in readWithMagick instead.
    }
};

const Runtime& runtime() {
    static const Runtime instance;
    return instance;
}

struct ImageInfoDeleter {
    void operator()(ImageInfo* info) const { DestroyImageInfo(info); }
};
struct ImageDeleter {
    void operator()(Image* image) const { DestroyImageList(image); }
};
struct ExceptionDeleter {
    void operator()(ExceptionInfo* exception) const { DestroyExceptionInfo(exception); }
};

// Called by the coders as they go; returning false makes them stop early.
MagickBooleanType keepGoing(const char*, const MagickOffsetType, const MagickSizeType,
                            void* deadline) {
    return static_cast<const QDeadlineTimer*>(deadline)->hasExpired() ? MagickFalse : MagickTrue;
}

void applyLimits(const ImportLimits& limits) {
    // Limits can only be lowered below the system's policy file, never raised above it.
    const auto pixels = MagickSizeType(limits.maxPixels);
    SetMagickResourceLimit(WidthResource, MagickSizeType(limits.maxSide));
    SetMagickResourceLimit(HeightResource, MagickSizeType(limits.maxSide));
    SetMagickResourceLimit(AreaResource, pixels);
    // The pixel cache holds four 16-bit channels per pixel.
    SetMagickResourceLimit(MemoryResource, pixels * 8);
    SetMagickResourceLimit(MapResource, pixels * 8);
    SetMagickResourceLimit(ListLengthResource, 256);
}

} // namespace

bool magickCanRead(const QByteArray& coder) {
    if (!runtime().ready) return false;
    std::unique_ptr<ExceptionInfo, ExceptionDeleter> exception(AcquireExceptionInfo());
    const MagickInfo* info = GetMagickInfo(coder.constData(), exception.get());
    return info != nullptr && info->decoder != nullptr &&
           LocaleCompare(info->name, coder.constData()) == 0 &&
           IsRightsAuthorized(CoderPolicyDomain, ReadPolicyRights, coder.constData()) == MagickTrue;
}

QImage readWithMagick(const QByteArray& data, const QByteArray& coder, const ImportLimits& limits) {
    if (data.isEmpty() || !magickCanRead(coder)) return {};
    applyLimits(limits);

    std::unique_ptr<ImageInfo, ImageInfoDeleter> info(AcquireImageInfo());
    std::unique_ptr<ExceptionInfo, ExceptionDeleter> exception(AcquireExceptionInfo());
    CopyMagickString(info->magick, coder.constData(), MaxTextExtent);
    CopyMagickString(info->filename, PlaceholderName, MaxTextExtent);
    info->affirm = MagickTrue;
    // Only the first image: Photoshop's merged picture without its layers. Photo CD
    // takes the scene number for a resolution (scene 0 is the 192 x 128 thumbnail), so
    // it keeps its default, the 768 x 512 base picture.
    if (coder != "PCD") {
        info->scene = 0;
        info->number_scenes = 1;
    }
    QDeadlineTimer deadline(limits.maxDecodeMilliseconds);
    SetImageInfoProgressMonitor(info.get(), keepGoing, &deadline);

    std::unique_ptr<Image, ImageDeleter> image(
        BlobToImage(info.get(), data.constData(), size_t(data.size()), exception.get()));
    // A coder stopped by the monitor returns what it has without an error.
    if (!image || exception->severity >= ErrorException || deadline.hasExpired()) return {};
    const QSize size(int(std::min<size_t>(image->columns, INT_MAX)),
                     int(std::min<size_t>(image->rows, INT_MAX)));
    if (!fitsLimits(size, limits)) return {};

    if (image->colorspace != sRGBColorspace && image->colorspace != RGBColorspace &&
        image->colorspace != GRAYColorspace &&
        TransformImageColorspace(image.get(), sRGBColorspace) != MagickTrue)
        return {};

    QImage picture(size, QImage::Format_ARGB32);
    if (picture.isNull()) return {};
    // Format_ARGB32 holds each pixel as one native-endian 0xAARRGGBB word.
    const char* order = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "BGRA" : "ARGB";
    for (int y = 0; y < size.height(); ++y) {
        if (ExportImagePixels(image.get(), 0, y, size_t(size.width()), 1, order, CharPixel,
                              picture.scanLine(y), exception.get()) != MagickTrue)
            return {};
    }
    return picture;
}

#else // ImageMagick not built in: no format is decoded through it.

bool magickCanRead(const QByteArray&) {
    return false;
}

QImage readWithMagick(const QByteArray&, const QByteArray&, const ImportLimits&) {
    return {};
}

#endif

} // namespace vorlane::formats::detail
