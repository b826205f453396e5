// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The settings object: every persistent option of the program, under the name of its value in
/// the per-user registry. Windows read and change the fields in memory; the object is loaded
/// once at start and written back once at exit.

#include "settings/tlabellayout.h"

#include <QList>
#include <QString>
#include <variant>

class RegistryFile;

class TRegistory {
public:
    /// Registry key that holds the 52 values.
    static const QString KeyPath;

    /// Construction applies SetDefaults.
    TRegistory();

    /// Every field to its default; strings whose default is empty are emptied.
    void SetDefaults();

    /// How LoadFromRegistry ended.
    enum class LoadResult : quint8 {
        Loaded,   ///< every value was read
        NoKey,    ///< the key does not exist: defaults
        Rejected, ///< a value was missing or of the wrong type: defaults
    };

    /// Reads the values in order with the reading rule of each type. The first value that
    /// breaks its rule stops the reading and puts every setting back to its default;
    /// \p problem (when given) then names the value and what was wrong with it.
    LoadResult LoadFromRegistry(const RegistryFile& registry, QString* problem = nullptr);

    /// Writes all 52 values in order into the key, creating it when needed.
    void SaveToRegistry(RegistryFile& registry) const;

    /// Largest page side in points (PdfPageWidth, PdfPageHeight) that a PDF reader accepts.
    static constexpr int MaxPdfPageSide = 14400;

    /// Folder that the defaults use where the settings name a drive root.
    static QString defaultFolder();

    // The values, in their persistent order.
    bool FolderClear;
    QString L1Front, L1Back, L2Front, L2Back, L3Front, L3Back, L4Front, L4Back;
    QString HPCode;
    bool WriteInhibit;
    bool WriteDate;
    bool JpegType, TiffType, BitmapType, PngType;
    bool DicomType, DicomText; // kept only
    QString ScannerDir;
    QString Target;
    QString FileOpenDir;
    int PdfPageWidth;
    int PdfPageHeight;
    bool Stretch;
    bool FirstPage;
    int Sequence;
    int ImSize;
    double PrintDensity; // kept only
    double PanelDensity; // kept only
    int PageWidth;       // kept only
    int PageHeight;      // kept only
    int Quality;
    TLabelLayout lblIdno, lblName, lblSex, lblBirth, lblAddress;           // kept only
    TLabelLayout labelIdno, labelName, labelSex, labelBirth, labelAddress; // kept only
    QString CsvFolder;                                                     // kept only
    QString LogOutFolder;
    QString KeyLabel1, KeyLabel2, KeyLabel3, KeyLabel4;
    QString VolNo;
    int ShowImage;
    bool ThumbStrech;
    bool DBRegist;

    /// One value of the persistent list: its name and the field that holds it.
    struct Value {
        QString name;
        std::variant<bool TRegistory::*, int TRegistory::*, QString TRegistory::*,
                     double TRegistory::*, TLabelLayout TRegistory::*>
            field;
    };
    /// The 52 values in the order in which they are read and written.
    static const QList<Value>& values();
};
