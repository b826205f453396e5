#pragma once

/// \file
/// The result lists of the existence and registration checks: one path per line, kept as a
/// list as well as shown, so that a count, an RTF file and a print job all see the same lines.
/// Saving and printing go through the functions below, shared by both windows.

#include <QPlainTextEdit>
#include <QStringList>
#include <functional>

class QPrinter;
class UserPrompts;

class ResultList : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ResultList(QWidget* parent = nullptr);

    /// Appends \p lines at the end in one edit: a slice of a run adds its lines at once.
    void appendLines(const QStringList& lines);
    void clearLines();
    const QStringList& lines() const { return m_lines; }
    qsizetype lineCount() const { return m_lines.size(); }

private:
    QStringList m_lines;
};

namespace resultlist {

/// Makes a printer ready for a job; the windows' default uses the default printer as it is.
/// Tests point the printer at a PDF file.
using PrinterSetup = std::function<void(QPrinter&)>;

/// "保存": asks for an RTF file with the save dialog of the checks and writes \p lines there,
/// one paragraph each, replacing an earlier RTF file of that name. Cancel writes nothing. A
/// name that holds something other than an RTF file is not written over, and that, like a
/// file that cannot be written, is reported through \p prompts' error report.
void saveAsRtf(QWidget* parent, UserPrompts& prompts, const QStringList& lines);

/// Whether \p path is a file that begins as an RTF document.
bool isRtfFile(const QString& path);

/// Prints \p lines, one per line, as the job \p jobTitle on the printer that \p setup prepares.
/// A printer that cannot be used is reported through \p prompts' error report.
void print(QWidget* parent, UserPrompts& prompts, const PrinterSetup& setup,
           const QString& jobTitle, const QStringList& lines);

} // namespace resultlist
