#include "index/maintenance/tpeloraexistform.h"

#include "index/chartindex.h"
#include "index/maintenance/existencecheck.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "platform/userprompts.h"
#include "settings/integertext.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using maintenance::ExistenceCheck;
namespace texts = maintenance::texts;

namespace {

/// A bound of the range: an integer from 1 to 99999999.
std::optional<int> readBound(const QLineEdit* edit) {
    const auto value = parseSignedInteger(edit->text());
    if (!value || *value < 1 || *value > 99999999) {
        return std::nullopt;
    }
    return value;
}

} // namespace

TPeloraExistForm::TPeloraExistForm(ChartIndex& index, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_index(index), m_prompts(prompts), m_fromEdit(new QLineEdit(this)),
      m_toEdit(new QLineEdit(this)), m_runButton(new QPushButton(QStringLiteral("実行"), this)),
      m_stopButton(new QPushButton(QStringLiteral("停止"), this)),
      m_contentCheck(new QCheckBox(QStringLiteral("内容も確認する"), this)),
      m_resultMemo(new ResultList(this)), m_status(new StatusPanels(this)),
      m_slices(new QTimer(this)) {
    setObjectName(QStringLiteral("PeloraExistForm"));
    setWindowTitle(QStringLiteral("カルテ存在確認"));
    setModal(true);
    resize(640, 480);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(QStringLiteral("ファイル"));
    m_save = file->addAction(QStringLiteral("保存"));
    m_save->setObjectName(QStringLiteral("Save"));
    m_print = file->addAction(QStringLiteral("印刷"));
    m_print->setObjectName(QStringLiteral("Print"));
    file->addSeparator();
    m_close = file->addAction(QStringLiteral("閉じる"));
    m_close->setObjectName(QStringLiteral("Close"));
    QMenu* edit = menuBar->addMenu(QStringLiteral("編集"));
    m_copy = edit->addAction(QStringLiteral("コピー"));
    m_copy->setObjectName(QStringLiteral("Copy"));
    m_selectAll = edit->addAction(QStringLiteral("全て選択"));
    m_selectAll->setObjectName(QStringLiteral("SelectAll"));
    layout->setMenuBar(menuBar);

    auto* top = new QWidget(this);
    auto* bar = new QHBoxLayout(top);
    bar->setContentsMargins(6, 4, 6, 4);
    bar->addWidget(new QLabel(QStringLiteral("患者番号"), top));
    bar->addWidget(new QLabel(QStringLiteral("範囲"), top));
    m_fromEdit->setObjectName(QStringLiteral("FromEdit"));
    m_toEdit->setObjectName(QStringLiteral("ToEdit"));
    m_fromEdit->setAccessibleName(QStringLiteral("患者番号の範囲の始め"));
    m_toEdit->setAccessibleName(QStringLiteral("患者番号の範囲の終わり"));
    for (QLineEdit* box : {m_fromEdit, m_toEdit}) {
        box->setMaxLength(12);
        box->setFixedWidth(100);
    }
    bar->addWidget(m_fromEdit);
    bar->addWidget(new QLabel(QStringLiteral("～"), top));
    bar->addWidget(m_toEdit);
    m_runButton->setObjectName(QStringLiteral("RunButton"));
    m_stopButton->setObjectName(QStringLiteral("StopButton"));
    m_runButton->setAutoDefault(false);
    m_stopButton->setAutoDefault(false);
    bar->addWidget(m_runButton);
    bar->addWidget(m_stopButton);
    m_contentCheck->setObjectName(QStringLiteral("ContentCheck"));
    m_contentCheck->setToolTip(
        QStringLiteral("カルテを読み直し、保存したときのハッシュと比べます（時間がかかります）"));
    bar->addWidget(m_contentCheck);
    bar->addStretch(1);
    layout->addWidget(top);

    m_resultMemo->setObjectName(QStringLiteral("ResultMemo"));
    m_resultMemo->setAccessibleName(QStringLiteral("確認結果"));
    layout->addWidget(m_resultMemo, 1);
    layout->addWidget(m_status);

    m_slices->setInterval(0);
    connect(m_slices, &QTimer::timeout, this, &TPeloraExistForm::runSlice);
    connect(m_runButton, &QPushButton::clicked, this, &TPeloraExistForm::startRun);
    connect(m_stopButton, &QPushButton::clicked, this, [this] { m_stopRequested = true; });
    connect(m_save, &QAction::triggered, this,
            [this] { resultlist::saveAsRtf(this, m_prompts, m_resultMemo->lines()); });
    connect(m_print, &QAction::triggered, this, [this] {
        resultlist::print(this, m_prompts, m_printerSetup, texts::MissingFileJob,
                          m_resultMemo->lines());
    });
    connect(m_close, &QAction::triggered, this, &TPeloraExistForm::reject);
    connect(m_copy, &QAction::triggered, m_resultMemo, &QPlainTextEdit::copy);
    connect(m_selectAll, &QAction::triggered, m_resultMemo, &QPlainTextEdit::selectAll);
}

TPeloraExistForm::~TPeloraExistForm() = default;

void TPeloraExistForm::execute() {
    m_status->clearBoth();
    m_prompts.exec(*this);
}

void TPeloraExistForm::startRun() {
    if (isRunning()) {
        return; // runs never overlap: the button is disabled during one anyway
    }
    m_status->clearBoth();
    m_resultMemo->clearLines();
    const auto from = readBound(m_fromEdit);
    const auto to = from ? readBound(m_toEdit) : std::nullopt;
    if (!from || !to || *to < *from) {
        m_status->setText(StatusPanels::Panel::Message, texts::RangeError);
        return;
    }
    IndexCursor rows = m_index.patientRange(*from, *to);
    const auto count = rows.count();
    if (!count) {
        m_status->setText(StatusPanels::Panel::Message, texts::SearchError);
        return;
    }
    if (*count == 0) {
        m_status->setText(StatusPanels::Panel::Message, texts::NoRowsInRange);
        return;
    }
    m_rowsToCheck = *count;
    m_check = std::make_unique<ExistenceCheck>(
        maintenance::rowsToCheck(m_index, *from, *to, *count), *from, *to);
    m_contentFindings.clear();
    if (m_contentCheck->isChecked()) {
        m_check->checkContents(m_index);
    }
    m_stopRequested = false;
    m_runButton->setEnabled(false);
    m_status->showProgress(0, m_rowsToCheck);
    m_slices->start();
}

void TPeloraExistForm::runSlice() {
    if (!m_check) {
        m_slices->stop();
        return;
    }
    if (m_stopRequested) {
        finishRun();
        return;
    }
    QStringList missing;
    const auto state = m_check->step(m_slice, &missing, &m_contentFindings);
    m_resultMemo->appendLines(missing);
    m_status->showProgress(m_check->examined(), m_rowsToCheck);
    if (state == ExistenceCheck::State::Failed) {
        finishRun();
        m_status->setText(StatusPanels::Panel::Message, texts::SearchError);
        return;
    }
    if (state == ExistenceCheck::State::Done) {
        finishRun();
    }
}

void TPeloraExistForm::finishRun() {
    m_slices->stop();
    const bool contentsChecked = m_check && m_contentCheck->isChecked();
    m_check.reset();
    m_status->hideProgress();
    m_runButton->setEnabled(true);
    qint64 found = m_resultMemo->lineCount();
    if (contentsChecked) {
        // The charts whose bytes are not the ones filed follow the missing ones, each kind
        // under its heading.
        using chartverification::ChartState;
        const std::pair<ChartState, QString> kinds[] = {
            {ChartState::Changed, texts::ChangedCharts},
            {ChartState::Unreadable, texts::UnreadableCharts},
            {ChartState::NotHashed, texts::UnhashedCharts},
        };
        for (const auto& [state, heading] : kinds) {
            QStringList paths;
            for (const auto& finding : m_contentFindings) {
                if (finding.state == state) {
                    paths << finding.filePath;
                }
            }
            if (!paths.isEmpty()) {
                m_resultMemo->appendLines(QStringList{QString(), heading} + paths);
                found += paths.size();
            }
        }
    }
    m_status->setText(StatusPanels::Panel::Count, QString::number(found));
    m_status->setText(StatusPanels::Panel::Message, texts::Done);
}

void TPeloraExistForm::closeEvent(QCloseEvent* event) {
    if (isRunning()) {
        finishRun(); // a run stops with the window, keeping what it found
    }
    QDialog::closeEvent(event);
}

void TPeloraExistForm::reject() {
    if (isRunning()) {
        finishRun();
    }
    QDialog::reject();
}
