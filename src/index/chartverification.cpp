// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/chartverification.h"

#include "index/indexjob.h"
#include "platform/backgroundjob.h"
#include "platform/sha256.h"

#include <QEventLoop>
#include <QFile>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace chartverification {

namespace {

/// Bytes read at a time; between pieces a stop is noticed.
constexpr qint64 PieceBytes = 1 << 20;
/// How often a job waiting for work or for room looks whether it was stopped.
constexpr auto StopPoll = std::chrono::milliseconds(20);

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

/// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

} // namespace

QString stateName(ChartState state) {
    switch (state) {
    case ChartState::Matches:
        return QStringLiteral("ok");
    case ChartState::Missing:
        return QStringLiteral("missing");
    case ChartState::Unreadable:
        return QStringLiteral("unreadable");
    case ChartState::Changed:
        return QStringLiteral("changed");
    case ChartState::NotHashed:
        break;
    }
    return QStringLiteral("not hashed");
}

ChartState checkChart(const QString& path, const QByteArray& storedHash, QString* detail,
                      const std::function<bool()>& stopRequested) {
    auto unreadable = [detail](const QString& why) {
        if (detail) {
            *detail = why;
        }
        return ChartState::Unreadable;
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat seen {};
    if (path.isEmpty() || ::lstat(name.constData(), &seen) != 0) {
        return ChartState::Missing;
    }
    if (S_ISDIR(seen.st_mode)) {
        return ChartState::Missing;
    }
    if (S_ISLNK(seen.st_mode)) {
        if (detail) {
            *detail = QStringLiteral("a link stands in the chart's place");
        }
        return ChartState::Changed;
    }
    if (!S_ISREG(seen.st_mode)) {
        return unreadable(QStringLiteral("not a regular file"));
    }
    // Without blocking and without following a link: what was looked at above may have been
    // replaced by a pipe or a link since.
    Descriptor file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC)};
    if (file.fd < 0) {
        return errno == ELOOP ? ChartState::Changed : unreadable(systemError(errno));
    }
    struct stat opened {};
    if (::fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return unreadable(QStringLiteral("not a regular file"));
    }
    Sha256 hash;
    std::vector<char> piece(PieceBytes);
    for (;;) {
        if (stopRequested && stopRequested()) {
            return unreadable(QStringLiteral("stopped"));
        }
        const ssize_t got = ::read(file.fd, piece.data(), piece.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unreadable(systemError(errno));
        }
        if (got == 0) {
            break;
        }
        hash.add(piece.data(), std::size_t(got));
    }
    if (storedHash.isEmpty()) {
        return ChartState::NotHashed;
    }
    return hash.hexDigest() == storedHash ? ChartState::Matches : ChartState::Changed;
}

/// The charts waiting to be read, between the job that reads the rows and the jobs that read
/// the files. Bounded, so that a million rows never wait in memory at once.
struct Verification::Queue {
    struct Item {
        int pidno = 0;
        QString filePath;
        QByteArray storedHash;
    };
    explicit Queue(size_t capacity) : capacity(capacity) {}

    /// False when the job was stopped while it waited for room.
    bool push(Item item, JobContext& job) {
        std::unique_lock lock(mutex);
        while (items.size() >= capacity) {
            if (job.stopRequested()) {
                return false;
            }
            changed.wait_for(lock, StopPoll);
        }
        items.push_back(std::move(item));
        changed.notify_all();
        return true;
    }
    /// The next chart, or none when every chart was handed out or the job was stopped.
    std::optional<Item> pop(JobContext& job) {
        std::unique_lock lock(mutex);
        while (items.empty()) {
            if (closed || job.stopRequested()) {
                return std::nullopt;
            }
            changed.wait_for(lock, StopPoll);
        }
        Item item = std::move(items.front());
        items.pop_front();
        changed.notify_all();
        return item;
    }
    void close() {
        std::lock_guard lock(mutex);
        closed = true;
        changed.notify_all();
    }

    const size_t capacity;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Item> items;
    bool closed = false;
};

Verification::Verification(QString programFolder, std::optional<std::pair<int, int>> range,
                           int threads, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder)), m_range(range),
      m_threads(std::max(1, threads)) {}

Verification::~Verification() {
    stop();
}

void Verification::start() {
    // A few charts per reading job in waiting keeps every one of them busy.
    m_queue = std::make_shared<Queue>(size_t(m_threads) * 4);
    m_summary = {};
    m_error.clear();
    m_jobs.clear();
    auto queue = m_queue;
    // The closures the jobs send run on this object's thread, and only while their job, a
    // child of this object, is alive: they may use it. The jobs themselves never do.
    Verification* self = this;
    m_jobs.push_back(BackgroundJob::start(
        this, [queue, self, folder = m_programFolder, range = m_range](JobContext& job) {
            QString error;
            chartindex::withReadingIndex(
                job, folder,
                [&](ChartIndex& index) {
                    IndexCursor cursor =
                        range ? index.patientRange(range->first, range->second) : index.allRows();
                    while (const auto row = cursor.next()) {
                        const std::optional<QByteArray> stored = index.storedHash(row->filePath);
                        if (!stored) {
                            error = index.lastError();
                            return;
                        }
                        if (!queue->push({row->pidno, row->filePath, *stored}, job)) {
                            return;
                        }
                    }
                    if (cursor.failed()) {
                        error = cursor.error();
                    }
                },
                &error);
            queue->close();
            if (!error.isEmpty()) {
                job.send([self, error] { self->m_error = error; });
            }
        }));
    for (int n = 0; n < m_threads; ++n) {
        m_jobs.push_back(BackgroundJob::start(this, [queue, self](JobContext& job) {
            while (auto item = queue->pop(job)) {
                Finding finding{item->pidno, item->filePath, ChartState::Matches, {}};
                finding.state = checkChart(item->filePath, item->storedHash, &finding.detail,
                                           [&job] { return job.stopRequested(); });
                const qint64 size = QFile(item->filePath).size();
                job.send([self, finding, size] {
                    ++self->m_summary.charts;
                    if (finding.state != ChartState::Missing) {
                        self->m_summary.bytes += size;
                    }
                    if (finding.state != ChartState::Matches) {
                        ++self->m_summary.problems;
                        emit self->found(finding);
                    }
                    emit self->progressed(self->m_summary.charts);
                });
            }
            // What the crypto library keeps for this thread goes before the thread does.
            Sha256::releaseThreadState();
        }));
    }
    m_running = int(m_jobs.size());
    for (BackgroundJob* job : m_jobs) {
        connect(job, &BackgroundJob::finished, this, &Verification::jobEnded);
    }
}

void Verification::stop() {
    for (BackgroundJob* job : m_jobs) {
        job->stop();
    }
}

void Verification::jobEnded() {
    if (--m_running == 0) {
        emit finished(m_summary, m_error);
    }
}

std::optional<Summary> verifyCharts(const QString& programFolder,
                                    std::optional<std::pair<int, int>> range, int threads,
                                    const std::function<void(const Finding&)>& report,
                                    const std::function<void(qint64 done)>& progress,
                                    QString* error) {
    Verification verification(programFolder, range, threads);
    QEventLoop loop;
    std::optional<Summary> result;
    QObject::connect(&verification, &Verification::found, &verification,
                     [&](const Finding& finding) { report(finding); });
    QObject::connect(&verification, &Verification::progressed, &verification, [&](qint64 done) {
        if (progress) {
            progress(done);
        }
    });
    QObject::connect(&verification, &Verification::finished, &verification,
                     [&](const Summary& summary, const QString& why) {
                         if (why.isEmpty()) {
                             result = summary;
                         } else if (error) {
                             *error = why;
                         }
                         loop.quit();
                     });
    verification.start();
    loop.exec();
    return result;
}

} // namespace chartverification
