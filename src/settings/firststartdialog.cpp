// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/firststartdialog.h"

#include "platform/userprompts.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

const QString FirstStartDialog::HomeFolderRefusedText = QStringLiteral(
    "ホームフォルダーそのものは指定できません。その中にフォルダーを指定してください。");
const QString FirstStartDialog::SameFolderRefusedText = QStringLiteral(
    "スキャナフォルダーと保存先フォルダーは、別々の（重ならない）フォルダーにしてください。");

namespace {

/// The folder as the file system names it: links resolved where the folder exists already.
QString comparable(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

bool isSameOrInside(const QString& folder, const QString& outer) {
    return folder == outer || outer == u"/" || folder.startsWith(outer + u'/');
}

/// A folder below the home folder where the defaults name the home folder itself.
QString proposal(const QString& folder, const QString& name) {
    return comparable(folder) == comparable(QDir::homePath()) ? QDir::home().filePath(name)
                                                              : folder;
}

} // namespace

FirstStartDialog::FirstStartDialog(QWidget* parent)
    : SettingsDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FirstStart"));
    setWindowTitle(QStringLiteral("初期設定"));

    auto* intro = new QLabel(
        QStringLiteral(
            "はじめに、スキャナーが画像を置くフォルダーと、カルテ（PDF）を保存するフォルダー"
            "を決めてください。\nあとから「設定」メニューの「読込設定」「保存設定」で"
            "変えることができます。"),
        this);
    intro->setWordWrap(true);

    auto* folders = new QGroupBox(QStringLiteral("フォルダー"), this);
    auto* grid = new QGridLayout(folders);
    auto addField = [&](int row, const QString& caption, const QString& name) {
        auto* label = new QLabel(caption, folders);
        auto* edit = new QLineEdit(folders);
        edit->setObjectName(name);
        edit->setMinimumWidth(360);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    m_scannerDir =
        addField(0, QStringLiteral("スキャナフォルダー"), QStringLiteral("ScannerDirEdit"));
    m_target = addField(1, QStringLiteral("保存先フォルダー"), QStringLiteral("TargetEdit"));
    m_hpCode = addField(2, QStringLiteral("医療機関コード"), QStringLiteral("HPCodeEdit"));
    m_hpCode->setMinimumWidth(140);
    auto* folderNote =
        new QLabel(QStringLiteral("ないフォルダーは「設定」を押したときに作ります。"), folders);
    grid->addWidget(folderNote, 3, 1);

    auto* firstPageGroup = new QGroupBox(QStringLiteral("最初のページ"), this);
    auto* firstPageLayout = new QVBoxLayout(firstPageGroup);
    auto* rule = new QLabel(
        QStringLiteral(
            "読み込んだ最初のページは、患者ラベルを貼った表紙とみなし、カルテには入れません。"
            "\nそのため、1 ページだけでは保存できず、2 ページのときは 2 ページ目だけが"
            "保存されます。\n表紙を使わないときは、最初のページも保存してください。"),
        firstPageGroup);
    rule->setWordWrap(true);
    m_firstPage = new QCheckBox(QStringLiteral("最初のページも保存する。"), firstPageGroup);
    m_firstPage->setObjectName(QStringLiteral("FirstPageCheck"));
    firstPageLayout->addWidget(rule);
    firstPageLayout->addWidget(m_firstPage);

    m_setButton = new QPushButton(QStringLiteral("設定"), this);
    m_setButton->setObjectName(QStringLiteral("SetButton"));
    m_setButton->setDefault(true);
    connect(m_setButton, &QPushButton::clicked, this, &FirstStartDialog::onSetClicked);
    m_cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout;
    layout->addWidget(intro);
    layout->addWidget(folders);
    layout->addWidget(firstPageGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_setButton);
    buttons->addWidget(m_cancelButton);
    layout->addLayout(buttons);
    setBody(layout);
}

bool FirstStartDialog::Execute(TRegistory& settings, SettingsFile& file, UserPrompts& prompts) {
    m_settings = &settings;
    m_file = &file;
    m_scannerDir->setText(proposal(settings.ScannerDir, QStringLiteral("スキャナ")));
    m_target->setText(proposal(settings.Target, QStringLiteral("カルテ")));
    m_hpCode->setText(settings.HPCode);
    m_firstPage->setChecked(settings.FirstPage);
    setStatusText(QString());
    m_scannerDir->setFocus();
    centreOnOwner();
    const bool accepted = prompts.exec(*this) == QDialog::Accepted;
    m_settings = nullptr;
    m_file = nullptr;
    return accepted;
}

bool FirstStartDialog::refuse(QLineEdit* field, const QString& text) {
    setStatusText(text);
    field->setFocus();
    field->selectAll();
    return false;
}

std::optional<QString> FirstStartDialog::checkedFolder(QLineEdit* field) {
    const QString typed = field->text().trimmed();
    if (typed.isEmpty()) {
        refuse(field, QStringLiteral("フォルダーを入力してください。"));
        return std::nullopt;
    }
    if (!QDir::isAbsolutePath(typed)) {
        refuse(field, QStringLiteral("フォルダーは / で始まる絶対パスで入力してください。"));
        return std::nullopt;
    }
    const QString folder = comparable(typed);
    if (folder == comparable(QDir::homePath()) || folder == u"/") {
        refuse(field, HomeFolderRefusedText);
        return std::nullopt;
    }
    if (QFileInfo(folder).exists() && !QFileInfo(folder).isDir()) {
        refuse(field, QStringLiteral("フォルダーではなくファイルです: %1").arg(folder));
        return std::nullopt;
    }
    return folder;
}

void FirstStartDialog::onSetClicked() {
    Q_ASSERT(m_settings && m_file);
    const auto scannerDir = checkedFolder(m_scannerDir);
    if (!scannerDir) {
        return;
    }
    const auto target = checkedFolder(m_target);
    if (!target) {
        return;
    }
    // Charts saved into the scanner folder would be taken in again; scans put into the archive
    // would be listed by the registration check as charts without a row.
    if (isSameOrInside(*scannerDir, *target) || isSameOrInside(*target, *scannerDir)) {
        refuse(m_target, SameFolderRefusedText);
        return;
    }
    // The code becomes part of the chart's file name.
    if (m_hpCode->text().contains(u'/')) {
        refuse(m_hpCode, QStringLiteral("医療機関コードに / は使えません。"));
        return;
    }
    for (const auto& [folder, field] :
         {std::pair{*scannerDir, m_scannerDir}, {*target, m_target}}) {
        if (!QDir().mkpath(folder)) {
            refuse(field, QStringLiteral("フォルダーを作成できません: %1").arg(folder));
            return;
        }
    }
    TRegistory chosen = *m_settings;
    chosen.ScannerDir = *scannerDir;
    chosen.Target = *target;
    chosen.HPCode = m_hpCode->text();
    chosen.FirstPage = m_firstPage->isChecked();
    QString error;
    if (!m_file->save(chosen, &error)) {
        setStatusText(QStringLiteral("設定を保存できませんでした: %1").arg(error));
        return;
    }
    *m_settings = chosen;
    accept();
}
