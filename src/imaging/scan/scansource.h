// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The scanner side of TImageIO: the chosen scanner, its dialogs and the acquisition of one
/// page. The scanner stays open between acquisitions, so a feeder's sheets and the operator's
/// settings carry over to the next page; it is closed when another scanner is chosen or the
/// TImageIO goes away.

#include "imaging/scanbackend.h"

#include <QImage>
#include <QString>

#include <memory>

class SaneDevice;

/// The scanner behind TImageIO: the scan library's devices, chosen and set up in dialogs of
/// our own.
class ScanSource final : public ScanBackend {
public:
    ScanSource();
    ~ScanSource();
    ScanSource(const ScanSource&) = delete;
    ScanSource& operator=(const ScanSource&) = delete;

    void setLibrary(const QString& fileName) override;
    bool select(UserPrompts& prompts, QWidget* parent) override;
    Acquired acquire(UserPrompts& prompts, QWidget* parent) override;
    QString deviceName() const override { return m_deviceName; }

private:
    QString m_libraryName;
    QString m_deviceName;
    std::unique_ptr<SaneDevice> m_device;
};
