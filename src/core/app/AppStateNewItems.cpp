// New folder and new empty text file, under a free localised name.
#include "core/app/AppState.h"

#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Posix.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 0 or the errno of the failed creation. O_EXCL: an item that appeared after the name was chosen is never
// truncated or replaced.
int createItem(const QString &path, bool folder) {
    const auto bytes = Posix::encode(path);
    if (!bytes) return EINVAL;
    if (folder) return ::mkdir(bytes->constData(), 0777) == 0 ? 0 : errno;
    const int fd = ::open(bytes->constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

} // namespace

static void makeNewItem(AppState &app, const std::optional<QString> &in, bool folder) {
    PaneModel *pane = app.activePane();
    const QString dir = in.value_or(pane->currentPath());
    const char *base = folder ? K("Neuer Ordner") : K("Neue Datei");
    const QString name = folder ? L(base) : L(base) + QStringLiteral(".txt");
    const QString path = FileOps::uniqueURL(name, dir, true);

    if (const int e = createItem(path, folder); e != 0) {
        if (folder)
            app.show(FileOps::explain(FileError::fromErrno(e), path.section(u'/', -1)), true);
        else
            app.show(K("Die Datei ließ sich hier nicht anlegen."), true);
        return;
    }
    pane->refresh();
    if (dir == pane->currentPath()) {
        // The cursor brings the new item into view once the list shows it.
        pane->setSelection({FileLoader::norm(path)});
        pane->setCursor(FileLoader::norm(path));
    }
    app.record(L(base), UndoAction::makeCreated({path}));
    const QString made = path.section(u'/', -1);
    app.show(folder ? LF("Ordner „%@“ angelegt.", made) : LF("Datei „%@“ angelegt.", made));
}

void AppState::newFolder(const std::optional<QString> &in) {
    makeNewItem(*this, in, true);
}

void AppState::newFile(const std::optional<QString> &in) {
    makeNewItem(*this, in, false);
}
