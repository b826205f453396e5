// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart list: the files and folders of one patient folder of the archive, in four styles
/// (large icons, list, small icons, details; the last chosen style stays for the run). A folder
/// opens on a double click or Enter, a file opens with its default application; Backspace goes
/// up, never above the archive base folder; F5 reads the folder again; Alt+Enter shows the
/// selected entry's properties; F2 or a click on the selected entry renames it in place.

#include <QDialog>
#include <array>
#include <memory>

class QAbstractItemView;
class QFileSystemModel;
class QListView;
class QModelIndex;
class QStackedWidget;
class QToolButton;
class QTreeView;
class TFileProperties;
class UrlOpener;

class TView : public QDialog {
    Q_OBJECT
public:
    explicit TView(UrlOpener& opener, QWidget* parent = nullptr);
    ~TView() override;

    enum class Style : quint8 { LargeIcons, List, SmallIcons, Details };

    /// Shows \p folder; Backspace never leaves \p baseFolder.
    void setFolder(const QString& folder, const QString& baseFolder);
    QString folder() const { return m_folder; }
    Style viewStyle() const { return m_style; }
    void setViewStyle(Style style);

    /// The tool button that picks \p style, left to right.
    QToolButton* styleButton(Style style) const;
    /// The view of the current style.
    QAbstractItemView* currentView() const;
    QFileSystemModel* model() const { return m_model; }
    /// The model index of \p name in the shown folder (invalid while it is not loaded yet).
    QModelIndex indexOf(const QString& name) const;
    TFileProperties* properties() const { return m_properties; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openEntry(const QModelIndex& index);
    void goUp();
    void refresh();
    void showProperties();
    void attachModel();

    UrlOpener& m_opener;
    QString m_folder;
    QString m_baseFolder;
    Style m_style = Style::Details;
    QFileSystemModel* m_model = nullptr;
    QStackedWidget* m_views = nullptr;
    QListView* m_listView = nullptr;
    QTreeView* m_detailsView = nullptr;
    std::array<QToolButton*, 4> m_styleButtons{};
    TFileProperties* m_properties = nullptr;
};

/// The properties of one file or folder: path, kind, size, dates and permissions.
class TFileProperties : public QDialog {
    Q_OBJECT
public:
    explicit TFileProperties(QWidget* parent = nullptr);
    ~TFileProperties() override;
    /// Fills the window for \p path.
    void describe(const QString& path);
    /// The value shown for \p field ("場所", "サイズ", ...), for tests and screen readers.
    QString value(const QString& field) const;

private:
    class Rows;
    std::unique_ptr<Rows> m_rows;
};
