// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tregistory.h"

#include "platform/registryfile.h"

#include <QDir>
#include <bit>
#include <cstring>

const QString TRegistory::KeyPath =
    QStringLiteral("HKEY_CURRENT_USER\\Software\\Tovani\\PeloraFileBasic14");

TRegistory::TRegistory() {
    SetDefaults();
}

QString TRegistory::defaultFolder() {
    return QDir::homePath();
}

void TRegistory::SetDefaults() {
    FolderClear = true;
    L1Front.clear();
    L1Back.clear();
    L2Front.clear();
    L2Back.clear();
    L3Front.clear();
    L3Back.clear();
    L4Front.clear();
    L4Back.clear();
    HPCode.clear();
    WriteInhibit = true;
    WriteDate = true;
    JpegType = TiffType = BitmapType = PngType = true;
    DicomType = DicomText = true;
    ScannerDir = Target = FileOpenDir = defaultFolder();
    PdfPageWidth = 700;
    PdfPageHeight = 1000;
    Stretch = false;
    FirstPage = false;
    Sequence = 0;
    ImSize = 0;
    PrintDensity = 600.0;
    PanelDensity = 76.2;
    PageWidth = 610;
    PageHeight = 891;
    Quality = 80;
    lblIdno = TLabelLayout::withDefaults(144, 72);
    lblName = TLabelLayout::withDefaults(144, 104);
    lblSex = TLabelLayout::withDefaults(144, 144);
    lblBirth = TLabelLayout::withDefaults(144, 176);
    lblAddress = TLabelLayout::withDefaults(144, 205);
    labelIdno = TLabelLayout::withDefaults(232, 72);
    labelName = TLabelLayout::withDefaults(232, 104);
    labelSex = TLabelLayout::withDefaults(232, 144);
    labelBirth = TLabelLayout::withDefaults(232, 176);
    labelAddress = TLabelLayout::withDefaults(232, 205);
    CsvFolder = LogOutFolder = defaultFolder();
    KeyLabel1.clear();
    KeyLabel2.clear();
    KeyLabel3.clear();
    KeyLabel4.clear();
    VolNo = QStringLiteral("0");
    ShowImage = 5;
    ThumbStrech = false;
    DBRegist = true;
}

const QList<TRegistory::Value>& TRegistory::values() {
    using R = TRegistory;
    static const QList<Value> list{
        {QStringLiteral("FolderClear"), &R::FolderClear},
        {QStringLiteral("L1Front"), &R::L1Front},
        {QStringLiteral("L1Back"), &R::L1Back},
        {QStringLiteral("L2Front"), &R::L2Front},
        {QStringLiteral("L2Back"), &R::L2Back},
        {QStringLiteral("L3Front"), &R::L3Front},
        {QStringLiteral("L3Back"), &R::L3Back},
        {QStringLiteral("L4Front"), &R::L4Front},
        {QStringLiteral("L4Back"), &R::L4Back},
        {QStringLiteral("HPCode"), &R::HPCode},
        {QStringLiteral("WriteInhibit"), &R::WriteInhibit},
        {QStringLiteral("WriteDate"), &R::WriteDate},
        {QStringLiteral("JpegType"), &R::JpegType},
        {QStringLiteral("TiffType"), &R::TiffType},
        {QStringLiteral("BitmapType"), &R::BitmapType},
        {QStringLiteral("PngType"), &R::PngType},
        {QStringLiteral("DicomType"), &R::DicomType},
        {QStringLiteral("DicomText"), &R::DicomText},
        {QStringLiteral("ScannerDir"), &R::ScannerDir},
        {QStringLiteral("Target"), &R::Target},
        {QStringLiteral("FileOpenDir"), &R::FileOpenDir},
        {QStringLiteral("PdfPageWidth"), &R::PdfPageWidth},
        {QStringLiteral("PdfPageHeight"), &R::PdfPageHeight},
        {QStringLiteral("Stretch"), &R::Stretch},
        {QStringLiteral("FirstPage"), &R::FirstPage},
        {QStringLiteral("Sequence"), &R::Sequence},
        {QStringLiteral("ImSize"), &R::ImSize},
        {QStringLiteral("PrintDensity"), &R::PrintDensity},
        {QStringLiteral("PanelDensity"), &R::PanelDensity},
        {QStringLiteral("PageWidth"), &R::PageWidth},
        {QStringLiteral("PageHeight"), &R::PageHeight},
        {QStringLiteral("Quality"), &R::Quality},
        {QStringLiteral("lblIdno"), &R::lblIdno},
        {QStringLiteral("lblName"), &R::lblName},
        {QStringLiteral("lblSex"), &R::lblSex},
        {QStringLiteral("lblBirth"), &R::lblBirth},
        {QStringLiteral("lblAddress"), &R::lblAddress},
        {QStringLiteral("labelIdno"), &R::labelIdno},
        {QStringLiteral("labelName"), &R::labelName},
        {QStringLiteral("labelSex"), &R::labelSex},
        {QStringLiteral("labelBirth"), &R::labelBirth},
        {QStringLiteral("labelAddress"), &R::labelAddress},
        {QStringLiteral("CsvFolder"), &R::CsvFolder},
        {QStringLiteral("LogOutFolder"), &R::LogOutFolder},
        {QStringLiteral("KeyLabel1"), &R::KeyLabel1},
        {QStringLiteral("KeyLabel2"), &R::KeyLabel2},
        {QStringLiteral("KeyLabel3"), &R::KeyLabel3},
        {QStringLiteral("KeyLabel4"), &R::KeyLabel4},
        {QStringLiteral("VolNo"), &R::VolNo},
        {QStringLiteral("ShowImage"), &R::ShowImage},
        {QStringLiteral("ThumbStrech"), &R::ThumbStrech},
        {QStringLiteral("DBRegist"), &R::DBRegist},
    };
    return list;
}

namespace {

/// Reads one value into the settings; returns an empty string when the value obeys its
/// reading rule, else what was wrong.
struct ValueReader {
    TRegistory& settings;
    const RegistryValue* stored;

    QString operator()(bool TRegistory::*field) const {
        if (!stored) {
            return QStringLiteral("missing");
        }
        if (stored->type() != RegistryType::Dword) {
            return QStringLiteral("not a DWORD");
        }
        settings.*field = stored->dword() != 0;
        return {};
    }
    QString operator()(int TRegistory::*field) const {
        if (!stored) {
            return QStringLiteral("missing");
        }
        if (stored->type() != RegistryType::Dword) {
            return QStringLiteral("not a DWORD");
        }
        settings.*field = static_cast<int>(stored->dword());
        return {};
    }
    QString operator()(QString TRegistory::*field) const {
        if (!stored) {
            (settings.*field).clear(); // a missing text reads empty, not as its default
            return {};
        }
        if (stored->type() != RegistryType::Sz && stored->type() != RegistryType::ExpandSz) {
            return QStringLiteral("not a text value");
        }
        settings.*field =
            stored->type() == RegistryType::Sz
                ? stored->text()
                : RegistryValue::fromTypedBytes(RegistryType::Sz, stored->bytes()).text();
        return {};
    }
    QString operator()(double TRegistory::*field) const {
        if (!stored) {
            return QStringLiteral("missing");
        }
        if (stored->type() != RegistryType::Binary || stored->bytes().size() != 8) {
            return QStringLiteral("not 8 binary bytes");
        }
        double value = 0;
        std::memcpy(&value, stored->bytes().constData(), sizeof value); // little-endian host
        settings.*field = value;
        return {};
    }
    QString operator()(TLabelLayout TRegistory::*field) const {
        if (!stored) {
            return {}; // the record keeps its default
        }
        if (stored->type() != RegistryType::Binary && stored->type() != RegistryType::None) {
            return QStringLiteral("not binary");
        }
        if (!(settings.*field).overwriteStart(stored->bytes())) {
            return QStringLiteral("longer than %1 bytes").arg(TLabelLayout::Size);
        }
        return {};
    }
};

struct ValueWriter {
    const TRegistory& settings;

    RegistryValue operator()(bool TRegistory::*field) const {
        return RegistryValue::fromDword(settings.*field ? 1 : 0);
    }
    RegistryValue operator()(int TRegistory::*field) const {
        return RegistryValue::fromDword(static_cast<quint32>(settings.*field));
    }
    RegistryValue operator()(QString TRegistory::*field) const {
        return RegistryValue::fromString(settings.*field);
    }
    RegistryValue operator()(double TRegistory::*field) const {
        QByteArray bytes(8, '\0');
        const double value = settings.*field;
        std::memcpy(bytes.data(), &value, sizeof value);
        return RegistryValue::fromBinary(bytes);
    }
    RegistryValue operator()(TLabelLayout TRegistory::*field) const {
        return RegistryValue::fromBinary((settings.*field).toByteArray());
    }
};

} // namespace

static_assert(sizeof(double) == 8 && std::endian::native == std::endian::little,
              "settings store doubles as little-endian IEEE 754 bytes");

TRegistory::LoadResult TRegistory::LoadFromRegistry(const RegistryFile& registry,
                                                    QString* problem) {
    if (!registry.hasKey(KeyPath)) {
        SetDefaults();
        return LoadResult::NoKey;
    }
    for (const auto& value : values()) {
        const QString wrong =
            std::visit(ValueReader{*this, registry.value(KeyPath, value.name)}, value.field);
        if (!wrong.isEmpty()) {
            if (problem) {
                *problem = QStringLiteral("%1: %2").arg(value.name, wrong);
            }
            SetDefaults();
            return LoadResult::Rejected;
        }
    }
    return LoadResult::Loaded;
}

void TRegistory::SaveToRegistry(RegistryFile& registry) const {
    registry.createKey(KeyPath);
    for (const auto& value : values()) {
        registry.setValue(KeyPath, value.name, std::visit(ValueWriter{*this}, value.field));
    }
}
