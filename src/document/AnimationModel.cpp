// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/AnimationModel.h"

#include <algorithm>
#include <unordered_set>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QUndoStack>

#include "document/EditSteps.h"

namespace vorlane {

namespace {

// After a big animation was let go (and the views dropped what they held of it), glibc
// keeps the freed pages for the process; they go back to the system here.
void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// Comment records hold bytes; GIF asks for 7-bit ASCII, files in the wild carry UTF-8 or
// a Latin-1 code page. Valid UTF-8 is read as such, anything else as Latin-1, which
// accepts every byte.
QString decodeComment(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (utf8.hasError()) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return text;
}

std::string encodeComment(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

// Lines of a text: breaks are CR LF, CR, LF or a paragraph separator; a break at the very
// end starts no further line.
QStringList linesOf(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n|\u2029"));
    QStringList lines = text.split(breaks);
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    return lines;
}

// The comment as lines joined by LF: how the comment box and the records compare.
QString normalizedComment(const QString& text) {
    return linesOf(text).join(QLatin1Char('\n'));
}

} // namespace

AnimationModel::AnimationModel(QObject* parent)
    : QObject(parent), m_stack(std::make_unique<QUndoStack>()) {
    connect(m_stack.get(), &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (!m_trimming) Q_EMIT modifiedChanged(!clean);
    });
}

AnimationModel::~AnimationModel() {
    // The commands call back into the model as they go; they go first. Clearing a stack
    // that is not clean announces it clean: nobody is told, as the listeners may be
    // partly gone already (a window destroying its members).
    const QSignalBlocker quiet(this);
    m_stack->clear();
}

// ---- reading ---------------------------------------------------------------------------

int AnimationModel::delay(int i) const {
    const gif::GraphicControl* control = frame(i).graphicControl();
    return control ? control->delay : 0;
}

QSize AnimationModel::screen() const {
    return m_image ? QSize(m_image->screenWidth, m_image->screenHeight) : QSize();
}

gif::ReductionSettings AnimationModel::reduction() const {
    return m_image ? m_image->reduction : gif::ReductionSettings{};
}

gif::GifImage AnimationModel::imageForSaving(const QString& comment) const {
    if (!m_image) return {};
    gif::GifImage out = m_image->sharedCopy();
    if (out.frameCount() == 0) return out;

    gif::ExtensionList& records = out.frame(0).extensions;
    // The loop record first, where every reader looks for it; the file's own record
    // keeps its other sub-blocks (such as the buffer size).
    gif::ExtensionPtr loop =
        m_loopRecord ? m_loopRecord->clone() : gif::Extension::makeLoop(m_loop.recordCount());
    loop->setLoopCount(m_loop.recordCount());
    records.insert(records.begin(), loop);
    const QString text = normalizedComment(comment);
    if (!m_commentRecords.empty() && text == m_recordsComment) {
        // Unchanged: the records as read, byte for byte.
        records.insert(records.end(), m_commentRecords.begin(), m_commentRecords.end());
    } else if (!text.isEmpty()) {
        // A comment record without text has no data sub-block, and common readers
        // (giflib among them) reject such a file; an empty comment is no record.
        records.push_back(gif::Extension::makeComment(encodeComment(text)));
    }
    return out;
}

// ---- history ---------------------------------------------------------------------------

void AnimationModel::push(std::unique_ptr<EditStep> step) {
    m_stack->push(new StepCommand(*this, std::shared_ptr<EditStep>(std::move(step))));
    trimHistory();
}

void AnimationModel::pushDone(std::unique_ptr<EditStep> step) {
    m_stack->push(new StepCommand(*this, std::shared_ptr<EditStep>(std::move(step)), true));
    trimHistory();
}

void AnimationModel::discard(std::unique_ptr<EditStep> step) {
    if (!step) return;
    step->undo(*this);
    restoreSelection(step->before);
}

void AnimationModel::pushUnchanged(const QString& text) {
    push(std::make_unique<UnchangedStep>(text));
}

void AnimationModel::closeMerging() {
    if (m_stack->index() == 0) return;
    if (const auto* top = dynamic_cast<const StepCommand*>(m_stack->command(m_stack->index() - 1)))
        top->step()->closeMerging();
}

bool AnimationModel::isModified() const {
    return !m_stack->isClean();
}

void AnimationModel::markSaved() {
    m_savedComment = m_comment;
    m_stack->setClean();
}

void AnimationModel::setHistoryLimit(qint64 bytes) {
    m_historyLimit = std::max<qint64>(0, bytes);
    trimHistory();
}

namespace {

// Bytes of the buffers in `pixels` that are not `live` and not `counted` yet; counts
// them.
qint64 newBytes(const std::vector<const gif::Bytes*>& pixels,
                const std::unordered_set<const gif::Bytes*>& live,
                std::unordered_set<const gif::Bytes*>& counted) {
    qint64 bytes = 0;
    for (const gif::Bytes* buffer : pixels)
        if (buffer && !live.count(buffer) && counted.insert(buffer).second)
            bytes += qint64(buffer->size());
    return bytes;
}

} // namespace

std::unordered_set<const gif::Bytes*> AnimationModel::livePixels() const {
    std::unordered_set<const gif::Bytes*> live;
    if (m_image)
        for (const gif::Frame& f : m_image->frames())
            live.insert(f.sharedPixels().get());
    return live;
}

qint64 AnimationModel::historyBytes() const {
    const auto live = livePixels();
    std::unordered_set<const gif::Bytes*> counted;
    qint64 bytes = 0;
    for (int i = 0; i < m_stack->count(); ++i)
        if (const auto* command = dynamic_cast<const StepCommand*>(m_stack->command(i))) {
            std::vector<const gif::Bytes*> pixels;
            command->step()->collectPixels(pixels);
            bytes += newBytes(pixels, live, counted);
        }
    return bytes;
}

void AnimationModel::trimHistory() {
    if (m_trimming || historyBytes() <= m_historyLimit) return;
    // Steps undone are dropped by any push, so all the steps are done ones here.
    std::vector<std::shared_ptr<EditStep>> steps;
    for (int i = 0; i < m_stack->count(); ++i)
        if (const auto* command = dynamic_cast<const StepCommand*>(m_stack->command(i)))
            steps.push_back(command->step());
    // The newest steps whose pixels fit stay; the older ones go.
    const auto live = livePixels();
    std::unordered_set<const gif::Bytes*> counted;
    qint64 bytes = 0;
    size_t keepFrom = steps.size();
    while (keepFrom > 0) {
        std::vector<const gif::Bytes*> pixels;
        steps[keepFrom - 1]->collectPixels(pixels);
        bytes += newBytes(pixels, live, counted);
        if (bytes > m_historyLimit) break;
        --keepFrom;
    }
    const int clean = m_stack->cleanIndex();
    const bool wasModified = isModified();
    m_trimming = true;
    // QUndoStack lets its bottom go only as the stack is made again from the steps kept
    // (which have run already: their commands only restore nothing).
    m_stack->clear();
    bool cleanKept = false;
    for (size_t i = keepFrom; i <= steps.size(); ++i) {
        if (clean == int(i)) {
            m_stack->setClean();
            cleanKept = true;
        }
        if (i < steps.size()) m_stack->push(new StepCommand(*this, steps[i], true, true));
    }
    if (!cleanKept) m_stack->resetClean();
    m_trimming = false;
    if (isModified() != wasModified) Q_EMIT modifiedChanged(isModified());
}

void AnimationModel::startHistory() {
    m_trimming = true;
    const bool wasModified = isModified();
    m_stack->clear();
    m_stack->setClean();
    m_trimming = false;
    if (wasModified) Q_EMIT modifiedChanged(false);
}

// ---- whole documents -------------------------------------------------------------------

void AnimationModel::clear() {
    m_image.reset();
    m_loop.infinite = true; // the count stays as the field shows it
    m_comment.clear();
    m_savedComment.clear();
    m_recordsComment.clear();
    m_loopRecord.reset();
    m_commentRecords.clear();
    m_name = UntitledName;
    startHistory();
    Q_EMIT reset();
    returnFreedMemory();
}

void AnimationModel::startEmpty(const QString& name) {
    clear();
    setName(name);
}

void AnimationModel::takeAnimationRecords(gif::ExtensionList& records) {
    m_loopRecord.reset();
    m_commentRecords.clear();
    QStringList lines;
    gif::ExtensionList kept;
    for (const gif::ExtensionPtr& record : records) {
        if (!m_loopRecord && record->isLoop()) {
            // Other programs put XMP or records of their own first; the first loop
            // record anywhere in the first frame is the animation's.
            m_loopRecord = record;
        } else if (record->isLoop()) {
            // A further loop record says another count; written beside the one the user
            // sets, it would make readers that take the last record play the file
            // differently. The first one counts, as when reading.
            continue;
        } else if (record->isComment()) {
            // Every comment of the first frame is the animation's, one after the other.
            m_commentRecords.push_back(record);
            lines << linesOf(decodeComment(record->text()));
        } else {
            kept.push_back(record);
        }
    }
    records = std::move(kept);
    const int count = m_loopRecord ? m_loopRecord->loopCount().value_or(0) : 0;
    m_loop.infinite = count == 0;
    if (count > 0) m_loop.count = count;
    m_comment = lines.join(QLatin1Char('\n'));
    m_recordsComment = m_comment;
    m_savedComment = m_comment;
}

void AnimationModel::load(gif::GifImage image, const QString& name) {
    m_image = std::make_unique<gif::GifImage>(std::move(image));
    // Every frame has a graphic control record from now on, so that every frame has a
    // delay that can be edited and written.
    for (size_t i = 0; i < m_image->frameCount(); ++i) {
        gif::Frame& f = m_image->frame(i);
        if (!f.graphicControlRecord) f.extensions.push_back(m_image->newGraphicControl(i));
    }
    // A file without images keeps its records after its last (no) image.
    takeAnimationRecords(m_image->frameCount() > 0 ? m_image->frame(0).extensions
                                                   : m_image->trailingExtensions);
    m_name = name;
    startHistory();
    Q_EMIT reset();
    returnFreedMemory();
}

void AnimationModel::restore(gif::GifImage image, const QString& name, const LoopSetting& loop,
                             const QString& comment, const QString& savedComment) {
    load(std::move(image), name);
    setLoop(loop);
    setComment(comment);
    m_savedComment = savedComment;
    m_stack->resetClean();
}

void AnimationModel::setName(const QString& name) {
    if (m_name == name) return;
    m_name = name;
    Q_EMIT nameChanged();
}

// ---- mutators --------------------------------------------------------------------------

void AnimationModel::createImage() {
    m_image = std::make_unique<gif::GifImage>();
    Q_EMIT imagePresenceChanged(true);
}

void AnimationModel::dropImage() {
    m_image.reset();
    Q_EMIT imagePresenceChanged(false);
}

void AnimationModel::insertFrames(int index, std::vector<gif::Frame> frames) {
    if (frames.empty()) return;
    const int count = int(frames.size());
    m_image->insertFrames(size_t(index), std::move(frames));
    Q_EMIT framesInserted(index, count);
}

std::vector<gif::Frame> AnimationModel::removeFrames(int first, int count) {
    if (count <= 0) return {};
    std::vector<gif::Frame> taken = m_image->takeFrames(size_t(first), size_t(count));
    Q_EMIT framesRemoved(first, count);
    return taken;
}

void AnimationModel::reorderFrames(const std::vector<int>& order) {
    m_image->reorderFrames(order);
    Q_EMIT framesMoved(order);
}

void AnimationModel::replaceFrame(int i, gif::Frame frame) {
    m_image->replaceFrame(size_t(i), std::move(frame));
    Q_EMIT framesChanged(i, i);
}

void AnimationModel::setScreen(QSize size) {
    m_image->screenWidth = uint16_t(size.width());
    m_image->screenHeight = uint16_t(size.height());
    Q_EMIT screenChanged();
}

void AnimationModel::setLoop(const LoopSetting& loop) {
    if (m_loop == loop) return;
    m_loop = loop;
    Q_EMIT loopChanged();
}

void AnimationModel::setComment(const QString& text) {
    if (m_comment == text) return;
    m_comment = text;
    Q_EMIT commentChanged();
}

} // namespace vorlane
