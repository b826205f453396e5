// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/tdbregchkform.h"

#include "index/chartindex.h"
#include "index/indexjob.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/registrationwalk.h"
#include "index/maintenance/statuspanels.h"
#include "platform/backgroundjob.h"
#include "platform/programfiles.h"
#include "platform/sha256.h"
#include "platform/userprompts.h"
#include "settings/foldertree.h"
#include "settings/integertext.h"
#include "settings/tpathstring.h"
#include "settings/tregistory.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <thread>

using maintenance::RegistrationWalk;
namespace texts = maintenance::texts;
using Panel = StatusPanels::Panel;

namespace {

/// A keyword never carries a control character (a pasted line break would end up in the row).
QString blankControls(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    return text;
}

QPushButton* smallButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(text) + 24);
    return button;
}

} // namespace

TDBRegChkForm::TDBRegChkForm(ChartIndex& index, TRegistory& settings, UserPrompts& prompts,
                             QWidget* parent)
    : QDialog(parent), m_index(index), m_settings(settings), m_prompts(prompts) {
    setObjectName(QStringLiteral("DBRegChkForm"));
    setWindowTitle(QStringLiteral("カルテ登録確認"));
    setModal(true);
    resize(820, 640);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* split = new QSplitter(Qt::Vertical, this);
    auto* upper = new QSplitter(Qt::Horizontal, split);
    m_tree = new FolderTree(upper);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setAccessibleName(QStringLiteral("確認するフォルダーの選択"));
    auto* right = new QWidget(upper);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addWidget(buildFileArea());
    rightLayout->addWidget(buildKeywordArea());
    auto* buttons = new QHBoxLayout;
    m_registerButton = new QPushButton(QStringLiteral("登録"), right);
    m_registerButton->setObjectName(QStringLiteral("RegisterButton"));
    m_nextButton = new QPushButton(QStringLiteral("次へ"), right);
    m_nextButton->setObjectName(QStringLiteral("NextButton"));
    buttons->addStretch(1);
    for (QPushButton* button : {m_registerButton, m_nextButton}) {
        button->setAutoDefault(false);
        button->setEnabled(false);
        buttons->addWidget(button);
    }
    rightLayout->addLayout(buttons);
    rightLayout->addStretch(1);
    upper->addWidget(m_tree);
    upper->addWidget(right);
    upper->setStretchFactor(0, 1);
    upper->setStretchFactor(1, 1);

    auto* lower = new QWidget(split);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    m_log = new ResultList(lower);
    m_log->setObjectName(QStringLiteral("LogMemo"));
    m_log->setAccessibleName(QStringLiteral("確認結果"));
    lowerLayout->addWidget(m_log, 1);
    auto* walkBar = new QHBoxLayout;
    walkBar->setContentsMargins(6, 2, 6, 2);
    m_exploreButton = new QPushButton(QStringLiteral("探索"), lower);
    m_exploreButton->setObjectName(QStringLiteral("ExploreButton"));
    m_interruptButton = new QPushButton(QStringLiteral("中断"), lower);
    m_interruptButton->setObjectName(QStringLiteral("InterruptButton"));
    for (QPushButton* button : {m_exploreButton, m_interruptButton}) {
        button->setAutoDefault(false);
        walkBar->addWidget(button);
    }
    m_interruptButton->setEnabled(false);
    walkBar->addStretch(1);
    lowerLayout->addLayout(walkBar);
    split->addWidget(upper);
    split->addWidget(lower);
    layout->addWidget(split, 1);

    m_status = new StatusPanels(this);
    layout->addWidget(m_status);
    buildMenus();

    connect(m_tree, &FolderTree::folderChosen, this,
            [this](const QString& path) { m_chosenFolder = path; });
    // A click on the folder that is selected already chooses it too: after the window is
    // reopened, a folder that still looks selected must be clicked again.
    connect(m_tree, &QTreeView::clicked, this, [this] { m_chosenFolder = m_tree->selectedPath(); });
    connect(m_exploreButton, &QPushButton::clicked, this, &TDBRegChkForm::explore);
    connect(m_interruptButton, &QPushButton::clicked, this, &TDBRegChkForm::stopWalk);
    connect(m_nextButton, &QPushButton::clicked, this, &TDBRegChkForm::nextCandidate);
    connect(m_registerButton, &QPushButton::clicked, this, &TDBRegChkForm::registerCurrentFile);
}

TDBRegChkForm::~TDBRegChkForm() = default;

void TDBRegChkForm::buildMenus() {
    auto* menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(QStringLiteral("ファイル"));
    m_saveLog = file->addAction(QStringLiteral("ログ　保存"));
    m_saveLog->setObjectName(QStringLiteral("SaveLog"));
    m_printLog = file->addAction(QStringLiteral("ログ　印刷"));
    m_printLog->setObjectName(QStringLiteral("PrintLog"));
    file->addSeparator();
    m_close = file->addAction(QStringLiteral("閉じる"));
    m_close->setObjectName(QStringLiteral("Close"));
    QMenu* edit = menuBar->addMenu(QStringLiteral("編集"));
    m_pasteKeyword = edit->addAction(QStringLiteral("キーワード　貼り付け"));
    m_pasteKeyword->setObjectName(QStringLiteral("PasteKeyword"));
    edit->addSeparator();
    m_clearLog = edit->addAction(QStringLiteral("ログ　クリア"));
    m_clearLog->setObjectName(QStringLiteral("ClearLog"));
    m_copyLog = edit->addAction(QStringLiteral("ログ　コピー"));
    m_copyLog->setObjectName(QStringLiteral("CopyLog"));
    m_selectLog = edit->addAction(QStringLiteral("ログ　全て選択"));
    m_selectLog->setObjectName(QStringLiteral("SelectLog"));
    QMenu* options = menuBar->addMenu(QStringLiteral("設定"));
    m_registerOption = options->addAction(QStringLiteral("カルテ情報をデータベースへ登録する。"));
    m_registerOption->setObjectName(QStringLiteral("RegisterOption"));
    m_registerOption->setCheckable(true);
    m_registerOption->setChecked(true);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(menuBar);

    connect(m_saveLog, &QAction::triggered, this,
            [this] { resultlist::saveAsRtf(this, m_prompts, m_log->lines()); });
    connect(m_printLog, &QAction::triggered, this, [this] {
        resultlist::print(this, m_prompts, m_printerSetup, texts::RegistrationJob, m_log->lines());
    });
    connect(m_close, &QAction::triggered, this, &TDBRegChkForm::reject);
    connect(m_pasteKeyword, &QAction::triggered, this, &TDBRegChkForm::pasteKeyword);
    connect(m_clearLog, &QAction::triggered, m_log, &ResultList::clearLines);
    connect(m_copyLog, &QAction::triggered, m_log, &ResultList::copy);
    connect(m_selectLog, &QAction::triggered, m_log, &ResultList::selectAll);
}

QWidget* TDBRegChkForm::buildFileArea() {
    auto* box = new QGroupBox(QStringLiteral(" 探索ファイル名 "));
    auto* grid = new QGridLayout(box);
    m_fileDisplay = new QLabel(box);
    m_fileDisplay->setObjectName(QStringLiteral("FileDisplay"));
    m_fileDisplay->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_fileDisplay->setMinimumWidth(200);
    grid->addWidget(m_fileDisplay, 0, 0, 1, 4);
    m_idEdit = new QLineEdit(box);
    m_idEdit->setObjectName(QStringLiteral("IdEdit"));
    m_volNoEdit = new QLineEdit(QStringLiteral("0"), box);
    m_idEdit->setAccessibleName(QStringLiteral("患者番号"));
    m_volNoEdit->setAccessibleName(QStringLiteral("連番"));
    m_volNoEdit->setObjectName(QStringLiteral("VolNoEdit"));
    m_idEdit->setMaxLength(12);
    m_volNoEdit->setMaxLength(6);
    grid->addWidget(new QLabel(QStringLiteral("患者番号"), box), 1, 0);
    grid->addWidget(m_idEdit, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("連番"), box), 1, 2);
    grid->addWidget(m_volNoEdit, 1, 3);
    return box;
}

QWidget* TDBRegChkForm::buildKeywordArea() {
    auto* area = new QGroupBox;
    auto* grid = new QGridLayout(area);
    grid->addWidget(new QLabel(QStringLiteral("クリア"), area), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("キーワード"), area), 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("追加"), area), 0, 3);
    for (int row = 0; row < KeyRows; ++row) {
        const auto n = size_t(row);
        m_clearButtons[n] = smallButton(QStringLiteral("×"), area);
        m_clearButtons[n]->setObjectName(QStringLiteral("Clr%1Btn").arg(row + 1));
        m_keyLabels[n] = new QLabel(area);
        m_keyLabels[n]->setObjectName(QStringLiteral("KeyLabel%1").arg(row + 1));
        m_keyBoxes[n] = new QComboBox(area);
        m_keyBoxes[n]->setObjectName(QStringLiteral("KeyBox%1").arg(row + 1));
        m_keyBoxes[n]->setAccessibleName(QStringLiteral("キーワード%1").arg(row + 1));
        m_keyBoxes[n]->setEditable(true);
        // The lists grow only through the add buttons, not by Enter in the box.
        m_keyBoxes[n]->setInsertPolicy(QComboBox::NoInsert);
        m_keyBoxes[n]->setMinimumWidth(180);
        m_addButtons[n] = smallButton(QStringLiteral("＋"), area);
        m_addButtons[n]->setObjectName(QStringLiteral("Add%1Btn").arg(row + 1));
        grid->addWidget(m_clearButtons[n], row + 1, 0);
        grid->addWidget(m_keyLabels[n], row + 1, 1);
        grid->addWidget(m_keyBoxes[n], row + 1, 2);
        grid->addWidget(m_addButtons[n], row + 1, 3);
        QComboBox* box = m_keyBoxes[n];
        connect(m_clearButtons[n], &QPushButton::clicked, box, &QComboBox::clearEditText);
        connect(m_addButtons[n], &QPushButton::clicked, box, [box] {
            const QString text = box->currentText();
            box->addItem(text);
            box->setEditText(text); // adding the first item would otherwise select it
        });
    }
    m_clearAll = new QPushButton(QStringLiteral("全てクリア"), area);
    m_clearAll->setObjectName(QStringLiteral("ClearAllButton"));
    m_clearAll->setAutoDefault(false);
    grid->addWidget(m_clearAll, KeyRows + 1, 1, 1, 2, Qt::AlignLeft);
    connect(m_clearAll, &QPushButton::clicked, this, [this] {
        for (QComboBox* box : m_keyBoxes) {
            box->clearEditText();
        }
    });
    return area;
}

void TDBRegChkForm::prepareToShow() {
    m_registerOption->setChecked(m_settings.DBRegist);
    const std::array<QString, KeyRows> captions{m_settings.KeyLabel1, m_settings.KeyLabel2,
                                                m_settings.KeyLabel3, m_settings.KeyLabel4};
    for (size_t n = 0; n < captions.size(); ++n) {
        m_keyLabels[n]->setText(captions[n]);
    }
    m_idEdit->clear();
    // The tree opens at the archive, but the folder to walk is only chosen by a click.
    m_tree->selectFolder(m_settings.Target);
    m_chosenFolder.clear();
    showCurrentFile(QString());
    m_registerButton->setEnabled(false);
    m_nextButton->setEnabled(false);
    m_log->clearLines();
    m_candidates.clear();
    m_status->clearBoth();
}

void TDBRegChkForm::storeOption() {
    m_settings.DBRegist = m_registerOption->isChecked();
}

void TDBRegChkForm::execute() {
    prepareToShow();
    m_prompts.exec(*this);
    storeOption();
}

void TDBRegChkForm::showCurrentFile(const QString& path) {
    m_currentFile = path;
    m_fileDisplay->setText(path);
}

void TDBRegChkForm::explore() {
    if (isWalking()) {
        return;
    }
    m_status->clearBoth();
    m_log->clearLines();
    m_candidates.clear();
    // The candidates of the last walk are gone: nothing may be registered until this one ends.
    m_registerButton->setEnabled(false);
    m_nextButton->setEnabled(false);
    m_exploreButton->setEnabled(false);
    // The chosen folder must be the archive base folder or lie below it as a path: "/arch2"
    // is not inside "/arch".
    // A link inside the archive that leads out of it is refused too: the walk would list what
    // lies elsewhere.
    const QString resolved = QFileInfo(m_chosenFolder).canonicalFilePath();
    const QString resolvedBase = QFileInfo(m_settings.Target).canonicalFilePath();
    if (!maintenance::isInsideFolder(m_chosenFolder, m_settings.Target) ||
        !QFileInfo(m_chosenFolder).isDir() || resolved.isEmpty() ||
        !maintenance::isInsideFolder(resolved, resolvedBase)) {
        m_status->setText(Panel::Message, texts::FolderRefused);
        m_interruptButton->setEnabled(false);
        m_exploreButton->setEnabled(true);
        return;
    }
    m_registerThisWalk = m_registerOption->isChecked();
    m_interruptButton->setEnabled(true);
    m_status->showProgress(0, 0);
    TDBRegChkForm* self = this; // what the job sends runs here, while the job lives
    m_job = BackgroundJob::start(this, [self, folder = m_index.programFolder(),
                                        walked = QDir::cleanPath(m_chosenFolder), batch = m_batch,
                                        rest = m_rest](JobContext& job) {
        using State = RegistrationWalk::State;
        State state = State::IndexFailed;
        chartindex::withReadingIndex(
            job, folder,
            [&](ChartIndex& index) {
                RegistrationWalk walk(index, walked);
                walk.setStopPredicate([&job] { return job.stopRequested(); });
                do {
                    std::vector<RegistrationWalk::Unregistered> found;
                    state = walk.step(batch, &found);
                    job.send([self, found = std::move(found), file = walk.currentFile()] {
                        self->takeFound(found, file);
                    });
                    if (rest.count() > 0 && !job.stopRequested()) {
                        std::this_thread::sleep_for(rest);
                    }
                } while ((state == State::Reading || state == State::Walking) &&
                         !job.stopRequested());
            },
            nullptr);
        job.send([self, state] { self->walkEnded(state); });
    });
}

void TDBRegChkForm::takeFound(const std::vector<RegistrationWalk::Unregistered>& found,
                              const QString& currentFile) {
    QStringList lines;
    for (const auto& file : found) {
        lines << file.path;
        // A name that is not valid in the file system's encoding has no path that reaches
        // the file again: it is logged, never registered.
        if (m_registerThisWalk && file.reachable) {
            m_candidates << file.path;
        }
    }
    m_log->appendLines(lines);
    if (!currentFile.isEmpty()) {
        showCurrentFile(currentFile);
    }
}

void TDBRegChkForm::walkEnded(RegistrationWalk::State state) {
    finishWalk();
    switch (state) {
    case RegistrationWalk::State::FolderFailed:
        m_status->setText(Panel::Message, texts::WalkError);
        break;
    case RegistrationWalk::State::IndexFailed:
        m_status->setText(Panel::Message, texts::DatabaseFault);
        break;
    default:
        break;
    }
}

void TDBRegChkForm::stopWalk() {
    if (!isWalking()) {
        return;
    }
    finishWalk();
    m_status->setText(Panel::Message, texts::Stopped);
}

void TDBRegChkForm::finishWalk() {
    if (m_job) {
        m_job->stop();
        m_job->deleteLater();
        m_job = nullptr;
    }
    m_status->hideProgress();
    if (m_candidates.isEmpty()) {
        m_registerButton->setEnabled(false);
        m_nextButton->setEnabled(false);
    } else {
        m_currentIndex = 0;
        showCurrentFile(m_candidates.first());
        m_registerButton->setEnabled(true);
        m_nextButton->setEnabled(m_candidates.size() >= 2);
    }
    m_exploreButton->setEnabled(true);
    m_interruptButton->setEnabled(false);
    m_status->setText(Panel::Count, QString::number(m_candidates.size()));
}

void TDBRegChkForm::nextCandidate() {
    if (m_currentIndex + 1 >= m_candidates.size()) {
        m_nextButton->setEnabled(false);
        return;
    }
    ++m_currentIndex;
    showCurrentFile(m_candidates.at(m_currentIndex));
    m_registerButton->setEnabled(true);
    m_nextButton->setEnabled(m_currentIndex < m_candidates.size() - 1);
}

void TDBRegChkForm::registerCurrentFile() {
    m_status->setText(Panel::Message, QString());
    const auto pidno = parseSignedInteger(m_idEdit->text());
    if (!pidno || *pidno <= 0 || *pidno >= 100000000) {
        m_status->setText(Panel::Message, texts::PatientNumberError);
        return;
    }
    const auto subNo = parseSignedInteger(m_volNoEdit->text());
    if (!subNo || *subNo < 0 || *subNo >= 1000) {
        m_status->setText(Panel::Message, texts::SerialNumberError);
        return;
    }
    TPathString path;
    path.setLayout(m_settings);
    path.SetNumber(*pidno);
    // The file must lie inside the patient folder as a path; containing its text somewhere
    // (as "/x/arch/00/00/00/12/..." contains "/arch/00/00/00/12") is not enough.
    if (m_currentFile.isEmpty() || !maintenance::isInsideFolder(m_currentFile, path.Folder()) ||
        QDir::cleanPath(m_currentFile) == QDir::cleanPath(path.Folder())) {
        m_status->setText(Panel::Message, texts::PathError);
        return;
    }
    chartindex::ChartRow row;
    row.pidno = *pidno;
    row.subNo = *subNo;
    row.filePath = m_currentFile;
    for (size_t n = 0; n < row.keys.size(); ++n) {
        row.keys[n] = blankControls(m_keyBoxes[n]->currentText());
    }
    // The hash lets a later verification tell whether the file is still the one registered.
    // A chart whose save could not write its row left the hash taken while it was written:
    // that one, so that a chart changed since is found out. Otherwise the file as it is now; a
    // file that cannot be read now is registered without one, as a file of any kind is.
    const auto keptHash = programfiles::writtenHash(m_currentFile);
    QString unread;
    if (keptHash) {
        row.sha256 = *keptHash;
    } else if (auto hash = Sha256::ofFile(m_currentFile, &unread)) {
        row.sha256 = *hash;
    }
    if (!m_index.registerChart(row)) {
        m_status->setText(Panel::Message, texts::DatabaseFault);
        return;
    }
    if (keptHash) {
        programfiles::forgetWrittenHash(m_currentFile);
    }
    m_status->setText(Panel::Message, texts::Registered);
    m_registerButton->setEnabled(false);
    for (QComboBox* box : m_keyBoxes) {
        box->clearEditText();
    }
}

void TDBRegChkForm::pasteKeyword() {
    QWidget* focus = QApplication::focusWidget();
    for (QComboBox* box : m_keyBoxes) {
        if (focus && (focus == box || box->isAncestorOf(focus))) {
            box->setEditText(blankControls(QApplication::clipboard()->text()));
            return;
        }
    }
}

void TDBRegChkForm::closeEvent(QCloseEvent* event) {
    stopWalk(); // the walk stops with the window, keeping what it found
    QDialog::closeEvent(event);
}

void TDBRegChkForm::reject() {
    stopWalk();
    QDialog::reject();
}
