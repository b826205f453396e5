// SPDX-License-Identifier: GPL-3.0-or-later
// The editor window driven as the operator drives it: clicks on its tool buttons and menus,
// drags on the page, typing in its boxes. Modal windows go through FakePrompts.

#include "editor/editorgeometry.h"
#include "editor/editoricons.h"
#include "editor/pageview.h"
#include "editor/timageshow.h"
#include "imaging/timageio.h"
#include "support/fakeprompts.h"
#include "support/scannedpages.h"
#include "support/skewmeasure.h"
#include "support/typetext.h"

#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <functional>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage loaded(const QString& path) {
    TImageIO io;
    io.LoadImageFile(path);
    return io.IoFailed() ? QImage() : io.bitmap().convertToFormat(QImage::Format_RGB32);
}

/// A white page with a red block in its top-left corner.
QImage plainPage(int width = 300, int height = 200) {
    QImage image(width, height, QImage::Format_RGB888);
    image.fill(Qt::white);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            image.setPixelColor(x, y, QColor(255, 0, 0));
        }
    }
    return image;
}

bool writePage(const QImage& image, const QString& path) {
    QImage copy = image;
    TImageIO io;
    io.BindBitmap(&copy);
    io.SaveImageFile(path);
    return !io.IoFailed();
}

QWidget* button(TImageShow& editor, const char* action) {
    auto* widget = editor.findChild<QWidget*>(QString::fromLatin1(action) + "Button");
    if (!widget) {
        qFatal("no button for %s", action);
    }
    return widget;
}

void click(TImageShow& editor, const char* action) {
    QTest::mouseClick(button(editor, action), Qt::LeftButton);
}

/// Opens the menu \p menuName from the menu bar with a click and clicks its entry \p action.
void clickMenu(TImageShow& editor, const char* menuName, const char* action) {
    auto* menu = editor.findChild<QMenu*>(QString::fromLatin1(menuName));
    auto* bar = editor.findChild<QMenuBar*>();
    QVERIFY(menu && bar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    QAction* entry = menu->findChild<QAction*>(QString::fromLatin1(action));
    if (!entry) {
        for (QAction* a : menu->actions()) {
            if (a->objectName() == QLatin1String(action)) {
                entry = a;
            }
        }
    }
    QVERIFY(entry);
    if (!entry->isEnabled()) {
        menu->close();
        return;
    }
    // Down to the entry and Enter: the popup's own keys, which skip separators.
    int steps = 0;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator() && a->isEnabled()) {
            ++steps;
        }
        if (a == entry) {
            break;
        }
    }
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(menu, Qt::Key_Down);
    }
    QCOMPARE(menu->activeAction(), entry);
    QTest::keyClick(menu, Qt::Key_Return);
    QTRY_VERIFY(!menu->isVisible());
}

/// The state of an edit menu entry as the menu shows it once opened.
bool menuEntryEnabled(TImageShow& editor, const char* menuName, const char* action) {
    auto* menu = editor.findChild<QMenu*>(QString::fromLatin1(menuName));
    auto* bar = editor.findChild<QMenuBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    bool enabled = false;
    for (QAction* a : menu->actions()) {
        if (a->objectName() == QLatin1String(action)) {
            enabled = a->isEnabled();
        }
    }
    menu->close();
    return enabled;
}

void drag(QWidget* view, Qt::MouseButton button, QPoint from, QPoint to) {
    QTest::mousePress(view, button, {}, from);
    QTest::mouseMove(view, (from + to) / 2);
    QTest::mouseMove(view, to);
    QTest::mouseRelease(view, button, {}, to);
}

/// The font chooser of the text properties dialog.
QFontDialog* fontChooser(QDialog& dialog) {
    auto* chooser = qobject_cast<QFontDialog*>(&dialog);
    return chooser ? chooser : dialog.findChild<QFontDialog*>();
}

/// Clicks the dialog's OK button.
void clickOk(QDialog& dialog) {
    auto* buttons = dialog.findChild<QDialogButtonBox*>("Buttons");
    QVERIFY(buttons);
    QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

QColor swatch(TImageShow& editor) {
    return editor.findChild<QLabel*>("ColorPanel")->pixmap().toImage().pixelColor(12, 12);
}

} // namespace

class TImageShowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    FakePrompts m_prompts;
    std::unique_ptr<TImageShow> m_editor;

    QString pagePath(const QString& name) const { return m_dir->filePath(name); }
    QString makePage(const QString& name, const QImage& image = plainPage()) {
        const QString path = pagePath(name);
        if (!writePage(image, path)) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }

    /// Shows the editor for \p path at \p zoom, runs \p steps on the open window and closes it
    /// with its close box, dropping what was not saved when it asks.
    void edit(const QString& path, int zoom, const std::function<void(TImageShow&)>& steps) {
        m_editor->setPagePath(path);
        m_editor->setZoomIndex(zoom);
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            dialog.show();
            QApplication::setActiveWindow(&dialog);
            if (!QTest::qWaitForWindowActive(&dialog)) {
                return int(QDialog::Rejected);
            }
            steps(*m_editor);
            closeDiscarding(dialog);
            return dialog.result();
        });
        m_editor->Execute();
    }
    /// Closes \p editor with its close box, answering "破棄" if it asks.
    void closeDiscarding(QDialog& editor) {
        const qsizetype queued = m_prompts.dialogAnswers.size();
        m_prompts.dialogAnswers.enqueue(FakePrompts::clickInMessageBox(QStringLiteral("破棄")));
        editor.close();
        if (m_prompts.dialogAnswers.size() > queued) {
            m_prompts.dialogAnswers.removeLast(); // it asked nothing
        }
    }
    QWidget* view() const { return m_editor->pageView(); }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_prompts = FakePrompts();
        m_editor = std::make_unique<TImageShow>(m_prompts);
    }

    void windowAndControls() {
        QCOMPARE(m_editor->windowTitle(), QStringLiteral("ページ編集"));
        QCOMPARE(m_editor->size(), QSize(710, 652));
        for (const char* name : {"ShioriBar", "ZoomBar", "ToolBar", "LineBar", "SaveBar", "TextBar",
                                 "ColorBar", "RotateBar"}) {
            QVERIFY2(m_editor->findChild<QToolBar*>(name), name);
        }
        const QStringList widths{"極細", "細線", "標準", "太線", "極太"};
        auto* dotSize = m_editor->findChild<QComboBox*>("DotSizeBox");
        for (int i = 0; i < widths.size(); ++i) {
            QCOMPARE(dotSize->itemText(i), widths[i]);
        }
        QCOMPARE(m_editor->findChild<QComboBox*>("ShioriBox")->maxVisibleItems(), 20);
        auto* edit = m_editor->findChild<QMenu*>("EditMenu");
        QStringList entries;
        for (QAction* a : edit->actions()) {
            entries << (a->isSeparator() ? QStringLiteral("-") : a->text());
        }
        QCOMPARE(entries, (QStringList{"しおり 登録", "しおり 貼り付け", "-", "コメント 登録",
                                       "コメント 貼り付け", "-", "注釈 クリア", "注釈 コピー",
                                       "注釈 切り取り", "注釈 貼り付け"}));
    }

    void zoomIsClampedAndShown_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("afterClick");
        QTest::newRow("25 opens at 5.64, zoom in stays") << 25 << QByteArray("ZoomInBtn") << "5.64";
        QTest::newRow("-3 opens at 0.17, zoom out stays")
            << -3 << QByteArray("ZoomOutBtn") << "0.17";
        QTest::newRow("1.0 zoomed in") << 5 << QByteArray("ZoomInBtn") << "1.40";
    }
    void zoomIsClampedAndShown() {
        QFETCH(int, stored);
        QFETCH(QByteArray, button);
        QFETCH(QString, afterClick);
        const QString page = makePage("zoom.png");
        edit(page, stored, [&](TImageShow& editor) {
            QCOMPARE(editor.statusText(1),
                     editorgeometry::zoomText(editorgeometry::clampZoomIndex(stored)));
            click(editor, button.constData());
            QCOMPARE(editor.statusText(1), afterClick);
            const double zoom = afterClick.toDouble();
            QCOMPARE(view()->size(), QSize(int(300 * zoom), int(200 * zoom)));
        });
        QCOMPARE(m_editor->zoomIndex(), editorgeometry::clampZoomIndex(stored + (stored == 5)));
    }

    void penAndLineLandWhereThePointerPoints() {
        const QString page = makePage("points.png", plainPage(400, 300));
        edit(page, 3, [&](TImageShow& editor) { // zoom 0.5
            QCOMPARE(editor.statusText(1), QStringLiteral("0.50"));
            drag(view(), Qt::LeftButton, QPoint(101, 51), QPoint(101, 71));
            QCOMPARE(editor.engine().bitmap().pixel(202, 102), qRgb(0, 0, 0));
            QCOMPARE(editor.engine().bitmap().pixel(202, 130), qRgb(0, 0, 0));

            click(editor, "LineBtn");
            drag(view(), Qt::LeftButton, QPoint(101, 121), QPoint(141, 121));
            // The line runs from (182, 242) to (262, 242): 10 screen pixels left of the pointer.
            QCOMPARE(editor.engine().bitmap().pixel(182, 242), qRgb(0, 0, 0));
            QCOMPARE(editor.engine().bitmap().pixel(262, 242), qRgb(0, 0, 0));
            QCOMPARE(editor.engine().bitmap().pixel(270, 242), qRgb(255, 255, 255));
            QCOMPARE(editor.engine().bitmap().pixel(178, 242), qRgb(255, 255, 255));
        });
    }

    void lineWidthFromTheWidthBox() {
        const QString page = makePage("width.png");
        edit(page, 5, [&](TImageShow& editor) {
            auto* widths = editor.findChild<QComboBox*>("DotSizeBox");
            QCOMPARE(widths->currentText(), QStringLiteral("標準"));
            widths->setFocus();
            QTest::keyClick(widths, Qt::Key_Down);
            QTest::keyClick(widths, Qt::Key_Down);
            QCOMPARE(widths->currentText(), QStringLiteral("極太"));
            drag(view(), Qt::LeftButton, QPoint(20, 100), QPoint(200, 100));
            int thickness = 0;
            for (int y = 90; y < 110; ++y) {
                thickness += editor.engine().bitmap().pixel(100, y) == qRgb(0, 0, 0);
            }
            QCOMPARE(thickness, 5);
        });
        // Each showing starts at the standard width again.
        edit(page, 5, [&](TImageShow& editor) {
            QCOMPARE(editor.findChild<QComboBox*>("DotSizeBox")->currentText(),
                     QStringLiteral("標準"));
            QCOMPARE(editor.engine().lineWidth(), 3);
        });
    }

    void linePointerShowsItsTipWhereTheLineStarts() {
        const QCursor cursor = editoricons::toolCursor(EditorTool::Line);
        const QImage image = cursor.pixmap().toImage();
        const QPoint tip = cursor.hotSpot() - QPoint(editorgeometry::LineToolOffset, 0);
        QCOMPARE(qAlpha(image.pixel(tip)), 255);
        QCOMPARE(qGray(image.pixel(tip)), 0); // the drawn cross sits on the line's start
    }

    void rightButtonDragDrawsAndUndoRestoresExactly() {
        const QString page = makePage("undo.png");
        const QImage before = loaded(page);
        edit(page, 5, [&](TImageShow& editor) {
            QWidget* undo = button(editor, "UndoBtn");
            QVERIFY(!undo->isEnabled());
            drag(view(), Qt::RightButton, QPoint(50, 50), QPoint(120, 90));
            QCOMPARE(editor.engine().bitmap().pixel(50, 50), qRgb(0, 0, 0));
            QCOMPARE(editor.engine().bitmap().pixel(120, 90), qRgb(0, 0, 0));
            QVERIFY(undo->isEnabled());

            click(editor, "LineBtn");
            drag(view(), Qt::LeftButton, QPoint(160, 20), QPoint(260, 150));
            const QImage withStroke = editor.engine().bitmap();
            click(editor, "UndoBtn");
            QVERIFY(!undo->isEnabled()); // a second undo is impossible
            QVERIFY(editor.engine().bitmap() != withStroke);
            QCOMPARE(editor.engine().bitmap().pixel(50, 50), qRgb(0, 0, 0)); // one level back
            QCOMPARE(editor.engine().bitmap().pixel(210, 85), qRgb(255, 255, 255));
        });
        QVERIFY(!m_editor->saved());
        QCOMPARE(loaded(page), before); // closed without saving: the file is as it was
    }

    void shapesRubberBandStaysOffThePage() {
        const QString page = makePage("band.png");
        edit(page, 5, [&](TImageShow& editor) {
            click(editor, "SquareBtn");
            const QImage before = editor.engine().bitmap();
            QTest::mousePress(view(), Qt::LeftButton, {}, QPoint(20, 30));
            QTest::mouseMove(view(), QPoint(200, 150));
            QTest::mouseMove(view(), QPoint(100, 100));
            view()->repaint();
            QCOMPARE(editor.engine().bitmap(), before);
            QVERIFY(view()->grab().toImage().pixel(60, 30) != qRgb(255, 255, 255)); // band
            QTest::mouseRelease(view(), Qt::LeftButton, {}, QPoint(100, 100));
            QCOMPARE(editor.engine().bitmap().pixel(100, 60), qRgb(0, 0, 0));
            QCOMPARE(editor.engine().bitmap().pixel(200, 100), qRgb(255, 255, 255));
            view()->repaint();
            QCOMPARE(view()->grab().toImage().pixel(200, 100), qRgb(255, 255, 255));
        });
    }

    void eyedropperAndColourDialog() {
        const QString page = makePage("colour.png");
        edit(page, 5, [&](TImageShow& editor) {
            click(editor, "SpoitBtn");
            QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(editor.engine().colour(), QColor(255, 0, 0));
            QCOMPARE(swatch(editor), QColor(255, 0, 0));
            QVERIFY(!button(editor, "UndoBtn")->isEnabled());

            m_prompts.dialogAnswers.enqueue([](QDialog& dialog) {
                qobject_cast<QColorDialog*>(&dialog)->setCurrentColor(QColor(0, 0, 200));
                return int(QDialog::Accepted);
            });
            click(editor, "ColorBtn");
            QCOMPARE(m_prompts.shownDialogs.last(), QStringLiteral("ColorDialog1"));
            QCOMPARE(swatch(editor), QColor(0, 0, 200));
            click(editor, "PenBtn");
            drag(view(), Qt::LeftButton, QPoint(100, 100), QPoint(150, 100));
            QCOMPARE(editor.engine().bitmap().pixel(120, 100), qRgb(0, 0, 200));
        });
        // The next showing starts with black again.
        edit(page, 5, [&](TImageShow& editor) { QCOMPARE(swatch(editor), QColor(Qt::black)); });
    }

    void rotationsThenSaveRewritesThePage() {
        const QString page = makePage("turn.png");
        const QImage before = loaded(page);
        edit(page, 5, [&](TImageShow& editor) {
            click(editor, "RotLeftBtn");
            QCOMPARE(editor.engine().bitmap().size(), QSize(200, 300));
            QCOMPARE(view()->size(), QSize(200, 300));
            click(editor, "UndoBtn");
            QCOMPARE(editor.engine().bitmap(), before);
            click(editor, "RotRieghtBtn");
            click(editor, "UpDownBtn");
            click(editor, "ToolButton3");
            QCOMPARE(editor.statusText(2), QString());
        });
        QVERIFY(m_editor->saved());
        TImageUnit unit;
        QCOMPARE(loaded(page), unit.RotateLeft(before)); // right, then 180
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"turn.png"}); // nothing left beside it
    }

    void straighteningIsUndoneAndSaved() {
        // A scan turned 2.5° clockwise, at 150 dpi to keep the window test quick.
        const QString page =
            makePage("skewed.png", scannedpages::page(scannedpages::Kind::Text, 2.5, 150));
        const QImage before = loaded(page);
        edit(page, 2, [&](TImageShow& editor) {
            QElapsedTimer clock;
            clock.start();
            click(editor, "StraightenBtn");
            // The click returns at once; the page is measured and turned on a worker.
            QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
            QVERIFY(editor.isStraightening() || !button(editor, "StraightenBtn")->isEnabled());
            QTRY_VERIFY(button(editor, "StraightenBtn")->isEnabled());
            QVERIFY2(editor.statusText(2).contains(QStringLiteral("補正しました")),
                     qPrintable(editor.statusText(2)));
            const double left = skewmeasure::linesAngle(editor.engine().bitmap());
            QVERIFY2(std::abs(left) <= 0.2, qPrintable(QString::number(left)));
            click(editor, "UndoBtn");
            QCOMPARE(editor.engine().bitmap(), before);
            click(editor, "StraightenBtn");
            QTRY_VERIFY(button(editor, "StraightenBtn")->isEnabled());
            click(editor, "ToolButton3");
        });
        QVERIFY(m_editor->saved());
        QVERIFY(std::abs(skewmeasure::linesAngle(loaded(page))) <= 0.2);
    }

    void levelPageIsLeftAloneAndSaysSo() {
        const QString page =
            makePage("level.png", scannedpages::page(scannedpages::Kind::Text, 0.0, 150));
        const QImage before = loaded(page);
        edit(page, 2, [&](TImageShow& editor) {
            click(editor, "StraightenBtn");
            QTRY_VERIFY(button(editor, "StraightenBtn")->isEnabled());
            QVERIFY2(editor.statusText(2).contains(QStringLiteral("補正しませんでした")),
                     qPrintable(editor.statusText(2)));
            QCOMPARE(editor.engine().bitmap(), before);
            QVERIFY(!button(editor, "UndoBtn")->isEnabled());
        });
    }

    void savedJpegKeepsItsFormat() {
        const QString page = makePage("scan.jpg", plainPage(64, 48));
        edit(page, 5, [&](TImageShow& editor) {
            click(editor, "UpDownBtn");
            clickMenu(editor, "FileMenu", "SaveMenu");
        });
        QVERIFY(m_editor->saved());
        const QByteArray written = bytesOf(page);
        QVERIFY(written.startsWith("\xFF\xD8"));
        const QImage turned = loaded(page);
        QCOMPARE(turned.size(), QSize(64, 48));
        QVERIFY(qRed(turned.pixel(60, 45)) > 200 && qGreen(turned.pixel(60, 45)) < 60); // red moved
    }

    void refusedSavesLeaveTheFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("read-only") << "locked.png"
                                   << "書き込み禁止です。";
        QTest::newRow("dicom") << "image.dcm"
                               << "DicomFileへの変更書き込みはできません。";
        QTest::newRow("did not decode")
            << "broken.png"
            << "読み込めなかったページは保存できません。ページは元のままです。";
    }
    void refusedSavesLeaveTheFile() {
        QFETCH(QString, name);
        QFETCH(QString, message);
        // An earlier page was open: nothing of it may reach this page's file.
        const QString earlier = makePage("earlier.png");
        edit(earlier, 5, [&](TImageShow& editor) {
            drag(view(), Qt::LeftButton, QPoint(10, 100), QPoint(200, 100));
            QCOMPARE(editor.engine().bitmap().pixel(100, 100), qRgb(0, 0, 0));
        });
        const QString page = pagePath(name);
        if (name == "broken.png" || name == "image.dcm") {
            QFile file(page);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name == "broken.png" ? QByteArray("\x89PNG\r\n\x1a\n broken") : "DICM");
        } else {
            makePage(name);
            QVERIFY(QFile::setPermissions(page, QFile::ReadOwner | QFile::ReadGroup));
        }
        const QByteArray before = bytesOf(page);
        edit(page, 5, [&](TImageShow& editor) {
            drag(view(), Qt::LeftButton, QPoint(20, 20), QPoint(80, 80));
            click(editor, "RotLeftBtn");
            click(editor, "ToolButton3");
            QCOMPARE(editor.statusText(2), message);
        });
        QVERIFY(!m_editor->saved());
        QCOMPARE(bytesOf(page), before);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void failedWriteIsReportedAndLeavesThePage() {
        const QString page = makePage("full.png");
        edit(page, 5, [&](TImageShow& editor) {
            drag(view(), Qt::LeftButton, QPoint(20, 20), QPoint(200, 150));
            // While the editor is open the page's name comes to hold a folder with a file in
            // it, which no rename may replace.
            QVERIFY(QFile::remove(page));
            QVERIFY(QDir().mkdir(page));
            QFile inside(page + "/keep.txt");
            QVERIFY(inside.open(QIODevice::WriteOnly));
            inside.write("kept");
            inside.close();
            click(editor, "ToolButton3");
            QVERIFY2(editor.statusText(2).startsWith(
                         QStringLiteral("＊＊＊　ファイル保存に失敗しました。（")),
                     qPrintable(editor.statusText(2)));
            QVERIFY(editor.statusText(2).size() > 21); // with the reason
        });
        QVERIFY(!m_editor->saved());
        QCOMPARE(bytesOf(page + "/keep.txt"), QByteArray("kept"));
        QCOMPARE(
            QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"full.png"}); // the written page went again
    }

    void closingWithUnsavedChangesAsks_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("closing");
        QTest::addColumn<QString>("answer"); // empty: no question is expected
        QTest::newRow("drawn, Escape, save") << "draw"
                                             << "Escape"
                                             << "保存";
        QTest::newRow("drawn, Escape, discard") << "draw"
                                                << "Escape"
                                                << "破棄";
        QTest::newRow("drawn, close box, cancel") << "draw"
                                                  << "close box"
                                                  << "キャンセル";
        QTest::newRow("turned, menu, save") << "turn"
                                            << "閉じる"
                                            << "保存";
        QTest::newRow("stamped, Escape, cancel") << "stamp"
                                                 << "Escape"
                                                 << "キャンセル";
        QTest::newRow("drawn and undone: nothing to ask") << "undone"
                                                          << "Escape"
                                                          << "";
        QTest::newRow("drawn and saved: nothing to ask") << "saved"
                                                         << "Escape"
                                                         << "";
    }
    void closingWithUnsavedChangesAsks() {
        QFETCH(QString, change);
        QFETCH(QString, closing);
        QFETCH(QString, answer);
        const QString page = makePage("ask.png");
        const QByteArray original = bytesOf(page);
        QImage edited;
        QString asked;
        bool stayedOpen = false;
        bool stayedWithTheWork = false;
        m_editor->setPagePath(page);
        m_editor->setZoomIndex(5);
        m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
            dialog.show();
            QApplication::setActiveWindow(&dialog);
            if (!QTest::qWaitForWindowActive(&dialog)) {
                return int(QDialog::Rejected);
            }
            if (change == "turn") {
                click(*m_editor, "RotRieghtBtn");
            } else if (change == "stamp") {
                m_editor->findChild<QComboBox*>("StrBox")->setEditText(QStringLiteral("済"));
                click(*m_editor, "StrSetBtn");
                QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(100, 100));
            } else {
                drag(view(), Qt::LeftButton, QPoint(20, 100), QPoint(200, 100));
            }
            if (change == "undone") {
                click(*m_editor, "UndoBtn");
            } else if (change == "saved") {
                click(*m_editor, "ToolButton3");
            }
            edited = m_editor->engine().bitmap();
            if (!answer.isEmpty()) {
                m_prompts.dialogAnswers.enqueue(FakePrompts::clickInMessageBox(answer, &asked));
            }
            if (closing == "Escape") {
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(focus ? focus : &dialog, Qt::Key_Escape);
            } else if (closing == "close box") {
                dialog.close();
            } else {
                clickMenu(*m_editor, "FileMenu", "CloseMenu");
            }
            stayedOpen = dialog.isVisible();
            if (stayedOpen) {
                // Still there with the work on it; dropped now to end the test.
                stayedWithTheWork = m_editor->engine().bitmap() == edited;
                closeDiscarding(dialog);
            }
            return dialog.result();
        });
        m_editor->Execute();
        QVERIFY(m_prompts.dialogAnswers.isEmpty()); // every question expected was asked
        QCOMPARE(m_prompts.shownDialogs.count("SaveChangesQuestion"),
                 answer.isEmpty() ? 0 : 1 + (answer == "キャンセル"));
        QCOMPARE(asked, answer.isEmpty() ? QString() : QStringLiteral("変更を保存しますか？"));
        QCOMPARE(stayedOpen, answer == "キャンセル");
        QCOMPARE(stayedWithTheWork, stayedOpen);
        const bool written = answer == "保存" || change == "saved";
        QCOMPARE(m_editor->saved(), written);
        if (written) {
            QCOMPARE(loaded(page), edited);
        } else {
            QCOMPARE(bytesOf(page), original);
        }
    }

    void keysSaveAndUndoAsTheirCommandsDo() {
        const QString page = makePage("keys.png");
        const QImage before = loaded(page);
        QImage drawn;
        edit(page, 5, [&](TImageShow& editor) {
            drag(view(), Qt::LeftButton, QPoint(20, 100), QPoint(200, 100));
            QVERIFY(editor.engine().bitmap() != before);
            QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(editor.engine().bitmap(), before);
            QVERIFY(!button(editor, "UndoBtn")->isEnabled());

            // In the note box the key undoes the typing and leaves the page alone, also with
            // the tool bar of the undo button hidden.
            clickMenu(editor, "ViewMenu", "ViewTool");
            drag(view(), Qt::LeftButton, QPoint(20, 50), QPoint(200, 50));
            drawn = editor.engine().bitmap();
            auto* memo = editor.findChild<QPlainTextEdit*>("NoteMemo");
            QTest::mouseClick(memo->viewport(), Qt::LeftButton);
            typeText(memo, QStringLiteral("要再診"));
            QTest::keyClick(memo, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(memo->toPlainText(), QString());
            QCOMPARE(editor.engine().bitmap(), drawn);
            QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(editor.engine().bitmap(), before);
            QTest::keyClick(view(), Qt::Key_Z, Qt::ControlModifier); // one level only
            QCOMPARE(editor.engine().bitmap(), before);

            drag(view(), Qt::LeftButton, QPoint(20, 150), QPoint(200, 150));
            drawn = editor.engine().bitmap();
            QTest::keyClick(memo, Qt::Key_S, Qt::ControlModifier); // from the note box too
            QCOMPARE(editor.statusText(2), QString());
        });
        QVERIFY(m_editor->saved());
        QCOMPARE(loaded(page), drawn);
        QVERIFY(!m_prompts.shownDialogs.contains("SaveChangesQuestion")); // saved: nothing to ask
    }

    void fontDialogOpensOnTheStampFontAndSetsItsColour() {
        const QString page = makePage("fontcolour.png", plainPage(400, 300));
        edit(page, 5, [&](TImageShow& editor) {
            const TextFont before = editor.engine().textFont();
            // Opened and closed with OK: it showed the stamp font and changes nothing.
            QFont shown;
            m_prompts.dialogAnswers.enqueue([&](QDialog& dialog) {
                dialog.show();
                shown = fontChooser(dialog)->currentFont();
                clickOk(dialog);
                return dialog.result();
            });
            click(editor, "StrPropertyBtn");
            QCOMPARE(shown.family(), QFontInfo(before.font).family());
            QVERIFY(!shown.bold());
            QVERIFY(!shown.italic());
            QCOMPARE(shown.pointSize(), 9); // 12 pixels
            QCOMPARE(editor.engine().textFont().font, before.font);
            QCOMPARE(editor.engine().textFont().colour, before.colour);

            // The colour is chosen in the same dialog; Cancel keeps the old one.
            bool closed = false;
            for (const bool accept : {false, true}) {
                m_prompts.dialogAnswers.enqueue([&, accept](QDialog& dialog) {
                    dialog.show();
                    m_prompts.dialogAnswers.enqueue([](QDialog& colours) {
                        qobject_cast<QColorDialog*>(&colours)->setCurrentColor(QColor(220, 0, 0));
                        return int(QDialog::Accepted);
                    });
                    auto* colourButton = dialog.findChild<QPushButton*>("FontColorBtn");
                    if (!colourButton) {
                        return int(QDialog::Rejected);
                    }
                    QTest::mouseClick(colourButton, Qt::LeftButton);
                    if (accept) {
                        clickOk(dialog);
                    } else {
                        // Escape in the list of faces closes the whole dialog.
                        QTest::keyClick(fontChooser(dialog)->findChild<QListView*>(),
                                        Qt::Key_Escape);
                    }
                    closed = !dialog.isVisible();
                    return dialog.result();
                });
                click(editor, "StrPropertyBtn");
                QVERIFY(closed);
                QCOMPARE(editor.engine().textFont().colour,
                         accept ? QColor(220, 0, 0) : before.colour);
            }
            QCOMPARE(m_prompts.shownDialogs.count("FontColorDialog"), 2);

            editor.findChild<QComboBox*>("StrBox")->setEditText(QStringLiteral("済"));
            click(editor, "StrSetBtn");
            QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(100, 100));
            int red = 0;
            for (int y = 95; y < 120; ++y) {
                for (int x = 95; x < 120; ++x) {
                    const QRgb ink = editor.engine().bitmap().pixel(x, y);
                    red += qRed(ink) > 150 && qGreen(ink) < 100 && qBlue(ink) < 100;
                }
            }
            QVERIFY2(red > 10, qPrintable(QString::number(red)));
        });
    }

    void aPageIsShownInTheColoursItIsSavedIn_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::addColumn<QColor>("line"); // what a red line becomes; invalid: some grey
        QTest::newRow("one bit") << "mono.png" << int(QImage::Format_Mono) << QColor(Qt::black);
        QTest::newRow("grey") << "grey.png" << int(QImage::Format_Grayscale8) << QColor();
        QTest::newRow("colour") << "colour.png" << int(QImage::Format_RGB888) << QColor(220, 0, 0);
    }
    void aPageIsShownInTheColoursItIsSavedIn() {
        QFETCH(QString, name);
        QFETCH(int, format);
        QFETCH(QColor, line);
        QImage white(300, 200, QImage::Format_RGB32);
        white.fill(Qt::white);
        QImage source = format == QImage::Format_Mono
                            ? white.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither)
                            : white.convertToFormat(QImage::Format(format));
        const QString page = makePage(name, source);
        QImage shown;
        QColor swatchColour;
        QColor lineColour;
        edit(page, 5, [&](TImageShow& editor) {
            m_prompts.dialogAnswers.enqueue([](QDialog& dialog) {
                qobject_cast<QColorDialog*>(&dialog)->setCurrentColor(QColor(220, 0, 0));
                return int(QDialog::Accepted);
            });
            click(editor, "ColorBtn");
            swatchColour = swatch(editor);
            drag(view(), Qt::LeftButton, QPoint(20, 100), QPoint(200, 100));
            editor.findChild<QComboBox*>("StrBox")->setEditText(QStringLiteral("済 OK"));
            click(editor, "StrSetBtn");
            QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(30, 30));
            view()->repaint();
            lineColour = view()->grab().toImage().pixelColor(100, 100);
            shown = editor.engine().bitmap();
            click(editor, "ToolButton3");
        });
        QVERIFY(m_editor->saved());
        QCOMPARE(swatchColour, lineColour); // the swatch shows what is drawn
        if (line.isValid()) {
            QCOMPARE(lineColour, line);
        } else {
            QVERIFY(lineColour.red() == lineColour.green() &&
                    lineColour.green() == lineColour.blue());
        }
        QCOMPARE(loaded(page), shown); // every pixel, the stamp's soft edges included
    }

    void textStampAtDoubleZoom() {
        const QString page = makePage("stamp.png", plainPage(400, 300));
        const QImage before = loaded(page);
        edit(page, 7, [&](TImageShow& editor) { // zoom 2.0
            auto* box = editor.findChild<QComboBox*>("StrBox");
            box->lineEdit()->clear();
            typeText(box->lineEdit(), QStringLiteral("済"));
            click(editor, "StrSetBtn");
            auto* preview = view()->findChild<QLabel*>("TextPreview");
            QVERIFY(!preview->isVisible());
            QTest::mousePress(view(), Qt::LeftButton, {}, QPoint(250, 150));
            QVERIFY(preview->isVisible());
            QCOMPARE(preview->pos(), QPoint(250, 150));
            QCOMPARE(preview->font().pixelSize(), 24); // 12 pixels at twice the size
            QTest::mouseMove(view(), QPoint(300, 200));
            QCOMPARE(preview->pos(), QPoint(300, 200));
            QTest::mouseRelease(view(), Qt::LeftButton, {}, QPoint(300, 200));
            QVERIFY(!preview->isVisible());
            QRect ink;
            const QImage& bitmap = editor.engine().bitmap();
            for (int y = 0; y < bitmap.height(); ++y) {
                for (int x = 20; x < bitmap.width(); ++x) {
                    if (bitmap.pixel(x, y) != qRgb(255, 255, 255)) {
                        ink |= QRect(x, y, 1, 1);
                    }
                }
            }
            QVERIFY2(ink.left() >= 150 && ink.left() < 154 && ink.top() >= 100 && ink.top() < 104,
                     qPrintable(QStringLiteral("%1,%2").arg(ink.left()).arg(ink.top())));
            QVERIFY(ink.height() <= 12); // the font's own size on the page
            click(editor, "UndoBtn");
            QCOMPARE(editor.engine().bitmap(), before);
        });
    }

    void fontDialogChangesTheNextStamp() {
        const QString page = makePage("font.png", plainPage(400, 300));
        edit(page, 5, [&](TImageShow& editor) {
            auto* box = editor.findChild<QComboBox*>("StrBox");
            box->setEditText(QStringLiteral("I"));
            m_prompts.dialogAnswers.enqueue([](QDialog& dialog) {
                QFont font;
                font.setPixelSize(40);
                fontChooser(dialog)->setCurrentFont(font);
                return int(QDialog::Accepted);
            });
            click(editor, "StrPropertyBtn");
            QCOMPARE(m_prompts.shownDialogs.last(), QStringLiteral("FontDialog1"));
            click(editor, "StrSetBtn");
            QTest::mouseClick(view(), Qt::LeftButton, {}, QPoint(100, 100));
            int rows = 0;
            for (int y = 90; y < 160; ++y) {
                bool ink = false;
                for (int x = 95; x < 130; ++x) {
                    ink = ink || editor.engine().bitmap().pixel(x, y) != qRgb(255, 255, 255);
                }
                rows += ink;
            }
            QVERIFY2(rows > 20, qPrintable(QString::number(rows))); // far taller than 12 pixels
        });
    }

    void bookmarkIsCutTo16Bytes_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("eight full-width: whole") << "紹介状紹介状紹介"
                                                 << "紹介状紹介状紹介";
        QTest::newRow("a ninth is dropped") << "紹介状紹介状紹介状"
                                            << "紹介状紹介状紹介";
        QTest::newRow("straddling the limit") << "a紹介状紹介状紹介"
                                              << "a紹介状紹介状紹";
        QTest::newRow("empty") << ""
                               << "";
    }
    void bookmarkIsCutTo16Bytes() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        m_editor->setShiori(QStringLiteral("old"));
        edit(makePage("mark.png"), 5, [&](TImageShow& editor) {
            auto* box = editor.findChild<QComboBox*>("ShioriBox");
            QCOMPARE(box->currentText(), QStringLiteral("old"));
            box->lineEdit()->selectAll();
            QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
            typeText(box->lineEdit(), typed);
        });
        QCOMPARE(m_editor->shiori(), kept);
    }

    void noteLinesAndClearing() {
        const QString page = makePage("note.png");
        m_editor->setNote(std::nullopt);
        edit(page, 5, [&](TImageShow& editor) {
            auto* memo = editor.findChild<QPlainTextEdit*>("NoteMemo");
            QCOMPARE(memo->toPlainText(), QString());
            QTest::mouseClick(memo->viewport(), Qt::LeftButton);
            typeText(memo, QStringLiteral("要再診"));
            QTest::keyClick(memo, Qt::Key_Return);
            QTest::keyClicks(memo, QStringLiteral("two weeks"));
        });
        QCOMPARE(m_editor->note(), (std::optional<QStringList>{{"要再診", "two weeks"}}));

        m_editor->setNote(QStringList{"a", "b", "c"});
        edit(page, 5, [&](TImageShow& editor) { clickMenu(editor, "EditMenu", "NoteClear"); });
        QCOMPARE(m_editor->note(), std::nullopt);
    }

    void registeringAndPastingThroughTheEditMenu() {
        m_editor->setCommentItems({"既存"});
        m_editor->setShioriItems({});
        edit(makePage("lists.png"), 5, [&](TImageShow& editor) {
            auto* comment = editor.findChild<QComboBox*>("StrBox");
            comment->setEditText(QStringLiteral("確認済"));
            clickMenu(editor, "EditMenu", "CommentRegist");
            clickMenu(editor, "EditMenu", "CommentRegist");
            clickMenu(editor, "EditMenu", "ShioriRegist"); // the empty bookmark, all the same

            auto* picture = new QMimeData;
            picture->setImageData(plainPage(8, 8));
            QApplication::clipboard()->setMimeData(picture);
            QVERIFY(!menuEntryEnabled(editor, "EditMenu", "ShioriPaste"));
            QVERIFY(!menuEntryEnabled(editor, "EditMenu", "CommentPaste"));

            QApplication::clipboard()->setText(QStringLiteral("紹介状"));
            QVERIFY(menuEntryEnabled(editor, "EditMenu", "ShioriPaste"));
            clickMenu(editor, "EditMenu", "ShioriPaste");
            QCOMPARE(editor.findChild<QComboBox*>("ShioriBox")->currentText(),
                     QStringLiteral("紹介状"));
            clickMenu(editor, "EditMenu", "CommentPaste");
            QCOMPARE(comment->currentText(), QStringLiteral("紹介状"));
        });
        QCOMPARE(m_editor->commentItems(), (QStringList{"既存", "確認済", "確認済"}));
        QCOMPARE(m_editor->shioriItems(), QStringList{QString()});
        QCOMPARE(m_editor->shiori(), QStringLiteral("紹介状"));
        // The comment to stamp stays as typed for the next page.
        m_editor->setCommentItems({"既存", "確認済", "確認済"});
        QCOMPARE(m_editor->findChild<QComboBox*>("StrBox")->currentText(),
                 QStringLiteral("紹介状"));
    }

    void viewMenuHidesAndShowsToolBars() {
        edit(makePage("view.png"), 5, [&](TImageShow& editor) {
            auto* rotate = editor.findChild<QToolBar*>("RotateBar");
            QVERIFY(rotate->isVisible());
            clickMenu(editor, "ViewMenu", "ViewRotate");
            QVERIFY(!rotate->isVisible());
            clickMenu(editor, "ViewMenu", "ViewRotate");
            QVERIFY(rotate->isVisible());
        });
    }

    void pageThatCannotBeOpenedIsReportedInJapanese() {
        const QString missing = pagePath("missing.png");
        m_editor->setPagePath(missing);
        m_editor->setShiori(QStringLiteral("紹介状"));
        QCOMPARE(m_editor->Execute(), int(QDialog::Rejected));
        QVERIFY(m_prompts.shownDialogs.isEmpty()); // the window did not open
        QCOMPARE(m_prompts.errors,
                 QStringList{QStringLiteral("ページのファイルを開くことができません（ファイルがあ"
                                            "りません）。\n") +
                             missing});
        QCOMPARE(m_editor->shiori(), QStringLiteral("紹介状")); // the page keeps its texts
        QVERIFY(!m_editor->saved());
    }
};

QTEST_MAIN(TImageShowTest)
#include "timageshow_test.moc"
