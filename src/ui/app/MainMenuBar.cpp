#include "ui/app/MainMenuBar.h"

#include "core/app/Settings.h"
#include "core/fileops/ArchiveFormat.h"
#include "core/localisation/AppLanguage.h"
#include "ui/app/Commands.h"
#include "ui/help/HelpChaptersMenu.h"
#include "ui/style/MenuLocalizer.h"

#include <QAction>
#include <QMenu>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace {

// Styles mark a title of the bar only while its menu is open. In the bar's keyboard mode (F10 then
// Escape, a tap of Alt) the title the arrows are on is marked the same way, or they would move unseen.
class KeyboardModeStyle : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override {
        const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
        if (element == CE_MenuBarItem && item && widget && widget->hasFocus() &&
            (item->state & State_Selected)) {
            QStyleOptionMenuItem marked = *item;
            marked.state |= State_Sunken;
            QProxyStyle::drawControl(element, &marked, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

MainMenuBar::MainMenuBar(Commands &commands, Settings &settings, WindowRequests &requests, QWidget *parent)
    : QMenuBar(parent), m_commands(commands) {
    setObjectName(QStringLiteral("mainMenuBar"));
    auto *style = new KeyboardModeStyle;
    style->setParent(this);
    setStyle(style);
    m_file = MenuLocalizer::addMenu(this, K("Datei"));
    fill(m_file, {Cmd::newFolder, Cmd::newFile, Cmd::rename, Cmd::trash, Cmd::emptyTrash, nullptr, Cmd::undo,
                  Cmd::quickLook, nullptr, Cmd::closeWindow, Cmd::quit});

    m_edit = MenuLocalizer::addMenu(this, K("Bearbeiten"));
    fill(m_edit, {Cmd::editUndo, Cmd::editRedo, nullptr, Cmd::cut, Cmd::copy, Cmd::paste, Cmd::selectAll,
                  Cmd::deselect, nullptr, Cmd::settings});
    buildFilesMenu();
    buildViewMenu(settings);

    m_help = MenuLocalizer::addMenu(this, K("Hilfe"));
    fill(m_help, {Cmd::manual});
    m_chapters = MenuLocalizer::addMenu(m_help, K("Kapitel"));
    addHelpChapters(m_chapters, requests, settings);
    m_help->addSeparator();
    fill(m_help, {Cmd::shortcuts, Cmd::terminalHelp, nullptr, Cmd::feedback, nullptr, Cmd::about});
    // Mnemonics from the start; later passes keep them and give new titles theirs.
    MenuLocalizer::walk(this);
    // A new language re-titles the bar before the call returns: the shared pass comes only after a delay,
    // and meanwhile the titles would speak the old language over entries in the new one.
    connect(&settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key == Settings::Key::language) MenuLocalizer::walk(this);
    });
}

void MainMenuBar::fill(QMenu *menu, std::initializer_list<const char *> ids) {
    for (const char *id : ids) {
        if (!id)
            menu->addSeparator();
        else if (QAction *a = m_commands.action(QString::fromUtf8(id)))
            menu->addAction(a);
    }
}

void MainMenuBar::buildFilesMenu() {
    m_files = MenuLocalizer::addMenu(this, K("Dateien"));
    fill(m_files, {Cmd::goToFolder, Cmd::duplicate, Cmd::compressZip});
    QMenu *formats = MenuLocalizer::addMenu(m_files, Cmd::compressAs);
    for (ArchiveFormat format : Archive::otherFormats())
        formats->addAction(m_commands.action(Cmd::compressAsId(format)));
    // Greyed with its entries, as "Komprimieren (ZIP)" is, rather than opening onto greyed entries only.
    auto follow = [formats] {
        const QList<QAction *> kinds = formats->actions();
        formats->menuAction()->setEnabled(
            std::any_of(kinds.cbegin(), kinds.cend(), [](const QAction *a) { return a->isEnabled(); }));
    };
    for (QAction *kind : formats->actions())
        connect(kind, &QAction::changed, formats, follow);
    follow();
    fill(m_files, {Cmd::extract,      Cmd::alias,          nullptr,
                   Cmd::putBack,      Cmd::copyPath,       Cmd::showInFileManager,
                   Cmd::terminal,     Cmd::textEditor,     Cmd::compare,
                   Cmd::rules,        Cmd::storage,        Cmd::shortcuts,
                   Cmd::terminalHelp, Cmd::trashDiagnosis, nullptr,
                   Cmd::copyToRight,  Cmd::copyToLeft,     nullptr,
                   Cmd::moveToRight,  Cmd::moveToLeft,     Cmd::moveToOther,
                   nullptr,           Cmd::activateLeft,   Cmd::activateRight,
                   nullptr,           Cmd::back,           Cmd::forward,
                   Cmd::up,           Cmd::refresh});
}

void MainMenuBar::buildViewMenu(Settings &settings) {
    m_view = MenuLocalizer::addMenu(this, K("Ansicht"));
    fill(m_view, {Cmd::asIcons, Cmd::asList, Cmd::asColumns, nullptr, Cmd::showHidden, nullptr, Cmd::sidebar,
                  Cmd::inspector, Cmd::dualPane, nullptr, Cmd::newTab, Cmd::closeTab, Cmd::nextTab,
                  Cmd::previousTab});

    // The toolbar's language menu, here too so that keys reach it.
    m_view->addSeparator();
    m_language = MenuLocalizer::addMenu(m_view, K("Sprache"));
    QPointer<Settings> state = &settings;
    for (AppLanguage lang : AppLanguages::allCases) {
        // The language's own name, the same in every language.
        QAction *a = m_language->addAction(Commands::literalTitle(AppLanguages::nativeName(lang)));
        a->setObjectName(AppLanguages::rawValue(lang));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [state, lang] {
            if (state) state->setLanguage(lang);
        });
    }
    connect(m_language, &QMenu::aboutToShow, this, [this, state] {
        for (QAction *a : m_language->actions())
            a->setChecked(state && a->objectName() == AppLanguages::rawValue(state->language()));
    });
}
