// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/FrameCommands.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <span>

#include <QFile>
#include <QFileInfo>

#include "codec/ColorReduction.h"
#include "codec/Unoptimize.h"
#include "document/BackgroundWork.h"
#include "document/EditSteps.h"
#include "editing/DisposalChooser.h"
#include "platform/Clipboard.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {

// The rows a command acts on: the selected frames, else the current one.
std::vector<int> rowsOf(const FrameSelection& selection, int count) {
    std::vector<int> rows;
    for (const int r : selection.rows)
        if (r >= 0 && r < count) rows.push_back(r);
    if (rows.empty() && selection.current >= 0 && selection.current < count)
        rows.push_back(selection.current);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

// A selection of `count` frames from `first`, the first of them current.
FrameSelection block(int first, int count) {
    FrameSelection s;
    s.current = count > 0 ? first : -1;
    for (int i = 0; i < count; ++i)
        s.rows.push_back(first + i);
    return s;
}

FrameSelection single(int row) {
    return row >= 0 ? FrameSelection{row, {row}} : FrameSelection{};
}

bool isGifFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(6);
    return head == "GIF87a" || head == "GIF89a";
}

// The frames of an image taken into the animation: their loop records stay behind.
std::vector<gif::Frame> withoutLoopRecords(const gif::GifImage& image) {
    std::vector<gif::Frame> frames(image.frames().begin(), image.frames().end());
    for (size_t i = 0; i < frames.size(); ++i) {
        gif::Frame& f = frames[i];
        std::erase_if(f.extensions, [](const gif::ExtensionPtr& r) { return r->isLoop(); });
        // Every frame of the animation has a graphic control record.
        if (!f.graphicControlRecord) {
            f.graphicControlRecord = gif::Extension::makeGraphicControl();
            f.extensions.push_back(f.graphicControlRecord);
        }
        // A frame's table stands with the frame, whatever image it comes from.
        if (f.localColors().empty()) f.setLocalColors(image.activeColors(i));
    }
    return frames;
}

// The codec's progress of a job, to its progress.
gif::GifImage::ProgressHandler reporter(WorkProgress& progress) {
    return [&progress](gif::Stage stage, int percent, gif::ProgressMessage message) {
        progress.report(stage, percent, message);
    };
}

} // namespace

QString FrameCommands::removeQuestion(int count) {
    if (count <= 1) return RemoveQuestion;
    return QStringLiteral("Are you sure you want to remove these %1 images from the animation?")
        .arg(count);
}

FrameCommands::FrameCommands(AnimationModel& animation, const Platform& platform)
    : m_animation(animation), m_platform(platform), m_filter(m_import.dialogFilter()) {}

// ---- making frames ---------------------------------------------------------------------

gif::Frame FrameCommands::makeFrame(const QImage& bmp, uint16_t delay,
                                    const gif::ReductionSettings& reduction,
                                    const gif::GifImage::ProgressHandler& progress) {
    gif::GifImage scratch;
    scratch.reduction = reduction;
    scratch.onProgress = progress;
    gif::Frame& frame = scratch.addFrame(bmp);
    frame.interlaced = true;
    gif::ExtensionPtr record = scratch.newGraphicControl(0);
    frame.extensions.push_back(record);
    gif::GraphicControl& control = record->control();
    control.delay = delay;
    control.disposal = gif::disposal::Background;
    // The colour the bottom-left pixel shows in the frame as made, which is always an
    // entry of its table. The source picture's own colour may be missing from a reduced
    // table, and a full table has no room to add it.
    if (frame.hasPixels())
        control.transparentIndex = frame.pixels()[size_t(frame.height() - 1) * frame.width()];
    if (frame.localColors().empty()) frame.setLocalColors(scratch.globalColors());
    return frame;
}

std::vector<gif::Frame> FrameCommands::framesOfGif(const QByteArray& data) {
    gif::GifImage read;
    read.load(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(data.constData()),
                                       size_t(data.size())));
    return withoutLoopRecords(gif::unoptimize(read));
}

FrameCommands::FileFrames FrameCommands::framesOfFile(const QString& fileName,
                                                      const gif::ReductionSettings& reduction,
                                                      WorkProgress& progress, bool allOfGif) const {
    FileFrames result;
    if (allOfGif && isGifFile(fileName)) {
        // A GIF brings all its frames, complete, as opening makes them.
        try {
            gif::GifImage read;
            read.onProgress = reporter(progress);
            read.load(fileName);
            result.frames = withoutLoopRecords(gif::unoptimize(read));
        } catch (const WorkCancelled&) {
            throw;
        } catch (const std::exception&) {
            result.failure = AddFailed;
        }
        return result;
    }
    // Pictures are reduced as Add always did (nearest colour, no dithering); a GIF
    // added through the dialog brings only its first picture, as a picture.
    QImage picture = m_import.load(fileName);
    progress.check();
    if (picture.isNull()) {
        result.failure = AddFailed;
        return result;
    }
    QImage reduced;
    try {
        reduced = formats::PictureImport::reduce(picture);
    } catch (const std::exception&) {
        result.failure = UnsupportedFormat;
        result.ends = true;
        return result;
    }
    picture = QImage();
    try {
        result.frames.push_back(makeFrame(reduced, ImportDelay, reduction, reporter(progress)));
    } catch (const WorkCancelled&) {
        throw;
    } catch (const std::exception&) {
        result.failure = AddFailed;
    }
    return result;
}

bool FrameCommands::runWork(const std::function<void(WorkProgress&)>& job) {
    try {
        BackgroundWork::run(m_work, job,
                            [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
                                if (onProgress) onProgress(stage, percent, message);
                            });
        return true;
    } catch (const WorkCancelled&) {
        if (onProgress) onProgress(gif::Stage::Ending, 100, gif::ProgressMessage::Converting);
        return false;
    }
}

// ---- Add and Insert --------------------------------------------------------------------

bool FrameCommands::insertEach(const QStringList& files, bool allOfGif, MacroStep& macro,
                               const std::function<int(int count)>& place) {
    const gif::ReductionSettings reduction = m_animation.reduction();
    // The files are read and made into frames on the worker; each file's frames go into
    // the animation as they are made, and each failure is said, in the order of the files.
    return runWork([&](WorkProgress& progress) {
        for (const QString& file : files) {
            FileFrames made = framesOfFile(file, reduction, progress, allOfGif);
            bool ends = false;
            progress.onWindow([&] {
                if (!made.failure.isEmpty()) {
                    m_platform.prompts->tell(made.ends ? Prompts::Icon::Warning
                                                       : Prompts::Icon::Information,
                                             made.failure);
                    ends = made.ends;
                    return;
                }
                if (made.frames.empty()) return;
                const int index = place(int(made.frames.size()));
                macro.run(m_animation, std::make_unique<InsertFramesStep>(macro.text(), index,
                                                                          std::move(made.frames)));
            });
            if (ends) break;
        }
    });
}

bool FrameCommands::addFiles(bool insert, const FrameSelection& selection) {
    const QStringList files = m_platform.dialogs->openPictures({AddTitle, m_filter, m_lastFile});
    if (files.isEmpty()) return false;
    m_lastFile = files.back();
    auto macro = std::make_unique<MacroStep>(insert ? InsertStep : AddStep);
    macro->before = selection;
    int current = -1;
    const bool done = insertEach(files, false, *macro, [&](int) {
        // Taken anew for every file: with Insert each file goes in front of the frame the
        // file before made current.
        current = insert ? (current >= 0 ? current : std::max(0, selection.current))
                         : m_animation.frameCount();
        return current;
    });
    if (!done) {
        m_animation.discard(std::move(macro));
        return false;
    }
    if (macro->empty()) return false;
    macro->after = single(current);
    m_animation.pushDone(std::move(macro));
    return true;
}

bool FrameCommands::insertFiles(const QStringList& files, int index,
                                const FrameSelection& selection) {
    auto macro = std::make_unique<MacroStep>(DropStep);
    macro->before = selection;
    int at = std::clamp(index, 0, m_animation.frameCount());
    const int first = at;
    const bool done = insertEach(files, true, *macro, [&](int count) {
        at += count;
        return at - count;
    });
    if (!done) {
        m_animation.discard(std::move(macro));
        return false;
    }
    if (macro->empty()) return false;
    macro->after = block(first, at - first);
    m_animation.pushDone(std::move(macro));
    return true;
}

// ---- frame list operations -------------------------------------------------------------

void FrameCommands::remove(const FrameSelection& selection) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    const auto answer = m_platform.prompts->ask(
        Prompts::Icon::Confirmation, Prompts::Buttons::YesNo, removeQuestion(int(rows.size())));
    if (answer != Prompts::Answer::Yes) return;
    auto step = std::make_unique<RemoveFramesStep>(RemoveStep, rows);
    step->before = selection;
    // The frame that followed the first removed one, or the new last frame.
    const int left = m_animation.frameCount() - int(rows.size());
    step->after = single(left == 0 ? -1 : std::min(rows.front(), left - 1));
    m_animation.push(std::move(step));
}

void FrameCommands::duplicate(const FrameSelection& selection) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    std::vector<gif::Frame> copies;
    for (const int row : rows) {
        // The source's pixels and colours, shared rather than copied, at (0, 0), with
        // disposal 2 and the source's delay; transparent where the source is, so that
        // the duplicate looks like its source.
        const gif::Frame& source = m_animation.frame(row);
        gif::Frame copy;
        copy.setSharedPixels(source.width(), source.height(), source.sharedPixels());
        copy.setLocalColors(m_animation.image()->activeColors(size_t(row)));
        copy.interlaced = true;
        copy.graphicControlRecord = gif::Extension::makeGraphicControl();
        copy.extensions.push_back(copy.graphicControlRecord);
        gif::GraphicControl& control = copy.graphicControlRecord->control();
        control.delay = uint16_t(m_animation.delay(row));
        control.disposal = gif::disposal::Background;
        const gif::GraphicControl* from = source.graphicControl();
        if (from && from->transparent) {
            control.transparent = true;
            control.transparentIndex = from->transparentIndex;
        } else if (source.hasPixels()) {
            control.transparentIndex =
                source.pixels()[size_t(source.height() - 1) * source.width()];
        }
        copies.push_back(std::move(copy));
    }
    const int at = rows.back() + 1;
    auto step = std::make_unique<InsertFramesStep>(DuplicateStep, at, std::move(copies));
    step->before = selection;
    step->after = block(at, int(rows.size()));
    m_animation.push(std::move(step));
}

void FrameCommands::move(const FrameSelection& selection, int step) {
    const int count = m_animation.frameCount();
    const std::vector<int> rows = rowsOf(selection, count);
    if (rows.empty()) return;
    const std::vector<int> order = MoveFramesStep::stepRows(count, rows, step);
    bool moved = false;
    for (int i = 0; i < count; ++i)
        moved = moved || order[size_t(i)] != i;
    if (!moved) return;
    std::vector<int> newRowOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRowOf[size_t(order[i])] = int(i);
    auto moveStep = std::make_unique<MoveFramesStep>(step < 0 ? BackwardStep : ForwardStep, order);
    moveStep->before = selection;
    FrameSelection after;
    for (const int r : rows)
        after.rows.push_back(newRowOf[size_t(r)]);
    after.current = selection.current >= 0 && selection.current < count
                        ? newRowOf[size_t(selection.current)]
                        : after.rows.front();
    moveStep->after = after;
    m_animation.push(std::move(moveStep));
}

void FrameCommands::moveTo(const FrameSelection& selection, int destination) {
    const int count = m_animation.frameCount();
    const std::vector<int> rows = rowsOf(selection, count);
    if (rows.empty()) return;
    const std::vector<int> order =
        MoveFramesStep::moveRowsBefore(count, rows, std::clamp(destination, 0, count));
    std::vector<int> newRowOf(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newRowOf[size_t(order[i])] = int(i);
    bool moved = false;
    for (int i = 0; i < count; ++i)
        moved = moved || order[size_t(i)] != i;
    if (!moved) return;
    auto step = std::make_unique<MoveFramesStep>(MoveStep, order);
    step->before = selection;
    FrameSelection after;
    for (const int r : rows)
        after.rows.push_back(newRowOf[size_t(r)]);
    std::sort(after.rows.begin(), after.rows.end());
    after.current = selection.current >= 0 && selection.current < count
                        ? newRowOf[size_t(selection.current)]
                        : after.rows.front();
    step->after = after;
    m_animation.push(std::move(step));
}

// ---- clipboard -------------------------------------------------------------------------

QByteArray FrameCommands::framesAsGif(const std::vector<int>& rows) const {
    gif::GifImage out;
    const QSize screen = m_animation.screen();
    out.screenWidth = uint16_t(screen.width());
    out.screenHeight = uint16_t(screen.height());
    for (const int row : rows) {
        gif::Frame f = m_animation.frame(row);
        if (f.localColors().empty())
            f.setLocalColors(m_animation.image()->activeColors(size_t(row)));
        out.appendFrame(std::move(f));
    }
    const gif::Bytes bytes = out.saveToBytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

QImage FrameCommands::clipboardPicture(int i) const {
    QImage picture = m_animation.ownPicture(i);
    // Transparent pixels go to the clipboard as transparent, so that other programs see
    // the frame as it is shown.
    const gif::GraphicControl* control = m_animation.frame(i).graphicControl();
    if (control && control->transparent && control->transparentIndex < picture.colorCount()) {
        QList<QRgb> colors = picture.colorTable();
        colors[control->transparentIndex] &= 0x00FFFFFF;
        picture.setColorTable(colors);
        picture = picture.convertToFormat(QImage::Format_ARGB32);
    }
    return picture;
}

QImage FrameCommands::pastedPicture(const QImage& bitmap, gif::Dither dither,
                                    std::optional<uint8_t>& transparentIndex) {
    transparentIndex.reset();
    if (!bitmap.hasAlphaChannel()) return bitmap;
    QImage argb = bitmap.convertToFormat(QImage::Format_ARGB32);
    // Alpha below one half is transparent, the rest opaque: GIF has nothing between.
    bool anyTransparent = false;
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<uint32_t*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) < 128) {
                line[x] = 0;
                anyTransparent = true;
            } else {
                line[x] |= 0xFF000000;
            }
        }
    }
    if (!anyTransparent) return argb;
    QImage indexed(argb.size(), QImage::Format_Indexed8);
    gif::ColorReducer reducer;
    const gif::PixelView view{reinterpret_cast<const uint32_t*>(argb.constBits()), argb.width(),
                              argb.height(), argb.bytesPerLine() / 4};
    gif::ReductionResult result = reducer.reduce(view, indexed.bits(), indexed.bytesPerLine(),
                                                 dither, 256, gif::Rgb{255, 255, 255});
    if (result.transparentIndex)
        result.colors[*result.transparentIndex] = gif::colorNotIn(
            result.colors, *result.transparentIndex, result.colors[*result.transparentIndex]);
    QList<QRgb> colors;
    for (const gif::Rgb& c : result.colors)
        colors << qRgb(c.r, c.g, c.b);
    indexed.setColorTable(colors);
    transparentIndex = result.transparentIndex;
    return indexed;
}

void FrameCommands::copy(const FrameSelection& selection) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    const int shown = selection.current >= 0 && selection.current < m_animation.frameCount()
                          ? selection.current
                          : rows.front();
    m_platform.clipboard->setFrames(framesAsGif(rows), clipboardPicture(shown));
}

void FrameCommands::cut(const FrameSelection& selection) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    copy(selection);
    auto step = std::make_unique<RemoveFramesStep>(CutStep, rows);
    step->before = selection;
    const int left = m_animation.frameCount() - int(rows.size());
    step->after = single(left == 0 ? -1 : std::min(rows.front(), left - 1));
    m_animation.push(std::move(step));
}

bool FrameCommands::paste(bool insert, const FrameSelection& selection) {
    Clipboard& clipboard = *m_platform.clipboard;
    if (!clipboard.hasBitmap()) return false;
    const int count = m_animation.frameCount();
    const int p = insert ? std::clamp(selection.current, 0, count) : count;
    std::vector<gif::Frame> frames;
    try {
        if (const std::optional<Clipboard::Frames> gifFrames = clipboard.frames()) {
            if (gifFrames->own) {
                // Frames copied here come back exactly as they were.
                gif::GifImage read;
                read.load(std::span<const uint8_t>(
                    reinterpret_cast<const uint8_t*>(gifFrames->gif.constData()),
                    size_t(gifFrames->gif.size())));
                frames = withoutLoopRecords(read);
            } else {
                frames = framesOfGif(gifFrames->gif);
            }
        } else {
            // Pictures with more than 256 colours are quantised (with the animation's
            // dithering) rather than refused.
            gif::ReductionSettings reduction = m_animation.reduction();
            reduction.method = gif::ReductionSettings::Method::Quantize;
            std::optional<uint8_t> transparent;
            const QImage bitmap = pastedPicture(clipboard.bitmap(), reduction.dither, transparent);
            gif::Frame frame = makeFrame(bitmap, ImportDelay, reduction, onProgress);
            // A picture with transparent pixels (from a program that keeps alpha) stays
            // transparent there.
            if (transparent) {
                frame.graphicControl()->transparent = true;
                frame.graphicControl()->transparentIndex = *transparent;
            }
            frames.push_back(std::move(frame));
        }
    } catch (const std::exception&) {
        frames.clear();
    }
    if (frames.empty()) {
        // Nothing was pasted: the animation stays as it was and not modified, and the
        // user hears so rather than finding no new frame.
        m_platform.prompts->tell(Prompts::Icon::Information, AddFailed);
        return false;
    }
    const int pasted = int(frames.size());
    auto step = std::make_unique<InsertFramesStep>(PasteStep, p, std::move(frames));
    step->before = selection;
    step->after = block(p, pasted);
    m_animation.push(std::move(step));
    return true;
}

// ---- frame properties ------------------------------------------------------------------

void FrameCommands::setDelay(const QString& text, const FrameSelection& selection) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 QStringLiteral("'%1' is not a valid integer value").arg(text));
        return;
    }
    // The record holds 16 bits; a number beyond is bounded rather than stored as its low
    // bits, which would turn 65536 into 0.
    const uint16_t delay = uint16_t(std::clamp(value, 0, 0xFFFF));
    auto step = std::make_unique<SetControlsStep>(
        DelayStep, rows, [delay](gif::GraphicControl& c) { c.delay = delay; }, DelayTypingId);
    step->before = selection;
    step->after = selection;
    m_animation.push(std::move(step));
}

int FrameCommands::disposalItem(int code) {
    switch (code) {
    case gif::disposal::Unspecified:
    case gif::disposal::None:
        return 0;
    case gif::disposal::Background:
        return 1;
    case gif::disposal::Previous:
        return 2;
    default:
        return -1;
    }
}

uint8_t FrameCommands::disposalCode(int item) {
    static constexpr uint8_t codes[] = {gif::disposal::None, gif::disposal::Background,
                                        gif::disposal::Previous};
    return codes[std::clamp(item, 0, 2)];
}

void FrameCommands::chooseDisposal(const FrameSelection& selection, DisposalChooser& chooser) {
    const std::vector<int> rows = rowsOf(selection, m_animation.frameCount());
    if (rows.empty()) return;
    const int shown = selection.current >= 0 && selection.current < m_animation.frameCount()
                          ? selection.current
                          : rows.front();
    const gif::GraphicControl* control = m_animation.frame(shown).graphicControl();
    const std::optional<int> item = chooser.choose(disposalItem(control ? control->disposal : 0));
    if (!item) return;
    // The dialog is modal, but its caller may have been left without the frames.
    if (rows.back() >= m_animation.frameCount()) return;
    const uint8_t code = disposalCode(*item);
    auto step = std::make_unique<SetControlsStep>(
        DisposalStep, rows, [code](gif::GraphicControl& c) { c.disposal = code; });
    step->before = selection;
    step->after = selection;
    m_animation.push(std::move(step));
}

} // namespace vorlane
