#pragma once

#include "core/model/CancelFlag.h"
#include "core/model/MultiSummary.h"

#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>

// Counts the size of a selection in a worker, one walk at a time: a new request cancels the running walk
// and starts once it has stopped; only the newest request's result is reported. Destroying the object
// cancels its walk. Main thread only.
class SizeWalk : public QObject {
    Q_OBJECT
public:
    using Count = std::function<FileOps::SelectionSize(const QStringList &paths, const CancelFlag &cancel)>;

    // count: what each walk runs; the default sums a selection (selectionSize).
    explicit SizeWalk(QObject *parent = nullptr, Count count = {});
    ~SizeWalk() override;

    void start(const QStringList &paths);
    // Stops the running walk and drops any waiting request; nothing more is reported.
    void cancel();
    bool busy() const { return m_running || m_waiting.has_value(); }

    // Tests and the benchmark: the count each walk runs (empty restores the real one), and how many walks
    // of all objects run at this moment and at most so far.
    static void setCountForTests(Count count);
    static int runningNow();
    static int runningMost();
    static void resetRunningMost();

signals:
    void finished(const FileOps::SelectionSize &result);

private:
    void launch(const QStringList &paths);

    Count m_count;
    CancelFlagPtr m_flag;
    bool m_running = false;
    std::optional<QStringList> m_waiting;
    quint64 m_generation = 0;
};
