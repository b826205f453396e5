#pragma once

/// \file
/// The warnings of the save pipeline and the scanner folder clearing.

#include "platform/warningdialog.h"

class QLabel;

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

/// Asks before the creation log is emptied. Accepted is "Ok".
class TLogWarningForm : public WarningDialog {
    Q_OBJECT
public:
    explicit TLogWarningForm(QWidget* parent = nullptr);
};
