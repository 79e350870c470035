#include "core/app/FeedbackMail.h"

#include "core/app/AppInfo.h"
#include "core/base/Background.h"
#include "core/localisation/Lang.h"
#include "platform/Posix.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QSysInfo>
#include <QtConcurrent>

#include <fcntl.h>
#include <unistd.h>

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

// The start of a regular file; a FIFO or device put there is never waited on (os-release is a link as a
// rule, so links are followed).
QString readSmall(const QString &path) {
    const std::optional<QByteArray> name = Posix::encode(path);
    if (!name) return {};
    const int fd = Posix::retry([&] { return ::open(name->constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) return {};
    QByteArray bytes;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        bytes.resize(maxFactBytes);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                Posix::retry([&] { return ::read(fd, bytes.data() + got, size_t(bytes.size() - got)); });
            if (n <= 0) break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    QStringDecoder decode(QStringDecoder::Utf8);
    return decode(bytes);
}

std::optional<Facts> &shownFacts() {
    static std::optional<Facts> facts;
    return facts;
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
    shownFacts().reset();
}

Facts readFacts() {
    return {osVersion(), machineModel()};
}

void setFacts(const Facts &facts) {
    shownFacts() = facts;
}

void loadFacts(QObject *owner, std::function<void()> done) {
    whenDone(owner, QtConcurrent::run(readFacts), [done = std::move(done)](const Facts &facts) {
        setFacts(facts);
        if (done) done();
    });
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
    const std::optional<Facts> &facts = shownFacts();
    const QString unknown = QStringLiteral("\u2026");
    if (options.system) lines << QStringLiteral("System: ") + (facts ? facts->osVersion : unknown);
    if (options.model)
        lines << QStringLiteral("Machine: ") + (facts ? facts->machineModel : unknown) +
                     QStringLiteral(", ") + architecture();
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
