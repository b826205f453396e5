// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The main window as the program starts it (created, its windows created, shown, the queued
/// index check run) over a program folder of the test's own, with prompts that answer at once.
/// Every window test starts its window here, so that a change to how the program starts is
/// made once.

#include "app/appservices.h"
#include "app/pageworkspace.h"
#include "app/tmainform.h"
#include "support/fakeprompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <memory>

struct MainWindowStart {
    QString programFolder;
    QString settingsPath; ///< empty: "registry.reg" in the program folder
    FakePrompts* prompts = nullptr;
    FakeUrlOpener* opener = nullptr;
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
    QString stateFolder; ///< where the work journal goes; empty: none is kept
};

inline std::unique_ptr<TMainForm> startMainWindow(const MainWindowStart& start) {
    AppServices services;
    services.programFolder = start.programFolder;
    services.settingsPath = start.settingsPath.isEmpty()
                                ? QDir(start.programFolder).filePath(QStringLiteral("registry.reg"))
                                : start.settingsPath;
    services.prompts = start.prompts;
    services.urlOpener = start.opener;
    services.clock = start.clock;
    services.stateFolder = start.stateFolder;
    auto form = std::make_unique<TMainForm>(services);
    form->createWindows();
    form->show();
    QCoreApplication::processEvents(); // lets the queued index check run
    return form;
}

/// The file names of the window's pages, in page order.
inline QStringList pageNames(TMainForm& form) {
    QStringList names;
    const PageList& pages = form.workspace().pages();
    for (int i = 0; i < pages.count(); ++i) {
        names << QFileInfo(pages.at(i).ImageFile).fileName();
    }
    return names;
}
