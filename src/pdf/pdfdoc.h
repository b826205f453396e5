// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A PDF document under construction: the cross-reference table that owns every indirect
/// object, the fixed skeleton (catalog, outline root, information, page tree), pages, fonts,
/// images, annotations, outlines and destinations, and the writing of the whole file.

#include "pdf/pdfdictionarywrapper.h"
#include "pdf/pdftypes.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TPdfCanvas;
class TPdfDoc;
class TPdfFont;
class TPdfImage;
class TPdfXObject;

enum class TPdfPageLayout : std::uint8_t {
    plSinglePage,
    plOneColumn,
    plTwoColumnLeft,
    plTwoColumnRight,
};

enum class TPdfPageMode : std::uint8_t {
    pmUseNone,
    pmUseOutlines,
    pmUseThumbs,
    pmFullScreen,
};

enum class TPdfCompressionMethod : std::uint8_t {
    cmNone,
};

enum class TPdfViewerPreference : std::uint8_t {
    vpHideToolbar = 1,
    vpHideMenubar = 2,
    vpHideWindowUI = 4,
    vpFitWindow = 8,
    vpCenterWindow = 16,
};

/// A set of viewer preferences.
class TPdfViewerPreferences {
public:
    TPdfViewerPreferences() = default;
    TPdfViewerPreferences(std::initializer_list<TPdfViewerPreference> members) {
        for (const auto member : members) {
            m_bits |= static_cast<std::uint8_t>(member);
        }
    }
    bool Contains(TPdfViewerPreference member) const {
        return (m_bits & static_cast<std::uint8_t>(member)) != 0;
    }
    bool IsEmpty() const { return m_bits == 0; }
    bool operator==(const TPdfViewerPreferences&) const = default;

private:
    std::uint8_t m_bits = 0;
};

/// Annotation subtypes, written as the names `Text`, `Link`, ... `Popup` in this order.
enum class TPdfAnnotationSubType : std::uint8_t {
    asTextNotes,
    asLink,
    asSound,
    asFreeText,
    asStamp,
    asSquare,
    asCircle,
    asStrikeOut,
    asHighlight,
    asUnderline,
    asInk,
    asFileAttachment,
    asPopup,
};

enum class TPdfDestinationType : std::uint8_t {
    dtXYZ,
    dtFit,
    dtFitH,
    dtFitV,
    dtFitR,
    dtFitB,
    dtFitBH,
    dtFitBV,
};

/// A rectangle in page coordinates (origin bottom left, y upward).
struct TPdfRect {
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
};

/// One row of the cross-reference table.
struct TPdfXrefEntry {
    char EntryType = 'n';
    std::int64_t ByteOffset = -1;
    int GenerationNumber = 0;
    std::unique_ptr<TPdfObject> Value;
};

/// The cross-reference table: numbers and owns the indirect objects. Entry 0 is the free
/// entry; objects are numbered 1, 2, 3 ... in the order of registration.
class TPdfXref : public TPdfObjectMgr {
public:
    TPdfXref();

    TPdfObject* AddObject(std::unique_ptr<TPdfObject> object) override;
    TPdfObject* ObjectByNumber(int number) const override;

    int ItemCount() const { return static_cast<int>(m_entries.size()); }
    const TPdfXrefEntry& Items(int index) const { return m_entries.at(index); }
    TPdfXrefEntry& Items(int index) { return m_entries.at(index); }

    /// Writes `xref`, the subsection header and one 20-byte line per entry.
    void WriteTo(TPdfOutput& out) const;

private:
    std::vector<TPdfXrefEntry> m_entries;
};

/// The header line `%PDF-1.2 `.
class TPdfHeader {
public:
    void WriteTo(TPdfOutput& out) const;
};

/// The trailer dictionary and the offset of the cross-reference table.
class TPdfTrailer {
public:
    explicit TPdfTrailer(TPdfObjectMgr* objectMgr);

    TPdfDictionary& Attributes() { return m_attributes; }
    std::uint64_t XrefAddress() const { return m_xrefAddress; }
    void SetXrefAddress(std::uint64_t address) { m_xrefAddress = address; }

    /// Writes `trailer`, the dictionary, `startxref`, the table's offset and `%%EOF`.
    void WriteTo(TPdfOutput& out);

private:
    TPdfDictionary m_attributes;
    std::uint64_t m_xrefAddress = 0;
};

/// The document information dictionary.
class TPdfInfo : public TPdfDictionaryWrapper {
public:
    explicit TPdfInfo(const TPdfDoc& doc) : m_doc(doc) {}

    void SetAuthor(const std::string& value);
    void SetCreator(const std::string& value);
    void SetTitle(const std::string& value);
    void SetSubject(const std::string& value);
    void SetKeywords(const std::string& value);
    /// Puts the document clock's current time.
    void SetCreationDate();
    void SetModDate();

private:
    const TPdfDoc& m_doc;
};

class TPdfDestination;

/// The catalog. Its open action is written when the document is saved.
class TPdfCatalog : public TPdfDictionaryWrapper {
public:
    /// Puts `Pages` when \p node is a page-tree node.
    void SetPages(TPdfDictionary& node);
    /// Change the value in place when the key exists, so its position is kept.
    void SetPageLayout(TPdfPageLayout value);
    void SetPageMode(TPdfPageMode value);
    void SetNonFullScreenPageMode(TPdfPageMode value);
    void SetViewerPreference(TPdfViewerPreferences value);

    TPdfDestination* OpenAction() const { return m_openAction; }
    void SetOpenAction(TPdfDestination* destination) { m_openAction = destination; }
    /// Puts `OpenAction` with the destination's array, or removes it when there is none.
    void SaveOpenAction();

private:
    TPdfDictionary& ViewerPreferences();

    TPdfDestination* m_openAction = nullptr;
};

/// A place in the document: a page, a destination type and its coordinates. Becomes an array
/// when written.
class TPdfDestination {
public:
    TPdfDestination(TPdfDoc& doc, TPdfDictionary& page) : m_doc(doc), m_page(page) {}
    TPdfDestination(const TPdfDestination&) = delete;
    TPdfDestination& operator=(const TPdfDestination&) = delete;

    TPdfDoc& Doc() const { return m_doc; }
    TPdfDictionary& Page() const { return m_page; }

    TPdfDestinationType DestinationType() const { return m_type; }
    void SetDestinationType(TPdfDestinationType type) { m_type = type; }

    /// Index 0 to 3: Left, Top, Right, Bottom. A negative value is stored as -1; other indexes
    /// are ignored.
    void SetElement(int index, int value);
    int Element(int index) const;
    int Left() const { return m_elements[0]; }
    int Top() const { return m_elements[1]; }
    int Right() const { return m_elements[2]; }
    int Bottom() const { return m_elements[3]; }

    float Zoom() const { return m_zoom; }
    /// 0 to 10; outside fails with EPdfInvalidValue.
    void SetZoom(float zoom);

    /// `[page /Type ...]` as written into `Dest` and `OpenAction`.
    std::unique_ptr<TPdfArray> GetValue() const;

private:
    TPdfDoc& m_doc;
    TPdfDictionary& m_page;
    TPdfDestinationType m_type = TPdfDestinationType::dtXYZ;
    int m_elements[4] = {0, 0, 0, 0};
    float m_zoom = 1.0f;
};

/// One bookmark of the outline tree.
class TPdfOutlineEntry : public TPdfDictionaryWrapper {
public:
    TPdfOutlineEntry(TPdfDoc& doc, TPdfOutlineEntry* parent) : m_doc(doc), m_parent(parent) {}

    /// Adds a last child: registers its dictionary and adds one to the count of this entry and
    /// of every ancestor.
    TPdfOutlineEntry& AddChild();
    /// Puts the entry's keys (and those of its descendants and following siblings).
    virtual void Save();

    TPdfDoc& Doc() const { return m_doc; }
    TPdfOutlineEntry* Parent() const { return m_parent; }
    TPdfOutlineEntry* Next() const { return m_next; }
    TPdfOutlineEntry* Prev() const { return m_prev; }
    TPdfOutlineEntry* First() const { return m_first; }
    TPdfOutlineEntry* Last() const { return m_last; }
    TPdfDestination* Dest() const { return m_dest; }
    void SetDest(TPdfDestination* destination) { m_dest = destination; }
    const std::string& Title() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }
    bool Opened() const { return m_opened; }
    void SetOpened(bool opened) { m_opened = opened; }
    /// Number of descendants.
    int Count() const { return m_count; }

protected:
    void SaveChildren();

    TPdfDoc& m_doc;
    TPdfOutlineEntry* m_parent;
    TPdfOutlineEntry* m_next = nullptr;
    TPdfOutlineEntry* m_prev = nullptr;
    TPdfOutlineEntry* m_first = nullptr;
    TPdfOutlineEntry* m_last = nullptr;
    TPdfDestination* m_dest = nullptr;
    std::string m_title;
    bool m_opened = false;
    int m_count = 0;
};

/// The root of the outline tree (`Type /Outlines`); always open.
class TPdfOutlineRoot : public TPdfOutlineEntry {
public:
    explicit TPdfOutlineRoot(TPdfDoc& doc) : TPdfOutlineEntry(doc, nullptr) { m_opened = true; }
    void Save() override;
};

class TPdfDoc {
public:
    TPdfDoc();
    ~TPdfDoc();
    TPdfDoc(const TPdfDoc&) = delete;
    TPdfDoc& operator=(const TPdfDoc&) = delete;

    /// Frees any open document and builds the skeleton: catalog, outline root (with
    /// outlines), information, page-tree root.
    void NewDoc();
    /// Frees the document and every object in it.
    void FreeDoc();
    bool HasDoc() const { return m_hasDoc; }

    /// Appends a page to the current page-tree node and makes it the canvas's page.
    TPdfDictionary& AddPage();

    TPdfCanvas& GetCanvas();
    TPdfInfo& GetInfo();
    TPdfCatalog& GetRoot();
    TPdfOutlineRoot& GetOutlineRoot();
    /// The font registered under \p name, created on first request.
    TPdfFont& GetFont(std::string_view name);

    /// Registers an image stream and names it as an XObject.
    TPdfImage& AddImage(std::string_view name, std::unique_ptr<TPdfImage> image);
    /// Adds an object of this document's table to the XObject list under \p name.
    void RegisterXObject(TPdfXObject* object, std::string_view name);
    /// The registered XObject named \p name, or nullptr.
    TPdfXObject* FindXObject(std::string_view name) const;

    /// Adds an annotation to the current page; the caller adds further keys.
    TPdfDictionary& AddAnotation(TPdfAnnotationSubType subtype, const TPdfRect& rect);
    /// A destination on the current page, freed with the document.
    TPdfDestination& CreateDestination();

    /// Writes the whole file: header, definitions, cross-reference table, trailer.
    void SaveToStream(TPdfOutput& out);

    bool UseOutlines() const { return m_useOutlines; }
    /// Takes effect at the next NewDoc.
    void SetUseOutlines(bool value) { m_useOutlines = value; }
    std::uint16_t DefaultPageWidth() const { return m_defaultPageWidth; }
    void SetDefaultPageWidth(std::uint16_t value) { m_defaultPageWidth = value; }
    std::uint16_t DefaultPageHeight() const { return m_defaultPageHeight; }
    void SetDefaultPageHeight(std::uint16_t value) { m_defaultPageHeight = value; }
    TPdfCompressionMethod CompressionMethod() const { return m_compressionMethod; }
    void SetCompressionMethod(TPdfCompressionMethod value) { m_compressionMethod = value; }

    /// The clock for the information dates; the machine's local time by default.
    void SetClock(TPdfClock clock);
    /// `D:...` of the clock's current time.
    std::string PdfDateNow() const;

    /// The table of the open document (nullptr when closed).
    TPdfXref* Xref() const { return m_xref.get(); }

private:
    friend class TPdfOutlineEntry;
    TPdfOutlineEntry& CreateOutlineEntry(TPdfOutlineEntry& parent);

    std::unique_ptr<TPdfCatalog> m_root;
    TPdfDictionary* m_currentPages = nullptr;
    std::unique_ptr<TPdfCanvas> m_canvas;
    std::unique_ptr<TPdfHeader> m_header;
    std::unique_ptr<TPdfTrailer> m_trailer;
    std::unique_ptr<TPdfXref> m_xref;
    std::unique_ptr<TPdfInfo> m_info;
    bool m_hasDoc = false;
    std::vector<std::unique_ptr<TPdfFont>> m_fontList;
    std::vector<std::unique_ptr<TPdfOutlineEntry>> m_outlineEntries;
    std::vector<std::unique_ptr<TPdfDestination>> m_destinations;
    std::unique_ptr<TPdfOutlineRoot> m_outlineRoot;
    std::unordered_map<std::string, TPdfXObject*> m_xobjectsByName;
    std::uint16_t m_defaultPageWidth = 596;
    std::uint16_t m_defaultPageHeight = 842;
    TPdfCompressionMethod m_compressionMethod = TPdfCompressionMethod::cmNone;
    bool m_useOutlines = false;
    TPdfClock m_clock;
};
