// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/Recovery.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <unordered_map>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QThreadPool>
#include <QUndoStack>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include "codec/GifWriter.h"
#include "codec/SafeFile.h"
#include "document/BackgroundWork.h"
#include "document/DocumentFiles.h"

namespace vorlane {

namespace {

constexpr int ManifestFormat = 1;
constexpr int ThumbnailSide = 96;

// Ids are 32 hexadecimal digits; every file of a copy starts with its id and a dot.
const QRegularExpression& idPattern() {
    static const QRegularExpression pattern(QStringLiteral("^([0-9a-f]{32})\\."));
    return pattern;
}

const QRegularExpression& gifNamePattern() {
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-f]{32}\\.([0-9]{1,9})\\.gif$"));
    return pattern;
}

// A lock that is taken or fails at once, whatever its age: a copy belongs to its editor
// for as long as that runs, however long the editing lasts.
std::shared_ptr<QLockFile> takeLock(const QString& path) {
    auto lock = std::make_shared<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return nullptr;
    return lock;
}

QDateTime processStarted() {
    static const QDateTime started = QDateTime::currentDateTimeUtc();
    return started;
}

// The writing thread yields to the rest of the system. Thread priorities mean nothing to
// Linux's normal scheduler, a thread's own nice value does.
void lowerThisThread() {
#ifdef __linux__
    static thread_local bool lowered = false;
    if (!lowered) ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 10);
    lowered = true;
#endif
}

qint64 threadCpuUs() {
    timespec t{};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0) return 0;
    return qint64(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    gif::writeFileSafely(
        path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       size_t(bytes.size())));
}

QByteArray thumbnailPng(const QImage& picture) {
    if (picture.isNull()) return {};
    const QImage small =
        picture.convertToFormat(QImage::Format_RGB32)
            .scaled(ThumbnailSide, ThumbnailSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    small.save(&buffer, "PNG");
    return png;
}

QJsonArray tableSizesOf(const gif::GifImage& image) {
    QJsonArray sizes;
    sizes.append(int(image.globalColors().size()));
    for (const gif::Frame& f : image.frames())
        sizes.append(int(f.localColors().size()));
    return sizes;
}

QJsonObject manifestOf(const RecoveryInfo& info, const QString& gifName, qint64 gifBytes,
                       const QJsonArray& tableSizes, const QByteArray& thumbnail) {
    QJsonObject loop;
    loop[QLatin1String("infinite")] = info.loop.infinite;
    loop[QLatin1String("count")] = info.loop.count;
    QJsonObject o;
    o[QLatin1String("format")] = ManifestFormat;
    o[QLatin1String("gif")] = gifName;
    o[QLatin1String("gifBytes")] = gifBytes;
    o[QLatin1String("name")] = info.name;
    o[QLatin1String("path")] = info.path;
    o[QLatin1String("hasFile")] = info.hasFile;
    o[QLatin1String("loop")] = loop;
    o[QLatin1String("comment")] = info.comment;
    o[QLatin1String("savedComment")] = info.savedComment;
    o[QLatin1String("commentEdited")] = info.comment != info.savedComment;
    o[QLatin1String("changed")] = info.changed.toString(Qt::ISODateWithMs);
    o[QLatin1String("frames")] = info.frames;
    o[QLatin1String("width")] = info.screen.width();
    o[QLatin1String("height")] = info.screen.height();
    o[QLatin1String("pid")] = info.pid;
    o[QLatin1String("host")] = info.host;
    o[QLatin1String("processStarted")] = info.processStarted.toString(Qt::ISODateWithMs);
    o[QLatin1String("tables")] = tableSizes;
    o[QLatin1String("thumbnail")] = QString::fromLatin1(thumbnail.toBase64());
    return o;
}

// The manifest's content, or nothing when it is not one this program wrote (anything
// that does not read back is treated as damaged, never guessed at).
struct Manifest {
    RecoveryInfo info;
    QString gifName;
    qint64 gifBytes = -1;
    QImage thumbnail;
    std::vector<int> tableSizes;
};

std::optional<Manifest> readManifest(const QString& path) {
    QFile file(path);
    // A manifest is a few kilobytes; anything far larger is not one.
    if (!file.open(QIODevice::ReadOnly) || file.size() > (qint64(4) << 20)) return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject o = document.object();
    if (o.value(QLatin1String("format")).toInt() != ManifestFormat) return std::nullopt;
    Manifest m;
    m.gifName = o.value(QLatin1String("gif")).toString();
    m.gifBytes = qint64(o.value(QLatin1String("gifBytes")).toDouble(-1));
    // The GIF must be one of this copy's own names: a manifest never leads elsewhere.
    const QString id = QFileInfo(path).completeBaseName();
    if (!gifNamePattern().match(m.gifName).hasMatch() || !m.gifName.startsWith(id + u'.') ||
        m.gifBytes < 0)
        return std::nullopt;
    RecoveryInfo& info = m.info;
    info.name = o.value(QLatin1String("name")).toString();
    info.path = o.value(QLatin1String("path")).toString();
    info.hasFile = o.value(QLatin1String("hasFile")).toBool();
    const QJsonObject loop = o.value(QLatin1String("loop")).toObject();
    info.loop.infinite = loop.value(QLatin1String("infinite")).toBool(true);
    info.loop.count = std::clamp(loop.value(QLatin1String("count")).toInt(1), 1, 65535);
    info.comment = o.value(QLatin1String("comment")).toString();
    info.savedComment = o.value(QLatin1String("savedComment")).toString();
    info.changed =
        QDateTime::fromString(o.value(QLatin1String("changed")).toString(), Qt::ISODateWithMs);
    info.frames = o.value(QLatin1String("frames")).toInt();
    info.screen =
        QSize(o.value(QLatin1String("width")).toInt(), o.value(QLatin1String("height")).toInt());
    info.pid = qint64(o.value(QLatin1String("pid")).toDouble());
    info.host = o.value(QLatin1String("host")).toString();
    info.processStarted = QDateTime::fromString(o.value(QLatin1String("processStarted")).toString(),
                                                Qt::ISODateWithMs);
    if (info.name.isEmpty() || !info.changed.isValid()) return std::nullopt;
    for (const QJsonValue size : o.value(QLatin1String("tables")).toArray())
        m.tableSizes.push_back(size.toInt());
    m.thumbnail = QImage::fromData(
        QByteArray::fromBase64(o.value(QLatin1String("thumbnail")).toString().toLatin1()), "PNG");
    return m;
}

} // namespace

// ======================================================================================
// RecoveryStore
// ======================================================================================

QString RecoveryStore::standardFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery");
}

QString RecoveryStore::damagedFolder() const {
    return m_folder + QStringLiteral("/damaged");
}

QString RecoveryStore::manifestPath(const QString& id) const {
    return m_folder + u'/' + id + QStringLiteral(".json");
}

QString RecoveryStore::lockPath(const QString& id) const {
    return m_folder + u'/' + id + QStringLiteral(".lock");
}

QString RecoveryStore::gifPath(const QString& id, int number) const {
    return m_folder + u'/' + id + u'.' + QString::number(number) + QStringLiteral(".gif");
}

QStringList RecoveryStore::filesOf(const QString& id) const {
    QStringList files;
    const QString lock = id + QStringLiteral(".lock");
    for (const QString& name : QDir(m_folder).entryList({id + QStringLiteral(".*")}, QDir::Files))
        if (name != lock) files << name;
    return files;
}

bool RecoveryStore::removeFiles(const QString& id) const {
    // The manifest first: without it nothing of the copy counts any more.
    bool any = QFile::remove(manifestPath(id));
    const QDir dir(m_folder);
    for (const QString& name : filesOf(id))
        any = QFile::remove(dir.filePath(name)) || any;
    return any;
}

void RecoveryStore::remove(const RecoveryCopy& copy) const {
    removeFiles(copy.id);
}

void RecoveryStore::setAside(const QString& id) const {
    const QDir dir(m_folder);
    QDir().mkpath(damagedFolder());
    for (const QString& name : filesOf(id)) {
        const QString target = damagedFolder() + u'/' + name;
        QFile::remove(target);
        QFile::rename(dir.filePath(name), target);
    }
}

void RecoveryStore::setAside(const RecoveryCopy& copy) const {
    setAside(copy.id);
}

RecoveryStore::Scan RecoveryStore::collect(const QDateTime& now) const {
    Scan scan;
    const QDir dir(m_folder);
    if (!dir.exists()) return scan;
    const QDateTime oldest = now.addDays(-MaxAgeDays);

    QStringList ids;
    for (const QString& name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = idPattern().match(name);
        if (m.hasMatch() && !ids.contains(m.captured(1))) ids << m.captured(1);
    }
    for (const QString& id : ids) {
        // A lock that cannot be taken belongs to an editor that runs: its copy is its own.
        std::shared_ptr<QLockFile> lock = takeLock(lockPath(id));
        if (!lock) continue;
        const QString manifest = manifestPath(id);
        if (!QFileInfo::exists(manifest)) {
            // A first copy that never got its manifest: a GIF complete on its own may
            // still be worth a look; temporary files are halves of a write.
            bool gifLeft = false;
            for (const QString& name : filesOf(id)) {
                if (gifNamePattern().match(name).hasMatch())
                    gifLeft = true;
                else
                    QFile::remove(dir.filePath(name));
            }
            if (gifLeft) {
                setAside(id);
                scan.damaged << QString();
            }
            continue;
        }
        const std::optional<Manifest> m = readManifest(manifest);
        const QString gif = m ? dir.filePath(m->gifName) : QString();
        if (!m || QFileInfo(gif).size() != m->gifBytes || !QFileInfo(gif).isFile()) {
            setAside(id);
            scan.damaged << (m ? m->info.name : QString());
            continue;
        }
        if (m->info.changed < oldest) {
            removeFiles(id);
            ++scan.expired;
            continue;
        }
        // Older numbers and temporary files are what a write left unfinished.
        for (const QString& name : filesOf(id))
            if (name != m->gifName && name != id + QStringLiteral(".json"))
                QFile::remove(dir.filePath(name));
        scan.copies.push_back({id, gif, m->info, m->thumbnail, lock, m->tableSizes});
    }
    std::sort(scan.copies.begin(), scan.copies.end(),
              [](const RecoveryCopy& a, const RecoveryCopy& b) {
                  return a.info.changed > b.info.changed;
              });

    // Damaged copies are kept for a while, then go the way of old ones.
    const QDir damaged(damagedFolder());
    for (const QFileInfo& file : damaged.entryInfoList(QDir::Files))
        if (file.lastModified().toUTC() < oldest) QFile::remove(file.filePath());
    return scan;
}

void readRecoveryCopy(const RecoveryCopy& copy, gif::GifImage& image) {
    image.load(copy.gifPath);
    // The tables as long as they were: a padded table would offer its padding as colours
    // to later edits (a transparent colour found there instead of added).
    const std::vector<int>& sizes = copy.tableSizes;
    if (sizes.size() != image.frameCount() + 1) return;
    auto trimmed = [](const gif::ColorTable& table, int size) {
        return size > 0 && size_t(size) < table.size()
                   ? gif::ColorTable(table.begin(), table.begin() + size)
                   : table;
    };
    image.setGlobalColors(trimmed(image.globalColors(), sizes[0]), image.globalSorted());
    for (size_t i = 0; i < image.frameCount(); ++i) {
        gif::Frame& f = image.frame(i);
        if (!f.localColors().empty())
            f.setLocalColors(trimmed(f.localColors(), sizes[i + 1]), f.localSorted());
    }
}

// ======================================================================================
// RecoveryWriter
// ======================================================================================

namespace {

// Where each frame's image data stands in a copy, by pixel buffer. The buffer is held
// weakly: it proves the entry is still about the same pixels (an address can be reused
// once a buffer is gone) without keeping pixels alive that the animation let go.
struct FrameData {
    std::weak_ptr<const gif::Bytes> pixels;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    int codeSize = 0;
    qint64 offset = 0;
    qint64 size = 0;
};
using FrameIndex = std::unordered_map<const gif::Bytes*, FrameData>;

// Takes each frame's image data from the previous copy's file when it is there for the
// same pixels, and notes where it stands in the new one.
class PreviousCopy : public gif::CodedFrames {
public:
    PreviousCopy(const QString& path, const FrameIndex& index) : m_file(path), m_index(index) {
        if (!m_index.empty() && !m_file.open(QIODevice::ReadOnly)) m_index.clear();
    }

    bool append(const gif::Frame& frame, int codeSize, gif::Bytes& out) override {
        const auto it = m_index.find(frame.sharedPixels().get());
        if (it == m_index.end()) return false;
        const FrameData& d = it->second;
        if (d.pixels.lock() != frame.sharedPixels() || d.width != frame.width() ||
            d.height != frame.height() || d.interlaced != frame.interlaced ||
            d.codeSize != codeSize || d.size < 2)
            return false;
        const size_t start = out.size();
        out.resize(start + size_t(d.size));
        // The data must read back whole and look like image data (the code size byte
        // first, the terminator last); anything else is coded afresh.
        if (!m_file.seek(d.offset) ||
            m_file.read(reinterpret_cast<char*>(out.data() + start), d.size) != d.size ||
            out[start] != uint8_t(codeSize) || out.back() != 0) {
            out.resize(start);
            return false;
        }
        return true;
    }

    void written(const gif::Frame& frame, int codeSize, size_t offset, size_t size) override {
        m_next[frame.sharedPixels().get()] = {frame.sharedPixels(), frame.width(), frame.height(),
                                              frame.interlaced,     codeSize,      qint64(offset),
                                              qint64(size)};
    }

    FrameIndex takeNext() { return std::move(m_next); }

private:
    QFile m_file;
    FrameIndex m_index;
    FrameIndex m_next;
};

struct Snapshot {
    gif::GifImage image;
    RecoveryInfo info;
    QImage poster; // frame 0's own picture, for the thumbnail
};

} // namespace

// What the writing thread keeps from one copy to the next. Only the running job touches
// it, and jobs never overlap; the window's thread changes it only while none runs.
struct RecoveryWriter::Shared {
    QString previousGif;
    FrameIndex index;
    std::atomic<qint64> cpuUs{0};
};

RecoveryWriter::RecoveryWriter(AnimationModel& animation, const DocumentFiles& files,
                               QObject* parent)
    : QObject(parent), m_animation(animation), m_files(files), m_shared(std::make_shared<Shared>()),
      m_pool(std::make_unique<QThreadPool>()) {
    // One thread, below the window's priority: the copy waits for the user, not the
    // other way round.
    m_pool->setMaxThreadCount(1);
    m_pool->setThreadPriority(QThread::LowestPriority);
    m_pool->setExpiryTimeout(-1);
    m_clock.start();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &RecoveryWriter::timeUp);

    const QUndoStack* stack = &m_animation.undoStack();
    connect(stack, &QUndoStack::indexChanged, this, &RecoveryWriter::changed);
    connect(&m_animation, &AnimationModel::modifiedChanged, this, &RecoveryWriter::changed);
    connect(&m_animation, &AnimationModel::nameChanged, this, &RecoveryWriter::changed);
    connect(&m_animation, &AnimationModel::reset, this, &RecoveryWriter::changed);
}

RecoveryWriter::~RecoveryWriter() {
    // A copy being written is cut short; the previous one stands, as after a crash. A
    // removal that waited for the writing happens now.
    waitForWriting();
    if (m_removeWhenDone) removeCopy();
}

int RecoveryWriter::environmentSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("VORLANE_AUTOSAVE_SECONDS", &ok);
    return ok && seconds >= 0 ? std::min(seconds, MaxSeconds) : -1;
}

int RecoveryWriter::intervalMs() const {
    const int fromEnvironment = environmentSeconds();
    return (fromEnvironment >= 0 ? fromEnvironment : m_seconds) * 1000;
}

bool RecoveryWriter::enabled() const {
    return !m_folder.isEmpty() && intervalMs() > 0;
}

void RecoveryWriter::setFolder(const QString& folder) {
    if (folder == m_folder) return;
    drop();
    waitForWriting();
    if (m_removeWhenDone) removeCopy();
    m_lock.reset();
    m_id.clear();
    m_folder = folder;
    resume();
}

void RecoveryWriter::setIntervalSeconds(int seconds) {
    const bool wasEnabled = enabled();
    m_seconds = std::clamp(seconds, 0, MaxSeconds);
    m_timer.stop();
    if (!wasEnabled)
        resume();
    else if (!enabled())
        drop();
    else
        schedule(); // the copy that is due keeps its time under the new interval
}

void RecoveryWriter::resume() {
    // Copies start again: whatever is unsaved now is due, as after a change.
    if (!enabled() || !m_animation.isModified() || m_animation.frameCount() == 0) {
        drop();
        return;
    }
    if (!m_changed.isValid()) m_changed = QDateTime::currentDateTimeUtc();
    m_dirty = true;
    schedule();
}

QString RecoveryWriter::manifestPath() const {
    if (m_id.isEmpty()) return {};
    const QString path = RecoveryStore(m_folder).manifestPath(m_id);
    return QFileInfo::exists(path) ? path : QString();
}

qint64 RecoveryWriter::writingCpuUs() const {
    return m_shared->cpuUs.load();
}

void RecoveryWriter::changed() {
    // Nothing unsaved (or nothing to recover): no copy.
    if (!enabled() || !m_animation.isModified() || m_animation.frameCount() == 0) {
        drop();
        return;
    }
    m_changed = QDateTime::currentDateTimeUtc();
    m_dirty = true;
    schedule();
}

void RecoveryWriter::schedule() {
    if (!m_dirty || !enabled() || m_writing || m_timer.isActive()) return;
    qint64 wait = std::min(FirstDelayMs, intervalMs());
    if (m_startedMs >= 0) wait = std::max(wait, m_startedMs + intervalMs() - m_clock.elapsed());
    m_timer.start(int(std::max<qint64>(0, wait)));
}

void RecoveryWriter::timeUp() {
    if (!m_dirty || !enabled()) return;
    if (m_busy && m_busy()) {
        m_timer.start(BusyRetryMs);
        return;
    }
    start();
}

bool RecoveryWriter::ensureLock() {
    if (m_lock) return true;
    if (!QDir().mkpath(m_folder)) return false;
    const RecoveryStore store(m_folder);
    for (int attempt = 0; attempt < 3 && !m_lock; ++attempt) {
        m_id = QUuid::createUuid().toString(QUuid::Id128);
        m_lock = takeLock(store.lockPath(m_id));
    }
    if (!m_lock) m_id.clear();
    return bool(m_lock);
}

void RecoveryWriter::start() {
    if (!ensureLock()) {
        qWarning("Cannot write recovery copies into %s", qPrintable(m_folder));
        m_dirty = false;
        return;
    }
    // The snapshot: a copy of the image that shares every pixel buffer, with records of
    // its own, since the window goes on editing while it is written.
    auto snapshot = std::make_shared<Snapshot>();
    try {
        snapshot->image = m_animation.imageForSaving(m_animation.comment());
        for (size_t i = 0; i < snapshot->image.frameCount(); ++i)
            snapshot->image.frame(i) = snapshot->image.frame(i).clone();
        for (gif::ExtensionPtr& record : snapshot->image.trailingExtensions)
            record = record->clone();
    } catch (const std::exception& e) {
        // Out of memory for the records: this copy is skipped, the next change tries again.
        qWarning("The recovery copy could not be taken: %s", e.what());
        m_dirty = false;
        return;
    }
    snapshot->poster = m_animation.ownPicture(0);
    RecoveryInfo& info = snapshot->info;
    info.name = m_animation.name();
    info.path = m_files.path();
    info.hasFile = m_files.hasFile();
    info.loop = m_animation.loop();
    info.comment = m_animation.comment();
    info.savedComment = m_animation.savedComment();
    info.changed = m_changed;
    info.frames = m_animation.frameCount();
    info.screen = m_animation.screen();
    info.pid = QCoreApplication::applicationPid();
    info.host = QSysInfo::machineHostName();
    info.processStarted = processStarted();

    const RecoveryStore store(m_folder);
    const QString gifPath = store.gifPath(m_id, ++m_number);
    const QString manifestPath = store.manifestPath(m_id);
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    snapshot->image.onProgress = [cancel](gif::Stage, int, gif::ProgressMessage) {
        if (cancel->load()) throw WorkCancelled();
    };
    m_dirty = false;
    m_startedMs = m_clock.elapsed();

    m_writing = new QFutureWatcher<Result>(this);
    connect(m_writing, &QFutureWatcher<Result>::finished, this, &RecoveryWriter::done);
    std::shared_ptr<Shared> shared = m_shared;
    m_writing->setFuture(QtConcurrent::run(
        m_pool.get(), [snapshot, shared, cancel, gifPath, manifestPath]() -> Result {
            lowerThisThread();
            const qint64 cpu0 = threadCpuUs();
            Result result;
            bool gifWritten = false;
            try {
                PreviousCopy previous(shared->previousGif, shared->index);
                gif::Bytes bytes = gif::writeGif(snapshot->image, &previous);
                if (cancel->load()) throw WorkCancelled();
                gif::writeFileSafely(gifPath, bytes);
                gifWritten = true;
                const qint64 gifBytes = qint64(bytes.size());
                gif::Bytes().swap(bytes);
                const QJsonObject manifest =
                    manifestOf(snapshot->info, QFileInfo(gifPath).fileName(), gifBytes,
                               tableSizesOf(snapshot->image), thumbnailPng(snapshot->poster));
                if (cancel->load()) throw WorkCancelled();
                writeBytes(manifestPath, QJsonDocument(manifest).toJson(QJsonDocument::Compact));
                // The new copy stands; the previous GIF is no longer named by anything.
                if (!shared->previousGif.isEmpty() && shared->previousGif != gifPath)
                    QFile::remove(shared->previousGif);
                shared->previousGif = gifPath;
                shared->index = previous.takeNext();
                result.ok = true;
            } catch (const WorkCancelled&) {
                result.error = QStringLiteral("Cancelled");
            } catch (const std::exception& e) {
                result.error = QString::fromUtf8(e.what());
            }
            if (!result.ok && gifWritten) QFile::remove(gifPath);
            shared->cpuUs += threadCpuUs() - cpu0;
            return result;
        }));
}

void RecoveryWriter::done() {
    const Result result = m_writing->result();
    m_writing->deleteLater();
    m_writing = nullptr;
    if (result.ok)
        ++m_copies;
    else if (!m_cancel || !m_cancel->load())
        qWarning("The recovery copy could not be written: %s", qPrintable(result.error));
    if (m_removeWhenDone) removeCopy();
    Q_EMIT finished(result.ok);
    schedule();
}

void RecoveryWriter::drop() {
    m_dirty = false;
    m_timer.stop();
    if (m_writing) {
        // The removal waits for the writing to end, which the cancel hastens.
        if (m_cancel) m_cancel->store(true);
        m_removeWhenDone = true;
        return;
    }
    removeCopy();
}

void RecoveryWriter::discard() {
    drop();
}

void RecoveryWriter::writeNow() {
    if (!m_dirty || !enabled() || m_writing) return;
    m_timer.stop();
    start();
}

void RecoveryWriter::removeCopy() {
    m_removeWhenDone = false;
    m_shared->previousGif.clear();
    m_shared->index.clear();
    if (m_id.isEmpty() || m_folder.isEmpty()) return;
    if (RecoveryStore(m_folder).removeFiles(m_id)) Q_EMIT removed();
}

void RecoveryWriter::waitForWriting() {
    // The writing is cut short and forgotten: its result no longer matters.
    if (!m_writing) return;
    if (m_cancel) m_cancel->store(true);
    m_writing->waitForFinished();
    delete m_writing;
    m_writing = nullptr;
}

void RecoveryWriter::adopt(RecoveryCopy copy) {
    waitForWriting();
    if (m_removeWhenDone || !m_id.isEmpty()) removeCopy();
    m_timer.stop();
    m_id = copy.id;
    m_lock = std::move(copy.lock);
    const QRegularExpressionMatch number =
        gifNamePattern().match(QFileInfo(copy.gifPath).fileName());
    m_number = number.hasMatch() ? number.captured(1).toInt() : 0;
    m_shared->previousGif = copy.gifPath;
    m_shared->index.clear();
    m_changed = copy.info.changed;
    m_dirty = false;
    m_startedMs = m_clock.elapsed();
}

} // namespace vorlane
