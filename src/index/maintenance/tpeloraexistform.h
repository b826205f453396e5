// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart existence check window: for a range of patient numbers, the paths of the rows
/// whose chart file is missing, listed as the run finds them; the list can be saved as RTF,
/// printed and copied. A run is a background job with a session of its own: the window keeps
/// answering, and "停止" or closing the window ends it at once, the list then marked as stopped
/// with what was found so far.

#include "index/maintenance/existencecheck.h"
#include "index/maintenance/resultlist.h"

#include <QDialog>
#include <chrono>
#include <memory>
#include <vector>

class ChartIndex;
class QAction;
class QCheckBox;
class QLineEdit;
class BackgroundJob;
class QPushButton;
class StatusPanels;
class UserPrompts;
namespace maintenance {
class ExistenceCheck;
}

class TPeloraExistForm : public QDialog {
    Q_OBJECT
public:
    TPeloraExistForm(ChartIndex& index, UserPrompts& prompts, QWidget* parent = nullptr);
    ~TPeloraExistForm() override;

    /// "カルテ存在確認": empties both status panels and shows the window modally.
    void execute();

    QLineEdit* fromEdit() const { return m_fromEdit; }
    QLineEdit* toEdit() const { return m_toEdit; }
    QPushButton* runButton() const { return m_runButton; }
    QPushButton* stopButton() const { return m_stopButton; }
    QCheckBox* contentCheck() const { return m_contentCheck; }
    ResultList* resultMemo() const { return m_resultMemo; }
    StatusPanels* status() const { return m_status; }
    QAction* saveAction() const { return m_save; }
    QAction* printAction() const { return m_print; }
    QAction* closeAction() const { return m_close; }
    QAction* copyAction() const { return m_copy; }
    QAction* selectAllAction() const { return m_selectAll; }

    bool isRunning() const { return m_job != nullptr; }
    void setPrinterSetup(resultlist::PrinterSetup setup) { m_printerSetup = std::move(setup); }

    /// How much of a run the job does before it sends what it found.
    void setBatchLength(std::chrono::milliseconds length) { m_batch = length; }
    static constexpr std::chrono::milliseconds DefaultBatch{100};

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void startRun();
    void rowsCounted(qint64 rows);
    void takeBatch(const QStringList& missing,
                   const std::vector<maintenance::ExistenceCheck::ContentFinding>& contents,
                   qint64 examined);
    void runEnded(const QString& error);
    /// Ends a run the operator stopped: the list keeps what was found, marked as stopped.
    void stopRun();
    void finishRun();
    /// Lets the job go and gives the window back to the operator.
    void endJob();

    ChartIndex& m_index;
    UserPrompts& m_prompts;
    resultlist::PrinterSetup m_printerSetup;
    std::chrono::milliseconds m_batch = DefaultBatch;
    QLineEdit* m_fromEdit;
    QLineEdit* m_toEdit;
    QPushButton* m_runButton;
    QPushButton* m_stopButton;
    QCheckBox* m_contentCheck;
    std::vector<maintenance::ExistenceCheck::ContentFinding> m_contentFindings;
    ResultList* m_resultMemo;
    StatusPanels* m_status;
    QAction* m_save = nullptr;
    QAction* m_print = nullptr;
    QAction* m_close = nullptr;
    QAction* m_copy = nullptr;
    QAction* m_selectAll = nullptr;
    BackgroundJob* m_job = nullptr;
    bool m_contentsChecked = false;
    bool m_listStopped = false; // the list is what a stopped run found

    qint64 m_rowsToCheck = 0;
};
