// SPDX-License-Identifier: GPL-3.0-or-later
// The scanner side of TImageIO against the SANE test backend: a virtual scanner with a feeder.
// Tests that scan through TImageIO use test:0 and set every option they depend on.
// SANE_CONFIG_DIR points at a folder whose dll.conf names only that backend; the dialogs are
// answered through UserPrompts, so nothing waits for an operator.

#include "imaging/scan/scansource.h"
#include "imaging/timageio.h"
#include "platform/sane/sanelibrary.h"
#include "platform/userprompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QSpinBox>
#include <QTemporaryDir>

#include <cmath>
#include <functional>
#include <map>

#include <gtest/gtest.h>

namespace {

class ScannerEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // Before the first dlopen: the library reads its configuration when it starts.
        QFile conf(m_config.filePath(QStringLiteral("dll.conf")));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("test\n");
        conf.close();
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(m_config.path()));
        static int argc = 1;
        static char name[] = "imaging_scanner";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    QTemporaryDir m_config;
    std::unique_ptr<QApplication> m_app;
};

const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new ScannerEnvironment);

/// Answers every dialog at once with a scripted reply.
class ScriptedPrompts final : public UserPrompts {
public:
    std::function<int(QDialog&)> reply = [](QDialog&) { return int(QDialog::Rejected); };
    int shown = 0;

    int exec(QDialog& dialog) override {
        ++shown;
        return reply(dialog);
    }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString&,
                                         QMessageBox::StandardButtons) override {
        return QMessageBox::No;
    }
    void showError(QWidget*, const QString&) override {}
    FileChoice openFiles(QWidget*, const QString&, const QString&, bool) override { return {}; }
    FileChoice saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

using Settings = std::map<QString, QVariant>;

/// A reply that sets the named controls of the options dialog and presses OK.
std::function<int(QDialog&)> acceptWith(const Settings& settings) {
    return [settings](QDialog& dialog) {
        for (const auto& [name, value] : settings) {
            if (auto* combo = dialog.findChild<QComboBox*>(name)) {
                const int index = combo->findText(value.toString());
                EXPECT_GE(index, 0)
                    << name.toStdString() << " has no " << value.toString().toStdString();
                combo->setCurrentIndex(index);
            } else if (auto* spin = dialog.findChild<QSpinBox*>(name)) {
                spin->setValue(value.toInt());
            } else if (auto* box = dialog.findChild<QCheckBox*>(name)) {
                box->setChecked(value.toBool());
            } else {
                ADD_FAILURE() << "the dialog has no control " << name.toStdString();
            }
        }
        return int(QDialog::Accepted);
    };
}

int expectedPixels(double millimetres, int dpi) {
    return static_cast<int>(std::floor(millimetres / 25.4 * dpi));
}

TEST(ScannerTest, WithoutTheLibraryNothingIsShownAndBothFail) {
    ScriptedPrompts prompts;
    QImage bitmap = QImage(4, 4, QImage::Format_RGB888);
    const QImage before = bitmap;
    TImageIO io(std::make_unique<ScanSource>());
    io.BindBitmap(&bitmap);
    io.setScannerLibrary(QStringLiteral("libsane-not-installed.so.9"));
    EXPECT_FALSE(io.SelectScanSource(prompts));
    EXPECT_FALSE(io.AcquireScanImage(prompts));
    EXPECT_TRUE(io.IoFailed());
    EXPECT_EQ(prompts.shown, 0);
    EXPECT_EQ(bitmap, before);
}

TEST(ScannerTest, SelectionListsTheScannersAndRemembersTheChoice) {
    ScriptedPrompts prompts;
    QStringList listed;
    prompts.reply = [&listed](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("devices"));
        for (int i = 0; i < list->count(); ++i) {
            listed << list->item(i)->data(Qt::UserRole).toString();
        }
        list->setCurrentRow(static_cast<int>(listed.indexOf(QStringLiteral("test:1"))));
        return int(QDialog::Accepted);
    };
    TImageIO io(std::make_unique<ScanSource>());
    EXPECT_TRUE(io.SelectScanSource(prompts));
    EXPECT_EQ(listed, QStringList({QStringLiteral("test:0"), QStringLiteral("test:1")}));
    EXPECT_EQ(io.scanSourceName(), QStringLiteral("test:1"));

    prompts.reply = [](QDialog&) { return int(QDialog::Rejected); };
    EXPECT_FALSE(io.SelectScanSource(prompts));
    EXPECT_EQ(io.scanSourceName(), QStringLiteral("test:1"));
}

struct Acquisition {
    const char* name;
    const char* mode;
    int depth;
    int dpi;
    QImage::Format format;
};

class AcquisitionTest : public testing::TestWithParam<Acquisition> {};

TEST_P(AcquisitionTest, ArrivesWithTheSizeAndResolutionOfTheScan) {
    const Acquisition& a = GetParam();
    ScriptedPrompts prompts;
    prompts.reply = acceptWith({{QStringLiteral("mode"), QString::fromLatin1(a.mode)},
                                {QStringLiteral("depth"), QString::number(a.depth)},
                                {QStringLiteral("resolution"), a.dpi},
                                {QStringLiteral("source"), QStringLiteral("Flatbed")}});
    QImage bitmap;
    TImageIO io(std::make_unique<ScanSource>());
    io.BindBitmap(&bitmap);
    ASSERT_TRUE(io.AcquireScanImage(prompts)) << io.lastError().toStdString();
    EXPECT_FALSE(io.IoFailed());
    EXPECT_EQ(prompts.shown, 1); // the options; no selection was asked for
    EXPECT_EQ(io.scanSourceName(), QStringLiteral("test:0"));
    EXPECT_EQ(bitmap.format(), a.format);
    // The backend scans 80 x 100 mm.
    EXPECT_EQ(bitmap.size(), QSize(expectedPixels(80, a.dpi), expectedPixels(100, a.dpi)));
    EXPECT_EQ(bitmap.pixel(3, 3), qRgb(0, 0, 0)); // its default picture is solid black
    EXPECT_EQ(io.Params().dpiX, a.dpi);
    EXPECT_EQ(io.Params().dpiY, a.dpi);
    EXPECT_EQ(io.Params().tiffCompression, TiffCompression::None);
    EXPECT_EQ(bitmap.dotsPerMeterX(), qRound(a.dpi / 0.0254));

    // What the intake does next: write the page; the resolution goes with it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scan.tif"));
    io.SaveImageFile(path);
    ASSERT_FALSE(io.IoFailed());
    QImage reloaded;
    TImageIO reader;
    reader.BindBitmap(&reloaded);
    reader.LoadImageFile(path);
    EXPECT_EQ(reloaded.size(), bitmap.size());
    EXPECT_EQ(reader.Params().dpiX, a.dpi);
}

const Acquisition kAcquisitions[] = {
    {"colour", "Color", 8, 100, QImage::Format_RGB888},
    {"colour_16_bit", "Color", 16, 50, QImage::Format_RGB888},
    {"gray", "Gray", 8, 75, QImage::Format_Indexed8},
    {"gray_16_bit", "Gray", 16, 60, QImage::Format_Indexed8},
    {"line_art", "Gray", 1, 120, QImage::Format_Mono},
};

INSTANTIATE_TEST_SUITE_P(Modes, AcquisitionTest, testing::ValuesIn(kAcquisitions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScannerTest, FeederOfTenSheetsGivesOnePagePerCall) {
    ScriptedPrompts prompts;
    prompts.reply =
        acceptWith({{QStringLiteral("source"), QStringLiteral("Automatic Document Feeder")},
                    {QStringLiteral("resolution"), 20}});
    TImageIO io(std::make_unique<ScanSource>());
    for (int sheet = 1; sheet <= 10; ++sheet) {
        EXPECT_TRUE(io.AcquireScanImage(prompts))
            << "sheet " << sheet << ": " << io.lastError().toStdString();
        EXPECT_FALSE(io.bitmap().isNull());
    }
    // Had any call taken more than its one sheet, the feeder would have run dry earlier.
    EXPECT_FALSE(io.AcquireScanImage(prompts));
    EXPECT_TRUE(io.IoFailed());
}

TEST(ScannerTest, CancelledOptionsGiveNoImage) {
    ScriptedPrompts prompts; // rejects every dialog
    QImage bitmap(2, 2, QImage::Format_Mono);
    const QImage before = bitmap;
    TImageIO io(std::make_unique<ScanSource>());
    io.BindBitmap(&bitmap);
    EXPECT_FALSE(io.AcquireScanImage(prompts));
    EXPECT_TRUE(io.IoFailed());
    EXPECT_EQ(prompts.shown, 1);
    EXPECT_EQ(bitmap, before);
}

// Frames the options dialog does not offer, read through the platform layer directly: three
// single-colour frames in any order and 16-bit samples must give the same picture as one 8-bit
// frame, and a hand scanner that does not know the page length still gives its page. The backend
// keeps option values for the whole process, so this test uses the second virtual scanner.
TEST(ScannerTest, FrameLayoutsGiveTheSamePicture) {
    SaneLibrary* library = SaneLibrary::load();
    ASSERT_NE(library, nullptr);
    QString error;
    std::unique_ptr<SaneDevice> device = library->open(QStringLiteral("test:1"), &error);
    ASSERT_TRUE(device) << error.toStdString();
    ASSERT_TRUE(device->setOption(QStringLiteral("mode"), QStringLiteral("Color")));
    ASSERT_TRUE(device->setOption(QStringLiteral("resolution"), 30));
    ASSERT_TRUE(device->setOption(QStringLiteral("test-picture"), QStringLiteral("Color pattern")));
    const auto scan = [&] {
        SaneScanResult result = device->scanOnePage({}, qint64(1) << 28);
        EXPECT_EQ(result.status, SaneScanResult::Status::Ok) << result.error.toStdString();
        return result;
    };
    const SaneScanResult colour = scan();
    ASSERT_EQ(colour.image.format(), QImage::Format_RGB888);
    EXPECT_EQ(colour.dpiX, 30);
    ASSERT_TRUE(device->setOption(QStringLiteral("three-pass"), true));
    ASSERT_TRUE(device->setOption(QStringLiteral("three-pass-order"), QStringLiteral("GBR")));
    EXPECT_EQ(scan().image, colour.image);
    ASSERT_TRUE(device->setOption(QStringLiteral("three-pass"), false));

    // The backend draws its colour pattern differently at 16 bits; its grid is the same.
    ASSERT_TRUE(device->setOption(QStringLiteral("test-picture"), QStringLiteral("Grid")));
    const SaneScanResult grid = scan();
    ASSERT_TRUE(device->setOption(QStringLiteral("depth"), 16));
    EXPECT_EQ(scan().image, grid.image);
    ASSERT_TRUE(device->setOption(QStringLiteral("depth"), 8));

    ASSERT_TRUE(device->setOption(QStringLiteral("mode"), QStringLiteral("Gray")));
    ASSERT_TRUE(device->setOption(QStringLiteral("hand-scanner"), true));
    const SaneScanResult hand = scan();
    EXPECT_EQ(hand.image.width(), expectedPixels(110, 30)); // a hand scanner is 11 cm wide
    EXPECT_GT(hand.image.height(), 0);
}

} // namespace
