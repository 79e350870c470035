#include "ui/window/toolbar/LanguageHelpMenu.h"

#include "core/app/Settings.h"
#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"
#include "ui/app/Commands.h"
#include "ui/style/Symbols.h"
#include "ui/window/toolbar/ToolbarHelp.h"

#include <QMenu>

LanguageHelpMenu::LanguageHelpMenu(Settings &settings, Commands &commands, WindowRequests &requests,
                                   QWidget *parent)
    : ToolbarMenuButton(QStringLiteral("globe"), parent), m_settings(&settings), m_commands(commands) {
    setObjectName(QStringLiteral("languageHelpMenu"));
    auto *menu = new QMenu(this);
    connect(menu, &QMenu::aboutToShow, this, &LanguageHelpMenu::fill);
    setMenu(menu);
    toolbarHelp(this, &requests, K("Sprache und Handbuch"), 11);
    fill();
}

void LanguageHelpMenu::fill() {
    QMenu *m = menu();
    m->clear();
    if (!m_settings) return;
    for (AppLanguage lang : AppLanguages::allCases) {
        // The language's own name, the same in every language.
        QString name = AppLanguages::nativeName(lang);
        QAction *a = m->addAction(name.replace(u'&', QStringLiteral("&&")));
        a->setObjectName(AppLanguages::rawValue(lang));
        if (lang == m_settings->language()) a->setIcon(Symbols::icon(QStringLiteral("checkmark")));
        QPointer<Settings> settings = m_settings;
        // The window rebuilds its toolbar in the new language and lets this one go later.
        connect(a, &QAction::triggered, this, [settings, lang] {
            if (settings) settings->setLanguage(lang);
        });
    }
    m->addSeparator();
    QAction *manual = m->addAction(L("Handbuch öffnen"));
    manual->setObjectName(QStringLiteral("manual"));
    // The manual's command, under this menu's own title.
    QPointer<QAction> command = m_commands.action(Cmd::manual);
    manual->setEnabled(command && command->isEnabled());
    connect(manual, &QAction::triggered, this, [command] {
        if (command) command->trigger();
    });
}
