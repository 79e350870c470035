#pragma once

#include <QWidget>
#include <functional>
#include <optional>

// A 7-pixel vertical grip between two columns: a hairline that thickens and takes the theme colour on
// hover and while dragging, the left-right resize cursor, and a reset on double click. The value it
// moves is read and written through the two functions: a drag shows its value as it goes (the layout
// follows dragging()) and writes it once, when the drag ends.
class ColumnHandle : public QWidget {
    Q_OBJECT
public:
    ColumnHandle(std::function<double()> read, std::function<void(double)> write, QWidget *parent = nullptr);
    bool isActive() const { return m_hover || m_start.has_value(); }
    QSize sizeHint() const override { return {7, 100}; }
    // The value of the drag under way; none between drags.
    std::optional<double> dragValue() const { return m_value; }

signals:
    void dragging(double value);

protected:
    // The new value for a drag that moved dx pixels since it began at `start`; nullopt leaves it alone.
    virtual std::optional<double> dragged(double start, int dx) const = 0;
    virtual double resetValue() const = 0;

    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *) override;

private:
    std::function<double()> m_read;
    std::function<void(double)> m_write;
    bool m_hover = false;
    std::optional<double> m_start;
    std::optional<double> m_value;
    std::optional<int> m_pressX;
};

// Between the two panes: moves the left pane's share, within 0.2 to 0.8; double click gives 50/50.
class SplitHandle : public ColumnHandle {
    Q_OBJECT
public:
    SplitHandle(std::function<double()> read, std::function<void(double)> write, QWidget *parent = nullptr);
    // The width both panes share; set by the layout.
    void setTotal(int total) { m_total = total; }

protected:
    std::optional<double> dragged(double start, int dx) const override;
    double resetValue() const override { return 0.5; }

private:
    int m_total = 0;
};

// At the inspector's left edge: its width within 220 to 520; double click gives 290.
class InspectorResizeHandle : public ColumnHandle {
    Q_OBJECT
public:
    InspectorResizeHandle(std::function<double()> read, std::function<void(double)> write,
                          QWidget *parent = nullptr);

protected:
    std::optional<double> dragged(double start, int dx) const override;
    double resetValue() const override { return 290; }
};
