// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/mousecheckbox.h"

void MouseCheckBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool wasChecked = isChecked();
    QCheckBox::mouseReleaseEvent(event);
    if (!wasChecked && isChecked()) {
        emit checkedByMouse();
    }
}
