#pragma once

#include "ui/style/AppTheme.h"
#include "ui/style/UIScale.h"

#include <QAbstractButton>
#include <QColor>
#include <QFont>

#include <chrono>

class QVariantAnimation;

// The interaction state of one button.
struct ButtonState {
    bool enabled = true;
    bool hover = false;
    bool pressed = false;
    bool flash = false; // the pressed look held a moment after release
    bool active() const { return pressed || flash; }
};

// What a button looks like in one state, kept apart from painting so it can be checked.
struct ButtonLook {
    enum class Fill { none, primary, gradient };
    Fill fill = Fill::none;
    double fillOpacity = 0; // of the primary colour, or of both gradient colours
    bool border = false;    // 1-pixel gradient border inside the edge, opacity 0.7
    double radius = 6;
    double scale = 1;
    double opacity = 1;
    QColor foreground;
};

// Text buttons in bars and sheets.
namespace BarButtonStyle {
ButtonLook look(const ButtonState &state, bool prominent, const AppTheme &theme, const QPalette &palette);
QFont font(const UIScale &ui);
inline constexpr int padX = 10, padY = 4;
} // namespace BarButtonStyle

// Square symbol buttons.
namespace IconButtonStyle {
ButtonLook look(const ButtonState &state, bool selected, const AppTheme &theme, const QPalette &palette);
// The frame is a little larger than the symbol: size + 14 wide, size + 12 high.
QSize frame(double size);
} // namespace IconButtonStyle

// Inline text links.
namespace LinkButtonStyle {
ButtonLook look(const ButtonState &state, const AppTheme &theme, const QPalette &palette);
inline constexpr int padX = 3;
} // namespace LinkButtonStyle

// Shared behaviour of the three buttons: hover tracking, the release flash and the
// eased press scale. Theme and scale come from the window's EnvironmentValues.
class StyledButton : public QAbstractButton {
    Q_OBJECT
public:
    // How long the pressed look stays after a release; tests shorten it.
    static void setFlashDuration(std::chrono::milliseconds duration);
    static std::chrono::milliseconds flashDuration();

    ButtonState state() const;
    virtual ButtonLook look() const = 0;

protected:
    StyledButton(bool hasFlash, double pressedScale, QWidget *parent);
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Draws the label inside the already scaled and faded frame.
    virtual void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) = 0;

    AppTheme theme() const;
    UIScale ui() const;

private:
    void activeChanged();
    bool m_hasFlash;
    double m_pressedScale;
    bool m_hover = false;
    bool m_flash = false;
    bool m_wasPressed = false;
    bool m_wasActive = false;
    double m_scaleProgress = 0; // 0 at rest, 1 fully pressed
    QVariantAnimation *m_anim = nullptr;
    int m_flashGeneration = 0;
};

class BarButton : public StyledButton {
    Q_OBJECT
public:
    // key: a German text key (or an already formed text), translated each time it is drawn.
    explicit BarButton(const QString &key = {}, bool prominent = false, QWidget *parent = nullptr);
    QString key() const { return m_key; }
    void setKey(const QString &key);
    bool prominent() const { return m_prominent; }
    void setProminent(bool prominent);
    ButtonLook look() const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The title as drawn at the current width (shortened where it does not fit), and the width the
    // drawn label then takes, which never exceeds the button's.
    virtual QString shownText() const;
    virtual int drawnWidth() const;

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;

private:
    QString m_key;
    bool m_prominent;
};

// A bar button with a symbol before (or after) its title; at its narrowest the symbol alone.
class LabelButton : public BarButton {
    Q_OBJECT
public:
    LabelButton(const QString &key, const QString &symbol, bool trailing, bool prominent,
                QWidget *parent = nullptr);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // With its title, whatever symbolOnly says: what the button would ask for to show it.
    QSize titledSizeHint() const;
    // Asks for the symbol's room alone; the bar that holds it decides.
    void setSymbolOnly(bool on);
    bool symbolOnly() const { return m_symbolOnly; }
    // The title whole or not at all (a cut title reads as another word), so the button never draws
    // beyond itself.
    QString shownText() const override;
    int drawnWidth() const override;

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;

private:
    int iconSize() const;
    QString m_symbol;
    bool m_trailing;
    bool m_symbolOnly = false;
};

class IconButton : public StyledButton {
    Q_OBJECT
public:
    // symbol: a name of the Symbols table.
    explicit IconButton(const QString &symbol = {}, bool selected = false, double size = 12,
                        QWidget *parent = nullptr);
    // German key of the tooltip and accessible name, translated when shown.
    void setHelpKey(const QString &key);
    const QString &helpKey() const { return m_helpKey; }
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    double symbolSize() const { return m_size; }
    ButtonLook look() const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;

private:
    bool event(QEvent *event) override;
    QString m_symbol;
    QString m_helpKey;
    bool m_selected;
    double m_size;
};

class LinkButton : public StyledButton {
    Q_OBJECT
public:
    // Font and colour come from the surroundings (font and foreground role of the widget).
    explicit LinkButton(const QString &key = {}, QWidget *parent = nullptr);
    void setKey(const QString &key);
    ButtonLook look() const override;
    QSize sizeHint() const override;

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override;

private:
    QString m_key;
};

// The toolbar's settings button: a gear symbol; the window connects clicked() to opening the
// settings window and raising it.
class SettingsGearButton : public IconButton {
    Q_OBJECT
public:
    explicit SettingsGearButton(QWidget *parent = nullptr);
};
