#pragma once

#include <QList>
#include <QPointer>
#include <QScrollArea>

class AppState;
class PaneModel;
class PlainLinkButton;

// The trail from the outermost root to the pane's folder as clickable names; it scrolls sideways and
// keeps its end (the folder shown) in view after every folder change.
class Breadcrumbs : public QScrollArea {
    Q_OBJECT
public:
    Breadcrumbs(PaneModel *model, AppState *app, QWidget *parent = nullptr);
    // The crumb buttons, root first.
    const QList<PlainLinkButton *> &buttons() const { return m_buttons; }
    void scrollToEnd();
    QSize minimumSizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    // Shortens the current folder's name in the middle when the trail's view is narrower than it.
    void fitLast();
    int fullWidthOfLast() const;

    QPointer<PaneModel> m_model;
    QPointer<AppState> m_app;
    QWidget *m_row;
    QList<PlainLinkButton *> m_buttons;
    QString m_lastName;
};
