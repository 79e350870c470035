#include <gio/gio.h>
#include <gio/gunixmounts.h>
#undef signals

#include "platform/MountWatch.h"

namespace {

void onMountsChanged(GUnixMountMonitor *, gpointer self) {
    emit static_cast<MountWatch *>(self)->mountsChanged();
}

} // namespace

MountWatch::MountWatch(QObject *parent) : QObject(parent) {
    GUnixMountMonitor *monitor = g_unix_mount_monitor_get();
    if (!monitor) return;
    m_monitor = monitor;
    m_handler = g_signal_connect(monitor, "mounts-changed", G_CALLBACK(onMountsChanged), this);
}

MountWatch::~MountWatch() {
    if (!m_monitor) return;
    g_signal_handler_disconnect(m_monitor, m_handler);
    g_object_unref(m_monitor);
}
