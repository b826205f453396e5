// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tmainform.h"

#include "app/creationlog.h"
#include "app/keywordpanel.h"
#include "app/messages.h"
#include "app/pageworkspace.h"
#include "app/patientcheckview.h"
#include "app/productinfo.h"
#include "app/terrorlogform.h"
#include "app/tlog.h"
#include "app/toolicons.h"
#include "app/tpagelistview.h"
#include "app/warningdialogs.h"
#include "imaging/scan/scansource.h"
#include "imaging/timageio.h"
#include "index/chartindex.h"
#include "index/windows/tdberrormes.h"
#include "platform/listfile.h"
#include "platform/urlopener.h"
#include "platform/userprompts.h"
#include "settings/settingsfile.h"
#include "settings/tdeletewarningform.h"
#include "settings/tfilesetform.h"
#include "settings/tpdfoutset.h"
#include "settings/treadset.h"
#include "settings/tregistory.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {

constexpr QSize designSize(734, 651);

} // namespace

TMainForm::TMainForm(AppServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)),
      m_settings(std::make_unique<TRegistory>()),
      m_settingsFile(std::make_unique<SettingsFile>(m_services.settingsPath)),
      m_index(std::make_unique<ChartIndex>(m_services.clock)),
      m_creationLog(std::make_unique<CreationLog>()), m_listFiles(m_services.programFolder) {
    Q_ASSERT(m_services.prompts && m_services.urlOpener);
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(product::name);

    // Creation steps: settings, list paths (fixed in m_listFiles), index. No page is selected
    // until the page list exists.
    m_settingsFile->load(*m_settings);
    if (!m_settingsFile->notice().isEmpty()) {
        qWarning("settings reset to their defaults: %s", qPrintable(m_settingsFile->notice()));
    }
    m_scanner = std::make_unique<TImageIO>(std::make_unique<ScanSource>());
    if (!m_index->open(m_services.programFolder)) {
        qWarning("chart index not opened: %s", qPrintable(m_index->lastError()));
    }

    buildToolBar();
    buildTabs();
    buildStatusBar();
    buildMenus();
    createJournal();

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), designSize);
    resize(designSize.boundedTo(available.size()));
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(available.center());
    move(frame.topLeft());
}

TMainForm::~TMainForm() = default;

void TMainForm::createWindows() {
    // Windows live from here to the end of the program and are only shown and hidden, in the
    // order in which the program has always created them.
    m_deleteWarning = new TDeleteWarningForm(this);
    m_pdfOutSet = new TPdfOutSet(this, m_deleteWarning);
    m_readSet = new TReadSet(this);
    m_log = new TLog(*m_creationLog, *m_settings, *m_services.prompts, this);
    m_notMakeFolder = new TNotMakeFolder(this);
    m_notOverwrite = new TNotOverwrite(this);
    m_errorLog = new TErrorLogForm(*m_services.prompts, this);
    m_fileSetForm = new TFileSetForm(this);
    m_logWarning = new TLogWarningForm(this);
    m_dbErrorMes = new TDBErrorMes(this);
    m_notDelete = new TNotDelete(this);
    m_pagesLeftOut =
        new TFileListWarning(this, QStringLiteral("PagesLeftOut"), messages::PagesLeftOut);
    m_unreachableFiles =
        new TFileListWarning(this, QStringLiteral("UnreachableFiles"), messages::UnreachableFiles);
    m_clearingRefused = new TClearingRefused(this);

    connectCommand(m_scannerIntake, [this] { scannerIntake(true); });
    connectCommand(m_addScannerIntake, [this] { scannerIntake(false); });
    connectCommand(m_folderIntake, [this] { folderIntake(true); });
    m_folderIntake->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connectCommand(m_addFolderIntake, [this] { folderIntake(false); });
    connectCommand(m_fileImport, [this] { importFiles(); });
    connectCommand(m_scanSelect, [this] { selectScanSource(); });
    connectCommand(m_scanAcquire, [this] { acquireScanImage(); });
    m_scanAcquire->setEnabled(false);
    connectCommand(m_clearScannerFolder, [this] { clearScannerFolderOnRequest(); });
    connectCommand(m_deletePage, [this] { deletePage(); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &TMainForm::updatePageDeletion);
    connect(m_workspace, &PageWorkspace::selectedIndexChanged, this,
            &TMainForm::updatePageDeletion);
    updatePageDeletion();
    // Panel 0 follows every change of the list: intake, deletion, a drop, the emptying after a
    // save.
    connect(&m_workspace->pages(), &PageList::changed, this, [this] {
        setStatusText(StatusPanel::PageCount, QString::number(m_workspace->pages().count()));
    });
    connect(m_listView, &TPageListView::filesDropped, this,
            [this](const QStringList& files) { runCommand([&] { takeDroppedFiles(files); }); });
    connectCommand(m_readSettings, [this] { editReadSettings(); });
    connectCommand(m_saveSettings, [this] {
        if (m_pdfOutSet->Execute(*m_settings, *m_services.prompts)) {
            writeSettings();
        }
    });
    connectCommand(m_keyLabelSettings, [this] {
        m_fileSetForm->Execute(*m_settings, *m_services.prompts);
        writeSettings(); // the dialog takes its fields however it was closed
        applyKeywordLabels();
    });
    connectCommand(m_redraw, [this] { redrawPageCheck(); });
    connect(m_workspace, &PageWorkspace::busyChanged, this, &TMainForm::updateBusyCommands);
    connect(m_workspace, &PageWorkspace::thumbnailProgress, this, [this](int done, int total) {
        m_progress->setRange(0, total);
        m_progress->setValue(done);
    });

    connectCommand(m_showLog, [this] { m_log->execute(); });
    connectCommand(m_clearLog, [this] { clearCreationLog(); });
    connectCommand(m_clearErrorLog, [this] { m_errorLog->clearLog(); });
    connectCommand(m_showErrorLog, [this] { m_errorLog->execute(); });

    createInquiryWindows();
    createUtilityWindows();
    createEditorWindow();
    createBarcodeReading();
    createPageChecks();
}

// --- Building -------------------------------------------------------------------------------

QAction* TMainForm::addCommand(QMenu* menu, const QString& text, const QString& objectName,
                               std::function<void()> command) {
    QAction* action = menu->addAction(text);
    action->setObjectName(objectName);
    if (command) {
        connectCommand(action, std::move(command));
    } else {
        markUnbuilt(action); // until connectCommand gives it its command
    }
    return action;
}

void TMainForm::connectCommand(QAction* action, std::function<void()> command) {
    Q_ASSERT(action);
    m_unbuilt.remove(action);
    action->setEnabled(true);
    connect(action, &QAction::triggered, this,
            [this, command = std::move(command)] { runCommand(command); });
}

void TMainForm::markUnbuilt(QAction* action) {
    m_unbuilt.insert(action);
    action->setEnabled(false);
}

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();

    m_fileMenu = bar->addMenu(QStringLiteral("ファイル"));
    m_addScannerIntake =
        addCommand(m_fileMenu, QStringLiteral("スキャナフォルダーからの追加画像取込み"),
                   QStringLiteral("AddScannerIntake"));
    m_addFolderIntake = addCommand(m_fileMenu, QStringLiteral("フォルダーからの画像追加取込み"),
                                   QStringLiteral("AddFolderIntake"));
    m_fileMenu->addSeparator();
    m_scanSelect =
        addCommand(m_fileMenu, QStringLiteral("Ｔｗａｉｎ装置選択"), QStringLiteral("ScanSelect"));
    m_scanAcquire =
        addCommand(m_fileMenu, QStringLiteral("Ｔｗａｉｎ読み取り"), QStringLiteral("ScanAcquire"));
    m_fileMenu->addSeparator();
    m_fileImport = addCommand(m_fileMenu, QStringLiteral("ファイル　インポート"),
                              QStringLiteral("FileImport"));
    m_openLastChart = addCommand(m_fileMenu, QStringLiteral("最後のカルテを開く"),
                                 QStringLiteral("OpenLastChart"), [this] { openLastChart(); });
    m_fileMenu->addSeparator();
    m_quit = addCommand(m_fileMenu, QStringLiteral("プログラム終了"), QStringLiteral("Quit"),
                        [this] { close(); });

    m_editMenu = bar->addMenu(QStringLiteral("編集"));
    m_clearScannerFolder = addCommand(m_editMenu, QStringLiteral("スキャナーフォルダーのクリア"),
                                      QStringLiteral("ClearScannerFolder"));
    m_clearLog = addCommand(m_editMenu, QStringLiteral("ログのクリア"), QStringLiteral("ClearLog"));
    m_clearErrorLog = addCommand(m_editMenu, QStringLiteral("エラーログのクリア"),
                                 QStringLiteral("ClearErrorLog"));
    m_editMenu->addSeparator();
    m_deletePage =
        addCommand(m_editMenu, QStringLiteral("ページの削除"), QStringLiteral("DeletePage"));
    // A line edit that has the focus (a caption being edited, a keyword or number box) takes
    // Delete for itself through its shortcut override, so the key only deletes pages elsewhere.
    m_deletePage->setShortcut(QKeySequence(Qt::Key_Delete));
    // Ctrl+Left and Ctrl+Right move the caret by words in a text box, which takes them first.
    m_movePageLeft = addCommand(m_editMenu, QStringLiteral("ページを左へ移動"),
                                QStringLiteral("MovePageLeft"), [this] { movePage(-1); });
    m_movePageLeft->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    m_movePageRight = addCommand(m_editMenu, QStringLiteral("ページを右へ移動"),
                                 QStringLiteral("MovePageRight"), [this] { movePage(1); });
    m_movePageRight->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    m_selectBlankPages = addCommand(m_editMenu, QStringLiteral("白紙ページを選択"),
                                    QStringLiteral("SelectBlankPages"));
    m_straightenPages = addCommand(m_editMenu, QStringLiteral("選択ページの傾き補正"),
                                   QStringLiteral("StraightenPages"));
    m_editMenu->addSeparator();
    m_paste = addCommand(m_editMenu, QStringLiteral("貼り付け"), QStringLiteral("Paste"),
                         [this] { paste(); });

    m_viewMenu = bar->addMenu(QStringLiteral("表示"));
    m_redraw =
        addCommand(m_viewMenu, QStringLiteral("ページ確認の再描画"), QStringLiteral("Redraw"));
    m_redraw->setShortcut(QKeySequence(Qt::Key_F5));
    m_viewMenu->addSeparator();
    m_showErrorLog =
        addCommand(m_viewMenu, QStringLiteral("エラーログの表示"), QStringLiteral("ShowErrorLog"));

    m_settingsMenu = bar->addMenu(QStringLiteral("設定"));
    QMenu* settingsMenu = m_settingsMenu;
    m_readSettings =
        addCommand(settingsMenu, QStringLiteral("読込設定"), QStringLiteral("ReadSettings"));
    m_saveSettings =
        addCommand(settingsMenu, QStringLiteral("保存設定"), QStringLiteral("SaveSettings"));
    m_keyLabelSettings = addCommand(settingsMenu, QStringLiteral("検索キーラベル設定"),
                                    QStringLiteral("KeyLabelSettings"));

    m_inquiryMenu = bar->addMenu(QStringLiteral("照会"));
    m_patientLookup =
        addCommand(m_inquiryMenu, QStringLiteral("患者番号照会"), QStringLiteral("PatientLookup"));
    m_inquiryMenu->addSeparator();
    m_keywordSearch =
        addCommand(m_inquiryMenu, QStringLiteral("検索"), QStringLiteral("KeywordSearch"));

    QMenu* utilityMenu = bar->addMenu(QStringLiteral("ユーティリティ"));
    QMenu* databaseMenu = utilityMenu->addMenu(QStringLiteral("データベース"));
    m_existenceCheck = addCommand(databaseMenu, QStringLiteral("カルテ存在確認"),
                                  QStringLiteral("ExistenceCheck"));
    databaseMenu->addSeparator();
    m_maintenance = addCommand(databaseMenu, QStringLiteral("メンテナンス(全件)"),
                               QStringLiteral("Maintenance"));
    m_registrationCheck = addCommand(utilityMenu, QStringLiteral("カルテ登録確認"),
                                     QStringLiteral("RegistrationCheck"));

    QMenu* helpMenu = bar->addMenu(QStringLiteral("ヘルプ"));
    m_help = addCommand(helpMenu, product::name + QStringLiteral(" ヘルプ"), QStringLiteral("Help"),
                        [this] { openHelp(); });
    m_support = addCommand(helpMenu, QStringLiteral("サポート"), QStringLiteral("Support"),
                           [this] { openSupport(); });

    QMenu* infoMenu = bar->addMenu(QStringLiteral("情報"));
    m_productInfo = addCommand(infoMenu, QStringLiteral("製品情報"), QStringLiteral("ProductInfo"),
                               [this] { showProductInfo(); });

    for (QMenu* menu : {m_fileMenu, m_editMenu, m_viewMenu, m_inquiryMenu}) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { updateMenu(menu); });
    }

    // Alt and a letter opens a menu. The captions stay as they are (no "(&F)" added), so the
    // letters are shortcuts of the window that open the menus from the menu bar.
    const std::pair<QMenu*, Qt::Key> menuKeys[] = {
        {m_fileMenu, Qt::Key_F},     {m_editMenu, Qt::Key_E},    {m_viewMenu, Qt::Key_V},
        {m_settingsMenu, Qt::Key_S}, {m_inquiryMenu, Qt::Key_Q}, {utilityMenu, Qt::Key_U},
        {helpMenu, Qt::Key_H},       {infoMenu, Qt::Key_A},
    };
    for (const auto& [menu, key] : menuKeys) {
        auto* opener = new QAction(this);
        opener->setObjectName(QStringLiteral("MenuKey") + QChar(key));
        opener->setShortcut(QKeySequence(Qt::ALT | key));
        addAction(opener);
        connect(opener, &QAction::triggered, this,
                [bar, menu] { bar->setActiveAction(menu->menuAction()); });
    }
}

void TMainForm::updateMenu(QMenu* menu) {
    const bool pageTabActive = m_tabs->currentIndex() == static_cast<int>(Tab::PageCheck);
    auto enable = [this](QAction* action, bool rule) {
        action->setEnabled(!m_unbuilt.contains(action) && rule);
    };
    if (menu == m_fileMenu) {
        enable(m_openLastChart, !m_lastChart.isEmpty());
        enable(m_addScannerIntake, pageTabActive && !pageCommandsHeld());
        enable(m_addFolderIntake, pageTabActive && !pageCommandsHeld());
        enable(m_scanAcquire, m_scanSourceChosen);
    } else if (menu == m_editMenu) {
        const QMimeData* clip = QApplication::clipboard()->mimeData();
        enable(m_paste, clip && clip->hasText());
        enable(m_deletePage, pageDeletionAllowed());
        enable(m_movePageLeft, pageDeletionAllowed());
        enable(m_movePageRight, pageDeletionAllowed());
        enable(m_selectBlankPages,
               pageTabActive && !pageCommandsHeld() && !m_workspace->blankPages().isEmpty());
        enable(m_straightenPages, pageDeletionAllowed());
    } else if (menu == m_viewMenu) {
        enable(m_redraw, pageTabActive && !pageCommandsHeld());
    } else if (menu == m_inquiryMenu) {
        setStatusText(StatusPanel::Message, QString());
    }
}

void TMainForm::buildToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("ToolBar"));
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(32, 32));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    auto addTool = [&](const QIcon& icon, const QString& caption, const QString& name) {
        QAction* action = bar->addAction(icon, caption);
        action->setObjectName(name);
        action->setToolTip(caption); // the caption shows as the button's hint
        markUnbuilt(action);
        return action;
    };
    m_scannerIntake = addTool(toolicons::scanner(), QStringLiteral("スキャナ画像読取"),
                              QStringLiteral("ScannerIntake"));
    m_folderIntake = addTool(toolicons::folder(), QStringLiteral("フォルダー画像取込"),
                             QStringLiteral("FolderIntake"));
    m_showLog = addTool(toolicons::log(), QStringLiteral("保存ログ"), QStringLiteral("ShowLog"));
    bar->addSeparator();

    auto* panel = new QWidget(bar);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(8, 0, 8, 0);
    auto* idLabel = new QLabel(QStringLiteral("患者番号"), panel);
    layout->addWidget(idLabel);
    m_idEdit = new QLineEdit(panel);
    idLabel->setBuddy(m_idEdit); // the name a screen reader gives the box
    m_idEdit->setObjectName(QStringLiteral("IdEdit"));
    m_idEdit->setFixedWidth(110);
    layout->addWidget(m_idEdit);
    layout->addSpacing(12);
    auto* volNoLabel = new QLabel(QStringLiteral("連番"), panel);
    layout->addWidget(volNoLabel);
    m_volNoEdit = new QLineEdit(QStringLiteral("0"), panel);
    volNoLabel->setBuddy(m_volNoEdit);
    m_volNoEdit->setObjectName(QStringLiteral("VolNoEdit"));
    m_volNoEdit->setFixedWidth(50);
    layout->addWidget(m_volNoEdit);
    layout->addSpacing(12);
    m_saveButton = new QPushButton(QStringLiteral("保存"), panel);
    m_saveButton->setObjectName(QStringLiteral("SaveButton"));
    connect(m_saveButton, &QPushButton::clicked, this,
            [this] { runCommand([this] { saveChart(); }); });
    // Ctrl+S anywhere in the window and Enter in the serial box save as the button does.
    auto* saveKey = new QAction(this);
    saveKey->setObjectName(QStringLiteral("SaveKey"));
    saveKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    addAction(saveKey);
    connect(saveKey, &QAction::triggered, m_saveButton, [this] {
        if (m_saveButton->isEnabled()) {
            m_saveButton->click();
        }
    });
    connect(m_volNoEdit, &QLineEdit::returnPressed, saveKey, &QAction::trigger);
    layout->addWidget(m_saveButton);
    layout->addStretch(1);
    bar->addWidget(panel);
}

void TMainForm::buildTabs() {
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("PageControl"));

    m_listView = new TPageListView(m_tabs);
    m_workspace = new PageWorkspace(m_listView, *m_settings, this);
    m_tabs->addTab(m_listView, QStringLiteral("ページ確認"));

    m_patientCheck = new PatientCheckView(m_tabs);
    m_tabs->addTab(m_patientCheck, QStringLiteral("患者確認"));

    m_keywords = new TKeywordPanel(m_tabs);
    m_tabs->addTab(m_keywords, QStringLiteral("キーワード"));

    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == static_cast<int>(Tab::Keywords)) {
            applyKeywordLabels();
        } else if (index == static_cast<int>(Tab::PatientCheck)) {
            runCommand([this] { showPatientCheck(); });
        }
    });
    setCentralWidget(m_tabs);
}

void TMainForm::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    auto addPanel = [bar](StatusPanel panel, int stretch) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(static_cast<int>(panel)));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(label, stretch);
        return label;
    };
    m_pageCountPanel = addPanel(StatusPanel::PageCount, 0);
    m_pageCountPanel->setMinimumWidth(80);
    m_messagePanel = addPanel(StatusPanel::Message, 1);
    m_chartPathPanel = addPanel(StatusPanel::ChartPath, 0);
    // Beside the page count, once an intake has looked for blank pages.
    m_blankPagesPanel = new QLabel(bar);
    m_blankPagesPanel->setObjectName(QStringLiteral("StatusPanel3"));
    m_blankPagesPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->insertWidget(1, m_blankPagesPanel);
    m_blankPagesPanel->setVisible(false);
    m_chartPathPanel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_chartPathPanel->setVisible(false);
    m_progress = new QProgressBar(bar);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setMaximumWidth(160);
    m_progress->setVisible(false);
    bar->addPermanentWidget(m_progress);
}

// --- State ----------------------------------------------------------------------------------

QAction* TMainForm::command(Command which) const {
    switch (which) {
    case Command::ScannerIntake:
        return m_scannerIntake;
    case Command::FolderIntake:
        return m_folderIntake;
    case Command::ShowLog:
        return m_showLog;
    case Command::AddScannerIntake:
        return m_addScannerIntake;
    case Command::AddFolderIntake:
        return m_addFolderIntake;
    case Command::ScanSelect:
        return m_scanSelect;
    case Command::ScanAcquire:
        return m_scanAcquire;
    case Command::FileImport:
        return m_fileImport;
    case Command::OpenLastChart:
        return m_openLastChart;
    case Command::Quit:
        return m_quit;
    case Command::ClearScannerFolder:
        return m_clearScannerFolder;
    case Command::ClearLog:
        return m_clearLog;
    case Command::ClearErrorLog:
        return m_clearErrorLog;
    case Command::DeletePage:
        return m_deletePage;
    case Command::MovePageLeft:
        return m_movePageLeft;
    case Command::MovePageRight:
        return m_movePageRight;
    case Command::SelectBlankPages:
        return m_selectBlankPages;
    case Command::StraightenPages:
        return m_straightenPages;
    case Command::Paste:
        return m_paste;
    case Command::Redraw:
        return m_redraw;
    case Command::ShowErrorLog:
        return m_showErrorLog;
    case Command::ReadSettings:
        return m_readSettings;
    case Command::SaveSettings:
        return m_saveSettings;
    case Command::KeyLabelSettings:
        return m_keyLabelSettings;
    case Command::BarcodeSettings:
        return m_barcodeSettings;
    case Command::PatientLookup:
        return m_patientLookup;
    case Command::KeywordSearch:
        return m_keywordSearch;
    case Command::ExistenceCheck:
        return m_existenceCheck;
    case Command::Maintenance:
        return m_maintenance;
    case Command::RegistrationCheck:
        return m_registrationCheck;
    case Command::Help:
        return m_help;
    case Command::Support:
        return m_support;
    case Command::ProductInfo:
        return m_productInfo;
    }
    return nullptr; // not reached: the switch names every command
}

QLabel* TMainForm::statusPanel(StatusPanel panel) const {
    switch (panel) {
    case StatusPanel::PageCount:
        return m_pageCountPanel;
    case StatusPanel::ChartPath:
        return m_chartPathPanel;
    case StatusPanel::BlankPages:
        return m_blankPagesPanel;
    case StatusPanel::Message:
        break;
    }
    return m_messagePanel;
}

QString TMainForm::statusText(StatusPanel panel) const {
    return statusPanel(panel)->text();
}

void TMainForm::setStatusText(StatusPanel panel, const QString& text) {
    statusPanel(panel)->setText(text);
    if (panel == StatusPanel::Message) {
        // The chart's path belongs to the message of its save and goes with it.
        setStatusText(StatusPanel::ChartPath, QString());
    } else if (panel == StatusPanel::ChartPath) {
        m_chartPathPanel->setVisible(!text.isEmpty());
    }
}

void TMainForm::reportError(const QString& text) {
    m_services.prompts->showError(this, text);
}

void TMainForm::runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        reportError(QString::fromUtf8(error.what()));
    }
}

void TMainForm::applyKeywordLabels() {
    m_keywords->setLabels({m_settings->KeyLabel1, m_settings->KeyLabel2, m_settings->KeyLabel3,
                           m_settings->KeyLabel4});
}

// --- Showing --------------------------------------------------------------------------------

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        runShowingSteps();
    }
}

void TMainForm::runShowingSteps() {
    m_scanSourceChosen = false;
    m_scanAcquire->setEnabled(false);
    m_volNoEdit->setText(m_settings->VolNo);
    m_tabs->setCurrentIndex(static_cast<int>(Tab::PageCheck));
    applyKeywordLabels();
    loadLists();
    // The index check runs once the window is on screen, so the error window has an owner.
    QTimer::singleShot(0, this, [this] { runCommand([this] { checkChartIndex(); }); });
}

void TMainForm::loadLists() {
    for (const auto list : ListFiles::order) {
        QStringList items;
        listfile::read(m_listFiles.path(list), items); // a missing file leaves its list empty
        switch (list) {
        case ListFiles::List::Comment:
            m_commentItems = items;
            break;
        case ListFiles::List::Shiori:
            m_shioriItems = items;
            break;
        default:
            m_keywords->setItems(static_cast<int>(list) - static_cast<int>(ListFiles::List::Key1),
                                 items);
            break;
        }
    }
}

void TMainForm::checkChartIndex() {
    if (m_index->isOpen()) {
        startJournal();
        return;
    }
    if (!m_dbErrorMes) {
        m_dbErrorMes = new TDBErrorMes(this);
    }
    m_dbErrorMes->centreOnScreen();
    m_services.prompts->exec(*m_dbErrorMes);
    close();
}

// --- Closing --------------------------------------------------------------------------------

void TMainForm::closeEvent(QCloseEvent* event) {
    waitForSave();          // a chart being written is finished, never cut off
    waitForStraightening(); // so is a page being rewritten
    if (!m_closed && (!askToCloseWithUnsavedLog() || !runClosingSteps())) {
        event->ignore();
        return;
    }
    event->accept();
}

bool TMainForm::askToCloseWithUnsavedLog() {
    if (!m_creationLog->isModified()) {
        return true;
    }
    return m_services.prompts->question(
               this, product::name,
               QStringLiteral("ログファイルが追加保存されていません。終了しますか？"),
               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TMainForm::clearCreationLog() {
    m_logWarning->centreOnOwner();
    if (m_services.prompts->exec(*m_logWarning) == QDialog::Accepted) {
        m_creationLog->clear();
    }
}

void TMainForm::writeSettings() {
    QString error;
    if (!m_settingsFile->save(*m_settings, &error)) {
        reportError(QStringLiteral("設定を保存できませんでした: %1").arg(error));
    }
}

bool TMainForm::runClosingSteps() {
    QStringList errors;
    QString error;
    if (!m_settingsFile->save(*m_settings, &error)) {
        errors << QStringLiteral("設定を保存できませんでした: %1").arg(error);
    }
    writeLists(errors);
    closeJournal();
    m_index->close();
    m_closed = true;
    if (!errors.isEmpty()) {
        reportError(errors.join(u'\n'));
    }
    return true;
}

bool TMainForm::writeLists(QStringList& errors) {
    bool allWritten = true;
    for (const auto list : ListFiles::order) {
        QStringList items;
        switch (list) {
        case ListFiles::List::Comment:
            items = m_commentItems;
            break;
        case ListFiles::List::Shiori:
            items = m_shioriItems;
            break;
        default:
            items =
                m_keywords->items(static_cast<int>(list) - static_cast<int>(ListFiles::List::Key1));
            break;
        }
        QString error;
        if (!listfile::write(m_listFiles.path(list), items, &error)) {
            errors << QStringLiteral("リストを保存できませんでした: %1").arg(error);
            allWritten = false;
        }
    }
    return allWritten;
}

// --- Commands -------------------------------------------------------------------------------

void TMainForm::paste() {
    const QString text = QApplication::clipboard()->text();
    QWidget* focus = QApplication::focusWidget();
    if (focus == m_idEdit || focus == m_volNoEdit) {
        static_cast<QLineEdit*>(focus)->paste(); // ordinary paste at the caret
        return;
    }
    const int row = m_keywords->rowOf(focus);
    if (row >= 0) {
        m_keywords->replaceText(row, text); // a keyword box takes the clipboard as its whole text
    }
}

void TMainForm::openHelp() {
    const QString helpFile = QDir(m_services.programFolder).filePath(product::helpFileName);
    if (QFile::exists(helpFile)) {
        m_services.urlOpener->open(QUrl::fromLocalFile(helpFile));
        return;
    }
    // The operator's manual: in the program folder, beside the program (a copied program folder,
    // or the build's bin/), or where an installation puts it.
    const QString manual = QStringLiteral("manual/index.html");
    const QDir programDir(QCoreApplication::applicationDirPath());
    QStringList candidates{QDir(m_services.programFolder).filePath(manual),
                           programDir.filePath(manual),
                           programDir.filePath(QStringLiteral("../share/pelorafile/") + manual)};
    for (QString& candidate : candidates) {
        candidate = QDir::cleanPath(candidate);
    }
    candidates.removeDuplicates();
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            m_services.urlOpener->open(QUrl::fromLocalFile(candidate));
            return;
        }
    }
    // A clinic may have no network: the web address is named, not opened.
    QMessageBox box(
        QMessageBox::Information, product::name,
        QStringLiteral("操作説明書が見つかりません。次のどれかの場所に置いてください。\n\n%1"
                       "\n\nサポート: %2")
            .arg(candidates.join(u'\n'), product::supportUrl),
        QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ManualMissing"));
    m_services.prompts->exec(box);
}

void TMainForm::openLastChart() {
    setStatusText(StatusPanel::Message, QString());
    if (m_lastChart.isEmpty()) {
        return;
    }
    if (!QFileInfo(m_lastChart).isFile() ||
        !m_services.urlOpener->open(QUrl::fromLocalFile(m_lastChart))) {
        setStatusText(StatusPanel::Message, QStringLiteral("ファイルを開くことができません。"));
    }
}

void TMainForm::openSupport() {
    m_services.urlOpener->open(QUrl(product::supportUrl));
}

void TMainForm::showProductInfo() {
    QMessageBox box(QMessageBox::Information, QStringLiteral("製品情報"),
                    QStringLiteral("%1\nバージョン %2\nQt %3")
                        .arg(product::name, product::version, QString::fromLatin1(qVersion())),
                    QMessageBox::Ok, this);
    m_services.prompts->exec(box);
}
