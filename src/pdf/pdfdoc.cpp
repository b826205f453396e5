// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfdoc.h"

#include "pdf/pdfcanvas.h"
#include "pdf/pdffonts.h"
#include "pdf/pdfimages.h"

#include <cassert>
#include <cstdio>

namespace {

std::unique_ptr<TPdfName> Name(std::string value) {
    return std::make_unique<TPdfName>(std::move(value));
}

const char* PageLayoutName(TPdfPageLayout value) {
    switch (value) {
    case TPdfPageLayout::plSinglePage:
        return "SinglePage";
    case TPdfPageLayout::plOneColumn:
        return "OneColumn";
    case TPdfPageLayout::plTwoColumnLeft:
        return "TwoColumnLeft";
    case TPdfPageLayout::plTwoColumnRight:
        return "TwoColumnRight";
    }
    return "SinglePage";
}

const char* PageModeName(TPdfPageMode value) {
    switch (value) {
    case TPdfPageMode::pmUseNone:
        return "UseNone";
    case TPdfPageMode::pmUseOutlines:
        return "UseOutlines";
    case TPdfPageMode::pmUseThumbs:
        return "UseThumbs";
    case TPdfPageMode::pmFullScreen:
        return "FullScreen";
    }
    return "UseNone";
}

constexpr const char* kAnnotationSubTypeNames[] = {
    "Text",      "Link",      "Sound",     "FreeText", "Stamp",          "Square", "Circle",
    "StrikeOut", "Highlight", "Underline", "Ink",      "FileAttachment", "Popup",
};

constexpr const char* kDestinationTypeNames[] = {
    "XYZ", "Fit", "FitH", "FitV", "FitR", "FitB", "FitBH", "FitBV",
};

/// Puts \p name into \p dictionary, changing the value in place when the key exists so that
/// its position is kept.
void SetNameInPlace(TPdfDictionary& dictionary, std::string_view key, const char* name) {
    if (TPdfName* existing = dictionary.LookupName(key)) {
        existing->SetValue(name);
    } else {
        dictionary.Put(key, Name(name));
    }
}

} // namespace

// --- Cross-reference table, header, trailer --------------------------------------------------

TPdfXref::TPdfXref() {
    TPdfXrefEntry free;
    free.EntryType = 'f';
    free.ByteOffset = 0;
    free.GenerationNumber = 65535;
    m_entries.push_back(std::move(free));
}

TPdfObject* TPdfXref::AddObject(std::unique_ptr<TPdfObject> object) {
    if (!object || object->ObjectType() != TPdfObjectType::otDirect) {
        throw EPdfInvalidOperation("AddObject --wrong object type.");
    }
    MakeIndirect(*object, ItemCount());
    TPdfXrefEntry entry;
    entry.Value = std::move(object);
    m_entries.push_back(std::move(entry));
    return m_entries.back().Value.get();
}

TPdfObject* TPdfXref::ObjectByNumber(int number) const {
    if (number < 0 || number >= ItemCount()) {
        return nullptr;
    }
    return m_entries[static_cast<size_t>(number)].Value.get();
}

void TPdfXref::WriteTo(TPdfOutput& out) const {
    WriteString(out, "xref\r\n0 " + std::to_string(m_entries.size()) + "\r\n");
    for (const auto& entry : m_entries) {
        if (entry.ByteOffset > 9999999999LL) {
            throw EPdfError("the file is too large for a cross-reference table");
        }
        char line[48];
        std::snprintf(line, sizeof line, "%010lld %05d %c\r\n",
                      static_cast<long long>(entry.ByteOffset < 0 ? 0 : entry.ByteOffset),
                      entry.GenerationNumber, entry.EntryType);
        WriteString(out, line);
    }
}

void TPdfHeader::WriteTo(TPdfOutput& out) const {
    WriteString(out, "%PDF-1.2 \r\n");
}

TPdfTrailer::TPdfTrailer(TPdfObjectMgr* objectMgr) : m_attributes(objectMgr) {
    m_attributes.Put("Size", std::make_unique<TPdfNumber>(0));
}

void TPdfTrailer::WriteTo(TPdfOutput& out) {
    WriteString(out, "trailer\r\n");
    m_attributes.WriteTo(out);
    WriteString(out, "\r\nstartxref\r\n" + std::to_string(m_xrefAddress) + "\r\n%%EOF\r\n");
}

// --- Information and catalog -----------------------------------------------------------------

void TPdfInfo::SetAuthor(const std::string& value) {
    Data()->Put("Author", std::make_unique<TPdfText>(value));
}
void TPdfInfo::SetCreator(const std::string& value) {
    Data()->Put("Creator", std::make_unique<TPdfText>(value));
}
void TPdfInfo::SetTitle(const std::string& value) {
    Data()->Put("Title", std::make_unique<TPdfText>(value));
}
void TPdfInfo::SetSubject(const std::string& value) {
    Data()->Put("Subject", std::make_unique<TPdfText>(value));
}
void TPdfInfo::SetKeywords(const std::string& value) {
    Data()->Put("Keywords", std::make_unique<TPdfText>(value));
}
void TPdfInfo::SetCreationDate() {
    Data()->Put("CreationDate", std::make_unique<TPdfText>(m_doc.PdfDateNow()));
}
void TPdfInfo::SetModDate() {
    Data()->Put("ModDate", std::make_unique<TPdfText>(m_doc.PdfDateNow()));
}

void TPdfCatalog::SetPages(TPdfDictionary& node) {
    if (node.TypeOf() == "Pages") {
        Data()->Put("Pages", node);
    }
}

void TPdfCatalog::SetPageLayout(TPdfPageLayout value) {
    SetNameInPlace(*Data(), "PageLayout", PageLayoutName(value));
}

void TPdfCatalog::SetPageMode(TPdfPageMode value) {
    SetNameInPlace(*Data(), "PageMode", PageModeName(value));
}

TPdfDictionary& TPdfCatalog::ViewerPreferences() {
    if (TPdfDictionary* existing = Data()->LookupDictionary("ViewerPreferences")) {
        return *existing;
    }
    return *Data()->Put("ViewerPreferences", std::make_unique<TPdfDictionary>(Data()->ObjectMgr()));
}

void TPdfCatalog::SetNonFullScreenPageMode(TPdfPageMode value) {
    TPdfDictionary& preferences = ViewerPreferences();
    if (value == TPdfPageMode::pmUseOutlines || value == TPdfPageMode::pmUseThumbs) {
        preferences.Put("NonFullScreenPageMode", Name(PageModeName(value)));
    } else {
        preferences.Remove("NonFullScreenPageMode");
    }
}

void TPdfCatalog::SetViewerPreference(TPdfViewerPreferences value) {
    if (value.IsEmpty()) {
        if (TPdfDictionary* existing = Data()->LookupDictionary("ViewerPreferences")) {
            for (const char* key :
                 {"HideToolbar", "HideMenubar", "HideWindowUI", "FitWindow", "CenterWindow"}) {
                existing->Remove(key);
            }
        }
        return;
    }
    TPdfDictionary& preferences = ViewerPreferences();
    const std::pair<TPdfViewerPreference, const char*> members[] = {
        {TPdfViewerPreference::vpHideToolbar, "HideToolbar"},
        {TPdfViewerPreference::vpHideMenubar, "HideMenubar"},
        {TPdfViewerPreference::vpHideWindowUI, "HideWindowUI"},
        {TPdfViewerPreference::vpFitWindow, "FitWindow"},
        {TPdfViewerPreference::vpCenterWindow, "CenterWindow"},
    };
    for (const auto& [member, key] : members) {
        if (value.Contains(member)) {
            preferences.Put(key, std::make_unique<TPdfBoolean>(true));
        } else {
            preferences.Remove(key);
        }
    }
}

void TPdfCatalog::SaveOpenAction() {
    if (m_openAction) {
        Data()->Put("OpenAction", m_openAction->GetValue());
    } else {
        Data()->Remove("OpenAction");
    }
}

// --- Destinations and outlines ---------------------------------------------------------------

void TPdfDestination::SetElement(int index, int value) {
    if (index < 0 || index > 3) {
        return;
    }
    m_elements[index] = value < 0 ? -1 : value;
}

int TPdfDestination::Element(int index) const {
    return index >= 0 && index <= 3 ? m_elements[index] : 0;
}

void TPdfDestination::SetZoom(float zoom) {
    if (zoom == m_zoom) {
        return;
    }
    if (!(zoom >= 0)) {
        throw EPdfInvalidValue("Zoom property cannot set to under 0.");
    }
    if (zoom > 10) {
        throw EPdfInvalidValue("Zoom property cannot set to over 10.");
    }
    m_zoom = zoom;
}

std::unique_ptr<TPdfArray> TPdfDestination::GetValue() const {
    TPdfObjectMgr* objectMgr = m_doc.Xref();
    auto value = std::make_unique<TPdfArray>(objectMgr);
    value->Append(m_page);
    value->Append(Name(kDestinationTypeNames[static_cast<int>(m_type)]));
    // Coordinates below -100 mean "keep the viewer's current value".
    const auto coordinate = [&](int number, bool unset) {
        if (unset) {
            value->Append(std::make_unique<TPdfNull>());
        } else {
            value->Append(std::make_unique<TPdfNumber>(number));
        }
    };
    switch (m_type) {
    case TPdfDestinationType::dtXYZ:
        coordinate(Left(), Left() < -100);
        coordinate(Top(), Top() < -100);
        value->Append(std::make_unique<TPdfReal>(m_zoom < 0 ? 0.0 : m_zoom));
        break;
    case TPdfDestinationType::dtFitH:
    case TPdfDestinationType::dtFitBH:
        coordinate(Top(), Top() < -100);
        break;
    case TPdfDestinationType::dtFitV:
    case TPdfDestinationType::dtFitBV:
        coordinate(Left(), Left() < -100);
        break;
    case TPdfDestinationType::dtFitR: {
        const bool leftTopUnset = Left() < -100 || Top() < -100;
        const bool rightBottomUnset = Right() < 0 || Bottom() < 0;
        coordinate(Left(), leftTopUnset);
        coordinate(Bottom(), leftTopUnset);
        coordinate(Right(), rightBottomUnset);
        coordinate(Top(), rightBottomUnset);
        break;
    }
    case TPdfDestinationType::dtFit:
    case TPdfDestinationType::dtFitB:
        break;
    }
    return value;
}

TPdfOutlineEntry& TPdfOutlineEntry::AddChild() {
    for (TPdfOutlineEntry* entry = this; entry; entry = entry->m_parent) {
        ++entry->m_count;
    }
    TPdfOutlineEntry& child = m_doc.CreateOutlineEntry(*this);
    if (!m_first) {
        m_first = &child;
    }
    if (m_last) {
        m_last->m_next = &child;
        child.m_prev = m_last;
    }
    m_last = &child;
    return child;
}

void TPdfOutlineEntry::Save() {
    // Siblings in a loop and children by recursion: the depth stays that of the tree, however
    // many bookmarks a document has.
    for (TPdfOutlineEntry* entry = this; entry; entry = entry->m_next) {
        TPdfDictionary& data = *entry->Data();
        data.Put("Count",
                 std::make_unique<TPdfNumber>(entry->m_opened ? entry->m_count : -entry->m_count));
        data.Put("Title", std::make_unique<TPdfText>(entry->m_title));
        // Every item of an outline names its parent (the root for top-level items); readers
        // that walk the tree upwards treat a file without it as damaged.
        if (entry->m_parent) {
            data.Put("Parent", *entry->m_parent->Data());
        }
        if (entry->m_dest) {
            data.Put("Dest", entry->m_dest->GetValue());
        }
        if (entry->m_first) {
            data.Put("First", *entry->m_first->Data());
        }
        if (entry->m_last) {
            data.Put("Last", *entry->m_last->Data());
        }
        if (entry->m_prev) {
            data.Put("Prev", *entry->m_prev->Data());
        }
        if (entry->m_next) {
            data.Put("Next", *entry->m_next->Data());
        }
        entry->SaveChildren();
    }
}

void TPdfOutlineEntry::SaveChildren() {
    if (m_first) {
        m_first->Save();
    }
}

void TPdfOutlineRoot::Save() {
    TPdfDictionary& data = *Data();
    data.Put("Count", std::make_unique<TPdfNumber>(m_count));
    if (m_first) {
        data.Put("First", *m_first->Data());
    }
    if (m_last) {
        data.Put("Last", *m_last->Data());
    }
    SaveChildren();
}

// --- Document --------------------------------------------------------------------------------

TPdfDoc::TPdfDoc() : m_canvas(std::make_unique<TPdfCanvas>(this)), m_clock(LocalDateTime) {}

TPdfDoc::~TPdfDoc() {
    FreeDoc();
}

void TPdfDoc::SetClock(TPdfClock clock) {
    m_clock = clock ? std::move(clock) : TPdfClock(LocalDateTime);
}

std::string TPdfDoc::PdfDateNow() const {
    return PdfDate(m_clock());
}

void TPdfDoc::NewDoc() {
    FreeDoc();
    m_xref = std::make_unique<TPdfXref>();
    m_header = std::make_unique<TPdfHeader>();
    m_trailer = std::make_unique<TPdfTrailer>(m_xref.get());
    TPdfXref& xref = *m_xref;

    auto* catalog = xref.Add(std::make_unique<TPdfDictionary>(&xref));
    catalog->Put("Type", Name("Catalog"));
    m_trailer->Attributes().Put("Root", *catalog);
    m_root = std::make_unique<TPdfCatalog>();
    m_root->SetData(catalog);

    if (m_useOutlines) {
        auto* outlines = xref.Add(std::make_unique<TPdfDictionary>(&xref));
        outlines->Put("Type", Name("Outlines"));
        catalog->Put("Outlines", *outlines);
        m_outlineRoot = std::make_unique<TPdfOutlineRoot>(*this);
        m_outlineRoot->SetData(outlines);
    }

    auto* info = xref.Add(std::make_unique<TPdfDictionary>(&xref));
    info->Put("Producer", std::make_unique<TPdfText>("Tessavor version 0.9"));
    m_trailer->Attributes().Put("Info", *info);
    m_info = std::make_unique<TPdfInfo>(*this);
    m_info->SetData(info);
    m_info->SetCreationDate();

    auto* pages = xref.Add(std::make_unique<TPdfDictionary>(&xref));
    pages->Put("Type", Name("Pages"));
    pages->Put("Kids", std::make_unique<TPdfArray>(&xref));
    pages->Put("Count", std::make_unique<TPdfNumber>(0));
    m_root->SetPages(*pages);
    m_currentPages = pages;

    m_hasDoc = true;
}

void TPdfDoc::FreeDoc() {
    m_canvas->Reset();
    m_xobjectsByName.clear();
    m_fontList.clear();
    m_destinations.clear();
    m_outlineEntries.clear();
    m_outlineRoot.reset();
    m_info.reset();
    m_root.reset();
    m_currentPages = nullptr;
    m_trailer.reset();
    m_header.reset();
    m_xref.reset();
    m_hasDoc = false;
}

TPdfDictionary& TPdfDoc::AddPage() {
    if (!m_currentPages) {
        throw EPdfInvalidOperation("AddPage --current pages null.");
    }
    TPdfXref& xref = *m_xref;
    auto* page = xref.Add(std::make_unique<TPdfDictionary>(&xref));
    TPdfArray* kids = m_currentPages->LookupArray("Kids");
    kids->Append(*page);
    m_currentPages->LookupNumber("Count")->SetValue(kids->ItemCount());

    page->Put("Type", Name("Page"));
    page->Put("Parent", *m_currentPages);
    page->Put("MediaBox", std::make_unique<TPdfArray>(
                              &xref, std::initializer_list<int>{0, 0, m_defaultPageWidth,
                                                                m_defaultPageHeight}));
    auto* resources = page->Put("Resources", std::make_unique<TPdfDictionary>(&xref));
    resources->Put("Font", std::make_unique<TPdfDictionary>(&xref));
    resources->Put("XObject", std::make_unique<TPdfDictionary>(&xref));
    auto* procSet = resources->Put("ProcSet", std::make_unique<TPdfArray>(&xref));
    for (const char* name : {"PDF", "Text", "ImageC"}) {
        procSet->Append(Name(name));
    }
    auto* contents = xref.Add(std::make_unique<TPdfStream>(&xref));
    page->Put("Contents", *contents);

    m_canvas->SetPage(page);
    return *page;
}

TPdfCanvas& TPdfDoc::GetCanvas() {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("GetCanvas --Document is null");
    }
    return *m_canvas;
}

TPdfInfo& TPdfDoc::GetInfo() {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("GetInfo --this method can not use this state..");
    }
    return *m_info;
}

TPdfCatalog& TPdfDoc::GetRoot() {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("GetRoot --this method can not use this state..");
    }
    return *m_root;
}

TPdfOutlineRoot& TPdfDoc::GetOutlineRoot() {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("GetOutlineRoot --document is null..");
    }
    if (!m_useOutlines || !m_outlineRoot) {
        throw EPdfInvalidOperation("GetOutlineRoot --not use outline mode..");
    }
    return *m_outlineRoot;
}

TPdfFont& TPdfDoc::GetFont(std::string_view name) {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("GetFont --document is null.");
    }
    for (const auto& font : m_fontList) {
        if (font->Name() == name) {
            return *font;
        }
    }
    auto font = CreateFont(name, *m_xref);
    if (!font) {
        throw EPdfInvalidValue("CreateFont --InvalidFontName:" + std::string(name));
    }
    font->Data()->Put("Name", Name("F" + std::to_string(m_fontList.size())));
    m_fontList.push_back(std::move(font));
    return *m_fontList.back();
}

TPdfImage& TPdfDoc::AddImage(std::string_view name, std::unique_ptr<TPdfImage> image) {
    if (FindXObject(name)) {
        throw std::runtime_error("AddImage --the image named " + std::string(name) +
                                 " is already exists..");
    }
    if (!image || image->Attributes().TypeOf() != "XObject" ||
        !image->Attributes().LookupName("Subtype") ||
        image->Attributes().LookupName("Subtype")->Value() != "Image") {
        throw std::runtime_error("AddImage --the image is not valid TPdfImage..");
    }
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("AddImage --document is null.");
    }
    auto* registered = m_xref->Add(std::move(image));
    RegisterXObject(registered, name);
    return *registered;
}

void TPdfDoc::RegisterXObject(TPdfXObject* object, std::string_view name) {
    if (!object) {
        throw EPdfInvalidValue("RegisterXObject --AObject is null");
    }
    if (object->Attributes().TypeOf() != "XObject") {
        throw EPdfInvalidValue("RegisterXObject --not XObject");
    }
    if (object->Attributes().Lookup("Name")) {
        return;
    }
    if (FindXObject(name)) {
        throw EPdfInvalidValue("RegisterXObject --dupulicate name: " + std::string(name));
    }
    assert(object->ObjectType() == TPdfObjectType::otIndirect &&
           "an XObject is registered with the table first");
    m_xobjectsByName.emplace(std::string(name), object);
    object->Attributes().Put("Name", Name(std::string(name)));
}

TPdfXObject* TPdfDoc::FindXObject(std::string_view name) const {
    const auto it = m_xobjectsByName.find(std::string(name));
    return it == m_xobjectsByName.end() ? nullptr : it->second;
}

TPdfDictionary& TPdfDoc::AddAnotation(TPdfAnnotationSubType subtype, const TPdfRect& rect) {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("AddAnotation --document is null.");
    }
    TPdfDictionary& page = m_canvas->GetPage();
    TPdfXref& xref = *m_xref;
    auto* annotation = xref.Add(std::make_unique<TPdfDictionary>(&xref));
    annotation->Put("Type", Name("Annot"));
    annotation->Put("Subtype", Name(kAnnotationSubTypeNames[static_cast<int>(subtype)]));
    auto* rectangle = annotation->Put("Rect", std::make_unique<TPdfArray>(&xref));
    for (double value : {rect.left, rect.bottom, rect.right, rect.top}) {
        rectangle->Append(std::make_unique<TPdfReal>(value));
    }
    TPdfArray* annots = page.LookupArray("Annots");
    if (!annots) {
        annots = page.Put("Annots", std::make_unique<TPdfArray>(&xref));
    }
    annots->Append(*annotation);
    return *annotation;
}

TPdfDestination& TPdfDoc::CreateDestination() {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("TPdfDestination --cannot destination object.");
    }
    TPdfDictionary& page = m_canvas->GetPage();
    m_destinations.push_back(std::make_unique<TPdfDestination>(*this, page));
    return *m_destinations.back();
}

TPdfOutlineEntry& TPdfDoc::CreateOutlineEntry(TPdfOutlineEntry& parent) {
    auto* data = m_xref->Add(std::make_unique<TPdfDictionary>(m_xref.get()));
    m_outlineEntries.push_back(std::make_unique<TPdfOutlineEntry>(*this, &parent));
    m_outlineEntries.back()->SetData(data);
    return *m_outlineEntries.back();
}

void TPdfDoc::SaveToStream(TPdfOutput& out) {
    if (!m_hasDoc) {
        throw EPdfInvalidOperation("SaveToStream --there is no document to save.");
    }
    m_canvas->GetPage();

    m_info->SetModDate();
    m_root->SaveOpenAction();
    if (m_useOutlines) {
        m_outlineRoot->Save();
    }

    m_header->WriteTo(out);
    for (int number = 1; number < m_xref->ItemCount(); ++number) {
        TPdfXrefEntry& entry = m_xref->Items(number);
        entry.ByteOffset = static_cast<std::int64_t>(out.position());
        entry.Value->WriteDefinition(out);
    }
    m_trailer->SetXrefAddress(out.position());
    m_xref->WriteTo(out);
    m_trailer->Attributes().LookupNumber("Size")->SetValue(m_xref->ItemCount());
    m_trailer->WriteTo(out);
}
