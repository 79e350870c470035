#pragma once

#include "ui/style/UIScale.h"

#include "core/tools/StorageModel.h"

#include <QDialog>
#include <QPointer>

#include <optional>

class AppState;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class StorageRows;
struct UIScale;

// Where the space inside a folder goes: the direct children or the largest files, with bars and shares;
// walks into sub-folders and back, opens an item in the active pane or shows it in the file manager.
// Nothing on disk is changed from here.
class StorageAnalysisSheet : public QDialog {
    Q_OBJECT
public:
    StorageAnalysisSheet(AppState *app, const QString &path, QWidget *parent = nullptr);
    ~StorageAnalysisSheet() override;

    StorageModel &model() { return m_model; }
    int tab() const { return m_tab; }
    void setTab(int tab);
    qsizetype rowCount() const;
    StorageEntry row(qsizetype i) const;
    // The row of the item at path in the shown tab, or -1.
    qsizetype rowOf(const QString &path) const;
    std::optional<StorageEntry> selectedEntry() const;
    void select(const std::optional<QString> &path);

    // The second line of a largest file: its folder relative to the analysed one.
    static QString relativeFolder(const QString &analysed, const QString &path);
    // "12,5 %" in the interface language, empty without a total or for another volume.
    static QString share(const StorageEntry &entry, qint64 total);
    // The font of a row's size and share, and the widths of their columns: room for the widest of each.
    static QFont digitsFont(const UIScale &ui);
    static int shareColumn(const UIScale &ui);
    static int sizeColumn(const UIScale &ui);
    // Width of a row's bar on a track of the given width.
    static double barWidth(qint64 size, qint64 scale, double track);
    std::optional<QString> volumeLine() const;

    void analyse(const StorageEntry &entry);
    void openInPane(const StorageEntry &entry);
    void reveal(const QString &path);
    void chooseFolder();
    void activate(const StorageEntry &entry); // a double click

    void done(int result) override;

private:
    void build();
    void buildHeader(QVBoxLayout *outer, const UIScale &ui);
    void buildStatus(QVBoxLayout *outer, const UIScale &ui);
    void buildTabs(QVBoxLayout *outer);
    void buildList(QVBoxLayout *outer, const UIScale &ui);
    void buildActions(QVBoxLayout *outer);
    void refresh();
    void contextMenu(const QPoint &at);

    QPointer<AppState> m_app;
    QString m_requestPath;
    StorageModel m_model;
    int m_tab = 0;
    std::optional<QString> m_selected;

    StorageRows *m_rows = nullptr;
    QListView *m_list = nullptr;
    QLabel *m_path = nullptr, *m_statusText = nullptr, *m_counts = nullptr, *m_volume = nullptr;
    QLabel *m_empty = nullptr, *m_skipped = nullptr;
    QProgressBar *m_spinner = nullptr;
    QPushButton *m_back = nullptr, *m_again = nullptr, *m_stop = nullptr, *m_byFolder = nullptr,
                *m_largest = nullptr, *m_analyse = nullptr, *m_open = nullptr, *m_show = nullptr;
};
