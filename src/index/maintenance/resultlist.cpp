// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/resultlist.h"

#include "platform/rtfwriter.h"
#include "platform/userprompts.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

ResultLines::ResultLines(QObject* parent) : QAbstractListModel(parent) {}

int ResultLines::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_starts.size());
}

QVariant ResultLines::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return line(index.row());
}

QString ResultLines::line(qsizetype row) const {
    const qsizetype start = m_starts.at(size_t(row));
    const qsizetype end =
        size_t(row) + 1 < m_starts.size() ? m_starts.at(size_t(row) + 1) : m_text.size();
    return QString::fromUtf8(m_text.constData() + start, end - start);
}

void ResultLines::append(const QStringList& lines) {
    if (lines.isEmpty()) {
        return;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + int(lines.size()) - 1);
    for (const QString& text : lines) {
        m_starts.push_back(m_text.size());
        m_text.append(text.toUtf8());
    }
    endInsertRows();
}

void ResultLines::clear() {
    beginResetModel();
    m_text.clear();
    m_text.squeeze();
    m_starts.clear();
    m_starts.shrink_to_fit();
    endResetModel();
}

ResultList::ResultList(QWidget* parent) : QListView(parent), m_lines(new ResultLines(this)) {
    setModel(m_lines);
    // Every line has the height of one: the view need not measure a million of them.
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

void ResultList::appendLines(const QStringList& lines) {
    m_lines->append(lines);
}

void ResultList::clearLines() {
    m_lines->clear();
}

QStringList ResultList::lines() const {
    QStringList all;
    all.reserve(m_lines->size());
    for (qsizetype row = 0; row < m_lines->size(); ++row) {
        all << m_lines->line(row);
    }
    return all;
}

void ResultList::copy() {
    QModelIndexList chosen = selectionModel()->selectedRows();
    std::sort(chosen.begin(), chosen.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList text;
    text.reserve(chosen.size());
    for (const QModelIndex& index : chosen) {
        text << m_lines->line(index.row());
    }
    QGuiApplication::clipboard()->setText(text.join(u'\n'));
}

void ResultList::selectAll() {
    QListView::selectAll();
}

void ResultList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    QListView::keyPressEvent(event);
}

namespace {

/// Whether \p printer leads anywhere. Without a printer of the system Qt falls back to PDF
/// output with no file to write, and a job sent there vanishes without an error.
bool canTakeJob(const QPrinter& printer) {
    if (!printer.isValid()) {
        return false;
    }
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        return !printer.outputFileName().isEmpty();
    }
    return !printer.printerName().isEmpty();
}

} // namespace

namespace resultlist {

bool isRtfFile(const QString& path) {
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.read(5) == "{\\rtf";
}

void saveAsRtf(QWidget* parent, UserPrompts& prompts, const QStringList& lines) {
    const FileChoice choice =
        prompts.saveFile(parent, QStringLiteral("*.rtf"), QStringLiteral("書式付テキスト|*.rtf"),
                         QStringLiteral(".rtf"));
    if (!choice.accepted || choice.files.isEmpty()) {
        return;
    }
    const QString path = choice.files.first();
    // An earlier list is replaced without asking; anything else the name may reach (a chart
    // typed over by mistake) is left as it is.
    if (QFileInfo::exists(path) && !isRtfFile(path)) {
        prompts.showError(
            parent, QStringLiteral("%1 は RTF ファイルではないため、上書きしません。").arg(path));
        return;
    }
    QString error;
    if (!rtf::writeFile(path, lines, &error)) {
        prompts.showError(parent, QStringLiteral("%1: %2").arg(path, error));
    }
}

void print(QWidget* parent, UserPrompts& prompts, const PrinterSetup& setup,
           const QString& jobTitle, const QStringList& lines) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(jobTitle);
    printer.setCreator(QStringLiteral("PeloraFile"));
    if (setup) {
        setup(printer);
    }
    if (!canTakeJob(printer)) {
        prompts.showError(parent, QStringLiteral("印刷できません: プリンターがありません。"));
        return;
    }
    QTextDocument document;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(10);
    document.setDefaultFont(font);
    document.setPlainText(lines.join(u'\n'));
    document.print(&printer);
    if (printer.printerState() == QPrinter::Error) {
        prompts.showError(parent, QStringLiteral("印刷できません: %1").arg(printer.printerName()));
    }
}

} // namespace resultlist
