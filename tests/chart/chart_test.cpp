// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/chartpageimage.h"
#include "chart/tpdfcreate.h"
#include "imaging/imagereader.h"
#include "support/testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <climits>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TPdfDateTime pinnedTime() {
    return TPdfDateTime{2024, 3, 5, 14, 30, 9};
}

/// Random names that follow a fixed sequence.
TPRRandom countingRandom() {
    return [n = 4711](int) mutable { return n++; };
}

std::string readFile(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = f.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

/// The definition of object \p number in \p pdf, "n 0 obj" to "endobj".
std::string objectText(const std::string& pdf, int number) {
    const std::string head = "\r\n" + std::to_string(number) + " 0 obj\r\n";
    const size_t start = pdf.find(head);
    if (start == std::string::npos) {
        return {};
    }
    const size_t end = pdf.find("endobj", start);
    return pdf.substr(start + 2, end - start - 2);
}

void expectQpdfAccepts(const QString& path) {
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
    ASSERT_TRUE(qpdf.waitForFinished(30000)) << "qpdf did not run (is the qpdf package installed?)";
    EXPECT_EQ(qpdf.exitCode(), 0) << qpdf.readAllStandardOutput().toStdString()
                                  << qpdf.readAllStandardError().toStdString();
}

/// Page 1 of \p pdf rendered at \p dpi, or a null image when pdftoppm failed.
QImage renderFirstPage(const QString& pdf, int dpi) {
    const QString stem = pdf + QStringLiteral(".rendered");
    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                  QStringLiteral("-singlefile"), pdf, stem});
    if (!render.waitForFinished(30000)) {
        ADD_FAILURE() << "pdftoppm did not run (is poppler-utils installed?)";
        return {};
    }
    EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB888);
}

/// Mean difference per colour channel between two colours.
double colourDifference(const QColor& a, const QColor& b) {
    return (std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
            std::abs(a.blue() - b.blue())) /
           3.0;
}

class ChartComposer : public ::testing::Test {
protected:
    void SetUp() override {
        m_composer.setClock(pinnedTime);
        m_composer.setRandom(countingRandom());
    }
    QString page(const QString& name, int width, int height) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(testimages::save(testimages::page(width, height), path));
        return path;
    }
    void addPage(const QString& path, const QStringList& note = {}, const QString& bookmark = {}) {
        m_composer.ImageFile = path;
        m_composer.PRAnnotation1().SetLines({});
        m_composer.PRAnnotation1().SetPrintable(!note.isEmpty());
        std::vector<std::string> lines;
        for (const auto& line : note) {
            lines.push_back(line.toStdString());
        }
        m_composer.PRAnnotation1().SetLines(lines);
        m_composer.AddChartPage();
        if (!bookmark.isEmpty()) {
            TPROutlineEntry& entry = m_composer.PReport1().GetOutlineRoot().AddChild();
            entry.SetTitle(bookmark.toStdString());
            entry.SetDest(m_composer.LastDestination());
            entry.SetOpened(true);
        }
    }
    std::string writeChart(const QString& name, const std::function<void()>& pages,
                           bool stretch = false) {
        const QString path = m_dir.filePath(name);
        m_composer.BeginChart(path);
        m_composer.Stretch = stretch;
        pages();
        m_composer.EndChart();
        expectQpdfAccepts(path);
        return readFile(path);
    }

    QTemporaryDir m_dir;
    TPdfCreate m_composer;
};

struct SizeCase {
    const char* name;
    QSize image;
    bool stretch;
    QSize placed;
};

class PlacedSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(PlacedSize, CropOrFitIntoTheImageArea) {
    EXPECT_EQ(chartpage::placedSize(GetParam().image, QSize(634, 934), GetParam().stretch),
              GetParam().placed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlacedSize,
    ::testing::Values(SizeCase{"a4_scan_cropped", {2480, 3508}, false, {634, 934}},
                      SizeCase{"a4_scan_fitted", {2480, 3508}, true, {633, 896}},
                      SizeCase{"small_image_enlarged", {300, 200}, true, {633, 422}},
                      SizeCase{"exactly_twice", {1268, 1868}, true, {634, 934}},
                      SizeCase{"small_image_not_stretched", {300, 200}, false, {300, 200}},
                      SizeCase{"tall_narrow_fitted", {100, 2000}, true, {46, 934}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChartQuality, LimitedTo50To100) {
    EXPECT_EQ(chartpage::effectiveQuality(30), 50);
    EXPECT_EQ(chartpage::effectiveQuality(120), 100);
    EXPECT_EQ(chartpage::effectiveQuality(80), 80);
    EXPECT_EQ(chartpage::effectiveQuality(-5), 100); // read as unsigned
}

TEST_F(ChartComposer, CroppedScanPageAndItsContentStream) {
    const QString scan = page("scan.jpg", 2480, 3508);
    const std::string pdf = writeChart("crop.pdf", [&] { addPage(scan); });
    EXPECT_NE(pdf.find("/MediaBox [0 0 700 1000 ]"), std::string::npos);
    EXPECT_NE(pdf.find("/F0 10 Tf\nq\n33 33 634 934 re\nW\nn\n634 0 0 934 33 33 "
                       "cm\n/PRJpegImage14711 Do\nQ\n"),
              std::string::npos);
    EXPECT_NE(pdf.find("/Width 634\r\n/Height 934"), std::string::npos);
}

TEST_F(ChartComposer, StretchedPagesAndTheirPlacement) {
    const QString scan = page("scan.jpg", 2480, 3508);
    const QString small = page("small.png", 300, 200);
    const std::string pdf = writeChart(
        "stretch.pdf",
        [&] {
            addPage(scan);
            addPage(small);
        },
        true);
    EXPECT_NE(pdf.find("633 0 0 896 33 71 cm"), std::string::npos);  // 1000 - 33 - 896
    EXPECT_NE(pdf.find("633 0 0 422 33 545 cm"), std::string::npos); // enlarged
    // The scan is reduced to its place; the small image keeps its pixels and is enlarged by the
    // placement alone.
    EXPECT_NE(pdf.find("/Width 633\r\n/Height 896"), std::string::npos);
    EXPECT_NE(pdf.find("/Width 300\r\n/Height 200"), std::string::npos);
}

struct PreparedCase {
    const char* name;
    QSize area;
    QSize pixels; ///< of the encoded picture
    QSize placed;
};

class PreparedStretch : public ::testing::TestWithParam<PreparedCase> {};

// However large the area, the encoded picture never has more pixels than the decoded scan.
TEST_P(PreparedStretch, PictureNoLargerThanTheDecodedScan) {
    QTemporaryDir dir;
    const QString scan = dir.filePath("scan.jpg");
    ASSERT_TRUE(testimages::save(testimages::page(2480, 3508), scan));
    const chartpage::Prepared page = chartpage::prepare(scan, GetParam().area, true, 80);
    ASSERT_TRUE(page.loaded);
    EXPECT_EQ(QSize(page.picture.width, page.picture.height), GetParam().pixels);
    EXPECT_EQ(page.placed, GetParam().placed);
    EXPECT_EQ(page.placed, chartpage::placedSize(QSize(2480, 3508), GetParam().area, true));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PreparedStretch,
    ::testing::Values(PreparedCase{"reduced", {634, 934}, {633, 896}, {633, 896}},
                      PreparedCase{"same_size", {2480, 3508}, {2480, 3508}, {2480, 3508}},
                      PreparedCase{"enlarged_slightly", {2481, 3509}, {2480, 3508}, {2480, 3508}},
                      PreparedCase{"largest_page", {14334, 14334}, {2480, 3508}, {10133, 14334}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartComposer, SmallImageStretchedOntoTheLargestPage) {
    const QImage source = testimages::page(300, 200);
    const QString small = m_dir.filePath("small.png");
    ASSERT_TRUE(testimages::save(source, small));
    m_composer.PdfPageWidth = TPdfCreate::MaxPageSide;
    m_composer.PdfPageHeight = TPdfCreate::MaxPageSide;
    const std::string pdf = writeChart(
        "largest.pdf", [&] { addPage(small); }, true);
    EXPECT_NE(pdf.find("/MediaBox [0 0 14400 14400 ]"), std::string::npos);
    EXPECT_NE(pdf.find("/Width 300\r\n/Height 200"), std::string::npos);
    // 300 x 200 fitted into 14334 x 14334 through the float scale: 14333 x 9555, drawn without a
    // clip since the placement does the enlarging. 14400 - 33 - 9555 = 4812.
    EXPECT_NE(pdf.find("/F0 10 Tf\nq\n14333 0 0 9555 33 4812 cm\n/PRJpegImage14711 Do\nQ\n"),
              std::string::npos);

    // At 5 dpi the page is 1000 pixels square; each quadrant of the source shows its colour
    // where the placement puts it.
    const QImage rendered = renderFirstPage(m_dir.filePath("largest.pdf"), 5);
    ASSERT_EQ(rendered.size(), QSize(1000, 1000));
    const double pixelsPerSourcePixel = 14333.0 / 300 * 5 / 72;
    const double offset = 33.0 * 5 / 72;
    for (int y : {50, 150}) {
        for (int x : {75, 225}) { // inside the quadrants, between the grid lines
            const QPoint at(static_cast<int>(offset + x * pixelsPerSourcePixel),
                            static_cast<int>(offset + y * pixelsPerSourcePixel));
            EXPECT_LT(colourDifference(source.pixelColor(x, y), rendered.pixelColor(at)), 16.0)
                << "source " << x << "," << y;
        }
    }
    EXPECT_EQ(rendered.pixelColor(500, 900), QColor(Qt::white)); // below the image
}

struct RefusedPage {
    const char* name;
    int width;
    int height;
};

class ChartPageLimit : public ::testing::TestWithParam<RefusedPage> {};

TEST_P(ChartPageLimit, BeginChartRefusesTheSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath("refused.pdf");
    TPdfCreate composer;
    composer.PdfPageWidth = GetParam().width;
    composer.PdfPageHeight = GetParam().height;
    try {
        composer.BeginChart(path);
        ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& error) {
        const std::string size =
            std::to_string(GetParam().width) + " x " + std::to_string(GetParam().height);
        EXPECT_EQ(error.what(),
                  "chart page of " + size + " points refused: each side must be 1 to 14400 points");
    }
    EXPECT_EQ(composer.PagesAdded(), 0);
    EXPECT_FALSE(QFile::exists(path));
}

INSTANTIATE_TEST_SUITE_P(Table, ChartPageLimit,
                         ::testing::Values(RefusedPage{"width_14401", 14401, 1000},
                                           RefusedPage{"height_14401", 700, 14401},
                                           RefusedPage{"width_0", 0, 1000},
                                           RefusedPage{"height_negative", 700, -1000},
                                           RefusedPage{"int_max", INT_MAX, INT_MAX}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChartComposer, RefusedPageSizeDiscardsTheChartLeftOpen) {
    const QString scan = page("scan.jpg", 800, 1100);
    m_composer.BeginChart(m_dir.filePath("left-open.pdf"));
    addPage(scan);
    ASSERT_EQ(m_composer.PagesAdded(), 1);
    m_composer.PdfPageWidth = TPdfCreate::MaxPageSide + 1;
    EXPECT_THROW(m_composer.BeginChart(m_dir.filePath("refused.pdf")), std::runtime_error);
    EXPECT_EQ(m_composer.PagesAdded(), 0);
}

TEST_F(ChartComposer, UnstretchedSmallImageAtItsPixelSize) {
    const QString small = page("small.bmp", 300, 200);
    const std::string pdf = writeChart("small.pdf", [&] { addPage(small); });
    EXPECT_NE(pdf.find("300 0 0 200 33 767 cm"), std::string::npos);
}

TEST_F(ChartComposer, TwoPagesWithNoteAndBookmarkNumberTheObjects) {
    const QString first = page("p1.jpg", 800, 1100);
    const QString second = page("p2.jpg", 800, 1100);
    const std::string pdf = writeChart("two.pdf", [&] {
        addPage(first);
        addPage(second, {"abc", "de"}, "Plan");
    });
    EXPECT_NE(objectText(pdf, 1).find("/OpenAction [9 0 R /XYZ 0 1000 1 ]"), std::string::npos);
    EXPECT_NE(objectText(pdf, 1).find("/PageMode /UseOutlines"), std::string::npos);
    EXPECT_NE(objectText(pdf, 2).find("/Type /Outlines\r\n/Count 1"), std::string::npos);
    EXPECT_NE(objectText(pdf, 3).find("/Producer (Tessavor version 0.9)"), std::string::npos);
    EXPECT_NE(objectText(pdf, 3).find("/CreationDate (D:20240305143009)"), std::string::npos);
    EXPECT_NE(objectText(pdf, 4).find("/Type /Pages"), std::string::npos);
    EXPECT_NE(objectText(pdf, 5).find("/Type /Page\r\n"), std::string::npos);
    EXPECT_NE(objectText(pdf, 7).find("/BaseFont /Helvetica"), std::string::npos);
    EXPECT_NE(objectText(pdf, 8).find("/Subtype /Image"), std::string::npos);
    EXPECT_NE(objectText(pdf, 9).find("/Type /Page\r\n"), std::string::npos);
    EXPECT_NE(objectText(pdf, 11).find("/Subtype /Image"), std::string::npos);
    const std::string note = objectText(pdf, 12);
    EXPECT_NE(note.find("/Subtype /Text"), std::string::npos);
    EXPECT_NE(note.find("/Contents (abc\\rde)"), std::string::npos);
    EXPECT_NE(note.find("/S (PRAnnotation1)"), std::string::npos);
    // The note's icon lies in the right margin of the 700-point page, on the page, off the scan.
    EXPECT_NE(note.find("/Rect [667 929 700 959 ]"), std::string::npos);
    const std::string bookmark = objectText(pdf, 13);
    EXPECT_NE(
        bookmark.find("/Count 0\r\n/Title (Plan)\r\n/Parent 2 0 R\r\n/Dest [9 0 R /XYZ 0 1000 1 ]"),
        std::string::npos);
    EXPECT_TRUE(objectText(pdf, 14).empty());
    EXPECT_NE(pdf.find("/Size 14"), std::string::npos);
}

TEST_F(ChartComposer, NoteIconFollowsTheRightMarginOfAWiderPage) {
    m_composer.PdfPageWidth = 1200;
    const QString scan = page("wide.jpg", 400, 300);
    const std::string pdf = writeChart("wide.pdf", [&] { addPage(scan, {"x"}); });
    EXPECT_NE(pdf.find("/Rect [1167 929 1200 959 ]"), std::string::npos);
}

TEST_F(ChartComposer, JapaneseBookmarkAndUnloadablePages) {
    const QString good = page("good.jpg", 640, 480);
    const QString broken = m_dir.filePath("broken.jpg");
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\xFF\xD8 not really a JPEG");
    }
    const std::string pdf = writeChart("bookmarks.pdf", [&] {
        addPage(good, {}, QStringLiteral("紹介状"));
        addPage(broken, {}, QStringLiteral("skipped"));
    });
    EXPECT_NE(pdf.find("/Title <FEFF7D394ECB72B6>"), std::string::npos);
    // The unloadable page adds no page; its bookmark points at the page before it.
    EXPECT_NE(pdf.find("/Title (skipped)\r\n/Parent 2 0 R\r\n/Dest [5 0 R"), std::string::npos);
    EXPECT_NE(objectText(pdf, 4).find("/Count 1\r\n"), std::string::npos); // one page
}

TEST_F(ChartComposer, PreparedAheadGivesTheSameBytes) {
    QStringList pages;
    for (int i = 0; i < 4; ++i) {
        pages << page(QStringLiteral("p%1.jpg").arg(i), 900 + i * 10, 1200);
    }
    const std::string sequential = writeChart("sequential.pdf", [&] {
        for (const auto& p : pages) {
            addPage(p, {}, QStringLiteral("bm"));
        }
    });
    m_composer.setRandom(countingRandom());
    m_composer.setThreadCount(4);
    const std::string parallel = writeChart("parallel.pdf", [&] {
        m_composer.PrepareAhead(pages);
        addPage(pages[0], {}, QStringLiteral("bm"));
        addPage(pages[2], {}, QStringLiteral("bm")); // the caller skipped page 1
        addPage(pages[1], {}, QStringLiteral("bm")); // not in the prepared order any more
        addPage(pages[3], {}, QStringLiteral("bm"));
    });
    const std::string reordered = [&] {
        m_composer.setRandom(countingRandom());
        return writeChart("reordered.pdf", [&] {
            addPage(pages[0], {}, QStringLiteral("bm"));
            addPage(pages[2], {}, QStringLiteral("bm"));
            addPage(pages[1], {}, QStringLiteral("bm"));
            addPage(pages[3], {}, QStringLiteral("bm"));
        });
    }();
    EXPECT_EQ(parallel.size(), reordered.size());
    EXPECT_TRUE(parallel == reordered);
    EXPECT_NE(sequential, reordered);
}

TEST_F(ChartComposer, RenderedPageShowsTheSourceCrop) {
    const QImage source = testimages::page(1000, 1400);
    const QString path = m_dir.filePath("render.png"); // lossless source
    ASSERT_TRUE(testimages::save(source, path));
    writeChart("render.pdf", [&] { addPage(path); });

    const QImage rendered = renderFirstPage(m_dir.filePath("render.pdf"), 72);
    ASSERT_EQ(rendered.size(), QSize(700, 1000));

    // The top-left 634 x 934 pixels of the source, 33 points in from the top-left corner.
    double difference = 0;
    int samples = 0;
    for (int y = 0; y < 934; y += 7) {
        for (int x = 0; x < 634; x += 7) {
            difference +=
                colourDifference(source.pixelColor(x, y), rendered.pixelColor(x + 33, y + 33));
            ++samples;
        }
    }
    EXPECT_LT(difference / samples, 8.0);                      // JPEG at quality 80
    EXPECT_EQ(rendered.pixelColor(10, 10), QColor(Qt::white)); // the margin stays empty
}

} // namespace
