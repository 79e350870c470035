// A desktop entry as found in an application folder or anywhere else: its facts read from the bytes,
// then the same bytes as a file of the user's application folder, asked whether it may be started.
#include "FuzzEnv.h"
#include "platform/AppRegistry.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = FuzzEnv::bytes(data, size);
    for (const char *language : {"", "de", "th", "pl_PL@x"})
        if (const auto facts = AppRegistry::readEntry(bytes, QString::fromLatin1(language)))
            (void)(facts->name.size() + facts->icon.size() + facts->exec.size() + facts->tryExec.size());

    static const QString path = [] {
        const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
        QDir().mkpath(folder);
        return folder + QStringLiteral("/fuzzed.desktop");
    }();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
    file.write(bytes);
    file.close();
    AppRegistry::isApplicationEntry(path);
    AppRegistry::entry(path, QStringLiteral("de"));
    return 0;
}
