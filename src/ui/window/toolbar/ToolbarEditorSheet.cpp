#include "ui/window/toolbar/ToolbarEditorSheet.h"

#include "core/app/Settings.h"
#include "core/app/ToolbarApps.h"
#include "core/app/WindowRequests.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"
#include "ui/help/HelpButton.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/DesktopAppIcon.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/window/SheetPresenter.h"

#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QFont sized(QFont f, double px, QFont::Weight weight = QFont::Normal) {
    f.setPixelSize(int(std::round(px)));
    f.setWeight(weight);
    return f;
}

QString rgba(QColor c, double alpha) {
    c.setAlphaF(float(alpha));
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
}

} // namespace

void ToolbarEditorSheet::registerWith(SheetPresenter *presenter, Settings &settings, WindowRequests &requests,
                                      ToolbarApps &apps) {
    presenter->setFactory(SheetPresenter::Sheet::toolbarEditor,
                          [&settings, &requests, &apps](QWidget *parent) {
                              return new ToolbarEditorSheet(settings, requests, apps, parent);
                          });
}

ToolbarEditorSheet::ToolbarEditorSheet(Settings &settings, WindowRequests &requests, ToolbarApps &apps,
                                       QWidget *parent)
    : QDialog(parent), m_settings(settings), m_requests(requests), m_apps(apps) {
    setObjectName(QStringLiteral("toolbarEditor"));
    setWindowTitle(L("Leiste anpassen"));
    setFixedSize(ScreenFit::width(520), ScreenFit::height(480));
    setAcceptDrops(true);
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->setSpacing(14);
    buildHeader(outer, ui);
    buildList(outer);
    buildFooter(outer, ui);
    wire();
    rebuild();
}

void ToolbarEditorSheet::buildHeader(QVBoxLayout *outer, const UIScale &ui) {
    auto *title = new QLabel(L("Leiste anpassen"), this);
    title->setFont(sized(title->font(), ui.font + 5, QFont::DemiBold));
    outer->addWidget(title);
    auto *about = new QLabel(
        L("Hier legst du fest, welche Apps in der Leiste stehen und in welcher "
          "Reihenfolge. Du kannst Programme auch aus einem Dateifenster hierher oder direkt auf die "
          "Leiste ziehen."),
        this);
    about->setWordWrap(true);
    about->setFont(sized(about->font(), ui.small()));
    about->setForegroundRole(QPalette::PlaceholderText);
    outer->addWidget(about);
}

void ToolbarEditorSheet::buildList(QVBoxLayout *outer) {
    m_stack = new QStackedWidget(this);
    const QColor text = palette().color(QPalette::WindowText);
    auto *empty = new QLabel(L("Noch keine Apps in der Leiste."), m_stack);
    empty->setObjectName(QStringLiteral("emptyPlaceholder"));
    empty->setAlignment(Qt::AlignCenter);
    empty->setMinimumHeight(120);
    empty->setStyleSheet(QStringLiteral("QLabel { border: 1px dashed %1; border-radius: 6px; color: %2; }")
                             .arg(rgba(text, 0.2), rgba(text, 0.55)));
    m_stack->addWidget(empty);
    m_list = new QListWidget(m_stack);
    m_list->setObjectName(QStringLiteral("appList"));
    m_list->setMinimumHeight(200);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setStyleSheet(
        QStringLiteral("QListWidget { border: 1px solid %1; border-radius: 6px; }").arg(rgba(text, 0.12)));
    m_stack->addWidget(m_list);
    outer->addWidget(m_stack, 1);
}

void ToolbarEditorSheet::buildFooter(QVBoxLayout *outer, const UIScale &ui) {
    auto *lookRow = new QHBoxLayout;
    lookRow->addWidget(new QLabel(L("Darstellung"), this));
    m_look = new QButtonGroup(this);
    m_look->setExclusive(true);
    auto *compact = new QPushButton(L("Kompakt (nur Symbole)"), this);
    compact->setObjectName(QStringLiteral("lookCompact"));
    auto *wide = new QPushButton(L("Erweitert (mit Namen)"), this);
    wide->setObjectName(QStringLiteral("lookWide"));
    for (QPushButton *b : {compact, wide}) {
        b->setCheckable(true);
        lookRow->addWidget(b);
    }
    m_look->addButton(compact, 1);
    m_look->addButton(wide, 0);
    lookRow->addStretch(1);
    outer->addLayout(lookRow);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new HelpButton(&m_requests, 7, this));
    m_add = new QPushButton(L("App hinzufügen …"), this);
    m_add->setObjectName(QStringLiteral("addApp"));
    m_add->setAutoDefault(false);
    bottom->addWidget(m_add);
    bottom->addStretch(1);
    m_counter = new QLabel(this);
    m_counter->setObjectName(QStringLiteral("counter"));
    m_counter->setFont(sized(m_counter->font(), ui.small()));
    m_counter->setForegroundRole(QPalette::PlaceholderText);
    bottom->addWidget(m_counter);
    auto *done = new QPushButton(L("Fertig"), this);
    done->setObjectName(QStringLiteral("done"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    bottom->addWidget(done);
    outer->addLayout(bottom);
}

void ToolbarEditorSheet::wire() {
    connect(m_list->model(), &QAbstractItemModel::rowsMoved, this, &ToolbarEditorSheet::takeListOrder);
    connect(m_look, &QButtonGroup::idClicked, this,
            [this](int id) { m_settings.setToolbarCompact(id == 1); });
    connect(m_add, &QPushButton::clicked, &m_apps, &ToolbarApps::addToolbarApp);
    connect(&m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::toolbarApps || key == Settings::Key::toolbarCompact)
            // Later: a row's own button may be what changed the list.
            QMetaObject::invokeMethod(this, &ToolbarEditorSheet::rebuild, Qt::QueuedConnection);
    });
}

void ToolbarEditorSheet::rebuild() {
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    const QStringList apps = m_settings.toolbarApps();
    const int count = int(apps.size());
    m_rebuilding = true;
    m_list->clear();
    for (int i = 0; i < count; ++i) {
        auto *item = new QListWidgetItem(m_list);
        item->setData(Qt::UserRole, apps[i]);
        QWidget *row = appRow(apps[i], i, count, ui);
        item->setSizeHint(row->sizeHint());
        m_list->setItemWidget(item, row);
    }
    m_rebuilding = false;
    m_stack->setCurrentIndex(count == 0 ? 0 : 1);
    m_add->setEnabled(count < ToolbarApps::maxToolbarApps);
    m_counter->setText(LF("%@ von %@", count, ToolbarApps::maxToolbarApps));
    m_look->button(m_settings.toolbarCompact() ? 1 : 0)->setChecked(true);
}

QWidget *ToolbarEditorSheet::appRow(const QString &path, int index, int count, const UIScale &ui) {
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("row:") + path);
    auto *h = new QHBoxLayout(row);
    h->setContentsMargins(6, 2, 6, 2);
    h->setSpacing(10);
    auto *icon = new QLabel(row);
    icon->setPixmap(toolbarAppIcon(path, 24));
    h->addWidget(icon);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto *name = new QLabel(toolbarAppName(path), row);
    name->setFont(sized(name->font(), ui.font));
    texts->addWidget(name);
    // Tested again at every rebuild: an entry removed meanwhile says so, and can be replaced.
    const bool exists = QFileInfo::exists(path);
    auto *where = new QLabel(row);
    where->setObjectName(QStringLiteral("where"));
    where->setFont(sized(where->font(), ui.small()));
    const QString folder = Posix::parentOf(path);
    where->setText(exists ? fontMetrics().elidedText(folder, Qt::ElideMiddle, 260) : L("Nicht gefunden"));
    where->setToolTip(exists ? folder : QString());
    where->setStyleSheet(
        exists ? QStringLiteral("color: %1").arg(rgba(palette().color(QPalette::WindowText), 0.55))
               : QStringLiteral("color: #ff3b30"));
    texts->addWidget(where);
    h->addLayout(texts);
    h->addStretch(1);
    addRowTools(row, path, index, count);
    return row;
}

void ToolbarEditorSheet::addRowTools(QWidget *row, const QString &path, int index, int count) {
    struct Tool {
        const char *symbol, *help, *name;
        bool enabled;
        std::function<void(ToolbarApps &)> run;
    };
    const Tool tools[] = {
        {"chevron.up", K("Nach vorn"), "up", index > 0,
         [path, index](ToolbarApps &a) { a.moveToolbarApp(path, index - 1); }},
        {"chevron.down", K("Nach hinten"), "down", index < count - 1,
         [path, index](ToolbarApps &a) { a.moveToolbarApp(path, index + 1); }},
        {"arrow.triangle.2.circlepath", K("Ersetzen durch …"), "replace", true,
         [path](ToolbarApps &a) { a.replaceToolbarApp(path); }},
        {"minus.circle", K("Aus der Leiste entfernen"), "remove", true,
         [path](ToolbarApps &a) { a.removeToolbarApp(path); }},
    };
    for (const Tool &t : tools) {
        auto *b = new IconButton(QString::fromLatin1(t.symbol), false, 12, row);
        b->setObjectName(QString::fromLatin1(t.name));
        b->setHelpKey(QString::fromUtf8(t.help));
        b->setEnabled(t.enabled);
        connect(b, &QAbstractButton::clicked, &m_apps, [apps = &m_apps, run = t.run] { run(*apps); });
        row->layout()->addWidget(b);
    }
}

void ToolbarEditorSheet::takeListOrder() {
    if (m_rebuilding) return;
    QStringList order;
    for (int i = 0; i < m_list->count(); ++i)
        order << m_list->item(i)->data(Qt::UserRole).toString();
    m_settings.setToolbarApps(order);
}

namespace {
// Applications dropped here are copied into the list, never taken from where they come from.
void acceptCopy(QDropEvent *event) {
    if (event->mimeData()->hasUrls() && (event->possibleActions() & Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}
} // namespace

void ToolbarEditorSheet::dragEnterEvent(QDragEnterEvent *event) {
    acceptCopy(event);
}

void ToolbarEditorSheet::dragMoveEvent(QDragMoveEvent *event) {
    acceptCopy(event);
}

void ToolbarEditorSheet::dropEvent(QDropEvent *event) {
    QStringList paths;
    for (const QUrl &url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    m_apps.addToolbarApps(paths);
}
