#pragma once

#include "core/model/CancelFlag.h"
#include "core/tools/FolderCompare.h"
#include "core/tools/FolderSync.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QPointer>
#include <QSet>

class AppState;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QVBoxLayout;
struct UIScale;
struct SyncStep;

// The rows of a compare with a tick box each and the step each would take under the chosen mode.
class CompareRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { check, name, leftInfo, action, rightInfo, columnCount_ };
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<CompareRow> rows);
    void setMode(SyncMode mode, bool deleteExtra);
    const QList<CompareRow> &rows() const { return m_rows; }
    SyncAction actionOf(const CompareRow &row) const;
    // Ticked rows whose action is not none, in row order.
    QList<SyncStep> steps() const;
    void setTicked(const QString &id, bool ticked);
    void clearOff() { m_off.clear(); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // One side of a row: "—" without a size, else the size (not for a folder) and, when known, the date.
    static QString info(std::optional<qint64> size, const std::optional<QDateTime> &date,
                        bool folder = false);
    static QString info(const CompareRow &row, bool left);

signals:
    void stepsChanged();

private:
    QList<CompareRow> m_rows;
    SyncMode m_mode = SyncMode::leftToRight;
    bool m_deleteExtra = false;
    QSet<QString> m_off;
};

// The sheet that compares the two panes' folders and synchronises them.
class CompareSheet : public QDialog {
    Q_OBJECT
public:
    CompareSheet(AppState *app, QString left, QString right, QWidget *parent = nullptr);
    ~CompareSheet() override;

    // Starts a compare; a running one is cancelled and its result dropped.
    void scan();
    void sync();
    bool loading() const { return m_loading; }
    CompareRowsModel *model() const { return m_model; }
    QString summary() const;
    // The cancel flag of the newest compare; set once it is replaced or the sheet closes.
    CancelFlagPtr scanFlag() const { return m_cancel; }

    void done(int result) override;

private:
    void buildHeader(QVBoxLayout *root, const UIScale &ui);
    void buildBody(QVBoxLayout *root, const UIScale &ui);
    QPushButton *buildFooter(QVBoxLayout *root, const UIScale &ui);
    void wire(QPushButton *close);
    QFont smallFont(const UIScale &ui) const;
    void update();
    void fitInfoColumns();
    void applyResult(int token, const CompareResult &result);

    QPointer<AppState> m_app;
    QString m_left, m_right;
    CompareRowsModel *m_model = nullptr;
    bool m_loading = true;
    int m_token = 0;
    QString m_error;
    FolderSync::Roots m_roots; // as the last compare read them
    CancelFlagPtr m_cancel;

    QButtonGroup *m_modes = nullptr;
    QCheckBox *m_deleteExtra = nullptr;
    QStackedWidget *m_content = nullptr;
    QLabel *m_message = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_summary = nullptr;
    QPushButton *m_again = nullptr;
    QPushButton *m_sync = nullptr;
};
