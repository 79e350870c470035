#include "ui/panecontent/ListView.h"

#include "ui/panecontent/ContextMenus.h"

#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/localisation/FileFmt.h"
#include "core/model/PaneModel.h"
#include "core/model/ViewMode.h"
#include "ui/panecontent/FileIcon.h"
#include "ui/panecontent/SelectionBackground.h"
#include "ui/panecontent/TagDots.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtMath>

namespace {

QFont pixelFont(const QFont &base, double px, QFont::Weight weight = QFont::Normal) {
    QFont f = base;
    f.setPixelSize(qMax(1, qRound(px)));
    f.setWeight(weight);
    return f;
}

} // namespace

// ---- FileListView ----

FileListView::FileListView(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                           QWidget *parent)
    : ItemView(model, sides, clipboard, menus, parent) {
    setItemDelegate(new FileRowDelegate(this));
    setLayoutMode(QListView::SinglePass);
    setResizeMode(QListView::Adjust);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setViewportMargins(0, 4, 0, 4);
    setAccessibleName(title(::ViewMode::list));
    if (m_model) connect(m_model, &PaneModel::cursorChanged, this, &FileListView::scrollToCursor);
}

void FileListView::setItems(const QList<FileItem> &items, bool showParent, const ItemsDiff *diff) {
    const bool parentChanged = showParent != m_showParent;
    m_showParent = showParent;
    forgetRows();
    const int row = qRound(EnvironmentValues::ui(this).row());
    verticalScrollBar()->setSingleStep(row);
    // Laying out a long list at once blocks the window for tens of milliseconds; in batches the first
    // rows show at once and the rest follow between events.
    const bool batched = items.size() > kBatch;
    if (batched != (layoutMode() == QListView::Batched)) {
        setLayoutMode(batched ? QListView::Batched : QListView::SinglePass);
        setBatchSize(kBatch);
    }
    m_list->setItems(items, parentChanged ? nullptr : diff);
    if (parentChanged) viewport()->update();
    mirrorSelection();
    if (m_pendingCursor && m_model && m_model->cursor() == m_pendingCursor &&
        m_list->rowOf(*m_pendingCursor) >= 0)
        scrollToCursor();
}

bool FileListView::rowSelected(int row) const {
    return m_model && !m_model->selection().isEmpty() &&
           m_model->selection().contains(m_list->item(row).path());
}

void FileListView::selectedFromView(const QSet<QString> &paths) {
    if (m_sides) m_sides->setActive(m_model->side());
    m_model->setSelection(paths);
}

int FileListView::rowAt(const QPoint &pos) const {
    if (!m_model || m_list->rowCount() == 0 || pos.y() < 0 || pos.y() >= viewport()->height()) return -1;
    const QModelIndex first = m_list->index(0);
    const QRect r = visualRect(first);
    if (r.height() <= 0) return -1;
    const int y = pos.y() - r.top();
    if (y < 0) return -1;
    const int row = y / r.height();
    return row < m_list->rowCount() ? row : -1;
}

void FileListView::scrollToCursor() {
    m_pendingCursor.reset();
    if (!m_model || !m_model->cursor()) return;
    const int row = m_list->rowOf(*m_model->cursor());
    if (row >= 0)
        scrollTo(m_list->index(row), QAbstractItemView::EnsureVisible);
    else
        m_pendingCursor = m_model->cursor(); // a new or renamed item the list does not show yet
}

void FileListView::updateRow(int row) {
    if (row < 0 || row >= m_list->rowCount()) return;
    const QRect r = rowRect(row);
    viewport()->update(QRect(0, r.top(), viewport()->width(), r.height()));
}

void FileListView::itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) {
    const QList<FileItem> ordered = m_list->items(); // the model may publish a new list meanwhile
    m_model->click(ordered[row], ordered, modifiers, count);
}

void FileListView::mousePressEvent(QMouseEvent *event) {
    // A right press selects its row at once; the menu follows with the context menu event.
    if (m_model && event->button() == Qt::RightButton) {
        const int row = rowAt(event->position().toPoint());
        if (row >= 0) m_model->contextSelect(m_list->item(row));
        return;
    }
    ItemView::mousePressEvent(event);
}

void FileListView::menuSelect(int) {
    // The right press has selected already.
}

QString FileListView::toolTipAt(int row, const QPoint &pos) const {
    // The tag dots name their tags.
    const FileItem &item = m_list->item(row);
    const QRect r(0, rowRect(row).top(), viewport()->width(), rowRect(row).height());
    const FileRowDelegate::Layout l =
        FileRowDelegate::layout(item, r, EnvironmentValues::ui(this), font(), m_showParent);
    return l.tags.contains(pos) ? TagDots::helpText(item.tags()) : QString();
}

void FileListView::showEvent(QShowEvent *event) {
    ItemView::showEvent(event);
    // The window's scale decides the row height, its theme the highlight.
    followEnvironment();
}

void FileListView::scaleChanged() {
    scheduleDelayedItemsLayout();
}

FolderDropTarget FileListView::rowDrop(int row) {
    FolderDropTarget t;
    if (!m_model || row < 0 || row >= m_list->rowCount()) return t;
    const FileItem &item = m_list->item(row);
    t.destination = item.isDirectory ? item.path() : m_model->currentPath();
    QPointer<FileListView> self(this);
    if (item.isDirectory)
        t.targeted = [self, row](bool on) {
            if (self) self->setTargetRow(on ? row : -1);
        };
    else
        t.targeted = [self](bool) {
            if (self) self->setTargetRow(-1);
        };
    QPointer<PaneModel> model = m_model;
    const QString destination = t.destination;
    t.perform = [model, destination](const QMimeData *data, bool copyHeld) {
        return model ? model->handleDrop(data, destination, copyHeld) : false;
    };
    return t;
}

FolderDropTarget FileListView::dropTarget(int row) {
    if (row >= 0) return rowDrop(row);
    return paneDrop ? paneDrop() : FolderDropTarget{};
}

void FileListView::openMenu(int row, const QPoint &global) {
    const FileItem item = row >= 0 ? m_list->item(row) : FileItem();
    ContextMenus::popup(m_menus, m_model, row >= 0 ? &item : nullptr, global, this);
}

// ---- FileRowDelegate ----

QList<QColor> FileRowDelegate::selectedBackgrounds(const QPalette &pal, const AppTheme &theme) {
    const SelectionBackground::Look look = SelectionBackground::look(true, false, true, false);
    const QColor base = pal.color(QPalette::Base);
    QColor a = theme.a, b = theme.b;
    a.setAlphaF(float(look.fillOpacity));
    b.setAlphaF(float(look.fillOpacity));
    return {AppTheme::over(a, base), AppTheme::over(b, base)};
}

QColor FileRowDelegate::secondaryColor(const QPalette &pal, const AppTheme &theme) {
    // Readable on the plain row and on the selection's tint.
    return AppTheme::secondaryText(pal.color(QPalette::Text),
                                   QList<QColor>{pal.color(QPalette::Base)} + selectedBackgrounds(pal, theme),
                                   0.55);
}

FileRowDelegate::FileRowDelegate(FileListView *view) : QStyledItemDelegate(view), m_view(view) {}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const {
    return QSize(qMax(1, m_view->viewport()->width()), qRound(EnvironmentValues::ui(m_view).row()));
}

QString FileRowDelegate::dateText(const FileItem &item, bool dateOnly) {
    if (!item.modified) return QStringLiteral("–");
    return dateOnly ? FileFmt::date().dateString(*item.modified) : FileFmt::date().string(*item.modified);
}

int FileRowDelegate::nameMinimum(const UIScale &ui) {
    return int(std::lround(ui.font * 8));
}

FileRowDelegate::Columns FileRowDelegate::columns(int contentWidth, const UIScale &ui, const QFont &base) {
    // Measured once per width, scale, font and language: every row asks.
    static QHash<QString, Columns> cache;
    const QString key = QStringLiteral("%1/%2/%3/%4")
                            .arg(contentWidth)
                            .arg(ui.font)
                            .arg(base.family())
                            .arg(AppLanguages::rawValue(Lang::current()));
    if (const auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    if (cache.size() > 200) cache.clear();

    const double scale = ui.font / 13;
    const QFontMetrics small(pixelFont(base, ui.small())),
        header(pixelFont(base, ui.small(), QFont::DemiBold));
    auto headerWidth = [&](const char *title) {
        return header.horizontalAdvance(L(title) + QStringLiteral(" ↓")) + 2 * LinkButtonStyle::padX + 1;
    };
    const QDateTime sample(QDate(2028, 12, 28), QTime(20, 58));
    const int dateFull = std::max({int(std::lround(dateWidth * scale)), headerWidth(K("Geändert")),
                                   small.horizontalAdvance(FileFmt::date().string(sample)) + 1});
    const int dateShort = small.horizontalAdvance(FileFmt::date().dateString(sample)) + 1;
    int size = qMax(int(std::lround(sizeWidth * scale)), headerWidth(K("Größe")));
    for (qint64 bytes : {999LL, 999'949LL, 999'949'000LL, 999'949'000'000LL, 999'949'000'000'000LL})
        size = qMax(size, small.horizontalAdvance(FileFmt::size(bytes)) + 1);

    // Left for the name: the content less the icon and the flexible space of at least 6.
    const int room = contentWidth - qRound(ui.icon()) - spacing - nameMinimum(ui);
    Columns c;
    if (room >= dateFull + size + 2 * spacing + 6)
        c = {dateFull, size, false};
    else if (room >= dateShort + size + 2 * spacing + 6)
        c = {dateShort, size, true};
    else if (room >= dateShort + spacing + 6)
        c = {dateShort, 0, true};
    cache.insert(key, c);
    return c;
}

QString FileRowDelegate::sizeText(const FileItem &item) {
    return item.isDirectory ? QStringLiteral("–") : FileFmt::size(item.size);
}

FileRowDelegate::Layout FileRowDelegate::layout(const FileItem &item, const QRect &rowRect, const UIScale &ui,
                                                const QFont &base, bool showParent) {
    Layout l;
    l.row = QRect(stackInset, rowRect.top(), rowRect.width() - 2 * stackInset, rowRect.height());
    l.nameFont = pixelFont(base, ui.font);
    l.smallFont = pixelFont(base, ui.small());
    const QFontMetrics nameMetrics(l.nameFont), smallMetrics(l.smallFont);
    const QRect content = l.row.adjusted(inset, 0, -inset, 0);
    const int iconPx = qRound(ui.icon());
    const int cy = content.center().y();
    int x = content.left();
    l.icon = QRectF(x, cy - iconPx / 2.0, iconPx, iconPx);
    x += iconPx + spacing;

    const Columns columns = FileRowDelegate::columns(content.width(), ui, base);
    l.dateOnly = columns.dateOnly;
    l.size = QRect(content.right() - columns.size + 1, content.top(), columns.size, content.height());
    l.date = QRect(columns.size ? l.size.left() - spacing - columns.date : content.right() - columns.date + 1,
                   content.top(), columns.date, content.height());
    // The flexible space keeps at least 6.
    const int nameRight = columns.date ? l.date.left() - spacing - 6 : content.right() + 1;

    const QSizeF dots = TagDots::size(item.tags());
    const int tagsW = qCeil(dots.width());
    int parentW = 0;
    if (showParent) {
        l.parentText = LF("in %@", item.parentName());
        const int natural = smallMetrics.horizontalAdvance(l.parentText) + 1;
        parentW = qMin(natural, qMax(0, (nameRight - x) * 2 / 5));
        if (parentW < natural) l.parentText = smallMetrics.elidedText(l.parentText, Qt::ElideRight, parentW);
    }
    const int nameAvail =
        qMax(0, nameRight - x - (tagsW ? tagsW + spacing : 0) - (parentW ? parentW + spacing : 0));
    l.nameText = nameMetrics.elidedText(item.name, Qt::ElideMiddle, nameAvail);
    const int nameW = qMin(nameMetrics.horizontalAdvance(l.nameText) + 1, nameAvail);
    l.name = QRect(x, content.top(), nameW, content.height());
    x += nameW;
    if (tagsW) {
        x += spacing;
        l.tags = QRectF(x, cy - dots.height() / 2, dots.width(), dots.height());
        x += tagsW;
    }
    if (parentW) {
        x += spacing;
        l.parent = QRect(x, content.top(), parentW, content.height());
    }
    return l;
}

void FileRowDelegate::paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const {
    const FileListModel *list = m_view->listModel();
    const int rowIndex = index.row();
    if (rowIndex < 0 || rowIndex >= list->rowCount()) return;
    const FileItem &item = list->item(rowIndex);
    const PaneModel *model = m_view->paneModel();
    const UIScale ui = EnvironmentValues::ui(m_view);
    const AppTheme theme = EnvironmentValues::appTheme(m_view);
    const QRect rowRect(0, option.rect.top(), m_view->viewport()->width(), option.rect.height());
    const Layout l = layout(item, rowRect, ui, m_view->font(), m_view->showParent());

    p->save();
    if (m_view->isCut(item.path())) p->setOpacity(0.45);
    const bool selected = model && model->selection().contains(item.path());
    p->setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = m_view->palette();
    SelectionBackground::paint(p, l.row, theme, pal, selected, m_view->hoverRow() == rowIndex, true,
                               m_view->targetRow() == rowIndex && item.isDirectory);
    FileIcon::paint(p, l.icon, item, theme, ui);

    const QColor primary = pal.color(QPalette::Text);
    const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    p->setFont(l.nameFont);
    p->setPen(selected ? AppTheme::readableOn(primary, selectedBackgrounds(pal, theme)) : primary);
    p->drawText(l.name, flags | Qt::AlignLeft, l.nameText); // plain text: names are never markup
    if (!l.tags.isEmpty()) TagDots::paint(p, QPointF(l.tags.left(), l.tags.center().y()), item.tags(), pal);
    p->setFont(l.smallFont);
    p->setPen(secondaryColor(pal, theme));
    if (!l.parent.isEmpty()) p->drawText(l.parent, flags | Qt::AlignLeft, l.parentText);
    const QFontMetrics smallMetrics(l.smallFont);
    if (l.date.width() > 0)
        p->drawText(l.date, flags | Qt::AlignLeft,
                    smallMetrics.elidedText(dateText(item, l.dateOnly), Qt::ElideRight, l.date.width()));
    if (l.size.width() > 0)
        p->drawText(l.size, flags | Qt::AlignRight,
                    smallMetrics.elidedText(sizeText(item), Qt::ElideRight, l.size.width()));
    p->restore();
}

// ---- ListContent ----

ListContent::ListContent(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                         QWidget *parent)
    : QWidget(parent), m_model(model) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new QWidget(this);
    m_header->setAccessibleName(L("Spaltenköpfe"));
    m_header->setFixedHeight(22);
    auto makeButton = [&](SortKey key, Qt::Alignment align) {
        auto *b = new PlainLinkButton({}, m_header);
        b->setLabelAlignment(align);
        connect(b, &QAbstractButton::clicked, this, [this, key] {
            if (m_model) m_model->chooseSort(key);
        });
        return b;
    };
    m_name = makeButton(SortKey::name, Qt::AlignLeft);
    m_date = makeButton(SortKey::date, Qt::AlignLeft);
    m_size = makeButton(SortKey::size, Qt::AlignRight);
    m_header->installEventFilter(this);
    layout->addWidget(m_header);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    layout->addWidget(line);

    m_view = new FileListView(model, sides, clipboard, menus, this);
    m_view->viewport()->installEventFilter(this);
    layout->addWidget(m_view, 1);

    m_cutShort = new QLabel(this);
    m_cutShort->setWordWrap(true);
    m_cutShort->setContentsMargins(FileRowDelegate::inset, 4, FileRowDelegate::inset, 4);
    m_cutShort->hide();
    layout->addWidget(m_cutShort);

    if (m_model) {
        connect(m_model, &PaneModel::sortChanged, this, &ListContent::updateHeader);
        connect(m_model, &PaneModel::sortReversedChanged, this, &ListContent::updateHeader);
        connect(m_model, &PaneModel::searchCutShortChanged, this, &ListContent::updateCutShort);
    }
    updateHeader();
}

void ListContent::updateCutShort() {
    const bool show = m_showsHits && m_model && m_model->searchCutShort();
    if (show)
        m_cutShort->setText(LF("Die Suche wurde nach %d Einträgen beendet; weitere Treffer sind möglich.",
                               FileLoader::searchBudget));
    m_cutShort->setVisible(show);
}

bool ListContent::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Resize && (watched == m_header || watched == m_view->viewport()))
        layoutHeader();
    return QWidget::eventFilter(watched, event);
}

void ListContent::layoutHeader() {
    // The columns line up with the rows, which end where the scroll bar begins.
    using D = FileRowDelegate;
    const int width = m_view->viewport()->width();
    const int right = width - D::stackInset - D::inset;
    const int left = D::stackInset + D::inset;
    const int h = m_header->height();
    const D::Columns c = D::columns(right - left, EnvironmentValues::ui(this), m_view->font());
    m_size->setGeometry(right - c.size, 0, c.size, h);
    m_date->setGeometry((c.size ? m_size->x() - D::spacing : right) - c.date, 0, c.date, h);
    m_size->setVisible(c.size > 0);
    m_date->setVisible(c.date > 0);
    m_name->setGeometry(left, 0, qMax(0, (c.date ? m_date->x() - D::spacing : right) - left), h);
}

void ListContent::setItems(const QList<FileItem> &items, bool showParent, const ItemsDiff *diff) {
    m_view->setItems(items, showParent, diff);
    m_showsHits = showParent;
    updateCutShort();
}

PlainLinkButton *ListContent::headerButton(SortKey key) const {
    switch (key) {
    case SortKey::name:
        return m_name;
    case SortKey::date:
        return m_date;
    case SortKey::size:
        return m_size;
    default:
        return nullptr;
    }
}

QString ListContent::headerTitle(const QString &titleKey, SortKey key, SortKey current,
                                 const QString &arrow) {
    return key == current ? L(titleKey) + u' ' + arrow : L(titleKey);
}

void ListContent::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    // The sort column's colour comes from the window's theme.
    EnvironmentValues *env = EnvironmentValues::of(this);
    if (!env || env == m_env) return;
    if (m_env) disconnect(m_env, nullptr, this, nullptr);
    m_env = env;
    connect(env, &EnvironmentValues::appThemeChanged, this, &ListContent::updateHeader);
    connect(env, &EnvironmentValues::uiChanged, this, &ListContent::updateHeader);
    updateHeader();
}

void ListContent::changeEvent(QEvent *event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::LanguageChange) updateHeader();
    if (event->type() == QEvent::LanguageChange) updateCutShort();
    QWidget::changeEvent(event);
}

void ListContent::updateHeader() {
    if (!m_model) return;
    const SortKey current = m_model->sort();
    const QString arrow = m_model->sortArrow();
    const AppTheme theme = EnvironmentValues::appTheme(this);
    // Both kept readable on the header's own background.
    const QColor background = palette().color(QPalette::Window);
    const QColor accent =
        AppTheme::readableOn(theme.readable(AppTheme::schemeOf(palette()), 4.5), {background});
    const QColor secondary =
        AppTheme::secondaryText(palette().color(QPalette::WindowText), {background}, 0.55);
    const QFont font = pixelFont(this->font(), EnvironmentValues::ui(this).small(), QFont::DemiBold);
    const std::pair<PlainLinkButton *, std::pair<const char *, SortKey>> buttons[] = {
        {m_name, {K("Name"), SortKey::name}},
        {m_date, {K("Geändert"), SortKey::date}},
        {m_size, {K("Größe"), SortKey::size}}};
    for (const auto &[button, column] : buttons) {
        button->setPlainText(headerTitle(QString::fromUtf8(column.first), column.second, current, arrow));
        button->setFont(font);
        QPalette pal = button->palette();
        pal.setColor(QPalette::WindowText, column.second == current ? accent : secondary);
        button->setPalette(pal);
    }
    // 22 at the base size of 13.
    m_header->setFixedHeight(qMax(22, int(std::lround(22 * EnvironmentValues::ui(this).font / 13))));
    layoutHeader();
}
