// The desktop's user-dirs.dirs, written by other programs (or by hand): the folder names it gives.
#include "FuzzEnv.h"
#include "core/localisation/SystemNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input = FuzzEnv::bytes(data, size);
    const QHash<QString, QString> dirs = SystemNames::parseUserDirs(input, QStringLiteral("/home/fuzz"));
    // Every path it gives is absolute, or empty for a folder switched off.
    for (const QString &path : dirs)
        if (!path.isEmpty() && !path.startsWith(u'/')) std::abort();
    return 0;
}
