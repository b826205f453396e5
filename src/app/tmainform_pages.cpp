// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's page commands: intake, import, scanning, deletion, redrawing, the patient
// check and the clearing of the scanner folder.

#include "app/tmainform.h"

#include "app/messages.h"
#include "app/pageworkspace.h"
#include "app/patientcheckview.h"
#include "app/scannerfolder.h"
#include "app/tpagelistview.h"
#include "app/warningdialogs.h"
#include "chart/chartpageimage.h"
#include "imaging/imageopenerror.h"
#include "imaging/imagereader.h"
#include "imaging/timageio.h"
#include "platform/userprompts.h"
#include "settings/tdeletewarningform.h"
#include "settings/treadset.h"
#include "settings/tregistory.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>

namespace {

const QString filesCancelledMessage =
    QStringLiteral("読み込みファイルの指定はキャンセルされました。");
const QString noFileMessage = QStringLiteral("ファイルの指定がされていません。");
const QString folderCancelledMessage =
    QStringLiteral("読み込みフォルダーの指定はキャンセルされました。");
const QString dropRefusedMessage = QStringLiteral("画像ファイル以外は取り込めません。");

QString sameFolder(const QString& path) {
    return QDir::cleanPath(path);
}

} // namespace

int TMainForm::selectedPageIndex() const {
    return m_workspace->selectedIndex();
}

bool TMainForm::pageCommandsHeld() const {
    return m_workspace->isBusy() || m_saving || isStraightening();
}

std::optional<QString> TMainForm::startIntake() {
    setStatusText(StatusPanel::Message, QString());
    m_idEdit->clear();
    m_volNoEdit->setText(m_settings->VolNo);
    m_tabs->setCurrentIndex(static_cast<int>(Tab::PageCheck));
    scannerfolder::IntakeStart start = scannerfolder::startIntake(*m_settings);
    if (start.refusal != scannerfolder::IntakeRefusal::None) {
        setStatusText(StatusPanel::Message, start.message());
        return std::nullopt;
    }
    return std::move(start.filter);
}

void TMainForm::scannerIntake(bool replace) {
    if (pageCommandsHeld()) {
        return;
    }
    const auto filter = startIntake();
    if (!filter) {
        return;
    }
    if (replace) {
        m_workspace->clearPages();
        endJournal(); // the pages before are given up: their journal goes with them
    }
    const QStringList masks = scannerfolder::masks(*filter);
    takePages(scannerfolder::listImageFiles(m_settings->ScannerDir, masks), replace);
    if (!QFileInfo(m_settings->ScannerDir).isDir()) {
        setStatusText(StatusPanel::Message,
                      messages::NoScannerFolder); // the folder went away while it was being read
        return;
    }
    // Files no path can name are said, not silently passed over; they stay in the folder.
    const QStringList unreachable =
        scannerfolder::unreachableImageFiles(m_settings->ScannerDir, masks);
    if (!unreachable.isEmpty()) {
        m_unreachableFiles->prepare(unreachable);
        m_services.prompts->exec(*m_unreachableFiles);
    }
}

void TMainForm::folderIntake(bool replace) {
    if (pageCommandsHeld()) {
        return;
    }
    const auto filter = startIntake();
    if (!filter) {
        return;
    }
    const FileChoice choice =
        m_services.prompts->openFiles(this, m_settings->ScannerDir, *filter, true);
    if (!choice.accepted) {
        setStatusText(StatusPanel::Message, filesCancelledMessage);
        return;
    }
    if (choice.files.isEmpty()) {
        setStatusText(StatusPanel::Message, noFileMessage);
        return;
    }
    // Only files of the scanner folder are taken; others have to be imported first.
    if (sameFolder(QFileInfo(choice.files.first()).absolutePath()) !=
        sameFolder(m_settings->ScannerDir)) {
        setStatusText(StatusPanel::Message, folderCancelledMessage);
        return;
    }
    if (replace) {
        m_workspace->clearPages();
        endJournal(); // the pages before are given up: their journal goes with them
    }
    // The file dialog lists the chosen files in the order they were picked: Sequence 0 takes
    // them in that order, any other value in the reverse order.
    QStringList ordered = choice.files;
    if (m_settings->Sequence != 0) {
        std::reverse(ordered.begin(), ordered.end());
    }
    takePages(ordered, replace);
}

void TMainForm::takePages(const QStringList& files, bool replace) {
    QStringList added;
    for (const auto& path : files) {
        const QString name = QFileInfo(path).fileName();
        if (!replace && m_workspace->pages().containsFileName(name)) {
            continue; // adding: a page of that name is there already
        }
        added << QDir(m_settings->ScannerDir).filePath(name);
    }
    m_workspace->appendPages(added);
    m_workspace->setSelectedIndex(0);
    setStatusText(StatusPanel::PageCount, QString::number(m_workspace->pages().count()));
    showPatientCheck();
}

void TMainForm::importFiles() {
    setStatusText(StatusPanel::Message, QString());
    const QString folder = QFileInfo(m_settings->FileOpenDir).isDir() ? m_settings->FileOpenDir
                                                                      : TRegistory::defaultFolder();
    const FileChoice choice = m_services.prompts->openFiles(
        this, folder,
        QStringLiteral(
            "JPEG|*.jpg;*.jpeg;|BITMAP|*.bmp;|TIFF|*.tif;*.tiff|PNG|*.png;|Dicom|*.dcm;"),
        true);
    if (!choice.accepted) {
        setStatusText(StatusPanel::Message, filesCancelledMessage);
        return;
    }
    if (choice.files.isEmpty()) {
        setStatusText(StatusPanel::Message, noFileMessage);
        return;
    }
    m_settings->FileOpenDir = QFileInfo(choice.files.first()).absolutePath();
    const QStringList imported = scannerfolder::importFiles(choice.files, m_settings->ScannerDir);
    // Intake takes only the enabled file types: a file it will pass over is said now, or the
    // operator looks in vain for its page after the next intake.
    const QStringList masks = scannerfolder::masks(scannerfolder::BuildTypeFilter(*m_settings));
    const auto passedOver =
        std::count_if(imported.begin(), imported.end(), [&](const QString& path) {
            const QString name = QFileInfo(path).fileName();
            return name.startsWith(u'.') || !QDir::match(masks, name);
        });
    setStatusText(
        StatusPanel::Message,
        passedOver == 0
            ? QStringLiteral("インポート完了（%1 件）").arg(imported.size())
            : QStringLiteral("インポート完了（%1 件。うち %2 "
                             "件は読み込み設定にないファイル形式のため、取り込まれません）")
                  .arg(imported.size())
                  .arg(passedOver));
}

void TMainForm::takeDroppedFiles(const QStringList& files) {
    setStatusText(StatusPanel::Message, QString());
    if (pageCommandsHeld() || m_tabs->currentIndex() != static_cast<int>(Tab::PageCheck)) {
        return;
    }
    // The types "ファイル　インポート" offers; a drop of anything else takes nothing at all.
    static const QStringList imageSuffixes{QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                           QStringLiteral("bmp"),  QStringLiteral("tif"),
                                           QStringLiteral("tiff"), QStringLiteral("png"),
                                           QStringLiteral("dcm")};
    const bool allImages =
        !files.isEmpty() && std::all_of(files.begin(), files.end(), [](const QString& file) {
            const QFileInfo info(file);
            return info.isFile() && imageSuffixes.contains(info.suffix().toLower());
        });
    if (!allImages) {
        setStatusText(StatusPanel::Message, dropRefusedMessage);
        return;
    }
    if (!QFileInfo(m_settings->ScannerDir).isDir()) {
        setStatusText(StatusPanel::Message, messages::NoScannerFolder);
        return;
    }
    const int selected = selectedPageIndex();
    takePages(scannerfolder::importFiles(files, m_settings->ScannerDir), false);
    m_workspace->setSelectedIndex(selected < 0 ? 0 : selected);
    setStatusText(StatusPanel::Message, QStringLiteral("インポート完了"));
}

void TMainForm::selectScanSource() {
    m_scanSourceChosen = m_scanner->SelectScanSource(*m_services.prompts, this);
    m_scanAcquire->setEnabled(m_scanSourceChosen);
}

void TMainForm::acquireScanImage() {
    setStatusText(StatusPanel::Message, QString());
    if (!m_scanner->AcquireScanImage(*m_services.prompts, this)) {
        return;
    }
    const FileChoice choice = m_services.prompts->saveFile(
        this, m_settings->ScannerDir,
        QStringLiteral("JPEG|*.jpg;*.jpeg|BMP|*.bmp|TIFF|*.tiff;*.tif|PNG|*.png"), QString());
    if (!choice.accepted || choice.files.isEmpty()) {
        return; // the acquired image is dropped
    }
    static const QStringList extensions{QStringLiteral(".jpg"), QStringLiteral(".bmp"),
                                        QStringLiteral(".tif"), QStringLiteral(".png")};
    const QFileInfo chosen(choice.files.first());
    const QString extension = extensions.value(choice.selectedFilterIndex, extensions.first());
    const QString path = chosen.dir().filePath(chosen.completeBaseName() + extension);
    m_scanner->SaveImageFile(path);
    if (m_scanner->IoFailed()) {
        setStatusText(StatusPanel::Message, QStringLiteral("＊＊＊　ファイル保存に失敗しました。"));
    }
}

void TMainForm::clearScannerFolderOnRequest() {
    if (pageCommandsHeld()) {
        return;
    }
    m_deleteWarning->prepare(m_settings->ScannerDir);
    if (m_services.prompts->exec(*m_deleteWarning) != QDialog::Accepted) {
        return;
    }
    clearScannerFolder();
    m_workspace->clearPages();
    endJournal();
}

void TMainForm::clearScannerFolder() {
    scannerfolder::clear(m_settings->ScannerDir,
                         [this](const QString& name) { return askAfterFailedDeletion(name); });
}

scannerfolder::AfterFailure TMainForm::askAfterFailedDeletion(const QString& name) {
    m_notDelete->prepare(name);
    return m_services.prompts->exec(*m_notDelete) == QDialog::Accepted
               ? scannerfolder::AfterFailure::Next
               : scannerfolder::AfterFailure::Stop;
}

void TMainForm::deletePage() {
    if (pageDeletionAllowed()) {
        m_workspace->deleteSelected();
    }
}

bool TMainForm::pageDeletionAllowed() const {
    return m_tabs->currentIndex() == static_cast<int>(Tab::PageCheck) && selectedPageIndex() >= 0 &&
           !pageCommandsHeld();
}

void TMainForm::updatePageDeletion() {
    // Moving a page one place follows the same rule as deleting it.
    for (QAction* action : {m_deletePage, m_movePageLeft, m_movePageRight, m_straightenPages}) {
        action->setEnabled(!m_unbuilt.contains(action) && pageDeletionAllowed());
    }
}

void TMainForm::movePage(int step) {
    if (pageDeletionAllowed()) {
        m_workspace->moveSelected(step);
    }
}

void TMainForm::redrawPageCheck() {
    // F5 reaches this without the menu's rule, which asks for the page check tab.
    if (pageCommandsHeld() || m_tabs->currentIndex() != static_cast<int>(Tab::PageCheck)) {
        return;
    }
    setStatusText(StatusPanel::Message, QStringLiteral("少々お待ちください。"));
    if (m_workspace->rebuildThumbnails()) {
        m_redrawing = true; // the message goes when the last thumbnail has arrived
    } else {
        setStatusText(StatusPanel::Message, QStringLiteral("表示エラーです。"));
    }
}

void TMainForm::showPatientCheck() {
    if (m_tabs->currentIndex() != static_cast<int>(Tab::PatientCheck)) {
        return;
    }
    setStatusText(StatusPanel::Message, QString());
    const PageList& pages = m_workspace->pages();
    if (pages.isEmpty()) {
        return;
    }
    const QSize area = m_patientCheck->leftArea()->size().expandedTo(QSize(200, 280));
    // Without stretch a chart page keeps only the top-left corner of the image that fits its
    // image area. Where that loses most of the page, as the save will ask, the patient check
    // marks what is kept.
    auto croppedPart = [this](QSize full) -> std::optional<QRectF> {
        const QSize area =
            chartpage::imageArea(m_settings->PdfPageWidth, m_settings->PdfPageHeight);
        if (m_settings->Stretch || area.isEmpty() || !chartpage::cropDropsMost(full, area)) {
            return std::nullopt;
        }
        return QRectF(0, 0, std::min(1.0, double(area.width()) / full.width()),
                      std::min(1.0, double(area.height()) / full.height()));
    };
    for (int page = 0; page < std::min(2, pages.count()); ++page) {
        imaging::ImageReadResult loaded;
        try {
            loaded = imaging::readImageForSize(pages.at(page).ImageFile, area);
        } catch (const ImageOpenError&) {
            setStatusText(StatusPanel::Message, QStringLiteral("ファイルを開くことができません。"));
            return;
        }
        if (loaded.failed) {
            setStatusText(StatusPanel::Message,
                          QStringLiteral("サポートしていないファイル形式があります。"));
            return;
        }
        const auto kept = croppedPart(loaded.fullSize);
        if (page == 0) {
            m_patientCheck->showLeft(loaded.image, kept);
        } else {
            m_patientCheck->setRightVisible(true);
            m_patientCheck->showRight(loaded.image, kept);
        }
    }
    if (pages.count() < 2) {
        m_patientCheck->setRightVisible(false);
    }
}

void TMainForm::updateBusyCommands() {
    const bool busy = pageCommandsHeld();
    m_saveButton->setEnabled(!busy);
    for (QAction* held : {m_scannerIntake, m_folderIntake, m_clearScannerFolder}) {
        held->setEnabled(!busy);
    }
    m_listView->setDragEnabled(!busy);
    updatePageDeletion();
    m_progress->setVisible(busy);
    if (!busy) {
        m_progress->reset();
    }
    if (!busy && m_redrawing) {
        m_redrawing = false;
        if (statusText(StatusPanel::Message) == QStringLiteral("少々お待ちください。")) {
            setStatusText(StatusPanel::Message, QString());
        }
    }
}

void TMainForm::editReadSettings() {
    const TReadSet::Result result = m_readSet->Execute(*m_settings, *m_services.prompts);
    if (!result.accepted) {
        return;
    }
    writeSettings();
    m_volNoEdit->setText(m_settings->VolNo);
    if (result.rebuildThumbnails) {
        m_workspace->rebuildThumbnails();
    }
    followScannerFolder();
}
