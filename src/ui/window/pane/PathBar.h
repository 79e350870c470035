#pragma once

#include <QPointer>
#include <QWidget>

class Clipboard;
class IconButton;
class QHBoxLayout;
class PaneModel;
class QLabel;
class QScrollArea;

// The pane's footer: the full path of the one selected item, else of the folder, as selectable text
// scrolled to its end (a "…" before it marks a cut start), and a button that copies it.
class PathBar : public QWidget {
    Q_OBJECT
public:
    PathBar(PaneModel *model, Clipboard &clipboard, QWidget *parent = nullptr);
    static QString shownPath(const PaneModel &model);
    // Where a scrolled text starts so that no character is cut: the width of its shortest start that is
    // at least least pixels wide in font.
    static int cutAtCharacter(const QString &text, const QFont &font, int least);
    QLabel *pathLabel() const { return m_path; }
    // The "…" before the path, shown while its start is scrolled out of sight.
    QLabel *cutMark() const { return m_cut; }
    IconButton *copyButton() const { return m_copy; }
    QScrollArea *scroller() const { return m_scroll; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The path in its scroller, after the mark of a cut start.
    void addPath(QHBoxLayout *row);
    void addCopyButton(QHBoxLayout *row);
    void followLooks(QLabel *folder);
    void refresh();
    bool eventFilter(QObject *watched, QEvent *event) override;
    void scrollToEnd();
    // Shows the mark while the start is cut and keeps the end in sight, once the layouts have run.
    void settleSoon();
    void settle();

    QPointer<PaneModel> m_model;
    QPointer<Clipboard> m_clipboard;
    QScrollArea *m_scroll;
    QLabel *m_path;
    QLabel *m_cut;
    IconButton *m_copy;
    QString m_shown;
    bool m_atEnd = true;
    bool m_settleQueued = false;
    bool m_settling = false;
};
