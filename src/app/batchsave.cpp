// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batchsave.h"

#include "analysis/pagefile.h"
#include "app/creationlog.h"
#include "app/messages.h"
#include "app/pageimages.h"
#include "app/patientlabel.h"
#include "settings/barcodesettings.h"
#include "settings/integertext.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QTextStream>

namespace batchsave {

QList<std::pair<int, QString>> exitCodes() {
    return {
        {0, QStringLiteral("saved; the chart's path is on standard output")},
        {2, QStringLiteral("the patient number is not an integer from 1 to 99999999")},
        {3, QStringLiteral("the serial number is not an integer from 0 to 999")},
        {4, QStringLiteral("the first page is not saved and the folder holds fewer than two "
                           "pages")},
        {5, QStringLiteral("no page of the folder can be written")},
        {6, QStringLiteral("the chart exists and overwriting is forbidden")},
        {7, QStringLiteral("the patient folder cannot be created or locked, or the old chart "
                           "cannot be replaced")},
        {8, QStringLiteral("writing the PDF failed (the old chart, if any, is untouched)")},
        {9, QStringLiteral("the PDF is written but the index row is not")},
        {10, QStringLiteral("the chart index cannot be opened; nothing is written")},
        {11, QStringLiteral("the scanner folder does not exist")},
        {12, QStringLiteral("no file type is enabled in the settings")},
        {13, QStringLiteral("saved, but the creation log line could not be appended")},
        {14, QStringLiteral("the settings name an unusable archive layout or page size; nothing "
                            "is written")},
        {15, QStringLiteral("the settings file is missing or did not load whole")},
        {16, QStringLiteral("saved, but some pages could not be written (with the scanner folder "
                            "cleared, they are moved into its folder \"%1\")")
                 .arg(scannerfolder::NotSavedFolderName)},
        {17, QStringLiteral("saved, but the scanner folder was not cleared (home, root or "
                            "archive)")},
        {18, QStringLiteral("no barcode gives a patient number; nothing is written")},
        {19, QStringLiteral("the barcodes of one page give different patient numbers; nothing "
                            "is written")},
        {20, QStringLiteral("--patient is not the number of the label's barcode; nothing is "
                            "written")},
        {21, QStringLiteral("split: pages come before the first label; nothing is written")},
        {22, QStringLiteral("split: one patient's pages come in two runs apart; nothing is "
                            "written")},
        {23, QStringLiteral("without stretch a page would keep less than half of its area and "
                            "--allow-crop is not given; nothing is written")},
        {64, QStringLiteral("wrong arguments")},
    };
}

/// The save pipeline's front end on a terminal: messages to standard error, the scanner folder
/// cleared without asking.
class BatchSave::Console final : public SaveFrontEnd {
public:
    Console(const TRegistory& settings, QTextStream& err) : m_settings(settings), m_err(err) {}

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
    void showPagesLeftOut(const QStringList& files, const QString& movedInto) override {
        m_err << messages::PagesLeftOut << '\n';
        for (const auto& file : files) {
            m_err << file << '\n';
        }
        if (!movedInto.isEmpty()) {
            m_err << messages::PagesSetAside.arg(movedInto) << '\n';
        }
        m_pagesLeftOut = m_pagesLeftOut || !files.isEmpty();
    }
    bool confirmPartialPages(const QStringList& files) override {
        if (m_allowCrop) {
            return true;
        }
        m_err << ChartSaver::PartialPagesText << '\n';
        for (const auto& file : files) {
            m_err << file << '\n';
        }
        m_err << QStringLiteral("--allow-crop を付けると、このまま保存します。") << '\n';
        return false;
    }

    void setAllowCrop(bool allow) { m_allowCrop = allow; }
    const QString& lastStatus() const { return m_status; }
    bool clearingRefused() const { return m_clearingRefused; }
    bool pagesLeftOut() const { return m_pagesLeftOut; }

private:
    const TRegistory& m_settings;
    QTextStream& m_err;
    QString m_status;
    bool m_allowCrop = false;
    bool m_clearingRefused = false;
    bool m_pagesLeftOut = false;
};

BatchSave::BatchSave(const TRegistory& settings, const BarcodeSettings& barcodeSettings,
                     ChartIndex& index, QTextStream& out, QTextStream& err, ChartSaver::Clock clock)
    : m_settings(settings), m_barcodeSettings(barcodeSettings), m_index(index), m_out(out),
      m_err(err), m_saver(settings, std::move(clock)),
      m_console(std::make_unique<Console>(settings, err)) {}

BatchSave::~BatchSave() = default;

int BatchSave::run(const Request& request) {
    if (const int refused = takePages(); refused != 0) {
        return refused;
    }
    if (const int refused = preparePages(request); refused != 0) {
        return refused;
    }
    if (const int refused = assignCharts(request); refused != 0) {
        return refused;
    }
    if (const int refused = checkCharts(request); refused != 0) {
        return refused;
    }
    if (const int failed = writeCharts(); failed != 0) {
        return failed;
    }
    return finishCharts(request);
}

int BatchSave::takePages() {
    const scannerfolder::IntakeStart start = scannerfolder::startIntake(m_settings);
    switch (start.refusal) {
    case scannerfolder::IntakeRefusal::None:
        break;
    case scannerfolder::IntakeRefusal::NoFolder:
        m_err << start.message() << ' ' << m_settings.ScannerDir << '\n';
        return int(Exit::NoFolder);
    case scannerfolder::IntakeRefusal::NoFileType:
        m_err << start.message() << '\n';
        return int(Exit::NoFileType);
    }
    const QStringList masks = scannerfolder::masks(start.filter);
    m_pages.clear();
    for (const auto& file : scannerfolder::listImageFiles(m_settings.ScannerDir, masks)) {
        m_pages.push_back(SavePage{file, std::nullopt, QString()});
    }
    m_unreachable = scannerfolder::unreachableImageFiles(m_settings.ScannerDir, masks);
    if (!m_unreachable.isEmpty()) {
        m_err << messages::UnreachableFiles << '\n';
        for (const auto& name : m_unreachable) {
            m_err << QDir(m_settings.ScannerDir).filePath(name) << '\n';
        }
    }
    return 0;
}

int BatchSave::preparePages(const Request& request) {
    m_blankPages.clear();
    if (request.dropBlankPages) {
        std::vector<SavePage> kept;
        for (SavePage& page : m_pages) {
            const auto verdict = pageimages::blankVerdict(page.imageFile, *request.dropBlankPages);
            const auto identity = scannerfolder::identify(page.imageFile);
            // Only a page known to be blank, and known as the file it is, is left out.
            if (verdict && verdict->blank && identity) {
                m_err << QStringLiteral("白紙ページを除きます:") << ' ' << page.imageFile << '\n';
                m_blankPages.push_back({kept.size(), {page.imageFile, *identity}});
            } else {
                kept.push_back(std::move(page));
            }
        }
        m_pages = std::move(kept);
    }
    if (request.deskew) {
        for (const SavePage& page : m_pages) {
            const pagefile::Result turned = pagefile::straightenFile(page.imageFile);
            if (turned.outcome != pagefile::Outcome::AlreadyLevel) {
                m_err << page.imageFile << ": " << pagefile::describe(turned) << '\n';
            }
        }
    }
    return 0;
}

void BatchSave::attachBlankPages() {
    if (m_charts.empty()) {
        return;
    }
    for (const auto& [keptBefore, file] : m_blankPages) {
        size_t pagesSoFar = 0;
        ChartPages* owner = &m_charts.front();
        for (ChartPages& chart : m_charts) {
            if (keptBefore > pagesSoFar) {
                owner = &chart;
            }
            pagesSoFar += chart.pages.size();
        }
        owner->removed.push_back(file);
    }
}

int BatchSave::assignCharts(const Request& request) {
    m_charts.clear();
    switch (request.numbering) {
    case Numbering::Given:
        m_charts.push_back(ChartPages{request.patientText.value_or(QString()), m_pages, {}});
        attachBlankPages();
        return 0;
    case Numbering::FromBarcode:
    case Numbering::SplitByBarcode:
        break;
    }
    if (const QString problem = barcode::patternProblem(m_barcodeSettings.Pattern);
        !problem.isEmpty()) {
        m_err << QStringLiteral("バーコードの患者番号の書式が正しくありません。") << ' ' << problem
              << '\n';
        return int(Exit::NoBarcodeNumber);
    }
    const int refused =
        request.numbering == Numbering::FromBarcode ? numberFromLabel(request) : splitByLabels();
    if (refused == 0) {
        attachBlankPages();
    }
    return refused;
}

int BatchSave::refuseAmbiguous(const QString& file, const QStringList& texts) {
    m_err << QStringLiteral("バーコードの患者番号が一つに決まりません。") << ' ' << file << ": "
          << texts.join(QStringLiteral(", ")) << '\n';
    return int(Exit::BarcodeAmbiguous);
}

int BatchSave::numberFromLabel(const Request& request) {
    QStringList files;
    for (const SavePage& page : m_pages) {
        files << page.imageFile;
    }
    const patientlabel::LabelNumber label =
        patientlabel::readLabel(patientlabel::readerFor(m_barcodeSettings),
                                patientlabel::labelPages(files, m_settings.FirstPage));
    switch (label.status) {
    case patientlabel::LabelNumber::Status::Found:
        break;
    case patientlabel::LabelNumber::Status::Ambiguous:
        return refuseAmbiguous(label.file, label.texts);
    case patientlabel::LabelNumber::Status::None:
        m_err << QStringLiteral("バーコードから患者番号を読み取れません。") << '\n';
        return int(Exit::NoBarcodeNumber);
    }
    if (request.patientText) {
        const std::optional<int> typed = parseSignedInteger(*request.patientText);
        if (!typed || *typed < 1 || *typed > 99999999) {
            m_err << ChartSaver::PatientNumberErrorText << '\n';
            return int(SaveOutcome::PatientNumberError);
        }
        if (*typed != label.patient) {
            m_err << QStringLiteral("入力した患者番号とバーコードの患者番号が違います。") << ' '
                  << *typed << " / " << label.patient << '\n';
            return int(Exit::BarcodeDisagrees);
        }
    }
    m_charts.push_back(ChartPages{QString::number(label.patient), m_pages, {}});
    return 0;
}

int BatchSave::splitByLabels() {
    // Every page is read before anything is saved: the stack is taken whole or not at all.
    const barcode::PatientBarcodeReader reader = patientlabel::readerFor(m_barcodeSettings);
    QList<int> seen;
    for (const SavePage& page : m_pages) {
        const barcode::PageReading reading = reader.readFile(page.imageFile);
        if (reading.status == barcode::PageReading::Status::Ambiguous) {
            return refuseAmbiguous(page.imageFile, reading.texts);
        }
        if (reading.status == barcode::PageReading::Status::Found &&
            (m_charts.empty() || m_charts.back().patientText.toInt() != reading.patient)) {
            if (seen.contains(reading.patient)) {
                // A second chart of the same number would take the first one's name.
                m_err << QStringLiteral("同じ患者番号のページが離れています。") << ' '
                      << reading.patient << ": " << page.imageFile << '\n';
                return int(Exit::PatientTwice);
            }
            seen << reading.patient;
            m_charts.push_back(ChartPages{QString::number(reading.patient), {}, {}});
        }
        if (m_charts.empty()) {
            m_err << QStringLiteral("最初のバーコードより前にページがあります。") << ' '
                  << page.imageFile << '\n';
            return int(Exit::PagesBeforeBarcode);
        }
        m_charts.back().pages.push_back(page);
    }
    if (m_charts.empty()) {
        m_err << QStringLiteral("バーコードから患者番号を読み取れません。") << '\n';
        return int(Exit::NoBarcodeNumber);
    }
    return 0;
}

int BatchSave::checkCharts(const Request& request) {
    // Every chart passes its checks (numbers, first-page rule, overwrite rule, crop) before any
    // is written; one refusal saves none of them.
    m_plans.clear();
    m_console->setAllowCrop(request.allowCrop);
    for (const ChartPages& chart : m_charts) {
        ChartSaver::Input input;
        input.patientText = chart.patientText;
        input.serialText = request.serialText.value_or(m_settings.VolNo);
        input.keywords = request.keywords;
        input.pages = chart.pages;
        input.removed = chart.removed;
        const ChartSaver::Checked checked = m_saver.check(input, *m_console);
        if (checked.outcome != SaveOutcome::Saved) {
            if (!m_console->lastStatus().isEmpty()) {
                m_err << m_console->lastStatus() << '\n';
            }
            if (m_charts.size() > 1) {
                m_err << QStringLiteral(
                             "患者番号 %1 のカルテが保存できないため、どのカルテも保存しません。")
                             .arg(chart.patientText)
                      << '\n';
            }
            for (const ChartSaver::Plan& plan : m_plans) {
                plan.releaseLock();
            }
            return int(checked.outcome);
        }
        m_plans.push_back(checked.plan);
    }
    return 0;
}

int BatchSave::writeCharts() {
    // All charts are written before any page is cleared: a failure leaves the whole stack in
    // the scanner folder.
    m_written.clear();
    for (const ChartSaver::Plan& plan : m_plans) {
        m_written.push_back(ChartSaver::write(plan, {}));
        const ChartSaver::Written& last = m_written.back();
        if (last.outcome == SaveOutcome::Saved) {
            continue;
        }
        switch (last.outcome) {
        case SaveOutcome::NoPages:
            m_err << ChartSaver::NoPagesText << '\n';
            break;
        case SaveOutcome::OverwriteRefused: // another save took the name while this one wrote
            m_console->showOverwriteRefused(plan.fileName);
            m_console->addErrorLogLine(ChartSaver::overwriteErrorLine(plan.chartPath));
            break;
        default:
            m_err << last.error << '\n';
            break;
        }
        for (size_t n = 0; n + 1 < m_written.size(); ++n) {
            // Written, but with no index row and its pages still in the scanner folder.
            m_err << QStringLiteral("未登録のまま保存されたカルテ:") << ' '
                  << m_plans.at(n).chartPath << '\n';
        }
        return int(last.outcome);
    }
    return 0;
}

int BatchSave::finishCharts(const Request& request) {
    int exitCode = 0;
    for (size_t n = 0; n < m_plans.size(); ++n) {
        const ChartSaver::Plan& plan = m_plans.at(n);
        CreationLog log;
        const SaveOutcome finished =
            m_saver.finish(plan, m_written.at(n), *m_console, log, m_index);
        bool logWritten = true;
        if (!request.creationLogPath.isEmpty()) {
            QString error;
            logWritten = log.appendTo(request.creationLogPath, &error) ==
                         CreationLog::AppendResult::Appended;
            if (!logWritten) {
                m_err << QStringLiteral("*** ファイル追加エラーが発生しました。") << ' ' << error
                      << '\n';
            }
        }
        if (finished != SaveOutcome::Saved) {
            m_err << m_console->lastStatus() << '\n';
            if (exitCode == 0) {
                exitCode = int(finished);
            }
            continue;
        }
        m_out << plan.chartPath << '\n';
        if (!logWritten && exitCode == 0) {
            exitCode = int(Exit::LogNotWritten);
        }
    }
    if (exitCode != 0) {
        return exitCode;
    }
    if (m_console->pagesLeftOut() || !m_unreachable.isEmpty()) {
        return int(Exit::PagesLeftOut);
    }
    return m_console->clearingRefused() ? int(Exit::ClearingRefused) : 0;
}

} // namespace batchsave
