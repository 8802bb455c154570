// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Long work off the window's thread. run() hands a job to a worker and returns when it
// ended, processing the window's events meanwhile: the window repaints, playback goes
// on, the strip scrolls, and Cancel (or Esc) reaches the job. The caller's flow stays as
// it was, so questions and messages keep their order: whatever the job made is applied
// by the caller after run() returned, on the window's thread, as one step.
//
// A job works on what it was given (frames share their immutable pixel buffers, so a
// snapshot copies no pixels) and never touches the animation. Cancelling ends it at its
// next progress report or check; run() then throws WorkCancelled and nothing is applied,
// so everything is as it was. An exception from the job is thrown again by run().
//
// Without threads (the tests) a job runs at once inside run(), with its progress
// delivered as it is reported, as all work on the window's thread once was.

#include <atomic>
#include <exception>
#include <functional>
#include <mutex>

#include <QObject>
#include <QString>

#include "codec/GifTypes.h"

namespace vorlane {

// Thrown by progress reports once the work was cancelled, and by run() afterwards.
class WorkCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Cancelled"; }
};

// What a running job sees: where its progress goes and whether it was cancelled.
// report() and check() may be called from any thread of the job.
class WorkProgress {
public:
    using Sink = std::function<void(gif::Stage, int, gif::ProgressMessage)>;

    // The codec's progress, as the status bar shows it; throws WorkCancelled once the
    // work was cancelled, so that the loop reporting ends there.
    void report(gif::Stage stage, int percent, gif::ProgressMessage message);
    // Progress of the running stage (0..100), keeping its message.
    void report(int percent);
    bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
    void check() const {
        if (cancelled()) throw WorkCancelled();
    }
    // The flag, for code that polls one of its own.
    const std::atomic<bool>& flag() const { return m_cancelled; }
    // Runs `fn` on the window's thread and waits for it: for what a job must do there as
    // it goes (a question, a message, frames put into the animation as they are made).
    // What `fn` throws is thrown here.
    void onWindow(const std::function<void()>& fn);

    // A progress that delivers each report at once to `sink` (work on the caller's thread).
    explicit WorkProgress(Sink direct = {}) : m_direct(std::move(direct)) {}

private:
    friend class BackgroundWork;
    struct State {
        gif::Stage stage = gif::Stage::Starting;
        int percent = 0;
        gif::ProgressMessage message = gif::ProgressMessage::Loading;
        unsigned serial = 0;
    };
    State take() const;

    Sink m_direct;
    QObject* m_window = nullptr; // lives on the window's thread; none: work runs there
    std::atomic<bool> m_cancelled{false};
    mutable std::mutex m_mutex;
    State m_state;
};

class BackgroundWork : public QObject {
    Q_OBJECT
public:
    using Job = std::function<void(WorkProgress&)>;

    // `threaded`: jobs run on a worker; otherwise at once, on the caller's thread.
    explicit BackgroundWork(bool threaded, QObject* parent = nullptr);
    ~BackgroundWork() override;

    bool threaded() const { return m_threaded; }
    bool busy() const { return m_running != nullptr; }

    // Runs `job` and returns when it ended; its progress goes to `sink` on this thread.
    // Throws WorkCancelled when it was cancelled, and rethrows what the job threw. Work
    // that starts while other work runs (a command reached through the events processed
    // meanwhile) runs inline.
    void run(const Job& job, const WorkProgress::Sink& sink);
    // run() on `work`, or at once on this thread without one.
    static void run(BackgroundWork* work, const Job& job, const WorkProgress::Sink& sink);
    // Asks the running job to stop.
    void cancel();

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    void deliver(const WorkProgress::Sink& sink);

    bool m_threaded;
    WorkProgress* m_running = nullptr;
    unsigned m_delivered = 0;
};

} // namespace vorlane
