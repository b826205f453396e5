// pelorafile-save: saves one chart from the pages in the scanner folder, as the program's save
// button does, without the window. For scanners that drop pages into a hot folder, and for
// scripted checks.

#include "app/chartsaver.h"
#include "app/creationlog.h"
#include "app/messages.h"
#include "app/scannerfolder.h"
#include "barcode/patientbarcode.h"
#include "index/chartindex.h"
#include "index/programfolder.h"
#include "platform/productversion.h"
#include "platform/signalcleanup.h"
#include "settings/barcodesettings.h"
#include "settings/integertext.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

namespace {

enum BatchExit : int {
    ExitIndexUnavailable = 10, ///< the chart index cannot be opened
    ExitNoFolder = 11,         ///< the scanner folder does not exist
    ExitNoFileType = 12,       ///< no file type is enabled in the settings
    ExitLogNotWritten = 13,    ///< the chart was saved, but its creation log line not appended
    // 14 is SaveOutcome::SettingsRefused
    ExitSettingsUnreadable = 15, ///< the settings file is missing or did not load whole
    ExitPagesLeftOut = 16,       ///< the chart was saved without some of the pages or image files
    ExitClearingRefused = 17,    ///< the chart was saved; the scanner folder was not emptied
    ExitNoBarcodeNumber = 18,    ///< no patient number in the barcodes of the first page
    ExitBarcodeAmbiguous = 19,   ///< a page's barcodes give different patient numbers
    ExitBarcodeDisagrees = 20,   ///< --patient is not the number of the first page's barcode
    ExitPagesBeforeBarcode = 21, ///< split: pages come before the first page with a number
    ExitPatientTwice = 22,       ///< split: one patient's pages come in two separate runs
    ExitUsage = 64,
};

/// Messages go to standard error; the scanner folder is cleared without asking.
class ConsoleFrontEnd final : public SaveFrontEnd {
public:
    ConsoleFrontEnd(const TRegistory& settings, QTextStream& err)
        : m_settings(settings), m_err(err) {}

    void showStatus(const QString& text) override {
        if (!text.isEmpty()) {
            m_status = text;
        }
    }
    void showOverwriteRefused(const QString& fileName) override {
        m_err << fileName << '\n' << messages::CannotOverwrite << '\n';
    }
    void showCannotCreate(const QString& pathOrName) override {
        m_err << pathOrName << '\n' << messages::CannotCreate << '\n';
    }
    void addErrorLogLine(const QString& line) override { m_err << line << '\n'; }
    void showWaiting(const QString& text) override { m_err << text << Qt::endl; }
    scannerfolder::AfterFailure cannotDelete(const QString& name) override {
        m_err << name << ": " << messages::CannotDelete << '\n';
        return scannerfolder::AfterFailure::Next;
    }
    void showClearingRefused(const QString& why) override {
        m_err << why << ' ' << m_settings.ScannerDir << '\n';
        m_clearingRefused = true;
    }
    void keepOnlyPages(const QStringList&) override {}
    void showPagesLeftOut(const QStringList& files) override {
        m_err << messages::PagesLeftOut << '\n';
        for (const auto& file : files) {
            m_err << file << '\n';
        }
        m_pagesLeftOut = !files.isEmpty();
    }
    const QString& lastStatus() const { return m_status; }
    bool clearingRefused() const { return m_clearingRefused; }
    bool pagesLeftOut() const { return m_pagesLeftOut; }

private:
    const TRegistory& m_settings;
    QTextStream& m_err;
    QString m_status;
    bool m_clearingRefused = false;
    bool m_pagesLeftOut = false;
};

barcode::PatientBarcodeReader readerFor(const BarcodeSettings& settings) {
    QList<barcode::Symbology> symbologies;
    for (const auto& name : settings.Symbologies) {
        if (const auto symbology = barcode::symbologyFromName(name)) {
            symbologies << *symbology;
        }
    }
    return barcode::PatientBarcodeReader(symbologies, settings.Pattern);
}

/// The pages of one chart of a split stack, with the number of its first page's barcode.
struct SplitChart {
    int patient = 0;
    std::vector<SavePage> pages;
};

/// What a save of one chart ends with when it was written.
struct ChartResult {
    SaveOutcome finished = SaveOutcome::Saved;
    bool logWritten = true;
};

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
    parser.addOption(patient);
    parser.addOption(serial);
    for (const auto& key : keys) {
        parser.addOption(key);
    }
    const QCommandLineOption fromBarcode(
        QStringLiteral("patient-from-barcode"),
        QStringLiteral("Take the patient number from the barcode of the first page (the second "
                       "too when the first page is not saved); with --patient, refuse when they "
                       "differ."));
    const QCommandLineOption splitByBarcode(
        QStringLiteral("split-by-barcode"),
        QStringLiteral("Save one chart per patient: a new chart starts at each page whose barcode "
                       "gives a patient number."));
    parser.addOption(programFolder);
    parser.addOption(creationLog);
    parser.addOption(fromBarcode);
    parser.addOption(splitByBarcode);
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << QCoreApplication::applicationName() << ' ' << productVersion() << '\n';
        return 0;
    }
    const bool split = parser.isSet(splitByBarcode);
    const bool numberFromBarcode = parser.isSet(fromBarcode);
    const bool numberGiven = parser.isSet(patient) || numberFromBarcode;
    if (split == numberGiven || (split && parser.isSet(patient)) ||
        !parser.positionalArguments().isEmpty()) {
        err << "usage: pelorafile-save (--patient N | --patient-from-barcode [--patient N] |"
               " --split-by-barcode) [--serial S] [--key1 TEXT] ... [--key4 TEXT]"
               " [--program-folder DIR] [--creation-log FILE]\n";
        return ExitUsage;
    }

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
        return ExitSettingsUnreadable;
    }
    QString problem;
    const auto folder =
        programfolder::find(programfolder::placesOf(parser.value(programFolder)), &problem);
    if (!folder) {
        err << QStringLiteral("データベースの接続に失敗しました。") << ' ' << problem << '\n';
        return ExitIndexUnavailable;
    }
    signalcleanup::removePendingFileOnTermination();
    ChartIndex index;
    if (!index.open(folder->path)) {
        err << QStringLiteral("データベースの接続に失敗しました。") << ' ' << index.lastError()
            << '\n';
        return ExitIndexUnavailable;
    }

    const scannerfolder::IntakeStart start = scannerfolder::startIntake(settings);
    switch (start.refusal) {
    case scannerfolder::IntakeRefusal::None:
        break;
    case scannerfolder::IntakeRefusal::NoFolder:
        err << start.message() << ' ' << settings.ScannerDir << '\n';
        return ExitNoFolder;
    case scannerfolder::IntakeRefusal::NoFileType:
        err << start.message() << '\n';
        return ExitNoFileType;
    }
    const QString& filter = start.filter;

    std::vector<SavePage> pages;
    for (const auto& file :
         scannerfolder::listImageFiles(settings.ScannerDir, scannerfolder::masks(filter))) {
        pages.push_back(SavePage{file, std::nullopt, QString()});
    }
    const QStringList unreachable =
        scannerfolder::unreachableImageFiles(settings.ScannerDir, scannerfolder::masks(filter));
    if (!unreachable.isEmpty()) {
        err << messages::UnreachableFiles << '\n';
        for (const auto& name : unreachable) {
            err << QDir(settings.ScannerDir).filePath(name) << '\n';
        }
    }

    // The charts to save, each with its pages and patient number text.
    struct Chart {
        QString patientText;
        std::vector<SavePage> pages;
    };
    std::vector<Chart> charts;
    if (split || numberFromBarcode) {
        BarcodeSettings barcodeSettings;
        barcodeSettings.load(settingsFile.path());
        const barcode::PatientBarcodeReader reader = readerFor(barcodeSettings);
        if (!reader.patternIsValid()) {
            err << QStringLiteral("バーコードの患者番号の書式が正しくありません。") << ' '
                << barcode::patternProblem(barcodeSettings.Pattern) << '\n';
            return ExitNoBarcodeNumber;
        }
        if (numberFromBarcode) {
            // The label is on the first page; when that page is not saved it is a cover sheet,
            // and the label may be on the second.
            const int candidates = settings.FirstPage ? 1 : 2;
            std::optional<int> found;
            for (int n = 0; n < candidates && n < static_cast<int>(pages.size()); ++n) {
                const barcode::PageReading reading = reader.readFile(pages.at(n).imageFile);
                if (reading.status == barcode::PageReading::Status::Ambiguous) {
                    err << QStringLiteral("バーコードの患者番号が一つに決まりません。") << ' '
                        << pages.at(n).imageFile << ": " << reading.texts.join(QStringLiteral(", "))
                        << '\n';
                    return ExitBarcodeAmbiguous;
                }
                if (reading.status == barcode::PageReading::Status::Found) {
                    found = reading.patient;
                    break;
                }
            }
            if (!found) {
                err << QStringLiteral("バーコードから患者番号を読み取れません。") << '\n';
                return ExitNoBarcodeNumber;
            }
            if (parser.isSet(patient)) {
                const std::optional<int> typed = parseSignedInteger(parser.value(patient));
                if (!typed || *typed < 1 || *typed > 99999999) {
                    err << ChartSaver::PatientNumberErrorText << '\n';
                    return static_cast<int>(SaveOutcome::PatientNumberError);
                }
                if (*typed != *found) {
                    err << QStringLiteral("入力した患者番号とバーコードの患者番号が違います。")
                        << ' ' << *typed << " / " << *found << '\n';
                    return ExitBarcodeDisagrees;
                }
            }
            charts.push_back(Chart{QString::number(*found), pages});
        } else {
            // Every page is read before anything is saved: the stack is taken whole or not at
            // all.
            QList<int> seen;
            for (const SavePage& page : pages) {
                const barcode::PageReading reading = reader.readFile(page.imageFile);
                if (reading.status == barcode::PageReading::Status::Ambiguous) {
                    err << QStringLiteral("バーコードの患者番号が一つに決まりません。") << ' '
                        << page.imageFile << ": " << reading.texts.join(QStringLiteral(", "))
                        << '\n';
                    return ExitBarcodeAmbiguous;
                }
                if (reading.status == barcode::PageReading::Status::Found &&
                    (charts.empty() || charts.back().patientText.toInt() != reading.patient)) {
                    if (seen.contains(reading.patient)) {
                        // A second chart of the same number would take the first one's name.
                        err << QStringLiteral("同じ患者番号のページが離れています。") << ' '
                            << reading.patient << ": " << page.imageFile << '\n';
                        return ExitPatientTwice;
                    }
                    seen << reading.patient;
                    charts.push_back(Chart{QString::number(reading.patient), {}});
                }
                if (charts.empty()) {
                    err << QStringLiteral("最初のバーコードより前にページがあります。") << ' '
                        << page.imageFile << '\n';
                    return ExitPagesBeforeBarcode;
                }
                charts.back().pages.push_back(page);
            }
            if (charts.empty()) {
                err << QStringLiteral("バーコードから患者番号を読み取れません。") << '\n';
                return ExitNoBarcodeNumber;
            }
        }
    } else {
        charts.push_back(Chart{parser.value(patient), pages});
    }

    ConsoleFrontEnd frontEnd(settings, err);
    const ChartSaver saver(settings, &QDateTime::currentDateTime);
    // Every chart passes its checks (numbers, first-page rule, overwrite rule) before any is
    // written; one refusal saves none of them.
    std::vector<ChartSaver::Plan> plans;
    for (const Chart& chart : charts) {
        ChartSaver::Input input;
        input.patientText = chart.patientText;
        input.serialText = parser.isSet(serial) ? parser.value(serial) : settings.VolNo;
        for (size_t n = 0; n < input.keywords.size(); ++n) {
            input.keywords[n] = parser.value(keys.at(static_cast<qsizetype>(n)));
        }
        input.pages = chart.pages;
        const ChartSaver::Checked checked = saver.check(input, frontEnd);
        if (checked.outcome != SaveOutcome::Saved) {
            if (!frontEnd.lastStatus().isEmpty()) {
                err << frontEnd.lastStatus() << '\n';
            }
            if (charts.size() > 1) {
                err << QStringLiteral(
                           "患者番号 %1 のカルテが保存できないため、どのカルテも保存しません。")
                           .arg(chart.patientText)
                    << '\n';
            }
            return static_cast<int>(checked.outcome);
        }
        plans.push_back(checked.plan);
    }
    // All charts are written before any page is cleared: a failure leaves the whole stack in
    // the scanner folder.
    std::vector<ChartSaver::Written> written;
    for (const ChartSaver::Plan& plan : plans) {
        written.push_back(ChartSaver::write(plan, {}));
        const ChartSaver::Written& last = written.back();
        if (last.outcome == SaveOutcome::Saved) {
            continue;
        }
        switch (last.outcome) {
        case SaveOutcome::NoPages:
            err << ChartSaver::NoPagesText << '\n';
            break;
        case SaveOutcome::OverwriteRefused: // another save took the name while this one wrote
            frontEnd.showOverwriteRefused(plan.fileName);
            frontEnd.addErrorLogLine(ChartSaver::overwriteErrorLine(plan.chartPath));
            break;
        default:
            err << last.error << '\n';
            break;
        }
        for (size_t n = 0; n + 1 < written.size(); ++n) {
            // Written, but with no index row and its pages still in the scanner folder.
            err << QStringLiteral("未登録のまま保存されたカルテ:") << ' ' << plans.at(n).chartPath
                << '\n';
        }
        return static_cast<int>(last.outcome);
    }

    int exitCode = 0;
    for (size_t n = 0; n < plans.size(); ++n) {
        const ChartSaver::Plan& plan = plans.at(n);
        CreationLog log;
        const SaveOutcome finished = saver.finish(plan, written.at(n), frontEnd, log, index);
        bool logWritten = true;
        if (parser.isSet(creationLog)) {
            QString error;
            logWritten = log.appendTo(parser.value(creationLog), &error) ==
                         CreationLog::AppendResult::Appended;
            if (!logWritten) {
                err << QStringLiteral("*** ファイル追加エラーが発生しました。") << ' ' << error
                    << '\n';
            }
        }
        if (finished != SaveOutcome::Saved) {
            err << frontEnd.lastStatus() << '\n';
            if (exitCode == 0) {
                exitCode = static_cast<int>(finished);
            }
            continue;
        }
        out << plan.chartPath << '\n';
        if (!logWritten && exitCode == 0) {
            exitCode = ExitLogNotWritten;
        }
    }
    if (exitCode != 0) {
        return exitCode;
    }
    if (frontEnd.pagesLeftOut() || !unreachable.isEmpty()) {
        return ExitPagesLeftOut;
    }
    return frontEnd.clearingRefused() ? ExitClearingRefused : 0;
}
