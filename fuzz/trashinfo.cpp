// The .trashinfo of an item in the home Trash, as any program may have written it.
#include "FuzzEnv.h"
#include "core/fileops/RestoreMove.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QString item = [] {
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
        QDir().mkpath(trash + QStringLiteral("/files"));
        QDir().mkpath(trash + QStringLiteral("/info"));
        QFile(trash + QStringLiteral("/files/item")).open(QIODevice::WriteOnly);
        return trash + QStringLiteral("/files/item");
    }();
    QFile info(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/info/item.trashinfo"));
    if (!info.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    info.write(reinterpret_cast<const char *>(data), qint64(size));
    info.close();
    Restore::readTrashInfo(item);
    Restore::trashInfoOrigin(item);
    return 0;
}
