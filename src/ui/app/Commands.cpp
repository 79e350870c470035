#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/Symbols.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

namespace {

// German keyboards name their keys in German. Polish and Thai keyboards carry the English names on their
// caps (Ctrl, Shift, Del, Backspace …), so those stay; the arrows and the space bar, which have no name
// printed on them, are named in the language (Polish as Qt's own Polish texts name them).
QString keyWord(const QString &word) {
    static const QHash<QString, QString> german{
        {QStringLiteral("Ctrl"), QStringLiteral("Strg")},
        {QStringLiteral("Shift"), QStringLiteral("Umschalt")},
        {QStringLiteral("Del"), QStringLiteral("Entf")},
        {QStringLiteral("Backspace"), QStringLiteral("Rücktaste")},
        {QStringLiteral("Space"), QStringLiteral("Leertaste")},
        {QStringLiteral("Return"), QStringLiteral("Eingabe")},
        {QStringLiteral("Enter"), QStringLiteral("Eingabe")},
        {QStringLiteral("Left"), QStringLiteral("Links")},
        {QStringLiteral("Right"), QStringLiteral("Rechts")},
        {QStringLiteral("Up"), QStringLiteral("Hoch")},
        {QStringLiteral("Down"), QStringLiteral("Runter")},
        {QStringLiteral("PgUp"), QStringLiteral("Bild auf")},
        {QStringLiteral("PgDown"), QStringLiteral("Bild ab")},
        {QStringLiteral("Home"), QStringLiteral("Pos1")},
        {QStringLiteral("End"), QStringLiteral("Ende")},
    };
    static const QHash<QString, QString> polish{
        {QStringLiteral("Space"), QStringLiteral("Spacja")}, {QStringLiteral("Left"), QStringLiteral("Lewo")},
        {QStringLiteral("Right"), QStringLiteral("Prawo")},  {QStringLiteral("Up"), QStringLiteral("Góra")},
        {QStringLiteral("Down"), QStringLiteral("Dół")},
    };
    static const QHash<QString, QString> thai{
        {QStringLiteral("Space"), QStringLiteral("เว้นวรรค")}, {QStringLiteral("Left"), QStringLiteral("ซ้าย")},
        {QStringLiteral("Right"), QStringLiteral("ขวา")},     {QStringLiteral("Up"), QStringLiteral("ขึ้น")},
        {QStringLiteral("Down"), QStringLiteral("ลง")},
    };
    switch (Lang::current()) {
    case AppLanguage::de:
        return german.value(word, word);
    case AppLanguage::pl:
        return polish.value(word, word);
    case AppLanguage::th:
        return thai.value(word, word);
    default:
        return word;
    }
}

// A name in a menu title shows its '&' as the character, not as a mnemonic.
QString menuEscaped(QString text) {
    return text.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

QString Commands::literalTitle(const QString &text) {
    return menuEscaped(text);
}

QString Commands::keyText(const QKeySequence &key) {
    const QString text = key.toString(QKeySequence::PortableText);
    QStringList words;
    // "Ctrl++" ends in the plus key itself.
    const bool plusKey = text.endsWith(QStringLiteral("++")) || text == u"+";
    for (const QString &word : (plusKey ? text.chopped(1) : text).split(u'+', Qt::SkipEmptyParts))
        words << keyWord(word);
    if (plusKey) words << QStringLiteral("+");
    return words.join(u'+');
}

QString Cmd::compressAsId(ArchiveFormat format) {
    return QString::fromUtf8(compressAs) + u'/' + Archive::id(format);
}

Commands::~Commands() = default;

QWidget *Commands::focusedText() {
    QWidget *focus = QApplication::focusWidget();
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(focus)) return spin->findChild<QLineEdit *>();
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QTextEdit *>(focus) ||
        qobject_cast<QPlainTextEdit *>(focus))
        return focus;
    return nullptr;
}

Commands::Commands(AppState &app, QObject *parent) : QObject(parent), m_app(&app) {
    addTransfers();
    addItems();
    addTrashAndUndo();
    addEdit();
    addFilesMenu();
    addNavigation();
    addViews();
    addApp();
    // Besides the commands on the selection, these work on the pane's items too.
    for (const char *id : {Cmd::copy, Cmd::cut, Cmd::paste, Cmd::selectAll, Cmd::newFolder, Cmd::newFile,
                           Cmd::copyPath, Cmd::quickLook, Cmd::otherSide})
        entry(action(QString::fromUtf8(id))).onFiles = true;
    watchState();
    watchPanes();
    retitle();
}

PaneModel *Commands::pane() const {
    return m_app->activePane();
}

QStringList Commands::selected() const {
    return m_app->activePane()->selectedPaths();
}

TabGroup *Commands::group() const {
    return m_app->sides().tabs(m_app->sides().active());
}

void Commands::watchState() {
    // A setting written on every step of a drag must not cost every command each time.
    connect(&m_app->settings(), &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::language) retitle();
        updateWhere([key](const Entry &e) { return e.settings.contains(key); });
    });
    connect(&m_app->sides(), &Sides::activeChanged, this, &Commands::update);
    // A pane's own changes come through watchPanes, each re-evaluating only the commands that read it.
    connect(&m_app->requests(), &WindowRequests::changed, this, &Commands::update);
    connect(&m_app->clipboard(), &Clipboard::cutPathsChanged, this, &Commands::update);
    connect(&m_app->undoJournal(), &UndoJournal::changed, this, &Commands::update);
    connect(&m_app->jobs(), &JobRunner::finished, this, [this] { updateFor(listing); });
    // Whether the Trash holds anything is looked up off the window's thread; a new answer re-evaluates.
    connect(&m_app->trash().lookup(), &TrashLookup::changed, this, [this] { updateFor(trashAnswer); });
    m_app->trash().lookup().refresh();
    for (TabGroup *g : {m_app->sides().leftTabs(), m_app->sides().rightTabs()}) {
        connect(g, &TabGroup::indexChanged, this, &Commands::watchPanes);
        connect(g, &TabGroup::tabsChanged, this, &Commands::watchPanes);
    }
    // The edit commands follow the focus: a text field has its own undo, redo and clipboard.
    if (qApp)
        connect(qApp, &QApplication::focusChanged, this, [this] {
            watchText();
            update();
        });
}

QAction *Commands::add(const ActionDef &def, std::function<void()> run) {
    auto *action = new QAction(this);
    if (def.id) action->setObjectName(QString::fromUtf8(def.id));
    action->setShortcuts(def.keys);
    action->setShortcutContext(def.context);
    Entry e;
    e.monitorKeys = def.monitorKeys;
    if (def.id) e.titleKey = QString::fromUtf8(def.title ? def.title : def.id);
    if (def.help) e.help = QString::fromUtf8(def.help);
    if (def.symbol) {
        e.symbol = QString::fromLatin1(def.symbol);
        action->setIcon(Symbols::icon(e.symbol));
    }
    if (run)
        connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
            if (m_app) run();
        });
    e.when = def.when;
    e.onFiles = def.when != When::always;
    if (def.when != When::always) e.paneFacts = selection;
    m_actions << action;
    m_entries.insert(action, std::move(e));
    return action;
}

Commands::Entry &Commands::entry(const QAction *action) {
    return m_entries[action];
}

const Commands::Entry *Commands::find(const QAction *action) const {
    const auto it = m_entries.constFind(action);
    return it == m_entries.cend() ? nullptr : &*it;
}

void Commands::face(QAction *action, const char *help, int chapter) {
    Entry &e = entry(action);
    e.face = help;
    e.chapter = chapter;
}

void Commands::needsSheet(QAction *action, SheetPresenter::Sheet sheet) {
    Entry &s = entry(action);
    auto before = std::move(s.rule);
    s.rule = [this, sheet, before] { return (!before || before()) && m_sheets && m_sheets->canShow(sheet); };
}

void Commands::buildTagMenu(QAction *tags) {
    // The active pane's selection when the menu opens, in no particular order: only membership counts.
    auto menu = std::make_unique<TagMenu>(m_app->items(), [this] {
        if (!m_app) return QStringList();
        const QSet<QString> &selection = m_app->activePane()->selection();
        return QStringList(selection.begin(), selection.end());
    });
    menu->setListed([this] { return m_app ? m_app->activePane()->visibleItems() : QList<FileItem>(); });
    tags->setMenu(menu.get());
    m_tagMenu = std::move(menu);
}

QAction *Commands::action(const QString &id) const {
    for (QAction *a : m_actions)
        if (a->objectName() == id) return a;
    return nullptr;
}

QAction *Commands::byMonitorKey(const QKeySequence &key) const {
    for (QAction *a : m_actions)
        if (monitorKeys(a).contains(key)) return a;
    return nullptr;
}

QAction *Commands::aheadOf(const QKeySequence &key) const {
    for (QAction *a : m_actions)
        if (a->isEnabled() && find(a)->aheadKeys.contains(key)) return a;
    return nullptr;
}

bool Commands::inTextFields(const QAction *action) const {
    const Entry *e = find(action);
    return e && e->inTextFields;
}

bool Commands::actsOnFiles(const QAction *action) const {
    const Entry *e = find(action);
    return e && e->onFiles;
}

bool Commands::forFiles(const QKeySequence &key) const {
    for (QAction *a : m_actions)
        if (actsOnFiles(a) && (a->shortcuts().contains(key) || monitorKeys(a).contains(key))) return true;
    return false;
}

QList<QKeySequence> Commands::monitorKeys(const QAction *action) const {
    const Entry *e = find(action);
    return e ? e->monitorKeys : QList<QKeySequence>();
}

QString Commands::helpKey(const QAction *action) const {
    const Entry *e = find(action);
    return e ? e->help : QString();
}

QString Commands::symbol(const QAction *action) const {
    const Entry *e = find(action);
    return e ? e->symbol : QString();
}

QString Commands::titleKey(const QAction *action) const {
    const Entry *e = find(action);
    return e ? e->titleKey : QString();
}

QString Commands::faceHelp(const QAction *action) const {
    const Entry *e = find(action);
    if (!e) return {};
    if (e->formedFace) return e->formedFace();
    if (e->face) return L(e->face);
    // A title that follows the state is read now: the button may ask before the registry re-evaluated.
    return L(e->followedTitle ? e->followedTitle() : e->titleKey);
}

int Commands::faceChapter(const QAction *action) const {
    const Entry *e = find(action);
    return e ? e->chapter : 0;
}

void Commands::bindButton(QAbstractButton *button, QAction *action, std::function<void()> before) const {
    if (!button || !action) return;
    const QString help = helpKey(action), title = titleKey(action);
    if (auto *icon = qobject_cast<IconButton *>(button)) {
        icon->setHelpKey(help.isEmpty() ? title : help); // shown in the language of the moment
    } else {
        auto follow = [button, action, title] {
            button->setToolTip(action->toolTip());
            button->setAccessibleName(L(title));
        };
        follow();
        connect(action, &QAction::changed, button, follow);
    }
    connect(button, &QAbstractButton::clicked, action, [action, before = std::move(before)] {
        if (before) before();
        action->trigger();
    });
}

void Commands::attach(QWidget *window) {
    if (m_window)
        for (QAction *a : std::as_const(m_actions))
            m_window->removeAction(a);
    m_window = window;
    // Only actions with keys of their own: the others would add nothing but ambiguity.
    for (QAction *a : std::as_const(m_actions))
        if (!a->shortcuts().isEmpty()) window->addAction(a);
}

void Commands::setSheets(SheetPresenter *sheets) {
    disconnect(m_sheetsChanged);
    m_sheets = sheets;
    if (sheets) m_sheetsChanged = connect(sheets, &SheetPresenter::sheetsChanged, this, &Commands::update);
    update();
}

void Commands::applyTitle(QAction *a) {
    // The first key of its own and the first the monitor serves, in the words of the language; menus show
    // this instead of Qt's own rendering of the shortcut.
    Entry &e = entry(a);
    QStringList hints;
    if (!a->shortcuts().isEmpty()) hints << keyText(a->shortcuts().first());
    if (!e.monitorKeys.isEmpty()) hints << keyText(e.monitorKeys.first());
    const QString hint = hints.join(QStringLiteral(", "));
    if (e.formed) {
        // Formed from data (a journal title, a format): not keyed, so the menu re-titling leaves it alone.
        e.titleKey.clear();
        const QString text = e.formed();
        QString shown = MenuLocalizer::titled(a, text);
        if (!hint.isEmpty()) shown += u'\t' + hint;
        if (a->text() != shown) a->setText(shown);
        a->setIconText(menuEscaped(text));
        a->setToolTip(e.help.isEmpty() ? text : L(e.help));
        return;
    }
    if (e.followedTitle) e.titleKey = e.followedTitle();
    MenuLocalizer::setKeyHint(a, hint);
    MenuLocalizer::setKey(a, e.titleKey);
    a->setIconText(menuEscaped(L(e.titleKey)));
    a->setToolTip(e.help.isEmpty() ? L(e.titleKey) : L(e.help));
}

void Commands::retitle() {
    for (QAction *a : std::as_const(m_actions))
        applyTitle(a);
    if (m_tagMenu) MenuLocalizer::walk(m_tagMenu.get());
}

void Commands::watchPanes() {
    for (const auto &c : std::as_const(m_paneConnections))
        disconnect(c);
    m_paneConnections.clear();
    // The cursor, free space and searches change no command's state; a listing only what shows the Trash.
    for (PaneModel *pane : {m_app->left(), m_app->right()}) {
        m_paneConnections << connect(pane, &PaneModel::selectionChanged, this,
                                     [this] { updateFor(selection); });
        for (auto signal : {&PaneModel::currentPathChanged, &PaneModel::crumbsChanged,
                            &PaneModel::backStackChanged, &PaneModel::forwardStackChanged})
            m_paneConnections << connect(pane, signal, this, [this] { updateFor(place); });
        m_paneConnections << connect(pane, &PaneModel::viewModeChanged, this, [this] { updateFor(view); });
        m_paneConnections << connect(pane, &PaneModel::listed, this, [this] { updateFor(listing); });
    }
    update();
}

void Commands::watchText() {
    disconnect(m_textConnection);
    QWidget *text = focusedText();
    const auto changed = [this] { updateFor(textField); };
    if (auto *line = qobject_cast<QLineEdit *>(text))
        m_textConnection = connect(line, &QLineEdit::textChanged, this, changed);
    else if (auto *rich = qobject_cast<QTextEdit *>(text))
        m_textConnection = connect(rich->document(), &QTextDocument::redoAvailable, this, changed);
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(text))
        m_textConnection = connect(plain->document(), &QTextDocument::redoAvailable, this, changed);
}

void Commands::update() {
    updateFor(~0u);
}

void Commands::updateFor(unsigned facts) {
    // What shows or changes the Trash may have changed what it holds: asked again, answered later.
    if (m_app && facts != ~0u && (facts & (listing | place))) m_app->trash().lookup().refresh();
    updateWhere([facts](const Entry &e) { return facts == ~0u || (e.paneFacts & facts); });
}

void Commands::updateWhere(const std::function<bool(const Entry &)> &picked) {
    if (!m_app) return;
    const bool left = !m_app->left()->selection().isEmpty();
    const bool right = !m_app->right()->selection().isEmpty();
    const bool active = m_app->sides().active() == Side::left ? left : right;
    for (QAction *a : std::as_const(m_actions)) {
        const Entry &e = *find(a);
        if (picked(e)) evaluate(a, e, left, right, active);
    }
}

void Commands::evaluate(QAction *a, const Entry &e, bool left, bool right, bool active) {
    ++m_evaluations;
    const When when = e.when;
    const bool enabled = (when == When::always || (when == When::selection && active) ||
                          (when == When::leftSelection && left) || (when == When::rightSelection && right)) &&
                         (!e.rule || e.rule());
    if (a->isEnabled() != enabled) a->setEnabled(enabled);
    if (e.checked && a->isChecked() != e.checked()) a->setChecked(e.checked());
    if (e.followedTitle || e.formed) applyTitle(a);
}
