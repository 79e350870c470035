#pragma once

// Shared by the fuzz programs: everything they write lives in a private temporary home.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace FuzzEnv {

// Made on first use, with HOME and XDG_* pointing into it; removed when the program exits.
inline const QString &home() {
    static const QString path = [] {
        QByteArray base = QDir::tempPath().toUtf8() + "/kestrin-fuzz-XXXXXX";
        if (!mkdtemp(base.data())) std::abort();
        setenv("HOME", base.constData(), 1);
        for (const char *var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            const QByteArray dir = base + '/' + var;
            QDir().mkpath(QString::fromUtf8(dir));
            setenv(var, dir.constData(), 1);
        }
        std::atexit([] { QDir(home()).removeRecursively(); });
        return QString::fromUtf8(base);
    }();
    return path;
}

inline QByteArray bytes(const uint8_t *data, size_t size) {
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace FuzzEnv
