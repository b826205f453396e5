// SPDX-License-Identifier: GPL-3.0-or-later
// Blank pages as intake finds them: each page drawn, written as a scanner writes it, and
// decided from the decode the thumbnail is made from.

#include "analysis/blankpage.h"
#include "app/pageimages.h"
#include "platform/registryfile.h"
#include "settings/blankpagesettings.h"
#include "settings/tregistory.h"
#include "support/scannedpages.h"

#include <QTemporaryDir>
#include <QtTest>

using scannedpages::Kind;

namespace {

/// The check as the settings' defaults ask for it.
blankpage::Thresholds defaults() {
    return *pageimages::blankCheck(BlankPageSettings());
}

enum class Written : quint8 { ColourJpeg, GreyJpeg, Png, BilevelG4 };

bool writeAs(const QImage& page, const QString& path, Written as) {
    switch (as) {
    case Written::ColourJpeg:
        return scannedpages::write(page, path);
    case Written::GreyJpeg:
        return scannedpages::write(page.convertToFormat(QImage::Format_Grayscale8), path);
    case Written::Png:
        return scannedpages::write(page.convertToFormat(QImage::Format_RGB888), path);
    case Written::BilevelG4: {
        QImage bilevel = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        TImageIO io;
        io.BindBitmap(&bilevel);
        io.Params().dpiX = io.Params().dpiY = 300;
        io.Params().tiffCompression = TiffCompression::G4;
        io.SaveImageFile(path);
        return !io.IoFailed();
    }
    }
    return false;
}

} // namespace

class BlankPageTest : public QObject {
    Q_OBJECT
private slots:
    void decidesEachPage_data() {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<Written>("as");
        QTest::addColumn<QString>("suffix");
        const struct {
            const char* name;
            Kind kind;
            Written as;
        } rows[] = {
            {"text", Kind::Text, Written::ColourJpeg},
            {"handwritten line", Kind::Handwriting, Written::ColourJpeg},
            {"faint pencil note", Kind::Pencil, Written::ColourJpeg},
            {"date stamp", Kind::DateStamp, Written::ColourJpeg},
            {"signature", Kind::Signature, Written::ColourJpeg},
            {"faint pencil note, grey scan", Kind::Pencil, Written::GreyJpeg},
            {"faint pencil note, PNG", Kind::Pencil, Written::Png},
            {"handwritten line, black and white G4", Kind::Handwriting, Written::BilevelG4},
            {"blank", Kind::Blank, Written::ColourJpeg},
            {"edge shadows", Kind::EdgeShadows, Written::ColourJpeg},
            {"show-through", Kind::ShowThrough, Written::ColourJpeg},
            {"dust and punch holes", Kind::Dusty, Written::ColourJpeg},
            {"all troubles at once", Kind::Everything, Written::ColourJpeg},
            {"all troubles at once, grey scan", Kind::Everything, Written::GreyJpeg},
            {"edge shadows, black and white G4", Kind::EdgeShadows, Written::BilevelG4},
        };
        for (const auto& row : rows) {
            QTest::addRow("%s", row.name)
                << row.kind << row.as
                << QString::fromLatin1(row.as == Written::Png         ? "png"
                                       : row.as == Written::BilevelG4 ? "tif"
                                                                      : "jpg");
        }
    }
    void decidesEachPage() {
        QFETCH(Kind, kind);
        QFETCH(Written, as);
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("page.") + suffix);
        QVERIFY(writeAs(scannedpages::page(kind), path, as));
        const pageimages::Thumbnail thumbnail =
            pageimages::makeThumbnail(path, 128, false, defaults());
        QVERIFY(!thumbnail.failed);
        QVERIFY(thumbnail.blank.has_value());
        qInfo("ink %.1f ppm, paper %d", thumbnail.blank->inkPartsPerMillion,
              thumbnail.blank->paperLevel);
        QCOMPARE(thumbnail.blank->blank, scannedpages::isBlank(kind));
        // The batch save's way decides the same.
        const auto verdict = pageimages::blankVerdict(path, defaults());
        QVERIFY(verdict.has_value());
        QCOMPARE(verdict->blank, scannedpages::isBlank(kind));
        // No check asked, none made.
        QVERIFY(!pageimages::makeThumbnail(path, 128, false).blank.has_value());
    }

    void darkOrTinyImagesAreNeverBlank() {
        // A uniformly dark sheet (a scan with the lid open) has no ink against its "paper",
        // and an image too small for the margin cannot be judged: neither is called blank.
        QImage dark(620, 877, QImage::Format_RGB32);
        dark.fill(QColor(60, 60, 60));
        QVERIFY(!blankpage::examine(dark, QSize(2480, 3508), 300, defaults()).blank);
        QImage tiny(40, 40, QImage::Format_RGB32);
        tiny.fill(Qt::white);
        QVERIFY(!blankpage::examine(tiny, QSize(40, 40), 300, defaults()).blank);
    }

    void settingsKeepTheirOwnKey() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("registry.reg"));
        RegistryFile registry;
        registry.createKey(BlankPageSettings::KeyPath);
        registry.setValue(BlankPageSettings::KeyPath, QStringLiteral("Enabled"),
                          RegistryValue::fromDword(0));
        registry.setValue(BlankPageSettings::KeyPath, QStringLiteral("InkContrast"),
                          RegistryValue::fromDword(40));
        // Out of range, and of the wrong type: each takes its default alone.
        registry.setValue(BlankPageSettings::KeyPath, QStringLiteral("MarginMm"),
                          RegistryValue::fromDword(500));
        registry.setValue(BlankPageSettings::KeyPath, QStringLiteral("InkPartsPerMillion"),
                          RegistryValue::fromString(QStringLiteral("12")));
        QVERIFY(registry.save(file));
        BlankPageSettings settings;
        settings.load(file);
        const BlankPageSettings defaults;
        QCOMPARE(settings.Enabled, false);
        QCOMPARE(settings.InkContrast, 40);
        QCOMPARE(settings.MarginMm, defaults.MarginMm);
        QCOMPARE(settings.InkPartsPerMillion, defaults.InkPartsPerMillion);
        QCOMPARE(settings.ShadowMm, defaults.ShadowMm);
        // Written back, they come back the same, and in their own key only.
        RegistryFile written;
        settings.SaveToRegistry(written);
        BlankPageSettings again;
        again.LoadFromRegistry(written);
        QVERIFY(again == settings);
        QVERIFY(written.value(TRegistory::KeyPath, QStringLiteral("Enabled")) == nullptr);
    }
};

QTEST_MAIN(BlankPageTest)
#include "blankpage_test.moc"
