#include "core/filesteps/JournalRecords.h"

#include "core/filesteps/TransferJournal.h"
#include "platform/Posix.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>

#include <sys/statfs.h>
#include <unistd.h>

namespace FileSteps::Journal {

namespace {

bool parseTime(const QByteArray &sec, const QByteArray &nsec, timespec &t) {
    bool a = false, b = false;
    t.tv_sec = time_t(sec.toLongLong(&a));
    t.tv_nsec = long(nsec.toLong(&b));
    return a && b && t.tv_nsec >= 0 && t.tv_nsec < 1000000000;
}

bool parseId(const QByteArray &dev, const QByteArray &ino, dev_t &d, ino_t &i) {
    bool a = false, b = false;
    d = dev_t(dev.toULongLong(&a));
    i = ino_t(ino.toULongLong(&b));
    return a && b;
}

// part PATH SEC NSEC [DEV INO MOST BSEC BNSEC | SOURCE] · placed PART TO DEV INO · moved PART TO SOURCE DEV
// INO SRCDEV SRCINO SIZE MSEC MNSEC CSEC CNSEC · info INFO ENTRY SEC NSEC
bool parseMine(const QList<QByteArray> &f, Record &r) {
    const bool part = (f.size() == 4 || f.size() == 5 || f.size() == 9) && f[0] == "part";
    const bool placed = f.size() == 5 && f[0] == "placed";
    const bool moved = f.size() == 13 && f[0] == "moved";
    const bool info = f.size() == 5 && f[0] == "info";
    if (!part && !placed && !moved && !info) return false;
    const auto path = pathOf(f[1]);
    if (!path) return false;
    r.kind = f[0];
    r.key = f[1];
    r.path = *path;
    if (part) {
        if (f.size() == 5) {
            const auto source = pathOf(f[4]);
            if (!source) return false;
            r.other = *source;
        }
        if (f.size() <= 5) return parseTime(f[2], f[3], r.at);
        bool sized = false;
        r.size = f[6].toLongLong(&sized);
        r.made = sized && r.size >= -1 && parseId(f[4], f[5], r.dev, r.ino) && parseTime(f[7], f[8], r.born);
        return r.made && parseTime(f[2], f[3], r.at);
    }
    const auto to = pathOf(f[2]);
    if (!to) return false;
    r.to = *to;
    if (info) return parseTime(f[3], f[4], r.at);
    if (!parseId(f[3 + moved], f[4 + moved], r.dev, r.ino)) return false;
    if (placed) return true;
    const auto source = pathOf(f[3]);
    bool sized = false;
    r.size = f[8].toLongLong(&sized);
    if (!source || !sized || !parseId(f[6], f[7], r.srcDev, r.srcIno) || !parseTime(f[9], f[10], r.mtime) ||
        !parseTime(f[11], f[12], r.ctime))
        return false;
    r.other = *source;
    return true;
}

// The longest line a record can have (three paths at their longest); longer ones are no records.
constexpr qsizetype maxLine = 64 << 10;

} // namespace

QByteArray volumeId(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return {};
    const QByteArray id(reinterpret_cast<const char *>(&fs.f_fsid), sizeof fs.f_fsid);
    // FUSE volumes give none.
    return std::all_of(id.cbegin(), id.cend(), [](char c) { return c == 0; }) ? QByteArray() : id.toHex();
}

std::optional<QString> pathOf(const QByteArray &hex) {
    static const QRegularExpression hexOnly(QStringLiteral("^(?:[0-9a-f]{2})+$"));
    if (hex.size() > 16384 || !hexOnly.match(QString::fromLatin1(hex)).hasMatch()) return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(hex);
    if (!bytes.startsWith('/') || bytes.contains('\0')) return std::nullopt;
    return Posix::decode(bytes);
}

void Parser::line(const QByteArray &line, bool torn) {
    // A torn line may read as a record with a number cut short: an earlier time, another inode.
    if (torn || !record(line)) {
        ++unreadable;
        salvage(line, torn);
    }
}
bool Parser::record(const QByteArray &line) {
    const QList<QByteArray> f = line.split(' ');
    if (f.size() == 2 && f[0] == "told") {
        if (told.size() < qsizetype(maxRecords)) told.insert(f[1]);
        return pathOf(f[1]).has_value();
    }
    if (f.size() == 2 && f[0] == "end") {
        for (const size_t at : open.take(f[1]))
            records[at].ended = true;
        return pathOf(f[1]).has_value();
    }
    // Of a folder where parts may be: since when, and its identity (not in older journals).
    if ((f.size() == 4 || f.size() == 6) && f[0] == "parts") {
        const auto in = pathOf(f[1]);
        timespec at{};
        if (!in || !parseTime(f[2], f[3], at)) return false;
        if (f.size() == 6) {
            bool devOk = false, inoOk = false;
            const std::pair<dev_t, ino_t> id{dev_t(f[4].toULongLong(&devOk)),
                                             ino_t(f[5].toULongLong(&inoOk))};
            if (!devOk || !inoOk) return false;
            if (folderIds.size() < maxFolders) folderIds.insert(*in, id);
        }
        const auto known = partsIn.constFind(*in);
        if (known == partsIn.cend()
                ? partsIn.size() < maxFolders
                : at.tv_sec < known->tv_sec || (at.tv_sec == known->tv_sec && at.tv_nsec < known->tv_nsec))
            partsIn.insert(*in, at);
        return true;
    }
    if (f.size() == 3 && f[0] == "volume") {
        static const QRegularExpression id(QStringLiteral("^[0-9a-f]{16}$"));
        bool ok = false;
        const quint64 dev = f[1].toULongLong(&ok);
        if (!ok || !id.match(QString::fromLatin1(f[2])).hasMatch()) return false;
        // A number given to two file systems in turn proves neither.
        const auto known = volumes.constFind(dev);
        if (known == volumes.cend()) {
            if (volumes.size() < maxFolders) volumes.insert(dev, f[2]);
        } else if (*known != f[2]) {
            volumes[dev].clear();
        }
        return true;
    }
    if (f.size() >= 2 && f[0] == "roots") {
        for (qsizetype i = 1; i < f.size(); ++i) {
            const auto root = pathOf(f[i]);
            if (!root) return false;
            if (roots.size() < maxFolders) roots.insert(*root);
        }
        return true;
    }
    if (Record mine; parseMine(f, mine)) {
        // What was made under a part's name completes the part's record.
        if (mine.made) {
            const auto begun = open.constFind(mine.key);
            if (begun != open.cend() && !begun->empty() && records[begun->back()].kind == "part") {
                Record &r = records[begun->back()];
                r.made = true;
                r.dev = mine.dev;
                r.ino = mine.ino;
                r.size = mine.size;
                r.born = mine.born;
                return true;
            }
        }
        open[mine.key].push_back(records.size());
        records.push_back(mine);
        return true;
    }
    const bool rename = f.size() == 7 && f[0] == "rename";
    const bool two = rename || (f.size() == 5 && (f[0] == "replace" || f[0] == "aside"));
    if (!two && !(f.size() == 2 && f[0] == "part")) return false;
    Record r;
    r.kind = f[0];
    r.key = f[1];
    const auto path = pathOf(f[1]);
    if (!path) return false;
    r.path = *path;
    if (two) {
        bool devOk = false, inoOk = false;
        const auto other = pathOf(f[2]);
        const qsizetype at = rename ? 4 : 3;
        r.dev = dev_t(f[at].toULongLong(&devOk));
        r.ino = ino_t(f[at + 1].toULongLong(&inoOk));
        if (!other || !devOk || !inoOk) return false;
        r.other = *other;
        if (rename) {
            bool batchOk = false;
            const auto to = pathOf(f[3]);
            r.batch = f[6].toULongLong(&batchOk);
            if (!to || !batchOk) return false;
            r.renamedTo = *to;
        }
    }
    open[r.key].push_back(records.size());
    records.push_back(r);
    return true;
}
// A torn or garbled rename line: the names of a torn one where each is followed by the next field,
// else the folder of its hidden name once that name has begun.
void Parser::salvage(const QByteArray &line, bool torn) {
    const QList<QByteArray> f = line.split(' ');
    if (f.size() < 2 || f[0] != "rename") return;
    if (torn && f.size() >= 5) {
        const auto hidden = pathOf(f[1]), from = pathOf(f[2]), to = pathOf(f[3]);
        if (hidden && from && to && salvaged.size() < maxRecords) {
            salvaged.push_back({*hidden, *from, *to});
            return;
        }
    }
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9a-f]*$"));
    QByteArray hex = f[1].left(16384);
    hex.truncate(hex.size() & ~qsizetype(1));
    if (!hexOnly.match(QString::fromLatin1(hex)).hasMatch()) return;
    const QByteArray begun = QByteArray::fromHex(hex);
    const qsizetype slash = begun.lastIndexOf('/');
    const QByteArray rest = begun.mid(slash + 1), form = ".dravendel-";
    if (slash <= 0 || rest.isEmpty() || !form.startsWith(rest.left(form.size()))) return;
    if (const auto folder = pathOf(hex.left(2 * slash)); folder && folders.size() < maxFolders)
        folders.insert(*folder);
}

// line is held at a time beside the records.
int readRecords(int fd, Parser &parser) {
    QByteArray chunk(maxLine, Qt::Uninitialized);
    QByteArray pending;
    bool overlong = false;
    for (;;) {
        const ssize_t n = Posix::retry([&] { return ::read(fd, chunk.data(), size_t(chunk.size())); });
        if (n < 0) return errno;
        if (n == 0) {
            // A torn last line is no record, but it may be the rest of a journal cut short. Zero bytes
            // alone are space the file system gave the journal whose bytes never reached the disk
            // before a power cut: nothing was written there.
            const bool unwritten =
                std::all_of(pending.cbegin(), pending.cend(), [](char c) { return c == '\0'; });
            if (overlong || !unwritten) parser.line(pending, true);
            return 0;
        }
        qsizetype from = 0;
        for (qsizetype nl; (nl = chunk.indexOf('\n', from)) >= 0 && nl < n; from = nl + 1) {
            pending.append(chunk.constData() + from, nl - from);
            if (overlong || pending.size() > maxLine)
                ++parser.unreadable;
            else
                parser.line(pending);
            if (parser.records.size() > maxRecords) return EFBIG;
            pending.clear();
            overlong = false;
        }
        if (!overlong) pending.append(chunk.constData() + from, n - from);
        if (pending.size() > maxLine) {
            overlong = true;
            pending.clear();
        }
    }
}

qsizetype countRecords(int fd) {
    Parser parser;
    return readRecords(fd, parser) == 0 ? qsizetype(parser.records.size()) : -1;
}

} // namespace FileSteps::Journal
