// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsdialog.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

SettingsDialog::SettingsDialog(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), m_statusBar(new QStatusBar(this)),
      m_statusField(new QLabel(m_statusBar)) {
    setModal(true);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->setSizeGripEnabled(false);
    m_statusField->setObjectName(QStringLiteral("StatusField"));
    m_statusField->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A long path must not widen the fixed-size dialog; the field cuts it instead.
    m_statusField->setMinimumWidth(0);
    m_statusField->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_statusBar->addWidget(m_statusField, 1);
}

QString SettingsDialog::statusText() const {
    return m_statusField->text();
}

void SettingsDialog::setStatusText(const QString& text) {
    m_statusField->setText(text);
    m_statusField->setToolTip(text);
}

void SettingsDialog::setBody(QLayout* body, StatusBar statusBar) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bodyHolder = new QWidget(this);
    bodyHolder->setLayout(body);
    layout->addWidget(bodyHolder);
    if (statusBar == StatusBar::Shown) {
        layout->addWidget(m_statusBar);
    } else {
        m_statusBar->hide();
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void SettingsDialog::centreOnOwner() {
    adjustSize();
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    QRect frame = frameGeometry();
    if (owner) {
        frame.moveCenter(owner->frameGeometry().center());
    } else if (screen) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    if (screen) {
        const QRect available = screen->availableGeometry();
        frame.moveLeft(std::clamp(frame.left(), available.left(),
                                  std::max(available.left(), available.right() - frame.width())));
        frame.moveTop(std::clamp(frame.top(), available.top(),
                                 std::max(available.top(), available.bottom() - frame.height())));
    }
    move(frame.topLeft());
}
