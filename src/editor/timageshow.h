// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page editor window: one page large, with tools to draw, stamp text, pick colours, rotate
/// and undo, the page's bookmark and note, and the command that writes the page back.

#include "analysis/skew.h"
#include "editor/drawingengine.h"
#include "imaging/timageio.h"

#include <QFutureWatcher>

#include <QDialog>
#include <QImage>
#include <QStringList>
#include <array>
#include <optional>

class PageView;
class QAction;
class QComboBox;
class QLabel;
class QHBoxLayout;
class QMenuBar;
class QStatusBar;
class QMenu;
class QPlainTextEdit;
class QScrollArea;
class QToolBar;
class UserPrompts;

/// The modal editor of one page. The page list hands it a page through the setters, shows it
/// with Execute() and reads the results back afterwards. Created once and reused: the zoom
/// index and the comment text stay between showings, everything else starts afresh.
class TImageShow : public QDialog {
    Q_OBJECT
public:
    /// Longest bookmark the editor hands back, in code page 932 bytes.
    static constexpr int ShioriBytes = 16;

    explicit TImageShow(UserPrompts& prompts, QWidget* parent = nullptr);
    ~TImageShow() override;

    // What the caller sets before a showing, in this order.
    void setPagePath(const QString& path) { m_pagePath = path; }
    const QString& pagePath() const { return m_pagePath; }
    /// Held to 0..10.
    void setZoomIndex(int index);
    int zoomIndex() const { return m_zoomIndex; }
    /// The bookmark box's text.
    void setShiori(const QString& shiori);
    /// The note box's lines; none (or an empty list) leaves the box empty.
    void setNote(const std::optional<QStringList>& note);
    /// The comment list and the bookmark list, as the drop-downs offer them.
    void setCommentItems(const QStringList& items);
    void setShioriItems(const QStringList& items);

    /// Prepares the page (the showing steps), shows the window modally through the prompts and
    /// runs the closing step. A page file that cannot be opened is reported through the
    /// prompts' error report, in Japanese, and the window is not shown.
    int Execute();
    /// The showing steps alone: loads the page and resets tools, colour, width and undo. False
    /// when the page did not decode; the window then shows no page and refuses to save.
    bool preparePage();

    // What the caller reads after the showing.
    /// The bookmark as the window was closed with: the box's text cut to 16 bytes.
    QString shiori() const { return m_resultShiori; }
    /// The note box's lines; an empty box gives none.
    std::optional<QStringList> note() const;
    QStringList commentItems() const;
    QStringList shioriItems() const;
    /// True once the page file was written during this showing.
    bool saved() const { return m_saved; }
    /// True when the page differs from its file: drawn on, stamped or turned since it was read
    /// or last saved (an undo back to that page counts as no change).
    bool hasUnsavedChanges() const;

    /// Save through the window's command ("保存").
    void savePage();
    /// True while "傾き補正" measures and turns the page on its worker.
    bool isStraightening() const;
    /// Blocks until a straightening under way has been applied (tests, closing).
    void waitForStraightening();
    const DrawingEngine& engine() const { return m_engine; }
    PageView* pageView() const { return m_view; }
    /// The texts of status panels 1 (zoom factor) and 2 (messages).
    QString statusText(int panel) const;

protected:
    void done(int result) override;
    /// Escape, the close box and "閉じる": with unsaved changes, asks first whether to save them,
    /// drop them or stay.
    void reject() override;

private:
    void buildMenus();
    void buildToolBars();
    void buildCentre();
    QAction* addAction(QToolBar* bar, const QString& name, const QString& hint, const QIcon& icon);
    void setTool(EditorTool tool);
    void chooseTextTool();
    void redisplay();
    void zoomBy(int step);
    void rotate(Rotation rotation);
    void straighten();
    void takeStraightened();
    void undo();
    void chooseColour();
    void chooseFont();
    void showColour();
    void updateEditMenu();
    void setMessage(const QString& text);
    /// The question before unsaved changes would be lost; true when the window may close.
    bool settleUnsavedChanges();
    QFont scaledPreviewFont() const;
    void onPressed(QPoint pos, Qt::MouseButton button);
    void onMoved(QPoint pos);
    void onReleased(QPoint pos, Qt::MouseButton button);
    QPoint toImage(QPoint pos) const;
    /// Writes the bitmap beside the page and renames it over the page; the reason on failure.
    std::optional<QString> writePage();

    UserPrompts& m_prompts;
    TImageIO m_io;
    DrawingEngine m_engine;
    QString m_pagePath;
    int m_zoomIndex = 5;
    bool m_pageLoaded = false;
    bool m_saved = false;
    QString m_resultShiori;
    quint64 m_savedRevision = 0; ///< the engine's revision that the page file holds

    QMenuBar* m_menuBar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    std::array<QHBoxLayout*, 2> m_toolBarRows{};
    PageView* m_view = nullptr;
    QScrollArea* m_scrollBox = nullptr;
    QPlainTextEdit* m_noteMemo = nullptr;
    QComboBox* m_shioriBox = nullptr;
    QComboBox* m_strBox = nullptr;
    QComboBox* m_dotSizeBox = nullptr;
    QLabel* m_colorPanel = nullptr;
    QLabel* m_zoomPanel = nullptr;
    QLabel* m_messagePanel = nullptr;
    QAction* m_dispToolBtn = nullptr;
    QAction* m_undoBtn = nullptr;
    QAction* m_straightenBtn = nullptr;
    // "傾き補正" runs on a worker: measuring and turning a page takes longer than the window may
    // wait. The page it started from tells a result for another page (or a drawn-on one) apart.
    QFutureWatcher<skew::Straightening>* m_straightening = nullptr;
    qint64 m_straighteningFrom = 0;
    QAction* m_shioriPaste = nullptr;
    QAction* m_commentPaste = nullptr;
    QMenu* m_editMenu = nullptr;
};
