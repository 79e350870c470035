#include <gio/gio.h>
#undef signals

#include "platform/Eject.h"

#include <QFile>

namespace Eject {

namespace {

struct Wait {
    GMainLoop *loop = nullptr;
    bool ok = false;
    QString error;
};

// The callback of an eject or unmount: Finish is the matching _finish function of GMount.
template <gboolean (*Finish)(GMount *, GAsyncResult *, GError **)>
void finished(GObject *source, GAsyncResult *result, gpointer data) {
    auto *wait = static_cast<Wait *>(data);
    GError *error = nullptr;
    wait->ok = Finish(G_MOUNT(source), result, &error);
    if (error) {
        wait->error = QString::fromUtf8(error->message);
        g_error_free(error);
    }
    g_main_loop_quit(wait->loop);
}

} // namespace

std::optional<QString> unmountAndEject(const QByteArray &mountPoint) {
    // A context of this thread's own, so the callbacks arrive here and not on the main loop.
    GMainContext *context = g_main_context_new();
    g_main_context_push_thread_default(context);
    Wait wait;
    wait.loop = g_main_loop_new(context, FALSE);

    GFile *file = g_file_new_for_path(mountPoint.constData());
    GError *error = nullptr;
    GMount *mount = g_file_find_enclosing_mount(file, nullptr, &error);
    std::optional<QString> result;
    if (!mount) {
        result = error ? QString::fromUtf8(error->message) : QString();
        if (error) g_error_free(error);
    } else {
        if (g_mount_can_eject(mount)) {
            g_mount_eject_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr,
                                         finished<g_mount_eject_with_operation_finish>, &wait);
            g_main_loop_run(wait.loop);
        } else {
            g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr,
                                           finished<g_mount_unmount_with_operation_finish>, &wait);
            g_main_loop_run(wait.loop);
        }
        if (!wait.ok) result = wait.error;
        g_object_unref(mount);
    }
    g_object_unref(file);
    g_main_loop_unref(wait.loop);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return result;
}

} // namespace Eject
