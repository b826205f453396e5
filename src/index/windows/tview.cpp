// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/tview.h"

#include "platform/programfiles.h"
#include "platform/urlopener.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <map>

namespace {

bool isInside(const QString& path, const QString& base) {
    const QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString root = QDir::cleanPath(QFileInfo(base).absoluteFilePath());
    if (root.isEmpty()) {
        return false;
    }
    return folder == root ||
           folder.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

} // namespace

TView::TView(UrlOpener& opener, QWidget* parent) : QDialog(parent), m_opener(opener) {
    setObjectName(QStringLiteral("View"));
    setWindowTitle(QStringLiteral("カルテリスト"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(640, 420);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    const std::array<std::pair<QStyle::StandardPixmap, const char16_t*>, 4> tools{{
        {QStyle::SP_FileDialogContentsView, u"大きいアイコン"},
        {QStyle::SP_FileDialogListView, u"一覧"},
        {QStyle::SP_FileDialogInfoView, u"小さいアイコン"},
        {QStyle::SP_FileDialogDetailedView, u"詳細"},
    }};
    for (size_t n = 0; n < tools.size(); ++n) {
        auto* button = new QToolButton(bar);
        button->setIcon(style()->standardIcon(tools[n].first));
        button->setToolTip(QString::fromUtf16(tools[n].second));
        button->setAccessibleName(button->toolTip());
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setObjectName(QStringLiteral("StyleButton%1").arg(n + 1));
        connect(button, &QToolButton::clicked, this, [this, n] { setViewStyle(Style(n)); });
        bar->addWidget(button);
        m_styleButtons.at(n) = button;
    }

    m_listView = new QListView(this);
    m_listView->setObjectName(QStringLiteral("ListView"));
    m_detailsView = new QTreeView(this);
    m_detailsView->setObjectName(QStringLiteral("DetailsView"));
    m_listView->setAccessibleName(QStringLiteral("カルテ一覧"));
    m_detailsView->setAccessibleName(QStringLiteral("カルテ一覧"));
    m_detailsView->setRootIsDecorated(false);
    m_detailsView->setItemsExpandable(false);
    m_detailsView->setSortingEnabled(true);
    m_detailsView->header()->setSectionResizeMode(QHeaderView::Interactive);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_listView),
                                    static_cast<QAbstractItemView*>(m_detailsView)}) {
        view->setEditTriggers(QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::SelectedClicked);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this, &TView::openEntry);
    }
    m_views = new QStackedWidget(this);
    m_views->addWidget(m_listView);
    m_views->addWidget(m_detailsView);

    auto* status = new QStatusBar(this); // one plain panel, left empty
    status->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_views, 1);
    layout->addWidget(status);

    m_properties = new TFileProperties(this);
    attachModel();
    // Chart names are long ("00001003_000.pdf" and the like): the name column shows them whole.
    m_detailsView->setColumnWidth(
        0, m_detailsView->fontMetrics().horizontalAdvance(QStringLiteral("00000000_000_0000.pdf")) +
               40);
    setViewStyle(Style::Details);
}

TView::~TView() = default;

void TView::attachModel() {
    auto* model = new QFileSystemModel(this);
    model->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
    model->setReadOnly(false); // entries are renamed in place
    model->setRootPath(m_folder);
    m_listView->setModel(model);
    m_detailsView->setModel(model);
    model->sort(0, Qt::AscendingOrder);
    m_detailsView->sortByColumn(0, Qt::AscendingOrder);
    const QModelIndex root = model->index(m_folder);
    m_listView->setRootIndex(root);
    m_detailsView->setRootIndex(root);
    // The program's own files (the folder's lock, a chart being written) are not the
    // operator's: they are never shown. The views keep a hidden row hidden through every sort.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this, model](const QModelIndex& parent, int first, int last) {
                for (int row = first; row <= last; ++row) {
                    const QModelIndex entry = model->index(row, 0, parent);
                    if (programfiles::isProgramFileName(model->fileName(entry))) {
                        m_listView->setRowHidden(row, true);
                        m_detailsView->setRowHidden(row, parent, true);
                    }
                }
            });
    if (m_model) {
        m_model->deleteLater();
    }
    m_model = model;
}

void TView::setFolder(const QString& folder, const QString& baseFolder) {
    m_folder = QDir::cleanPath(folder);
    m_baseFolder = baseFolder;
    attachModel();
}

void TView::setViewStyle(Style style) {
    m_style = style;
    m_styleButtons.at(size_t(style))->setChecked(true);
    switch (style) {
    case Style::LargeIcons:
        m_listView->setViewMode(QListView::IconMode);
        m_listView->setIconSize(QSize(32, 32));
        m_listView->setGridSize(QSize(96, 72));
        m_listView->setWordWrap(true);
        break;
    case Style::SmallIcons:
        m_listView->setViewMode(QListView::IconMode);
        m_listView->setIconSize(QSize(16, 16));
        m_listView->setGridSize(QSize(160, 24));
        m_listView->setWordWrap(false);
        break;
    case Style::List:
        m_listView->setViewMode(QListView::ListMode);
        m_listView->setFlow(QListView::TopToBottom);
        m_listView->setWrapping(true);
        m_listView->setIconSize(QSize(16, 16));
        m_listView->setGridSize(QSize());
        break;
    case Style::Details:
        break;
    }
    if (style != Style::Details) {
        m_listView->setMovement(QListView::Static);
        m_listView->setResizeMode(QListView::Adjust);
    }
    m_views->setCurrentWidget(style == Style::Details ? static_cast<QWidget*>(m_detailsView)
                                                      : m_listView);
}

QToolButton* TView::styleButton(Style style) const {
    return m_styleButtons.at(size_t(style));
}

QAbstractItemView* TView::currentView() const {
    return m_style == Style::Details ? static_cast<QAbstractItemView*>(m_detailsView) : m_listView;
}

QModelIndex TView::indexOf(const QString& name) const {
    return m_model->index(QDir(m_folder).filePath(name));
}

bool TView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched == currentView()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) {
            goUp();
            return true;
        }
        if (key->key() == Qt::Key_F5) {
            refresh();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers().testFlag(Qt::AltModifier)) {
                showProperties();
            } else {
                openEntry(currentView()->currentIndex());
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TView::openEntry(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    const QString path = m_model->filePath(index);
    if (QFileInfo(path).isDir()) {
        m_folder = QDir::cleanPath(path);
        attachModel();
        return;
    }
    m_opener.open(QUrl::fromLocalFile(path));
}

void TView::goUp() {
    const QString parent = QFileInfo(m_folder).path();
    if (parent == m_folder || !isInside(parent, m_baseFolder)) {
        return; // the archive base folder is as far up as the list goes
    }
    m_folder = QDir::cleanPath(parent);
    attachModel();
}

void TView::refresh() {
    attachModel();
}

void TView::showProperties() {
    const QModelIndex index = currentView()->currentIndex();
    const QString path = index.isValid() ? m_model->filePath(index) : m_folder;
    m_properties->describe(path);
    m_properties->open(); // window-modal, so the list stays as it is beneath
}

// --- Properties -----------------------------------------------------------------------------

class TFileProperties::Rows {
public:
    std::map<QString, QLabel*> values;
};

namespace {

const std::array<const char16_t*, 8> propertyFields{
    u"名前", u"場所", u"種類", u"サイズ", u"作成日時", u"更新日時", u"アクセス日時", u"アクセス権",
};

QString permissionsText(const QFileInfo& info) {
    const QFileDevice::Permissions p = info.permissions();
    auto bits = [&](QFileDevice::Permission r, QFileDevice::Permission w,
                    QFileDevice::Permission x) {
        return QString(p & r ? QLatin1Char('r') : QLatin1Char('-')) +
               (p & w ? QLatin1Char('w') : QLatin1Char('-')) +
               (p & x ? QLatin1Char('x') : QLatin1Char('-'));
    };
    return bits(QFileDevice::ReadOwner, QFileDevice::WriteOwner, QFileDevice::ExeOwner) +
           bits(QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup) +
           bits(QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther) +
           QStringLiteral("  (%1 / %2)").arg(info.owner(), info.group()) +
           (info.isWritable() ? QString() : QStringLiteral("  読み取り専用"));
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? time.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")) : QString();
}

} // namespace

TFileProperties::TFileProperties(QWidget* parent)
    : QDialog(parent), m_rows(std::make_unique<Rows>()) {
    setObjectName(QStringLiteral("FileProperties"));
    setWindowTitle(QStringLiteral("プロパティ"));
    auto* form = new QFormLayout;
    for (const char16_t* field : propertyFields) {
        auto* value = new QLabel(this);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setWordWrap(true);
        form->addRow(QString::fromUtf16(field), value);
        m_rows->values[QString::fromUtf16(field)] = value;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

TFileProperties::~TFileProperties() = default;

void TFileProperties::describe(const QString& path) {
    const QFileInfo info(path);
    const QLocale locale(QLocale::Japanese);
    auto set = [this](const char16_t* field, const QString& text) {
        m_rows->values.at(QString::fromUtf16(field))->setText(text);
    };
    set(u"名前", info.fileName());
    set(u"場所", QDir::toNativeSeparators(info.absolutePath()));
    set(u"種類", info.isDir()    ? QStringLiteral("フォルダー")
                 : info.isFile() ? QStringLiteral("ファイル (%1)").arg(info.suffix())
                                 : QStringLiteral("その他"));
    set(u"サイズ", info.isFile() ? QStringLiteral("%1 (%2 バイト)")
                                       .arg(locale.formattedDataSize(info.size()),
                                            locale.toString(info.size()))
                                 : QString());
    set(u"作成日時", timeText(info.birthTime()));
    set(u"更新日時", timeText(info.lastModified()));
    set(u"アクセス日時", timeText(info.lastRead()));
    set(u"アクセス権", permissionsText(info));
}

QString TFileProperties::value(const QString& field) const {
    const auto found = m_rows->values.find(field);
    return found == m_rows->values.end() ? QString() : found->second->text();
}
