#pragma once

#include <QLabel>

// One line of plain text, shortened where it does not fit (in the middle for paths, so both ends stay
// readable). text() keeps the whole text, which screen readers use, and the tooltip of a shortened one
// unless it has its own.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text = {}, QWidget *parent = nullptr,
                         Qt::TextElideMode mode = Qt::ElideMiddle);
    // What the label draws at its present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    Qt::TextElideMode m_mode;
};

// Plain text wrapped at its spaces; a word wider than the label ends in the middle with "…". The
// tooltip (where anything is cut) and the accessible name keep the whole text.
class WrappingLabel : public QLabel {
    Q_OBJECT
public:
    explicit WrappingLabel(const QString &text = {}, QWidget *parent = nullptr);
    void setFullText(const QString &text);
    const QString &fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fit();
    QString m_full;
};
