#pragma once

#include "core/model/FileItem.h"

#include <QPointer>
#include <QScrollArea>

class BarButton;
class PaneModel;
class QLabel;
class QVBoxLayout;
class ThumbnailView;

// The last column of the columns view while one file is selected: its large thumbnail, its name, kind,
// size and date, and a button that opens it.
class PreviewColumn : public QScrollArea {
    Q_OBJECT
public:
    PreviewColumn(PaneModel *model, QWidget *parent = nullptr);

    void setItem(const FileItem &item);
    const FileItem &item() const { return m_item; }
    // The facts shown, as (label key, value) pairs in order.
    QList<std::pair<QString, QString>> facts() const;
    static QList<std::pair<QString, QString>> factsOf(const FileItem &item);

    ThumbnailView *thumbnail() const { return m_thumb; }
    QLabel *nameLabel() const { return m_name; }
    BarButton *openButton() const { return m_open; }

protected:
    void changeEvent(QEvent *event) override;

private:
    void updateFacts();

    QPointer<PaneModel> m_model;
    FileItem m_item;
    ThumbnailView *m_thumb;
    QLabel *m_name;
    QWidget *m_factsBox;
    QVBoxLayout *m_facts;
    BarButton *m_open;
};
