#include "platform/Plist.h"

#include <QDateTime>
#include <QStringDecoder>
#include <QStringList>
#include <QTimeZone>
#include <cstdlib>
#include <cstring>
#include <plist/plist.h>
#include <vector>

namespace Plist {
namespace {

// Property-list dates count seconds from 2001-01-01 UTC.
const qint64 kAppleEpoch = 978307200;

// Big-endian unsigned integer of 1 to 8 bytes.
quint64 bigEndian(const uchar *p, int n) {
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

// Walks a binary list's object graph from its top object the way the library's recursive parser will,
// but iteratively: too deep, too many values (a value shared by several containers counts each time, as
// the library copies it), a reference out of range or a string with a NUL character make it unreadable.
// The library asserts on such strings and overflows its stack on deep nesting.
bool binaryWithinBounds(const QByteArray &data) {
    const auto *d = reinterpret_cast<const uchar *>(data.constData());
    const quint64 size = quint64(data.size());
    if (size < 8 + 32) return false;
    const uchar *trailer = d + size - 32;
    const int offsetSize = trailer[6], refSize = trailer[7];
    const quint64 count = bigEndian(trailer + 8, 8), top = bigEndian(trailer + 16, 8);
    const quint64 table = bigEndian(trailer + 24, 8);
    if (offsetSize < 1 || offsetSize > 8 || refSize < 1 || refSize > 8) return false;
    if (count == 0 || top >= count || table < 8 || table > size - 32) return false;
    if (count > (size - 32 - table) / quint64(offsetSize)) return false;

    struct Pending {
        quint64 index;
        int depth;
    };
    std::vector<Pending> pending{{top, 1}};
    qint64 values = 0;
    while (!pending.empty()) {
        const Pending item = pending.back();
        pending.pop_back();
        if (++values > kMaxValues || item.depth > kMaxDepth) return false;
        const quint64 at = bigEndian(d + table + item.index * quint64(offsetSize), offsetSize);
        if (at < 8 || at >= table) return false;
        const int type = d[at] >> 4;
        quint64 n = d[at] & 0xF;
        quint64 pos = at + 1;
        // Data, strings and containers carry a length; 15 means an integer object follows with it.
        if (type != 0x4 && type != 0x5 && type != 0x6 && type != 0xA && type != 0xC && type != 0xD) continue;
        if (n == 0xF) {
            if (pos >= table || d[pos] >> 4 != 0x1 || (d[pos] & 0xF) > 3) return false;
            const int len = 1 << (d[pos] & 0xF);
            if (table - pos - 1 < quint64(len)) return false;
            n = bigEndian(d + pos + 1, len);
            pos += 1 + quint64(len);
        }
        const quint64 room = table - pos;
        if (type == 0x4) continue;
        if (type == 0x5) {
            if (n > room || std::memchr(d + pos, 0, n)) return false;
            continue;
        }
        if (type == 0x6) {
            if (n > room / 2) return false;
            for (quint64 i = 0; i < n; ++i)
                if (d[pos + 2 * i] == 0 && d[pos + 2 * i + 1] == 0) return false;
            continue;
        }
        if (n > room / quint64(refSize)) return false;
        const quint64 refs = type == 0xD ? 2 * n : n;
        if (refs > room / quint64(refSize)) return false;
        if (quint64(values) + pending.size() + refs > quint64(kMaxValues)) return false;
        for (quint64 r = 0; r < refs; ++r) {
            const quint64 index = bigEndian(d + pos + r * quint64(refSize), refSize);
            if (index >= count) return false;
            pending.push_back({index, item.depth + 1});
        }
    }
    return true;
}

bool startsAt(const QByteArray &data, qsizetype pos, const char *text) {
    return QByteArrayView(data).sliced(pos).startsWith(QByteArrayView(text));
}

// The same bounds for XML, counted over the tags in one pass without building anything. NUL bytes and
// references to character 0 never belong in XML; the library would keep them inside strings and keys.
bool xmlWithinBounds(const QByteArray &data) {
    if (data.contains('\0')) return false;
    for (qsizetype ref = data.indexOf("&#"); ref >= 0; ref = data.indexOf("&#", ref + 2)) {
        qsizetype i = ref + 2;
        if (i < data.size() && (data[i] == 'x' || data[i] == 'X')) ++i;
        const qsizetype digits = i;
        while (i < data.size() && data[i] == '0')
            ++i;
        if (i > digits && i < data.size() && data[i] == ';') return false;
    }
    const qsizetype n = data.size();
    const auto after = [&](qsizetype from, const char *end) {
        const qsizetype at = data.indexOf(end, from);
        return at < 0 ? n : at + qsizetype(std::strlen(end));
    };
    int depth = 0;
    qint64 elements = 0;
    for (qsizetype i = 0; i < n;) {
        const qsizetype lt = data.indexOf('<', i);
        if (lt < 0) break;
        if (startsAt(data, lt, "<!--")) {
            i = after(lt + 4, "-->");
        } else if (startsAt(data, lt, "<![CDATA[")) {
            i = after(lt + 9, "]]>");
        } else if (startsAt(data, lt, "<?")) {
            i = after(lt + 2, "?>");
        } else if (startsAt(data, lt, "<!")) {
            i = after(lt + 2, ">");
        } else if (startsAt(data, lt, "</")) {
            if (depth > 0) --depth;
            i = after(lt + 2, ">");
        } else {
            // An opening tag; a '>' inside a quoted attribute value does not end it.
            qsizetype j = lt + 1;
            char quote = 0;
            for (; j < n; ++j) {
                const char c = data[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            if (j >= n) break;
            if (++elements > kMaxValues) return false;
            // Two more levels than values: the <plist> element and the leaf element holding a value's text.
            if (data[j - 1] != '/' && ++depth > kMaxDepth + 2) return false;
            i = j + 1;
        }
    }
    return true;
}

// Strict UTF-8 with its exact length: strings with a NUL character or invalid bytes are unreadable.
std::optional<QString> text(const char *bytes, uint64_t length) {
    if (!bytes || std::memchr(bytes, 0, length)) return std::nullopt;
    QStringDecoder decode(QStringDecoder::Utf8,
                          QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString out = decode(QByteArrayView(bytes, qsizetype(length)));
    if (decode.hasError()) return std::nullopt;
    return out;
}

QVariant toVariant(plist_t node, int depth, bool &ok);

QVariant arrayToVariant(plist_t node, int depth, bool &ok) {
    // The iterator walks the items once; fetching each by index walks the list from its start.
    QVariantList list;
    list.reserve(plist_array_get_size(node));
    plist_array_iter it = nullptr;
    plist_array_new_iter(node, &it);
    while (ok && it) {
        plist_t item = nullptr;
        plist_array_next_item(node, it, &item);
        if (!item) break;
        list << toVariant(item, depth + 1, ok);
    }
    free(it);
    return list;
}

QVariant dictToVariant(plist_t node, int depth, bool &ok) {
    QVariantMap map;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    while (ok) {
        // Keys were checked for NUL characters before parsing, so reading them can't assert.
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (!key) break;
        const auto name = text(key, std::strlen(key));
        free(key);
        if (!name)
            ok = false;
        else
            map.insert(*name, toVariant(value, depth + 1, ok));
    }
    free(it);
    return map;
}

// A value that holds no other; ok turns false for a string that isn't text and a key outside a dictionary.
QVariant leafToVariant(plist_t node, bool &ok) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t u = 0;
        plist_get_uint_val(node, &u);
        return qint64(u);
    }
    case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        return d;
    }
    case PLIST_STRING: {
        // Never plist_get_string_val: it asserts when the string holds a NUL character.
        uint64_t len = 0;
        const char *s = plist_get_string_ptr(node, &len);
        auto out = text(s, len);
        if (!out) ok = false;
        return out.value_or(QString());
    }
    case PLIST_DATA: {
        uint64_t len = 0;
        const char *d = plist_get_data_ptr(node, &len);
        return QByteArray(d, d ? qsizetype(len) : 0);
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((kAppleEpoch + sec) * 1000 + usec / 1000, Qt::UTC);
    }
    case PLIST_KEY:
        ok = false;
        return {};
    default:
        return {};
    }
}

// Converts a parsed tree; ok turns false for anything unreadable. Depth is bounded again here, whatever
// the parser accepted.
QVariant toVariant(plist_t node, int depth, bool &ok) {
    if (depth > kMaxDepth) {
        ok = false;
        return {};
    }
    switch (plist_get_node_type(node)) {
    case PLIST_ARRAY:
        return arrayToVariant(node, depth, ok);
    case PLIST_DICT:
        return dictToVariant(node, depth, ok);
    default:
        return leafToVariant(node, ok);
    }
}

// ok turns false for what can't be written faithfully: strings and keys with a NUL character (the library
// would cut them short) and nesting beyond the bound.
plist_t fromVariant(const QVariant &v, int depth, bool &ok) {
    if (depth > kMaxDepth) {
        ok = false;
        return plist_new_bool(false);
    }
    const auto utf8 = [&](const QString &s) {
        if (s.contains(QChar(0))) ok = false;
        return s.toUtf8();
    };
    switch (v.typeId()) {
    case QMetaType::Bool:
        return plist_new_bool(v.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return plist_new_uint(uint64_t(v.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return plist_new_real(v.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return plist_new_data(b.constData(), uint64_t(b.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = v.toDateTime().toMSecsSinceEpoch() - kAppleEpoch * 1000;
        qint64 sec = ms / 1000, rem = ms % 1000;
        if (rem < 0) {
            rem += 1000;
            --sec;
        }
        return plist_new_date(int32_t(sec), int32_t(rem * 1000));
    }
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        plist_t arr = plist_new_array();
        for (const QVariant &item : v.toList())
            plist_array_append_item(arr, fromVariant(item, depth + 1, ok));
        return arr;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = v.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, utf8(it.key()).constData(), fromVariant(it.value(), depth + 1, ok));
        return dict;
    }
    default:
        return plist_new_string(utf8(v.toString()).constData());
    }
}

// The value written by one of libplist's writers, with its buffer freed by the matching function.
template <typename Write, typename Free>
QByteArray serialised(const QVariant &value, Write write, Free release) {
    bool ok = true;
    plist_t root = fromVariant(value, 1, ok);
    QByteArray bytes;
    if (ok) {
        char *out = nullptr;
        uint32_t len = 0;
        write(root, &out, &len);
        bytes = QByteArray(out, qsizetype(len));
        release(out);
    }
    plist_free(root);
    return bytes;
}

} // namespace

std::optional<QVariant> parse(const QByteArray &data) {
    if (data.isEmpty() || data.size() > kMaxBytes) return std::nullopt;
    plist_t root = nullptr;
    if (data.startsWith("bplist00")) {
        if (binaryWithinBounds(data)) plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    } else if (xmlWithinBounds(data)) {
        plist_from_xml(data.constData(), uint32_t(data.size()), &root);
    }
    if (!root) return std::nullopt;
    bool ok = true;
    QVariant out = toVariant(root, 1, ok);
    plist_free(root);
    if (!ok) return std::nullopt;
    return out;
}

QByteArray toBinary(const QVariant &value) {
    return serialised(value, plist_to_bin, plist_to_bin_free);
}

QByteArray toXml(const QVariant &value) {
    return serialised(value, plist_to_xml, plist_to_xml_free);
}

} // namespace Plist
