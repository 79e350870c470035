#include <gio/gio.h>
#undef signals

#include "platform/Workspace.h"

#include <QFile>

namespace Workspace {

bool openFile(const QString &path) {
    GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
    bool ok = false;
    if (GFileInfo *info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                            nullptr, nullptr)) {
        if (const char *type = g_file_info_get_content_type(info)) {
            // The application registered for the type opens it; an executable is not started by itself.
            if (GAppInfo *app = g_app_info_get_default_for_type(type, FALSE)) {
                GList files{file, nullptr, nullptr};
                ok = g_app_info_launch(app, &files, nullptr, nullptr);
                g_object_unref(app);
            }
        }
        g_object_unref(info);
    }
    g_object_unref(file);
    return ok;
}

} // namespace Workspace
