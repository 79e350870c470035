#include "ui/window/ToastView.h"

#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace {
constexpr int kPadX = 14, kPadY = 8, kSpacing = 8;
}

namespace {

// Screen readers treat a toast as an alert: announced with its text when it appears.
QAccessibleInterface *toastAccessible(const QString &className, QObject *object) {
    if (className == QLatin1String("ToastView") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::AlertMessage);
    return nullptr;
}

} // namespace

ToastView::ToastView(QWidget *parent) : QWidget(parent) {
    static const bool installed = (QAccessible::installFactory(toastAccessible), true);
    Q_UNUSED(installed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
}

QFont ToastView::textFont() const {
    QFont f = font();
    f.setPixelSize(int(std::lround(EnvironmentValues::ui(this).small() + 0.5)));
    return f;
}

void ToastView::setToast(const Toast &toast) {
    m_toast = toast;
    setAccessibleName(toast.text);
    setAccessibleDescription(toast.text);
    m_announce = true;
    if (isVisible()) announce();
    updateGeometry();
    resize(sizeHint());
    update();
}

void ToastView::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (m_announce) announce();
}

// Screen readers read a new toast out as an alert.
void ToastView::announce() {
    m_announce = false;
    QAccessibleEvent event(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

// The text's box: at most three lines, the capsule at most 640 wide.
QRect ToastView::textRect(int width) const {
    const QFontMetrics fm(textFont());
    const int icon = fm.height();
    const int maxText = width - 2 * kPadX - icon - kSpacing;
    // Laid out as drawText lays it out: a line drawn from a fallback font (Thai, say) is taller than the
    // font's own line spacing, so the box is the sum of the first three lines' heights.
    QTextLayout layout(m_toast.text, textFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    qreal height = 0, widest = 0;
    layout.beginLayout();
    for (int n = 0; n < 3; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(maxText);
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return QRect(0, 0, std::min(int(std::ceil(widest)), maxText),
                 std::max(int(std::ceil(height)), fm.lineSpacing()));
}

QSize ToastView::sizeHint() const {
    const QFontMetrics fm(textFont());
    const QRect text = textRect(kMaxWidth);
    const int w = std::min(kMaxWidth, text.width() + 2 * kPadX + fm.height() + kSpacing);
    const int h = std::max(text.height(), fm.height()) + 2 * kPadY;
    return {w + 2 * kShadow, h + 2 * kShadow};
}

void ToastView::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect()).adjusted(kShadow, kShadow - 3, -kShadow, -kShadow - 3);
    const double radius = capsule.height() / 2;

    // Shadow: a few widening, fading outlines below the capsule.
    for (int i = 1; i <= 8; ++i) {
        QColor shade(0, 0, 0, int(0.18 * 255 / 8 * (9 - i) / 4));
        QPainterPath s;
        s.addRoundedRect(capsule.translated(0, 3).adjusted(-i / 2.0, -i / 2.0, i / 2.0, i / 2.0),
                         radius + i / 2.0, radius + i / 2.0);
        p.fillPath(s, shade);
    }
    QPainterPath path;
    path.addRoundedRect(capsule, radius, radius);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.96);
    p.fillPath(path, fill);
    QColor border = palette().color(QPalette::WindowText);
    border.setAlphaF(0.12);
    p.setPen(QPen(border, 1));
    p.drawPath(path);

    const QFontMetrics fm(textFont());
    const int icon = fm.height();
    const AppTheme theme = EnvironmentValues::appTheme(this);
    const QRectF iconRect(capsule.left() + kPadX, capsule.center().y() - icon / 2.0, icon, icon);
    if (m_toast.isError) {
        p.drawPixmap(iconRect.toRect(), Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), icon,
                                                        QColor(0xff, 0x95, 0x00), devicePixelRatioF()));
    } else if (m_toast.kind == ToastKind::warning) {
        p.drawPixmap(iconRect.toRect(), Symbols::pixmap(QStringLiteral("exclamationmark.circle.fill"), icon,
                                                        QColor(0xe0, 0xa8, 0x00), devicePixelRatioF()));
    } else {
        // The checkmark filled with the theme's gradient: the symbol as a mask over the gradient.
        QPixmap mask =
            Symbols::pixmap(QStringLiteral("checkmark.circle.fill"), icon, Qt::black, devicePixelRatioF());
        QPixmap tinted(mask.size());
        tinted.setDevicePixelRatio(mask.devicePixelRatio());
        tinted.fill(Qt::transparent);
        QPainter tp(&tinted);
        tp.drawPixmap(0, 0, mask);
        tp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tp.fillRect(QRectF(0, 0, icon, icon), theme.gradient(QRectF(0, 0, icon, icon)));
        tp.end();
        p.drawPixmap(iconRect.toRect(), tinted);
    }

    p.setFont(textFont());
    p.setPen(palette().color(QPalette::WindowText));
    const QRect text = textRect(width() - 2 * kShadow);
    const QRectF textBox(iconRect.right() + kSpacing, capsule.center().y() - text.height() / 2.0,
                         capsule.right() - kPadX - iconRect.right() - kSpacing, text.height());
    // Plain text, cut after the third line.
    p.save();
    p.setClipRect(textBox);
    p.drawText(textBox, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_toast.text);
    p.restore();
}
