#pragma once

#include <QList>
#include <QPointer>
#include <QScrollArea>

class Clipboard;
class QLabel;
class PaneModel;
class PlainLinkButton;

// The trail from the outermost root to the pane's folder as clickable names; it scrolls sideways and
// keeps its end (the folder shown) in view after every folder change.
class Breadcrumbs : public QScrollArea {
    Q_OBJECT
public:
    Breadcrumbs(PaneModel *model, Clipboard &clipboard, QWidget *parent = nullptr);
    // The crumb buttons, root first.
    const QList<PlainLinkButton *> &buttons() const { return m_buttons; }
    // "…" before the first crumb shown where the ones before it have stepped out, as the path bar marks
    // a cut start.
    QLabel *cutMark() const { return m_cut; }
    void scrollToEnd();
    QSize minimumSizeHint() const override;
    // The width in which the current folder's name shows whole.
    int wholeNameWidth() const;

signals:
    // Files were dropped onto a crumb (into its folder).
    void dropped();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void rebuild();
    void clear();
    // The crumb of path titled name (after a chevron unless first), in bold when last.
    void addCrumb(const QString &path, const QString &name, bool first, bool last);
    // Right clicks on a crumb offer to copy its path.
    void offerCopy(PlainLinkButton *button, const QString &path);
    // Shortens the current folder's name in the middle when the trail's view is narrower than it.
    void fitLast();
    // The crumbs before it take the room left, from the nearest one back: the one that no longer fits
    // whole ends in an ellipsis, those before it step out of the trail (never cut at the view's edge).
    void fitEarlier();
    // "…" where crumbs stepped out before the first one shown, unless that one ends in an ellipsis.
    void markCut();
    int fullWidthOfLast() const;

    QPointer<PaneModel> m_model;
    QPointer<Clipboard> m_clipboard;
    QWidget *m_row;
    QList<PlainLinkButton *> m_buttons;
    QList<QWidget *> m_chevrons; // the one before each crumb; null before the first
    QLabel *m_cut = nullptr;
    QStringList m_names;
    QString m_lastName;
};
