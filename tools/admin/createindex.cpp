#include "admincommand.h"

#include "index/chartindexschema.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

/// create-index FOLDER: an empty chart index in FOLDER. Exit 1 when the index exists already,
/// 2 when it cannot be created.
int runCreateIndex(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: pelorafile-admin create-index FOLDER\n";
        return ExitUsage;
    }
    const QString path = QDir(arguments.at(0)).absoluteFilePath(chartindex::fileName);
    if (QFileInfo::exists(path)) {
        err << path << " already exists; it is left as it is\n";
        return 1;
    }
    QString error;
    if (!chartindex::createEmptyIndex(path, &error)) {
        err << "cannot create the chart index: " << error << '\n';
        return 2;
    }
    QTextStream(stdout) << "created " << path << '\n';
    return ExitOk;
}
