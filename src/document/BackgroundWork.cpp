// SPDX-License-Identifier: GPL-3.0-or-later
#include "document/BackgroundWork.h"

#include <algorithm>

#include <QEventLoop>
#include <QFutureWatcher>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace vorlane {

namespace {
// How often the window's thread passes the worker's progress on.
constexpr int PollMs = 40;
} // namespace

// ---- WorkProgress ----------------------------------------------------------------------

void WorkProgress::report(gif::Stage stage, int percent, gif::ProgressMessage message) {
    check();
    if (!m_window) {
        if (m_direct) m_direct(stage, percent, message);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_state.stage = stage;
    m_state.percent = std::clamp(percent, 0, 100);
    m_state.message = message;
    ++m_state.serial;
}

void WorkProgress::report(int percent) {
    State now = take();
    report(gif::Stage::Running, percent, now.message);
}

void WorkProgress::onWindow(const std::function<void()>& fn) {
    if (!m_window) {
        check();
        fn();
        return;
    }
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        m_window,
        [&] {
            try {
                fn();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error) std::rethrow_exception(error);
}

WorkProgress::State WorkProgress::take() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

// ---- BackgroundWork --------------------------------------------------------------------

BackgroundWork::BackgroundWork(bool threaded, QObject* parent)
    : QObject(parent), m_threaded(threaded) {}

BackgroundWork::~BackgroundWork() {
    // run() is on the stack while work runs, and it owns the job; nothing runs here.
    if (m_running) m_running->m_cancelled = true;
}

void BackgroundWork::run(BackgroundWork* work, const Job& job, const WorkProgress::Sink& sink) {
    if (work) {
        work->run(job, sink);
        return;
    }
    WorkProgress progress(sink);
    job(progress);
}

void BackgroundWork::deliver(const WorkProgress::Sink& sink) {
    if (!m_running || !sink) return;
    const WorkProgress::State state = m_running->take();
    if (state.serial == m_delivered) return;
    m_delivered = state.serial;
    sink(state.stage, state.percent, state.message);
}

void BackgroundWork::run(const Job& job, const WorkProgress::Sink& sink) {
    if (!m_threaded || m_running) {
        WorkProgress progress(sink);
        job(progress);
        return;
    }
    WorkProgress progress;
    progress.m_window = this;
    m_running = &progress;
    m_delivered = 0;
    Q_EMIT busyChanged(true);

    std::exception_ptr error;
    QEventLoop loop;
    QFutureWatcher<void> watcher;
    connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    QTimer poll;
    poll.setInterval(PollMs);
    connect(&poll, &QTimer::timeout, this, [this, &sink] { deliver(sink); });
    watcher.setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [&job, &progress, &error] {
        try {
            job(progress);
        } catch (...) {
            error = std::current_exception();
        }
    }));
    poll.start();
    if (!watcher.isFinished()) loop.exec();
    watcher.waitForFinished();
    poll.stop();
    deliver(sink);
    const bool cancelled = progress.cancelled();
    m_running = nullptr;
    Q_EMIT busyChanged(false);

    if (cancelled) throw WorkCancelled();
    if (error) std::rethrow_exception(error);
}

void BackgroundWork::cancel() {
    if (m_running) m_running->m_cancelled = true;
}

} // namespace vorlane
