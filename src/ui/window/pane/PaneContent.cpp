#include "ui/window/pane/PaneContent.h"

#include "core/app/Sides.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ContextMenus.h"
#include "ui/panecontent/ColumnsContent.h"
#include "ui/panecontent/IconGrid.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneMessages.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

PaneContent::Decision PaneContent::decide(const PaneModel &model) {
    using Kind = Decision::Kind;
    if (model.errorText()) return {Kind::access, QStringLiteral("lock.fill"), *model.errorText()};
    const QString &path = model.currentPath();
    // The listing went through (an unreadable Trash has its error text above): empty means empty.
    if (model.items().isEmpty() && !model.searchResults() && isTrashFolder(path))
        return {Kind::message, QStringLiteral("trash"), L("Der Papierkorb ist leer.")};
    if (const auto &hits = model.searchResults()) {
        if (!hits->isEmpty()) return {Kind::list, {}, {}, true};
        const QString text = model.searchText();
        // Only spaces and tabs count as blank here; other white space is part of the text.
        qsizetype a = 0, b = text.size();
        while (a < b && (text[a] == u' ' || text[a] == u'\t'))
            ++a;
        while (b > a && (text[b - 1] == u' ' || text[b - 1] == u'\t'))
            --b;
        return {Kind::message, QStringLiteral("magnifyingglass"),
                a < b ? LF("Nichts gefunden für „%@“.", text) : L("Nichts gefunden.")};
    }
    if (model.isSearching()) return {Kind::message, QStringLiteral("magnifyingglass"), L("Suche läuft …")};
    switch (model.viewMode()) {
    case ViewMode::columns:
        // An empty folder is an empty column.
        return {Kind::columns, {}, {}, false};
    case ViewMode::icons:
        if (model.items().isEmpty())
            return {Kind::message, QStringLiteral("folder"), L("Dieser Ordner ist leer.")};
        return {Kind::icons, {}, {}, false};
    case ViewMode::list:
        break;
    }
    if (model.items().isEmpty())
        return {Kind::message, QStringLiteral("folder"), L("Dieser Ordner ist leer.")};
    return {Kind::list, {}, {}, false};
}

bool PaneContent::isTrashFolder(const QString &path) {
    const QString p = FileLoader::norm(path);
    if (p == FileLoader::mainTrash()) return true;
    // Only names a trash folder can have are looked up among the real ones (which reads the mounts).
    if (!p.endsWith(QLatin1String("/files")) && !p.endsWith(QLatin1String("/.Trash")) &&
        !p.contains(QLatin1String("/.Trashes/")))
        return false;
    return FileLoader::extraTrashFolders().contains(p);
}

PaneContent::PaneContent(PaneModel *model, const PaneParts &parts, QWidget *parent)
    : QStackedWidget(parent), m_model(model), m_parts(parts) {
    setAccessibleName(L("Inhalt"));
    m_list = new ListContent(model, parts.sides, parts.clipboard, parts.menus, this);
    m_message = new MessageView({}, {}, this);
    m_access = new AccessMessage({}, {}, this);
    addWidget(m_list);
    addWidget(m_message);
    addWidget(m_access);
    if (m_model) {
        for (auto signal :
             {&PaneModel::errorTextChanged, &PaneModel::currentPathChanged, &PaneModel::itemsChanged,
              &PaneModel::searchResultsChanged, &PaneModel::searchTextChanged, &PaneModel::isSearchingChanged,
              &PaneModel::viewModeChanged})
            connect(m_model, signal, this, &PaneContent::refresh);
    }
    refresh();
}

void PaneContent::mousePressEvent(QMouseEvent *event) {
    // A click on the empty area (a message) clears the selection and activates the pane.
    if (event->button() == Qt::LeftButton && m_model) {
        m_model->setSelection({});
        m_parts.sides.setActive(m_model->side());
    }
    QStackedWidget::mousePressEvent(event);
}

void PaneContent::contextMenuEvent(QContextMenuEvent *event) {
    ContextMenus::popup(m_parts.menus, m_model, nullptr, event->globalPos(), this);
    event->accept();
}

void PaneContent::refresh() {
    if (!m_model) return;
    const Decision d = decide(*m_model);
    using Kind = Decision::Kind;
    switch (d.kind) {
    case Kind::access:
        m_access->setMessage(d.symbol, d.text);
        setCurrentWidget(m_access);
        break;
    case Kind::message:
        m_message->setMessage(d.symbol, d.text);
        setCurrentWidget(m_message);
        break;
    case Kind::icons:
        if (!m_grid) {
            m_grid = new IconGrid(m_model, m_parts.sides, m_parts.clipboard, m_parts.menus, this);
            m_grid->paneDrop = [list = m_list->view()] {
                return list->paneDrop ? list->paneDrop() : FolderDropTarget{};
            };
            addWidget(m_grid);
        }
        m_grid->setItems(m_model->items(), m_model->itemsDiff());
        setCurrentWidget(m_grid);
        break;
    case Kind::columns:
        if (!m_columns) {
            m_columns = new ColumnsContent(m_model, m_parts.sides, m_parts.clipboard, m_parts.menus, this);
            addWidget(m_columns);
        }
        setCurrentWidget(m_columns);
        break;
    case Kind::list:
        if (d.showParent)
            m_list->setItems(*m_model->searchResults(), true);
        else
            m_list->setItems(m_model->items(), false, m_model->itemsDiff());
        setCurrentWidget(m_list);
        break;
    }
    // A folder with nothing to show: the list lets go of the last folder's rows instead of keeping them.
    if (d.kind == Kind::access || d.kind == Kind::message)
        if (m_model->items().isEmpty() && !m_model->searchResults()) {
            m_list->setItems({}, false);
            if (m_grid) m_grid->setItems({});
        }
    // The views not shown let go of their items; a long list is not kept twice.
    if (d.kind != Kind::list && d.kind != Kind::access && d.kind != Kind::message)
        m_list->setItems({}, false);
    if (d.kind != Kind::icons && m_grid) m_grid->setItems({});
    m_decision = d;
}
