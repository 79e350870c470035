// Searches a tree of 80,000 entries for a name fragment; reference: find -iname.
#include "Bench.h"

#include "core/model/FileLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int run(const QStringList &) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    const QByteArray root = QFile::encodeName(tmp.path() + QStringLiteral("/tree"));
    ::mkdir(root.constData(), 0755);
    // 20 top folders x 20 subfolders x 199 files = 80,000 entries in all (folders included).
    int entries = 0, expected = 0;
    for (int a = 0; a < 20; ++a) {
        const QByteArray top = root + "/Projekt " + QByteArray::number(a);
        ::mkdir(top.constData(), 0755);
        ++entries;
        for (int b = 0; b < 20; ++b) {
            const QByteArray sub = top + "/Ordner " + QByteArray::number(b);
            ::mkdir(sub.constData(), 0755);
            ++entries;
            for (int c = 0; c < 199 && entries < 80000; ++c, ++entries) {
                const bool match = (a * 20 + b) % 3 == 0 && c == 17;
                expected += match;
                const QByteArray name =
                    sub + (match ? "/Notiz-FRAGment " : "/Notiz ") + QByteArray::number(c) + ".txt";
                const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0) return 1;
                ::close(fd);
            }
        }
    }
    const QString path = QFile::decodeName(root);
    CancelFlag flag;
    qsizetype hits = 0;
    qint64 growth = 0;
    const double ours = Bench::bestOf(3, [&] {
        const qint64 before = Bench::residentBytes();
        hits = FileLoader::search(path, QStringLiteral("frag"), SearchFilter{}, flag).size();
        growth = std::max(growth, Bench::residentBytes() - before);
    });
    const double theirs = Bench::bestOfCommand(3, QStringLiteral("find"),
                                               {path, QStringLiteral("-iname"), QStringLiteral("*frag*")});
    std::printf("entries: %d, hits: %lld of %d\n", entries, static_cast<long long>(hits), expected);
    std::printf("resident growth: %.1f MB\n", double(growth) / 1e6);
    Bench::report(QStringLiteral("search for a name fragment"), ours, QStringLiteral("find -iname"), theirs);
    return hits == expected ? 0 : 1;
}

const Bench::Registration reg("search", "search a tree of 80,000 entries by name (reference: find -iname)",
                              run);

} // namespace
