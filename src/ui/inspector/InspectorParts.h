#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "ui/style/ElidedLabel.h"

class QBoxLayout;
class QLabel;

class QVBoxLayout;
class QToolButton;

// A titled section of the inspector that folds; its content is hidden, not kept open, while folded.
class InspectorSection : public QWidget {
    Q_OBJECT
public:
    InspectorSection(const char *titleKey, QWidget *parent = nullptr);
    QVBoxLayout *body() const { return m_body; }
    bool isOpen() const { return m_open; }
    void setOpen(bool open);
    QToolButton *header() const { return m_header; }

signals:
    void openChanged(bool open);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QToolButton *m_header = nullptr;
    QWidget *m_content = nullptr;
    QVBoxLayout *m_body = nullptr;
    bool m_open = true;
};

// One label and value line; the value is shown as it is and can be selected. Where the column is too
// narrow for both side by side, the value goes under its label rather than past the column's edge.
class InspectorRow : public QWidget {
    Q_OBJECT
public:
    InspectorRow(const char *labelKey, const QString &value, QWidget *parent = nullptr);
    InspectorRow(const QString &labelKey, const QString &value, QWidget *parent = nullptr);
    QLabel *valueLabel() const { return m_value; }
    bool stacked() const { return m_row->direction() == QBoxLayout::TopToBottom; }
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void measure();
    void arrange();
    static constexpr int gap = 16;
    int m_sideBySide = 0; // the width the label and the value need side by side
    QLabel *m_label = nullptr;
    WrappingLabel *m_value = nullptr;
    QBoxLayout *m_row = nullptr;
};

// The seven colour tags; a tag is drawn set when every item carries it. The picker reads nothing itself:
// its owner gives it the tags read off the main thread.
class TagPicker : public QWidget {
    Q_OBJECT
public:
    explicit TagPicker(QWidget *parent = nullptr);
    void setSet(const QSet<QString> &tagsOnAll);
    const QSet<QString> &set() const { return m_set; }
    QWidget *button(const QString &tag) const;

signals:
    void toggled(const QString &tag);

private:
    QSet<QString> m_set;
};
