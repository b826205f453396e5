// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/registrationwalk.h"

#include "index/maintenance/existencecheck.h"
#include "platform/programfiles.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace maintenance {

namespace {

/// Storage chunks of the registered paths.
constexpr size_t ChunkBytes = 1 << 20;

QString withTrailingSeparator(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

} // namespace

bool isInsideFolder(const QString& path, const QString& folder) {
    if (path.isEmpty() || folder.isEmpty()) {
        return false;
    }
    const QString cleanPath = QDir::cleanPath(path);
    const QString cleanFolder = QDir::cleanPath(folder);
    return cleanPath == cleanFolder || cleanPath.startsWith(withTrailingSeparator(cleanFolder));
}

RegisteredPaths::RegisteredPaths(const QString& folder) : m_prefix(withTrailingSeparator(folder)) {}

void RegisteredPaths::reserve(qint64 rows) {
    m_set.reserve(size_t(std::max<qint64>(rows, 0)));
}

std::optional<std::string> RegisteredPaths::key(const QString& path) const {
    if (!path.startsWith(m_prefix)) {
        return std::nullopt;
    }
    return QStringView(path).mid(m_prefix.size()).toUtf8().toStdString();
}

void RegisteredPaths::add(const QString& path) {
    auto bytes = key(path);
    if (!bytes || m_set.contains(*bytes)) {
        return;
    }
    if (m_chunks.empty() || m_chunks.back().capacity() - m_chunks.back().size() < bytes->size()) {
        m_chunks.emplace_back();
        m_chunks.back().reserve(std::max(ChunkBytes, bytes->size()));
    }
    std::string& chunk = m_chunks.back();
    const size_t start = chunk.size();
    chunk.append(*bytes); // within the reserved capacity: earlier views stay valid
    m_set.insert(std::string_view(chunk.data() + start, bytes->size()));
}

bool RegisteredPaths::contains(const QString& path) const {
    auto bytes = key(path);
    return bytes && m_set.contains(*bytes);
}

struct RegistrationWalk::Level {
    DIR* dir = nullptr;
    QString path; // the folder's path, as the walk's file paths begin
    ~Level() {
        if (dir) {
            ::closedir(dir);
        }
    }
};

RegistrationWalk::RegistrationWalk(ChartIndex& index, QString folder)
    : m_index(index), m_folder(std::move(folder)), m_registered(m_folder) {}

RegistrationWalk::~RegistrationWalk() = default;

RegistrationWalk::State RegistrationWalk::step(std::chrono::milliseconds budget,
                                               std::vector<Unregistered>* found) {
    const auto deadline = std::chrono::steady_clock::now() + budget;
    if (m_state == State::Reading) {
        readSome(deadline);
    }
    if (m_state == State::Walking) {
        walkSome(deadline, found);
    }
    return m_state;
}

void RegistrationWalk::readSome(std::chrono::steady_clock::time_point) {
    // The registered paths below the folder, a range of the path index: a patient folder of a
    // million-row index is read at once. A stop ends the reading between rows.
    constexpr int RowsBetweenStopChecks = 1024;
    bool stopped = false;
    const bool read = m_index.forEachPathBelow(m_folder, [&](const QString& path) {
        m_registered.add(path);
        if (++m_rowsRead % RowsBetweenStopChecks == 0 && m_stopRequested && m_stopRequested()) {
            stopped = true;
            return false;
        }
        return true;
    });
    if (!read) {
        m_error = m_index.lastError();
        m_state = State::IndexFailed;
        return;
    }
    if (stopped) {
        return; // the owner asked to stop: the walk is not started
    }
    if (!enter(m_folder)) {
        m_state = State::FolderFailed;
        return;
    }
    m_state = State::Walking;
}

bool RegistrationWalk::enter(const QString& folder) {
    auto level = std::make_unique<Level>();
    level->path = folder;
    level->dir = ::opendir(QFile::encodeName(folder).constData());
    if (!level->dir) {
        m_error =
            QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_levels.push_back(std::move(level));
    return true;
}

void RegistrationWalk::walkSome(std::chrono::steady_clock::time_point deadline,
                                std::vector<Unregistered>* found) {
    constexpr int EntriesBetweenClockReads = 32;
    int sinceClock = 0;
    while (!m_levels.empty()) {
        if (++sinceClock == EntriesBetweenClockReads) {
            sinceClock = 0;
            if (std::chrono::steady_clock::now() >= deadline) {
                return;
            }
        }
        Level& level = *m_levels.back();
        errno = 0;
        const dirent* entry = ::readdir(level.dir);
        if (!entry) {
            if (errno != 0) {
                m_error = QStringLiteral("%1: %2").arg(
                    level.path, QString::fromLocal8Bit(std::strerror(errno)));
                m_levels.clear();
                m_state = State::FolderFailed;
                return;
            }
            m_levels.pop_back();
            continue;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        // The program's own files (a folder's lock, a chart being written, a spool) are no
        // charts, nor is anything below a folder of its own.
        if (programfiles::isProgramFileName(QFile::decodeName(name))) {
            continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            // Some file systems leave the type to a stat of the entry itself.
            struct stat info {};
            if (::fstatat(dirfd(level.dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue; // gone since it was listed
            }
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        // Links, devices, sockets and pipes are the system's entries, not charts: skipped.
        if (type != DT_DIR && type != DT_REG) {
            continue;
        }
        const QByteArray rawName(name);
        const QString decoded = QFile::decodeName(rawName);
        const QString path = withTrailingSeparator(level.path) + decoded;
        if (type == DT_DIR) {
            if (!enter(path)) {
                m_levels.clear();
                m_state = State::FolderFailed;
                return;
            }
            continue;
        }
        ++m_filesExamined;
        m_currentFile = path;
        if (!m_registered.contains(path)) {
            found->push_back({path, QFile::encodeName(decoded) == rawName});
        }
    }
    m_state = State::Done;
}

} // namespace maintenance
