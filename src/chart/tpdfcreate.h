// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart composer: turns the page images of one chart into one PDF file through a fixed
/// report layout (one page, one layout panel, one JPEG image item and one note annotation).
/// The caller drives it page by page:
///
///     PdfPageWidth/PdfPageHeight, BeginChart(path), Quality/Stretch,
///     for each page: ImageFile, note lines, AddChartPage(), bookmark on LastDestination()
///     EndChart()
///
/// PrepareAhead() lets worker threads load and encode the coming pages while earlier ones are
/// printed; the file comes out byte for byte the same with or without it.

#include "chart/chartpageimage.h"
#include "pdf/prannotation.h"
#include "pdf/preport.h"
#include "pdf/prjpegimage.h"

#include <QFuture>
#include <QString>
#include <QStringList>
#include <deque>
#include <exception>
#include <memory>

class QThreadPool;

class TPdfCreate {
public:
    TPdfCreate();
    ~TPdfCreate();
    TPdfCreate(const TPdfCreate&) = delete;
    TPdfCreate& operator=(const TPdfCreate&) = delete;

    /// Largest page side in points that PDF readers accept; BeginChart refuses larger pages.
    static constexpr int MaxPageSide = 14400;

    /// Page size in points (the settings of the same names).
    int PdfPageWidth = 700;
    int PdfPageHeight = 1000;
    /// JPEG quality; limited to 50..100 at each encoding.
    int Quality = 80;
    /// Fit pages into the image area instead of cropping them.
    bool Stretch = false;
    /// Image of the next AddChartPage.
    QString ImageFile;

    /// Set by BeginChart: the page size less the margins and the page border.
    int ImageAreaWidth() const { return m_imageAreaWidth; }
    int ImageAreaHeight() const { return m_imageAreaHeight; }

    /// The note of the next page: its lines and whether it is printed at all.
    TPRAnnotation& PRAnnotation1() { return *m_annotation; }
    TPRJpegImage& PRJpegImage1() { return *m_image; }
    TPReport& PReport1() { return m_report; }

    /// Pins the dates and the random image names (tests).
    void setClock(TPdfClock clock) { m_report.SetClock(std::move(clock)); }
    void setRandom(TPRRandom random) { m_report.SetRandom(std::move(random)); }
    /// Worker threads for PrepareAhead (the number of cores by default).
    void setThreadCount(int threads);

    /// Starts the chart file \p path, discarding a chart left open by an earlier failure. A page
    /// side outside 1..MaxPageSide throws std::runtime_error and leaves no chart open.
    void BeginChart(const QString& path);
    /// Adds one PDF page from ImageFile. An image that cannot be loaded adds no page and
    /// reports nothing; a file that cannot be opened throws ImageOpenError.
    void AddChartPage();
    /// Writes the file (see TPReport::EndDoc for its errors).
    void EndChart();
    /// Discards the chart being written without writing anything.
    void AbortChart();

    /// The destination of the last PDF page written, or nullptr before the first one.
    TPRDestination* LastDestination() const { return m_lastDestination; }
    /// PDF pages added since BeginChart.
    int PagesAdded() const { return m_report.HasDoc() ? m_report.PageCount() : 0; }

    /// Starts loading and encoding \p files on worker threads, in this order. AddChartPage takes
    /// a prepared page when ImageFile is the next one prepared (files skipped by the caller are
    /// passed over); any other file is prepared on the spot.
    void PrepareAhead(const QStringList& files);

private:
    chartpage::Prepared takePrepared(const QString& path);
    void dropPrepared();
    void onPrintPage();

    TPReport m_report;
    TPRPage m_page{"PRPage1"};
    TPRLayoutPanel* m_panel = nullptr;
    TPRJpegImage* m_image = nullptr;
    TPRAnnotation* m_annotation = nullptr;
    TPRDestination* m_lastDestination = nullptr;
    int m_imageAreaWidth = 0;
    int m_imageAreaHeight = 0;

    /// A page prepared on a worker, or the error that stopped it there.
    struct Outcome {
        chartpage::Prepared page;
        std::exception_ptr error;
    };
    struct Pending {
        QString path;
        QFuture<Outcome> result;
    };
    std::deque<Pending> m_pending;
    std::unique_ptr<QThreadPool> m_pool;
};
