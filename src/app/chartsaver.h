// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Saving one chart: the checks made before anything is written, the chart PDF in the patient
/// folder, the clearing of the scanner folder, the creation log line and the index row.
///
/// The work is split in three so that a window can keep answering while the PDF is written:
/// check() runs on the caller's thread and refuses or returns a plan; write() composes the PDF
/// and may run on a worker thread; finish() runs the steps after the PDF on the caller's thread.
/// The batch command calls the three in a row.

#include "app/scannerfolder.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ChartIndex;
class TPdfCreate;
class CreationLog;
class TRegistory;
class FileLock;

/// What is saved of one page.
struct SavePage {
    QString imageFile;
    std::optional<QStringList> note;
    QString shiori;
};

/// Why a save ended; the batch command exits with these numbers.
enum class SaveOutcome : int {
    Saved = 0,
    PatientNumberError = 2,
    SerialNumberError = 3,
    FirstPageRule = 4,
    NoPages = 5,
    OverwriteRefused = 6,
    FolderError = 7,
    WriteError = 8,
    IndexError = 9,
    SettingsRefused = 14, ///< the archive layout or the page size of the settings is unusable
    CropRefused = 23,     ///< the crop would drop more than half of a page, and no one agreed
};

/// What a save needs from the window (or the batch command) around it.
class SaveFrontEnd {
public:
    virtual ~SaveFrontEnd() = default;
    /// The save's message line (status panel 1 of the main window).
    virtual void showStatus(const QString& text) = 0;
    /// The chart exists and overwriting is forbidden.
    virtual void showOverwriteRefused(const QString& fileName) = 0;
    /// A folder or file could not be created or replaced.
    virtual void showCannotCreate(const QString& pathOrName) = 0;
    virtual void addErrorLogLine(const QString& line) = 0;
    /// The save waits for another save of the chart or for the index; \p text says so.
    virtual void showWaiting(const QString& text) = 0;
    /// A page file of the chart could not be deleted; the answer says whether to go on.
    virtual scannerfolder::AfterFailure cannotDelete(const QString& name) = 0;
    /// The scanner folder was not emptied after the save, for the reason \p why.
    virtual void showClearingRefused(const QString& why) = 0;
    /// The pages of the chart left the scanner folder: the page list keeps only the pages of
    /// \p keptFiles (those that did not reach the chart).
    virtual void keepOnlyPages(const QStringList& keptFiles) = 0;
    /// Pages that were not written into the chart, in their order. \p movedInto names the
    /// folder into which the clearing of the scanner folder moved those still there; empty when
    /// their files stay where they are.
    virtual void showPagesLeftOut(const QStringList& files, const QString& movedInto) = 0;
    /// Asked before anything is written when the crop keeps less than half of some pages, named
    /// by \p files in their order; false stops the save.
    virtual bool confirmPartialPages(const QStringList& files) = 0;
};

class ChartSaver {
public:
    using Clock = std::function<QDateTime()>;

    ChartSaver(const TRegistory& settings, Clock clock);

    struct Input {
        QString patientText;
        QString serialText;
        std::array<QString, 4> keywords;
        std::vector<SavePage> pages; ///< the page list in its order
        /// Page files removed from the chart's list, each as it was when it was removed (see
        /// PageList::removedFiles()); a save that clears the scanner folder moves them to the
        /// trash. A file that is among the pages again is not removed.
        std::vector<scannerfolder::IdentifiedFile> removed;
    };

    /// Everything write() and finish() need, fixed when the checks passed.
    struct Plan {
        int patient = 0;
        int serial = 0;
        QString folder;
        QString fileName;
        QString chartPath;
        std::array<QString, 4> keywords;
        std::vector<SavePage> pages; ///< the pages to write, from the first one that is saved
        int pageWidth = 700;
        int pageHeight = 1000;
        int quality = 80;
        bool stretch = false;
        bool folderClear = false;
        bool overwriteForbidden = true;
        QString scannerFolder;
        QString archiveBase;
        /// Page files that the save consumes without writing them (the first page when it is
        /// not saved), as they were when the plan was made.
        std::vector<scannerfolder::ArchivedFile> consumed;
        /// The removed page files of the input that are not among its pages.
        std::vector<scannerfolder::IdentifiedFile> removed;
        /// The lock on the patient folder, held from the overwrite check until the index row is
        /// written, so that two saves of one chart never overlap.
        std::shared_ptr<FileLock> folderLock;
        /// Ends the lock for every copy of the plan.
        void releaseLock() const;
    };

    struct Checked {
        SaveOutcome outcome = SaveOutcome::Saved; ///< Saved: go on with write()
        Plan plan;
    };

    /// Steps before anything is written: the numbers, the first-page rule, a page that can be
    /// written at all, the file name, the overwrite rule, the question about pages the crop cuts
    /// to less than half, the patient folder, and its lock (lockFolder()).
    Checked check(const Input& input, SaveFrontEnd& frontEnd) const;
    /// The steps of check() before the lock: all that may ask the operator. A window runs
    /// lockFolder() on the thread that then writes, so that its own thread never waits for
    /// another workstation's save.
    Checked checkBeforeLock(const Input& input, SaveFrontEnd& frontEnd) const;

    struct Locked {
        SaveOutcome outcome = SaveOutcome::Saved; ///< FolderError, OverwriteRefused or Saved
        QString error;                            ///< why the lock could not be had, if known
    };
    /// Takes the patient folder's lock for \p plan, waiting up to FolderLockPatienceMs while
    /// another save holds it (\p waiting is called once when it starts to wait), then checks
    /// again what another save may have written meanwhile. Asks nothing: any thread may run it.
    static Locked lockFolder(Plan& plan, const std::function<void()>& waiting);
    /// Tells the operator why lockFolder() refused.
    static void reportLockRefusal(const Plan& plan, const Locked& locked, SaveFrontEnd& frontEnd);

    struct Written {
        SaveOutcome outcome = SaveOutcome::Saved;
        QString error; ///< for WriteError: the text of the general error report
        int pagesWritten = 0;
        /// The page files that went into the chart, as they were when they were read.
        std::vector<scannerfolder::ArchivedFile> archived;
        /// The page files that could not be written (missing, unreadable, undecodable).
        QStringList leftOut;
        /// Those of them that were there, as they were before they were read.
        std::vector<scannerfolder::IdentifiedFile> notWritten;
        /// SHA-256 of the chart's bytes as they were written, in hexadecimal.
        QByteArray sha256;
    };
    using Progress = std::function<void(int done, int total, const QString& imageFile)>;

    /// Writes the chart: first to a temporary file in the patient folder, which replaces the old
    /// chart only once it is complete and on disk. A failure leaves the old chart untouched and
    /// no file under the chart's name. With overwriting forbidden the chart never replaces a
    /// file: a chart that appeared meanwhile gives OverwriteRefused. Safe to run on a worker
    /// thread; \p progress is called on it. \p configure, when given, adjusts the composer before
    /// the chart begins (tests pin its clock and random names with it).
    static Written write(const Plan& plan, const Progress& progress,
                         const std::function<void(TPdfCreate&)>& configure = {});

    /// Steps after the PDF: clearing the scanner folder (the pages the chart holds are deleted,
    /// the pages it could not write go into the subfolder scannerfolder::NotSavedFolderName, the
    /// removed pages into the trash, each only while it is the file that was listed), the
    /// creation log line, the index row. Releases the plan's folder lock.
    SaveOutcome finish(const Plan& plan, const Written& written, SaveFrontEnd& frontEnd,
                       CreationLog& log, ChartIndex& index) const;

    /// The overwrite refusal's error log line, for \p chartPath.
    static QString overwriteErrorLine(const QString& chartPath);

    /// The messages of the pipeline.
    static const QString PatientNumberErrorText;
    static const QString SerialNumberErrorText;
    static const QString FirstPageRuleText;
    static const QString NoPagesText;
    static const QString WaitText;
    static const QString DatabaseErrorText;
    static const QString SavedText;
    static const QString LayoutRefusedText;
    static const QString PageSizeRefusedText;
    static const QString ChartBusyText;
    static const QString IndexBusyText;
    static const QString PagesLeftOutText;
    static const QString TrashedText;
    static const QString HeldText;
    /// The question before a save whose pages the crop cuts to less than half, and its first
    /// sentence alone.
    static const QString PartialPagesQuestion;
    static const QString PartialPagesText;
    /// How long a save waits for another save of the same patient folder.
    static constexpr int FolderLockPatienceMs = 120000;

    /// The pages of \p pages that a save without stretch cuts to less than half of their area
    /// on pages of \p pageWidth x \p pageHeight points.
    static QStringList partialPages(const std::vector<SavePage>& pages, int pageWidth,
                                    int pageHeight);

private:
    /// What the clearing after a save did with the pages that were not archived.
    struct Clearing {
        int setAside = 0;
        int trashed = 0;
        int held = 0;
    };
    static Clearing clearChartPages(const Plan& plan, const Written& written,
                                    SaveFrontEnd& frontEnd);
    static Checked refuseOverwrite(const Plan& plan, SaveFrontEnd& frontEnd);
    /// The refusal text of settings the save cannot work with, or an empty text.
    QString layoutProblem() const;

    const TRegistory& m_settings;
    Clock m_clock;
};
