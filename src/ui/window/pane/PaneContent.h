#pragma once

#include <QPointer>
#include <QStackedWidget>

class AccessMessage;
class AppState;
class ListContent;
class MessageView;
class PaneModel;

// The content area of a pane: a message or the items, decided by one fixed order of cases. The icon
// grid and the columns show the list for now.
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

    PaneContent(PaneModel *model, AppState *app, QWidget *parent = nullptr);

    const Decision &decision() const { return m_decision; }
    ListContent *list() const { return m_list; }
    MessageView *messageView() const { return m_message; }
    AccessMessage *accessMessage() const { return m_access; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    // Right clicks no item view took (a message, the list's header): the background menu.
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void refresh();

    QPointer<PaneModel> m_model;
    QPointer<AppState> m_app;
    Decision m_decision;
    ListContent *m_list;
    MessageView *m_message;
    AccessMessage *m_access;
};
