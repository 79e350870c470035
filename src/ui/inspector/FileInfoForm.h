#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

class FileInfoState;
class InspectorSection;
class ItemCommands;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QVBoxLayout;
class TagPicker;
class Sides;
class ThumbnailView;
class Toasts;
class WrappingLabel;
struct UIScale;

// The Get Info form of one file or folder: header, tags, general facts with the lock, further facts, name,
// comment and preview. Its state and edits live in FileInfoState.
class FileInfoForm : public QWidget {
    Q_OBJECT
public:
    // Places in the form where another part of the program adds a section of its own: the application
    // that opens the file (files only: hidden for folders), after the comment; the access rights, last.
    enum class Slot { openWith, permissions };
    // Called once per place when a form is built; nullptr leaves the place empty. The widget can follow
    // the form through form->state() (changed(), details(), path(), load()).
    using SectionProvider = std::function<QWidget *(FileInfoForm *form, Slot slot)>;
    static void setSectionProvider(SectionProvider provider);

    FileInfoForm(Sides &sides, ItemCommands &items, Toasts &toasts, const QString &path, qint64 refresh,
                 QWidget *parent = nullptr);

    FileInfoState *state() const { return m_state; }
    void setRefresh(qint64 token);

    // For tests and screenshots.
    QLineEdit *nameField() const { return m_name; }
    QLineEdit *tagsField() const { return m_tags; }
    QPlainTextEdit *commentEditor() const { return m_comment; }
    QCheckBox *lockBox() const { return m_lock; }
    TagPicker *tagPicker() const { return m_picker; }
    QWidget *slotWidget(Slot slot) const { return slot == Slot::openWith ? m_openWith : m_permissions; }

signals:
    // Enter or Escape ended the name's edit: the keys go back to the files.
    void editEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildHeader(QVBoxLayout *stack, const UIScale &ui);
    void buildFacts(QVBoxLayout *stack, const UIScale &ui);
    InspectorSection *buildEditors(QVBoxLayout *stack, const UIScale &ui);
    void wire(InspectorSection *comments);
    void sync();
    void fillFields();
    void rebuildRows(QVBoxLayout *layout, QList<QWidget *> &rows,
                     const QList<QPair<QString, QString>> &pairs);

    QPointer<ItemCommands> m_items;
    FileInfoState *m_state = nullptr;
    bool m_filling = false;
    ThumbnailView *m_thumb = nullptr;
    ThumbnailView *m_preview = nullptr;
    WrappingLabel *m_title = nullptr;
    WrappingLabel *m_size = nullptr;
    WrappingLabel *m_modified = nullptr;
    TagPicker *m_picker = nullptr;
    QLineEdit *m_tags = nullptr;
    InspectorSection *m_general = nullptr;
    QVBoxLayout *m_generalRows = nullptr;
    QList<QWidget *> m_generalList;
    QList<QPair<QString, QString>> m_generalShown;
    QCheckBox *m_lock = nullptr;
    InspectorSection *m_extra = nullptr;
    QList<QWidget *> m_extraList;
    QList<QPair<QString, QString>> m_extraShown;
    QLineEdit *m_name = nullptr;
    QPlainTextEdit *m_comment = nullptr;
    QWidget *m_openWith = nullptr;
    QWidget *m_openWithSection = nullptr; // the folding section around it
    QWidget *m_permissions = nullptr;
    QString m_shownPath;
};
