// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What TImageIO needs of a scanner. The image layer has no windows; the scanner, which shows
/// its own dialogs, lives in a target above it and is handed to TImageIO by the program.

#include <QImage>
#include <QString>

class QWidget;
class UserPrompts;

class ScanBackend {
public:
    virtual ~ScanBackend() = default;

    virtual void setLibrary(const QString& fileName) = 0;

    /// Shows the list of scanners; true when the operator chose one.
    virtual bool select(UserPrompts& prompts, QWidget* parent) = 0;

    struct Acquired {
        QImage image; ///< null when nothing arrived
        QString error;
        int dpiX = 0;
        int dpiY = 0;
        int bitsPerSample = 0;
        int samplesPerPixel = 0;
    };
    /// Shows the options of the chosen scanner and reads one page.
    virtual Acquired acquire(UserPrompts& prompts, QWidget* parent) = 0;

    virtual QString deviceName() const = 0;
};
