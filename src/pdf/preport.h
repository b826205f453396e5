// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The report layer: a page described as a tree of layout components positioned in pixels from
/// the top-left corner (a page, panels, printable items), turned into one PDF page per Print.
/// Pixels are used as PDF points one to one.

#include "pdf/pdfdoc.h"
#include "pdf/pdfoutput.h"
#include "pdf/pdfpictures.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

class TPdfCanvas;
class TPRCanvas;
class TPRPage;
class TPReport;

/// A rectangle in layout pixels: left, top, right, bottom from the page's top-left corner.
struct TPRRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

/// How a component is placed in its parent.
enum class TPRAlign : std::uint8_t {
    alNone,   ///< at its own bounds
    alClient, ///< filling the parent's client area
};

/// Base of the layout components: bounds relative to the parent and owned children in creation
/// order.
class TPRControl {
public:
    explicit TPRControl(std::string name) : m_name(std::move(name)) {}
    virtual ~TPRControl() = default;
    TPRControl(const TPRControl&) = delete;
    TPRControl& operator=(const TPRControl&) = delete;

    /// The class name, as error messages name a component.
    virtual const char* ClassName() const = 0;

    /// The component name; image items name their XObjects after it.
    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    void SetLeft(int value) { SetBounds(value, m_top, m_width, m_height); }
    void SetTop(int value) { SetBounds(m_left, value, m_width, m_height); }
    void SetWidth(int value) { SetBounds(m_left, m_top, value, m_height); }
    void SetHeight(int value) { SetBounds(m_left, m_top, m_width, value); }
    /// Sets all four bounds; children aligned to the client area follow a new size.
    void SetBounds(int left, int top, int width, int height);

    TPRAlign Align() const { return m_align; }
    /// alClient places the component over its parent's client area at once and whenever the
    /// parent's size or margins change.
    void SetAlign(TPRAlign align);

    TPRControl* Parent() const { return m_parent; }
    std::size_t ChildCount() const { return m_children.size(); }
    TPRControl& Child(std::size_t index) const { return *m_children.at(index); }

    /// Creates a child of type T (constructed from \p args) as the last child. Fails as the
    /// child's class requires when it cannot sit on this component.
    template <class T, class... Args> T& Create(Args&&... args) {
        static_assert(std::is_base_of_v<TPRControl, T>);
        return static_cast<T&>(InsertControl(std::make_unique<T>(std::forward<Args>(args)...)));
    }
    /// Takes \p child as the last child.
    TPRControl& InsertControl(std::unique_ptr<TPRControl> child);

    /// The page this component sits on (itself for a page), or nullptr.
    const TPRPage* Page() const;

protected:
    /// Throws when this component may not be placed on \p parent.
    virtual void CheckParent(const TPRControl& parent) const {}
    /// The area, in this component's coordinates, that aligned children fill.
    virtual TPRRect ClientArea() const { return TPRRect{0, 0, m_width, m_height}; }
    /// Places the aligned children again.
    void Realign();

private:
    std::string m_name;
    int m_left = 0;
    int m_top = 0;
    int m_width = 0;
    int m_height = 0;
    TPRAlign m_align = TPRAlign::alNone;
    TPRControl* m_parent = nullptr;
    std::vector<std::unique_ptr<TPRControl>> m_children;
};

/// What the report hands to printing components: the canvas of the PDF page being printed.
class TPRCanvas {
public:
    explicit TPRCanvas(TPReport& report) : m_report(report) {}
    TPRCanvas(const TPRCanvas&) = delete;
    TPRCanvas& operator=(const TPRCanvas&) = delete;

    /// The canvas of the open document; throws when no document is open.
    TPdfCanvas& PdfCanvas() const;
    TPReport& Report() const { return m_report; }
    /// A random integer from 0 to \p upperExclusive - 1, from the report's random source.
    int Random(int upperExclusive) const;

private:
    friend class TPReport;

    TPReport& m_report;
    TPdfCanvas* m_pdfCanvas = nullptr;
};

/// One page layout: 596 x 842 pixels with margins of 32 when created, and a one-pixel raised
/// border inside which the client area lies.
class TPRPage : public TPRControl {
public:
    explicit TPRPage(std::string name = {});
    const char* ClassName() const override { return "TPRPage"; }

    int MarginTop() const { return m_marginTop; }
    int MarginLeft() const { return m_marginLeft; }
    int MarginRight() const { return m_marginRight; }
    int MarginBottom() const { return m_marginBottom; }
    /// A new margin is taken only when it differs, is not negative and is less than half the
    /// page's width; aligned children are then placed again.
    void SetMarginTop(int value) { SetMargin(m_marginTop, value); }
    void SetMarginLeft(int value) { SetMargin(m_marginLeft, value); }
    void SetMarginRight(int value) { SetMargin(m_marginRight, value); }
    void SetMarginBottom(int value) { SetMargin(m_marginBottom, value); }

    /// Called once per printed page, after the page size is set and before the panels print.
    std::function<void(TPRPage& sender, TPRCanvas& canvas)> OnPrintPage;

    /// Prints the page onto the current PDF page: size, OnPrintPage, then each panel.
    void PrintPage(TPRCanvas& canvas);

protected:
    TPRRect ClientArea() const override;

private:
    void SetMargin(int& margin, int value);

    int m_marginTop = 32;
    int m_marginLeft = 32;
    int m_marginRight = 32;
    int m_marginBottom = 32;
};

/// A borderless panel that holds items and other panels.
class TPRPanel : public TPRControl {
public:
    explicit TPRPanel(std::string name = {});
    const char* ClassName() const override { return "TPRPanel"; }

    /// Prints the children; \p rect is the panel's place on the page.
    virtual void Print(TPRCanvas& canvas, const TPRRect& rect);
};

/// A panel with events around its printing; it may sit on a page or a panel only.
class TPRLayoutPanel : public TPRPanel {
public:
    using TPrintEvent =
        std::function<void(TPRLayoutPanel& sender, TPRCanvas& canvas, const TPRRect& rect)>;

    explicit TPRLayoutPanel(std::string name = {}) : TPRPanel(std::move(name)) {}
    const char* ClassName() const override { return "TPRLayoutPanel"; }

    TPrintEvent BeforePrint;
    TPrintEvent AfterPrint;

    void Print(TPRCanvas& canvas, const TPRRect& rect) override;

protected:
    void CheckParent(const TPRControl& parent) const override;
};

/// A printable leaf; it may sit on a panel only.
class TPRItem : public TPRControl {
public:
    explicit TPRItem(std::string name = {});

    bool Printable() const { return m_printable; }
    void SetPrintable(bool value) { m_printable = value; }

    /// Draws the item; \p rect is its place on the page. Nothing in the base class.
    virtual void Print(TPRCanvas& canvas, const TPRRect& rect) {}

protected:
    void CheckParent(const TPRControl& parent) const override;
    /// The height of the page the item sits on: the origin of the PDF's upward y axis.
    int PageHeight() const;

private:
    bool m_printable = true;
};

/// An image item holding a bitmap picture, written with the "Pdf-Bitmap" creator.
class TPRImage : public TPRItem {
public:
    explicit TPRImage(std::string name = {}) : TPRItem(std::move(name)) {}
    const char* ClassName() const override { return "TPRImage"; }

    const TPdfGraphic* Picture() const { return m_picture ? &*m_picture : nullptr; }
    /// Takes the picture; a graphic of another kind fails with std::runtime_error.
    void SetPicture(TPdfGraphic picture);
    void ClearPicture() { m_picture.reset(); }

    /// Shared: one XObject named after the item, reused on every page. Otherwise a new
    /// XObject per page under a random name.
    bool SharedImage() const { return m_sharedImage; }
    void SetSharedImage(bool value) { m_sharedImage = value; }
    /// Stretch: scaled to the item's size. Otherwise drawn at its pixel size from the item's
    /// top-left corner, clipped to the item.
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool value) { m_stretch = value; }

    void Print(TPRCanvas& canvas, const TPRRect& rect) override;

protected:
    virtual bool AcceptsPicture(const TPdfGraphic& picture) const;
    virtual const char* PictureRefusal() const { return "only bitmap image is allowed."; }
    virtual const char* CreatorName() const { return "Pdf-Bitmap"; }
    /// A name for a new, unshared XObject of this item.
    virtual std::string UniqueImageName(TPRCanvas& canvas, const TPdfDoc& doc) const;

private:
    std::optional<TPdfGraphic> m_picture;
    bool m_sharedImage = true;
    bool m_stretch = true;
};

/// A destination of the report's open document, set in layout coordinates.
class TPRDestination {
public:
    explicit TPRDestination(TPdfDestination& destination) : m_destination(destination) {}
    TPRDestination(const TPRDestination&) = delete;
    TPRDestination& operator=(const TPRDestination&) = delete;

    TPdfDestinationType DestinationType() const { return m_destination.DestinationType(); }
    void SetDestinationType(TPdfDestinationType type) { m_destination.SetDestinationType(type); }
    /// Index 0 (left) and 2 (right) are stored as given; 1 (top) and 3 (bottom) are measured
    /// from the top of the page and stored as page height - value.
    void SetElement(int index, int value);
    /// 0 to 10.
    void SetZoom(float zoom) { m_destination.SetZoom(zoom); }

    TPdfDestination& PdfDestination() const { return m_destination; }

private:
    TPdfDestination& m_destination;
};

/// A bookmark of the report's open document.
class TPROutlineEntry {
public:
    TPROutlineEntry(TPReport& report, TPdfOutlineEntry& entry) : m_report(report), m_entry(entry) {}
    virtual ~TPROutlineEntry() = default;
    TPROutlineEntry(const TPROutlineEntry&) = delete;
    TPROutlineEntry& operator=(const TPROutlineEntry&) = delete;

    /// Adds a last child entry.
    TPROutlineEntry& AddChild();
    const std::string& Title() const { return m_entry.Title(); }
    void SetTitle(std::string title) { m_entry.SetTitle(std::move(title)); }
    bool Opened() const { return m_entry.Opened(); }
    void SetOpened(bool value) { m_entry.SetOpened(value); }
    /// Points the entry at \p destination (nullptr: nowhere). A destination of another
    /// document fails with EPdfInvalidOperation.
    void SetDest(const TPRDestination* destination);

    TPdfOutlineEntry& OutlineEntry() const { return m_entry; }

private:
    TPReport& m_report;
    TPdfOutlineEntry& m_entry;
};

class TPROutlineRoot : public TPROutlineEntry {
public:
    using TPROutlineEntry::TPROutlineEntry;
};

/// Random integers from 0 to upperExclusive - 1.
using TPRRandom = std::function<int(int upperExclusive)>;

/// One PDF file being written from page layouts.
class TPReport {
public:
    TPReport();
    ~TPReport();
    TPReport(const TPReport&) = delete;
    TPReport& operator=(const TPReport&) = delete;

    /// Path of the file EndDoc writes ("default.pdf" when created).
    const std::string& FileName() const { return m_fileName; }
    void SetFileName(std::string value) { m_fileName = std::move(value); }
    /// Sees the bytes of the file EndDoc writes, in order (see TPdfFileOutput::setObserver).
    void SetWrittenBytes(TPdfFileOutput::Observer observer) {
        m_writtenBytes = std::move(observer);
    }

    // Document settings: each setter fails with EPdfInvalidOperation while a document is open.
    const std::string& Author() const { return m_author; }
    void SetAuthor(std::string value);
    const std::string& Creator() const { return m_creator; }
    void SetCreator(std::string value);
    const std::string& Keywords() const { return m_keywords; }
    void SetKeywords(std::string value);
    const std::string& Subject() const { return m_subject; }
    void SetSubject(std::string value);
    const std::string& Title() const { return m_title; }
    void SetTitle(std::string value);
    TPdfPageLayout PageLayout() const { return m_pageLayout; }
    void SetPageLayout(TPdfPageLayout value);
    TPdfPageMode PageMode() const { return m_pageMode; }
    void SetPageMode(TPdfPageMode value);
    /// pmFullScreen is stored as pmUseNone.
    TPdfPageMode NonFullScreenPageMode() const { return m_nonFullScreenPageMode; }
    void SetNonFullScreenPageMode(TPdfPageMode value);
    bool UseOutlines() const { return m_useOutlines; }
    void SetUseOutlines(bool value);
    TPdfViewerPreferences ViewerPreference() const { return m_viewerPreference; }
    void SetViewerPreference(TPdfViewerPreferences value);
    TPdfCompressionMethod CompressionMethod() const { return m_compressionMethod; }
    void SetCompressionMethod(TPdfCompressionMethod value) { m_compressionMethod = value; }

    /// The clock of the information dates (local time by default); used from the next BeginDoc.
    void SetClock(TPdfClock clock);
    /// The source of the random XObject names (a generator seeded from the time by default).
    void SetRandom(TPRRandom random);

    /// Starts a new document, freeing one left open.
    void BeginDoc();
    /// Adds one PDF page printed from \p page.
    void Print(TPRPage& page);
    /// Writes the document to FileName and closes it. Before the file is touched, a missing
    /// document or page fails with EPdfInvalidOperation. A file that cannot be created or
    /// written fails with std::system_error naming the path and the reason; an incomplete file
    /// is removed and the document stays open. On success the file is flushed to disk.
    void EndDoc();
    /// Frees the open document, if any, without writing.
    void Abort();

    /// The outline root of the open document (with UseOutlines).
    TPROutlineRoot& GetOutlineRoot();
    /// A destination on the page being printed, with top = page height + 10 and zoom 1.
    TPRDestination& CreateDestination();
    /// Makes \p destination the document's open action; the last call wins.
    void SetOpenAction(const TPRDestination& destination);

    bool HasDoc() const { return m_doc != nullptr; }
    /// Pages printed since BeginDoc.
    int PageCount() const { return m_pageCount; }
    /// The open document, or nullptr.
    TPdfDoc* Doc() const { return m_doc.get(); }

private:
    friend class TPRCanvas;
    friend class TPROutlineEntry;

    void CheckClosed(const char* operation) const;
    void FreeDocument();
    TPROutlineEntry& WrapOutlineEntry(TPdfOutlineEntry& entry);
    int Random(int upperExclusive);

    std::string m_fileName = "default.pdf";
    TPdfFileOutput::Observer m_writtenBytes;
    std::string m_author;
    std::string m_creator;
    std::string m_keywords;
    std::string m_subject;
    std::string m_title;
    TPdfPageLayout m_pageLayout = TPdfPageLayout::plSinglePage;
    TPdfPageMode m_pageMode = TPdfPageMode::pmUseNone;
    TPdfPageMode m_nonFullScreenPageMode = TPdfPageMode::pmUseNone;
    bool m_useOutlines = false;
    TPdfViewerPreferences m_viewerPreference;
    TPdfCompressionMethod m_compressionMethod = TPdfCompressionMethod::cmNone;
    TPdfClock m_clock;
    TPRRandom m_random;

    std::unique_ptr<TPdfDoc> m_doc;
    int m_pageCount = 0;
    TPRCanvas m_canvas;
    std::unique_ptr<TPROutlineRoot> m_outlineRoot;
    std::vector<std::unique_ptr<TPROutlineEntry>> m_outlineEntries;
    std::vector<std::unique_ptr<TPRDestination>> m_destinations;
};
