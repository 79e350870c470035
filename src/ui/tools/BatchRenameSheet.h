#pragma once

#include "core/fileops/TwoPhaseRename.h"
#include "core/tools/BatchRename.h"

#include <QDialog>
#include <QPointer>

class AppState;
class PaneModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class QVBoxLayout;
struct UIScale;

// The sheet that renames many items by a pattern with a live preview.
class BatchRenameSheet : public QDialog {
    Q_OBJECT
public:
    BatchRenameSheet(AppState *app, QStringList paths, QWidget *parent = nullptr);

    const BatchRename::Settings &settings() const { return m_settings; }
    void setSettings(const BatchRename::Settings &settings);
    const QList<BatchRename::Row> &rows() const { return m_rows; }
    QString status() const;
    bool canRename() const;

    // Renames the changed rows as one job; false when the job was refused (the sheet stays open).
    static bool apply(AppState *app, const QList<BatchRename::Row> &rows,
                      std::function<void()> finished = {});
    // What follows a rename: refreshes, selection, one undo entry, one toast.
    static void finish(AppState *app, QPointer<PaneModel> pane, const FileOps::TwoPhaseReport &report);

private:
    void buildForm(QVBoxLayout *root, const UIScale &ui);
    void buildPreview(QVBoxLayout *root, const UIScale &ui);
    QPushButton *buildFooter(QVBoxLayout *root, const UIScale &ui);
    void wire(QPushButton *cancel);
    void recompute();
    void rename();

    QPointer<AppState> m_app;
    QStringList m_paths;
    BatchRename::Settings m_settings;
    QList<BatchRename::Row> m_rows;

    QLineEdit *m_pattern = nullptr;
    QLineEdit *m_find = nullptr;
    QLineEdit *m_replace = nullptr;
    QSpinBox *m_start = nullptr;
    QSpinBox *m_digits = nullptr;
    QComboBox *m_case = nullptr;
    QCheckBox *m_keep = nullptr;
    QTreeWidget *m_preview = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_rename = nullptr;
};
