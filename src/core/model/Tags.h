#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// File tags: a binary property list of "name\ncolour" strings in the attribute
// user.com.apple.metadata:_kMDItemUserTags, mirrored as comma-separated names to user.xdg.tags. A write
// changes both attributes or neither. Other file managers change only the mirror: where it no longer holds
// the list's names (or is gone), its names are the item's tags, with the list's colours where they stayed.
namespace FileOps {

// Why the tags of one item could not be changed.
struct TagError {
    enum class Reason { write, unreadable, unparsable, encoding };
    Reason reason = Reason::write;
    int code = 0; // errno of the failed call
    QString path;
};
// One German sentence naming the item, in the current language.
QString describe(const TagError &error);

const QString &tagXattr(); // "com.apple.metadata:_kMDItemUserTags"
const QStringList &tagChoices();
const QHash<QString, int> &tagColorNumber();

// For display: no attribute, an unreadable one and one that is no list of strings all read as no tags.
QStringList rawTags(const QString &path);
QStringList tags(const QString &path);
// Whether raw tags ("name\ncolour", as a listing's items hold them) carry this name; copies nothing, as it
// is asked for every item of large selections.
bool carriesName(const QStringList &rawTags, QStringView name);
// The same on a path already turned into bytes; rawList is the item's attribute name list when the caller
// has read it (so an item without tags costs no further call).
QStringList rawTagsOfEncoded(const char *path, const QByteArray *rawList = nullptr);
// The same for the entry name of the open folder dirFd (path is its full path, for kernels without calls on
// an open folder).
QStringList rawTagsAt(int dirFd, const char *name, const char *path, const QByteArray &rawList);

int colorNumber(const QString &rawTag);

// For writers: tells "no tags" (empty list) from either attribute (the list or its mirror) holding what
// could not be read or parsed; both are rewritten together, so neither may then be replaced.
// `folder`, where given, is the item's folder held by the caller (see Xattr).
std::optional<QStringList> readRawTagsStrict(const QString &path, TagError *error, int folder = -1);

std::optional<TagError> writeRawTags(const QStringList &rawTags, const QString &path, int folder = -1);
std::optional<TagError> setTagNames(const QStringList &names, const QString &path, int folder = -1);
// The first failure's description, or nothing when every item was written. `folders`, where given, holds
// each item's folder, as above.
std::optional<QString> toggleTag(const QString &name, const QStringList &paths,
                                 const QList<int> &folders = {});
std::optional<QString> clearTags(const QStringList &paths, const QList<int> &folders = {});

} // namespace FileOps
