// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frame editing commands: Add and Insert of picture files, the frame list operations
// (Remove, Duplicate, Move backward and forward), the clipboard commands (Copy, Cut,
// Paste) and the current frame's delay and disposal method. Each command changes the
// document image and then runs the document's own operations (`ren`, selection, loop
// record, modified flag, action words), so the window follows through the document's
// signals. Commands that need a current frame do nothing without one.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QImage>
#include <QString>

#include "formats/PictureImport.h"
#include "platform/Platform.h"

namespace vorlane {

namespace gif {
class Extension;
class GifImage;
enum class Dither;
} // namespace gif

class Document;
class DisposalChooser;

class FrameEditor {
public:
    static inline const QString AddTitle = QStringLiteral("Add image");
    static inline const QString AddFailed = QStringLiteral("Failed to add image.");
    static inline const QString UnsupportedFormat =
        QStringLiteral("Invalid or unsupported file format.");
    static inline const QString RemoveQuestion =
        QStringLiteral("Are you sure you want to remove this image from the animation?");
    // Delay of frames made from files and from the clipboard, in 1/100 s.
    static constexpr uint16_t ImportDelay = 60;

    FrameEditor(Document& document, const Platform& platform);

    // ---- making frames ----
    // Appends a frame made from `bmp` at (0, 0): an indexed picture keeps its palette,
    // any other is reduced with the image's reduction settings. The frame is interlaced
    // and gets a new graphic control record (delay `Dela`, disposal 2, not transparent,
    // transparent index = the entry its bottom-left pixel shows). Throws gif::GifError
    // when the frame cannot be made; the image is then left as it was.
    static void AddImage(gif::GifImage& gif, const QImage& bmp, uint16_t Dela);
    // AddImage, then moves the new frame to `index` when that lies before the last
    // position (an index at or beyond the old frame count appends; a negative one puts
    // the frame first). Returns the index the frame stands at.
    static int InsertImage(gif::GifImage& gif, const QImage& bmp, uint16_t Dela, int index);

    // The records of the first frame that hold animation-wide settings: its loop record
    // and its comments.
    static std::vector<const gif::Extension*> firstFrameRecords(const gif::GifImage& gif);
    // Takes those records off any frame that is no longer first. The loop choice and the
    // comment box are their authoritative copies and are written into the new first
    // frame; a copy left on a later frame would keep a stale loop count in the file.
    static void keepOnFirstFrame(gif::GifImage& gif,
                                 const std::vector<const gif::Extension*>& records);

    // Frame i as it goes to the clipboard: its own picture, transparent where the frame
    // is (as 32-bit pixels with alpha), else as its palette picture.
    static QImage clipboardPicture(const gif::GifImage& gif, size_t i);
    // A clipboard picture as Paste makes its frame from it: with alpha, pixels below one
    // half become transparent and share one palette entry of their own (returned in
    // `transparentIndex`); without alpha, the picture as it is.
    static QImage pastedPicture(const QImage& bitmap, gif::Dither dither,
                                std::optional<uint8_t>& transparentIndex);

    // The add dialog's filter, made once from the registered picture formats.
    const QString& dialogFilter() const { return m_filter; }
    // The picture import the add dialog's files go through.
    const formats::PictureImport& pictureImport() const { return m_import; }

    // ---- commands ----
    // Add ("add": after the last frame) or Insert ("ins": in front of the current frame)
    // of the files chosen in the add dialog, one frame per file.
    void Plus(const QString& msg);
    void DelClick();
    void DupClick();
    void arriereClick();
    void avantClick();
    void CopyItemClick();
    void CutItemClick();
    // Paste at the end; the insert variant puts the frame in front of the current one.
    void PasteClick(bool insertVariant = false);
    void insClick() { PasteClick(true); }

    // The delay field's text changed. A whole number becomes the current frame's delay
    // (bounded to 0..65535, what the record can hold); other text is reported with
    // "'<text>' is not a valid integer value" and leaves the delay alone. `byUser`: the
    // user changed the field (the document becomes modified), not the program.
    void PeriodChange(const QString& text, bool byUser);

    // Asks for the current frame's disposal method and writes the chosen code on OK.
    void methodeClick(DisposalChooser& chooser);
    // The list item that shows a disposal code: 0 for codes 0 and 1, 1 for 2, 2 for 3,
    // -1 for 4..7 (the list keeps its last choice).
    static int disposalItem(int code);
    // The code written for a list item: 1, 2 or 3.
    static uint8_t disposalCode(int item);

private:
    // Current frame index when it names a frame, else -1.
    int current() const;
    // Imports one file and inserts it at `index` ("add": the frame count). Returns false
    // when the command must end (the picture could not be reduced).
    bool plusFile(const QString& fileName, bool insert);
    // Runs `add` on the document image, or, when the document has none yet, on a new
    // image that becomes the document image once `add` succeeded. Returns what `add`
    // returns (the new frame's index); passes its failure on.
    int addToDocument(const std::function<int(gif::GifImage&)>& add);
    // Frame i leaves the document; the views, the selection and the loop record follow.
    void removeFrame(int i);
    void moveCurrent(int step);
    // After a new frame was put at `index`: frame list, loop record, command state,
    // modified flag, selection and status.
    void framesAdded(int index);

    Document& m_doc;
    Platform m_platform;
    formats::PictureImport m_import;
    QString m_filter;
    // The add dialog starts at the file chosen last.
    QString m_lastFile;
};

} // namespace vorlane
