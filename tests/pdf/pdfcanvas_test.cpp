// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfcanvas.h"
#include "pdf/pdfdoc.h"
#include "pdf/pdffonts.h"
#include "pdf/pdfimages.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

#include <limits>

using pdftest::ExpectError;
using pdftest::Written;

namespace {

class Canvas : public testing::Test {
protected:
    void SetUp() override {
        m_doc.SetClock(pdftest::PinnedClock());
        m_doc.NewDoc();
    }

    std::string ContentsOf(TPdfDictionary& page) {
        return dynamic_cast<TPdfStream&>(*page.Lookup("Contents")).Data();
    }

    void AddImage(const char* name) {
        TPdfBitmapPicture pixel{1, 1, 24, {}, {0x10, 0x20, 0x30}};
        m_doc.AddImage(name, CreatePdfImage(pixel, "Pdf-Bitmap"));
    }

    TPdfDoc m_doc;
};

TEST_F(Canvas, EveryPageStartsWithTheDefaultFont) {
    TPdfDictionary& first = m_doc.AddPage();
    TPdfDictionary& second = m_doc.AddPage();
    for (TPdfDictionary* page : {&first, &second}) {
        EXPECT_EQ(ContentsOf(*page), "/F0 10 Tf\n");
        EXPECT_EQ(Written(*page->LookupDictionary("Resources")),
                  "<<\r\n/Font <<\r\n/F0 6 0 R\r\n>>\r\n/XObject <<\r\n>>\r\n"
                  "/ProcSet [/PDF /Text /ImageC ]\r\n>>");
    }
    int fonts = 0;
    for (int i = 1; i < m_doc.Xref()->ItemCount(); ++i) {
        auto* object = dynamic_cast<TPdfDictionary*>(m_doc.Xref()->ObjectByNumber(i));
        fonts += object && object->TypeOf() == "Font" ? 1 : 0;
    }
    EXPECT_EQ(fonts, 1);
    // The first page keeps its text state as entries that are never written.
    EXPECT_NE(first.LookupName("_Font"), nullptr);
    EXPECT_EQ(Written(first).find("_Font"), std::string::npos);
}

TEST_F(Canvas, DrawingOperatorsAndResources) {
    TPdfDictionary& page = m_doc.AddPage();
    AddImage("PRJpegImage14711");
    TPdfCanvas& canvas = m_doc.GetCanvas();
    canvas.DrawXObjectEx(33, 567, 634, 400, 33, 567, 634, 400, "PRJpegImage14711");
    canvas.DrawXObject(12.5f, 566.996f, 0, 100.004f, "PRJpegImage14711");
    EXPECT_EQ(ContentsOf(page), "/F0 10 Tf\n"
                                "q\n33 567 634 400 re\nW\nn\n634 0 0 400 33 567 cm\n"
                                "/PRJpegImage14711 Do\nQ\n"
                                "q\n0 0 0 100 12.5 567 cm\n/PRJpegImage14711 Do\nQ\n");
    EXPECT_EQ(Written(*page.LookupDictionary("Resources")->LookupDictionary("XObject")),
              "<<\r\n/PRJpegImage14711 7 0 R\r\n>>");

    ExpectError<EPdfInvalidValue>([&] { canvas.DrawXObject(0, 0, 1, 1, "Missing"); },
                                  "DrawXObject --XObject not found: Missing");
    ExpectError<EPdfInvalidValue>([&] { canvas.DrawXObjectEx(0, 0, 1, 1, 0, 0, 1, 1, "Missing"); },
                                  "DrawXObjectEx --XObject not found: Missing");
}

TEST_F(Canvas, FontsAndTextStateFollowThePage) {
    TPdfDictionary& first = m_doc.AddPage();
    TPdfCanvas& canvas = m_doc.GetCanvas();
    canvas.SetFont("Times-Roman", 12);
    canvas.SetFont("Times-Roman", 12); // unchanged: nothing written
    canvas.Attributes().SetCharSpace(-2.5f);
    TPdfDictionary& second = m_doc.AddPage();
    EXPECT_EQ(canvas.Attributes().Font()->Name(), "Arial");
    EXPECT_EQ(canvas.Attributes().CharSpace(), 0);

    canvas.SetPage(&first); // back: the state comes back without writing anything
    EXPECT_EQ(canvas.Attributes().Font()->Name(), "Times-Roman");
    EXPECT_EQ(canvas.Attributes().FontSize(), 12);
    EXPECT_EQ(canvas.Attributes().CharSpace(), -2.5f);
    EXPECT_EQ(ContentsOf(first), "/F0 10 Tf\n/F1 12 Tf\n");
    EXPECT_EQ(ContentsOf(second), "/F0 10 Tf\n");
    EXPECT_EQ(Written(*first.LookupDictionary("Resources")->LookupDictionary("Font")),
              "<<\r\n/F0 6 0 R\r\n/F1 7 0 R\r\n>>");
}

TEST_F(Canvas, PageSizeAndVirtualCanvas) {
    TPdfDictionary& page = m_doc.AddPage();
    TPdfCanvas& canvas = m_doc.GetCanvas();
    canvas.SetPageHeight(1000);
    canvas.SetPageWidth(700);
    EXPECT_EQ(Written(*page.LookupArray("MediaBox")), "[0 0 700 1000 ]");

    page.Remove("MediaBox");
    ExpectError<EPdfInvalidOperation>([&] { canvas.SetPageWidth(1); },
                                      "Can not chenge width of this page..");
    ExpectError<EPdfInvalidOperation>([&] { canvas.SetPageHeight(1); },
                                      "Can not chenge height of this page..");

    canvas.SetIsVirtual(true);
    TPdfDictionary& quiet = m_doc.AddPage();
    AddImage("Im");
    canvas.DrawXObject(0, 0, 10, 10, "Im");
    EXPECT_EQ(ContentsOf(quiet), "");
    EXPECT_NE(quiet.LookupDictionary("Resources")->LookupDictionary("XObject")->Lookup("Im"),
              nullptr);
    TPdfMemoryOutput out;
    m_doc.SaveToStream(out);
    EXPECT_NE(out.bytes().find("<<\r\n/Length 0\r\n/Filter []\r\n>>\r\nstream\r\n\nendstream"),
              std::string::npos);
}

TEST_F(Canvas, TextStateRangesAndMissingPageOrDocument) {
    TPdfCanvasAttribute attribute;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        std::function<void()> call;
        const char* message;
    } cases[] = {
        {[&] { attribute.SetWordSpace(-0.1f); }, "SetWordSpace --invalid word space"},
        {[&] { attribute.SetCharSpace(-30.5f); }, "SetCharSpace --invalid char space"},
        {[&] { attribute.SetCharSpace(300.5f); }, "SetCharSpace --invalid char space"},
        {[&] { attribute.SetFontSize(301); }, "SetFontSize --invalid font size"},
        {[&] { attribute.SetFontSize(nan); }, "SetFontSize --invalid font size"},
        {[&] { attribute.SetHorizontalScaling(9); },
         "SetHorizontalScaling --invalid horizontal scaling"},
        {[&] { attribute.SetHorizontalScaling(301); },
         "SetHorizontalScaling --invalid horizontal scaling"},
        {[&] { attribute.SetLeading(-1); }, "SetLeading --invalid leading"},
    };
    for (const auto& c : cases) {
        ExpectError<EPdfInvalidValue>(c.call, c.message);
    }
    attribute.SetCharSpace(-30);
    attribute.SetFontSize(300);
    attribute.SetHorizontalScaling(10);
    EXPECT_EQ(attribute.CharSpace(), -30);
    EXPECT_EQ(attribute.FontSize(), 300);
    EXPECT_EQ(attribute.HorizontalScaling(), 10);

    TPdfCanvas& canvas = m_doc.GetCanvas();
    ExpectError<EPdfInvalidOperation>([&] { canvas.GetPage(); }, "GetPage --the Page is nil");
    TPdfDictionary& page = m_doc.AddPage();
    const int objects = m_doc.Xref()->ItemCount();
    ExpectError<EPdfInvalidValue>([&] { canvas.SetFont("Courier", 400); },
                                  "SetFontSize --invalid font size");
    EXPECT_EQ(m_doc.Xref()->ItemCount(), objects); // no font was made
    EXPECT_EQ(ContentsOf(page), "/F0 10 Tf\n");

    TPdfCanvas detached(nullptr);
    ExpectError<EPdfInvalidOperation>([&] { detached.GetDoc(); }, "ERROR: GetDoc documant is nil.");
}

} // namespace
