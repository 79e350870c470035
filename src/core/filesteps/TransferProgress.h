#pragma once

// The progress of one long job, shared between its worker and the main thread.

#include "core/filesteps/StepTypes.h"

#include <QMutex>
#include <QString>

#include <optional>

class TransferProgress {
public:
    struct Snapshot {
        qint64 done = 0;
        qint64 total = 0;
        qsizetype index = 0;
        qsizetype count = 0;
        QString name;
    };

    TransferProgress() = default;
    TransferProgress(const TransferProgress &) = delete;
    TransferProgress &operator=(const TransferProgress &) = delete;

    void setTotal(qint64 total, qsizetype count);
    void setItem(qsizetype index, const QString &name);
    void add(qint64 bytes);
    void cancel();
    bool isCancelled() const;
    Snapshot snapshot() const;

private:
    mutable QMutex lock;
    qint64 _done = 0;
    qint64 _total = 0;
    qsizetype _index = 0;
    qsizetype _count = 0;
    QString _name;
    bool _cancelled = false;
};

// What the progress banner shows of the running job.
struct TransferStatus {
    QString title; // German key, translated by the banner
    QString name;
    qsizetype index = 0;
    qsizetype count = 0;
    std::optional<double> fraction;
    bool cancelling = false; // cancel was asked for; the worker is stopping and tidying up

    // The status of a job begun with `title` at the moment of `snapshot`.
    static TransferStatus from(const QString &title, const TransferProgress::Snapshot &snapshot);

    friend bool operator==(const TransferStatus &, const TransferStatus &) = default;
};
