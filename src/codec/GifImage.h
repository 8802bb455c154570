// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The in-memory GIF87a/GIF89a image: logical screen, global colour table and frames.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include <QImage>
#include <QString>

#include "codec/Frame.h"
#include "codec/GifTypes.h"

namespace vorlane::gif {

enum class Dither { Nearest, FloydSteinberg };

struct ReductionSettings {
    enum class Method { None, Quantize };
    Method method = Method::Quantize;
    int bits = 8; // at most 2^bits colours
    Dither dither = Dither::FloydSteinberg;
};

class GifImage {
public:
    using ProgressHandler = std::function<void(Stage, int percent, ProgressMessage)>;
    using WarningHandler = std::function<void(const std::string& message)>;
    using Notification = std::function<void()>;

    GifImage() = default;
    GifImage(GifImage&&) = default;
    GifImage& operator=(GifImage&&) = default;
    GifImage(const GifImage&) = delete;
    GifImage& operator=(const GifImage&) = delete;

    // Copy image: empties this image, then copies screen, background index, aspect,
    // global table, transparent flag, animation switch and reduction settings, and each
    // frame with its active colour table as its local table and new copies of its
    // records. Handlers are not copied. Reports "Copying".
    void assign(const GifImage& source);
    // A copy that shares the frames' pixel buffers and records with this image (they are
    // replaced, never changed in place): what a background job, a save or a later edit
    // step reads while this image goes on. The same screen, tables and settings; no
    // handlers. Cheap: no pixel is copied.
    GifImage sharedCopy() const;

    // ---- reading and writing (GifReader.cpp, GifWriter.cpp) ----
    // Replace this image by the contents of a file or of bytes. Reports "Loading".
    // Throws GifError; on failure this image is left as it was.
    void load(const QString& path);
    void load(std::span<const uint8_t> bytes);
    // Write the image. Throws GifError ("Cannot save empty GIF" without frames).
    // Saving to a path goes through writeFileSafely (SafeFile.h): a failure leaves an
    // existing file untouched and says the system's reason. Reports "Saving".
    void save(const QString& path) const;
    Bytes saveToBytes() const;

    // ---- logical screen ----
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    uint8_t backgroundIndex = 0;
    uint8_t aspect = 0;
    uint8_t colorResolution = 7; // bits 4..6 of the screen descriptor's packed byte
    const ColorTable& globalColors() const { return m_globalColors; }
    bool globalSorted() const { return m_globalSorted; }
    // Replaces the global table.
    void setGlobalColors(ColorTable colors, bool sorted = false);
    // Whether the image is drawn transparently.
    bool transparent = false;
    ReductionSettings reduction;
    // Records after the last image, written just before the trailer.
    ExtensionList trailingExtensions;

    // ---- frames ----
    size_t frameCount() const { return m_frames.size(); }
    Frame& frame(size_t i) { return m_frames.at(i); }
    const Frame& frame(size_t i) const { return m_frames.at(i); }
    const std::vector<Frame>& frames() const { return m_frames; }

    // The frame's active colour table: its local table, else the global one.
    const ColorTable& activeColors(size_t i) const;

    // Add frame (picture): appends a frame at (0, 0) with the picture's size, growing
    // the logical screen to hold it. Indexed pictures (1, 4, 8 bits) are taken over with
    // their palette; others are reduced with `reduction`. No records. Reports
    // "Converting". Returns the new frame.
    Frame& addFrame(const QImage& picture);
    // Appends a frame as it is (used by the reader and by codec operations).
    Frame& appendFrame(Frame frame);
    void insertFrame(size_t index, Frame frame);

    // Inserts the frames at `index`, in order.
    void insertFrames(size_t index, std::vector<Frame> frames);
    // Takes `count` frames from `first` out of the image.
    std::vector<Frame> takeFrames(size_t first, size_t count);
    // Puts the frames in a new order: order[newIndex] is the frame's old index; `order`
    // must be a permutation of 0..frameCount() - 1.
    void reorderFrames(const std::vector<int>& order);
    // Replaces frame i.
    void replaceFrame(size_t i, Frame frame);

    void moveFrame(size_t from, size_t to);
    void exchangeFrames(size_t i, size_t j);
    void deleteFrame(size_t i);
    void clearFrames();

    // The frame's own picture: 8 bits per pixel, palette = active colour table, pixels
    // = indices, no transparency. It shares the frame's pixel buffer, read only (any
    // change to its pixels makes a copy of its own), so it costs no copy and keeps the
    // buffer alive as long as it lives. Each call returns a picture of its own, so that
    // changing its colour table copies nothing.
    QImage ownPicture(size_t i) const;

    // New graphic control record for frame i with every field 0. It becomes the frame's
    // reference unless the frame has one already (then the warning "Frame contains
    // multiple Graphic Control Extension blocks" is issued and the old reference stays).
    // It is not put into the extension list.
    ExtensionPtr newGraphicControl(size_t i);

    // Looks the colour up in frame i's active table (last match wins), appending it when
    // missing, and stores its index as the transparent index of the frame's graphic
    // control record. Never touches the flag. Throws "Color table overflow".
    void setTransparentColor(size_t i, Rgb color);

    // ---- animation switch ----
    bool animate() const { return m_animate; }
    void setAnimate(bool on);

    // ---- handlers ----
    ProgressHandler onProgress;
    WarningHandler onWarning;
    // Called after each frame the running animation has painted.
    Notification onAfterPaint;
    // Called whenever the animation switch changes.
    std::function<void(bool on)> onAnimationSwitch;

    void reportProgress(Stage stage, int percent, ProgressMessage message) const;
    void warn(const std::string& message) const;

private:
    std::vector<Frame> m_frames;
    ColorTable m_globalColors;
    bool m_globalSorted = false;
    bool m_animate = false;
};

} // namespace vorlane::gif
