// SPDX-License-Identifier: GPL-3.0-or-later
// Times the report layer writing a chart: one JPEG page after another through the chart page
// layout, then EndDoc with its fsync. Prints milliseconds per page.
//
//   pdfwriter_bench JPEG WIDTH HEIGHT [PAGES] [OUTPUT]
//
// JPEG is embedded unchanged, so it must be a baseline RGB JPEG of WIDTH x HEIGHT pixels, such as
// the page images the composer encodes (634 x 934 at the default page size).

#include "pdf/prannotation.h"
#include "pdf/preport.h"
#include "pdf/prjpegimage.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s JPEG WIDTH HEIGHT [PAGES] [OUTPUT]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    TPdfJpegPicture picture{
        std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}),
        std::atoi(argv[2]),
        std::atoi(argv[3]),
    };
    const int pages = argc > 4 ? std::atoi(argv[4]) : 50;
    const std::string output = argc > 5 ? argv[5] : "/tmp/pdfwriter_bench.pdf";

    TPReport report;
    report.SetPageMode(TPdfPageMode::pmUseOutlines);
    report.SetUseOutlines(true);
    report.SetFileName(output);
    TPRPage page("PRPage1");
    page.SetWidth(700);
    page.SetHeight(1000);
    auto& panel = page.Create<TPRLayoutPanel>("PRLayoutPanel1");
    panel.SetAlign(TPRAlign::alClient);
    auto& image = panel.Create<TPRJpegImage>("PRJpegImage1");
    image.SetStretch(false);
    image.SetSharedImage(false);
    auto& note = panel.Create<TPRAnnotation>("PRAnnotation1");
    note.SetBounds(744, 8, 100, 30);
    note.SetLines({"note"});
    TPRDestination* last = nullptr;
    page.OnPrintPage = [&](TPRPage&, TPRCanvas&) {
        last = &report.CreateDestination();
        last->SetElement(0, 0);
        last->SetElement(1, 0);
        report.SetOpenAction(*last);
    };

    try {
        const auto start = std::chrono::steady_clock::now();
        report.BeginDoc();
        for (int i = 0; i < pages; ++i) {
            image.SetBounds(0, 0, picture.width, picture.height);
            image.SetPicture(picture);
            note.SetPrintable(i % 2 == 1);
            report.Print(page);
            TPROutlineEntry& bookmark = report.GetOutlineRoot().AddChild();
            bookmark.SetTitle("page " + std::to_string(i + 1));
            bookmark.SetDest(last);
        }
        const auto printed = std::chrono::steady_clock::now();
        report.EndDoc();
        const auto written = std::chrono::steady_clock::now();
        const auto ms = [](auto from, auto to) {
            return std::chrono::duration<double, std::milli>(to - from).count();
        };
        std::printf("%d pages of %zu bytes: print %.2f ms, EndDoc %.2f ms, %.3f ms per page\n",
                    pages, picture.bytes.size(), ms(start, printed), ms(printed, written),
                    ms(start, written) / pages);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
