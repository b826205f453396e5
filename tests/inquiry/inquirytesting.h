// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What the tests of the "照会" windows share: the main window over an index of either backend,
/// and the menu entry clicked as the operator clicks it.

#include "app/tmainform.h"
#include "serverenvironment.h"
#include "support/fakeprompts.h"
#include "support/mainwindow.h"
#include "support/typetext.h"

#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

/// Opens the menu of \p entry in the menu bar with a click and clicks \p entry.
inline void clickMenuEntry(TMainForm& form, QAction* entry) {
    auto* menu = qobject_cast<QMenu*>(entry->parent());
    ASSERT_TRUE(menu);
    QMenuBar* bar = form.menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    ASSERT_TRUE(entry->isEnabled()) << entry->text().toStdString() << " is disabled";
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
}

/// Clicks the tool button of \p action.
inline void clickTool(QAction* action) {
    QToolBar* bar = nullptr;
    for (QObject* parent = action->parent(); parent && !bar; parent = parent->parent()) {
        bar = qobject_cast<QToolBar*>(parent);
    }
    ASSERT_TRUE(bar);
    QWidget* button = bar->widgetForAction(action);
    ASSERT_TRUE(button);
    QTest::mouseClick(button, Qt::LeftButton);
}
