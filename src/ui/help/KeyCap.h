#pragma once

#include <QString>
#include <QWidget>

// One small key cap for one token of a written shortcut ("⌘", "F11", "Klick"), with the key's name under
// the named keys. Display only.
class KeyCap : public QWidget {
    Q_OBJECT
public:
    explicit KeyCap(const QString &token, QWidget *parent = nullptr);

    QString token() const { return m_token; }
    // The name line under the token (untranslated); empty for tokens without one.
    static QString nameOf(const QString &token);
    // Pixel size of the token: long tokens are set smaller.
    double textSize() const;
    int horizontalPadding() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont tokenFont() const;
    QFont nameFont() const;
    QString m_token;
};
