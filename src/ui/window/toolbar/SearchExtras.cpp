#include "ui/window/toolbar/SearchExtras.h"

#include "core/app/Sides.h"
#include "core/app/WindowRequests.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/SearchFilter.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/toolbar/ToolbarHelp.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QProgressBar>

namespace {

// One inline choice of the menu: a heading, then one checkable entry per case, the current one checked.
template <typename Enum, size_t N>
void addChoice(QMenu *menu, const char *heading, const std::array<Enum, N> &cases, Enum current,
               const QString &prefix, const std::function<void(Enum)> &choose) {
    menu->addSection(L(heading));
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);
    int i = 0;
    for (Enum value : cases) {
        QString text = title(value);
        QAction *a = menu->addAction(text.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(prefix + QString::number(i++));
        a->setCheckable(true);
        a->setChecked(value == current);
        group->addAction(a);
        QObject::connect(a, &QAction::triggered, menu, [choose, value] { choose(value); });
    }
}

} // namespace

SearchFilterMenu::SearchFilterMenu(WindowRequests &requests, PaneModel *pane, QWidget *parent)
    : ToolbarMenuButton(QStringLiteral("line.3.horizontal.decrease.circle"), parent) {
    setObjectName(QStringLiteral("searchFilterMenu"));
    auto *menu = new QMenu(this);
    connect(menu, &QMenu::aboutToShow, this, &SearchFilterMenu::fill);
    setMenu(menu);
    toolbarHelp(this, &requests, K("Suche filtern: Art, Größe, Datum, Unterordner"), 6);
    setPane(pane);
}

void SearchFilterMenu::setPane(PaneModel *pane) {
    if (m_pane) m_pane->disconnect(this);
    m_pane = pane;
    if (m_pane) connect(m_pane, &PaneModel::searchFilterChanged, this, &SearchFilterMenu::sync);
    sync();
}

void SearchFilterMenu::sync() {
    const bool active = m_pane && m_pane->searchFilter().isActive();
    setSymbol(active ? QStringLiteral("line.3.horizontal.decrease.circle.fill")
                     : QStringLiteral("line.3.horizontal.decrease.circle"));
    if (active) {
        setSymbolColor(EnvironmentValues::appTheme(this).a);
    } else {
        QColor secondary = palette().color(QPalette::WindowText);
        secondary.setAlphaF(0.55f);
        setSymbolColor(secondary);
    }
}

void SearchFilterMenu::fill() {
    QMenu *m = menu();
    m->clear();
    if (!m_pane) return;
    const SearchFilter filter = m_pane->searchFilter();
    QPointer<PaneModel> pane = m_pane;
    // Each choice writes only its own field, onto the filter of the moment.
    auto change = [pane](auto write) {
        if (!pane) return;
        SearchFilter f = pane->searchFilter();
        write(f);
        pane->setSearchFilter(f);
    };
    addChoice<SearchKind>(m, K("Art"), SearchKinds::allCases, filter.kind, QStringLiteral("kind"),
                          [change](SearchKind k) { change([k](SearchFilter &f) { f.kind = k; }); });
    addChoice<SearchSize>(m, K("Größe"), SearchSizes::allCases, filter.size, QStringLiteral("size"),
                          [change](SearchSize s) { change([s](SearchFilter &f) { f.size = s; }); });
    addChoice<SearchAge>(m, K("Geändert"), SearchAges::allCases, filter.age, QStringLiteral("age"),
                         [change](SearchAge a) { change([a](SearchFilter &f) { f.age = a; }); });
    m->addSeparator();
    QAction *sub = m->addAction(L("In Unterordnern suchen"));
    sub->setObjectName(QStringLiteral("subfolders"));
    sub->setCheckable(true);
    sub->setChecked(filter.subfolders);
    connect(sub, &QAction::triggered, this,
            [change](bool on) { change([on](SearchFilter &f) { f.subfolders = on; }); });
    QAction *reset = m->addAction(L("Filter zurücksetzen"));
    reset->setObjectName(QStringLiteral("reset"));
    reset->setEnabled(filter.isActive());
    connect(reset, &QAction::triggered, this, [pane] {
        if (pane) pane->setSearchFilter(SearchFilter{});
    });
}

SearchExtras::SearchExtras(Sides &sides, WindowRequests &requests, QWidget *parent)
    : QWidget(parent), m_sides(&sides) {
    setObjectName(QStringLiteral("searchExtras"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setFixedSize(28, 6);
    m_progress->setAccessibleName(L("Suche läuft"));
    m_end = new IconButton(QStringLiteral("xmark.circle.fill"), false, 12, this);
    m_end->setObjectName(QStringLiteral("endSearch"));
    m_end->setFocusPolicy(Qt::TabFocus);
    m_end->setToolTip(L("Suche beenden und Filter zurücksetzen"));
    m_end->setAccessibleName(m_end->toolTip());
    connect(m_end, &QAbstractButton::clicked, this, [this] {
        if (!m_pane) return;
        m_pane->setSearchText(QString());
        m_pane->setSearchFilter(SearchFilter{});
    });
    m_filter = new SearchFilterMenu(requests, nullptr, this);
    row->addWidget(m_progress);
    row->addWidget(m_end);
    row->addWidget(m_filter);
    toolbarHelpContext(this, &requests, 6);
    // The pane's own search signals are followed from there on.
    connect(&sides, &Sides::activePaneChanged, this, &SearchExtras::follow);
    follow();
}

void SearchExtras::follow() {
    PaneModel *pane = m_sides ? m_sides->activePane() : nullptr;
    if (pane != m_pane) {
        if (m_pane) m_pane->disconnect(this);
        m_pane = pane;
        if (m_pane) {
            connect(m_pane, &PaneModel::searchTextChanged, this, &SearchExtras::sync);
            connect(m_pane, &PaneModel::searchFilterChanged, this, &SearchExtras::sync);
            connect(m_pane, &PaneModel::isSearchingChanged, this, &SearchExtras::sync);
        }
        m_filter->setPane(m_pane);
    }
    sync();
}

void SearchExtras::sync() {
    const bool searching = m_pane && m_pane->isSearching();
    const bool anything = m_pane && (!m_pane->searchText().isEmpty() || m_pane->searchFilter().isActive());
    m_progress->setVisible(searching);
    m_end->setVisible(anything);
}
