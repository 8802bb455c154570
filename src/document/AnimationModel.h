// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The animation being edited: the codec image with its frames, the animation-wide loop
// setting and comment, the animation's name, and the history of edits. Outside the
// edit steps (EditSteps.h) everything here is read only: every change is a step pushed
// on the undo stack, which calls the narrow mutators below, and each mutator announces
// exactly what it changed, so views update that and nothing else.
//
// The loop record and the comment records of the first frame belong to the animation,
// not to whichever frame happens to stand first: they are held here, apart from the
// frames, and put back on frame 0 only in the image that is written (imageForSaving).
// Moving, removing or inserting frames therefore never leaves a stale loop count or a
// second copy of the comment on a frame that is no longer first.

#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

#include <QImage>
#include <QObject>
#include <QString>

#include "codec/GifImage.h"

class QUndoStack;

namespace vorlane {

class EditStep;
class StepCommand;

// How often the animation plays, as its loop record says.
struct LoopSetting {
    bool infinite = true; // the record holds 0: repeat indefinitely
    int count = 1;        // 1..65535: stop after this many; kept while `infinite`
    uint16_t recordCount() const { return infinite ? 0 : uint16_t(count); }
    friend bool operator==(const LoopSetting&, const LoopSetting&) = default;
};

// The current frame and the selected frames, as a step restores them after undo and redo.
struct FrameSelection {
    int current = -1;
    std::vector<int> rows; // sorted, without repeats
    friend bool operator==(const FrameSelection&, const FrameSelection&) = default;
};

class AnimationModel : public QObject {
    Q_OBJECT
public:
    static inline const QString UntitledName = QStringLiteral("Untitled.gif");
    // Pixels held only by the history (removed or replaced frames) beyond which the
    // oldest steps are dropped.
    static constexpr qint64 DefaultHistoryBytes = qint64(1) << 30;

    explicit AnimationModel(QObject* parent = nullptr);
    ~AnimationModel() override;

    // ---- reading ----
    // None for a new animation before its first frame, and after a failed open.
    bool hasImage() const { return m_image != nullptr; }
    // The frames as edited: no frame carries the animation's loop or comment record.
    const gif::GifImage* image() const { return m_image.get(); }
    int frameCount() const { return m_image ? int(m_image->frameCount()) : 0; }
    const gif::Frame& frame(int i) const { return m_image->frame(size_t(i)); }
    QImage ownPicture(int i) const { return m_image->ownPicture(size_t(i)); }
    // The frame's delay in hundredths of a second, 0 without a graphic control record.
    int delay(int i) const;
    QSize screen() const;
    LoopSetting loop() const { return m_loop; }
    QString comment() const { return m_comment; }
    // The name in the title and the frame labels ("Untitled.gif" for a new animation).
    QString name() const { return m_name; }

    // The image as it is written, with `comment` as its comment: a copy sharing the
    // frames' pixels and records, with the loop record at the head of frame 0 and the
    // comment at its end. The comment records read from the file are written as they
    // were while the text is theirs. Save writes the comment as it stands; Save as writes
    // the comment as it was last saved or read (savedComment).
    gif::GifImage imageForSaving(const QString& comment) const;
    // The comment as it stood when the animation was opened or last saved.
    QString savedComment() const { return m_savedComment; }

    // ---- history ----
    QUndoStack& undoStack() { return *m_stack; }
    const QUndoStack& undoStack() const { return *m_stack; }
    // Pushes a step; it runs at once. The one way an edit reaches the animation.
    void push(std::unique_ptr<EditStep> step);
    // Pushes a step that has run already (a macro built step by step).
    void pushDone(std::unique_ptr<EditStep> step);
    // Takes back a step that has run and was never pushed (a command cancelled half-way):
    // the animation and the selection are as they were before it.
    void discard(std::unique_ptr<EditStep> step);
    // The step on top of the history takes no further edits into it (the user left the
    // field whose typing it gathers).
    void closeMerging();
    // Whether the animation differs from what was opened or last saved.
    bool isModified() const;
    // The animation as it stands, with its comment, is what its file holds now (a
    // successful Save).
    void markSaved();
    // An edit that changes nothing, so that the animation counts as modified (an effect
    // that made no frames, a disposal confirmed unchanged). It is one step of its own.
    void pushUnchanged(const QString& text);
    void setHistoryLimit(qint64 bytes);
    qint64 historyLimit() const { return m_historyLimit; }
    // Bytes of pixels held only by the history (not by the animation as it stands).
    qint64 historyBytes() const;

    // ---- whole documents: each starts a new history ----
    // New: no image, no frames, "Untitled.gif", repeat indefinitely, no comment.
    void clear();
    // An opened animation (already unoptimized). The loop record and comments of its
    // first frame (of its trailing records when it has no frames) become the loop
    // setting and the comment; every frame gets a graphic control record.
    void load(gif::GifImage image, const QString& name);
    // A new animation built from scratch: no image until frames are added.
    void startEmpty(const QString& name);
    // An animation recovered from a copy of unsaved work: `image` as the copy holds it,
    // loaded as load() does, with the loop setting, the comment and the comment as last
    // saved as they stood. It counts as modified, and no undo makes it unmodified: its
    // file does not hold it.
    void restore(gif::GifImage image, const QString& name, const LoopSetting& loop,
                 const QString& comment, const QString& savedComment);
    // Renames the animation (Save as, Save through the dialog); not an edit.
    void setName(const QString& name);

    // How pictures that become frames are reduced to palettes (the image's settings, the
    // codec's defaults before there is an image).
    gif::ReductionSettings reduction() const;

Q_SIGNALS:
    // Everything changed: a file was opened, New, a new history.
    void reset();
    void framesInserted(int first, int count);
    void framesRemoved(int first, int count);
    // The frames were reordered: order[newIndex] is the old index of that frame.
    void framesMoved(const std::vector<int>& order);
    // Pixels or records of the frames first..last changed.
    void framesChanged(int first, int last);
    // The image appeared or went (the first frames of a new animation, or their undo).
    void imagePresenceChanged(bool present);
    void screenChanged();
    void loopChanged();
    void commentChanged();
    void nameChanged();
    void modifiedChanged(bool modified);
    // An undo or redo restored this selection.
    void selectionRestored(const vorlane::FrameSelection& selection);

private:
    friend class EditStep;
    friend class StepCommand;

    // ---- mutators, for the steps ----
    void createImage();
    void dropImage();
    void insertFrames(int index, std::vector<gif::Frame> frames);
    std::vector<gif::Frame> removeFrames(int first, int count);
    void reorderFrames(const std::vector<int>& order);
    void replaceFrame(int i, gif::Frame frame);
    void setScreen(QSize size);
    void setLoop(const LoopSetting& loop);
    void setComment(const QString& text);
    void restoreSelection(const FrameSelection& selection) { Q_EMIT selectionRestored(selection); }

    void takeAnimationRecords(gif::ExtensionList& records);
    std::unordered_set<const gif::Bytes*> livePixels() const;
    void trimHistory();
    void startHistory();

    std::unique_ptr<gif::GifImage> m_image;
    LoopSetting m_loop;
    QString m_comment;
    // The file's own records: the loop record (written again with the current count, its
    // other sub-blocks kept) and the comment records with the text they hold.
    gif::ExtensionPtr m_loopRecord;
    gif::ExtensionList m_commentRecords;
    QString m_recordsComment;
    QString m_savedComment;
    QString m_name = UntitledName;
    std::unique_ptr<QUndoStack> m_stack;
    qint64 m_historyLimit = DefaultHistoryBytes;
    bool m_trimming = false;
};

} // namespace vorlane

Q_DECLARE_METATYPE(vorlane::FrameSelection)
