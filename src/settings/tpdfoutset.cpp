// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tpdfoutset.h"

#include "platform/cp932qt.h"
#include "platform/userprompts.h"
#include "settings/clampspinbox.h"
#include "settings/foldertree.h"
#include "settings/integertext.h"
#include "settings/mousecheckbox.h"
#include "settings/tdeletewarningform.h"
#include "settings/tpathstring.h"
#include "settings/tregistory.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace {

constexpr int levelBytes = 10; // CP932 bytes of one level prefix or suffix
constexpr int minimumPageSide = 100;
// Larger pages are refused here already: PDF readers reject them, and preparing their images
// would only waste memory.
constexpr int maximumPageSide = TRegistory::MaxPdfPageSide;
constexpr int defaultPageHeight = 1000;
constexpr int defaultPageWidth = 700;

const std::array<QString, 4> levelErrors{
    QStringLiteral("フォルダー１サイズエラー"), QStringLiteral("フォルダー２サイズエラー"),
    QStringLiteral("フォルダー３サイズエラー"), QStringLiteral("フォルダー４サイズエラー")};

const QString frontCaption = QStringLiteral("接頭");
const QString backCaption = QStringLiteral("接尾");

/// Level numbers as the captions show them, in full-width digits.
QString levelNumber(int level) {
    return QString(QChar(char16_t(u'１' + level)));
}

QString affixStatus(int level, const QString& caption) {
    return QStringLiteral("フォルダー%1%2エラー").arg(levelNumber(level), caption);
}

QString affixMessage(int level, const QString& caption) {
    return QStringLiteral("フォルダー%1の%2に「/」、「.」、「..」は使えません。")
        .arg(levelNumber(level), caption);
}

} // namespace

TPdfOutSet::TPdfOutSet(QWidget* parent, TDeleteWarningForm* deleteWarning)
    : SettingsDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_deleteWarning(deleteWarning ? deleteWarning : new TDeleteWarningForm(this)) {
    setObjectName(QStringLiteral("PdfOutSet"));
    setWindowTitle(QStringLiteral("PDF書込設定"));

    m_tree = new FolderTree(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setFixedSize(260, 480);
    m_tree->setAccessibleName(QStringLiteral("保存先フォルダーの選択"));
    connect(m_tree, &FolderTree::folderChosen, this, &TPdfOutSet::showChosenFolder);

    auto* pathLabel = new QLabel(QStringLiteral("ベースフォルダー"), this);
    m_pathDisp = new QLineEdit(this);
    m_pathDisp->setObjectName(QStringLiteral("PdfSetPathDisp"));
    pathLabel->setBuddy(m_pathDisp);

    auto* folderGroup = new QGroupBox(QStringLiteral("フォルダー"), this);
    auto* grid = new QGridLayout(folderGroup);
    grid->addWidget(new QLabel(QStringLiteral("階層"), folderGroup), 0, 0, Qt::AlignCenter);
    grid->addWidget(new QLabel(frontCaption, folderGroup), 0, 1, Qt::AlignCenter);
    grid->addWidget(new QLabel(backCaption, folderGroup), 0, 2, Qt::AlignCenter);
    for (int level = 0; level < 4; ++level) {
        const int row = level + 1;
        grid->addWidget(new QLabel(QString::number(row), folderGroup), row, 0, Qt::AlignCenter);
        auto makeField = [&](const QString& name) {
            auto* edit = new QLineEdit(folderGroup);
            edit->setObjectName(name);
            edit->setFixedWidth(120);
            return edit;
        };
        m_front[level] = makeField(QStringLiteral("L%1F").arg(row));
        m_back[level] = makeField(QStringLiteral("L%1B").arg(row));
        grid->addWidget(m_front[level], row, 1);
        grid->addWidget(m_back[level], row, 2);
    }
    grid->setColumnStretch(3, 1);

    auto makeCheck = [this](const QString& caption, const QString& name) {
        auto* box = new QCheckBox(caption, this);
        box->setObjectName(name);
        return box;
    };
    m_firstPageCheck =
        makeCheck(QStringLiteral("最初のページを出力する。"), QStringLiteral("FirstPageOutCheck"));
    m_scanClrCheck =
        new MouseCheckBox(QStringLiteral("保存後、スキャナフォルダーをクリアする。"), this);
    m_scanClrCheck->setObjectName(QStringLiteral("ScanClrCheck"));
    connect(m_scanClrCheck, &MouseCheckBox::checkedByMouse, this,
            &TPdfOutSet::confirmScannerClearing);

    auto* codeLabel = new QLabel(QStringLiteral("医療機関コード"), this);
    m_hpCodeEdit = new QLineEdit(this);
    m_hpCodeEdit->setObjectName(QStringLiteral("HPCodeEdit"));
    m_hpCodeEdit->setFixedWidth(140);
    codeLabel->setBuddy(m_hpCodeEdit);

    m_writeProtectChk =
        makeCheck(QStringLiteral("上書きを禁止する。"), QStringLiteral("WriteProtectChk"));
    m_writeDateChk = makeCheck(QStringLiteral("作成日を付ける。"), QStringLiteral("WriteDateChk"));
    m_stretchCheck =
        makeCheck(QStringLiteral("画像をストレッチする。"), QStringLiteral("StretchCheck"));

    auto* qualityLabel = new QLabel(QStringLiteral("画像品質"), this);
    m_qualitySpin = new ClampSpinBox(this);
    m_qualitySpin->setObjectName(QStringLiteral("QualitySpin"));
    m_qualitySpin->setRange(50, 100);
    m_qualitySpin->setFixedWidth(70);
    qualityLabel->setBuddy(m_qualitySpin);

    auto* sizeGroup = new QGroupBox(QStringLiteral("ページサイズ(Dot)"), this);
    auto* sizeLayout = new QHBoxLayout(sizeGroup);
    auto makeSizeField = [&](const QString& caption, const QString& name) {
        auto* label = new QLabel(caption, sizeGroup);
        auto* edit = new QLineEdit(sizeGroup);
        edit->setObjectName(name);
        edit->setFixedWidth(70);
        label->setBuddy(edit);
        sizeLayout->addWidget(label);
        sizeLayout->addWidget(edit);
        sizeLayout->addSpacing(8);
        return edit;
    };
    m_heightEdit = makeSizeField(QStringLiteral("縦"), QStringLiteral("Edit1"));
    m_widthEdit = makeSizeField(QStringLiteral("横"), QStringLiteral("Edit2"));
    sizeLayout->addStretch(1);
    m_defaultsButton = new QPushButton(QStringLiteral("規定値"), sizeGroup);
    m_defaultsButton->setObjectName(QStringLiteral("Button3"));
    m_defaultsButton->setAutoDefault(false);
    connect(m_defaultsButton, &QPushButton::clicked, this, &TPdfOutSet::onDefaultsClicked);
    sizeLayout->addWidget(m_defaultsButton);

    m_setButton = new QPushButton(QStringLiteral("設定"), this);
    m_setButton->setObjectName(QStringLiteral("Button2"));
    m_setButton->setDefault(true);
    connect(m_setButton, &QPushButton::clicked, this, &TPdfOutSet::onSetClicked);
    m_cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancelButton->setObjectName(QStringLiteral("Button1"));
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* right = new QVBoxLayout;
    right->addWidget(pathLabel);
    right->addWidget(m_pathDisp);
    right->addSpacing(6);
    right->addWidget(folderGroup);
    right->addWidget(m_firstPageCheck);
    right->addWidget(m_scanClrCheck);
    auto* codeRow = new QHBoxLayout;
    codeRow->addWidget(codeLabel);
    codeRow->addWidget(m_hpCodeEdit);
    codeRow->addStretch(1);
    right->addLayout(codeRow);
    right->addWidget(m_writeProtectChk);
    right->addWidget(m_writeDateChk);
    right->addWidget(m_stretchCheck);
    auto* qualityRow = new QHBoxLayout;
    qualityRow->addWidget(qualityLabel);
    qualityRow->addWidget(m_qualitySpin);
    qualityRow->addStretch(1);
    right->addLayout(qualityRow);
    right->addWidget(sizeGroup);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_setButton);
    buttons->addWidget(m_cancelButton);
    right->addLayout(buttons);

    auto* body = new QHBoxLayout;
    body->addWidget(m_tree);
    body->addLayout(right);
    setBody(body);
}

bool TPdfOutSet::Execute(TRegistory& settings, UserPrompts& prompts) {
    m_tree->selectFolder(settings.Target);
    m_pathDisp->setText(m_tree->selectedPath());
    fillFrom(settings);

    m_heightEdit->setText(QString::number(m_pageHeight));
    m_widthEdit->setText(QString::number(m_pageWidth));
    setStatusText(QString());
    m_pathDisp->setFocus();
    centreOnOwner();

    m_settings = &settings;
    m_prompts = &prompts;
    const int result = prompts.exec(*this);
    m_settings = nullptr;
    m_prompts = nullptr;

    if (result != QDialog::Accepted) {
        return false;
    }
    copyTo(settings);
    return true;
}

void TPdfOutSet::onSetClicked() {
    setStatusText(QString());
    if (!FolderTree::isExistingFolder(m_pathDisp->text())) {
        refuse(m_pathDisp, QStringLiteral("ベースフォルダーエラー"));
        return;
    }
    for (int level = 0; level < 4; ++level) {
        if (!checkLevel(level)) {
            return;
        }
    }
    const std::optional<int> height = parseSignedInteger(m_heightEdit->text());
    if (!height) {
        refuse(m_heightEdit, QStringLiteral("縦:数値エラー"));
        return;
    }
    const std::optional<int> width = parseSignedInteger(m_widthEdit->text());
    if (!width) {
        refuse(m_widthEdit, QStringLiteral("横:数値エラー"));
        return;
    }
    if (!checkPageSide(m_heightEdit, *height) || !checkPageSide(m_widthEdit, *width)) {
        return;
    }
    m_pageHeight = *height;
    m_pageWidth = *width;
    m_qualitySpin->interpretText(); // a value still being typed counts as typed
    accept();
}

bool TPdfOutSet::checkLevel(int level) {
    QLineEdit* front = m_front[level];
    QLineEdit* back = m_back[level];
    const bool frontTooLong = cp932::qByteLength(front->text()) > levelBytes;
    if (frontTooLong || cp932::qByteLength(back->text()) > levelBytes) {
        refuse(frontTooLong ? front : back, levelErrors[level]);
        return false;
    }
    // A separator, "." or ".." would make the prefix or suffix a folder level of its own, which
    // can lead out of the base folder.
    const std::array<std::pair<QLineEdit*, QString>, 2> affixes{
        {{front, frontCaption}, {back, backCaption}}};
    for (const auto& [edit, caption] : affixes) {
        if (!TPathString::IsPlainAffix(edit->text())) {
            refuse(edit, affixStatus(level, caption), affixMessage(level, caption));
            return false;
        }
    }
    return true;
}

bool TPdfOutSet::checkPageSide(QLineEdit* edit, int side) {
    if (side < minimumPageSide) {
        refuse(edit, QStringLiteral("縦か横のサイズが少ないエラー"));
        return false;
    }
    if (side > maximumPageSide) {
        refuse(edit, QStringLiteral("縦か横のサイズが大きいエラー"));
        return false;
    }
    return true;
}

void TPdfOutSet::refuse(QWidget* box, const QString& status, const QString& message) {
    setStatusText(status);
    if (!message.isEmpty()) {
        if (m_prompts) {
            m_prompts->showError(this, message);
        } else {
            WidgetPrompts().showError(this, message);
        }
    }
    // After the message box, so that the box keeps the focus when the dialog is active again.
    box->setFocus(Qt::OtherFocusReason);
}

void TPdfOutSet::onDefaultsClicked() {
    m_heightEdit->setText(QString::number(defaultPageHeight));
    m_widthEdit->setText(QString::number(defaultPageWidth));
}

void TPdfOutSet::fillFrom(const TRegistory& settings) {
    const std::array<const QString*, 4> fronts{&settings.L1Front, &settings.L2Front,
                                               &settings.L3Front, &settings.L4Front};
    const std::array<const QString*, 4> backs{&settings.L1Back, &settings.L2Back, &settings.L3Back,
                                              &settings.L4Back};
    for (size_t level = 0; level < 4; ++level) {
        m_front[level]->setText(*fronts[level]);
        m_back[level]->setText(*backs[level]);
    }
    m_hpCodeEdit->setText(settings.HPCode);
    m_firstPageCheck->setChecked(settings.FirstPage);
    m_scanClrCheck->setChecked(settings.FolderClear);
    m_writeProtectChk->setChecked(settings.WriteInhibit);
    m_writeDateChk->setChecked(settings.WriteDate);
    m_stretchCheck->setChecked(settings.Stretch);
    m_qualitySpin->setValue(settings.Quality);
    m_pageWidth = settings.PdfPageWidth;
    m_pageHeight = settings.PdfPageHeight;
}

void TPdfOutSet::copyTo(TRegistory& settings) const {
    settings.Target = m_pathDisp->text();
    const std::array<QString*, 4> fronts{&settings.L1Front, &settings.L2Front, &settings.L3Front,
                                         &settings.L4Front};
    const std::array<QString*, 4> backs{&settings.L1Back, &settings.L2Back, &settings.L3Back,
                                        &settings.L4Back};
    for (size_t level = 0; level < 4; ++level) {
        *fronts[level] = m_front[level]->text();
        *backs[level] = m_back[level]->text();
    }
    settings.HPCode = m_hpCodeEdit->text();
    settings.FirstPage = m_firstPageCheck->isChecked();
    settings.FolderClear = m_scanClrCheck->isChecked();
    settings.WriteInhibit = m_writeProtectChk->isChecked();
    settings.WriteDate = m_writeDateChk->isChecked();
    settings.Stretch = m_stretchCheck->isChecked();
    settings.Quality = m_qualitySpin->value();
    settings.PdfPageHeight = m_pageHeight;
    settings.PdfPageWidth = m_pageWidth;
}

void TPdfOutSet::showChosenFolder(const QString& path) {
    m_pathDisp->setText(path);
    setStatusText(path);
}

void TPdfOutSet::confirmScannerClearing() {
    m_deleteWarning->prepare(m_settings ? m_settings->ScannerDir : QString());
    const int answer = m_prompts ? m_prompts->exec(*m_deleteWarning) : m_deleteWarning->exec();
    if (answer != QDialog::Accepted) {
        m_scanClrCheck->setChecked(false);
    }
}
