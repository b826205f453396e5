// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/timageshow.h"

#include "analysis/pagefile.h"
#include "editor/editorgeometry.h"
#include "editor/editoricons.h"
#include "editor/pageview.h"
#include "editor/stampfontdialog.h"
#include "platform/cp932qt.h"
#include "platform/fileattributes.h"
#include "platform/userprompts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

const QString writeProtected = QStringLiteral("書き込み禁止です。");
const QString dicomRefused = QStringLiteral("DicomFileへの変更書き込みはできません。");
const QString notLoadedRefused =
    QStringLiteral("読み込めなかったページは保存できません。ページは元のままです。");
const QString saveFailed = QStringLiteral("＊＊＊　ファイル保存に失敗しました。");
const QString saveQuestion = QStringLiteral("変更を保存しますか？");

/// The comment box's own font: the face the system names, at 12 pixels, in the window text
/// colour; Japanese faces that are installed stand in when that face is missing.
TextFont commentBoxFont(const QWidget& box) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return TextFont{font, box.palette().color(QPalette::WindowText)};
}

/// Why a page file could not be opened, as the operator can act on it.
QString openFailureReason(const QString& path) {
    const QFileInfo file(path);
    if (!file.exists() && !file.isSymLink()) {
        return QStringLiteral("ファイルがありません");
    }
    if (file.isDir()) {
        return QStringLiteral("フォルダーです");
    }
    if (!file.isFile()) {
        return QStringLiteral("通常のファイルではありません");
    }
    if (!file.isReadable()) {
        return QStringLiteral("読み取りが許可されていません");
    }
    return QStringLiteral("読み取りできません");
}

void setItems(QComboBox& box, const QStringList& items) {
    QStringList current;
    for (int i = 0; i < box.count(); ++i) {
        current << box.itemText(i);
    }
    if (current == items) {
        return;
    }
    const QString text = box.currentText(); // the text being edited is not one of the items
    box.clear();
    box.addItems(items);
    box.setEditText(text);
}

QStringList itemsOf(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) {
        items << box.itemText(i);
    }
    return items;
}

QComboBox* editableBox(const QString& name, const QString& hint, int width) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert); // the lists grow only through "登録"
    box->setToolTip(hint);
    box->setAccessibleName(hint);
    box->setMinimumWidth(width);
    return box;
}

} // namespace

TImageShow::TImageShow(UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts) {
    setObjectName(QStringLiteral("TImageShow"));
    setWindowTitle(QStringLiteral("ページ編集"));
    resize(710, 652);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_menuBar = new QMenuBar(this);
    layout->setMenuBar(m_menuBar);
    // The control bar: the tool bars in two rows along the top.
    auto* controlBar = new QWidget;
    controlBar->setObjectName(QStringLiteral("ControlBar1"));
    auto* rows = new QVBoxLayout(controlBar);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    for (QHBoxLayout*& row : m_toolBarRows) {
        row = new QHBoxLayout;
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(2);
        rows->addLayout(row);
    }
    layout->addWidget(controlBar);
    buildCentre();
    buildToolBars();
    for (QHBoxLayout* row : m_toolBarRows) {
        row->addStretch(1);
    }
    buildMenus();
    m_statusBar = new QStatusBar;
    layout->addWidget(m_statusBar);
    m_zoomPanel = new QLabel;
    m_zoomPanel->setObjectName(QStringLiteral("StatusPanel1"));
    m_zoomPanel->setFixedWidth(50);
    m_messagePanel = new QLabel;
    m_messagePanel->setObjectName(QStringLiteral("StatusPanel2"));
    m_messagePanel->setMinimumWidth(50);
    m_statusBar->addWidget(m_zoomPanel);
    m_statusBar->addWidget(m_messagePanel, 1);
    m_statusBar->setSizeGripEnabled(false);
    m_zoomPanel->setText(editorgeometry::zoomText(m_zoomIndex));
}

TImageShow::~TImageShow() = default;

void TImageShow::buildCentre() {
    m_view = new PageView(m_engine);
    m_scrollBox = new QScrollArea;
    m_scrollBox->setObjectName(QStringLiteral("ScrollBox1"));
    m_scrollBox->setWidget(m_view);
    m_scrollBox->setWidgetResizable(false);
    m_scrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* bottom = new QWidget;
    bottom->setObjectName(QStringLiteral("NotePanel"));
    bottom->setMinimumHeight(20);
    m_noteMemo = new QPlainTextEdit(bottom);
    m_noteMemo->setObjectName(QStringLiteral("NoteMemo"));
    m_noteMemo->setAccessibleName(QStringLiteral("ページのメモ"));
    m_noteMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_noteMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_noteMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    bottomLayout->addWidget(m_noteMemo);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_scrollBox);
    splitter->addWidget(bottom);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({400, 103});
    static_cast<QVBoxLayout*>(layout())->addWidget(splitter, 1);

    connect(m_view, &PageView::pressed, this, &TImageShow::onPressed);
    connect(m_view, &PageView::moved, this, &TImageShow::onMoved);
    connect(m_view, &PageView::released, this, &TImageShow::onReleased);
}

QAction* TImageShow::addAction(QToolBar* bar, const QString& name, const QString& hint,
                               const QIcon& icon) {
    auto* action = bar->addAction(icon, hint);
    action->setObjectName(name);
    action->setToolTip(hint);
    bar->widgetForAction(action)->setObjectName(name + QStringLiteral("Button"));
    return action;
}

void TImageShow::buildToolBars() {
    using editoricons::Icon;
    using editoricons::icon;
    int placed = 0;
    const auto bar = [this, &placed](const QString& name, const QString& title) {
        auto* toolBar = new QToolBar(title);
        toolBar->setObjectName(name);
        toolBar->setIconSize(QSize(24, 24));
        toolBar->setMovable(false);
        m_toolBarRows[placed++ < 4 ? 0 : 1]->addWidget(toolBar);
        return toolBar;
    };

    QToolBar* shioriBar = bar(QStringLiteral("ShioriBar"), QStringLiteral("しおり"));
    m_shioriBox = editableBox(QStringLiteral("ShioriBox"), QStringLiteral("しおり"), 150);
    m_shioriBox->setMaxVisibleItems(20);
    shioriBar->addWidget(m_shioriBox);

    QToolBar* zoomBar = bar(QStringLiteral("ZoomBar"), QStringLiteral("ズーム表示"));
    connect(
        addAction(zoomBar, QStringLiteral("ZoomInBtn"), QStringLiteral("拡大"), icon(Icon::ZoomIn)),
        &QAction::triggered, this, [this] { zoomBy(1); });
    connect(addAction(zoomBar, QStringLiteral("ZoomOutBtn"), QStringLiteral("縮小"),
                      icon(Icon::ZoomOut)),
            &QAction::triggered, this, [this] { zoomBy(-1); });

    QToolBar* toolBar = bar(QStringLiteral("ToolBar"), QStringLiteral("道具"));
    const struct {
        const char* name;
        const char* hint;
        EditorTool tool;
    } tools[] = {
        {"PenBtn", "ペン", EditorTool::Pen},       {"EraseBtn", "消しゴム", EditorTool::Eraser},
        {"LineBtn", "直線", EditorTool::Line},     {"CurcleBtn", "円", EditorTool::Circle},
        {"SquareBtn", "四角", EditorTool::Square},
    };
    for (const auto& tool : tools) {
        const EditorTool which = tool.tool;
        connect(addAction(toolBar, QString::fromLatin1(tool.name), QString::fromUtf8(tool.hint),
                          editoricons::toolIcon(which)),
                &QAction::triggered, this, [this, which] { setTool(which); });
    }
    toolBar->addSeparator();
    m_dispToolBtn = addAction(toolBar, QStringLiteral("DispToolBtn"), QStringLiteral("現在の道具"),
                              editoricons::toolIcon(EditorTool::Pen));
    toolBar->addSeparator();
    m_undoBtn =
        addAction(toolBar, QStringLiteral("UndoBtn"), QStringLiteral("戻す"), icon(Icon::Undo));
    m_undoBtn->setEnabled(false);
    // Also while the tool bar is hidden; a text box with the focus keeps the key for its own
    // typing.
    m_undoBtn->setShortcut(QKeySequence::Undo);
    QWidget::addAction(m_undoBtn);
    connect(m_undoBtn, &QAction::triggered, this, &TImageShow::undo);

    QToolBar* lineBar = bar(QStringLiteral("LineBar"), QStringLiteral("線"));
    m_dotSizeBox = new QComboBox;
    m_dotSizeBox->setObjectName(QStringLiteral("DotSizeBox"));
    m_dotSizeBox->setToolTip(QStringLiteral("線幅"));
    m_dotSizeBox->addItems({QStringLiteral("極細"), QStringLiteral("細線"), QStringLiteral("標準"),
                            QStringLiteral("太線"), QStringLiteral("極太")});
    m_dotSizeBox->setCurrentIndex(2);
    lineBar->addWidget(m_dotSizeBox);
    connect(m_dotSizeBox, &QComboBox::activated, this,
            [this](int index) { m_engine.setLineWidth(index + 1); });

    QToolBar* saveBar = bar(QStringLiteral("SaveBar"), QStringLiteral("イメージ保存"));
    connect(addAction(saveBar, QStringLiteral("ToolButton3"), QStringLiteral("イメージ保存"),
                      icon(Icon::Save)),
            &QAction::triggered, this, &TImageShow::savePage);

    QToolBar* textBar = bar(QStringLiteral("TextBar"), QStringLiteral("文字"));
    connect(
        addAction(textBar, QStringLiteral("StrSetBtn"), QStringLiteral("文字"), icon(Icon::Text)),
        &QAction::triggered, this, &TImageShow::chooseTextTool);
    connect(addAction(textBar, QStringLiteral("StrPropertyBtn"), QStringLiteral("文字のプロパティ"),
                      icon(Icon::TextProperties)),
            &QAction::triggered, this, &TImageShow::chooseFont);
    m_strBox = editableBox(QStringLiteral("StrBox"), QStringLiteral("コメント"), 150);
    textBar->addWidget(m_strBox);

    QToolBar* colourBar = bar(QStringLiteral("ColorBar"), QStringLiteral("色"));
    connect(
        addAction(colourBar, QStringLiteral("ColorBtn"), QStringLiteral("色"), icon(Icon::Colour)),
        &QAction::triggered, this, &TImageShow::chooseColour);
    connect(addAction(colourBar, QStringLiteral("SpoitBtn"), QStringLiteral("スポイト"),
                      editoricons::toolIcon(EditorTool::Eyedropper)),
            &QAction::triggered, this, [this] { setTool(EditorTool::Eyedropper); });
    colourBar->addSeparator();
    m_colorPanel = new QLabel;
    m_colorPanel->setObjectName(QStringLiteral("ColorPanel"));
    m_colorPanel->setToolTip(QStringLiteral("現在の色"));
    m_colorPanel->setFixedSize(24, 24);
    m_colorPanel->setFrameShape(QFrame::Box);
    colourBar->addWidget(m_colorPanel);
    showColour();

    QToolBar* rotateBar = bar(QStringLiteral("RotateBar"), QStringLiteral("回転"));
    connect(addAction(rotateBar, QStringLiteral("RotLeftBtn"), QStringLiteral("左へ９０°回転"),
                      icon(Icon::RotateLeft)),
            &QAction::triggered, this, [this] { rotate(Rotation::Left); });
    connect(addAction(rotateBar, QStringLiteral("RotRieghtBtn"), QStringLiteral("右へ９０°回転"),
                      icon(Icon::RotateRight)),
            &QAction::triggered, this, [this] { rotate(Rotation::Right); });
    connect(addAction(rotateBar, QStringLiteral("UpDownBtn"), QStringLiteral("１８０°回転"),
                      icon(Icon::Rotate180)),
            &QAction::triggered, this, [this] { rotate(Rotation::Half); });
    m_straightenBtn = addAction(rotateBar, QStringLiteral("StraightenBtn"),
                                QStringLiteral("傾き補正"), icon(Icon::Straighten));
    connect(m_straightenBtn, &QAction::triggered, this, &TImageShow::straighten);
    m_straightening = new QFutureWatcher<skew::Straightening>(this);
    connect(m_straightening, &QFutureWatcherBase::finished, this, &TImageShow::takeStraightened);
}

void TImageShow::buildMenus() {
    QMenuBar* bar = m_menuBar;
    QMenu* file = bar->addMenu(QStringLiteral("ファイル"));
    file->setObjectName(QStringLiteral("FileMenu"));
    QAction* save = file->addAction(QStringLiteral("保存"), this, &TImageShow::savePage);
    save->setObjectName(QStringLiteral("SaveMenu"));
    save->setShortcut(QKeySequence::Save);
    QWidget::addAction(save); // the key works wherever the focus is in the window
    file->addSeparator();
    QAction* close = file->addAction(QStringLiteral("閉じる"), this, &QDialog::reject);
    close->setObjectName(QStringLiteral("CloseMenu"));

    m_editMenu = bar->addMenu(QStringLiteral("編集"));
    m_editMenu->setObjectName(QStringLiteral("EditMenu"));
    const auto entry = [this](const QString& name, const QString& text,
                              const std::function<void()>& command) {
        QAction* action = m_editMenu->addAction(text, this, command);
        action->setObjectName(name);
        return action;
    };
    entry(QStringLiteral("ShioriRegist"), QStringLiteral("しおり 登録"),
          [this] { m_shioriBox->addItem(m_shioriBox->currentText()); });
    m_shioriPaste = entry(QStringLiteral("ShioriPaste"), QStringLiteral("しおり 貼り付け"),
                          [this] { m_shioriBox->setEditText(QApplication::clipboard()->text()); });
    m_editMenu->addSeparator();
    entry(QStringLiteral("CommentRegist"), QStringLiteral("コメント 登録"),
          [this] { m_strBox->addItem(m_strBox->currentText()); });
    m_commentPaste = entry(QStringLiteral("CommentPaste"), QStringLiteral("コメント 貼り付け"),
                           [this] { m_strBox->setEditText(QApplication::clipboard()->text()); });
    m_editMenu->addSeparator();
    entry(QStringLiteral("NoteClear"), QStringLiteral("注釈 クリア"),
          [this] { m_noteMemo->clear(); });
    entry(QStringLiteral("NoteCopy"), QStringLiteral("注釈 コピー"),
          [this] { m_noteMemo->copy(); });
    entry(QStringLiteral("NoteCut"), QStringLiteral("注釈 切り取り"),
          [this] { m_noteMemo->cut(); });
    entry(QStringLiteral("NotePaste"), QStringLiteral("注釈 貼り付け"),
          [this] { m_noteMemo->paste(); });
    connect(m_editMenu, &QMenu::aboutToShow, this, &TImageShow::updateEditMenu);

    QMenu* view = bar->addMenu(QStringLiteral("表示"));
    view->setObjectName(QStringLiteral("ViewMenu"));
    const struct {
        const char* name;
        const char* text;
        const char* bar;
    } views[] = {
        {"ViewShiori", "しおり", "ShioriBar"}, {"ViewZoom", "ズーム表示", "ZoomBar"},
        {"ViewTool", "道具", "ToolBar"},       {"ViewLine", "線", "LineBar"},
        {"ViewColor", "色", "ColorBar"},       {"ViewText", "文字", "TextBar"},
        {"ViewRotate", "回転", "RotateBar"},
    };
    for (const auto& entryOf : views) {
        QToolBar* toolBar = findChild<QToolBar*>(QString::fromLatin1(entryOf.bar));
        QAction* action = view->addAction(QString::fromUtf8(entryOf.text));
        action->setObjectName(QString::fromLatin1(entryOf.name));
        action->setCheckable(true);
        action->setChecked(true);
        connect(action, &QAction::toggled, toolBar, &QToolBar::setVisible);
    }
}

void TImageShow::updateEditMenu() {
    // Only text may come in through the paste entries.
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const bool text = data && data->hasText();
    m_shioriPaste->setEnabled(text);
    m_commentPaste->setEnabled(text);
}

void TImageShow::setZoomIndex(int index) {
    m_zoomIndex = editorgeometry::clampZoomIndex(index);
}

void TImageShow::setShiori(const QString& shiori) {
    m_shioriBox->setEditText(shiori);
    m_resultShiori = cp932::qTruncate(shiori, ShioriBytes);
}

void TImageShow::setNote(const std::optional<QStringList>& note) {
    m_noteMemo->clear();
    if (note && !note->isEmpty()) {
        m_noteMemo->setPlainText(note->join(u'\n'));
    }
}

std::optional<QStringList> TImageShow::note() const {
    QString text = m_noteMemo->toPlainText();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    // Lines as a text box holds them: a final line break starts no further line.
    if (text.endsWith(u'\n')) {
        text.chop(1);
    }
    return text.split(u'\n');
}

void TImageShow::setCommentItems(const QStringList& items) {
    setItems(*m_strBox, items);
}

void TImageShow::setShioriItems(const QStringList& items) {
    setItems(*m_shioriBox, items);
}

QStringList TImageShow::commentItems() const {
    return itemsOf(*m_strBox);
}

QStringList TImageShow::shioriItems() const {
    return itemsOf(*m_shioriBox);
}

QString TImageShow::statusText(int panel) const {
    return panel == 1 ? m_zoomPanel->text() : m_messagePanel->text();
}

void TImageShow::setMessage(const QString& text) {
    m_messagePanel->setText(text);
}

int TImageShow::Execute() {
    try {
        preparePage();
    } catch (const ImageOpenError& error) {
        m_prompts.showError(parentWidget() ? parentWidget() : this,
                            QStringLiteral("ページのファイルを開くことができません（%1）。\n%2")
                                .arg(openFailureReason(error.path()), error.path()));
        return QDialog::Rejected;
    }
    if (QWidget* owner = parentWidget()) {
        move(owner->geometry().center() - QPoint(width() / 2, height() / 2));
    }
    const int result = m_prompts.exec(*this);
    m_resultShiori = cp932::qTruncate(m_shioriBox->currentText(), ShioriBytes);
    m_shioriBox->setEditText(m_resultShiori);
    return result;
}

void TImageShow::straighten() {
    if (!m_engine.hasBitmap() || isStraightening()) {
        return;
    }
    setMessage(QStringLiteral("傾きを測っています…"));
    m_straightenBtn->setEnabled(false);
    m_view->setEnabled(false); // nothing is drawn on a page that is about to be replaced
    const QImage page = m_engine.bitmap();
    m_straighteningFrom = page.cacheKey();
    m_straightening->setFuture(QtConcurrent::run([page] { return skew::straighten(page); }));
}

void TImageShow::takeStraightened() {
    m_straightenBtn->setEnabled(true);
    m_view->setEnabled(true);
    if (m_straightening->future().isCanceled() || m_straightening->future().resultCount() == 0) {
        return;
    }
    const skew::Straightening result = m_straightening->result();
    if (m_engine.bitmap().cacheKey() != m_straighteningFrom) {
        return; // another page, or the page changed meanwhile
    }
    setMessage(skew::describe(result.outcome, result.degrees));
    if (result.outcome != skew::Outcome::Straightened) {
        return;
    }
    m_engine.replacePage(result.image);
    m_undoBtn->setEnabled(true);
    redisplay();
}

bool TImageShow::isStraightening() const {
    return m_straightening->isRunning();
}

void TImageShow::waitForStraightening() {
    if (!m_straightening->isRunning() && m_straightenBtn->isEnabled()) {
        return;
    }
    m_straightening->waitForFinished();
    // The finished signal is queued; taking it here applies the result at once.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!m_straightenBtn->isEnabled()) {
        takeStraightened();
    }
}

void TImageShow::done(int result) {
    // A straightening under way ends before the window does; its result is for a page that is
    // no longer shown and is dropped.
    m_straightening->waitForFinished();
    m_straighteningFrom = 0;
    // However the window closes, the bookmark it hands back is cut to its limit.
    m_resultShiori = cp932::qTruncate(m_shioriBox->currentText(), ShioriBytes);
    QDialog::done(result);
}

bool TImageShow::preparePage() {
    m_straightening->waitForFinished();
    m_straighteningFrom = 0;
    m_straightenBtn->setEnabled(true);
    m_view->setEnabled(true);
    m_saved = false;
    setMessage(QString());
    m_view->textPreview()->hide();
    m_io.LoadImageFile(m_pagePath); // a file that cannot be opened throws
    m_pageLoaded = !m_io.IoFailed();
    if (!m_pageLoaded) {
        // Nothing of this page, and nothing of an earlier one, may be shown, drawn on or saved.
        m_io.bitmap() = QImage();
        m_engine.clear();
        m_view->redisplay(editorgeometry::zoomFactor(m_zoomIndex));
        m_undoBtn->setEnabled(false);
        return false;
    }
    m_engine.setBitmap(m_io.bitmap());
    m_io.bitmap() = QImage(); // the engine holds the page now

    m_engine.setTextFont(commentBoxFont(*m_strBox));
    redisplay();
    m_engine.setLineWidth(3);
    m_dotSizeBox->setCurrentIndex(2);
    setTool(EditorTool::Pen);
    m_view->textPreview()->hide();
    m_engine.setColour(Qt::black);
    showColour();
    m_undoBtn->setEnabled(false);
    m_zoomPanel->setText(editorgeometry::zoomText(m_zoomIndex));
    m_savedRevision = m_engine.revision();
    return true;
}

QFont TImageShow::scaledPreviewFont() const {
    QFont font = m_engine.textFont().font;
    const int height = font.pixelSize() > 0 ? font.pixelSize() : 12;
    font.setPixelSize(
        std::max(1, editorgeometry::scaledHeight(height, editorgeometry::zoomFactor(m_zoomIndex))));
    return font;
}

void TImageShow::redisplay() {
    m_view->redisplay(editorgeometry::zoomFactor(m_zoomIndex));
    m_view->textPreview()->setFont(scaledPreviewFont());
    m_view->textPreview()->adjustSize();
}

void TImageShow::zoomBy(int step) {
    setZoomIndex(m_zoomIndex + step);
    redisplay();
    m_zoomPanel->setText(editorgeometry::zoomText(m_zoomIndex));
}

void TImageShow::setTool(EditorTool tool) {
    m_engine.setTool(tool);
    m_dispToolBtn->setIcon(editoricons::toolIcon(tool));
    m_view->setCursor(editoricons::toolCursor(tool));
}

void TImageShow::chooseTextTool() {
    setTool(EditorTool::Text);
    QLabel* preview = m_view->textPreview();
    preview->setText(m_strBox->currentText());
    preview->setFont(scaledPreviewFont());
    QPalette palette = preview->palette();
    palette.setColor(QPalette::WindowText, m_engine.textFont().colour);
    preview->setPalette(palette);
    preview->adjustSize();
    preview->hide();
}

void TImageShow::chooseColour() {
    QColorDialog dialog(m_engine.colour(), this);
    dialog.setObjectName(QStringLiteral("ColorDialog1"));
    if (m_prompts.exec(dialog) == QDialog::Accepted) {
        m_engine.setColour(dialog.currentColor());
        showColour();
    }
}

void TImageShow::chooseFont() {
    StampFontDialog dialog(m_engine.textFont(), m_prompts, this);
    if (m_prompts.exec(dialog) == QDialog::Accepted) {
        m_engine.setTextFont(dialog.chosenFont());
    }
}

void TImageShow::showColour() {
    // A picture of the colour: tool bar styles paint over a label's own background.
    QPixmap swatch(m_colorPanel->size());
    swatch.fill(m_engine.colour());
    m_colorPanel->setPixmap(swatch);
}

void TImageShow::undo() {
    if (m_engine.undo()) {
        redisplay();
    }
    m_undoBtn->setEnabled(false);
}

void TImageShow::rotate(Rotation rotation) {
    if (!m_engine.hasBitmap()) {
        return;
    }
    m_engine.rotate(rotation);
    m_undoBtn->setEnabled(true);
    redisplay();
}

QPoint TImageShow::toImage(QPoint pos) const {
    return editorgeometry::imagePoint(pos, m_view->zoom(), m_engine.tool() == EditorTool::Line);
}

void TImageShow::onPressed(QPoint pos, Qt::MouseButton) {
    if (!m_engine.hasBitmap()) {
        return;
    }
    m_view->updateImageRect(m_engine.press(toImage(pos)));
    m_undoBtn->setEnabled(m_engine.canUndo());
    if (m_engine.tool() == EditorTool::Text) {
        m_view->textPreview()->move(pos);
        m_view->textPreview()->show();
    }
}

void TImageShow::onMoved(QPoint pos) {
    if (!m_engine.isDrawing()) {
        return;
    }
    m_view->updateImageRect(m_engine.move(toImage(pos)));
    if (m_engine.tool() == EditorTool::Text) {
        m_view->textPreview()->move(pos);
    }
}

void TImageShow::onReleased(QPoint pos, Qt::MouseButton) {
    if (!m_engine.isDrawing()) {
        return;
    }
    m_engine.setStampText(m_strBox->currentText()); // the text as it stands at the release
    m_view->updateImageRect(m_engine.release(toImage(pos)));
    if (m_engine.tool() == EditorTool::Eyedropper) {
        showColour();
    }
    if (m_engine.tool() == EditorTool::Text) {
        m_view->textPreview()->hide();
    }
}

void TImageShow::savePage() {
    setMessage(QString());
    const QFileInfo page(m_pagePath);
    if (!page.exists() || fileattributes::isReadOnly(page)) {
        setMessage(writeProtected);
        return;
    }
    if (page.suffix().toLower() == QStringLiteral("dcm")) {
        setMessage(dicomRefused);
        return;
    }
    if (!m_pageLoaded || !m_engine.hasBitmap()) {
        setMessage(notLoadedRefused);
        return;
    }
    if (const auto failure = writePage()) {
        setMessage(saveFailed + QStringLiteral("（%1）").arg(*failure));
        return;
    }
    m_saved = true;
    m_savedRevision = m_engine.revision();
}

bool TImageShow::hasUnsavedChanges() const {
    return m_pageLoaded && m_engine.hasBitmap() && m_engine.revision() != m_savedRevision;
}

void TImageShow::reject() {
    if (hasUnsavedChanges() && !settleUnsavedChanges()) {
        return;
    }
    QDialog::reject();
}

bool TImageShow::settleUnsavedChanges() {
    QMessageBox box(QMessageBox::Question, windowTitle(), saveQuestion,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("SaveChangesQuestion"));
    box.button(QMessageBox::Save)->setText(QStringLiteral("保存"));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("破棄"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    m_prompts.exec(box);
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Save:
        savePage();
        return !hasUnsavedChanges(); // a refused or failed save says why and stays open
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

std::optional<QString> TImageShow::writePage() {
    const QFileInfo page(m_pagePath);
    // A file of our own beside the page, with the page's extension so it is written in the
    // page's format; only a complete one is renamed over the page.
    QTemporaryFile temporary(page.dir().filePath(
        QStringLiteral(".%1.XXXXXX.%2").arg(page.completeBaseName(), page.suffix())));
    if (!temporary.open()) {
        return temporary.errorString();
    }
    temporary.close();
    const QString written = temporary.fileName();
    m_io.bitmap() = m_engine.pageColours().inPageFormat(m_engine.bitmap());
    try {
        m_io.SaveImageFile(written);
    } catch (const ImageOpenError& error) {
        m_io.bitmap() = QImage();
        return error.reason();
    }
    m_io.bitmap() = QImage();
    if (m_io.IoFailed()) {
        return m_io.lastError();
    }
    QFile::setPermissions(written, page.permissions());
    const QByteArray from = QFile::encodeName(written);
    const QByteArray to = QFile::encodeName(page.absoluteFilePath());
    // rename() replaces the page in one step: a reader sees the old page or the new one.
    if (std::rename(from.constData(), to.constData()) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    temporary.setAutoRemove(false); // its name is the page's now
    return std::nullopt;
}
