#pragma once

#include <QPointer>
#include <QToolButton>

class PaneModel;
class QMenu;

// The sort keys as menu entries: the key in force shows its arrow and a checkmark; choosing it again
// reverses the order, choosing another sorts by it in its natural direction.
namespace SortMenuItems {
// Appends one action per sort key to menu.
void fill(QMenu *menu, PaneModel *model);
// The label of a key's entry.
QString label(const PaneModel &model, int keyIndex);
} // namespace SortMenuItems

// The header's sort button: a symbol that opens the sort entries.
class SortMenu : public QToolButton {
    Q_OBJECT
public:
    explicit SortMenu(PaneModel *model, QWidget *parent = nullptr);
    // "Sortieren: Name ↑ (erneut wählen kehrt die Richtung um)"
    static QString helpText(const PaneModel &model);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateHelp();
    QPointer<PaneModel> m_model;
};
