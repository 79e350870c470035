#include "ui/inspector/InspectorParts.h"

#include "core/localisation/Lang.h"
#include "core/model/Tags.h"
#include "ui/panecontent/TagDots.h"
#include "ui/style/AppTheme.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/FocusFrame.h"
#include "ui/style/Symbols.h"

#include <QAbstractButton>
#include <QBoxLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// One round colour tag with its ring and, when set, a check mark.
class TagButton : public QAbstractButton {
    Q_OBJECT
public:
    TagButton(const QString &tag, QWidget *parent) : QAbstractButton(parent), m_tag(tag) {
        setFixedSize(18, 18);
        // The stored name stays German; it is shown in the interface language, as the tag menu does.
        setToolTip(L(tag));
        setAccessibleName(L(tag));
        setCursor(Qt::PointingHandCursor);
        setCheckable(false);
    }
    bool on = false;

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r(1, 1, 16, 16);
        p.setPen(Qt::NoPen);
        p.setBrush(TagColors::color(FileOps::tagColorNumber().value(m_tag, 0)));
        p.drawEllipse(r);
        QColor ring = palette().color(QPalette::WindowText);
        ring.setAlphaF(on ? 0.9 : 0.15);
        const double w = on ? 2 : 1;
        p.setPen(QPen(ring, w));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(r.adjusted(w / 2, w / 2, -w / 2, -w / 2));
        if (on) {
            p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPainterPath check;
            check.moveTo(6, 9.5);
            check.lineTo(8.3, 11.8);
            check.lineTo(12.3, 6.8);
            p.drawPath(check);
        }
        FocusFrame::paint(this, p);
    }

private:
    QString m_tag;
};

// A section's header: the style's button without its frame, but with its focus frame; a shortened title
// shows whole in its tooltip.
class SectionHeader : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;

protected:
    bool event(QEvent *event) override {
        if (event->type() == QEvent::ToolTip) {
            const auto *title = findChild<ElidedLabel *>();
            if (title && title->shownText() != title->text())
                QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), title->text(), this);
            else
                QToolTip::hideText();
            return true;
        }
        return QToolButton::event(event);
    }
    void paintEvent(QPaintEvent *event) override {
        QToolButton::paintEvent(event);
        QPainter p(this);
        FocusFrame::paint(this, p);
    }
};

void smallFont(QWidget *w, double delta = 0.5) {
    QFont f = w->font();
    f.setPixelSize(int(std::lround(EnvironmentValues::ui(w).small() + delta)));
    w->setFont(f);
}

} // namespace

InspectorSection::InspectorSection(const char *titleKey, QWidget *parent) : QWidget(parent) {
    setObjectName(QString::fromUtf8(titleKey));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(12, 12, 12, 12);
    outer->setSpacing(8);
    // The whole row takes the click; title and chevron are drawn by labels inside it, so the title stays
    // at the leading edge and an "&" of it is shown as written.
    m_header = new SectionHeader(this);
    m_header->setAccessibleName(L(titleKey));
    m_header->setAutoRaise(true);
    m_header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_header->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    auto *title = new ElidedLabel(L(titleKey), m_header, Qt::ElideRight);
    title->setMinimumWidth(1);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont hf = title->font();
    hf.setPixelSize(int(std::lround(EnvironmentValues::ui(this).font)));
    hf.setWeight(QFont::DemiBold);
    title->setFont(hf);
    m_header->setMinimumHeight(title->sizeHint().height() + 2);
    auto *chevron = new QLabel(m_header);
    chevron->setObjectName(QStringLiteral("chevron"));
    chevron->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *hl = new QHBoxLayout(m_header);
    hl->setContentsMargins(0, 0, 0, 0);
    hl->addWidget(title);
    hl->addStretch(1);
    hl->addWidget(chevron);
    outer->addWidget(m_header);
    m_content = new QWidget(this);
    m_body = new QVBoxLayout(m_content);
    m_body->setContentsMargins(0, 0, 0, 0);
    m_body->setSpacing(6);
    outer->addWidget(m_content);
    connect(m_header, &QToolButton::clicked, this, [this] { setOpen(!m_open); });
    setOpen(true);
}

void InspectorSection::setOpen(bool open) {
    const bool change = open != m_open;
    m_open = open;
    if (change && isVisible()) {
        // Folding and unfolding ease out over 0.15 s; the content is hidden once folded.
        const int full = m_content->sizeHint().height();
        auto *anim = new QPropertyAnimation(m_content, "maximumHeight", this);
        anim->setDuration(150);
        anim->setEasingCurve(QEasingCurve::OutCubic);
        anim->setStartValue(open ? 0 : m_content->height());
        anim->setEndValue(open ? full : 0);
        if (open) m_content->setVisible(true);
        connect(anim, &QPropertyAnimation::finished, m_content, [content = m_content, open] {
            content->setMaximumHeight(QWIDGETSIZE_MAX);
            content->setVisible(open);
        });
        anim->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        m_content->setVisible(open);
    }
    if (auto *chevron = m_header->findChild<QLabel *>(QStringLiteral("chevron")))
        chevron->setPixmap(
            Symbols::icon(QLatin1String(open ? "chevron.down" : "chevron.right")).pixmap(10, 10));
    if (change) emit openChanged(open);
}

void InspectorSection::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(AppTheme::sectionTint(palette()));
    p.drawRoundedRect(QRectF(rect()), 8, 8);
}

InspectorRow::InspectorRow(const char *labelKey, const QString &value, QWidget *parent)
    : InspectorRow(QString::fromUtf8(labelKey), value, parent) {}

InspectorRow::InspectorRow(const QString &labelKey, const QString &value, QWidget *parent) : QWidget(parent) {
    setObjectName(labelKey);
    m_row = new QBoxLayout(QBoxLayout::LeftToRight, this);
    m_row->setContentsMargins(0, 0, 0, 0);
    // The row asks only for what the stacked form needs; side by side is taken where there is room.
    m_row->setSizeConstraint(QLayout::SetNoConstraint);
    auto *label = m_label = new QLabel(L(labelKey), this);
    QPalette lp = label->palette();
    QColor dim = lp.color(QPalette::WindowText);
    dim.setAlphaF(0.6);
    lp.setColor(QPalette::WindowText, dim);
    label->setPalette(lp);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    m_value = new WrappingLabel(value, this);
    m_value->setAlignment(Qt::AlignTrailing | Qt::AlignTop);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_value->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    smallFont(label);
    smallFont(m_value);
    m_row->addWidget(label, 0, Qt::AlignTop);
    m_row->addWidget(m_value, 1);
    measure();
    arrange();
}

QSize InspectorRow::minimumSizeHint() const {
    return {std::max(m_label->minimumSizeHint().width(), m_value->minimumSizeHint().width()),
            m_label->minimumSizeHint().height()};
}

void InspectorRow::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    arrange();
}

void InspectorRow::changeEvent(QEvent *event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        measure();
        arrange();
    }
}

void InspectorRow::measure() {
    // Side by side while the label and the value's longest word (a path or a long name: a few letters
    // of it) both fit.
    const QFontMetrics fm = m_value->fontMetrics();
    int word = 0;
    for (const QString &w : m_value->fullText().split(u' '))
        word = std::max(word, fm.horizontalAdvance(w));
    m_sideBySide =
        m_label->sizeHint().width() + gap + std::min(word, fm.horizontalAdvance(QStringLiteral("WWWWWWWW")));
}

void InspectorRow::arrange() {
    const bool side = width() >= m_sideBySide;
    const auto direction = side ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    const Qt::Alignment align = (side ? Qt::AlignTrailing : Qt::AlignLeading) | Qt::AlignTop;
    if (m_row->direction() == direction && m_value->alignment() == align) return;
    m_row->setDirection(direction);
    m_row->setSpacing(side ? gap : 2);
    m_value->setAlignment(align);
}

TagPicker::TagPicker(QWidget *parent) : QWidget(parent) {
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    for (const QString &tag : FileOps::tagChoices()) {
        auto *b = new TagButton(tag, this);
        b->setObjectName(tag);
        connect(b, &QAbstractButton::clicked, this, [this, tag] { emit toggled(tag); });
        row->addWidget(b);
    }
    row->addStretch(1);
}

void TagPicker::setSet(const QSet<QString> &tagsOnAll) {
    m_set = tagsOnAll;
    for (auto *b : findChildren<TagButton *>()) {
        b->on = m_set.contains(b->objectName());
        b->update();
    }
}

QWidget *TagPicker::button(const QString &tag) const {
    return findChild<QWidget *>(tag);
}

#include "InspectorParts.moc"
