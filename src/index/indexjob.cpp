// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/indexjob.h"

namespace chartindex {

bool withReadingIndex(JobContext& job, const QString& programFolder,
                      const std::function<void(ChartIndex&)>& work, QString* error) {
    ChartIndex index;
    if (!index.openForReading(programFolder)) {
        if (error) {
            *error = index.lastError();
        }
        return false;
    }
    job.setInterrupter([&index] { index.interrupt(); });
    if (!job.stopRequested()) {
        work(index);
    }
    // Cleared before the index goes: a stop that comes later must not reach it.
    job.setInterrupter({});
    return true;
}

} // namespace chartindex
