#include "ui/sidebar/FavoritesEditorSheet.h"

#include "core/app/Favorites.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/model/DragState.h"
#include "platform/Posix.h"
#include "ui/panecontent/FolderDropTarget.h"
#include "ui/panecontent/IconCache.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/window/SheetPresenter.h"

#include <QDragEnterEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <cmath>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <thread>

#include <sys/stat.h>

namespace {

// The empty list: a dashed box around its text.
class EmptyBox : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor c = palette().color(QPalette::WindowText);
        c.setAlphaF(0.2f);
        QPen pen(c, 1, Qt::CustomDashLine);
        pen.setDashPattern({4, 4});
        p.setPen(pen);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
        p.end();
        QLabel::paintEvent(event);
    }
};

QLabel *textLabel(const QString &text, double pixelSize, QWidget *parent, bool middleElided = false) {
    QLabel *l = middleElided ? new ElidedLabel(text, parent) : new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    QFont f = l->font();
    f.setPixelSize(qMax(1, int(std::lround(pixelSize))));
    l->setFont(f);
    return l;
}

} // namespace

void FavoritesEditorSheet::registerWith(SheetPresenter *sheets, Favorites &favorites) {
    sheets->setFactory(
        SheetPresenter::Sheet::favoritesEditor,
        [f = &favorites](QWidget *parent) -> QDialog * { return new FavoritesEditorSheet(*f, parent); });
}

FavoritesEditorSheet::FavoritesEditorSheet(Favorites &favorites, QWidget *parent)
    : QDialog(parent), m_favorites(&favorites) {
    setObjectName(QStringLiteral("favoritesEditor"));
    setWindowTitle(L("Favoriten bearbeiten"));
    setFixedSize(ScreenFit::width(520), ScreenFit::height(460));
    setAcceptDrops(true);
    const UIScale ui = EnvironmentValues::ui(parent ? parent : this);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    const QPalette dimmed = addHeader(column, ui);
    column->addWidget(buildList(dimmed), 1);
    column->addLayout(buildButtons());
    connect(&favorites, &Favorites::changed, this, &FavoritesEditorSheet::reload);
    reload();
}

QPalette FavoritesEditorSheet::addHeader(QVBoxLayout *column, const UIScale &ui) {
    QLabel *title = textLabel(L("Favoriten bearbeiten"), ui.font + 5, this);
    QFont bold = title->font();
    bold.setWeight(QFont::DemiBold);
    title->setFont(bold);
    column->addWidget(title);
    QLabel *explain =
        textLabel(L("Hier legst du fest, was im Stern-Menü steht: Ordner, Dateien und Programme, in "
                    "beliebiger Reihenfolge. Du kannst sie auch aus einem Dateimanager oder aus einem "
                    "Fenster hierher ziehen."),
                  ui.small(), this);
    explain->setWordWrap(true);
    QPalette pal = explain->palette();
    QColor secondary = pal.color(QPalette::WindowText);
    secondary.setAlphaF(0.6f);
    pal.setColor(QPalette::WindowText, secondary);
    explain->setPalette(pal);
    column->addWidget(explain);
    return pal;
}

QWidget *FavoritesEditorSheet::buildList(const QPalette &dimmed) {
    m_stack = new QStackedWidget(this);
    m_empty = new EmptyBox(L("Noch keine Favoriten."), m_stack);
    m_empty->setObjectName(QStringLiteral("empty"));
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setMinimumHeight(120);
    m_empty->setPalette(dimmed);
    m_list = new QListWidget(m_stack);
    m_list->setObjectName(QStringLiteral("favorites"));
    m_list->setMinimumHeight(200);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_list->model(), &QAbstractItemModel::rowsMoved, this, &FavoritesEditorSheet::rowsDragged);
    m_stack->addWidget(m_empty);
    m_stack->addWidget(m_list);
    return m_stack;
}

QHBoxLayout *FavoritesEditorSheet::buildButtons() {
    auto *bottom = new QHBoxLayout;
    auto *add = new QPushButton(L("Hinzufügen …"), this);
    add->setObjectName(QStringLiteral("add"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, [this] {
        if (m_favorites) m_favorites->addFavoritesDialog();
    });
    auto *done = new QPushButton(L("Fertig"), this);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(add);
    bottom->addStretch(1);
    bottom->addWidget(done);
    return bottom;
}

bool FavoritesEditorSheet::showsEmptyBox() const {
    return m_stack->currentWidget() == m_empty;
}

QWidget *FavoritesEditorSheet::rowWidget(int row) const {
    return m_list->itemWidget(m_list->item(row));
}

void FavoritesEditorSheet::reload() {
    if (!m_favorites) return;
    const QStringList favorites = m_favorites->list();
    m_shown = favorites;
    m_list->clear();
    m_stack->setCurrentWidget(favorites.isEmpty() ? static_cast<QWidget *>(m_empty) : m_list);
    const UIScale ui = EnvironmentValues::ui(this);
    for (int i = 0; i < favorites.size(); ++i) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, favorites[i]);
        QWidget *row = makeRow(favorites[i], ui);
        addRowButtons(static_cast<QHBoxLayout *>(row->layout()), favorites[i], i, int(favorites.size()));
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
        showLook(i, favorites[i], std::nullopt);
    }
    lookAtItems(favorites);
}

QWidget *FavoritesEditorSheet::makeRow(const QString &path, const UIScale &ui) {
    auto *row = new QWidget(m_list);
    auto *line = new QHBoxLayout(row);
    line->setContentsMargins(4, 2, 4, 2);
    line->setSpacing(10);
    // Icon and place follow once a worker has looked at the item (a hanging mount must not freeze the
    // window).
    auto *icon = new QLabel(row);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setFixedSize(24, 24);
    line->addWidget(icon);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(textLabel(localName(path), ui.font, row));
    QLabel *where = textLabel(Posix::parentOf(path), ui.small(), row, true);
    where->setObjectName(QStringLiteral("where"));
    where->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    texts->addWidget(where);
    line->addLayout(texts, 1);
    return row;
}

void FavoritesEditorSheet::addRowButtons(QHBoxLayout *line, const QString &path, int i, int count) {
    const struct {
        const char *name, *symbol, *help;
        bool enabled;
        int to;
    } buttons[] = {{"up", "chevron.up", K("Nach vorn"), i > 0, i - 1},
                   {"down", "chevron.down", K("Nach hinten"), i < count - 1, i + 1},
                   {"remove", "minus.circle", K("Aus den Favoriten entfernen"), true, -1}};
    for (const auto &b : buttons) {
        auto *button = new IconButton(QString::fromUtf8(b.symbol), false, 12, line->parentWidget());
        button->setObjectName(QString::fromUtf8(b.name));
        button->setHelpKey(QString::fromUtf8(b.help));
        button->setEnabled(b.enabled);
        const bool remove = b.to < 0;
        connect(button, &QAbstractButton::clicked, this, [this, path, remove, to = b.to] {
            // Queued: the row goes with the list it changes.
            QMetaObject::invokeMethod(
                this,
                [this, path, remove, to] {
                    if (!m_favorites) return;
                    if (remove)
                        m_favorites->removeFavorite(path);
                    else
                        m_favorites->moveFavorite(path, to);
                },
                Qt::QueuedConnection);
        });
        line->addWidget(button);
    }
}

namespace {

std::function<std::optional<bool>(const QString &)> &itemLook() {
    static std::function<std::optional<bool>(const QString &)> look;
    return look;
}

std::optional<bool> lookAt(const QString &path) {
    struct stat st {};
    return Posix::statPath(path, st) ? std::optional<bool>(S_ISDIR(st.st_mode)) : std::nullopt;
}

} // namespace

void FavoritesEditorSheet::setItemLook(std::function<std::optional<bool>(const QString &)> look) {
    itemLook() = std::move(look);
}

void FavoritesEditorSheet::lookAtItems(const QStringList &paths) {
    const int generation = ++m_lookGeneration;
    std::function<std::optional<bool>(const QString &)> look = itemLook();
    if (!look) look = &lookAt;
    QPointer<FavoritesEditorSheet> self(this);
    QObject *app = QCoreApplication::instance();
    // A plain thread, never waited for: a favourite on a dead mount may keep it for good.
    std::thread([paths, generation, self, app, look] {
        QList<std::optional<bool>> looks; // nothing: gone; else whether a folder
        for (const QString &path : paths)
            looks.append(look(path));
        QMetaObject::invokeMethod(
            app,
            [self, generation, paths, looks] {
                if (!self || generation != self->m_lookGeneration || paths != self->m_shown) return;
                for (qsizetype i = 0; i < paths.size(); ++i)
                    self->showLook(int(i), paths[i], looks[i], true);
            },
            Qt::QueuedConnection);
    }).detach();
}

void FavoritesEditorSheet::showLook(int row, const QString &path, std::optional<bool> folder, bool looked) {
    QWidget *widget = rowWidget(row);
    if (!widget) return;
    auto *icon = widget->findChild<QLabel *>(QStringLiteral("icon"));
    auto *where = widget->findChild<QLabel *>(QStringLiteral("where"));
    const bool present = !looked || folder.has_value();
    if (icon) {
        FileItem item;
        item.setPath(path);
        item.name = Posix::lastComponent(path);
        item.isDirectory = folder.value_or(false);
        icon->setPixmap(IconCache::iconPixmap(item, 24, devicePixelRatioF()));
    }
    if (!where) return;
    // An entry whose item went stays listed, marked in red.
    where->setText(present ? Posix::parentOf(path) : L("Nicht gefunden"));
    QColor c = present ? where->palette().color(QPalette::WindowText) : QColor(0xd7, 0x2c, 0x2c);
    if (present) c.setAlphaF(0.6f);
    // A style sheet, since the list's item widgets take their text colour from the list's style.
    where->setStyleSheet(QStringLiteral("color: rgba(%1, %2, %3, %4)")
                             .arg(c.red())
                             .arg(c.green())
                             .arg(c.blue())
                             .arg(c.alpha()));
}

void FavoritesEditorSheet::rowsDragged() {
    if (!m_favorites) return;
    // The list widget has moved its rows already; their order is the new list.
    QStringList order;
    for (int i = 0; i < m_list->count(); ++i)
        order << m_list->item(i)->data(Qt::UserRole).toString();
    QMetaObject::invokeMethod(
        this,
        [this, order] {
            if (m_favorites) m_favorites->setList(order);
        },
        Qt::QueuedConnection);
}

void FavoritesEditorSheet::dragEnterEvent(QDragEnterEvent *event) {
    // Files only: web links alone are no favourites.
    if (FolderDropTarget::accepts(event->mimeData())) event->acceptProposedAction();
}

void FavoritesEditorSheet::dropEvent(QDropEvent *event) {
    const QStringList paths = DragState::shared().dropPaths(event->mimeData());
    if (paths.isEmpty() || !m_favorites) {
        event->ignore();
        return;
    }
    // Appended at the end in the dropped order, wherever they were dropped.
    m_favorites->addFavorites(paths);
    event->acceptProposedAction();
}
