#include "ui/app/Commands.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "core/model/Tags.h"
#include "ui/app/AboutPanel.h"
#include "ui/settings/SettingsWindow.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/panecontent/TagMenu.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/Symbols.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

namespace {

constexpr const char *monitorKeysProperty = "kestrinMonitorKeys";
constexpr const char *aheadKeysProperty = "kestrinAheadKeys";
constexpr const char *inTextFieldsProperty = "kestrinInTextFields";
constexpr const char *helpProperty = "kestrinHelpKey";
constexpr const char *symbolProperty = "kestrinSymbol";
constexpr const char *titleProperty = "kestrinTitleKey";

QKeySequence keys(QKeyCombination combination) {
    return QKeySequence(combination);
}

// The standard editing actions of a text widget; false when the widget is none.
bool edit(QWidget *text, const char *command) {
    const QByteArray c(command);
    if (auto *line = qobject_cast<QLineEdit *>(text)) {
        if (c == "undo") line->undo();
        if (c == "redo") line->redo();
        if (c == "cut") line->cut();
        if (c == "copy") line->copy();
        if (c == "paste") line->paste();
        if (c == "selectAll") line->selectAll();
        return true;
    }
    if (auto *rich = qobject_cast<QTextEdit *>(text)) {
        if (c == "undo") rich->undo();
        if (c == "redo") rich->redo();
        if (c == "cut") rich->cut();
        if (c == "copy") rich->copy();
        if (c == "paste") rich->paste();
        if (c == "selectAll") rich->selectAll();
        return true;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(text)) {
        if (c == "undo") plain->undo();
        if (c == "redo") plain->redo();
        if (c == "cut") plain->cut();
        if (c == "copy") plain->copy();
        if (c == "paste") plain->paste();
        if (c == "selectAll") plain->selectAll();
        return true;
    }
    return false;
}

bool textCanRedo(QWidget *text) {
    if (auto *line = qobject_cast<QLineEdit *>(text)) return line->isRedoAvailable();
    if (auto *rich = qobject_cast<QTextEdit *>(text)) return rich->document()->isRedoAvailable();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(text)) return plain->document()->isRedoAvailable();
    return false;
}

// German keyboards name their keys in German; elsewhere the English names are printed on the keys.
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
    return Lang::current() == AppLanguage::de ? german.value(word, word) : word;
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

Commands *Commands::of(AppState *app) {
    if (!app) return nullptr;
    if (auto *found = app->findChild<Commands *>(QString(), Qt::FindDirectChildrenOnly)) return found;
    auto *commands = new Commands(app);
    // Gone before the state's tab groups, whose teardown would otherwise reach the enabled rules.
    connect(app, &QObject::destroyed, commands, [commands] { delete commands; });
    return commands;
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

Commands::Commands(AppState *app) : QObject(app), m_app(app) {
    using S = Entry;
    using W = When;
    using Sheet = SheetPresenter::Sheet;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
    auto selected = [this] { return m_app->activePane()->selectedPaths(); };
    auto pane = [this] { return m_app->activePane(); };
    auto group = [this] { return m_app->sides().tabs(m_app->sides().active()); };

    // Transfers: the direction belongs to the command, whichever side is active.
    struct Transfer {
        const char *id, *symbol, *help;
        QKeyCombination key;
        Side from;
        bool move;
    };
    for (const Transfer &t : {
             Transfer{Cmd::copyToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner kopieren"),
                      ctrl | shift | Qt::Key_Left, Side::right, false},
             Transfer{Cmd::copyToRight, "arrow.right", K("Auswahl links in den rechten Ordner kopieren"),
                      ctrl | shift | Qt::Key_Right, Side::left, false},
             Transfer{Cmd::moveToLeft, "arrow.left", K("Auswahl rechts in den linken Ordner verschieben"),
                      alt | shift | Qt::Key_Left, Side::right, true},
             Transfer{Cmd::moveToRight, "arrow.right", K("Auswahl links in den rechten Ordner verschieben"),
                      alt | shift | Qt::Key_Right, Side::left, true},
         })
        add(S{t.id,
              t.symbol,
              t.help,
              {keys(t.key)},
              {},
              t.from == Side::left ? W::leftSelection : W::rightSelection},
            [this, t] { m_app->transfers().transferSelection(t.from, t.move); });
    // Some window managers take Alt+Shift+arrows: F6 moves to the other pane.
    add(S{Cmd::moveToOther, nullptr, nullptr, {keys(Qt::Key_F6)}, {}, W::selection},
        [this] { m_app->transfers().transferSelection(m_app->sides().active(), true); });

    // Items.
    add(S{Cmd::newFolder, "folder.badge.plus", nullptr, {keys(ctrl | shift | Qt::Key_N)}},
        [this] { m_app->renames().newFolder(); });
    add(S{Cmd::newFile, "doc.badge.plus"}, [this] { m_app->renames().newFile(); });
    // Several items are renamed in the batch rename sheet.
    QAction *rename = add(S{Cmd::rename,
                            "pencil",
                            nullptr,
                            {keys(Qt::Key_F2)},
                            {},
                            W::selection,
                            Qt::WindowShortcut,
                            K("Umbenennen …")},
                          [this] { m_app->renames().renameSelection(); });
    state(rename).rule = [this] {
        return m_app->activePane()->selection().size() < 2 ||
               (m_sheets && m_sheets->canShow(Sheet::batchRename));
    };
    state(rename).paneFacts = selection;
    add(S{Cmd::open,
          nullptr,
          nullptr,
          {},
          {keys(Qt::Key_Return), keys(Qt::Key_Enter), keys(ctrl | Qt::Key_Down)},
          W::selection},
        [this] { m_app->items().openSelection(); });
    add(S{Cmd::trash,
          "trash",
          K("In den Papierkorb legen (Entf)"),
          {keys(Qt::Key_Delete), keys(ctrl | Qt::Key_Backspace)},
          {},
          W::selection},
        [this] { m_app->trash().trashSelection(); });
    QAction *emptyTrash = add(S{Cmd::emptyTrash,
                                "trash",
                                K("Alles im Papierkorb endgültig löschen (⇧⌘⌫)"),
                                {keys(ctrl | shift | Qt::Key_Backspace)}},
                              [this] { m_app->trash().emptyTrash(); });
    state(emptyTrash).rule = [this] {
        const QStringList folders =
            m_app->services().trashFolders ? m_app->services().trashFolders() : FileLoader::allTrashFolders();
        return std::any_of(folders.cbegin(), folders.cend(), [](const QString &folder) {
            return !QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                         QDir::System);
        });
    };
    // What is in the Trash shows in a listing, on a move to another folder, or changes with a job.
    state(emptyTrash).paneFacts = listing | place;
    // One rule for every undo entry: enabled while the journal holds something.
    QAction *undo = add(S{Cmd::undo, "arrow.uturn.backward", nullptr, {}, {keys(ctrl | Qt::Key_Z)}},
                        [this] { m_app->fileActions().undoLast(); });
    state(undo).rule = [this] { return !m_app->undoJournal().entries().isEmpty(); };
    state(undo).formed = [this] {
        const auto title = m_app->undoJournal().undoTitle();
        return title ? LF("Rückgängig: %@", *title) : L("Rückgängig");
    };
    // Until the preview exists, Space and the entry do nothing, so the entry is off.
    QAction *quick =
        add(S{Cmd::quickLook, nullptr, nullptr, {keys(ctrl | Qt::Key_Y)}, {keys(Qt::Key_Space)}}, [this] {
            if (m_app->requests().quickLook) m_app->requests().quickLook();
        });
    state(quick).rule = [this] { return bool(m_app->requests().quickLook); };

    // Edit: a focused text field gets the standard action; otherwise the files are meant.
    QAction *editUndo = add(S{Cmd::editUndo}, [this] {
        if (!edit(focusedText(), "undo")) m_app->fileActions().undoLast();
    });
    state(editUndo).rule = [this] { return focusedText() || !m_app->undoJournal().entries().isEmpty(); };
    QAction *editRedo = add(S{Cmd::editRedo, nullptr, nullptr, {keys(ctrl | shift | Qt::Key_Z)}},
                            [] { edit(focusedText(), "redo"); });
    // The file journal has no redo.
    state(editRedo).rule = [] { return textCanRedo(focusedText()); };
    state(editRedo).paneFacts = textField;
    // The file clipboard's keys are the monitor's: a text field with the focus keeps them.
    QAction *copy =
        add(S{Cmd::copy, "doc.on.doc", K("Kopieren (⌘C)"), {}, {keys(ctrl | Qt::Key_C)}}, [this, selected] {
            if (!edit(focusedText(), "copy")) m_app->clipboard().copy(selected());
        });
    QAction *cut =
        add(S{Cmd::cut, "scissors", K("Ausschneiden (⌘X)"), {}, {keys(ctrl | Qt::Key_X)}}, [this, selected] {
            if (!edit(focusedText(), "cut")) m_app->clipboard().cut(selected());
        });
    for (QAction *a : {copy, cut}) {
        state(a).rule = [this] { return focusedText() || !m_app->activePane()->selection().isEmpty(); };
        state(a).paneFacts = selection;
    }
    add(S{Cmd::paste, "doc.on.clipboard", K("Einsetzen (⌘V)"), {}, {keys(ctrl | Qt::Key_V)}}, [this] {
        if (!edit(focusedText(), "paste")) m_app->clipboard().paste(m_app->activePane()->targetFolder());
    });
    add(S{Cmd::selectAll, nullptr, nullptr, {}, {keys(ctrl | Qt::Key_A)}}, [this] {
        if (!edit(focusedText(), "selectAll")) m_app->activePane()->selectAll();
    });
    add(S{Cmd::deselect, nullptr, nullptr, {}, {keys(Qt::Key_Escape)}, W::selection},
        [this] { m_app->activePane()->setSelection({}); });

    add(S{Cmd::share, "square.and.arrow.up", K("Teilen"), {}, {}, W::selection},
        [this, selected] { m_app->items().share(selected()); });
    QAction *tags = add(S{Cmd::tags, "tag", K("Tags"), {}, {}, W::selection}, nullptr);
    buildTagMenu(tags);
    needsSheet(add(S{Cmd::info, "info.circle", K("Informationen"), {}, {}, W::selection},
                   [this, selected] { m_app->items().showInfo(selected()); }),
               Sheet::info);

    // The "Dateien" menu.
    add(S{Cmd::goToFolder,
          "arrow.right.to.line",
          K("Gehe zu Ordner … (⇧⌘G)"),
          {keys(ctrl | shift | Qt::Key_G), keys(ctrl | Qt::Key_L)}},
        [this] { m_app->items().goToFolder(); });
    add(S{Cmd::duplicate, "plus.square.on.square", nullptr, {keys(ctrl | Qt::Key_D)}, {}, W::selection},
        [this, selected] { m_app->fileActions().duplicate(selected()); });
    add(S{Cmd::compressZip, nullptr, nullptr, {}, {}, W::selection},
        [this, selected] { m_app->fileActions().compress(selected(), ArchiveFormat::zip); });
    for (ArchiveFormat format : Archive::otherFormats()) {
        QAction *a = add(S{nullptr, nullptr, nullptr, {}, {}, W::selection},
                         [this, selected, format] { m_app->fileActions().compress(selected(), format); });
        a->setObjectName(Cmd::compressAsId(format));
        state(a).formed = [format] { return Archive::title(format); };
    }
    QAction *extract = add(S{Cmd::extract, "arrow.up.bin", nullptr, {}, {}, W::selection},
                           [this, selected] { m_app->fileActions().extract(selected()); });
    // Something in the selection must be an archive.
    state(extract).rule = [this] {
        const QSet<QString> &selection = m_app->activePane()->selection();
        return std::any_of(selection.cbegin(), selection.cend(),
                           [](const QString &path) { return Archive::canExtract(path.section(u'/', -1)); });
    };
    add(S{Cmd::alias, "link", nullptr, {keys(ctrl | shift | Qt::Key_M)}, {}, W::selection},
        [this, selected] { m_app->fileActions().makeAlias(selected()); });
    QAction *putBack = add(
        S{Cmd::putBack, nullptr, K("Markierte Objekte an ihren alten Ort zurücklegen"), {}, {}, W::selection},
        [this, selected] { m_app->fileActions().putBack(selected()); });
    state(putBack).rule = [this] {
        const QSet<QString> &selection = m_app->activePane()->selection();
        return ItemMenu::allInTrash(QStringList(selection.cbegin(), selection.cend()));
    };
    // Without a selection the path of the shown folder.
    add(S{Cmd::copyPath, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_C)}}, [this, selected] {
        const QStringList paths = selected();
        m_app->clipboard().copyPath(paths.isEmpty() ? QStringList{m_app->activePane()->currentPath()}
                                                    : paths);
    });
    add(S{Cmd::terminal, "terminal"}, [this] { m_app->items().openFolderInTerminal(); });
    add(S{Cmd::textEditor}, [this] { m_app->items().openInTextEdit(); });
    add(S{Cmd::showInFileManager, "folder", nullptr, {}, {}, W::selection},
        [this, selected] { m_app->items().showInFileManager(selected()); });
    needsSheet(add(S{Cmd::compare, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_Y)}},
                   [this] { m_app->items().openCompare(); }),
               Sheet::compare);
    needsSheet(add(S{Cmd::rules}, [this] { m_app->requests().setShowRules(true); }), Sheet::rules);
    needsSheet(add(S{Cmd::storage, "chart.pie"}, [this] { m_app->items().openStorageAnalysis(); }),
               Sheet::storage);
    needsSheet(add(S{Cmd::shortcuts, "keyboard"}, [this] { m_app->requests().setShowShortcuts(true); }),
               Sheet::shortcuts);
    needsSheet(add(S{Cmd::terminalHelp, "terminal"}, [this] { m_app->requests().setShowTerminalHelp(true); }),
               Sheet::terminalHelp);
    add(S{Cmd::trashDiagnosis}, [this] { m_app->trash().trashDiagnosis(); });
    add(S{Cmd::activateLeft, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_1)}},
        [this] { m_app->sides().setActive(Side::left); });
    QAction *activateRight = add(S{Cmd::activateRight, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_2)}},
                                 [this] { m_app->sides().setActive(Side::right); });
    // One pane shows only the left side.
    state(activateRight).rule = [this] { return m_app->settings().dualPane(); };
    QAction *otherSide = add(S{Cmd::otherSide, nullptr, nullptr, {}, {keys(Qt::Key_Tab)}}, [this] {
        m_app->sides().setActive(m_app->sides().active() == Side::left ? Side::right : Side::left);
    });
    state(otherSide).rule = [this] { return m_app->settings().dualPane(); };
    QAction *back =
        add(S{Cmd::back,
              "chevron.left",
              nullptr,
              {keys(ctrl | Qt::Key_BracketLeft), keys(alt | Qt::Key_Left), keys(Qt::Key_Backspace)}},
            [pane] { pane()->goBack(); });
    state(back).rule = [pane] { return pane()->canGoBack(); };
    state(back).paneFacts = place;
    QAction *forward = add(S{Cmd::forward,
                             "chevron.right",
                             nullptr,
                             {keys(ctrl | Qt::Key_BracketRight), keys(alt | Qt::Key_Right)}},
                           [pane] { pane()->goForward(); });
    state(forward).rule = [pane] { return pane()->canGoForward(); };
    state(forward).paneFacts = place;
    QAction *up = add(S{Cmd::up, "arrow.up", nullptr, {keys(ctrl | Qt::Key_Up), keys(alt | Qt::Key_Up)}},
                      [pane] { pane()->goUp(); });
    state(up).rule = [pane] { return pane()->canGoUp(); };
    state(up).paneFacts = place;
    add(S{Cmd::refresh, "arrow.clockwise", nullptr, {keys(ctrl | Qt::Key_R), keys(Qt::Key_F5)}},
        [this] { m_app->sides().refreshAll(); });

    // View.
    for (const auto &[id, mode, key] : {std::tuple{Cmd::asIcons, ViewMode::icons, Qt::Key_1},
                                        std::tuple{Cmd::asList, ViewMode::list, Qt::Key_2},
                                        std::tuple{Cmd::asColumns, ViewMode::columns, Qt::Key_3}}) {
        QAction *a =
            add(S{id, nullptr, nullptr, {keys(ctrl | key)}}, [pane, mode] { pane()->setViewMode(mode); });
        a->setCheckable(true);
        state(a).checked = [pane, mode] { return pane()->viewMode() == mode; };
        state(a).paneFacts = view;
    }
    QAction *hidden = add(
        S{Cmd::showHidden, nullptr, nullptr, {keys(ctrl | Qt::Key_H)}, {keys(ctrl | shift | Qt::Key_Period)}},
        [this] { m_app->settings().setShowHidden(!m_app->settings().showHidden()); });
    hidden->setCheckable(true);
    // Layouts put the period's shifted character on different keys; the monitor reads them all as the
    // period, whatever has the focus.
    hidden->setProperty(inTextFieldsProperty, true);
    state(hidden).checked = [this] { return m_app->settings().showHidden(); };
    QAction *sidebar = add(S{Cmd::sidebar, "sidebar.left", nullptr, {keys(ctrl | alt | Qt::Key_S)}},
                           [this] { m_app->settings().setShowSidebar(!m_app->settings().showSidebar()); });
    state(sidebar).titleKey = [this] {
        return QString::fromUtf8(m_app->settings().showSidebar() ? K("Seitenleiste ausblenden")
                                                                 : K("Seitenleiste einblenden"));
    };
    QAction *inspector = add(S{Cmd::inspector, nullptr, nullptr, {keys(ctrl | alt | Qt::Key_I)}}, [this] {
        m_app->settings().setShowInspector(!m_app->settings().showInspector());
    });
    state(inspector).titleKey = [this] {
        return QString::fromUtf8(m_app->settings().showInspector() ? K("Info-Leiste ausblenden")
                                                                   : K("Info-Leiste einblenden"));
    };
    QAction *dual = add(S{Cmd::dualPane, "rectangle.split.2x1", nullptr, {keys(ctrl | alt | Qt::Key_P)}},
                        [this] { m_app->settings().setDualPane(!m_app->settings().dualPane()); });
    state(dual).titleKey = [this] {
        return QString::fromUtf8(m_app->settings().dualPane() ? K("Nur ein Fenster zeigen")
                                                              : K("Zwei Fenster nebeneinander zeigen"));
    };
    add(S{Cmd::newTab, "plus", K("Neuer Tab (⌘T)"), {}, {keys(ctrl | Qt::Key_T)}},
        [group] { group()->newTab(); });
    // The last tab stays. Ctrl+W is the window's; while the side has several tabs it closes the tab first.
    QAction *closeTab = add(S{Cmd::closeTab}, [group] { group()->close(group()->index()); });
    closeTab->setProperty(aheadKeysProperty,
                          QVariant::fromValue(QList<QKeySequence>{keys(ctrl | Qt::Key_W)}));
    state(closeTab).rule = [group] { return group()->tabs().size() > 1; };
    // Shift turns the bracket into a brace on most layouts, and a shortcut for each form would make one
    // press match twice, which Qt answers with nothing: the monitor reads both forms as the bracket.
    QAction *nextTab = add(S{Cmd::nextTab,
                             nullptr,
                             nullptr,
                             {keys(ctrl | Qt::Key_PageDown)},
                             {keys(ctrl | shift | Qt::Key_BracketRight)}},
                           [group] { group()->selectNext(1); });
    QAction *previousTab = add(S{Cmd::previousTab,
                                 nullptr,
                                 nullptr,
                                 {keys(ctrl | Qt::Key_PageUp)},
                                 {keys(ctrl | shift | Qt::Key_BracketLeft)}},
                               [group] { group()->selectNext(-1); });
    for (QAction *a : {nextTab, previousTab})
        state(a).rule = [group] { return group()->tabs().size() > 1; };

    // Help and the application.
    // Ctrl+? is typed with Shift on most layouts: the monitor reads Ctrl+?, Ctrl+Shift+? and Ctrl+Shift+/ as
    // the one key (two shortcuts would both match the press and neither would fire).
    QAction *manual = add(
        S{Cmd::manual, "questionmark.circle", nullptr, {keys(Qt::Key_F1)}, {keys(ctrl | Qt::Key_Question)}},
        [this] { m_app->requests().openManual(std::nullopt); });
    manual->setProperty(inTextFieldsProperty, true);
    needsSheet(add(S{Cmd::feedback}, [this] { m_app->requests().setShowFeedback(true); }), Sheet::feedback);
    add(S{Cmd::about, "info.circle"}, [this] { AboutPanel::openPanel(); });
    // Ctrl+Q and Ctrl+W work from every window, as Linux users expect; closing asks first while a job runs.
    add(S{Cmd::closeWindow,
          nullptr,
          nullptr,
          {keys(ctrl | Qt::Key_W)},
          {},
          W::always,
          Qt::ApplicationShortcut},
        [this] {
            // The window that has the focus: Ctrl+W in the settings or the manual closes that one.
            QWidget *focused = QApplication::activeWindow();
            if (QWidget *w = focused ? focused : m_window.data()) w->close();
        });
    add(S{Cmd::quit, nullptr, nullptr, {keys(ctrl | Qt::Key_Q)}, {}, W::always, Qt::ApplicationShortcut},
        [this] {
            if (m_window) m_window->close();
        });
    add(S{Cmd::settings, "gearshape", K("Einstellungen (⌘,)"), {keys(ctrl | Qt::Key_Comma)}},
        [this] { SettingsWindow::open(m_app); });

    connect(&m_app->settings(), &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::language) retitle();
        update();
    });
    connect(&m_app->sides(), &Sides::activeChanged, this, &Commands::update);
    // Not sideChanged: it passes on every change of a pane; the pane facts come through watchPanes.
    connect(&m_app->requests(), &WindowRequests::changed, this, &Commands::update);
    connect(&m_app->clipboard(), &Clipboard::cutPathsChanged, this, &Commands::update);
    connect(&m_app->undoJournal(), &UndoJournal::changed, this, &Commands::update);
    connect(&m_app->jobs(), &JobRunner::finished, this, [this] { updateFor(listing); });
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
    watchPanes();
    retitle();
}

QAction *Commands::add(const Entry &entry, std::function<void()> run) {
    auto *action = new QAction(this);
    if (entry.id) action->setObjectName(QString::fromUtf8(entry.id));
    action->setShortcuts(entry.keys);
    action->setShortcutContext(entry.context);
    action->setProperty(monitorKeysProperty, QVariant::fromValue(entry.monitorKeys));
    if (entry.id) action->setProperty(titleProperty, QString::fromUtf8(entry.title ? entry.title : entry.id));
    if (entry.help) action->setProperty(helpProperty, QString::fromUtf8(entry.help));
    if (entry.symbol) {
        action->setProperty(symbolProperty, QString::fromLatin1(entry.symbol));
        action->setIcon(Symbols::icon(QString::fromLatin1(entry.symbol)));
    }
    if (run)
        connect(action, &QAction::triggered, this, [this, run = std::move(run)] {
            if (m_app) run();
        });
    m_actions << action;
    State state;
    state.when = entry.when;
    if (entry.when != When::always) state.paneFacts = selection;
    m_states << state;
    return action;
}

Commands::State &Commands::state(QAction *action) {
    return m_states[m_actions.indexOf(action)];
}

void Commands::needsSheet(QAction *action, SheetPresenter::Sheet sheet) {
    State &s = state(action);
    auto before = std::move(s.rule);
    s.rule = [this, sheet, before] { return (!before || before()) && m_sheets && m_sheets->canShow(sheet); };
}

void Commands::buildTagMenu(QAction *tags) {
    // The active pane's selection when the menu opens, in no particular order: only membership counts.
    m_tagMenu = std::make_unique<TagMenu>(m_app->items(), [this] {
        if (!m_app) return QStringList();
        const QSet<QString> &selection = m_app->activePane()->selection();
        return QStringList(selection.begin(), selection.end());
    });
    tags->setMenu(m_tagMenu.get());
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
        if (a->isEnabled() && a->property(aheadKeysProperty).value<QList<QKeySequence>>().contains(key))
            return a;
    return nullptr;
}

bool Commands::inTextFields(const QAction *action) {
    return action && action->property(inTextFieldsProperty).toBool();
}

QList<QKeySequence> Commands::monitorKeys(const QAction *action) {
    return action ? action->property(monitorKeysProperty).value<QList<QKeySequence>>()
                  : QList<QKeySequence>();
}

QString Commands::helpKey(const QAction *action) {
    return action ? action->property(helpProperty).toString() : QString();
}

QString Commands::symbol(const QAction *action) {
    return action ? action->property(symbolProperty).toString() : QString();
}

QString Commands::titleKey(const QAction *action) {
    return action ? action->property(titleProperty).toString() : QString();
}

void Commands::bindButton(QAbstractButton *button, QAction *action, std::function<void()> before) {
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
    QStringList hints;
    if (!a->shortcuts().isEmpty()) hints << keyText(a->shortcuts().first());
    if (!monitorKeys(a).isEmpty()) hints << keyText(monitorKeys(a).first());
    const QString hint = hints.join(QStringLiteral(", "));
    const State &s = state(a);
    if (s.formed) {
        // Formed from data (a journal title, a format): not keyed, so the menu re-titling leaves it alone.
        a->setProperty(titleProperty, QString());
        const QString text = s.formed();
        QString shown = MenuLocalizer::titled(a, text);
        if (!hint.isEmpty()) shown += u'\t' + hint;
        if (a->text() != shown) a->setText(shown);
        a->setIconText(menuEscaped(text));
        const QString help = helpKey(a);
        a->setToolTip(help.isEmpty() ? text : L(help));
        return;
    }
    if (s.titleKey) a->setProperty(titleProperty, s.titleKey());
    const QString key = titleKey(a);
    MenuLocalizer::setKeyHint(a, hint);
    MenuLocalizer::setKey(a, key);
    a->setIconText(menuEscaped(L(key)));
    const QString help = helpKey(a);
    a->setToolTip(help.isEmpty() ? L(key) : L(help));
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
    if (!m_app) return;
    const bool left = !m_app->left()->selection().isEmpty();
    const bool right = !m_app->right()->selection().isEmpty();
    const bool active = m_app->sides().active() == Side::left ? left : right;
    for (qsizetype i = 0; i < m_actions.size(); ++i)
        if (facts == ~0u || (m_states[i].paneFacts & facts)) evaluate(i, left, right, active);
}

void Commands::evaluate(qsizetype i, bool left, bool right, bool active) {
    ++m_evaluations;
    QAction *a = m_actions[i];
    const State &s = m_states[i];
    const When when = s.when;
    const bool enabled = (when == When::always || (when == When::selection && active) ||
                          (when == When::leftSelection && left) || (when == When::rightSelection && right)) &&
                         (!s.rule || s.rule());
    if (a->isEnabled() != enabled) a->setEnabled(enabled);
    if (s.checked && a->isChecked() != s.checked()) a->setChecked(s.checked());
    if (s.titleKey || s.formed) applyTitle(a);
}
