// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The hidden files a save keeps beside the chart in the patient folder: the temporary chart it
/// writes before the chart takes its name, and the lock file that serialises the saves into
/// one patient folder.

#include <QString>

namespace temporarychart {

/// Name of the lock file in every patient folder.
QString lockFileName();

/// A fresh hidden name for the temporary file of \p chartName: "." + chart name + "." + 32 hex
/// digits + ".tmp". When that would pass the file system's 255-byte name limit the chart name
/// is shortened (on a character boundary), so any chart name that fits gets a temporary name.
QString freshName(const QString& chartName);

/// Whether \p fileName has the form freshName() gives.
bool isTemporaryName(const QString& fileName);

/// Removes the temporary charts in \p folder that no live writer holds (a writer keeps a lock on
/// its temporary file until the chart has its name); returns how many went.
int removeStale(const QString& folder);

} // namespace temporarychart
