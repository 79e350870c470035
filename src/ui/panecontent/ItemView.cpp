#include "ui/panecontent/ItemView.h"

#include "core/app/Clipboard.h"
#include "core/app/Sides.h"
#include "core/model/DragState.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/TagDots.h"
#include "ui/panecontent/ViewMenus.h"
#include "ui/style/EnvironmentValues.h"

#include <algorithm>
#include <vector>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QItemSelectionModel>
#include <QTimer>

#include <functional>
#include <utility>
#include <QToolTip>

namespace {

// Tells apart a selection chosen through the view (a screen reader's table calls select()) from the
// changes the selection undergoes as the rows change (removed, moved, inserted), which emit
// selectionChanged too but must never reach the pane: they would empty its selection and make its side
// the active one.
class ChosenSelection : public QItemSelectionModel {
public:
    ChosenSelection(QAbstractItemModel *model, std::function<void()> chosen, QObject *parent)
        : QItemSelectionModel(model, parent), m_chosen(std::move(chosen)) {}
    using QItemSelectionModel::select;
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override {
        QItemSelectionModel::select(selection, command);
        // A reset clears the selection with the signals blocked: no choice either.
        if (m_chosen && !signalsBlocked()) m_chosen();
    }

private:
    std::function<void()> m_chosen;
};

} // namespace

ItemView::ItemView(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                   QWidget *parent)
    : QListView(parent), m_model(model), m_sides(&sides), m_clipboard(&clipboard), m_menus(menus),
      m_list(new FileListModel(this)) {
    setModel(m_list);
    setUniformItemSizes(true);
    // The pane model owns the selection; mouse and keys never touch the view's, which only mirrors it.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setTabKeyNavigation(false);
    setDragEnabled(false); // our own drags, started from the pane model
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    QItemSelectionModel *own = selectionModel();
    setSelectionModel(new ChosenSelection(
        m_list, [this] { viewSelectionChanged(); }, this));
    delete own;
    if (m_model) {
        connect(m_model, &PaneModel::selectionChanged, viewport(), qOverload<>(&QWidget::update));
        connect(m_model, &PaneModel::selectionChanged, this, &ItemView::mirrorSelection);
        // A small change of the pane's items is made where they are; the view that shows them follows.
        connect(m_model, &PaneModel::patchStarting, this, [this] { m_list->follow(&m_model->items()); });
        connect(m_model, &PaneModel::patchStep, this,
                [this](const FileLoader::MergeStep &step) { m_list->followStep(step); });
        connect(m_model, &PaneModel::patchDone, this, [this] {
            if (!m_list->following()) return;
            m_list->stopFollowing();
            mirrorSelection();
        });
    }
    connect(&clipboard, &Clipboard::cutPathsChanged, viewport(), qOverload<>(&QWidget::update));
}

bool ItemView::isCut(const QString &path) const {
    return m_clipboard && m_clipboard->cutPaths().contains(path);
}

void ItemView::mirrorSelection() {
    if (!m_model) return;
    QItemSelection rows;
    const int count = m_list->rowCount();
    if (showsPaneSelection()) {
        std::vector<int> chosen;
        for (const QString &path : m_model->selection())
            if (const int row = m_list->rowOf(path); row >= 0) chosen.push_back(row);
        std::sort(chosen.begin(), chosen.end());
        for (size_t i = 0; i < chosen.size(); ++i) {
            size_t end = i;
            while (end + 1 < chosen.size() && chosen[end + 1] == chosen[end] + 1)
                ++end;
            rows.select(m_list->index(chosen[i]), m_list->index(chosen[end]));
            i = end;
        }
    } else {
        for (int row = 0; row < count; ++row) {
            if (!rowSelected(row)) continue;
            int end = row;
            while (end + 1 < count && rowSelected(end + 1))
                ++end;
            rows.select(m_list->index(row), m_list->index(end));
            row = end;
        }
    }
    m_mirroring = true;
    selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    m_mirroring = false;
}

void ItemView::viewSelectionChanged() {
    // Only a change from outside (a screen reader) goes back to the pane model.
    if (m_mirroring || !m_model) return;
    QSet<QString> paths;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        if (index.row() < m_list->rowCount()) paths.insert(m_list->item(index.row()).path());
    selectedFromView(paths);
}

int ItemView::rowAt(const QPoint &pos) const {
    if (!viewport()->rect().contains(pos)) return -1;
    const QModelIndex index = indexAt(pos);
    return index.isValid() && index.row() < m_list->rowCount() ? index.row() : -1;
}

void ItemView::updateRow(int row) {
    if (row < 0 || row >= m_list->rowCount()) return;
    viewport()->update(visualRect(m_list->index(row)));
}

void ItemView::setHoverRow(int row) {
    if (row == m_hoverRow) return;
    updateRow(m_hoverRow);
    m_hoverRow = row;
    updateRow(m_hoverRow);
}

void ItemView::setTargetRow(int row) {
    if (row == m_targetRow) return;
    updateRow(m_targetRow);
    m_targetRow = row;
    updateRow(m_targetRow);
}

bool ItemView::followEnvironment() {
    EnvironmentValues *env = EnvironmentValues::of(this);
    if (!env || env == m_env) return false;
    if (m_env) disconnect(m_env, nullptr, this, nullptr);
    m_env = env;
    connect(env, &EnvironmentValues::uiChanged, this, [this] {
        scaleChanged();
        viewport()->update();
    });
    connect(env, &EnvironmentValues::appThemeChanged, this, [this] { viewport()->update(); });
    return true;
}

void ItemView::emptyClicked() {
    if (!m_model) return;
    m_model->setSelection({});
    if (m_sides) m_sides->setActive(m_model->side());
}

void ItemView::openMenu(int row, const QPoint &global) {
    std::optional<FileItem> item;
    if (row >= 0) item = m_list->item(row);
    m_menus.popup(this, m_model, item, global);
}

void ItemView::menuSelect(int row) {
    // A right click selects its item first, so that the menu acts on what was clicked.
    m_model->contextSelect(m_list->item(row));
}

void ItemView::mousePressEvent(QMouseEvent *event) {
    if (!m_model) return;
    const QPoint pos = event->position().toPoint();
    // Meta+click (the Control-click of other systems) works like a right click.
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::MetaModifier)) {
        QContextMenuEvent menu(QContextMenuEvent::Mouse, pos, event->globalPosition().toPoint(),
                               event->modifiers());
        contextMenuEvent(&menu);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const int row = rowAt(pos);
    if (row < 0) {
        emptyClicked();
        return;
    }
    m_pressRow = row;
    m_pressPos = pos;
    // A press on a selected item may start a drag of the whole selection (with Ctrl, a copy of it): the
    // click that makes the item the only one, or Ctrl's toggle that takes it out, waits for a release
    // that ends no drag. Ctrl wins over Shift, as in a click.
    const Qt::KeyboardModifiers mods = event->modifiers();
    const QString path = m_list->item(row).path();
    if (((mods & Qt::ControlModifier) || !(mods & (Qt::ShiftModifier | Qt::AltModifier))) &&
        m_model->selection().contains(path)) {
        m_pendingClick = path;
        m_pendingModifiers = mods & Qt::ControlModifier;
        if (m_sides) m_sides->setActive(m_model->side());
        return;
    }
    itemClicked(row, mods, 1);
}

void ItemView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (!m_model || event->button() != Qt::LeftButton) return;
    const int row = rowAt(event->position().toPoint());
    m_pressRow = -1;
    m_pendingClick.reset();
    if (row < 0)
        emptyClicked();
    else
        itemClicked(row, event->modifiers(), 2);
}

void ItemView::mouseMoveEvent(QMouseEvent *event) {
    const QPoint pos = event->position().toPoint();
    if ((event->buttons() & Qt::LeftButton) && m_pressRow >= 0 &&
        (pos - m_pressPos).manhattanLength() >= QApplication::startDragDistance()) {
        startDrag(Qt::CopyAction | Qt::MoveAction);
        return;
    }
    setHoverRow(rowAt(pos));
}

void ItemView::mouseReleaseEvent(QMouseEvent *event) {
    m_pressRow = -1;
    const std::optional<QString> pending = std::exchange(m_pendingClick, std::nullopt);
    if (!pending || !m_model || event->button() != Qt::LeftButton) return;
    // Looked up again: the list may have changed under the button.
    if (const int row = m_list->rowOf(*pending); row >= 0) itemClicked(row, m_pendingModifiers, 1);
}

void ItemView::leaveEvent(QEvent *event) {
    setHoverRow(-1);
    QListView::leaveEvent(event);
}

bool ItemView::viewportEvent(QEvent *event) {
    if (event->type() == QEvent::Leave) setHoverRow(-1);
    if (event->type() != QEvent::ToolTip) return QListView::viewportEvent(event);
    auto *help = static_cast<QHelpEvent *>(event);
    const int row = rowAt(help->pos());
    const QString text = row >= 0 ? toolTipAt(row, help->pos()) : QString();
    if (!text.isEmpty())
        QToolTip::showText(help->globalPos(), text, viewport());
    else
        QToolTip::hideText();
    return true;
}

QString ItemView::toolTipAt(int row, const QPoint &) const {
    // Names are drawn, never shown as markup; only the tag dots explain themselves.
    const QStringList &tags = m_list->item(row).tags();
    return tags.isEmpty() ? QString() : Qt::convertFromPlainText(TagDots::helpText(tags));
}

void ItemView::showEvent(QShowEvent *event) {
    QListView::showEvent(event);
    // After the layouts the show starts, which place the cells for the width the view now has.
    QTimer::singleShot(0, this, [this] {
        if (!m_model || !m_model->cursor() || !isVisible()) return;
        if (const int row = m_list->rowOf(*m_model->cursor()); row >= 0)
            scrollTo(m_list->index(row), QAbstractItemView::EnsureVisible);
    });
}

void ItemView::keyPressEvent(QKeyEvent *event) {
    event->ignore(); // keys belong to the application's key handler
}

void ItemView::contextMenuEvent(QContextMenuEvent *event) {
    if (!m_model) return;
    int row = event->reason() == QContextMenuEvent::Mouse ? rowAt(event->pos()) : -1;
    QPoint at = event->globalPos();
    // The menu key opens the menu of the cursor's item while it is selected, else of the first selected
    // row, and the background menu when nothing is selected.
    if (event->reason() != QContextMenuEvent::Mouse && !m_model->selection().isEmpty()) {
        const std::optional<QString> &cursor = m_model->cursor();
        if (cursor && m_model->selection().contains(*cursor)) row = m_list->rowOf(*cursor);
        if (row < 0)
            for (const QString &path : m_model->selection())
                if (const int r = m_list->rowOf(path); r >= 0 && (row < 0 || r < row)) row = r;
        if (row >= 0) {
            scrollTo(m_list->index(row));
            at = viewport()->mapToGlobal(visualRect(m_list->index(row)).center());
        }
    }
    if (row >= 0) {
        const QString path = m_list->item(row).path();
        menuSelect(row);
        row = m_list->rowOf(path); // selecting may have changed what the view lists
    }
    openMenu(row, at);
    event->accept();
}

void ItemView::startDrag(Qt::DropActions) {
    if (!m_model || m_pressRow < 0 || m_pressRow >= m_list->rowCount()) return;
    const FileItem item = m_list->item(m_pressRow);
    m_pressRow = -1;
    m_pendingClick.reset(); // the press was the start of this drag, not a click
    QMimeData *data = m_model->dragProvider(item);
    // Ends the recorded drag even when this view is gone once the drag returns.
    QMimeData token;
    token.setData(DragState::mimeType, data->data(DragState::mimeType));
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const UIScale ui = EnvironmentValues::ui(this);
    const int px = qRound(ui.icon()) * 2;
    QPixmap image = FileIcon::image(item, ui, px, devicePixelRatioF());
    if (image.isNull())
        image =
            FileIcon::glyph(EnvironmentValues::appTheme(this), item.folderTint(), px, devicePixelRatioF());
    drag->setPixmap(
        dragImage(image, int(DragState::shared().paths.size()), EnvironmentValues::appTheme(this), font()));
    QPointer<QDrag> guard(drag);
    drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    DragState::shared().endDrag(&token);
    if (guard) guard->deleteLater();
}

QPixmap ItemView::dragImage(const QPixmap &image, int count, const AppTheme &theme, const QFont &base) {
    if (count <= 1 || image.isNull()) return image;
    const qreal dpr = image.devicePixelRatio();
    const QSizeF size = image.deviceIndependentSize();
    QFont font = base;
    font.setBold(true);
    font.setPixelSize(std::max(10, int(size.height() * 0.3)));
    const QFontMetricsF fm(font);
    const QString number = QString::number(count);
    const qreal h = fm.height() + 2;
    const qreal w = std::max(h, fm.horizontalAdvance(number) + h * 0.7);
    const qreal offset = std::max(3.0, size.width() / 8);
    const QSizeF canvas(std::max(size.width() + offset, w), size.height() + offset);
    QPixmap out((canvas * dpr).toSize());
    out.setDevicePixelRatio(dpr);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    // A second item behind the first says "more than one"; the badge says how many.
    p.setOpacity(0.55);
    p.drawPixmap(QPointF(offset, offset), image);
    p.setOpacity(1.0);
    p.drawPixmap(QPointF(0, 0), image);
    const QRectF badge(canvas.width() - w, 0, w, h);
    const AppTheme fill = theme.forText();
    p.setPen(Qt::NoPen);
    p.setBrush(fill.gradient(badge));
    p.drawRoundedRect(badge, h / 2, h / 2);
    p.setPen(fill.onAccent());
    p.setFont(font);
    p.drawText(badge, Qt::AlignCenter, number);
    return out;
}

void ItemView::dragEnterEvent(QDragEnterEvent *event) {
    dragMoveEvent(event);
}

void ItemView::dragMoveEvent(QDragMoveEvent *event) {
    const int row = rowAt(event->position().toPoint());
    if (row >= 0) {
        if (m_emptyTargeted) dropTarget(-1).dragLeave();
        m_emptyTargeted = false;
        dropTarget(row).dragMove(event);
        return;
    }
    setTargetRow(-1);
    const FolderDropTarget empty = dropTarget(-1);
    if (!empty.perform) {
        event->ignore();
        return;
    }
    m_emptyTargeted = empty.dragMove(event);
}

void ItemView::dragLeaveEvent(QDragLeaveEvent *) {
    setTargetRow(-1);
    if (m_emptyTargeted) dropTarget(-1).dragLeave();
    m_emptyTargeted = false;
}

void ItemView::dropEvent(QDropEvent *event) {
    const int row = rowAt(event->position().toPoint());
    const bool empty = m_emptyTargeted;
    m_emptyTargeted = false;
    setTargetRow(-1);
    bool done = false;
    if (row >= 0) {
        if (empty) dropTarget(-1).dragLeave();
        done = dropTarget(row).drop(event);
    } else if (const FolderDropTarget target = dropTarget(-1); target.perform) {
        done = target.drop(event);
    } else {
        event->ignore();
    }
    if (done && m_model && m_sides) FolderDropTarget::activatePane(this, *m_sides, m_model->side());
}
