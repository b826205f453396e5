// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A background job's own session of the chart index: opened on the job's thread to read only
/// (no row count, no write probe), so that opening it costs a job no more than its first
/// statement, and interrupted when the job is stopped.

#include "index/chartindex.h"
#include "platform/backgroundjob.h"

#include <QString>
#include <functional>

namespace chartindex {

/// Opens the index of \p programFolder for reading on the calling job's thread and hands it to
/// \p work; stopping the job interrupts the statement it runs. False, with the reason in
/// \p error, when the index cannot be opened (\p work is not called then).
bool withReadingIndex(JobContext& job, const QString& programFolder,
                      const std::function<void(ChartIndex&)>& work, QString* error);

} // namespace chartindex
