#include "platform/Terminal.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace Terminal {

QStringList knownTerminals() {
    return {QStringLiteral("x-terminal-emulator"),
            QStringLiteral("gnome-terminal"),
            QStringLiteral("konsole"),
            QStringLiteral("xfce4-terminal"),
            QStringLiteral("mate-terminal"),
            QStringLiteral("lxterminal"),
            QStringLiteral("tilix"),
            QStringLiteral("terminator"),
            QStringLiteral("kitty"),
            QStringLiteral("alacritty"),
            QStringLiteral("foot"),
            QStringLiteral("xterm")};
}

std::optional<QString> find() {
    // $TERMINAL names a program, possibly with its path; arguments in it are not supported.
    const QString chosen =
        QProcessEnvironment::systemEnvironment().value(QStringLiteral("TERMINAL")).trimmed();
    if (!chosen.isEmpty()) {
        if (chosen.contains(u'/')) {
            const QFileInfo info(chosen);
            if (info.isFile() && info.isExecutable()) return info.absoluteFilePath();
        } else if (const QString path = QStandardPaths::findExecutable(chosen); !path.isEmpty()) {
            return path;
        }
    }
    for (const QString &name : knownTerminals())
        if (const QString path = QStandardPaths::findExecutable(name); !path.isEmpty()) return path;
    return std::nullopt;
}

std::optional<QString> openIn(const QString &terminal, const QString &folder) {
    QProcess process;
    process.setProgram(terminal);
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached()) return process.errorString();
    return std::nullopt;
}

} // namespace Terminal
