#pragma once

#include "ui/style/AppTheme.h"

#include <QPixmap>
#include <QWidget>

class QLabel;
class BarButton;

// A symbol drawn in the theme gradient; the message views and the pane's symbols use it.
class GradientSymbol : public QWidget {
    Q_OBJECT
public:
    GradientSymbol(const QString &symbol, int px, QWidget *parent = nullptr);
    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    QSize sizeHint() const override { return QSize(m_px, m_px); }
    // The symbol's shape filled with the gradient.
    static QPixmap render(const QString &symbol, int px, const AppTheme &theme, qreal dpr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
    int m_px;
};

// A centred symbol over a text, shown in place of a pane's items.
class MessageView : public QWidget {
    Q_OBJECT
public:
    MessageView(const QString &symbol = {}, const QString &text = {}, QWidget *parent = nullptr);
    void setMessage(const QString &symbol, const QString &text);
    QString symbol() const;
    QString text() const;

protected:
    MessageView(int symbolPx, int spacing, int textWidth, QWidget *parent);
    void changeEvent(QEvent *event) override;
    void fitText();
    QLabel *m_text;
    GradientSymbol *m_symbol;
    int m_textWidth;
};

// The message of a folder that can't be read (or a Trash that looks empty). Linux desktops have no
// setting that grants one program access to all files, so it has no button that would open one.
class AccessMessage : public MessageView {
    Q_OBJECT
public:
    AccessMessage(const QString &symbol = {}, const QString &text = {}, QWidget *parent = nullptr);
};
