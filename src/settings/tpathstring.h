// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The archive path rule. Every chart of a patient lies in one folder derived from the patient
/// number alone: the number written with eight digits is cut into four pairs, and each pair names
/// one folder level below the archive base folder, with a prefix and a suffix per level.
///
///     base + "/" + L1Front + d1d2 + L1Back + "/" + ... + "/" + L4Front + d7d8 + L4Back
///
/// Runs of "/" in the joined path become one. Prefixes and suffixes are used as they are: a "/"
/// inside one adds a further level.

#include <QDate>
#include <QString>
#include <array>
#include <optional>

class TRegistory;

class TPathString {
public:
    static constexpr quint32 NumberModulus = 100000000;

    QString BaseFolder;
    std::array<QString, 4> Front; ///< level prefixes (L1Front .. L4Front)
    std::array<QString, 4> Back;  ///< level suffixes (L1Back .. L4Back)

    /// Copies the nine archive layout settings (Target and the level prefixes and suffixes).
    void setLayout(const TRegistory& settings);

    /// Stores \p number modulo 100000000 as the patient number.
    void SetNumber(qint64 number);
    quint32 Number() const { return m_number; }

    /// The four levels below the base folder, beginning with the separator.
    QString RelativeFolder() const;
    /// The patient folder: base folder joined with the relative folder, separators collapsed,
    /// without a trailing separator.
    QString Folder() const;
    /// \p name inside the patient folder.
    QString FilePath(const QString& name) const;

    /// Every run of the native separator becomes one.
    static QString CollapseSeparators(const QString& path);

    /// Whether \p affix can stand before or after a pair of digits without naming a folder of
    /// its own: it holds no separator and is neither "." nor "..".
    static bool IsPlainAffix(const QString& affix);
    /// The setting name ("L1Front" .. "L4Back") of the first prefix or suffix that is not plain,
    /// or an empty text when all eight are.
    QString FirstUnplainAffix() const;

private:
    quint32 m_number = 0;
};

/// The path rule plus the folder operations the save pipeline uses on the patient folder.
class TDirFile : public TPathString {
public:
    /// True when the patient folder exists; otherwise creates it with all missing parents and
    /// says whether that worked.
    bool EnsureFolder() const;
    /// Deletes \p name in the patient folder when it exists; true when it is gone.
    bool DeleteIfExists(const QString& name) const;
    bool Exists(const QString& name) const;
};

/// "HP" + code + "_" + patient + "_" + serial [+ "_" + year + "_" + month + "_" + day] + ".pdf",
/// numbers in decimal without leading zeros; the date part only when \p date is given.
QString chartFileName(const QString& hpCode, qint64 patient, qint64 serial,
                      std::optional<QDate> date);
