// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart registration check window: walks a folder of the archive, logs every file that
/// no row of the chart index holds, and lets the operator register them one by one with a
/// patient number, a serial number and four keywords. A file is registered only when it lies
/// inside that patient's folder. The walk works in short slices, so "中断" and closing the
/// window act at once.

#include "index/maintenance/registrationwalk.h"
#include "index/maintenance/resultlist.h"

#include <QDialog>
#include <array>
#include <chrono>
#include <memory>

class ChartIndex;
class FolderTree;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class BackgroundJob;
class StatusPanels;
class TRegistory;
class UserPrompts;
namespace maintenance {
class RegistrationWalk;
}

class TDBRegChkForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int KeyRows = 4;

    TDBRegChkForm(ChartIndex& index, TRegistory& settings, UserPrompts& prompts,
                  QWidget* parent = nullptr);
    ~TDBRegChkForm() override;

    /// "カルテ登録確認": takes the register option and the keyword captions from the settings,
    /// resets the window, shows it modally, and stores the option back into DBRegist.
    void execute();
    /// What execute() does before showing the window (tests show it themselves).
    void prepareToShow();
    /// What execute() does after the window has closed.
    void storeOption();

    FolderTree* folderTree() const { return m_tree; }
    QLabel* fileDisplay() const { return m_fileDisplay; }
    QLineEdit* idEdit() const { return m_idEdit; }
    QLineEdit* volNoEdit() const { return m_volNoEdit; }
    QComboBox* keyBox(int row) const { return m_keyBoxes.at(size_t(row)); }
    QLabel* keyLabel(int row) const { return m_keyLabels.at(size_t(row)); }
    QPushButton* clearButton(int row) const { return m_clearButtons.at(size_t(row)); }
    QPushButton* addButton(int row) const { return m_addButtons.at(size_t(row)); }
    QPushButton* clearAllButton() const { return m_clearAll; }
    QPushButton* registerButton() const { return m_registerButton; }
    QPushButton* nextButton() const { return m_nextButton; }
    QPushButton* exploreButton() const { return m_exploreButton; }
    QPushButton* interruptButton() const { return m_interruptButton; }
    ResultList* log() const { return m_log; }
    StatusPanels* status() const { return m_status; }
    QAction* saveLogAction() const { return m_saveLog; }
    QAction* printLogAction() const { return m_printLog; }
    QAction* closeAction() const { return m_close; }
    QAction* pasteKeywordAction() const { return m_pasteKeyword; }
    QAction* clearLogAction() const { return m_clearLog; }
    QAction* copyLogAction() const { return m_copyLog; }
    QAction* selectLogAction() const { return m_selectLog; }
    QAction* registerOption() const { return m_registerOption; }

    const QString& chosenFolder() const { return m_chosenFolder; }
    const QStringList& candidates() const { return m_candidates; }
    const QString& currentFile() const { return m_currentFile; }
    bool isWalking() const { return m_job != nullptr; }

    void setPrinterSetup(resultlist::PrinterSetup setup) { m_printerSetup = std::move(setup); }
    /// How much of a walk the job does before it sends what it found.
    void setBatchLength(std::chrono::milliseconds length) { m_batch = length; }
    /// How long the job rests after each batch: a test stops a walk midway with it.
    void setBatchRest(std::chrono::milliseconds rest) { m_rest = rest; }
    static constexpr std::chrono::milliseconds DefaultBatch{100};

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void buildMenus();
    QWidget* buildFileArea();
    QWidget* buildKeywordArea();
    void explore();
    void takeFound(const std::vector<maintenance::RegistrationWalk::Unregistered>& found,
                   const QString& currentFile);
    void walkEnded(maintenance::RegistrationWalk::State state);
    /// "中断" and closing the window: the walk ends at once; what it found stays.
    void stopWalk();
    void finishWalk();
    void nextCandidate();
    void registerCurrentFile();
    void pasteKeyword();
    void showCurrentFile(const QString& path);

    ChartIndex& m_index;
    TRegistory& m_settings;
    UserPrompts& m_prompts;
    resultlist::PrinterSetup m_printerSetup;
    std::chrono::milliseconds m_batch = DefaultBatch;
    std::chrono::milliseconds m_rest{0};

    FolderTree* m_tree = nullptr;
    QLabel* m_fileDisplay = nullptr;
    QLineEdit* m_idEdit = nullptr;
    QLineEdit* m_volNoEdit = nullptr;
    std::array<QLabel*, KeyRows> m_keyLabels{};
    std::array<QComboBox*, KeyRows> m_keyBoxes{};
    std::array<QPushButton*, KeyRows> m_clearButtons{};
    std::array<QPushButton*, KeyRows> m_addButtons{};
    QPushButton* m_clearAll = nullptr;
    QPushButton* m_registerButton = nullptr;
    QPushButton* m_nextButton = nullptr;
    QPushButton* m_exploreButton = nullptr;
    QPushButton* m_interruptButton = nullptr;
    ResultList* m_log = nullptr;
    StatusPanels* m_status = nullptr;
    QAction* m_saveLog = nullptr;
    QAction* m_printLog = nullptr;
    QAction* m_close = nullptr;
    QAction* m_pasteKeyword = nullptr;
    QAction* m_clearLog = nullptr;
    QAction* m_copyLog = nullptr;
    QAction* m_selectLog = nullptr;
    QAction* m_registerOption = nullptr;

    QString m_chosenFolder;
    QStringList m_candidates;
    qsizetype m_currentIndex = 0;
    QString m_currentFile;
    bool m_registerThisWalk = true;
    BackgroundJob* m_job = nullptr;
};
