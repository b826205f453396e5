#include "app/chartsaver.h"

#include "app/creationlog.h"
#include "imaging/imageopenerror.h"
#include "imaging/imagereader.h"
#include "index/chartindex.h"
#include "pdf/chart/tpdfcreate.h"
#include "settings/integertext.h"
#include "settings/tpathstring.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

const QString ChartSaver::PatientNumberErrorText = QStringLiteral("患者番号エラー");
const QString ChartSaver::SerialNumberErrorText = QStringLiteral("連番エラー");
const QString ChartSaver::FirstPageRuleText =
    QStringLiteral("最初のページを保存しない指定により、保存ができません。");
const QString ChartSaver::NoPagesText = QStringLiteral("保存できるページがありません。");
const QString ChartSaver::WaitText = QStringLiteral("少々お待ちください。");
const QString ChartSaver::DatabaseErrorText = QStringLiteral("データベースで障害が発生しました。");
const QString ChartSaver::SavedText = QStringLiteral("保存しました。");

ChartSaver::ChartSaver(const TRegistory& settings, Clock clock)
    : m_settings(settings), m_clock(std::move(clock)) {}

namespace {

/// Whether a page would reach the PDF as far as can be told without decoding it.
bool looksWritable(const QString& path) {
    if (!QFileInfo(path).isFile()) {
        return false;
    }
    try {
        return !imaging::readImageHeader(path).failed;
    } catch (const ImageOpenError&) {
        return false;
    }
}

std::vector<std::string> utf8Lines(const QStringList& lines) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(lines.size()));
    for (const auto& line : lines) {
        out.push_back(line.toStdString());
    }
    return out;
}

/// Makes a rename in \p folder durable: the folder's entry is flushed as well as the file.
void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ChartSaver::Checked ChartSaver::check(const Input& input, SaveFrontEnd& frontEnd) const {
    Checked result;
    frontEnd.showStatus(QString());

    const auto patient = parseSignedInteger(input.patientText);
    if (!patient || *patient < 1 || *patient > 99999999) {
        frontEnd.showStatus(PatientNumberErrorText);
        result.outcome = SaveOutcome::PatientNumberError;
        return result;
    }
    const auto serial = parseSignedInteger(input.serialText);
    if (!serial || *serial < 0 || *serial > 999) {
        frontEnd.showStatus(SerialNumberErrorText);
        result.outcome = SaveOutcome::SerialNumberError;
        return result;
    }
    if (!m_settings.FirstPage && input.pages.size() < 2) {
        frontEnd.showStatus(FirstPageRuleText);
        result.outcome = SaveOutcome::FirstPageRule;
        return result;
    }

    Plan& plan = result.plan;
    const size_t first = m_settings.FirstPage ? 0 : 1;
    plan.pages.assign(input.pages.begin() +
                          static_cast<std::ptrdiff_t>(std::min(first, input.pages.size())),
                      input.pages.end());
    // A chart without a single page would be an empty file under the chart's name.
    if (std::none_of(plan.pages.begin(), plan.pages.end(),
                     [](const SavePage& page) { return looksWritable(page.imageFile); })) {
        frontEnd.showStatus(NoPagesText);
        result.outcome = SaveOutcome::NoPages;
        return result;
    }

    plan.patient = *patient;
    plan.serial = *serial;
    plan.keywords = input.keywords;
    plan.fileName =
        chartFileName(m_settings.HPCode, plan.patient, plan.serial,
                      m_settings.WriteDate ? std::optional<QDate>(m_clock().date()) : std::nullopt);
    TDirFile folder;
    folder.setLayout(m_settings);
    folder.SetNumber(plan.patient);
    plan.folder = folder.Folder();
    plan.chartPath = folder.FilePath(plan.fileName);

    if (m_settings.WriteInhibit && folder.Exists(plan.fileName)) {
        frontEnd.showOverwriteRefused(plan.fileName);
        frontEnd.addErrorLogLine(plan.chartPath + QStringLiteral(" OverWrite Error"));
        result.outcome = SaveOutcome::OverwriteRefused;
        return result;
    }
    if (!folder.EnsureFolder()) {
        frontEnd.showCannotCreate(plan.folder);
        result.outcome = SaveOutcome::FolderError;
        return result;
    }
    const QFileInfo existing(plan.chartPath);
    if (existing.exists() && (!existing.isFile() || existing.isSymLink())) {
        frontEnd.showCannotCreate(plan.fileName); // only a chart file is ever replaced
        result.outcome = SaveOutcome::FolderError;
        return result;
    }

    plan.pageWidth = m_settings.PdfPageWidth;
    plan.pageHeight = m_settings.PdfPageHeight;
    plan.quality = m_settings.Quality;
    plan.stretch = m_settings.Stretch;
    plan.folderClear = m_settings.FolderClear;
    return result;
}

ChartSaver::Written ChartSaver::write(const Plan& plan, const Progress& progress,
                                      const std::function<void(TPdfCreate&)>& configure) {
    Written written;
    const QString temporary =
        QDir(plan.folder)
            .filePath(QStringLiteral(".%1.%2.tmp")
                          .arg(plan.fileName, QUuid::createUuid().toString(QUuid::Id128)));
    TPdfCreate composer;
    if (configure) {
        configure(composer);
    }
    try {
        composer.PdfPageWidth = plan.pageWidth;
        composer.PdfPageHeight = plan.pageHeight;
        composer.BeginChart(temporary);
        composer.Quality = plan.quality;
        composer.Stretch = plan.stretch;
        TPROutlineRoot& outlines = composer.PReport1().GetOutlineRoot();

        QStringList present;
        for (const auto& page : plan.pages) {
            if (QFileInfo::exists(page.imageFile)) {
                present << page.imageFile;
            }
        }
        composer.PrepareAhead(present);

        const int total = static_cast<int>(plan.pages.size());
        for (int i = 0; i < total; ++i) {
            const SavePage& page = plan.pages[static_cast<size_t>(i)];
            if (!QFileInfo::exists(page.imageFile)) {
                continue; // a page whose file went away is left out without a message
            }
            composer.ImageFile = page.imageFile;
            TPRAnnotation& note = composer.PRAnnotation1();
            if (page.note) {
                note.SetLines(utf8Lines(*page.note));
                note.SetPrintable(true);
            } else {
                note.SetLines({});
                note.SetPrintable(false);
            }
            composer.AddChartPage();
            if (!page.shiori.isEmpty()) {
                // A page that could not be loaded still gets its bookmark, on the page before it.
                TPROutlineEntry& entry = outlines.AddChild();
                entry.SetTitle(page.shiori.toStdString());
                entry.SetDest(composer.LastDestination());
                entry.SetOpened(true);
            }
            if (progress) {
                progress(i + 1, total, page.imageFile);
            }
        }
        written.pagesWritten = composer.PagesAdded();
        if (written.pagesWritten == 0) {
            composer.AbortChart();
            written.outcome = SaveOutcome::NoPages;
            return written;
        }
        composer.EndChart();
    } catch (const std::exception& error) {
        composer.AbortChart();
        QFile::remove(temporary);
        written.outcome = SaveOutcome::WriteError;
        written.error = QString::fromUtf8(error.what());
        return written;
    }
    // The complete chart takes the name in one step; an old chart of that name is replaced only
    // now, so a failure above never loses it.
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(plan.chartPath).constData()) != 0) {
        const int reason = errno;
        QFile::remove(temporary);
        written.outcome = SaveOutcome::FolderError;
        written.error = QStringLiteral("%1: %2").arg(plan.chartPath,
                                                     QString::fromLocal8Bit(std::strerror(reason)));
        return written;
    }
    syncFolder(plan.folder);
    return written;
}

SaveOutcome ChartSaver::finish(const Plan& plan, SaveFrontEnd& frontEnd, CreationLog& log,
                               ChartIndex& index) const {
    if (plan.folderClear) {
        frontEnd.clearScannerFolder();
    }
    log.addLine(CreationLog::lineFor(plan.patient, plan.chartPath, plan.keywords));
    ChartIndex::ChartRow row;
    row.pidno = plan.patient;
    row.subNo = plan.serial;
    row.filePath = plan.chartPath;
    row.keys = plan.keywords;
    if (!index.insertChart(row)) {
        frontEnd.showStatus(DatabaseErrorText);
        return SaveOutcome::IndexError;
    }
    frontEnd.showStatus(SavedText);
    return SaveOutcome::Saved;
}
