// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/GifImage.h"

#include <algorithm>

#include "codec/ColorReduction.h"

namespace vorlane::gif {

const char* progressText(ProgressMessage message) {
    switch (message) {
    case ProgressMessage::Loading:
        return "Loading";
    case ProgressMessage::Saving:
        return "Saving";
    case ProgressMessage::Converting:
        return "Converting";
    case ProgressMessage::Rendering:
        return "Rendering";
    case ProgressMessage::Copying:
        return "Copying";
    case ProgressMessage::Optimizing:
        return "Optimizing";
    }
    return "";
}

void GifImage::reportProgress(Stage stage, int percent, ProgressMessage message) const {
    if (onProgress) onProgress(stage, percent, message);
}

void GifImage::warn(const std::string& message) const {
    if (onWarning) onWarning(message);
}

void GifImage::assign(const GifImage& source) {
    if (&source == this) return;
    reportProgress(Stage::Starting, 0, ProgressMessage::Copying);
    m_frames.clear();
    screenWidth = source.screenWidth;
    screenHeight = source.screenHeight;
    backgroundIndex = source.backgroundIndex;
    aspect = source.aspect;
    colorResolution = source.colorResolution;
    m_globalColors = source.m_globalColors;
    m_globalSorted = source.m_globalSorted;
    transparent = source.transparent;
    m_animate = source.m_animate;
    reduction.method = source.reduction.method;
    reduction.dither = source.reduction.dither;
    trailingExtensions.clear();
    for (const auto& record : source.trailingExtensions)
        trailingExtensions.push_back(record->clone());

    m_frames.reserve(source.m_frames.size());
    const size_t n = source.m_frames.size();
    for (size_t i = 0; i < n; ++i) {
        Frame copy = source.m_frames[i].clone();
        if (copy.m_localColors.empty() && !m_globalColors.empty()) {
            // The active table travels with the frame. The own picture stays valid: it
            // was made from the same colours.
            copy.m_localColors = m_globalColors;
            copy.m_localSorted = m_globalSorted;
        }
        m_frames.push_back(std::move(copy));
        if (n > 1) reportProgress(Stage::Running, int((i + 1) * 100 / n), ProgressMessage::Copying);
    }
    reportProgress(Stage::Ending, 100, ProgressMessage::Copying);
}

void GifImage::setGlobalColors(ColorTable colors, bool sorted) {
    if (colors.size() > 256) throw GifError(messages::ColorTableOverflow);
    m_globalColors = std::move(colors);
    m_globalSorted = sorted;
}

const ColorTable& GifImage::activeColors(size_t i) const {
    const Frame& f = frame(i);
    return f.m_localColors.empty() ? m_globalColors : f.m_localColors;
}

Frame& GifImage::addFrame(const QImage& picture) {
    if (picture.isNull() || picture.width() > 0xFFFF || picture.height() > 0xFFFF)
        throw GifError(messages::NotSupported);
    reportProgress(Stage::Starting, 0, ProgressMessage::Converting);

    QImage indexed;
    switch (picture.format()) {
    case QImage::Format_Indexed8:
        indexed = picture;
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        indexed = picture.convertToFormat(QImage::Format_Indexed8);
        break;
    default:
        indexed = reduceColors(picture, reduction.dither, reduction.bits);
        break;
    }

    Frame f;
    const int w = indexed.width();
    const int h = indexed.height();
    Bytes indices(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        std::copy_n(indexed.constScanLine(y), w, indices.data() + size_t(y) * w);
    ColorTable colors;
    const QList<QRgb> table = indexed.colorTable();
    colors.reserve(table.size());
    for (QRgb c : table)
        colors.push_back({uint8_t(qRed(c)), uint8_t(qGreen(c)), uint8_t(qBlue(c))});
    if (colors.empty()) colors.push_back({0, 0, 0});
    // A palette shorter than the highest index used would make the file invalid.
    const uint8_t highest = indices.empty() ? 0 : *std::max_element(indices.begin(), indices.end());
    if (highest >= colors.size()) throw GifError(messages::InvalidColorIndex);
    f.setPixels(uint16_t(w), uint16_t(h), std::move(indices));
    f.setLocalColors(std::move(colors));

    // Grow the logical screen; it never shrinks.
    if (w > screenWidth) {
        if (screenWidth > 0) warn(messages::ExceedsLogicalScreen);
        screenWidth = uint16_t(w);
    }
    if (h > screenHeight) {
        if (screenHeight > 0) warn(messages::ExceedsLogicalScreen);
        screenHeight = uint16_t(h);
    }
    m_frames.push_back(std::move(f));
    reportProgress(Stage::Ending, 100, ProgressMessage::Converting);
    return m_frames.back();
}

GifImage GifImage::sharedCopy() const {
    GifImage copy;
    copy.screenWidth = screenWidth;
    copy.screenHeight = screenHeight;
    copy.backgroundIndex = backgroundIndex;
    copy.aspect = aspect;
    copy.colorResolution = colorResolution;
    copy.m_globalColors = m_globalColors;
    copy.m_globalSorted = m_globalSorted;
    copy.transparent = transparent;
    copy.reduction = reduction;
    copy.trailingExtensions = trailingExtensions;
    copy.m_frames = m_frames;
    return copy;
}

Frame& GifImage::appendFrame(Frame frame) {
    m_frames.push_back(std::move(frame));
    return m_frames.back();
}

void GifImage::insertFrame(size_t index, Frame frame) {
    if (index > m_frames.size()) throw GifError("Frame index out of range");
    m_frames.insert(m_frames.begin() + ptrdiff_t(index), std::move(frame));
}

void GifImage::insertFrames(size_t index, std::vector<Frame> frames) {
    if (index > m_frames.size()) throw GifError("Frame index out of range");
    m_frames.insert(m_frames.begin() + ptrdiff_t(index), std::make_move_iterator(frames.begin()),
                    std::make_move_iterator(frames.end()));
}

std::vector<Frame> GifImage::takeFrames(size_t first, size_t count) {
    if (first > m_frames.size() || count > m_frames.size() - first)
        throw GifError("Frame index out of range");
    const auto begin = m_frames.begin() + ptrdiff_t(first);
    std::vector<Frame> taken(std::make_move_iterator(begin),
                             std::make_move_iterator(begin + ptrdiff_t(count)));
    m_frames.erase(begin, begin + ptrdiff_t(count));
    return taken;
}

void GifImage::reorderFrames(const std::vector<int>& order) {
    if (order.size() != m_frames.size()) throw GifError("Frame order does not match the frames");
    std::vector<bool> seen(order.size(), false);
    for (const int old : order) {
        if (old < 0 || size_t(old) >= order.size() || seen[size_t(old)])
            throw GifError("Frame order does not match the frames");
        seen[size_t(old)] = true;
    }
    std::vector<Frame> reordered;
    reordered.reserve(order.size());
    for (const int old : order)
        reordered.push_back(std::move(m_frames[size_t(old)]));
    m_frames = std::move(reordered);
}

void GifImage::replaceFrame(size_t i, Frame frame) {
    if (i >= m_frames.size()) throw GifError("Frame index out of range");
    m_frames[i] = std::move(frame);
}

void GifImage::moveFrame(size_t from, size_t to) {
    if (from >= m_frames.size() || to >= m_frames.size())
        throw GifError("Frame index out of range");
    if (from == to) return;
    Frame f = std::move(m_frames[from]);
    m_frames.erase(m_frames.begin() + ptrdiff_t(from));
    m_frames.insert(m_frames.begin() + ptrdiff_t(to), std::move(f));
}

void GifImage::exchangeFrames(size_t i, size_t j) {
    if (i >= m_frames.size() || j >= m_frames.size()) throw GifError("Frame index out of range");
    std::swap(m_frames[i], m_frames[j]);
}

void GifImage::deleteFrame(size_t i) {
    if (i >= m_frames.size()) throw GifError("Frame index out of range");
    m_frames.erase(m_frames.begin() + ptrdiff_t(i));
}

void GifImage::clearFrames() {
    m_frames.clear();
}

QImage GifImage::ownPicture(size_t i) const {
    const Frame& f = frame(i);
    if (!f.hasPixels()) return {};
    const ColorTable& colors = activeColors(i);
    QList<QRgb> table;
    table.reserve(256);
    for (const Rgb& c : colors)
        table.push_back(qRgb(c.r, c.g, c.b));
    // Indices beyond a short table show black rather than reading past the table.
    const uint8_t highest = f.highestIndex();
    while (table.size() <= highest)
        table.push_back(qRgb(0, 0, 0));
    // The picture's rows are the frame's rows (a stride of the frame's width): the
    // picture holds a reference to the pixel buffer, reads it only, and copies nothing.
    auto* keep = new std::shared_ptr<const Bytes>(f.sharedPixels());
    QImage picture((*keep)->data(), f.width(), f.height(), f.width(), QImage::Format_Indexed8,
                   [](void* info) { delete static_cast<std::shared_ptr<const Bytes>*>(info); },
                   keep);
    picture.setColorTable(table);
    return picture;
}

ExtensionPtr GifImage::newGraphicControl(size_t i) {
    Frame& f = frame(i);
    auto record = Extension::makeGraphicControl();
    if (f.graphicControlRecord)
        warn(messages::MultipleGraphicControls);
    else
        f.graphicControlRecord = record;
    return record;
}

void GifImage::setTransparentColor(size_t i, Rgb color) {
    Frame& f = frame(i);
    if (f.m_localColors.empty() && !m_globalColors.empty()) {
        // Appending to the global table would change every frame that uses it; the frame
        // takes a local copy instead.
        f.m_localColors = m_globalColors;
    }
    ColorTable& table = f.m_localColors;
    int index = -1;
    for (size_t k = 0; k < table.size(); ++k)
        if (table[k] == color) index = int(k);
    if (index < 0) {
        if (table.size() >= 256) throw GifError(messages::ColorTableOverflow);
        table.push_back(color);
        index = int(table.size() - 1);
    }
    if (!f.graphicControlRecord) f.extensions.push_back(newGraphicControl(i));
    f.graphicControlRecord->control().transparentIndex = uint8_t(index);
}

void GifImage::setAnimate(bool on) {
    if (m_animate == on) return;
    m_animate = on;
    if (onAnimationSwitch) onAnimationSwitch(on);
}

} // namespace vorlane::gif
