#pragma once

#include <QString>
#include <QVariant>

#include <optional>

// Property lists in extended attributes (user.<name>, binary when written), and the two facts kept that
// way besides the tags: the comment (mirrored as plain text to user.xdg.comment) and the application
// chosen to open this one file.
namespace FileOps {

const QString &commentXattr();  // "com.apple.metadata:kMDItemFinderComment"
const QString &openWithXattr(); // "com.apple.LaunchServices.OpenWith"

// The parsed value of any type; nothing when the attribute is absent, unreadable or no property list.
std::optional<QVariant> readXattrPlist(const QString &name, const QString &path);

// The writers return 0 on success, else errno (EINVAL for a value that can't be written).
// Writes the value, or removes the attribute when there is none (an absent one is no error).
int writeXattrPlist(const std::optional<QVariant> &value, const QString &name, const QString &path);

// Empty when there is none or it is no text; the mirror counts when the list attribute is absent or
// unreadable, and where another program changed or removed it.
QString comment(const QString &path);
// Writes the text exactly as given to both attributes, or removes both for the empty text; both change
// together or neither does.
// `folder`, where given, is the item's folder held by the caller (see Xattr).
int setComment(const QString &text, const QString &path, int folder = -1);

// The path of the application chosen for this file (the "path" entry), or nothing.
std::optional<QString> openWithOverride(const QString &path);
// Records the application's .desktop file for this file, or removes the choice when there is none.
int setOpenWithOverride(const std::optional<QString> &appPath, const QString &path);

} // namespace FileOps
