#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Extended attributes. Attribute names are full Linux names ("user.xdg.tags"); userName() maps a macOS
// attribute name to its "user." counterpart. The calls by path look the item up once, without following
// a link at its name that another account owns (ELOOP), and act on exactly the item they looked at.
namespace Xattr {

enum class Status { ok, absent, unsupported, error };

struct Result {
    Status status = Status::absent;
    QByteArray value;
    int err = 0; // errno for unsupported and error
};

QString userName(const QString &macName);

// `folder`, where given, is the item's folder held open by the caller (O_PATH): the item is looked up in it
// by its last name, and the folder's path is not looked at again.
// Tells an absent attribute from one that could not be read; a size race is retried once.
Result get(const QString &path, const QString &name, int folder = -1);
// 0 on success, else errno.
int set(const QString &path, const QString &name, const QByteArray &value, int folder = -1);
// 0 on success or when the attribute was absent, else errno.
int remove(const QString &path, const QString &name, int folder = -1);
// nullopt when the list could not be read; an empty list when the file system has no attributes.
std::optional<QStringList> list(const QString &path);

// Gives two attributes of one item their new values (nullopt removes one) together or not at all: when
// the second write fails, the first attribute gets its old value back. 0 on success, else errno.
int setBoth(const QString &path, const QString &first, const std::optional<QByteArray> &firstValue,
            const QString &second, const std::optional<QByteArray> &secondValue, int folder = -1);

// Tests only: every later write or removal of the named attribute fails with err (0 ends it).
void failWritesForTests(const QString &name, int err);
// Tests only: runs between the two writes of setBoth (empty: nothing).
void setBetweenWritesForTests(std::function<void()> hook);

// The same on an open file descriptor.
Result get(int fd, const QString &name);
int set(int fd, const QString &name, const QByteArray &value);
std::optional<QStringList> list(int fd);

// The raw, NUL-separated name list of an already encoded path, for loops over many entries: one system
// call when the item has few attributes. Empty when it has none or the file system keeps none; nullopt
// when the list could not be read.
std::optional<QByteArray> listRaw(const char *path);
// The same for an entry of an open folder: the kernel looks up one name instead of the whole path (the
// full path is used where the kernel has no call for it).
std::optional<QByteArray> listRawAt(int dirFd, const char *name, const char *path);
// One attribute of an entry of an open folder, looked up the same way; the full path where the kernel has
// no call for it.
Result getAt(int dirFd, const char *name, const char *attr, const char *path);
// Tests only: forgets that the kernel lacks the calls on an open folder, or pretends it does.
void setAtCallsMissingForTests(bool missing);
// Whether a NUL-separated name list holds name.
bool listHas(const QByteArray &rawList, const char *name);

} // namespace Xattr
