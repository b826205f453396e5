// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The work journal: what the operator has done to the chart being assembled and not saved yet
/// (the pages in their order with their captions and notes, and the number and keyword boxes),
/// kept in a small file of the user's state folder so that a crash, a power cut or a killed
/// session loses none of it.
///
/// The file is a magic line, a version line, one line of JSON and a line with the SHA-256 of
/// everything before it. A file cut short at any byte, damaged, or written by another version
/// of the format is refused as a whole: a journal is either read exactly as it was written or
/// not at all.

#include "app/scannerfolder.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace workjournal {

/// One page of the list as the journal keeps it. The identity is that of the file when the
/// page was taken in (or last rewritten by the page editor): a file replaced since is another
/// page, and is not brought back in its place.
struct Page {
    QString imageFile;
    std::optional<scannerfolder::FileIdentity> identity; ///< none: the file was gone already
    QString shiori;
    std::optional<QStringList> note;
    bool operator==(const Page&) const = default;
};

/// What the window holds of the chart being assembled.
struct Work {
    QString scannerFolder;
    std::vector<Page> pages;
    QString patientText;
    QString serialText;
    std::array<QString, 4> keywords;
    bool operator==(const Work&) const = default;

    /// Whether there is anything to bring back: the boxes alone (intake empties the patient
    /// number, keywords outlive every save) are not worth asking about at the next start.
    bool holdsPages() const { return !pages.empty(); }
};

/// The version this program writes and the only one it reads.
constexpr int FormatVersion = 1;

/// The journal's bytes for \p work, written at \p written.
QByteArray serialize(const Work& work, const QDateTime& written);

struct Parsed {
    std::optional<Work> work; ///< none: refused, error says why
    QDateTime written;
    int version = 0; ///< the version the file claims, 0 when it claims none
    QString error;
};

/// Reads a journal's bytes; anything but a complete journal of FormatVersion is refused.
Parsed parse(const QByteArray& bytes);

/// Reads the journal at \p path; a file that cannot be read is refused with the reason.
Parsed read(const QString& path);

/// $XDG_STATE_HOME/pelorafile, or ~/.local/state/pelorafile when the variable is unset or not
/// an absolute path.
QString defaultFolder();

/// The journal of the scanner folder \p scannerFolder in \p stateFolder. Each scanner folder has
/// its own, named after a hash of its resolved path, so two folders never share one.
QString journalPath(const QString& stateFolder, const QString& scannerFolder);
/// The lock that one program holds on that journal while it works on the scanner folder.
QString lockPath(const QString& journalPath);
/// Where a journal goes when it is discarded or refused; the previous one there is replaced.
QString asidePath(const QString& journalPath);
/// The temporary file that becomes the journal by a rename.
QString temporaryPath(const QString& journalPath);

/// Moves the journal at \p path aside (asidePath). Returns false with the reason in \p error.
bool moveAside(const QString& path, QString* error);

/// Where a page of a journal stands now.
enum class PageState : quint8 {
    Present,  ///< the same file is there
    Gone,     ///< no file of that name
    Replaced, ///< a file of that name, but another one (or one rewritten since)
};
PageState pageState(const Page& page);

} // namespace workjournal
