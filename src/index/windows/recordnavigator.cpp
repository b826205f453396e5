// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/recordnavigator.h"

#include <QAction>
#include <QToolBar>

QAction* addHintedTool(QToolBar* bar, QStyle::StandardPixmap icon, const QString& hint,
                       const QString& objectName) {
    QAction* action = bar->addAction(bar->style()->standardIcon(icon), hint);
    action->setObjectName(objectName);
    action->setToolTip(hint);
    return action;
}

RecordNavigator addRecordNavigator(QToolBar* bar) {
    RecordNavigator navigator;
    navigator.first = addHintedTool(bar, QStyle::SP_MediaSkipBackward,
                                    QStringLiteral("最初のレコード"), QStringLiteral("NavFirst"));
    navigator.prior = addHintedTool(bar, QStyle::SP_MediaSeekBackward,
                                    QStringLiteral("前のレコード"), QStringLiteral("NavPrior"));
    navigator.next = addHintedTool(bar, QStyle::SP_MediaSeekForward, QStringLiteral("次のレコード"),
                                   QStringLiteral("NavNext"));
    navigator.last = addHintedTool(bar, QStyle::SP_MediaSkipForward,
                                   QStringLiteral("最後のレコード"), QStringLiteral("NavLast"));
    return navigator;
}
