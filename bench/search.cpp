// kestrin-bench search: (1) a tree within the search's budget of entries, so that both sides do the same
// work, searched for a name fragment against find -iname; (2) a tree of 1,000,000 entries, where the search
// stops at its budget and says so.
#include "Bench.h"

#include "core/model/FileLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// tops × subs folders of `files` files each; every third subfolder holds one match. Returns the matches.
int makeTree(const QByteArray &root, int tops, int subs, int files, int &entries) {
    ::mkdir(root.constData(), 0755);
    int expected = 0;
    for (int a = 0; a < tops; ++a) {
        const QByteArray top = root + "/Projekt " + QByteArray::number(a);
        ::mkdir(top.constData(), 0755);
        ++entries;
        for (int b = 0; b < subs; ++b) {
            const QByteArray sub = top + "/Ordner " + QByteArray::number(b);
            ::mkdir(sub.constData(), 0755);
            ++entries;
            for (int c = 0; c < files; ++c, ++entries) {
                const bool match = (a * subs + b) % 3 == 0 && c == 17;
                expected += match;
                const QByteArray name =
                    sub + (match ? "/Notiz-FRAGment " : "/Notiz ") + QByteArray::number(c) + ".txt";
                const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0) return -1;
                ::close(fd);
            }
        }
    }
    return expected;
}

int run(const QStringList &) {
    QTemporaryDir tmp;
    if (!tmp.isValid()) return 1;
    int rc = 0;
    {
        // 20 × 20 folders of 149 files: 60,020 entries, below the budget of 80,000.
        const QByteArray root = QFile::encodeName(tmp.path() + QStringLiteral("/tree"));
        int entries = 0;
        const int expected = makeTree(root, 20, 20, 149, entries);
        if (expected < 0) return 1;
        const QString path = QFile::decodeName(root);
        CancelFlag flag;
        qsizetype hits = 0;
        bool cutShort = false;
        const Bench::Pair t = Bench::alternate(
            5,
            [&] {
                return Bench::timeOf([&] {
                    hits =
                        FileLoader::search(path, QStringLiteral("frag"), SearchFilter{}, flag, 400, &cutShort)
                            .size();
                });
            },
            [&] {
                return Bench::timeOfCommand(QStringLiteral("find"),
                                            {path, QStringLiteral("-iname"), QStringLiteral("*frag*")});
            });
        std::printf("(1) entries: %d (budget %d), hits: %lld of %d, cut short: %s\n", entries,
                    FileLoader::searchBudget, static_cast<long long>(hits), expected,
                    cutShort ? "yes" : "no");
        Bench::report(QStringLiteral("(1) search within the budget"), t.ours, 1,
                      QStringLiteral("find -iname"), t.theirs, 1);
        if (hits != expected || cutShort) rc = 1;
    }
    {
        // 40 × 50 folders of 500 files: 1,000,040 entries.
        const QByteArray root = QFile::encodeName(tmp.path() + QStringLiteral("/large"));
        int entries = 0;
        const int expected = makeTree(root, 40, 50, 500, entries);
        if (expected < 0) return 1;
        const QString path = QFile::decodeName(root);
        CancelFlag flag;
        qsizetype hits = 0;
        bool cutShort = false;
        const Bench::Pair t = Bench::alternate(
            3,
            [&] {
                return Bench::timeOf([&] {
                    hits =
                        FileLoader::search(path, QStringLiteral("frag"), SearchFilter{}, flag, 400, &cutShort)
                            .size();
                });
            },
            [&] {
                return Bench::timeOfCommand(QStringLiteral("find"),
                                            {path, QStringLiteral("-iname"), QStringLiteral("*frag*")});
            });
        std::printf("(2) entries: %d, hits: %lld of %d, cut short: %s (the pane says so under the hits)\n",
                    entries, static_cast<long long>(hits), expected, cutShort ? "yes" : "no");
        Bench::report(QStringLiteral("(2) search of 1,000,000 entries (ours stops at the budget)"), t.ours, 1,
                      QStringLiteral("find -iname (walks everything)"), t.theirs, 1);
        if (!cutShort) rc = 1;
    }
    return rc;
}

const Bench::Registration reg("search",
                              "search a tree within the budget by name (reference: find -iname), then a tree "
                              "of 1,000,000 entries that the budget cuts short",
                              run);

} // namespace
