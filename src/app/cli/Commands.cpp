// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Commands.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>

#include "cli/Operations.h"
#include "codec/ColorReduction.h"
#include "codec/Compositor.h"
#include "codec/GifImage.h"
#include "codec/Optimize.h"
#include "codec/SafeFile.h"
#include "codec/Unoptimize.h"

namespace vorlane::cli {

using namespace vorlane::gif;

namespace {

int fail(const QString& subject, const QString& message) {
    std::fprintf(stderr, "vorlane-gif-cli: %s: %s\n", qUtf8Printable(subject),
                 qUtf8Printable(message));
    return ExitFailure;
}

// A failure tied to the file it happened on, so that the message names the output when
// writing failed and the input when reading did.
struct FileFailure {
    QString path;
    QString message;
};

QString describeException(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return QStringLiteral("out of memory");
    return QString::fromUtf8(e.what());
}

// Runs `step`, turning any exception it throws into a FileFailure about `path`.
template <typename Step> auto on(const QString& path, Step&& step) -> decltype(step()) {
    try {
        return step();
    } catch (const std::exception& e) {
        throw FileFailure{path, describeException(e)};
    }
}

// Runs a command, turning a failure into its message and exit status 1. The codec
// reports with GifError; allocation failures and other errors are caught too so that no
// input ends the process without a message.
template <typename Work> int guarded(const QString& subject, Work&& work) {
    try {
        return work();
    } catch (const FileFailure& f) {
        return fail(f.path, f.message);
    } catch (const std::exception& e) {
        return fail(subject, describeException(e));
    }
}

// Loads the GIF, writing every problem the reader repaired or ignored to standard error
// as a "warning: FILE: ..." line; with --strict such a problem fails the command.
GifImage loadGif(const QString& path, const Options& options,
                 std::vector<std::string>* warnings = nullptr) {
    std::vector<std::string> seen;
    GifImage image = on(path, [&] {
        GifImage loaded;
        loaded.onWarning = [&](const std::string& message) { seen.push_back(message); };
        loaded.load(path);
        loaded.onWarning = nullptr;
        return loaded;
    });
    for (const std::string& warning : seen)
        std::fprintf(stderr, "warning: %s: %s\n", qUtf8Printable(path), warning.c_str());
    if (options.strict && !seen.empty())
        throw FileFailure{path, QStringLiteral("%1 warning%2, and --strict makes warnings fail")
                                    .arg(qulonglong(seen.size()))
                                    .arg(seen.size() == 1 ? QString() : QStringLiteral("s"))};
    if (warnings) *warnings = std::move(seen);
    return image;
}

void saveGif(const GifImage& image, const QString& path) {
    on(path, [&] { image.save(path); });
}

// Text of a record as one quoted, escaped line: printable ASCII stays, the rest becomes
// \n, \t, \\, \" or \xHH, so that any comment prints on a single diffable line.
std::string escapedLine(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += char(c);
            } else {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
    }
    out += '"';
    return out;
}

void describe(const GifImage& image, std::FILE* out) {
    std::fprintf(out, "screen %ux%u\n", unsigned(image.screenWidth), unsigned(image.screenHeight));
    std::fprintf(out, "background %u\n", unsigned(image.backgroundIndex));
    std::fprintf(out, "aspect %u\n", unsigned(image.aspect));
    std::fprintf(out, "global-colors %zu%s\n", image.globalColors().size(),
                 image.globalSorted() ? " sorted" : "");

    // Loop count and comment are what an editor shows: the first loop record of frame 0
    // and the comment records of frame 0, joined by line breaks.
    std::string loop = "none";
    std::string comment;
    bool hasComment = false;
    if (image.frameCount() > 0) {
        for (const ExtensionPtr& record : image.frame(0).extensions) {
            if (record->isApplication() && record->isLoop() && loop == "none") {
                const auto count = record->loopCount();
                loop = count ? std::to_string(*count) : std::string("unspecified");
            } else if (record->isComment()) {
                if (hasComment) comment += '\n';
                comment += record->text();
                hasComment = true;
            }
        }
    }
    std::fprintf(out, "loop %s\n", loop.c_str());
    std::fprintf(out, "comment %s\n", hasComment ? escapedLine(comment).c_str() : "none");
    std::fprintf(out, "frames %zu\n", image.frameCount());

    for (size_t i = 0; i < image.frameCount(); ++i) {
        const Frame& frame = image.frame(i);
        const GraphicControl* control = frame.graphicControl();
        std::string transparency = "none";
        if (control && control->transparent)
            transparency = std::to_string(control->transparentIndex);
        std::string colors = "global";
        if (!frame.localColors().empty())
            colors = "local " + std::to_string(frame.localColors().size());
        std::fprintf(
            out, "frame %zu: at %u,%u size %ux%u delay %u disposal %u transparent %s colors %s", i,
            unsigned(frame.left), unsigned(frame.top), unsigned(frame.width()),
            unsigned(frame.height()), unsigned(control ? control->delay : 0),
            unsigned(control ? control->disposal : 0), transparency.c_str(), colors.c_str());
        if (frame.interlaced) std::fprintf(out, " interlaced");
        if (control && control->userInput) std::fprintf(out, " user-input");
        if (!control) std::fprintf(out, " no-control");
        if (!frame.hasPixels()) std::fprintf(out, " no-pixels");
        std::fprintf(out, "\n");
    }
}

// Writes one picture as PNG: encoded in memory, then written whole like every output.
void writePng(const QImage& picture, const QString& path) {
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture)) throw GifError(writer.errorString().toStdString());
    writeFileSafely(path, std::span<const uint8_t>(
                              reinterpret_cast<const uint8_t*>(encoded.constData()),
                              size_t(encoded.size())));
}

// Whether the name is one that `frames` writes for some frame count: three digits or
// more, then ".png".
bool isFramePictureName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{3,}\\.png$"));
    return pattern.match(name).hasMatch();
}

// The loop record and the comments of the first frame, which belong to the animation
// rather than to whichever frame stands first: the editor holds them apart while the
// frames are edited and writes them back on the first frame.
struct AnimationRecords {
    ExtensionPtr loop;
    ExtensionList comments;
};

AnimationRecords takeAnimationRecords(GifImage& image) {
    AnimationRecords taken;
    if (image.frameCount() == 0) return taken;
    ExtensionList kept;
    for (const ExtensionPtr& record : image.frame(0).extensions) {
        if (!taken.loop && record->isLoop())
            taken.loop = record;
        else if (record->isComment())
            taken.comments.push_back(record);
        else
            kept.push_back(record);
    }
    image.frame(0).extensions = std::move(kept);
    return taken;
}

// As the editor saves: the loop record first, where every reader looks for it (a file
// without one repeats indefinitely from now on), the comments after the first frame's
// other records, and every frame with a graphic control record.
void putAnimationRecords(GifImage& image, const AnimationRecords& records) {
    for (size_t i = 0; i < image.frameCount(); ++i) {
        Frame& frame = image.frame(i);
        if (!frame.graphicControlRecord) frame.extensions.push_back(image.newGraphicControl(i));
    }
    if (image.frameCount() == 0) return;
    ExtensionList& first = image.frame(0).extensions;
    ExtensionPtr loop = records.loop ? records.loop->clone() : Extension::makeLoop(0);
    loop->setLoopCount(loop->loopCount().value_or(0));
    first.insert(first.begin(), loop);
    first.insert(first.end(), records.comments.begin(), records.comments.end());
}

} // namespace

QString frameFileName(size_t index, size_t count) {
    int digits = 3;
    for (size_t last = count > 0 ? count - 1 : 0; last >= 1000; last /= 10)
        ++digits;
    return QStringLiteral("%1.png").arg(qulonglong(index), digits, 10, QLatin1Char('0'));
}

int info(const QString& path, std::FILE* out, const Options& options) {
    return guarded(path, [&] {
        // What the reader had to repair or ignore is part of the description.
        std::vector<std::string> warnings;
        const GifImage image = loadGif(path, options, &warnings);
        describe(image, out);
        for (const std::string& warning : warnings)
            std::fprintf(out, "warning %s\n", warning.c_str());
        return ExitOk;
    });
}

int unoptimize(const QString& in, const QString& out, const Options& options) {
    return guarded(in, [&] {
        const GifImage source = loadGif(in, options);
        saveGif(gif::unoptimize(source), out);
        return ExitOk;
    });
}

int optimize(const QString& in, const QString& out, const Options& options) {
    return guarded(in, [&] {
        const GifImage source = loadGif(in, options);
        // Refused before the work of unoptimizing, not after it.
        if (uint64_t(source.screenWidth) * source.screenHeight > MaxOptimizedScreenPixels)
            throw FileFailure{in, QStringLiteral("Logical screen too large to optimize")};
        GifImage image = gif::unoptimize(source);
        // The settings of the editor's optimised save: every option but colour reduction.
        OptimizeOptions options;
        options.colorTables = true;
        options.cleanup = true;
        options.merge = true;
        options.crop = true;
        options.colorReduce = false;
        options.reduction = {ReductionSettings::Method::None, 8, Dither::Nearest};
        gif::optimize(image, options);
        saveGif(image, out);
        return ExitOk;
    });
}

int frames(const QString& in, const QString& dir, const Options& options) {
    return guarded(in, [&] {
        const GifImage image = loadGif(in, options);
        const QFileInfo target(dir);
        if (target.exists() && !target.isDir()) return fail(dir, QStringLiteral("not a directory"));
        if (!QDir().mkpath(dir)) return fail(dir, QStringLiteral("cannot create the directory"));
        const QDir folder(dir);
        const size_t count = image.frameCount();
        // The pictures are written straight from the canvas, without a copy: at one
        // byte per pixel (a palette picture with a transparent entry) when the frames
        // draw at most 255 colours in all, else at 32 bits.
        if (std::optional<IndexedCompositor> indexed = IndexedCompositor::make(image)) {
            QList<QRgb> palette;
            for (const Rgb& c : indexed->colors())
                palette.push_back(qRgb(c.r, c.g, c.b));
            palette.push_back(qRgba(0, 0, 0, 0));
            for (size_t i = 0; i < count; ++i) {
                const Bytes& canvas = indexed->next();
                QImage picture(canvas.data(), indexed->width(), indexed->height(),
                               indexed->width(), QImage::Format_Indexed8);
                picture.setColorTable(palette);
                const QString name = folder.filePath(frameFileName(i, count));
                on(name, [&] { writePng(picture, name); });
            }
        } else {
            Compositor compositor(image);
            for (size_t i = 0; i < count; ++i) {
                const uint32_t* canvas = compositor.compose(i);
                const QImage picture(reinterpret_cast<const uchar*>(canvas), compositor.width(),
                                     compositor.height(), qsizetype(compositor.width()) * 4,
                                     QImage::Format_ARGB32);
                const QString name = folder.filePath(frameFileName(i, count));
                on(name, [&] { writePng(picture, name); });
            }
        }
        // Numbered pictures of an earlier run beyond this one's frames (or numbered with
        // another number of digits) would read as part of this animation; they go.
        QStringList written;
        for (size_t i = 0; i < count; ++i)
            written << frameFileName(i, count);
        const QFileInfoList entries =
            folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        for (const QFileInfo& entry : entries) {
            if (!isFramePictureName(entry.fileName()) || written.contains(entry.fileName()) ||
                entry.isSymLink() || !entry.isFile())
                continue;
            if (!QFile::remove(entry.filePath()))
                return fail(entry.filePath(), QStringLiteral("cannot remove the picture of an "
                                                             "earlier run"));
        }
        return ExitOk;
    });
}

int quantize(const QString& picture, const QString& out) {
    return guarded(picture, [&] {
        QImageReader reader(picture);
        const QImage input = reader.read();
        if (input.isNull()) return fail(picture, reader.errorString());
        if (input.width() > 0xFFFF || input.height() > 0xFFFF)
            return fail(picture, QStringLiteral("picture larger than 65535 x 65535 pixels"));
        GifImage image;
        image.addFrame(
            reduceColors(input.convertToFormat(QImage::Format_RGB32), Dither::Nearest, 8));
        saveGif(image, out);
        return ExitOk;
    });
}

int edit(const QString& in, const QString& out, const std::vector<tools::Operation>& operations,
         const Options& options) {
    return guarded(in, [&] {
        // As the editor opens a file: every frame becomes the picture shown at it.
        GifImage image = gif::unoptimize(loadGif(in, options));
        const AnimationRecords records = takeAnimationRecords(image);
        if (image.frameCount() > 0 && !records.loop)
            std::fprintf(stderr,
                         "note: %s: the file has no loop setting, so browsers play it once; %s "
                         "repeats indefinitely, as the editor saves it\n",
                         qUtf8Printable(in), qUtf8Printable(out));
        for (const tools::Operation& operation : operations) {
            try {
                image = tools::run(image, operation);
            } catch (const std::exception& e) {
                throw FileFailure{in, operationText(operation) + QStringLiteral(": ") +
                                          describeException(e)};
            }
        }
        putAnimationRecords(image, records);
        saveGif(image, out);
        return ExitOk;
    });
}

int resave(const QString& in, const QString& out, const Options& options) {
    return guarded(in, [&] {
        saveGif(loadGif(in, options), out);
        return ExitOk;
    });
}

} // namespace vorlane::cli
