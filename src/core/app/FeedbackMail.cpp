#include "core/app/FeedbackMail.h"

#include "core/app/AppInfo.h"
#include "core/localisation/Lang.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <QSysInfo>

namespace FeedbackKinds {

int rawValue(FeedbackKind kind) {
    return int(kind);
}

std::optional<FeedbackKind> fromRaw(int raw) {
    if (raw < 0 || raw >= int(allCases.size())) return std::nullopt;
    return allCases[raw];
}

const char *title(FeedbackKind kind) {
    switch (kind) {
    case FeedbackKind::bug:
        return K("Fehler melden");
    case FeedbackKind::idea:
        return K("Verbesserungsvorschlag");
    case FeedbackKind::question:
        return K("Frage");
    case FeedbackKind::other:
        break;
    }
    return K("Sonstiges");
}

QString tag(FeedbackKind kind) {
    switch (kind) {
    case FeedbackKind::bug:
        return QStringLiteral("Bug");
    case FeedbackKind::idea:
        return QStringLiteral("Idea");
    case FeedbackKind::question:
        return QStringLiteral("Question");
    case FeedbackKind::other:
        break;
    }
    return QStringLiteral("Other");
}

} // namespace FeedbackKinds

namespace FeedbackMail {
namespace {

Sources &sources() {
    static Sources s;
    return s;
}

// System files are small; anything longer is not what we expect and is cut.
constexpr qint64 maxFactBytes = 16 * 1024;

QString readSmall(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = f.read(maxFactBytes);
    QStringDecoder decode(QStringDecoder::Utf8);
    return decode(bytes);
}

// One line of a fact: no control characters, so a strange file can't add lines to the mail.
QString oneLine(const QString &text, qsizetype maxChars = 120) {
    QString out;
    for (QChar c : text) {
        if (c == u'\n') break;
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) continue;
        out += c;
    }
    return out.simplified().left(maxChars);
}

// A value of os-release: quoted with " or ', or bare; backslash escapes inside double quotes.
QString osReleaseValue(QStringView raw) {
    raw = raw.trimmed();
    if (raw.size() >= 2 && (raw.front() == u'"' || raw.front() == u'\'') && raw.back() == raw.front()) {
        const bool dq = raw.front() == u'"';
        raw = raw.sliced(1, raw.size() - 2);
        if (!dq) return raw.toString();
        QString out;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] == u'\\' && i + 1 < raw.size()) ++i;
            out += raw[i];
        }
        return out;
    }
    return raw.toString();
}

} // namespace

void setSources(const Sources &s) {
    sources() = s;
}

QString architecture() {
#if defined(__x86_64__)
    return QStringLiteral("x86_64");
#elif defined(__aarch64__)
    return QStringLiteral("arm64");
#else
    return QSysInfo::buildCpuArchitecture();
#endif
}

QString build() {
    const QString v = QCoreApplication::applicationVersion();
    if (!v.isEmpty()) return oneLine(v, 40);
#ifdef KESTRIN_BUILD
    return QStringLiteral(KESTRIN_BUILD);
#else
    return QStringLiteral("?");
#endif
}

QString osVersion() {
    QString pretty, name, version;
    const QString text = readSmall(sources().osRelease);
    for (QStringView line : QStringView(text).split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || line.startsWith(u'#')) continue;
        const QStringView key = line.first(eq).trimmed();
        const QString value = oneLine(osReleaseValue(line.sliced(eq + 1)));
        if (key == u"PRETTY_NAME") pretty = value;
        if (key == u"NAME") name = value;
        if (key == u"VERSION_ID") version = value;
    }
    if (!pretty.isEmpty()) return pretty;
    if (!name.isEmpty()) return version.isEmpty() ? name : name + u' ' + version;
    return QStringLiteral("Linux");
}

QString machineModel() {
    const QString vendor = oneLine(readSmall(sources().dmiFolder + QStringLiteral("/sys_vendor")));
    const QString product = oneLine(readSmall(sources().dmiFolder + QStringLiteral("/product_name")));
    const QString model = (vendor + u' ' + product).trimmed();
    return model.isEmpty() ? QStringLiteral("unknown") : model;
}

QString subject(FeedbackKind kind) {
    return AppInfo::name + u' ' + AppInfo::version + QStringLiteral(" \u2013 Feedback (") +
           FeedbackKinds::tag(kind) + u')';
}

QStringList technicalLines(const Options &options) {
    QStringList lines;
    if (options.appVersion)
        lines << QStringLiteral("App: %1 %2 (Build %3, %4)")
                     .arg(AppInfo::name, AppInfo::version, build(), AppInfo::serial);
    if (options.system) lines << QStringLiteral("System: ") + osVersion();
    if (options.model)
        lines << QStringLiteral("Machine: ") + machineModel() + QStringLiteral(", ") + architecture();
    if (options.language) lines << QStringLiteral("Language: ") + AppLanguages::rawValue(Lang::current());
    return lines;
}

QString body(const QString &message, const Options &options) {
    const QString trimmed = message.trimmed();
    const QStringList lines = technicalLines(options);
    if (lines.isEmpty()) return trimmed;
    return trimmed + QStringLiteral("\n\n\u2014 \u2014 \u2014\n") + lines.join(u'\n');
}

std::optional<QUrl> url(const QString &subject, const QString &body) {
    QString normalised = body;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(u'\n', QStringLiteral("\r\n"));
    // Qt's default leaves exactly the unreserved characters of RFC 3986 as they are.
    const QByteArray text = "mailto:" + address.toUtf8() + "?subject=" + QUrl::toPercentEncoding(subject) +
                            "&body=" + QUrl::toPercentEncoding(normalised);
    const QUrl parsed = QUrl::fromEncoded(text, QUrl::StrictMode);
    if (!parsed.isValid()) return std::nullopt;
    return parsed;
}

} // namespace FeedbackMail
