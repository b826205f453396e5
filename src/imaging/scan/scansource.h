#pragma once

/// \file
/// The scanner side of TImageIO: the chosen scanner, its dialogs and the acquisition of one
/// page. The scanner stays open between acquisitions, so a feeder's sheets and the operator's
/// settings carry over to the next page; it is closed when another scanner is chosen or the
/// TImageIO goes away.

#include <QImage>
#include <QString>

#include <memory>

class QWidget;
class SaneDevice;
class UserPrompts;

class ScanSource {
public:
    ScanSource();
    ~ScanSource();
    ScanSource(const ScanSource&) = delete;
    ScanSource& operator=(const ScanSource&) = delete;

    void setLibrary(const QString& fileName);

    /// Shows the list of scanners; true when the operator chose one.
    bool select(UserPrompts& prompts, QWidget* parent);

    struct Acquired {
        QImage image; ///< null when nothing arrived
        QString error;
        int dpiX = 0;
        int dpiY = 0;
        int bitsPerSample = 0;
        int samplesPerPixel = 0;
    };
    /// Shows the options of the chosen scanner and reads one page.
    Acquired acquire(UserPrompts& prompts, QWidget* parent);

    const QString& deviceName() const { return m_deviceName; }

private:
    QString m_libraryName;
    QString m_deviceName;
    std::unique_ptr<SaneDevice> m_device;
};
