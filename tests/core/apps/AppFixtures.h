#pragma once

// Application entries, a mimeapps.list and a desktop's own list, written below the private home before
// GIO is first asked (it reads its folders once). Every entry runs writer.sh, which records its
// arguments (the entry's name first) in out/, so a test sees what was launched with what.

#include "common/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTest>
#include <gtest/gtest.h>

namespace AppFixtures {

inline QString root() {
    return TestUtil::testHome() + QStringLiteral("/gio");
}
inline QString appsDir() {
    return root() + QStringLiteral("/data/applications");
}
inline QString outDir() {
    return root() + QStringLiteral("/out");
}
inline QString entry(const QString &name) {
    return appsDir() + u'/' + name + QStringLiteral(".desktop");
}
inline QString downloads() {
    return root() + QStringLiteral("/Downloads");
}

inline QByteArray desktopFile(const QString &id, const QString &name, const QString &types) {
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nName[de]=%1\nExec=%2/writer.sh %3 %F\n"
                          "MimeType=%4\n")
        .arg(name, root(), id, types)
        .toUtf8();
}

// What the desktop's database tool would write: GIO finds the types of entries through this cache.
inline void writeCache(const QMap<QString, QStringList> &byType) {
    QByteArray cache = "[MIME Cache]\n";
    for (auto it = byType.begin(); it != byType.end(); ++it)
        cache += (it.key() + u'=' + it.value().join(u';') + u';' + u'\n').toUtf8();
    TestUtil::writeFile(appsDir() + "/mimeinfo.cache", cache);
}

inline void install() {
    const QString r = root();
    QDir().mkpath(appsDir());
    QDir().mkpath(outDir());
    QDir().mkpath(downloads());
    TestUtil::writeFile(r + "/writer.sh",
                        QStringLiteral("#!/bin/sh\nout=%1\nprintf '%s\\n' \"$@\" > \"$out/t.$$\" && "
                                       "mv \"$out/t.$$\" \"$out/run.$$\"\n")
                            .arg(outDir())
                            .toUtf8());
    QFile::setPermissions(r + "/writer.sh", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The real type database, but none of the machine's applications.
    QFile::link(QStringLiteral("/usr/share/mime"), r + QStringLiteral("/data/mime"));
    TestUtil::writeFile(entry("zeta"), desktopFile("zeta", "Zeta", "text/x-csrc;text/x-java;"));
    TestUtil::writeFile(entry("alpha"), desktopFile("alpha", "Alpha", "text/x-csrc;text/x-java;"));
    TestUtil::writeFile(entry("beta"), desktopFile("beta", "Beta", "text/plain;"));
    TestUtil::writeFile(entry("aaron"), desktopFile("aaron", "Aaron", "text/plain;"));
    TestUtil::writeFile(entry("tool10"), desktopFile("tool10", "Tool 10", "text/plain;"));
    TestUtil::writeFile(entry("tool2"), desktopFile("tool2", "Tool 2", "text/plain;"));
    TestUtil::writeFile(entry("editor"), desktopFile("editor", "Editor", "text/plain;"));
    for (int i = 0; i < 75; ++i) {
        const QString id = QStringLiteral("many%1").arg(i, 2, 10, QLatin1Char('0'));
        TestUtil::writeFile(
            entry(id),
            desktopFile(id, QStringLiteral("App %1").arg(i, 2, 10, QLatin1Char('0')), "text/x-tex;"));
    }
    // In the right place, yet nothing to start: a link, a script under an entry's name, one the desktop
    // hides; one kept out of lists; one whose program is gone; a launcher of Java Web Start files.
    TestUtil::writeFile(entry("weblink"), "[Desktop Entry]\nType=Link\nName=Web\nURL=https://example.org/\n");
    TestUtil::writeFile(entry("script"), ("#!/bin/sh\n" + r + "/writer.sh script\n").toUtf8());
    QFile::setPermissions(entry("script"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestUtil::writeFile(entry("hidden"), desktopFile("hidden", "Hidden", "text/x-csrc;") + "Hidden=true\n");
    TestUtil::writeFile(entry("quiet"), desktopFile("quiet", "Quiet", "text/x-csrc;") + "NoDisplay=true\n");
    TestUtil::writeFile(
        entry("vanished"),
        ("[Desktop Entry]\nType=Application\nName=Vanished\nExec=" + r + "/no-such-program %F\n").toUtf8());
    TestUtil::writeFile(entry("webstart"),
                        desktopFile("webstart", "Web Start", "application/x-java-jnlp-file;"));
    QMap<QString, QStringList> byType;
    byType["text/x-csrc"] = QStringList{"zeta.desktop", "alpha.desktop"};
    byType["text/x-csrc"] << "hidden.desktop"
                          << "quiet.desktop";
    byType["text/x-java"] = QStringList{"zeta.desktop", "alpha.desktop"};
    byType["application/x-java-jnlp-file"] = QStringList{"webstart.desktop"};
    byType["text/plain"] =
        QStringList{"aaron.desktop", "beta.desktop", "tool10.desktop", "tool2.desktop", "editor.desktop"};
    for (int i = 0; i < 75; ++i)
        byType["text/x-tex"] << QStringLiteral("many%1.desktop").arg(i, 2, 10, QLatin1Char('0'));
    writeCache(byType);
    // The same entry, word for word, where a download lands: it must never run.
    TestUtil::writeFile(downloads() + "/evil.desktop", desktopFile("evil", "Evil", "text/x-csrc;"));
    QFile::link(downloads() + "/evil.desktop", appsDir() + "/linked.desktop");

    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QDir().mkpath(config);
    TestUtil::writeFile(config + "/mimeapps.list", "[Default Applications]\ntext/x-csrc=zeta.desktop\n"
                                                   "text/plain=editor.desktop\ntext/x-tex=many74.desktop\n"
                                                   "application/x-java-jnlp-file=webstart.desktop\n");
    // A desktop's own list comes first: a default set in the general list does not win against it.
    TestUtil::writeFile(config + "/ktest-mimeapps.list",
                        "[Default Applications]\ntext/x-java=zeta.desktop\n");
    qputenv("XDG_CURRENT_DESKTOP", "KTest");
    qputenv("XDG_DATA_DIRS", (r + "/data").toUtf8());
}

inline void clearOut() {
    QDir out(outDir());
    for (const QString &name : out.entryList(QDir::Files))
        out.remove(name);
}

// The arguments of the first launch recorded (the entry's id first); empty after the time is up.
inline QStringList waitLaunch(int ms = 5000) {
    QDir out(outDir());
    QStringList runs;
    for (int waited = 0; waited <= ms; waited += 20) {
        runs = out.entryList({QStringLiteral("run.*")}, QDir::Files);
        if (!runs.isEmpty()) break;
        QTest::qWait(20);
    }
    if (runs.isEmpty()) return {};
    return QString::fromUtf8(TestUtil::readFile(outDir() + u'/' + runs.first()))
        .split(u'\n', Qt::SkipEmptyParts);
}

inline bool nothingLaunched(int ms = 600) {
    QTest::qWait(ms);
    return QDir(outDir()).entryList({QStringLiteral("run.*")}, QDir::Files).isEmpty();
}

class Environment : public ::testing::Environment {
public:
    void SetUp() override { install(); }
};

} // namespace AppFixtures
