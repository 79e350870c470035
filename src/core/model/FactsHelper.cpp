#include "core/model/FactsHelper.h"

#include "core/base/HelperProgram.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "platform/Confined.h"
#include "platform/Posix.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <sys/stat.h>

namespace FactsHelper {

namespace {

HelperProgram &helper() {
    static HelperProgram program(QStringLiteral("kestrin-facts"));
    return program;
}
std::atomic<int> timeoutOverride{0};

// File versions and the longest limit each ran out of, per work.
constexpr qsizetype kMaxRanOut = 4096;
QMutex ranOutLock;
QHash<QByteArray, int> &ranOutFiles() {
    static QHash<QByteArray, int> files;
    return files;
}

// The rows in the order they are shown.
constexpr std::array<const char *, 10> kLabels{K("Titel"),      K("Autoren"),  K("Version"), K("Seiten"),
                                               K("Auflösung"),  K("Farbraum"), K("Dauer"),   K("Codecs"),
                                               K("Sicherheit"), K("Aufnahme")};
constexpr qsizetype kMaxValueBytes = 2048;

int rankOf(const QByteArray &label) {
    for (size_t i = 0; i < kLabels.size(); ++i)
        if (label == kLabels[i]) return int(i);
    return -1;
}

std::optional<qint64> count(const QString &text) {
    if (text.isEmpty() || text.size() > 9) return std::nullopt;
    for (QChar c : text)
        if (c < u'0' || c > u'9') return std::nullopt;
    return text.toLongLong();
}

std::optional<QString> dimensions(const QString &text) {
    const QStringList parts = text.split(QChar(0x00D7));
    if (parts.size() != 2) return std::nullopt;
    const auto w = count(parts[0]), h = count(parts[1]);
    if (!w || !h || *w < 1 || *h < 1) return std::nullopt;
    return QString::number(*w) + QChar(0x00D7) + QString::number(*h);
}

std::optional<QString> security(const QString &token) {
    if (token == u"none") return L("Keine");
    if (token == u"password") return L("Kennwort zum Öffnen");
    if (token == u"restricted") return L("Verschlüsselt, Rechte eingeschränkt");
    if (token == u"encrypted") return L("Verschlüsselt"); // and nothing refused
    return std::nullopt;
}

std::optional<QString> date(const QString &text) {
    // A tag that holds a day alone shows that day, not its midnight.
    if (text.size() == 10) {
        const QDate day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid() || day.year() < 1 || day.year() > 9999) return std::nullopt;
        return FileFmt::date().dateString(QDateTime(day, QTime(0, 0)));
    }
    const QDateTime dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid() || dt.date().year() < 1 || dt.date().year() > 9999) return std::nullopt;
    return FileFmt::date().string(dt);
}

std::optional<QString> valueFor(int rank, const QString &value) {
    switch (rank) {
    case 0: // Titel
    case 1: // Autoren
    case 2: // Version
    case 7: // Codecs
        return value.trimmed().isEmpty() ? std::nullopt : std::optional<QString>(value);
    case 3: { // Seiten
        const auto n = count(value);
        return n ? std::optional<QString>(QString::number(*n)) : std::nullopt;
    }
    case 4:
        return dimensions(value);
    case 5: // Farbraum: an empty one is a row too
        return value;
    case 6: {
        bool ok = false;
        const double seconds = value.toDouble(&ok);
        return ok ? duration(seconds) : std::nullopt;
    }
    case 8:
        return security(value);
    case 9:
        return date(value);
    }
    return std::nullopt;
}

} // namespace

QString program() {
    return helper().path();
}

void setProgram(const QString &path) {
    helper().set(path);
    QMutexLocker l(&ranOutLock);
    ranOutFiles().clear();
}

void setTimeoutMs(int ms) {
    timeoutOverride = ms;
}

FileVersion versionOf(const QString &path) {
    struct stat st {};
    if (!Posix::statPath(path, st)) return {};
    return {QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino)) + ':' +
            QByteArray::number(qint64(st.st_size)) + ':' + QByteArray::number(qint64(st.st_mtim.tv_sec)) +
            '.' + QByteArray::number(qint64(st.st_mtim.tv_nsec)) + ':' +
            QByteArray::number(qint64(st.st_ctim.tv_sec)) + '.' +
            QByteArray::number(qint64(st.st_ctim.tv_nsec))};
}

bool ranOutBefore(const FileVersion &version, Work work, int limitMs) {
    if (version.key.isEmpty()) return false;
    QMutexLocker l(&ranOutLock);
    const auto it = ranOutFiles().constFind(version.key + (work == Work::facts ? ":f" : ":p"));
    return it != ranOutFiles().constEnd() && limitMs <= *it;
}

void noteRanOut(const FileVersion &version, Work work, int limitMs) {
    if (version.key.isEmpty()) return;
    QMutexLocker l(&ranOutLock);
    QHash<QByteArray, int> &files = ranOutFiles();
    if (files.size() >= kMaxRanOut) files.clear();
    int &longest = files[version.key + (work == Work::facts ? ":f" : ":p")];
    longest = std::max(longest, limitMs);
}

std::optional<QString> duration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e15) return std::nullopt;
    const qint64 whole = qint64(std::llround(seconds));
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

QList<FullDetails::Extra> parse(const QByteArray &answer) {
    QList<FullDetails::Extra> rows;
    int last = -1;
    const QByteArray bounded = answer.left(kMaxAnswer);
    for (const QByteArray &line : bounded.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab < 0 || line.size() - tab - 1 > kMaxValueBytes) continue;
        const int rank = rankOf(line.left(tab));
        if (rank <= last) continue;
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString value = utf8.decode(line.mid(tab + 1));
        if (utf8.hasError()) continue;
        // Control characters, and the separators that would break the row over lines, refuse it.
        bool control = false;
        for (QChar c : value)
            control = control || c.category() == QChar::Other_Control ||
                      c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
        if (control) continue;
        // Direction overrides would turn the rest of the form around.
        value.removeIf([](QChar c) {
            return (c.unicode() >= 0x202A && c.unicode() <= 0x202E) ||
                   (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
        });
        if (const auto shown = valueFor(rank, value)) {
            rows.append({QString::fromUtf8(kLabels[size_t(rank)]), *shown});
            last = rank;
        }
    }
    return rows;
}

std::optional<Confined::Outcome> runOn(const QString &path, const QStringList &arguments, Work work,
                                       const Confined::Limits &limits, FileVersion &version,
                                       const Confined::Cancelled &cancelled) {
    const QString helper = program();
    if (!QFileInfo(helper).isExecutable()) return std::nullopt;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    // Taken before the run: a file changed meanwhile is another version and is tried again.
    version = versionOf(path);
    if (ranOutBefore(version, work, limits.timeoutMs)) return std::nullopt;
    // "--" keeps a name that starts with a dash a name.
    return Confined::run(
        helper, arguments + QStringList{QStringLiteral("--"), canonical.isEmpty() ? path : canonical}, limits,
        cancelled);
}

QList<FullDetails::Extra> read(const QString &path) {
    // A link shows the facts of what it leads to, as the rest of the form does; the helper itself opens
    // nothing but a regular file. Folders, devices and the like have no content facts: no helper is
    // started for them.
    struct stat st {};
    if (!Posix::statPath(path, st) || !S_ISREG(st.st_mode)) return {};
    Confined::Limits limits;
    limits.timeoutMs = timeoutOverride > 0 ? timeoutOverride.load() : kTimeoutMs;
    limits.memoryBytes = kMemoryBytes;
    limits.maxOutput = kMaxAnswer;
    FileVersion version;
    const std::optional<Confined::Outcome> out = runOn(path, {}, Work::facts, limits, version);
    if (!out) return {};
    if (out->end == Confined::End::timedOut) noteRanOut(version, Work::facts, limits.timeoutMs);
    if (out->end != Confined::End::finished) return {};
    return parse(out->output);
}

} // namespace FactsHelper
