// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfcanvas.h"
#include "pdf/pdfimages.h"
#include "pdf/prannotation.h"
#include "pdf/preport.h"
#include "pdf/prjpegimage.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <system_error>

using pdftest::ExpectError;
using pdftest::Written;

namespace {

/// A random source that returns \p draws in turn, over and over.
TPRRandom Scripted(std::vector<int> draws) {
    auto next = std::make_shared<size_t>(0);
    return [draws = std::move(draws), next](int) { return draws[(*next)++ % draws.size()]; };
}

std::string WrittenPath(const std::string& fileName) {
    return (pdftest::WrittenDir() / fileName).string();
}

/// The layout of a chart page: a 700 x 1000 page with margins of 32, a layout panel filling
/// it, an unshared, unstretched JPEG item at its top-left corner and a note at 744, 8. Every
/// printed page becomes the open action; a bookmark points at the page just printed.
class ChartLayout {
public:
    explicit ChartLayout(bool useOutlines = true, std::vector<int> draws = {4711, 815, 3}) {
        report.SetClock(pdftest::PinnedClock());
        report.SetRandom(Scripted(std::move(draws)));
        if (useOutlines) {
            report.SetPageMode(TPdfPageMode::pmUseOutlines);
            report.SetUseOutlines(true);
        }
        page.SetWidth(700);
        page.SetHeight(1000);
        panel = &page.Create<TPRLayoutPanel>("PRLayoutPanel1");
        panel->SetAlign(TPRAlign::alClient);
        image = &panel->Create<TPRJpegImage>("PRJpegImage1");
        image->SetStretch(false);
        image->SetSharedImage(false);
        note = &panel->Create<TPRAnnotation>("PRAnnotation1");
        note->SetBounds(744, 8, 100, 30);
        page.OnPrintPage = [this](TPRPage&, TPRCanvas&) {
            last = &report.CreateDestination();
            last->SetDestinationType(TPdfDestinationType::dtXYZ);
            last->SetElement(0, 0);
            last->SetElement(1, 0);
            last->SetZoom(1);
            report.SetOpenAction(*last);
        };
    }

    void Begin(const std::string& fileName) {
        report.SetFileName(WrittenPath(fileName));
        report.BeginDoc();
    }

    void AddPage(const TPdfJpegPicture& jpeg, std::vector<std::string> noteLines = {},
                 const std::string& bookmark = {}) {
        note->SetPrintable(!noteLines.empty());
        note->SetLines(std::move(noteLines));
        image->SetBounds(0, 0, jpeg.width, jpeg.height);
        image->SetPicture(jpeg);
        report.Print(page);
        if (!bookmark.empty()) {
            TPROutlineEntry& entry = report.GetOutlineRoot().AddChild();
            entry.SetTitle(bookmark);
            entry.SetDest(last);
            entry.SetOpened(true);
        }
    }

    std::string End() {
        report.EndDoc();
        return pdftest::ReadFile(report.FileName());
    }

    TPReport report;
    TPRPage page{"PRPage1"};
    TPRLayoutPanel* panel = nullptr;
    TPRJpegImage* image = nullptr;
    TPRAnnotation* note = nullptr;
    TPRDestination* last = nullptr;
};

TPdfJpegPicture Page1() {
    return pdftest::JpegFixture("page1.jpg", 64, 48);
}

TPdfJpegPicture Page2() {
    return pdftest::JpegFixture("page2.jpg", 64, 48);
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// --- Whole documents -------------------------------------------------------------------------

TEST(ReportGolden, OnePageWithoutOutlines) {
    ChartLayout chart(false);
    chart.Begin("one-page.pdf");
    chart.AddPage(Page1());
    const std::string file = chart.End();
    pdftest::ExpectGolden("one-page.pdf", file);

    EXPECT_EQ(Occurrences(file, " 0 obj\r\n"), 7u);
    EXPECT_NE(file.find("/OpenAction [4 0 R /XYZ 0 1000 1 ]"), std::string::npos);
    EXPECT_NE(file.find("stream\r\n/F0 10 Tf\nq\n33 919 64 48 re\nW\nn\n64 0 0 48 33 919 cm\n"
                        "/PRJpegImage14711 Do\nQ\n\nendstream"),
              std::string::npos);
}

TEST(ReportGolden, TwoPagesTheSecondWithNoteAndBookmark) {
    ChartLayout chart;
    chart.Begin("two-pages-note-bookmark.pdf");
    chart.AddPage(Page1());
    chart.AddPage(Page2(), {"Follow-up (2 weeks)", "BP 120/80  "}, "Referral letter");
    const std::string file = chart.End();
    pdftest::ExpectGolden("two-pages-note-bookmark.pdf", file);

    // 1-4 skeleton; 5 page, 6 contents, 7 font, 8 image; 9 page, 10 contents, 11 image,
    // 12 note, 13 bookmark.
    EXPECT_NE(file.find("/Size 14\r\n"), std::string::npos);
    EXPECT_NE(file.find("/OpenAction [9 0 R /XYZ 0 1000 1 ]"), std::string::npos);
    EXPECT_EQ(Occurrences(file, "/MediaBox [0 0 700 1000 ]"), 2u);
    EXPECT_NE(file.find("8 0 obj\r\n<<\r\n/Length 325\r\n"), std::string::npos);
    EXPECT_NE(file.find("/Name /PRJpegImage14711\r\n"), std::string::npos);
    EXPECT_NE(file.find("/Name /PRJpegImage1815\r\n"), std::string::npos);
    EXPECT_NE(file.find("12 0 obj\r\n<<\r\n/Type /Annot\r\n/Subtype /Text\r\n"
                        "/Rect [777 929 877 959 ]\r\n/Contents (Follow-up \\(2 weeks\\)\\rBP "
                        "120/80)\r\n/S (PRAnnotation1)\r\n>>"),
              std::string::npos);
    EXPECT_NE(file.find("13 0 obj\r\n<<\r\n/Count 0\r\n/Title (Referral letter)\r\n"
                        "/Parent 2 0 R\r\n/Dest [9 0 R /XYZ 0 1000 1 ]\r\n>>"),
              std::string::npos);
    EXPECT_NE(file.find("2 0 obj\r\n<<\r\n/Type /Outlines\r\n/Count 1\r\n/First 13 0 R\r\n"
                        "/Last 13 0 R\r\n>>"),
              std::string::npos);
}

TEST(ReportGolden, JapaneseBookmarkAndNote) {
    ChartLayout chart;
    chart.Begin("japanese-bookmark.pdf");
    // "紹介状" (referral letter); note "再診" (follow-up visit) and "２週間後" (in two weeks).
    chart.AddPage(Page1(),
                  {"\xE5\x86\x8D\xE8\xA8\xBA", "\xEF\xBC\x92\xE9\x80\xB1\xE9\x96\x93"
                                               "\xE5\xBE\x8C"},
                  "\xE7\xB4\xB9\xE4\xBB\x8B\xE7\x8A\xB6");
    const std::string file = chart.End();
    pdftest::ExpectGolden("japanese-bookmark.pdf", file);

    EXPECT_NE(file.find("/Title <FEFF7D394ECB72B6>"), std::string::npos);
    EXPECT_NE(file.find("/Contents <FEFF518D8A3A000DFF12903195935F8C>"), std::string::npos);
}

// --- Printing --------------------------------------------------------------------------------

TEST(ReportPrinting, SharedImagesAreWrittenOnceAndUnprintableItemsNotAtAll) {
    ChartLayout chart;
    chart.image->SetSharedImage(true);
    chart.Begin("shared-image.pdf");
    chart.AddPage(Page1());
    chart.AddPage(Page2()); // same name: the first page's image is drawn again
    chart.image->SetPrintable(false);
    chart.AddPage(Page2());
    chart.image->SetPrintable(true);
    chart.image->ClearPicture();
    chart.report.Print(chart.page);
    EXPECT_EQ(chart.report.PageCount(), 4);
    const std::string file = chart.End();

    EXPECT_EQ(Occurrences(file, "/Subtype /Image"), 1u);
    EXPECT_EQ(Occurrences(file, "/PRJpegImage1 Do\n"), 2u);
    EXPECT_EQ(Occurrences(file, "stream\r\n/F0 10 Tf\n\nendstream"), 2u);
}

TEST(ReportPrinting, UnsharedNamesSkipTakenDrawsAndGiveUpAfter65535) {
    ChartLayout chart(true, {5, 5, 7});
    chart.Begin("random-names.pdf");
    chart.AddPage(Page1());
    chart.AddPage(Page2());
    TPdfDoc& doc = *chart.report.Doc();
    EXPECT_NE(doc.FindXObject("PRJpegImage15"), nullptr);
    EXPECT_NE(doc.FindXObject("PRJpegImage17"), nullptr);
    chart.End();

    ChartLayout full(true, {3});
    full.Begin("unused.pdf");
    full.AddPage(Page1()); // PRJpegImage13
    const int objects = full.report.Doc()->Xref()->ItemCount();
    ExpectError<std::runtime_error>([&] { full.AddPage(Page2()); }, "image count over max value..");
    // The page that AddPage made stays; no image was added to it.
    EXPECT_EQ(full.report.Doc()->Xref()->ItemCount(), objects + 2);
    full.report.Abort();
}

TEST(ReportPrinting, BitmapItemsTryTheFollowingNumbers) {
    TPReport report;
    report.SetRandom(Scripted({65533}));
    TPRPage page;
    auto& panel = page.Create<TPRPanel>("Panel");
    auto& image = panel.Create<TPRImage>("PRImage1");
    image.SetSharedImage(false);
    image.SetPicture(TPdfBitmapPicture{1, 1, 24, {}, {9, 9, 9}});
    report.BeginDoc();
    for (int i = 0; i < 3; ++i) {
        report.Print(page);
    }
    for (const char* name : {"PRImage165533", "PRImage165534", "PRImage10"}) {
        EXPECT_NE(report.Doc()->FindXObject(name), nullptr) << name;
    }
    report.Abort();
}

TEST(ReportPrinting, PlacementOfStretchedImagesAndPanelEvents) {
    TPReport report;
    report.SetClock(pdftest::PinnedClock());
    TPRPage page;
    page.SetHeight(1000);
    auto& outer = page.Create<TPRLayoutPanel>("Outer");
    outer.SetBounds(33, 33, 500, 500);
    auto& inner = outer.Create<TPRPanel>("Inner");
    inner.SetBounds(10, 20, 300, 300);
    auto& image = inner.Create<TPRJpegImage>("Photo");
    image.SetBounds(5, 6, 200, 100);
    image.SetPicture(Page1());

    std::vector<std::string> events;
    const auto record = [&](const char* what) {
        return [&, what](TPRLayoutPanel&, TPRCanvas& canvas, const TPRRect& r) {
            events.push_back(std::string(what) + " " + std::to_string(r.left) + "," +
                             std::to_string(r.top) + "," + std::to_string(r.right) + "," +
                             std::to_string(r.bottom) + " " +
                             canvas.PdfCanvas().Contents()->Data());
        };
    };
    outer.BeforePrint = record("before");
    outer.AfterPrint = record("after");
    page.OnPrintPage = [&](TPRPage&, TPRCanvas& canvas) {
        events.push_back("page " + Written(*canvas.PdfCanvas().GetPage().LookupArray("MediaBox")));
    };

    report.BeginDoc();
    report.Print(page);
    // The item's rectangle on the page is (48, 59, 248, 159): drawn at 48, 1000 - 159.
    const std::string drawn = "q\n200 0 0 100 48 841 cm\n/Photo Do\nQ\n";
    EXPECT_EQ(events,
              (std::vector<std::string>{"page [0 0 596 1000 ]", "before 33,33,533,533 /F0 10 Tf\n",
                                        "after 33,33,533,533 /F0 10 Tf\n" + drawn}));
    report.Abort();
}

TEST(ReportPrinting, NoteTextAndAnnotation) {
    const struct {
        std::vector<std::string> lines;
        const char* contents;
    } cases[] = {
        {{"abc", "de"}, "(abc\\rde)"},
        {{}, "()"},
        {{"", "  x  ", "\t"}, "(x)"},
        {{"a\r\nb", "c\nd"}, "(a\\rb\\rc\\nd)"},
        {{"\xE5\x86\x8D", "x"}, "<FEFF518D000D0078>"},
    };
    for (const auto& c : cases) {
        TPdfText text(TPRAnnotation::JoinLines(c.lines));
        EXPECT_EQ(Written(text), c.contents);
    }

    TPReport report;
    TPRPage page;
    page.SetHeight(1000);
    auto& panel = page.Create<TPRPanel>("Panel");
    panel.SetBounds(33, 33, 634, 934);
    auto& note = panel.Create<TPRAnnotation>("Note");
    note.SetBounds(744, 8, 100, 30);
    note.SetCaption("Doctor");
    note.SetLines({"abc", "de"});
    note.SetOpened(true);
    report.BeginDoc();
    report.Print(page);
    auto* annotation = dynamic_cast<TPdfDictionary*>(report.Doc()->Xref()->ObjectByNumber(7));
    ASSERT_NE(annotation, nullptr);
    EXPECT_EQ(pdftest::Definition(*annotation),
              "7 0 obj\r\n<<\r\n/Type /Annot\r\n/Subtype /Text\r\n"
              "/Rect [777 929 877 959 ]\r\n/Contents (abc\\rde)\r\n"
              "/S (Doctor)\r\n/Open true\r\n>>\r\nendobj\r\n");
    report.Abort();
}

TEST(ReportPrinting, DestinationsMeasureFromThePageTop) {
    TPReport report;
    TPRPage page;
    page.SetWidth(700);
    page.SetHeight(1000);
    std::vector<std::string> arrays;
    page.OnPrintPage = [&](TPRPage&, TPRCanvas&) {
        TPRDestination& fresh = report.CreateDestination();
        arrays.push_back(Written(*fresh.PdfDestination().GetValue()));
        TPRDestination& placed = report.CreateDestination();
        placed.SetDestinationType(TPdfDestinationType::dtFitR);
        placed.SetElement(0, 10);
        placed.SetElement(1, 0);
        placed.SetElement(2, 300);
        placed.SetElement(3, 400);
        arrays.push_back(Written(*placed.PdfDestination().GetValue()));
    };
    report.BeginDoc();
    report.Print(page);
    EXPECT_EQ(arrays, (std::vector<std::string>{"[4 0 R /XYZ 0 1010 1 ]",
                                                "[4 0 R /FitR 10 600 300 1000 ]"}));
    report.Abort();
}

// --- Components ------------------------------------------------------------------------------

TEST(ReportComponents, MarginsAndAlignment) {
    TPRPage page;
    page.SetWidth(700);
    page.SetHeight(1000);
    auto& panel = page.Create<TPRLayoutPanel>("Panel");
    panel.SetAlign(TPRAlign::alClient);
    EXPECT_EQ((std::vector<int>{panel.Left(), panel.Top(), panel.Width(), panel.Height()}),
              (std::vector<int>{33, 33, 634, 934}));

    page.SetMarginLeft(-1);  // negative: ignored
    page.SetMarginLeft(350); // not less than half the width: ignored
    page.SetMarginTop(400);  // the width bounds every margin
    page.SetMarginLeft(349);
    page.SetMarginBottom(0);
    EXPECT_EQ(page.MarginLeft(), 349);
    EXPECT_EQ(page.MarginTop(), 32);
    EXPECT_EQ((std::vector<int>{panel.Left(), panel.Top(), panel.Width(), panel.Height()}),
              (std::vector<int>{350, 33, 317, 966}));

    page.SetHeight(500);
    EXPECT_EQ(panel.Height(), 466);
    EXPECT_EQ(panel.Page(), &page);
}

TEST(ReportComponents, PlacementAndPictureRefusals) {
    TPRPage page;
    auto& panel = page.Create<TPRPanel>("Panel");
    auto& jpegItem = panel.Create<TPRJpegImage>("PRJpegImage1");
    ExpectError<std::runtime_error>([&] { page.Create<TPRAnnotation>("Loose"); },
                                    "this component must set on TPRPanel");
    ExpectError<std::runtime_error>([&] { jpegItem.Create<TPRLayoutPanel>("Inside"); },
                                    "TPRPage can not set on TPRJpegImage");
    panel.Create<TPRLayoutPanel>("Nested");
    EXPECT_EQ(page.ChildCount(), 1u);
    EXPECT_EQ(panel.ChildCount(), 2u);

    ExpectError<std::runtime_error>(
        [&] {
            jpegItem.SetPicture(TPdfBitmapPicture{1, 1, 24, {}, {0, 0, 0}});
        },
        "only jpeg image is allowed.");
    auto& bitmapItem = panel.Create<TPRImage>("PRImage1");
    ExpectError<std::runtime_error>([&] { bitmapItem.SetPicture(Page1()); },
                                    "only bitmap image is allowed.");
    EXPECT_EQ(jpegItem.Picture(), nullptr);
    EXPECT_EQ(bitmapItem.Picture(), nullptr);
}

// --- Report state and EndDoc -----------------------------------------------------------------

TEST(ReportState, SettingsAreFixedWhileADocumentIsOpen) {
    TPReport report;
    report.BeginDoc();
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { report.SetAuthor("a"); }, "SetAuthor --invalid operation."},
        {[&] { report.SetCreator("a"); }, "SetCreator --invalid operation."},
        {[&] { report.SetKeywords("a"); }, "SetKeyWords --invalid operation."},
        {[&] { report.SetSubject("a"); }, "SetSubject --invalid operation."},
        {[&] { report.SetTitle("a"); }, "SetTitle --invalid operation."},
        {[&] { report.SetPageLayout(TPdfPageLayout::plOneColumn); },
         "SetPageLayout --invalid operation."},
        {[&] { report.SetPageMode(TPdfPageMode::pmUseThumbs); },
         "SetPageMode --invalid operation."},
        {[&] { report.SetNonFullScreenPageMode(TPdfPageMode::pmUseThumbs); },
         "SetNonFullScreenPageMode --invalid operation."},
        {[&] { report.SetUseOutlines(true); }, "SetUseOutlines --invalid operation."},
        {[&] { report.SetViewerPreference({TPdfViewerPreference::vpFitWindow}); },
         "SetViewerPreference --invalid operation."},
        {[&] { report.GetOutlineRoot(); }, "GetOutlineRoot --invalid operation."},
    };
    for (const auto& c : cases) {
        ExpectError<EPdfInvalidOperation>(c.call, c.message);
    }
    report.SetFileName("other.pdf");
    report.SetCompressionMethod(TPdfCompressionMethod::cmNone);
    report.Abort();
    EXPECT_FALSE(report.HasDoc());

    report.SetNonFullScreenPageMode(TPdfPageMode::pmFullScreen);
    EXPECT_EQ(report.NonFullScreenPageMode(), TPdfPageMode::pmUseNone);
    ExpectError<EPdfInvalidOperation>([&] { report.EndDoc(); }, "document is null..");
    ExpectError<EPdfInvalidOperation>([&] { report.CreateDestination(); },
                                      "CreateDestination --invalid operation.");

    ChartLayout other;
    other.Begin("unused.pdf");
    other.AddPage(Page1());
    ExpectError<EPdfInvalidOperation>([&] { report.SetOpenAction(*other.last); },
                                      "SetOpenAction --invalid operation.");
    ChartLayout chart;
    chart.Begin("unused.pdf");
    chart.AddPage(Page1());
    ExpectError<EPdfInvalidOperation>(
        [&] { chart.report.GetOutlineRoot().AddChild().SetDest(other.last); },
        "SetDest --internal docs are not equal.");
}

TEST(ReportState, InformationAndCatalogFromTheSettings) {
    TPReport report;
    report.SetClock(pdftest::PinnedClock());
    report.SetAuthor("Dr. A");
    report.SetTitle("\xE3\x82\xAB\xE3\x83\xAB\xE3\x83\x86"); // "カルテ"
    report.SetPageLayout(TPdfPageLayout::plTwoColumnLeft);
    report.SetNonFullScreenPageMode(TPdfPageMode::pmUseThumbs);
    report.SetViewerPreference({TPdfViewerPreference::vpHideMenubar});
    report.BeginDoc();
    TPdfDoc& doc = *report.Doc();
    EXPECT_EQ(pdftest::Definition(*doc.GetInfo().Data()),
              "2 0 obj\r\n<<\r\n/Producer (Tessavor version 0.9)\r\n/Author (Dr. A)\r\n"
              "/CreationDate (D:20240305143009)\r\n/Creator ()\r\n/Keywords ()\r\n"
              "/ModDate (D:20240305143009)\r\n/Subject ()\r\n"
              "/Title <FEFF30AB30EB30C6>\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(pdftest::Definition(*doc.GetRoot().Data()),
              "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseNone\r\n"
              "/PageLayout /TwoColumnLeft\r\n/ViewerPreferences <<\r\n"
              "/NonFullScreenPageMode /UseThumbs\r\n/HideMenubar true\r\n>>\r\n>>\r\nendobj\r\n");
    report.Abort();
}

TEST(ReportEndDoc, NoFileWithoutAPage) {
    ChartLayout chart;
    chart.Begin("no-page.pdf");
    ExpectError<EPdfInvalidOperation>([&] { chart.report.EndDoc(); }, "GetPage --the Page is nil");
    EXPECT_FALSE(std::filesystem::exists(chart.report.FileName()));
    EXPECT_TRUE(chart.report.HasDoc());
}

TEST(ReportEndDoc, FileErrorsNameThePathAndKeepTheDocumentOpen) {
    ChartLayout chart;
    chart.Begin("missing-folder/chart.pdf");
    chart.AddPage(Page1());
    try {
        chart.report.EndDoc();
        ADD_FAILURE() << "no error";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
        EXPECT_NE(std::string(e.what()).find("cannot create \"" + chart.report.FileName() + "\""),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(chart.report.HasDoc());

    // A file that cannot be written whole is removed: here the file-size limit stops it.
    chart.report.SetFileName(WrittenPath("too-large.pdf"));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    std::error_code error;
    try {
        chart.report.EndDoc();
    } catch (const std::system_error& e) {
        error = e.code();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(error, std::errc::file_too_large);
    EXPECT_FALSE(std::filesystem::exists(chart.report.FileName()));
    EXPECT_TRUE(chart.report.HasDoc());

    // Once the path is good the same document is written.
    chart.report.SetFileName(WrittenPath("after-errors.pdf"));
    pdftest::WriteFile(chart.report.FileName(), std::string(100000, 'x'));
    const std::string file = chart.End();
    EXPECT_EQ(file.substr(0, 11), "%PDF-1.2 \r\n");
    EXPECT_EQ(file.substr(file.size() - 7), "%%EOF\r\n");
    EXPECT_FALSE(chart.report.HasDoc());
    ExpectError<EPdfInvalidOperation>([&] { chart.report.GetOutlineRoot(); },
                                      "GetOutlineRoot --invalid operation.");
}

} // namespace
