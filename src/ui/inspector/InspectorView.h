#pragma once

#include "core/model/CancelFlag.h"
#include "ui/style/UIScale.h"

#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QStringList>

class FileInfoForm;
class ItemCommands;
class MultiInspector;
class PaneModel;
class Sides;
class SizeWalk;
class Toasts;

// The inspector column: the Get Info form of the active pane's one selected item (or of its folder when
// nothing is selected), or the summary of several. It follows the active pane's selection, folder and
// refreshes, and nothing else of it. The summary and the tag states of a selection are read
// once per selection in a worker; the total size is counted by one walk at a time.
class InspectorView : public QScrollArea {
    Q_OBJECT
public:
    InspectorView(Sides &sides, ItemCommands &items, Toasts &toasts, QWidget *parent = nullptr);
    ~InspectorView() override;

    FileInfoForm *form() const;
    MultiInspector *multi() const;
    // Reads the active pane again and shows what it asks for.
    void sync();
    // The field the keys go to when the window's parts are gone through (Ctrl+F6): one item's name,
    // else the first stop of the summary; nullptr while the column is hidden or has none.
    QWidget *firstField() const;

signals:
    // Enter or Escape ended an edit in the form: the keys go back to the files.
    void editEnded();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchPane();
    void replaceWidget(QWidget *next);
    void showMulti(const QSet<QString> &selection);
    void readTags(const QStringList &paths);

    // The parts live and go together; the sides' pointer says whether they still do.
    QPointer<Sides> m_sides;
    ItemCommands &m_items;
    Toasts &m_toasts;
    QPointer<PaneModel> m_pane;
    QList<QMetaObject::Connection> m_paneConnections;
    QSet<QString> m_selection;
    QString m_single;
    bool m_stale = false;
    SizeWalk *m_walk = nullptr;
    CancelFlagPtr m_summaryFlag;
    quint64 m_generation = 0;
    QPointer<QWidget> m_keysBefore;
    UIScale m_builtFor;
};
