#pragma once

#include <QFrame>
#include <QPointer>
#include <functional>

class QLabel;
class QToolButton;

// The hover help card: a short explanation and the link "Mehr im Handbuch", in a frameless tool window
// that never takes the focus. Its height is measured from the text, so long translations and large fonts
// are never clipped.
class HelpCard : public QFrame {
    Q_OBJECT
public:
    static constexpr int cardWidth = 284;
    static constexpr int textWidth = 260;

    explicit HelpCard(QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const;
    QLabel *label() const { return m_text; }
    QToolButton *link() const { return m_link; }

signals:
    void hoverChanged(bool over);
    void linkActivated();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void fitHeight();
    QLabel *m_text;
    QToolButton *m_link;
};

// Shows and hides the card of one control, next to it (below it, or above it where the screen ends), and
// while the card is open watches every mouse-down of the application: one outside the card calls onDismiss.
// The card exists only while it is shown; the next showing builds a new one.
class HelpCardAnchor : public QObject {
    Q_OBJECT
public:
    // parent: the owner, the anchor itself when none is given.
    explicit HelpCardAnchor(QWidget *anchor, QObject *parent = nullptr);
    ~HelpCardAnchor() override;

    // Opens the card with this text (or gives an open card the text). Does nothing while the anchor is not
    // on screen.
    void show(const QString &text);
    void hide();
    // The open card; nullptr while hidden.
    HelpCard *card() const { return m_card; }
    // Called, posted to the event loop, for a mouse-down outside the open card.
    std::function<void()> onDismiss;

signals:
    void cardHoverChanged(bool over);
    void linkActivated();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void startMonitor();
    void stopMonitor();
    QPointer<QWidget> m_anchor;
    QPointer<HelpCard> m_card;
    bool m_monitoring = false;
};
