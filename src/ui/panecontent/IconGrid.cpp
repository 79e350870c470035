#include "ui/panecontent/IconGrid.h"

#include "core/app/Sides.h"
#include "core/model/PaneModel.h"
#include "core/model/ViewMode.h"
#include "ui/panecontent/ListView.h"
#include "ui/panecontent/SelectionBackground.h"
#include "ui/panecontent/TagDots.h"
#include "ui/panecontent/ThumbnailView.h"
#include "ui/style/EnvironmentValues.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextLayout>
#include <cmath>

IconGrid::Columns IconGrid::columns(double inner) {
    if (!std::isfinite(inner) || inner < minCell) return {1, minCell};
    const int n = std::max(1, int(std::floor((inner + spacing) / (minCell + spacing))));
    return {n, (inner - (n - 1) * spacing) / n};
}

QFont IconGrid::nameFont(const UIScale &ui, const QFont &base) {
    QFont f = base;
    f.setPixelSize(std::max(1, int(std::lround(ui.small() + 0.5))));
    return f;
}

int IconGrid::cellHeight(const UIScale &ui, const QFont &base) {
    const QFontMetrics fm(nameFont(ui, base));
    const int name = std::max(30, 2 * fm.lineSpacing());
    return int(6 + thumbFrame + 4 + name + 4 + TagDots::dot + 6);
}

QStringList IconGrid::nameLines(const QString &name, const QFont &font, int width) {
    const QFontMetrics fm(font);
    width = std::max(1, width);
    if (fm.horizontalAdvance(name) <= width) return {name};
    QTextLayout layout(name, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine first = layout.createLine();
    first.setLineWidth(width);
    int cut = std::max(1, first.textLength());
    layout.endLayout();
    // A break inside the extension moves before its dot: "README" over ".txt", never "README.tx" over "t".
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && cut > dot) cut = int(dot);
    const QString rest = name.mid(cut);
    if (rest.isEmpty()) return {name};
    return {name.left(cut).trimmed(), fm.elidedText(rest.trimmed(), Qt::ElideMiddle, width)};
}

IconGrid::IconGrid(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                   QWidget *parent)
    : ItemView(model, sides, clipboard, menus, parent) {
    setItemDelegate(new IconGridDelegate(this));
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    viewport()->setAcceptDrops(true); // a static movement turned drops off
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The padding of 10, less the spacing that every cell keeps on its right and below it.
    setViewportMargins(int(padding), int(padding), int(padding - spacing), int(padding - spacing));
    setAccessibleName(title(::ViewMode::icons));
    if (m_model) connect(m_model, &PaneModel::cursorChanged, this, &IconGrid::scrollToCursor);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &IconGrid::dropHiddenRequests);
    // A row that goes takes its picture along; a file changed in place comes back as a new row.
    connect(m_list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) {
                for (int r = first; r <= last && !m_thumbs.isEmpty(); ++r)
                    m_thumbs.remove(m_list->item(r).path());
            });
    relayout();
}

void IconGrid::relayout() {
    const UIScale ui = EnvironmentValues::ui(this);
    const int v = viewport()->width();
    m_columns = columns(v - spacing);
    // Whole points per grid cell, so that n cells never need more than the viewport's width (the view
    // wraps once a cell would reach its last point).
    const int gridW = std::max(1, (v - 1) / m_columns.count);
    const QSize grid(std::max(gridW, int(minCell + spacing)), cellHeight(ui, font()) + int(spacing));
    if (grid != gridSize()) setGridSize(grid);
    verticalScrollBar()->setSingleStep(grid.height() / 3);
}

void IconGrid::resizeEvent(QResizeEvent *event) {
    relayout();
    ItemView::resizeEvent(event);
}

void IconGrid::showEvent(QShowEvent *event) {
    ItemView::showEvent(event);
    if (followEnvironment()) relayout();
}

void IconGrid::scaleChanged() {
    relayout();
}

void IconGrid::setItems(const QList<FileItem> &items, const ItemsDiff *diff) {
    setTargetRow(-1);
    // Long lists are laid out in batches, so the first cells show at once.
    const bool batched = items.size() > 50000;
    if (batched != (layoutMode() == QListView::Batched)) {
        setLayoutMode(batched ? QListView::Batched : QListView::SinglePass);
        setBatchSize(50000);
    }
    // The list already shown, changed where it is: its rows told the pictures what went.
    const bool same =
        items.constData() == m_list->items().constData() && items.size() == m_list->items().size();
    m_list->setItems(items, diff);
    // Pictures are kept only for items that are still the same file version; a folder never has one.
    for (auto it = m_thumbs.begin(); it != m_thumbs.end() && !same;) {
        const int row = diff ? m_list->rowOf(it.key()) : -1;
        const FileItem *item = row >= 0 ? &m_list->item(row) : nullptr;
        const auto key = item && Thumbs::wanted(*item) ? Thumbs::keyFor(*item, thumbEdge) : std::nullopt;
        if (key == it->key)
            ++it;
        else
            it = m_thumbs.erase(it);
    }
    dropHiddenRequests();
    mirrorSelection();
    if (m_model && m_model->cursor() && m_list->rowOf(*m_model->cursor()) >= 0) scrollToCursor();
}

void IconGrid::scrollToCursor() {
    if (!m_model || !m_model->cursor()) return;
    const int row = m_list->rowOf(*m_model->cursor());
    if (row >= 0) scrollTo(m_list->index(row), QAbstractItemView::EnsureVisible);
}

QRect IconGrid::cellRect(int row) const {
    if (row < 0 || row >= m_list->rowCount()) return {};
    const QRect r = visualRect(m_list->index(row));
    return QRect(r.x(), r.y(), int(std::floor(m_columns.cell)), r.height() - int(spacing));
}

QImage IconGrid::shownThumb(int row) const {
    if (row < 0 || row >= m_list->rowCount()) return {};
    const auto it = m_thumbs.constFind(m_list->item(row).path());
    return it == m_thumbs.constEnd() ? QImage() : it->image;
}

QImage IconGrid::thumbFor(int row) {
    if (row < 0 || row >= m_list->rowCount()) return {};
    const FileItem &item = m_list->item(row);
    if (!Thumbs::wanted(item)) return {};
    if (const auto it = m_thumbs.constFind(item.path()); it != m_thumbs.constEnd()) return it->image;
    const auto key = Thumbs::keyFor(item, thumbEdge);
    if (!key || m_pending.contains(item.path())) return {};
    // Pictures of cells no longer painted are forgotten; the thumbnail cache still has them.
    if (m_thumbs.size() > 2000) m_thumbs.clear();
    m_pending.insert(item.path(), *key);
    const QImage hit = Thumbs::request(
        *key, this, [this](const Thumbs::Key &k, const QImage &image) { thumbArrived(k, image); });
    if (!hit.isNull()) thumbArrived(*key, hit);
    return shownThumb(row);
}

void IconGrid::thumbArrived(const Thumbs::Key &key, const QImage &image) {
    if (const auto it = m_pending.constFind(key.path); it != m_pending.constEnd() && *it == key)
        m_pending.erase(it);
    // Kept only while the cell still shows that version of that file.
    const int row = m_list->rowOf(key.path);
    if (row < 0) return;
    const FileItem &item = m_list->item(row);
    if (!Thumbs::wanted(item) || Thumbs::keyFor(item, thumbEdge) != key) return;
    m_thumbs.insert(key.path, Shown{key, image});
    updateRow(row);
}

void IconGrid::dropHiddenRequests() {
    if (m_pending.isEmpty()) return;
    const QRect shown = viewport()->rect();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const int row = m_list->rowOf(it.key());
        if (row >= 0 && visualRect(m_list->index(row)).intersects(shown)) {
            ++it;
            continue;
        }
        Thumbs::cancel(*it, this);
        it = m_pending.erase(it);
    }
}

bool IconGrid::rowSelected(int row) const {
    return m_model && !m_model->selection().isEmpty() &&
           m_model->selection().contains(m_list->item(row).path());
}

void IconGrid::selectedFromView(const QSet<QString> &paths) {
    if (m_sides) m_sides->setActive(m_model->side());
    m_model->setSelection(paths);
}

void IconGrid::itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) {
    const QList<FileItem> ordered = m_list->items(); // the model may publish a new list meanwhile
    m_model->click(ordered[row], ordered, modifiers, count);
}

FolderDropTarget IconGrid::dropTarget(int row) {
    if (row < 0 || !m_model) return paneDrop ? paneDrop() : FolderDropTarget{};
    FolderDropTarget t;
    const FileItem &item = m_list->item(row);
    const bool folder = item.isDirectory;
    t.destination = folder ? item.path() : m_model->currentPath();
    QPointer<IconGrid> self(this);
    t.targeted = [self, row, folder](bool on) {
        if (self) self->setTargetRow(on && folder ? row : -1);
    };
    QPointer<PaneModel> model = m_model;
    const QString path = item.path();
    // A file cell drops into the pane's folder as it is at the moment of the drop.
    t.perform = [model, path, folder](const QMimeData *data, bool copyHeld) {
        return model ? model->handleDrop(data, folder ? path : model->currentPath(), copyHeld) : false;
    };
    return t;
}

// ---- IconGridDelegate ----

IconGridDelegate::IconGridDelegate(IconGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

QSize IconGridDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const {
    return m_grid->gridSize();
}

void IconGridDelegate::paint(QPainter *p, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const {
    const int row = index.row();
    if (row < 0 || row >= m_grid->listModel()->rowCount()) return;
    const FileItem &item = m_grid->listModel()->item(row);
    const PaneModel *model = m_grid->paneModel();
    const UIScale ui = EnvironmentValues::ui(m_grid);
    const AppTheme theme = EnvironmentValues::appTheme(m_grid);
    const QPalette &pal = m_grid->palette();
    const QRect cell(option.rect.x(), option.rect.y(), int(std::floor(m_grid->currentColumns().cell)),
                     option.rect.height() - int(IconGrid::spacing));

    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    if (m_grid->isCut(item.path())) p->setOpacity(0.45);
    const bool selected = model && model->selection().contains(item.path());
    SelectionBackground::paint(p, cell, theme, pal, selected, m_grid->hoverRow() == row, true,
                               m_grid->targetRow() == row && item.isDirectory);
    const double top = cell.top() + 6;
    const QRectF frame(cell.left() + 4, top, cell.width() - 8, IconGrid::thumbFrame);
    const QRectF thumb(frame.center().x() - IconGrid::thumbEdge / 2,
                       frame.center().y() - IconGrid::thumbEdge / 2, IconGrid::thumbEdge,
                       IconGrid::thumbEdge);
    ThumbnailPicture::paint(p, thumb, item, m_grid->thumbFor(row), theme, ui);

    const QFont font = IconGrid::nameFont(ui, m_grid->font());
    const QFontMetrics fm(font);
    const int nameW = cell.width() - 8;
    const QStringList lines = IconGrid::nameLines(item.name, font, nameW);
    p->setFont(font);
    const QColor primary = pal.color(QPalette::Text);
    p->setPen(selected ? AppTheme::readableOn(primary, FileRowDelegate::selectedBackgrounds(pal, theme))
                       : primary);
    int y = int(top + IconGrid::thumbFrame + 4);
    for (const QString &line : lines) {
        // Plain text: a name is never markup and its '&' never a mnemonic.
        p->drawText(QRect(cell.left() + 4, y, nameW, fm.lineSpacing()), Qt::AlignHCenter | Qt::TextSingleLine,
                    line);
        y += fm.lineSpacing();
    }
    if (!item.tags().isEmpty()) {
        const QSizeF dots = TagDots::size(item.tags());
        const double nameH = std::max(30, 2 * fm.lineSpacing());
        TagDots::paint(p,
                       QPointF(cell.center().x() - dots.width() / 2,
                               top + IconGrid::thumbFrame + 4 + nameH + 4 + TagDots::dot / 2),
                       item.tags(), pal);
    }
    p->restore();
}
