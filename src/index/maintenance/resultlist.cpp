#include "index/maintenance/resultlist.h"

#include "platform/rtfwriter.h"
#include "platform/userprompts.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

ResultList::ResultList(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false); // a long run would otherwise keep every slice for undo
}

void ResultList::appendLines(const QStringList& lines) {
    if (lines.isEmpty()) {
        return;
    }
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QString text = lines.join(u'\n');
    if (!m_lines.isEmpty()) {
        text.prepend(u'\n');
    }
    cursor.insertText(text);
    m_lines.append(lines);
}

void ResultList::clearLines() {
    clear();
    m_lines.clear();
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
