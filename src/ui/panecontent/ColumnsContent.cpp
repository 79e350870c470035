#include "ui/panecontent/ColumnsContent.h"

#include "core/app/Clipboard.h"
#include "core/app/ItemCommands.h"
#include "core/app/RenameCommands.h"
#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/ViewMode.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/ListView.h"
#include "ui/panecontent/PreviewColumn.h"
#include "ui/panecontent/SelectionBackground.h"
#include "ui/panecontent/TagDots.h"
#include "ui/panecontent/ViewMenus.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"
#include "ui/window/pane/PaneMessages.h"
#include "ui/window/pane/SortMenus.h"

#include <QEasingCurve>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QtConcurrent>
#include <cerrno>

size_t qHash(const ColumnLoadKey &key, size_t seed) {
    return qHashMulti(seed, key.dir, key.token, int(key.sort), key.reversed);
}

namespace {

ColumnList::Lister &listerSlot() {
    static ColumnList::Lister lister;
    return lister;
}

ColumnsContent::Timings &timingsSlot() {
    static ColumnsContent::Timings t;
    return t;
}

// The line after a folder column, in the text colour of the moment (light or dark).
class ColumnSeparator : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        QColor c = palette().color(QPalette::Text);
        c.setAlphaF(0.1f);
        p.fillRect(rect(), c);
    }
};

constexpr int kInset = 5;    // around a column's rows
constexpr int kRowInset = 7; // inside a row, left and right
constexpr int kGap = 7;      // between the parts of a row

} // namespace

// ---- ColumnList ----

void ColumnList::setLister(Lister lister) {
    listerSlot() = std::move(lister);
}

ColumnList::ColumnList(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                       const QString &dir, QWidget *parent)
    : ItemView(model, sides, clipboard, menus, parent), m_dir(dir) {
    setItemDelegate(new ColumnRowDelegate(this));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(kInset, kInset, kInset, kInset);
    setAccessibleName(dir.section(u'/', -1).isEmpty() ? dir : dir.section(u'/', -1));
    if (m_model) {
        m_chain = m_model->chain();
        connect(m_model, &PaneModel::crumbsChanged, this, [this] { m_chain = m_model->chain(); });
        connect(m_model, &PaneModel::cursorChanged, this, &ColumnList::scrollToCursor);
        connect(m_model, &PaneModel::crumbsChanged, viewport(), qOverload<>(&QWidget::update));
        connect(m_model, &PaneModel::crumbsChanged, this, &ColumnList::mirrorSelection);
    }
}

void ColumnList::setIndex(int index) {
    if (index == m_index) return;
    m_index = index;
    viewport()->update();
    mirrorSelection();
}

void ColumnList::setKey(const ColumnLoadKey &key) {
    if (key == m_key && (m_loading || m_generation > 0)) return;
    m_key = key;
    load();
}

QString ColumnList::failureFor(const FileLoader::Error &error) {
    if (error.code == EACCES || error.code == EPERM) return L("Kein Zugriff auf diesen Ordner.");
    return FileLoader::describe(error);
}

void ColumnList::load() {
    // The rows on screen stay until the new outcome arrives.
    const quint64 generation = ++m_generation;
    m_loading = true;
    const Lister lister = listerSlot() ? listerSlot() : Lister(&FileLoader::list);
    const ColumnLoadKey key = m_key;
    auto *watcher = new QFutureWatcher<FileLoader::Listing>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        FileLoader::Listing listing = watcher->result();
        watcher->deleteLater();
        apply(generation, std::move(listing));
    });
    watcher->setFuture(QtConcurrent::run([lister, key] {
        FileLoader::Listing listing = lister(key.dir);
        if (!listing.error)
            listing.items = FileLoader::sorted(std::move(listing.items), key.sort, key.reversed);
        return listing;
    }));
}

void ColumnList::apply(quint64 generation, FileLoader::Listing listing) {
    // Only the newest load counts: one for another folder, sort or refresh, or an older one that took
    // longer, is dropped.
    if (generation != m_generation) return;
    m_loading = false;
    if (listing.error) {
        m_failure = failureFor(*listing.error);
        m_list->setItems({});
        showFailure(true);
        return;
    }
    showFailure(false);
    m_list->setItems(listing.items);
    mirrorSelection();
    scrollToCursor();
}

void ColumnList::setPaneItems(const QList<FileItem> &items, const ItemsDiff *diff, const ColumnLoadKey &key) {
    // The same list again (the pane published something else): nothing to do.
    const QList<FileItem> &shown = m_list->items();
    if (!m_failed && key == m_key && items.constData() == shown.constData() && items.size() == shown.size())
        return;
    // Loads still running are of no use any more.
    ++m_generation;
    m_key = key;
    m_loading = false;
    showFailure(false);
    m_list->setItems(items, diff);
    mirrorSelection();
}

void ColumnList::showFailure(bool failed) {
    m_failed = failed;
    if (failed && !m_message) m_message = new AccessMessage({}, {}, viewport());
    if (!m_message) return;
    if (failed) {
        m_message->setMessage(QStringLiteral("lock.fill"), m_failure);
        m_message->setGeometry(0, 0, viewport()->width(), 220);
    }
    m_message->setVisible(failed);
}

void ColumnList::resizeEvent(QResizeEvent *event) {
    ItemView::resizeEvent(event);
    if (m_message) m_message->setGeometry(0, 0, viewport()->width(), 220);
}

void ColumnList::scrollToCursor() {
    // Only the column of the current folder follows the cursor.
    if (!m_model || !m_model->cursor() || m_dir != m_model->currentPath()) return;
    const int row = m_list->rowOf(*m_model->cursor());
    if (row >= 0) scrollTo(m_list->index(row), QAbstractItemView::EnsureVisible);
}

ColumnList::Highlight ColumnList::highlight(int row) const {
    if (!m_model || row < 0 || row >= m_list->rowCount()) return {};
    const QString &path = m_list->item(row).path();
    const int last = int(m_chain.size()) - 1;
    if (m_index == last) return {m_model->selection().contains(path), true};
    if (m_index < last) return {path == m_chain[m_index + 1], false};
    return {};
}

void ColumnList::selectedFromView(const QSet<QString> &paths) {
    if (m_dir == m_model->currentPath()) {
        if (m_sides) m_sides->setActive(m_model->side());
        m_model->setSelection(paths);
        return;
    }
    // In another column, choosing a row goes there, as a click does.
    const int row = paths.isEmpty() ? -1 : m_list->rowOf(*paths.begin());
    if (row >= 0) itemClicked(row, {}, 1);
}

void ColumnList::itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) {
    const QList<FileItem> ordered = m_list->items();
    m_model->columnClick(m_dir, ordered[row], ordered, modifiers, count);
}

FolderDropTarget ColumnList::dropTarget(int row) {
    FolderDropTarget t;
    if (!m_model) return t;
    // A folder row takes the drop itself; a file row and the empty area put it in the column's folder.
    t.destination = row >= 0 && m_list->item(row).isDirectory ? m_list->item(row).path() : m_dir;
    QPointer<PaneModel> model = m_model;
    const QString destination = t.destination;
    t.perform = [model, destination](const QMimeData *data, bool copyHeld) {
        return model ? model->handleDrop(data, destination, copyHeld) : false;
    };
    return t;
}

void ColumnList::menuSelect(int row) {
    // A right click selects as a click does: outside the current folder's column it goes to the item's
    // folder, so the columns after it close and a file's preview shows.
    if (m_dir != m_model->currentPath()) {
        itemClicked(row, {}, 1);
        return;
    }
    ItemView::menuSelect(row);
}

void ColumnList::openMenu(int row, const QPoint &global) {
    if (row >= 0) {
        ItemView::openMenu(row, global);
        return;
    }
    QMenu *menu = ColumnBackgroundMenu::build(this, m_model, m_menus, m_dir);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(global);
}

// ---- ColumnRowDelegate ----

ColumnRowDelegate::ColumnRowDelegate(ColumnList *column) : QStyledItemDelegate(column), m_column(column) {}

QSize ColumnRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const {
    return QSize(std::max(1, m_column->viewport()->width()), int(EnvironmentValues::ui(m_column).row()));
}

void ColumnRowDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const {
    const int row = index.row();
    if (row < 0 || row >= m_column->listModel()->rowCount()) return;
    const FileItem &item = m_column->listModel()->item(row);
    const UIScale ui = EnvironmentValues::ui(m_column);
    const AppTheme theme = EnvironmentValues::appTheme(m_column);
    const QPalette &pal = m_column->palette();
    const QRect r(0, option.rect.top(), m_column->viewport()->width(), option.rect.height());
    const ColumnList::Highlight h = m_column->highlight(row);

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    if (m_column->isCut(item.path())) p->setOpacity(0.45);
    SelectionBackground::paint(p, r, theme, pal, h.on, m_column->hoverRow() == row, h.strong, false);
    const QRect content = r.adjusted(kRowInset, 0, -kRowInset, 0);
    const int iconPx = int(std::lround(ui.icon()));
    const int cy = content.center().y();
    FileIcon::paint(p, QRectF(content.left(), cy - iconPx / 2.0, iconPx, iconPx), item, theme, ui);
    int x = content.left() + iconPx + kGap;

    const int chevron = item.isDirectory ? 9 : 0;
    const QSizeF dots = TagDots::size(item.tags());
    const int tagsW = int(std::ceil(dots.width()));
    const int right = content.right() - (chevron ? chevron + kGap : 0) - 2;
    QFont font = m_column->font();
    font.setPixelSize(int(std::lround(ui.font)));
    const QFontMetrics fm(font);
    const int avail = std::max(0, right - x - (tagsW ? tagsW + kGap : 0));
    const QString name = fm.elidedText(item.name, Qt::ElideMiddle, avail);
    const QColor primary = pal.color(QPalette::Text);
    p->setFont(font);
    p->setPen(h.on && h.strong
                  ? AppTheme::readableOn(primary, FileRowDelegate::selectedBackgrounds(pal, theme))
                  : primary);
    // Plain text: a name is never markup and its '&' never a mnemonic.
    p->drawText(QRect(x, content.top(), avail, content.height()), Qt::AlignVCenter | Qt::TextSingleLine,
                name);
    x += std::min(avail, fm.horizontalAdvance(name) + 1);
    if (tagsW) TagDots::paint(p, QPointF(x + kGap, cy), item.tags(), pal);
    if (chevron) {
        QColor tertiary = primary;
        tertiary.setAlphaF(0.35f);
        QPen pen(tertiary, 1.6);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p->setPen(pen);
        const double cx = content.right() - chevron / 2.0;
        QPainterPath path;
        path.moveTo(cx - 2, cy - 4);
        path.lineTo(cx + 2, cy);
        path.lineTo(cx - 2, cy + 4);
        p->drawPath(path);
    }
    p->restore();
}

// ---- ColumnBackgroundMenu ----

QMenu *ColumnBackgroundMenu::build(QWidget *parent, PaneModel *model, const ViewMenus &menus,
                                   const QString &dir) {
    auto *menu = new QMenu(parent);
    QPointer<PaneModel> pane = model;
    using Parts = ViewMenus::Parts;
    // Every entry that acts on the folder first makes the column's pane the active one.
    const auto onFolder = [menu, pane, menus](const char *key, const char *symbol, auto act) {
        QAction *a = menu->addAction(Symbols::icon(QString::fromLatin1(symbol)), L(key));
        a->setObjectName(QString::fromUtf8(key));
        QObject::connect(a, &QAction::triggered, menu, [pane, menus, act] {
            if (!pane) return;
            menus.parts().sides.setActive(pane->side());
            act(menus.parts());
        });
    };
    onFolder(K("Einsetzen"), "doc.on.clipboard", [dir](const Parts &a) { a.clipboard.paste(dir); });
    menu->addSeparator();
    onFolder(K("Neuer Ordner"), "folder.badge.plus", [dir](const Parts &a) { a.renames.newFolder(dir); });
    onFolder(K("Neue Datei"), "doc.badge.plus", [dir](const Parts &a) { a.renames.newFile(dir); });
    menu->addSeparator();
    QMenu *sort = menu->addMenu(Symbols::icon(QStringLiteral("arrow.up.arrow.down")), L("Sortieren nach"));
    sort->menuAction()->setObjectName(QStringLiteral("Sortieren nach"));
    SortMenuItems::fill(sort, model);
    QAction *refresh = menu->addAction(Symbols::icon(QStringLiteral("arrow.clockwise")), L("Aktualisieren"));
    refresh->setObjectName(QStringLiteral("Aktualisieren"));
    QObject::connect(refresh, &QAction::triggered, menu, [pane] {
        if (pane) pane->refresh();
    });
    onFolder(K("Speicheranalyse …"), "chart.pie",
             [dir](const Parts &a) { a.items.openStorageAnalysis(dir); });
    return menu;
}

// ---- ColumnsContent ----

void ColumnsContent::setTimings(const Timings &timings) {
    timingsSlot() = timings;
}

ColumnsContent::Geometry ColumnsContent::geometryFor(int width) {
    width = std::max(0, width);
    const int n = std::max(2, width / 200);
    return {n, width / n};
}

int ColumnsContent::previewWidth(const Geometry &g) {
    const int column = g.columnWidth();
    if (g.count > 2) return column;
    return std::clamp(2 * g.width / 3, std::min(120, column), column);
}

ColumnsContent::ColumnsContent(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                               QWidget *parent)
    : QScrollArea(parent), m_model(model), m_sides(sides), m_clipboard(clipboard), m_menus(menus),
      m_row(new QWidget(this)), m_scrollTimer(new QTimer(this)),
      m_scrollAnimation(new QPropertyAnimation(this)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAccessibleName(title(::ViewMode::columns));
    setWidget(m_row);
    viewport()->setBackgroundRole(QPalette::Base);
    m_scrollTimer->setSingleShot(true);
    connect(m_scrollTimer, &QTimer::timeout, this, &ColumnsContent::scrollStep);
    m_scrollAnimation->setTargetObject(horizontalScrollBar());
    m_scrollAnimation->setPropertyName("value");
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);
    if (m_model) {
        for (auto signal :
             {&PaneModel::currentPathChanged, &PaneModel::crumbsChanged, &PaneModel::selectionChanged,
              &PaneModel::refreshTokenChanged, &PaneModel::sortChanged, &PaneModel::sortReversedChanged})
            connect(m_model, signal, this, &ColumnsContent::rebuild);
        connect(m_model, &PaneModel::currentPathChanged, this, [this] { m_paneListed.clear(); });
        connect(m_model, &PaneModel::listed, this, [this] {
            m_paneListed = m_model->currentPath();
            rebuild();
        });
        connect(m_model, &PaneModel::itemsChanged, this, [this] {
            if (ColumnList *c = m_columns.value(m_model->currentPath());
                c && m_paneListed == m_model->currentPath())
                c->setPaneItems(m_model->items(), m_model->itemsDiff(), paneKey());
        });
        if (!m_model->items().isEmpty() || !m_model->isWatching()) m_paneListed = m_model->currentPath();
    }
    rebuild();
}

QList<ColumnList *> ColumnsContent::columns() const {
    QList<ColumnList *> out;
    for (const QString &dir : m_dirs)
        out << m_columns.value(dir);
    return out;
}

ColumnLoadKey ColumnsContent::paneKey() const {
    return {m_model->currentPath(), m_model->refreshToken(), m_model->sort(), m_model->sortReversed()};
}

void ColumnsContent::showEvent(QShowEvent *event) {
    QScrollArea::showEvent(event);
    rebuild();
}

void ColumnsContent::rebuild() {
    // Hidden (another view mode), the columns neither follow the pane nor list anything.
    if (!m_model || !isVisible()) return;
    const QStringList dirs = m_model->columnDirs();
    const std::optional<QString> preview = m_model->previewPath();
    const bool moved = dirs != m_dirs || preview != m_previewPath;
    // Columns whose folder stays keep their rows; the others go.
    for (auto it = m_columns.begin(); it != m_columns.end();) {
        if (dirs.contains(it.key())) {
            ++it;
            continue;
        }
        (*it)->hide();
        (*it)->deleteLater();
        it = m_columns.erase(it);
    }
    const QString current = m_model->currentPath();
    for (int i = 0; i < dirs.size(); ++i) {
        ColumnList *c = m_columns.value(dirs[i]);
        if (!c) {
            c = new ColumnList(m_model, m_sides, m_clipboard, m_menus, dirs[i], m_row);
            m_columns.insert(dirs[i], c);
            c->show();
        }
        c->setIndex(i);
        // The pane lists its current folder already: its column shows those items, sorted as the pane
        // sorts, instead of listing the folder a second time.
        if (dirs[i] == current) {
            if (m_paneListed == current && !m_model->errorText())
                c->setPaneItems(m_model->items(), nullptr, paneKey());
        } else {
            c->setKey({dirs[i], m_model->refreshToken(), m_model->sort(), m_model->sortReversed()});
        }
    }
    m_dirs = dirs;
    while (m_separators.size() < dirs.size()) {
        auto *line = new ColumnSeparator(m_row);
        line->show();
        m_separators << line;
    }
    while (m_separators.size() > dirs.size())
        delete m_separators.takeLast();
    m_previewPath = preview;
    if (preview) {
        if (!m_preview) {
            m_preview = new PreviewColumn(m_model, m_row);
            m_preview->show();
        }
        // Built afresh from the path: the facts are the file's as it is now.
        m_preview->setItem(FileLoader::item(*preview));
    } else if (m_preview) {
        m_preview->hide();
        m_preview->deleteLater();
        m_preview = nullptr;
    }
    layoutColumns();
    if (moved) scrollToEnd();
}

void ColumnsContent::layoutColumns() {
    const int height = viewport()->height();
    // A narrower preview leaves its room to the folder columns: the last one and the preview fill the view.
    const bool narrow = m_preview && m_geometry.count == 2;
    const int pw = narrow ? previewWidth(m_geometry) : m_geometry.columnWidth();
    const int w = narrow ? 2 * m_geometry.width - pw : m_geometry.width;
    const int cw = std::max(0, w - 1);
    int x = 0;
    for (int i = 0; i < m_dirs.size(); ++i) {
        if (ColumnList *c = m_columns.value(m_dirs[i])) c->setGeometry(x, 0, cw, height);
        m_separators[i]->setGeometry(x + cw, 0, w > 0 ? 1 : 0, height);
        x += w;
    }
    if (m_preview) {
        m_preview->setGeometry(x, 0, pw, height);
        x += pw;
    }
    m_row->resize(x + 1, height); // the last point is the end marker
}

void ColumnsContent::resizeEvent(QResizeEvent *event) {
    QScrollArea::resizeEvent(event);
    const Geometry g = geometryFor(viewport()->width());
    const bool changed = g != m_geometry || event->size().width() != event->oldSize().width();
    m_geometry = g;
    layoutColumns();
    if (changed) scrollToEnd();
}

bool ColumnsContent::scrollPending() const {
    return m_scrollTimer->isActive();
}

void ColumnsContent::scrollToEnd() {
    // One sequence at a time: a new start restarts it.
    m_scrollAnimation->stop();
    m_scrollStage = 1;
    m_scrollTimer->start(timingsSlot().delayMs);
}

void ColumnsContent::scrollStep() {
    QScrollBar *bar = horizontalScrollBar();
    ++m_scrollSteps;
    if (m_scrollStage == 1) {
        m_scrollAnimation->stop();
        m_scrollAnimation->setDuration(timingsSlot().animationMs);
        m_scrollAnimation->setStartValue(bar->value());
        m_scrollAnimation->setEndValue(bar->maximum());
        m_scrollAnimation->start();
        m_scrollStage = 2;
        m_scrollTimer->start(timingsSlot().settleMs);
        return;
    }
    // The row may have grown meanwhile: the end, without animation.
    m_scrollAnimation->stop();
    bar->setValue(bar->maximum());
    m_scrollStage = 0;
}
