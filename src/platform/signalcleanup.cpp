// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/signalcleanup.h"

#include <QFile>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace signalcleanup {

namespace {

// A signal handler can reach nothing but static storage; this is the one file it may remove.
char pendingPath[PATH_MAX];
std::atomic<bool> pendingArmed{false};

extern "C" void removePendingAndStop(int signalNumber) {
    if (pendingArmed.load(std::memory_order_acquire)) {
        ::unlink(pendingPath);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

void removePendingFileOnTermination() {
    struct sigaction action {};
    action.sa_handler = removePendingAndStop;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
}

PendingRemoval::PendingRemoval(const QString& path) {
    pendingArmed.store(false, std::memory_order_release);
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.size() < static_cast<qsizetype>(sizeof pendingPath)) {
        std::memcpy(pendingPath, encoded.constData(), static_cast<size_t>(encoded.size()) + 1);
        pendingArmed.store(true, std::memory_order_release);
    }
}

PendingRemoval::~PendingRemoval() {
    pendingArmed.store(false, std::memory_order_release);
}

} // namespace signalcleanup
