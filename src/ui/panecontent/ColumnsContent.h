#pragma once

#include "core/model/FileLoader.h"
#include "core/model/SortKey.h"
#include "ui/panecontent/ItemView.h"

#include <QHash>
#include <QPointer>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <functional>

class AccessMessage;
class PreviewColumn;
class QMenu;
class QPropertyAnimation;
class QTimer;

// What one load of a folder column is of: a change of any field starts a new load.
struct ColumnLoadKey {
    QString dir;
    qint64 token = 0;
    SortKey sort = SortKey::name;
    bool reversed = false;
    bool operator==(const ColumnLoadKey &) const = default;
};
size_t qHash(const ColumnLoadKey &key, size_t seed = 0);

// One folder of the columns view. It lists its folder in a worker and keeps the result; the column of
// the pane's current folder shows the pane's own items instead of listing the folder a second time.
class ColumnList : public ItemView {
    Q_OBJECT
public:
    // The listing the columns use; tests replace it to control order and timing. Runs in a worker.
    using Lister = std::function<FileLoader::Listing(const QString &dir)>;
    static void setLister(Lister lister); // empty: FileLoader::list

    ColumnList(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
               const QString &dir, QWidget *parent = nullptr);

    const QString &dir() const { return m_dir; }
    int index() const { return m_index; }
    void setIndex(int index);
    // Starts a load when the key differs from the last one.
    void setKey(const ColumnLoadKey &key);
    const ColumnLoadKey &key() const { return m_key; }
    // Shows the pane's items (this is the column of its current folder, listed by the pane).
    // key: what the pane listed, so the column does not list it again after the pane moves on.
    void setPaneItems(const QList<FileItem> &items, const ItemsDiff *diff, const ColumnLoadKey &key);
    bool failed() const { return m_failed; }
    // The message shown in place of the rows after a failed load (empty while none).
    QString failureText() const { return m_failed ? m_failure : QString(); }
    bool loading() const { return m_loading; }
    // How a row is highlighted: in the current folder's column by the selection (strongly), in an
    // ancestor's column the one folder that leads on along the trail (weakly), elsewhere not at all.
    struct Highlight {
        bool on = false;
        bool strong = false;
        bool operator==(const Highlight &) const = default;
    };
    Highlight highlight(int row) const;
    // The text a failed listing shows: the no-access sentence only for a denied access.
    static QString failureFor(const FileLoader::Error &error);

protected:
    void itemClicked(int row, Qt::KeyboardModifiers modifiers, int count) override;
    bool rowSelected(int row) const override { return highlight(row).on; }
    bool showsPaneSelection() const override { return false; }
    void selectedFromView(const QSet<QString> &paths) override;
    FolderDropTarget dropTarget(int row) override;
    void openMenu(int row, const QPoint &global) override;
    void menuSelect(int row) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void load();
    void apply(quint64 generation, FileLoader::Listing listing);
    void scrollToCursor();
    void showFailure(bool failed);

    QString m_dir;
    int m_index = 0;
    QStringList m_chain; // the pane's trail, asked once per change rather than per row
    ColumnLoadKey m_key;
    quint64 m_generation = 0;
    bool m_loading = false;
    bool m_failed = false;
    QString m_failure;
    AccessMessage *m_message = nullptr;
};

class ColumnRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ColumnRowDelegate(ColumnList *column);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    ColumnList *m_column;
};

// The menu of a column's empty area: paste, new folder and new file in the column's folder, sorting,
// refresh and the storage analysis of that folder.
namespace ColumnBackgroundMenu {
QMenu *build(QWidget *parent, PaneModel *model, const ViewMenus &menus, const QString &dir);
}

// The columns mode of a pane: the folders of its trail (and the one selected folder) side by side, then
// the preview of the one selected file; scrolled to its end whenever they or the width change.
class ColumnsContent : public QScrollArea {
    Q_OBJECT
public:
    // Durations of the scroll to the end; tests shorten them.
    struct Timings {
        int delayMs = 60;
        int animationMs = 200;
        int settleMs = 300;
    };
    static void setTimings(const Timings &timings);

    // n columns of w points fit the width W; each folder column is w - 1 wide (never below 0).
    struct Geometry {
        int count = 2;
        int width = 0;
        int columnWidth() const { return width > 0 ? width - 1 : 0; }
        bool operator==(const Geometry &) const = default;
    };
    static Geometry geometryFor(int width);
    // The preview column's width: with only two columns in view it takes a third (at least 120 points)
    // and the folder columns the rest, so their names come first; otherwise a column's width.
    static int previewWidth(const Geometry &g);

    ColumnsContent(PaneModel *model, Sides &sides, Clipboard &clipboard, const ViewMenus &menus,
                   QWidget *parent = nullptr);

    QList<ColumnList *> columns() const;
    ColumnList *column(const QString &dir) const { return m_columns.value(dir); }
    PreviewColumn *preview() const { return m_preview; }
    // How many scrolls the scroll to the end made (tests).
    int scrollSteps() const { return m_scrollSteps; }
    bool scrollPending() const;
    void scrollToEnd();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    ColumnLoadKey paneKey() const;
    void layoutColumns();
    void scrollStep();

    QPointer<PaneModel> m_model;
    Sides &m_sides;
    Clipboard &m_clipboard;
    ViewMenus m_menus;
    QWidget *m_row;
    QHash<QString, ColumnList *> m_columns;
    QStringList m_dirs;
    QList<QWidget *> m_separators;
    PreviewColumn *m_preview = nullptr;
    std::optional<QString> m_previewPath;
    QString m_paneListed; // the folder whose listing the pane has published
    Geometry m_geometry;
    QTimer *m_scrollTimer;
    QPropertyAnimation *m_scrollAnimation;
    int m_scrollStage = 0;
    int m_scrollSteps = 0;
};
