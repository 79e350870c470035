#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>

class ItemCommands;
class QAction;
class Sides;
class Toasts;
class WindowRequests;
class FileInfoForm;
class QLabel;
class QPushButton;
class SheetPresenter;
class SizeWalk;

// The information sheet: the Get Info form for one item, or the count and total size of several. The
// count stops when the sheet closes or is replaced by another target.
class InfoSheet : public QDialog {
    Q_OBJECT
public:
    // undo: the window's undo of the files, which Ctrl+Z in the sheet runs.
    static void registerWith(SheetPresenter *sheets, Sides &sides, ItemCommands &items, Toasts &toasts,
                             WindowRequests &requests, QAction *undo = nullptr);

    InfoSheet(Sides &sides, ItemCommands &items, Toasts &toasts, WindowRequests &requests,
              const QStringList &paths, QWidget *parent = nullptr);
    ~InfoSheet() override;

    FileInfoForm *form() const { return m_form; }
    QLabel *sizeLabel() const { return m_size; }
    bool counting() const;
    // Ctrl+Z runs undo, as Edit ▸ Undo would after the sheet: a change made here is undone while it is
    // open. A text field with the focus keeps its own Ctrl+Z (it claims the key before any shortcut).
    void setUndo(QAction *undo);

    // "2,5 MB (3 Dateien)": the file count only from two files on.
    static QString totalText(qint64 bytes, qint64 files);

private:
    void buildOne(const QString &path, QPushButton *done);
    void buildMany(const QStringList &paths, QPushButton *done);

    Sides &m_sides;
    ItemCommands &m_items;
    Toasts &m_toasts;
    WindowRequests &m_requests;
    FileInfoForm *m_form = nullptr;
    QLabel *m_size = nullptr;
    SizeWalk *m_walk = nullptr;
};
