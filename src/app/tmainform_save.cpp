// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's save command: checks on the GUI thread, the PDF on a worker thread, and
// the steps after it back on the GUI thread, with the page list commands held off meanwhile.

#include "app/tmainform.h"
#include "platform/backgroundjob.h"

#include "app/creationlog.h"
#include "app/keywordpanel.h"
#include "app/messages.h"
#include "app/pageworkspace.h"
#include "app/terrorlogform.h"
#include "app/warningdialogs.h"
#include "platform/userprompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QtConcurrent/QtConcurrentRun>

/// The save pipeline's view of the main window.
class MainFormSaveFrontEnd final : public SaveFrontEnd {
public:
    explicit MainFormSaveFrontEnd(TMainForm& form) : m_form(form) {}

    void showStatus(const QString& text) override {
        m_form.setStatusText(TMainForm::StatusPanel::Message, text);
    }
    void showOverwriteRefused(const QString& fileName) override {
        m_form.m_notOverwrite->prepare(fileName);
        m_form.m_services.prompts->exec(*m_form.m_notOverwrite);
    }
    void showCannotCreate(const QString& pathOrName) override {
        m_form.m_notMakeFolder->prepare(pathOrName);
        m_form.m_services.prompts->exec(*m_form.m_notMakeFolder);
    }
    void addErrorLogLine(const QString& line) override { m_form.m_errorLog->addLine(line); }
    void showWaiting(const QString& text) override {
        m_form.setStatusText(TMainForm::StatusPanel::Message, text);
        // The wait blocks this thread; the message must reach the screen before it.
        m_form.statusBar()->repaint();
    }
    scannerfolder::AfterFailure cannotDelete(const QString& name) override {
        return m_form.askAfterFailedDeletion(name);
    }
    void showClearingRefused(const QString& why) override {
        m_form.m_clearingRefused->prepare(why);
        m_form.m_services.prompts->exec(*m_form.m_clearingRefused);
    }
    void keepOnlyPages(const QStringList& keptFiles) override {
        m_form.m_workspace->clearPages();
        if (!keptFiles.isEmpty()) {
            m_form.m_workspace->appendPages(keptFiles);
        }
    }
    void showPagesLeftOut(const QStringList& files, const QString& movedInto) override {
        m_form.m_pagesLeftOut->prepare(
            fileNames(files),
            movedInto.isEmpty() ? QString()
                                : messages::PagesSetAside.arg(QDir::toNativeSeparators(movedInto)));
        m_form.m_services.prompts->exec(*m_form.m_pagesLeftOut);
    }
    bool confirmPartialPages(const QStringList& files) override {
        // Through exec() rather than question(): only a message box of our own can make "No"
        // the button that Enter presses.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"),
                        ChartSaver::PartialPagesQuestion, QMessageBox::Yes | QMessageBox::No,
                        &m_form);
        box.setObjectName(QStringLiteral("PartialPages"));
        box.setInformativeText(fileNames(files).join(u'\n'));
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return m_form.m_services.prompts->exec(box) == QMessageBox::Yes;
    }

private:
    static QStringList fileNames(const QStringList& files) {
        QStringList names;
        for (const auto& file : files) {
            names << QFileInfo(file).fileName();
        }
        return names;
    }

    TMainForm& m_form;
};

void TMainForm::saveChart() {
    if (pageCommandsHeld()) {
        return;
    }
    showPatientCheck();
    if (!confirmPatientNumber()) {
        return;
    }

    ChartSaver::Input input;
    input.patientText = m_idEdit->text();
    input.serialText = m_volNoEdit->text();
    input.keywords = m_keywords->keywords();
    const PageList& pages = m_workspace->pages();
    for (int i = 0; i < pages.count(); ++i) {
        const APageList& page = pages.at(i);
        input.pages.push_back(SavePage{page.ImageFile, page.Note, page.Shiori});
    }
    input.removed = pages.removedFiles();

    MainFormSaveFrontEnd frontEnd(*this);
    const ChartSaver saver(*m_settings, m_services.clock);
    ChartSaver::Checked checked = saver.checkBeforeLock(input, frontEnd);
    if (checked.outcome != SaveOutcome::Saved) {
        return;
    }

    setStatusText(StatusPanel::Message, ChartSaver::WaitText);
    m_saving = true;
    updateBusyCommands();
    m_progress->setRange(0, static_cast<int>(checked.plan.pages.size()));
    m_progress->setValue(0);
    m_progress->setVisible(true);

    // The job takes the patient folder's lock (another workstation may hold it for a while)
    // and writes; this thread goes on answering. The plan is the job's until it has ended,
    // then the window's again: it holds the lock the job took.
    auto plan = std::make_shared<ChartSaver::Plan>(std::move(checked.plan));
    m_saveJob = BackgroundJob::start(this, [this, plan](JobContext& job) {
        const ChartSaver::Locked locked = ChartSaver::lockFolder(*plan, [this, &job] {
            job.send([this] { setStatusText(StatusPanel::Message, ChartSaver::ChartBusyText); });
        });
        ChartSaver::Written written;
        if (locked.outcome != SaveOutcome::Saved) {
            written.outcome = locked.outcome;
            written.error = locked.error;
        } else {
            written = ChartSaver::write(*plan, [this, &job](int done, int, const QString& file) {
                job.send([this, done, file] {
                    setStatusText(StatusPanel::Message, file);
                    m_progress->setValue(done);
                });
            });
        }
        job.send([this, plan, written] {
            m_saveJob = nullptr;
            onChartWritten(*plan, written);
        });
    });
    connect(m_saveJob, &BackgroundJob::finished, m_saveJob, &QObject::deleteLater);
}

void TMainForm::onChartWritten(const ChartSaver::Plan& plan, const ChartSaver::Written& written) {
    m_saving = false;
    updateBusyCommands();
    MainFormSaveFrontEnd frontEnd(*this);
    switch (written.outcome) {
    case SaveOutcome::Saved:
        runCommand([&] {
            const ChartSaver saver(*m_settings, m_services.clock);
            saver.finish(plan, written, frontEnd, *m_creationLog, *m_index);
        });
        endJournal(); // the chart is written: what a journal would bring back is in it
        // The file is written whatever the later steps said: the status bar tells where it went.
        m_lastChart = plan.chartPath;
        setStatusText(StatusPanel::ChartPath, QDir::toNativeSeparators(plan.chartPath));
        break;
    case SaveOutcome::OverwriteRefused: // another save took the name while this one wrote
        setStatusText(StatusPanel::Message, QString());
        frontEnd.showOverwriteRefused(plan.fileName);
        frontEnd.addErrorLogLine(ChartSaver::overwriteErrorLine(plan.chartPath));
        break;
    case SaveOutcome::NoPages:
        setStatusText(StatusPanel::Message, ChartSaver::NoPagesText);
        break;
    case SaveOutcome::FolderError:
        setStatusText(StatusPanel::Message, QString());
        if (!written.error.isEmpty()) {
            frontEnd.addErrorLogLine(written.error);
        }
        frontEnd.showCannotCreate(plan.fileName);
        break;
    default:
        setStatusText(StatusPanel::Message, QString());
        reportError(written.error);
        break;
    }
    plan.releaseLock();
}

void TMainForm::waitForSave() {
    while (m_saving) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}
