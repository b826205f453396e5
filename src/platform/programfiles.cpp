#include "platform/programfiles.h"

#include <QRegularExpression>

namespace programfiles {

bool isTemporaryChartName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\..*\\.[0-9a-f]{32}\\.tmp$"));
    return pattern.match(fileName).hasMatch();
}

bool isProgramFileName(const QString& fileName) {
    return fileName == FolderLockName || fileName.startsWith(OwnPrefix) ||
           isTemporaryChartName(fileName);
}

} // namespace programfiles
