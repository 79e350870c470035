#pragma once

#include "ui/window/pane/PaneParts.h"

#include <QPointer>
#include <QStackedWidget>

class AccessMessage;
class ColumnsContent;
class IconGrid;
class ListContent;
class MessageView;
class PaneModel;

// The content area of a pane: a message or the items as a list, an icon grid or columns, decided by one
// fixed order of cases.
class PaneContent : public QStackedWidget {
    Q_OBJECT
public:
    struct Decision {
        enum class Kind { access, message, list, icons, columns };
        Kind kind = Kind::list;
        QString symbol;
        QString text;
        bool showParent = false; // list: the items are search hits
        bool operator==(const Decision &) const = default;
    };
    static Decision decide(const PaneModel &model);

    PaneContent(PaneModel *model, const PaneParts &parts, QWidget *parent = nullptr);

    const Decision &decision() const { return m_decision; }
    ListContent *list() const { return m_list; }
    // Made when first shown.
    IconGrid *grid() const { return m_grid; }
    ColumnsContent *columns() const { return m_columns; }
    // Whether path is a real Trash folder (a user's folder that is merely named so is not).
    static bool isTrashFolder(const QString &path);
    MessageView *messageView() const { return m_message; }
    AccessMessage *accessMessage() const { return m_access; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // Right clicks no item view took (a message, the list's header): the background menu.
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void refresh();

    QPointer<PaneModel> m_model;
    PaneParts m_parts;
    Decision m_decision;
    ListContent *m_list;
    IconGrid *m_grid = nullptr;
    ColumnsContent *m_columns = nullptr;
    MessageView *m_message;
    AccessMessage *m_access;
};
