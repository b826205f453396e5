// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What the windows need from their surroundings, handed in at start so that tests can give a
/// temporary program folder, a settings file of their own, and dialogs that answer at once.

#include <QDateTime>
#include <QString>
#include <functional>

class UrlOpener;
class UserPrompts;

struct AppServices {
    QString programFolder; ///< folder of the executable: index, list files, help file
    QString settingsPath;  ///< the per-user registry file
    UserPrompts* prompts = nullptr;
    UrlOpener* urlOpener = nullptr;
    std::function<QDateTime()> clock = &QDateTime::currentDateTime;
    /// Where the work journal is kept (workjournal::defaultFolder()); empty: no journal.
    QString stateFolder;
};
