#include "core/model/Tags.h"

#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "platform/Plist.h"
#include "platform/Posix.h"
#include "platform/Xattr.h"

#include <QStringDecoder>
#include <QVariant>

#include <algorithm>

namespace FileOps {

namespace {

const char *const kTagsAttr = "user.com.apple.metadata:_kMDItemUserTags";
const char *const kXdgTagsAttr = "user.xdg.tags";

QString tagName(const QString &raw) {
    const qsizetype nl = raw.indexOf(u'\n');
    return nl < 0 ? raw : raw.left(nl);
}

// Canonically equivalent forms (a precomposed and a decomposed ü) name the same tag.
QString canonical(const QString &s) {
    return s.normalized(QString::NormalizationForm_C);
}

bool sameName(const QString &a, const QString &b) {
    return a == b || canonical(a) == canonical(b);
}

std::optional<int> tableNumber(const QString &name) {
    const auto &table = tagColorNumber();
    auto it = table.constFind(name);
    if (it == table.constEnd()) it = table.constFind(canonical(name));
    if (it == table.constEnd()) return std::nullopt;
    return *it;
}

std::optional<QStringList> parseTagList(const QByteArray &bytes) {
    const auto root = Plist::parse(bytes);
    if (!root || root->typeId() != QMetaType::QVariantList) return std::nullopt;
    QStringList out;
    for (const QVariant &v : root->toList()) {
        if (v.typeId() != QMetaType::QString) return std::nullopt;
        out << v.toString();
    }
    return out;
}

// The mirror holds comma-separated UTF-8 names. A value that is not that (invalid UTF-8, control
// characters, longer than the bound) is unreadable, and so never replaced by what we made of it.
const qsizetype kMaxMirrorBytes = 16 * 1024;

bool mirrorBytesOk(const QByteArray &bytes) {
    if (bytes.size() > kMaxMirrorBytes) return false;
    for (const char c : bytes)
        if (uchar(c) < 0x20 || c == 0x7f) return false;
    return true;
}

std::optional<QStringList> parseXdgTags(const QByteArray &bytes) {
    if (!mirrorBytesOk(bytes)) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decode(bytes);
    if (decode.hasError()) return std::nullopt;
    QStringList out;
    for (const QString &part : text.split(u',')) {
        const QString name = part.trimmed();
        if (!name.isEmpty()) out << name;
    }
    return out;
}

QString newRawTag(const QString &name) {
    return name + u'\n' + QString::number(tableNumber(name).value_or(0));
}

QStringList names(const QStringList &raw) {
    QStringList out;
    out.reserve(raw.size());
    for (const QString &r : raw)
        out << tagName(r);
    return out;
}

bool containsName(const QStringList &names, const QString &name) {
    for (const QString &n : names)
        if (sameName(n, name)) return true;
    return false;
}

// The tags an item carries, from our list and the names of user.xdg.tags (nullopt: absent). The mirror is
// what every file manager shares: where it no longer holds our list's names, or is gone, another program
// changed them, and its names win, each keeping the colour our list gave it.
QStringList merged(const std::optional<QStringList> &own, const std::optional<QStringList> &mirror) {
    if (!own) return mirror.value_or(QStringList());
    if (!mirror) return {};
    // Compared as the mirror reads back what we wrote (names are cut at commas and trimmed there).
    const QStringList ours = names(*own);
    const QStringList written = parseXdgTags(ours.join(u',').toUtf8()).value_or(ours);
    const bool same = written.size() == mirror->size() &&
                      std::equal(written.cbegin(), written.cend(), mirror->cbegin(),
                                 [](const QString &a, const QString &b) { return sameName(a, b); });
    if (same) return *own;
    QStringList out;
    for (const QString &name : *mirror) {
        QString kept = name;
        for (const QString &raw : *own)
            if (sameName(tagName(raw), name)) {
                kept = raw;
                break;
            }
        out << kept;
    }
    return out;
}

} // namespace

QString describe(const TagError &error) {
    const QString name = localName(error.path);
    // The attribute calls refuse a link that another account put at the item's name.
    if (error.code == ELOOP && error.reason != TagError::Reason::encoding)
        return LF("An die Stelle von „%@“ ist inzwischen ein anderes Objekt getreten. Es bleibt unberührt.",
                  name);
    switch (error.reason) {
    case TagError::Reason::unreadable:
        return LF("Die Tags von „%@“ konnten nicht gelesen werden und bleiben unverändert (%@).", name,
                  Posix::errorName(error.code));
    case TagError::Reason::unparsable:
        return LF("Die Tags von „%@“ sind beschädigt und bleiben unverändert.", name);
    case TagError::Reason::encoding:
        return LF("Der Name „%@“ kann nicht dargestellt werden; die Tags bleiben unverändert.", name);
    case TagError::Reason::write:
        break;
    }
    if (error.code == EACCES || error.code == EPERM || error.code == EROFS)
        return LF("Die Tags von „%@“ konnten nicht geändert werden: Keine Berechtigung.", name);
    if (error.code == ENOTSUP)
        return LF("„%@“ liegt auf einem Laufwerk, das keine Tags speichern kann.", name);
    return LF("Die Tags von „%@“ konnten nicht geändert werden (%@).", name, Posix::errorName(error.code));
}

const QString &tagXattr() {
    static const QString name = QStringLiteral("com.apple.metadata:_kMDItemUserTags");
    return name;
}

const QStringList &tagChoices() {
    // German names whatever the interface language; menus show them through L.
    static const QStringList choices{QString::fromUtf8(K("Rot")),  QString::fromUtf8(K("Orange")),
                                     QString::fromUtf8(K("Gelb")), QString::fromUtf8(K("Grün")),
                                     QString::fromUtf8(K("Blau")), QString::fromUtf8(K("Lila")),
                                     QString::fromUtf8(K("Grau"))};
    return choices;
}

const QHash<QString, int> &tagColorNumber() {
    static const QHash<QString, int> table{{QStringLiteral("Grau"), 1},  {QStringLiteral("Grün"), 2},
                                           {QStringLiteral("Lila"), 3},  {QStringLiteral("Blau"), 4},
                                           {QStringLiteral("Gelb"), 5},  {QStringLiteral("Rot"), 6},
                                           {QStringLiteral("Orange"), 7}};
    return table;
}

QStringList rawTagsOfEncoded(const char *path, const QByteArray *rawList) {
    std::optional<QByteArray> list;
    if (!rawList) {
        list = Xattr::listRaw(path);
        if (!list) return {};
        rawList = &*list;
    }
    return rawTagsAt(-1, nullptr, path, *rawList);
}

QStringList rawTagsAt(int dirFd, const char *name, const char *path, const QByteArray &rawList) {
    if (rawList.isEmpty()) return {};
    std::optional<QStringList> own, mirror;
    if (Xattr::listHas(rawList, kTagsAttr)) {
        const Xattr::Result r = Xattr::getAt(dirFd, name, kTagsAttr, path);
        if (r.status != Xattr::Status::ok) return {};
        own = parseTagList(r.value);
        if (!own) return {};
    }
    if (Xattr::listHas(rawList, kXdgTagsAttr)) {
        const Xattr::Result r = Xattr::getAt(dirFd, name, kXdgTagsAttr, path);
        if (r.status == Xattr::Status::ok) mirror = parseXdgTags(r.value);
        // A mirror we can't read says nothing about a change: our list stands.
        if (!mirror) return own.value_or(QStringList());
    }
    return merged(own, mirror);
}

QStringList rawTags(const QString &path) {
    const auto bytes = Posix::encode(path);
    return bytes ? rawTagsOfEncoded(bytes->constData()) : QStringList();
}

QStringList tags(const QString &path) {
    return names(rawTags(path));
}

bool carriesName(const QStringList &rawTags, QStringView name) {
    for (const QString &raw : rawTags) {
        const qsizetype nl = raw.indexOf(u'\n');
        if (QStringView(raw).left(nl < 0 ? raw.size() : nl) == name) return true;
    }
    return false;
}

int colorNumber(const QString &rawTag) {
    const QStringList parts = rawTag.split(u'\n');
    std::optional<int> parsed;
    if (parts.size() >= 2) {
        const QString &field = parts[1];
        // Decimal with an optional sign; nothing else (no blanks, no other digits).
        qsizetype i = (field.startsWith(u'+') || field.startsWith(u'-')) ? 1 : 0;
        bool digits = i < field.size();
        for (qsizetype j = i; j < field.size(); ++j)
            if (field[j] < u'0' || field[j] > u'9') digits = false;
        bool ok = false;
        const int v = digits ? field.toInt(&ok) : 0;
        if (ok) parsed = v;
        if (parsed && *parsed >= 2) return *parsed;
    }
    if (const auto n = tableNumber(parts[0])) return *n;
    return parsed.value_or(0);
}

std::optional<QStringList> readRawTagsStrict(const QString &path, TagError *error, int folder) {
    const auto fail = [&](TagError::Reason reason, int code) -> std::optional<QStringList> {
        if (error) *error = TagError{reason, code, path};
        return std::nullopt;
    };
    if (!Posix::encode(path)) return fail(TagError::Reason::encoding, EILSEQ);
    // Both attributes are rewritten together, so neither may hold what we could not read.
    const Xattr::Result x = Xattr::get(path, QString::fromLatin1(kXdgTagsAttr), folder);
    if (x.status == Xattr::Status::error) return fail(TagError::Reason::unreadable, x.err);
    std::optional<QStringList> mirror;
    if (x.status == Xattr::Status::ok) {
        mirror = parseXdgTags(x.value);
        if (!mirror) return fail(TagError::Reason::unparsable, EILSEQ);
    }
    const Xattr::Result r = Xattr::get(path, QString::fromLatin1(kTagsAttr), folder);
    switch (r.status) {
    case Xattr::Status::ok: {
        auto parsed = parseTagList(r.value);
        if (!parsed) return fail(TagError::Reason::unparsable, EILSEQ);
        return merged(parsed, mirror);
    }
    case Xattr::Status::unsupported:
        return QStringList(); // the write that follows reports it
    case Xattr::Status::error:
        return fail(TagError::Reason::unreadable, r.err);
    case Xattr::Status::absent:
        break;
    }
    return mirror.value_or(QStringList());
}

std::optional<TagError> writeRawTags(const QStringList &rawTags, const QString &path, int folder) {
    const auto failed = [&](int code) { return TagError{TagError::Reason::write, code ? code : EIO, path}; };
    if (!Posix::encode(path)) return TagError{TagError::Reason::encoding, EILSEQ, path};
    const QString attr = QString::fromLatin1(kTagsAttr), mirrorAttr = QString::fromLatin1(kXdgTagsAttr);
    if (rawTags.isEmpty()) {
        if (int err = Xattr::setBoth(path, attr, std::nullopt, mirrorAttr, std::nullopt, folder))
            return failed(err);
        return std::nullopt;
    }
    QStringList normalised;
    QVariantList list;
    for (const QString &raw : rawTags) {
        const QString name = tagName(raw);
        const auto n = tableNumber(name);
        const QString entry = n ? name + u'\n' + QString::number(*n) : raw;
        normalised << entry;
        list << entry;
    }
    const QByteArray bytes = Plist::toBinary(list);
    if (bytes.isEmpty()) return failed(EINVAL);
    // Never write a mirror we would refuse to read back.
    const QByteArray mirror = names(normalised).join(u',').toUtf8();
    if (!mirrorBytesOk(mirror)) return failed(mirror.size() > kMaxMirrorBytes ? E2BIG : EINVAL);
    if (int err = Xattr::setBoth(path, attr, bytes, mirrorAttr, mirror, folder)) return failed(err);
    return std::nullopt;
}

std::optional<TagError> setTagNames(const QStringList &newNames, const QString &path, int folder) {
    TagError error;
    const auto existing = readRawTagsStrict(path, &error, folder);
    if (!existing) return error;
    QStringList result;
    for (const QString &name : newNames) {
        QString chosen;
        for (const QString &raw : *existing)
            if (sameName(tagName(raw), name)) {
                chosen = raw;
                break;
            }
        result << (chosen.isNull() ? newRawTag(name) : chosen);
    }
    return writeRawTags(result, path, folder);
}

std::optional<QString> toggleTag(const QString &name, const QStringList &paths, const QList<int> &folders) {
    if (paths.isEmpty()) return std::nullopt;
    std::optional<QString> first;
    const auto note = [&](const TagError &e) {
        if (!first) first = describe(e);
    };
    // Read every item once; an item whose tags can't be read is reported and left alone.
    QList<std::optional<QStringList>> current;
    QList<TagError> errors;
    bool everyHasIt = true;
    for (const QString &p : paths) {
        TagError e;
        auto raw = readRawTagsStrict(p, &e, folders.value(current.size(), -1));
        if (raw && !containsName(names(*raw), name)) everyHasIt = false;
        current << raw;
        errors << e;
    }
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (!current[i]) {
            note(errors[i]);
            continue;
        }
        QStringList raw = *current[i];
        if (everyHasIt) {
            raw.removeIf([&](const QString &r) { return sameName(tagName(r), name); });
        } else if (!containsName(names(raw), name)) {
            raw << newRawTag(name);
        }
        if (auto e = writeRawTags(raw, paths[i], folders.value(i, -1))) note(*e);
    }
    return first;
}

std::optional<QString> clearTags(const QStringList &paths, const QList<int> &folders) {
    std::optional<QString> first;
    for (qsizetype i = 0; i < paths.size(); ++i)
        if (auto e = writeRawTags({}, paths[i], folders.value(i, -1)); e && !first) first = describe(*e);
    return first;
}

} // namespace FileOps
