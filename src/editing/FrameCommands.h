// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The frame editing commands: Add and Insert of picture files (and of files dropped on
// the window), the frame list operations (Remove, Duplicate, Move), the clipboard
// (Copy, Cut, Paste, of one frame or several) and the frames' delay and disposal. Each
// command acts on the selection it is given and pushes one step on the animation's
// history, with the selection the user should see afterwards; the window follows the
// model's signals. With one frame selected, every command behaves as it always has.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QImage>
#include <QString>
#include <QStringList>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"
#include "formats/PictureImport.h"
#include "platform/Platform.h"

namespace vorlane {

class DisposalChooser;
class BackgroundWork;
class MacroStep;
class WorkProgress;

class FrameCommands {
public:
    static inline const QString AddTitle = QStringLiteral("Add image");
    static inline const QString AddFailed = QStringLiteral("Failed to add image.");
    static inline const QString UnsupportedFormat =
        QStringLiteral("Invalid or unsupported file format.");
    static inline const QString RemoveQuestion =
        QStringLiteral("Are you sure you want to remove this image from the animation?");
    // The question for several frames.
    static QString removeQuestion(int count);
    // Delay of frames made from files and from the clipboard, in 1/100 s.
    static constexpr uint16_t ImportDelay = 60;
    // The delay field's steps fold into one while the user types in it.
    static constexpr int DelayTypingId = 2;

    // Step names, as the Edit menu shows them after "Undo " and "Redo ".
    static inline const QString AddStep = QStringLiteral("Add image");
    static inline const QString InsertStep = QStringLiteral("Insert image");
    static inline const QString RemoveStep = QStringLiteral("Remove image");
    static inline const QString CutStep = QStringLiteral("Cut");
    static inline const QString PasteStep = QStringLiteral("Paste");
    static inline const QString DuplicateStep = QStringLiteral("Duplicate");
    static inline const QString BackwardStep = QStringLiteral("Move backward");
    static inline const QString ForwardStep = QStringLiteral("Move forward");
    static inline const QString MoveStep = QStringLiteral("Move images");
    static inline const QString DelayStep = QStringLiteral("Delay");
    static inline const QString DisposalStep = QStringLiteral("Disposal method");
    static inline const QString DropStep = QStringLiteral("Drop images");

    FrameCommands(AnimationModel& animation, const Platform& platform);

    // ---- making frames ----
    // A frame made from `bmp` at (0, 0): an indexed picture keeps its palette, any other
    // is reduced with `reduction`. The frame is interlaced and has one graphic control
    // record (delay `delay`, disposal 2, not transparent, transparent index = the entry
    // its bottom-left pixel shows). Throws gif::GifError when no frame can be made.
    // `progress` hears the codec's report of the conversion.
    static gif::Frame makeFrame(const QImage& bmp, uint16_t delay,
                                const gif::ReductionSettings& reduction,
                                const gif::GifImage::ProgressHandler& progress = {});

    // The add dialog's filter, made once from the registered picture formats.
    const QString& dialogFilter() const { return m_filter; }
    const formats::PictureImport& pictureImport() const { return m_import; }
    // Long work (reading and converting files) runs on `work` (nullptr: on this thread).
    void setWork(BackgroundWork* work) { m_work = work; }
    // Where the codec's progress on long work goes (the status bar).
    std::function<void(gif::Stage, int, gif::ProgressMessage)> onProgress;

    // ---- commands; each returns whether frames were added ("pasted") ----
    // Add (after the last frame) or Insert (in front of the current frame) of the files
    // chosen in the add dialog, one frame per file, as one step.
    bool addFiles(bool insert, const FrameSelection& selection);
    // The same with files given (dropped on the window), at `index`: pictures become one
    // frame each, a GIF brings all its frames.
    bool insertFiles(const QStringList& files, int index, const FrameSelection& selection);
    void remove(const FrameSelection& selection);
    void duplicate(const FrameSelection& selection);
    // Each selected frame one place towards the front (-1) or the end (+1).
    void move(const FrameSelection& selection, int step);
    // The selected frames, in their order, in front of the frame now at `destination`
    // (the frame count puts them last): dragging in the strip.
    void moveTo(const FrameSelection& selection, int destination);
    void copy(const FrameSelection& selection);
    void cut(const FrameSelection& selection);
    // At the end, or in front of the current frame (insert); frames from a copy here
    // come back as they were, a picture becomes one frame.
    bool paste(bool insert, const FrameSelection& selection);

    // The delay of the selected frames, from the delay field: a whole number becomes
    // their delay (bounded to 0..65535, what the record holds); other text is reported
    // with "'<text>' is not a valid integer value". Typing folds into one step until the
    // model's merging is closed (the user left the field).
    void setDelay(const QString& text, const FrameSelection& selection);
    // Asks for the disposal method (preselected from the current frame) and writes the
    // chosen code into every selected frame on OK.
    void chooseDisposal(const FrameSelection& selection, DisposalChooser& chooser);
    // The list item that shows a disposal code: 0 for codes 0 and 1, 1 for 2, 2 for 3,
    // -1 for 4..7 (the list keeps its last choice).
    static int disposalItem(int code);
    // The code written for a list item: 1, 2 or 3.
    static uint8_t disposalCode(int item);

    // The frames of `rows` as an animated GIF (what Copy puts on the clipboard).
    QByteArray framesAsGif(const std::vector<int>& rows) const;
    // Frame i as a picture for other programs: its own picture, transparent where the
    // frame is (32-bit pixels with alpha then), else its palette picture.
    QImage clipboardPicture(int i) const;
    // A clipboard picture as Paste makes its frame from it: with alpha, pixels below one
    // half become transparent and share one palette entry of their own (returned in
    // `transparentIndex`); without alpha, the picture as it is.
    static QImage pastedPicture(const QImage& bitmap, gif::Dither dither,
                                std::optional<uint8_t>& transparentIndex);

private:
    // The frames a file gives: a picture one, with `allOfGif` a GIF all of its own
    // (composed, as opening makes them). On the worker: nothing said, nothing changed.
    struct FileFrames {
        std::vector<gif::Frame> frames;
        QString failure;   // what Add says when the file gives no frame
        bool ends = false; // the whole command ends after saying it
    };
    FileFrames framesOfFile(const QString& fileName, const gif::ReductionSettings& reduction,
                            WorkProgress& progress, bool allOfGif) const;
    // Reads `files` on the worker and puts each one's frames into the animation within
    // `macro`, at the index `place` gives for their count (on the window's thread); says
    // each failure as Add does. False when cancelled.
    bool insertEach(const QStringList& files, bool allOfGif, MacroStep& macro,
                    const std::function<int(int count)>& place);
    // Runs `job` on the worker, its progress to onProgress; false when it was cancelled.
    bool runWork(const std::function<void(WorkProgress&)>& job);
    // Frames of GIF data, as opening makes them (composed, every frame complete).
    static std::vector<gif::Frame> framesOfGif(const QByteArray& data);

    AnimationModel& m_animation;
    BackgroundWork* m_work = nullptr;
    Platform m_platform;
    formats::PictureImport m_import;
    QString m_filter;
    // The add dialog starts at the file chosen last.
    QString m_lastFile;
};

} // namespace vorlane
