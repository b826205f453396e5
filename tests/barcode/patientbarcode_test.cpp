// SPDX-License-Identifier: GPL-3.0-or-later
// The patient number read from label pages written as scan-like JPEG files: every symbology at
// 200 and 300 dpi, turned and noisy, and the pages that must yield no number.

#include "barcode/patientbarcode.h"
#include "labelpages.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using barcode::PageReading;
using barcode::PatientBarcodeReader;
using barcode::Symbology;
using Status = PageReading::Status;

namespace {

class LabelPageTest : public ::testing::Test {
protected:
    QString writePage(const QList<labelpages::Label>& labels, int dpi, double degrees = 2.0,
                      const QString& name = QStringLiteral("page.jpg")) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(labelpages::writeJpeg(labelpages::page(labels, dpi, degrees, 12), path));
        return path;
    }
    QTemporaryDir m_dir;
};

struct SymbologyCase {
    const char* name;
    Symbology symbology;
    const char* text;
    const char* pattern; ///< nullptr: the default pattern
    int expected;
};

const SymbologyCase symbologyCases[] = {
    {"Code39", Symbology::Code39, "12345678", nullptr, 12345678},
    {"Code128_leading_zeros", Symbology::Code128, "00123456", nullptr, 123456},
    {"ITF", Symbology::Itf, "87654320", nullptr, 87654320},
    // A JAN in-store code: flag 20, the number in ten digits, the check digit.
    {"EAN13", Symbology::Ean, "200012345678", "^20(\\d{10})\\d$", 12345678},
    {"QRCode_with_prefix", Symbology::QrCode, "PID:4567", "^PID:(\\d+)$", 4567},
    {"DataMatrix", Symbology::DataMatrix, "99999999", nullptr, 99999999},
};

class SymbologyTest : public LabelPageTest,
                      public ::testing::WithParamInterface<std::tuple<SymbologyCase, int>> {};

TEST_P(SymbologyTest, ReadsTheNumberOfATurnedNoisyScan) {
    const auto& [c, dpi] = GetParam();
    // Turned one way at 200 dpi and the other at 300, by up to 3 degrees.
    const double degrees = dpi == 200 ? 3.0 : -2.5;
    const QString path = writePage({{c.symbology, QString::fromLatin1(c.text)}}, dpi, degrees);
    const PatientBarcodeReader reader(barcode::allSymbologies(),
                                      c.pattern ? QString::fromLatin1(c.pattern)
                                                : barcode::defaultPattern);
    const PageReading reading = reader.readFile(path);
    EXPECT_EQ(reading.status, Status::Found) << reading.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(reading.patient, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Pages, SymbologyTest,
                         ::testing::Combine(::testing::ValuesIn(symbologyCases),
                                            ::testing::Values(200, 300)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "dpi";
                         });

TEST_F(LabelPageTest, APageWithoutBarcodeYieldsNothing) {
    const PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    const PageReading reading = reader.readFile(writePage({}, 300));
    EXPECT_EQ(reading.status, Status::NoBarcode);
    EXPECT_EQ(reading.patient, 0);
}

TEST_F(LabelPageTest, TwoLabelsOfDifferentNumbersAreRefusedAndOfOneNumberTaken) {
    const PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    const PageReading different =
        reader.readFile(writePage({{Symbology::Code128, QStringLiteral("1234567")},
                                   {Symbology::Code128, QStringLiteral("7654321"), {20.0, 120.0}}},
                                  300, 1.0, QStringLiteral("different.jpg")));
    EXPECT_EQ(different.status, Status::Ambiguous);
    EXPECT_EQ(different.patient, 0);
    EXPECT_EQ(different.texts.size(), 2);

    // The same number twice (a label and a form's own code) is no doubt.
    const PageReading same =
        reader.readFile(writePage({{Symbology::Code128, QStringLiteral("1234567")},
                                   {Symbology::QrCode, QStringLiteral("01234567"), {120.0, 150.0}}},
                                  300, 1.0, QStringLiteral("same.jpg")));
    EXPECT_EQ(same.status, Status::Found);
    EXPECT_EQ(same.patient, 1234567);
}

struct TwoLabelsCase {
    const char* name;
    Symbology second;
    QPointF secondAt; ///< where the second label sits; the first is at 20 mm, 20 mm
    double secondTurn;
    double pageAngle;
};

// A Code 39 label laid straight is not read on the page reduced for the matrix codes, only at
// the scan's own resolution.
const TwoLabelsCase twoLabelsCases[] = {
    {"stacked", Symbology::Code128, {20.0, 48.0}, 0.0, 1.0},
    {"stacked_Code39_straight", Symbology::Code39, {20.0, 44.0}, 0.0, 0.0},
    {"side_by_side", Symbology::Code128, {110.0, 20.0}, 0.0, 1.0},
    {"side_by_side_Code39_straight", Symbology::Code39, {110.0, 20.0}, 0.0, 0.0},
    {"upside_down_far_below", Symbology::Code128, {110.0, 240.0}, 180.0, 1.0},
    {"sideways", Symbology::Code128, {150.0, 120.0}, 90.0, 1.0},
    {"sideways_Code39", Symbology::Code39, {150.0, 120.0}, -90.0, -2.0},
};

class TwoLabelsTest : public LabelPageTest,
                      public ::testing::WithParamInterface<std::tuple<TwoLabelsCase, int>> {};

// Two patients' labels on one page are no patient number, wherever the second one sits and
// however it is turned: every code of the page is read before a number is taken.
TEST_P(TwoLabelsTest, DifferentNumbersAnywhereOnThePageAreAmbiguous) {
    const auto& [c, dpi] = GetParam();
    const QString path =
        writePage({{Symbology::Code128, QStringLiteral("1234567")},
                   {c.second, QStringLiteral("7654321"), c.secondAt, c.secondTurn}},
                  dpi, c.pageAngle);
    const PageReading reading =
        PatientBarcodeReader(barcode::allSymbologies(), barcode::defaultPattern).readFile(path);
    EXPECT_EQ(reading.status, Status::Ambiguous)
        << reading.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(reading.patient, 0);
}

INSTANTIATE_TEST_SUITE_P(Pages, TwoLabelsTest,
                         ::testing::Combine(::testing::ValuesIn(twoLabelsCases),
                                            ::testing::Values(200, 300)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "dpi";
                         });

TEST_F(LabelPageTest, TwoCopiesOfOneLinearLabelAreOneNumber) {
    // Two runs of rows of one code text: the library merges such results, and its build asserts
    // on that merge when it is not kept apart.
    const PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    const PageReading reading =
        reader.readFile(writePage({{Symbology::Code128, QStringLiteral("2345678")},
                                   {Symbology::Code128, QStringLiteral("2345678"), {110.0, 200.0}}},
                                  300));
    EXPECT_EQ(reading.status, Status::Found);
    EXPECT_EQ(reading.patient, 2345678);
}

TEST_F(LabelPageTest, ALabelUpsideDownIsRead) {
    const PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    for (const Symbology symbology : {Symbology::Code128, Symbology::QrCode}) {
        const PageReading reading =
            reader.readFile(writePage({{symbology, QStringLiteral("3456789")}}, 200, 178.0));
        EXPECT_EQ(reading.patient, 3456789) << barcode::symbologyName(symbology).toStdString();
    }
}

TEST_F(LabelPageTest, ABarcodeOutsideTheSettingsYieldsNoNumber) {
    const QString path = writePage({{Symbology::Code39, QStringLiteral("WARD7")},
                                    {Symbology::Code128, QStringLiteral("2345678"), {20.0, 120.0}}},
                                   300);
    // Text the pattern does not take is passed over; the other label gives the number.
    EXPECT_EQ(PatientBarcodeReader(barcode::allSymbologies(), barcode::defaultPattern)
                  .readFile(path)
                  .patient,
              2345678);
    // Only Code 39 looked for: a barcode, but no number in it.
    const PageReading code39 =
        PatientBarcodeReader({Symbology::Code39}, barcode::defaultPattern).readFile(path);
    EXPECT_EQ(code39.status, Status::NoNumber);
    EXPECT_EQ(code39.texts, QStringList{QStringLiteral("WARD7")});
    // Only QR codes looked for: nothing at all.
    EXPECT_EQ(
        PatientBarcodeReader({Symbology::QrCode}, barcode::defaultPattern).readFile(path).status,
        Status::NoBarcode);
    // A pattern of two groups takes nothing, even from the number.
    const PatientBarcodeReader twoGroups(barcode::allSymbologies(),
                                         QStringLiteral("^(\\d{3})(\\d+)$"));
    EXPECT_FALSE(twoGroups.patternIsValid());
    EXPECT_EQ(twoGroups.readFile(path).status, Status::NoNumber);
}

TEST_F(LabelPageTest, AFileThatDoesNotDecodeIsUnreadable) {
    const QString path = m_dir.filePath(QStringLiteral("broken.jpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a jpeg at all");
    file.close();
    const PatientBarcodeReader reader(barcode::allSymbologies(), barcode::defaultPattern);
    EXPECT_EQ(reader.readFile(path).status, Status::Unreadable);
    EXPECT_EQ(reader.readFile(m_dir.filePath(QStringLiteral("missing.jpg"))).status,
              Status::Unreadable);
}

TEST(PatternTest, OnlyAValidPatternOfOneGroupIsUsable) {
    EXPECT_TRUE(barcode::patternProblem(barcode::defaultPattern).isEmpty());
    EXPECT_TRUE(barcode::patternProblem(QStringLiteral("^P(\\d+)(?:-\\d)?$")).isEmpty());
    EXPECT_FALSE(barcode::patternProblem(QStringLiteral("^\\d+$")).isEmpty());
    EXPECT_FALSE(barcode::patternProblem(QStringLiteral("(\\d)(\\d)")).isEmpty());
    EXPECT_FALSE(barcode::patternProblem(QStringLiteral("(\\d")).isEmpty());
}

TEST(PatternTest, ACapturedTextIsANumberOnlyInTheRangeOfPatientNumbers) {
    const struct {
        const char* text;
        std::optional<int> number;
    } cases[] = {
        {"1", 1},         {"99999999", 99999999}, {"0012", 12}, {"000000001", 1}, {"0", {}},
        {"00000000", {}}, {"100000000", {}},      {"", {}},     {"12a", {}},      {"-12", {}},
        {" 12", {}},      {"１２", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(barcode::patientNumberFromText(QString::fromUtf8(c.text)), c.number) << c.text;
    }
}

TEST(SymbologyNames, EveryNameReadsBackAndUnknownNamesAreNone) {
    for (Symbology symbology : barcode::allSymbologies()) {
        EXPECT_EQ(barcode::symbologyFromName(barcode::symbologyName(symbology)), symbology);
    }
    EXPECT_EQ(barcode::symbologyFromName(QStringLiteral("qrcode")), Symbology::QrCode);
    EXPECT_FALSE(barcode::symbologyFromName(QStringLiteral("PDF417")).has_value());
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
