#include "core/app/JobRunner.h"

#include "core/localisation/Lang.h"

const char *const JobRunner::busyText =
    K("Es läuft noch ein Vorgang. Warte, bis er fertig ist, oder brich ihn ab.");

JobRunner::JobRunner(std::function<void(const QString &)> refuse, std::function<Timing()> timing,
                     QObject *parent)
    : QObject(parent), m_refuse(std::move(refuse)), m_timing(std::move(timing)) {
    connect(&m_timer, &QTimer::timeout, this, &JobRunner::publish);
}

bool JobRunner::admits() {
    if (!busy()) return true;
    if (m_refuse) m_refuse(QString::fromUtf8(busyText));
    return false;
}

std::shared_ptr<TransferProgress> JobRunner::open(const QString &title) {
    if (!admits()) return nullptr;
    m_now = m_timing ? m_timing() : Timing{};
    m_job.title = title;
    m_job.progress = std::make_shared<TransferProgress>();
    m_clock.start();
    m_timer.start(m_now.periodMs);
    setState(Job::State::running);
    publish();
    return m_job.progress;
}

void JobRunner::publish() {
    const bool cancelling = m_job.state == Job::State::cancelling;
    // A cancel shows at once, also in the quiet start: the user waits for the tidying up.
    if (!busy() || (m_clock.elapsed() <= m_now.quietMs && !cancelling)) return;
    // Published on every pass, changed or not: the banner hears from the runner while a job shows.
    m_status = TransferStatus::from(m_job.title, m_job.progress->snapshot());
    m_status->cancelling = cancelling;
    emit statusChanged();
}

void JobRunner::close(const TransferProgress *job) {
    // A step of a job that has ended already never ends the one that holds the runner now.
    if (!busy() || m_job.progress.get() != job) return;
    m_timer.stop();
    const bool cancelled = m_job.progress && m_job.progress->isCancelled();
    const bool had = busy();
    const bool shown = m_status.has_value();
    m_job.progress.reset();
    m_status.reset();
    setState(Job::State::finished);
    if (shown) emit statusChanged();
    if (had) emit finished(cancelled);
}

void JobRunner::cancel() {
    if (!busy()) return;
    m_job.progress->cancel();
    if (m_job.state == Job::State::cancelling) return; // said already; a listener may cancel again
    setState(Job::State::cancelling);
    publish();
}

void JobRunner::waiting(bool waiting) {
    if (!busy() || m_job.state == Job::State::cancelling) return;
    setState(waiting ? Job::State::waitingForAnswer : Job::State::running);
}

void JobRunner::setState(Job::State state) {
    if (m_job.state == state) return;
    m_job.state = state;
    emit stateChanged(state);
}
