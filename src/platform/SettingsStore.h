#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <mutex>
#include <optional>

#include <sys/stat.h>

// A settings file in the property-list format of PlistFormat, kept in memory as key → value. The file is
// read and written by descriptor in its folder, held for each sync: the folder reached from the top through
// no link another account owns (missing folders made on the way for a write), the file never through such
// a link, a new file written beside it and renamed over it. Several processes may share the file: a sync
// that writes takes a lock on the held folder itself (no lock file anyone could plant or leave behind),
// reads the file again and writes only this store's changes on top, so no one's change is lost; a reader
// needs no lock, since the file is only ever replaced whole.
// Thread-safe: values are read and set at once, while one sync at a time does the disk's work.
class SettingsStore {
public:
    // The store of the file at `path` (absolute), read at once. When no other process holds the lock, the
    // parts of killed writes are removed and changes an earlier run had to keep aside are written.
    explicit SettingsStore(const QString &path);

    QVariant value(const QString &key) const;
    bool contains(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);

    // Reads the file again when it changed on disk and writes the changes made since the last sync on top
    // of it, with `extra` laid over them (an invalid value there removes its key). False when they stay
    // unwritten (the file is there but can't be read, the lock stays held past `lockWaitMs`, the disk
    // refuses; see error()): the changes are tried again at the next sync, `extra` is dropped, so it is in
    // the file whole or not at all.
    bool sync(int lockWaitMs = kLockWaitMs, const QVariantMap &extra = {});

    // The keys changed here and not yet written.
    QStringList unsaved() const;
    // Why the last sync wrote nothing: EWOULDBLOCK for a lock another process held, EFBIG for more than
    // the reader takes, ELOOP for a link of another account, else the disk's errno; 0 after a good one.
    int error() const;
    // Writes the unwritten changes beside the file, under a name of this store's own, for the first later
    // sync that holds the lock (in this or a later run). False when that too failed.
    bool keepUnsaved();

    // Where an unparsable file, or something that is no file, was set aside; empty when nothing was.
    QString setAsidePath() const;
    // Whether the last look found a file that could not be read (no rights, another account's link on the
    // way, or set aside impossible): then it is left as it is and nothing is written over it.
    bool unreadable() const;

    // How long a sync waits at most for another process's lock.
    static constexpr int kLockWaitMs = 2000;

private:
    struct Place;
    using Changes = QMap<QString, std::optional<QVariant>>; // nullopt: removed
    enum class Disk { same, read, missing, bad, setAside, unreadable };
    Disk readDisk(const Place &place, QVariantMap &out);
    bool setAside(const Place &place);
    int write(int dir, const QByteArray &name, const QVariantMap &values, struct stat *made);

    QByteArray m_path;
    mutable std::mutex m_memory;         // guards what callers see and the changes
    std::mutex m_syncing;                // one sync at a time; it alone uses m_disk and m_seen
    QVariantMap m_values;                // what callers see
    QVariantMap m_disk;                  // what the file held when last read or written
    Changes m_changed;                   // not yet written
    QMap<QString, quint64> m_generation; // when each change was made, so a sync clears only what it wrote
    quint64 m_counter = 0;
    struct stat m_seen {}; // the file as last read or written
    bool m_seenValid = false;
    QString m_setAside;
    bool m_unreadable = false;
    int m_error = 0;
};
