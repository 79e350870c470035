#pragma once

#include "core/tools/StorageScanner.h"

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QUuid>

#include <memory>

// Tells a running scan to stop; safe from any thread.
class ScanCancelFlag {
public:
    void set() {
        QMutexLocker g(&lock);
        value = true;
    }
    bool isSet() const {
        QMutexLocker g(&lock);
        return value;
    }

private:
    mutable QMutex lock;
    bool value = false;
};

// The state of one storage analysis: the folder, the latest snapshot, whether a scan runs, and the folders
// analysed before. Results of a cancelled or replaced scan never arrive. Main thread only.
class StorageModel : public QObject {
    Q_OBJECT
public:
    explicit StorageModel(QObject *parent = nullptr);
    ~StorageModel() override;

    const QString &path() const { return m_path; }
    const StorageSnapshot &snapshot() const { return m_snapshot; }
    bool scanning() const { return m_scanning; }
    const QStringList &history() const { return m_history; }

    void start(const QString &path, bool pushHistory);
    void cancel();
    void back();

    // Scan options (tests make the walk small and the reports frequent).
    StorageScanner::Options options;

signals:
    void changed();

private:
    void deliver(const QUuid &token, const StorageSnapshot &snapshot, bool final);
    // Stops the scan and drops its results; true when one was running.
    bool stop();

    QString m_path;
    StorageSnapshot m_snapshot;
    bool m_scanning = false;
    QStringList m_history;
    std::shared_ptr<ScanCancelFlag> m_task;
    QUuid m_token = QUuid::createUuid();
};
