// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/treadset.h"

#include "platform/userprompts.h"
#include "settings/foldertree.h"
#include "settings/integertext.h"
#include "settings/radiogroup.h"
#include "settings/tregistory.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString serialError = QStringLiteral("*** 連番 エラー");

} // namespace

TReadSet::TReadSet(QWidget* parent)
    : SettingsDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ReadSet"));
    setWindowTitle(QStringLiteral("読込設定"));

    m_tree = new FolderTree(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setFixedSize(260, 400);
    m_tree->setAccessibleName(QStringLiteral("スキャナフォルダーの選択"));
    connect(m_tree, &FolderTree::folderChosen, this, &TReadSet::showChosenFolder);

    auto* pathLabel = new QLabel(QStringLiteral("スキャナフォルダー"), this);
    m_scanPathDisp = new QLineEdit(this);
    m_scanPathDisp->setObjectName(QStringLiteral("ScanPathDisp"));
    m_scanPathDisp->setReadOnly(true);
    pathLabel->setBuddy(m_scanPathDisp);

    auto* typeGroup = new QGroupBox(QStringLiteral("ファイル形式"), this);
    auto* typeLayout = new QHBoxLayout(typeGroup);
    auto addType = [&](const QString& caption, const QString& name) {
        auto* box = new QCheckBox(caption, typeGroup);
        box->setObjectName(name);
        typeLayout->addWidget(box);
        return box;
    };
    m_jpegBox = addType(QStringLiteral("Jpeg"), QStringLiteral("JpegBox"));
    m_tiffBox = addType(QStringLiteral("Tiff"), QStringLiteral("TiffBox"));
    m_bitmapBox = addType(QStringLiteral("Bitmap"), QStringLiteral("BitmapBox"));
    m_pngBox = addType(QStringLiteral("Png"), QStringLiteral("PngBox"));
    typeLayout->addStretch(1);

    auto* orderFrame = new QGroupBox(QStringLiteral("フォルダー画像取込みの順"), this);
    auto* orderLayout = new QVBoxLayout(orderFrame);
    m_order = new RadioGroup(QStringLiteral("指定順"),
                             {QStringLiteral("指定順に従う"), QStringLiteral("指定順と逆にする")},
                             2, orderFrame);
    m_order->setObjectName(QStringLiteral("order"));
    orderLayout->addWidget(m_order);

    auto* volNoLabel = new QLabel(QStringLiteral("規定の連番"), this);
    m_volNoEdit = new QLineEdit(this);
    m_volNoEdit->setObjectName(QStringLiteral("VolNoEdit"));
    m_volNoEdit->setFixedWidth(60);
    volNoLabel->setBuddy(m_volNoEdit);

    m_imSizeRadio =
        new RadioGroup(QStringLiteral("ページ確認の画像サイズ"),
                       {QStringLiteral("最小"), QStringLiteral("小"), QStringLiteral("中"),
                        QStringLiteral("大"), QStringLiteral("最大")},
                       5, this);
    m_imSizeRadio->setObjectName(QStringLiteral("ImSizeRadio"));

    m_thumbCheck = new QCheckBox(QStringLiteral("ページ確認のサムネイルをストレッチする。"), this);
    m_thumbCheck->setObjectName(QStringLiteral("ThumbCheck"));

    m_setButton = new QPushButton(QStringLiteral("設定"), this);
    m_setButton->setObjectName(QStringLiteral("Button1"));
    m_setButton->setDefault(true);
    connect(m_setButton, &QPushButton::clicked, this, &TReadSet::onSetClicked);
    m_cancelButton = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancelButton->setObjectName(QStringLiteral("Button2"));
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    auto* right = new QVBoxLayout;
    right->addWidget(pathLabel);
    right->addWidget(m_scanPathDisp);
    right->addSpacing(6);
    right->addWidget(typeGroup);
    right->addWidget(orderFrame);
    auto* volNoRow = new QHBoxLayout;
    volNoRow->addWidget(volNoLabel);
    volNoRow->addWidget(m_volNoEdit);
    volNoRow->addStretch(1);
    right->addLayout(volNoRow);
    right->addWidget(m_imSizeRadio);
    right->addWidget(m_thumbCheck);
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

TReadSet::Result TReadSet::Execute(TRegistory& settings, UserPrompts& prompts) {
    m_tree->selectFolder(settings.ScannerDir);
    fillFrom(settings);
    const int oldImSize = settings.ImSize;
    const bool oldThumbStrech = settings.ThumbStrech;

    m_scanPathDisp->setText(m_tree->selectedPath());
    setStatusText(QString());
    m_volNoEdit->setFocus();
    centreOnOwner();

    if (prompts.exec(*this) != QDialog::Accepted) {
        return {};
    }
    copyTo(settings);
    return {true, settings.ImSize != oldImSize || settings.ThumbStrech != oldThumbStrech};
}

void TReadSet::onSetClicked() {
    setStatusText(QString());
    const std::optional<int> serial = parseSignedInteger(m_volNoEdit->text());
    if (!serial || *serial < 0 || *serial > 999) {
        setStatusText(serialError);
        return;
    }
    accept();
}

void TReadSet::fillFrom(const TRegistory& settings) {
    m_jpegBox->setChecked(settings.JpegType);
    m_tiffBox->setChecked(settings.TiffType);
    m_bitmapBox->setChecked(settings.BitmapType);
    m_pngBox->setChecked(settings.PngType);
    m_order->setItemIndex(settings.Sequence);
    m_imSizeRadio->setItemIndex(settings.ImSize);
    m_volNoEdit->setText(settings.VolNo);
    m_thumbCheck->setChecked(settings.ThumbStrech);
}

void TReadSet::copyTo(TRegistory& settings) const {
    settings.ScannerDir = m_tree->selectedPath();
    settings.JpegType = m_jpegBox->isChecked();
    settings.TiffType = m_tiffBox->isChecked();
    settings.BitmapType = m_bitmapBox->isChecked();
    settings.PngType = m_pngBox->isChecked();
    // A stored value outside the choices checks no button; it is kept rather than lost.
    if (m_order->itemIndex() >= 0) {
        settings.Sequence = m_order->itemIndex();
    }
    if (m_imSizeRadio->itemIndex() >= 0) {
        settings.ImSize = m_imSizeRadio->itemIndex();
    }
    settings.VolNo = m_volNoEdit->text();
    settings.ThumbStrech = m_thumbCheck->isChecked();
}

void TReadSet::showChosenFolder(const QString& path) {
    m_scanPathDisp->setText(path);
    setStatusText(path);
}
