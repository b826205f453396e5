#include "imaging/imagereader.h"
#include "pdf/chart/chartpageimage.h"
#include "pdf/chart/tpdfcreate.h"
#include "support/testimages.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    // The note lies on the page: moved in from beyond the right edge of a 700-point page.
    EXPECT_NE(note.find("/Rect [600 929 700 959 ]"), std::string::npos);
    const std::string bookmark = objectText(pdf, 13);
    EXPECT_NE(bookmark.find("/Count 0\r\n/Title (Plan)\r\n/Dest [9 0 R /XYZ 0 1000 1 ]"),
              std::string::npos);
    EXPECT_TRUE(objectText(pdf, 14).empty());
    EXPECT_NE(pdf.find("/Size 14"), std::string::npos);
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
    EXPECT_NE(pdf.find("/Title (skipped)\r\n/Dest [5 0 R"), std::string::npos);
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

    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                  QStringLiteral("-singlefile"), m_dir.filePath("render.pdf"),
                  m_dir.filePath("rendered")});
    ASSERT_TRUE(render.waitForFinished(30000))
        << "pdftoppm did not run (is poppler-utils installed?)";
    ASSERT_EQ(render.exitCode(), 0);
    const QImage rendered =
        QImage(m_dir.filePath("rendered.png")).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(rendered.size(), QSize(700, 1000));

    // The top-left 634 x 934 pixels of the source, 33 points in from the top-left corner.
    double difference = 0;
    int samples = 0;
    for (int y = 0; y < 934; y += 7) {
        for (int x = 0; x < 634; x += 7) {
            const QColor a = source.pixelColor(x, y);
            const QColor b = rendered.pixelColor(x + 33, y + 33);
            difference += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                          std::abs(a.blue() - b.blue());
            ++samples;
        }
    }
    EXPECT_LT(difference / samples / 3, 8.0);                  // JPEG at quality 80
    EXPECT_EQ(rendered.pixelColor(10, 10), QColor(Qt::white)); // the margin stays empty
}

} // namespace
