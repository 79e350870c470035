// .trashinfo files as any program may have written them: parsed, and when they parse, read for an item in
// the home Trash (where relative and ".." paths are resolved or refused).
#include "FuzzEnv.h"
#include "core/fileops/RestoreMove.h"
#include "platform/Trash.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!Trash::parseInfo(text)) return 0;
    static const QString item = [] {
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash");
        QDir().mkpath(trash + QStringLiteral("/files"));
        QDir().mkpath(trash + QStringLiteral("/info"));
        QFile(trash + QStringLiteral("/files/item")).open(QIODevice::WriteOnly);
        return trash + QStringLiteral("/files/item");
    }();
    QFile info(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/info/item.trashinfo"));
    if (!info.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    info.write(text.data(), text.size());
    info.close();
    Restore::readTrashInfo(item);
    const int infoFd = ::open(QFile::encodeName(QFileInfo(info).path()).constData(), O_PATH | O_CLOEXEC);
    if (infoFd >= 0) {
        Trash::shownNameAt(infoFd, "item", QStringLiteral("item"));
        ::close(infoFd);
    }
    return 0;
}
