#include "ui/window/TransferBanner.h"

#include "core/app/JobRunner.h"
#include "core/localisation/Lang.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

// The linear bar: a track with a determinate fill, or a segment sweeping to and fro while indeterminate.
class BannerProgress : public QWidget {
public:
    static constexpr int barHeight = 6;

    explicit BannerProgress(QWidget *parent) : QWidget(parent) {
        setFixedHeight(barHeight);
        m_sweep = new QVariantAnimation(this);
        m_sweep->setStartValue(0.0);
        m_sweep->setEndValue(1.0);
        m_sweep->setDuration(1200);
        m_sweep->setLoopCount(-1);
        connect(m_sweep, &QVariantAnimation::valueChanged, this, [this] { update(); });
    }

    void setValue(std::optional<double> value) {
        m_value = value;
        if (value)
            m_sweep->stop();
        else if (m_sweep->state() != QAbstractAnimation::Running && isVisible())
            m_sweep->start();
        update();
    }
    std::optional<double> value() const { return m_value; }

protected:
    void showEvent(QShowEvent *) override {
        if (!m_value) m_sweep->start();
    }
    void hideEvent(QHideEvent *) override { m_sweep->stop(); }

    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(rect());
        const double radius = r.height() / 2;
        QColor track = palette().color(QPalette::WindowText);
        track.setAlphaF(0.12f);
        p.setPen(Qt::NoPen);
        p.setBrush(track);
        p.drawRoundedRect(r, radius, radius);
        const QColor tint = EnvironmentValues::appTheme(this).a;
        QRectF fill;
        if (m_value) {
            fill = QRectF(r.x(), r.y(), r.width() * *m_value, r.height());
        } else {
            // A third of the track, moving from the leading to the trailing edge and back.
            const double t = m_sweep->currentValue().toDouble();
            const double pos = t < 0.5 ? t * 2 : (1 - t) * 2;
            const double w = r.width() / 3;
            fill = QRectF(r.x() + (r.width() - w) * pos, r.y(), w, r.height());
        }
        if (fill.width() <= 0) return;
        p.setBrush(tint);
        p.drawRoundedRect(fill, std::min(radius, fill.width() / 2), radius);
    }

private:
    std::optional<double> m_value;
    QVariantAnimation *m_sweep;
};

TransferBanner::TransferBanner(const TransferStatus &status, std::function<void()> cancel, QWidget *parent)
    : QWidget(parent), m_status(status), m_cancel(std::move(cancel)) {
    setFixedWidth(cardWidth);
    setAttribute(Qt::WA_TranslucentBackground);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(6);

    auto *top = new QHBoxLayout;
    top->setSpacing(10);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_button = new BarButton(K("Abbrechen"), false, this);
    connect(m_button, &QAbstractButton::clicked, this, [this] {
        if (m_cancel) m_cancel();
    });
    top->addWidget(m_title, 0, Qt::AlignVCenter);
    top->addStretch(1);
    top->addWidget(m_button, 0, Qt::AlignVCenter);
    column->addLayout(top);

    m_bar = new BannerProgress(this);
    column->addWidget(m_bar);

    m_name = new QLabel(this);
    m_name->setTextFormat(Qt::PlainText);
    column->addWidget(m_name);

    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, 51)); // black at 0.2
    shadow->setBlurRadius(20);
    shadow->setOffset(0, 3);
    setGraphicsEffect(shadow);

    if (EnvironmentValues *env = EnvironmentValues::of(this)) {
        connect(env, &EnvironmentValues::appThemeChanged, this, qOverload<>(&QWidget::update));
        connect(env, &EnvironmentValues::uiChanged, this, &TransferBanner::refresh);
    }
    refresh();
}

QSize TransferBanner::sizeHint() const {
    return {cardWidth, QWidget::sizeHint().height()};
}

void TransferBanner::setStatus(const TransferStatus &status) {
    m_status = status;
    refresh();
}

QString TransferBanner::titleText() const {
    if (m_status.cancelling) return L("Wird abgebrochen …");
    if (m_status.count >= 2) return LF("%@ %d von %d", L(m_status.title), m_status.index, m_status.count);
    return L(m_status.title);
}

QString TransferBanner::nameText() const {
    return m_status.cancelling ? L("Unvollständiges wird entfernt …") : m_status.name;
}

std::optional<double> TransferBanner::barValue() const {
    // Stopping has no measure: the bar only says that work goes on.
    if (m_status.cancelling) return std::nullopt;
    // NaN has no place on a bar; it reads as "not known yet".
    if (!m_status.fraction || std::isnan(*m_status.fraction)) return std::nullopt;
    return std::clamp(*m_status.fraction, 0.0, 1.0);
}

void TransferBanner::refresh() {
    const UIScale ui = EnvironmentValues::ui(this);
    QFont titleFont = font();
    titleFont.setPixelSize(qMax(1, qRound(ui.font)));
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    m_title->setText(titleText());

    QFont nameFont = font();
    nameFont.setPixelSize(qMax(1, qRound(ui.small())));
    m_name->setFont(nameFont);
    QPalette pal = m_name->palette();
    QColor secondary = palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.5f);
    pal.setColor(QPalette::WindowText, secondary);
    m_name->setPalette(pal);
    // One line, cut in the middle, so the card keeps its width.
    const int room = cardWidth - 2 * padding;
    m_name->setText(QFontMetrics(nameFont).elidedText(nameText(), Qt::ElideMiddle, room));
    m_name->setMaximumWidth(room);
    m_title->setMaximumWidth(room - m_button->sizeHint().width() - 10);

    m_bar->setValue(barValue());
    m_button->setEnabled(!m_status.cancelling);
    update();
}

void TransferBanner::changeEvent(QEvent *e) {
    if (e->type() == QEvent::LanguageChange || e->type() == QEvent::ParentChange) refresh();
    QWidget::changeEvent(e);
}

void TransferBanner::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    QPainterPath card;
    card.addRoundedRect(r, 12, 12);
    // The regular material: the window colour, barely see-through.
    QColor material = palette().color(QPalette::Window);
    material.setAlphaF(0.96f);
    p.fillPath(card, material);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.12f);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}

TransferBanner *TransferBanner::forJobs(JobRunner *jobs, QWidget *parent) {
    auto *banner = new TransferBanner({}, {}, parent);
    QPointer<JobRunner> weak(jobs);
    banner->setCancel([weak] {
        if (weak) weak->cancel();
    });
    auto follow = [banner, weak] {
        const std::optional<TransferStatus> status = weak ? weak->status() : std::nullopt;
        if (status) banner->setStatus(*status);
        banner->setVisible(status.has_value());
    };
    if (jobs) QObject::connect(jobs, &JobRunner::statusChanged, banner, follow);
    follow();
    return banner;
}
