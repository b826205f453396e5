// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The one way slow work runs in this program: a job on a worker thread of its own, whose
/// progress and results reach the thread of its owner (a window, or a command's event loop) in
/// the order the job sent them, and which its owner can stop at any moment.
///
/// A job never touches its owner's objects: it captures values, and hands what it found to
/// closures it sends, which run on the owner's thread. Once stopped, nothing it sends is run,
/// so a window can forget a job the moment it stops it; a job that is blocked in a call it
/// cannot leave by itself (a database statement, a lock wait) is ended by the interrupter it
/// set for that call.

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

class JobContext {
public:
    /// Whether the owner asked the job to stop; the job returns as soon as it sees it.
    bool stopRequested() const;
    /// Runs \p onOwnerThread on the owner's thread after everything sent before it, unless the
    /// job is stopped by then or its owner is gone.
    void send(std::function<void()> onOwnerThread);
    /// \p interrupt (called on the owner's thread, or none) ends the call the job is blocked in
    /// when it is stopped. Set it before such a call and clear it with {} after.
    void setInterrupter(std::function<void()> interrupt);

private:
    friend class BackgroundJob;
    struct State;
    explicit JobContext(std::shared_ptr<State> state) : m_state(std::move(state)) {}
    std::shared_ptr<State> m_state;
};

class BackgroundJob : public QObject {
    Q_OBJECT
public:
    using Work = std::function<void(JobContext&)>;

    /// Starts \p work on a thread of its own. The job is a child of \p owner and goes with it.
    static BackgroundJob* start(QObject* owner, Work work);
    /// Stops the job and gives it a moment to end; a job still blocked after that ends on its
    /// own later, its results unseen.
    ~BackgroundJob() override;

    /// Asks the job to stop and interrupts the call it is blocked in. Returns at once: nothing
    /// the job sends is run after this, and finished() is not emitted.
    void stop();
    bool isStopped() const;
    /// Whether the job's work has not returned yet (a stopped job may still be winding down).
    bool isRunning() const;
    /// Waits up to \p timeout for the work to return; true when it did. For tests and for a
    /// program's end.
    bool wait(std::chrono::milliseconds timeout);

signals:
    /// The work returned; everything it sent has run. Not emitted for a stopped job.
    void finished();

private:
    explicit BackgroundJob(QObject* owner);
    std::shared_ptr<JobContext::State> m_state;
};
