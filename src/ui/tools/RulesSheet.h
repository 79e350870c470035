#pragma once

#include "core/tools/CleanRule.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <optional>

class AppState;
class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QVBoxLayout;
class QWidget;
struct UIScale;

// The editor of the cleanup rules: the list on the left, the selected rule's form on the right. Every edit
// goes straight into AppState's rules, which stores them; there is no working copy.
class RulesSheet : public QDialog {
    Q_OBJECT
public:
    explicit RulesSheet(AppState *app, QWidget *parent = nullptr);

    // The position of the selected rule in AppState's rules.
    std::optional<qsizetype> index() const;
    std::optional<QUuid> selected() const { return m_selected; }
    void select(const std::optional<QUuid> &id);

    void addRule();
    void addExample();
    void removeRule();

    // How long edits wait before the preview is computed again (tests shorten it).
    static int &previewDelayMs();
    // The number of files of the last finished preview, none while one is pending or shown for none.
    std::optional<qsizetype> previewCount() const { return m_previewCount; }
    // What the form says against the rule in place (a folder in a Trash), or empty.
    QString refusalText() const;
    // Whether the preview marks its files as ones a run would leave (their volume has no Trash).
    bool previewMarksNoTrash() const { return m_previewNoTrash; }

    // What the preview found for a rule, off the main thread.
    struct Preview {
        QStringList paths;
        bool noTrash = false;
        QString refusal;
    };

private:
    void build();
    void buildHeader(QVBoxLayout *outer, const UIScale &ui);
    QVBoxLayout *buildList(const UIScale &ui);
    QWidget *buildForm(const UIScale &ui);
    QGridLayout *buildFields(QWidget *form, const UIScale &ui);
    QWidget *folderField(QWidget *form, bool destination, QLabel *&path);
    QWidget *daysField(QWidget *form);
    QWidget *actionField(QWidget *form);
    void buildFooter(QVBoxLayout *outer, const UIScale &ui);
    void rebuildList();
    void loadForm();
    void refreshDerived();
    void edit(const std::function<void(CleanRule &)> &change);
    void chooseFolder(bool destination);
    void schedulePreview();
    void showPreview(const Preview &preview);
    void showRefusal(const QString &text);

    QPointer<AppState> m_app;
    std::optional<QUuid> m_selected;
    bool m_loading = false;

    QListWidget *m_list = nullptr;
    QPushButton *m_remove = nullptr, *m_run = nullptr;
    QStackedWidget *m_right = nullptr;
    QLineEdit *m_name = nullptr, *m_contains = nullptr, *m_exts = nullptr;
    QLabel *m_folder = nullptr, *m_dest = nullptr, *m_daysText = nullptr;
    QSpinBox *m_days = nullptr;
    QButtonGroup *m_action = nullptr;
    QWidget *m_destLabel = nullptr, *m_destRow = nullptr;
    QLabel *m_hint = nullptr, *m_count = nullptr, *m_refusal = nullptr;
    QWidget *m_preview = nullptr;
    QVBoxLayout *m_previewLines = nullptr;
    QCheckBox *m_auto = nullptr;

    QTimer m_previewTimer;
    quint64 m_generation = 0;
    std::optional<qsizetype> m_previewCount;
    bool m_previewNoTrash = false;
    // Why the last folder choice was not taken; it stays said until another rule is shown.
    QString m_choiceRefusal;
};
