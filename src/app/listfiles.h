// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The six list files kept in the program folder: the page editor's comment and bookmark lists
/// and the items of the four keyword boxes. They are loaded when the main window is shown and
/// written back, each completely, when it closes.

#include <QString>
#include <QStringList>
#include <array>

class ListFiles {
public:
    /// In the order in which the lists are loaded and written.
    enum class List : quint8 { Comment, Shiori, Key1, Key2, Key3, Key4 };
    static constexpr std::array<List, 6> order{List::Comment, List::Shiori, List::Key1,
                                               List::Key2,    List::Key3,   List::Key4};

    explicit ListFiles(QString programFolder);

    static QString fileName(List list);
    QString path(List list) const;

private:
    QString m_programFolder;
};
