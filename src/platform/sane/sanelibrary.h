// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The scanner library (SANE), loaded at run time. Nothing links against it, so the program
/// runs without it; when it is missing, load() gives nullptr and no scanner is offered.
///
/// SANE is not thread-safe: use these classes on one thread (the GUI thread).

#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct SaneApi;

/// One scanner as the library lists it.
struct SaneDeviceInfo {
    QString name; ///< device name passed to open(), e.g. "test:0"
    QString vendor;
    QString model;
    QString type;
    /// "vendor model (name)" for lists.
    QString displayName() const;
};

/// One option of an open device, with its current value.
struct SaneOption {
    enum class Type : std::uint8_t { Bool, Int, Fixed, String, Button, Group };
    enum class Unit : std::uint8_t { None, Pixel, Bit, Millimetre, Dpi, Percent, Microsecond };

    QString name; ///< e.g. "mode", "resolution", "source"
    QString title;
    QString description;
    Type type = Type::Group;
    Unit unit = Unit::None;
    bool active = false;
    bool settable = false;
    int size = 0;                  ///< values held (1 for a single number); bytes for a string
    QStringList stringList;        ///< allowed strings, when constrained to a list
    QList<double> numberList;      ///< allowed numbers, when constrained to a list
    std::optional<double> minimum; ///< with maximum and step, when constrained to a range
    std::optional<double> maximum;
    double step = 0;
    QVariant value; ///< bool, int, double (fixed point) or QString; invalid when not readable
};

/// A page as it came from the scanner.
struct SaneScanResult {
    enum class Status : std::uint8_t { Ok, Cancelled, NoDocuments, Failed };
    Status status = Status::Failed;
    QString error;
    QImage image; ///< Format_Mono (line art), Format_Indexed8 (grey) or Format_RGB888 (colour)
    int dpiX = 0; ///< the resolution option rounded to whole dots per inch; 0 when unknown
    int dpiY = 0;
    int depth = 0;    ///< bits per sample the device delivered: 1, 8 or 16
    int channels = 0; ///< 1 grey, 3 colour
};

class SaneDevice;

class SaneLibrary {
public:
    static constexpr const char* defaultFileName = "libsane.so.1";

    /// Loads and initialises the library once per process and name; later calls return the
    /// same instance, which stays loaded. nullptr when the file is missing, lacks an entry
    /// point or does not initialise; a later call tries again.
    static SaneLibrary* load(const QString& fileName = QString::fromLatin1(defaultFileName));

    /// The scanners the library finds now.
    QList<SaneDeviceInfo> devices();

    /// Opens a scanner by name. nullptr with \p error set when it cannot be opened.
    std::unique_ptr<SaneDevice> open(const QString& name, QString* error);

    SaneLibrary(const SaneLibrary&) = delete;
    SaneLibrary& operator=(const SaneLibrary&) = delete;
    ~SaneLibrary();

private:
    explicit SaneLibrary(std::unique_ptr<SaneApi> api);

    std::unique_ptr<SaneApi> m_api;
};

/// An open scanner. Closing it (destruction) gives it back to other programs.
class SaneDevice {
public:
    ~SaneDevice();
    SaneDevice(const SaneDevice&) = delete;
    SaneDevice& operator=(const SaneDevice&) = delete;

    const QString& name() const { return m_name; }

    /// The options with a name, in the device's order (groups and unnamed ones left out).
    QList<SaneOption> options() const;
    std::optional<SaneOption> option(const QString& name) const;
    /// Sets an option; numbers may be given as int or double, lists of allowed strings are
    /// matched exactly. False with \p error set when the device refuses the value.
    bool setOption(const QString& name, const QVariant& value, QString* error = nullptr);

    /// Called between reads with the bytes read so far and the expected total (0 when the
    /// device does not know the length); returning false cancels the scan.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    /// Scans one page: starts the device, reads every frame of the page and then cancels, so
    /// that a feeder keeps the sheets after it for the next call. Pages over \p maxPixels are
    /// refused.
    SaneScanResult scanOnePage(const Progress& progress, qint64 maxPixels);

private:
    friend class SaneLibrary;
    SaneDevice(const SaneApi* api, void* handle, QString name);

    int optionIndex(const QString& name) const;

    const SaneApi* m_api;
    void* m_handle;
    QString m_name;
};
