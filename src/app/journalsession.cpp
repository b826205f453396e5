// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/journalsession.h"

#include "platform/filelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

JournalSession::JournalSession(QString stateFolder, std::chrono::milliseconds interval)
    : m_stateFolder(std::move(stateFolder)), m_writer(interval) {}

JournalSession::~JournalSession() {
    // Whatever is under way is finished first; the lock goes after the last write.
    m_writer.flush();
}

JournalSession::Claim JournalSession::claim(const QString& scannerFolder, QString* error) {
    const QString path = workjournal::journalPath(m_stateFolder, scannerFolder);
    if (m_lock && path == m_path) {
        m_scannerFolder = scannerFolder;
        return Claim::Claimed;
    }
    release();
    if (!QDir().mkpath(m_stateFolder)) {
        *error = QStringLiteral("%1: フォルダーを作成できません").arg(m_stateFolder);
        return Claim::Failed;
    }
    const QString lockFile = workjournal::lockPath(path);
    QFile create(lockFile);
    if (!create.open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("%1: %2").arg(lockFile, create.errorString());
        return Claim::Failed;
    }
    create.close();
    m_lock = FileLock::tryExisting(lockFile);
    if (!m_lock) {
        return Claim::InUse; // the file opened above, so only another holder refuses it
    }
    m_scannerFolder = scannerFolder;
    m_path = path;
    QFile::remove(workjournal::temporaryPath(path)); // cut off by a kill during a write
    return Claim::Claimed;
}

void JournalSession::release() {
    m_writer.flush(); // nothing of the old folder may be written once another program has it
    m_lock.reset();
    m_scannerFolder.clear();
    m_path.clear();
}

std::optional<JournalSession::Left> JournalSession::readLeft() {
    if (!m_lock || !QFileInfo::exists(m_path)) {
        return std::nullopt;
    }
    workjournal::Parsed parsed = workjournal::read(m_path);
    Left left;
    left.written = parsed.written;
    if (parsed.work) {
        left.work = std::move(parsed.work);
        return left;
    }
    QString moveError;
    left.refusal = workjournal::moveAside(m_path, &moveError)
                       ? QStringLiteral("%1\n%2 に移しました。")
                             .arg(parsed.error, workjournal::asidePath(m_path))
                       : QStringLiteral("%1\n%2").arg(parsed.error, moveError);
    return left;
}

bool JournalSession::discardLeft(QString* error) {
    return !QFileInfo::exists(m_path) || workjournal::moveAside(m_path, error);
}

void JournalSession::record(workjournal::Work work) {
    if (m_lock) {
        m_writer.record(m_path, std::move(work));
    }
}

void JournalSession::end() {
    if (m_lock) {
        m_writer.end(m_path);
    }
}
