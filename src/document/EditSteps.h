// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The edit steps: every change to the animation is one of these, pushed on the model's
// undo stack. A step keeps what it needs to go both ways (frames share their pixel
// buffers and records, so keeping a frame copies no pixels) and calls the model's narrow
// mutators, which announce each change. Steps that run several others (an effect, the
// wizard's creation, Add of several files) are macros.
//
// A step is held by a thin QUndoCommand (StepCommand), so that the history can drop its
// oldest steps when it holds too much memory: the stack is rebuilt from the steps it
// keeps, which QUndoStack cannot do with commands it owns.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QUndoCommand>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"

namespace vorlane {

class EditStep {
public:
    explicit EditStep(QString text) : m_text(std::move(text)) {}
    virtual ~EditStep() = default;
    EditStep(const EditStep&) = delete;
    EditStep& operator=(const EditStep&) = delete;

    // Named after what the user did ("Remove image", "Move forward"): the Edit menu
    // shows "Undo " + text.
    QString text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }

    // Where the current frame and the selection stand before and after the step; undo
    // and redo restore them.
    FrameSelection before;
    FrameSelection after;

    virtual void redo(AnimationModel& model) = 0;
    virtual void undo(AnimationModel& model) = 0;

    // Steps with the same id >= 0 may fold into the step before them (the delay typed
    // into its field is one edit, not one step per keystroke), until folding is closed
    // (the user left the field).
    virtual int mergeId() const { return -1; }
    virtual bool mergeWith(const EditStep& next) {
        (void)next;
        return false;
    }
    bool mergeOpen() const { return m_mergeOpen; }
    void closeMerging() { m_mergeOpen = false; }
    // The pixel buffers the step holds, for the history's memory bound.
    virtual void collectPixels(std::vector<const gif::Bytes*>& out) const { (void)out; }

protected:
    // The model's mutators, for the steps.
    static void createImage(AnimationModel& m) { m.createImage(); }
    static void dropImage(AnimationModel& m) { m.dropImage(); }
    static void insertFrames(AnimationModel& m, int index, std::vector<gif::Frame> frames) {
        m.insertFrames(index, std::move(frames));
    }
    static std::vector<gif::Frame> removeFrames(AnimationModel& m, int first, int count) {
        return m.removeFrames(first, count);
    }
    static void reorderFrames(AnimationModel& m, const std::vector<int>& order) {
        m.reorderFrames(order);
    }
    static void replaceFrame(AnimationModel& m, int i, gif::Frame frame) {
        m.replaceFrame(i, std::move(frame));
    }
    static void setScreen(AnimationModel& m, QSize size) { m.setScreen(size); }
    static void setLoop(AnimationModel& m, const LoopSetting& loop) { m.setLoop(loop); }
    static void setComment(AnimationModel& m, const QString& text) { m.setComment(text); }

private:
    QString m_text;
    bool m_mergeOpen = true;
};

// ---- steps -----------------------------------------------------------------------------

// Frames put at `index` (the frame there and those after it move back). The logical
// screen grows to hold them; the first frames of a new animation make its image.
class InsertFramesStep : public EditStep {
public:
    InsertFramesStep(QString text, int index, std::vector<gif::Frame> frames);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    void collectPixels(std::vector<const gif::Bytes*>& out) const override;

private:
    int m_index;
    std::vector<gif::Frame> m_frames;
    QSize m_screenBefore;
    bool m_createdImage = false;
};

// The frames at `rows` (any set) leave the animation.
class RemoveFramesStep : public EditStep {
public:
    RemoveFramesStep(QString text, std::vector<int> rows);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    void collectPixels(std::vector<const gif::Bytes*>& out) const override;

private:
    std::vector<int> m_rows; // ascending
    std::vector<gif::Frame> m_removed;
};

// The frames take a new order: order[newIndex] is the old index of the frame that goes
// to newIndex.
class MoveFramesStep : public EditStep {
public:
    MoveFramesStep(QString text, std::vector<int> order);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;

    // The order that puts the frames at `rows` (ascending) in front of the frame now at
    // `destination` (0..count; count puts them last), keeping their order.
    static std::vector<int> moveRowsBefore(int count, const std::vector<int>& rows, int destination);
    // The order that moves each frame of `rows` one place towards the front (step -1)
    // or the end (+1); a frame at the edge, or behind one that cannot move, stays.
    static std::vector<int> stepRows(int count, const std::vector<int>& rows, int step);

private:
    std::vector<int> m_order;
};

// Frames replaced by new versions of themselves (other pixels, colours, records).
class ReplaceFramesStep : public EditStep {
public:
    ReplaceFramesStep(QString text, std::vector<int> rows, std::vector<gif::Frame> frames,
                      std::optional<QSize> screen = std::nullopt);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    void collectPixels(std::vector<const gif::Bytes*>& out) const override;

private:
    std::vector<int> m_rows;
    std::vector<gif::Frame> m_new;
    std::vector<gif::Frame> m_old;
    std::optional<QSize> m_screen;
    QSize m_screenBefore;
};

// Every frame and the logical screen replaced at once, by frames of any number: what an
// animation tool made of the whole animation (a resize, a rotation, frames thinned out).
// The old frames are kept as they were, so undo gives back exactly the animation before.
class ReplaceAnimationStep : public EditStep {
public:
    ReplaceAnimationStep(QString text, std::vector<gif::Frame> frames, QSize screen);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    void collectPixels(std::vector<const gif::Bytes*>& out) const override;

private:
    // Puts `frames` and `screen` in place of what the animation holds; returns that.
    static std::vector<gif::Frame> exchange(AnimationModel& model, std::vector<gif::Frame> frames,
                                            QSize screen);

    std::vector<gif::Frame> m_new;
    std::vector<gif::Frame> m_old;
    QSize m_screen;
    QSize m_screenBefore;
};

// New values of the graphic control records of some frames (delay, disposal,
// transparency). `edit` changes a frame's record as the user asked; it runs once, on
// the first redo. With a merge id, later steps of the same id fold into this one while
// they change the same frames.
class SetControlsStep : public EditStep {
public:
    using Edit = std::function<void(gif::GraphicControl&)>;
    SetControlsStep(QString text, std::vector<int> rows, Edit edit, int mergeId = -1);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    int mergeId() const override { return m_mergeId; }
    bool mergeWith(const EditStep& next) override;

    // The frame with `control` as its graphic control record (a new record in place of
    // the old one, which the history may still hold; one is added when it has none).
    static gif::Frame withControl(const gif::Frame& frame, const gif::GraphicControl& control);

private:
    std::vector<int> m_rows;
    Edit m_edit;
    int m_mergeId;
    std::vector<gif::GraphicControl> m_old;
    std::vector<gif::GraphicControl> m_new;
};

// The loop setting; with a merge id, typing in the count field folds into one step.
class SetLoopStep : public EditStep {
public:
    SetLoopStep(QString text, LoopSetting loop, int mergeId = -1);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    int mergeId() const override { return m_mergeId; }
    bool mergeWith(const EditStep& next) override;

private:
    LoopSetting m_new;
    std::optional<LoopSetting> m_old; // taken on the first run
    int m_mergeId;
};

// The comment as typed; consecutive typing in the comment box folds into one step until
// the box is left.
class SetCommentStep : public EditStep {
public:
    static constexpr int TypingId = 1;
    SetCommentStep(QString text, QString comment, bool typing);
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    int mergeId() const override { return m_typing ? TypingId : -1; }
    bool mergeWith(const EditStep& next) override;

private:
    QString m_new;
    std::optional<QString> m_old; // taken on the first run
    bool m_typing;
};

// Several steps as one: each runs as it is added (so the window follows an effect or
// the wizard frame by frame), and the whole is undone and redone at once.
class MacroStep : public EditStep {
public:
    explicit MacroStep(QString text) : EditStep(std::move(text)) {}
    // Runs the step now and keeps it.
    void run(AnimationModel& model, std::unique_ptr<EditStep> step);
    bool empty() const { return m_steps.empty(); }
    void redo(AnimationModel& model) override;
    void undo(AnimationModel& model) override;
    void collectPixels(std::vector<const gif::Bytes*>& out) const override;

private:
    std::vector<std::unique_ptr<EditStep>> m_steps;
};

// An edit that changes nothing but counts as one (the animation becomes modified).
class UnchangedStep : public EditStep {
public:
    using EditStep::EditStep;
    void redo(AnimationModel&) override {}
    void undo(AnimationModel&) override {}
};

// ---- the command on the undo stack ---------------------------------------------------------

class StepCommand : public QUndoCommand {
public:
    // `done`: the step has run already (a macro built step by step, or a step moved to a
    // rebuilt stack); the first redo only restores its selection, or nothing when
    // `quiet`.
    StepCommand(AnimationModel& model, std::shared_ptr<EditStep> step, bool done = false,
                bool quiet = false);
    void redo() override;
    void undo() override;
    int id() const override { return m_step->mergeId(); }
    bool mergeWith(const QUndoCommand* other) override;
    const std::shared_ptr<EditStep>& step() const { return m_step; }

private:
    AnimationModel& m_model;
    std::shared_ptr<EditStep> m_step;
    bool m_skip;
    bool m_quiet;
};

} // namespace vorlane
