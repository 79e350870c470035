#pragma once

#include "core/model/CancelFlag.h"

#include <QPointer>
#include <QScrollArea>
#include <QSet>
#include <QStringList>

class AppState;
class FileInfoForm;
class MultiInspector;
class PaneModel;
class SizeWalk;

// The inspector column: the Get Info form of the active pane's one selected item (or of its folder when
// nothing is selected), or the summary of several. The summary and the tag states of a selection are read
// once per selection in a worker; the total size is counted by one walk at a time.
class InspectorView : public QScrollArea {
    Q_OBJECT
public:
    explicit InspectorView(AppState *app, QWidget *parent = nullptr);
    ~InspectorView() override;

    FileInfoForm *form() const;
    MultiInspector *multi() const;
    // Reads the active pane again and shows what it asks for.
    void sync();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void watchPane();
    void showMulti(const QSet<QString> &selection);
    void readTags(const QStringList &paths);

    QPointer<AppState> m_app;
    QPointer<PaneModel> m_pane;
    QList<QMetaObject::Connection> m_paneConnections;
    QSet<QString> m_selection;
    QString m_single;
    bool m_stale = false;
    SizeWalk *m_walk = nullptr;
    CancelFlagPtr m_summaryFlag;
    quint64 m_generation = 0;
};
