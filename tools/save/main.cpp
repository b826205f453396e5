// pelorafile-save: saves one chart from the pages in the scanner folder, as the program's save
// button does, without the window. For scanners that drop pages into a hot folder, and for
// scripted checks.

#include "app/chartsaver.h"
#include "app/creationlog.h"
#include "app/messages.h"
#include "app/scannerfolder.h"
#include "index/chartindex.h"
#include "platform/signalcleanup.h"
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pelorafile-save"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Saves one chart from the pages in the scanner folder, with the program's "
                       "settings, index and rules."));
    parser.addHelpOption();
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
        QStringLiteral("program-folder"),
        QStringLiteral("Folder of the chart index (default: this program's folder)."),
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
    parser.addOption(programFolder);
    parser.addOption(creationLog);
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << '\n';
        return ExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << parser.helpText();
        return 0;
    }
    if (!parser.isSet(patient) || !parser.positionalArguments().isEmpty()) {
        err << "usage: pelorafile-save --patient N [--serial S] [--key1 TEXT] ... [--key4 TEXT]"
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
    const QString folder = parser.isSet(programFolder) ? parser.value(programFolder)
                                                       : QCoreApplication::applicationDirPath();
    signalcleanup::removePendingFileOnTermination();
    ChartIndex index;
    if (!index.open(folder)) {
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

    ChartSaver::Input input;
    input.patientText = parser.value(patient);
    input.serialText = parser.isSet(serial) ? parser.value(serial) : settings.VolNo;
    for (size_t n = 0; n < input.keywords.size(); ++n) {
        input.keywords[n] = parser.value(keys.at(static_cast<qsizetype>(n)));
    }
    for (const auto& file :
         scannerfolder::listImageFiles(settings.ScannerDir, scannerfolder::masks(filter))) {
        input.pages.push_back(SavePage{file, std::nullopt, QString()});
    }
    const QStringList unreachable =
        scannerfolder::unreachableImageFiles(settings.ScannerDir, scannerfolder::masks(filter));
    if (!unreachable.isEmpty()) {
        err << messages::UnreachableFiles << '\n';
        for (const auto& name : unreachable) {
            err << QDir(settings.ScannerDir).filePath(name) << '\n';
        }
    }

    ConsoleFrontEnd frontEnd(settings, err);
    const ChartSaver saver(settings, &QDateTime::currentDateTime);
    const ChartSaver::Checked checked = saver.check(input, frontEnd);
    if (checked.outcome != SaveOutcome::Saved) {
        if (!frontEnd.lastStatus().isEmpty()) {
            err << frontEnd.lastStatus() << '\n';
        }
        return static_cast<int>(checked.outcome);
    }
    const ChartSaver::Written written = ChartSaver::write(checked.plan, {});
    switch (written.outcome) {
    case SaveOutcome::Saved:
        break;
    case SaveOutcome::NoPages:
        err << ChartSaver::NoPagesText << '\n';
        return static_cast<int>(written.outcome);
    case SaveOutcome::OverwriteRefused: // another save took the name while this one wrote
        frontEnd.showOverwriteRefused(checked.plan.fileName);
        frontEnd.addErrorLogLine(ChartSaver::overwriteErrorLine(checked.plan.chartPath));
        return static_cast<int>(written.outcome);
    default:
        err << written.error << '\n';
        return static_cast<int>(written.outcome);
    }

    CreationLog log;
    const SaveOutcome finished = saver.finish(checked.plan, written, frontEnd, log, index);
    bool logWritten = true;
    if (parser.isSet(creationLog)) {
        QString error;
        logWritten =
            log.appendTo(parser.value(creationLog), &error) == CreationLog::AppendResult::Appended;
        if (!logWritten) {
            err << QStringLiteral("*** ファイル追加エラーが発生しました。") << ' ' << error << '\n';
        }
    }
    if (finished != SaveOutcome::Saved) {
        err << frontEnd.lastStatus() << '\n';
        return static_cast<int>(finished);
    }
    out << checked.plan.chartPath << '\n';
    if (!logWritten) {
        return ExitLogNotWritten;
    }
    if (frontEnd.pagesLeftOut() || !unreachable.isEmpty()) {
        return ExitPagesLeftOut;
    }
    return frontEnd.clearingRefused() ? ExitClearingRefused : 0;
}
