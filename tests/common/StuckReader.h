#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace StuckReader {

// Makes a FIFO at path; false when it cannot.
inline bool makeFifo(const QString &path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Runs f in a thread of its own and tells whether it returned within ms. A reader that is stuck on the FIFO
// is let go afterwards (a writer that opens and closes gives it its end of file), so the test can go on.
template <typename F> bool returnsWithin(int ms, const QString &fifo, F f) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        f();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < ms)
        QThread::msleep(5);
    const bool inTime = done;
    while (!done) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        QThread::msleep(5);
    }
    worker.join();
    return inTime;
}

// For code that must run on the calling thread: after ms, lets a reader stuck on the FIFO go and notes it.
class Watchdog {
public:
    Watchdog(const QString &fifo, int ms)
        : m_thread([this, path = QFile::encodeName(fifo), ms] {
              QElapsedTimer timer;
              timer.start();
              while (!m_stop) {
                  if (timer.elapsed() >= ms) {
                      const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                      if (fd >= 0) {
                          ::close(fd);
                          m_fired = true;
                      }
                  }
                  QThread::msleep(5);
              }
          }) {}
    ~Watchdog() {
        m_stop = true;
        m_thread.join();
    }
    bool fired() const { return m_fired; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};

} // namespace StuckReader
