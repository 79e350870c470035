// Tag attributes of a file: our property-list attribute and the user.xdg.tags mirror, each as another
// program may have left it, read for display and for a change.
#include "FuzzEnv.h"
#include "core/model/Tags.h"
#include "platform/Xattr.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {
const QString kAttr = QStringLiteral("user.com.apple.metadata:_kMDItemUserTags");
const QString kMirror = QStringLiteral("user.xdg.tags");
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
    Xattr::remove(file, kAttr);
    Xattr::remove(file, kMirror);
    if (!list.empty()) Xattr::set(file, kAttr, QByteArray(list.data(), qsizetype(list.size())));
    if (!mirror.empty()) Xattr::set(file, kMirror, QByteArray(mirror.data(), qsizetype(mirror.size())));

    for (const QString &raw : FileOps::rawTags(file))
        FileOps::colorNumber(raw);
    FileOps::TagError error;
    FileOps::readRawTagsStrict(file, &error);
    FileOps::toggleTag(QStringLiteral("Rot"), {file});
    FileOps::tags(file);
    return 0;
}
