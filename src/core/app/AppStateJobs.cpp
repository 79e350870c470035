// Toasts and the one job channel.
#include "core/app/AppState.h"

#include "core/localisation/Lang.h"

#include <QCoreApplication>
#include <QEventLoop>

void AppState::show(const QString &text, bool error) {
    setToast(Toast(L(text), error));
    // Restarting the one timer cancels the previous toast's dismissal; a later toast is never removed early.
    m_toastTimer.start(error ? timing().errorToastMs : timing().toastMs);
}

std::shared_ptr<TransferProgress> AppState::beginJob(const QString &title) {
    if (m_currentProgress) {
        show(K("Es läuft noch ein Vorgang. Warte, bis er fertig ist, oder brich ihn ab."), true);
        return nullptr;
    }
    m_currentProgress = std::make_shared<TransferProgress>();
    m_jobTitle = title;
    m_jobClock.start();
    m_pollTimer.setInterval(timing().pollMs);
    m_pollTimer.start();
    pollJob();
    return m_currentProgress;
}

void AppState::pollJob() {
    if (!m_currentProgress) return;
    if (m_jobClock.elapsed() > timing().firstStatusMs)
        setTransferStatus(TransferStatus::from(m_jobTitle, m_currentProgress->snapshot()));
}

void AppState::endJob() {
    m_pollTimer.stop();
    m_currentProgress.reset();
    setTransferStatus(std::nullopt);
}

void AppState::cancelJob() {
    if (m_currentProgress) m_currentProgress->cancel();
}

void AppState::waitForJob() {
    if (!m_currentProgress) return;
    // endJob clears the progress before it publishes the empty status.
    QEventLoop loop;
    connect(this, &AppState::transferStatusChanged, &loop, [this, &loop] {
        if (!m_currentProgress) loop.quit();
    });
    loop.exec();
}
