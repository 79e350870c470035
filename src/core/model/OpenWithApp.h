#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One application that can open a file: its .desktop entry inside the application folders.
struct OpenWithApp {
    QString path; // the .desktop file
    QString name; // Name= in the interface language
    QString icon; // Icon=: a theme name or an absolute path
    bool isDefault = false;
    bool recommended = false; // registered for the type itself, not only for a broader one

    QString id() const { return path; }
    bool operator==(const OpenWithApp &) const = default;

    static constexpr int kMaxListed = 60; // the Get Info list
    static constexpr int kMaxMenu = 40;   // the "Öffnen mit" menu

    // The applications for the file's type: the default first, then the recommended ones, then the
    // others, each group by name; every entry once; at most `limit`. Empty when nothing opens it.
    static QList<OpenWithApp> list(const QString &path, int limit = kMaxListed);
    // The order and the cut of list(), on given records.
    static QList<OpenWithApp> arrange(QList<OpenWithApp> apps, int limit);
    // The facts of one entry; nothing outside the application folders.
    static std::optional<OpenWithApp> of(const QString &desktopFile);
};

namespace OpenWith {

enum class Opened { opened, noApplication, program };
// A double click: the application chosen for this file, else the default for its type. A program or a
// script is never handed to a launcher: a script opens as text in the text editor, a binary is refused.
Opened openDocument(const QString &path);

// Starts the application with the files (none: only starts it). Nothing on success, else a sentence in
// the interface language naming the application by its display name.
std::optional<QString> launch(const QString &desktopFile, const QStringList &paths);

// The text for an application entry that is no .desktop file of the application folders.
const char *notAnAppText();

} // namespace OpenWith
