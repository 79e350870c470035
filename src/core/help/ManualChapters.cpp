#include "core/help/ManualChapters.h"

#include <QFile>
#include <QStringDecoder>

#include <limits>

// The manual texts are compiled into this static library, so their resource must be registered by hand.
static void registerManualResource() {
    static const bool done = [] {
        Q_INIT_RESOURCE(manual);
        return true;
    }();
    Q_UNUSED(done);
}

namespace ManualChapters {
namespace {

QString &folderOverride() {
    static QString folder;
    return folder;
}

// An optional sign and ASCII digits, nothing else (no blanks), within the range of a chapter request.
std::optional<int> chapterNumber(QStringView text) {
    qsizetype i = 0;
    if (!text.isEmpty() && (text[0] == u'+' || text[0] == u'-')) i = 1;
    if (i == text.size()) return std::nullopt;
    for (qsizetype k = i; k < text.size(); ++k)
        if (text[k] < u'0' || text[k] > u'9') return std::nullopt;
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok, 10);
    // A number a request cannot carry would open another chapter once narrowed.
    if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(n);
}

} // namespace

void setFolder(const QString &folder) {
    folderOverride() = folder;
}

QString path(AppLanguage lang) {
    const QString name = QStringLiteral("manual.%1.md").arg(AppLanguages::rawValue(lang));
    if (!folderOverride().isEmpty()) return folderOverride() + u'/' + name;
    registerManualResource();
    return QStringLiteral(":/Handbuch/") + name;
}

QList<ManualChapter> list(AppLanguage lang) {
    return fromFile(path(lang));
}

std::optional<QString> read(const QString &file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.size() > maxBytes) return std::nullopt;
    const QByteArray bytes = f.read(maxBytes + 1);
    if (bytes.size() > maxBytes) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    return text;
}

QList<ManualChapter> fromFile(const QString &file) {
    const std::optional<QString> text = read(file);
    return text ? parse(*text) : QList<ManualChapter>();
}

QList<ManualChapter> parse(const QString &text) {
    QList<ManualChapter> out;
    for (QStringView line : QStringView(text).split(u'\n')) {
        // Files saved with CR LF line ends would otherwise carry the CR into every title.
        if (line.endsWith(u'\r')) line.chop(1);
        line = trimBlanks(line);
        if (!line.startsWith(u"## ")) continue;
        line = line.sliced(3);
        const qsizetype dot = line.indexOf(u'.');
        if (dot < 0) continue;
        const std::optional<int> number = chapterNumber(line.first(dot));
        if (!number) continue;
        out.append({*number, trimBlanks(line.sliced(dot + 1)).toString()});
    }
    return out;
}

QStringView trimBlanks(QStringView s) {
    // Blanks are tabs and the space separators.
    const auto isBlank = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0, end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

} // namespace ManualChapters
