#pragma once

#include <QObject>

// Tells when the system's mount table changes (a stick plugged in, a volume unmounted), through GIO's
// watch of the mount table on the main thread's GLib context.
class MountWatch : public QObject {
    Q_OBJECT
public:
    explicit MountWatch(QObject *parent = nullptr);
    ~MountWatch() override;

signals:
    void mountsChanged();

private:
    void *m_monitor = nullptr;
    unsigned long m_handler = 0;
};
