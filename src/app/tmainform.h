// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The main window: tool bar with the patient and serial number boxes, the page check, patient
/// check and keyword tabs, the two status panels and the main menu. It owns the working state
/// of the program (settings, chart index, keyword lists) from start to exit.

#include "app/appservices.h"
#include "app/chartsaver.h"
#include "app/listfiles.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QSet>
#include <QThreadPool>
#include <functional>
#include <memory>
#include <optional>

class ChartIndex;
class JournalSession;
class PageWorkspace;
class QProgressBar;
class TDeleteWarningForm;
class TFileSetForm;
class TPdfOutSet;
class TReadSet;
class TImageIO;
class TNotDelete;
class TFileListWarning;
class TClearingRefused;
class TNotMakeFolder;
class TNotOverwrite;
class TPageListView;
class CreationLog;
class TErrorLogForm;
class TLog;
class TLogWarningForm;
class PatientCheckView;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class SettingsFile;
class TDBErrorMes;
class TKeywordPanel;
class TRegistory;
namespace workjournal {
struct Work;
}

class BackgroundJob;
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    /// Runs the creation steps: loads the settings, fixes the list file paths and opens the
    /// chart index (silently left closed when that fails).
    explicit TMainForm(AppServices services, QWidget* parent = nullptr);
    ~TMainForm() override;

    /// Creates the other windows of the program once, in their start-up order.
    void createWindows();

    enum class Tab : int { PageCheck = 0, PatientCheck = 1, Keywords = 2 };

    TRegistory& settings() { return *m_settings; }
    ChartIndex& chartIndex() { return *m_index; }
    const AppServices& services() const { return m_services; }

    QLineEdit* idEdit() const { return m_idEdit; }
    QLineEdit* volNoEdit() const { return m_volNoEdit; }
    QPushButton* saveButton() const { return m_saveButton; }
    QTabWidget* pageControl() const { return m_tabs; }
    TPageListView* pageListView() const { return m_listView; }
    PageWorkspace& workspace() { return *m_workspace; }
    PatientCheckView* patientCheck() const { return m_patientCheck; }
    TKeywordPanel* keywordPanel() const { return m_keywords; }
    QStringList commentItems() const { return m_commentItems; }
    QStringList shioriItems() const { return m_shioriItems; }

    /// Every menu entry and tool button, named after its object name.
    enum class Command : quint8 {
        // Tool bar
        ScannerIntake,
        FolderIntake,
        ShowLog,
        // "ファイル"
        AddScannerIntake,
        AddFolderIntake,
        ScanSelect,
        ScanAcquire,
        FileImport,
        OpenLastChart,
        Quit,
        // "編集"
        ClearScannerFolder,
        ClearLog,
        ClearErrorLog,
        DeletePage,
        MovePageLeft,
        MovePageRight,
        SelectBlankPages,
        StraightenPages,
        Paste,
        // "表示"
        Redraw,
        ShowErrorLog,
        // "設定"
        ReadSettings,
        SaveSettings,
        KeyLabelSettings,
        BarcodeSettings,
        // "照会"
        PatientLookup,
        KeywordSearch,
        // "ユーティリティ"
        ExistenceCheck,
        Maintenance,
        RegistrationCheck,
        // "ヘルプ", "情報"
        Help,
        Support,
        ProductInfo,
    };
    /// The action of \p which; never null once the window is built.
    QAction* command(Command which) const;
    /// Re-evaluates the enabling rules of \p menu, as happens each time it opens.
    void updateMenu(QMenu* menu);

    /// The panels of the status bar, left to right; the chart path shows only after a save.
    enum class StatusPanel : quint8 { PageCount = 0, Message = 1, ChartPath = 2, BlankPages = 3 };
    QString statusText(StatusPanel panel) const;
    void setStatusText(StatusPanel panel, const QString& text);

    int selectedPageIndex() const;

    CreationLog& creationLog() { return *m_creationLog; }
    TErrorLogForm* errorLog() const { return m_errorLog; }

    /// The general error report: the text in a message box; the program goes on.
    void reportError(const QString& text);

    /// Runs \p command; an error it does not catch reaches the general error report.
    void runCommand(const std::function<void()>& command);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildTabs();
    void buildStatusBar();
    QLabel* statusPanel(StatusPanel panel) const;
    QAction* addCommand(QMenu* menu, const QString& text, const QString& objectName,
                        std::function<void()> command = {});
    void connectCommand(QAction* action, std::function<void()> command);
    void markUnbuilt(QAction* action);

    /// Writes the settings file now, as each settings dialog's "設定" does, so that a crash
    /// loses none; a failure reaches the general error report.
    void writeSettings();
    void runShowingSteps();
    void checkChartIndex();
    bool runClosingSteps();

    void applyKeywordLabels();
    void loadLists();
    bool writeLists(QStringList& errors);

    // Intake, page list and scanner folder commands (tmainform_pages.cpp).
    /// The common start of both intakes; the file type filter, or nothing when intake stops.
    std::optional<QString> startIntake();
    void scannerIntake(bool replace);
    void folderIntake(bool replace);
    /// Appends pages for \p files (of the scanner folder) and ends the intake.
    void takePages(const QStringList& files, bool replace);
    void importFiles();
    void selectScanSource();
    void acquireScanImage();
    void clearScannerFolderOnRequest();
    void clearScannerFolder();
    /// "ファイルの削除ができません。" for \p name; the answer says whether deleting goes on.
    scannerfolder::AfterFailure askAfterFailedDeletion(const QString& name);
    void deletePage();
    void movePage(int step);
    void takeDroppedFiles(const QStringList& files);
    void openLastChart();
    /// The enabling rule of "ページの削除", for its menu entry and its Delete key alike.
    bool pageDeletionAllowed() const;
    /// Applies that rule again: the Delete key acts without the menu being opened first.
    void updatePageDeletion();
    void redrawPageCheck();
    void showPatientCheck();
    void updateBusyCommands();
    /// Commands that change the page list or start a save wait while thumbnails are being made,
    /// a chart is being written or pages are being straightened.
    bool pageCommandsHeld() const;
    void editReadSettings();

    // Saving a chart (tmainform_save.cpp).
    void saveChart();
    void onChartWritten(const ChartSaver::Plan& plan, const ChartSaver::Written& written);

public:
    /// True while a chart is being written.
    bool isSaving() const { return m_saving; }
    /// Blocks until a chart being written is done and its last steps ran (tests, closing).
    void waitForSave();
    /// The work journal; null when the program keeps none (no state folder was given).
    JournalSession* journal() const;

private:
    bool askToCloseWithUnsavedLog();
    void clearCreationLog();

    // The windows of the "照会" menu (tmainform_inquiry.cpp), of the "ユーティリティ" menu
    // (tmainform_utility.cpp) and the page editor (tmainform_editor.cpp): each file creates its
    // windows and connects its commands, called from createWindows.
    void createInquiryWindows();
    void keywordSearch();
    void createUtilityWindows();
    void createEditorWindow();
    // Blank pages found at intake and skewed pages straightened (tmainform_pagechecks.cpp).
    void createPageChecks();
    void selectBlankPages();
    void straightenSelectedPages();
    struct PageChecks;
    struct PageChecksDeleter {
        void operator()(PageChecks* checks) const;
    };
    std::unique_ptr<PageChecks, PageChecksDeleter> m_pageChecks;

public:
    /// True while selected pages are being straightened.
    bool isStraightening() const;
    /// Blocks until the pages being straightened are done and shown (tests, closing).
    void waitForStraightening();

private:
    // The patient number read from the label's barcode (tmainform_barcode.cpp).
    void createBarcodeReading();
    /// Asked before a chart is saved: false stops the save (the typed number disagrees with
    /// the barcode's and the operator does not go on).
    bool confirmPatientNumber();
    /// The page files the patient label is looked for on (patientlabel::labelPages()).
    QStringList labelPageFiles() const;
    struct BarcodeReading;
    struct BarcodeReadingDeleter {
        void operator()(BarcodeReading* reading) const;
    };
    std::unique_ptr<BarcodeReading, BarcodeReadingDeleter> m_barcode;
    struct InquiryWindows;
    struct UtilityWindows;
    struct EditorWindow;
    struct InquiryWindowsDeleter {
        void operator()(InquiryWindows* windows) const;
    };
    struct UtilityWindowsDeleter {
        void operator()(UtilityWindows* windows) const;
    };
    struct EditorWindowDeleter {
        void operator()(EditorWindow* window) const;
    };
    std::unique_ptr<InquiryWindows, InquiryWindowsDeleter> m_inquiry;
    std::unique_ptr<UtilityWindows, UtilityWindowsDeleter> m_utility;
    std::unique_ptr<EditorWindow, EditorWindowDeleter> m_editor;

    // The work journal (tmainform_journal.cpp): the unsaved chart kept on disk as it changes.
    void createJournal();
    /// Claims the scanner folder's journal and offers back the work a run that did not end
    /// cleanly left in it; runs once the chart index is known to be open.
    void startJournal();
    /// Claims the journal of \p folder; \p offerRestore: ask about work left in it (else it
    /// is put aside). False when no journal is kept for it (in use, or not possible).
    bool claimJournal(const QString& folder, bool offerRestore);
    void restoreWork(const workjournal::Work& work);
    void scheduleJournal();
    void recordJournal();
    /// The work was saved or replaced: its journal goes.
    void endJournal();
    /// The program ends cleanly: the journal goes, and so does the claim on the folder.
    void closeJournal();
    void journalPageRewritten(const QString& imageFile);
    /// After the scanner folder setting changed.
    void followScannerFolder();
    struct WorkJournal;
    struct WorkJournalDeleter {
        void operator()(WorkJournal* journal) const;
    };
    std::unique_ptr<WorkJournal, WorkJournalDeleter> m_journal;

    void paste();
    void openHelp();
    void openSupport();
    void showProductInfo();

    AppServices m_services;
    std::unique_ptr<TRegistory> m_settings;
    std::unique_ptr<SettingsFile> m_settingsFile;
    std::unique_ptr<ChartIndex> m_index;
    std::unique_ptr<CreationLog> m_creationLog;
    ListFiles m_listFiles;
    QStringList m_commentItems; // the page editor's comment list
    QStringList m_shioriItems;  // the page editor's bookmark list

    QLineEdit* m_idEdit = nullptr;
    QLineEdit* m_volNoEdit = nullptr;
    QPushButton* m_saveButton = nullptr;
    QTabWidget* m_tabs = nullptr;
    TPageListView* m_listView = nullptr;
    PageWorkspace* m_workspace = nullptr;
    std::unique_ptr<TImageIO> m_scanner;
    QProgressBar* m_progress = nullptr;
    bool m_redrawing = false;
    bool m_saving = false;
    BackgroundJob* m_saveJob = nullptr; // takes the folder's lock and writes the chart; a child
    friend class MainFormSaveFrontEnd;
    PatientCheckView* m_patientCheck = nullptr;
    TKeywordPanel* m_keywords = nullptr;
    QLabel* m_pageCountPanel = nullptr;
    QLabel* m_messagePanel = nullptr;
    QLabel* m_chartPathPanel = nullptr;  // where the last chart went, beside its message
    QLabel* m_blankPagesPanel = nullptr; // how many blank pages the last intake found
    QString m_lastChart;

    QMenu* m_fileMenu = nullptr;
    QMenu* m_editMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_inquiryMenu = nullptr;
    QMenu* m_settingsMenu = nullptr;
    // Commands; the widgets own them, as children of the window, its menus and its tool bar.
    QAction* m_scannerIntake = nullptr;
    QAction* m_folderIntake = nullptr;
    QAction* m_showLog = nullptr;
    QAction* m_addScannerIntake = nullptr;
    QAction* m_addFolderIntake = nullptr;
    QAction* m_scanSelect = nullptr;
    QAction* m_scanAcquire = nullptr;
    QAction* m_fileImport = nullptr;
    QAction* m_openLastChart = nullptr;
    QAction* m_movePageLeft = nullptr;
    QAction* m_movePageRight = nullptr;
    QAction* m_selectBlankPages = nullptr;
    QAction* m_straightenPages = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_clearScannerFolder = nullptr;
    QAction* m_clearLog = nullptr;
    QAction* m_clearErrorLog = nullptr;
    QAction* m_deletePage = nullptr;
    QAction* m_paste = nullptr;
    QAction* m_redraw = nullptr;
    QAction* m_showErrorLog = nullptr;
    QAction* m_readSettings = nullptr;
    QAction* m_saveSettings = nullptr;
    QAction* m_keyLabelSettings = nullptr;
    QAction* m_barcodeSettings = nullptr; // added by createBarcodeReading
    QAction* m_patientLookup = nullptr;
    QAction* m_keywordSearch = nullptr;
    QAction* m_existenceCheck = nullptr;
    QAction* m_maintenance = nullptr;
    QAction* m_registrationCheck = nullptr;
    QAction* m_help = nullptr;
    QAction* m_support = nullptr;
    QAction* m_productInfo = nullptr;
    QSet<QAction*> m_unbuilt; // entries whose commands are not part of this build yet
    bool m_scanSourceChosen = false;

    TDBErrorMes* m_dbErrorMes = nullptr;
    TLog* m_log = nullptr;
    TErrorLogForm* m_errorLog = nullptr;
    TLogWarningForm* m_logWarning = nullptr;
    TPdfOutSet* m_pdfOutSet = nullptr;
    TReadSet* m_readSet = nullptr;
    TFileSetForm* m_fileSetForm = nullptr;
    TNotMakeFolder* m_notMakeFolder = nullptr;
    TNotOverwrite* m_notOverwrite = nullptr;
    TNotDelete* m_notDelete = nullptr;
    TFileListWarning* m_pagesLeftOut = nullptr;
    TFileListWarning* m_unreachableFiles = nullptr;
    TClearingRefused* m_clearingRefused = nullptr;
    TDeleteWarningForm* m_deleteWarning = nullptr;
    bool m_shownOnce = false;
    bool m_closed = false;
};
