#include "ui/window/pane/PaneContent.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ContextMenus.h"
#include "ui/panecontent/ListView.h"
#include "ui/window/pane/PaneMessages.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

PaneContent::Decision PaneContent::decide(const PaneModel &model) {
    using Kind = Decision::Kind;
    if (model.errorText()) return {Kind::access, QStringLiteral("lock.fill"), *model.errorText()};
    const QString &path = model.currentPath();
    // The home Trash: where it is kept here, and the other systems' place for it.
    const bool trash =
        path.endsWith(QLatin1String("/.Trash")) || FileLoader::norm(path) == FileLoader::mainTrash();
    // The listing went through (an unreadable Trash has its error text above): empty means empty.
    if (trash && model.items().isEmpty() && !model.searchResults())
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
        // The column view shows the list, so an empty folder says so as the list does.
        if (model.items().isEmpty())
            return {Kind::message, QStringLiteral("folder"), L("Dieser Ordner ist leer.")};
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

PaneContent::PaneContent(PaneModel *model, AppState *app, QWidget *parent)
    : QStackedWidget(parent), m_model(model), m_app(app) {
    setAccessibleName(L("Inhalt"));
    m_list = new ListContent(model, app, this);
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
        if (m_app) m_app->sides().setActive(m_model->side());
    }
    QStackedWidget::mousePressEvent(event);
}

void PaneContent::contextMenuEvent(QContextMenuEvent *event) {
    ContextMenus::popup(m_app, m_model, nullptr, event->globalPos(), this);
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
    case Kind::list:
    case Kind::icons:
    case Kind::columns:
        if (d.showParent)
            m_list->setItems(*m_model->searchResults(), true);
        else
            m_list->setItems(m_model->items(), false, m_model->itemsDiff());
        setCurrentWidget(m_list);
        break;
    }
    // A folder with nothing to show: the list lets go of the last folder's rows instead of keeping them.
    if (d.kind == Kind::access || d.kind == Kind::message)
        if (m_model->items().isEmpty() && !m_model->searchResults()) m_list->setItems({}, false);
    m_decision = d;
}
