#pragma once

/// \file
/// The chart existence check window: for a range of patient numbers, the paths of the rows
/// whose chart file is missing, listed as the run finds them; the list can be saved as RTF,
/// printed and copied. A run works in short slices with the window's events in between, so
/// "停止" and closing the window act at once.

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
class QPushButton;
class QTimer;
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

    bool isRunning() const { return m_check != nullptr; }
    void setPrinterSetup(resultlist::PrinterSetup setup) { m_printerSetup = std::move(setup); }

    /// Length of one slice of a run, between two turns of the event loop.
    void setSliceLength(std::chrono::milliseconds length) { m_slice = length; }
    static constexpr std::chrono::milliseconds DefaultSlice{15};

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void startRun();
    void runSlice();
    void finishRun();

    ChartIndex& m_index;
    UserPrompts& m_prompts;
    resultlist::PrinterSetup m_printerSetup;
    std::chrono::milliseconds m_slice = DefaultSlice;
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
    QTimer* m_slices;
    std::unique_ptr<maintenance::ExistenceCheck> m_check;
    qint64 m_rowsToCheck = 0;
    bool m_stopRequested = false;
};
