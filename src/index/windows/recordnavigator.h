// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The record navigator of the index grids: first, previous, next and last record as tool
/// buttons with their hints, and further hinted tool buttons beside them.

#include <QString>
#include <QStyle>

class QAction;
class QToolBar;

struct RecordNavigator {
    QAction* first = nullptr;
    QAction* prior = nullptr;
    QAction* next = nullptr;
    QAction* last = nullptr;
};

/// A tool button on \p bar with the style's \p icon; \p hint is its text and tool tip.
QAction* addHintedTool(QToolBar* bar, QStyle::StandardPixmap icon, const QString& hint,
                       const QString& objectName);

/// The four navigator buttons on \p bar ("NavFirst", "NavPrior", "NavNext", "NavLast").
RecordNavigator addRecordNavigator(QToolBar* bar);
