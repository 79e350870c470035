#include "platform/Plist.h"

#include <QDateTime>
#include <QStringList>
#include <QTimeZone>
#include <cstdlib>
#include <plist/plist.h>

namespace Plist {
namespace {

// Property-list dates count seconds from 2001-01-01 UTC.
const qint64 kAppleEpoch = 978307200;

QVariant toVariant(plist_t node) {
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
    case PLIST_STRING:
    case PLIST_KEY: {
        char *s = nullptr;
        plist_get_string_val(node, &s);
        QString out = QString::fromUtf8(s ? s : "");
        free(s);
        return out;
    }
    case PLIST_DATA: {
        char *d = nullptr;
        uint64_t len = 0;
        plist_get_data_val(node, &d, &len);
        QByteArray out(d, qsizetype(len));
        free(d);
        return out;
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QDateTime::fromMSecsSinceEpoch((kAppleEpoch + sec) * 1000 + usec / 1000, Qt::UTC);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            list << toVariant(plist_array_get_item(node, i));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter it = nullptr;
        plist_dict_new_iter(node, &it);
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, it, &key, &value);
            if (!key) break;
            map.insert(QString::fromUtf8(key), toVariant(value));
            free(key);
        }
        free(it);
        return map;
    }
    default:
        return {};
    }
}

plist_t fromVariant(const QVariant &v) {
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
            plist_array_append_item(arr, fromVariant(item));
        return arr;
    }
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = v.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), fromVariant(it.value()));
        return dict;
    }
    default:
        return plist_new_string(v.toString().toUtf8().constData());
    }
}

// The value written by one of libplist's writers, with its buffer freed by the matching function.
template <typename Write, typename Free>
QByteArray serialised(const QVariant &value, Write write, Free release) {
    plist_t root = fromVariant(value);
    char *out = nullptr;
    uint32_t len = 0;
    write(root, &out, &len);
    QByteArray bytes(out, qsizetype(len));
    release(out);
    plist_free(root);
    return bytes;
}

} // namespace

std::optional<QVariant> parse(const QByteArray &data) {
    plist_t root = nullptr;
    if (data.startsWith("bplist00"))
        plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    else if (!data.isEmpty())
        plist_from_xml(data.constData(), uint32_t(data.size()), &root);
    if (!root) return std::nullopt;
    QVariant out = toVariant(root);
    plist_free(root);
    return out;
}

QByteArray toBinary(const QVariant &value) {
    return serialised(value, plist_to_bin, plist_to_bin_free);
}

QByteArray toXml(const QVariant &value) {
    return serialised(value, plist_to_xml, plist_to_xml_free);
}

} // namespace Plist
