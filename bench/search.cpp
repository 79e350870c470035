// kestrin-bench search: (1) a tree within the search's budget of entries, so that both sides do the same
// work, searched for a name fragment against find -iname; (2) a tree of 1,000,000 entries, where the search
// stops at its budget and says so; find's walk is cut at as many entries there.
#include "Bench.h"

#include "core/model/FileLoader.h"

#include <QFile>
#include <cstdio>
#include <optional>
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

struct Searched {
    int entries = 0, expected = 0;
    qsizetype hits = 0;
    bool cutShort = false;
    Bench::Pair t;
};

// A tree of folders × subfolders × files under root, searched by us and by find, alternating.
// cutAt > 0: find's walk is cut after that many entries (its output through head), so that both sides
// look at as many entries.
std::optional<Searched> searchTree(const QString &root, int folders, int subfolders, int files, int runs,
                                   int cutAt = 0) {
    Searched s;
    const QByteArray encoded = QFile::encodeName(root);
    s.expected = makeTree(encoded, folders, subfolders, files, s.entries);
    if (s.expected < 0) return std::nullopt;
    CancelFlag flag;
    s.t = Bench::alternate(
        runs,
        [&] {
            return Bench::timeOf([&] {
                s.hits =
                    FileLoader::search(root, QStringLiteral("frag"), SearchFilter{}, flag, 400, &s.cutShort)
                        .size();
            });
        },
        [&] {
            if (cutAt > 0)
                return Bench::timeOfCommand(QStringLiteral("sh"),
                                            {QStringLiteral("-c"),
                                             QStringLiteral("find \"$1\" | head -n \"$2\" | grep -ic frag"),
                                             QStringLiteral("sh"), root, QString::number(cutAt)});
            return Bench::timeOfCommand(QStringLiteral("find"),
                                        {root, QStringLiteral("-iname"), QStringLiteral("*frag*")});
        });
    return s;
}

int run(const QStringList &) {
    Bench::TempDir tmp;
    if (!tmp.isValid()) return 1;
    int rc = 0;
    // 20 × 20 folders of 149 files: 60,020 entries, below the budget of 80,000.
    const std::optional<Searched> small = searchTree(tmp.path() + QStringLiteral("/tree"), 20, 20, 149, 5);
    if (!small) return 1;
    std::printf("(1) entries: %d (budget %d), hits: %lld of %d, cut short: %s\n", small->entries,
                FileLoader::searchBudget, static_cast<long long>(small->hits), small->expected,
                small->cutShort ? "yes" : "no");
    Bench::report(QStringLiteral("(1) search within the budget"), small->t.ours, 1,
                  QStringLiteral("find -iname"), small->t.theirs, 1);
    if (small->hits != small->expected || small->cutShort) rc = 1;

    // 40 × 50 folders of 500 files: 1,000,040 entries.
    const std::optional<Searched> large =
        searchTree(tmp.path() + QStringLiteral("/large"), 40, 50, 500, 3, FileLoader::searchBudget);
    if (!large) return 1;
    std::printf("(2) entries: %d, hits: %lld of %d, cut short: %s (the pane says so under the hits)\n",
                large->entries, static_cast<long long>(large->hits), large->expected,
                large->cutShort ? "yes" : "no");
    // Both sides look at as many entries: find's walk is cut at the budget too.
    Bench::report(QStringLiteral("(2) search of 1,000,000 entries (ours stops at the budget)"), large->t.ours,
                  1, QStringLiteral("find cut at %1 entries | grep -i").arg(FileLoader::searchBudget),
                  large->t.theirs, 1);
    if (!large->cutShort) rc = 1;
    return rc;
}

const Bench::Registration reg("search",
                              "search a tree within the budget by name (reference: find -iname), then a tree "
                              "of 1,000,000 entries that the budget cuts short; about 3 min",
                              run);

} // namespace
