// SPDX-License-Identifier: GPL-3.0-or-later
// settings-bench [N ...]: a settings file with the program's values and N extra values in its
// key (as left behind by other versions or tools), for each N given (10,000, 40,000 and
// 200,000 by default). Prints how long loading it into the settings object takes, and saving
// the settings back into it; both should grow in proportion to the size of the file.

#include "platform/registryfile.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

double ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

/// Processor milliseconds of this thread, which other work on a busy machine does not swell.
double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

/// The program's settings followed by \p extra values of all three kinds in the same key,
/// written as text so that making the file does not depend on what is measured.
bool writeSettingsFile(const QString& path, int extra) {
    RegistryFile registry;
    TRegistory settings;
    settings.SaveToRegistry(registry);
    QByteArray text = registry.serialize();
    for (int i = 0; i < extra; ++i) {
        switch (i % 3) {
        case 0:
            text += QStringLiteral("\"Extra%1\"=dword:%2\r\n")
                        .arg(i)
                        .arg(i, 8, 16, QChar(u'0'))
                        .toUtf8();
            break;
        case 1:
            text += QStringLiteral("\"Extra%1\"=\"値 %1\"\r\n").arg(i).toUtf8();
            break;
        default:
            text += QStringLiteral("\"Extra%1\"=hex:01,02,%2\r\n")
                        .arg(i)
                        .arg(i % 256, 2, 16, QChar(u'0'))
                        .toUtf8();
            break;
        }
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (const QString& argument : app.arguments().mid(1)) {
        sizes << argument.toInt();
    }
    if (sizes.isEmpty()) {
        sizes = {10000, 40000, 200000};
    }
    QTemporaryDir dir;
    std::printf("%8s %11s %23s %23s\n", "extra", "file bytes", "load ms (cpu / wall)",
                "save ms (cpu / wall)");
    for (const int extra : sizes) {
        const QString path = dir.filePath(QStringLiteral("registry-%1.reg").arg(extra));
        if (!writeSettingsFile(path, extra)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        SettingsFile file(path);
        TRegistory settings;
        QElapsedTimer timer;
        timer.start();
        double cpu = cpuMs();
        const bool loaded = file.load(settings);
        const double loadCpu = cpuMs() - cpu;
        const double load = ms(timer);
        if (!loaded) {
            std::fprintf(stderr, "%s did not load whole: %s\n", qPrintable(path),
                         qPrintable(file.notice()));
            return 1;
        }
        timer.restart();
        cpu = cpuMs();
        if (!file.save(settings)) {
            std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
            return 1;
        }
        const double saveCpu = cpuMs() - cpu;
        const double save = ms(timer);
        std::printf("%8d %11lld %11.1f / %9.1f %11.1f / %9.1f\n", extra,
                    static_cast<long long>(QFile(path).size()), loadCpu, load, saveCpu, save);
        std::fflush(stdout);
    }
    return 0;
}
