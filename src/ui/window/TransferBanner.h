#pragma once

#include "core/filesteps/TransferProgress.h"

#include <QWidget>

#include <functional>

class JobRunner;
class BarButton;
class QLabel;
class BannerProgress;

// The floating card of the running job: title with the item counter, "Abbrechen", a progress bar and the
// name of the current item. A pure view of its status; the only thing it does is call cancel.
class TransferBanner : public QWidget {
    Q_OBJECT
public:
    static constexpr int cardWidth = 380;
    static constexpr int padding = 12;

    explicit TransferBanner(const TransferStatus &status = {}, std::function<void()> cancel = {},
                            QWidget *parent = nullptr);

    // A banner that follows the runner's status: shown while one is published, hidden otherwise, its
    // button cancelling the job. The window places it.
    static TransferBanner *forJobs(JobRunner *jobs, QWidget *parent);

    // Always the card's width, so the window centres it whatever the texts are.
    QSize sizeHint() const override;
    void setStatus(const TransferStatus &status);
    const TransferStatus &status() const { return m_status; }
    void setCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }

    // The texts as drawn now (tests).
    QString titleText() const;
    QString nameText() const;
    // The bar's value between 0 and 1, or nothing while indeterminate.
    std::optional<double> barValue() const;
    BarButton *cancelButton() const { return m_button; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    TransferStatus m_status;
    std::function<void()> m_cancel;
    QLabel *m_title = nullptr;
    QLabel *m_name = nullptr;
    BarButton *m_button = nullptr;
    BannerProgress *m_bar = nullptr;
};
