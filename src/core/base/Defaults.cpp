#include "core/base/Defaults.h"

#include "platform/SettingsStore.h"
#include "platform/Xdg.h"

#include <QElapsedTimer>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace Defaults {
namespace {

std::mutex g_mutex; // guards g_store, the writer's state and the report
std::shared_ptr<SettingsStore> g_store;

std::shared_ptr<SettingsStore> storePtr() {
    std::lock_guard lock(g_mutex);
    if (!g_store) g_store = std::make_shared<SettingsStore>(filePath());
    return g_store;
}

// The writer: a thread that runs while changes wait and ends when they are written, so that a process
// with nothing to write runs no thread of ours (a fork wants none).
std::condition_variable g_wake, g_ended;
bool g_running = false, g_poked = false, g_stop = false;
int g_gatherMs = 20, g_retryMs = 1000;
constexpr int lockStepMs = 200;
int g_reported = 0; // the trouble last told
std::function<void(int)> g_report;
std::mutex g_reportMutex;

void report(int error) {
    std::lock_guard lock(g_reportMutex);
    if (error == g_reported) return;
    g_reported = error;
    if (g_report) g_report(error);
}

void run(std::shared_ptr<SettingsStore> s) {
    std::unique_lock lock(g_mutex);
    QElapsedTimer locked; // since another copy's lock first kept a write out
    for (;;) {
        // Changes that come together go in one write.
        g_wake.wait_for(lock, std::chrono::milliseconds(g_gatherMs), [] { return g_stop; });
        g_poked = false;
        if (g_stop) break;
        lock.unlock();
        // Short waits for the lock, so that a quit never waits long for this thread.
        const bool ok = s->sync(lockStepMs);
        const int error = ok ? 0 : s->error();
        const bool left = !s->unsaved().isEmpty();
        if (error != EWOULDBLOCK)
            locked.invalidate();
        else if (!locked.isValid())
            locked.start();
        // A lock held for a moment is no trouble; one held for long is.
        if (error != EWOULDBLOCK || locked.elapsed() >= SettingsStore::kLockWaitMs) report(error);
        lock.lock();
        if (ok && !left && !g_poked) break;
        // Only a lock or a disk may come free by waiting; what else failed is tried at the next change.
        const bool passing = error == EWOULDBLOCK || error == ENOSPC || error == EDQUOT || error == EIO;
        if (!ok && !passing && !g_poked) break;
        if (!ok && error != EWOULDBLOCK)
            g_wake.wait_for(lock, std::chrono::milliseconds(g_retryMs), [] { return g_stop || g_poked; });
        if (g_stop) break;
    }
    s.reset();
    g_running = false;
    g_ended.notify_all();
}

void poke() {
    std::lock_guard lock(g_mutex);
    g_poked = true;
    if (g_running || g_stop) {
        g_wake.notify_all();
        return;
    }
    if (!g_store) g_store = std::make_shared<SettingsStore>(filePath());
    // Never joined: a child forked after it ended must find nothing to join.
    g_running = true;
    std::thread(run, g_store).detach();
}

// A writer still at work when the process ends is waited for.
struct WriterEnd {
    ~WriterEnd();
} g_writerEnd;

// Ends the writer, waiting for the write it does; the next change starts one again.
void stopWriter() {
    std::unique_lock lock(g_mutex);
    g_stop = true;
    g_wake.notify_all();
    g_ended.wait(lock, [] { return !g_running; });
    g_stop = false;
}

WriterEnd::~WriterEnd() {
    stopWriter();
}

} // namespace

QString filePath() {
    return Xdg::configHome() + QStringLiteral("/kestrin/settings.plist");
}

QString setAsidePath() {
    return storePtr()->setAsidePath();
}

bool unreadable() {
    return storePtr()->unreadable();
}

QVariant value(const QString &key) {
    return storePtr()->value(key);
}

void setValue(const QString &key, const QVariant &v) {
    storePtr()->setValue(key, v);
    poke();
}

void remove(const QString &key) {
    storePtr()->remove(key);
    poke();
}

bool contains(const QString &key) {
    return storePtr()->contains(key);
}

QStringList flush(int waitMs) {
    const auto s = storePtr();
    report(s->sync(waitMs) ? 0 : s->error());
    return s->unsaved();
}

int writeAll(const QVariantMap &values, int waitMs) {
    const auto s = storePtr();
    return s->sync(waitMs, values) ? 0 : s->error();
}

QStringList finish(int waitMs, bool *kept) {
    QElapsedTimer clock;
    clock.start();
    stopWriter();
    const auto s = storePtr();
    // Another copy may be in the middle of a write: tried again until the time is up.
    while (!s->sync(std::max(0, waitMs - int(clock.elapsed())))) {
        if (s->error() != EWOULDBLOCK || clock.elapsed() >= waitMs) break;
    }
    const QStringList left = s->unsaved();
    const bool keptThem = left.isEmpty() || s->keepUnsaved();
    if (kept) *kept = keptThem;
    return left;
}

void onWriteTrouble(std::function<void(int error)> report) {
    std::lock_guard lock(g_reportMutex);
    g_report = std::move(report);
    g_reported = 0;
}

void setTimingForTests(int gatherMs, int retryMs) {
    std::lock_guard lock(g_mutex);
    g_gatherMs = gatherMs;
    g_retryMs = retryMs;
}

std::optional<QString> stringValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString) return v.toString();
    return std::nullopt;
}

std::optional<bool> boolValue(const QString &key) {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    return std::nullopt;
}

std::optional<qint64> intValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return v.toLongLong();
    default:
        return std::nullopt;
    }
}

std::optional<double> doubleValue(const QString &key) {
    const QVariant v = value(key);
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        // NaN passes every comparison-based bound, so it never leaves here; nor does an infinity.
        const double d = v.toDouble();
        if (!std::isfinite(d)) return std::nullopt;
        return d;
    }
    default:
        return std::nullopt;
    }
}

void resetForTests() {
    stopWriter();
    std::lock_guard lock(g_mutex);
    if (g_store && !g_store->unsaved().isEmpty()) g_store->sync(); // what waits, as a quit would
    g_store.reset();
}

} // namespace Defaults
