// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/tpeloraexistform.h"

#include "index/chartindex.h"
#include "index/indexjob.h"
#include "index/maintenance/existencecheck.h"
#include "index/maintenance/maintenancetexts.h"
#include "index/maintenance/statuspanels.h"
#include "platform/backgroundjob.h"
#include "platform/userprompts.h"
#include "settings/integertext.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
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
      m_resultMemo(new ResultList(this)), m_status(new StatusPanels(this)) {
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

    connect(m_runButton, &QPushButton::clicked, this, &TPeloraExistForm::startRun);
    connect(m_stopButton, &QPushButton::clicked, this, &TPeloraExistForm::stopRun);
    connect(m_save, &QAction::triggered, this,
            [this] { resultlist::saveAsRtf(this, m_prompts, m_resultMemo->lines()); });
    connect(m_print, &QAction::triggered, this, [this] {
        resultlist::print(this, m_prompts, m_printerSetup, texts::MissingFileJob,
                          m_resultMemo->lines());
    });
    connect(m_close, &QAction::triggered, this, &TPeloraExistForm::reject);
    connect(m_copy, &QAction::triggered, m_resultMemo, &ResultList::copy);
    connect(m_selectAll, &QAction::triggered, m_resultMemo, &ResultList::selectAll);
}

TPeloraExistForm::~TPeloraExistForm() = default;

void TPeloraExistForm::execute() {
    m_status->clearBoth();
    if (m_listStopped) {
        // A list left by a stopped run is never shown as if it were the whole range.
        m_status->setText(StatusPanels::Panel::Count, QString::number(m_resultMemo->lineCount()));
        m_status->setText(StatusPanels::Panel::Message, texts::Stopped);
    }
    m_prompts.exec(*this);
}

void TPeloraExistForm::startRun() {
    if (isRunning()) {
        return; // runs never overlap: the button is disabled during one anyway
    }
    m_status->clearBoth();
    m_resultMemo->clearLines();
    m_listStopped = false;
    const auto from = readBound(m_fromEdit);
    const auto to = from ? readBound(m_toEdit) : std::nullopt;
    if (!from || !to || *to < *from) {
        m_status->setText(StatusPanels::Panel::Message, texts::RangeError);
        return;
    }
    m_contentFindings.clear();
    m_contentsChecked = m_contentCheck->isChecked();
    m_rowsToCheck = 0;
    m_runButton->setEnabled(false);
    m_status->showProgress(0, 0);
    // What the job sends runs here, and only while the job (a child of this window) lives.
    TPeloraExistForm* self = this;
    m_job = BackgroundJob::start(this, [self, folder = m_index.programFolder(), from = *from,
                                        to = *to, contents = m_contentsChecked,
                                        batch = m_batch](JobContext& job) {
        QString error;
        const bool opened = chartindex::withReadingIndex(
            job, folder,
            [&](ChartIndex& index) {
                IndexCursor range = index.patientRange(from, to);
                const auto count = range.count();
                if (!count) {
                    error = range.error();
                    return;
                }
                job.send([self, rows = *count] { self->rowsCounted(rows); });
                if (*count == 0) {
                    return;
                }
                ExistenceCheck check(maintenance::rowsToCheck(index, from, to, *count), from, to);
                if (contents) {
                    check.checkContents(index, [&job] { return job.stopRequested(); });
                }
                while (!job.stopRequested()) {
                    QStringList missing;
                    std::vector<ExistenceCheck::ContentFinding> found;
                    const auto state = check.step(batch, &missing, &found);
                    job.send([self, missing = std::move(missing), found = std::move(found),
                              examined = check.examined()] {
                        self->takeBatch(missing, found, examined);
                    });
                    if (state == ExistenceCheck::State::Failed) {
                        error = check.error();
                        return;
                    }
                    if (state == ExistenceCheck::State::Done) {
                        return;
                    }
                }
            },
            &error);
        if (!opened && error.isEmpty()) {
            error = QStringLiteral("the chart index cannot be opened");
        }
        job.send([self, error] { self->runEnded(error); });
    });
}

void TPeloraExistForm::rowsCounted(qint64 rows) {
    m_rowsToCheck = rows;
    if (rows == 0) {
        m_status->setText(StatusPanels::Panel::Message, texts::NoRowsInRange);
    }
    m_status->showProgress(0, rows);
}

void TPeloraExistForm::takeBatch(const QStringList& missing,
                                 const std::vector<ExistenceCheck::ContentFinding>& contents,
                                 qint64 examined) {
    m_resultMemo->appendLines(missing);
    m_contentFindings.insert(m_contentFindings.end(), contents.begin(), contents.end());
    m_status->showProgress(examined, m_rowsToCheck);
}

void TPeloraExistForm::runEnded(const QString& error) {
    if (!error.isEmpty()) {
        endJob();
        m_status->setText(StatusPanels::Panel::Message, texts::SearchError);
        return;
    }
    if (m_rowsToCheck == 0) {
        endJob();
        return;
    }
    finishRun();
}

void TPeloraExistForm::endJob() {
    if (m_job) {
        m_job->stop();
        m_job->deleteLater();
        m_job = nullptr;
    }
    m_status->hideProgress();
    m_runButton->setEnabled(true);
}

void TPeloraExistForm::stopRun() {
    if (!isRunning()) {
        return;
    }
    endJob();
    m_listStopped = true;
    // What was found so far stays, and says that it is not the whole range.
    m_status->setText(StatusPanels::Panel::Count, QString::number(m_resultMemo->lineCount()));
    m_status->setText(StatusPanels::Panel::Message, texts::Stopped);
}

void TPeloraExistForm::finishRun() {
    endJob();
    qint64 found = m_resultMemo->lineCount();
    if (m_contentsChecked) {
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
    stopRun(); // a run stops with the window; what it found stays, marked as stopped
    QDialog::closeEvent(event);
}

void TPeloraExistForm::reject() {
    stopRun();
    QDialog::reject();
}
