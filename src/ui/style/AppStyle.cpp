#include "ui/style/AppStyle.h"

#include "ui/style/AppTheme.h"

#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

// Controls need 3:1 against their surroundings, texts 4.5:1.
constexpr double kControlContrast = 3.0;

// Against the window, the field colour and the tinted sections boxes stand on as well.
QColor edgeOf(const QPalette &pal) {
    QColor text = pal.color(QPalette::Text);
    text.setAlphaF(0.35f);
    const QColor window = pal.color(QPalette::Window), base = pal.color(QPalette::Base);
    return AppTheme::readableOn(AppTheme::over(text, base),
                                {window, base, AppTheme::over(AppTheme::sectionTint(pal), window)},
                                kControlContrast);
}

QColor chosenFill(const QPalette &pal) {
    // Against the window and the other segments, whose fill the style draws up to a third lighter.
    const QColor button = pal.color(QPalette::Button);
    return AppTheme::readableOn(pal.color(QPalette::Active, QPalette::Highlight),
                                {pal.color(QPalette::Window), button, button.lighter(140)}, kControlContrast);
}

QColor onChosen(const QPalette &pal) {
    const QColor fill = chosenFill(pal);
    return AppTheme::contrast(Qt::white, fill) >= AppTheme::contrast(Qt::black, fill) ? QColor(Qt::white)
                                                                                      : QColor(Qt::black);
}

bool chosenSegment(const QStyleOption *option) {
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    return button && (option->state & QStyle::State_On) && (option->state & QStyle::State_Enabled) &&
           !(button->features & QStyleOptionButton::Flat);
}

class Style : public QProxyStyle {
public:
    Style() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *ret) const override {
        if (hint == SH_EtchDisabledText) return 0;
        // A menu taller than a small screen scrolls: split into columns it ran off the screen's side.
        if (hint == SH_Menu_Scrollable) return 1;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const bool box = element == PE_IndicatorCheckBox, radio = element == PE_IndicatorRadioButton;
        // Disabled ones stay faint; a keyboard focus keeps its own edge.
        const bool focusEdge =
            (option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange);
        if ((box || radio) && (option->state & State_Enabled) && !focusEdge) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(edgeOf(option->palette), 1));
            if (box) {
                painter->drawRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5));
            } else {
                const QRectF r = QRectF(option->rect).adjusted(1, 1, -1, -1);
                painter->drawEllipse(r.center() + QPointF(0.5, 0.5), r.width() / 2 - 0.5,
                                     r.height() / 2 - 0.5);
            }
            painter->restore();
        }
        if (element == PE_PanelButtonCommand && chosenSegment(option)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setPen(Qt::NoPen);
            painter->setBrush(chosenFill(option->palette));
            painter->drawRoundedRect(QRectF(option->rect).adjusted(1, 1.5, -1.5, -0.5), 2, 2);
            painter->restore();
        }
    }

    // Above the base size, a push button's text keeps a gap to its frame that grows with the text.
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (type == CT_PushButton && button && !button->text.isEmpty()) {
            const QFont font = widget ? widget->font() : QApplication::font();
            const int px = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
            size.rwidth() += 2 * std::max(0, px - 13);
        }
        return size;
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override {
        if (element == CE_PushButtonLabel && chosenSegment(option)) {
            QStyleOptionButton chosen = *qstyleoption_cast<const QStyleOptionButton *>(option);
            chosen.palette.setColor(QPalette::ButtonText, onChosen(option->palette));
            QProxyStyle::drawControl(element, &chosen, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

} // namespace

namespace AppStyle {

void install() {
    static bool installed = false;
    if (installed || !qApp) return;
    installed = true;
    QApplication::setStyle(new Style);
}

} // namespace AppStyle
