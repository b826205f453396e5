// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/preport.h"

#include "pdf/pdfcanvas.h"
#include "pdf/pdfimages.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace {

int PictureWidth(const TPdfGraphic& picture) {
    return std::visit([](const auto& p) { return p.width; }, picture);
}

int PictureHeight(const TPdfGraphic& picture) {
    return std::visit([](const auto& p) { return p.height; }, picture);
}

bool PictureIsEmpty(const TPdfGraphic& picture) {
    return std::visit([](const auto& p) { return p.IsEmpty(); }, picture);
}

/// A uniform generator seeded once from the time of day.
TPRRandom DefaultRandom() {
    auto engine = std::make_shared<std::mt19937>(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    return [engine](int upperExclusive) {
        return std::uniform_int_distribution<int>(0, upperExclusive - 1)(*engine);
    };
}

} // namespace

// --- Components ------------------------------------------------------------------------------

void TPRControl::SetBounds(int left, int top, int width, int height) {
    const bool resized = width != m_width || height != m_height;
    m_left = left;
    m_top = top;
    m_width = width;
    m_height = height;
    if (resized) {
        Realign();
    }
}

void TPRControl::SetAlign(TPRAlign align) {
    m_align = align;
    if (m_parent) {
        m_parent->Realign();
    }
}

void TPRControl::Realign() {
    const TPRRect area = ClientArea();
    for (const auto& child : m_children) {
        if (child->m_align == TPRAlign::alClient) {
            child->SetBounds(area.left, area.top, std::max(0, area.right - area.left),
                             std::max(0, area.bottom - area.top));
        }
    }
}

TPRControl& TPRControl::InsertControl(std::unique_ptr<TPRControl> child) {
    child->CheckParent(*this);
    child->m_parent = this;
    m_children.push_back(std::move(child));
    Realign();
    return *m_children.back();
}

const TPRPage* TPRControl::Page() const {
    for (const TPRControl* control = this; control; control = control->m_parent) {
        if (const auto* page = dynamic_cast<const TPRPage*>(control)) {
            return page;
        }
    }
    return nullptr;
}

TPRPage::TPRPage(std::string name) : TPRControl(std::move(name)) {
    SetBounds(0, 0, 596, 842);
}

TPRRect TPRPage::ClientArea() const {
    // Inside the one-pixel raised border, less the margins.
    return TPRRect{1 + m_marginLeft, 1 + m_marginTop, Width() - 1 - m_marginRight,
                   Height() - 1 - m_marginBottom};
}

void TPRPage::SetMargin(int& margin, int value) {
    if (value == margin || value < 0 || value >= Width() / 2) {
        return;
    }
    margin = value;
    Realign();
}

void TPRPage::PrintPage(TPRCanvas& canvas) {
    TPdfCanvas& pdfCanvas = canvas.PdfCanvas();
    pdfCanvas.SetPageHeight(Height());
    pdfCanvas.SetPageWidth(Width());
    if (OnPrintPage) {
        OnPrintPage(*this, canvas);
    }
    for (std::size_t i = 0; i < ChildCount(); ++i) {
        if (auto* panel = dynamic_cast<TPRPanel*>(&Child(i))) {
            panel->Print(canvas,
                         TPRRect{panel->Left(), panel->Top(), panel->Left() + panel->Width(),
                                 panel->Top() + panel->Height()});
        }
    }
}

TPRPanel::TPRPanel(std::string name) : TPRControl(std::move(name)) {
    SetBounds(0, 0, 0, 100);
}

void TPRPanel::Print(TPRCanvas& canvas, const TPRRect& rect) {
    for (std::size_t i = 0; i < ChildCount(); ++i) {
        TPRControl& child = Child(i);
        const TPRRect childRect{rect.left + child.Left(), rect.top + child.Top(),
                                rect.left + child.Left() + child.Width(),
                                rect.top + child.Top() + child.Height()};
        if (auto* panel = dynamic_cast<TPRPanel*>(&child)) {
            panel->Print(canvas, childRect);
        } else if (auto* item = dynamic_cast<TPRItem*>(&child); item && item->Printable()) {
            item->Print(canvas, childRect);
        }
    }
}

void TPRLayoutPanel::Print(TPRCanvas& canvas, const TPRRect& rect) {
    if (BeforePrint) {
        BeforePrint(*this, canvas, rect);
    }
    TPRPanel::Print(canvas, rect);
    if (AfterPrint) {
        AfterPrint(*this, canvas, rect);
    }
}

void TPRLayoutPanel::CheckParent(const TPRControl& parent) const {
    if (!dynamic_cast<const TPRPage*>(&parent) && !dynamic_cast<const TPRPanel*>(&parent)) {
        throw std::runtime_error(std::string("TPRPage can not set on ") + parent.ClassName());
    }
}

TPRItem::TPRItem(std::string name) : TPRControl(std::move(name)) {
    SetBounds(0, 0, 100, 30);
}

void TPRItem::CheckParent(const TPRControl& parent) const {
    if (!dynamic_cast<const TPRPanel*>(&parent)) {
        throw std::runtime_error("this component must set on TPRPanel");
    }
}

int TPRItem::PageHeight() const {
    const TPRPage* page = Page();
    return page ? page->Height() : 0;
}

// --- Image item ------------------------------------------------------------------------------

void TPRImage::SetPicture(TPdfGraphic picture) {
    if (!AcceptsPicture(picture)) {
        throw std::runtime_error(PictureRefusal());
    }
    m_picture = std::move(picture);
}

bool TPRImage::AcceptsPicture(const TPdfGraphic& picture) const {
    return std::holds_alternative<TPdfBitmapPicture>(picture);
}

std::string TPRImage::UniqueImageName(TPRCanvas& canvas, const TPdfDoc& doc) const {
    // One draw, then the following numbers in turn (after 65534 comes 0). When every name is
    // taken the last one is returned and registering it fails as a duplicate.
    int number = canvas.Random(65534);
    std::string name;
    for (int tries = 0; tries < 65535; ++tries) {
        name = Name() + std::to_string(number);
        if (!doc.FindXObject(name)) {
            break;
        }
        number = number == 65534 ? 0 : number + 1;
    }
    return name;
}

void TPRImage::Print(TPRCanvas& canvas, const TPRRect& rect) {
    if (!Printable() || !m_picture || PictureIsEmpty(*m_picture) || !AcceptsPicture(*m_picture)) {
        return;
    }
    TPdfCanvas& pdfCanvas = canvas.PdfCanvas();
    TPdfDoc& doc = pdfCanvas.GetDoc();
    std::string name;
    if (m_sharedImage) {
        name = Name();
        if (!doc.FindXObject(name)) {
            doc.AddImage(name, CreatePdfImage(*m_picture, CreatorName()));
        }
    } else {
        name = UniqueImageName(canvas, doc);
        doc.AddImage(name, CreatePdfImage(*m_picture, CreatorName()));
    }

    const auto pageHeight = static_cast<float>(PageHeight());
    const auto left = static_cast<float>(rect.left);
    if (m_stretch) {
        pdfCanvas.DrawXObject(left, pageHeight - static_cast<float>(rect.bottom),
                              static_cast<float>(Width()), static_cast<float>(Height()), name);
    } else {
        const auto pictureWidth = static_cast<float>(PictureWidth(*m_picture));
        const auto pictureHeight = static_cast<float>(PictureHeight(*m_picture));
        const float top = pageHeight - static_cast<float>(rect.top);
        pdfCanvas.DrawXObjectEx(left, top - pictureHeight, pictureWidth, pictureHeight, left,
                                top - static_cast<float>(Height()), static_cast<float>(Width()),
                                static_cast<float>(Height()), name);
    }
}

// --- Canvas, destinations, outlines ----------------------------------------------------------

TPdfCanvas& TPRCanvas::PdfCanvas() const {
    if (!m_pdfCanvas) {
        throw EPdfInvalidOperation("TPRCanvas --no page is being printed.");
    }
    return *m_pdfCanvas;
}

int TPRCanvas::Random(int upperExclusive) const {
    return m_report.Random(upperExclusive);
}

void TPRDestination::SetElement(int index, int value) {
    if (index == 0 || index == 2) {
        m_destination.SetElement(index, value);
    } else if (index == 1 || index == 3) {
        const TPdfArray* mediaBox = m_destination.Page().LookupArray("MediaBox");
        const auto* height =
            mediaBox ? dynamic_cast<const TPdfNumber*>(mediaBox->ItemAt(3)) : nullptr;
        const int pageHeight = height ? height->Value() : m_destination.Doc().DefaultPageHeight();
        m_destination.SetElement(index, pageHeight - value);
    }
}

TPROutlineEntry& TPROutlineEntry::AddChild() {
    return m_report.WrapOutlineEntry(m_entry.AddChild());
}

void TPROutlineEntry::SetDest(const TPRDestination* destination) {
    if (destination && &destination->PdfDestination().Doc() != &m_entry.Doc()) {
        throw EPdfInvalidOperation("SetDest --internal docs are not equal.");
    }
    m_entry.SetDest(destination ? &destination->PdfDestination() : nullptr);
}

// --- Report ----------------------------------------------------------------------------------

TPReport::TPReport() : m_clock(LocalDateTime), m_random(DefaultRandom()), m_canvas(*this) {}

TPReport::~TPReport() {
    FreeDocument();
}

void TPReport::CheckClosed(const char* operation) const {
    if (m_doc) {
        throw EPdfInvalidOperation(std::string(operation) + " --invalid operation.");
    }
}

void TPReport::SetAuthor(std::string value) {
    CheckClosed("SetAuthor");
    m_author = std::move(value);
}

void TPReport::SetCreator(std::string value) {
    CheckClosed("SetCreator");
    m_creator = std::move(value);
}

void TPReport::SetKeywords(std::string value) {
    CheckClosed("SetKeyWords");
    m_keywords = std::move(value);
}

void TPReport::SetSubject(std::string value) {
    CheckClosed("SetSubject");
    m_subject = std::move(value);
}

void TPReport::SetTitle(std::string value) {
    CheckClosed("SetTitle");
    m_title = std::move(value);
}

void TPReport::SetPageLayout(TPdfPageLayout value) {
    CheckClosed("SetPageLayout");
    m_pageLayout = value;
}

void TPReport::SetPageMode(TPdfPageMode value) {
    CheckClosed("SetPageMode");
    m_pageMode = value;
}

void TPReport::SetNonFullScreenPageMode(TPdfPageMode value) {
    CheckClosed("SetNonFullScreenPageMode");
    m_nonFullScreenPageMode = value == TPdfPageMode::pmFullScreen ? TPdfPageMode::pmUseNone : value;
}

void TPReport::SetUseOutlines(bool value) {
    CheckClosed("SetUseOutlines");
    m_useOutlines = value;
}

void TPReport::SetViewerPreference(TPdfViewerPreferences value) {
    CheckClosed("SetViewerPreference");
    m_viewerPreference = value;
}

void TPReport::SetClock(TPdfClock clock) {
    m_clock = clock ? std::move(clock) : TPdfClock(LocalDateTime);
}

void TPReport::SetRandom(TPRRandom random) {
    m_random = random ? std::move(random) : DefaultRandom();
}

int TPReport::Random(int upperExclusive) {
    const int value = m_random(upperExclusive);
    // Kept in range whatever the source returns.
    return ((value % upperExclusive) + upperExclusive) % upperExclusive;
}

void TPReport::BeginDoc() {
    FreeDocument();
    auto doc = std::make_unique<TPdfDoc>();
    doc->SetClock(m_clock);
    doc->SetUseOutlines(m_useOutlines);
    doc->SetCompressionMethod(m_compressionMethod);
    doc->NewDoc();
    if (m_useOutlines) {
        m_outlineRoot = std::make_unique<TPROutlineRoot>(*this, doc->GetOutlineRoot());
    }

    TPdfCatalog& catalog = doc->GetRoot();
    catalog.SetPageMode(m_pageMode);
    catalog.SetPageLayout(m_pageLayout);
    if (m_nonFullScreenPageMode != TPdfPageMode::pmUseNone) {
        catalog.SetNonFullScreenPageMode(m_nonFullScreenPageMode);
    }
    if (!m_viewerPreference.IsEmpty()) {
        catalog.SetViewerPreference(m_viewerPreference);
    }

    TPdfInfo& info = doc->GetInfo();
    info.SetAuthor(m_author);
    info.SetCreationDate();
    info.SetCreator(m_creator);
    info.SetKeywords(m_keywords);
    info.SetModDate();
    info.SetSubject(m_subject);
    info.SetTitle(m_title);

    m_doc = std::move(doc);
    m_pageCount = 0;
}

void TPReport::Print(TPRPage& page) {
    if (!m_doc) {
        throw EPdfInvalidOperation("Print --invalid operation.");
    }
    m_doc->AddPage();
    ++m_pageCount;
    m_canvas.m_pdfCanvas = &m_doc->GetCanvas();
    page.PrintPage(m_canvas);
}

void TPReport::EndDoc() {
    if (!m_doc) {
        throw EPdfInvalidOperation("document is null..");
    }
    // Refused before the file is created, so that no empty file is left behind.
    m_doc->GetCanvas().GetPage();

    TPdfFileOutput out(m_fileName);
    out.setObserver(m_writtenBytes);
    try {
        m_doc->SaveToStream(out);
        out.finish();
    } catch (...) {
        out.discard();
        throw;
    }
    FreeDocument();
}

void TPReport::Abort() {
    FreeDocument();
}

void TPReport::FreeDocument() {
    m_canvas.m_pdfCanvas = nullptr;
    m_destinations.clear();
    m_outlineEntries.clear();
    m_outlineRoot.reset();
    m_doc.reset();
    m_pageCount = 0;
}

TPROutlineEntry& TPReport::WrapOutlineEntry(TPdfOutlineEntry& entry) {
    m_outlineEntries.push_back(std::make_unique<TPROutlineEntry>(*this, entry));
    return *m_outlineEntries.back();
}

TPROutlineRoot& TPReport::GetOutlineRoot() {
    if (!m_doc || !m_outlineRoot) {
        throw EPdfInvalidOperation("GetOutlineRoot --invalid operation.");
    }
    return *m_outlineRoot;
}

TPRDestination& TPReport::CreateDestination() {
    if (!m_doc) {
        throw EPdfInvalidOperation("CreateDestination --invalid operation.");
    }
    auto destination = std::make_unique<TPRDestination>(m_doc->CreateDestination());
    destination->SetElement(1, -10);
    destination->SetZoom(1);
    m_destinations.push_back(std::move(destination));
    return *m_destinations.back();
}

void TPReport::SetOpenAction(const TPRDestination& destination) {
    if (!m_doc) {
        throw EPdfInvalidOperation("SetOpenAction --invalid operation.");
    }
    if (&destination.PdfDestination().Doc() != m_doc.get()) {
        // A page of another document would be a dangling reference in this file.
        throw EPdfInvalidOperation("SetOpenAction --internal docs are not equal.");
    }
    m_doc->GetRoot().SetOpenAction(&destination.PdfDestination());
}
