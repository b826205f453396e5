// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/chartsaver.h"
#include "platform/programfiles.h"

#include "app/creationlog.h"
#include "app/keywordtext.h"
#include "app/temporarychart.h"
#include "chart/chartpageimage.h"
#include "chart/tpdfcreate.h"
#include "imaging/imageopenerror.h"
#include "imaging/imagereader.h"
#include "index/chartindex.h"
#include "platform/exclusiverename.h"
#include "platform/filelock.h"
#include "platform/sha256.h"
#include "platform/signalcleanup.h"
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
const QString ChartSaver::LayoutRefusedText =
    QStringLiteral("保存先フォルダーの設定が正しくないため、保存できません。");
const QString ChartSaver::PageSizeRefusedText =
    QStringLiteral("PDFのページサイズの設定が正しくないため、保存できません。");
const QString ChartSaver::ChartBusyText =
    QStringLiteral("他の保存が終わるのを待っています。少々お待ちください。");
const QString ChartSaver::IndexBusyText =
    QStringLiteral("データベースが使用中です。少々お待ちください。");
const QString ChartSaver::PagesLeftOutText = QStringLiteral("保存できなかったページ：%1");
const QString ChartSaver::TrashedText = QStringLiteral("ごみ箱に移したページ：%1");
const QString ChartSaver::HeldText = QStringLiteral("ごみ箱が使えないため「%1」に移したページ：%2");
const QString ChartSaver::PartialPagesText = QStringLiteral("次のページは一部しか保存されません。");
const QString ChartSaver::PartialPagesQuestion =
    ChartSaver::PartialPagesText + QStringLiteral("保存しますか？");

QString ChartSaver::overwriteErrorLine(const QString& chartPath) {
    return chartPath + QStringLiteral(" OverWrite Error");
}

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

/// Whether \p folder, cleaned, lies strictly inside \p base, as paths.
bool liesInside(const QString& folder, const QString& base) {
    const QString cleanBase = QDir::cleanPath(base);
    const QString prefix = cleanBase.endsWith(u'/') ? cleanBase : cleanBase + u'/';
    return QDir::cleanPath(folder).startsWith(prefix);
}

} // namespace

ChartSaver::Checked ChartSaver::check(const Input& input, SaveFrontEnd& frontEnd) const {
    Checked result = checkBeforeLock(input, frontEnd);
    if (result.outcome != SaveOutcome::Saved) {
        return result;
    }
    const Locked locked =
        lockFolder(result.plan, [&frontEnd] { frontEnd.showWaiting(ChartBusyText); });
    if (locked.outcome != SaveOutcome::Saved) {
        reportLockRefusal(result.plan, locked, frontEnd);
        result.outcome = locked.outcome;
    }
    return result;
}

ChartSaver::Checked ChartSaver::checkBeforeLock(const Input& input, SaveFrontEnd& frontEnd) const {
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

    if (const QString problem = layoutProblem(); !problem.isEmpty()) {
        frontEnd.showStatus(problem);
        result.outcome = SaveOutcome::SettingsRefused;
        return result;
    }

    Plan& plan = result.plan;
    const size_t first = m_settings.FirstPage ? 0 : 1;
    const auto firstSaved =
        input.pages.begin() + static_cast<std::ptrdiff_t>(std::min(first, input.pages.size()));
    plan.pages.assign(firstSaved, input.pages.end());
    for (auto page = input.pages.begin(); page != firstSaved; ++page) {
        if (const auto identity = scannerfolder::identify(page->imageFile)) {
            plan.consumed.push_back({page->imageFile, *identity});
        }
    }
    for (const auto& removed : input.removed) {
        if (std::none_of(input.pages.begin(), input.pages.end(),
                         [&](const SavePage& page) { return page.imageFile == removed.path; })) {
            plan.removed.push_back(removed);
        }
    }

    plan.patient = *patient;
    plan.serial = *serial;
    for (size_t n = 0; n < plan.keywords.size(); ++n) {
        plan.keywords[n] = blankControlCharacters(input.keywords[n]);
    }
    plan.fileName =
        chartFileName(m_settings.HPCode, plan.patient, plan.serial,
                      m_settings.WriteDate ? std::optional<QDate>(m_clock().date()) : std::nullopt);
    TDirFile folder;
    folder.setLayout(m_settings);
    folder.SetNumber(plan.patient);
    plan.folder = folder.Folder();
    plan.chartPath = folder.FilePath(plan.fileName);
    if (!liesInside(plan.folder, m_settings.Target)) {
        frontEnd.showStatus(LayoutRefusedText);
        result.outcome = SaveOutcome::SettingsRefused;
        return result;
    }
    plan.overwriteForbidden = m_settings.WriteInhibit;

    if (plan.overwriteForbidden && folder.Exists(plan.fileName)) {
        return refuseOverwrite(plan, frontEnd);
    }
    // A chart without a single page would be an empty file under the chart's name.
    if (std::none_of(plan.pages.begin(), plan.pages.end(),
                     [](const SavePage& page) { return looksWritable(page.imageFile); })) {
        frontEnd.showStatus(NoPagesText);
        result.outcome = SaveOutcome::NoPages;
        return result;
    }
    // Asked before the lock is taken: another save of the patient must not wait on an answer.
    if (!m_settings.Stretch) {
        const QStringList partial =
            partialPages(plan.pages, m_settings.PdfPageWidth, m_settings.PdfPageHeight);
        if (!partial.isEmpty() && !frontEnd.confirmPartialPages(partial)) {
            result.outcome = SaveOutcome::CropRefused;
            return result;
        }
    }
    if (!folder.EnsureFolder()) {
        frontEnd.showCannotCreate(plan.folder);
        result.outcome = SaveOutcome::FolderError;
        return result;
    }
    plan.pageWidth = m_settings.PdfPageWidth;
    plan.pageHeight = m_settings.PdfPageHeight;
    plan.quality = m_settings.Quality;
    plan.stretch = m_settings.Stretch;
    plan.folderClear = m_settings.FolderClear;
    plan.scannerFolder = m_settings.ScannerDir;
    plan.archiveBase = m_settings.Target;
    return result;
}

ChartSaver::Locked ChartSaver::lockFolder(Plan& plan, const std::function<void()>& waiting) {
    Locked result;
    plan.folderLock =
        FileLock::acquire(QDir(plan.folder).filePath(temporarychart::lockFileName()),
                          std::chrono::milliseconds(FolderLockPatienceMs), waiting, &result.error);
    if (!plan.folderLock) {
        result.outcome = SaveOutcome::FolderError;
        return result;
    }
    // Under the lock no other save writes into the folder, so every temporary chart no writer
    // holds is a leftover of a save that was killed.
    temporarychart::removeStale(plan.folder);
    const QFileInfo existing(plan.chartPath);
    if (plan.overwriteForbidden && (existing.exists() || existing.isSymLink())) {
        plan.releaseLock();
        result.outcome = SaveOutcome::OverwriteRefused; // saved by another while we waited
        return result;
    }
    if (existing.exists() && (!existing.isFile() || existing.isSymLink())) {
        plan.releaseLock();
        result.outcome = SaveOutcome::FolderError; // only a chart file is ever replaced
        return result;
    }
    return result;
}

void ChartSaver::reportLockRefusal(const Plan& plan, const Locked& locked, SaveFrontEnd& frontEnd) {
    if (locked.outcome == SaveOutcome::OverwriteRefused) {
        refuseOverwrite(plan, frontEnd);
        return;
    }
    if (!locked.error.isEmpty()) {
        frontEnd.addErrorLogLine(locked.error);
    }
    frontEnd.showCannotCreate(plan.fileName);
}

void ChartSaver::Plan::releaseLock() const {
    if (folderLock) {
        folderLock->release();
    }
}

ChartSaver::Checked ChartSaver::refuseOverwrite(const Plan& plan, SaveFrontEnd& frontEnd) {
    frontEnd.showOverwriteRefused(plan.fileName);
    frontEnd.addErrorLogLine(overwriteErrorLine(plan.chartPath));
    Checked refused;
    refused.outcome = SaveOutcome::OverwriteRefused;
    return refused;
}

QStringList ChartSaver::partialPages(const std::vector<SavePage>& pages, int pageWidth,
                                     int pageHeight) {
    const QSize area = chartpage::imageArea(pageWidth, pageHeight);
    QStringList partial;
    for (const SavePage& page : pages) {
        try {
            const imaging::ImageReadResult header = imaging::readImageHeader(page.imageFile);
            if (!header.failed && chartpage::cropDropsMost(header.fullSize, area)) {
                partial << page.imageFile;
            }
        } catch (const ImageOpenError&) {
            // A page that cannot be opened is left out of the chart and reported as such.
        }
    }
    return partial;
}

QString ChartSaver::layoutProblem() const {
    TPathString layout;
    layout.setLayout(m_settings);
    if (layout.BaseFolder.isEmpty() || QDir::isRelativePath(layout.BaseFolder) ||
        !layout.FirstUnplainAffix().isEmpty()) {
        return LayoutRefusedText;
    }
    const auto fits = [](int side) { return side >= 1 && side <= TRegistory::MaxPdfPageSide; };
    if (!fits(m_settings.PdfPageWidth) || !fits(m_settings.PdfPageHeight)) {
        return PageSizeRefusedText;
    }
    return {};
}

ChartSaver::Written ChartSaver::write(const Plan& plan, const Progress& progress,
                                      const std::function<void(TPdfCreate&)>& configure) {
    Written written;
    const QString temporary = QDir(plan.folder).filePath(temporarychart::freshName(plan.fileName));
    QString error;
    // Marked before it exists, so that no moment of its life escapes the signal handlers.
    const signalcleanup::PendingRemoval removedIfStopped(temporary);
    // Locked for as long as it is written, so that a later save never takes it for a leftover.
    const std::unique_ptr<FileLock> temporaryLock = FileLock::createExclusive(temporary, &error);
    if (!temporaryLock) {
        written.outcome = SaveOutcome::FolderError;
        written.error = error;
        return written;
    }
    auto discard = [&](SaveOutcome outcome, const QString& why) {
        QFile::remove(temporary);
        written.outcome = outcome;
        written.error = why;
        written.archived.clear();
        written.notWritten.clear();
        return written;
    };

    // Identities before anything is read: a page rewritten while the chart is composed is not
    // the page the chart holds.
    std::vector<std::optional<scannerfolder::FileIdentity>> before;
    before.reserve(plan.pages.size());
    QStringList present;
    std::vector<bool> exists;
    exists.reserve(plan.pages.size());
    for (const auto& page : plan.pages) {
        before.push_back(scannerfolder::identify(page.imageFile));
        exists.push_back(QFileInfo::exists(page.imageFile));
        if (exists.back()) {
            present << page.imageFile;
        }
    }

    TPdfCreate composer;
    if (configure) {
        configure(composer);
    }
    // The save runs on a pooled thread in the window: what the hash left for it goes with it,
    // after the hash itself.
    struct ReleasedAtReturn {
        ~ReleasedAtReturn() { Sha256::releaseThreadState(); }
    } const releaseHashState;
    Sha256 hash;
    composer.PReport1().SetWrittenBytes(
        [&hash](const char* data, std::size_t size) { hash.add(data, size); });
    try {
        composer.PdfPageWidth = plan.pageWidth;
        composer.PdfPageHeight = plan.pageHeight;
        composer.BeginChart(temporary);
        composer.Quality = plan.quality;
        composer.Stretch = plan.stretch;
        TPROutlineRoot& outlines = composer.PReport1().GetOutlineRoot();
        composer.PrepareAhead(present);

        const int total = static_cast<int>(plan.pages.size());
        for (int i = 0; i < total; ++i) {
            const SavePage& page = plan.pages[static_cast<size_t>(i)];
            const auto& identity = before[static_cast<size_t>(i)];
            const int pagesBefore = composer.PagesAdded();
            if (exists[static_cast<size_t>(i)]) {
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
            }
            if (composer.PagesAdded() == pagesBefore) {
                written.leftOut << page.imageFile;
                if (identity) {
                    written.notWritten.push_back({page.imageFile, *identity});
                }
            } else if (identity && scannerfolder::identify(page.imageFile) == identity) {
                written.archived.push_back({page.imageFile, *identity});
            }
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
            return discard(SaveOutcome::NoPages, QString());
        }
        composer.EndChart();
        written.sha256 = hash.hexDigest();
    } catch (const std::exception& failure) {
        composer.AbortChart();
        return discard(SaveOutcome::WriteError, QString::fromUtf8(failure.what()));
    }

    // The complete chart takes the name in one step; an old chart of that name is replaced only
    // now, so a failure above never loses it.
    if (plan.overwriteForbidden) {
        switch (renameWithoutReplacing(temporary, plan.chartPath, &error)) {
        case ExclusiveRename::Renamed:
            break;
        case ExclusiveRename::Taken:
            return discard(SaveOutcome::OverwriteRefused, QString());
        case ExclusiveRename::Failed:
            return discard(SaveOutcome::FolderError, error);
        }
    } else if (std::rename(QFile::encodeName(temporary).constData(),
                           QFile::encodeName(plan.chartPath).constData()) != 0) {
        const int reason = errno;
        return discard(SaveOutcome::FolderError,
                       QStringLiteral("%1: %2").arg(plan.chartPath,
                                                    QString::fromLocal8Bit(std::strerror(reason))));
    }
    syncFolder(plan.folder);
    return written;
}

SaveOutcome ChartSaver::finish(const Plan& plan, const Written& written, SaveFrontEnd& frontEnd,
                               CreationLog& log, ChartIndex& index) const {
    Clearing cleared;
    if (plan.folderClear) {
        cleared = clearChartPages(plan, written, frontEnd);
    }
    if (!written.leftOut.isEmpty()) {
        frontEnd.showPagesLeftOut(
            written.leftOut,
            cleared.setAside > 0
                ? QDir(plan.scannerFolder).filePath(scannerfolder::NotSavedFolderName)
                : QString());
    }
    log.addLine(CreationLog::lineFor(plan.patient, plan.chartPath, plan.keywords));
    ChartIndex::ChartRow row;
    row.pidno = plan.patient;
    row.subNo = plan.serial;
    row.filePath = plan.chartPath;
    row.keys = plan.keywords;
    row.sha256 = written.sha256;
    const bool inserted =
        index.insertChart(row, [&frontEnd] { frontEnd.showWaiting(IndexBusyText); }).done();
    plan.releaseLock();
    if (!inserted) {
        frontEnd.addErrorLogLine(index.lastError());
        // The hash taken while writing stays beside the chart for the registration check.
        QString why;
        if (!programfiles::keepWrittenHash(plan.chartPath, written.sha256, &why)) {
            frontEnd.addErrorLogLine(why);
        }
        frontEnd.showStatus(DatabaseErrorText);
        return SaveOutcome::IndexError;
    }
    QString status = SavedText;
    const QString gap = QStringLiteral("　");
    if (!written.leftOut.isEmpty()) {
        status += gap + PagesLeftOutText.arg(written.leftOut.size());
    }
    if (cleared.trashed > 0) {
        status += gap + TrashedText.arg(cleared.trashed);
    }
    if (cleared.held > 0) {
        status += gap + HeldText.arg(scannerfolder::HoldingFolderName).arg(cleared.held);
    }
    frontEnd.showStatus(status);
    return SaveOutcome::Saved;
}

ChartSaver::Clearing ChartSaver::clearChartPages(const Plan& plan, const Written& written,
                                                 SaveFrontEnd& frontEnd) {
    Clearing cleared;
    if (const QString why = scannerfolder::clearingRefusal(plan.scannerFolder, plan.archiveBase);
        !why.isEmpty()) {
        frontEnd.showClearingRefused(why);
        return cleared;
    }
    const auto onFailure = [&frontEnd](const QString& name) { return frontEnd.cannotDelete(name); };
    std::vector<scannerfolder::ArchivedFile> files = plan.consumed;
    files.insert(files.end(), written.archived.begin(), written.archived.end());
    // Nothing of this chart's list may stay where the next intake would take it into another
    // patient's chart: what is archived goes, what could not be written is set aside, what the
    // operator removed goes to the trash. "削除終了" ends all of it at once.
    bool stopped = scannerfolder::removeArchived(files, onFailure).stopped;
    if (!stopped) {
        const scannerfolder::MoveResult setAside =
            scannerfolder::setAsideNotSaved(written.notWritten, onFailure);
        cleared.setAside = setAside.setAside;
        stopped = setAside.stopped;
    }
    if (!stopped) {
        const scannerfolder::MoveResult trashed =
            scannerfolder::trashRemoved(plan.removed, onFailure);
        cleared.trashed = trashed.trashed;
        cleared.held = trashed.held;
    }
    // Pages whose files are still there stay listed: ones that could not be moved, and new scans
    // that took the name of a page of the chart.
    QStringList kept;
    for (const auto& file : plan.consumed) {
        kept << file.path;
    }
    for (const auto& page : plan.pages) {
        kept << page.imageFile;
    }
    kept.removeIf([](const QString& path) { return !QFileInfo::exists(path); });
    frontEnd.keepOnlyPages(kept);
    return cleared;
}
