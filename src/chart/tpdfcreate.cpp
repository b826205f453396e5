// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/tpdfcreate.h"

#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

/// Room between the page edge and the layout panel: the margin plus the page's one-pixel border.
constexpr int PanelOffset = 33;
/// What the margins and the border take from each page dimension.
constexpr int AreaReduction = chartpage::AreaReduction;
static_assert(AreaReduction == 2 * PanelOffset);

// Where the note annotation sits in the layout panel and how large it is.
constexpr int NoteLeft = 744;
constexpr int NoteTop = 8;
constexpr int NoteWidth = 100;
constexpr int NoteHeight = 30;

bool isAcceptedPageSide(int side) {
    return side >= 1 && side <= TPdfCreate::MaxPageSide;
}

std::string pageSizeRefusal(int width, int height) {
    return "chart page of " + std::to_string(width) + " x " + std::to_string(height) +
           " points refused: each side must be 1 to " + std::to_string(TPdfCreate::MaxPageSide) +
           " points";
}

} // namespace

TPdfCreate::TPdfCreate() : m_pool(std::make_unique<QThreadPool>()) {
    m_report.SetPageMode(TPdfPageMode::pmUseOutlines);
    m_report.SetUseOutlines(true);
    m_report.SetPageLayout(TPdfPageLayout::plSinglePage);

    m_page.SetMarginTop(32);
    m_page.SetMarginLeft(32);
    m_page.SetMarginRight(32);
    m_page.SetMarginBottom(32);
    m_page.OnPrintPage = [this](TPRPage&, TPRCanvas&) { onPrintPage(); };

    m_panel = &m_page.Create<TPRLayoutPanel>("PRLayoutPanel1");
    m_panel->SetBounds(PanelOffset, PanelOffset, m_page.Width() - AreaReduction,
                       m_page.Height() - AreaReduction);

    m_image = &m_panel->Create<TPRJpegImage>("PRJpegImage1");
    m_image->SetBounds(0, 0, 100, 100);
    m_image->SetStretch(false);
    m_image->SetSharedImage(false);

    m_annotation = &m_panel->Create<TPRAnnotation>("PRAnnotation1");
    m_annotation->SetBounds(NoteLeft, NoteTop, NoteWidth, NoteHeight);
    m_annotation->SetCaption("PRAnnotation1");
    m_annotation->SetOpened(false);

    m_pool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

TPdfCreate::~TPdfCreate() {
    dropPrepared();
}

void TPdfCreate::setThreadCount(int threads) {
    m_pool->setMaxThreadCount(std::max(1, threads));
}

void TPdfCreate::BeginChart(const QString& path) {
    if (!isAcceptedPageSide(PdfPageWidth) || !isAcceptedPageSide(PdfPageHeight)) {
        AbortChart();
        throw std::runtime_error(pageSizeRefusal(PdfPageWidth, PdfPageHeight));
    }
    m_lastDestination = nullptr;
    m_page.SetBounds(m_page.Left(), m_page.Top(), PdfPageWidth, PdfPageHeight);
    m_imageAreaWidth = PdfPageWidth - AreaReduction;
    m_imageAreaHeight = PdfPageHeight - AreaReduction;
    m_panel->SetBounds(PanelOffset, PanelOffset, m_imageAreaWidth, m_imageAreaHeight);
    // The note's icon lies in the page's right margin, from the page width - 33 to the page
    // width: on the page, where every reader shows it, and never over the scan.
    const int marginLeft = std::max(0, PdfPageWidth - PanelOffset);
    m_annotation->SetBounds(marginLeft - PanelOffset, NoteTop, PdfPageWidth - marginLeft,
                            NoteHeight);
    m_report.SetFileName(path.toStdString());
    m_report.BeginDoc();
}

void TPdfCreate::onPrintPage() {
    TPRDestination& destination = m_report.CreateDestination();
    destination.SetDestinationType(TPdfDestinationType::dtXYZ);
    destination.SetElement(0, 0);
    destination.SetElement(1, 0);
    destination.SetZoom(1);
    m_report.SetOpenAction(destination);
    m_lastDestination = &destination;
}

void TPdfCreate::AddChartPage() {
    const chartpage::Prepared page = takePrepared(ImageFile);
    if (!page.loaded) {
        return;
    }
    m_image->SetBounds(0, 0, page.placed.width(), page.placed.height());
    // An image kept at fewer pixels than its place is scaled to it by the placement; any other
    // is drawn at its pixel size.
    m_image->SetStretch(page.placed != QSize(page.picture.width, page.picture.height));
    m_image->SetPicture(page.picture);
    m_report.Print(m_page);
    m_image->ClearPicture(); // the document holds the bytes now
}

void TPdfCreate::EndChart() {
    dropPrepared();
    m_report.EndDoc();
    m_lastDestination = nullptr;
}

void TPdfCreate::AbortChart() {
    dropPrepared();
    m_report.Abort();
    m_lastDestination = nullptr;
}

void TPdfCreate::PrepareAhead(const QStringList& files) {
    const QSize area(m_imageAreaWidth, m_imageAreaHeight);
    const bool stretch = Stretch;
    const int quality = Quality;
    for (const auto& file : files) {
        m_pending.push_back(Pending{
            file, QtConcurrent::run(m_pool.get(), [file, area, stretch, quality] {
                Outcome outcome;
                try {
                    outcome.page = chartpage::prepare(file, area, stretch, quality);
                } catch (...) {
                    outcome.error = std::current_exception(); // rethrown on the composing thread
                }
                return outcome;
            })});
    }
}

chartpage::Prepared TPdfCreate::takePrepared(const QString& path) {
    const auto match = std::find_if(m_pending.begin(), m_pending.end(),
                                    [&](const Pending& p) { return p.path == path; });
    if (match == m_pending.end()) {
        return chartpage::prepare(path, QSize(m_imageAreaWidth, m_imageAreaHeight), Stretch,
                                  Quality);
    }
    // Pages before the match were skipped by the caller; their work is dropped.
    while (m_pending.begin() != match) {
        m_pending.front().result.waitForFinished();
        m_pending.pop_front();
    }
    QFuture<Outcome> result = m_pending.front().result;
    m_pending.pop_front();
    Outcome outcome = result.result();
    if (outcome.error) {
        std::rethrow_exception(outcome.error); // such as ImageOpenError
    }
    return std::move(outcome.page);
}

void TPdfCreate::dropPrepared() {
    for (auto& pending : m_pending) {
        pending.result.cancel();
    }
    for (auto& pending : m_pending) {
        pending.result.waitForFinished();
    }
    m_pending.clear();
}
