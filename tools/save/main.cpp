// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-save: saves one chart from the pages in the scanner folder, as the program's save
// button does, without the window. For scanners that drop pages into a hot folder, and for
// scripted checks. The save itself is batchsave::BatchSave; this file turns the arguments into
// its request.

#include "app/batchsave.h"
#include "app/pageimages.h"
#include "index/chartindex.h"
#include "index/programfolder.h"
#include "platform/productversion.h"
#include "platform/signalcleanup.h"
#include "settings/barcodesettings.h"
#include "settings/blankpagesettings.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

using batchsave::Exit;

const char* const usage =
    "usage: pelorafile-save (--patient N | --patient-from-barcode [--patient N] |"
    " --split-by-barcode) [--serial S] [--key1 TEXT] ... [--key4 TEXT] [--allow-crop]"
    " [--drop-blank-pages] [--deskew] [--program-folder DIR] [--creation-log FILE]\n";

QString exitCodeHelp() {
    QString text = QStringLiteral("\nExit codes:\n");
    for (const auto& [code, meaning] : batchsave::exitCodes()) {
        text += QStringLiteral("  %1  %2\n").arg(code, 2).arg(meaning);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelorafile-save"));
    QCoreApplication::setApplicationVersion(productVersion());
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Saves one chart from the pages in the scanner folder, with the program's "
                       "settings, index and rules."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption patient(QStringLiteral("patient"), QStringLiteral("Patient number."),
                                     QStringLiteral("N"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Serial number (default: the setting VolNo)."),
                                    QStringLiteral("S"));
    QList<QCommandLineOption> keys;
    for (int n = 1; n <= 4; ++n) {
        keys.append(QCommandLineOption(QStringLiteral("key%1").arg(n),
                                       QStringLiteral("Keyword %1.").arg(n),
                                       QStringLiteral("TEXT")));
    }
    const QCommandLineOption programFolder(
        programfolder::optionName,
        QStringLiteral("Folder of the chart index (default: PELORAFILE_PROGRAM_FOLDER, then "
                       "/etc/pelorafile/pelorafile.conf, then this program's folder when it "
                       "holds an index, then the user's data folder of an installed program)."),
        QStringLiteral("DIR"));
    const QCommandLineOption creationLog(
        QStringLiteral("creation-log"),
        QStringLiteral("Text file to which the creation log line is appended."),
        QStringLiteral("FILE"));
    const QCommandLineOption fromBarcode(
        QStringLiteral("patient-from-barcode"),
        QStringLiteral("Take the patient number from the barcode of the first page (the second "
                       "too when the first page is not saved); with --patient, refuse when they "
                       "differ."));
    const QCommandLineOption splitByBarcode(
        QStringLiteral("split-by-barcode"),
        QStringLiteral("Save one chart per patient: a new chart starts at each page whose barcode "
                       "gives a patient number."));
    const QCommandLineOption allowCrop(
        QStringLiteral("allow-crop"),
        QStringLiteral("Save also when, without stretch, a page keeps less than half of its area "
                       "(refused with exit 23 otherwise)."));
    const QCommandLineOption dropBlankPages(
        QStringLiteral("drop-blank-pages"),
        QStringLiteral("Leave blank pages out of the chart (listed on standard error); a clearing "
                       "save moves them to the trash, as pages deleted from the list."));
    const QCommandLineOption deskew(
        QStringLiteral("deskew"),
        QStringLiteral("Turn each page back level in its file before it is saved (pages off by "
                       "less than 0.1 or more than 10 degrees are left alone)."));
    parser.addOption(patient);
    parser.addOption(serial);
    for (const auto& key : keys) {
        parser.addOption(key);
    }
    parser.addOption(programFolder);
    parser.addOption(creationLog);
    parser.addOption(fromBarcode);
    parser.addOption(splitByBarcode);
    parser.addOption(allowCrop);
    parser.addOption(dropBlankPages);
    parser.addOption(deskew);
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << '\n';
        return int(Exit::Usage);
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText() << exitCodeHelp();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << productVersion() << '\n';
        return 0;
    }

    batchsave::Request request;
    const bool split = parser.isSet(splitByBarcode);
    const bool numberFromBarcode = parser.isSet(fromBarcode);
    if (split == (parser.isSet(patient) || numberFromBarcode) || (split && parser.isSet(patient)) ||
        !parser.positionalArguments().isEmpty()) {
        err << usage;
        return int(Exit::Usage);
    }
    request.numbering = split               ? batchsave::Numbering::SplitByBarcode
                        : numberFromBarcode ? batchsave::Numbering::FromBarcode
                                            : batchsave::Numbering::Given;
    if (parser.isSet(patient)) {
        request.patientText = parser.value(patient);
    }
    if (parser.isSet(serial)) {
        request.serialText = parser.value(serial);
    }
    for (size_t n = 0; n < request.keywords.size(); ++n) {
        request.keywords[n] = parser.value(keys.at(static_cast<qsizetype>(n)));
    }
    request.allowCrop = parser.isSet(allowCrop);
    request.creationLogPath = parser.value(creationLog);

    // The defaults name the home folder as scanner folder and archive, with clearing on: a run
    // on them would file the pictures of the home folder and delete them.
    TRegistory settings;
    SettingsFile settingsFile(SettingsFile::defaultPath());
    if (!settingsFile.load(settings)) {
        err << QStringLiteral("設定ファイルを読み込めません。") << ' ' << settingsFile.path();
        if (!settingsFile.notice().isEmpty()) {
            err << " (" << settingsFile.notice() << ')';
        }
        err << '\n';
        return int(Exit::SettingsUnreadable);
    }
    BarcodeSettings barcodeSettings;
    barcodeSettings.load(settingsFile.path());
    if (parser.isSet(dropBlankPages)) {
        // The option asks for the check even where the window's check is switched off.
        BlankPageSettings blankSettings;
        blankSettings.load(settingsFile.path());
        blankSettings.Enabled = true;
        request.dropBlankPages = pageimages::blankCheck(blankSettings);
    }
    request.deskew = parser.isSet(deskew);
    QString problem;
    const auto folder =
        programfolder::find(programfolder::placesOf(parser.value(programFolder)), &problem);
    if (!folder) {
        err << QStringLiteral("データベースの接続に失敗しました。") << ' ' << problem << '\n';
        return int(Exit::IndexUnavailable);
    }
    signalcleanup::removePendingFileOnTermination();
    ChartIndex index;
    if (!index.open(folder->path)) {
        err << QStringLiteral("データベースの接続に失敗しました。") << ' ' << index.lastError()
            << '\n';
        return int(Exit::IndexUnavailable);
    }

    batchsave::BatchSave save(settings, barcodeSettings, index, out, err,
                              &QDateTime::currentDateTime);
    return save.run(request);
}
