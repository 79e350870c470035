// Ejecting a volume: tabs on it go home first, the eject runs in the background.
#include "core/app/AppState.h"

#include "core/base/Background.h"

#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"

#include <QDir>
#include <QtConcurrent>

// clang-format off
constexpr const char *ejectFailed = K("„%@“ ließ sich nicht auswerfen: %@ Vielleicht ist noch eine Datei oder ein Programm darauf geöffnet.");
// clang-format on

void AppState::eject(const QString &path, const QString &name) {
    const QString home = QDir::homePath();
    const QString inside = path.endsWith(u'/') ? path : path + u'/';
    for (TabGroup *group : {m_sides.leftTabs(), m_sides.rightTabs()})
        for (PaneModel *tab : group->tabs())
            if (tab->currentPath() == path || tab->currentPath().startsWith(inside)) tab->go(home, true, {});

    QPointer<AppState> self(this);
    const auto work = m_services.desktop.eject;
    whenDone(this, QtConcurrent::run([work, path]() -> std::optional<QString> {
                 return work ? work(path) : std::optional<QString>(QString());
             }),
             [self, name](const std::optional<QString> &error) {
                 if (!self) return;
                 emit self->devicesChanged();
                 if (error)
                     self->show(LF(ejectFailed, name, *error), true);
                 else
                     self->show(LF("„%@“ wurde ausgeworfen.", name));
             });
}
