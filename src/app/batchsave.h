// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A save without the window, as pelorafile-save runs it: the pages of the scanner folder are
/// taken, given to one chart or split into one chart per patient label, every chart is checked,
/// then every chart written, then every chart finished (scanner folder, creation log, index
/// row). One refusal before the writing saves nothing; one failed write finishes nothing.
/// Messages go to standard error, the paths of the saved charts to standard output.

#include "analysis/blankpage.h"
#include "app/chartsaver.h"
#include "app/scannerfolder.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class BarcodeSettings;
class ChartIndex;
class QTextStream;
class TRegistory;

namespace batchsave {

/// The exit codes of a batch save: SaveOutcome's numbers and these.
enum class Exit : int {
    Saved = 0,
    IndexUnavailable = 10,   ///< the chart index cannot be opened
    NoFolder = 11,           ///< the scanner folder does not exist
    NoFileType = 12,         ///< no file type is enabled in the settings
    LogNotWritten = 13,      ///< the chart was saved, but its creation log line not appended
    SettingsUnreadable = 15, ///< the settings file is missing or did not load whole
    PagesLeftOut = 16,       ///< the chart was saved without some of the pages or image files
    ClearingRefused = 17,    ///< the chart was saved; the scanner folder was not emptied
    NoBarcodeNumber = 18,    ///< no patient number in the barcodes of the label pages
    BarcodeAmbiguous = 19,   ///< a page's barcodes give different patient numbers
    BarcodeDisagrees = 20,   ///< the given number is not the number of the label's barcode
    PagesBeforeBarcode = 21, ///< split: pages come before the first page with a number
    PatientTwice = 22,       ///< split: one patient's pages come in two separate runs
    Usage = 64,
};

/// Every exit code with its meaning, in order, for the help text.
QList<std::pair<int, QString>> exitCodes();

/// Where the patient number of the charts comes from.
enum class Numbering : quint8 {
    Given,          ///< Request::patientText, one chart
    FromBarcode,    ///< the label of the first page (or pages), one chart
    SplitByBarcode, ///< one chart per run of pages that starts with a label
};

struct Request {
    Numbering numbering = Numbering::Given;
    /// Given: the patient number. FromBarcode: when given, the number the label must give.
    std::optional<QString> patientText;
    /// None: the setting VolNo.
    std::optional<QString> serialText;
    std::array<QString, 4> keywords;
    /// Save also charts whose pages the crop cuts to less than half of their area.
    bool allowCrop = false;
    /// Leave blank pages out, as pages the operator deleted, with these thresholds.
    std::optional<blankpage::Thresholds> dropBlankPages;
    /// Turn every page back level in its file before it is saved.
    bool deskew = false;
    /// The text file the creation log lines are appended to; empty: none.
    QString creationLogPath;
};

/// The pages of one chart of the batch, before its checks.
struct ChartPages {
    QString patientText;
    std::vector<SavePage> pages;
    /// Page files that belong to this chart but are left out of it; a clearing save moves them
    /// to the trash (ChartSaver::Input::removed).
    std::vector<scannerfolder::IdentifiedFile> removed;
};

class BatchSave {
public:
    BatchSave(const TRegistory& settings, const BarcodeSettings& barcodeSettings, ChartIndex& index,
              QTextStream& out, QTextStream& err, ChartSaver::Clock clock);
    ~BatchSave();
    BatchSave(const BatchSave&) = delete;
    BatchSave& operator=(const BatchSave&) = delete;

    /// Runs every step and returns the exit code.
    int run(const Request& request);

    /// The steps of run(), in their order; each returns 0 to go on, or the exit code.
    /// The pages of the scanner folder, as the scanner intake of the window takes them.
    int takePages();
    /// Blank pages left out, then the pages turned back level, as the request asks.
    int preparePages(const Request& request);
    /// The charts of the pages and their patient numbers; a blank page left out belongs to the
    /// chart of the page before it (the first chart for one before every page).
    int assignCharts(const Request& request);
    /// Every chart through ChartSaver::check before any is written.
    int checkCharts(const Request& request);
    /// Every chart written before any is finished.
    int writeCharts();
    /// Every written chart finished; the exit code of the whole batch.
    int finishCharts(const Request& request);

    /// The pages taken, in page order (after takePages()).
    std::vector<SavePage>& pages() { return m_pages; }
    /// The charts (after assignCharts()).
    std::vector<ChartPages>& charts() { return m_charts; }

private:
    void attachBlankPages();
    int numberFromLabel(const Request& request);
    int splitByLabels();
    int refuseAmbiguous(const QString& file, const QStringList& texts);

    class Console;
    const TRegistory& m_settings;
    const BarcodeSettings& m_barcodeSettings;
    ChartIndex& m_index;
    QTextStream& m_out;
    QTextStream& m_err;
    ChartSaver m_saver;
    std::unique_ptr<Console> m_console;
    std::vector<SavePage> m_pages;
    /// Blank pages left out, each with the number of pages kept before it.
    std::vector<std::pair<size_t, scannerfolder::IdentifiedFile>> m_blankPages;
    QStringList m_unreachable;
    std::vector<ChartPages> m_charts;
    std::vector<ChartSaver::Plan> m_plans;
    std::vector<ChartSaver::Written> m_written;
};

} // namespace batchsave
