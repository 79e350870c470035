// The settings file as found at start: read through the settings store, set aside when unreadable.
#include "FuzzEnv.h"
#include "core/base/Defaults.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString path = Defaults::filePath();
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    Defaults::resetForTests();
    Defaults::contains(QStringLiteral("language"));
    Defaults::stringValue(QStringLiteral("theme"));
    Defaults::boolValue(QStringLiteral("dualPane"));
    Defaults::intValue(QStringLiteral("fontSize"));
    Defaults::doubleValue(QStringLiteral("splitFraction"));
    Defaults::doubleValue(QStringLiteral("inspectorWidth"));
    Defaults::unreadable();
    Defaults::value(QStringLiteral("toolbarApps")).toStringList();
    if (const QString aside = Defaults::setAsidePath(); !aside.isEmpty()) QFile::remove(aside);
    return 0;
}
