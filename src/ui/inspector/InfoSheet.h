#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>

class ItemCommands;
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
    static void registerWith(SheetPresenter *sheets, Sides &sides, ItemCommands &items, Toasts &toasts,
                             WindowRequests &requests);

    InfoSheet(Sides &sides, ItemCommands &items, Toasts &toasts, WindowRequests &requests,
              const QStringList &paths, QWidget *parent = nullptr);
    ~InfoSheet() override;

    FileInfoForm *form() const { return m_form; }
    QLabel *sizeLabel() const { return m_size; }
    bool counting() const;

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
