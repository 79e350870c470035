#include "ui/panecontent/OpenWithMenu.h"

#include "core/app/Toasts.h"
#include "core/localisation/Lang.h"
#include "core/model/OpenWithApp.h"
#include "platform/AppRegistry.h"
#include "ui/app/AppChooser.h"
#include "ui/style/DesktopAppIcon.h"
#include "ui/style/Symbols.h"

#include <QFileInfo>
#include <QMenu>
#include <QPointer>

namespace OpenWithMenu {

namespace {

QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

void openAll(Toasts *toasts, const QString &appFile, const QStringList &paths) {
    if (const auto error = OpenWith::launch(appFile, paths); error && toasts) toasts->show(*error, true);
}

} // namespace

QMenu *build(Toasts &toasts, const QStringList &paths, QWidget *parent, std::function<void()> onPick) {
    auto *menu = new QMenu(L("Öffnen mit"), parent);
    menu->setObjectName(QStringLiteral("openWithMenu"));
    menu->setIcon(Symbols::icon(QStringLiteral("arrow.up.forward.app")));
    QPointer<Toasts> guard(&toasts);
    QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, guard, paths, onPick] {
        if (guard) fill(menu, *guard, paths, onPick);
    });
    return menu;
}

void fill(QMenu *menu, Toasts &toasts, const QStringList &paths, std::function<void()> onPick) {
    menu->clear();
    QPointer<Toasts> guard(&toasts);
    const QList<OpenWithApp> apps =
        paths.isEmpty() ? QList<OpenWithApp>() : OpenWithApp::list(paths.first(), OpenWithApp::kMaxMenu);
    for (const OpenWithApp &entry : apps) {
        const QString text = entry.isDefault ? LF("%@ (Standard)", entry.name) : entry.name;
        QAction *a = menu->addAction(QIcon(toolbarAppIcon(entry.path, 16)), literal(text));
        a->setObjectName(entry.path);
        const QString file = entry.path;
        QObject::connect(a, &QAction::triggered, menu, [guard, file, paths, onPick] {
            if (onPick) onPick();
            openAll(guard, file, paths);
        });
    }
    menu->addSeparator();
    QAction *other = menu->addAction(L("Andere …"));
    other->setObjectName(QStringLiteral("otherApp"));
    QObject::connect(other, &QAction::triggered, menu, [menu, guard, paths, onPick] {
        if (onPick) onPick();
        const QStringList folders = AppRegistry::applicationFolders();
        QString start = QStringLiteral("/usr/share/applications");
        for (const QString &folder : folders)
            if (QFileInfo(folder).isDir()) {
                start = folder;
                break;
            }
        chooseApplications(menu, L("Programm wählen"), start, false,
                           [guard, paths](const QStringList &chosen) {
                               if (chosen.isEmpty()) return;
                               // An entry outside the application folders (a download) could run anything.
                               if (!AppRegistry::isApplicationEntry(chosen.first())) {
                                   if (guard) guard->show(L(OpenWith::notAnAppText()), true);
                                   return;
                               }
                               openAll(guard, chosen.first(), paths);
                           });
    });
}

} // namespace OpenWithMenu
