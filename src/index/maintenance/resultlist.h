// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The result lists of the existence and registration checks: one path per line, shown from the
/// very lines a count, an RTF file and a print job see.
/// Saving and printing go through the functions below, shared by both windows.

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>
#include <functional>
#include <vector>

class QPrinter;
class UserPrompts;

/// The lines of a result list, kept compactly: all their text in one UTF-8 buffer and where
/// each line starts, so a million paths take a few tens of megabytes instead of an object each.
class ResultLines : public QAbstractListModel {
    Q_OBJECT
public:
    explicit ResultLines(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    void append(const QStringList& lines);
    void clear();
    qsizetype size() const { return qsizetype(m_starts.size()); }
    QString line(qsizetype row) const;

private:
    QByteArray m_text;
    std::vector<qsizetype> m_starts; // where each line starts in m_text; it ends at the next
};

class ResultList : public QListView {
    Q_OBJECT
public:
    explicit ResultList(QWidget* parent = nullptr);

    /// Appends \p lines at the end: a batch of a run adds its lines at once.
    void appendLines(const QStringList& lines);
    void clearLines();
    /// Every line, made on demand (for saving and printing).
    QStringList lines() const;
    qsizetype lineCount() const { return m_lines->size(); }
    /// The lines joined by line breaks, as a text box would hold them.
    QString toPlainText() const { return lines().join(u'\n'); }

public slots:
    /// Puts the selected lines, in their order, on the clipboard.
    void copy();
    void selectAll() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    ResultLines* m_lines;
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
