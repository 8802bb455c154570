// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/EditSteps.h"

#include <algorithm>
#include <numeric>

namespace vorlane {

namespace {

void collectFrames(const std::vector<gif::Frame>& frames, std::vector<const gif::Bytes*>& out) {
    for (const gif::Frame& f : frames)
        if (f.sharedPixels()) out.push_back(f.sharedPixels().get());
}

// Runs of consecutive rows, as (first, count), in ascending order.
std::vector<std::pair<int, int>> runsOf(const std::vector<int>& rows) {
    std::vector<std::pair<int, int>> runs;
    for (const int row : rows) {
        if (!runs.empty() && runs.back().first + runs.back().second == row)
            ++runs.back().second;
        else
            runs.emplace_back(row, 1);
    }
    return runs;
}

} // namespace

// ---- InsertFramesStep ------------------------------------------------------------------

InsertFramesStep::InsertFramesStep(QString text, int index, std::vector<gif::Frame> frames)
    : EditStep(std::move(text)), m_index(index), m_frames(std::move(frames)) {}

void InsertFramesStep::redo(AnimationModel& model) {
    m_createdImage = !model.hasImage();
    if (m_createdImage) createImage(model);
    m_screenBefore = model.screen();
    // Adding a frame never shrinks the screen; the first frame sets it.
    QSize grown = m_screenBefore;
    for (const gif::Frame& f : m_frames)
        grown = grown.expandedTo(QSize(f.left + f.width(), f.top + f.height()));
    if (grown != m_screenBefore) setScreen(model, grown);
    insertFrames(model, std::clamp(m_index, 0, model.frameCount()), m_frames);
}

void InsertFramesStep::undo(AnimationModel& model) {
    removeFrames(model, std::clamp(m_index, 0, model.frameCount() - int(m_frames.size())),
                 int(m_frames.size()));
    if (model.screen() != m_screenBefore) setScreen(model, m_screenBefore);
    if (m_createdImage) dropImage(model);
}

void InsertFramesStep::collectPixels(std::vector<const gif::Bytes*>& out) const {
    collectFrames(m_frames, out);
}

// ---- RemoveFramesStep ------------------------------------------------------------------

RemoveFramesStep::RemoveFramesStep(QString text, std::vector<int> rows)
    : EditStep(std::move(text)), m_rows(std::move(rows)) {
    std::sort(m_rows.begin(), m_rows.end());
    m_rows.erase(std::unique(m_rows.begin(), m_rows.end()), m_rows.end());
}

void RemoveFramesStep::redo(AnimationModel& model) {
    // From the back, so that the rows of the runs still to go stay where they are.
    const auto runs = runsOf(m_rows);
    std::vector<std::vector<gif::Frame>> removed(runs.size());
    for (size_t r = runs.size(); r-- > 0;)
        removed[r] = removeFrames(model, runs[r].first, runs[r].second);
    m_removed.clear();
    for (auto& run : removed)
        for (gif::Frame& f : run)
            m_removed.push_back(std::move(f));
}

void RemoveFramesStep::undo(AnimationModel& model) {
    size_t next = 0;
    for (const auto& [first, count] : runsOf(m_rows)) {
        std::vector<gif::Frame> run(m_removed.begin() + ptrdiff_t(next),
                                    m_removed.begin() + ptrdiff_t(next + size_t(count)));
        next += size_t(count);
        insertFrames(model, first, std::move(run));
    }
}

void RemoveFramesStep::collectPixels(std::vector<const gif::Bytes*>& out) const {
    collectFrames(m_removed, out);
}

// ---- MoveFramesStep --------------------------------------------------------------------

MoveFramesStep::MoveFramesStep(QString text, std::vector<int> order)
    : EditStep(std::move(text)), m_order(std::move(order)) {}

void MoveFramesStep::redo(AnimationModel& model) {
    reorderFrames(model, m_order);
}

void MoveFramesStep::undo(AnimationModel& model) {
    std::vector<int> inverse(m_order.size());
    for (size_t i = 0; i < m_order.size(); ++i)
        inverse[size_t(m_order[i])] = int(i);
    reorderFrames(model, inverse);
}

std::vector<int> MoveFramesStep::moveRowsBefore(int count, const std::vector<int>& rows,
                                                int destination) {
    std::vector<bool> moving(size_t(count), false);
    for (const int r : rows)
        if (r >= 0 && r < count) moving[size_t(r)] = true;
    std::vector<int> order;
    order.reserve(size_t(count));
    for (int i = 0; i <= count; ++i) {
        if (i == destination)
            for (int r = 0; r < count; ++r)
                if (moving[size_t(r)]) order.push_back(r);
        if (i < count && !moving[size_t(i)]) order.push_back(i);
    }
    return order;
}

std::vector<int> MoveFramesStep::stepRows(int count, const std::vector<int>& rows, int step) {
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::vector<bool> moving(size_t(count), false);
    for (const int r : rows)
        if (r >= 0 && r < count) moving[size_t(r)] = true;
    if (step < 0) {
        for (int i = 1; i < count; ++i)
            if (moving[size_t(order[size_t(i)])] && !moving[size_t(order[size_t(i - 1)])])
                std::swap(order[size_t(i)], order[size_t(i - 1)]);
    } else {
        for (int i = count - 2; i >= 0; --i)
            if (moving[size_t(order[size_t(i)])] && !moving[size_t(order[size_t(i + 1)])])
                std::swap(order[size_t(i)], order[size_t(i + 1)]);
    }
    return order;
}

// ---- ReplaceFramesStep -----------------------------------------------------------------

ReplaceFramesStep::ReplaceFramesStep(QString text, std::vector<int> rows,
                                     std::vector<gif::Frame> frames, std::optional<QSize> screen)
    : EditStep(std::move(text)), m_rows(std::move(rows)), m_new(std::move(frames)),
      m_screen(screen) {}

void ReplaceFramesStep::redo(AnimationModel& model) {
    m_old.clear();
    m_screenBefore = model.screen();
    if (m_screen && *m_screen != m_screenBefore) setScreen(model, *m_screen);
    for (size_t k = 0; k < m_rows.size(); ++k) {
        m_old.push_back(model.frame(m_rows[k]));
        replaceFrame(model, m_rows[k], m_new[k]);
    }
}

void ReplaceFramesStep::undo(AnimationModel& model) {
    for (size_t k = m_rows.size(); k-- > 0;)
        replaceFrame(model, m_rows[k], m_old[k]);
    if (model.screen() != m_screenBefore) setScreen(model, m_screenBefore);
}

void ReplaceFramesStep::collectPixels(std::vector<const gif::Bytes*>& out) const {
    collectFrames(m_new, out);
    collectFrames(m_old, out);
}

// ---- ReplaceAnimationStep --------------------------------------------------------------

ReplaceAnimationStep::ReplaceAnimationStep(QString text, std::vector<gif::Frame> frames,
                                           QSize screen)
    : EditStep(std::move(text)), m_new(std::move(frames)), m_screen(screen) {}

std::vector<gif::Frame> ReplaceAnimationStep::exchange(AnimationModel& model,
                                                       std::vector<gif::Frame> frames,
                                                       QSize screen) {
    // The frames leave, the screen changes, the new frames come: each listener hears of
    // the change it follows, the strip and the selection of rows removed and inserted.
    std::vector<gif::Frame> old = removeFrames(model, 0, model.frameCount());
    if (model.screen() != screen) setScreen(model, screen);
    insertFrames(model, 0, std::move(frames));
    return old;
}

void ReplaceAnimationStep::redo(AnimationModel& model) {
    m_screenBefore = model.screen();
    m_old = exchange(model, m_new, m_screen);
}

void ReplaceAnimationStep::undo(AnimationModel& model) {
    exchange(model, std::move(m_old), m_screenBefore);
    m_old.clear();
}

void ReplaceAnimationStep::collectPixels(std::vector<const gif::Bytes*>& out) const {
    collectFrames(m_new, out);
    collectFrames(m_old, out);
}

// ---- SetControlsStep -------------------------------------------------------------------

SetControlsStep::SetControlsStep(QString text, std::vector<int> rows, Edit edit, int mergeId)
    : EditStep(std::move(text)), m_rows(std::move(rows)), m_edit(std::move(edit)),
      m_mergeId(mergeId) {}

gif::Frame SetControlsStep::withControl(const gif::Frame& frame,
                                        const gif::GraphicControl& control) {
    gif::Frame changed = frame;
    gif::ExtensionPtr record = gif::Extension::makeGraphicControl();
    record->control() = control;
    auto at = std::find(changed.extensions.begin(), changed.extensions.end(),
                        changed.graphicControlRecord);
    if (at != changed.extensions.end())
        *at = record;
    else
        changed.extensions.push_back(record);
    changed.graphicControlRecord = record;
    return changed;
}

void SetControlsStep::redo(AnimationModel& model) {
    if (m_new.empty()) {
        // The first run: what the frames hold now, and what the edit makes of it.
        for (const int row : m_rows) {
            const gif::GraphicControl* current = model.frame(row).graphicControl();
            const gif::GraphicControl old = current ? *current : gif::GraphicControl{};
            gif::GraphicControl edited = old;
            m_edit(edited);
            m_old.push_back(old);
            m_new.push_back(edited);
        }
    }
    for (size_t k = 0; k < m_rows.size(); ++k)
        replaceFrame(model, m_rows[k], withControl(model.frame(m_rows[k]), m_new[k]));
}

void SetControlsStep::undo(AnimationModel& model) {
    for (size_t k = m_rows.size(); k-- > 0;)
        replaceFrame(model, m_rows[k], withControl(model.frame(m_rows[k]), m_old[k]));
}

bool SetControlsStep::mergeWith(const EditStep& next) {
    const auto* later = dynamic_cast<const SetControlsStep*>(&next);
    if (!later || later->m_rows != m_rows || m_mergeId < 0) return false;
    // The earlier values stay; the latest edit's values win.
    m_new = later->m_new;
    after = later->after;
    return true;
}

// ---- SetLoopStep, SetCommentStep -------------------------------------------------------

SetLoopStep::SetLoopStep(QString text, LoopSetting loop, int mergeId)
    : EditStep(std::move(text)), m_new(loop), m_mergeId(mergeId) {}

void SetLoopStep::redo(AnimationModel& model) {
    if (!m_old) m_old = model.loop();
    setLoop(model, m_new);
}

void SetLoopStep::undo(AnimationModel& model) {
    if (m_old) setLoop(model, *m_old);
}

bool SetLoopStep::mergeWith(const EditStep& next) {
    const auto* later = dynamic_cast<const SetLoopStep*>(&next);
    if (!later || m_mergeId < 0) return false;
    m_new = later->m_new;
    after = later->after;
    return true;
}

SetCommentStep::SetCommentStep(QString text, QString comment, bool typing)
    : EditStep(std::move(text)), m_new(std::move(comment)), m_typing(typing) {}

void SetCommentStep::redo(AnimationModel& model) {
    if (!m_old) m_old = model.comment();
    setComment(model, m_new);
}

void SetCommentStep::undo(AnimationModel& model) {
    setComment(model, m_old.value_or(QString()));
}

bool SetCommentStep::mergeWith(const EditStep& next) {
    const auto* later = dynamic_cast<const SetCommentStep*>(&next);
    if (!later || !m_typing || !later->m_typing) return false;
    m_new = later->m_new;
    after = later->after;
    return true;
}

// ---- MacroStep -------------------------------------------------------------------------

void MacroStep::run(AnimationModel& model, std::unique_ptr<EditStep> step) {
    step->redo(model);
    m_steps.push_back(std::move(step));
}

void MacroStep::redo(AnimationModel& model) {
    for (auto& step : m_steps)
        step->redo(model);
}

void MacroStep::undo(AnimationModel& model) {
    for (size_t i = m_steps.size(); i-- > 0;)
        m_steps[i]->undo(model);
}

void MacroStep::collectPixels(std::vector<const gif::Bytes*>& out) const {
    for (const auto& step : m_steps)
        step->collectPixels(out);
}

// ---- StepCommand -----------------------------------------------------------------------

StepCommand::StepCommand(AnimationModel& model, std::shared_ptr<EditStep> step, bool done,
                         bool quiet)
    : QUndoCommand(step->text()), m_model(model), m_step(std::move(step)), m_skip(done),
      m_quiet(quiet) {}

void StepCommand::redo() {
    if (m_skip) {
        m_skip = false;
        if (!m_quiet) m_model.restoreSelection(m_step->after);
        return;
    }
    m_step->redo(m_model);
    m_model.restoreSelection(m_step->after);
}

void StepCommand::undo() {
    m_step->undo(m_model);
    m_model.restoreSelection(m_step->before);
}

bool StepCommand::mergeWith(const QUndoCommand* other) {
    const auto* later = dynamic_cast<const StepCommand*>(other);
    if (!later || !m_step->mergeOpen()) return false;
    if (!m_step->mergeWith(*later->m_step)) return false;
    setText(m_step->text());
    return true;
}

} // namespace vorlane
