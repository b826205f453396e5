// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's engines without a window: zoom table and coordinates, the three rotations, undo,
// strokes and shapes, the eyedropper and text stamps, checked pixel by pixel.

#include "editor/drawingengine.h"
#include "editor/editorgeometry.h"
#include "editor/timageunit.h"

#include <QPainter>
#include <QtTest>

namespace {

/// A page whose every pixel differs, so any misplaced pixel shows.
QImage numbered(int width, int height, QImage::Format format) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 40, y * 60, (x + y * width) * 7));
        }
    }
    if (format == QImage::Format_Indexed8) {
        QImage indexed(width, height, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; i < width * height; ++i) {
            table << qRgb(i, 255 - i, i * 3);
        }
        indexed.setColorTable(table);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                indexed.setPixel(x, y, static_cast<uint>(x + y * width));
            }
        }
        return indexed;
    }
    if (format == QImage::Format_Mono) {
        QImage mono(width, height, QImage::Format_Mono);
        mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                mono.setPixel(x, y, static_cast<uint>((x * 7 + y * 3) % 5 < 2));
            }
        }
        return mono;
    }
    return image.convertToFormat(format);
}

QImage whitePage(int width = 200, int height = 150) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

/// The smallest rectangle holding every pixel that is not white.
QRect inkBounds(const QImage& image) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

} // namespace

class DrawingEngineTest : public QObject {
    Q_OBJECT
private slots:
    void zoomTable_data();
    void zoomTable();
    void screenToImage_data();
    void screenToImage();
    void rotation_data();
    void rotation();
    void turnsIntoSpareMemoryLeaveSharedPagesAlone();
    void fourRightTurnsAndLeftTurnUndone();
    void lineThenUndoRestoresThePageExactly();
    void penAndEraserStrokeUnderThePointer();
    void bandNeverTouchesThePage_data();
    void bandNeverTouchesThePage();
    void eyedropperPicksWithoutEnablingUndo();
    void textStampAtTheReleasePointInTheFontColour();
    void withoutAPageNothingHappens();
    void drawingKeepsToThePagesColours_data();
    void drawingKeepsToThePagesColours();
    void revisionFollowsChangesAndUndo();
};

void DrawingEngineTest::zoomTable_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("stored -3 opens at the smallest") << -3 << "0.17";
    QTest::newRow("smallest") << 0 << "0.17";
    QTest::newRow("start") << 5 << "1.00";
    QTest::newRow("two") << 7 << "2.00";
    QTest::newRow("largest") << 10 << "5.64";
    QTest::newRow("stored 25 opens at the largest") << 25 << "5.64";
}

void DrawingEngineTest::zoomTable() {
    QFETCH(int, index);
    QFETCH(QString, shown);
    QCOMPARE(editorgeometry::zoomText(index), shown);
}

void DrawingEngineTest::screenToImage_data() {
    QTest::addColumn<QPoint>("screen");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<bool>("lineTool");
    QTest::addColumn<QPoint>("image");
    QTest::newRow("pen at 0.5") << QPoint(101, 51) << 0.5 << false << QPoint(202, 102);
    QTest::newRow("line at 0.5: 10 pixels left")
        << QPoint(101, 51) << 0.5 << true << QPoint(182, 102);
    QTest::newRow("text at 2.0") << QPoint(300, 200) << 2.0 << false << QPoint(150, 100);
    QTest::newRow("truncated at 0.17") << QPoint(10, 10) << 0.17 << false << QPoint(58, 58);
    QTest::newRow("truncated at 5.64") << QPoint(11, 6) << 5.64 << false << QPoint(1, 1);
}

void DrawingEngineTest::screenToImage() {
    QFETCH(QPoint, screen);
    QFETCH(double, zoom);
    QFETCH(bool, lineTool);
    QFETCH(QPoint, image);
    QCOMPARE(editorgeometry::imagePoint(screen, zoom, lineTool), image);
}

void DrawingEngineTest::rotation_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("turn");
    const struct {
        const char* name;
        QImage::Format format;
    } formats[] = {{"rgb32", QImage::Format_RGB32},
                   {"rgb888", QImage::Format_RGB888},
                   {"indexed8", QImage::Format_Indexed8},
                   {"mono", QImage::Format_Mono}};
    for (const auto& f : formats) {
        for (const auto& [turnName, turn] : {std::pair{"left", Rotation::Left},
                                             {"right", Rotation::Right},
                                             {"180", Rotation::Half}}) {
            QTest::addRow("%s %s", f.name, turnName)
                << static_cast<int>(f.format) << static_cast<int>(turn);
        }
    }
}

void DrawingEngineTest::rotation() {
    QFETCH(int, format);
    QFETCH(int, turn);
    // Odd sides on both axes: an off-by-one in either direction lands outside or on the wrong
    // pixel of the middle row or column.
    const int w = 5;
    const int h = 3;
    const QImage source = numbered(w, h, static_cast<QImage::Format>(format));
    TImageUnit unit;
    const auto rotation = static_cast<Rotation>(turn);
    const QImage result = rotation == Rotation::Left    ? unit.RotateLeft(source)
                          : rotation == Rotation::Right ? unit.RotateRight(source)
                                                        : unit.Rotate180(source);
    QCOMPARE(result.format(), source.format());
    QCOMPARE(result.size(), rotation == Rotation::Half ? QSize(w, h) : QSize(h, w));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QPoint to = rotation == Rotation::Left    ? QPoint(y, w - 1 - x)
                              : rotation == Rotation::Right ? QPoint(h - 1 - y, x)
                                                            : QPoint(w - 1 - x, h - 1 - y);
            QCOMPARE(result.pixel(to), source.pixel(x, y));
        }
    }
}

void DrawingEngineTest::turnsIntoSpareMemoryLeaveSharedPagesAlone() {
    const QImage page = numbered(7, 5, QImage::Format_RGB32);
    TImageUnit unit;
    const QImage expected = unit.RotateRight(page);
    QImage spare(5, 7, QImage::Format_RGB32);
    spare.fill(Qt::green);
    const uchar* memory = spare.constBits();
    const QImage turned = unit.RotateRight(page, std::move(spare));
    QCOMPARE(turned, expected);
    QCOMPARE(turned.constBits(), memory); // written into the spare page's memory

    // A spare someone else still holds is never written into, nor is the page itself.
    QImage held(7, 5, QImage::Format_RGB32);
    held.fill(Qt::green);
    const QImage holder = held;
    QCOMPARE(unit.Rotate180(page, held), unit.Rotate180(page));
    QCOMPARE(holder.pixel(0, 0), QColor(Qt::green).rgb());
    QCOMPARE(unit.RotateLeft(page, page), unit.RotateLeft(page));
    QCOMPARE(page, numbered(7, 5, QImage::Format_RGB32));

    // In the engine the page undo no longer needs lends its memory to the next turn.
    DrawingEngine engine;
    engine.setBitmap(page);
    engine.rotate(Rotation::Left);
    engine.rotate(Rotation::Left);
    QCOMPARE(engine.bitmap(), unit.Rotate180(page));
    QVERIFY(engine.undo());
    QCOMPARE(engine.bitmap(), unit.RotateLeft(page));
}

void DrawingEngineTest::fourRightTurnsAndLeftTurnUndone() {
    const QImage page = numbered(7, 4, QImage::Format_RGB32);
    DrawingEngine engine;
    engine.setBitmap(page);
    for (int i = 0; i < 4; ++i) {
        engine.rotate(Rotation::Right);
    }
    QCOMPARE(engine.bitmap(), page);

    engine.rotate(Rotation::Left);
    QCOMPARE(engine.bitmap().size(), QSize(4, 7));
    QVERIFY(engine.canUndo());
    QVERIFY(engine.undo());
    QCOMPARE(engine.bitmap(), page);
    QVERIFY(!engine.canUndo());
}

void DrawingEngineTest::lineThenUndoRestoresThePageExactly() {
    const QImage page = numbered(40, 30, QImage::Format_RGB32);
    DrawingEngine engine;
    engine.setBitmap(page);
    engine.setTool(EditorTool::Line);
    engine.press(QPoint(2, 3));
    engine.move(QPoint(20, 10));
    engine.release(QPoint(30, 25));
    QVERIFY(engine.bitmap() != page);
    QCOMPARE(engine.bitmap().pixel(30, 25), qRgb(0, 0, 0)); // the line ends at the release
    QVERIFY(engine.undo());
    QCOMPARE(engine.bitmap(), page);
    QVERIFY(!engine.canUndo());
    QVERIFY(!engine.undo()); // one level only
    QCOMPARE(engine.bitmap(), page);
}

void DrawingEngineTest::penAndEraserStrokeUnderThePointer() {
    DrawingEngine engine;
    engine.setBitmap(whitePage());
    engine.setColour(QColor(0, 0, 255));
    engine.setLineWidth(1);
    engine.press(QPoint(10, 10));
    QCOMPARE(inkBounds(engine.bitmap()), QRect()); // a press alone draws nothing
    QVERIFY(engine.canUndo());
    const QRect changed = engine.move(QPoint(60, 10));
    engine.release(QPoint(60, 10));
    QCOMPARE(inkBounds(engine.bitmap()), QRect(10, 10, 51, 1));
    QVERIFY(changed.contains(QRect(10, 10, 51, 1))); // the repaint covers what changed
    QCOMPARE(engine.bitmap().pixel(35, 10), qRgb(0, 0, 255));

    engine.setTool(EditorTool::Eraser);
    engine.setLineWidth(5);
    engine.press(QPoint(30, 10));
    engine.move(QPoint(70, 10));
    engine.release(QPoint(70, 10));
    QCOMPARE(inkBounds(engine.bitmap()), QRect(10, 10, 18, 1)); // up to the eraser's round end
}

void DrawingEngineTest::bandNeverTouchesThePage_data() {
    QTest::addColumn<int>("tool");
    QTest::addColumn<QPoint>("onOutline");
    QTest::newRow("line") << static_cast<int>(EditorTool::Line) << QPoint(50, 50);
    QTest::newRow("circle") << static_cast<int>(EditorTool::Circle) << QPoint(50, 80);
    QTest::newRow("square") << static_cast<int>(EditorTool::Square) << QPoint(80, 50);
}

void DrawingEngineTest::bandNeverTouchesThePage() {
    QFETCH(int, tool);
    QFETCH(QPoint, onOutline);
    DrawingEngine engine;
    const QImage page = whitePage();
    engine.setBitmap(page);
    engine.setTool(static_cast<EditorTool>(tool));
    engine.press(QPoint(20, 20));
    engine.move(QPoint(150, 100));
    engine.move(QPoint(80, 80));
    QCOMPARE(engine.bitmap(), page); // the band is for the screen only
    const auto band = engine.band();
    QVERIFY(band);
    QCOMPARE(band->anchor, QPoint(20, 20));
    QCOMPARE(band->current, QPoint(80, 80));
    engine.release(QPoint(80, 80));
    QVERIFY(!engine.band());
    QCOMPARE(engine.bitmap().pixel(onOutline), qRgb(0, 0, 0));
    QCOMPARE(engine.bitmap().pixel(150, 100), qRgb(255, 255, 255)); // nothing of the old band
    QVERIFY(!inkBounds(engine.bitmap()).intersects(QRect(90, 90, 110, 60)));
}

void DrawingEngineTest::eyedropperPicksWithoutEnablingUndo() {
    QImage page = whitePage();
    page.setPixel(12, 7, qRgb(255, 0, 0));
    DrawingEngine engine;
    engine.setBitmap(page);
    engine.setTool(EditorTool::Eyedropper);
    engine.press(QPoint(12, 7));
    engine.move(QPoint(40, 40));
    engine.release(QPoint(40, 40)); // the colour under the press counts
    QCOMPARE(engine.colour(), QColor(255, 0, 0));
    QVERIFY(!engine.canUndo());
    QCOMPARE(engine.bitmap(), page.convertToFormat(QImage::Format_RGB32));
}

void DrawingEngineTest::textStampAtTheReleasePointInTheFontColour() {
    const QImage page = whitePage(400, 300);
    DrawingEngine engine;
    engine.setBitmap(page);
    QFont font;
    font.setPixelSize(20);
    engine.setTextFont(TextFont{font, QColor(0, 128, 0)});
    engine.setColour(Qt::red); // the drawing colour plays no part in a stamp
    engine.setTool(EditorTool::Text);
    engine.setStampText(QStringLiteral("HELLO"));
    engine.press(QPoint(10, 10));
    engine.move(QPoint(100, 80));
    QVERIFY(engine.canUndo());
    engine.setStampText(QStringLiteral("ABC")); // the text as it stands at the release
    const QRect changed = engine.release(QPoint(150, 100));
    const QRect ink = inkBounds(engine.bitmap());
    QVERIFY2(ink.left() >= 150 && ink.left() < 155, qPrintable(QString::number(ink.left())));
    QVERIFY2(ink.top() >= 100 && ink.top() < 110, qPrintable(QString::number(ink.top())));
    QVERIFY(ink.height() <= 20);   // the font's own size, in image pixels
    QVERIFY(ink.width() < 3 * 20); // "ABC", not "HELLO"
    QVERIFY(changed.contains(ink));
    bool green = false;
    for (int y = ink.top(); y <= ink.bottom(); ++y) {
        for (int x = ink.left(); x <= ink.right(); ++x) {
            const QColor c = engine.bitmap().pixelColor(x, y);
            QVERIFY(c.red() == c.blue()); // no red: green over white, never the drawing colour
            green = green || c == QColor(0, 128, 0);
        }
    }
    QVERIFY(green);
    QVERIFY(engine.undo());
    QCOMPARE(engine.bitmap(), page);
}

void DrawingEngineTest::withoutAPageNothingHappens() {
    DrawingEngine engine;
    engine.clear();
    QCOMPARE(engine.press(QPoint(1, 1)), QRect());
    QVERIFY(!engine.isDrawing());
    engine.rotate(Rotation::Left);
    QVERIFY(!engine.hasBitmap());
    QVERIFY(!engine.canUndo());
}

void DrawingEngineTest::drawingKeepsToThePagesColours_data() {
    QTest::addColumn<QImage>("page");
    QTest::addColumn<QColor>("drawn"); // what a red pen draws on it
    QImage white(60, 40, QImage::Format_RGB32);
    white.fill(Qt::white);
    QImage blackWhite = white.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    QImage blueWhite(60, 40, QImage::Format_Mono);
    blueWhite.setColorTable({qRgb(0, 0, 160), qRgb(255, 255, 255)});
    blueWhite.fill(1);
    QImage fourColours(60, 40, QImage::Format_Indexed8);
    fourColours.setColorTable(
        {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(200, 30, 30), qRgb(0, 128, 0)});
    fourColours.fill(0);
    QTest::newRow("one bit, black and white") << blackWhite << QColor(Qt::black);
    QTest::newRow("one bit, blue and white") << blueWhite << QColor(0, 0, 160);
    QTest::newRow("four-colour table") << fourColours << QColor(200, 30, 30);
    QImage red(1, 1, QImage::Format_RGB32);
    red.fill(QColor(230, 0, 0));
    QTest::newRow("grey") << white.convertToFormat(QImage::Format_Grayscale8)
                          << red.convertToFormat(QImage::Format_Grayscale8).pixelColor(0, 0);
    QTest::newRow("colour") << white.convertToFormat(QImage::Format_RGB888) << QColor(230, 0, 0);
}

void DrawingEngineTest::drawingKeepsToThePagesColours() {
    QFETCH(QImage, page);
    QFETCH(QColor, drawn);
    DrawingEngine engine;
    engine.setBitmap(page);
    engine.setColour(QColor(230, 0, 0));
    QCOMPARE(engine.colour(), drawn); // the swatch shows what the page will hold
    QFont font;
    font.setPixelSize(16);
    engine.setTextFont(TextFont{font, QColor(30, 30, 240)});
    engine.press(QPoint(5, 5));
    engine.move(QPoint(50, 30));
    engine.release(QPoint(50, 30));
    QCOMPARE(engine.bitmap().pixelColor(27, 17), drawn);
    engine.setTool(EditorTool::Circle);
    engine.press(QPoint(10, 20));
    engine.move(QPoint(40, 38));
    engine.release(QPoint(40, 38));
    engine.setTool(EditorTool::Text);
    engine.setStampText(QStringLiteral("済 Wg"));
    engine.press(QPoint(2, 2));
    engine.release(QPoint(2, 2));
    // Every pixel on the screen is the pixel the save writes, soft text edges included.
    const QImage written =
        engine.pageColours().inPageFormat(engine.bitmap()).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(written, engine.bitmap());
}

void DrawingEngineTest::revisionFollowsChangesAndUndo() {
    DrawingEngine engine;
    engine.setBitmap(whitePage());
    const quint64 opened = engine.revision();
    engine.press(QPoint(10, 10)); // a click without a move draws nothing
    engine.release(QPoint(10, 10));
    QCOMPARE(engine.revision(), opened);
    engine.press(QPoint(10, 10));
    engine.move(QPoint(30, 30));
    engine.release(QPoint(30, 30));
    const quint64 drawn = engine.revision();
    QVERIFY(drawn != opened);
    QVERIFY(engine.undo());
    QCOMPARE(engine.revision(), opened); // the page as it was read
    engine.rotate(Rotation::Half);
    QVERIFY(engine.revision() != opened && engine.revision() != drawn);
    QVERIFY(engine.undo());
    QCOMPARE(engine.revision(), opened);
    engine.setTool(EditorTool::Eyedropper);
    engine.press(QPoint(5, 5));
    engine.release(QPoint(5, 5));
    QCOMPARE(engine.revision(), opened);
}

QTEST_MAIN(DrawingEngineTest)
#include "drawingengine_test.moc"
