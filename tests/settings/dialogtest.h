// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Helpers for driving the settings dialogs from a FakePrompts answer, where the dialog is not
/// running its own loop: show it so clicks land on laid-out controls, find controls by name,
/// and compare whole settings objects.

#include "settings/foldertree.h"
#include "settings/tregistory.h"
#include "support/typetext.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QtTest>
#include <variant>

namespace dialogtest {

/// Shows \p dialog as its exec() would, so that it is laid out and takes clicks.
inline void show(QDialog& dialog) {
    dialog.show();
    QCoreApplication::processEvents();
}

/// The control named \p name; aborts the test run when there is none, since every later step
/// would only fail less clearly.
template <class T> T* child(QWidget& parent, const char* name) {
    T* widget = parent.findChild<T*>(QString::fromLatin1(name));
    if (!widget) {
        qFatal("no control %s", name);
    }
    return widget;
}

inline void click(QWidget& parent, const char* buttonName) {
    QTest::mouseClick(child<QAbstractButton>(parent, buttonName), Qt::LeftButton);
}

/// Clicks a check box on its indicator, the part a person aims at.
inline void clickIndicator(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

/// Names of the values in which \p a and \p b differ.
inline QStringList differences(const TRegistory& a, const TRegistory& b) {
    QStringList names;
    for (const auto& value : TRegistory::values()) {
        std::visit(
            [&](auto member) {
                if (!(a.*member == b.*member)) {
                    names << value.name;
                }
            },
            value.field);
    }
    return names;
}

/// A folder \p name inside \p folders, created when missing.
inline QString makeFolder(const QTemporaryDir& folders, const QString& name) {
    QDir(folders.path()).mkpath(name);
    return QDir::toNativeSeparators(folders.filePath(name));
}

/// The operator selecting \p path in a folder tree.
inline void chooseInTree(FolderTree* tree, const QString& path) {
    auto* model = qobject_cast<QFileSystemModel*>(tree->model());
    tree->setCurrentIndex(model->index(path));
}

} // namespace dialogtest
