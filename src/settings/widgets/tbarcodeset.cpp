// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/widgets/tbarcodeset.h"

#include "platform/userprompts.h"
#include "settings/barcodesettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

const QString TBarcodeSet::PatternRefusedText =
    QStringLiteral("患者番号の書式は、括弧の組が一つの正規表現で指定してください。");
const QString TBarcodeSet::NoSymbologyText =
    QStringLiteral("バーコードの種類を一つ以上選んでください。");

namespace {

/// The captions of the symbologies, in the order of BarcodeSettings::AllSymbologies.
const char* const symbologyCaptions[] = {"Code 39",   "Code 128", "ITF",
                                         "EAN / JAN", "QRコード", "データマトリックス"};

} // namespace

TBarcodeSet::TBarcodeSet(QWidget* parent)
    : SettingsDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("TBarcodeSet"));
    setWindowTitle(QStringLiteral("バーコード設定"));

    m_enabled = new QCheckBox(QStringLiteral("バーコードから患者番号を読み取る"), this);
    m_enabled->setObjectName(QStringLiteral("EnabledCheck"));

    auto* kinds = new QGroupBox(QStringLiteral("バーコードの種類"), this);
    auto* grid = new QGridLayout(kinds);
    for (qsizetype n = 0; n < BarcodeSettings::AllSymbologies.size(); ++n) {
        auto* box = new QCheckBox(QString::fromUtf8(symbologyCaptions[n]), kinds);
        box->setObjectName(BarcodeSettings::AllSymbologies.at(n) + QStringLiteral("Check"));
        grid->addWidget(box, static_cast<int>(n / 2), static_cast<int>(n % 2));
        m_symbologies << box;
    }

    auto* patternLabel = new QLabel(QStringLiteral("患者番号の書式（正規表現）"), this);
    m_pattern = new QLineEdit(this);
    m_pattern->setObjectName(QStringLiteral("PatternEdit"));
    patternLabel->setBuddy(m_pattern);

    m_set = new QPushButton(QStringLiteral("設定"), this);
    m_set->setObjectName(QStringLiteral("SetButton"));
    m_set->setDefault(true);
    m_defaults = new QPushButton(QStringLiteral("規定値"), this);
    m_defaults->setObjectName(QStringLiteral("DefaultsButton"));
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));
    connect(m_set, &QPushButton::clicked, this, &TBarcodeSet::onSetClicked);
    connect(m_defaults, &QPushButton::clicked, this, &TBarcodeSet::onDefaultsClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_set);
    buttons->addWidget(m_defaults);
    buttons->addWidget(m_cancel);

    auto* body = new QVBoxLayout;
    body->addWidget(m_enabled);
    body->addWidget(kinds);
    body->addWidget(patternLabel);
    body->addWidget(m_pattern);
    body->addLayout(buttons);
    setBody(body);
}

QString TBarcodeSet::patternProblem(const QString& pattern) {
    const QRegularExpression expression(pattern);
    if (!expression.isValid()) {
        return expression.errorString();
    }
    if (expression.captureCount() != 1) {
        return QStringLiteral("%1 capture groups").arg(expression.captureCount());
    }
    return {};
}

bool TBarcodeSet::Execute(BarcodeSettings& settings, UserPrompts& prompts) {
    fillFrom(settings);
    setStatusText(QString());
    centreOnOwner();
    if (prompts.exec(*this) != QDialog::Accepted) {
        return false;
    }
    copyTo(settings);
    return true;
}

void TBarcodeSet::onSetClicked() {
    if (!patternProblem(m_pattern->text()).isEmpty()) {
        setStatusText(PatternRefusedText);
        m_pattern->setFocus();
        return;
    }
    const bool anyChosen = std::any_of(m_symbologies.begin(), m_symbologies.end(),
                                       [](const QCheckBox* box) { return box->isChecked(); });
    if (m_enabled->isChecked() && !anyChosen) {
        setStatusText(NoSymbologyText);
        m_symbologies.first()->setFocus();
        return;
    }
    accept();
}

void TBarcodeSet::onDefaultsClicked() {
    const BarcodeSettings defaults;
    m_pattern->setText(defaults.Pattern);
    for (QCheckBox* box : m_symbologies) {
        box->setChecked(true);
    }
}

void TBarcodeSet::fillFrom(const BarcodeSettings& settings) {
    m_enabled->setChecked(settings.Enabled);
    for (qsizetype n = 0; n < m_symbologies.size(); ++n) {
        m_symbologies.at(n)->setChecked(settings.Symbologies.contains(
            BarcodeSettings::AllSymbologies.at(n), Qt::CaseInsensitive));
    }
    m_pattern->setText(settings.Pattern);
}

void TBarcodeSet::copyTo(BarcodeSettings& settings) const {
    settings.Enabled = m_enabled->isChecked();
    settings.Symbologies.clear();
    for (qsizetype n = 0; n < m_symbologies.size(); ++n) {
        if (m_symbologies.at(n)->isChecked()) {
            settings.Symbologies << BarcodeSettings::AllSymbologies.at(n);
        }
    }
    settings.Pattern = m_pattern->text();
}
