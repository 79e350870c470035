// Tag attributes of a file: our property-list attribute and the user.xdg.tags mirror, each as another
// program may have left it, read for display and for a change. The same bytes serve as the comment and
// open-with attributes and the comment's mirror.
#include "FuzzEnv.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/Xattr.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {
const QString kAttr = QStringLiteral("user.com.apple.metadata:_kMDItemUserTags");
const QString kMirror = QStringLiteral("user.xdg.tags");
const QString kComment = QStringLiteral("user.com.apple.metadata:kMDItemFinderComment");
const QString kCommentMirror = QStringLiteral("user.xdg.comment");
const QString kOpenWith = QStringLiteral("user.com.apple.LaunchServices.OpenWith");
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QString file = [] {
        const QString path = FuzzEnv::home() + QStringLiteral("/tagged");
        QFile(path).open(QIODevice::WriteOnly);
        return path;
    }();
    FuzzedDataProvider input(data, size);
    const std::string list = input.ConsumeRandomLengthString(4096);
    const std::string mirror = input.ConsumeRemainingBytesAsString();
    const QByteArray listBytes(list.data(), qsizetype(list.size()));
    const QByteArray mirrorBytes(mirror.data(), qsizetype(mirror.size()));
    for (const QString &attr : {kAttr, kComment, kOpenWith}) {
        Xattr::remove(file, attr);
        if (!listBytes.isEmpty()) Xattr::set(file, attr, listBytes);
    }
    for (const QString &attr : {kMirror, kCommentMirror}) {
        Xattr::remove(file, attr);
        if (!mirrorBytes.isEmpty()) Xattr::set(file, attr, mirrorBytes);
    }
    FileOps::comment(file);
    FileOps::openWithOverride(file);

    for (const QString &raw : FileOps::rawTags(file))
        FileOps::colorNumber(raw);
    FileOps::TagError error;
    FileOps::readRawTagsStrict(file, &error);
    FileOps::toggleTag(QStringLiteral("Rot"), {file});
    FileOps::tags(file);
    return 0;
}
