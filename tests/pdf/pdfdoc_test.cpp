// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfcanvas.h"
#include "pdf/pdfdoc.h"
#include "pdf/pdfimages.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

using pdftest::Definition;
using pdftest::ExpectError;

namespace {

void OpenDoc(TPdfDoc& doc, bool useOutlines) {
    doc.SetClock(pdftest::PinnedClock());
    doc.SetUseOutlines(useOutlines);
    doc.NewDoc();
}

std::string Save(TPdfDoc& doc) {
    TPdfMemoryOutput out;
    doc.SaveToStream(out);
    return out.bytes();
}

std::unique_ptr<TPdfImage> SmallImage() {
    TPdfBitmapPicture pixel{1, 1, 24, {}, {0x10, 0x20, 0x30}};
    return CreatePdfImage(pixel, "Pdf-Bitmap");
}

TEST(Document, SkeletonNumberingAndCrossReferenceOffsets) {
    for (const bool useOutlines : {false, true}) {
        SCOPED_TRACE(useOutlines ? "with outlines" : "without outlines");
        TPdfDoc doc;
        OpenDoc(doc, useOutlines);
        doc.AddPage();
        const std::string file = Save(doc);
        pdftest::KeepWritten(useOutlines ? "doc-skeleton-outlines.pdf" : "doc-skeleton.pdf", file);

        const int info = useOutlines ? 3 : 2;
        const int pages = info + 1;
        const std::string catalog =
            useOutlines ? "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Outlines 2 0 R\r\n/Pages 4 0 R\r\n"
                        : "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n";
        ASSERT_EQ(file.substr(0, 11), "%PDF-1.2 \r\n");
        EXPECT_EQ(file.substr(11, catalog.size()), catalog);
        EXPECT_NE(file.find(std::to_string(info) + " 0 obj\r\n<<\r\n/Producer (Tessavor version "
                                                   "0.9)\r\n/CreationDate (D:20240305143009)\r\n"
                                                   "/ModDate (D:20240305143009)\r\n>>"),
                  std::string::npos);
        EXPECT_NE(file.find(std::to_string(pages) + " 0 obj\r\n<<\r\n/Type /Pages\r\n/Kids [" +
                            std::to_string(pages + 1) + " 0 R ]\r\n/Count 1\r\n>>"),
                  std::string::npos);

        // startxref points at the table, and every row at its object's definition.
        const size_t startxref = file.rfind("startxref\r\n");
        ASSERT_NE(startxref, std::string::npos);
        const size_t table = std::stoul(file.substr(startxref + 11));
        const int entries = pages + 4; // page, contents, font
        const std::string head = "xref\r\n0 " + std::to_string(entries) + "\r\n";
        ASSERT_EQ(file.substr(table, head.size()), head);
        const size_t rows = table + head.size();
        EXPECT_EQ(file.substr(rows, 20), "0000000000 65535 f\r\n");
        EXPECT_EQ(file.substr(rows + 20, 20), "0000000011 00000 n\r\n");
        for (int number = 1; number < entries; ++number) {
            const std::string row = file.substr(rows + 20 * static_cast<size_t>(number), 20);
            ASSERT_EQ(row.substr(10), " 00000 n\r\n");
            const std::string definition = std::to_string(number) + " 0 obj\r\n";
            EXPECT_EQ(file.substr(std::stoul(row.substr(0, 10)), definition.size()), definition);
        }
        EXPECT_EQ(file.substr(rows + 20 * static_cast<size_t>(entries)),
                  "trailer\r\n<<\r\n/Size " + std::to_string(entries) +
                      "\r\n/Root 1 0 R\r\n/Info " + std::to_string(info) +
                      " 0 R\r\n>>\r\nstartxref\r\n" + std::to_string(table) + "\r\n%%EOF\r\n");
    }
}

TEST(Document, NothingIsWrittenWithoutDocumentOrPage) {
    TPdfDoc doc;
    TPdfMemoryOutput out;
    ExpectError<EPdfInvalidOperation>([&] { doc.SaveToStream(out); },
                                      "SaveToStream --there is no document to save.");
    OpenDoc(doc, false);
    ExpectError<EPdfInvalidOperation>([&] { doc.SaveToStream(out); }, "GetPage --the Page is nil");
    EXPECT_EQ(out.position(), 0u);
}

TEST(Document, OutlineCountsLinksAndDestinations) {
    TPdfDoc doc;
    OpenDoc(doc, true);
    doc.AddPage(); // 5, contents 6, font 7
    TPdfOutlineRoot& root = doc.GetOutlineRoot();
    TPdfOutlineEntry& a = root.AddChild(); // 8
    TPdfOutlineEntry& b = root.AddChild(); // 9
    TPdfOutlineEntry& b1 = b.AddChild();   // 10
    b.AddChild();                          // 11
    TPdfOutlineEntry& c = root.AddChild(); // 12
    c.AddChild();                          // 13
    c.SetOpened(true);
    a.SetTitle("a");
    a.SetDest(&doc.CreateDestination());
    b.SetTitle("b");
    b1.SetTitle("b1");
    c.SetTitle("c");

    const std::string file = Save(doc);
    pdftest::KeepWritten("doc-outlines.pdf", file);
    EXPECT_EQ(root.Count(), 6);
    EXPECT_EQ(Definition(*root.Data()), "2 0 obj\r\n<<\r\n/Type /Outlines\r\n/Count 6\r\n"
                                        "/First 8 0 R\r\n/Last 12 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(Definition(*a.Data()),
              "8 0 obj\r\n<<\r\n/Count 0\r\n/Title (a)\r\n/Parent 2 0 R\r\n"
              "/Dest [5 0 R /XYZ 0 0 1 ]\r\n/Next 9 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(Definition(*b.Data()), "9 0 obj\r\n<<\r\n/Count -2\r\n/Title (b)\r\n/Parent 2 0 "
                                     "R\r\n/First 10 0 R\r\n/Last 11 0 R\r\n"
                                     "/Prev 8 0 R\r\n/Next 12 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(Definition(*b1.Data()),
              "10 0 obj\r\n<<\r\n/Count 0\r\n/Title (b1)\r\n/Parent 9 0 R\r\n"
              "/Next 11 0 R\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(Definition(*c.Data()), "12 0 obj\r\n<<\r\n/Count 1\r\n/Title (c)\r\n/Parent 2 0 "
                                     "R\r\n/First 13 0 R\r\n/Last 13 0 R\r\n"
                                     "/Prev 9 0 R\r\n>>\r\nendobj\r\n");
}

struct DestinationCase {
    TPdfDestinationType type;
    int left, top, right, bottom;
    float zoom;
    const char* written;
};

TEST(Document, DestinationArrays) {
    TPdfDoc doc;
    OpenDoc(doc, false);
    doc.AddPage(); // object 4
    const DestinationCase cases[] = {
        {TPdfDestinationType::dtXYZ, 0, 1000, 0, 0, 1, "[4 0 R /XYZ 0 1000 1 ]"},
        {TPdfDestinationType::dtXYZ, 10, -5, 0, 0, 2.5f, "[4 0 R /XYZ 10 -1 2.5 ]"},
        {TPdfDestinationType::dtXYZ, 10, 20, 0, 0, 0, "[4 0 R /XYZ 10 20 0 ]"},
        {TPdfDestinationType::dtFit, 1, 2, 3, 4, 1, "[4 0 R /Fit ]"},
        {TPdfDestinationType::dtFitB, 1, 2, 3, 4, 1, "[4 0 R /FitB ]"},
        {TPdfDestinationType::dtFitH, 1, 500, 3, 4, 1, "[4 0 R /FitH 500 ]"},
        {TPdfDestinationType::dtFitBH, 1, 500, 3, 4, 1, "[4 0 R /FitBH 500 ]"},
        {TPdfDestinationType::dtFitV, 20, 2, 3, 4, 1, "[4 0 R /FitV 20 ]"},
        {TPdfDestinationType::dtFitBV, 20, 2, 3, 4, 1, "[4 0 R /FitBV 20 ]"},
        {TPdfDestinationType::dtFitR, 10, 700, 300, 100, 1, "[4 0 R /FitR 10 100 300 700 ]"},
        {TPdfDestinationType::dtFitR, 10, 700, -3, 100, 1, "[4 0 R /FitR 10 100 null null ]"},
    };
    for (const auto& c : cases) {
        TPdfDestination& destination = doc.CreateDestination();
        destination.SetDestinationType(c.type);
        destination.SetElement(0, c.left);
        destination.SetElement(1, c.top);
        destination.SetElement(2, c.right);
        destination.SetElement(3, c.bottom);
        destination.SetElement(4, 99); // ignored
        destination.SetZoom(c.zoom);
        EXPECT_EQ(pdftest::Written(*destination.GetValue()), c.written);
    }

    TPdfDestination& destination = doc.CreateDestination();
    destination.SetZoom(10);
    ExpectError<EPdfInvalidValue>([&] { destination.SetZoom(-0.5f); },
                                  "Zoom property cannot set to under 0.");
    ExpectError<EPdfInvalidValue>([&] { destination.SetZoom(10.5f); },
                                  "Zoom property cannot set to over 10.");
    EXPECT_EQ(destination.Zoom(), 10.0f);
}

TEST(Document, CatalogSettingsKeepTheirPlace) {
    TPdfDoc doc;
    OpenDoc(doc, false);
    TPdfCatalog& catalog = doc.GetRoot();
    catalog.SetPageMode(TPdfPageMode::pmUseOutlines);
    catalog.SetPageLayout(TPdfPageLayout::plOneColumn);
    catalog.SetPageMode(TPdfPageMode::pmUseThumbs);
    catalog.SetNonFullScreenPageMode(TPdfPageMode::pmUseOutlines);
    catalog.SetViewerPreference(
        {TPdfViewerPreference::vpHideToolbar, TPdfViewerPreference::vpFitWindow});
    EXPECT_EQ(Definition(*catalog.Data()),
              "1 0 obj\r\n<<\r\n/Type /Catalog\r\n/Pages 3 0 R\r\n/PageMode /UseThumbs\r\n"
              "/PageLayout /OneColumn\r\n/ViewerPreferences <<\r\n/NonFullScreenPageMode "
              "/UseOutlines\r\n/HideToolbar true\r\n/FitWindow true\r\n>>\r\n>>\r\nendobj\r\n");

    catalog.SetNonFullScreenPageMode(TPdfPageMode::pmFullScreen);
    catalog.SetViewerPreference({TPdfViewerPreference::vpCenterWindow});
    EXPECT_EQ(pdftest::Written(*catalog.Data()->LookupDictionary("ViewerPreferences")),
              "<<\r\n/CenterWindow true\r\n>>");
}

TEST(Document, AnnotationsGoToTheCurrentPage) {
    TPdfDoc doc;
    OpenDoc(doc, false);
    TPdfDictionary& page = doc.AddPage();
    TPdfDictionary& first =
        doc.AddAnotation(TPdfAnnotationSubType::asTextNotes, TPdfRect{777, 929, 877, 959.5});
    doc.AddAnotation(TPdfAnnotationSubType::asPopup, TPdfRect{});
    EXPECT_EQ(Definition(first), "7 0 obj\r\n<<\r\n/Type /Annot\r\n/Subtype /Text\r\n"
                                 "/Rect [777 929 877 959.5 ]\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(page.ElementAt(page.ElementCount() - 1).Key(), "Annots");
    EXPECT_EQ(pdftest::Written(*page.LookupArray("Annots")), "[7 0 R 8 0 R ]");
}

TEST(Document, ImagesAreRegisteredOnceUnderTheirName) {
    TPdfDoc doc;
    OpenDoc(doc, false);
    TPdfImage& image = doc.AddImage("Im1", SmallImage());
    EXPECT_EQ(doc.FindXObject("Im1"), &image);
    EXPECT_EQ(doc.FindXObject("Im2"), nullptr);
    EXPECT_EQ(image.Attributes().LookupName("Name")->Value(), "Im1");

    const int objects = doc.Xref()->ItemCount();
    ExpectError<std::runtime_error>([&] { doc.AddImage("Im1", SmallImage()); },
                                    "AddImage --the image named Im1 is already exists..");
    auto notAnImage = SmallImage();
    notAnImage->Attributes().Put("Subtype", std::make_unique<TPdfName>("Form"));
    ExpectError<std::runtime_error>([&] { doc.AddImage("Im2", std::move(notAnImage)); },
                                    "AddImage --the image is not valid TPdfImage..");
    ExpectError<std::runtime_error>([&] { doc.AddImage("Im2", nullptr); },
                                    "AddImage --the image is not valid TPdfImage..");
    EXPECT_EQ(doc.Xref()->ItemCount(), objects);

    ExpectError<EPdfInvalidValue>([&] { doc.RegisterXObject(nullptr, "Im3"); },
                                  "RegisterXObject --AObject is null");
    auto* form = doc.Xref()->Add(std::make_unique<TPdfXObject>(doc.Xref()));
    ExpectError<EPdfInvalidValue>([&] { doc.RegisterXObject(form, "Im3"); },
                                  "RegisterXObject --not XObject");
    form->Attributes().Put("Type", std::make_unique<TPdfName>("XObject"));
    ExpectError<EPdfInvalidValue>([&] { doc.RegisterXObject(form, "Im1"); },
                                  "RegisterXObject --dupulicate name: Im1");
    doc.RegisterXObject(form, "Im3");
    EXPECT_EQ(doc.FindXObject("Im3"), form);
}

TEST(Document, OperationsThatNeedADocumentOrAPage) {
    TPdfDoc doc;
    const struct {
        std::function<void()> call;
        const char* message;
    } closed[] = {
        {[&] { doc.GetCanvas(); }, "GetCanvas --Document is null"},
        {[&] { doc.GetInfo(); }, "GetInfo --this method can not use this state.."},
        {[&] { doc.GetRoot(); }, "GetRoot --this method can not use this state.."},
        {[&] { doc.GetOutlineRoot(); }, "GetOutlineRoot --document is null.."},
        {[&] { doc.GetFont("Arial"); }, "GetFont --document is null."},
        {[&] { doc.AddPage(); }, "AddPage --current pages null."},
        {[&] { doc.AddAnotation(TPdfAnnotationSubType::asTextNotes, {}); },
         "AddAnotation --document is null."},
        {[&] { doc.CreateDestination(); }, "TPdfDestination --cannot destination object."},
    };
    for (const auto& c : closed) {
        ExpectError<EPdfInvalidOperation>(c.call, c.message);
    }

    OpenDoc(doc, false);
    ExpectError<EPdfInvalidOperation>([&] { doc.GetOutlineRoot(); },
                                      "GetOutlineRoot --not use outline mode..");
    ExpectError<EPdfInvalidOperation>([&] { doc.CreateDestination(); },
                                      "GetPage --the Page is nil");
    ExpectError<EPdfInvalidOperation>(
        [&] { doc.AddAnotation(TPdfAnnotationSubType::asTextNotes, {}); },
        "GetPage --the Page is nil");
    ExpectError<EPdfInvalidValue>([&] { doc.GetFont("Comic"); },
                                  "CreateFont --InvalidFontName:Comic");
    EXPECT_EQ(doc.Xref()->ItemCount(), 4); // nothing was registered on the way

    doc.FreeDoc();
    EXPECT_FALSE(doc.HasDoc());
    EXPECT_EQ(doc.Xref(), nullptr);
}

} // namespace
