#include "app/scannerfolder.h"

#include "platform/fileattributes.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace scannerfolder {

QString BuildTypeFilter(const TRegistory& settings) {
    QString masks;
    if (settings.JpegType) {
        masks += QStringLiteral("*.jpg;*.Jpeg;");
    }
    if (settings.TiffType) {
        masks += QStringLiteral("*.tif;*.tiff;");
    }
    if (settings.BitmapType) {
        masks += QStringLiteral("*.bmp;");
    }
    if (settings.PngType) {
        masks += QStringLiteral("*.png;");
    }
    if (masks.isEmpty()) {
        return {};
    }
    return QStringLiteral("ファイル形式|") + masks;
}

QStringList masks(const QString& filter) {
    const qsizetype bar = filter.indexOf(u'|');
    if (bar < 0) {
        return {};
    }
    return filter.mid(bar + 1).split(u';', Qt::SkipEmptyParts);
}

QStringList listImageFiles(const QString& folder, const QStringList& masks) {
    QDir dir(folder);
    dir.setNameFilters(masks);
    dir.setFilter(QDir::Files |
                  QDir::NoDotAndDotDot); // name filters without CaseSensitive ignore case
    QFileInfoList entries = dir.entryInfoList();
    entries.erase(
        std::remove_if(entries.begin(), entries.end(),
                       [](const QFileInfo& e) { return !fileattributes::isPlainFile(e); }),
        entries.end());
    std::sort(entries.begin(), entries.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int folded = a.fileName().compare(b.fileName(), Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.fileName() < b.fileName();
    });
    QStringList paths;
    paths.reserve(entries.size());
    for (const auto& entry : entries) {
        paths.append(entry.absoluteFilePath());
    }
    return paths;
}

ClearResult clear(const QString& folder,
                  const std::function<AfterFailure(const QString&)>& onFailure,
                  const std::function<bool(const QString&)>& remove) {
    ClearResult result;
    const QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (!fileattributes::isPlainFile(entry)) {
            continue; // hidden files and system entries stay
        }
        const QString path = entry.absoluteFilePath();
        if (fileattributes::isReadOnly(entry)) {
            fileattributes::makeWritable(path);
        }
        const bool gone = remove ? remove(path) : QFile::remove(path);
        if (gone) {
            ++result.deleted;
            continue;
        }
        result.failed << entry.fileName();
        if (onFailure(entry.fileName()) == AfterFailure::Stop) {
            result.stopped = true;
            break;
        }
    }
    return result;
}

} // namespace scannerfolder
