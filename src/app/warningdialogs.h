// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The warnings of the save pipeline and the scanner folder clearing.

#include "platform/warningdialog.h"

class QLabel;
class QListWidget;

/// A file or folder could not be created (or an old chart not deleted).
class TNotMakeFolder : public WarningDialog {
    Q_OBJECT
public:
    explicit TNotMakeFolder(QWidget* parent = nullptr);
    void prepare(const QString& pathOrName);
    QString subject() const;

private:
    QLabel* m_subject;
};

/// The chart file exists and overwriting is forbidden.
class TNotOverwrite : public WarningDialog {
    Q_OBJECT
public:
    explicit TNotOverwrite(QWidget* parent = nullptr);
    void prepare(const QString& fileName);
    QString subject() const;

private:
    QLabel* m_subject;
};

/// A file of the scanner folder could not be deleted. Accepted is "次の削除へ" (go on with the
/// next file); rejected is "削除終了" (stop clearing).
class TNotDelete : public WarningDialog {
    Q_OBJECT
public:
    explicit TNotDelete(QWidget* parent = nullptr);
    void prepare(const QString& fileName);
    QString subject() const;

private:
    QLabel* m_subject;
};

/// A headline over a list of file names: the pages a save could not write into its chart
/// ("PagesLeftOut"), or the files intake cannot reach by their names ("UnreachableFiles").
class TFileListWarning : public WarningDialog {
    Q_OBJECT
public:
    TFileListWarning(QWidget* parent, const QString& objectName, const QString& headline);
    /// \p names: the file names, in the order they are to be read; \p note, when not empty, a
    /// line under them (where the files went).
    void prepare(const QStringList& names, const QString& note = {});
    QStringList names() const;
    QString note() const;

private:
    QListWidget* m_names;
    QLabel* m_note;
};

/// The scanner folder was not emptied after a save; the line says why.
class TClearingRefused : public WarningDialog {
    Q_OBJECT
public:
    explicit TClearingRefused(QWidget* parent = nullptr);
    void prepare(const QString& why);
    QString subject() const;

private:
    QLabel* m_subject;
};

/// Asks before the creation log is emptied. Accepted is "Ok".
class TLogWarningForm : public WarningDialog {
    Q_OBJECT
public:
    explicit TLogWarningForm(QWidget* parent = nullptr);
};
