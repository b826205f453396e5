// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tpathstring.h"

#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void TPathString::setLayout(const TRegistory& settings) {
    BaseFolder = settings.Target;
    Front = {settings.L1Front, settings.L2Front, settings.L3Front, settings.L4Front};
    Back = {settings.L1Back, settings.L2Back, settings.L3Back, settings.L4Back};
}

void TPathString::SetNumber(qint64 number) {
    m_number = static_cast<quint32>(number) % NumberModulus;
}

QString TPathString::RelativeFolder() const {
    const QString digits = QStringLiteral("%1").arg(m_number, 8, 10, QLatin1Char('0'));
    QString relative;
    for (int level = 0; level < 4; ++level) {
        const auto i = static_cast<size_t>(level);
        relative += QDir::separator() + Front[i] + digits.mid(level * 2, 2) + Back[i];
    }
    return relative;
}

QString TPathString::Folder() const {
    return CollapseSeparators(BaseFolder + RelativeFolder());
}

QString TPathString::FilePath(const QString& name) const {
    return Folder() + QDir::separator() + name;
}

QString TPathString::CollapseSeparators(const QString& path) {
    QString collapsed;
    collapsed.reserve(path.size());
    for (const QChar c : path) {
        if (c == QDir::separator() && collapsed.endsWith(c)) {
            continue;
        }
        collapsed.append(c);
    }
    return collapsed;
}

bool TPathString::IsPlainAffix(const QString& affix) {
    return !affix.contains(QLatin1Char('/')) && !affix.contains(QDir::separator()) &&
           affix != QLatin1String(".") && affix != QLatin1String("..");
}

QString TPathString::FirstUnplainAffix() const {
    for (size_t i = 0; i < Front.size(); ++i) {
        if (!IsPlainAffix(Front[i])) {
            return QStringLiteral("L%1Front").arg(i + 1);
        }
        if (!IsPlainAffix(Back[i])) {
            return QStringLiteral("L%1Back").arg(i + 1);
        }
    }
    return {};
}

bool TDirFile::EnsureFolder() const {
    const QString folder = Folder();
    if (QFileInfo(folder).isDir()) {
        return true;
    }
    return QDir().mkpath(folder);
}

bool TDirFile::DeleteIfExists(const QString& name) const {
    const QString path = FilePath(name);
    if (!QFileInfo::exists(path)) {
        return true;
    }
    return QFile::remove(path);
}

bool TDirFile::Exists(const QString& name) const {
    return QFileInfo::exists(FilePath(name));
}

QString chartFileName(const QString& hpCode, qint64 patient, qint64 serial,
                      std::optional<QDate> date) {
    // Concatenated, not formatted: the institution code is free text and may hold "%1".
    QString name = QStringLiteral("HP") + hpCode + u'_' + QString::number(patient) + u'_' +
                   QString::number(serial);
    if (date) {
        name += u'_' + QString::number(date->year()) + u'_' + QString::number(date->month()) +
                u'_' + QString::number(date->day());
    }
    return name + QStringLiteral(".pdf");
}
