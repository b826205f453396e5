// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Message texts that both the main window and pelorafile-save show, written once so the two
/// cannot drift apart. Texts only one of them shows stay beside the code that shows them.

#include <QString>

namespace messages {

/// Intake or a batch save found no scanner folder at the configured path.
extern const QString NoScannerFolder;
/// No file type is enabled in the read settings, so intake would take nothing.
extern const QString NoFileType;
/// A chart of the same name exists and the settings forbid overwriting it.
extern const QString CannotOverwrite;
/// The archive folder or the chart file could not be created.
extern const QString CannotCreate;
/// A file of the scanner folder could not be deleted while the folder was being emptied.
extern const QString CannotDelete;
/// Heads the list of pages a chart was saved without.
extern const QString PagesLeftOut;
/// Follows that list when the clearing of the scanner folder moved those pages; %1 is the
/// folder they went into.
extern const QString PagesSetAside;
/// Heads the list of scanner folder files whose names no path can reach.
extern const QString UnreachableFiles;

} // namespace messages
