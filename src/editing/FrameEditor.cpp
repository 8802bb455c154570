// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/FrameEditor.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "codec/ColorReduction.h"
#include "codec/GifImage.h"
#include "document/Document.h"
#include "editing/DisposalChooser.h"
#include "platform/Clipboard.h"
#include "platform/FileDialogs.h"
#include "platform/Prompts.h"

namespace vorlane {

namespace {
const QString DelaySelector = QStringLiteral("1");
const QString Pasted = QStringLiteral("pasted");
} // namespace

FrameEditor::FrameEditor(Document& document, const Platform& platform)
    : m_doc(document), m_platform(platform), m_filter(m_import.dialogFilter()) {}

int FrameEditor::current() const {
    const int k = m_doc.currentFrame();
    return k >= 0 && k < m_doc.frameCount() ? k : -1;
}

// ---- making frames ----------------------------------------------------------------------

void FrameEditor::AddImage(gif::GifImage& gif, const QImage& bmp, uint16_t Dela) {
    const uint16_t screenWidth = gif.screenWidth;
    const uint16_t screenHeight = gif.screenHeight;
    const size_t before = gif.frameCount();
    try {
        gif::Frame& frame = gif.addFrame(bmp);
        const size_t i = gif.frameCount() - 1;
        frame.interlaced = true;
        gif::ExtensionPtr record = gif.newGraphicControl(i);
        frame.extensions.push_back(record);
        gif::GraphicControl& control = record->control();
        control.delay = Dela;
        control.disposal = gif::disposal::Background;
        // The colour the bottom-left pixel shows in the frame as made, which is always an
        // entry of its table. The source picture's own colour may be missing from a
        // reduced table, and a full table has no room to add it.
        if (frame.hasPixels())
            control.transparentIndex = frame.pixels()[size_t(frame.height() - 1) * frame.width()];
    } catch (...) {
        // A failed add leaves no trace: no frame, and the screen it may have grown.
        while (gif.frameCount() > before)
            gif.deleteFrame(gif.frameCount() - 1);
        gif.screenWidth = screenWidth;
        gif.screenHeight = screenHeight;
        throw;
    }
}

int FrameEditor::InsertImage(gif::GifImage& gif, const QImage& bmp, uint16_t Dela, int index) {
    AddImage(gif, bmp, Dela);
    const int last = int(gif.frameCount()) - 1;
    const int target = std::max(0, index);
    if (target >= last) return last;
    gif.moveFrame(size_t(last), size_t(target));
    return target;
}

std::vector<const gif::Extension*> FrameEditor::firstFrameRecords(const gif::GifImage& gif) {
    std::vector<const gif::Extension*> records;
    if (gif.frameCount() == 0) return records;
    bool loopFound = false;
    for (const gif::ExtensionPtr& record : gif.frame(0).extensions) {
        const bool documentsLoop = !loopFound && record->isLoop();
        loopFound = loopFound || documentsLoop;
        if (documentsLoop || record->isComment()) records.push_back(record.get());
    }
    return records;
}

void FrameEditor::keepOnFirstFrame(gif::GifImage& image,
                                   const std::vector<const gif::Extension*>& records) {
    if (records.empty()) return;
    for (size_t i = 1; i < image.frameCount(); ++i)
        std::erase_if(image.frame(i).extensions, [&](const gif::ExtensionPtr& r) {
            return std::find(records.begin(), records.end(), r.get()) != records.end();
        });
}

int FrameEditor::addToDocument(const std::function<int(gif::GifImage&)>& add) {
    // The frame is made in the document image itself; a failure takes it out again, so
    // the document is left as it was without copying every frame first.
    if (gif::GifImage* image = m_doc.image()) {
        const auto first = firstFrameRecords(*image);
        const int index = add(*image);
        keepOnFirstFrame(*image, first);
        return index;
    }
    auto image = std::make_unique<gif::GifImage>();
    image->onProgress = [this](gif::Stage stage, int percent, gif::ProgressMessage message) {
        m_doc.gifProgress(stage, percent, message);
    };
    const int index = add(*image);
    m_doc.setImage(std::move(image));
    return index;
}

void FrameEditor::framesAdded(int index) {
    m_doc.ren();
    m_doc.writeLoopChoice();
    m_doc.sendActionWord(Pasted);
    m_doc.setModified(true);
    m_doc.selectFrame(index);
    m_doc.requestRefresh();
}

// ---- Add and Insert ---------------------------------------------------------------------

void FrameEditor::Plus(const QString& msg) {
    const bool insert = msg == QLatin1String("ins");
    const QStringList files = m_platform.dialogs->openPictures({AddTitle, m_filter, m_lastFile});
    for (const QString& file : files) {
        m_lastFile = file;
        if (!plusFile(file, insert)) return;
    }
}

bool FrameEditor::plusFile(const QString& fileName, bool insert) {
    // Taken anew for every file: with Insert each file goes in front of the frame the
    // previous one made current.
    const int index = insert ? std::max(0, current()) : m_doc.frameCount();
    QImage picture = m_import.load(fileName);
    if (picture.isNull()) {
        m_platform.prompts->tell(Prompts::Icon::Information, AddFailed);
        m_doc.requestRefresh();
        return true;
    }
    QImage reduced;
    try {
        reduced = formats::PictureImport::reduce(picture);
    } catch (const std::exception&) {
        m_platform.prompts->tell(Prompts::Icon::Warning, UnsupportedFormat);
        return false;
    }
    picture = QImage();

    int at = 0;
    try {
        at = addToDocument(
            [&](gif::GifImage& image) { return InsertImage(image, reduced, ImportDelay, index); });
    } catch (const std::exception&) {
        m_platform.prompts->tell(Prompts::Icon::Information, AddFailed);
        m_doc.requestRefresh();
        return true;
    }
    framesAdded(at);
    return true;
}

// ---- frame list operations --------------------------------------------------------------

void FrameEditor::DelClick() {
    const int i = current();
    if (i < 0) return;
    const auto answer = m_platform.prompts->ask(Prompts::Icon::Confirmation,
                                                Prompts::Buttons::YesNo, RemoveQuestion);
    if (answer != Prompts::Answer::Yes) return;
    removeFrame(i);
}

void FrameEditor::removeFrame(int i) {
    m_doc.image()->deleteFrame(size_t(i));
    m_doc.ren();
    const int n = m_doc.frameCount();
    if (n > 0) m_doc.selectFrame(i < n ? i : i - 1);
    m_doc.setModified(true);
    if (n == 0)
        m_doc.sendActionWord(QStringLiteral("alsup"));
    else
        m_doc.writeLoopChoice();
}

void FrameEditor::DupClick() {
    const int i = current();
    if (i < 0) return;
    gif::GifImage& image = *m_doc.image();
    const int delay = m_doc.getdelay(DelaySelector, i);
    // A copy: the cached picture lives in the frame list, which the insertion reshapes.
    const QImage picture = image.ownPicture(size_t(i)).copy();
    try {
        InsertImage(image, picture, uint16_t(delay), i + 1);
    } catch (const std::exception& e) {
        m_platform.prompts->tell(Prompts::Icon::Error, QString::fromUtf8(e.what()));
        return;
    }
    // The duplicate looks like its source: where the source lets earlier frames or the
    // page show through, so does the copy (an opaque copy showed a solid rectangle of
    // the transparent entry's colour there). The picture keeps the source's palette, so
    // its transparent index means the same entry.
    if (const gif::GraphicControl* source = image.frame(size_t(i)).graphicControl();
        source && source->transparent) {
        gif::GraphicControl* copy = image.frame(size_t(i) + 1).graphicControl();
        copy->transparent = true;
        copy->transparentIndex = source->transparentIndex;
    }
    m_doc.changed();
    m_doc.ren();
    m_doc.selectFrame(i + 1);
}

void FrameEditor::arriereClick() {
    moveCurrent(-1);
}

void FrameEditor::avantClick() {
    moveCurrent(+1);
}

void FrameEditor::moveCurrent(int step) {
    const int i = current();
    const int j = i + step;
    if (i < 0 || j < 0 || j >= m_doc.frameCount()) return;
    const auto first = firstFrameRecords(*m_doc.image());
    m_doc.image()->exchangeFrames(size_t(i), size_t(j));
    keepOnFirstFrame(*m_doc.image(), first);
    m_doc.ren();
    m_doc.selectFrame(j);
    // The loop writer sets the flag too, but not when frame 0 cannot take the record.
    m_doc.setModified(true);
    m_doc.writeLoopChoice();
}

// ---- clipboard --------------------------------------------------------------------------

QImage FrameEditor::clipboardPicture(const gif::GifImage& gif, size_t i) {
    QImage picture = gif.ownPicture(i);
    // Transparent pixels go to the clipboard as transparent, so that other programs and
    // Paste see the frame as it is shown.
    const gif::GraphicControl* control = gif.frame(i).graphicControl();
    if (control && control->transparent && control->transparentIndex < picture.colorCount()) {
        QList<QRgb> colors = picture.colorTable();
        colors[control->transparentIndex] &= 0x00FFFFFF;
        picture.setColorTable(colors);
        picture = picture.convertToFormat(QImage::Format_ARGB32);
    }
    return picture;
}

QImage FrameEditor::pastedPicture(const QImage& bitmap, gif::Dither dither,
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
        result.colors[*result.transparentIndex] =
            gif::colorNotIn(result.colors, *result.transparentIndex,
                            result.colors[*result.transparentIndex]);
    QList<QRgb> colors;
    for (const gif::Rgb& c : result.colors)
        colors << qRgb(c.r, c.g, c.b);
    indexed.setColorTable(colors);
    transparentIndex = result.transparentIndex;
    return indexed;
}

void FrameEditor::CopyItemClick() {
    const int i = current();
    if (i < 0) return;
    m_platform.clipboard->setBitmap(clipboardPicture(*m_doc.image(), size_t(i)));
}

void FrameEditor::CutItemClick() {
    const int i = current();
    if (i < 0) return;
    m_platform.clipboard->setBitmap(clipboardPicture(*m_doc.image(), size_t(i)));
    removeFrame(i);
}

void FrameEditor::PasteClick(bool insertVariant) {
    if (!m_platform.clipboard->hasBitmap()) return;
    const QImage clipboard = m_platform.clipboard->bitmap();
    const int p = std::max(0, current());
    int at = 0;
    try {
        at = addToDocument([&](gif::GifImage& image) {
            // Pictures with more than 256 colours are quantised (with the image's
            // dithering) rather than refused.
            image.reduction.method = gif::ReductionSettings::Method::Quantize;
            std::optional<uint8_t> transparent;
            const QImage bitmap = pastedPicture(clipboard, image.reduction.dither, transparent);
            int index = 0;
            if (insertVariant) {
                index = InsertImage(image, bitmap, ImportDelay, p);
            } else {
                AddImage(image, bitmap, ImportDelay);
                index = int(image.frameCount()) - 1;
            }
            // A picture with transparent pixels (a frame copied here, or from a program
            // that keeps alpha) stays transparent there.
            if (transparent) {
                gif::GraphicControl* control = image.frame(size_t(index)).graphicControl();
                control->transparent = true;
                control->transparentIndex = *transparent;
            }
            return index;
        });
    } catch (const std::exception&) {
        // Nothing was pasted: the document stays as it was and not modified, and the
        // user hears so rather than finding no new frame.
        m_platform.prompts->tell(Prompts::Icon::Information, AddFailed);
        return;
    }
    framesAdded(at);
}

// ---- frame properties -------------------------------------------------------------------

void FrameEditor::PeriodChange(const QString& text, bool byUser) {
    const int k = current();
    if (k < 0) return;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
        m_platform.prompts->tell(Prompts::Icon::Error,
                                 QStringLiteral("'%1' is not a valid integer value").arg(text));
        return;
    }
    m_doc.getdelay(DelaySelector, k); // gives the frame its graphic control record
    // The record holds 16 bits; a number beyond is bounded rather than stored as its low
    // bits, which would turn 65536 into 0.
    m_doc.image()->frame(size_t(k)).graphicControl()->delay =
        uint16_t(std::clamp(value, 0, 0xFFFF));
    if (byUser) m_doc.setModified(true);
}

int FrameEditor::disposalItem(int code) {
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

uint8_t FrameEditor::disposalCode(int item) {
    static constexpr uint8_t codes[] = {gif::disposal::None, gif::disposal::Background,
                                        gif::disposal::Previous};
    return codes[std::clamp(item, 0, 2)];
}

void FrameEditor::methodeClick(DisposalChooser& chooser) {
    const int k = current();
    if (k < 0) return;
    m_doc.getdelay(DelaySelector, k); // gives the frame its graphic control record
    const int code = m_doc.image()->frame(size_t(k)).graphicControl()->disposal;
    const std::optional<int> item = chooser.choose(disposalItem(code));
    if (!item) return;
    // The dialog is modal, but its caller may have been left without the frame.
    if (k >= m_doc.frameCount()) return;
    m_doc.image()->frame(size_t(k)).graphicControl()->disposal = disposalCode(*item);
    m_doc.setModified(true);
}

} // namespace vorlane
