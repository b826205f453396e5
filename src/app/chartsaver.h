#pragma once

/// \file
/// Saving one chart: the checks made before anything is written, the chart PDF in the patient
/// folder, the clearing of the scanner folder, the creation log line and the index row.
///
/// The work is split in three so that a window can keep answering while the PDF is written:
/// check() runs on the caller's thread and refuses or returns a plan; write() composes the PDF
/// and may run on a worker thread; finish() runs the steps after the PDF on the caller's thread.
/// The batch command calls the three in a row.

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <vector>

class ChartIndex;
class TPdfCreate;
class CreationLog;
class TRegistory;

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
    /// Empties the scanner folder (without the deletion warning) and the page list.
    virtual void clearScannerFolder() = 0;
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
    };

    struct Checked {
        SaveOutcome outcome = SaveOutcome::Saved; ///< Saved: go on with write()
        Plan plan;
    };

    /// Steps before anything is written: the numbers, the first-page rule, a page that can be
    /// written at all, the file name, the overwrite rule and the patient folder.
    Checked check(const Input& input, SaveFrontEnd& frontEnd) const;

    struct Written {
        SaveOutcome outcome = SaveOutcome::Saved;
        QString error; ///< for WriteError: the text of the general error report
        int pagesWritten = 0;
    };
    using Progress = std::function<void(int done, int total, const QString& imageFile)>;

    /// Writes the chart: first to a temporary file in the patient folder, which replaces the old
    /// chart only once it is complete and on disk. A failure leaves the old chart untouched and
    /// no file under the chart's name. Safe to run on a worker thread; \p progress is called on it.
    /// \p configure, when given, adjusts the composer before the chart begins (tests pin its
    /// clock and random names with it).
    static Written write(const Plan& plan, const Progress& progress,
                         const std::function<void(TPdfCreate&)>& configure = {});

    /// Steps after the PDF: clearing the scanner folder, the creation log line, the index row.
    SaveOutcome finish(const Plan& plan, SaveFrontEnd& frontEnd, CreationLog& log,
                       ChartIndex& index) const;

    /// The messages of the pipeline.
    static const QString PatientNumberErrorText;
    static const QString SerialNumberErrorText;
    static const QString FirstPageRuleText;
    static const QString NoPagesText;
    static const QString WaitText;
    static const QString DatabaseErrorText;
    static const QString SavedText;

private:
    const TRegistory& m_settings;
    Clock m_clock;
};
