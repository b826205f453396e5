// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart registration walk without a window: every file under a folder of the archive
/// whose full path no row of the chart index holds, the program's own files left out. The
/// registered paths below the folder are read once, through the path index, before the walk,
/// and the files are looked up against them in memory, so the walk costs no round trip to the
/// index per file. Like the existence check it works in slices.

#include <QString>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "index/chartindex.h"

namespace maintenance {

/// Whether \p path is \p folder or lies below it, as paths: "/arch2/x" is not inside "/arch".
/// Both are compared as given (case-sensitive) after "." and ".." are resolved and runs of
/// "/" are collapsed. An empty \p folder holds nothing.
bool isInsideFolder(const QString& path, const QString& folder);

/// The registered paths below one folder, kept compactly: a million rows fit in a few tens of
/// megabytes.
class RegisteredPaths {
public:
    /// Keeps the paths below \p folder (given as the walk will build its paths).
    explicit RegisteredPaths(const QString& folder);
    /// Makes room for \p rows paths at once, so the set grows without rehashing.
    void reserve(qint64 rows);
    void add(const QString& path);
    bool contains(const QString& path) const;
    qint64 size() const { return qint64(m_set.size()); }

private:
    /// The part of \p path after the folder's prefix, or nothing when it lies elsewhere.
    std::optional<std::string> key(const QString& path) const;

    QString m_prefix;                 // the folder with a trailing "/"
    std::deque<std::string> m_chunks; // storage the set's views point into; never moved
    std::unordered_set<std::string_view> m_set;
};

class RegistrationWalk {
public:
    enum class State : quint8 {
        Reading,     ///< the registered paths are being read
        Walking,     ///< files are being examined
        Done,        ///< the whole tree was examined
        IndexFailed, ///< the registered paths could not be read; error() says why
        FolderFailed ///< a folder could not be listed; error() names it
    };

    /// A file without a row.
    struct Unregistered {
        QString path;
        /// False when the file's name is not valid in the file system's encoding: the path
        /// text cannot reach the file again, so it must not be registered.
        bool reachable = true;
    };

    /// Walks \p folder (an existing folder, as the walk's paths are to begin) against the
    /// rows of \p index.
    RegistrationWalk(ChartIndex& index, QString folder);
    ~RegistrationWalk();
    RegistrationWalk(const RegistrationWalk&) = delete;
    RegistrationWalk& operator=(const RegistrationWalk&) = delete;

    /// \p stopRequested is looked at while the registered paths are read, which the first
    /// step does in one go.
    void setStopPredicate(std::function<bool()> stopRequested) {
        m_stopRequested = std::move(stopRequested);
    }

    /// Works until the walk ends or \p budget has passed, appending each file without a row,
    /// in walk order, to \p found.
    State step(std::chrono::milliseconds budget, std::vector<Unregistered>* found);

    State state() const { return m_state; }
    const QString& error() const { return m_error; }
    /// The file examined last.
    const QString& currentFile() const { return m_currentFile; }
    qint64 filesExamined() const { return m_filesExamined; }
    qint64 registeredRows() const { return m_registered.size(); }

private:
    struct Level;
    bool enter(const QString& folder);
    void readSome(std::chrono::steady_clock::time_point deadline);
    void walkSome(std::chrono::steady_clock::time_point deadline, std::vector<Unregistered>* found);

    ChartIndex& m_index;
    QString m_folder;
    std::function<bool()> m_stopRequested;
    RegisteredPaths m_registered;
    std::vector<std::unique_ptr<Level>> m_levels; // the open folders, outermost first
    State m_state = State::Reading;
    QString m_error;
    QString m_currentFile;
    qint64 m_filesExamined = 0;
    qint64 m_rowsRead = 0;
};

} // namespace maintenance
