// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/backgroundjob.h"

#include <QMetaObject>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

/// How long a job that goes with its owner may take to end before it is left to end alone.
constexpr auto EndPatience = std::chrono::milliseconds(2000);

} // namespace

struct JobContext::State {
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    BackgroundJob* receiver = nullptr; // guarded by mutex: null once the job object is gone
    std::function<void()> interrupter; // guarded by mutex
    bool done = false;                 // guarded by mutex
    std::condition_variable ended;
    std::thread thread;
};

bool JobContext::stopRequested() const {
    return m_state->stopped.load();
}

void JobContext::send(std::function<void()> onOwnerThread) {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->receiver || m_state->stopped.load()) {
        return;
    }
    // Posted while the mutex keeps the receiver alive; Qt drops what is still queued for an
    // object when it is destroyed, and the stop flag is looked at again when it runs.
    QMetaObject::invokeMethod(
        m_state->receiver,
        [state = m_state, work = std::move(onOwnerThread)] {
            if (!state->stopped.load()) {
                work();
            }
        },
        Qt::QueuedConnection);
}

void JobContext::setInterrupter(std::function<void()> interrupt) {
    std::lock_guard lock(m_state->mutex);
    m_state->interrupter = std::move(interrupt);
}

BackgroundJob::BackgroundJob(QObject* owner)
    : QObject(owner), m_state(std::make_shared<JobContext::State>()) {
    m_state->receiver = this;
}

BackgroundJob* BackgroundJob::start(QObject* owner, Work work) {
    auto* job = new BackgroundJob(owner);
    std::shared_ptr<JobContext::State> state = job->m_state;
    state->thread = std::thread([state, work = std::move(work)] {
        JobContext context(state);
        work(context);
        context.setInterrupter({});
        {
            std::lock_guard lock(state->mutex);
            if (state->receiver && !state->stopped.load()) {
                BackgroundJob* receiver = state->receiver;
                QMetaObject::invokeMethod(
                    receiver,
                    [state, receiver] {
                        if (!state->stopped.load()) {
                            emit receiver->finished();
                        }
                    },
                    Qt::QueuedConnection);
            }
            state->done = true;
        }
        state->ended.notify_all();
    });
    return job;
}

BackgroundJob::~BackgroundJob() {
    stop();
    {
        std::lock_guard lock(m_state->mutex);
        m_state->receiver = nullptr;
    }
    if (wait(EndPatience)) {
        m_state->thread.join();
    } else {
        // Still blocked where no interrupter reaches: it ends on its own and sends nothing.
        m_state->thread.detach();
    }
}

void BackgroundJob::stop() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->stopped.exchange(true)) {
        return;
    }
    if (m_state->interrupter && !m_state->done) {
        m_state->interrupter();
    }
}

bool BackgroundJob::isStopped() const {
    return m_state->stopped.load();
}

bool BackgroundJob::isRunning() const {
    std::lock_guard lock(m_state->mutex);
    return !m_state->done;
}

bool BackgroundJob::wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_state->mutex);
    return m_state->ended.wait_for(lock, timeout, [this] { return m_state->done; });
}
