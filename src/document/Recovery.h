// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Recovery copies: while an animation has unsaved changes, a copy of it is kept in the
// user's data folder, so that the work outlives a crash, a killed session or a power cut,
// and the next start offers it back.
//
// A copy is three kinds of file in the recovery folder, named by the copy's id:
//   <id>.<n>.gif   the animation as the model holds it, written by the codec's writer
//                  (frames as they are, no optimizing), with the loop record and the
//                  comment as Save would write them;
//   <id>.json      what the GIF does not say (name, path, loop choice, comment and
//                  whether it was edited, time of the last change, frame count, the
//                  writing process, a thumbnail) and which <id>.<n>.gif is current;
//   <id>.lock      held by the editor that writes the copy, for as long as it runs.
// Every file is written through writeFileSafely (temporary file, flushed, renamed), a new
// GIF under a new number, and the manifest last: the manifest's rename is the moment a
// new copy replaces the previous one, so an editor that dies at any point leaves the
// previous copy whole. The previous GIF goes only after that.
//
// Whether a copy's editor still runs is its lock's business (QLockFile: process id,
// program and host in the file, and a lock the system drops when the process ends, even
// killed): a copy whose lock can be taken was left behind; taking the lock claims it, so
// that two editors starting together never offer the same copy.

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "codec/GifImage.h"
#include "document/AnimationModel.h"

class QLockFile;
class QThreadPool;
template <typename T> class QFutureWatcher;

namespace vorlane {

class DocumentFiles;

// What a copy records beside its frames.
struct RecoveryInfo {
    QString name;         // the animation's name ("walk.gif", "Untitled.gif")
    QString path;         // its file, empty when it has none
    bool hasFile = false; // Save writes to `path` without asking
    LoopSetting loop;     // with the count the field shows while "infinite"
    QString comment;      // as it stood
    QString savedComment; // as last saved or read; differs when the comment was edited
    QDateTime changed;    // the last change (UTC)
    int frames = 0;
    QSize screen;
    // The editor that wrote it: process id, host and when it started (for the record;
    // the lock decides whether it still runs).
    qint64 pid = 0;
    QString host;
    QDateTime processStarted;
};

// A copy left behind by an editor that is gone, claimed by this process (its lock is
// held) until it is recovered, discarded or let go with the last reference to `lock`.
struct RecoveryCopy {
    QString id;
    QString gifPath;
    RecoveryInfo info;
    QImage thumbnail;
    std::shared_ptr<QLockFile> lock;
    // The lengths of the colour tables (the global one, then each frame's, 0 for none),
    // which the GIF pads to powers of two.
    std::vector<int> tableSizes;
};

// Reads the copy's animation into `image` as it was written: the frames as they were
// edited (never unoptimized), each colour table at its own length. Throws GifError.
void readRecoveryCopy(const RecoveryCopy& copy, gif::GifImage& image);

// The recovery folder: finding the copies left behind, removing them, setting damaged
// ones aside.
class RecoveryStore {
public:
    // Copies whose last change is older than this are removed at start-up.
    static constexpr int MaxAgeDays = 30;

    // The per-user data folder of the program + "/recovery".
    static QString standardFolder();

    explicit RecoveryStore(QString folder) : m_folder(std::move(folder)) {}
    QString folder() const { return m_folder; }
    // Where damaged copies are kept: "damaged" inside the folder.
    QString damagedFolder() const;

    struct Scan {
        std::vector<RecoveryCopy> copies; // the latest change first
        // One entry per damaged copy moved aside: its name when its manifest tells it,
        // else empty.
        QStringList damaged;
        int expired = 0; // copies removed for their age
    };
    // Claims every copy whose editor is gone. Copies older than MaxAgeDays (by `now`)
    // are removed, damaged ones (a manifest that cannot be read, a GIF missing or of
    // another size than written) are moved to damagedFolder(); leftovers of writes that
    // never finished are removed. Copies of running editors are not touched.
    Scan collect(const QDateTime& now = QDateTime::currentDateTimeUtc()) const;
    // Removes the copy's files; its lock goes with the copy.
    void remove(const RecoveryCopy& copy) const;
    // Moves the copy's files into damagedFolder() (kept, for whoever wants to look).
    void setAside(const RecoveryCopy& copy) const;

    // ---- for the writer ----
    QString manifestPath(const QString& id) const;
    QString lockPath(const QString& id) const;
    QString gifPath(const QString& id, int number) const;
    // Removes every file of the copy but its lock; whether there was any.
    bool removeFiles(const QString& id) const;

private:
    QStringList filesOf(const QString& id) const;
    void setAside(const QString& id) const;

    QString m_folder;
};

// Writes this editor's copy of the animation in the background while it has unsaved
// changes: shortly after the first change, then at most once per interval while changes
// keep coming, never while the user waits on something (the busy check: long work, a
// modal dialog). The snapshot is taken on the window's thread (frames share their
// pixels, so it copies records only); coding and writing run on a low-priority thread of
// their own, and frames whose pixels were written to the previous copy are taken from it
// instead of being coded again. The copy goes when the animation has no unsaved changes
// any more (Save, New, Open, undo back to the saved state) and when discard() is called
// (the window closes). Destroying the writer otherwise leaves the copy, as a crash would.
class RecoveryWriter : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultSeconds = 60;
    static constexpr int MaxSeconds = 3600;
    // The pause after the first change before the copy is written.
    static constexpr int FirstDelayMs = 1000;
    // How often a copy that is due looks again whether the user still waits.
    static constexpr int BusyRetryMs = 1000;

    RecoveryWriter(AnimationModel& animation, const DocumentFiles& files,
                   QObject* parent = nullptr);
    ~RecoveryWriter() override;

    // The recovery folder; empty (the default) writes no copies.
    void setFolder(const QString& folder);
    QString folder() const { return m_folder; }
    // Seconds between copies as the options say (0: no copies).
    void setIntervalSeconds(int seconds);
    // The interval in use: VORLANE_AUTOSAVE_SECONDS when it holds a number of seconds
    // (0 turns copies off), else the options' value. Milliseconds.
    int intervalMs() const;
    // The interval from the environment, or -1 without one.
    static int environmentSeconds();
    // While it answers true, no copy is started.
    void setBusyCheck(std::function<bool()> busy) { m_busy = std::move(busy); }

    // The animation was recovered from `copy`: it is this editor's copy from now on (kept
    // as it is until the next change).
    void adopt(RecoveryCopy copy);
    // Removes the copy: the animation is closed, its unsaved changes given up or saved.
    void discard();
    // Starts writing the copy at once when one is due (changes not in the copy yet) and
    // none is being written, without waiting for its time: before the session ends, and
    // for tests.
    void writeNow();

    // The manifest of the current copy, empty while there is none.
    QString manifestPath() const;
    // Microseconds of processor time the writing thread spent so far.
    qint64 writingCpuUs() const;
    int copiesWritten() const { return m_copies; }

Q_SIGNALS:
    // A copy was written (`ok`) or its writing failed or was cancelled (the previous one
    // stands).
    void finished(bool ok);
    // The copy's files were removed.
    void removed();

private:
    struct Shared;
    struct Result {
        bool ok = false;
        QString error;
    };

    bool enabled() const;
    void changed();
    void resume();
    void schedule();
    void timeUp();
    void start();
    void done();
    void drop();
    void removeCopy();
    bool ensureLock();
    void waitForWriting();

    AnimationModel& m_animation;
    const DocumentFiles& m_files;
    std::function<bool()> m_busy;
    QString m_folder;
    int m_seconds = DefaultSeconds;

    QString m_id;
    std::shared_ptr<QLockFile> m_lock;
    int m_number = 0; // of the last GIF written
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QThreadPool> m_pool;
    QFutureWatcher<Result>* m_writing = nullptr; // the copy being written
    std::shared_ptr<std::atomic<bool>> m_cancel;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_startedMs = -1; // when the last copy was started
    QDateTime m_changed;     // the last change
    bool m_dirty = false;    // changes since the last snapshot
    bool m_removeWhenDone = false;
    int m_copies = 0;
};

} // namespace vorlane
