// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small pictures in every registered format, made here: by Qt where it writes the format,
// by ImageMagick where it does, byte by byte where nothing here writes it. Each shows the
// same 24 x 16 picture: the left half red, the right half blue (black and white in
// bilevel formats).

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageWriter>
#include <QPoint>
#include <QSize>
#include <QtEndian>

#ifdef VORLANE_HAVE_MAGICK
#include <magick/MagickCore.h>
#endif

#include "support/GifBuilder.h"

namespace vorlane::test {

inline constexpr int SampleWidth = 24;
inline constexpr int SampleHeight = 16;

// The colour picture's top row is a ramp: two flat halves alone compress below the
// 54-byte floor in some formats.
inline QImage samplePicture(bool bilevel = false) {
    QImage picture(SampleWidth, SampleHeight, QImage::Format_RGB32);
    picture.fill(bilevel ? Qt::white : Qt::blue);
    for (int y = 0; y < SampleHeight; ++y)
        for (int x = 0; x < SampleWidth / 2; ++x)
            picture.setPixel(x, y, bilevel ? qRgb(0, 0, 0) : qRgb(255, 0, 0));
    for (int x = 0; !bilevel && x < SampleWidth; ++x)
        picture.setPixel(x, 0, qRgb(x * 10, 255 - x * 10, x * 5));
    return picture;
}

inline QByteArray qtEncode(const QImage& picture, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (qstrcmp(format, "jpeg") == 0 || qstrcmp(format, "webp") == 0) writer.setQuality(100);
    return writer.write(picture) ? bytes : QByteArray();
}

#ifdef VORLANE_HAVE_MAGICK
// Must run before the first PictureImport exists: the import's security policy allows
// ImageMagick to read a few coders and to write none.
inline QByteArray magickEncode(const QImage& picture, const char* coder,
                               CompressionType compression = UndefinedCompression) {
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    ExceptionInfo* exception = AcquireExceptionInfo();
    Image* image = ConstituteImage(size_t(argb.width()), size_t(argb.height()), "BGRA", CharPixel,
                                   argb.constBits(), exception);
    ImageInfo* info = AcquireImageInfo();
    QByteArray bytes;
    if (image != nullptr) {
        CopyMagickString(info->magick, coder, MaxTextExtent);
        CopyMagickString(image->magick, coder, MaxTextExtent);
        info->compression = compression;
        image->compression = compression;
        size_t length = 0;
        void* blob = ImageToBlob(info, image, &length, exception);
        if (blob != nullptr) bytes = QByteArray(static_cast<const char*>(blob), qsizetype(length));
        RelinquishMagickMemory(blob);
        DestroyImage(image);
    }
    DestroyImageInfo(info);
    DestroyExceptionInfo(exception);
    return bytes;
}
#endif

// Appends integers in either byte order.
struct ByteWriter {
    QByteArray bytes;
    ByteWriter& u8(int v) { return raw(QByteArray(1, char(v))); }
    ByteWriter& le16(int v) { return put(qToLittleEndian(quint16(v))); }
    ByteWriter& le32(quint32 v) { return put(qToLittleEndian(v)); }
    ByteWriter& be16(int v) { return put(qToBigEndian(quint16(v))); }
    ByteWriter& be32(quint32 v) { return put(qToBigEndian(v)); }
    ByteWriter& zeros(int n) { return raw(QByteArray(n, '\0')); }
    ByteWriter& raw(const QByteArray& b) {
        bytes += b;
        return *this;
    }
    ByteWriter& words16le(std::initializer_list<int> values) {
        for (int v : values)
            le16(v);
        return *this;
    }

private:
    template <typename T> ByteWriter& put(T v) {
        return raw(QByteArray(reinterpret_cast<const char*>(&v), sizeof v));
    }
};

inline QByteArray gifSample(bool transparentRight = false) {
    std::vector<uint8_t> indices(SampleWidth * SampleHeight);
    for (size_t i = 0; i < indices.size(); ++i)
        indices[i] = (i % SampleWidth) < 12 ? 0 : 1;
    GifBuilder gif;
    gif.header().screen(SampleWidth, SampleHeight, {0xFF0000, 0x0000FF});
    if (transparentRight) gif.graphicControl(1, 10, 1);
    gif.image(0, 0, SampleWidth, SampleHeight, indices).trailer();
    return QByteArray(reinterpret_cast<const char*>(gif.bytes().data()),
                      qsizetype(gif.bytes().size()));
}

// A placeable Windows metafile: a red and a blue rectangle without outlines, one unit a
// pixel at 72 units per inch.
inline QByteArray wmfSample() {
    ByteWriter records;
    records.le32(5).words16le({0x020B, 0, 0});                      // window origin
    records.le32(5).words16le({0x020C, SampleHeight, SampleWidth}); // window extent
    records.le32(8).words16le({0x02FA, 5, 0, 0}).le32(0);           // null pen -> 0
    records.le32(4).words16le({0x012D, 0});                         // select it
    for (quint32 color : {0x0000FFu, 0xFF0000u}) {                  // 0x00BBGGRR
        const int left = color == 0x0000FFu ? 0 : SampleWidth / 2;
        records.le32(7).words16le({0x02FC, 0}).le32(color).le16(0); // solid brush -> 1
        records.le32(4).words16le({0x012D, 1});                     // select it
        records.le32(7).words16le(
            {0x041B, SampleHeight + 1, left + SampleWidth / 2 + 1, 0, left}); // rectangle
        records.le32(4).words16le({0x01F0, 1});                               // delete the brush
    }
    records.le32(3).le16(0); // end of file
    ByteWriter file;
    const int placeable[] = {0, 0, 0, SampleWidth, SampleHeight, 72, 0, 0};
    int checksum = 0xCDD7 ^ 0x9AC6;
    for (int word : placeable)
        checksum ^= word;
    file.le32(0x9AC6CDD7u)
        .words16le({0, 0, 0, SampleWidth, SampleHeight, 72})
        .le32(0)
        .le16(checksum);
    file.words16le({1, 9, 0x0300}).le32(quint32(9 + records.bytes.size() / 2)).le16(2);
    file.le32(8).le16(0).raw(records.bytes);
    return file.bytes;
}

// Dr. Halo: a 6-byte header and run-length coded rows of palette indices; without its
// palette file the indices are grey levels (0 black, 255 white).
inline QByteArray cutSample() {
    ByteWriter file;
    file.words16le({SampleWidth, SampleHeight, 0});
    for (int y = 0; y < SampleHeight; ++y)
        file.le16(5).u8(0x80 | 12).u8(0).u8(0x80 | 12).u8(255).u8(0);
    return file.bytes;
}

// Alias/Wavefront RLA: a 740-byte big-endian header, the offset of every row (bottom row
// first), and per row and channel a byte count and runs: -n then n literal values.
inline QByteArray rlaSample(const QImage& picture = samplePicture()) {
    const int w = picture.width(), h = picture.height();
    ByteWriter header;
    for (int window = 0; window < 2; ++window) // left, right, bottom, top
        header.be16(0).be16(w - 1).be16(0).be16(h - 1);
    header.be16(0).be16(0).be16(3).be16(0).be16(0).be16(0xFFFE); // frame .. revision
    header.zeros(16 + 4 * 24 + 4 + 128 + 128 + 64 + 32 + 32 + 20 + 24 + 8 + 32 + 2 + 12 + 32);
    header.be16(8).be16(0).be16(0).be16(0).be16(0).zeros(32 + 36).be32(0); // bits .. next
    ByteWriter rows;
    ByteWriter offsets;
    for (int y = h - 1; y >= 0; --y) {
        offsets.be32(quint32(header.bytes.size() + 4 * h + rows.bytes.size()));
        for (int shift : {16, 8, 0}) { // red, green, blue
            ByteWriter runs;
            for (int x = 0; x < w; ++x) {
                if (x % 128 == 0) runs.u8(-std::min(128, w - x));
                runs.u8(int(picture.pixel(x, y) >> shift) & 0xFF);
            }
            rows.be16(int(runs.bytes.size())).raw(runs.bytes);
        }
    }
    return header.bytes + offsets.bytes + rows.bytes;
}

// Autodesk Animator: header, VGA palette (levels 0..63), one byte per pixel.
inline QByteArray celSample(const QImage& indexed) {
    ByteWriter file;
    file.le16(0x9119).le16(indexed.width()).le16(indexed.height()).le16(0).le16(0);
    file.u8(8).u8(0).le32(quint32(indexed.width() * indexed.height())).zeros(16);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = indexed.color(i < indexed.colorCount() ? i : 0);
        file.u8(qRed(c) >> 2).u8(qGreen(c) >> 2).u8(qBlue(c) >> 2);
    }
    for (int y = 0; y < indexed.height(); ++y)
        file.raw(
            QByteArray(reinterpret_cast<const char*>(indexed.constScanLine(y)), indexed.width()));
    return file.bytes;
}

// A RIFF chunk, padded to an even length.
inline QByteArray riffChunk(const char* id, const QByteArray& data) {
    ByteWriter chunk;
    chunk.raw(QByteArray(id, 4)).le32(quint32(data.size())).raw(data);
    if (data.size() % 2) chunk.u8(0);
    return chunk.bytes;
}

// An animated cursor of the given icon files; `sequence` lists the frame shown at each
// step (no "seq " chunk when empty).
inline QByteArray aniSample(const QList<QByteArray>& icons, const QList<quint32>& sequence = {}) {
    ByteWriter header;
    header.le32(36)
        .le32(quint32(icons.size()))
        .le32(quint32(sequence.isEmpty() ? icons.size() : sequence.size()));
    header.zeros(16).le32(10).le32(sequence.isEmpty() ? 1 : 3); // rate, flags: icons (+ sequence)
    QByteArray frames("fram");
    for (const QByteArray& icon : icons)
        frames += riffChunk("icon", icon);
    ByteWriter steps;
    for (quint32 step : sequence)
        steps.le32(step);
    QByteArray body = QByteArray("ACON") + riffChunk("anih", header.bytes);
    if (!sequence.isEmpty()) body += riffChunk("seq ", steps.bytes);
    body += riffChunk("LIST", frames);
    return riffChunk("RIFF", body);
}

inline QByteArray svgSample(const QByteArray& extra = {}) {
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'"
           " width='24' height='16'><rect width='12' height='16' fill='#f00'/>"
           "<rect x='12' width='12' height='16' fill='#00f'/>" +
           extra + "</svg>";
}

struct Sample {
    QByteArray bytes;
    bool bilevel = false; // black and white instead of red and blue
    int tolerance = 0;    // per channel, for lossy formats
    QSize size{SampleWidth, SampleHeight};
    QPoint left{}; // probes; the middle of each half when null
    QPoint right{};
};

// A sample for every extension that may be registered here. Must run before the first
// PictureImport exists (see magickEncode).
inline QHash<QString, Sample> makeSamples() {
    const QImage colour = samplePicture();
    const QImage bilevel = samplePicture(true);
    QHash<QString, Sample> samples;
    const auto add = [&](std::initializer_list<const char*> extensions, const Sample& sample) {
        for (const char* extension : extensions)
            samples.insert(QString::fromLatin1(extension), sample);
    };
    const QByteArray bmp = qtEncode(colour, "bmp");
    QByteArray cursor = qtEncode(colour, "ico");
    cursor[2] = 2; // an icon file of type 2 is a cursor

    add({"gif"}, {gifSample()});
    add({"jpg", "jpeg", "jpe", "jfif"}, {qtEncode(colour, "jpeg"), false, 40});
    add({"bmp", "rle"}, {bmp});
    add({"dib"}, {bmp.mid(14)}); // without the file header
    add({"ico"}, {qtEncode(colour, "ico")});
    add({"cur"}, {cursor});
    add({"ani"}, {aniSample({qtEncode(colour, "ico")})});
    add({"tif", "tiff"}, {qtEncode(colour, "tiff")});
    add({"png"}, {qtEncode(colour, "png")});
    add({"ppm"}, {qtEncode(colour, "ppm")});
    add({"pgm"}, {qtEncode(bilevel, "pgm"), true});
    add({"pbm"}, {qtEncode(bilevel, "pbm"), true});
    add({"xbm"}, {qtEncode(bilevel, "xbm"), true});
    add({"xpm"}, {qtEncode(colour, "xpm")});
    // Wireless bitmaps are so compact that the sample needs more pixels to pass 54 bytes.
    add({"wbmp"}, {qtEncode(bilevel.scaled(48, 32), "wbmp"), true, 0, {48, 32}});
    add({"webp"}, {qtEncode(colour, "webp"), false, 40});
    add({"svg"}, {svgSample()});
    add({"cel", "pic"}, {celSample(colour.convertToFormat(QImage::Format_Indexed8))});
    add({"wmf"}, {wmfSample()});
    add({"cut"}, {cutSample(), true});
    add({"rla", "rpf"}, {rlaSample(colour)});
#ifdef VORLANE_HAVE_MAGICK
    add({"tga", "vst", "vda", "win", "icb"}, {magickEncode(colour, "TGA", RLECompression)});
    add({"pcx", "pcc", "scr"}, {magickEncode(colour, "PCX")});
    add({"sgi", "rgb", "rgba", "bw"}, {magickEncode(colour, "SGI", RLECompression)});
    add({"psd", "pdd"}, {magickEncode(colour, "PSD")});
    // Photo CD holds its base resolution; its colours are subsampled.
    add({"pcd"}, {magickEncode(colour.scaled(768, 512), "PCD"), false, 70, {768, 512}});
    // A raw fax has no header: its rows are read 2592 pixels wide, the picture at the left.
    add({"fax"}, {magickEncode(bilevel, "FAX"), true, 0, {2592, SampleHeight}, {4, 8}, {19, 8}});
#endif
    return samples;
}

} // namespace vorlane::test
