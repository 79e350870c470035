#pragma once

#include <QHash>
#include <QObject>
#include <functional>

class QTimer;

// Delayed calls on the main thread, behind an interface so tests can run them on a clock of their own.
class HelpClock {
public:
    virtual ~HelpClock() = default;
    // Calls fn once, ms milliseconds from now; the handle (never 0) cancels it.
    virtual quint64 after(int ms, std::function<void()> fn) = 0;
    // A cancelled call never runs; 0 and spent handles are ignored.
    virtual void cancel(quint64 handle) = 0;
};

// The clock of the running program: one single-shot timer per pending call.
class TimerHelpClock : public QObject, public HelpClock {
    Q_OBJECT
public:
    explicit TimerHelpClock(QObject *parent = nullptr) : QObject(parent) {}
    quint64 after(int ms, std::function<void()> fn) override;
    void cancel(quint64 handle) override;

private:
    QHash<quint64, QTimer *> m_pending;
    quint64 m_next = 0;
};
