// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>

/// A check box that tells when a mouse click has just switched it on, apart from switching by
/// the keyboard or by the program.
class MouseCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

signals:
    /// A mouse release turned the box from unchecked to checked.
    void checkedByMouse();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
