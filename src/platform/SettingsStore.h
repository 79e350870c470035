#pragma once

#include <QMap>
#include <QString>
#include <QVariant>
#include <optional>

#include <sys/stat.h>

// A settings file in the property-list format of PlistFormat, kept in memory as key → value. The file is
// read and written by descriptor in its folder, held for each sync: the folder reached from the top through
// no link another account owns (missing folders made on the way for a write), the file never through such
// a link, a new file written beside it and renamed over it. Several processes may share the file: a sync
// that writes reads it again under a lock and writes only this store's changes on top, so no one's change
// is lost; a reader needs no lock, since the file is only ever replaced whole.
// Not thread-safe: its owner serialises the calls.
class SettingsStore {
public:
    // The store of the file at `path` (absolute), read at once.
    explicit SettingsStore(const QString &path);

    QVariant value(const QString &key) const { return m_values.value(key); }
    bool contains(const QString &key) const { return m_values.contains(key); }
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Reads the file again when it changed on disk and writes the changes made since the last sync on top
    // of it. False when they stay unwritten (the file is there but can't be read, the lock stays held, the
    // disk refuses): they are tried again at the next sync.
    bool sync();

    // Where an unparsable file, or something that is no file, was set aside; empty when nothing was.
    QString setAsidePath() const { return m_setAside; }
    // Whether the last look found a file that could not be read (no rights, another account's link on the
    // way, or set aside impossible): then it is left as it is and nothing is written over it.
    bool unreadable() const { return m_unreadable; }

    // How long a sync waits at most for another process's lock.
    static constexpr int kLockWaitMs = 2000;

private:
    struct Place;
    enum class Disk { same, read, missing, bad, setAside, unreadable };
    Disk readDisk(const Place &place, QVariantMap &out);
    bool setAside(const Place &place);
    int write(const Place &place, const QVariantMap &values);

    QByteArray m_path;
    QVariantMap m_values;                             // what callers see
    QVariantMap m_disk;                               // what the file held when last read or written
    QMap<QString, std::optional<QVariant>> m_changed; // not yet written; nullopt: removed
    struct stat m_seen {};                            // the file as last read or written
    bool m_seenValid = false;
    QString m_setAside;
    bool m_unreadable = false;
};
