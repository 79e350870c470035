#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The desktop's applications (GIO): which .desktop entries open a content type, the default one, setting
// the default, and launching an entry with files. An application is always named by the absolute path of
// its .desktop file, and only entries inside the application folders count: a .desktop file anywhere else
// (a download, say) has an arbitrary Exec line and is never read or run.
namespace AppRegistry {

// $XDG_DATA_HOME/applications, each $XDG_DATA_DIRS/*/applications and the flatpak export folders, as
// GIO reads them (the environment of now, not Qt's test locations).
QStringList applicationFolders();
// The one rule for what may be started as an application, wherever it is started from: a regular
// .desktop file that lies in one of the application folders, also after its links are resolved, and
// that reads as an entry of Type=Application not marked Hidden=true. Anything else named .desktop is a
// text file.
bool isApplicationEntry(const QString &path);

// The content type of a file; sniff reads its first bytes, otherwise the name alone decides. Empty when
// the file can't be asked about.
QString contentType(const QString &path, bool sniff);
// Whether the type is the other one or one of its kinds (a shell script is plain text).
bool isA(const QString &contentType, const QString &other);

// What the [Desktop Entry] group of an entry says, read from its bytes (which may come from anywhere).
struct EntryFacts {
    QString type;
    QString name; // Name= in the language given, with the fallbacks desktop entries define
    QString icon;
    QString exec;
    QString tryExec;
    bool hidden = false;
    bool noDisplay = false;
};
// Nothing when the bytes are larger than an entry ever is, or hold no [Desktop Entry] group.
std::optional<EntryFacts> readEntry(const QByteArray &bytes, const QString &language);

struct Entry {
    QString file;           // the .desktop path
    QString name;           // Name= in the language given, with the fallbacks desktop entries define
    QString icon;           // Icon=: a theme name or an absolute path; may be empty
    bool noDisplay = false; // not to be offered in lists of applications
    bool operator==(const Entry &) const = default;
};
// The entry's facts; nothing for a file outside the application folders or one that is no application.
std::optional<Entry> entry(const QString &desktopFile, const QString &language);

// Defaults and lists for a content type, as .desktop paths (only entries inside the application folders).
std::optional<QString> defaultFor(const QString &contentType);
QStringList recommendedFor(const QString &contentType);
QStringList allFor(const QString &contentType);

// programMissing: an application entry whose program (TryExec or the start of Exec) isn't installed.
enum class LaunchError { none, notAnApplication, noSuchApplication, programMissing, failed };
struct LaunchResult {
    LaunchError error = LaunchError::none;
    QString detail; // the system's words for failed
};
// Starts the entry with the files as URIs (GIO fills the Exec field codes and spawns without a shell), or
// alone for none. Never runs a file itself.
LaunchResult launch(const QString &desktopFile, const QStringList &paths);

// Makes the entry the default for the type; nothing on success, else the system's words.
std::optional<QString> setDefaultFor(const QString &desktopFile, const QString &contentType);

} // namespace AppRegistry
