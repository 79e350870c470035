#pragma once

#include "core/app/FileInfoState.h"
#include "core/model/OpenWithApp.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <sys/types.h>

class QComboBox;
class QLabel;
class QPushButton;
class Toasts;
class UndoJournal;
struct Services;

// Two sections of the Get Info form for one item: "Öffnen mit" (files only: the application for this one
// file, and making it the default for every file of the type) and "Teilen & Zugriffsrechte" (read and
// write access of owner, group and others). Loads its facts off the main thread; every picker stays
// disabled until they are there. A link shows and changes the item it leads to; a broken one is disabled.
class FileInfoAppSection : public QWidget {
    Q_OBJECT
public:
    FileInfoAppSection(Toasts &toasts, Services &services, const QString &path, QWidget *parent = nullptr);
    // Follows the form's item: a rename there moves this section to the new name, a refresh reads again.
    FileInfoAppSection(Toasts &toasts, Services &services, FileInfoState *form, QWidget *parent = nullptr);

    const QString &path() const { return m_path; }
    // Shows the item at path from now on (its facts are read again).
    void setPath(const QString &path);

    bool isLoaded() const { return m_loaded; }
    QString openWith() const { return m_openWith; }
    // What the picker starts on: the file's own choice, else the default application, else the first.
    static QString initialChoice(const QList<OpenWithApp> &apps, const std::optional<QString> &override);
    mode_t mode() const { return m_mode; }
    const QList<OpenWithApp> &apps() const { return m_apps; }

    void chooseApp(const QString &appPath);
    void changeAllOfType();
    void setAccess(int value, int shift);
    // Where a permission change is recorded, so that it can be undone like any other change.
    void setUndoJournal(UndoJournal *journal) { m_journal = journal; }
    // Reads everything again.
    void load();
    // The two parts, for a form that places them apart; they keep working from here.
    QWidget *openWithPart() const { return m_openWithPart; }
    QWidget *accessPart() const { return m_accessPart; }

signals:
    void loaded();

private:
    struct Facts;
    void buildOpenWith(double smallFont);
    void buildAccess(double smallFont);
    void apply(const Facts &facts);
    void showApps();
    void showAccess();
    const OpenWithApp *appAt(const QString &path) const;
    // Runs act on the loaded item when it is still the one under the path; else says so and returns false.
    bool onLoadedItem(const std::function<void(const QString &pinned)> &act);
    // Says that the item under the path is no longer the one shown, and nothing was changed.
    void notLoadedItem();

    // Toasts and services live and go together; the toasts' pointer says whether they still do.
    QPointer<Toasts> m_toasts;
    QPointer<UndoJournal> m_journal;
    Services &m_services;
    QString m_path;
    quint64 m_generation = 0;
    bool m_loaded = false;
    bool m_accessOk = false;
    QList<OpenWithApp> m_apps;
    QString m_openWith;
    QString m_contentType, m_kind;
    mode_t m_mode = 0;
    QString m_owner, m_group;
    std::optional<FileInfoState::ItemId> m_id; // the item the facts were read from

    QWidget *m_openWithPart = nullptr;
    QWidget *m_accessPart = nullptr;
    QComboBox *m_appPicker = nullptr;
    QPushButton *m_changeAll = nullptr;
    QList<QLabel *> m_rowTitles;
    QList<QComboBox *> m_accessPickers;
};
